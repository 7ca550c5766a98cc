// The tree the readers get from a request of an export with the code-page step, two ways: from
// the request holder's step (ParseRequestWithCodePage), and by the road written out here
// (parse keeping everything, re-decode, write back, parse the written text).
// Both come as a dump of every node, or the parser's or converter's message, to be compared.
#pragma once

#include <exception>
#include <string>

#include <pugixml.hpp>

#include "documents/krpt_util.h"
#include "request/request_parser.h"

namespace fp::test {

// One line per node in document order: depth, type, name, value and attributes. Walked by
// pugixml without recursion, so deep requests dump too.
inline std::string DumpTree(const pugi::xml_document& aDoc) {
  struct Dumper : pugi::xml_tree_walker {
    std::string fText;
    bool for_each(pugi::xml_node& aNode) override {
      fText += std::to_string(depth()) + " " + std::to_string(aNode.type()) + " <" + aNode.name() + "> [" +
               aNode.value() + "]";
      for (pugi::xml_attribute a : aNode.attributes()) fText += std::string(" ") + a.name() + "=[" + a.value() + "]";
      fText += "\n";
      return true;
    }
  } dumper;
  const_cast<pugi::xml_document&>(aDoc).traverse(dumper);
  return dumper.fText;
}

inline std::string OneParseTree(std::string aXml) {
  try {
    return DumpTree(*ParseRequestWithCodePage(aXml, false));
  } catch (const std::exception& e) {
    return std::string("failed: ") + e.what();
  }
}

inline std::string TwoParseTree(const std::string& aXml) {
  try {
    pugi::xml_document doc;
    const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi |
                             pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result parsed = doc.load_buffer(aXml.data(), aXml.size(), options, pugi::encoding_utf8);
    if (!parsed)
      return std::string("failed: ") + parsed.description() + " (at offset " + std::to_string(parsed.offset) + ")";
    const pugi::xml_node root = doc.document_element();
    const std::string codePage = root.child("Parameters").child("CP").text().as_string();
    if (codePage.empty()) return DumpTree(*ParseRequest(aXml));
    krptUtil::ChangeXMLEncoding(root, codePage);
    struct StringWriter final : pugi::xml_writer {
      std::string fText;
      void write(const void* aData, size_t aSize) override { fText.append(static_cast<const char*>(aData), aSize); }
    } writer;
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return DumpTree(*ParseRequest(writer.fText));
  } catch (const std::exception& e) {
    return std::string("failed: ") + e.what();
  }
}

}  // namespace fp::test
