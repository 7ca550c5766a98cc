// The receipt's line types, listed once. Everything that tells line types apart goes through
// this list: the reader makes a line of the type's class and the writer names its element
// (receipt_line_types.cpp), the device hands a line to its hook Print<Hook>
// (receipt_operations.cpp) and the RT server client writes its commands with Add<Hook>
// (rt_server_client.cpp). A type added here needs its class and both hooks, or the build
// fails where one is missing.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "documents/enums.h"
#include "documents/receipt.h"

// X(type, element name as written, class, hook), in the order of vnReceiptLineType. The
// element name is read without regard to letter case.
#define FP_RECEIPT_LINE_TYPES(X)                                                                           \
  X(rlt_ProductSale, "productsale", kReceiptLineProductSale, ProductSale)                                 \
  X(rlt_ProductReturn, "productreturn", kReceiptLineProductReturn, ProductReturn)                         \
  X(rlt_WeightedProductSale, "weightedproductsale", kReceiptLineWeightedProductSale, WeightedProductSale) \
  X(rlt_VoucherSale, "vouchersale", kReceiptLineVoucherSale, VoucherSale)                                 \
  X(rlt_VoucherRedeem, "voucherredeem", kReceiptLineVoucherRedeem, VoucherRedeem)                         \
  X(rlt_GiftCardSale, "giftcardsale", kReceiptLineGiftCardSale, GiftCardSale)                             \
  X(rlt_GiftCardRedeem, "giftcardredeem", kReceiptLineGiftCardRedeem, GiftCardRedeem)                     \
  X(rlt_SubTotal, "subtotal", kReceiptLineSubtotal, SubTotal)                                             \
  X(rlt_Text, "text", kReceiptLineText, TextLine)                                                         \
  X(rlt_DiscountAmount, "discountamount", kReceiptLineDiscountAmount, DiscountAmount)                     \
  X(rlt_DiscountPercentage, "discountpercentage", kReceiptLineDiscountPercentage, DiscountPercentage)     \
  X(rlt_DiscountAmountOnSubtotal, "discountamountonsubtotal", kReceiptLineDiscountAmountOnSubTotal,       \
    DiscountAmountOnSubtotal)                                                                             \
  X(rlt_DiscountPercentageOnSubTotal, "discountpercentageonsubtotal",                                     \
    kReceiptLineDiscountPercentageOnSubTotal, DiscountPercentageOnSubTotal)                               \
  X(rlt_MarkupAmount, "markupamount", kReceiptLineMarkupAmount, MarkupAmount)                             \
  X(rlt_MarkupPercentage, "markuppercentage", kReceiptLineMarkupPercentage, MarkupPercentage)             \
  X(rlt_MarkupAmountOnSubtotal, "markupamountonsubtotal", kReceiptLineMarkupAmountOnSubTotal,             \
    MarkupAmountOnSubtotal)                                                                               \
  X(rlt_MarkupPercentageOnSubTotal, "markuppercentageonsubtotal", kReceiptLineMarkupPercentageOnSubTotal, \
    MarkupPercentageOnSubTotal)                                                                           \
  X(rlt_CollectAmount, "collectamount", kReceiptLineCollectAmount, CollectAmount)

namespace fp {

// The element name a line of aType is written with; empty for a value outside the list.
std::string ReceiptLineElement(vnReceiptLineType aType);
// The type whose element is named aName in any letter case; throws kException
// "LineType <name in lower case> is invalid" for a name of no type.
vnReceiptLineType ReceiptLineTypeNamed(std::string_view aName);

// The line as the class of its type. The reader makes every line with the class of its
// type, so a mismatch is a broken receipt model: it throws rather than reading a wrong
// object.
template <class L>
L& ReceiptLineAs(kReceiptLine& aLine) {
  auto* line = dynamic_cast<L*>(&aLine);
  if (line == nullptr)
    throw kException("Receipt line of type " + std::to_string(aLine.fLineType) + " has the wrong class");
  return *line;
}

}  // namespace fp
