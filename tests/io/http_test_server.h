// A libmicrohttpd server on loopback with the routes the HTTP tests need; it records every
// request it receives.
#pragma once

#include <microhttpd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"

namespace fp::test {

struct SeenRequest {
  std::string method, url, body;
  std::map<std::string, std::string> headers;  // lower-case names
  std::string Header(const std::string& aName) const {
    auto it = headers.find(aName);
    return it == headers.end() ? std::string("(none)") : it->second;
  }
};

class HttpTestServer {
 public:
  static constexpr const char* kUser = "me";
  static constexpr const char* kPassword = "p:w";
  static constexpr const char* kRealm = "fp";

  HttpTestServer() {
    static char random[32] = "fixed random for digest nonces";
    fDaemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION, 0, nullptr, nullptr,
                               &HttpTestServer::Handle, this, MHD_OPTION_NOTIFY_COMPLETED, &HttpTestServer::Done, this,
                               MHD_OPTION_DIGEST_AUTH_RANDOM, sizeof(random), random, MHD_OPTION_END);
    if (fDaemon == nullptr) throw std::runtime_error("MHD_start_daemon failed");
    fPort = MHD_get_daemon_info(fDaemon, MHD_DAEMON_INFO_BIND_PORT)->port;
  }
  ~HttpTestServer() {
    {
      std::lock_guard<std::mutex> lock(fStopLock);
      fStopping = true;
    }
    fStopSignal.notify_all();
    MHD_stop_daemon(fDaemon);
  }

  std::string Url(const std::string& aPath) const { return "http://127.0.0.1:" + std::to_string(fPort) + aPath; }
  int Port() const { return fPort; }

  std::vector<SeenRequest> Seen() {
    std::lock_guard<std::mutex> lock(fLock);
    return fSeen;
  }
  SeenRequest Last() {
    std::lock_guard<std::mutex> lock(fLock);
    return fSeen.empty() ? SeenRequest{} : fSeen.back();
  }

 private:
  struct State {
    std::string body;
  };

  static MHD_Result CollectHeader(void* aSeen, MHD_ValueKind, const char* aKey, const char* aValue) {
    static_cast<SeenRequest*>(aSeen)->headers[LowerCase(aKey)] = aValue ? aValue : "";
    return MHD_YES;
  }

  static void Done(void*, MHD_Connection*, void** aReqCls, MHD_RequestTerminationCode) {
    delete static_cast<State*>(*aReqCls);
    *aReqCls = nullptr;
  }

  static MHD_Result Reply(MHD_Connection* aConnection, unsigned aStatus, const std::string& aBody,
                          const std::vector<std::pair<std::string, std::string>>& aHeaders = {}) {
    MHD_Response* r = MHD_create_response_from_buffer(aBody.size(), const_cast<char*>(aBody.data()), MHD_RESPMEM_MUST_COPY);
    for (const auto& [k, v] : aHeaders) MHD_add_response_header(r, k.c_str(), v.c_str());
    const MHD_Result result = MHD_queue_response(aConnection, aStatus, r);
    MHD_destroy_response(r);
    return result;
  }

  // Waits aPause of a route's silence; true when the server stops first, which ends the
  // wait at once.
  bool StoppedWithin(std::chrono::milliseconds aPause) {
    std::unique_lock<std::mutex> lock(fStopLock);
    return fStopSignal.wait_for(lock, aPause, [this] { return fStopping.load(); });
  }

  // Endless body, one byte every 300 ms.
  static ssize_t Trickle(void* aServer, uint64_t, char* aBuf, size_t) {
    auto* self = static_cast<HttpTestServer*>(aServer);
    if (self->StoppedWithin(std::chrono::milliseconds(300))) return MHD_CONTENT_READER_END_WITH_ERROR;
    aBuf[0] = 'x';
    return 1;
  }

  static MHD_Result Handle(void* aServer, MHD_Connection* aConnection, const char* aUrl, const char* aMethod,
                           const char*, const char* aUploadData, size_t* aUploadSize, void** aReqCls) {
    auto* self = static_cast<HttpTestServer*>(aServer);
    if (*aReqCls == nullptr) {
      *aReqCls = new State;
      return MHD_YES;
    }
    auto* state = static_cast<State*>(*aReqCls);
    if (*aUploadSize > 0) {
      state->body.append(aUploadData, *aUploadSize);
      *aUploadSize = 0;
      return MHD_YES;
    }

    SeenRequest seen;
    seen.method = aMethod;
    seen.url = aUrl;
    seen.body = state->body;
    MHD_get_connection_values(aConnection, MHD_HEADER_KIND, &HttpTestServer::CollectHeader, &seen);
    {
      std::lock_guard<std::mutex> lock(self->fLock);
      self->fSeen.push_back(seen);
    }

    const std::string url = aUrl;
    if (url == "/ok") return Reply(aConnection, 200, "hello \xC3\xA9", {{"Content-Type", "text/plain; charset=utf-8"}});
    if (url.rfind("/status/", 0) == 0) {
      const unsigned code = static_cast<unsigned>(std::stoi(url.substr(8)));
      return Reply(aConnection, code, "status " + url.substr(8));
    }
    if (url == "/redirect") return Reply(aConnection, 302, "moved", {{"Location", "/ok"}});
    if (url == "/ok-then-404") {
      if (self->fOkThen404++ > 0) return Reply(aConnection, 404, "status 404");
      return Reply(aConnection, 200, seen.body);
    }
    if (url == "/echo" || url == "/echo/") return Reply(aConnection, 200, seen.body, {{"Content-Type", "application/x-echo"}});
    if (url == "/setcookie") return Reply(aConnection, 200, "set", {{"Set-Cookie", "s=abc; Path=/"}});
    if (url == "/close") return MHD_NO;
    if (url == "/slow") {  // answers after 1.5 s of silence
      if (self->StoppedWithin(std::chrono::milliseconds(1500))) return MHD_NO;
      return Reply(aConnection, 200, "late");
    }
    if (url == "/trickle") {
      MHD_Response* r = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 1, &HttpTestServer::Trickle, self, nullptr);
      const MHD_Result result = MHD_queue_response(aConnection, 200, r);
      MHD_destroy_response(r);
      return result;
    }
    if (url == "/basic") {
      char* password = nullptr;
      char* user = MHD_basic_auth_get_username_password(aConnection, &password);
      const bool ok = user && password && std::strcmp(user, kUser) == 0 && std::strcmp(password, kPassword) == 0;
      if (user) MHD_free(user);
      if (password) MHD_free(password);
      if (ok) return Reply(aConnection, 200, "welcome");
      MHD_Response* r = MHD_create_response_from_buffer(6, const_cast<char*>("denied"), MHD_RESPMEM_PERSISTENT);
      const MHD_Result result = MHD_queue_basic_auth_fail_response(aConnection, kRealm, r);
      MHD_destroy_response(r);
      return result;
    }
    if (url == "/digest") {
      char* user = MHD_digest_auth_get_username(aConnection);
      int check = MHD_NO;
      if (user != nullptr) {
        check = MHD_digest_auth_check2(aConnection, kRealm, user, kPassword, 300, MHD_DIGEST_ALG_MD5);
        if (std::strcmp(user, kUser) != 0) check = MHD_NO;
        MHD_free(user);
      }
      if (check == MHD_YES) return Reply(aConnection, 200, "welcome");
      MHD_Response* r = MHD_create_response_from_buffer(6, const_cast<char*>("denied"), MHD_RESPMEM_PERSISTENT);
      const MHD_Result result = MHD_queue_auth_fail_response2(aConnection, kRealm, "opaque", r,
                                                              check == MHD_INVALID_NONCE ? MHD_YES : MHD_NO,
                                                              MHD_DIGEST_ALG_MD5);
      MHD_destroy_response(r);
      return result;
    }
    return Reply(aConnection, 404, "no such route");
  }

  MHD_Daemon* fDaemon = nullptr;
  int fPort = 0;
  std::atomic<bool> fStopping{false};
  std::mutex fStopLock;
  std::condition_variable fStopSignal;
  std::atomic<int> fOkThen404{0};
  std::mutex fLock;
  std::vector<SeenRequest> fSeen;
};

}  // namespace fp::test
