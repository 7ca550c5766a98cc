// The socket headers come first: on Windows they are Winsock's, which must come before the
// windows.h that the driver's public header brings in.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include "http_service.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "journal_reader.h"
#include "platform.h"
#include "request_document.h"

namespace fpd {

struct kHttpService::kRequest {
  std::string fMethod;
  std::string fPath;
  std::string fBody;
  bool fTooLarge = false;
  bool fAnswered = false;
  kSteadyClock::time_point fStart = kSteadyClock::now();
};

namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct kReply {
  int fStatus = 200;
  std::string fType = "application/json";
  std::string fBody;
  Headers fHeaders;
  std::string fTill;  // for the log
};

kReply Json(int aStatus, const nlohmann::ordered_json& aBody) {
  return {aStatus, "application/json", aBody.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), {}, {}};
}

kReply Error(int aStatus, const std::string& aMessage, int aRetryAfter = 0) {
  kReply reply = Json(aStatus, nlohmann::ordered_json{{"error", aMessage}});
  if (aRetryAfter > 0) reply.fHeaders.emplace_back("Retry-After", std::to_string(aRetryAfter));
  return reply;
}

// A request header, or nullptr when absent.
const char* Header(MHD_Connection* aConnection, const char* aName) {
  return MHD_lookup_connection_value(aConnection, MHD_HEADER_KIND, aName);
}

std::string HeaderText(MHD_Connection* aConnection, const char* aName) {
  const char* value = Header(aConnection, aName);
  return value == nullptr ? std::string() : std::string(value);
}

std::vector<std::string> Segments(const std::string& aPath) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(aPath);
  while (std::getline(in, part, '/'))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

// Text for the log: control characters of a request's path never reach it.
std::string Printable(const std::string& aText, size_t aMax) {
  std::string out = aText.substr(0, aMax);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

std::string TodayUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT00:00:00Z", &parts);
  return text;
}

void Send(MHD_Connection* aConnection, const kReply& aReply, const std::string& aCorsOrigin) {
  MHD_Response* response = MHD_create_response_from_buffer(aReply.fBody.size(), const_cast<char*>(aReply.fBody.data()),
                                                           MHD_RESPMEM_MUST_COPY);
  if (!aReply.fType.empty()) MHD_add_response_header(response, "Content-Type", aReply.fType.c_str());
  MHD_add_response_header(response, "Cache-Control", "no-store");
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  if (!aCorsOrigin.empty()) {
    MHD_add_response_header(response, "Access-Control-Allow-Origin", aCorsOrigin.c_str());
    MHD_add_response_header(response, "Access-Control-Expose-Headers", "Retry-After");
    MHD_add_response_header(response, "Vary", "Origin");
  }
  for (const auto& [name, value] : aReply.fHeaders) MHD_add_response_header(response, name.c_str(), value.c_str());
  MHD_queue_response(aConnection, static_cast<unsigned int>(aReply.fStatus), response);
  MHD_destroy_response(response);
}

MHD_Result OnRequest(void* aSelf, MHD_Connection* aConnection, const char* aUrl, const char* aMethod, const char*,
                     const char* aUploadData, size_t* aUploadSize, void** aState) {
  auto* service = static_cast<kHttpService*>(aSelf);
  auto* request = static_cast<kHttpService::kRequest*>(*aState);
  if (request == nullptr) {
    request = new kHttpService::kRequest();
    service->RequestBegun();
    request->fMethod = aMethod;
    request->fPath = std::string(aUrl).substr(0, 512);
    *aState = request;
    // A body announced larger than the bound is refused before it is read.
    const char* length = Header(aConnection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (length != nullptr && std::strtoull(length, nullptr, 10) > service->MaxBody()) {
      request->fTooLarge = true;
      service->Answer(aConnection, *request);
    }
    return MHD_YES;
  }
  if (*aUploadSize != 0) {
    if (!request->fTooLarge && request->fBody.size() + *aUploadSize <= service->MaxBody())
      request->fBody.append(aUploadData, *aUploadSize);
    else {
      request->fTooLarge = true;
      request->fBody.clear();
    }
    *aUploadSize = 0;
    return MHD_YES;
  }
  if (!request->fAnswered) service->Answer(aConnection, *request);
  return MHD_YES;
}

void OnCompleted(void* aSelf, MHD_Connection*, void** aState, MHD_RequestTerminationCode) {
  if (*aState == nullptr) return;
  delete static_cast<kHttpService::kRequest*>(*aState);
  *aState = nullptr;
  static_cast<kHttpService*>(aSelf)->RequestEnded();
}

std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + aPath);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

nlohmann::ordered_json PrinterJson(const kPrinterStatus& aStatus) {
  return {{"name", aStatus.fName},
          {"state", PrinterStateName(aStatus.fState)},
          {"busy", aStatus.fBusy},
          {"queued", aStatus.fQueued},
          {"queue_limit", aStatus.fQueueLimit},
          {"serial_number", aStatus.fSerialNumber},
          {"fiscal_mode", aStatus.fFiscalMode},
          {"last_error", aStatus.fLastError},
          {"calls", aStatus.fCalls}};
}

}  // namespace

std::string TillOfToken(const std::vector<kTillConfig>& aTills, const std::string& aToken) {
  // Every token is compared in full, byte for byte over the longer of the two, and the
  // comparison never stops early: the time taken tells nothing of how close a guess was.
  std::string found;
  for (const kTillConfig& till : aTills) {
    const std::string& token = till.fToken;
    const size_t n = std::max(token.size(), aToken.size());
    unsigned char difference = token.size() == aToken.size() ? 0 : 1;
    for (size_t i = 0; i < n; ++i) {
      const unsigned char a = i < token.size() ? static_cast<unsigned char>(token[i]) : 0;
      const unsigned char b = i < aToken.size() ? static_cast<unsigned char>(aToken[i]) : 0;
      difference |= static_cast<unsigned char>(a ^ b);
    }
    if (difference == 0) found = till.fName;
  }
  return found;
}

kHttpService::kHttpService(const kServiceConfig& aConfig, std::map<std::string, kPrinterSession*> aPrinters,
                           std::string aJournalFolder)
    : fConfig(aConfig), fPrinters(std::move(aPrinters)), fJournalFolder(std::move(aJournalFolder)) {
  fLog = [](const std::string& aLine) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::clog << aLine << std::endl;
  };
}

kHttpService::~kHttpService() { Stop(); }

void kHttpService::Log(const std::string& aLine) const {
  if (fLog) fLog(aLine);
}

uint16_t kHttpService::Start() {
  unsigned int flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ITC |
                       MHD_USE_ERROR_LOG;
  sockaddr_storage address{};
  const bool v6 = fConfig.fListenAddress.find(':') != std::string::npos;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(fConfig.fPort);
    if (inet_pton(AF_INET6, fConfig.fListenAddress.c_str(), &in6->sin6_addr) != 1)
      throw std::runtime_error("listen.address " + fConfig.fListenAddress + " is not an IP address");
    flags |= MHD_USE_IPv6;
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(fConfig.fPort);
    if (inet_pton(AF_INET, fConfig.fListenAddress.c_str(), &in4->sin_addr) != 1)
      throw std::runtime_error("listen.address " + fConfig.fListenAddress + " is not an IP address");
  }
  std::vector<MHD_OptionItem> options{
      {MHD_OPTION_SOCK_ADDR, 0, &address},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&OnCompleted), this},
      {MHD_OPTION_CONNECTION_LIMIT, 128, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, 60, nullptr},
  };
  if (fConfig.fTls) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
      throw std::runtime_error("this build of fpd has no HTTPS: serve it over HTTP (leave \"tls\" out)");
    fCertificate = ReadFile(fConfig.fTls->fCertificateFile);
    fKey = ReadFile(fConfig.fTls->fKeyFile);
    flags |= MHD_USE_TLS;
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, fCertificate.data()});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, fKey.data()});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  fDaemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &OnRequest, this, MHD_OPTION_ARRAY, options.data(),
                             MHD_OPTION_END);
  if (fDaemon == nullptr)
    throw std::runtime_error("cannot listen on " + fConfig.fListenAddress + ":" + std::to_string(fConfig.fPort));
  return MHD_get_daemon_info(fDaemon, MHD_DAEMON_INFO_BIND_PORT)->port;
}

void kHttpService::StopListening() {
  if (fDaemon == nullptr) return;
  const MHD_socket socket = MHD_quiesce_daemon(fDaemon);
  if (socket != MHD_INVALID_SOCKET) CloseSocket(static_cast<std::intptr_t>(socket));
}

void kHttpService::RequestBegun() {
  std::lock_guard lock(fActiveMutex);
  ++fActive;
}

void kHttpService::RequestEnded() {
  std::lock_guard lock(fActiveMutex);
  --fActive;
  fActiveChanged.notify_all();
}

void kHttpService::Stop() {
  if (fDaemon == nullptr) return;
  // A till whose call was refused at shutdown still gets that answer before its connection
  // closes.
  {
    std::unique_lock lock(fActiveMutex);
    fActiveChanged.wait_for(lock, std::chrono::seconds(30), [this] { return fActive == 0; });
  }
  MHD_stop_daemon(fDaemon);
  fDaemon = nullptr;
}

void kHttpService::Answer(MHD_Connection* aConnection, kRequest& aRequest) {
  aRequest.fAnswered = true;
  kReply reply;
  const char* origin = Header(aConnection, "Origin");
  // The page fpd serves itself calls from fpd's own origin; other pages only from the list.
  const std::string host = HeaderText(aConnection, "Host");
  const bool sameOrigin = origin != nullptr && !host.empty() && origin == std::string(HasTls() ? "https://" : "http://") + host;
  const bool listed = origin != nullptr && std::find(fConfig.fAllowedOrigins.begin(), fConfig.fAllowedOrigins.end(),
                                                     std::string(origin)) != fConfig.fAllowedOrigins.end();
  const std::string corsOrigin = listed ? std::string(origin) : std::string();
  const std::vector<std::string> path = Segments(aRequest.fPath);
  const std::string& method = aRequest.fMethod;

  auto route = [&]() -> kReply {
    // A page of another origin gets nothing, not even the call carried out unseen.
    if (origin != nullptr && !listed && !sameOrigin) return Error(403, "origin " + std::string(origin).substr(0, 200) + " is not allowed");
    if (aRequest.fTooLarge)
      return Error(413, "the body is larger than " + std::to_string(fConfig.fMaxBodyBytes) + " bytes");
    if (method == "OPTIONS") {
      kReply preflight{204, "", "", {}, {}};
      preflight.fHeaders = {{"Allow", "GET, POST, OPTIONS"},
                            {"Access-Control-Allow-Methods", "GET, POST, OPTIONS"},
                            {"Access-Control-Allow-Headers", "Authorization, Content-Type, Accept, Idempotency-Key"},
                            {"Access-Control-Max-Age", "600"}};
      // A public page calling a local address asks first whether the device agrees.
      if (listed && HeaderText(aConnection, "Access-Control-Request-Private-Network") == "true")
        preflight.fHeaders.emplace_back("Access-Control-Allow-Private-Network", "true");
      return preflight;
    }
    if (method != "GET" && method != "POST") return Error(405, "method " + method.substr(0, 20) + " is not served");
    if (method == "GET" && path.empty()) return {200, "text/html; charset=utf-8", kStatusPage, {{"Content-Security-Policy", "default-src 'self'"}}, {}};
    if (method == "GET" && path == std::vector<std::string>{"status.js"}) return {200, "text/javascript; charset=utf-8", kStatusScript, {}, {}};
    if (method == "GET" && path == std::vector<std::string>{"health"}) {
      size_t ready = 0;
      for (const auto& [name, session] : fPrinters)
        if (session->Status().fState == vnPrinterState::Ready) ++ready;
      return Json(200, {{"status", "ok"}, {"printers", fPrinters.size()}, {"printers_ready", ready}});
    }
    if (path.empty() || path[0] != "v1") return Error(404, "no such resource");

    const std::string authorization = HeaderText(aConnection, "Authorization");
    const std::string till =
        authorization.rfind("Bearer ", 0) == 0 ? TillOfToken(fConfig.fTills, authorization.substr(7)) : std::string();
    if (till.empty()) {
      kReply refused = Error(401, "a till's bearer token is needed");
      refused.fHeaders.emplace_back("WWW-Authenticate", "Bearer realm=\"fpd\"");
      return refused;
    }
    kReply reply = [&]() -> kReply {
      // GET /v1/printers
      if (path.size() == 2 && path[1] == "printers") {
        if (method != "GET") return Error(405, "GET only");
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& [name, session] : fPrinters) list.push_back(PrinterJson(session->Status()));
        return Json(200, {{"printers", list}});
      }
      // GET /v1/documents/{key}
      if (path.size() == 3 && path[1] == "documents") {
        if (method != "GET") return Error(405, "GET only");
        if (!IsIdempotencyKey(path[2])) return Error(400, "a document key is 1 to 64 letters, digits, \"-\", \"_\", \".\" or \":\"");
        std::optional<kJournalRow> newest;
        std::string printer;
        for (const auto& [name, session] : fPrinters) {
          const std::string serial = session->Status().fSerialNumber;
          if (serial.empty()) continue;
          std::optional<kJournalRow> row = FindDocument(JournalPath(fJournalFolder, serial), "ref:" + path[2]);
          if (row && (!newest || row->fUpdated > newest->fUpdated)) {
            newest = std::move(row);
            printer = name;
          }
        }
        if (!newest) return Error(404, "no document with key " + path[2]);
        return {200, "application/json", RowToJson(*newest, printer, true), {}, {}};
      }
      if (path.size() < 3 || path[1] != "printers") return Error(404, "no such resource");
      const auto found = IsPlainName(path[2]) ? fPrinters.find(path[2]) : fPrinters.end();
      if (found == fPrinters.end()) return Error(404, "no printer " + path[2].substr(0, 64));
      kPrinterSession& session = *found->second;
      // GET /v1/printers/{name}/documents?since=...
      if (path.size() == 4 && path[3] == "documents" && method == "GET") {
        const char* sinceArg = MHD_lookup_connection_value(aConnection, MHD_GET_ARGUMENT_KIND, "since");
        const std::string since = sinceArg == nullptr ? TodayUtc() : NormaliseSince(sinceArg);
        if (since.empty()) return Error(400, "since is YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC)");
        const char* limitArg = MHD_lookup_connection_value(aConnection, MHD_GET_ARGUMENT_KIND, "limit");
        const long limit = limitArg == nullptr ? 1000 : std::strtol(limitArg, nullptr, 10);
        if (limit < 1 || limit > 1000) return Error(400, "limit is 1 to 1000");
        const std::string serial = session.Status().fSerialNumber;
        if (serial.empty()) return Error(503, "printer " + path[2] + " has not been reached yet: its journal is not known", 5);
        std::string body = "{\"printer\":" + nlohmann::json(path[2]).dump() + ",\"since\":\"" + since + "\",\"documents\":[";
        bool first = true;
        for (const kJournalRow& row : ListDocuments(JournalPath(fJournalFolder, serial), since, static_cast<size_t>(limit))) {
          body += (first ? "" : ",") + RowToJson(row, path[2], false);
          first = false;
        }
        return {200, "application/json", body + "]}", {}, {}};
      }
      // POST /v1/printers/{name}/{export}
      if (path.size() == 4 && method == "POST") {
        const std::string& name = path[3];
        if (!IsTillExport(name)) {
          const bool own = name == "OPEN" || name == "CLOSE" || name == "VERSION";
          return own ? Error(403, name + " is fpd's own: it opens and closes the printers itself")
                     : Error(404, "no export " + name.substr(0, 64));
        }
        const char* key = Header(aConnection, "Idempotency-Key");
        std::future<kCallOutcome> future =
            session.Submit(name, kPreparedRequest(session.Config(), name, aRequest.fBody, key ? key : ""));
        kCallOutcome outcome = future.get();
        if (outcome.fHttpStatus != 200) return Error(outcome.fHttpStatus, outcome.fMessage, outcome.fRetryAfterSeconds);
        const std::string accept = HeaderText(aConnection, "Accept");
        if (accept.find("application/json") != std::string::npos)
          return {200, "application/json", ResultToJson(outcome.fAnswer.fOutput), {}, {}};
        return {200, "application/xml; charset=utf-8", outcome.fAnswer.fOutput, {}, {}};
      }
      return Error(method == "GET" || method == "POST" ? 404 : 405, "no such resource");
    }();
    reply.fTill = till;
    return reply;
  };

  try {
    reply = route();
  } catch (const kRequestError& e) {
    reply = Error(400, e.what());
  } catch (const kJournalReadError& e) {
    reply = Error(503, std::string("the document journal cannot be read: ") + e.what(), 5);
  } catch (const std::exception& e) {
    reply = Error(500, e.what());
  }
  Send(aConnection, reply, corsOrigin);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(kSteadyClock::now() - aRequest.fStart).count();
  Log("fpd: " + Printable(method, 16) + " " + Printable(aRequest.fPath, 200) + " till=" +
      (reply.fTill.empty() ? "-" : reply.fTill) + " " + std::to_string(reply.fStatus) + " " + std::to_string(ms) + "ms");
}

}  // namespace fpd
