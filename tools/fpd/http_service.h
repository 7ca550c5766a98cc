// fpd's HTTP side: routes, till tokens, browser origins and body bounds, over libmicrohttpd
// with a thread per connection (a receipt holds its connection for seconds; the others go
// on meanwhile).
#pragma once

#include <cstdint>
#include <functional>
#include <condition_variable>
#include <map>
#include <mutex>
#include <memory>
#include <string>

#include "config.h"
#include "printer_session.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace fpd {

// aToken compared with every till's token in time that does not depend on where they
// differ; the till's name, or empty when none matches.
std::string TillOfToken(const std::vector<kTillConfig>& aTills, const std::string& aToken);

class kHttpService {
 public:
  // aPrinters by name, kept by the caller; aJournalFolder is the library's application folder.
  kHttpService(const kServiceConfig& aConfig, std::map<std::string, kPrinterSession*> aPrinters,
               std::string aJournalFolder);
  ~kHttpService();
  kHttpService(const kHttpService&) = delete;
  kHttpService& operator=(const kHttpService&) = delete;

  // Listens and answers; returns the bound port. Throws std::runtime_error.
  uint16_t Start();
  // Takes no new connections; those open go on.
  void StopListening();
  // Closes every connection once the requests begun have been answered (waiting at most 30
  // seconds for them). Idempotent.
  void Stop();

  // One line per request (method, path, till, status, time); never a token or a body.
  void SetLog(std::function<void(const std::string&)> aLog) { fLog = std::move(aLog); }

  // One request as received: what the connection callbacks gather before it is answered.
  struct kRequest;
  // Answers a request whose body is complete (called from the connection's thread).
  void Answer(MHD_Connection* aConnection, kRequest& aRequest);
  bool HasTls() const { return fConfig.fTls.has_value(); }
  size_t MaxBody() const { return fConfig.fMaxBodyBytes; }
  void Log(const std::string& aLine) const;
  // A request begun (its first callback) and one ended (answered, or its connection gone).
  void RequestBegun();
  void RequestEnded();

 private:

  const kServiceConfig& fConfig;
  std::map<std::string, kPrinterSession*> fPrinters;
  std::string fJournalFolder;
  std::string fCertificate, fKey;
  MHD_Daemon* fDaemon = nullptr;
  std::function<void(const std::string&)> fLog;
  std::mutex fActiveMutex;
  std::condition_variable fActiveChanged;
  int fActive = 0;
};

// The status page and its script, served at / and /status.js.
extern const char* const kStatusPage;
extern const char* const kStatusScript;

}  // namespace fpd
