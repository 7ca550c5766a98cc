#include "documents/message_line.h"

#include "documents/krpt_util.h"
#include "documents/receipt.h"

namespace fp {

void kReceiptMessageLine::AttachOwner(kReceipt* aOwner) {
  fOwner = aOwner;
  fSupportSpecialChars = aOwner ? &aOwner->fSupportSpecialChars : nullptr;
}

std::string kReceiptMessageTextLine::GetValue() const {
  return OwnerSupportsSpecialChars() ? fValue : krptUtil::NormalizeText(fValue);
}

}  // namespace fp
