#include "drivers/tarvolx40fpeth/command_channel.h"

#include <chrono>
#include <string_view>
#include <thread>
#include <utility>

namespace fp::tarvol {

kCommandChannel::kCommandChannel(kCommandLink& aLink)
    : fLink(aLink),
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
  // not repeated once they may have reached the printer.
  static constexpr std::string_view kRepeatable[] = {"?", "a", "v", ",", "t", "|", "{",
                                                     "e", ":", "T", "E", "b", "N", "\\"};
  for (auto letter : kRepeatable)
    if (aPkt == letter) return true;
  // "@" selects journal text: read back (last field 0) it only selects again; with the last
  // field 1 it prints a copy, which a repetition would print twice.
  if (aPkt == "@") return aData.size() >= 3 && aData.compare(aData.size() - 3, 3, "/0/") == 0;
  // "+" with field 0 clears a receipt left open; with field 1 it voids an earlier receipt.
  if (aPkt == "+") return aData == "/0/";
  return false;
}

bool kCommandChannel::SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt,
                                  const std::string& aData, bool aRetry) {
  fLink.WriteLog(let_info, "TX: ", aPkt + aData);
  const std::string url = fLink.BaseUrl() + BuildCommandPath(aCmd, aJs, aPkt, aData);
  fLink.SetupHttpClient();

  int failures = 0;  // failed exchanges over the whole call, busy repetitions included
  int busyRepetitions = 0;
  const auto start = fNow();
  fExchangeFailed = false;
  for (;;) {
    bool delivered = false;
    while (failures < kMaxFailedExchanges) {
      fRequest.clear();
      if (fLink.HttpGet(url)) {
        delivered = true;
        break;
      }
      ++failures;
      fLink.WriteLog(let_info, "TX: ", "Retry:" + std::to_string(failures));
      if (!IsSafeToRepeat(aPkt, aData) && fLink.LastFailureMayHaveExecuted()) {
        // The printer may have carried the command out: sending it again could print or
        // close something twice, so the failure is reported as it is.
        fLink.WriteLog(let_error, "TX: ", "Not repeated: the printer may have executed " + aPkt);
        break;
      }
      Pause(kRetryPauseMs);
    }
    if (!delivered) {
      fExchangeFailed = true;
      fLink.RecordHttpFailure();
      return false;
    }

    fLink.ResetCustomError();
    fResponse = fLink.ResponseText();

    const DecodedFrame frame = DecodeFrame(fResponse);
    const bool busy = IsBusyFrame(fResponse) && aPkt == "@";
    fDeviceStatus = frame.device;
    fFiscalStatus = frame.fiscal;

    if (frame.replyCode != kReplyOk && frame.replyCode != kReplyNoSdData && frame.replyCode != kReplyNoMoreSdData) {
      const std::string message = GetReplyCodeMessage(frame.replyCode);
      fLink.SetCustomError(kReplyCodeErrorNumber, message);
      fLink.WriteLog(let_error, "Frame ERR", message);
      return false;
    }
    if (!(busy && aRetry)) return true;

    if (busyRepetitions >= kMaxBusyRepetitions || fNow() - start >= kMaxBusyDuration) {
      const std::string message = "The printer is still preparing the journal, try again later";
      fLink.SetCustomError(kReplyCodeErrorNumber, message);
      fLink.WriteLog(let_error, "Frame ERR", message);
      return false;
    }
    ++busyRepetitions;
    fLink.WriteLog(let_error, "Retry Frame Equal 00/00/02 and APkt = @", "");
    Pause(kBusyPauseMs);
  }
}

}  // namespace fp::tarvol
