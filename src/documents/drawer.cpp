#include "documents/drawer.h"

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kDrawer::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node drawer = FindRequestElement(aXmlDocument, "Drawer");
  if (!drawer) throw kException("Drawer node not found");
  fNumber = krptUtil::GetNodeValueAsInteger(drawer, "Number");
}

}  // namespace fp
