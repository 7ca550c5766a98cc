// One HTTP exchange over libcurl, with everything the printer channel needs nailed down:
// HTTP/1.1, no connection reuse and "Connection: close" (so libcurl never silently
// resends a command on a dead connection), no redirects followed, no TLS verification, no
// compression, timeouts that really bound the wait, the reason phrase of the final
// status line, and a classification of failures into "never delivered" and "outcome
// unknown" (the device may have executed the request).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "request/device_handler.h"

typedef void CURL;

namespace fp {

// What became of a request that got no complete answer.
enum vnHttpFailure : int32_t {
  hf_None = 0,            // a complete answer came (whatever its status)
  hf_NotDelivered = 1,    // the request never reached the peer: bad URL, resolve, refused, connect timeout
  hf_OutcomeUnknown = 2,  // failed after the request was (maybe) sent: the peer may have acted on it
};

struct kHttpRequest {
  std::string Method = "GET";  // "GET" or "POST"
  std::string URL;
  std::string Body;  // POST only
  // Headers as (name, value); a "Content-Type" here replaces libcurl's default.
  std::vector<std::pair<std::string, std::string>> Headers;
  vnHTTPAuthType AuthType = at_None;
  std::string User, Password, Bearer;
  std::string UserAgent;
  // Seconds. The connect timeout bounds resolving and connecting; the read timeout bounds
  // a stall of the answer and, together with the connect timeout, the whole exchange.
  // Values below 1 count as 1 so that no wait is unbounded.
  int32_t ConnectTimeout = 5;
  int32_t ReadTimeout = 10;
  bool Cookies = false;  // keep cookies of this session and send them back
};

struct kHttpResult {
  int CurlCode = 0;         // CURLcode
  int32_t StatusCode = 0;   // of the final answer, 0 without one
  std::string StatusLine;   // the final status line without its line break
  std::string StatusText;   // its reason phrase
  std::string Body;
  std::string ContentType;  // the answer's Content-Type header field
  std::string ErrorText;    // libcurl's message for a failed exchange, empty on success
  vnHttpFailure Failure = hf_None;
  // Whether a complete answer came (CurlCode is CURLE_OK).
  bool Complete() const { return CurlCode == 0; }
};

// Answers are capped at this many bytes; a longer one fails the exchange.
constexpr size_t kMaxHttpBodySize = 16 * 1024 * 1024;

// One libcurl easy handle, reused across requests (cookies survive between them). The
// request's cookie setting takes effect once and stays on for the handle's life.
class kCurlSession {
 public:
  kCurlSession();
  ~kCurlSession();
  kCurlSession(const kCurlSession&) = delete;
  kCurlSession& operator=(const kCurlSession&) = delete;

  kHttpResult Perform(const kHttpRequest& aRequest);

 private:
  CURL* fCurl;
  bool fCookieEngine = false;
};

// libcurl initialised once per process, thread-safely; never cleaned up.
void EnsureCurlInitialised();

}  // namespace fp
