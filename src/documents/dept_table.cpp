#include "documents/dept_table.h"

#include "base/errors.h"
#include "base/text.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kDeptTable::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node table = FindRequestElement(aXmlDocument, "DeptTable");
  if (!table) throw kException("DeptTable node not found");
  for (pugi::xml_node node : table.children()) {
    if (node.type() != pugi::node_element) continue;
    kDepartment dept;
    dept.fCode = krptUtil::GetNodeValueAsString(node, "Code");
    dept.fDescription = krptUtil::GetNodeValueAsString(node, "Description");
    dept.fVATCode = krptUtil::GetNodeValueAsString(node, "VATCode");
    dept.fSalesType =
        LowerCase(krptUtil::GetNodeValueAsString(node, "SalesType")) == "service" ? st_Service : st_Product;
    dept.fEACode = krptUtil::GetNodeValueAsString(node, "EACode");
    Add(std::move(dept));
  }
}

}  // namespace fp
