// The VAT table: rates a request asks to program into the printer, or the printer's own
// table read back into the device.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>

#include "base/amount.h"
#include "documents/table_list.h"

namespace fp {

class kVat {
 public:
  int32_t fIndex = 0;  // position in the printer's table; never read from a request
  std::string fCode;
  std::string fDescription;
  Amount fRate;  // percent: 22 means 22 %
};

class kVatTable : public kTableList<kVat> {
 public:
  // Appends one entry per child element of VATTable, whatever its name, with Code,
  // Description and Rate read from its children. Throws "VATTable node not found" when the
  // request has no VATTable, or the reader's message for a Rate that is no number.
  void Deserialize(pugi::xml_node aXmlDocument);

  // The printer position after the last one that holds a rate: 1 + the largest fIndex
  // among entries whose rate is not zero, 1 when there is none.
  int32_t GetFirstAvailableIndex() const;
};

}  // namespace fp
