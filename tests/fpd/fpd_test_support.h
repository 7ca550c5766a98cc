// Shared pieces of fpd's tests: an HTTP client (libcurl), fpd run inside the test process
// with the built library, and the requests the tests send.
#pragma once

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "driver_library.h"
#include "fpemu/printer_emulator.h"
#include "http_service.h"
#include "printer_session.h"
#include "request_document.h"

namespace fpd::test {

inline constexpr const char* kToken = "till-1-token-0123456789";
inline constexpr const char* kOtherToken = "till-2-token-9876543210";
inline constexpr const char* kAllowedOrigin = "http://127.0.0.1:9";

struct kHttpAnswer {
  long fStatus = 0;
  std::map<std::string, std::string> fHeaders;  // names lower-cased
  std::string fBody;
  std::string Header(const std::string& aName) const {
    const auto found = fHeaders.find(aName);
    return found == fHeaders.end() ? std::string() : found->second;
  }
};

inline size_t CollectBody(char* aData, size_t aSize, size_t aCount, void* aOut) {
  static_cast<std::string*>(aOut)->append(aData, aSize * aCount);
  return aSize * aCount;
}

inline size_t CollectHeader(char* aData, size_t aSize, size_t aCount, void* aOut) {
  std::string line(aData, aSize * aCount);
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of("\r\n ") + 1);
    (*static_cast<std::map<std::string, std::string>*>(aOut))[name] = value;
  }
  return aSize * aCount;
}

// One HTTP exchange; aBody is sent (as POST data) for POST.
inline kHttpAnswer Http(const std::string& aMethod, const std::string& aUrl, const std::vector<std::string>& aHeaders = {},
                        const std::string& aBody = "") {
  kHttpAnswer answer;
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const std::string& h : aHeaders) headers = curl_slist_append(headers, h.c_str());
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, aUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, aMethod.c_str());
  if (aMethod == "POST") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, aBody.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aBody.size()));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.fBody);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.fHeaders);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  const CURLcode rc = curl_easy_perform(curl);
  if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.fStatus);
  else answer.fBody = curl_easy_strerror(rc);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return answer;
}

inline std::string Bearer(const std::string& aToken = kToken) { return "Authorization: Bearer " + aToken; }

// A sale of one item at aPrice in department 1, paid in cash.
inline std::string Receipt(const std::string& aPrice, const std::string& aExtra = "") {
  return "<Receipt><Type>Sale</Type>" + aExtra +
         "<Lines><ProductSale><Description>Caffe</Description><Quantity>1</Quantity><Price>" + aPrice +
         "</Price><Amount>" + aPrice + "</Amount><Department>1</Department></ProductSale></Lines><Taxes/><Payments/></Receipt>";
}

inline std::string Element(const std::string& aFragment, const std::string& aName) {
  return ResultElement(aFragment, aName);
}

// The configuration of one printer "front" at aPrinterUrl, two tills, one allowed origin;
// aExtra adds top-level settings (",\"queue_limit\": 1").
inline std::string ConfigJson(const std::string& aPrinterUrl, const std::string& aExtra = "") {
  return std::string(R"({"listen": {"address": "127.0.0.1", "port": 0}, "status_interval_ms": 0,
    "reopen": {"first_ms": 100, "max_ms": 400},
    "tills": [{"name": "till-1", "token": ")") + kToken + R"("}, {"name": "till-2", "token": ")" + kOtherToken +
         R"("}],
    "allowed_origins": [")" + kAllowedOrigin + R"("],
    "printers": [{"name": "front", "connection": {"Type": "HTTP", "URL": ")" + aPrinterUrl +
         R"(", "ReadTimeout": 30000}}])" + aExtra + "}";
}

// The library of the build, loaded once per test process with an application folder of the
// process's own in the scratch folder, so that no other test's journals or logs mix in.
inline const kDriverLibrary& Library() {
  static const kDriverLibrary* library = [] {
    const std::string folder = ::testing::TempDir() + "fpd-test-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);
    setenv("FPDRIVER_APP_DIR", folder.c_str(), 1);
    return new kDriverLibrary(FPDRIVER_SO_PATH);
  }();
  return *library;
}

inline std::string ApplicationFolder() {
  Library();
  std::string dir = getenv("FPDRIVER_APP_DIR");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// fpd inside the test process: the printers' sessions and the HTTP service.
class kService {
 public:
  explicit kService(const std::string& aConfigJson, kSleeper aSleeper = {}, kClock aClock = {})
      : fConfig(ParseConfig(aConfigJson)) {
    const kSessionTiming timing{fConfig.fReopenFirstMs, fConfig.fReopenMaxMs, fConfig.fStatusIntervalMs,
                                fConfig.fQueueWaitMs};
    std::map<std::string, kPrinterSession*> byName;
    for (const kPrinterConfig& p : fConfig.fPrinters) {
      fSessions.push_back(std::make_unique<kPrinterSession>(p, Library(), timing, aClock, aSleeper));
      byName[p.fName] = fSessions.back().get();
    }
    fService = std::make_unique<kHttpService>(fConfig, byName, ApplicationFolder());
    fService->SetLog([](const std::string&) {});
    fPort = fService->Start();
    for (auto& s : fSessions) s->Start();
  }
  ~kService() {
    fService->StopListening();
    for (auto& s : fSessions) s->Stop();
    fService->Stop();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(fPort); }
  kPrinterSession& Printer(size_t aIndex = 0) { return *fSessions.at(aIndex); }
  bool WaitReady(size_t aIndex = 0) {
    return Printer(aIndex).WaitUntil([](const kPrinterStatus& s) { return s.fState == vnPrinterState::Ready; },
                                     std::chrono::seconds(60));
  }

 private:
  kServiceConfig fConfig;
  std::vector<std::unique_ptr<kPrinterSession>> fSessions;
  std::unique_ptr<kHttpService> fService;
  uint16_t fPort = 0;
};

// Holds the printer at its first printed line until Release: a document stays in progress
// for as long as a test needs it to.
class kPaperGate {
 public:
  explicit kPaperGate(fp::emu::PrinterEmulator& aPrinter) : fPrinter(aPrinter) {
    aPrinter.SetPaperListener([this](const std::string&) {
      std::unique_lock lock(fMutex);
      if (fHeld) return;
      fHeld = true;
      fChanged.notify_all();
      fChanged.wait(lock, [this] { return fReleased; });
    });
  }
  ~kPaperGate() {
    Release();
    fPrinter.SetPaperListener({});
  }
  kPaperGate(const kPaperGate&) = delete;
  kPaperGate& operator=(const kPaperGate&) = delete;
  // Until a document has reached the paper; false after a minute without.
  bool WaitHeld() {
    std::unique_lock lock(fMutex);
    return fChanged.wait_for(lock, std::chrono::seconds(60), [this] { return fHeld; });
  }
  void Release() {
    std::lock_guard lock(fMutex);
    fReleased = true;
    fChanged.notify_all();
  }

 private:
  fp::emu::PrinterEmulator& fPrinter;
  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fHeld = false;
  bool fReleased = false;
};

// The sale receipts the printer's journal holds: number -> total.
inline std::map<int, std::string> JournalSales(const fp::emu::PrinterEmulator& aPrinter) {
  std::map<int, std::string> sales;
  for (const fp::emu::JournalEntry& e : aPrinter.Journal())
    if (e.fKind == fp::emu::JournalKind::Sale && !e.fVoided) sales[e.fNumber] = e.fTotal.ToXmlText();
  return sales;
}

}  // namespace fpd::test
