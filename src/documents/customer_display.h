// Lines to show on the customer display, optionally after clearing it.
#pragma once

#include <pugixml.hpp>

#include "documents/message_line.h"

namespace fp {

class kCustomerDisplay {
 public:
  kCustomerDisplay() = default;
  kCustomerDisplay(const kCustomerDisplay&) = delete;
  kCustomerDisplay& operator=(const kCustomerDisplay&) = delete;

  bool fClear = false;           // clear the display before showing the lines
  kReceiptMessageLines fLines;   // text lines without owner

  // Reads Display: Clear, and one text line (Value, Alignment required) per Text child of
  // Lines; other children are passed over. Throws "Display node not found" without the
  // element.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
