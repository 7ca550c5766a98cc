// The department table: departments a request asks to program, or the printer's
// departments read back into the device.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>

#include "documents/enums.h"
#include "documents/table_list.h"

namespace fp {

class kDepartment {
 public:
  int32_t fIndex = 0;  // position in the printer's table; never read from a request
  std::string fCode;
  std::string fDescription;
  std::string fVATCode;
  vnDepartmentSalesType fSalesType = st_Product;
  std::string fEACode;  // code of the department's economic activity
};

class kDeptTable : public kTableList<kDepartment> {
 public:
  // Appends one department per child element of DeptTable, whatever its name. SalesType
  // "service" in any letter case gives st_Service, anything else st_Product. Throws
  // "DeptTable node not found" when the request has no DeptTable.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
