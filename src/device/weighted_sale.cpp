// The default printing of a weighted product sale, for drivers without a command of their
// own: a text line with quantity, unit and unit price, then the line's amount as a sale of
// quantity 1.
#include "base/text.h"
#include "device/fiscal_printer_device.h"
#include "rtserver/number_format.h"
#include "documents/receipt.h"

namespace fp {

bool kFiscalPrinterDevice::PrintWeightedProductSale(kReceipt& aReceipt, kReceiptLineWeightedProductSale& aLine) {
  const std::string unit = LowerCase(aLine.fUOM);
  kReceiptLineText text(&aReceipt);
  text.fLineType = rlt_Text;
  text.fDescription = " " + FormatGroupedNumber(aLine.fQuantity, 3) + " " + unit + " x " + aReceipt.fCurrencyCode +
                      " " + FormatGroupedNumber(aLine.fPrice, 2) + "/" + unit;
  if (!PrintTextLine(aReceipt, text)) return false;

  kReceiptLineWeightedProductSale sale(&aReceipt);
  sale.fLineType = rlt_WeightedProductSale;
  sale.fCode = aLine.fCode;
  sale.fDepartment = aLine.fDepartment;
  sale.fTaxCode = aLine.fTaxCode;
  sale.fDescription = aLine.GetDescription();
  sale.fQuantity = Amount::FromInt(1);
  sale.fPrice = aLine.fAmount;
  sale.fAmount = aLine.fAmount;
  sale.fFreeOfCharge = aLine.fFreeOfCharge;
  return PrintProductSale(aReceipt, sale);
}

}  // namespace fp
