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
#include "drivers/tarvolx40fpeth/protocol.h"
#include "io/exchange.h"

namespace fp::tarvol {

// What became of one command.
enum vnCommandOutcome : int32_t {
  co_Done = 0,            // the printer answered and carried the command out
  co_Refused = 1,         // the printer answered but refused the command (or stayed busy)
  co_NotDelivered = 2,    // no answer, and the printer surely did not act on the command
  co_OutcomeUnknown = 3,  // no answer after the command went out: the printer may have carried it out
};

struct kCommandResult {
  vnCommandOutcome Outcome = co_Done;
  // Refused: the printer's reply code (kReplyCodeErrorNumber when it gave none, as for a
  // journal that stays busy). Not delivered or unknown: the HTTP status, 0 without one.
  int32_t Code = 0;
  std::string Message;  // why the command failed; empty when it was done
  bool Succeeded() const { return Outcome == co_Done; }
  // Whether a reply frame came back, whatever its reply code.
  bool Answered() const { return Outcome == co_Done || Outcome == co_Refused; }
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
  using Log = std::function<void(tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage)>;

  kCommandChannel(kExchange& aExchange, Log aLog);

  // Sends one command and judges its reply: co_Done when an exchange succeeded and the
  // reply code is 0x00, 0x51 or 0x52; otherwise the failure with its code and message.
  // When the reply frame's status fields cannot be read: throws kException for a command
  // that is safe to repeat, and reports co_OutcomeUnknown for any other.
  kCommandResult SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt, const std::string& aData,
                             bool aRetry);

  // Replaces the pause function (tests record the pauses instead of waiting) and the clock
  // that bounds the busy repetitions.
  void SetSleeper(Sleeper aSleeper);
  void SetClock(Clock aClock);

  // The outcome of the last command (co_Done before the first, and while a command whose
  // reply could not be read raised).
  const kCommandResult& LastResult() const { return fLast; }

  // The last reply frame whose exchange succeeded, and its decoded status fields.
  const std::string& Response() const { return fResponse; }
  const kFiscalPrinter_TARVOLX40FPETH_DeviceStatus& DeviceStatus() const { return fDeviceStatus; }
  const kFiscalPrinter_TARVOLX40FPETH_FiscalStatus& FiscalStatus() const { return fFiscalStatus; }

  // Commands that only read the printer's state may be repeated after an exchange whose
  // outcome is unknown; any other command might then be carried out twice.
  static bool IsSafeToRepeat(const std::string& aPkt, const std::string& aData);

 private:
  void Pause(int aMilliseconds);
  kCommandResult Finish(vnCommandOutcome aOutcome, int32_t aCode, std::string aMessage);

  kExchange& fExchange;
  Log fLog;
  Sleeper fSleep;
  Clock fNow;
  kCommandResult fLast;
  std::string fResponse;
  kFiscalPrinter_TARVOLX40FPETH_DeviceStatus fDeviceStatus;
  kFiscalPrinter_TARVOLX40FPETH_FiscalStatus fFiscalStatus;
};

}  // namespace fp::tarvol
