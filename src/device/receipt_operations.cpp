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

// Hands the request to the processor library's hook aHook and goes on with the request it
// gives back in place of the host's. False, with the processor's message in aResult, when the
// processor refused it.
bool RewriteByProcessor(kFiscalProcessorCaller& aProcessor,
                        bool (kFiscalProcessorCaller::*aHook)(const std::string&, std::string&), std::string& aXml,
                        kReceiptPrinterHandler& aHandler, _int_ErrorTail& aResult) {
  std::string rewritten;
  if (!(aProcessor.*aHook)(aXml, rewritten)) {
    aResult.Error = true;
    aResult.ErrorText = aProcessor.ErrorMessage();
    return false;
  }
  aXml = rewritten;
  aHandler.ClearReceipt();
  aHandler.Deserialize(aXml, {dt_Receipt});
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
  // The receipt is printed and numbered at this point: a picture that cannot be made must
  // not turn the result into a failure, or the host would print the receipt again.
  try {
    aDevice.GetReceiptTextAndImage(aHandler, aResult, aResult.ReceiptText, aResult.ReceiptImage);
  } catch (const kException& e) {
    aResult.ReceiptImage.clear();
    aResult.ErrorText = e.what();
  } catch (const std::exception& e) {
    // Out of memory or a size the library refuses: the receipt is printed all the same.
    aResult.ReceiptImage.clear();
    aResult.ErrorText = std::string("The receipt picture could not be made: ") + e.what();
  }
}

void kFiscalPrinterDevice::Pub_PrintReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult) {
  BeginOperation("PrintReceipt", aResult);
  const bool good = IsReady();
  kReceipt& receipt = *aHandler.fReceipt;
  if (receipt.fTotalAmount.IsZero()) receipt.fTotalAmount = receipt.GetCalculatedAmount();
  if (fRTServerActive)
    PrintReceiptThroughRTServer(aHandler, aResult, good);
  else
    PrintReceiptOnDevice(aHandler, aResult, good);
}

bool kFiscalPrinterDevice::PrintReceiptSections(kReceipt& aReceipt) {
  bool good = BeginFiscalReceipt(aReceipt);
  if (!good) return false;
  // The driver may have reordered the sections while opening the receipt.
  const std::vector<vnFiscalPrinterPrintSection> sequence = fPrintSequence;
  for (vnFiscalPrinterPrintSection section : sequence) {
    if (!good) break;
    switch (section) {
      case fpps_Lines:
        for (const auto& line : aReceipt.fLines) {
          good = PrintLineByType(*this, aReceipt, *line);
          if (!good) break;
        }
        break;
      case fpps_Payments:
        for (const auto& payment : aReceipt.fPayments) {
          good = PrintPayment(aReceipt, *payment);
          if (!good) throw kException("Error while processing Payments");
        }
        break;
      case fpps_TrailerMessages:
        for (const auto& message : aReceipt.fTrailerMessages) {
          if (!good) break;
          if (auto* text = dynamic_cast<kReceiptMessageTextLine*>(message.get()))
            good = PrintTrailerTextLine(aReceipt, *text);
          else if (auto* barcode = dynamic_cast<kReceiptMessageBarcodeLine*>(message.get()))
            good = PrintTrailerBarcodeLine(aReceipt, *barcode);
        }
        break;
    }
  }
  if (good) EndFiscalReceipt(aReceipt);
  return good;
}

void kFiscalPrinterDevice::PrintReceiptOnDevice(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                                bool aGood) {
  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReceipt, fXmlString, aHandler, aResult))
    return;
  kReceipt& receipt = *aHandler.fReceipt;
  if (aGood) PrintReceiptSections(receipt);

  if (ErrorFound()) {
    aResult.ReceiptNumber.clear();
    aResult.ReceiptDateTime = 0;
    aResult.Error = true;
    aResult.ErrorText = ErrorMessage();
    return;
  }
  const std::string infoError = ReadDoneDocumentInfo(aResult.ReceiptDateTime, aResult.ReceiptNumber,
                                                     aResult.EJNumber, aResult.EJClosingNumber,
                                                     aResult.DeviceSerialNumber);
  aResult.InvoiceNumber = receipt.fInvoiceNumber;
  aResult.InvoiceDateTime = receipt.fInvoiceDateTime;
  aResult.Error = false;
  aResult.ErrorText = infoError;
  AddReceiptTextAndImage(*this, aHandler, aResult);
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
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReceipt, fXmlString, aHandler, aResult))
    return;

  std::string printFailure;
  try {
    if (aGood) PrintReceiptSections(*aHandler.fReceipt);
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

std::string kFiscalPrinterDevice::ReadDoneDocumentInfo(DateTime& aDateTime, std::string& aNumber,
                                                       std::string& aEJNumber, std::string& aEJClosingNumber,
                                                       std::string& aSerialNumber) {
  try {
    GetLastDocumentInfo(aDateTime, aNumber, aEJNumber, aEJClosingNumber, aSerialNumber);
    return {};
  } catch (const kException& e) {
    fIOHandler->Debug(let_error, std::string("Document done, its numbers not read: ") + e.what());
    return e.what();
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
  ReadReceiptText(reference, aReceiptText);

  if (wantImage && !aReceiptText.empty())
    aReceiptImage = ReceiptImageBase64(aReceiptText, fLineLength > 0 ? static_cast<size_t>(fLineLength)
                                                                     : kDefaultReceiptColumns);
}

void kFiscalPrinterDevice::Pub_RePrintReceipt(kReceiptPrinterHandler& aHandler, _int_REPRINTFR_result& aResult) {
  BeginOperation("ReprintReceipt", aResult);
  const bool good = IsReady();
  if (fProcessor && fProcessor->Active() &&
      !RewriteByProcessor(*fProcessor, &kFiscalProcessorCaller::ProcessReprintReceipt, fXmlString, aHandler, aResult))
    return;
  if (good) RePrintReceipt(*aHandler.fReceiptReference, *aHandler.fReceipt);
  EndOperation(aResult);
}

}  // namespace fp
