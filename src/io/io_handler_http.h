// The transport of an HTTP device. It holds the device's base URL, authentication and
// content type, posts a text to the URL with Write and turns status codes into texts with
// DecodeError. It is also the configuration and log holder that the model driver takes
// its URL, timeouts and credentials from, logs through, and records failures in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/curl_session.h"
#include "request/device_handler.h"
#include "io/io_handler.h"

namespace fp {

class kIOHandler_HTTP : public kIOHandler {
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

  std::string ContentType;
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
  std::unique_ptr<kCurlSession> fHttpClient;
  std::vector<std::pair<std::string, std::string>> fHeaders;
  vnHttpFailure fLastFailure = hf_None;
};

}  // namespace fp
