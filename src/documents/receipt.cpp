// Reading a receipt from its request element, building lines and custom attributes.
#include "documents/receipt.h"

#include <unordered_map>

#include "base/errors.h"
#include "base/text.h"
#include "documents/krpt_util.h"
#include "documents/receipt_line_types.h"
#include "documents/request_element.h"

namespace fp {

namespace {

using U = krptUtil;

// Custom attributes of a line element: one entry per child of CustomAttributes, named
// lower-case, valued by the first child of that name.
void ReadCustomAttributes(pugi::xml_node aNode, kCustomAttributes& aAttributes) {
  pugi::xml_node list = U::FindNode(aNode, "CustomAttributes");
  if (!list) return;
  // The value of each name's first child, kept as the children go by: looking the first
  // one up by name for every entry would make a long list cost the square of its length.
  std::unordered_map<std::string, std::string> firstValues;
  // Comments and stray text between the entries name no attribute and are passed over;
  // taken as entries they would give names no element can carry when written back.
  for (pugi::xml_node child = list.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    std::string name = child.name();
    auto first = firstValues.find(name);
    // The children are walked in order, so a name not met before is met at its first child.
    if (first == firstValues.end()) first = firstValues.emplace(name, U::GetNodeValueAsString(child)).first;
    aAttributes.Append(LowerCase(name) + "=" + first->second);
  }
}

// Message lines of a fiscal receipt: Barcode, Text and Image by exact name; others skipped.
void ReadMessageLines(pugi::xml_node aList, kReceipt* aOwner, kReceiptMessageLines& aLines) {
  for (pugi::xml_node node = aList.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    std::string_view name = node.name();
    if (name == "Barcode") {
      auto line = kReceiptMessageBarcodeLine::Create(aOwner);
      line->fValue = U::GetNodeValueAsString(node, "Value");
      line->fBarcodeType = U::DecodeBarcodeType(U::GetNodeValueAsString(node, "Type"));
      line->fHRI = U::GetNodeValueAsBoolean(node, "HRI", true);
      // Version 0 would let the printer pick a code too small to scan; 1 is the smallest.
      line->fQRCodeMinVersion = std::max<int32_t>(1, U::GetNodeValueAsInteger(node, "QRCodeMinVersion"));
      aLines.Add(std::move(line));
    } else if (name == "Text") {
      auto line = kReceiptMessageTextLine::Create(aOwner);
      line->fValue = U::GetNodeValueAsString(node, "Value");
      line->fSize = U::GetNodeValueAsInteger(node, "Size");
      line->fAlignment = U::DecodeAlignment(U::GetNodeValueAsString(node, "Alignment"));
      aLines.Add(std::move(line));
    } else if (name == "Image") {
      auto line = kReceiptMessageImageLine::Create(aOwner);
      line->fAlignment = U::DecodeAlignment(U::GetNodeValueAsString(node, "Alignment"));
      aLines.Add(std::move(line));
    }
  }
}

void ReadOriginalReceipt(pugi::xml_node aNode, vnOriginalReceipt& aOriginal) {
  aOriginal.fReceiptDateTime = U::GetNodeValueAsDateTime(aNode, "ReceiptDateTime");
  aOriginal.fReceiptNumber = U::GetNodeValueAsString(aNode, "ReceiptNumber");
  aOriginal.fDeviceSerialNumber = U::GetNodeValueAsString(aNode, "DeviceSerialNumber");
  aOriginal.fServerSerialNumber = U::GetNodeValueAsString(aNode, "ServerSerialNumber");
  aOriginal.fEJNumber = U::GetNodeValueAsString(aNode, "EJNumber");
  aOriginal.fEJClosingNumber = U::GetNodeValueAsString(aNode, "EJClosingNumber");
  aOriginal.fExcludeFPCheck = U::GetNodeValueAsBoolean(aNode, "ExcludeFPCheck", false);
  aOriginal.fReferenceType = U::DecodeReferenceType(U::GetNodeValueAsString(aNode, "ReferenceType"));
  aOriginal.fInvoiceNumber = U::GetNodeValueAsString(aNode, "InvoiceNumber");
  aOriginal.fInvoiceDateTime = U::GetNodeValueAsDateTime(aNode, "InvoiceDateTime");
}

}  // namespace

// -----------------------------------------------------------------------------------------
// Custom attributes

std::string kCustomAttributes::NameOf(std::string_view aEntry) {
  return std::string(aEntry.substr(0, aEntry.find('=')));
}

std::string kCustomAttributes::ValueOf(std::string_view aEntry) {
  size_t at = aEntry.find('=');
  return at == std::string_view::npos ? std::string() : std::string(aEntry.substr(at + 1));
}

long kCustomAttributes::Find(std::string_view aName) const {
  for (size_t i = 0; i < fItems.size(); ++i) {
    // An entry without "=" has no name and matches nothing.
    if (fItems[i].find('=') == std::string::npos) continue;
    if (SameText(NameOf(fItems[i]), aName)) return static_cast<long>(i);
  }
  return -1;
}

std::string kCustomAttributes::Get(std::string_view aName) const {
  long i = Find(LowerCase(aName));
  return i < 0 ? std::string() : ValueOf(fItems[i]);
}

bool kCustomAttributes::Exists(std::string_view aName) const { return Find(aName) >= 0; }

void kCustomAttributes::Set(std::string_view aName, std::string_view aValue) {
  long i = Find(aName);
  if (aValue.empty()) {
    if (i >= 0) fItems.erase(fItems.begin() + i);
    return;
  }
  std::string entry = std::string(aName) + "=" + std::string(aValue);
  if (i >= 0)
    fItems[i] = std::move(entry);
  else
    fItems.push_back(std::move(entry));
}

// -----------------------------------------------------------------------------------------
// Lines: reading and building

std::string kReceiptLine::PrintableText(const std::string& aText) const {
  return fOwner && fOwner->fSupportSpecialChars ? aText : krptUtil::NormalizeText(aText);
}

void kReceiptLineProductSale::ReadFields(pugi::xml_node aNode) {
  fCode = U::GetNodeValueAsString(aNode, "Code");
  fDescription = U::GetNodeValueAsString(aNode, "Description");
  fQuantity = U::GetNodeValueAsCurrency(aNode, "Quantity");
  fUOM = U::GetNodeValueAsString(aNode, "UOM");
  fDepartment = U::GetNodeValueAsString(aNode, "Department");
  fTaxCode = U::GetNodeValueAsString(aNode, "TaxCode");
  fPrice = U::GetNodeValueAsCurrency(aNode, "Price");
  fAmount = U::GetNodeValueAsCurrency(aNode, "Amount");
  fFreeOfCharge = U::GetNodeValueAsBoolean(aNode, "FreeOfCharge", false);
  fAttribute = U::DecodeLineAttribute(U::GetNodeValueAsString(aNode, "Attribute"));
}

void kReceiptLineWeightedProductSale::ReadFields(pugi::xml_node aNode) {
  kReceiptLineProductSale::ReadFields(aNode);
  fTare = U::GetNodeValueAsCurrency(aNode, "Tare");
}

namespace {

// The fields vouchers and gift cards share; the redeeming kinds carry no FreeOfCharge.
void ReadPricedItemFields(pugi::xml_node aNode, std::string& aCode, std::string& aDescription,
                          std::string& aDepartment, std::string& aTaxCode, Amount& aPrice, bool* aFreeOfCharge) {
  aCode = U::GetNodeValueAsString(aNode, "Code");
  aDescription = U::GetNodeValueAsString(aNode, "Description");
  aDepartment = U::GetNodeValueAsString(aNode, "Department");
  aTaxCode = U::GetNodeValueAsString(aNode, "TaxCode");
  aPrice = U::GetNodeValueAsCurrency(aNode, "Price");
  if (aFreeOfCharge) *aFreeOfCharge = U::GetNodeValueAsBoolean(aNode, "FreeOfCharge", false);
}

}  // namespace

void kReceiptLineVoucherSale::ReadFields(pugi::xml_node aNode) {
  ReadPricedItemFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, &fFreeOfCharge);
}

void kReceiptLineVoucherRedeem::ReadFields(pugi::xml_node aNode) {
  ReadPricedItemFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, nullptr);
}

void kReceiptLineGiftCardSale::ReadFields(pugi::xml_node aNode) {
  ReadPricedItemFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, &fFreeOfCharge);
}

void kReceiptLineGiftCardRedeem::ReadFields(pugi::xml_node aNode) {
  ReadPricedItemFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, nullptr);
}

void kReceiptLineSubtotal::ReadFields(pugi::xml_node aNode) { fAmount = U::GetNodeValueAsCurrency(aNode, "Amount"); }

void kReceiptLineText::ReadFields(pugi::xml_node aNode) {
  fDescription = U::GetNodeValueAsString(aNode, "Description");
}

void kReceiptLineDiscountAmount::ReadFields(pugi::xml_node aNode) {
  fAmount = U::GetNodeValueAsCurrency(aNode, "Amount");
  fDescription = U::GetNodeValueAsString(aNode, "Description");
}

void kReceiptLineDiscountPercentage::ReadFields(pugi::xml_node aNode) {
  fPercentage = U::GetNodeValueAsCurrency(aNode, "Percentage");
  fAmount = U::GetNodeValueAsCurrency(aNode, "Amount");
  fDescription = U::GetNodeValueAsString(aNode, "Description");
}

void kReceiptLineCollectAmount::ReadFields(pugi::xml_node aNode) {
  fDescription = U::GetNodeValueAsString(aNode, "Description");
  fDepartment = U::GetNodeValueAsString(aNode, "Department");
  fTaxCode = U::GetNodeValueAsString(aNode, "TaxCode");
  fAmount = U::GetNodeValueAsCurrency(aNode, "Amount");
}

namespace {

// A line of class T for aReceipt with its type and free text set, for the Build functions.
template <class T>
std::unique_ptr<T> NewLine(kReceipt* aReceipt, vnReceiptLineType aType, std::string aAdditionalInfo) {
  auto line = std::make_unique<T>(aReceipt);
  line->fLineType = aType;
  line->fAdditionalInfo = std::move(aAdditionalInfo);
  return line;
}

// The fields discounts by amount and by percentage share.
template <class T>
void SetDiscountFields(T& aLine, std::string aDescription, Amount aAmount, std::string aReasonCode,
                       std::string aReasonNote) {
  aLine.fDescription = std::move(aDescription);
  aLine.fAmount = aAmount;
  aLine.fReasonCode = std::move(aReasonCode);
  aLine.fReasonNote = std::move(aReasonNote);
}

void SetGiftCardFields(kReceiptLineGiftCardSale& aLine, std::string aCode, std::string aDescription,
                       std::string aDepartment, std::string aTaxCode, Amount aPrice) {
  aLine.fCode = std::move(aCode);
  aLine.fDescription = std::move(aDescription);
  aLine.fDepartment = std::move(aDepartment);
  aLine.fTaxCode = std::move(aTaxCode);
  aLine.fPrice = aPrice;
}

}  // namespace

std::unique_ptr<kReceiptLineProductSale> kReceiptLineProductSale::Build(
    kReceipt* aReceipt, std::string aCode, std::string aDescription, Amount aQuantity, std::string aUOM,
    std::string aDepartment, std::string aTaxCode, Amount aPrice, Amount aAmount, std::string aAdditionalInfo,
    std::string aVoucherCode) {
  auto line = NewLine<kReceiptLineProductSale>(aReceipt, rlt_ProductSale, std::move(aAdditionalInfo));
  line->fCode = std::move(aCode);
  line->fDescription = std::move(aDescription);
  line->fQuantity = aQuantity;
  line->fUOM = std::move(aUOM);
  line->fDepartment = std::move(aDepartment);
  line->fTaxCode = std::move(aTaxCode);
  line->fPrice = aPrice;
  line->fAmount = aAmount;
  line->fVoucherCode = std::move(aVoucherCode);
  return line;
}

std::unique_ptr<kReceiptLineDiscountAmount> kReceiptLineDiscountAmount::Build(kReceipt* aReceipt,
                                                                              std::string aDescription, Amount aAmount,
                                                                              std::string aReasonCode,
                                                                              std::string aReasonNote,
                                                                              std::string aAdditionalInfo) {
  auto line = NewLine<kReceiptLineDiscountAmount>(aReceipt, rlt_DiscountAmount, std::move(aAdditionalInfo));
  SetDiscountFields(*line, std::move(aDescription), aAmount, std::move(aReasonCode), std::move(aReasonNote));
  return line;
}

std::unique_ptr<kReceiptLineDiscountPercentage> kReceiptLineDiscountPercentage::Build(
    kReceipt* aReceipt, std::string aDescription, Amount aPercentage, Amount aAmount, std::string aReasonCode,
    std::string aReasonNote, std::string aAdditionalInfo) {
  auto line = NewLine<kReceiptLineDiscountPercentage>(aReceipt, rlt_DiscountPercentage, std::move(aAdditionalInfo));
  SetDiscountFields(*line, std::move(aDescription), aAmount, std::move(aReasonCode), std::move(aReasonNote));
  line->fPercentage = aPercentage;
  return line;
}

std::unique_ptr<kReceiptLineGiftCardSale> kReceiptLineGiftCardSale::Build(kReceipt* aReceipt, std::string aCode,
                                                                          std::string aDescription,
                                                                          std::string aDepartment,
                                                                          std::string aTaxCode, Amount aPrice,
                                                                          std::string aAdditionalInfo) {
  auto line = NewLine<kReceiptLineGiftCardSale>(aReceipt, rlt_GiftCardSale, std::move(aAdditionalInfo));
  SetGiftCardFields(*line, std::move(aCode), std::move(aDescription), std::move(aDepartment), std::move(aTaxCode),
                    aPrice);
  return line;
}

std::unique_ptr<kReceiptLineGiftCardRedeem> kReceiptLineGiftCardRedeem::Build(
    kReceipt* aReceipt, std::string aCode, std::string aDescription, std::string aDepartment, std::string aTaxCode,
    Amount aPrice, std::string aTaxMode, std::string aAdditionalInfo) {
  auto line = NewLine<kReceiptLineGiftCardRedeem>(aReceipt, rlt_GiftCardRedeem, std::move(aAdditionalInfo));
  SetGiftCardFields(*line, std::move(aCode), std::move(aDescription), std::move(aDepartment), std::move(aTaxCode),
                    aPrice);
  line->fTaxMode = std::move(aTaxMode);
  return line;
}

// -----------------------------------------------------------------------------------------
// The receipt reader

namespace {

// The receipt's own fields: the layout, the document's numbers and dates, the amounts and the
// store and company codes.
void ReadDocumentFields(pugi::xml_node aNode, kReceipt& aReceipt) {
  aReceipt.fLayout = U::GetNodeValueAsString(aNode, "Layout");
  aReceipt.fDefaultLayout = aReceipt.fLayout.empty();
  if (aReceipt.fDefaultLayout) aReceipt.fLayout = "DocumentLayout";
  aReceipt.fBusinessDate =
      U::GetNodeValueAsDateTime(aNode, U::HasNode(aNode, "BusinessDate") ? "BusinessDate" : "DateTime");
  aReceipt.fReceiptType = U::DecodeReceiptType(U::GetNodeValueAsString(aNode, "Type"));
  aReceipt.fReceiptSubType = U::GetNodeValueAsString(aNode, "SubType");
  aReceipt.fReceiptTypeDescription = U::GetNodeValueAsString(aNode, "ReceiptTypeDescription");
  aReceipt.fExternalReference = U::GetNodeValueAsString(aNode, "ExternalReference");
  aReceipt.fStoreCode = U::GetNodeValueAsString(aNode, "StoreCode");
  aReceipt.fStoreAddress = U::GetNodeValueAsString(aNode, "StoreAddress");
  aReceipt.fStoreZipCode = U::GetNodeValueAsString(aNode, "StoreZipCode");
  aReceipt.fStoreCity = U::GetNodeValueAsString(aNode, "StoreCity");
  aReceipt.fTillCode = U::GetNodeValueAsString(aNode, "TillCode");
  aReceipt.fReceiptNumber = U::GetNodeValueAsString(aNode, "Number");
  aReceipt.fReceiptDateTime = U::GetNodeValueAsDateTime(aNode, "DateTime");
  aReceipt.fReceiptZReportNumber = U::GetNodeValueAsString(aNode, "ZReportNumber");
  aReceipt.fDeviceSerialNumber = U::GetNodeValueAsString(aNode, "DeviceSerialNumber");
  aReceipt.fInvoiceNumber = U::GetNodeValueAsString(aNode, "InvoiceNumber");
  aReceipt.fInvoiceDateTime = U::GetNodeValueAsDateTime(aNode, "InvoiceDateTime");
  aReceipt.fTotalAmount = U::GetNodeValueAsCurrency(aNode, "TotalAmount");
  aReceipt.fTipAmount = U::GetNodeValueAsCurrency(aNode, "TipAmount");
  aReceipt.fCountryCode = U::GetNodeValueAsString(aNode, "CountryCode");
  aReceipt.fFiscalAreaCode = U::GetNodeValueAsString(aNode, "FiscalAreaCode");
  aReceipt.fCompanyCode = U::GetNodeValueAsString(aNode, "CompanyCode");
  aReceipt.fCompanyTaxCode = U::GetNodeValueAsString(aNode, "CompanyTaxCode");
  aReceipt.fOperatorCode = U::GetNodeValueAsString(aNode, "OperatorCode");
  aReceipt.fReceiptBarcode = U::GetNodeValueAsString(aNode, "ReceiptBarcode");
  aReceipt.fCurrencyCode = U::GetNodeValueAsString(aNode, "CurrencyCode");
}

void ReadCustomerFields(pugi::xml_node aNode, kReceipt& aReceipt) {
  aReceipt.fCustomerCode = U::GetNodeValueAsString(aNode, "CustomerCode");
  aReceipt.fCustomerCard = U::GetNodeValueAsString(aNode, "CustomerCard");
  aReceipt.fCustomerBusinessName = U::GetNodeValueAsString(aNode, "CustomerBusinessName");
  aReceipt.fCustomerName = U::GetNodeValueAsString(aNode, "CustomerName");
  aReceipt.fCustomerSurname = U::GetNodeValueAsString(aNode, "CustomerSurname");
  aReceipt.fCustomerAddress = U::GetNodeValueAsString(aNode, "CustomerAddress");
  aReceipt.fCustomerZipCode = U::GetNodeValueAsString(aNode, "CustomerZIPCode");
  if (aReceipt.fCustomerZipCode.empty())
    aReceipt.fCustomerZipCode = U::GetNodeValueAsString(aNode, "CustomerZipCode");
  aReceipt.fCustomerCity = U::GetNodeValueAsString(aNode, "CustomerCity");
  aReceipt.fCustomerProvince = U::GetNodeValueAsString(aNode, "CustomerProvince");
  aReceipt.fCustomerCountry = U::GetNodeValueAsString(aNode, "CustomerCountry");
  aReceipt.fCustomerCountryDescription = U::GetNodeValueAsString(aNode, "CustomerCountryDescription");
  aReceipt.fCustomerTaxCode = U::GetNodeValueAsString(aNode, "CustomerTaxCode");
  aReceipt.fCustomerFiscalCode = U::GetNodeValueAsString(aNode, "CustomerFiscalCode");
  aReceipt.fCustomerIdType = U::DecodeCustomerIdType(U::GetNodeValueAsString(aNode, "CustomerIdType"));
  aReceipt.fCustomerIdNumber = U::GetNodeValueAsString(aNode, "CustomerIdNumber");
  aReceipt.fCustomerIdCountry = U::GetNodeValueAsString(aNode, "CustomerIdCountry");
  aReceipt.fCustomerEmail = U::GetNodeValueAsString(aNode, "CustomerIdEmail");
  aReceipt.fCustomerMobileNumber = U::GetNodeValueAsString(aNode, "CustomerMobileNumber");
  aReceipt.fCustomerDateOfBirth = U::GetNodeValueAsDate(aNode, "CustomerDateOfBirth");
  aReceipt.fLotteryIdCode = U::GetNodeValueAsString(aNode, "LotteryIdCode");
}

// Invoicing, e-mail and printing wishes.
void ReadDeliveryFields(pugi::xml_node aNode, kReceipt& aReceipt) {
  aReceipt.fToBeInvoiced = U::GetNodeValueAsBoolean(aNode, "ToBeInvoiced", false);
  aReceipt.fSendByEmail = U::GetNodeValueAsBoolean(aNode, "SendByEmail", false);
  aReceipt.fEmailReference = U::GetNodeValueAsString(aNode, "EmailReference");
  aReceipt.fEmailRecipients = U::GetNodeValueAsString(aNode, "EmailRecipients");
  aReceipt.fPrintReceipt = U::GetNodeValueAsBoolean(aNode, "PrintReceipt", true);
  aReceipt.fIsReprint = U::GetNodeValueAsBoolean(aNode, "IsReprint", false);
}

void ReadHeaders(pugi::xml_node aNode, kReceipt& aReceipt) {
  if (pugi::xml_node headers = U::FindNode(aNode, "Headers"))
    for (pugi::xml_node child = headers.first_child(); child; child = child.next_sibling())
      // Every element is a header line whatever its name; a comment is not one.
      if (child.type() == pugi::node_element) aReceipt.fHeaders.push_back(U::NodeValue(child));
}

void ReadLines(pugi::xml_node aNode, kReceipt& aReceipt) {
  pugi::xml_node lines = U::FindNode(aNode, "Lines");
  if (!lines) throw kException("Unable to find Lines node ");
  // Every child counts: a comment or stray text inside Lines is no line type and fails.
  for (pugi::xml_node child = lines.first_child(); child; child = child.next_sibling()) {
    // The spreading of subtotal adjustments visits every earlier line once per adjustment;
    // a bound on the lines keeps a hostile request from holding the till for minutes.
    if (aReceipt.fLines.Count() >= kMaxReceiptLines)
      throw kException("Receipt has more than " + std::to_string(kMaxReceiptLines) + " lines");
    vnReceiptLineType type = ReceiptLineTypeNamed(krptUtil::NodeName(child));
    std::unique_ptr<kReceiptLine> line = CreateReceiptLine(type, &aReceipt);
    line->ReadFields(child);
    ReadCustomAttributes(child, line->fCustomAttributes);
    aReceipt.fLines.Add(std::move(line));
  }
}

void ReadTaxes(pugi::xml_node aNode, kReceipt& aReceipt) {
  pugi::xml_node taxes = U::FindNode(aNode, "Taxes");
  if (!taxes) throw kException("Unable to find Taxes node ");
  for (pugi::xml_node child = U::FindNode(taxes, "Tax"); child; child = child.next_sibling("Tax")) {
    auto tax = std::make_unique<kReceiptTaxLine>(&aReceipt);
    tax->fTaxType = U::DecodeTaxType(U::GetNodeValueAsString(child, "Type"));
    tax->fTaxCode = U::GetNodeValueAsString(child, "Code");
    tax->fTaxDescription = U::GetNodeValueAsString(child, "Description");
    tax->fTaxRate = U::GetNodeValueAsCurrency(child, "Rate");
    tax->fTaxableAmount = U::GetNodeValueAsCurrency(child, "TaxableAmount");
    tax->fTaxAmount = U::GetNodeValueAsCurrency(child, "TaxAmount");
    tax->fTotalAmount = U::GetNodeValueAsCurrency(child, "TotalAmount");
    ReadCustomAttributes(child, tax->fCustomAttributes);
    aReceipt.fTaxes.Add(std::move(tax));
  }
}

void ReadPayments(pugi::xml_node aNode, kReceipt& aReceipt) {
  pugi::xml_node payments = U::FindNode(aNode, "Payments");
  if (!payments) throw kException("Unable to find Payments node ");
  for (pugi::xml_node child = U::FindNode(payments, "Payment"); child; child = child.next_sibling("Payment")) {
    auto payment = std::make_unique<kReceiptPaymentLine>(&aReceipt);
    payment->fPaymentType = U::DecodePaymentType(U::GetNodeValueAsString(child, "Type"));
    payment->fDescription = U::GetNodeValueAsString(child, "Description");
    payment->fAmount = U::GetNodeValueAsCurrency(child, "Amount");
    payment->fCurrency = U::GetNodeValueAsString(child, "Currency");
    payment->fQuantity = U::GetNodeValueAsCurrency(child, "Quantity");
    payment->fUnitPrice = U::GetNodeValueAsCurrency(child, "UnitPrice");
    ReadCustomAttributes(child, payment->fCustomAttributes);
    aReceipt.fPayments.Add(std::move(payment));
  }
}

}  // namespace

void kReceipt::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node root = RequestDocumentElement(aXmlDocument);
  pugi::xml_node node = root && std::string_view(root.name()) == "Receipt" ? root : U::FindNode(root, "Receipt");
  if (!node) throw kException("Receipt node not found");

  // The reading order is the order of the first failure a request can meet.
  ReadDocumentFields(node, *this);
  ReadCustomerFields(node, *this);
  ReadDeliveryFields(node, *this);
  if (pugi::xml_node original = U::FindNode(U::FindNode(node, "References"), "OriginalReceipt"))
    ReadOriginalReceipt(original, fOriginalReceipt);
  ReadHeaders(node, *this);
  ReadLines(node, *this);
  ReadTaxes(node, *this);
  ReadPayments(node, *this);
  if (pugi::xml_node trailer = U::FindNode(node, "TrailerMessages")) ReadMessageLines(trailer, this, fTrailerMessages);
  if (pugi::xml_node leader = U::FindNode(node, "LeaderLines")) ReadMessageLines(leader, this, fLeaderLines);
}

}  // namespace fp
