// Parameters of a Z (daily closing) report, with optional free text to print with it.
// The element is optional.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

namespace fp {

class kZReport {
 public:
  std::string fStoreCode;
  std::string fTillCode;
  bool fPrintText = false;
  std::string fLayout;
  std::vector<std::string> fText;  // the Text element split into lines
  bool fPrint = false;

  // Reads ZReport when present (Print then defaults to true, PrintText to false); without
  // it nothing changes.
  void Deserialize(pugi::xml_node aXmlDocument);

  // A ZReport document with StoreCode, TillCode, PrintText ("true"/"false") and Text (each
  // line followed by CR LF). Print and Layout are not written.
  std::string Serialize() const;
};

}  // namespace fp
