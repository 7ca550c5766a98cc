#include "documents/nf_receipt.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

namespace {

using U = krptUtil;

// Reads the message line elements below aLinesNode into aList, by exact element name;
// other children are passed over.
void ReadMessageLines(kNFReceipt* aOwner, pugi::xml_node aLinesNode, vnReceiptSection aSection,
                      kReceiptMessageLines& aList) {
  for (pugi::xml_node node : aLinesNode.children()) {
    if (node.type() != pugi::node_element) continue;
    const char* name = node.name();
    if (std::strcmp(name, "Text") == 0) {
      auto line = kReceiptMessageTextLine::CreateNF(aOwner);
      line->fSection = aSection;
      line->fValue = U::GetNodeValueAsString(node, "Value");
      line->fSize = U::GetNodeValueAsInteger(node, "Size");
      line->fAlignment = U::DecodeAlignment(U::GetNodeValueAsString(node, "Alignment"));
      line->fEffects = U::DecodeEffects(U::GetNodeValueAsString(node, "Effects"));
      aList.Add(std::move(line));
    } else if (std::strcmp(name, "Barcode") == 0) {
      auto line = kReceiptMessageBarcodeLine::CreateNF(aOwner);
      line->fSection = aSection;
      line->fValue = U::GetNodeValueAsString(node, "Value");
      line->fHRI = U::GetNodeValueAsBoolean(node, "HRI", true);
      // A QR code has no version below 1; 0 or a missing value asks for the smallest.
      line->fQRCodeMinVersion = std::max(U::GetNodeValueAsInteger(node, "QRCodeMinVersion"), 1);
      line->fBarcodeType = U::DecodeBarcodeType(U::GetNodeValueAsString(node, "Type"));
      aList.Add(std::move(line));
    } else if (std::strcmp(name, "Image") == 0) {
      auto line = kReceiptMessageImageLine::CreateNF(aOwner);
      line->fSection = aSection;
      line->fAlignment = U::DecodeAlignment(U::GetNodeValueAsString(node, "Alignment"));
      line->fValue = U::GetNodeValueAsString(node, "Value");
      line->fSource = U::DecodeImageSource(U::GetNodeValueAsString(node, "Source"));
      aList.Add(std::move(line));
    }
  }
}

// Appends one Lines element to aParent holding the written lines, in order.
void WriteMessageLines(pugi::xml_node aParent, const kReceiptMessageLines& aList) {
  pugi::xml_node lines = aParent.append_child("Lines");
  for (const auto& item : aList) {
    const kReceiptMessageLine* line = item.get();
    if (auto* barcode = dynamic_cast<const kReceiptMessageBarcodeLine*>(line)) {
      pugi::xml_node node = lines.append_child("Barcode");
      U::AddNode(node, "Value", barcode->fValue);
      U::AddNode(node, "HRI", BoolToXmlText(barcode->fHRI));
      U::AddNode(node, "QRCodeMinVersion", std::to_string(barcode->fQRCodeMinVersion));
      U::AddNode(node, "Type", U::EncodeBarcodeType(barcode->fBarcodeType));
    } else if (auto* text = dynamic_cast<const kReceiptMessageTextLine*>(line)) {
      pugi::xml_node node = lines.append_child("Text");
      U::AddNode(node, "Value", text->fValue);  // as stored: the reader normalises at print time
      U::AddNode(node, "Size", std::to_string(text->fSize));
      U::AddNode(node, "Alignment", U::EncodeAlignment(text->fAlignment));
      U::AddNode(node, "Effects", U::EncodeEffects(text->fEffects));
    } else if (auto* image = dynamic_cast<const kReceiptMessageImageLine*>(line)) {
      pugi::xml_node node = lines.append_child("Image");
      U::AddNode(node, "Value", image->fValue);
      U::AddNode(node, "Alignment", U::EncodeAlignment(image->fAlignment));
      U::AddNode(node, "Source", U::EncodeImageSource(image->fSource));
    }
  }
}

}  // namespace

void kNFReceipt::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node receipt = FindRequestElement(aXmlDocument, "NFReceipt");
  if (!receipt) throw kException("NFReceipt node not found");

  fLayout = U::GetNodeValueAsString(receipt, "Layout");
  fDefaultLayout = fLayout.empty();
  if (fDefaultLayout) fLayout = "DocumentLayout";
  fStoreCode = U::GetNodeValueAsString(receipt, "StoreCode");
  fTillCode = U::GetNodeValueAsString(receipt, "TillCode");
  fReceiptNumber = U::GetNodeValueAsString(receipt, "Number");
  fReceiptDateTime = U::GetNodeValueAsDateTime(receipt, "DateTime");
  fCountryCode = U::GetNodeValueAsString(receipt, "CountryCode");
  fCompanyCode = U::GetNodeValueAsString(receipt, "CompanyCode");
  fCompanyTaxCode = U::GetNodeValueAsString(receipt, "CompanyTaxCode");
  fOperatorCode = U::GetNodeValueAsString(receipt, "OperatorCode");

  if (pugi::xml_node lines = receipt.child("Header").child("Lines")) ReadMessageLines(this, lines, rs_lead, fHeaderLines);
  if (pugi::xml_node lines = receipt.child("Lines")) ReadMessageLines(this, lines, rs_body, fLines);
  if (pugi::xml_node lines = receipt.child("Footer").child("Lines")) ReadMessageLines(this, lines, rs_trail, fFooterLines);
}

std::string kNFReceipt::Serialize() const {
  pugi::xml_document doc;
  pugi::xml_node root = StartXmlDocument(doc, "NFReceipt");
  U::AddNode(root, "Layout", fLayout);
  U::AddNode(root, "StoreCode", fStoreCode);
  U::AddNode(root, "TillCode", fTillCode);
  U::AddNode(root, "Number", fReceiptNumber);
  U::AddNode(root, "DateTime", DateTimeToXmlText(fReceiptDateTime));
  U::AddNode(root, "CountryCode", fCountryCode);
  U::AddNode(root, "CompanyCode", fCompanyCode);
  U::AddNode(root, "CompanyTaxCode", fCompanyTaxCode);
  U::AddNode(root, "OperatorCode", fOperatorCode);
  WriteMessageLines(root.append_child("Header"), fHeaderLines);
  WriteMessageLines(root, fLines);
  WriteMessageLines(root.append_child("Footer"), fFooterLines);
  return XmlDocumentText(doc);
}

}  // namespace fp
