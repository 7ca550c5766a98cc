#include "io/io_handler_http.h"

#include <algorithm>

#include "base/errors.h"
#include "base/text.h"
#include "io/http_client.h"
#include "io/io_errors.h"
#include "io/transport_factory.h"

namespace fp {

std::unique_ptr<kIOHandler> NewIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory,
                                              const std::string& aFileName) {
  return std::make_unique<kIOHandler_HTTP>(aConnection, aDirectory, aFileName);
}

kIOHandler_HTTP::kIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName), fHttp(std::make_unique<VN_HttpClient>()) {
  if (!aConnection.URL.empty()) {
    URL = aConnection.URL;
  } else {
    URL = aConnection.Address;
    if (aConnection.Port > 0) URL += ":" + std::to_string(aConnection.Port);
  }
  AuthType = aConnection.AuthType;
  User = aConnection.User;
  Password = aConnection.Password;
}

kIOHandler_HTTP::~kIOHandler_HTTP() = default;

// Every request runs on a connection of its own that is closed with the answer, so
// between calls no connection is held.
bool kIOHandler_HTTP::GetConnected() { return false; }

bool kIOHandler_HTTP::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "URL=" + UrlWithoutCredentials(URL));
  return true;
}

bool kIOHandler_HTTP::Disconnect() { return true; }

std::string kIOHandler_HTTP::ReadAll() { throw kException("ReadAll Unsupported"); }

bool kIOHandler_HTTP::InputBufferContainsData() { throw kException("InputBufferContainsData Unsupported"); }

void kIOHandler_HTTP::SetParameter(const std::string& aName, const std::string& aValue) {
  for (auto& header : fHeaders) {
    if (SameText(header.first, aName)) {
      header.second = aValue;
      return;
    }
  }
  fHeaders.emplace_back(aName, aValue);
}

bool kIOHandler_HTTP::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write [" + std::to_string(aMessage.size()) + "]", aMessage);

  kHttpRequest request;
  request.Method = "POST";
  request.URL = URL;
  request.Body = aMessage;
  request.Headers = fHeaders;
  if (!ContentType.empty()) {
    request.Headers.erase(std::remove_if(request.Headers.begin(), request.Headers.end(),
                                         [](const auto& h) { return SameText(h.first, "Content-Type"); }),
                          request.Headers.end());
    request.Headers.emplace_back("Content-Type", ContentType);
  }
  // Basic goes with the first request; digest answers the server's challenge; any other
  // scheme sends no credentials.
  if (AuthType == at_Basic || AuthType == at_Digest) {
    request.AuthType = AuthType;
    request.User = User;
    request.Password = Password;
  }
  request.ConnectTimeout = ConnectTimeout() / 1000;
  request.ReadTimeout = ReadTimeout() / 1000;

  kHttpResult r;
  try {
    r = fHttp->Perform(request);
  } catch (const std::exception& e) {
    r.CurlCode = -1;
    r.ErrorText = e.what();
    r.Failure = hf_NotDelivered;
  }
  fLastFailure = r.Failure;
  const bool ok = r.Complete() && r.StatusCode >= 200 && r.StatusCode <= 299;
  if (ok) {
    Response = r.Body;
    ResponseCode = r.StatusCode;
  } else {
    // The status line says what the server refused; without an answer, libcurl's text.
    const std::string failure = r.Complete() ? r.StatusLine : r.ErrorText;
    WriteLog(let_error, "Post Error", failure);
    // A request that got no status at all has no code of its own.
    const int32_t code = r.StatusCode > 0 ? r.StatusCode : -1;
    if (code < 200 || code > 299) {
      ResponseCode = code;
      std::string message = failure + " " + DecodeError(code);
      if (code == 401 && AuthType == at_None && (!User.empty() || !Password.empty()))
        message += ": " + std::string(kAuthTypeMissing);
      SetCustomError(code, message);
      WriteLog(let_error, "Post Error", std::to_string(code) + " " + DecodeError(code));
    } else {
      ResponseCode = 999;
      SetCustomError(999, failure);
    }
  }
  WriteLog(let_info, "Read", "ResponseCode:" + std::to_string(ResponseCode) + "\r\n" + Response);
  return ResponseCode >= 200 && ResponseCode <= 299;
}

void kIOHandler_HTTP::SetupHttpClient() {
  fHttp->OnWriteLog = [this](tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) {
    WriteLog(aType, aTitle, aMessage);
  };
  // The client counts whole seconds; the transport milliseconds.
  fHttp->ConnectTimeout = ConnectTimeout() / 1000;
  fHttp->AuthType = AuthType;
  fHttp->User = User;
  fHttp->Password = Password;
  fHttp->UserAgent = UserAgent;
  fHttp->ContentType = ContentType;
  // A printer left with too many open connections prints a power-failure message on the
  // receipt, so none is kept open between commands.
  fHttp->SetRequestHeader("Connection", "close");
}

kExchangeResult kIOHandler_HTTP::Exchange(const std::string& aPath) {
  if (!fHttp->HTTPAlreadySet()) SetupHttpClient();
  fHttp->ReadTimeout = ReadTimeout() / 1000;
  kExchangeResult result;
  if (fHttp->Get(URL + aPath)) {
    result.Outcome = eo_Answered;
    result.Answer = fHttp->Response();
    return result;
  }
  // Only a request that surely never reached the printer counts as not delivered. A complete
  // answer with an error status may come from a printer that acted and then failed, or from
  // a gateway in between that cannot know: the command may have been carried out.
  result.Outcome = fHttp->LastFailure() == hf_NotDelivered ? eo_NotDelivered : eo_OutcomeUnknown;
  result.Code = fHttp->LastStatusCode;
  result.Reason = fHttp->LastFailureReason(URL);
  return result;
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
