// The printer's command channel: one command packet becomes one HTTP GET to the printer's
// "_io" endpoint, retried on failed exchanges, repeated while the journal is still being
// prepared, and its reply frame decoded into the status records.
//
// The channel reaches the printer through one kExchange (the device's HTTP transport, or a
// scripted fake in tests) and logs through the function it is given. It records no error
// anywhere: every command returns its outcome, and the caller decides what becomes of a
// failure. Every pause goes through the channel's sleeper, so tests replace it and never wait.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "base/log_writer.h"
#include "base/outcome.h"
#include "drivers/tarvolx40fpeth/protocol.h"
#include "io/exchange.h"

namespace fp::tarvol {

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
  using Log = std::function<void(tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage)>;

  kCommandChannel(kExchange& aExchange, Log aLog);

  // Sends one command and judges its reply: ok_Done when an exchange succeeded and the
  // reply code is 0x00, 0x51 or 0x52; otherwise the failure with its code and message: a
  // refusal carries the printer's reply code (kReplyCodeErrorNumber when it gave none, as for
  // a journal that stays busy), an exchange without answer the HTTP status (0 without one).
  // When the reply frame's status fields cannot be read: throws kException for a command
  // that is safe to repeat, and reports ok_Unknown for any other.
  vnOutcome SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt, const std::string& aData,
                        bool aRetry);

  // Replaces the pause function (tests record the pauses instead of waiting) and the clock
  // that bounds the busy repetitions.
  void SetSleeper(Sleeper aSleeper);
  void SetClock(Clock aClock);

  // The outcome of the last command (ok_Done before the first, and while a command whose
  // reply could not be read raised).
  const vnOutcome& LastResult() const { return fLast; }

  // The last reply frame whose exchange succeeded, and its decoded status fields.
  const std::string& Response() const { return fResponse; }
  const kFiscalPrinter_TARVOLX40FPETH_DeviceStatus& DeviceStatus() const { return fDeviceStatus; }
  const kFiscalPrinter_TARVOLX40FPETH_FiscalStatus& FiscalStatus() const { return fFiscalStatus; }

  // Commands that only read the printer's state may be repeated after an exchange whose
  // outcome is unknown; any other command might then be carried out twice.
  static bool IsSafeToRepeat(const std::string& aPkt, const std::string& aData);

 private:
  void Pause(int aMilliseconds);
  vnOutcome Finish(vnOutcomeKind aKind, int32_t aCode, std::string aMessage);

  kExchange& fExchange;
  Log fLog;
  Sleeper fSleep;
  Clock fNow;
  vnOutcome fLast;
  std::string fResponse;
  kFiscalPrinter_TARVOLX40FPETH_DeviceStatus fDeviceStatus;
  kFiscalPrinter_TARVOLX40FPETH_FiscalStatus fFiscalStatus;
};

}  // namespace fp::tarvol
