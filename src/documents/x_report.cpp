#include "documents/x_report.h"

#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kXReport::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node report = FindRequestElement(aXmlDocument, "XReport");
  if (!report) return;  // an X report request may carry no parameters at all
  fStoreCode = krptUtil::GetNodeValueAsString(report, "StoreCode");
  fTillCode = krptUtil::GetNodeValueAsString(report, "TillCode");
  fPrint = krptUtil::GetNodeValueAsBoolean(report, "Print", true);
}

}  // namespace fp
