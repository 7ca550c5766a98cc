#include "drivers/tarvolx40fpeth/command_channel.h"

#include <chrono>
#include <string_view>
#include <thread>
#include <utility>

#include "base/errors.h"

namespace fp::tarvol {

kCommandChannel::kCommandChannel(kExchange& aExchange, Log aLog)
    : fExchange(aExchange),
      fLog(std::move(aLog)),
      fSleep([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
      fNow([] { return std::chrono::steady_clock::now(); }) {}

void kCommandChannel::SetSleeper(Sleeper aSleeper) {
  if (aSleeper) fSleep = std::move(aSleeper);
}

void kCommandChannel::SetClock(Clock aClock) {
  if (aClock) fNow = std::move(aClock);
}

void kCommandChannel::Pause(int aMilliseconds) { fSleep(aMilliseconds); }

bool kCommandChannel::IsSafeToRepeat(const std::string& aPkt, const std::string& aData) {
  // Status and table reads, and the settings that leave the printer in the same state however
  // often they arrive. Reports, journal pieces, print lines, the drawer and receipt steps are
  // not repeated once they may have reached the printer, nor is the clock setting: arriving
  // late, it would set the clock behind.
  static constexpr std::string_view kRepeatable[] = {"?", "a", "v", ",", "t", "|", "{", "X", "i",
                                                     "e", ":", "E", "b", "N", "\\"};
  for (auto letter : kRepeatable)
    if (aPkt == letter) return true;
  // "@" selects journal text: read back (last field 0) it only selects again; with the last
  // field 1 it prints a copy, which a repetition would print twice.
  if (aPkt == "@") return aData.size() >= 3 && aData.compare(aData.size() - 3, 3, "/0/") == 0;
  // "+" with field 0 clears a receipt left open; with field 1 it voids an earlier receipt.
  if (aPkt == "+") return aData == "/0/";
  return false;
}

vnOutcome kCommandChannel::Finish(vnOutcomeKind aKind, int32_t aCode, std::string aMessage) {
  fLast.fKind = aKind;
  fLast.fCode = aCode;
  fLast.fMessage = std::move(aMessage);
  return fLast;
}

vnOutcome kCommandChannel::SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt,
                                            const std::string& aData, bool aRetry) {
  fLast = vnOutcome{};
  fLog(let_info, "TX: ", aPkt + aData);
  const std::string path = BuildCommandPath(aCmd, aJs, aPkt, aData);

  int failures = 0;  // failed exchanges over the whole call, busy repetitions included
  int busyRepetitions = 0;
  const auto start = fNow();
  for (;;) {
    kExchangeResult exchange;
    while (failures < kMaxFailedExchanges) {
      exchange = fExchange.Exchange(path);
      if (exchange.Answered()) break;
      ++failures;
      fLog(let_info, "TX: ", "Retry:" + std::to_string(failures));
      if (!IsSafeToRepeat(aPkt, aData) && exchange.fKind == ok_Unknown) {
        // The printer may have carried the command out: sending it again could print or
        // close something twice, so the failure is reported as it is.
        fLog(let_error, "TX: ", "Not repeated: the printer may have executed " + aPkt);
        break;
      }
      Pause(kRetryPauseMs);
    }
    if (!exchange.Answered())
      return Finish(exchange.fKind, exchange.fCode, std::move(exchange.fMessage));

    fResponse = std::move(exchange.Answer);
    DecodedFrame frame;
    try {
      frame = DecodeFrame(fResponse);
    } catch (const kException& e) {
      // A garbled or empty reply says no more about what the printer did than no reply at
      // all: a read just fails, but a command that may have changed the printer (closed a
      // document, printed a line) is settled like one whose answer was lost.
      if (IsSafeToRepeat(aPkt, aData)) throw;
      fLog(let_error, "Frame ERR", e.what());
      return Finish(ok_Unknown, 0, e.what());
    }
    const bool busy = IsBusyFrame(fResponse) && aPkt == "@";
    fDeviceStatus = frame.device;
    fFiscalStatus = frame.fiscal;

    if (frame.replyCode != kReplyOk && frame.replyCode != kReplyNoSdData && frame.replyCode != kReplyNoMoreSdData) {
      std::string message = GetReplyCodeMessage(frame.replyCode);
      fLog(let_error, "Frame ERR", message);
      return Finish(ok_Refused, frame.replyCode, std::move(message));
    }
    if (!(busy && aRetry)) return Finish(ok_Done, 0, {});

    if (busyRepetitions >= kMaxBusyRepetitions || fNow() - start >= kMaxBusyDuration) {
      std::string message = "The printer is still preparing the journal, try again later";
      fLog(let_error, "Frame ERR", message);
      return Finish(ok_Refused, kReplyCodeErrorNumber, std::move(message));
    }
    ++busyRepetitions;
    fLog(let_error, "Retry Frame Equal 00/00/02 and APkt = @", "");
    Pause(kBusyPauseMs);
  }
}

}  // namespace fp::tarvol
