// Fiscal receipt operations: printing and reprinting a receipt, and the receipt's text and
// picture.
#include <exception>
#include <string>

#include "base/errors.h"
#include "base/text.h"
#include "device/fiscal_printer_device.h"
#include "device/fiscal_processor_caller.h"
#include "device/receipt_image.h"
#include "documents/receipt.h"
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

// The line passed to its hook as its own class. The reader creates each line with the class
// of its type, so a mismatch is a broken request model, not a printer matter.
template <class L>
L& As(kReceiptLine& aLine) {
  auto* line = dynamic_cast<L*>(&aLine);
  if (line == nullptr)
    throw kException("Receipt line of type " + std::to_string(aLine.fLineType) + " has the wrong class");
  return *line;
}

// Hands the request's text to the processor library's hook aHook and goes on with the request
// it gives back in place of the host's: its text becomes the request's, and the receipt is read
// from it. False, with the processor's message in aResult, when the processor refused it.
bool RewriteByProcessor(kFiscalProcessorCaller& aProcessor,
                        bool (kFiscalProcessorCaller::*aHook)(const std::string&, std::string&),
                        kReceiptPrinterHandler& aHandler, _int_ErrorTail& aResult) {
  std::string rewritten;
  if (!(aProcessor.*aHook)(aHandler.fRequestText, rewritten)) {
    aResult.Error = true;
    aResult.ErrorText = aProcessor.ErrorMessage();
    return false;
  }
  aHandler.fRequestText = std::move(rewritten);
  aHandler.ClearReceipt();
  aHandler.Deserialize(aHandler.fRequestText, {dt_Receipt});
  return true;
}

}  // namespace

// One sale line to the hook of its type; false stops the lines.
static bool PrintLineByType(kFiscalPrinterDevice& aDevice, kReceipt& aReceipt, kReceiptLine& aLine) {
  switch (aLine.fLineType) {
    case rlt_ProductSale: return aDevice.PrintProductSale(aReceipt, As<kReceiptLineProductSale>(aLine));
    case rlt_ProductReturn: return aDevice.PrintProductReturn(aReceipt, As<kReceiptLineProductReturn>(aLine));
    case rlt_WeightedProductSale:
      return aDevice.PrintWeightedProductSale(aReceipt, As<kReceiptLineWeightedProductSale>(aLine));
    case rlt_VoucherSale: return aDevice.PrintVoucherSale(aReceipt, As<kReceiptLineVoucherSale>(aLine));
    case rlt_VoucherRedeem: return aDevice.PrintVoucherRedeem(aReceipt, As<kReceiptLineVoucherRedeem>(aLine));
    case rlt_GiftCardSale: return aDevice.PrintGiftCardSale(aReceipt, As<kReceiptLineGiftCardSale>(aLine));
    case rlt_GiftCardRedeem: return aDevice.PrintGiftCardRedeem(aReceipt, As<kReceiptLineGiftCardRedeem>(aLine));
    case rlt_SubTotal: return aDevice.PrintSubTotal(aReceipt, As<kReceiptLineSubtotal>(aLine));
    case rlt_Text: return aDevice.PrintTextLine(aReceipt, As<kReceiptLineText>(aLine));
    case rlt_DiscountAmount: return aDevice.PrintDiscountAmount(aReceipt, As<kReceiptLineDiscountAmount>(aLine));
    case rlt_DiscountPercentage:
      return aDevice.PrintDiscountPercentage(aReceipt, As<kReceiptLineDiscountPercentage>(aLine));
    case rlt_DiscountAmountOnSubtotal:
      return aDevice.PrintDiscountAmountOnSubtotal(aReceipt, As<kReceiptLineDiscountAmountOnSubTotal>(aLine));
    case rlt_DiscountPercentageOnSubTotal:
      return aDevice.PrintDiscountPercentageOnSubTotal(aReceipt, As<kReceiptLineDiscountPercentageOnSubTotal>(aLine));
    case rlt_MarkupAmount: return aDevice.PrintMarkupAmount(aReceipt, As<kReceiptLineMarkupAmount>(aLine));
    case rlt_MarkupPercentage: return aDevice.PrintMarkupPercentage(aReceipt, As<kReceiptLineMarkupPercentage>(aLine));
    case rlt_MarkupAmountOnSubtotal:
      return aDevice.PrintMarkupAmountOnSubtotal(aReceipt, As<kReceiptLineMarkupAmountOnSubTotal>(aLine));
    case rlt_MarkupPercentageOnSubTotal:
      return aDevice.PrintMarkupPercentageOnSubTotal(aReceipt, As<kReceiptLineMarkupPercentageOnSubTotal>(aLine));
    case rlt_CollectAmount: return aDevice.PrintCollectAmount(aReceipt, As<kReceiptLineCollectAmount>(aLine));
  }
  throw kException("Unknown receipt line type " + std::to_string(aLine.fLineType));
}

// The receipt text and picture of a printed receipt, when the request asks for them.
static void AddReceiptTextAndImage(kFiscalPrinterDevice& aDevice, kReceiptPrinterHandler& aHandler,
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

// How far a fiscal receipt got on the printer.
enum class ReceiptStage { NotOpened, Open, Closing };

constexpr const char* kClosingWhat = "the printer did not answer the closing of the receipt";

std::string NotPrintedText(const std::string& aReason, const std::string& aAfter) {
  return "Receipt not printed: " + aReason + "; " + aAfter;
}

}  // namespace

// The hooks of one receipt in the device's print sequence; aStage follows how far it got.
// aBefore, when not known yet, is read once the receipt is open (the numbering still
// stands at the previous document then).
static void RunReceiptHooks(kFiscalPrinterDevice& aDevice, kReceipt& aReceipt, bool aGood, ReceiptStage& aStage,
                            vnDocumentMark* aBefore = nullptr) {
  bool good = aGood;
  if (good) good = aDevice.BeginFiscalReceipt(aReceipt);
  if (!good) return;
  aStage = ReceiptStage::Open;
  if (aBefore && !aBefore->fKnown) {
    const bool read = aDevice.ReadDocumentMark(*aBefore);
    aDevice.fDocumentMark.fKnown = false;  // this receipt is about to move it
    if (!read && aDevice.ErrorFound()) return;
  }
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
  aStage = ReceiptStage::Closing;
  aDevice.EndFiscalReceipt(aReceipt);
}

// The result of a receipt the printer has made: its numbers as the printer gives them (what
// cannot be read is named in ErrorText), the notes of the call and the text and picture.
static void ReportPrinted(kFiscalPrinterDevice& aDevice, kReceiptPrinterHandler& aHandler, const kReceipt& aReceipt,
                          _int_PRINTFR_result& aResult) {
  aResult.ErrorText = aDevice.ReadDoneDocumentInfo(aResult.ReceiptDateTime, aResult.ReceiptNumber,
                                                   aResult.EJNumber, aResult.EJClosingNumber,
                                                   aResult.DeviceSerialNumber);
  aResult.InvoiceNumber = aReceipt.fInvoiceNumber;
  aResult.InvoiceDateTime = aReceipt.fInvoiceDateTime;
  aResult.Error = false;
  aResult.MessageText = aDevice.ResultNote();
  AddReceiptTextAndImage(aDevice, aHandler, aResult);
}

static void ReportNotPrinted(kFiscalPrinterDevice& aDevice, _int_PRINTFR_result& aResult, const std::string& aText) {
  aDevice.IOHandler().Debug(let_error, aText);
  aResult.ReceiptNumber.clear();
  aResult.ReceiptDateTime = 0;
  aResult.Error = true;
  aResult.ErrorText = aText;
  aResult.MessageText = aDevice.ResultNote();
}

// A receipt left open by a failure is cancelled at once, so that it never becomes a
// document and the next receipt starts clean. Returns what became of it, in words.
static std::string CancelOpenReceipt(kFiscalPrinterDevice& aDevice, ReceiptStage aStage, bool& aWasOpen) {
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
  bool cancelled = false;
  try {
    cancelled = aDevice.CancelFiscalReceipt();
  } catch (const kException&) {
  }
  aDevice.ResetError();
  return cancelled ? "the open receipt was cancelled and can be sent again"
                   : "the open receipt could not be cancelled now and is cancelled before the next one";
}

void kFiscalPrinterDevice::Pub_PrintReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult) {
  // The open question of an earlier call is settled on the device's road, knowing this receipt.
  BeginOperation("PrintReceipt", aResult, fRTServerActive);
  const bool good = IsReady();
  kReceipt& receipt = *aHandler.fReceipt;
  if (receipt.fTotalAmount.IsZero()) receipt.fTotalAmount = receipt.GetCalculatedAmount();
  if (fRTServerActive)
    PrintReceiptThroughRTServer(aHandler, aResult, good);
  else
    PrintReceiptOnDevice(aHandler, aResult, good);
}

void kFiscalPrinterDevice::PrintReceiptOnDevice(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                bool aGood) {
  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReceipt, aHandler, aResult))
    return;
  kReceipt& receipt = *aHandler.fReceipt;
  // An earlier receipt whose outcome was left open is settled before anything is printed:
  // when it is this very receipt and it was printed, it is not printed again.
  const std::string fingerprint = ReceiptFingerprint(receipt);
  const vnSettled settled = SettleOpenQuestion();
  ResetError();
  if (settled.fOutcome == ss_Unknown) {
    aResult.Error = true;
    aResult.ErrorText = OutcomeUnknownText(settled.fQuestion.fWhat, settled.fQuestion.fBefore);
    return;
  }
  if (settled.fOutcome != ss_NoQuestion) {
    const bool same = settled.fQuestion.fKind == "receipt" && settled.fQuestion.fFingerprint == fingerprint;
    if (same && settled.fOutcome == ss_Done) {
      AddResultNote("This receipt was printed by an earlier call whose answer was lost; it was not printed again.");
      ReportPrinted(*this, aHandler, receipt, aResult);
      return;
    }
    AddResultNote(std::string("An earlier call whose answer was lost was settled: ") +
                  (settled.fOutcome == ss_Done ? "carried out" : "not carried out") + " (" + settled.fQuestion.fWhat +
                  ").");
  }

  // Where the numbering stands before the receipt, so that a closing whose answer is lost
  // can be told printed or not. Known from the previous document in the usual case.
  vnDocumentMark before = fDocumentMark;
  fDocumentMark.fKnown = false;  // until the printer tells again

  std::string failure;
  ReceiptStage stage = ReceiptStage::NotOpened;
  try {
    RunReceiptHooks(*this, receipt, aGood, stage, &before);
  } catch (const kException& e) {
    // Nothing reached the printer yet: the request itself is at fault.
    if (stage == ReceiptStage::NotOpened) throw;
    failure = e.what();
    fIOHandler->Debug(let_error, "Receipt interrupted: " + failure);
  }

  if (failure.empty() && !ErrorFound()) {
    ReportPrinted(*this, aHandler, receipt, aResult);
    return;
  }
  const std::string reason = ErrorFound() ? ErrorMessage() : failure;
  const bool unanswered = stage == ReceiptStage::Closing && (!failure.empty() || !UnansweredCommand().empty());

  if (!unanswered) {
    // Refused, or interrupted inside the receipt: it never became a document.
    if (stage == ReceiptStage::NotOpened && UnansweredCommand().empty()) {
      aResult.ReceiptNumber.clear();
      aResult.ReceiptDateTime = 0;
      aResult.Error = true;
      aResult.ErrorText = reason;
      aResult.MessageText = ResultNote();
      return;
    }
    bool wasOpen = false;
    const std::string after = CancelOpenReceipt(*this, stage, wasOpen);
    ReportNotPrinted(*this, aResult, NotPrintedText(reason, after));
    return;
  }

  // The closing went out and its answer was lost: the printer's numbering tells whether it
  // made the receipt.
  fIOHandler->Debug(let_error, "Outcome: the answer to the closing was lost (" + reason + "); asking the printer");
  bool closedAgain = false;
  for (;;) {
    vnDocumentMark now;
    if (!ReadMarkWithinBound(now)) {
      if (ErrorFound()) KeepOpenQuestion({"receipt", fingerprint, before, kClosingWhat});
      aResult.ReceiptNumber.clear();
      aResult.ReceiptDateTime = 0;
      aResult.Error = true;
      aResult.ErrorText = OutcomeUnknownText(kClosingWhat, before);
      ResetError();
      return;
    }
    if (before.fKnown && !now.SameNumbers(before)) {
      AddResultNote("The printer's answer to the closing was lost; the receipt was confirmed as printed.");
      ReportPrinted(*this, aHandler, receipt, aResult);
      return;
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
      if (again.empty() && !ErrorFound()) {
        ReportPrinted(*this, aHandler, receipt, aResult);
        return;
      }
      if (again.empty() && UnansweredCommand().empty()) {
        bool wasOpen = false;
        const std::string after = CancelOpenReceipt(*this, ReceiptStage::Open, wasOpen);
        ReportNotPrinted(*this, aResult, NotPrintedText(ErrorMessage(), after));
        return;
      }
      continue;  // lost again: the numbering tells
    }
    if (now.fOpen) {
      bool wasOpen = false;
      const std::string after = CancelOpenReceipt(*this, ReceiptStage::Open, wasOpen);
      ReportNotPrinted(*this, aResult, NotPrintedText(reason, after));
      return;
    }
    if (!before.fKnown) {
      aResult.Error = true;
      aResult.ErrorText = OutcomeUnknownText(kClosingWhat, before);
      return;
    }
    ReportNotPrinted(*this, aResult,
                     NotPrintedText(reason, "the printer holds no open receipt and the receipt can be sent again"));
    return;
  }
}

void kFiscalPrinterDevice::PrintReceiptThroughRTServer(kReceiptPrinterHandler& aHandler,
                                                       _int_PRINTFR_result& aResult, bool aGood) {
  // Whether the RT server signed this very receipt; the result must not come from the data
  // kept of an earlier one.
  bool signedNow = false;
  if (fRTServer) {
    OpenRTServerTill(aHandler);
    fRTServer->BuildXMLReceipt(*aHandler.fReceipt);
    LogInfo("RTServer:SignReceipt");
    if (fRTServer->SignReceipt()) {
      const kRTServerReceiptInfo& info = fRTServer->ReceiptInfo();
      fRTServerReceiptInfo->fVATTotal = info.fVATTotal;
      fRTServerReceiptInfo->fRTTillId = info.fRTTillId;
      fRTServerReceiptInfo->fRTServerSerialNumber = info.fRTServerSerialNumber;
      fRTServerReceiptInfo->fRTSignature = info.fRTSignature;
      fRTServerReceiptInfo->fRTnDoc = info.fRTnDoc;
      fRTServerReceiptInfo->fRTzRep = info.fRTzRep;
      fRTServerReceiptInfo->fHeaders = info.fHeaders;
      signedNow = true;
    } else {
      aGood = false;
    }
  }

  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReceipt, aHandler, aResult))
    return;

  std::string printFailure;
  ReceiptStage stage = ReceiptStage::NotOpened;
  try {
    RunReceiptHooks(*this, *aHandler.fReceipt, aGood, stage);
  } catch (const kException& e) {
    // Once the server has registered the sale, a printer fault leaves only the paper copy
    // missing; reported as a failure, the host would register the sale a second time.
    if (!signedNow) throw;
    printFailure = e.what();
  }

  const kRTServerReceiptInfo& info = *fRTServerReceiptInfo;
  aResult.ReceiptDateTime = CurrentDateTime();
  aResult.ReceiptNumber = std::to_string(info.fRTnDoc);
  aResult.EJNumber = "0";
  aResult.EJClosingNumber = std::to_string(info.fRTzRep);
  aResult.DeviceSerialNumber = info.fRTTillId;
  aResult.ServerSerialNumber = info.fRTServerSerialNumber;
  aResult.Error = false;
  aResult.ErrorText.clear();
  if (!signedNow || info.fRTnDoc == 0) {
    aResult.Error = true;
    aResult.ErrorText = kNoDocumentMessage;
  } else if (!printFailure.empty() || ErrorFound()) {
    // The server registered the sale; only the paper copy is missing.
    aResult.ErrorText = printFailure.empty() ? ErrorMessage() : printFailure;
    aResult.MessageText = kNotPrintedMessage;
  }
  if (!aResult.Error) AddReceiptTextAndImage(*this, aHandler, aResult);
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
  BeginOperation("ReprintReceipt", aResult);
  const bool good = IsReady();
  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReprintReceipt, aHandler, aResult))
    return;
  if (good) RePrintReceipt(*aHandler.fReceiptReference, *aHandler.fReceipt);
  EndOperation(aResult);
}

}  // namespace fp
