// Parameters of an X (daily reading) report. The element is optional.
#pragma once

#include <pugixml.hpp>

#include <string>

namespace fp {

class kXReport {
 public:
  std::string fStoreCode;
  std::string fTillCode;
  bool fPrint = false;

  // Reads XReport when present (Print then defaults to true); without it nothing changes.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
