// A non-fiscal receipt: free text, barcode and image lines printed outside any fiscal
// document, in a header, a body and a footer.
#pragma once

#include <pugixml.hpp>

#include <string>

#include "base/datetime.h"
#include "documents/enums.h"
#include "documents/message_line.h"

namespace fp {

class kNFReceipt {
 public:
  kNFReceipt() = default;
  kNFReceipt(const kNFReceipt&) = delete;
  kNFReceipt& operator=(const kNFReceipt&) = delete;

  // Never read from a request. While false, text lines print in their normalised form.
  bool fSupportSpecialChars = false;
  std::string fLayout;
  bool fDefaultLayout = false;  // fLayout received the default "DocumentLayout"
  std::string fReceiptNumber;
  DateTime fReceiptDateTime = 0;
  std::string fCountryCode;
  std::string fCompanyCode;
  std::string fCompanyTaxCode;
  std::string fStoreCode;
  std::string fTillCode;
  std::string fOperatorCode;
  kReceiptMessageLines fHeaderLines;  // section rs_lead
  kReceiptMessageLines fLines;        // section rs_body
  kReceiptMessageLines fFooterLines;  // section rs_trail

  // Reads the NFReceipt element: its header values, then Header/Lines, Lines and
  // Footer/Lines. Throws "NFReceipt node not found" without the element, or the first
  // reader or decoder message (a text or image line without Alignment, a barcode without
  // Type).
  void Deserialize(pugi::xml_node aXmlDocument);

  // The receipt as an NFReceipt document in the form Deserialize reads.
  std::string Serialize() const;
};

}  // namespace fp
