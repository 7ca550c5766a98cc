#include "drivers/tarvolx40fpeth/http_command_link.h"

#include "io/http_client.h"
#include "io/io_handler_http.h"

namespace fp::tarvol {

std::string kHttpCommandLink::BaseUrl() { return fTransport.URL; }

void kHttpCommandLink::SetupHttpClient() {
  kIOHandler_HTTP* transport = &fTransport;
  fHttp.OnWriteLog = [transport](tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) {
    transport->WriteLog(aType, aTitle, aMessage);
  };
  // The client counts whole seconds; the transport milliseconds. A temporary read timeout set
  // on the transport around one command therefore governs that command.
  fHttp.ConnectTimeout = fTransport.ConnectTimeout() / 1000;
  fHttp.ReadTimeout = fTransport.ReadTimeout() / 1000;
  fHttp.AuthType = fTransport.AuthType;
  // Without the credentials an authenticating printer could never be reached.
  fHttp.User = fTransport.User;
  fHttp.Password = fTransport.Password;
  fHttp.UserAgent = kUserAgent;
  fHttp.ContentType = fTransport.ContentType;
  // A printer left with too many open connections prints a power-failure message on the
  // receipt, so none is kept open between commands.
  fHttp.SetRequestHeader("Connection", "close");
}

bool kHttpCommandLink::HttpGet(const std::string& aUrl) { return fHttp.Get(aUrl); }

std::string kHttpCommandLink::ResponseText() { return fHttp.Response(); }

bool kHttpCommandLink::LastFailureMayHaveExecuted() { return fHttp.LastFailure() == hf_OutcomeUnknown; }

void kHttpCommandLink::RecordHttpFailure() {
  const int32_t code = fHttp.LastStatusCode;
  fTransport.SetCustomError(code, fTransport.DecodeError(code));
}

void kHttpCommandLink::SetCustomError(int aCode, const std::string& aMessage) {
  fTransport.SetCustomError(aCode, aMessage);
}

void kHttpCommandLink::ResetCustomError() { fTransport.ResetCustomError(); }

void kHttpCommandLink::WriteLog(tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) {
  fTransport.WriteLog(aType, aTitle, aMessage);
}

}  // namespace fp::tarvol
