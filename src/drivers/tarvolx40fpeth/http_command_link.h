// The command channel's link to the outside world over the device's own HTTP client and its
// HTTP transport: the transport gives the URL, timeouts, credentials and the log, and
// receives the recorded failure; the client carries the GET.
#pragma once

#include <string>

#include "drivers/tarvolx40fpeth/command_channel.h"

namespace fp {
class VN_HttpClient;
class kIOHandler_HTTP;
}  // namespace fp

namespace fp::tarvol {

class kHttpCommandLink : public kCommandLink {
 public:
  static constexpr const char* kUserAgent = "Varnel BRV Driver";

  kHttpCommandLink(VN_HttpClient& aHttp, kIOHandler_HTTP& aTransport) : fHttp(aHttp), fTransport(aTransport) {}

  std::string BaseUrl() override;
  void SetupHttpClient() override;
  bool HttpGet(const std::string& aUrl) override;
  std::string ResponseText() override;
  bool LastFailureMayHaveExecuted() override;
  void RecordHttpFailure() override;
  void SetCustomError(int aCode, const std::string& aMessage) override;
  void ResetCustomError() override;
  void WriteLog(tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) override;

 private:
  VN_HttpClient& fHttp;
  kIOHandler_HTTP& fTransport;
};

}  // namespace fp::tarvol
