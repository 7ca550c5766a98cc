#include "printer_session.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace fpd {

namespace {

int Seconds(std::chrono::milliseconds aDelay) {
  return std::max(1, static_cast<int>((aDelay.count() + 999) / 1000));
}

}  // namespace

std::chrono::milliseconds kBackoff::Next() {
  const int delay = fNextMs;
  fNextMs = fNextMs >= fMaxMs / 2 ? fMaxMs : fNextMs * 2;
  return std::chrono::milliseconds(std::min(delay, fMaxMs));
}

const char* PrinterStateName(vnPrinterState aState) {
  switch (aState) {
    case vnPrinterState::Opening: return "opening";
    case vnPrinterState::Ready: return "ready";
    case vnPrinterState::Offline: return "offline";
    case vnPrinterState::Stopped: return "stopped";
  }
  return "";
}

kPrinterSession::kPrinterSession(kPrinterConfig aConfig, const kDriverLibrary& aLibrary, kSessionTiming aTiming,
                                 kClock aClock, kSleeper aSleeper)
    : fConfig(std::move(aConfig)),
      fLibrary(aLibrary),
      fTiming(aTiming),
      fClock(aClock ? std::move(aClock) : kClock([] { return kSteadyClock::now(); })),
      fBackoff(aTiming.fReopenFirstMs, aTiming.fReopenMaxMs) {
  fSleeper = aSleeper ? std::move(aSleeper) : kSleeper([this](std::chrono::milliseconds aDelay) {
    std::unique_lock lock(fMutex);
    fChanged.wait_for(lock, aDelay, [this] { return fStopping; });
  });
  fStatus.fName = fConfig.fName;
  fStatus.fQueueLimit = fConfig.fQueueLimit;
}

kPrinterSession::~kPrinterSession() { Stop(); }

void kPrinterSession::Start() { fThread = std::thread([this] { Run(); }); }

kCallOutcome kPrinterSession::Refusal(int aStatus, std::string aMessage, int aRetryAfterSeconds) {
  kCallOutcome outcome;
  outcome.fHttpStatus = aStatus;
  outcome.fMessage = std::move(aMessage);
  outcome.fRetryAfterSeconds = aRetryAfterSeconds;
  return outcome;
}

std::future<kCallOutcome> kPrinterSession::Submit(const std::string& aExport, kPreparedRequest aRequest) {
  std::promise<kCallOutcome> refused;
  {
    std::lock_guard lock(fMutex);
    if (fStopping || fStatus.fState == vnPrinterState::Stopped) {
      refused.set_value(Refusal(503, "fpd is stopping", 5));
    } else if (fStatus.fState == vnPrinterState::Offline) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(fNextAttempt - fClock());
      refused.set_value(Refusal(503, "printer " + fConfig.fName + " is not reachable: " + fStatus.fLastError,
                                Seconds(std::max(wait, std::chrono::milliseconds(0)))));
    } else if (fQueue.size() >= fConfig.fQueueLimit) {
      // The time the calls ahead should take, from the recent calls' mean.
      const auto ahead = std::chrono::milliseconds(
          static_cast<long long>(fMeanCallMs * static_cast<double>(fQueue.size() + (fStatus.fBusy ? 1 : 0))));
      refused.set_value(Refusal(429,
                                "the queue of printer " + fConfig.fName + " is full (" +
                                    std::to_string(fQueue.size()) + " calls waiting)",
                                Seconds(ahead)));
    } else {
      fQueue.push_back(kJob{aExport, std::move(aRequest), fClock(), {}});
      std::future<kCallOutcome> future = fQueue.back().fPromise.get_future();
      fStatus.fQueued = fQueue.size();
      fChanged.notify_all();
      return future;
    }
  }
  return refused.get_future();
}

void kPrinterSession::RequestStop() {
  std::lock_guard lock(fMutex);
  fStopping = true;
  fChanged.notify_all();
}

void kPrinterSession::Stop() {
  RequestStop();
  if (fThread.joinable()) fThread.join();
}

kPrinterStatus kPrinterSession::Status() const {
  std::lock_guard lock(fMutex);
  return fStatus;
}

bool kPrinterSession::WaitUntil(const std::function<bool(const kPrinterStatus&)>& aCondition,
                                std::chrono::milliseconds aTimeout) const {
  std::unique_lock lock(fMutex);
  return fChanged.wait_for(lock, aTimeout, [&] { return aCondition(fStatus); });
}

void kPrinterSession::RefuseAll(int aStatus, const std::string& aMessage, int aRetryAfterSeconds) {
  std::deque<kJob> refused;
  {
    std::lock_guard lock(fMutex);
    refused.swap(fQueue);
    fStatus.fQueued = 0;
    fChanged.notify_all();
  }
  for (kJob& job : refused) job.fPromise.set_value(Refusal(aStatus, aMessage, aRetryAfterSeconds));
}

bool kPrinterSession::ReadStatus(std::string& aError) {
  const kDriverLibrary::kAnswer status = fLibrary.Call("GETSTATUS", HandleRequest(fConfig, fHandle));
  if (status.fResult != 0) {
    aError = status.fError;
    // The library has forgotten the device: the next open makes a new one.
    if (status.fError == "Printer Handle not found") fHandle = 0;
    return false;
  }
  std::lock_guard lock(fMutex);
  fStatus.fSerialNumber = ResultElement(status.fOutput, "SerialNumber");
  fStatus.fFiscalMode = ResultElement(status.fOutput, "FiscalMode");
  return true;
}

bool kPrinterSession::Open(std::string& aError) {
  // A device that is still known is opened again (its handle stays); otherwise a new one.
  const kDriverLibrary::kAnswer open = fLibrary.Call("OPEN", OpenRequest(fConfig, fHandle));
  const int handle = std::atoi(ResultElement(open.fOutput, "Handle").c_str());
  if (open.fResult != 0 || handle <= 0) {
    aError = open.fError.empty() ? "OPEN gave no handle" : open.fError;
    if (open.fError == "Printer Handle not found") fHandle = 0;
    return false;
  }
  fHandle = handle;
  return ReadStatus(aError);
}

void kPrinterSession::Execute(kJob& aJob) {
  const auto started = fClock();
  if (started - aJob.fQueuedAt > std::chrono::milliseconds(fTiming.fQueueWaitMs)) {
    aJob.fPromise.set_value(Refusal(503, "the call waited longer than " + std::to_string(fTiming.fQueueWaitMs) +
                                             " ms for printer " + fConfig.fName, 1));
    return;
  }
  kCallOutcome outcome;
  try {
    outcome.fAnswer = fLibrary.Call(aJob.fExport, aJob.fRequest.Text(fHandle));
  } catch (const std::exception& e) {
    outcome = Refusal(500, std::string("the call could not be made: ") + e.what(), 0);
  }
  const double ms = std::chrono::duration<double, std::milli>(fClock() - started).count();
  const bool failed = outcome.fHttpStatus == 200 && outcome.fAnswer.fResult != 0;
  aJob.fPromise.set_value(std::move(outcome));
  {
    std::lock_guard lock(fMutex);
    fMeanCallMs = 0.8 * fMeanCallMs + 0.2 * ms;
    ++fStatus.fCalls;
  }
  // A failed call may be the printer's refusal or a printer that went away: a status read
  // tells which, and a printer that does not answer it is opened again.
  std::string error;
  if (failed && !ReadStatus(error)) {
    std::lock_guard lock(fMutex);
    fStatus.fState = vnPrinterState::Offline;
    fStatus.fLastError = error;
    fNextAttempt = fClock();
    fChanged.notify_all();
  }
}

void kPrinterSession::Run() {
  for (;;) {
    {
      std::lock_guard lock(fMutex);
      if (fStopping) break;
    }
    bool open = false;
    {
      std::lock_guard lock(fMutex);
      open = fStatus.fState == vnPrinterState::Ready;
    }
    if (!open) {
      std::string error;
      if (Open(error)) {
        fBackoff.Reset();
        std::lock_guard lock(fMutex);
        fStatus.fState = vnPrinterState::Ready;
        fStatus.fLastError.clear();
        fChanged.notify_all();
        continue;
      }
      const std::chrono::milliseconds delay = fBackoff.Next();
      {
        std::lock_guard lock(fMutex);
        fStatus.fState = vnPrinterState::Offline;
        fStatus.fLastError = error;
        fNextAttempt = fClock() + delay;
        fChanged.notify_all();
      }
      RefuseAll(503, "printer " + fConfig.fName + " is not reachable: " + error, Seconds(delay));
      fSleeper(delay);
      continue;
    }

    std::optional<kJob> job;
    {
      std::unique_lock lock(fMutex);
      auto woken = [this] { return fStopping || !fQueue.empty(); };
      bool any = true;
      if (fTiming.fStatusIntervalMs > 0)
        any = fChanged.wait_for(lock, std::chrono::milliseconds(fTiming.fStatusIntervalMs), woken);
      else
        fChanged.wait(lock, woken);
      if (fStopping) break;
      if (any && !fQueue.empty()) {
        job.emplace(std::move(fQueue.front()));
        fQueue.pop_front();
        fStatus.fQueued = fQueue.size();
        fStatus.fBusy = true;
        fChanged.notify_all();
      }
    }
    if (job) {
      Execute(*job);
      std::lock_guard lock(fMutex);
      fStatus.fBusy = false;
      fChanged.notify_all();
      continue;
    }
    // Idle: a status read keeps the state true while no till calls.
    std::string error;
    if (!ReadStatus(error)) {
      std::lock_guard lock(fMutex);
      fStatus.fState = vnPrinterState::Offline;
      fStatus.fLastError = error;
      fChanged.notify_all();
    }
  }
  RefuseAll(503, "fpd is stopping", 5);
  if (fHandle > 0) fLibrary.Call("CLOSE", HandleRequest(fConfig, fHandle));
  std::lock_guard lock(fMutex);
  fHandle = 0;
  fStatus.fState = vnPrinterState::Stopped;
  fChanged.notify_all();
}

}  // namespace fpd
