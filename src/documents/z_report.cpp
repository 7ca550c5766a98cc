#include "documents/z_report.h"

#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kZReport::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node report = FindRequestElement(aXmlDocument, "ZReport");
  if (!report) return;  // a Z report request may carry no parameters at all
  fStoreCode = krptUtil::GetNodeValueAsString(report, "StoreCode");
  fTillCode = krptUtil::GetNodeValueAsString(report, "TillCode");
  fPrint = krptUtil::GetNodeValueAsBoolean(report, "Print", true);
  fPrintText = krptUtil::GetNodeValueAsBoolean(report, "PrintText", false);
  fLayout = krptUtil::GetNodeValueAsString(report, "Layout");
  fText = SplitTextLines(krptUtil::GetNodeValueAsString(report, "Text"));
}

std::string kZReport::Serialize() const {
  pugi::xml_document doc;
  pugi::xml_node root = StartXmlDocument(doc, "ZReport");
  krptUtil::AddNode(root, "StoreCode", fStoreCode);
  krptUtil::AddNode(root, "TillCode", fTillCode);
  krptUtil::AddNode(root, "PrintText", fPrintText ? "true" : "false");
  std::string text;
  for (const std::string& line : fText) text += line + "\r\n";
  krptUtil::AddNode(root, "Text", text);
  return XmlDocumentText(doc);
}

}  // namespace fp
