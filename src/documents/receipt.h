// The fiscal receipt document: kReceipt is the in-memory form of a request's Receipt
// element with its lines, tax summary, payments and message lines. It is read once from
// the request (Deserialize), computes its amounts (receipt_amounts.cpp) and can be
// written back as XML (Serialize).
#pragma once

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "base/amount.h"
#include "base/datetime.h"
#include "documents/enums.h"
#include "documents/message_line.h"

namespace fp {

class kReceipt;

// Custom attributes of a line, tax line or payment line: an ordered list of "name=value"
// texts, the name being everything before the first "=". Names compare without regard to
// letter case; the first matching entry counts.
class kCustomAttributes {
 public:
  std::string Get(std::string_view aName) const;
  // Rewrites the first entry of that name as aName=aValue, appends one when there is none,
  // and removes the entry when aValue is empty.
  void Set(std::string_view aName, std::string_view aValue);
  bool Exists(std::string_view aName) const;
  // Appends an entry as it is, without looking for an existing one.
  void Append(std::string aEntry) { fItems.push_back(std::move(aEntry)); }

  const std::vector<std::string>& Items() const { return fItems; }
  size_t Count() const { return fItems.size(); }
  // The name and value of an entry.
  static std::string NameOf(std::string_view aEntry);
  static std::string ValueOf(std::string_view aEntry);

 private:
  // Index of the first entry named aName, or -1.
  long Find(std::string_view aName) const;
  std::vector<std::string> fItems;
};

// The three attribute operations every line kind offers.
#define FP_CUSTOM_ATTRIBUTE_OPERATIONS                                                   \
  std::string GetCustomAttribute(std::string_view aName) const {                         \
    return fCustomAttributes.Get(aName);                                                 \
  }                                                                                      \
  void SetCustomAttribute(std::string_view aName, std::string_view aValue) {             \
    fCustomAttributes.Set(aName, aValue);                                                \
  }                                                                                      \
  bool CustomAttributeExists(std::string_view aName) const { return fCustomAttributes.Exists(aName); }

// ---------------------------------------------------------------------------------------
// Sale lines

// The base of the eighteen line kinds, each listed once with its class in
// receipt_line_types.h. The class decides how the line reads, writes and counts; fLineType
// tells kinds apart that share a class shape (a markup is a discount, a return is a sale).
class kReceiptLine {
 public:
  explicit kReceiptLine(kReceipt* aOwner) : fOwner(aOwner) {}
  virtual ~kReceiptLine() = default;
  kReceiptLine(const kReceiptLine&) = delete;
  kReceiptLine& operator=(const kReceiptLine&) = delete;

  // The signed money value the line adds to the receipt.
  virtual Amount GetAmount() const = 0;

  // Fills the line's own fields from its request element (custom attributes excepted).
  virtual void ReadFields(pugi::xml_node aNode) = 0;
  // Appends the line's own fields to its element, in the written order.
  virtual void WriteFields(pugi::xml_node aNode) const = 0;

  FP_CUSTOM_ATTRIBUTE_OPERATIONS

  kReceipt* fOwner = nullptr;  // not owned
  vnReceiptLineType fLineType = rlt_ProductSale;
  std::string fAdditionalInfo;
  Amount fNetAmount;
  Amount fNetAmountNoSubTotalDiscounts;
  Amount fTotalNoSubTotalDiscounts;
  kCustomAttributes fCustomAttributes;

 protected:
  // The description as the printer gets it: unchanged when the owner receipt prints
  // special characters, normalised otherwise (also without owner).
  std::string PrintableText(const std::string& aText) const;
};

class kReceiptLineProductSale : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  static std::unique_ptr<kReceiptLineProductSale> Build(kReceipt* aReceipt, std::string aCode,
                                                        std::string aDescription, Amount aQuantity, std::string aUOM,
                                                        std::string aDepartment, std::string aTaxCode, Amount aPrice,
                                                        Amount aAmount, std::string aAdditionalInfo,
                                                        std::string aVoucherCode);
  Amount GetAmount() const override;
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  std::string fCode, fDescription;
  Amount fQuantity;
  std::string fUOM, fDepartment, fTaxCode;
  Amount fPrice, fAmount;
  bool fFreeOfCharge = false;
  vnReceiptLineAttribute fAttribute = rla_Product;
  std::string fVoucherCode;
};

class kReceiptLineProductReturn : public kReceiptLineProductSale {
 public:
  using kReceiptLineProductSale::kReceiptLineProductSale;
  Amount GetAmount() const override;
};

class kReceiptLineWeightedProductSale : public kReceiptLineProductSale {
 public:
  using kReceiptLineProductSale::kReceiptLineProductSale;
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;

  Amount fTare;  // printed only; the amount is the sale's
};

class kReceiptLineVoucherSale : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  Amount GetAmount() const override;
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  std::string fCode, fDescription, fDepartment, fTaxCode;
  Amount fPrice;
  bool fFreeOfCharge = false;
};

// A redeemed voucher is never free of charge: the request does not carry the flag.
class kReceiptLineVoucherRedeem : public kReceiptLineVoucherSale {
 public:
  using kReceiptLineVoucherSale::kReceiptLineVoucherSale;
  Amount GetAmount() const override;
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
};

class kReceiptLineGiftCardSale : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  static std::unique_ptr<kReceiptLineGiftCardSale> Build(kReceipt* aReceipt, std::string aCode,
                                                         std::string aDescription, std::string aDepartment,
                                                         std::string aTaxCode, Amount aPrice,
                                                         std::string aAdditionalInfo);
  Amount GetAmount() const override;
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  std::string fCode, fDescription, fDepartment, fTaxCode;
  Amount fPrice;
  bool fFreeOfCharge = false;
  std::string fTaxMode;
};

class kReceiptLineGiftCardRedeem : public kReceiptLineGiftCardSale {
 public:
  using kReceiptLineGiftCardSale::kReceiptLineGiftCardSale;
  static std::unique_ptr<kReceiptLineGiftCardRedeem> Build(kReceipt* aReceipt, std::string aCode,
                                                           std::string aDescription, std::string aDepartment,
                                                           std::string aTaxCode, Amount aPrice, std::string aTaxMode,
                                                           std::string aAdditionalInfo);
  Amount GetAmount() const override;
  void ReadFields(pugi::xml_node aNode) override;
};

class kReceiptLineSubtotal : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  Amount GetAmount() const override { return Amount(); }
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;

  Amount fAmount;  // the subtotal the caller shows; it adds nothing
};

class kReceiptLineText : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  Amount GetAmount() const override { return Amount(); }
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  std::string fDescription;
};

// A discount by amount: fAmount is given positive and subtracts.
class kReceiptLineDiscountAmount : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  static std::unique_ptr<kReceiptLineDiscountAmount> Build(kReceipt* aReceipt, std::string aDescription,
                                                           Amount aAmount, std::string aReasonCode,
                                                           std::string aReasonNote, std::string aAdditionalInfo);
  Amount GetAmount() const override { return -fAmount; }
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  Amount fAmount;
  std::string fDescription, fReasonCode, fReasonNote;
};

// A discount by percentage: the percentage is printed, the money value is fAmount.
class kReceiptLineDiscountPercentage : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  static std::unique_ptr<kReceiptLineDiscountPercentage> Build(kReceipt* aReceipt, std::string aDescription,
                                                               Amount aPercentage, Amount aAmount,
                                                               std::string aReasonCode, std::string aReasonNote,
                                                               std::string aAdditionalInfo);
  Amount GetAmount() const override { return -fAmount; }
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  Amount fPercentage, fAmount;
  std::string fDescription, fReasonCode, fReasonNote;
};

class kReceiptLineDiscountAmountOnSubTotal : public kReceiptLineDiscountAmount {
 public:
  using kReceiptLineDiscountAmount::kReceiptLineDiscountAmount;
};

class kReceiptLineDiscountPercentageOnSubTotal : public kReceiptLineDiscountPercentage {
 public:
  using kReceiptLineDiscountPercentage::kReceiptLineDiscountPercentage;
};

// Markups share the shape of the discounts and add instead of subtracting.
class kReceiptLineMarkupAmount : public kReceiptLineDiscountAmount {
 public:
  using kReceiptLineDiscountAmount::kReceiptLineDiscountAmount;
  Amount GetAmount() const override { return fAmount; }
};

class kReceiptLineMarkupPercentage : public kReceiptLineDiscountPercentage {
 public:
  using kReceiptLineDiscountPercentage::kReceiptLineDiscountPercentage;
  Amount GetAmount() const override { return fAmount; }
};

class kReceiptLineMarkupAmountOnSubTotal : public kReceiptLineDiscountAmountOnSubTotal {
 public:
  using kReceiptLineDiscountAmountOnSubTotal::kReceiptLineDiscountAmountOnSubTotal;
  Amount GetAmount() const override { return fAmount; }
};

class kReceiptLineMarkupPercentageOnSubTotal : public kReceiptLineDiscountPercentageOnSubTotal {
 public:
  using kReceiptLineDiscountPercentageOnSubTotal::kReceiptLineDiscountPercentageOnSubTotal;
  Amount GetAmount() const override { return fAmount; }
};

class kReceiptLineCollectAmount : public kReceiptLine {
 public:
  using kReceiptLine::kReceiptLine;
  Amount GetAmount() const override { return fAmount; }
  void ReadFields(pugi::xml_node aNode) override;
  void WriteFields(pugi::xml_node aNode) const override;
  std::string GetDescription() const { return PrintableText(fDescription); }

  std::string fDescription, fDepartment, fTaxCode;
  Amount fAmount;
};

// A new, empty line of the class that serves aType, with aType set and aOwner as owner
// (receipt_line_types.cpp: the class comes from the list of line types).
std::unique_ptr<kReceiptLine> CreateReceiptLine(vnReceiptLineType aType, kReceipt* aOwner);

using kReceiptLines = kOwnedList<kReceiptLine>;

// ---------------------------------------------------------------------------------------
// Tax summary and payments

class kReceiptTaxLine {
 public:
  explicit kReceiptTaxLine(kReceipt* aOwner) : fOwner(aOwner) {}
  FP_CUSTOM_ATTRIBUTE_OPERATIONS

  kReceipt* fOwner = nullptr;  // not owned
  vnReceiptTaxType fTaxType = tt_VAT;
  std::string fTaxCode, fTaxDescription;
  Amount fTaxRate;  // percent: 22 means 22 %
  Amount fTaxableAmount, fTaxAmount, fTotalAmount;
  kCustomAttributes fCustomAttributes;
};

class kReceiptTaxLines : public kOwnedList<kReceiptTaxLine> {
 public:
  // The first tax line with exactly this code, or null.
  kReceiptTaxLine* GetByTaxCode(std::string_view aCode) const;
  Amount GetTaxableAmount() const;
  Amount GetTaxesAmount() const;
  Amount GetGrossAmount() const;
  Amount GetTaxableAmountByTaxRate(Amount aTaxRate) const;
  Amount GetTaxAmountByTaxRate(Amount aTaxRate) const;
};

class kReceiptPaymentLine {
 public:
  explicit kReceiptPaymentLine(kReceipt* aOwner) : fOwner(aOwner) {}
  FP_CUSTOM_ATTRIBUTE_OPERATIONS
  const kCustomAttributes& CustomAttributes() const { return fCustomAttributes; }

  kReceipt* fOwner = nullptr;  // not owned
  vnReceiptPaymentType fPaymentType = rpt_Cash;
  std::string fDescription;
  Amount fAmount;
  std::string fCurrency;
  Amount fQuantity, fUnitPrice;
  kCustomAttributes fCustomAttributes;
};

class kReceiptPaymentLines : public kOwnedList<kReceiptPaymentLine> {
 public:
  // What the customer pays: every payment except the change given back.
  Amount GetTotalAmount() const;
};

#undef FP_CUSTOM_ATTRIBUTE_OPERATIONS

// ---------------------------------------------------------------------------------------
// The receipt

// The earlier receipt a refund, void or invoice refers to.
struct vnOriginalReceipt {
  DateTime fReceiptDateTime = 0;
  std::string fReceiptNumber;
  std::string fDeviceSerialNumber;
  std::string fServerSerialNumber;
  std::string fEJNumber;
  std::string fEJClosingNumber;
  bool fExcludeFPCheck = false;
  vnReceiptReferenceType fReferenceType = rrt_OriginalReceipt;
  std::string fExternalReference;  // filled by the caller, never read from a request
  std::string fInvoiceNumber;
  DateTime fInvoiceDateTime = 0;
};

// Far above any real receipt; it bounds the work of reading and of spreading adjustments.
inline constexpr size_t kMaxReceiptLines = 10000;

class kReceipt {
 public:
  kReceipt() = default;
  kReceipt(const kReceipt&) = delete;
  kReceipt& operator=(const kReceipt&) = delete;

  // Fills the receipt from a parsed request: aXmlDocument is the document (or its
  // document element), which either is the Receipt element or has it as a child. Throws
  // kException with the message of the first value that fails; what was appended to the
  // lists before stays there. Called once on a fresh receipt.
  void Deserialize(pugi::xml_node aXmlDocument);
  // The receipt as the XML text of a Receipt document, in the form Deserialize reads.
  std::string Serialize() const;

  // Amounts (receipt_amounts.cpp).
  // The sum of the lines' amounts, in list order.
  Amount GetCalculatedAmount() const;
  // Fills the three net fields of every line: line-level adjustments go to the item line
  // before them, subtotal-level ones are spread over the item lines before them, and the
  // last item line takes the difference to the declared fTotalAmount.
  void CalcLinesNetAmount();
  // The rate of the first tax line with exactly this code, 0 without one.
  Amount GetTaxRate(std::string_view aTaxCode) const;
  // The net of a VAT-inclusive amount under the first VAT line with this code; the amount
  // itself without one.
  Amount GetNetAmount(Amount aAmount, std::string_view aTaxCode) const;
  // Quantity of the product sales, returns and weighted sales.
  Amount GetTotalQuantity() const;
  Amount GetTotalTaxableAmount() const;
  Amount GetTotalTaxAmount() const;

  bool fSupportSpecialChars = false;  // never read from a request
  std::string fLayout;
  bool fDefaultLayout = false;
  DateTime fBusinessDate = 0;
  std::string fReceiptNumber;
  DateTime fReceiptDateTime = 0;
  std::string fReceiptZReportNumber;
  std::string fDeviceSerialNumber;
  vnReceiptType fReceiptType = rt_Sale;
  std::string fReceiptTypeDescription;
  std::string fReceiptSubType;
  std::string fInvoiceNumber;
  DateTime fInvoiceDateTime = 0;
  std::string fExternalReference;
  vnOriginalReceipt fOriginalReceipt;
  std::string fCountryCode, fFiscalAreaCode, fCompanyCode, fCompanyTaxCode;
  std::string fStoreCode, fStoreAddress, fStoreZipCode, fStoreCity;
  std::string fTillCode, fOperatorCode, fReceiptBarcode, fCurrencyCode;
  Amount fTotalAmount;
  Amount fTipAmount;
  std::string fCustomerCode, fCustomerCard, fCustomerBusinessName, fCustomerName, fCustomerSurname,
      fCustomerAddress;
  std::string fCustomerZipCode;
  std::string fCustomerCity, fCustomerProvince, fCustomerCountry, fCustomerCountryDescription;
  DateTime fCustomerDateOfBirth = 0;
  std::string fCustomerTaxCode, fCustomerFiscalCode;
  vnReceiptCustomerIdType fCustomerIdType = cid_NA;
  std::string fCustomerIdNumber, fCustomerIdCountry;
  std::string fCustomerEmail;
  std::string fCustomerMobileNumber, fLotteryIdCode;
  kReceiptMessageLines fLeaderLines;
  kReceiptLines fLines;
  kReceiptPaymentLines fPayments;
  kReceiptTaxLines fTaxes;
  kReceiptMessageLines fTrailerMessages;
  bool fToBeInvoiced = false;
  bool fSendByEmail = false;
  std::string fEmailReference, fEmailRecipients;
  bool fPrintReceipt = true;
  bool fIsReprint = false;
  std::vector<std::string> fHeaders;
};

}  // namespace fp
