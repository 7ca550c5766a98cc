// What became of a printer command whose answer was lost: the printer's numbering read
// back within a bound, the open question kept beside the device log when the printer cannot
// be reached, and its settling by the next call on the device (in this process or a later).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "device/fiscal_printer_device.h"
#include "documents/receipt.h"
#include "io/io_handler.h"

namespace fp {

namespace {

// The question file: one "name=value" line per field; values never hold a line break.
constexpr const char* kQuestionFields[] = {"kind", "fingerprint", "number", "closing", "what"};

std::string OneLine(std::string aText) {
  for (char& c : aText)
    if (c == '\r' || c == '\n') c = ' ';
  return aText;
}

}  // namespace

// ---- Default hooks: a driver that cannot tell ----

bool kFiscalPrinterDevice::ReadDocumentMark(vnDocumentMark& aMark) { return false; }

bool kFiscalPrinterDevice::CancelFiscalReceipt() { return false; }

std::string kFiscalPrinterDevice::UnansweredCommand() { return {}; }

bool kFiscalPrinterDevice::LastFailureAnswered() { return true; }

// ---- Bounded waits ----

void kFiscalPrinterDevice::SetOutcomeWaits(Sleeper aSleeper, SteadyClock aClock) {
  fOutcomeSleep = std::move(aSleeper);
  fOutcomeNow = std::move(aClock);
}

bool kFiscalPrinterDevice::PauseWithinBound(std::chrono::steady_clock::time_point aStart, int& aWaitedMs) {
  const auto now = fOutcomeNow ? fOutcomeNow() : std::chrono::steady_clock::now();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - aStart).count();
  // Both the time gone by and the pauses taken count, so a replaced sleeper that does not
  // wait still ends the loop after the bound's worth of pauses.
  if (elapsed >= fOutcomeTimeoutMs || aWaitedMs >= fOutcomeTimeoutMs) return false;
  if (fOutcomeSleep)
    fOutcomeSleep(kOutcomePauseMs);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(kOutcomePauseMs));
  aWaitedMs += kOutcomePauseMs;
  fOutcomeAskPausesMs = aWaitedMs;
  return true;
}

bool kFiscalPrinterDevice::ReadMarkWithinBound(vnDocumentMark& aMark) {
  const auto start = fOutcomeNow ? fOutcomeNow() : std::chrono::steady_clock::now();
  int waited = 0;
  fOutcomeAskStart = start;
  fOutcomeAskPausesMs = 0;
  for (int attempt = 1;; ++attempt) {
    ResetError();
    try {
      if (ReadDocumentMark(aMark)) {
        ResetError();
        return true;
      }
    } catch (const kException& e) {
      // An unreadable answer is no answer: asked again like a lost one.
      RecordError(999, e.what());
    }
    // The driver cannot tell at all: no use asking again.
    if (!ErrorFound()) return false;
    fIOHandler->Debug(let_error, "Outcome: printer not answering (attempt " + std::to_string(attempt) +
                                     "): " + ErrorMessage());
    if (!PauseWithinBound(start, waited)) return false;
  }
}

bool kFiscalPrinterDevice::ReadWithinBound(const std::function<bool()>& aRead) {
  const auto start = fOutcomeNow ? fOutcomeNow() : std::chrono::steady_clock::now();
  int waited = 0;
  fOutcomeAskStart = start;
  fOutcomeAskPausesMs = 0;
  for (int attempt = 1;; ++attempt) {
    ResetError();
    try {
      if (aRead() && !ErrorFound()) return true;
    } catch (const kException& e) {
      RecordError(999, e.what());
    }
    if (!ErrorFound()) RecordError(999, "the printer did not tell");
    // A refusal or an unreadable answer would come back the same.
    if (LastFailureAnswered()) return false;
    fIOHandler->Debug(let_error, "Outcome: printer not answering (attempt " + std::to_string(attempt) +
                                     "): " + ErrorMessage());
    if (!PauseWithinBound(start, waited)) return false;
  }
}

std::string kFiscalPrinterDevice::OutcomeUnknownText(const std::string& aWhat, const vnDocumentMark& aBefore) const {
  // The time really spent asking: the bound is checked between questions, so the last one
  // may run past it by its own timeouts. A clock that stands still (tests) leaves the pauses.
  const auto now = fOutcomeNow ? fOutcomeNow() : std::chrono::steady_clock::now();
  const auto askedMs = std::max<int64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now - fOutcomeAskStart).count(), fOutcomeAskPausesMs);
  std::string text = std::string(kOutcomeUnknownPrefix) + aWhat + "; the printer did not tell in " +
                     std::to_string((askedMs + 500) / 1000) + " s of asking";
  if (aBefore.fKnown)
    text += "; last document number known before it: " + aBefore.fNumber + " (closing count " + aBefore.fClosing + ")";
  else
    text += "; the last document number before it is not known";
  return text + "; the next call on this device settles it";
}

// ---- The open question ----

void kFiscalPrinterDevice::KeepOpenQuestion(const vnOpenQuestion& aQuestion) {
  fIOHandler->Debug(let_error, "Outcome: open question kept: " + aQuestion.fWhat);
  if (fQuestionPath.empty()) return;
  fQuestionMayExist = true;
  const std::string values[] = {aQuestion.fKind, aQuestion.fFingerprint, aQuestion.fBefore.fNumber,
                                aQuestion.fBefore.fClosing, aQuestion.fWhat};
  // Written aside and renamed, so a crash never leaves half a question.
  const std::string temporary = fQuestionPath + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (size_t i = 0; i < std::size(kQuestionFields); ++i) out << kQuestionFields[i] << "=" << OneLine(values[i]) << "\n";
    if (!out) {
      fIOHandler->Debug(let_error, "Outcome: the open question could not be written to " + temporary);
      return;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, fQuestionPath, ec);
  if (ec) fIOHandler->Debug(let_error, "Outcome: the open question could not be kept in " + fQuestionPath);
}

namespace {

bool LoadQuestion(const std::string& aPath, kFiscalPrinterDevice::vnOpenQuestion& aQuestion) {
  if (aPath.empty()) return false;
  std::ifstream in(aPath);
  if (!in) return false;
  std::string line;
  int lines = 0;
  while (lines++ < 16 && std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq), value = CharLeft(line.substr(eq + 1), 4096);
    if (name == "kind") aQuestion.fKind = value;
    else if (name == "fingerprint") aQuestion.fFingerprint = value;
    else if (name == "number") aQuestion.fBefore.fNumber = value;
    else if (name == "closing") aQuestion.fBefore.fClosing = value;
    else if (name == "what") aQuestion.fWhat = value;
  }
  aQuestion.fBefore.fKnown = !aQuestion.fBefore.fNumber.empty();
  return !aQuestion.fKind.empty();
}

}  // namespace

kFiscalPrinterDevice::vnSettled kFiscalPrinterDevice::SettleOpenQuestion() {
  vnSettled settled;
  if (!fQuestionMayExist) return settled;
  if (!LoadQuestion(fQuestionPath, settled.fQuestion)) {
    fQuestionMayExist = false;
    return settled;
  }
  const vnOpenQuestion& q = settled.fQuestion;
  fIOHandler->Debug(let_info, "Outcome: settling the open question: " + q.fWhat);

  vnDocumentMark now;
  if (!ReadMarkWithinBound(now)) {
    settled.fOutcome = ss_Unknown;
    fIOHandler->Debug(let_error, "Outcome: still unknown: " + q.fWhat);
    return settled;
  }
  fDocumentMark = now;
  bool done;
  if (q.fKind == "zreport") {
    done = q.fBefore.fKnown && now.fClosing != q.fBefore.fClosing;
  } else if (q.fKind == "document") {
    // A non-fiscal document that is no longer open was closed by the lost command.
    done = !now.fOpen;
  } else {
    done = q.fBefore.fKnown && !now.SameNumbers(q.fBefore);
  }
  if (!done && now.fOpen && (q.fKind == "receipt" || q.fKind == "document")) {
    // The receipt or document never became one; it is cancelled so the next starts clean.
    const bool cancelled = CancelFiscalReceipt();
    fIOHandler->Debug(cancelled ? let_info : let_error, cancelled ? "Outcome: the receipt left open was cancelled"
                                                                  : "Outcome: the receipt left open could not be cancelled");
    ResetError();
  }
  settled.fOutcome = done ? ss_Done : ss_NotDone;
  fIOHandler->Debug(let_info, std::string("Outcome: settled: ") + (done ? "carried out: " : "not carried out: ") + q.fWhat +
                                  "; last document number now " + now.fNumber + " (closing count " + now.fClosing + ")");
  std::error_code ec;
  std::filesystem::remove(fQuestionPath, ec);
  fQuestionMayExist = false;
  return settled;
}

void kFiscalPrinterDevice::SettleBeforeOperation() {
  // Only PRINTFR can tell whether it sends the receipt in question again, and so whether to
  // hand back the earlier numbers instead of printing: a question about a receipt waits for
  // it. Settled by a status read in between (OPEN's in a new process), the question would be
  // gone and the same receipt printed a second time.
  if (fQuestionMayExist) {
    vnOpenQuestion pending;
    if (LoadQuestion(fQuestionPath, pending) && pending.fKind == "receipt") {
      fIOHandler->Debug(let_info, "Outcome: the open question about a receipt waits for the next receipt: " +
                                      pending.fWhat);
      return;
    }
  }
  const vnSettled settled = SettleOpenQuestion();
  if (settled.fOutcome == ss_NoQuestion) return;
  ResetError();
  // The question stays for a later call when the printer still cannot tell; this call goes
  // on and meets the printer's state as it is.
  if (settled.fOutcome == ss_Unknown) fIOHandler->Debug(let_error, "Outcome: left open for a later call");
}

std::string kFiscalPrinterDevice::ReceiptFingerprint(const kReceipt& aReceipt) {
  // FNV-1a over the receipt as written back: the same Receipt element, the same text.
  const std::string text = aReceipt.Serialize();
  uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
  return buffer;
}

void kFiscalPrinterDevice::AddResultNote(const std::string& aNote) {
  fIOHandler->Debug(let_info, "Outcome: " + aNote);
  if (!fResultNote.empty()) fResultNote += " ";
  fResultNote += aNote;
}

std::string kFiscalPrinterDevice::FailureText() {
  const std::string message = ErrorMessage();
  const std::string command = UnansweredCommand();
  if (command.empty()) return message;
  return std::string(kOutcomeUnknownPrefix) + "the printer's answer to " + command + " was lost (" + message +
         "); it may have been carried out";
}

// ---- Numbers of a document that is done ----

std::string kFiscalPrinterDevice::ReadDoneDocumentInfo(DateTime& aDateTime, std::string& aNumber,
                                                       std::string& aEJNumber, std::string& aEJClosingNumber,
                                                       std::string& aSerialNumber) {
  const auto start = fOutcomeNow ? fOutcomeNow() : std::chrono::steady_clock::now();
  int waited = 0;
  std::string failure;
  for (;;) {
    DateTime dateTime = 0;
    std::string number, ejNumber, closing, serial;
    ResetError();
    bool ok = false;
    try {
      ok = GetLastDocumentInfo(dateTime, number, ejNumber, closing, serial);
      failure = ErrorFound() ? ErrorMessage() : std::string();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    // Whatever was read is kept; what was not stays empty rather than a made-up value.
    if (!number.empty()) aNumber = number;
    if (!closing.empty()) aEJClosingNumber = closing;
    if (!ejNumber.empty()) aEJNumber = ejNumber;
    if (!serial.empty()) aSerialNumber = serial;
    if (dateTime != 0) aDateTime = dateTime;
    const bool complete = ok && failure.empty() && !aNumber.empty() && !aEJClosingNumber.empty() && aDateTime != 0;
    if (complete) break;
    if (failure.empty()) failure = "the printer did not give them";
    fIOHandler->Debug(let_error, "Document done, its numbers not read: " + failure);
    // Only a printer that does not answer is asked again; an answer that cannot be read
    // would read the same the next time.
    const bool unanswered = ErrorFound() && !LastFailureAnswered();
    if (!unanswered || !PauseWithinBound(start, waited)) break;
  }
  ResetError();
  std::vector<std::string> missing;
  if (aNumber.empty()) missing.push_back("number");
  if (aEJClosingNumber.empty()) missing.push_back("closing number");
  if (aDateTime == 0) missing.push_back("date and time");
  if (missing.empty()) return {};
  std::string names;
  for (size_t i = 0; i < missing.size(); ++i) names += (i ? (i + 1 == missing.size() ? " and " : ", ") : "") + missing[i];
  return "The document was printed but its " + names + " could not be read: " + failure;
}

}  // namespace fp
