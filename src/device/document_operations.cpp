// Non-fiscal documents and the customer display.
#include "device/fiscal_printer_device.h"
#include "documents/customer_display.h"
#include "documents/nf_receipt.h"
#include "documents/receipt.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"

namespace fp {

void kFiscalPrinterDevice::Pub_PrintNFReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTNFR_result& aResult) {
  BeginOperation("PrintNFReceipt", aResult);
  kNFReceipt& document = *aHandler.fNFReceipt;
  // The request's fiscal receipt goes along as context only; this export leaves it empty.
  kReceipt* context = aHandler.fReceipt.get();

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
  if (good) EndNonFiscalReceipt(document);

  aResult.NFReceiptNumber.clear();
  if (ErrorFound()) {
    aResult.NFReceiptDateTime = 0;
    EndOperation(aResult);
  } else {
    // The document is printed: that is the outcome, decided before the clock is read for
    // its date, so a failed clock read cannot make the host print it a second time.
    EndOperation(aResult);
    GetDateTime(aResult.NFReceiptDateTime);
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
