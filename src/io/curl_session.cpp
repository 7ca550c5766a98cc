#include "io/curl_session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string_view>

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#include <time.h>
#endif

#include <curl/curl.h>

#include "base/errors.h"
#include "base/text.h"
#include "io/io_errors.h"

namespace fp {

void EnsureCurlInitialised() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  // Initialised once for the whole process and never cleaned up: a cleanup from a static
  // destructor could run while another thread still has a transfer going.
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (result != CURLE_OK) throw kException("HTTP initialisation failed: " + CurlMessage(result, nullptr));
}

namespace {

using Clock = std::chrono::steady_clock;

struct Exchange {
  kHttpResult* result;
  CURL* curl = nullptr;
  std::chrono::seconds readTimeout{1};
  bool overflow = false;
  bool readTimedOut = false;
  // Bytes moved either way and when that last changed.
  curl_off_t moved = -1;
  Clock::time_point lastActivity{};
};

// The read timeout: once connected, a transfer in which no byte moves either way for
// longer than the read timeout is ended. libcurl calls this about once a second while it
// waits, and more often while data flows.
int OnProgress(void* aUser, curl_off_t aDlTotal, curl_off_t aDlNow, curl_off_t aUlTotal, curl_off_t aUlNow) {
  auto* ex = static_cast<Exchange*>(aUser);
  const auto now = Clock::now();
  curl_off_t connectTime = 0;
  curl_easy_getinfo(ex->curl, CURLINFO_CONNECT_TIME_T, &connectTime);
  const curl_off_t moved = aDlNow + aUlNow;
  // Until connected the connect timeout is in charge.
  if (connectTime == 0 || moved != ex->moved) {
    ex->moved = connectTime == 0 ? -1 : moved;
    ex->lastActivity = now;
    return 0;
  }
  if (now - ex->lastActivity > ex->readTimeout) {
    ex->readTimedOut = true;
    return 1;  // aborts the transfer
  }
  return 0;
}

size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aUser) {
  auto* ex = static_cast<Exchange*>(aUser);
  const size_t n = aSize * aCount;
  if (ex->result->Body.size() + n > kMaxHttpBodySize) {
    ex->overflow = true;
    return 0;  // aborts the transfer
  }
  ex->result->Body.append(aData, n);
  return n;
}

std::string TrimLineEnd(std::string aText) {
  while (!aText.empty() && (aText.back() == '\r' || aText.back() == '\n' || aText.back() == ' ')) aText.pop_back();
  return aText;
}

bool StartsWithNoCase(std::string_view aText, std::string_view aPrefix) {
  if (aText.size() < aPrefix.size()) return false;
  for (size_t i = 0; i < aPrefix.size(); ++i) {
    const char a = aText[i], b = aPrefix[i];
    if (a != b && !(a >= 'A' && a <= 'Z' && a + 32 == b)) return false;
  }
  return true;
}

// Status line and Content-Type of every answer; a new status line (a digest challenge is
// answered 401 first, then the real answer follows) starts afresh. Called once per header
// line, so it looks only at the two lines it needs.
size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aUser) {
  auto* ex = static_cast<Exchange*>(aUser);
  const size_t n = aSize * aCount;
  const std::string_view raw(aData, n);
  if (StartsWith(raw, "HTTP/")) {
    kHttpResult& r = *ex->result;
    r.StatusLine = TrimLineEnd(std::string(raw));
    r.StatusText.clear();
    r.ContentType.clear();
    // "HTTP/1.1 200 OK": the reason phrase follows the second blank and may be empty.
    const std::string& line = r.StatusLine;
    const size_t sp1 = line.find(' ');
    if (sp1 != std::string::npos) {
      const size_t sp2 = line.find(' ', sp1 + 1);
      if (sp2 != std::string::npos) r.StatusText = line.substr(sp2 + 1);
    }
  } else if (StartsWithNoCase(raw, "content-type:")) {
    ex->result->ContentType = Trim(raw.substr(13));
  }
  return n;
}

#if defined(_WIN32)
// Windows raises no signal when a peer goes away mid-write.
class SigPipeGuard {
 public:
  explicit SigPipeGuard(bool) {}
};
#else
// With CURLOPT_NOSIGNAL libcurl leaves SIGPIPE alone, and a TLS peer that goes away
// mid-write would raise it. Instead of touching the host's handler, the signal is blocked
// on the calling thread for the transfer, and one it raised is taken off before the mask
// is restored.
class SigPipeGuard {
 public:
  explicit SigPipeGuard(bool aActive) : fActive(aActive) {
    if (!fActive) return;
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    fWasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe, &fOld);
  }
  ~SigPipeGuard() {
    if (!fActive) return;
    if (!fWasPending) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      const timespec none{0, 0};
      while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &fOld, nullptr);
  }

 private:
  bool fActive;
  bool fWasPending = false;
  sigset_t fOld;
};
#endif

struct SList {
  curl_slist* list = nullptr;
  ~SList() { curl_slist_free_all(list); }
  void Add(const std::string& aLine) {
    curl_slist* next = curl_slist_append(list, aLine.c_str());
    if (next == nullptr) throw kException("Out of memory building HTTP headers");
    list = next;
  }
};

vnHttpFailure Classify(CURLcode aCode, CURL* aCurl) {
  switch (aCode) {
    case CURLE_OK:
      return hf_None;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return hf_NotDelivered;
    default:
      break;
  }
  // Nothing of the request went out (a bad URL, a connect timeout, a failed TLS
  // handshake): the peer can't have acted on it. Anything else may have reached it, also
  // an answer libcurl rejects as not being HTTP at all.
  long requestSize = 0;
  if (curl_easy_getinfo(aCurl, CURLINFO_REQUEST_SIZE, &requestSize) == CURLE_OK && requestSize == 0) return hf_NotDelivered;
  return hf_OutcomeUnknown;
}

}  // namespace

kCurlSession::kCurlSession() {
  EnsureCurlInitialised();
  fCurl = curl_easy_init();
  if (fCurl == nullptr) throw kException("Unable to create an HTTP session");
  // What every request of the session shares. The handle is never reset, so these stay.
  CURL* c = fCurl;
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // A fresh connection per request, closed afterwards: libcurl would otherwise resend a
  // request whose reused connection died, which for a printer means a repeated command.
  curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
}

kCurlSession::~kCurlSession() { curl_easy_cleanup(fCurl); }

kHttpResult kCurlSession::Perform(const kHttpRequest& aRequest) {
  kHttpResult result;
  Exchange ex{&result};
  ex.curl = fCurl;
  char errorBuffer[CURL_ERROR_SIZE];
  errorBuffer[0] = '\0';

  // Every option that differs between requests is set on every request, so nothing of
  // an earlier request carries over. The handle is not reset: libcurl 7.88 loses the
  // cookie engine's list on a reset.
  CURL* c = fCurl;
  const long connectTimeout = std::max<long>(1, aRequest.ConnectTimeout);
  const long readTimeout = std::max<long>(1, aRequest.ReadTimeout);
  // A digest exchange is two round trips.
  const long rounds = aRequest.AuthType == at_Digest ? 2 : 1;

  if (aRequest.Cookies && !fCookieEngine) {
    // Once per handle: the cookies stay in memory for the handle's life.
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
    fCookieEngine = true;
  }
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(c, CURLOPT_URL, aRequest.URL.c_str());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, connectTimeout);
  // A stalled exchange ends after the read timeout (OnProgress); the overall cap also ends
  // an answer that trickles in just fast enough never to stall.
  ex.readTimeout = std::chrono::seconds(readTimeout);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &ex);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, (connectTimeout + readTimeout) * rounds);
  curl_easy_setopt(c, CURLOPT_USERAGENT, aRequest.UserAgent.empty() ? nullptr : aRequest.UserAgent.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &ex);

  curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  curl_easy_setopt(c, CURLOPT_USERNAME, static_cast<char*>(nullptr));
  curl_easy_setopt(c, CURLOPT_PASSWORD, static_cast<char*>(nullptr));
  curl_easy_setopt(c, CURLOPT_XOAUTH2_BEARER, static_cast<char*>(nullptr));

  switch (aRequest.AuthType) {
    case at_Basic:
      curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(c, CURLOPT_USERNAME, aRequest.User.c_str());
      curl_easy_setopt(c, CURLOPT_PASSWORD, aRequest.Password.c_str());
      break;
    case at_Digest:
      curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
      curl_easy_setopt(c, CURLOPT_USERNAME, aRequest.User.c_str());
      curl_easy_setopt(c, CURLOPT_PASSWORD, aRequest.Password.c_str());
      break;
    case at_Bearer:
      curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BEARER));
      curl_easy_setopt(c, CURLOPT_XOAUTH2_BEARER, aRequest.Bearer.c_str());
      break;
    case at_None:
      break;
  }

  SList headers;
  bool connectionSet = false;
  for (const auto& [name, value] : aRequest.Headers) {
    if (name.empty() || name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
      continue;  // a header that would break the request is never sent
    if (SameText(name, "connection")) {
      if (!SameText(value, "close")) continue;
      connectionSet = true;
    }
    // "Name;" is libcurl's way to send a header with an empty value.
    headers.Add(value.empty() ? name + ";" : name + ": " + value);
  }
  if (!connectionSet) headers.Add("Connection: close");
  headers.Add("Expect:");  // no 100-continue round trip before a body
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);

  if (aRequest.Method == "POST") {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, aRequest.Body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aRequest.Body.size()));
  } else {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, static_cast<char*>(nullptr));
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  }

  CURLcode code;
  {
    // Plain HTTP sends with MSG_NOSIGNAL; only TLS needs the guard.
    SigPipeGuard guard(StartsWithNoCase(aRequest.URL, "https:"));
    code = curl_easy_perform(c);
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  result.CurlCode = code;
  result.StatusCode = static_cast<int32_t>(status);
  if (code != CURLE_OK) {
    if (ex.overflow)
      result.ErrorText = "Answer larger than " + std::to_string(kMaxHttpBodySize) + " bytes";
    else if (ex.readTimedOut)
      result.ErrorText = "No data for " + std::to_string(readTimeout) + " s: read timed out";
    else
      result.ErrorText = CurlMessage(code, errorBuffer);
    result.Failure = Classify(code, c);
  }
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  return result;
}

}  // namespace fp
