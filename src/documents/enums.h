// The enumerations of the request documents. Each value is held in one byte as its
// ordinal; the ordinals are fixed because other components store and compare them.
// Their XML texts are read and written by the codecs of krptUtil.
#pragma once

#include <cstdint>

namespace fp {

enum vnReceiptType : uint8_t {
  rt_Sale = 0,
  rt_Refund = 1,
  rt_Void = 2,
  rt_InvoiceSale = 3,
  rt_InvoiceSaleFromReceipt = 4,
};

// 0..6 and 17 are item lines, 7 and 8 carry no amount, 9, 10, 13 and 14 adjust the item
// line before them, 11, 12, 15 and 16 adjust the subtotal. The receipt arithmetic relies
// on exactly these groups (see IsItemLine and friends below).
enum vnReceiptLineType : uint8_t {
  rlt_ProductSale = 0,
  rlt_ProductReturn = 1,
  rlt_WeightedProductSale = 2,
  rlt_VoucherSale = 3,
  rlt_VoucherRedeem = 4,
  rlt_GiftCardSale = 5,
  rlt_GiftCardRedeem = 6,
  rlt_SubTotal = 7,
  rlt_Text = 8,
  rlt_DiscountAmount = 9,
  rlt_DiscountPercentage = 10,
  rlt_DiscountAmountOnSubtotal = 11,
  rlt_DiscountPercentageOnSubTotal = 12,
  rlt_MarkupAmount = 13,
  rlt_MarkupPercentage = 14,
  rlt_MarkupAmountOnSubtotal = 15,
  rlt_MarkupPercentageOnSubTotal = 16,
  rlt_CollectAmount = 17,
};

constexpr bool IsItemLine(vnReceiptLineType aType) {
  return aType <= rlt_GiftCardRedeem || aType == rlt_CollectAmount;
}
constexpr bool IsLineAdjustment(vnReceiptLineType aType) {
  return aType == rlt_DiscountAmount || aType == rlt_DiscountPercentage || aType == rlt_MarkupAmount ||
         aType == rlt_MarkupPercentage;
}
constexpr bool IsSubtotalAdjustment(vnReceiptLineType aType) {
  return aType == rlt_DiscountAmountOnSubtotal || aType == rlt_DiscountPercentageOnSubTotal ||
         aType == rlt_MarkupAmountOnSubtotal || aType == rlt_MarkupPercentageOnSubTotal;
}

enum vnReceiptPaymentType : uint8_t {
  rpt_Cash = 0,
  rpt_Cheque = 1,
  rpt_CreditCard = 2,
  rpt_DebitCard = 3,
  rpt_Credit = 4,
  rpt_CreditOnProducts = 5,
  rpt_CreditOnServices = 6,
  Rpt_GiftCard = 7,
  Rpt_Voucher = 8,
  Rpt_MealVoucher = 9,
  Rpt_NHSCard = 10,
  Rpt_Change = 11,
};

enum vnReceiptTaxType : uint8_t {
  tt_VAT = 0,
  tt_SalesTax = 1,
};

enum vnReceiptReferenceType : uint8_t {
  rrt_OriginalReceipt = 0,
  rrt_EFTReceipt = 1,
  rrt_NotAvailable = 2,
  rrt_Empties = 3,
};

enum vnReceiptCustomerIdType : uint8_t {
  cid_NA = 0,
  cid_Passport = 1,
  cid_NationalId = 2,
};

enum vnReceiptLineAttribute : uint8_t {
  rla_Product = 0,
  rla_Service = 1,
};

enum vnReceiptMessageLineAlignment : uint8_t {
  la_none = 0,
  la_right = 1,
  la_center = 2,
  la_left = 3,
};

enum vnReceiptMessageBarcodeType : uint8_t {
  bt_EAN13 = 0,
  bt_EAN8 = 1,
  bt_CODE39 = 2,
  bt_CODE128 = 3,
  bt_QRCODE = 4,
  bt_UPCA = 5,
  bt_UPCE = 6,
  bt_Interleaved2Of5 = 7,
};

enum vnReceiptMessageLineEffect : uint8_t {
  le_bold = 0,
  le_italic = 1,
  le_underline = 2,
  le_doubleheight = 3,
  le_doublewidth = 4,
  le_doublesize = 5,
  le_invertcolors = 6,
  le_condensed = 7,
};

// A set of effects in one byte: bit n stands for the effect of ordinal n.
using vnReceiptMessageLineEffectSet = uint8_t;

constexpr vnReceiptMessageLineEffectSet EffectBit(vnReceiptMessageLineEffect aEffect) {
  return static_cast<vnReceiptMessageLineEffectSet>(1u << aEffect);
}
constexpr bool HasEffect(vnReceiptMessageLineEffectSet aSet, vnReceiptMessageLineEffect aEffect) {
  return (aSet & EffectBit(aEffect)) != 0;
}

enum vnReceiptMessageImageSource : uint8_t {
  is_Resource = 0,
  is_FileSystem = 1,
};

enum vnEJReportType : uint8_t {
  ejrt_ZReport = 0,
  ejrt_FiscalReceipt = 1,
  ejrt_NonFiscalReceipt = 2,
  ejrt_CreditNote = 3,
  ejrt_Invoice = 4,
};

enum vnEJReportDestination : uint8_t {
  rd_Printer = 0,
  rd_Memory = 1,
};

enum vnEJFilesRequestType : uint8_t {
  ej_xml = 0,
};

enum vnDepartmentSalesType : uint8_t {
  st_Product = 0,
  st_Service = 1,
};

// Where a payment receipt is printed: on the register or on the payment terminal.
enum vnPaymentPrintLocation : uint8_t {
  pl_ECR = 0,
  pl_EFT = 1,
};

// The part of a document a message line belongs to; never read from a request.
enum vnReceiptSection : uint8_t {
  rs_lead = 0,
  rs_body = 1,
  rs_trail = 2,
};

}  // namespace fp
