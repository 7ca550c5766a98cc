#include "documents/customer_display.h"

#include <cstring>

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kCustomerDisplay::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node display = FindRequestElement(aXmlDocument, "Display");
  if (!display) throw kException("Display node not found");
  fClear = krptUtil::GetNodeValueAsBoolean(display, "Clear", false);
  // The display shows plain text only: barcodes and images meant for a printer are passed over.
  for (pugi::xml_node node : display.child("Lines").children("Text")) {
    auto line = kReceiptMessageTextLine::Create(nullptr);
    line->fValue = krptUtil::GetNodeValueAsString(node, "Value");
    line->fAlignment = krptUtil::DecodeAlignment(krptUtil::GetNodeValueAsString(node, "Alignment"));
    fLines.Add(std::move(line));
  }
}

}  // namespace fp
