#include "documents/economic_activity_table.h"

#include <unordered_set>

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kEconomicActivityTable::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node table = FindRequestElement(aXmlDocument, "DeptTable");
  if (!table) throw kException("DeptTable node not found");
  // Codes already in the table, so that a long department list stays a single pass.
  std::unordered_set<std::string> known;
  for (const kEconomicActivity& activity : fItems) known.insert(activity.fCode);
  for (pugi::xml_node node : table.children()) {
    if (node.type() != pugi::node_element) continue;
    std::string code = krptUtil::GetNodeValueAsString(node, "EACode");
    // The first department naming an activity describes it; later ones only refer to it.
    if (code.empty() || !known.insert(code).second) continue;
    kEconomicActivity activity;
    activity.fIndex = static_cast<int32_t>(Count()) + 1;
    activity.fCode = std::move(code);
    activity.fDescription = krptUtil::GetNodeValueAsString(node, "EADescription");
    activity.fVentilazione = krptUtil::GetNodeValueAsString(node, "EAVATMode") == "1";
    Add(std::move(activity));
  }
}

}  // namespace fp
