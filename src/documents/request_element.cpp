#include "documents/request_element.h"

#include <sstream>

#include "base/text.h"

namespace fp {

pugi::xml_node RequestDocumentElement(pugi::xml_node aXmlDocument) {
  if (aXmlDocument.type() != pugi::node_document) return aXmlDocument;
  for (pugi::xml_node node : aXmlDocument.children())
    if (node.type() == pugi::node_element) return node;
  return pugi::xml_node();
}

pugi::xml_node FindRequestElement(pugi::xml_node aXmlDocument, const char* aName) {
  return RequestDocumentElement(aXmlDocument).child(aName);
}

std::vector<std::string> SplitTextLines(std::string_view aText) {
  std::vector<std::string> lines;
  ForEachTextLine(aText, [&](std::string_view aLine) { lines.emplace_back(aLine); });
  return lines;
}

pugi::xml_node StartXmlDocument(pugi::xml_document& aDoc, const char* aRootName) {
  aDoc.reset();
  pugi::xml_node decl = aDoc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "utf-8";
  return aDoc.append_child(aRootName);
}

std::string XmlDocumentText(const pugi::xml_document& aDoc) {
  std::ostringstream out;
  aDoc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

}  // namespace fp
