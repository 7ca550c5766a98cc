// What became of a document: the printer's numbering read back within a bound, the document
// journal of the printer (a row per document, written before its first command and settled
// before the export returns), the printer's lock, and the settling of what an earlier call
// (in this process or another) left unsettled, on the printer's own evidence.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <filesystem>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "device/fiscal_printer_device.h"
#include "base/xml_text.h"
#include "documents/nf_receipt.h"
#include "documents/receipt.h"
#include "documents/receipt_reference.h"
#include <pugixml.hpp>
#include "io/io_handler.h"
#include "request/results.h"

namespace fp {

// ---- Default hooks: a driver that cannot tell ----

bool kFiscalPrinterDevice::ReadDocumentMark(vnDocumentMark& /*aMark*/) { return false; }

bool kFiscalPrinterDevice::CancelFiscalReceipt() { return false; }

bool kFiscalPrinterDevice::CancelOpenReceiptQuietly() {
  bool cancelled = false;
  try {
    cancelled = CancelFiscalReceipt();
  } catch (const kException& e) {
    LogError(e.what());
  }
  ResetError();
  return cancelled;
}

bool kFiscalPrinterDevice::ReadSerialNumber(std::string& aSerialNumber) {
  vnPrinterStatus status;
  status.SerialNumber = aSerialNumber;
  const bool ok = GetPrinterStatus(status);
  aSerialNumber = status.SerialNumber;
  return ok && !aSerialNumber.empty();
}


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

std::string kFiscalPrinterDevice::ReadClockAfterOutcome(DateTime& aDateTime) {
  std::string failure;
  try {
    if (!GetDateTime(aDateTime)) failure = ErrorFound() ? ErrorMessage() : "the printer did not give them";
  } catch (const std::exception& e) {
    failure = e.what();
  }
  ResetError();
  if (!failure.empty()) aDateTime = 0;
  return failure;
}

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

namespace fp {

// ---- The document journal ----

namespace {

constexpr const char* kJournalFailurePrefix = "The document journal cannot be written: ";
constexpr const char* kJournalFailureSuffix = "; nothing was printed";
// An unknown outcome the printer's own evidence could not settle although it answered: asked
// again, it would answer the same, so later calls leave it for the host to look at.
constexpr const char* kNoEvidence = "Outcome unknown: the printer answered, but nothing it holds names this document";
// The message of a row settled by a later call than its own: its outcome was never reported
// to the host.
constexpr const char* kSettledLater = "Settled later: ";
// The note a result carries when the journal could not record its outcome.
constexpr const char* kJournalUnrecorded = "The document journal could not record this outcome (";
constexpr const char* kJournalUnrecordedEnd = "); this device keeps it and writes it to the journal at its next call";
// Documents looked up in the printer's journal while settling one receipt.
constexpr int kMaxJournalLookups = 12;

std::string JournalFailure(const std::string& aReason) { return kJournalFailurePrefix + aReason + kJournalFailureSuffix; }

// FNV-1a over the fields of a document, each followed by a separator, as 16 hex digits.
class kFingerprint {
 public:
  void Add(std::string_view aText) {
    for (unsigned char c : aText) Mix(c);
    Mix(0x1f);
  }
  void Add(Amount aValue) { Add(aValue.ToXmlText()); }
  void Add(long long aValue) { Add(std::to_string(aValue)); }
  // The element's own fields as its writer gives them: names and texts, depth first.
  void AddFields(pugi::xml_node aNode) {
    for (pugi::xml_node n = aNode.first_child(); n; n = n.next_sibling()) {
      Add(n.name());
      Add(n.value());
      AddFields(n);
    }
  }
  std::string Text() const {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(fHash));
    return buffer;
  }

 private:
  void Mix(unsigned char aByte) {
    fHash ^= aByte;
    fHash *= 1099511628211ULL;
  }
  uint64_t fHash = 1469598103934665603ULL;
};

void AddMessageLines(kFingerprint& aPrint, const kReceiptMessageLines& aLines) {
  for (const auto& line : aLines) {
    if (const auto* text = dynamic_cast<const kReceiptMessageTextLine*>(line.get()))
      aPrint.Add("t" + text->GetValue());
    else if (const auto* barcode = dynamic_cast<const kReceiptMessageBarcodeLine*>(line.get()))
      aPrint.Add("b" + barcode->fValue);
    else
      aPrint.Add("other");
  }
}

std::optional<long> LongOf(const std::string& aText) {
  const std::string t = Trim(aText);
  if (t.empty() || t.size() > 12) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(t.c_str(), &end, 10);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return value;
}

// Whether a receipt's text from the printer's journal carries aTotal on one of its total
// lines ("TOTALE COMPLESSIVO 1,20", "TOTALE ANNULLATO 1,20"; Italian number form).
bool TextHasTotal(const std::string& aText, const std::string& aTotal) {
  const auto wanted = Amount::Parse(aTotal);
  if (!wanted) return false;
  size_t at = 0;
  while (at < aText.size()) {
    size_t end = aText.find('\n', at);
    if (end == std::string::npos) end = aText.size();
    const std::string line = Trim(aText.substr(at, end - at));
    at = end + 1;
    if (line.find("TOTALE") == std::string::npos) continue;
    const size_t blank = line.find_last_of(' ');
    std::string word = blank == std::string::npos ? line : line.substr(blank + 1);
    word = ReplaceAll(ReplaceAll(word, ".", ""), ",", ".");
    const auto value = Amount::Parse(word);
    if (value && (*value == *wanted || -*value == *wanted)) return true;
  }
  return false;
}

}  // namespace

bool kFiscalPrinterDevice::BeyondEvidence(const vnJournalEntry& aRow) {
  return aRow.fState == vnJournalState::Unknown &&
         (StartsWith(aRow.fMessage, kNoEvidence) || StartsWith(aRow.fMessage, kRTNoEvidence));
}

std::string kFiscalPrinterDevice::DocumentFailure(const std::string& aPrefix, const std::string& aFailure) {
  return StartsWith(aFailure, aPrefix) ? aFailure : aPrefix + aFailure;
}

std::string kFiscalPrinterDevice::ReceiptIdentity(const kReceipt& aReceipt) {
  const std::string reference = Trim(aReceipt.fExternalReference);
  if (!reference.empty()) return "ref:" + reference;
  // The content without the time stamps a till puts on every attempt (DateTime,
  // BusinessDate): the same sale sent again gives the same fingerprint.
  kFingerprint print;
  print.Add(static_cast<long long>(aReceipt.fReceiptType));
  print.Add(aReceipt.fReceiptSubType);
  print.Add(aReceipt.fTotalAmount);
  print.Add(aReceipt.fLotteryIdCode);
  print.Add(aReceipt.fCustomerCode);
  print.Add(aReceipt.fCustomerFiscalCode);
  print.Add(aReceipt.fCustomerTaxCode);
  print.Add(aReceipt.fToBeInvoiced ? "invoiced" : "");
  const vnOriginalReceipt& original = aReceipt.fOriginalReceipt;
  print.Add(original.fReceiptDateTime != 0 ? DateTimeToXmlText(original.fReceiptDateTime) : "");
  print.Add(original.fReceiptNumber);
  print.Add(original.fDeviceSerialNumber);
  print.Add(original.fEJClosingNumber);
  print.Add(static_cast<long long>(original.fReferenceType));
  for (const auto& line : aReceipt.fLines) {
    print.Add(static_cast<long long>(line->fLineType));
    print.Add(line->GetAmount());
    print.Add(line->fAdditionalInfo);
    pugi::xml_document fields;
    line->WriteFields(fields.append_child("Line"));
    print.AddFields(fields.first_child());
  }
  for (const auto& payment : aReceipt.fPayments) {
    print.Add(static_cast<long long>(payment->fPaymentType));
    print.Add(payment->fAmount);
    print.Add(payment->fQuantity);
    print.Add(payment->fDescription);
  }
  AddMessageLines(print, aReceipt.fLeaderLines);
  AddMessageLines(print, aReceipt.fTrailerMessages);
  return "fp:" + print.Text();
}

std::string kFiscalPrinterDevice::DocumentIdentity(const kNFReceipt& aDocument) {
  kFingerprint print;
  print.Add(aDocument.fLayout);
  AddMessageLines(print, aDocument.fHeaderLines);
  AddMessageLines(print, aDocument.fLines);
  AddMessageLines(print, aDocument.fFooterLines);
  return "fp:" + print.Text();
}

std::string kFiscalPrinterDevice::OpenJournal() {
  if (fJournal) return {};
  std::string serial = fSerialNumber;
  if (serial.empty()) {
    ResetError();
    bool read = false;
    try {
      read = ReadSerialNumber(serial);
    } catch (const kException& e) {
      RecordError(999, e.what());
    }
    if (!read || serial.empty()) {
      const std::string reason = ErrorFound() ? ErrorMessage() : "the printer did not give it";
      ResetError();
      return "the printer's serial number, which names its document journal, could not be read (" + reason +
             "); nothing was printed";
    }
  }
  try {
    const std::string folder = kDocumentJournal::DefaultFolder();
    std::string damaged;
    auto journal = kDocumentJournal::Open(folder, serial, &damaged);
    fPrinterLock = std::make_unique<kPrinterLock>(folder + "/" + kDocumentJournal::LockFileName(serial));
    fJournal = std::move(journal);
    if (!damaged.empty()) {
      // The rows of the damaged file are gone with it: whatever the printer still holds open
      // from them is settled from the printer itself (a receipt left open is cancelled before
      // the next document).
      LogError("Journal: the document journal " + fJournal->Path() + " was damaged and set aside as " + damaged +
               "; a new one was begun");
      fDocumentMark.fKnown = false;
      fJournalDamaged = true;
    }
  } catch (const kJournalError& e) {
    fPrinterLock.reset();
    return JournalFailure(e.what());
  }
  return {};
}

std::string kFiscalPrinterDevice::LockPrinterToPrint() {
  // An X report, a journal extract on paper or a change of training mode changes no fiscal
  // numbering and leaves nothing to settle: it needs no row of the journal, only the printer
  // to itself, so that none of it comes out inside another till's document. Without a
  // journal no document of this machine prints either, and it goes ahead (logged).
  if (const std::string failure = OpenJournal(); !failure.empty()) {
    LogError("Journal: " + failure);
    return {};
  }
  try {
    const int bound = fBusyTimeoutMs >= 0 ? fBusyTimeoutMs : fOutcomeTimeoutMs;
    if (!fPrinterLock->Acquire(bound, fOutcomeSleep)) return kPrinterBusyText;
  } catch (const kJournalError& e) {
    LogError(std::string("Journal: ") + e.what());
  }
  return {};
}

std::string kFiscalPrinterDevice::PrepareDocument(bool aNumbering) {
  fSettledNow.clear();
  std::string failure = OpenJournal();
  if (!failure.empty()) return failure;
  try {
    const int bound = fBusyTimeoutMs >= 0 ? fBusyTimeoutMs : fOutcomeTimeoutMs;
    if (!fPrinterLock->Acquire(bound, fOutcomeSleep)) return kPrinterBusyText;
    // Still not written, the outcome stays kept here and the document's own row will fail.
    WritePendingOutcome();
    SettleJournal();
    // Another device wrote a document since this one last read the numbering: it may have
    // moved.
    if (fJournal->NewestId() > fNewestRowSeen) fDocumentMark.fKnown = false;
  } catch (const kJournalError& e) {
    return JournalFailure(e.what());
  } catch (const std::exception& e) {
    ResetError();
    return std::string("an earlier document could not be settled (") + e.what() + "); nothing was printed";
  }
  ResetError();
  if (aNumbering && (!fDocumentMark.fKnown || fDocumentMark.fOpen)) {
    vnDocumentMark mark;
    bool read = false;
    try {
      read = ReadDocumentMark(mark);
    } catch (const kException& e) {
      RecordError(999, e.what());
    }
    if (!read && ErrorFound()) {
      const std::string reason = ErrorMessage();
      ResetError();
      return reason;
    }
    if (read && mark.fOpen) {
      // A receipt left open that no row of the journal accounts for: it never becomes a
      // document, and no line of this one goes into it.
      const bool cancelled = CancelOpenReceiptQuietly();
      if (!cancelled) return "a receipt left open on the printer could not be cancelled";
      AddResultNote("A receipt left open on the printer by an earlier failure was cancelled before this one.");
      fDocumentMark.fOpen = false;
    }
  }
  return {};
}

std::string kFiscalPrinterDevice::BeginDocument(vnJournalKind aKind, const std::string& aIdentity,
                                                const std::string& aTotal) {
  vnJournalEntry entry;
  entry.fKind = aKind;
  entry.fState = vnJournalState::Started;
  entry.fIdentity = aIdentity;
  if (fDocumentMark.fKnown) {
    entry.fNumberBefore = fDocumentMark.fNumber;
    entry.fClosingBefore = fDocumentMark.fClosing;
  }
  entry.fTotal = aTotal;
  entry.fDevice = fDeviceKey;
  // An outcome this device still keeps for the journal must be written before a new row:
  // the new document's own outcome would otherwise take its place.
  if (fPendingOutcome)
    return JournalFailure("the outcome of document " + std::to_string(fPendingOutcome->fId) + " is not written yet");
  try {
    // A document printed while an earlier one can still be settled could later be taken for
    // it (the same total after its number): the earlier one is settled first.
    for (const vnJournalEntry& unsettled : fJournal->Unsettled())
      if (const vnJournalEntry row = WithPendingOutcome(unsettled);
          IsUnsettled(row.fState) && !BeyondEvidence(row))
        return "the outcome of an earlier " + std::string(JournalKindName(row.fKind)) + " (document " +
               std::to_string(row.fId) + " of the journal) is not settled yet" +
               (row.fMessage.empty() ? std::string() : " (" + row.fMessage + ")") +
               "; no document is printed until the printer tells what became of it; nothing was printed";
    fJournal->Begin(entry);
  } catch (const kJournalError& e) {
    return JournalFailure(e.what());
  }
  fDocument = entry;
  fDocumentOpen = true;
  fNewestRowSeen = std::max(fNewestRowSeen, entry.fId);
  return {};
}

void kFiscalPrinterDevice::MarkClosingSent() {
  if (!fDocumentOpen) return;
  fDocument.fState = vnJournalState::ClosingSent;
  // Throws: a closing that cannot be recorded as sent is not sent.
  fJournal->Update(fDocument);
}

void kFiscalPrinterDevice::SettleDocument(vnJournalState aState, const std::string& aMessage, const std::string& aResult,
                                          const std::string& aNumber, const std::string& aClosing, DateTime aDateTime) {
  if (!fDocumentOpen) return;
  fDocument.fState = aState;
  fDocument.fMessage = aMessage;
  fDocument.fResult = aResult;
  fDocument.fNumber = aNumber;
  fDocument.fClosing = aClosing;
  fDocument.fDateTime = aDateTime != 0 ? DateTimeToXmlText(aDateTime) : std::string();
  fDocumentOpen = false;
  try {
    fJournal->Update(fDocument);
  } catch (const kJournalError& e) {
    // The printer has done what it did, and the result says so as the printer told it. The
    // outcome is kept here: written before anything else at the next call, and meanwhile the
    // answer to a retry of this document.
    LogError("Journal: the outcome of document " + std::to_string(fDocument.fId) + " could not be written: " + e.what());
    fPendingOutcome = fDocument;
    fUnrecordedNote = kJournalUnrecorded + std::string(e.what()) + kJournalUnrecordedEnd;
  }
}

void kFiscalPrinterDevice::AddUnrecordedNote(std::string& aErrorText) {
  if (fUnrecordedNote.empty()) return;
  aErrorText += (aErrorText.empty() ? "" : "; ") + fUnrecordedNote;
  fUnrecordedNote.clear();
}

bool kFiscalPrinterDevice::WritePendingOutcome() {
  if (!fPendingOutcome) return true;
  try {
    // Settled meanwhile by another process from the printer's evidence: that row stands.
    const auto row = fJournal->Find(fPendingOutcome->fId);
    if (row && IsUnsettled(row->fState)) fJournal->Update(*fPendingOutcome);
  } catch (const kJournalError& e) {
    LogError("Journal: the outcome of document " + std::to_string(fPendingOutcome->fId) +
             " could not be written: " + e.what());
    return false;
  }
  LogInfo("Journal: the outcome of document " + std::to_string(fPendingOutcome->fId) + " kept since its call is written");
  fPendingOutcome.reset();
  return true;
}

vnJournalEntry kFiscalPrinterDevice::WithPendingOutcome(const vnJournalEntry& aRow) const {
  return fPendingOutcome && fPendingOutcome->fId == aRow.fId ? *fPendingOutcome : aRow;
}

void kFiscalPrinterDevice::EndDocument() {
  fDocumentOpen = false;
  fUnrecordedNote.clear();
  if (fPrinterLock) fPrinterLock->Release();
}

std::optional<vnJournalEntry> kFiscalPrinterDevice::EarlierDocument(const std::string& aIdentity) {
  if (!fJournal || aIdentity.empty()) return std::nullopt;
  // Another till may sell the same coffee, and so may the next customer: a fingerprint stands
  // only for this device's newest document, the one a till sends again before anything else;
  // once the device has begun another, the same content is a new sale. The host's own key is
  // looked for among all rows.
  // A receipt of the RT-server road is told apart by its prefix alone: its key is the same.
  const size_t rtPrefix = std::string_view(kRTIdentityPrefix).size();
  const std::string key = StartsWith(aIdentity, kRTIdentityPrefix) ? aIdentity.substr(rtPrefix) : aIdentity;
  const bool fingerprint = !StartsWith(key, "ref:") && !StartsWith(key, "z:");
  std::optional<vnJournalEntry> row;
  // An outcome the journal could not record is this device's newest document.
  if (fPendingOutcome && fPendingOutcome->fIdentity == aIdentity)
    row = fPendingOutcome;
  else if (fingerprint)
    row = fJournal->FindNewestOfDevice(aIdentity, fDeviceKey);
  else
    row = fJournal->FindByIdentity(aIdentity);
  if (!row) return std::nullopt;
  row = WithPendingOutcome(*row);
  if (IsUnsettled(row->fState)) return row;
  if (row->fState != vnJournalState::Printed) return std::nullopt;
  // The host's own key names the sale whatever else changed.
  if (StartsWith(key, "ref:")) return row;
  // The day's Z report while it is still the printer's last closing and no document was
  // begun after it: a retry of the report whether or not its answer reached the host.
  if (StartsWith(key, "z:")) {
    // A Z report's number is the count of closings taken with it.
    const auto closingNow = LongOf(fDocumentMark.fClosing), closingThen = LongOf(row->fNumber);
    const bool lastClosing = fDocumentMark.fKnown && closingNow && closingThen && *closingNow == *closingThen;
    return lastClosing && !fJournal->DocumentAfter(row->fId) ? row : std::nullopt;
  }
  // A fingerprint only stands for a document whose outcome the host never learnt (two
  // customers may buy the same coffee).
  if (StartsWith(row->fMessage, kSettledLater)) return row;
  return std::nullopt;
}

void kFiscalPrinterDevice::MarkReported(vnJournalEntry aEntry, const std::string& aResult) {
  aEntry.fResult = aResult;
  aEntry.fMessage = "Reported to a later call";
  try {
    fJournal->Update(aEntry);
    if (fPendingOutcome && fPendingOutcome->fId == aEntry.fId) fPendingOutcome.reset();
  } catch (const kJournalError& e) {
    LogError(std::string("Journal: ") + e.what());
    if (fPendingOutcome && fPendingOutcome->fId == aEntry.fId) fPendingOutcome = aEntry;
  }
}

void kFiscalPrinterDevice::SettleJournal() {
  fSettledNow.clear();
  for (vnJournalEntry& row : fJournal->Unsettled()) {
    if (fDocumentOpen && row.fId == fDocument.fId) continue;
    // Its outcome is known here, waiting to be written.
    if (fPendingOutcome && row.fId == fPendingOutcome->fId) continue;
    fNewestRowSeen = std::max(fNewestRowSeen, row.fId);
    if (BeyondEvidence(row)) continue;
    LogInfo("Outcome: settling " + std::string(JournalKindName(row.fKind)) + " " + std::to_string(row.fId) + " (" +
            JournalStateName(row.fState) + ")");
    SettleEntry(row);
    LogInfo("Outcome: " + std::string(JournalKindName(row.fKind)) + " " + std::to_string(row.fId) + " is " +
            JournalStateName(row.fState) + (row.fMessage.empty() ? "" : ": " + row.fMessage));
    fSettledNow.push_back(row);
    // A printer that cannot tell about one document cannot tell about the next either.
    if (row.fState == vnJournalState::Unknown && !BeyondEvidence(row)) break;
  }
}

void kFiscalPrinterDevice::SettleEntry(vnJournalEntry& aEntry) {
  const auto write = [&] {
    try {
      fJournal->Update(aEntry);
    } catch (const kJournalError& e) {
      LogError(std::string("Journal: ") + e.what());
    }
  };
  if (StartsWith(aEntry.fIdentity, kRTIdentityPrefix)) {
    // The printer only made its paper copy: what the row itself recorded is the evidence.
    SettleRTEntry(aEntry);
    write();
    return;
  }
  if (aEntry.fKind != vnJournalKind::Receipt && aEntry.fKind != vnJournalKind::Document &&
      aEntry.fKind != vnJournalKind::ZReport) {
    // A copy, a programming or the clock leaves no trace in the numbering to tell by.
    aEntry.fState = vnJournalState::Unknown;
    aEntry.fMessage = std::string(kNoEvidence) + "; the call ended before its outcome was known";
    write();
    return;
  }
  vnDocumentMark now;
  if (!ReadMarkWithinBound(now)) {
    // A driver that cannot tell at all would answer the same the next time.
    const bool cannotTell = !ErrorFound();
    const std::string reason = cannotTell ? "the driver cannot tell" : ErrorMessage();
    ResetError();
    aEntry.fState = vnJournalState::Unknown;
    aEntry.fMessage = cannotTell ? std::string(kNoEvidence) + "; " + reason
                                 : "Outcome unknown: the printer could not be asked (" + reason + ")";
    write();
    return;
  }
  fDocumentMark = now;
  std::string number, closing, why;
  vnJournalState state = vnJournalState::Unknown;
  if (now.fOpen && aEntry.fKind != vnJournalKind::ZReport) {
    // Left open: it never became a document, and it is cancelled so that nothing else goes in.
    const bool cancelled = CancelOpenReceiptQuietly();
    fDocumentMark.fOpen = !cancelled;
    state = cancelled ? vnJournalState::NotPrinted : vnJournalState::Unknown;
    why = cancelled ? "it was left open on the printer and was cancelled" : "it is open on the printer and could not be cancelled";
  } else if (aEntry.fKind == vnJournalKind::Receipt) {
    state = ReceiptEvidence(aEntry, now, number, closing, why);
  } else if (aEntry.fKind == vnJournalKind::Document) {
    // No longer open tells only that its closing never went out, when it did not; after the
    // closing it may have been printed or lost with a restart of the printer, and no counter
    // of the printer counts these documents.
    state = aEntry.fState == vnJournalState::Started ? vnJournalState::NotPrinted : vnJournalState::Unknown;
    why = state == vnJournalState::Unknown ? "the printer no longer holds it open, which a restart would do as well"
                                           : "its closing never went out";
  } else {
    const bool moved = !aEntry.fClosingBefore.empty() && now.fClosing != aEntry.fClosingBefore;
    if (aEntry.fClosingBefore.empty()) {
      why = "the closings taken before it are not known";
    } else {
      state = moved ? vnJournalState::Printed : vnJournalState::NotPrinted;
      why = moved ? "the printer's closings moved" : "the printer's closings did not move";
      if (moved) number = closing = now.fClosing;
    }
  }
  aEntry.fState = state;
  aEntry.fNumber = number;
  aEntry.fClosing = closing;
  if (state == vnJournalState::Printed) aEntry.fDateTime = DateTimeToXmlText(CurrentDateTime());
  // Settled here, its outcome was never reported to the host (the row's result fragment, read
  // in part, stays what the host was told, if anything).
  aEntry.fMessage = state == vnJournalState::Unknown ? std::string(kNoEvidence) + ": " + why : kSettledLater + why;
  write();
}

vnJournalState kFiscalPrinterDevice::ReceiptEvidence(const vnJournalEntry& aEntry, const vnDocumentMark& aNow,
                                                     std::string& aNumber, std::string& aClosing, std::string& aWhy) {
  const auto numberBefore = LongOf(aEntry.fNumberBefore), closingBefore = LongOf(aEntry.fClosingBefore);
  const auto numberNow = LongOf(aNow.fNumber), closingNow = LongOf(aNow.fClosing);
  if (!numberBefore || !closingBefore || !numberNow || !closingNow) {
    aWhy = "the printer's numbering before it is not known";
    return vnJournalState::Unknown;
  }
  if (*numberNow == *numberBefore && *closingNow == *closingBefore) {
    aWhy = "the printer's numbering did not move";
    return vnJournalState::NotPrinted;
  }
  // The documents since, in order, each looked up in the printer's journal: those of the
  // closing that was open (after the number before), of whole closings in between, and of
  // the open one (up to the number now). The document of this receipt carries its total.
  int lookups = 0;
  for (long closing = *closingBefore; closing <= *closingNow; ++closing) {
    const long first = closing == *closingBefore ? *numberBefore + 1 : 1;
    const long last = closing == *closingNow ? *numberNow : std::numeric_limits<long>::max();
    for (long number = first; number <= last; ++number) {
      if (++lookups > kMaxJournalLookups) {
        aWhy = "too many documents were made since it was sent to look it up";
        return vnJournalState::Unknown;
      }
      bool found = false, matches = false;
      // The documents of an open day belong to the closing that ends it.
      if (!JournalHoldsReceipt(number, closing + 1, aEntry.fTotal, found, matches)) {
        aWhy = "the printer's journal could not be read";
        return vnJournalState::Unknown;
      }
      if (!found) break;
      if (matches) {
        aNumber = std::to_string(number);
        aClosing = std::to_string(closing + 1);
        aWhy = "the printer's journal holds it as document " + aNumber + " of closing " + aClosing;
        return vnJournalState::Printed;
      }
      // A document in between that no row accounts for may be another sale with the same
      // total further on: looking past it could take that one for this receipt.
      if (!fJournal->HoldsPrinted(std::to_string(number), std::to_string(closing + 1))) {
        aWhy = "the printer's journal holds document " + std::to_string(number) + " of closing " +
               std::to_string(closing + 1) + " after it, which is not this receipt and which no call here accounts for";
        return vnJournalState::Unknown;
      }
    }
  }
  // The numbering moved, and not by this receipt as far as the journal tells: that is not
  // evidence that it was not printed.
  aWhy = "the printer's numbering moved (document " + aNow.fNumber + ", closings " + aNow.fClosing +
         ") but its journal holds no document with this receipt's total";
  return vnJournalState::Unknown;
}

bool kFiscalPrinterDevice::LastDocumentIs(const kReceipt& aReceipt, std::string& aNumber, std::string& aClosing) {
  const auto number = LongOf(fDocumentMark.fNumber), closing = LongOf(fDocumentMark.fClosing);
  if (!fDocumentMark.fKnown || fDocumentMark.fOpen || !number || !closing || *number < 1) return false;
  kReceiptReference reference;
  reference.fReceiptNumber = std::to_string(*number);
  reference.fEJClosingNumber = std::to_string(*closing + 1);
  reference.fReceiptDateTime = DateOf(CurrentDateTime());
  std::string text;
  bool read = false;
  try {
    read = ReadReceiptText(reference, text);
  } catch (const kException& e) {
    LogError(e.what());
  }
  ResetError();
  if (!read || !TextHasTotal(text, (aReceipt.fTotalAmount < Amount() ? -aReceipt.fTotalAmount : aReceipt.fTotalAmount).Format(2)))
    return false;
  // Every item the printer prints by its description is there.
  for (const auto& line : aReceipt.fLines) {
    const auto* sale = dynamic_cast<const kReceiptLineProductSale*>(line.get());
    if (sale == nullptr) continue;
    const std::string description = Trim(CharLeft(Trim(sale->GetDescription()), 16));
    if (!description.empty() && text.find(description) == std::string::npos) return false;
  }
  aNumber = reference.fReceiptNumber;
  aClosing = reference.fEJClosingNumber;
  return true;
}

bool kFiscalPrinterDevice::JournalHoldsReceipt(long aNumber, long aClosing, const std::string& aTotal, bool& aFound,
                                               bool& aMatches) {
  kReceiptReference reference;
  reference.fReceiptNumber = std::to_string(aNumber);
  reference.fEJClosingNumber = std::to_string(aClosing);
  reference.fReceiptDateTime = DateOf(CurrentDateTime());
  std::string text;
  ResetError();
  bool read = false;
  try {
    read = ReadReceiptText(reference, text);
  } catch (const kException& e) {
    RecordError(999, e.what());
  }
  const bool failed = !read && ErrorFound();
  ResetError();
  if (failed) return false;
  aFound = !Trim(text).empty();
  aMatches = aFound && TextHasTotal(text, aTotal);
  return true;
}

void kFiscalPrinterDevice::SettleBeforeOperation() {
  if (!fJournal || !fPrinterLock) return;
  try {
    if (!fPendingOutcome && fJournal->Unsettled().empty()) return;
    // A document in progress on another device holds the lock: its rows are not orphans.
    if (!fPrinterLock->Acquire(0, fOutcomeSleep)) return;
    WritePendingOutcome();
    SettleJournal();
  } catch (const kJournalError& e) {
    LogError(std::string("Journal: ") + e.what());
  } catch (const std::exception& e) {
    // An answer that cannot be read while settling: the row stays for the next call.
    LogError(std::string("Outcome: ") + e.what());
  }
  fPrinterLock->Release();
  ResetError();
}

bool kFiscalPrinterDevice::CloseDayAtStart() {
  // Run while a device starts, outside any result: its outcome's note goes to the log only
  // (SettleDocument logs it; the scope drops it).
  kDocumentScope scope(*this);
  const auto refuse = [&](const std::string& aWhy) {
    LogError("The day is not closed: " + aWhy);
    ResetError();
    RecordError(999, "The day is not closed: " + aWhy);
    return false;
  };
  std::string failure = PrepareDocument();
  if (!failure.empty()) return refuse(failure);
  try {
    // A document whose outcome is not known would fall on one side of the closing or the
    // other: the host looks at it first. An RT sale's row is the server's registration: its
    // paper copy is no fiscal evidence of its own, so such a row holds nothing up.
    for (const vnJournalEntry& unsettled : fJournal->Unsettled())
      if (const vnJournalEntry row = WithPendingOutcome(unsettled);
          IsUnsettled(row.fState) && !StartsWith(row.fIdentity, kRTIdentityPrefix) &&
          (row.fKind == vnJournalKind::Receipt || row.fKind == vnJournalKind::Document ||
           row.fKind == vnJournalKind::ZReport))
        return refuse("document " + std::to_string(row.fId) + " of the journal is still unsettled (" + row.fMessage +
                      ")");
  } catch (const kJournalError& e) {
    return refuse(JournalFailure(e.what()));
  }
  failure = BeginDocument(vnJournalKind::ZReport, "z:" + DateTimeToXmlText(DateOf(CurrentDateTime())).substr(0, 10));
  if (!failure.empty()) return refuse(failure);
  const vnDocumentMark before = fDocumentMark;
  fDocumentMark.fKnown = false;
  try {
    MarkClosingSent();
  } catch (const kJournalError& e) {
    SettleDocument(vnJournalState::NotPrinted, JournalFailure(e.what()));
    return refuse(JournalFailure(e.what()));
  }
  bool taken = false;
  try {
    taken = PrintZReport(nullptr) && !ErrorFound();
  } catch (const kException& e) {
    ResetError();
    RecordError(999, e.what());
  }
  if (taken) {
    SettleDocument(vnJournalState::Printed, "Taken at the start of the printer's inactive period");
    return true;
  }
  // Failed in some way: the closings taken tell whether it was taken.
  const std::string reason = ErrorFound() ? ErrorMessage() : "the Z report failed";
  vnDocumentMark now;
  if (before.fKnown && ReadMarkWithinBound(now)) {
    fDocumentMark = now;
    if (now.fClosing != before.fClosing) {
      ResetError();
      SettleDocument(vnJournalState::Printed, "Taken at the start of the printer's inactive period", "", now.fClosing,
                     now.fClosing, CurrentDateTime());
      return true;
    }
    SettleDocument(vnJournalState::NotPrinted, "Report not taken: " + reason);
    return refuse("Report not taken: " + reason);
  }
  SettleDocument(vnJournalState::Unknown, std::string(kOutcomeUnknownPrefix) + "the Z report (" + reason + ")");
  return refuse(std::string(kOutcomeUnknownPrefix) + "the Z report (" + reason + ")");
}

}  // namespace fp

namespace fp {

// ---- The journal steps of the other documents ----

bool kFiscalPrinterDevice::BeginJournalDocument(kNFReceipt& aDocument, _int_PRINTNFR_result& aResult) {
  std::string failure = PrepareDocument();
  const std::string identity = DocumentIdentity(aDocument);
  if (failure.empty()) {
    if (const auto earlier = EarlierDocument(identity)) {
      if (earlier->fState == vnJournalState::Printed) {
        LogInfo("Outcome: this document was printed by an earlier call whose answer was lost; it was not printed again");
        aResult.Error = false;
        aResult.ErrorText.clear();
        aResult.NFReceiptNumber.clear();
        aResult.NFReceiptDateTime = earlier->fDateTime.empty() ? 0 : XmlTextToDateTime(earlier->fDateTime);
        MarkReported(*earlier, aResult.Format());
        return false;
      }
      aResult.Error = true;
      aResult.ErrorText = std::string(kOutcomeUnknownPrefix) + "this document was sent by an earlier call whose "
                          "outcome the printer cannot tell yet (" + earlier->fMessage + "); it was not printed again";
      return false;
    }
    failure = BeginDocument(vnJournalKind::Document, identity);
  }
  if (failure.empty()) return true;
  aResult.Error = true;
  aResult.ErrorText = DocumentFailure("Document not printed: ", failure);
  return false;
}

bool kFiscalPrinterDevice::CloseJournalDocument(kNFReceipt& aDocument, _int_PRINTNFR_result& aResult) {
  try {
    MarkClosingSent();
  } catch (const kJournalError& e) {
    // Nothing of it is on paper yet: it is cancelled and the closing never leaves.
    CancelOpenReceiptQuietly();
    RecordError(999, JournalFailure(e.what()));
    return true;
  }
  // A line that recorded a failure but let the document go on: the closing is not what failed.
  const bool failedBefore = ErrorFound();
  EndNonFiscalReceipt(aDocument);
  if (!ErrorFound()) return true;
  // No answer to the closing: whether the document is still open tells.
  if (!UnansweredCommand().empty() && !SettleLostClosing(aDocument, aResult)) {
    SettleDocument(vnJournalState::Unknown, aResult.ErrorText, aResult.Format());
    AddUnrecordedNote(aResult.ErrorText);
    return false;
  }
  if (!ErrorFound()) return true;
  // A closing that failed may still have been carried out (a printer that refuses after
  // doing it): only a document still open tells that it was not.
  vnDocumentMark now;
  const vnOutcome refused = Outcome();
  // The driver cancelled the document before its closing went out and said so.
  if (StartsWith(refused.fMessage, "Document not printed: ")) return true;
  const bool read = ReadMarkWithinBound(now);
  ResetError();
  if (read && now.fOpen) {
    // Still open after its closing failed: cancelled, so that it never comes out inside the next.
    const bool cancelled = CancelOpenReceiptQuietly();
    RecordError(refused.fCode, refused.fMessage + (cancelled ? "; the document was cancelled on the printer and can be sent again"
                                                             : "; the document could not be cancelled"));
  } else if (failedBefore) {
    RecordError(refused.fCode, refused.fMessage);
  } else {
    RecordError(refused.fCode, std::string(kOutcomeUnknownPrefix) + "the closing of the non-fiscal document failed (" +
                                   refused.fMessage + ") and the printer " +
                                   (read ? "no longer holds it open: it may have been printed"
                                         : "could not be asked whether it still holds it open"));
  }
  return true;
}

void kFiscalPrinterDevice::SettleJournalDocument(_int_PRINTNFR_result& aResult) {
  vnJournalState state = vnJournalState::Printed;
  if (aResult.Error) {
    state = StartsWith(aResult.ErrorText, kOutcomeUnknownPrefix) ? vnJournalState::Unknown : vnJournalState::NotPrinted;
    if (state == vnJournalState::NotPrinted && !StartsWith(aResult.ErrorText, "Document not printed: "))
      aResult.ErrorText = "Document not printed: " + aResult.ErrorText;
  }
  SettleDocument(state, aResult.ErrorText, aResult.Format(), "", "", aResult.NFReceiptDateTime);
  AddUnrecordedNote(aResult.ErrorText);
}

}  // namespace fp

namespace fp {

bool kFiscalPrinterDevice::BeginJournalReport(_int_PRINTZR_result& aResult) {
  std::string failure = PrepareDocument();
  // One closing a day is what a host asks for; a report taken by a call whose answer was
  // lost is that day's.
  const std::string identity = "z:" + DateTimeToXmlText(DateOf(CurrentDateTime())).substr(0, 10);
  if (failure.empty()) {
    if (const auto earlier = EarlierDocument(identity)) {
      if (earlier->fState == vnJournalState::Printed) {
        LogInfo("Outcome: this Z report was taken by an earlier call whose answer was lost; it was not taken again");
        aResult.ZReportNumber = earlier->fNumber;
        aResult.EJNumber = "0";
        aResult.EJClosingNumber = earlier->fClosing;
        aResult.ZReportDateTime = earlier->fDateTime.empty() ? 0 : XmlTextToDateTime(earlier->fDateTime);
        aResult.DeviceSerialNumber = fSerialNumber;
        aResult.Error = false;
        aResult.ErrorText.clear();
        MarkReported(*earlier, aResult.Format());
        return false;
      }
      aResult.Error = true;
      aResult.ErrorText = std::string(kOutcomeUnknownPrefix) + "a Z report asked by an earlier call is not settled yet (" +
                          earlier->fMessage + "); no report was taken now";
      return false;
    }
    failure = BeginDocument(vnJournalKind::ZReport, identity);
  }
  if (failure.empty()) return true;
  aResult.Error = true;
  aResult.ErrorText = DocumentFailure("Report not taken: ", failure);
  return false;
}

void kFiscalPrinterDevice::SettleReport(_int_PRINTZR_result& aResult) {
  vnJournalState state = vnJournalState::Printed;
  if (aResult.Error) {
    state = StartsWith(aResult.ErrorText, kOutcomeUnknownPrefix) ? vnJournalState::Unknown : vnJournalState::NotPrinted;
    if (state == vnJournalState::NotPrinted && !StartsWith(aResult.ErrorText, "Report not taken: "))
      aResult.ErrorText = "Report not taken: " + aResult.ErrorText;
  }
  SettleDocument(state, aResult.ErrorText, aResult.Format(), state == vnJournalState::Printed ? aResult.ZReportNumber : "",
                 state == vnJournalState::Printed ? aResult.EJClosingNumber : "",
                 state == vnJournalState::Printed ? aResult.ZReportDateTime : 0);
  AddUnrecordedNote(aResult.ErrorText);
}

std::string kFiscalPrinterDevice::BeginJournalChange(vnJournalKind aKind) {
  // Programming and the clock leave the numbering as it is.
  std::string failure = PrepareDocument(false);
  if (failure.empty()) failure = BeginDocument(aKind, "");
  if (!failure.empty()) return failure;
  try {
    MarkClosingSent();
  } catch (const kJournalError& e) {
    return JournalFailure(e.what());
  }
  return {};
}

void kFiscalPrinterDevice::SettleChange(_int_ErrorTail& aResult) {
  const vnJournalState state = !aResult.Error                                         ? vnJournalState::Printed
                               : StartsWith(aResult.ErrorText, kOutcomeUnknownPrefix) ? vnJournalState::Unknown
                                                                                      : vnJournalState::NotPrinted;
  SettleDocument(state, aResult.ErrorText);
  AddUnrecordedNote(aResult.ErrorText);
}

}  // namespace fp

namespace fp {

void kFiscalPrinterDevice::OpenJournalAtStart() {
  const std::string failure = OpenJournal();
  if (!failure.empty()) {
    LogError("Journal: " + failure);
    return;
  }
  try {
    if (!fPrinterLock->Acquire(0, fOutcomeSleep)) return;
    SettleJournal();
    // The newest row: a row after it means another device has printed since the numbering
    // was read here.
    fNewestRowSeen = std::max(fNewestRowSeen, fJournal->NewestId());
  } catch (const kJournalError& e) {
    LogError(std::string("Journal: ") + e.what());
    fPrinterLock->Release();
    return;
  } catch (const std::exception& e) {
    LogError(std::string("Outcome: ") + e.what());
    fPrinterLock->Release();
    ResetError();
    return;
  }
  ResetError();
  if (!fDocumentMark.fKnown) {
    vnDocumentMark mark;
    try {
      ReadDocumentMark(mark);
    } catch (const kException& e) {
      LogError(e.what());
    }
    ResetError();
  }
  fPrinterLock->Release();
}

}  // namespace fp
