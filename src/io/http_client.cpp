#include "io/http_client.h"

#include <curl/curl.h>

#include <algorithm>

#include "base/text.h"
#include "io/io_errors.h"

namespace fp {

namespace {

bool InRange(int32_t aValue, int32_t aLow, int32_t aHigh) { return aValue >= aLow && aValue <= aHigh; }

// The answer counts as a success of the exchange itself when it is complete and not an
// HTTP error (a redirect is an answer like any other: it is never followed).
bool ExchangeSucceeded(const kHttpResult& aResult) {
  return aResult.Complete() && InRange(aResult.StatusCode, 100, 399);
}

int32_t ConnectFailReason(const kHttpResult& aResult) {
  if (aResult.Failure != hf_NotDelivered) return cfr_None;
  switch (aResult.CurlCode) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return cfr_BadUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return cfr_ResolveFailed;
    case CURLE_COULDNT_CONNECT:
      return cfr_Refused;
    case CURLE_OPERATION_TIMEDOUT:
      return cfr_ConnectTimeout;
    default:
      return cfr_Other;
  }
}

void SetHeader(std::vector<std::pair<std::string, std::string>>& aHeaders, const std::string& aKey,
               const std::string& aValue) {
  for (auto& header : aHeaders) {
    if (SameText(header.first, aKey)) {
      header.second = aValue;
      return;
    }
  }
  aHeaders.emplace_back(aKey, aValue);
}

void RemoveHeader(std::vector<std::pair<std::string, std::string>>& aHeaders, const std::string& aKey) {
  std::erase_if(aHeaders, [&](const auto& aHeader) { return SameText(aHeader.first, aKey); });
}

}  // namespace

VN_HttpClient::VN_HttpClient() : fHttp(std::make_unique<kCurlSession>()) {}

VN_HttpClient::~VN_HttpClient() = default;

void VN_HttpClient::DoWriteLog(tVN_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage) {
  if (OnWriteLog) OnWriteLog(aEntryType, aTitle, aMessage);
}

void VN_HttpClient::SetRequestHeader(const std::string& aKey, const std::string& aValue) {
  SetHeader(fRequestHeaders, aKey, aValue);
}

void VN_HttpClient::ManageCookies() { fCookies = true; }

void VN_HttpClient::SetHTTP() {
  // What is taken here stays for the life of the client; only the read timeout is taken
  // anew on every request.
  kHttpRequest applied;
  applied.ConnectTimeout = ConnectTimeout;
  applied.UserAgent = UserAgent;
  if (!ContentType.empty()) applied.Headers.emplace_back("Content-Type", ContentType);
  applied.AuthType = AuthType;
  switch (AuthType) {
    case at_Basic:
    case at_Digest:
      applied.User = User;
      applied.Password = Password;
      break;
    case at_Bearer:
      applied.Bearer = Bearer;
      break;
    case at_None:
      break;
  }
  fApplied = std::move(applied);
  fCredentialsWithoutScheme = AuthType == at_None && (!User.empty() || !Password.empty());
  fHTTPAlreadySet = true;
}

kHttpRequest VN_HttpClient::NewRequest(const std::string& aMethod, const std::string& aURL) {
  kHttpRequest request = fApplied;
  request.Method = aMethod;
  request.URL = aURL;
  request.ReadTimeout = ReadTimeout;
  request.Cookies = fCookies;
  // Headers set on the client later replace the one the settings carried.
  for (const auto& [key, value] : fRequestHeaders) SetHeader(request.Headers, key, value);
  return request;
}

void VN_HttpClient::NoteTransportFailure(const kHttpResult& aResult) {
  fLastFailure = aResult.Failure;
  fLastErrorText = aResult.ErrorText;
  fLastCurlCode = aResult.CurlCode;
  fLastReasonPhrase = aResult.StatusText;
}

std::string VN_HttpClient::LastFailureReason(const std::string& aURL) const {
  const std::string where = UrlWithoutCredentials(aURL);
  if (fLastCurlCode == CURLE_OK) {
    std::string text = "HTTP " + std::to_string(LastStatusCode);
    if (!fLastReasonPhrase.empty()) text += " " + fLastReasonPhrase;
    text += " from " + where;
    if (LastStatusCode == 401 && fCredentialsWithoutScheme) text += ": " + std::string(kAuthTypeMissing);
    return text;
  }
  // The waits as the session applies them: whole seconds, at least one.
  const int32_t connectMs = std::max<int32_t>(1, fApplied.ConnectTimeout) * 1000;
  const int32_t readMs = std::max<int32_t>(1, ReadTimeout) * 1000;
  switch (fLastCurlCode) {
    case CURLE_COULDNT_CONNECT:
      return "Connection refused (or the host unreachable) at " + where;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "Host not found for " + where;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "Invalid URL " + where;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:
      if (fLastFailure == hf_NotDelivered) return "No connection to " + where + ": timed out after " + std::to_string(connectMs) + " ms";
      return "No answer from " + where + ": timed out after " + std::to_string(readMs) + " ms";
    case CURLE_GOT_NOTHING:
      return "Empty answer from " + where + ": the connection closed without one";
    case CURLE_RECV_ERROR:
      return "Connection reset while waiting for the answer from " + where;
    case CURLE_SEND_ERROR:
      return "Connection broken while sending to " + where;
    case CURLE_PARTIAL_FILE:
      return "Answer cut short from " + where;
    default:
      return fLastErrorText + " (" + where + ")";
  }
}

bool VN_HttpClient::Get(const std::string& aURL) {
  if (!fHTTPAlreadySet) SetHTTP();
  DoWriteLog(let_info, "GET", UrlWithoutCredentials(aURL));

  const kHttpResult r = fHttp->Perform(NewRequest("GET", aURL));
  NoteTransportFailure(r);
  LastStatusCode = r.StatusCode;
  bool result = false;
  if (ExchangeSucceeded(r)) {
    fResponse = r.Body;
    DoWriteLog(let_info, "Read [" + std::to_string(CharLength(fResponse)) + "]", fResponse);
    result = true;
  } else {
    fResponse.clear();
  }
  // Outside 200..299, or a success status whose answer then broke off: either way the
  // log says what went wrong, with the answer's own reason phrase or libcurl's text.
  if (!InRange(LastStatusCode, 200, 299) || !r.Complete()) {
    const std::string text = r.Complete() ? r.StatusText : r.ErrorText;
    DoWriteLog(let_error, "HTTP Error", std::to_string(LastStatusCode) + " - " + text);
    result = false;
  }
  return result;
}

bool VN_HttpClient::Post(const std::string& aURL, const std::string& aMessage) {
  DoWriteLog(let_info, "Write", UrlWithoutCredentials(aURL));
  if (!aMessage.empty()) DoWriteLog(let_info, "Write [" + std::to_string(CharLength(aMessage)) + "]", aMessage);
  if (!fHTTPAlreadySet) SetHTTP();

  kHttpRequest request = NewRequest("POST", aURL);
  request.Body = aMessage;
  // The kind of POST, by the exact content type.
  RemoveHeader(request.Headers, "Content-Type");
  if (ContentType == "application/xml")
    request.Headers.emplace_back("Content-Type", "application/xml; charset=utf-8");
  else if (ContentType == "application/json")
    request.Headers.emplace_back("Content-Type", "application/json");
  else
    request.Headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");

  const kHttpResult r = fHttp->Perform(request);
  NoteTransportFailure(r);
  if (r.Complete()) {
    LastStatusCode = r.StatusCode;
    LastStatusText = r.StatusText;
    bool result = false;
    if (ExchangeSucceeded(r)) {
      fResponse = r.Body;
      DoWriteLog(let_info, "Read [" + std::to_string(CharLength(fResponse)) + "]", fResponse);
      fResponseContentType = r.ContentType;
      result = true;
    } else {
      fResponse.clear();
      DoWriteLog(let_error, "PostXml method error", std::to_string(LastStatusCode) + " - " + LastStatusText);
    }
    if (!InRange(LastStatusCode, 200, 299) && !InRange(LastStatusCode, 301, 308)) {
      DoWriteLog(let_error, "HTTP Error", std::to_string(LastStatusCode) + " - " + LastStatusText);
      result = false;
    }
    return result;
  }
  // No answer: a stale body must not pass for this request's answer.
  fResponse.clear();
  LastStatusCode = ConnectFailReason(r);
  LastStatusText = r.ErrorText;
  DoWriteLog(let_error, "HTTP Error", std::to_string(LastStatusCode) + " - " + LastStatusText);
  return false;
}

}  // namespace fp
