// The cash drawer a request addresses.
#pragma once

#include <pugixml.hpp>

#include <cstdint>

namespace fp {

class kDrawer {
 public:
  int32_t fNumber = 0;

  // Reads Drawer/Number (0 when missing). Throws "Drawer node not found" without a Drawer
  // element, or the integer reader's message.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
