// Writing a receipt back as the XML text of a Receipt document. Every element is written,
// empty or not, in a fixed order; the text reads back through kReceipt::Deserialize.

#include "base/errors.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "documents/receipt.h"
#include "documents/receipt_line_types.h"

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

namespace {

// The receipt's own fields, in the order Deserialize reads them.
void WriteDocumentFields(pugi::xml_node aNode, const kReceipt& aReceipt) {
  AddText(aNode, "Layout", aReceipt.fLayout);
  AddDateTime(aNode, "BusinessDate", aReceipt.fBusinessDate);
  AddText(aNode, "Type", U::EncodeReceiptType(aReceipt.fReceiptType));
  AddText(aNode, "SubType", aReceipt.fReceiptSubType);
  AddText(aNode, "ReceiptTypeDescription", aReceipt.fReceiptTypeDescription);
  AddText(aNode, "ExternalReference", aReceipt.fExternalReference);
  AddText(aNode, "StoreCode", aReceipt.fStoreCode);
  AddText(aNode, "StoreAddress", aReceipt.fStoreAddress);
  AddText(aNode, "StoreZipCode", aReceipt.fStoreZipCode);
  AddText(aNode, "StoreCity", aReceipt.fStoreCity);
  AddText(aNode, "TillCode", aReceipt.fTillCode);
  AddText(aNode, "Number", aReceipt.fReceiptNumber);
  AddDateTime(aNode, "DateTime", aReceipt.fReceiptDateTime);
  AddText(aNode, "ZReportNumber", aReceipt.fReceiptZReportNumber);
  AddText(aNode, "DeviceSerialNumber", aReceipt.fDeviceSerialNumber);
  AddText(aNode, "InvoiceNumber", aReceipt.fInvoiceNumber);
  AddDateTime(aNode, "InvoiceDateTime", aReceipt.fInvoiceDateTime);
  AddAmount(aNode, "TotalAmount", aReceipt.fTotalAmount);
  AddAmount(aNode, "TipAmount", aReceipt.fTipAmount);

  AddText(aNode, "CountryCode", aReceipt.fCountryCode);
  AddText(aNode, "FiscalAreaCode", aReceipt.fFiscalAreaCode);
  AddText(aNode, "CompanyCode", aReceipt.fCompanyCode);
  AddText(aNode, "CompanyTaxCode", aReceipt.fCompanyTaxCode);
  AddText(aNode, "OperatorCode", aReceipt.fOperatorCode);
  AddText(aNode, "ReceiptBarcode", aReceipt.fReceiptBarcode);
  AddText(aNode, "CurrencyCode", aReceipt.fCurrencyCode);
}

void WriteCustomerFields(pugi::xml_node aNode, const kReceipt& aReceipt) {
  AddText(aNode, "CustomerCode", aReceipt.fCustomerCode);
  AddText(aNode, "CustomerCard", aReceipt.fCustomerCard);
  AddText(aNode, "CustomerBusinessName", aReceipt.fCustomerBusinessName);
  AddText(aNode, "CustomerName", aReceipt.fCustomerName);
  AddText(aNode, "CustomerSurname", aReceipt.fCustomerSurname);
  AddText(aNode, "CustomerAddress", aReceipt.fCustomerAddress);
  AddText(aNode, "CustomerZIPCode", aReceipt.fCustomerZipCode);
  AddText(aNode, "CustomerCity", aReceipt.fCustomerCity);
  AddText(aNode, "CustomerProvince", aReceipt.fCustomerProvince);
  AddText(aNode, "CustomerCountry", aReceipt.fCustomerCountry);
  AddText(aNode, "CustomerCountryDescription", aReceipt.fCustomerCountryDescription);
  AddText(aNode, "CustomerTaxCode", aReceipt.fCustomerTaxCode);
  AddText(aNode, "CustomerFiscalCode", aReceipt.fCustomerFiscalCode);
  AddText(aNode, "CustomerIdType", U::EncodeCustomerIdType(aReceipt.fCustomerIdType));
  AddText(aNode, "CustomerIdNumber", aReceipt.fCustomerIdNumber);
  AddText(aNode, "CustomerIdCountry", aReceipt.fCustomerIdCountry);
  U::AddNode(aNode, "CustomerDateOfBirth", DateToXmlText(aReceipt.fCustomerDateOfBirth));
  AddText(aNode, "CustomerEmail", aReceipt.fCustomerEmail);
  AddText(aNode, "CustomerMobileNumber", aReceipt.fCustomerMobileNumber);
  AddText(aNode, "LotteryIdCode", aReceipt.fLotteryIdCode);
}

void WriteDeliveryFields(pugi::xml_node aNode, const kReceipt& aReceipt) {
  AddBool(aNode, "ToBeInvoiced", aReceipt.fToBeInvoiced);
  AddBool(aNode, "SendByEmail", aReceipt.fSendByEmail);
  AddText(aNode, "EmailReference", aReceipt.fEmailReference);
  AddText(aNode, "EmailRecipients", aReceipt.fEmailRecipients);
  AddBool(aNode, "PrintReceipt", aReceipt.fPrintReceipt);
  AddBool(aNode, "IsReprint", aReceipt.fIsReprint);
}

void WriteOriginalReceipt(pugi::xml_node aNode, const vnOriginalReceipt& aOriginal) {
  pugi::xml_node original = U::AddNode(U::AddNode(aNode, "References", ""), "OriginalReceipt", "");
  AddDateTime(original, "ReceiptDateTime", aOriginal.fReceiptDateTime);
  AddText(original, "ReceiptNumber", aOriginal.fReceiptNumber);
  AddText(original, "DeviceSerialNumber", aOriginal.fDeviceSerialNumber);
  AddText(original, "ServerSerialNumber", aOriginal.fServerSerialNumber);
  AddText(original, "EJNumber", aOriginal.fEJNumber);
  AddText(original, "EJClosingNumber", aOriginal.fEJClosingNumber);
  AddBool(original, "ExcludeFPCheck", aOriginal.fExcludeFPCheck);
  AddText(original, "ReferenceType", U::EncodeReferenceType(aOriginal.fReferenceType));
  AddText(original, "InvoiceNumber", aOriginal.fInvoiceNumber);
  AddDateTime(original, "InvoiceDateTime", aOriginal.fInvoiceDateTime);
}

void WriteHeaders(pugi::xml_node aNode, const kReceipt& aReceipt) {
  pugi::xml_node headers = U::AddNode(aNode, "Headers", "");
  for (const std::string& header : aReceipt.fHeaders) AddText(headers, "HeaderLine", header);
}

// Each line as the element of its type, its own fields first and its custom attributes last.
void WriteLines(pugi::xml_node aNode, const kReceipt& aReceipt) {
  pugi::xml_node lines = U::AddNode(aNode, "Lines", "");
  for (const auto& line : aReceipt.fLines) {
    pugi::xml_node node = U::AddNode(lines, ReceiptLineElement(line->fLineType), "");
    line->WriteFields(node);
    WriteCustomAttributes(node, line->fCustomAttributes);
  }
}

void WriteTaxes(pugi::xml_node aNode, const kReceipt& aReceipt) {
  pugi::xml_node taxes = U::AddNode(aNode, "Taxes", "");
  for (const auto& tax : aReceipt.fTaxes) {
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
}

void WritePayments(pugi::xml_node aNode, const kReceipt& aReceipt) {
  pugi::xml_node payments = U::AddNode(aNode, "Payments", "");
  for (const auto& payment : aReceipt.fPayments) {
    pugi::xml_node node = U::AddNode(payments, "Payment", "");
    AddText(node, "Type", U::EncodePaymentType(payment->fPaymentType));
    AddText(node, "Description", payment->fDescription);
    AddAmount(node, "Amount", payment->fAmount);
    AddText(node, "Currency", payment->fCurrency);
    AddAmount(node, "Quantity", payment->fQuantity);
    AddAmount(node, "UnitPrice", payment->fUnitPrice);
    WriteCustomAttributes(node, payment->fCustomAttributes);
  }
}

}  // namespace

std::string kReceipt::Serialize() const {
  pugi::xml_document doc;
  pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "utf-8";
  pugi::xml_node r = doc.append_child("Receipt");

  WriteDocumentFields(r, *this);
  WriteCustomerFields(r, *this);
  WriteDeliveryFields(r, *this);
  WriteOriginalReceipt(r, fOriginalReceipt);
  WriteHeaders(r, *this);
  WriteLines(r, *this);
  WriteTaxes(r, *this);
  WritePayments(r, *this);
  WriteMessageLines(r, "TrailerMessages", fTrailerMessages);
  WriteMessageLines(r, "LeaderLines", fLeaderLines);

  StringWriter writer;
  doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  return writer.fText;
}

}  // namespace fp
