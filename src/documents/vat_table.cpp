#include "documents/vat_table.h"

#include <algorithm>

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kVatTable::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node table = FindRequestElement(aXmlDocument, "VATTable");
  if (!table) throw kException("VATTable node not found");
  // Only elements describe entries: a comment or stray text inside the table must not
  // turn into an empty rate that would then be programmed into the printer.
  for (pugi::xml_node node : table.children()) {
    if (node.type() != pugi::node_element) continue;
    kVat vat;
    vat.fCode = krptUtil::GetNodeValueAsString(node, "Code");
    vat.fDescription = krptUtil::GetNodeValueAsString(node, "Description");
    vat.fRate = krptUtil::GetNodeValueAsCurrency(node, "Rate");
    Add(std::move(vat));
  }
}

int32_t kVatTable::GetFirstAvailableIndex() const {
  bool found = false;
  int32_t highest = 0;
  for (const kVat& vat : fItems) {
    if (vat.fRate.IsZero()) continue;
    if (!found || vat.fIndex > highest) highest = vat.fIndex;
    found = true;
  }
  if (!found) return 1;
  // A table position at the very top of the range has no successor; stay in range.
  return highest == INT32_MAX ? INT32_MAX : highest + 1;
}

}  // namespace fp
