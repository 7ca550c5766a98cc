// One configured printer: its device handle, its queue and the one thread that calls the
// library for it. Tills' calls run one at a time in arrival order; a printer that cannot be
// reached is opened again after a growing, bounded pause.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "config.h"
#include "driver_library.h"
#include "request_document.h"

namespace fpd {

using kSteadyClock = std::chrono::steady_clock;
// The time the session measures waits with; tests pass their own.
using kClock = std::function<kSteadyClock::time_point()>;
// Pauses between attempts to open the printer. The default waits the delay unless the
// session stops first; tests pass one that records the delay and returns at once.
using kSleeper = std::function<void(std::chrono::milliseconds)>;

// first, 2 x first, 4 x first, ... never more than max; Reset starts again at first.
class kBackoff {
 public:
  kBackoff(int aFirstMs, int aMaxMs) : fFirstMs(aFirstMs), fMaxMs(aMaxMs), fNextMs(aFirstMs) {}
  std::chrono::milliseconds Next();
  void Reset() { fNextMs = fFirstMs; }

 private:
  int fFirstMs, fMaxMs, fNextMs;
};

enum class vnPrinterState { Opening, Ready, Offline, Stopped };
const char* PrinterStateName(vnPrinterState aState);

// What a till's call came to. fHttpStatus 200: the export ran and fAnswer is its result,
// whatever the printer did; otherwise fpd refused the call before the library saw it.
struct kCallOutcome {
  int fHttpStatus = 200;
  std::string fMessage;
  int fRetryAfterSeconds = 0;
  kDriverLibrary::kAnswer fAnswer;
};

struct kPrinterStatus {
  std::string fName;
  vnPrinterState fState = vnPrinterState::Opening;
  size_t fQueued = 0;  // waiting, the call in progress not counted
  size_t fQueueLimit = 0;
  bool fBusy = false;  // a call is in progress
  std::string fSerialNumber;
  std::string fFiscalMode;
  std::string fLastError;  // why the printer is offline
  uint64_t fCalls = 0;     // calls the library ran for tills
};

struct kSessionTiming {
  int fReopenFirstMs = 250;
  int fReopenMaxMs = 10000;
  int fStatusIntervalMs = 30000;  // 0: no status reads while idle
  int fQueueWaitMs = 60000;       // longest a call waits in the queue before it starts
};

class kPrinterSession {
 public:
  kPrinterSession(kPrinterConfig aConfig, const kDriverLibrary& aLibrary, kSessionTiming aTiming, kClock aClock = {},
                  kSleeper aSleeper = {});
  ~kPrinterSession();
  kPrinterSession(const kPrinterSession&) = delete;
  kPrinterSession& operator=(const kPrinterSession&) = delete;

  // Starts the printer's thread, which opens the printer.
  void Start();
  // Queues a till's call. The future is ready at once when the call is refused: 429 when
  // the queue is full, 503 while the printer is offline or the service stops.
  std::future<kCallOutcome> Submit(const std::string& aExport, kPreparedRequest aRequest);
  // The call in progress finishes and gets its answer; waiting calls are refused with 503;
  // the device is closed. RequestStop returns at once, Stop waits for all that. Idempotent.
  void RequestStop();
  void Stop();

  kPrinterStatus Status() const;
  const kPrinterConfig& Config() const { return fConfig; }
  // Waits up to aTimeout until aCondition holds for the status; whether it did.
  bool WaitUntil(const std::function<bool(const kPrinterStatus&)>& aCondition, std::chrono::milliseconds aTimeout) const;

 private:
  struct kJob {
    std::string fExport;
    kPreparedRequest fRequest;
    kSteadyClock::time_point fQueuedAt;
    std::promise<kCallOutcome> fPromise;
  };

  void Run();
  bool Open(std::string& aError);
  // GETSTATUS on the open device; false with the reason when the printer does not answer.
  bool ReadStatus(std::string& aError);
  void Execute(kJob& aJob);
  void RefuseAll(int aStatus, const std::string& aMessage, int aRetryAfterSeconds);
  static kCallOutcome Refusal(int aStatus, std::string aMessage, int aRetryAfterSeconds);

  const kPrinterConfig fConfig;
  const kDriverLibrary& fLibrary;
  const kSessionTiming fTiming;
  kClock fClock;
  kSleeper fSleeper;
  kBackoff fBackoff;

  mutable std::mutex fMutex;
  mutable std::condition_variable fChanged;  // queue, state or stop
  std::deque<kJob> fQueue;
  bool fStopping = false;
  kPrinterStatus fStatus;
  int fHandle = 0;  // the worker's; read under fMutex for nothing else
  kSteadyClock::time_point fNextAttempt{};
  double fMeanCallMs = 500;
  std::thread fThread;
};

}  // namespace fpd
