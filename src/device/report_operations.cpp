// Report and journal operations: X and Z reports, the electronic journal and its files.
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

void kFiscalPrinterDevice::Pub_PrintXReport(kReceiptPrinterHandler&, _int_PRINTXR_result& aResult) {
  BeginOperation("PrintXReport", aResult);
  ReportNotSupported(aResult, "PrintXReport");
}

void kFiscalPrinterDevice::Pub_PrintZReport(kReceiptPrinterHandler&, _int_PRINTZR_result& aResult) {
  BeginOperation("PrintZReport", aResult);
  ReportNotSupported(aResult, "PrintZReport");
}

void kFiscalPrinterDevice::Pub_EJReport(kReceiptPrinterHandler&, _int_EJREPORT_result& aResult) {
  BeginOperation("EJReport", aResult);
  ReportNotSupported(aResult, "EJReport");
}

void kFiscalPrinterDevice::Pub_GetEJFiles(kReceiptPrinterHandler&, _int_GETEJFILES_result& aResult) {
  BeginOperation("GetEJFiles", aResult);
  ReportNotSupported(aResult, "GetEJFiles");
}

void kFiscalPrinterDevice::PrintReportText(const std::string&, bool) {
  throw kException("Report text is not supported yet");
}

void kFiscalPrinterDevice::AddReportLine(kNFReceipt&, const std::string&, uint8_t, vnReceiptMessageLineAlignment) {
  throw kException("Report lines are not supported yet");
}

std::string kFiscalPrinterDevice::FormatAmountLine(const std::string&, Amount) const {
  throw kException("Report amount lines are not supported yet");
}

}  // namespace fp
