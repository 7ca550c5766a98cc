// The transport of an HTTP device, and the one owner of its HTTP requests. It takes the
// device's base URL, authentication and timeouts from the connection, builds each request
// once, performs it with its own libcurl handle and turns the answer into one
// kExchangeResult. Write posts a text to the URL (the byte-stream operations' path);
// Exchange, offered to a model driver through OpenExchange, sends one GET below the base
// URL per command. Every request is logged in the device log.
//
// Every request nails down what the printer channel needs: HTTP/1.1, no connection reuse
// and "Connection: close" (so libcurl never silently resends a command on a dead
// connection), no redirects followed, no TLS verification, no compression, timeouts that
// really bound the wait, and a classification of failures into "never delivered" and
// "outcome unknown" (the device may have carried the request out).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/connection.h"
#include "io/exchange.h"
#include "io/io_handler.h"

typedef void CURL;

namespace fp {

// Added to a 401 when User or Password is set but AuthType names no scheme that sends them:
// the credentials never went out, which the bare status would hide.
inline constexpr std::string_view kAuthTypeMissing =
    "User and Password are set but AuthType is missing (Basic or Digest), so they were not sent";

// Answers are capped at this many bytes; a longer one fails the exchange.
constexpr size_t kMaxHttpBodySize = 16 * 1024 * 1024;

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
  std::string ReadUpTo(const std::vector<uint8_t>& /*aChars*/) override { return {}; }
  std::string ReadChars(int32_t /*aCharsNum*/) override { return {}; }
  std::string ReadAll() override;                  // raises "ReadAll Unsupported"
  bool InputBufferContainsData() override;         // raises "InputBufferContainsData Unsupported"
  std::string DecodeError(int32_t aErrorCode) override { return HttpStatusText(aErrorCode); }
  // aName: aValue becomes a header of the POST requests (replacing one of that name).
  void SetParameter(const std::string& aName, const std::string& aValue) override;
  std::string ClassName() const override { return "kIOHandler_HTTP"; }

  // Takes the driver's content type and user agent and makes the URL the base of the
  // exchange paths (it then ends with "/"); answers this transport.
  kExchange* OpenExchange(const kExchangeProfile& aProfile) override;

  // GET of URL + aPath. The connect timeout, credentials, user agent, content type and
  // "Connection: close" are taken once, at the first exchange; the read timeout is taken
  // anew each time, so a temporary read timeout set around one command governs that
  // command. Logs the request and the answer.
  kExchangeResult Exchange(const std::string& aPath) override;

  const std::string& Url() const { return fUrl; }
  const std::string& ContentType() const { return fContentType; }
  // The last POST's answer (kept from an earlier one when the last got none) and status:
  // 200..299 for an answer, the error status, -1 without any status, 999 for an answer
  // with a success status that broke off.
  const std::string& Response() const { return fResponse; }
  int32_t ResponseCode() const { return fResponseCode; }
  // What became of the last POST.
  const kExchangeResult& LastWrite() const { return fLastWrite; }

  // One request as it goes to libcurl. Timeouts are milliseconds: the connect timeout
  // bounds resolving and connecting; the read timeout bounds a stall of the answer and,
  // with the connect timeout, the whole exchange. Values below 1000 count as 1000 so that
  // no wait is unbounded.
  struct Request {
    bool Post = false;
    std::string URL;
    std::string_view Body;  // POST only; the caller's text, not copied
    // Headers as (name, value); a "Content-Type" here replaces libcurl's default.
    std::vector<std::pair<std::string, std::string>> Headers;
    vnHTTPAuthType AuthType = at_None;
    std::string User, Password;
    std::string UserAgent;
    int32_t ConnectTimeoutMs = 1000;
    int32_t ReadTimeoutMs = 1000;
  };
  // The exchanges' request as the first exchange built it, with the last read timeout.
  const Request& ExchangeRequest() const { return fExchange; }

  // The text of an HTTP status code; "Unknown" for codes without one.
  static std::string HttpStatusText(int32_t aCode);

 private:
  // What libcurl made of one request.
  struct Reply {
    int CurlCode = 0;        // CURLcode; 0 for a complete answer, whatever its status
    int32_t Status = 0;      // of the final answer, 0 without one
    std::string StatusLine;  // the final status line without its line break
    std::string Reason;      // its reason phrase
    std::string Body;
    std::string ErrorText;   // libcurl's message for a failed request
    bool NotDelivered = false;  // surely never reached the peer
    bool Complete() const { return CurlCode == 0; }
  };
  struct Transfer;

  Request PostRequest(std::string_view aMessage) const;
  void BuildExchangeRequest();
  // The steps of one request on the handle.
  Reply Perform(const Request& aRequest);
  void SetTarget(const Request& aRequest);
  void SetTimeouts(const Request& aRequest, Transfer& aTransfer);
  void SetCredentials(const Request& aRequest);
  void RecordWriteFailure(const Reply& aReply);
  std::string FailureReason(const Reply& aReply) const;

  CURL* fCurl = nullptr;
  std::string fUrl;
  vnHTTPAuthType fAuthType = at_None;
  std::string fUser, fPassword;
  std::string fContentType;
  std::string fUserAgent;  // sent with the exchanges
  std::vector<std::pair<std::string, std::string>> fHeaders;
  // Built at the first exchange; empty URL before.
  Request fExchange;
  bool fExchangeBuilt = false;
  std::string fResponse;
  int32_t fResponseCode = 0;
  kExchangeResult fLastWrite;
};

// libcurl initialised once per process, thread-safely; never cleaned up.
void EnsureCurlInitialised();

}  // namespace fp
