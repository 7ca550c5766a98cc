#include "io/io_handler_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "base/errors.h"
#include "base/text.h"
#include "io/io_errors.h"
#include "io/sigpipe_guard.h"
#include "io/transport_factory.h"

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

constexpr int32_t kMinTimeoutMs = 1000;

bool InRange(int32_t aValue, int32_t aLow, int32_t aHigh) { return aValue >= aLow && aValue <= aHigh; }

// A wait in words: whole seconds as "N s", anything else as "N ms".
std::string WaitText(int32_t aMs) {
  return aMs % 1000 == 0 ? std::to_string(aMs / 1000) + " s" : std::to_string(aMs) + " ms";
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

void SetHeader(std::vector<std::pair<std::string, std::string>>& aHeaders, const std::string& aName,
               const std::string& aValue) {
  for (auto& header : aHeaders) {
    if (SameText(header.first, aName)) {
      header.second = aValue;
      return;
    }
  }
  aHeaders.emplace_back(aName, aValue);
}

// The header lines of one request, freed with it.
struct HeaderList {
  curl_slist* list = nullptr;
  HeaderList() = default;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  ~HeaderList() { curl_slist_free_all(list); }
  void Add(const std::string& aLine) {
    curl_slist* next = curl_slist_append(list, aLine.c_str());
    if (next == nullptr) throw kException("Out of memory building HTTP headers");
    list = next;
  }
};

// The lines of aHeaders that may go out, "Connection: close" always among them.
void AddHeaderLines(HeaderList& aList, const std::vector<std::pair<std::string, std::string>>& aHeaders) {
  bool connectionSet = false;
  for (const auto& [name, value] : aHeaders) {
    if (name.empty() || name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
      continue;  // a header that would break the request is never sent
    if (SameText(name, "connection")) {
      if (!SameText(value, "close")) continue;
      connectionSet = true;
    }
    // "Name;" is libcurl's way to send a header with an empty value.
    aList.Add(value.empty() ? name + ";" : name + ": " + value);
  }
  if (!connectionSet) aList.Add("Connection: close");
  aList.Add("Expect:");  // no 100-continue round trip before a body
}

// Whether a failed request surely never reached the peer.
bool NeverDelivered(CURLcode aCode, CURL* aCurl) {
  switch (aCode) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return true;
    default:
      break;
  }
  // Nothing of the request went out (a bad URL, a connect timeout, a failed TLS
  // handshake): the peer can't have acted on it. Anything else may have reached it, also
  // an answer libcurl rejects as not being HTTP at all.
  long requestSize = 0;
  return curl_easy_getinfo(aCurl, CURLINFO_REQUEST_SIZE, &requestSize) == CURLE_OK && requestSize == 0;
}

}  // namespace

// The state of one transfer, shared with libcurl's callbacks.
struct kIOHandler_HTTP::Transfer {
  Reply* reply;
  CURL* curl;
  std::chrono::milliseconds readTimeout{kMinTimeoutMs};
  bool overflow = false;
  bool readTimedOut = false;
  // Bytes moved either way and when that last changed.
  curl_off_t moved = -1;
  Clock::time_point lastActivity{};

  // The read timeout: once connected, a transfer in which no byte moves either way for
  // longer than the read timeout is ended. libcurl calls this about once a second while it
  // waits, and more often while data flows.
  static int OnProgress(void* aUser, curl_off_t, curl_off_t aDlNow, curl_off_t, curl_off_t aUlNow) {
    auto* t = static_cast<Transfer*>(aUser);
    const auto now = Clock::now();
    curl_off_t connectTime = 0;
    curl_easy_getinfo(t->curl, CURLINFO_CONNECT_TIME_T, &connectTime);
    const curl_off_t moved = aDlNow + aUlNow;
    // Until connected the connect timeout is in charge.
    if (connectTime == 0 || moved != t->moved) {
      t->moved = connectTime == 0 ? -1 : moved;
      t->lastActivity = now;
      return 0;
    }
    if (now - t->lastActivity > t->readTimeout) {
      t->readTimedOut = true;
      return 1;  // aborts the transfer
    }
    return 0;
  }

  static size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aUser) {
    auto* t = static_cast<Transfer*>(aUser);
    const size_t n = aSize * aCount;
    if (t->reply->Body.size() + n > kMaxHttpBodySize) {
      t->overflow = true;
      return 0;  // aborts the transfer
    }
    t->reply->Body.append(aData, n);
    return n;
  }

  // The status line of every answer; a new one (a digest challenge is answered 401 first,
  // then the real answer follows) starts afresh. Called once per header line.
  static size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aUser) {
    auto* t = static_cast<Transfer*>(aUser);
    const size_t n = aSize * aCount;
    const std::string_view raw(aData, n);
    if (!StartsWith(raw, "HTTP/")) return n;
    Reply& r = *t->reply;
    r.StatusLine = TrimLineEnd(std::string(raw));
    r.Reason.clear();
    // "HTTP/1.1 200 OK": the reason phrase follows the second blank and may be empty.
    const size_t sp1 = r.StatusLine.find(' ');
    if (sp1 != std::string::npos) {
      const size_t sp2 = r.StatusLine.find(' ', sp1 + 1);
      if (sp2 != std::string::npos) r.Reason = r.StatusLine.substr(sp2 + 1);
    }
    return n;
  }
};

std::unique_ptr<kIOHandler> NewIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory,
                                              const std::string& aFileName) {
  return std::make_unique<kIOHandler_HTTP>(aConnection, aDirectory, aFileName);
}

kIOHandler_HTTP::kIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName),
      fAuthType(aConnection.AuthType),
      fUser(aConnection.User),
      fPassword(aConnection.Password) {
  if (!aConnection.URL.empty()) {
    fUrl = aConnection.URL;
  } else {
    fUrl = aConnection.Address;
    if (aConnection.Port > 0) fUrl += ":" + std::to_string(aConnection.Port);
  }
  EnsureCurlInitialised();
  fCurl = curl_easy_init();
  if (fCurl == nullptr) throw kException("Unable to create an HTTP session");
  // What every request shares. The handle is never reset, so these stay.
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
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
}

kIOHandler_HTTP::~kIOHandler_HTTP() { curl_easy_cleanup(fCurl); }

// Every request runs on a connection of its own that is closed with the answer, so
// between calls no connection is held.
bool kIOHandler_HTTP::GetConnected() { return false; }

bool kIOHandler_HTTP::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "URL=" + UrlWithoutCredentials(fUrl));
  return true;
}

bool kIOHandler_HTTP::Disconnect() { return true; }

std::string kIOHandler_HTTP::ReadAll() { throw kException("ReadAll Unsupported"); }

bool kIOHandler_HTTP::InputBufferContainsData() { throw kException("InputBufferContainsData Unsupported"); }

void kIOHandler_HTTP::SetParameter(const std::string& aName, const std::string& aValue) {
  SetHeader(fHeaders, aName, aValue);
}

kExchange* kIOHandler_HTTP::OpenExchange(const kExchangeProfile& aProfile) {
  // Command paths are appended to the URL as they are.
  if (fUrl.empty() || fUrl.back() != '/') fUrl += "/";
  fContentType = aProfile.ContentType;
  fUserAgent = aProfile.UserAgent;
  return this;
}

// ---- One request on the handle ----

void kIOHandler_HTTP::SetTarget(const Request& aRequest) {
  CURL* c = fCurl;
  curl_easy_setopt(c, CURLOPT_URL, aRequest.URL.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, aRequest.UserAgent.empty() ? nullptr : aRequest.UserAgent.c_str());
  if (aRequest.Post) {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, aRequest.Body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aRequest.Body.size()));
  } else {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, static_cast<char*>(nullptr));
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  }
}

void kIOHandler_HTTP::SetTimeouts(const Request& aRequest, Transfer& aTransfer) {
  const long connectMs = std::max(kMinTimeoutMs, aRequest.ConnectTimeoutMs);
  const long readMs = std::max(kMinTimeoutMs, aRequest.ReadTimeoutMs);
  // A digest exchange is two round trips.
  const long rounds = aRequest.AuthType == at_Digest ? 2 : 1;
  curl_easy_setopt(fCurl, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
  // A stalled exchange ends after the read timeout (OnProgress); the overall cap also ends
  // an answer that trickles in just fast enough never to stall.
  aTransfer.readTimeout = std::chrono::milliseconds(readMs);
  curl_easy_setopt(fCurl, CURLOPT_TIMEOUT_MS, (connectMs + readMs) * rounds);
}

void kIOHandler_HTTP::SetCredentials(const Request& aRequest) {
  CURL* c = fCurl;
  curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  curl_easy_setopt(c, CURLOPT_USERNAME, static_cast<char*>(nullptr));
  curl_easy_setopt(c, CURLOPT_PASSWORD, static_cast<char*>(nullptr));
  curl_easy_setopt(c, CURLOPT_XOAUTH2_BEARER, static_cast<char*>(nullptr));
  switch (aRequest.AuthType) {
    case at_Basic:
    case at_Digest:
      curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(aRequest.AuthType == at_Digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC));
      curl_easy_setopt(c, CURLOPT_USERNAME, aRequest.User.c_str());
      curl_easy_setopt(c, CURLOPT_PASSWORD, aRequest.Password.c_str());
      break;
    case at_Bearer:
      // The connection carries no token: the scheme goes out with an empty one.
      curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BEARER));
      curl_easy_setopt(c, CURLOPT_XOAUTH2_BEARER, "");
      break;
    case at_None:
      break;
  }
}

kIOHandler_HTTP::Reply kIOHandler_HTTP::Perform(const Request& aRequest) {
  Reply reply;
  Transfer transfer{&reply, fCurl};
  char errorBuffer[CURL_ERROR_SIZE];
  errorBuffer[0] = '\0';
  // Every option that differs between requests is set on every request, so nothing of an
  // earlier request carries over.
  curl_easy_setopt(fCurl, CURLOPT_ERRORBUFFER, errorBuffer);
  SetTarget(aRequest);
  SetTimeouts(aRequest, transfer);
  SetCredentials(aRequest);
  HeaderList headers;
  AddHeaderLines(headers, aRequest.Headers);
  curl_easy_setopt(fCurl, CURLOPT_HTTPHEADER, headers.list);
  curl_easy_setopt(fCurl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(fCurl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(fCurl, CURLOPT_HEADERDATA, &transfer);

  CURLcode code;
  {
    // Plain HTTP sends with MSG_NOSIGNAL; only TLS needs the guard.
    kSigPipeGuard guard(StartsWithNoCase(aRequest.URL, "https:"));
    code = curl_easy_perform(fCurl);
  }
  long status = 0;
  curl_easy_getinfo(fCurl, CURLINFO_RESPONSE_CODE, &status);
  reply.CurlCode = code;
  reply.Status = static_cast<int32_t>(status);
  if (code != CURLE_OK) {
    if (transfer.overflow)
      reply.ErrorText = "Answer larger than " + std::to_string(kMaxHttpBodySize) + " bytes";
    else if (transfer.readTimedOut)
      reply.ErrorText = "No data for " + WaitText(static_cast<int32_t>(transfer.readTimeout.count())) + ": read timed out";
    else
      reply.ErrorText = CurlMessage(code, errorBuffer);
    reply.NotDelivered = NeverDelivered(code, fCurl);
  }
  curl_easy_setopt(fCurl, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
  curl_easy_setopt(fCurl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  return reply;
}

// ---- POST ----

kIOHandler_HTTP::Request kIOHandler_HTTP::PostRequest(std::string_view aMessage) const {
  Request request;
  request.Post = true;
  request.URL = fUrl;
  request.Body = aMessage;
  request.Headers = fHeaders;
  if (!fContentType.empty()) {
    std::erase_if(request.Headers, [](const auto& aHeader) { return SameText(aHeader.first, "Content-Type"); });
    request.Headers.emplace_back("Content-Type", fContentType);
  }
  // Basic goes with the first request; digest answers the server's challenge; any other
  // scheme sends no credentials.
  if (fAuthType == at_Basic || fAuthType == at_Digest) {
    request.AuthType = fAuthType;
    request.User = fUser;
    request.Password = fPassword;
  }
  request.ConnectTimeoutMs = ConnectTimeout();
  request.ReadTimeoutMs = ReadTimeout();
  return request;
}

bool kIOHandler_HTTP::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write [" + std::to_string(aMessage.size()) + "]", aMessage);
  Reply r;
  try {
    r = Perform(PostRequest(aMessage));
  } catch (const std::exception& e) {
    r.CurlCode = -1;
    r.ErrorText = e.what();
    r.NotDelivered = true;
  }
  if (r.Complete() && InRange(r.Status, 200, 299)) {
    fResponse = std::move(r.Body);
    fResponseCode = r.Status;
    fLastWrite = kExchangeResult{eo_Answered, {}, r.Status, {}};
  } else {
    RecordWriteFailure(r);
  }
  WriteLog(let_info, "Read", "ResponseCode:" + std::to_string(fResponseCode) + "\r\n" + fResponse);
  return InRange(fResponseCode, 200, 299);
}

void kIOHandler_HTTP::RecordWriteFailure(const Reply& aReply) {
  // The status line says what the server refused; without an answer, libcurl's text.
  const std::string failure = aReply.Complete() ? aReply.StatusLine : aReply.ErrorText;
  WriteLog(let_error, "Post Error", failure);
  fLastWrite = kExchangeResult{aReply.NotDelivered ? eo_NotDelivered : eo_OutcomeUnknown, {}, aReply.Status, failure};
  // A request that got no status at all has no code of its own.
  const int32_t code = aReply.Status > 0 ? aReply.Status : -1;
  if (InRange(code, 200, 299)) {
    fResponseCode = 999;
    SetCustomError(999, failure);
    return;
  }
  fResponseCode = code;
  std::string message = failure + " " + DecodeError(code);
  if (code == 401 && fAuthType == at_None && (!fUser.empty() || !fPassword.empty()))
    message += ": " + std::string(kAuthTypeMissing);
  SetCustomError(code, message);
  WriteLog(let_error, "Post Error", std::to_string(code) + " " + DecodeError(code));
}

// ---- GET: the exchanges ----

void kIOHandler_HTTP::BuildExchangeRequest() {
  fExchange.ConnectTimeoutMs = ConnectTimeout();
  fExchange.UserAgent = fUserAgent;
  if (!fContentType.empty()) fExchange.Headers.emplace_back("Content-Type", fContentType);
  // A printer left with too many open connections prints a power-failure message on the
  // receipt, so none is kept open between commands.
  fExchange.Headers.emplace_back("Connection", "close");
  fExchange.AuthType = fAuthType;
  if (fAuthType == at_Basic || fAuthType == at_Digest) {
    fExchange.User = fUser;
    fExchange.Password = fPassword;
  }
  fExchangeBuilt = true;
}

kExchangeResult kIOHandler_HTTP::Exchange(const std::string& aPath) {
  if (!fExchangeBuilt) BuildExchangeRequest();
  fExchange.URL = fUrl + aPath;
  fExchange.ReadTimeoutMs = ReadTimeout();
  WriteLog(let_info, "GET", UrlWithoutCredentials(fExchange.URL));

  Reply r = Perform(fExchange);
  kExchangeResult result;
  result.Code = r.Status;
  // A redirect is an answer like any other (it is never followed), but not a command's.
  if (r.Complete() && InRange(r.Status, 100, 399))
    WriteLog(let_info, "Read [" + std::to_string(CharLength(r.Body)) + "]", r.Body);
  if (r.Complete() && InRange(r.Status, 200, 299)) {
    result.Outcome = eo_Answered;
    result.Answer = std::move(r.Body);
    return result;
  }
  // Outside 200..299, or a success status whose answer then broke off: either way the log
  // says what went wrong, with the answer's own reason phrase or libcurl's text.
  WriteLog(let_error, "HTTP Error", std::to_string(r.Status) + " - " + (r.Complete() ? r.Reason : r.ErrorText));
  // Only a request that surely never reached the printer counts as not delivered. A complete
  // answer with an error status may come from a printer that acted and then failed, or from
  // a gateway in between that cannot know: the command may have been carried out.
  result.Outcome = r.NotDelivered ? eo_NotDelivered : eo_OutcomeUnknown;
  result.Reason = FailureReason(r);
  return result;
}

std::string kIOHandler_HTTP::FailureReason(const Reply& aReply) const {
  const std::string where = UrlWithoutCredentials(fUrl);
  if (aReply.Complete()) {
    std::string text = "HTTP " + std::to_string(aReply.Status);
    if (!aReply.Reason.empty()) text += " " + aReply.Reason;
    text += " from " + where;
    if (aReply.Status == 401 && fAuthType == at_None && (!fUser.empty() || !fPassword.empty()))
      text += ": " + std::string(kAuthTypeMissing);
    return text;
  }
  switch (aReply.CurlCode) {
    case CURLE_COULDNT_CONNECT:
      return "Connection refused (or the host unreachable) at " + where;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "Host not found for " + where;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "Invalid URL " + where;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK: {
      // The waits as they were applied.
      const int32_t connectMs = std::max(kMinTimeoutMs, fExchange.ConnectTimeoutMs);
      const int32_t readMs = std::max(kMinTimeoutMs, fExchange.ReadTimeoutMs);
      if (aReply.NotDelivered) return "No connection to " + where + ": timed out after " + std::to_string(connectMs) + " ms";
      return "No answer from " + where + ": timed out after " + std::to_string(readMs) + " ms";
    }
    case CURLE_GOT_NOTHING:
      return "Empty answer from " + where + ": the connection closed without one";
    case CURLE_RECV_ERROR:
      return "Connection reset while waiting for the answer from " + where;
    case CURLE_SEND_ERROR:
      return "Connection broken while sending to " + where;
    case CURLE_PARTIAL_FILE:
      return "Answer cut short from " + where;
    default:
      return aReply.ErrorText + " (" + where + ")";
  }
}

std::string kIOHandler_HTTP::HttpStatusText(int32_t aCode) {
  switch (aCode) {
    case 100: return "Continue";
    case 101: return "Switching Protocol";
    case 102: return "Processing (WebDAV)";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 207: return "Multi-Status (WebDAV)";
    case 208: return "Already Reported (WebDAV)";
    case 226: return "IM Used (HTTP Delta encoding)";
    case 300: return "Multiple Choice";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy ";
    case 306: return "unused";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 416: return "Requested Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 418: return "I'm a teapot";
    case 421: return "Misdirected Request";
    case 422: return "Unprocessable Entity (WebDAV)";
    case 423: return "Locked (WebDAV)";
    case 424: return "Failed Dependency (WebDAV)";
    case 426: return "Upgrade Required";
    case 428: return "Precondition Required";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 451: return "Unavailable For Legal Reasons";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    case 506: return "Variant Also Negotiates";
    case 507: return "Insufficient Storage";
    case 508: return "Loop Detected (WebDAV)";
    case 510: return "Not Extended";
    case 511: return "Network Authentication Required";
    default: return "Unknown";
  }
}

}  // namespace fp
