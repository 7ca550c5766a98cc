// Writing a receipt back as the XML text of a Receipt document. Every element is written,
// empty or not, in a fixed order; the text reads back through kReceipt::Deserialize.

#include "base/errors.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "documents/receipt.h"

namespace fp {

namespace {

using U = krptUtil;

void AddText(pugi::xml_node aParent, const char* aName, const std::string& aValue) { U::AddNode(aParent, aName, aValue); }
void AddAmount(pugi::xml_node aParent, const char* aName, Amount aValue) {
  U::AddNode(aParent, aName, AmountToXmlText(aValue));
}
void AddDateTime(pugi::xml_node aParent, const char* aName, DateTime aValue) {
  U::AddNode(aParent, aName, DateTimeToXmlText(aValue));
}
void AddBool(pugi::xml_node aParent, const char* aName, bool aValue) {
  U::AddNode(aParent, aName, BoolToXmlText(aValue));
}
void AddInteger(pugi::xml_node aParent, const char* aName, int32_t aValue) {
  U::AddNode(aParent, aName, std::to_string(aValue));
}

// Attribute names become element names; one that no XML element can carry would make
// the written text unreadable, so it is refused with a clear message instead.
bool IsXmlName(std::string_view aName) {
  if (aName.empty()) return false;
  for (size_t i = 0; i < aName.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(aName[i]);
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
    bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!(letter || (i > 0 && other))) return false;
  }
  return true;
}

void WriteCustomAttributes(pugi::xml_node aParent, const kCustomAttributes& aAttributes) {
  pugi::xml_node list = U::AddNode(aParent, "CustomAttributes", "");
  for (const std::string& entry : aAttributes.Items()) {
    std::string name = kCustomAttributes::NameOf(entry);
    if (!IsXmlName(name)) throw kException("Custom attribute name " + name + " is invalid");
    U::AddNode(list, name, kCustomAttributes::ValueOf(entry));
  }
}

void WriteMessageLines(pugi::xml_node aParent, const char* aName, const kReceiptMessageLines& aLines) {
  pugi::xml_node list = U::AddNode(aParent, aName, "");
  for (const auto& line : aLines) {
    if (auto* barcode = dynamic_cast<const kReceiptMessageBarcodeLine*>(line.get())) {
      pugi::xml_node node = U::AddNode(list, "Barcode", "");
      AddText(node, "Value", barcode->fValue);
      AddText(node, "Type", U::EncodeBarcodeType(barcode->fBarcodeType));
      AddBool(node, "HRI", barcode->fHRI);
      AddInteger(node, "QRCodeMinVersion", barcode->fQRCodeMinVersion);
    } else if (auto* text = dynamic_cast<const kReceiptMessageTextLine*>(line.get())) {
      pugi::xml_node node = U::AddNode(list, "Text", "");
      AddText(node, "Value", text->fValue);
      AddInteger(node, "Size", text->fSize);
      AddText(node, "Alignment", U::EncodeAlignment(text->fAlignment));
    } else if (dynamic_cast<const kReceiptMessageImageLine*>(line.get())) {
      pugi::xml_node node = U::AddNode(list, "Image", "");
      AddText(node, "Alignment", U::EncodeAlignment(line->fAlignment));
    }
  }
}

void WriteSaleFields(pugi::xml_node aNode, const kReceiptLineProductSale& aLine, const Amount* aTare) {
  AddText(aNode, "Code", aLine.fCode);
  AddText(aNode, "Description", aLine.fDescription);
  AddAmount(aNode, "Quantity", aLine.fQuantity);
  AddText(aNode, "UOM", aLine.fUOM);
  AddText(aNode, "Department", aLine.fDepartment);
  AddText(aNode, "TaxCode", aLine.fTaxCode);
  AddAmount(aNode, "Price", aLine.fPrice);
  AddAmount(aNode, "Amount", aLine.fAmount);
  if (aTare) AddAmount(aNode, "Tare", *aTare);
  AddBool(aNode, "FreeOfCharge", aLine.fFreeOfCharge);
  AddText(aNode, "Attribute", aLine.fAttribute == rla_Product ? "product" : "service");
}

// Code, Description, Department, TaxCode, Price and, where the kind carries it, FreeOfCharge.
void WriteVoucherFields(pugi::xml_node aNode, const std::string& aCode, const std::string& aDescription,
                        const std::string& aDepartment, const std::string& aTaxCode, Amount aPrice,
                        const bool* aFreeOfCharge) {
  AddText(aNode, "Code", aCode);
  AddText(aNode, "Description", aDescription);
  AddText(aNode, "Department", aDepartment);
  AddText(aNode, "TaxCode", aTaxCode);
  AddAmount(aNode, "Price", aPrice);
  if (aFreeOfCharge) AddBool(aNode, "FreeOfCharge", *aFreeOfCharge);
}

struct StringWriter : pugi::xml_writer {
  std::string fText;
  void write(const void* aData, size_t aSize) override { fText.append(static_cast<const char*>(aData), aSize); }
};

}  // namespace

void kReceiptLineProductSale::WriteFields(pugi::xml_node aNode) const { WriteSaleFields(aNode, *this, nullptr); }

void kReceiptLineWeightedProductSale::WriteFields(pugi::xml_node aNode) const {
  WriteSaleFields(aNode, *this, &fTare);
}

void kReceiptLineVoucherSale::WriteFields(pugi::xml_node aNode) const {
  WriteVoucherFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, &fFreeOfCharge);
}

void kReceiptLineVoucherRedeem::WriteFields(pugi::xml_node aNode) const {
  WriteVoucherFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, nullptr);
}

// Gift card sales and redemptions both write FreeOfCharge.
void kReceiptLineGiftCardSale::WriteFields(pugi::xml_node aNode) const {
  WriteVoucherFields(aNode, fCode, fDescription, fDepartment, fTaxCode, fPrice, &fFreeOfCharge);
}

void kReceiptLineSubtotal::WriteFields(pugi::xml_node aNode) const { AddAmount(aNode, "Amount", fAmount); }

void kReceiptLineText::WriteFields(pugi::xml_node aNode) const { AddText(aNode, "Description", fDescription); }

void kReceiptLineDiscountAmount::WriteFields(pugi::xml_node aNode) const {
  AddAmount(aNode, "Amount", fAmount);
  AddText(aNode, "Description", fDescription);
}

void kReceiptLineDiscountPercentage::WriteFields(pugi::xml_node aNode) const {
  AddAmount(aNode, "Percentage", fPercentage);
  AddAmount(aNode, "Amount", fAmount);
  AddText(aNode, "Description", fDescription);
}

void kReceiptLineCollectAmount::WriteFields(pugi::xml_node aNode) const {
  AddText(aNode, "Description", fDescription);
  AddText(aNode, "Department", fDepartment);
  AddText(aNode, "TaxCode", fTaxCode);
  AddAmount(aNode, "Amount", fAmount);
}

std::string kReceipt::Serialize() const {
  pugi::xml_document doc;
  pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "utf-8";
  pugi::xml_node r = doc.append_child("Receipt");

  AddText(r, "Layout", fLayout);
  AddDateTime(r, "BusinessDate", fBusinessDate);
  AddText(r, "Type", U::EncodeReceiptType(fReceiptType));
  AddText(r, "SubType", fReceiptSubType);
  AddText(r, "ReceiptTypeDescription", fReceiptTypeDescription);
  AddText(r, "ExternalReference", fExternalReference);
  AddText(r, "StoreCode", fStoreCode);
  AddText(r, "StoreAddress", fStoreAddress);
  AddText(r, "StoreZipCode", fStoreZipCode);
  AddText(r, "StoreCity", fStoreCity);
  AddText(r, "TillCode", fTillCode);
  AddText(r, "Number", fReceiptNumber);
  AddDateTime(r, "DateTime", fReceiptDateTime);
  AddText(r, "ZReportNumber", fReceiptZReportNumber);
  AddText(r, "DeviceSerialNumber", fDeviceSerialNumber);
  AddText(r, "InvoiceNumber", fInvoiceNumber);
  AddDateTime(r, "InvoiceDateTime", fInvoiceDateTime);
  AddAmount(r, "TotalAmount", fTotalAmount);
  AddAmount(r, "TipAmount", fTipAmount);

  AddText(r, "CountryCode", fCountryCode);
  AddText(r, "FiscalAreaCode", fFiscalAreaCode);
  AddText(r, "CompanyCode", fCompanyCode);
  AddText(r, "CompanyTaxCode", fCompanyTaxCode);
  AddText(r, "OperatorCode", fOperatorCode);
  AddText(r, "ReceiptBarcode", fReceiptBarcode);
  AddText(r, "CurrencyCode", fCurrencyCode);

  AddText(r, "CustomerCode", fCustomerCode);
  AddText(r, "CustomerCard", fCustomerCard);
  AddText(r, "CustomerBusinessName", fCustomerBusinessName);
  AddText(r, "CustomerName", fCustomerName);
  AddText(r, "CustomerSurname", fCustomerSurname);
  AddText(r, "CustomerAddress", fCustomerAddress);
  AddText(r, "CustomerZIPCode", fCustomerZipCode);
  AddText(r, "CustomerCity", fCustomerCity);
  AddText(r, "CustomerProvince", fCustomerProvince);
  AddText(r, "CustomerCountry", fCustomerCountry);
  AddText(r, "CustomerCountryDescription", fCustomerCountryDescription);
  AddText(r, "CustomerTaxCode", fCustomerTaxCode);
  AddText(r, "CustomerFiscalCode", fCustomerFiscalCode);
  AddText(r, "CustomerIdType", U::EncodeCustomerIdType(fCustomerIdType));
  AddText(r, "CustomerIdNumber", fCustomerIdNumber);
  AddText(r, "CustomerIdCountry", fCustomerIdCountry);
  U::AddNode(r, "CustomerDateOfBirth", DateToXmlText(fCustomerDateOfBirth));
  AddText(r, "CustomerEmail", fCustomerEmail);
  AddText(r, "CustomerMobileNumber", fCustomerMobileNumber);
  AddText(r, "LotteryIdCode", fLotteryIdCode);

  AddBool(r, "ToBeInvoiced", fToBeInvoiced);
  AddBool(r, "SendByEmail", fSendByEmail);
  AddText(r, "EmailReference", fEmailReference);
  AddText(r, "EmailRecipients", fEmailRecipients);
  AddBool(r, "PrintReceipt", fPrintReceipt);
  AddBool(r, "IsReprint", fIsReprint);

  pugi::xml_node original = U::AddNode(U::AddNode(r, "References", ""), "OriginalReceipt", "");
  AddDateTime(original, "ReceiptDateTime", fOriginalReceipt.fReceiptDateTime);
  AddText(original, "ReceiptNumber", fOriginalReceipt.fReceiptNumber);
  AddText(original, "DeviceSerialNumber", fOriginalReceipt.fDeviceSerialNumber);
  AddText(original, "ServerSerialNumber", fOriginalReceipt.fServerSerialNumber);
  AddText(original, "EJNumber", fOriginalReceipt.fEJNumber);
  AddText(original, "EJClosingNumber", fOriginalReceipt.fEJClosingNumber);
  AddBool(original, "ExcludeFPCheck", fOriginalReceipt.fExcludeFPCheck);
  AddText(original, "ReferenceType", U::EncodeReferenceType(fOriginalReceipt.fReferenceType));
  AddText(original, "InvoiceNumber", fOriginalReceipt.fInvoiceNumber);
  AddDateTime(original, "InvoiceDateTime", fOriginalReceipt.fInvoiceDateTime);

  pugi::xml_node headers = U::AddNode(r, "Headers", "");
  for (const std::string& header : fHeaders) AddText(headers, "HeaderLine", header);

  pugi::xml_node lines = U::AddNode(r, "Lines", "");
  for (const auto& line : fLines) {
    pugi::xml_node node = U::AddNode(lines, U::EncodeLineType(line->fLineType), "");
    line->WriteFields(node);
    WriteCustomAttributes(node, line->fCustomAttributes);
  }

  pugi::xml_node taxes = U::AddNode(r, "Taxes", "");
  for (const auto& tax : fTaxes) {
    pugi::xml_node node = U::AddNode(taxes, "Tax", "");
    AddText(node, "Type", U::EncodeTaxType(tax->fTaxType));
    AddText(node, "Code", tax->fTaxCode);
    AddText(node, "Description", tax->fTaxDescription);
    AddAmount(node, "Rate", tax->fTaxRate);
    AddAmount(node, "TaxableAmount", tax->fTaxableAmount);
    AddAmount(node, "TaxAmount", tax->fTaxAmount);
    AddAmount(node, "TotalAmount", tax->fTotalAmount);
    WriteCustomAttributes(node, tax->fCustomAttributes);
  }

  pugi::xml_node payments = U::AddNode(r, "Payments", "");
  for (const auto& payment : fPayments) {
    pugi::xml_node node = U::AddNode(payments, "Payment", "");
    AddText(node, "Type", U::EncodePaymentType(payment->fPaymentType));
    AddText(node, "Description", payment->fDescription);
    AddAmount(node, "Amount", payment->fAmount);
    AddText(node, "Currency", payment->fCurrency);
    AddAmount(node, "Quantity", payment->fQuantity);
    AddAmount(node, "UnitPrice", payment->fUnitPrice);
    WriteCustomAttributes(node, payment->fCustomAttributes);
  }

  WriteMessageLines(r, "TrailerMessages", fTrailerMessages);
  WriteMessageLines(r, "LeaderLines", fLeaderLines);

  StringWriter writer;
  doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  return writer.fText;
}

}  // namespace fp
