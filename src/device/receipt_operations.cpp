// Fiscal receipt operations: printing and reprinting a receipt, and the receipt's text and
// picture.
#include <string>

#include "base/errors.h"
#include "device/fiscal_printer_device.h"
#include "entry/model/receipt_printer_handler.h"
#include "entry/model/results.h"

namespace fp {

namespace {

template <class R>
void ReportNotSupported(R& aResult, const std::string& aOperation) {
  aResult.Error = true;
  aResult.ErrorText = aOperation + " is not supported yet";
}

}  // namespace

void kFiscalPrinterDevice::Pub_PrintReceipt(kReceiptPrinterHandler&, _int_PRINTFR_result& aResult) {
  BeginOperation("PrintReceipt", aResult);
  ReportNotSupported(aResult, "PrintReceipt");
}

void kFiscalPrinterDevice::Pub_RePrintReceipt(kReceiptPrinterHandler&, _int_REPRINTFR_result& aResult) {
  BeginOperation("ReprintReceipt", aResult);
  ReportNotSupported(aResult, "ReprintReceipt");
}

void kFiscalPrinterDevice::GetReceiptTextAndImage(kReceiptPrinterHandler&, _int_PRINTFR_result&, std::string&,
                                                  std::string&) {
  throw kException("Receipt text and image are not supported yet");
}

}  // namespace fp
