// One exchange (a GET) through the HTTP transport against a bare libcurl GET of the same URL, both against
// the same loopback libmicrohttpd server in the same run. Both close the connection after
// every request, as the printer channel does, so the difference is the client's own cost.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <microhttpd.h>

#include <stdexcept>
#include <string>

#include "io/connection.h"
#include "io/io_handler_http.h"

namespace {

MHD_Result Answer(void*, MHD_Connection* aConnection, const char*, const char*, const char*, const char*, size_t*,
                  void**) {
  static const char kBody[] = "0/00/00/ok";
  MHD_Response* r = MHD_create_response_from_buffer(sizeof(kBody) - 1, const_cast<char*>(kBody), MHD_RESPMEM_PERSISTENT);
  const MHD_Result result = MHD_queue_response(aConnection, MHD_HTTP_OK, r);
  MHD_destroy_response(r);
  return result;
}

class Server {
 public:
  Server() {
    fDaemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr, nullptr, &Answer, nullptr,
                               MHD_OPTION_END);
    if (fDaemon == nullptr) throw std::runtime_error("MHD_start_daemon failed");
    fBase = "http://127.0.0.1:" + std::to_string(MHD_get_daemon_info(fDaemon, MHD_DAEMON_INFO_BIND_PORT)->port) + "/";
    fUrl = fBase + kPath;
  }
  ~Server() { MHD_stop_daemon(fDaemon); }
  static constexpr const char* kPath = "_io?cmd=1";
  const std::string& Base() const { return fBase; }
  const std::string& Url() const { return fUrl; }

 private:
  MHD_Daemon* fDaemon;
  std::string fBase;
  std::string fUrl;
};

Server& TheServer() {
  static Server server;
  return server;
}

void BM_HttpTransport_Exchange(benchmark::State& state) {
  fp::kConnection connection;
  connection.ConnectionType = fp::vnConnectionType::HTTP;
  connection.URL = TheServer().Base();
  fp::kIOHandler_HTTP transport(connection, "", "");
  fp::kExchange* exchange = transport.OpenExchange({"", "fpdriver"});
  for (auto _ : state) {
    const fp::kExchangeResult r = exchange->Exchange(Server::kPath);
    if (!r.Answered()) state.SkipWithError("GET failed");
    benchmark::DoNotOptimize(r.Answer.data());
  }
}
BENCHMARK(BM_HttpTransport_Exchange)->UseRealTime();

size_t Collect(char* aData, size_t aSize, size_t aCount, void* aUser) {
  static_cast<std::string*>(aUser)->append(aData, aSize * aCount);
  return aSize * aCount;
}

void BM_BareCurl_Get(benchmark::State& state) {
  const std::string url = TheServer().Url();
  fp::EnsureCurlInitialised();
  CURL* c = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Connection: close");
  std::string body;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "fpdriver");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  for (auto _ : state) {
    body.clear();
    long status = 0;
    if (curl_easy_perform(c) != CURLE_OK || curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
        status != 200)
      state.SkipWithError("GET failed");
    benchmark::DoNotOptimize(body.data());
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(c);
}
BENCHMARK(BM_BareCurl_Get)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
