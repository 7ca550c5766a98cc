#include "documents/receipt_reference.h"

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

namespace {

bool HasValue(pugi::xml_node aParent, const char* aName) {
  return !krptUtil::GetNodeValueAsString(aParent, aName).empty();
}

}  // namespace

void kReceiptReference::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node ref = FindRequestElement(aXmlDocument, "ReceiptReference");
  if (!ref) throw kException("ReceiptReference node not found");
  fReceiptType =
      static_cast<vnReceiptType>(krptUtil::DecodeReceiptType(krptUtil::GetNodeValueAsString(ref, "ReceiptType")));
  fEJNumber = krptUtil::GetNodeValueAsString(ref, "EJNumber");
  fEJClosingNumber = krptUtil::GetNodeValueAsString(ref, "EJClosingNumber");
  fDeviceSerialNumber = krptUtil::GetNodeValueAsString(ref, "DeviceSerialNumber");
  // Callers often send the element empty when they do not know the time.
  if (HasValue(ref, "ReceiptDateTime")) fReceiptDateTime = krptUtil::GetNodeValueAsDateTime(ref, "ReceiptDateTime");
  fReceiptNumber = krptUtil::GetNodeValueAsString(ref, "ReceiptNumber");
}

}  // namespace fp
