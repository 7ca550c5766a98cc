// The printer's command channel: one command packet becomes one HTTP GET to the printer's
// "_io" endpoint, retried on failed exchanges, repeated while the journal is still being
// prepared, and its reply frame decoded into the status records.
//
// The channel does not know the HTTP client or the transport; it reaches them through
// kCommandLink, which the driver implements over its VN_HttpClient and kIOHandler_HTTP and
// tests implement with a scripted fake. Every pause goes through the channel's sleeper, so
// tests replace it and never wait.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "base/log_writer.h"
#include "drivers/tarvolx40fpeth/protocol.h"

namespace fp::tarvol {

// What the channel needs from the outside for one command.
class kCommandLink {
 public:
  virtual ~kCommandLink() = default;

  // The printer's base URL, ending with "/".
  virtual std::string BaseUrl() = 0;
  // Applies the client settings (log, timeouts, authentication, headers) before a command.
  virtual void SetupHttpClient() = 0;
  // One GET of aUrl. True when an answer with a 2xx status came back; ResponseText() then
  // holds its body.
  virtual bool HttpGet(const std::string& aUrl) = 0;
  virtual std::string ResponseText() = 0;
  // After a failed HttpGet: true when the request may have reached the printer (the
  // connection broke or timed out after it was sent), false when it surely did not (no
  // connection) or the printer answered with an HTTP error status.
  virtual bool LastFailureMayHaveExecuted() = 0;
  // Records the last failed exchange as the transport's custom error (status code and its text).
  virtual void RecordHttpFailure() = 0;
  virtual void SetCustomError(int aCode, const std::string& aMessage) = 0;
  virtual void ResetCustomError() = 0;
  virtual void WriteLog(tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) = 0;
};

class kCommandChannel {
 public:
  static constexpr int kMaxFailedExchanges = 3;
  static constexpr int kRetryPauseMs = 1000;
  static constexpr int kBusyPauseMs = 500;
  // The printer answers "00/00/02" while it prepares a journal read; a whole day's journal
  // takes it well under a minute, so two minutes of repetitions is a generous bound. The
  // time bound also holds when each busy answer itself is slow in coming.
  static constexpr int kMaxBusyRepetitions = 240;
  static constexpr std::chrono::seconds kMaxBusyDuration{120};

  using Sleeper = std::function<void(int aMilliseconds)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit kCommandChannel(kCommandLink& aLink);

  // Sends one command and judges its reply. True when an exchange succeeded and the reply
  // code is 0x00, 0x51 or 0x52; false with the transport's custom error set otherwise.
  // Throws kException when the reply frame's status fields cannot be read.
  bool SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt, const std::string& aData,
                   bool aRetry);

  // Replaces the pause function (tests record the pauses instead of waiting) and the clock
  // that bounds the busy repetitions.
  void SetSleeper(Sleeper aSleeper);
  void SetClock(Clock aClock);

  // Whether the last command failed for want of an answer (rather than being refused).
  bool LastExchangeFailed() const { return fExchangeFailed; }

  // The last reply frame whose exchange succeeded, and its decoded status fields.
  const std::string& Response() const { return fResponse; }
  const kFiscalPrinter_TARVOLX40FPETH_DeviceStatus& DeviceStatus() const { return fDeviceStatus; }
  const kFiscalPrinter_TARVOLX40FPETH_FiscalStatus& FiscalStatus() const { return fFiscalStatus; }

  // Commands that only read the printer's state may be repeated after an exchange whose
  // outcome is unknown; any other command might then be carried out twice.
  static bool IsSafeToRepeat(const std::string& aPkt, const std::string& aData);

 private:
  void Pause(int aMilliseconds);

  kCommandLink& fLink;
  Sleeper fSleep;
  Clock fNow;
  bool fExchangeFailed = false;
  std::string fRequest;  // request body: no command carries one
  std::string fResponse;
  kFiscalPrinter_TARVOLX40FPETH_DeviceStatus fDeviceStatus;
  kFiscalPrinter_TARVOLX40FPETH_FiscalStatus fFiscalStatus;
};

}  // namespace fp::tarvol
