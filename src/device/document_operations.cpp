// Non-fiscal documents and the customer display.
#include "device/fiscal_printer_device.h"
#include "documents/customer_display.h"
#include "documents/nf_receipt.h"
#include "documents/receipt.h"
#include "request/receipt_printer_handler.h"
#include "io/io_handler.h"
#include "request/results.h"

namespace fp {

void kFiscalPrinterDevice::Pub_PrintNFReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTNFR_result& aResult) {
  BeginOperation("PrintNFReceipt", aResult, false);
  kNFReceipt& document = *aHandler.fNFReceipt;
  // The request's fiscal receipt goes along as context only; this export leaves it empty.
  kReceipt* context = aHandler.fReceipt.get();

  kDocumentScope scope(*this);
  if (!BeginJournalDocument(document, aResult)) return;
  try {
    bool good = IsReady();
    if (good) good = BeginNonFiscalReceipt(document);
    // Header and footer lines are the driver's to print: it has them through the document.
    for (const auto& line : document.fLines) {
      if (!good) break;
      if (auto* text = dynamic_cast<kReceiptMessageTextLine*>(line.get()))
        good = PrintNonFiscalTextLine(context, *text);
      else if (auto* barcode = dynamic_cast<kReceiptMessageBarcodeLine*>(line.get()))
        good = PrintNonFiscalBarcodeLine(context, *barcode);
      else if (auto* image = dynamic_cast<kReceiptMessageImageLine*>(line.get()))
        good = PrintNonFiscalImageLine(context, *image);
    }
    if (good && !CloseJournalDocument(document, aResult)) return;
  } catch (const kException& e) {
    // An answer that could not be read: before the closing the document never became one
    // (the next document cancels it if still open); after it, nothing tells.
    const bool closingSent = DocumentInProgress() && CurrentDocument().fState == vnJournalState::ClosingSent;
    ResetError();
    fDocumentMark.fKnown = false;
    RecordError(999, closingSent ? std::string(kOutcomeUnknownPrefix) + "the non-fiscal document was interrupted after "
                                       "its closing was sent (" + e.what() + ")"
                                 : std::string(e.what()));
  }

  aResult.NFReceiptNumber.clear();
  // What the document asked for and the printer could not print.
  aResult.MessageText = ResultNote();
  if (ErrorFound()) {
    aResult.NFReceiptDateTime = 0;
    EndOperation(aResult);
    SettleJournalDocument(aResult);
  } else {
    // The document is printed: that is the outcome, decided before the clock is read for
    // its date, so a failed clock read cannot make the host print it a second time. Its
    // date then stays 0 and the result says why it is missing.
    EndOperation(aResult);
    if (const std::string failure = ReadClockAfterOutcome(aResult.NFReceiptDateTime); !failure.empty())
      aResult.ErrorText = "The document was printed but its date and time could not be read: " + failure;
    SettleJournalDocument(aResult);
  }
}

bool kFiscalPrinterDevice::SettleLostClosing(kNFReceipt& aDocument, _int_PRINTNFR_result& aResult) {
  constexpr const char* kWhat = "the printer did not answer the closing of the non-fiscal document";
  fIOHandler->Debug(let_error, "Outcome: the answer to the closing was lost (" + ErrorMessage() + "); asking the printer");
  bool closedAgain = false;
  for (;;) {
    vnDocumentMark now;
    if (!ReadMarkWithinBound(now)) {
      aResult.NFReceiptDateTime = 0;
      aResult.Error = true;
      aResult.ErrorText = OutcomeUnknownText(kWhat, now);
      ResetError();
      return false;
    }
    // No longer open: closed by its closing, or gone with a restart of the printer; no counter
    // of the printer tells which.
    if (!now.fOpen) {
      fIOHandler->Debug(let_info, "Outcome: the non-fiscal document is no longer open");
      aResult.NFReceiptDateTime = 0;
      aResult.Error = true;
      aResult.ErrorText = std::string(kOutcomeUnknownPrefix) + kWhat +
                          "; it is no longer open on the printer, so it was printed unless the printer restarted; "
                          "check the paper before sending it again";
      ResetError();
      return false;
    }
    if (closedAgain) {
      // Two closings and still open: the caller cancels it and reports it not printed.
      RecordError(999, "the printer did not close the non-fiscal document");
      return true;
    }
    closedAgain = true;
    fIOHandler->Debug(let_info, "Outcome: the document is still open; closing it once more");
    ResetError();
    EndNonFiscalReceipt(aDocument);
    if (!ErrorFound() || UnansweredCommand().empty()) return true;
  }
}

void kFiscalPrinterDevice::Pub_WriteDisplay(kReceiptPrinterHandler& aHandler, _int_DISPLAY_result& aResult) {
  BeginOperation("WriteDisplay", aResult);
  kCustomerDisplay& display = *aHandler.fCustomerDisplay;
  bool ok = true;
  if (display.fClear) ok = ClearDisplay();
  if (ok) WriteDisplay(display.fLines);
  EndOperation(aResult);
}

}  // namespace fp
