// Receipt and non-fiscal document hooks of the RT printer.
// Not carried by this driver yet: every hook records that on the transport and fails.
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "io/io_handler.h"

namespace fp {

namespace {

bool NotSupportedYet(kIOHandler& aTransport) {
  aTransport.SetCustomError(tarvol::kReplyCodeErrorNumber, "Receipts are not supported yet by this driver");
  return false;
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::BeginNonFiscalReceipt(kNFReceipt& aNFReceipt) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintNonFiscalTextLine(kReceipt* aReceipt, kReceiptMessageTextLine& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintNonFiscalBarcodeLine(kReceipt* aReceipt, kReceiptMessageBarcodeLine& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintNonFiscalImageLine(kReceipt* aReceipt, kReceiptMessageImageLine& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::EndNonFiscalReceipt(kNFReceipt& aNFReceipt) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::BeginFiscalReceipt(kReceipt& aReceipt) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::EndFiscalReceipt(kReceipt& aReceipt) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintProductSale(kReceipt& aReceipt, kReceiptLineProductSale& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintProductReturn(kReceipt& aReceipt, kReceiptLineProductReturn& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintWeightedProductSale(kReceipt& aReceipt, kReceiptLineWeightedProductSale& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintVoucherSale(kReceipt& aReceipt, kReceiptLineVoucherSale& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintVoucherRedeem(kReceipt& aReceipt, kReceiptLineVoucherRedeem& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintGiftCardSale(kReceipt& aReceipt, kReceiptLineGiftCardSale& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintGiftCardRedeem(kReceipt& aReceipt, kReceiptLineGiftCardRedeem& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintCollectAmount(kReceipt& aReceipt, kReceiptLineCollectAmount& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintTextLine(kReceipt& aReceipt, kReceiptLineText& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintSubTotal(kReceipt& aReceipt, kReceiptLineSubtotal& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountAmount(kReceipt& aReceipt, kReceiptLineDiscountAmount& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountPercentage(kReceipt& aReceipt, kReceiptLineDiscountPercentage& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountAmountOnSubtotal(kReceipt& aReceipt, kReceiptLineDiscountAmountOnSubTotal& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountPercentageOnSubTotal(kReceipt& aReceipt, kReceiptLineDiscountPercentageOnSubTotal& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupAmount(kReceipt& aReceipt, kReceiptLineMarkupAmount& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupPercentage(kReceipt& aReceipt, kReceiptLineMarkupPercentage& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupAmountOnSubtotal(kReceipt& aReceipt, kReceiptLineMarkupAmountOnSubTotal& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupPercentageOnSubTotal(kReceipt& aReceipt, kReceiptLineMarkupPercentageOnSubTotal& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintPayment(kReceipt& aReceipt, kReceiptPaymentLine& aPayment) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintTrailerTextLine(kReceipt& aReceipt, kReceiptMessageTextLine& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintTrailerBarcodeLine(kReceipt& aReceipt, kReceiptMessageBarcodeLine& aLine) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::GetLastDocumentInfo(DateTime& aDateTime, std::string& aNumber, std::string& aEJNumber, std::string& aEJClosingNumber, std::string& aSerialNumber) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::SetLotteryCode(const std::string& aCode) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::RePrintReceipt(kReceiptReference& aReference, kReceipt& aReceipt) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::ReadReceiptText(kReceiptReference& aReference, std::string& aText) { return NotSupportedYet(*fIOHandler); }

}  // namespace fp
