// VN_HttpClient: the small HTTP client through which the model driver sends every
// printer command. Settings are applied to the underlying session once, at the first
// request; afterwards only the read timeout is taken anew on every request. The last
// status code and status text and the last answer body are kept, and every step is
// reported through the log callback. A failed request never raises: the Boolean result,
// LastStatusCode, LastStatusText, LastFailure and the log lines carry the failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/log_writer.h"
#include "io/curl_session.h"
#include "request/device_handler.h"

namespace fp {

// Added to a 401 when User or Password is set but AuthType names no scheme that sends them:
// the credentials never went out, which the bare status would hide.
inline constexpr std::string_view kAuthTypeMissing =
    "User and Password are set but AuthType is missing (Basic or Digest), so they were not sent";

using vnWriteLogEvent = std::function<void(tVN_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage)>;

// The reason codes LastStatusCode takes when a request got no answer at all.
enum vnHttpConnectFailReason : int32_t {
  cfr_None = 0,           // connected; the failure came later
  cfr_BadUrl = 1,         // empty or malformed URL, unsupported scheme
  cfr_ResolveFailed = 2,  // host name not found
  cfr_ConnectTimeout = 6,
  cfr_Refused = 7,        // connection refused or unreachable
  cfr_Other = 99,
};

class VN_HttpClient {
 public:
  VN_HttpClient();
  ~VN_HttpClient();
  VN_HttpClient(const VN_HttpClient&) = delete;
  VN_HttpClient& operator=(const VN_HttpClient&) = delete;

  vnHTTPAuthType AuthType = at_None;
  std::string User, Password;
  int32_t ReadTimeout = 10;    // seconds
  int32_t ConnectTimeout = 5;  // seconds
  std::string Bearer;
  std::string UserAgent;
  std::string ContentType;  // selects the kind of POST; sent as the Content-Type header
  int32_t LastStatusCode = 0;
  std::string LastStatusText;
  vnWriteLogEvent OnWriteLog;

  const std::string& Response() const { return fResponse; }
  const std::string& ResponseContentType() const { return fResponseContentType; }
  // What became of the last request when it got no complete answer, and libcurl's text.
  vnHttpFailure LastFailure() const { return fLastFailure; }
  const std::string& LastErrorText() const { return fLastErrorText; }
  // Why the last request to aURL failed, in words: refused, not found, timed out after how
  // many milliseconds, an empty or broken answer, or the HTTP status and its reason phrase;
  // with aURL without its credentials.
  std::string LastFailureReason(const std::string& aURL) const;

  // GET aURL; true for an answer with a status in 200..299.
  bool Get(const std::string& aURL);
  // POST aMessage to aURL as XML ("application/xml"), JSON ("application/json") or
  // URL-encoded (anything else); true for an answer below 400 that is not outside
  // 200..299 and 301..308.
  bool Post(const std::string& aURL, const std::string& aMessage);
  // A header sent with every later request; a header of the same name is replaced.
  void SetRequestHeader(const std::string& aKey, const std::string& aValue);
  // Keep cookies in memory, send them back.
  void ManageCookies();
  bool HTTPAlreadySet() const { return fHTTPAlreadySet; }
  // One exchange of a request its caller built whole, on the client's session: no setting
  // of the client is applied and nothing is logged (the HTTP transport's Write).
  kHttpResult Perform(const kHttpRequest& aRequest) { return fHttp->Perform(aRequest); }

 private:
  void SetHTTP();
  void DoWriteLog(tVN_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage);
  kHttpRequest NewRequest(const std::string& aMethod, const std::string& aURL);
  void NoteTransportFailure(const kHttpResult& aResult);

  std::unique_ptr<kCurlSession> fHttp;
  bool fHTTPAlreadySet = false;
  // The settings as SetHTTP applied them.
  kHttpRequest fApplied;
  // User or Password was given with no scheme to send them: a 401 then says so.
  bool fCredentialsWithoutScheme = false;
  bool fCookies = false;
  std::vector<std::pair<std::string, std::string>> fRequestHeaders;
  std::string fResponse;
  std::string fResponseContentType;
  vnHttpFailure fLastFailure = hf_None;
  std::string fLastErrorText;
  int fLastCurlCode = 0;
  std::string fLastReasonPhrase;
};

}  // namespace fp
