// The economic activities the departments refer to. A request carries no table of its
// own for them: they are gathered from the EA fields of the departments in DeptTable.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>

#include "documents/table_list.h"

namespace fp {

class kEconomicActivity {
 public:
  int32_t fIndex = 0;
  std::string fCode;
  std::string fDescription;
  bool fVentilazione = false;  // the activity's VAT mode is 1
};

class kEconomicActivityTable : public kTableList<kEconomicActivity> {
 public:
  // For every department of DeptTable with a non-empty EACode not yet in the table,
  // appends an activity numbered from 1 in order of first appearance, with its
  // EADescription and EAVATMode ("1" sets fVentilazione). Later departments with the same
  // code add nothing. Throws "DeptTable node not found" when the request has no DeptTable.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
