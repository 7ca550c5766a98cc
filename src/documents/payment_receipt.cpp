#include "documents/payment_receipt.h"

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kPaymentReceipt::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node payment = FindRequestElement(aXmlDocument, "Payment");
  if (!payment) throw kException("Payment node not found");
  fCopies = krptUtil::GetNodeValueAsInteger(payment, "Copies");
  if (fCopies < 0) fCopies = 0;
  fStoreCode = krptUtil::GetNodeValueAsString(payment, "StoreCode");
  fTillCode = krptUtil::GetNodeValueAsString(payment, "TillCode");
  fReference = krptUtil::GetNodeValueAsString(payment, "Reference");
  fAmount = krptUtil::GetNodeValueAsCurrency(payment, "Amount");
  fCurrency = krptUtil::GetNodeValueAsString(payment, "Currency");
  fReceiptId = krptUtil::GetNodeValueAsString(payment, "ReceiptId");
  // The location is matched exactly: the terminal protocol knows only these two words.
  std::string location = krptUtil::GetNodeValueAsString(payment, "PrintLocation");
  if (location == "ECR") {
    fPrintLocation = pl_ECR;
  } else if (location == "EFT") {
    fPrintLocation = pl_EFT;
  } else if (!location.empty()) {
    throw kException("Payment Location " + location + " invalid. Allowed values are: ECR,EFT.");
  }
}

}  // namespace fp
