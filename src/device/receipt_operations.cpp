// Fiscal receipt operations: printing and reprinting a receipt, and the receipt's text and
// picture.
#include <exception>
#include <string>

#include <pugixml.hpp>

#include "base/errors.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "device/fiscal_printer_device.h"
#include "device/fiscal_processor_caller.h"
#include "device/receipt_image.h"
#include "documents/receipt.h"
#include "documents/receipt_line_types.h"
#include "documents/receipt_reference.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "io/io_handler.h"
#include "rtserver/rt_server_client.h"

namespace fp {

namespace {

constexpr const char* kNoDocumentMessage = "Errore nella generazione del documento commerciale.";
constexpr const char* kNotPrintedMessage =
    "La transazione di vendita è stata registrata correttamente ma non è stato possibile stamparla.";

bool ParameterIsTrue(const kReceiptPrinterHandler& aHandler, std::string_view aName) {
  return LowerCase(aHandler.GetParameter(aName)) == "true";
}

// Hands the request's text to the processor library's hook aHook and goes on with the request
// it gives back in place of the host's: its text becomes the request's, and the receipt is read
// from it. False, with the processor's message in aResult, when the processor refused it.
bool RewriteByProcessor(kFiscalProcessorCaller& aProcessor,
                        bool (kFiscalProcessorCaller::*aHook)(const std::string&, std::string&),
                        kReceiptPrinterHandler& aHandler, _int_ErrorTail& aResult, const char* aPrefix) {
  std::string rewritten;
  if (!(aProcessor.*aHook)(aHandler.fRequestText, rewritten)) {
    // Refused before anything was sent: the document is not printed.
    aResult.Error = true;
    aResult.ErrorText = aPrefix + aProcessor.ErrorMessage();
    return false;
  }
  aHandler.fRequestText = std::move(rewritten);
  aHandler.ClearReceipt();
  aHandler.Deserialize(aHandler.fRequestText, {dt_Receipt});
  return true;
}

}  // namespace

// One sale line to the hook of its type; false stops the lines.
bool kFiscalPrinterDevice::PrintLineByType(kFiscalPrinterDevice& aDevice, kReceipt& aReceipt, kReceiptLine& aLine) {
  switch (aLine.fLineType) {
#define FP_PRINT_LINE(aType, aElement, aClass, aHook) \
  case aType: return aDevice.Print##aHook(aReceipt, ReceiptLineAs<aClass>(aLine));
    FP_RECEIPT_LINE_TYPES(FP_PRINT_LINE)
#undef FP_PRINT_LINE
  }
  throw kException("Unknown receipt line type " + std::to_string(aLine.fLineType));
}

// The receipt text and picture of a printed receipt, when the request asks for them.
void kFiscalPrinterDevice::AddReceiptTextAndImage(kFiscalPrinterDevice& aDevice, kReceiptPrinterHandler& aHandler,
                                                  _int_PRINTFR_result& aResult) {
  // The receipt is printed and numbered at this point: nothing that goes wrong here (not
  // even running out of memory for the picture of a huge journal) may turn the result into
  // a failure, or the host would print the receipt again.
  try {
    aDevice.GetReceiptTextAndImage(aHandler, aResult, aResult.ReceiptText, aResult.ReceiptImage);
  } catch (const kException& e) {
    aResult.ReceiptImage.clear();
    aResult.ErrorText = e.what();
  } catch (const std::exception& e) {
    // Out of memory or a size the library refuses: the receipt is printed all the same.
    aResult.ReceiptImage.clear();
    aResult.ErrorText = std::string("The receipt picture could not be made: ") + e.what();
  } catch (...) {
    aResult.ReceiptImage.clear();
    aResult.ErrorText = "The receipt text or picture could not be made";
  }
}

namespace {

constexpr const char* kClosingWhat = "the printer did not answer the closing of the receipt";
// The failure code of a closing the printer answered as done without carrying it out.
constexpr int32_t kAnsweredNotDoneCode = 502;

std::string JournalFailure(const std::string& aReason) {
  return "The document journal cannot be written: " + aReason + "; nothing was printed";
}

std::string NotPrintedText(const std::string& aReason, const std::string& aAfter) {
  return "Receipt not printed: " + aReason + "; " + aAfter;
}

}  // namespace

// The hooks of one receipt in the device's print sequence; aStage follows how far it got.
// The journal row of the receipt is "closing sent" before the closing goes out.
void kFiscalPrinterDevice::RunReceiptHooks(kFiscalPrinterDevice& aDevice, kReceipt& aReceipt, bool aGood, ReceiptStage& aStage) {
  bool good = aGood;
  if (good) good = aDevice.BeginFiscalReceipt(aReceipt);
  if (!good) return;
  aStage = ReceiptStage::Open;
  // The driver may have reordered the sections while opening the receipt.
  const std::vector<vnFiscalPrinterPrintSection> sequence = aDevice.fPrintSequence;
  for (vnFiscalPrinterPrintSection section : sequence) {
    if (!good) break;
    switch (section) {
      case fpps_Lines:
        for (const auto& line : aReceipt.fLines) {
          good = PrintLineByType(aDevice, aReceipt, *line);
          if (!good) break;
        }
        break;
      case fpps_Payments:
        for (const auto& payment : aReceipt.fPayments) {
          good = aDevice.PrintPayment(aReceipt, *payment);
          if (!good) throw kException("Error while processing Payments");
        }
        break;
      case fpps_TrailerMessages:
        for (const auto& message : aReceipt.fTrailerMessages) {
          if (!good) break;
          if (auto* text = dynamic_cast<kReceiptMessageTextLine*>(message.get()))
            good = aDevice.PrintTrailerTextLine(aReceipt, *text);
          else if (auto* barcode = dynamic_cast<kReceiptMessageBarcodeLine*>(message.get()))
            good = aDevice.PrintTrailerBarcodeLine(aReceipt, *barcode);
        }
        break;
    }
  }
  if (!good) return;
  aDevice.MarkClosingSent();
  aStage = ReceiptStage::Closing;
  aDevice.EndFiscalReceipt(aReceipt);
}

// The result of a receipt the printer has made: its numbers as the printer gives them (what
// cannot be read is named in ErrorText), the notes of the call and the text and picture.
// The numbers of a receipt just closed, as the printer gives them (what cannot be read is
// named in ErrorText). false when the printer's numbering, read with them, says the closing
// never took effect: the receipt still open, or no document after the one before it.
bool kFiscalPrinterDevice::ReadPrintedNumbers(kFiscalPrinterDevice& aDevice, const vnJournalEntry& aRow, _int_PRINTFR_result& aResult) {
  aDevice.fDocumentMark.fKnown = false;
  aResult.ErrorText = aDevice.ReadDoneDocumentInfo(aResult.ReceiptDateTime, aResult.ReceiptNumber,
                                                   aResult.EJNumber, aResult.EJClosingNumber,
                                                   aResult.DeviceSerialNumber);
  const vnDocumentMark& now = aDevice.fDocumentMark;
  if (!now.fKnown) return true;
  return !now.fOpen && !(now.fNumber == aRow.fNumberBefore && now.fClosing == aRow.fClosingBefore);
}

void kFiscalPrinterDevice::ReportPrinted(kFiscalPrinterDevice& aDevice, kReceiptPrinterHandler& aHandler,
                                         const kReceipt& aReceipt, _int_PRINTFR_result& aResult, bool aNumbersRead) {
  if (!aNumbersRead)
    aResult.ErrorText = aDevice.ReadDoneDocumentInfo(aResult.ReceiptDateTime, aResult.ReceiptNumber,
                                                     aResult.EJNumber, aResult.EJClosingNumber,
                                                     aResult.DeviceSerialNumber);
  aResult.InvoiceNumber = aReceipt.fInvoiceNumber;
  aResult.InvoiceDateTime = aReceipt.fInvoiceDateTime;
  aResult.Error = false;
  aResult.MessageText = aDevice.ResultNote();
  AddReceiptTextAndImage(aDevice, aHandler, aResult);
}

void kFiscalPrinterDevice::ReportNotPrinted(kFiscalPrinterDevice& aDevice, _int_PRINTFR_result& aResult, const std::string& aText) {
  aDevice.IOHandler().Debug(let_error, aText);
  aResult.ReceiptNumber.clear();
  aResult.ReceiptDateTime = 0;
  aResult.Error = true;
  aResult.ErrorText = aText;
  aResult.MessageText = aDevice.ResultNote();
}

// A receipt left open by a failure is cancelled at once, so that it never becomes a
// document and the next receipt starts clean. Returns what became of it, in words.
std::string kFiscalPrinterDevice::CancelOpenReceipt(kFiscalPrinterDevice& aDevice, ReceiptStage aStage, bool& aWasOpen) {
  aDevice.ResetError();
  vnDocumentMark now;
  bool open = aStage != ReceiptStage::NotOpened;
  bool known = false;
  try {
    known = aDevice.ReadDocumentMark(now);
  } catch (const kException&) {
  }
  if (known) {
    open = now.fOpen;
  } else if (aDevice.ErrorFound()) {
    aWasOpen = open;
    aDevice.ResetError();
    return "the printer could not be reached to cancel the receipt, which is cancelled before the next one";
  }
  aWasOpen = open;
  if (!open) return "nothing was left open on the printer and the receipt can be sent again";
  const bool cancelled = aDevice.CancelOpenReceiptQuietly();
  return cancelled ? "the open receipt was cancelled and can be sent again"
                   : "the open receipt could not be cancelled now and is cancelled before the next one";
}

std::string kFiscalPrinterDevice::ReceiptRefusal(const kReceipt& /*aReceipt*/) { return {}; }

void kFiscalPrinterDevice::Pub_PrintReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult) {
  // On both roads the receipt's own steps settle what earlier calls left, so that its result
  // can say what they found.
  BeginOperation("PrintReceipt", aResult, false);
  const bool good = IsReady();
  kReceipt& receipt = *aHandler.fReceipt;
  if (receipt.fTotalAmount.IsZero()) receipt.fTotalAmount = receipt.GetCalculatedAmount();
  if (const std::string refusal = ReceiptRefusal(receipt); !refusal.empty()) {
    ReportNotPrinted(*this, aResult, "Receipt not printed: " + refusal);
    return;
  }
  if (fRTServerActive)
    PrintReceiptThroughRTServer(aHandler, aResult, good);
  else
    PrintReceiptOnDevice(aHandler, aResult, good);
}

// The answer to a retry of a receipt the journal holds as printed: its numbers as they were
// reported the first time, nothing printed again.
void kFiscalPrinterDevice::ReportFromJournal(kFiscalPrinterDevice& aDevice, const vnJournalEntry& aRow,
                                             const kReceipt& aReceipt, _int_PRINTFR_result& aResult) {
  aResult.ReceiptNumber = aRow.fNumber;
  aResult.EJClosingNumber = aRow.fClosing;
  aResult.EJNumber = aRow.fEJNumber.empty() ? "0" : aRow.fEJNumber;
  aResult.ReceiptDateTime = aRow.fDateTime.empty() ? 0 : XmlTextToDateTime(aRow.fDateTime);
  aResult.DeviceSerialNumber = aDevice.fSerialNumber;
  aResult.InvoiceNumber = aReceipt.fInvoiceNumber;
  aResult.InvoiceDateTime = aReceipt.fInvoiceDateTime;
  aResult.Error = false;
  aResult.ErrorText.clear();
  aResult.MessageText = aDevice.ResultNote();
}

namespace {

std::string Amount2(Amount aValue) { return (aValue < Amount() ? -aValue : aValue).Format(2); }

}  // namespace

// What the journal settled of earlier calls whose answer was lost, as notes of this result.
void kFiscalPrinterDevice::NoteSettledCalls(kFiscalPrinterDevice& aDevice) {
  for (const auto& row : aDevice.fSettledNow)
    aDevice.AddResultNote(std::string("An earlier call whose answer was lost was settled: ") +
                          (row.fState == vnJournalState::Printed      ? "carried out"
                           : row.fState == vnJournalState::NotPrinted ? "not carried out"
                                                                      : "still unknown") +
                          " (" + JournalKindName(row.fKind) + ").");
}

void kFiscalPrinterDevice::PrintReceiptOnDevice(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                bool aGood) {
  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReceipt, aHandler, aResult,
                          "Receipt not printed: "))
    return;
  kReceipt& receipt = *aHandler.fReceipt;
  // A printer the readiness rule found not ready gets no line of the receipt; its reason is
  // the result's (the journal's steps below clear the recorded failure).
  const std::string notReady = aGood ? std::string() : ErrorFound() ? ErrorMessage() : "the printer is not ready";
  kDocumentScope scope(*this);
  const std::string failure = PrepareDocument();
  if (!failure.empty()) {
    ReportNotPrinted(*this, aResult, DocumentFailure("Receipt not printed: ", failure));
    return;
  }
  const std::string identity = ReceiptIdentity(receipt);
  if (AnsweredWithoutPrinting(aHandler, aResult, identity)) return;
  if (!notReady.empty()) {
    ReportNotPrinted(*this, aResult, "Receipt not printed: " + notReady);
    return;
  }
  NoteSettledCalls(*this);
  const std::string begun = BeginDocument(vnJournalKind::Receipt, identity, Amount2(receipt.fTotalAmount));
  if (!begun.empty()) {
    ReportNotPrinted(*this, aResult, DocumentFailure("Receipt not printed: ", begun));
    return;
  }
  vnJournalState state = vnJournalState::Unknown;
  try {
    state = PrintReceiptSettled(aHandler, aResult, aGood);
  } catch (const kException& e) {
    // An answer that could not be read while the receipt's outcome was being made out: the
    // printer's numbering tells on the next call.
    ResetError();
    aResult.ReceiptNumber.clear();
    aResult.ReceiptDateTime = 0;
    aResult.Error = true;
    aResult.ErrorText = std::string(kOutcomeUnknownPrefix) + "the receipt was interrupted (" + e.what() +
                        "); the next call on this device settles it";
  }
  SettleDocument(state, aResult.Error ? aResult.ErrorText : aResult.MessageText, aResult.Format(),
                 state == vnJournalState::Printed ? aResult.ReceiptNumber : "",
                 state == vnJournalState::Printed ? aResult.EJClosingNumber : "",
                 state == vnJournalState::Printed ? aResult.ReceiptDateTime : 0);
  AddUnrecordedNote(aResult.ErrorText);
}

bool kFiscalPrinterDevice::AnsweredWithoutPrinting(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                   const std::string& aIdentity) {
  const kReceipt& receipt = *aHandler.fReceipt;
  // A receipt the journal knows: printed by an earlier call, it is not printed again; still
  // unknown, it is not printed until the printer tells.
  if (const auto earlier = EarlierDocument(aIdentity)) {
    if (earlier->fState == vnJournalState::Printed) {
      AddResultNote(StartsWith(earlier->fMessage, "Settled later: ")
                        ? "This receipt was printed by an earlier call whose answer was lost; it was not printed again."
                        : "This receipt was printed by an earlier call; it was not printed again.");
      ReportFromJournal(*this, *earlier, receipt, aResult);
      AddReceiptTextAndImage(*this, aHandler, aResult);
      MarkReported(*earlier, aResult.Format());
      return true;
    }
    aResult.Error = true;
    aResult.ErrorText = std::string(kOutcomeUnknownPrefix) +
                        "this receipt was sent by an earlier call whose outcome the printer cannot tell yet (" +
                        earlier->fMessage + "); it was not printed again";
    return true;
  }
  if (fJournalDamaged) {
    // The rows of the damaged journal are gone: a receipt like the printer's last document
    // may be a retry of it, or the same sale made again. Nothing tells which, so nothing is
    // printed and nothing is claimed; the host looks at the printer's journal, and the same
    // receipt sent again is printed.
    fJournalDamaged = false;
    std::string number, closing;
    if (LastDocumentIs(receipt, number, closing)) {
      aResult.Error = true;
      aResult.ErrorText = std::string(kOutcomeUnknownPrefix) +
                          "the document journal was damaged and set aside; the printer's last document (number " +
                          number + " of closing " + closing +
                          ") has this receipt's total and items and may be an earlier attempt of it; it was not "
                          "printed now: check the printer's journal, and send it again only if that document is not "
                          "this sale";
      return true;
    }
  }
  return false;
}

vnJournalState kFiscalPrinterDevice::PrintReceiptSettled(kReceiptPrinterHandler& aHandler,
                                                         _int_PRINTFR_result& aResult, bool aGood) {
  kReceipt& receipt = *aHandler.fReceipt;
  // Where the numbering stood before the receipt, so that a closing whose answer is lost
  // can be told printed or not.
  vnDocumentMark before = fDocumentMark;
  fDocumentMark.fKnown = false;  // until the printer tells again

  std::string failure;
  ReceiptStage stage = ReceiptStage::NotOpened;
  try {
    RunReceiptHooks(*this, receipt, aGood, stage);
  } catch (const kJournalError& e) {
    failure = JournalFailure(e.what());
    fIOHandler->Debug(let_error, "Receipt interrupted: " + failure);
  } catch (const kException& e) {
    // Before the opening nothing of the receipt reached the printer: the request itself is at
    // fault, and the receipt is not printed.
    failure = e.what();
    fIOHandler->Debug(let_error, "Receipt interrupted: " + failure);
  }

  // The closing's answer is the evidence, unless the numbering read for the receipt's numbers
  // says the closing never took effect (a printer that answers success and does nothing).
  bool answeredNotDone = false;
  if (failure.empty() && !ErrorFound()) {
    if (ReadPrintedNumbers(*this, fDocument, aResult)) {
      ReportPrinted(*this, aHandler, receipt, aResult, true);
      return vnJournalState::Printed;
    }
    answeredNotDone = true;
    RecordError(kAnsweredNotDoneCode, "the printer answered the closing but did not carry it out");
  }
  const std::string reason = ErrorFound() ? ErrorMessage() : failure;
  const bool closingRefused =
      stage == ReceiptStage::Closing && failure.empty() && UnansweredCommand().empty() && !answeredNotDone;

  if (stage != ReceiptStage::Closing) {
    // Refused, or interrupted inside the receipt: it never became a document.
    if (stage == ReceiptStage::NotOpened && UnansweredCommand().empty()) {
      ReportNotPrinted(*this, aResult, "Receipt not printed: " + reason);
      return vnJournalState::NotPrinted;
    }
    bool wasOpen = false;
    const std::string after = CancelOpenReceipt(*this, stage, wasOpen);
    ReportNotPrinted(*this, aResult, NotPrintedText(reason, after));
    // Open and out of reach: the next call cancels it before anything else.
    return wasOpen && after.find("could not") != std::string::npos ? vnJournalState::Unknown
                                                                  : vnJournalState::NotPrinted;
  }

  return AskClosingOutcome(aHandler, aResult, before, reason, closingRefused);
}

vnJournalState kFiscalPrinterDevice::AskClosingOutcome(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                       const vnDocumentMark& aBefore, const std::string& aReason,
                                                       bool aClosingRefused) {
  kReceipt& receipt = *aHandler.fReceipt;
  // The closing went out and no answer said it was done: the printer's numbering and
  // journal tell whether it made the receipt. A refusal may come from a printer that carried
  // the closing out all the same.
  fIOHandler->Debug(let_error, std::string(aClosingRefused ? "Outcome: the closing was refused ("
                                                           : "Outcome: the answer to the closing was lost (") +
                                   aReason + "); asking the printer");
  bool closedAgain = aClosingRefused;
  for (;;) {
    vnDocumentMark now;
    if (!ReadMarkWithinBound(now)) {
      aResult.ReceiptNumber.clear();
      aResult.ReceiptDateTime = 0;
      aResult.Error = true;
      aResult.ErrorText = OutcomeUnknownText(kClosingWhat, aBefore);
      ResetError();
      return vnJournalState::Unknown;
    }
    if (now.fOpen && !closedAgain) {
      // Still open: the closing never took effect, so it is sent once more.
      closedAgain = true;
      fIOHandler->Debug(let_info, "Outcome: the receipt is still open; closing it once more");
      ResetError();
      std::string again;
      try {
        EndFiscalReceipt(receipt);
      } catch (const kException& e) {
        again = e.what();
      }
      if (again.empty() && !ErrorFound() && ReadPrintedNumbers(*this, fDocument, aResult)) {
        ReportPrinted(*this, aHandler, receipt, aResult, true);
        return vnJournalState::Printed;
      }
      continue;  // refused, lost or not done again: the printer tells
    }
    if (now.fOpen) {
      bool wasOpen = false;
      const std::string after = CancelOpenReceipt(*this, ReceiptStage::Open, wasOpen);
      ReportNotPrinted(*this, aResult, NotPrintedText(aReason, after));
      return wasOpen && after.find("could not") != std::string::npos ? vnJournalState::Unknown
                                                                    : vnJournalState::NotPrinted;
    }
    std::string number, closing, why;
    const vnJournalState state = ReceiptEvidence(fDocument, now, number, closing, why);
    if (state == vnJournalState::Printed) {
      AddResultNote(aClosingRefused
                        ? "The printer refused the closing but made the receipt; it was confirmed as printed."
                        : "The printer's answer to the closing was lost; the receipt was confirmed as printed.");
      ReportPrinted(*this, aHandler, receipt, aResult);
      // The numbers of the document the journal names, not those of whatever came last.
      aResult.ReceiptNumber = number;
      aResult.EJClosingNumber = closing;
      return state;
    }
    if (state == vnJournalState::NotPrinted) {
      ReportNotPrinted(*this, aResult,
                       NotPrintedText(aReason, "the printer holds no open receipt and the receipt can be sent again"));
      return state;
    }
    aResult.ReceiptNumber.clear();
    aResult.ReceiptDateTime = 0;
    aResult.Error = true;
    aResult.ErrorText = std::string(kOutcomeUnknownPrefix) + kClosingWhat + " (" + aReason + "); " + why;
    return state;
  }
}

namespace {

// The RT result as the journal keeps it for a retry's answer: everything but the receipt's
// text and picture, which a retry reads again.
std::string RTResultToKeep(const _int_PRINTFR_result& aResult) {
  _int_PRINTFR_result kept = aResult;
  kept.ReceiptText.clear();
  kept.ReceiptImage.clear();
  return kept.Format();
}

}  // namespace

void kFiscalPrinterDevice::PrintReceiptThroughRTServer(kReceiptPrinterHandler& aHandler,
                                                       _int_PRINTFR_result& aResult, bool aGood) {
  kReceipt& receipt = *aHandler.fReceipt;
  // The server registers the sale and this printer prints its paper copy. Both happen under
  // the printer's lock with the receipt's row written first, so that a retry is never signed a
  // second time and no line of the copy goes into another till's document. The printer's
  // numbering is not needed: the signing, not the copy, is what the row stands for.
  kDocumentScope scope(*this);
  // The readiness rule's failure is the paper copy's; the journal's steps clear it.
  const int32_t notReadyCode = ErrorCode();
  const std::string notReady = ErrorFound() ? ErrorMessage() : std::string();
  std::string failure = PrepareDocument(false);
  if (failure.empty()) {
    const bool copyCancelled = CancelPaperLeftOpen();
    // The same key as on the device's road; the prefix keeps the rows of the two roads apart.
    const std::string identity = kRTIdentityPrefix + ReceiptIdentity(receipt);
    if (RTAnsweredFromJournal(aHandler, aResult, identity, copyCancelled)) return;
    if (fJournalDamaged) {
      // The rows of the damaged journal are gone, and the server cannot be asked what it
      // signed: the first sale after the damage may be the retry of one it registered. It is
      // not signed and not claimed; sent again, it is signed.
      fJournalDamaged = false;
      aResult.Error = true;
      aResult.ErrorText = std::string(kOutcomeUnknownPrefix) +
                          "the document journal was damaged and set aside, and the RT server library cannot tell "
                          "whether an earlier call registered this sale; it was not signed now: check the RT "
                          "server's records, and send it again only if this sale is not there";
      return;
    }
    NoteSettledCalls(*this);
    failure = BeginDocument(vnJournalKind::Receipt, identity, Amount2(receipt.fTotalAmount));
  }
  if (!failure.empty()) {
    ReportNotPrinted(*this, aResult, DocumentFailure("Receipt not printed: ", failure));
    return;
  }
  if (!notReady.empty()) RecordError(notReadyCode, notReady);
  std::string message;
  const vnJournalState state = SignAndPrintThroughRTServer(aHandler, aResult, aGood, message);
  SettleDocument(state, message, RTResultToKeep(aResult));
  AddUnrecordedNote(aResult.ErrorText);
}

// What the RT server made of the receipt: signed now (its numbers kept on the device), refused,
// no server to ask, or an end of the receipt already reported (aEnded, with the row's message).
kFiscalPrinterDevice::vnRTSigning kFiscalPrinterDevice::SignWithRTServer(kReceiptPrinterHandler& aHandler,
                                                                       _int_PRINTFR_result& aResult,
                                                                       std::string& aMessage,
                                                                       vnJournalState& aEnded) {
  if (!fRTServer) return vnRTSigning::NoServer;
  try {
    OpenRTServerTill(aHandler);
    fRTServer->BuildXMLReceipt(*aHandler.fReceipt);
    // Committed before the server is asked: a row still "started" was never signed.
    MarkClosingSent();
  } catch (const kJournalError& e) {
    aMessage = "Receipt not printed: " + JournalFailure(e.what());
    ReportNotPrinted(*this, aResult, aMessage);
    aEnded = vnJournalState::NotPrinted;
    return vnRTSigning::Ended;
  } catch (const kException& e) {
    // The request itself is at fault; the frame reports it as before.
    SettleDocument(vnJournalState::NotPrinted, std::string("Receipt not printed: ") + e.what());
    throw;
  }
  LogInfo("RTServer:SignReceipt");
  bool accepted = false;
  try {
    accepted = fRTServer->SignReceipt();
  } catch (const kException& e) {
    aMessage = std::string(kRTNoEvidence) + "; its library failed while signing it (" + e.what() + ")";
    ReportNotPrinted(*this, aResult,
                     std::string(kOutcomeUnknownPrefix) + "the RT server library failed while signing the receipt (" +
                         e.what() + "); whether the sale is registered only the RT server's records tell, and it "
                         "is not signed again");
    aEnded = vnJournalState::Unknown;
    return vnRTSigning::Ended;
  }
  if (!accepted) return vnRTSigning::Refused;
  const kRTServerReceiptInfo& info = fRTServer->ReceiptInfo();
  fRTServerReceiptInfo->fVATTotal = info.fVATTotal;
  fRTServerReceiptInfo->fRTTillId = info.fRTTillId;
  fRTServerReceiptInfo->fRTServerSerialNumber = info.fRTServerSerialNumber;
  fRTServerReceiptInfo->fRTSignature = info.fRTSignature;
  fRTServerReceiptInfo->fRTnDoc = info.fRTnDoc;
  fRTServerReceiptInfo->fRTzRep = info.fRTzRep;
  fRTServerReceiptInfo->fHeaders = info.fHeaders;
  return vnRTSigning::Signed;
}

// The server's numbers of the receipt in the result; the time of the signing when there was
// one (the row holds it from then).
void kFiscalPrinterDevice::FillRTNumbers(_int_PRINTFR_result& aResult) {
  const kRTServerReceiptInfo& info = *fRTServerReceiptInfo;
  if (aResult.ReceiptDateTime == 0) aResult.ReceiptDateTime = CurrentDateTime();
  aResult.ReceiptNumber = std::to_string(info.fRTnDoc);
  aResult.EJNumber = "0";
  aResult.EJClosingNumber = std::to_string(info.fRTzRep);
  aResult.DeviceSerialNumber = info.fRTTillId;
  aResult.ServerSerialNumber = info.fRTServerSerialNumber;
}

// The processor's rewrite and the paper copy of an RT receipt. Why the copy is missing goes to
// aPrintFailure. false when an unsigned receipt ends here (the result and aMessage say why).
bool kFiscalPrinterDevice::PrintRTPaperCopy(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                            bool aSigned, bool aGood, std::string& aPrintFailure,
                                            std::string& aMessage) {
  if (fProcessor && fProcessor->Active()) {
    try {
      if (!RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReceipt, aHandler, aResult,
                              "Receipt not printed: ")) {
        if (!aSigned) {
          aMessage = aResult.ErrorText;
          return false;
        }
        // Registered all the same: only its paper copy is missing.
        aPrintFailure = fProcessor->ErrorMessage();
        aGood = false;
      }
    } catch (const kException& e) {
      if (!aSigned) {
        SettleDocument(vnJournalState::NotPrinted, std::string("Receipt not printed: ") + e.what());
        throw;
      }
      aPrintFailure = e.what();
      aGood = false;
    }
  }

  // The paper copy moves the printer's numbering.
  if (aGood) fDocumentMark.fKnown = false;
  ReceiptStage stage = ReceiptStage::NotOpened;
  try {
    RunReceiptHooks(*this, *aHandler.fReceipt, aGood, stage);
  } catch (const kException& e) {
    // Once the server has registered the sale, a printer fault leaves only the paper copy
    // missing; reported as a failure, the host would register the sale a second time.
    if (!aSigned) {
      SettleDocument(vnJournalState::NotPrinted, std::string("Receipt not printed: ") + e.what());
      throw;
    }
    aPrintFailure = ErrorFound() ? ErrorMessage() : e.what();
  }
  if (aPrintFailure.empty() && ErrorFound()) aPrintFailure = ErrorMessage();
  fCleanPaperCopyRow = aPrintFailure.empty() && stage == ReceiptStage::Closing ? fDocument.fId : 0;
  if (!aPrintFailure.empty() && stage != ReceiptStage::NotOpened) {
    // A copy left open would take the next document's lines.
    bool wasOpen = false;
    LogInfo("RTServer: the paper copy failed (" + aPrintFailure + "); " + CancelOpenReceipt(*this, stage, wasOpen));
  }
  return true;
}

vnJournalState kFiscalPrinterDevice::SignAndPrintThroughRTServer(kReceiptPrinterHandler& aHandler,
                                                                 _int_PRINTFR_result& aResult, bool aGood,
                                                                 std::string& aMessage) {
  vnJournalState ended = vnJournalState::NotPrinted;
  const vnRTSigning signing = SignWithRTServer(aHandler, aResult, aMessage, ended);
  if (signing == vnRTSigning::Ended) return ended;
  // Whether the RT server signed this very receipt; the result must not come from the data
  // kept of an earlier one.
  const bool signedNow = signing == vnRTSigning::Signed;
  if (signing == vnRTSigning::Refused) aGood = false;

  const kRTServerReceiptInfo& info = *fRTServerReceiptInfo;
  const std::string signedText = kRTSignedPrefix + std::to_string(info.fRTnDoc) + " of closing " +
                                 std::to_string(info.fRTzRep) + " (till " + info.fRTTillId + ", server " +
                                 info.fRTServerSerialNumber + ")";
  if (signedNow && info.fRTnDoc != 0) {
    // The sale is registered: its numbers are in the row before the paper copy starts, so a
    // call that ends during the copy leaves a sale the next call knows as registered.
    FillRTNumbers(aResult);
    fDocument.fMessage = signedText;
    fDocument.fResult = RTResultToKeep(aResult);
    try {
      fJournal->Update(fDocument);
    } catch (const kJournalError& e) {
      // Its outcome is written when the receipt is settled, or kept until the next call.
      LogError("Journal: the signing of document " + std::to_string(fDocument.fId) + " could not be written: " +
               e.what());
    }
  }

  std::string printFailure;
  if (!PrintRTPaperCopy(aHandler, aResult, signedNow, aGood, printFailure, aMessage))
    return vnJournalState::NotPrinted;

  FillRTNumbers(aResult);
  aResult.Error = false;
  aResult.ErrorText.clear();
  if (!signedNow) {
    aResult.Error = true;
    aResult.ErrorText = kNoDocumentMessage;
    aMessage = "Receipt not printed: the RT server did not sign it";
    return vnJournalState::NotPrinted;
  }
  if (info.fRTnDoc == 0) {
    // Accepted without a document number: what the server registered nothing tells.
    aResult.Error = true;
    aResult.ErrorText = kNoDocumentMessage;
    aMessage = std::string(kRTNoEvidence) + "; the RT server accepted it without a document number";
    return vnJournalState::Unknown;
  }
  aMessage = signedText;
  if (!printFailure.empty()) {
    // The server registered the sale; only the paper copy is missing.
    aResult.ErrorText = printFailure;
    aResult.MessageText = kNotPrintedMessage;
    aMessage += "; its paper copy was not printed: " + printFailure;
  } else if (!ResultNote().empty()) {
    // What the copy left out or the printer refused of it (trailer lines), as on the device's road.
    aResult.MessageText = ResultNote();
  }
  if (!aResult.Error) AddReceiptTextAndImage(*this, aHandler, aResult);
  return vnJournalState::Printed;
}

bool kFiscalPrinterDevice::CancelPaperLeftOpen() {
  if (fDocumentMark.fKnown && !fDocumentMark.fOpen) return false;
  try {
    if (fCleanPaperCopyRow != 0 && fJournal->NewestId() == fCleanPaperCopyRow) return false;
  } catch (const kJournalError& e) {
    LogError(std::string("Journal: ") + e.what());
  }
  vnDocumentMark mark;
  bool read = false;
  try {
    read = ReadDocumentMark(mark);
  } catch (const kException& e) {
    LogError(e.what());
  }
  ResetError();
  if (!read || !mark.fOpen) return false;
  if (!CancelOpenReceiptQuietly()) return false;
  AddResultNote("A receipt left open on the printer by an earlier failure was cancelled before this one.");
  return true;
}

bool kFiscalPrinterDevice::RTAnsweredFromJournal(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                 const std::string& aIdentity, bool aCopyCancelled) {
  const auto earlier = EarlierDocument(aIdentity);
  if (!earlier) return false;
  if (earlier->fState != vnJournalState::Printed) {
    aResult.Error = true;
    aResult.ErrorText = std::string(kOutcomeUnknownPrefix) +
                        "this receipt was handed to the RT server by an earlier call whose outcome is not known (" +
                        earlier->fMessage + "); it was not signed again: only the RT server's records tell whether "
                        "the sale is registered";
    return true;
  }
  AddResultNote(StartsWith(earlier->fMessage, "Settled later: ")
                    ? "This receipt was registered by the RT server in an earlier call whose answer was lost; it "
                      "was not signed or printed again."
                    : "This receipt was registered by the RT server in an earlier call; it was not signed or printed "
                      "again.");
  // The numbers as the first call reported them (or would have).
  pugi::xml_document kept;
  kept.load_string(earlier->fResult.c_str(), pugi::parse_default | pugi::parse_fragment);
  const auto text = [&](const char* aName) { return std::string(kept.child(aName).text().as_string()); };
  aResult.ReceiptNumber = text("ReceiptNumber");
  aResult.EJNumber = "0";
  aResult.EJClosingNumber = text("EJClosingNumber");
  aResult.DeviceSerialNumber = text("DeviceSerialNumber");
  aResult.ServerSerialNumber = text("ServerSerialNumber");
  const std::string when = text("ReceiptDateTime");
  aResult.ReceiptDateTime = when.empty() ? 0 : XmlTextToDateTime(when);
  aResult.Error = false;
  aResult.ErrorText.clear();
  if (aResult.ReceiptNumber.empty() || aResult.ReceiptNumber == "0")
    aResult.ErrorText = "The receipt's numbers are not kept in the document journal (" + earlier->fMessage + ")";
  aResult.MessageText = ResultNote();
  // A registered sale whose paper copy is missing says so again, as its first answer did.
  const std::string copyMissing = RTCopyMissing(earlier->fMessage, aCopyCancelled);
  if (!copyMissing.empty()) {
    aResult.ErrorText = copyMissing;
    aResult.MessageText = kNotPrintedMessage;
  }
  AddReceiptTextAndImage(*this, aHandler, aResult);
  MarkReported(*earlier, RTResultToKeep(aResult));
  return true;
}

// Why the paper copy of a registered sale is missing, from its row's message and whether this
// call cancelled a copy left open; "" when nothing says it is missing.
std::string kFiscalPrinterDevice::RTCopyMissing(const std::string& aRowMessage, bool aCopyCancelled) {
  static const std::string kNotPrinted = "; its paper copy was not printed: ";
  const size_t at = aRowMessage.find(kNotPrinted);
  if (at != std::string::npos) return aRowMessage.substr(at + kNotPrinted.size());
  if (aCopyCancelled && aRowMessage.find(kEndedDuringCopy) != std::string::npos)
    return "the paper copy of the call that registered it was left open on the printer and cancelled";
  return {};
}

void kFiscalPrinterDevice::SettleRTEntry(vnJournalEntry& aEntry) {
  // The row is "closing sent" before the server is asked and carries the server's numbers as
  // soon as it has signed, each committed before the next step.
  if (aEntry.fState == vnJournalState::Started) {
    aEntry.fState = vnJournalState::NotPrinted;
    aEntry.fMessage = "Settled later: the call ended before the RT server was asked to sign it";
  } else if (StartsWith(aEntry.fMessage, kRTSignedPrefix)) {
    aEntry.fState = vnJournalState::Printed;
    aEntry.fMessage = "Settled later: " + aEntry.fMessage + kEndedDuringCopy;
  } else if (!BeyondEvidence(aEntry)) {
    aEntry.fState = vnJournalState::Unknown;
    aEntry.fMessage = std::string(kRTNoEvidence) +
                      "; the call ended after handing it to the server and before the answer was recorded: only "
                      "the RT server's records tell whether the sale is registered";
  }
}

void kFiscalPrinterDevice::GetReceiptTextAndImage(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                  std::string& aReceiptText, std::string& aReceiptImage) {
  const bool wantText = ParameterIsTrue(aHandler, "GetReceiptText");
  const bool wantImage = ParameterIsTrue(aHandler, "GetReceiptImage");
  if (!wantText && !wantImage) return;

  kReceiptReference reference;
  reference.fReceiptDateTime = aResult.ReceiptDateTime;
  reference.fReceiptNumber = aResult.ReceiptNumber;
  reference.fEJNumber = aResult.EJNumber;
  reference.fEJClosingNumber = aResult.EJClosingNumber;
  reference.fDeviceSerialNumber = aResult.DeviceSerialNumber;
  if (!ReadReceiptText(reference, aReceiptText) && ErrorFound() && !aReceiptText.empty()) {
    // A journal read stopped part way (a bound, a printer gone quiet): the receipt is
    // printed, so the text comes back as far as it was read and the reason with it.
    const std::string reason = ErrorMessage();
    ResetError();
    throw kException("The receipt text is incomplete: " + reason);
  }

  if (wantImage && !aReceiptText.empty())
    aReceiptImage = ReceiptImageBase64(aReceiptText, fLineLength > 0 ? static_cast<size_t>(fLineLength)
                                                                     : kDefaultReceiptColumns);
}

void kFiscalPrinterDevice::Pub_RePrintReceipt(kReceiptPrinterHandler& aHandler, _int_REPRINTFR_result& aResult) {
  BeginOperation("ReprintReceipt", aResult, false);
  const bool good = IsReady();
  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReprintReceipt, aHandler, aResult,
                          "Document not printed: "))
    return;
  kDocumentScope scope(*this);
  std::string failure = PrepareDocument(false);
  if (failure.empty()) failure = BeginDocument(vnJournalKind::Reprint, "");
  if (!failure.empty()) {
    aResult.Error = true;
    aResult.ErrorText = DocumentFailure("Document not printed: ", failure);
    return;
  }
  try {
    MarkClosingSent();
  } catch (const kJournalError& e) {
    aResult.Error = true;
    aResult.ErrorText = "Document not printed: " + JournalFailure(e.what());
    return;
  }
  if (good) {
    try {
      RePrintReceipt(*aHandler.fReceiptReference, *aHandler.fReceipt);
    } catch (const kException& e) {
      // A reference the copy cannot be made from: refused before the copy was asked for.
      ResetError();
      RecordError(999, e.what());
    }
  }
  EndOperation(aResult);
  if (aResult.Error && !StartsWith(aResult.ErrorText, kOutcomeUnknownPrefix))
    aResult.ErrorText = "Document not printed: " + aResult.ErrorText;
  SettleDocument(!aResult.Error                        ? vnJournalState::Printed
                 : UnansweredCommand().empty()         ? vnJournalState::NotPrinted
                                                       : vnJournalState::Unknown,
                 aResult.ErrorText, aResult.Format());
  AddUnrecordedNote(aResult.ErrorText);
}

}  // namespace fp
