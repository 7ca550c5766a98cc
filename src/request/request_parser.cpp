#include "request/request_parser.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string_view>

#include "base/errors.h"
#include "documents/krpt_util.h"

namespace fp {

namespace {

// No DOCTYPE processing, so declared entities are never expanded. Comments stay in the tree:
// the readers walk every child where each one counts (a comment among the lines of a receipt
// is no line type) and pass them over where only elements do.
constexpr unsigned kReadOptions = pugi::parse_default | pugi::parse_comments;

// The code-page step's first parse of a request that may name a code page also keeps
// declarations, processing instructions and single blank texts. It accepts no text that the
// readers' parse would refuse.
constexpr unsigned kCodePageOptions =
    kReadOptions | pugi::parse_declaration | pugi::parse_pi | pugi::parse_ws_pcdata_single;

// The step's one parse of a request that names no code page: the readers' parse with the
// checks of declarations and instructions that kCodePageOptions makes, so that it refuses
// what that refuses (keeping blank texts changes no check). Its tree is the readers' one with
// the declarations and instructions.
constexpr unsigned kCheckedReadOptions = kReadOptions | pugi::parse_declaration | pugi::parse_pi;

std::unique_ptr<pugi::xml_document> Parse(const std::string& aXml, unsigned aOptions) {
  auto doc = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result parsed = doc->load_buffer(aXml.data(), aXml.size(), aOptions, pugi::encoding_utf8);
  if (!parsed) throw kException(std::string(parsed.description()) + " (at offset " + std::to_string(parsed.offset) + ")");
  return doc;
}

struct StringWriter final : pugi::xml_writer {
  std::string fText;
  void write(const void* aData, size_t aSize) override { fText.append(static_cast<const char*>(aData), aSize); }
};

std::string Written(const pugi::xml_document& aDoc) {
  StringWriter writer;
  aDoc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return std::move(writer.fText);
}

// Whether aText holds aPiece; skipping ahead by the piece's length, faster than a find that
// stops at every occurrence of its first character.
bool Holds(std::string_view aText, std::string_view aPiece) {
  return std::search(aText.begin(), aText.end(), std::boyer_moore_horspool_searcher(aPiece.begin(), aPiece.end())) !=
         aText.end();
}

// How often "<?" stands in aText, found by its second character, the rarer one. aPlain turns
// false when a "<" stands between one and the first "?>" after it: a declaration may end
// earlier, at "/>", for the parse that checks it, and the readers' parse, which looks only
// for "?>", then reads another text.
size_t InstructionStarts(std::string_view aText, bool& aPlain) {
  aPlain = true;
  size_t count = 0;
  for (size_t at = aText.find('?', 1); at != std::string_view::npos; at = aText.find('?', at + 1))
    if (aText[at - 1] == '<') {
      ++count;
      if (aText.find('<', at + 1) < aText.find("?>", at + 1)) aPlain = false;
    }
  return count;
}

// The readers' tree from aDoc, parsed from aXml with kCheckedReadOptions: the declarations
// and instructions beside the document element are cut; one inside it, which is rare, takes
// a parse as the readers parse.
std::unique_ptr<pugi::xml_document> ReadersTree(std::unique_ptr<pugi::xml_document> aDoc, const std::string& aXml) {
  size_t cut = 0;
  for (pugi::xml_node node = aDoc->first_child(); node;) {
    const pugi::xml_node next = node.next_sibling();
    if (node.type() == pugi::node_declaration || node.type() == pugi::node_pi) {
      aDoc->remove_child(node);
      ++cut;
    }
    node = next;
  }
  // Each of them begins with "<?": a text holding more of those than were cut has some inside.
  // Either that or one the two parses may end apart: the readers' parse decides.
  bool plain = true;
  if (InstructionStarts(aXml, plain) > cut || !plain) return ParseRequest(aXml);
  return aDoc;
}

}  // namespace

std::unique_ptr<pugi::xml_document> ParseRequest(const std::string& aXml) { return Parse(aXml, kReadOptions); }

std::unique_ptr<pugi::xml_document> ParseRequestWithCodePage(std::string& aXml, bool aKeepText) {
  // An element named CP comes only from the text "<CP": without it there is no code page,
  // and one parse gives the readers' tree.
  if (!Holds(aXml, "<CP")) return ReadersTree(Parse(aXml, kCheckedReadOptions), aXml);
  // The request is parsed keeping everything, so that the text written back differs from it
  // only in the re-decoded values; this parse also checks the declarations and instructions
  // that the readers' parse would skip unread.
  const std::unique_ptr<pugi::xml_document> given = Parse(aXml, kCodePageOptions);
  const pugi::xml_node root = given->document_element();
  const std::string codePage = root.child("Parameters").child("CP").text().as_string();
  if (codePage.empty()) return ParseRequest(aXml);
  krptUtil::ChangeXMLEncoding(root, codePage);
  std::string written = Written(*given);
  std::unique_ptr<pugi::xml_document> doc = ParseRequest(written);
  if (aKeepText) aXml = std::move(written);
  return doc;
}

}  // namespace fp
