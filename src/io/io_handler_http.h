// The transport of an HTTP device. It holds the device's base URL, authentication and
// content type, owns the device's one HTTP client, posts a text to the URL with Write and
// turns status codes into texts with DecodeError. Through Exchange it is also the path of a
// model driver's commands: one GET below the base URL per exchange, logged in the device log.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/curl_session.h"
#include "io/exchange.h"
#include "io/io_handler.h"
#include "request/device_handler.h"

namespace fp {

class VN_HttpClient;

class kIOHandler_HTTP : public kIOHandler, public kExchange {
 public:
  // URL = the connection's URL, or else its Address followed by ":" + Port when Port is
  // above 0 (no scheme is added).
  kIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_HTTP() override;

  bool GetConnected() override;
  // Logs the header and the URL; no network traffic.
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override {}
  // POSTs the text (UTF-8) to URL. False for a failure, which is logged and recorded as
  // the custom error; a success leaves the custom error as it was.
  bool Write(const std::string& aMessage) override;
  // The answer is read by Write: both give empty text.
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override { return {}; }
  std::string ReadChars(int32_t aCharsNum) override { return {}; }
  std::string ReadAll() override;                  // raises "ReadAll Unsupported"
  bool InputBufferContainsData() override;         // raises "InputBufferContainsData Unsupported"
  std::string DecodeError(int32_t aErrorCode) override { return HttpStatusText(aErrorCode); }
  // aName: aValue becomes a header of the POST requests (replacing one of that name).
  void SetParameter(const std::string& aName, const std::string& aValue) override;
  std::string ClassName() const override { return "kIOHandler_HTTP"; }

  // GET of URL + aPath through the device's client. The client takes the connect timeout,
  // credentials, user agent, content type and "Connection: close" once, at the first
  // exchange; the read timeout is taken anew each time, so a temporary read timeout set
  // around one command governs that command. The client logs the request and the answer.
  kExchangeResult Exchange(const std::string& aPath) override;
  // The client, as the exchanges left it.
  const VN_HttpClient& HttpClient() const { return *fHttp; }

  std::string ContentType;
  std::string UserAgent;  // sent with the exchanges
  std::string URL;
  vnHTTPAuthType AuthType = at_None;
  std::string User, Password;
  std::string Response;
  int32_t ResponseCode = 0;

  // What became of the last POST when it got no complete answer.
  vnHttpFailure LastFailure() const { return fLastFailure; }

  // The text of an HTTP status code; "Unknown" for codes without one.
  static std::string HttpStatusText(int32_t aCode);

 private:
  void SetupHttpClient();

  std::unique_ptr<VN_HttpClient> fHttp;
  std::vector<std::pair<std::string, std::string>> fHeaders;
  vnHttpFailure fLastFailure = hf_None;
};

}  // namespace fp
