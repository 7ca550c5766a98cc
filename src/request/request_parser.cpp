#include "request/request_parser.h"

#include <cstring>
#include <string_view>

#include "base/errors.h"
#include "documents/krpt_util.h"

namespace fp {

namespace {

// No DOCTYPE processing, so declared entities are never expanded. Comments stay in the tree:
// the readers walk every child where each one counts (a comment among the lines of a receipt
// is no line type) and pass them over where only elements do.
constexpr unsigned kReadOptions = pugi::parse_default | pugi::parse_comments;

// The code-page step also keeps declarations, processing instructions and single blank texts,
// so that the text it writes back differs from the request only in the re-decoded values.
// It accepts no text that the readers' parse would refuse.
constexpr unsigned kCodePageOptions =
    kReadOptions | pugi::parse_declaration | pugi::parse_pi | pugi::parse_ws_pcdata_single;

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

// White space as the parser knows it.
bool IsBlank(char aChar) { return aChar == ' ' || aChar == '\t' || aChar == '\n' || aChar == '\r'; }
constexpr const char* kBlanks = " \t\n\r";

// Line ends as the parser leaves them in the texts it reads: CR LF and a lone CR become LF.
std::string WithParsedLineEnds(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] != '\r') {
      out += aText[i];
      continue;
    }
    out += '\n';
    if (i + 1 < aText.size() && aText[i + 1] == '\n') ++i;
  }
  return out;
}

// Whether aText holds aNeedle at or after aFrom. Searched by the needle's last character,
// which is rare in requests: memchr runs through a request several times faster than a
// search that stops at every "<".
bool Holds(const std::string& aText, size_t aFrom, std::string_view aNeedle) {
  const size_t lead = aNeedle.size() - 1;
  if (aFrom + lead >= aText.size()) return false;
  const char* p = aText.data() + aFrom + lead;
  const char* const end = aText.data() + aText.size();
  while ((p = static_cast<const char*>(std::memchr(p, aNeedle.back(), static_cast<size_t>(end - p)))) != nullptr) {
    if (std::string_view(p - lead, lead) == aNeedle.substr(0, lead)) return true;
    if (++p == end) return false;
  }
  return false;
}

enum class vnVisit { Keep, Remove };

// The first node after aNode's subtree in document order.
pugi::xml_node NextAfter(pugi::xml_node aNode) {
  while (aNode && !aNode.next_sibling()) aNode = aNode.parent();
  return aNode ? aNode.next_sibling() : pugi::xml_node();
}

// Visits every node of aDoc in document order, removing those aVisit answers Remove for
// (with their subtrees). Iterative: requests can nest deeply and the stack must not depend
// on the input.
template <class F>
void Prune(pugi::xml_document& aDoc, F aVisit) {
  pugi::xml_node node = aDoc.first_child();
  while (node) {
    switch (aVisit(node)) {
      case vnVisit::Keep:
        node = node.first_child() ? node.first_child() : NextAfter(node);
        break;
      case vnVisit::Remove: {
        const pugi::xml_node next = NextAfter(node);
        node.parent().remove_child(node);
        node = next;
        break;
      }
    }
  }
}

// Whether a text node was white space alone in aXml, which the readers' parse drops and the
// code-page parse keeps as an element's only content. Decided on the source: a blank text
// written as a character reference ("&#32;") is a text for both.
bool BlankInSource(pugi::xml_node aText, const std::string& aXml) {
  if (!IsBlank(*aText.value())) return false;
  const ptrdiff_t at = aText.offset_debug();
  if (at < 0) return false;
  size_t i = static_cast<size_t>(at);
  while (i < aXml.size() && IsBlank(aXml[i])) ++i;
  return i == aXml.size() || aXml[i] == '<' || aXml[i] == '\0';
}

// The declarations and processing instructions of a parse that kept them removed: those
// beside the root element, and when the text holds "<?" inside the root element, all.
void RemoveInstructions(pugi::xml_document& aDoc, const std::string& aXml) {
  for (pugi::xml_node node = aDoc.first_child(); node;) {
    const pugi::xml_node next = node.next_sibling();
    if (node.type() == pugi::node_declaration || node.type() == pugi::node_pi) aDoc.remove_child(node);
    node = next;
  }
  const ptrdiff_t root = aDoc.document_element().offset_debug();
  if (root >= 0 && !Holds(aXml, static_cast<size_t>(root), "<?")) return;
  Prune(aDoc, [](pugi::xml_node aNode) { return aNode.type() == pugi::node_pi ? vnVisit::Remove : vnVisit::Keep; });
}

// The code-page tree of the request as given, made the readers' tree: without declarations,
// processing instructions and blank texts.
void ToReadersTree(pugi::xml_document& aDoc, const std::string& aXml) {
  Prune(aDoc, [&aXml](pugi::xml_node aNode) {
    switch (aNode.type()) {
      case pugi::node_declaration:
      case pugi::node_pi: return vnVisit::Remove;
      case pugi::node_pcdata: return BlankInSource(aNode, aXml) ? vnVisit::Remove : vnVisit::Keep;
      default: return vnVisit::Keep;
    }
  });
}

// A CDATA text as the writer puts it: "]]>" cannot stand inside a section, so the text is cut
// after each "]]" and goes on in a new section. The sections before the last become nodes of
// their own in front of aNode, which keeps the last.
void SplitAsWritten(pugi::xml_node aNode) {
  const std::string text = aNode.value();
  size_t start = 0;
  for (size_t end; (end = text.find("]]>", start)) != std::string::npos; start = end + 2)
    aNode.parent()
        .insert_child_before(pugi::node_cdata, aNode)
        .set_value(WithParsedLineEnds(std::string_view(text).substr(start, end + 2 - start)).c_str());
  if (start > 0 || text.find('\r') != std::string::npos)
    aNode.set_value(WithParsedLineEnds(std::string_view(text).substr(start)).c_str());
}

// A comment as the writer puts it: "--" cannot stand inside one, nor "-" at its end, so such
// a "-" is followed by a blank.
std::string CommentAsWritten(std::string_view aText) {
  std::string out;
  for (size_t i = 0; i < aText.size(); ++i) {
    out += aText[i];
    if (aText[i] == '-' && (i + 1 == aText.size() || aText[i + 1] == '-')) out += ' ';
  }
  return WithParsedLineEnds(out);
}

// The re-decoded tree made what the readers' parse gives for it written back: declarations
// and processing instructions skipped (the writer keeps "?>" out of an instruction, so each
// ends where it did), blank texts dropped, line ends, CDATA sections and comments as they
// come back from the text.
void ToReadersTreeOfWrittenText(pugi::xml_document& aDoc) {
  Prune(aDoc, [](pugi::xml_node aNode) {
    const std::string_view value = aNode.value();
    switch (aNode.type()) {
      case pugi::node_declaration:
      case pugi::node_pi: return vnVisit::Remove;
      case pugi::node_pcdata:
        if (value.find_first_not_of(kBlanks) == std::string_view::npos) return vnVisit::Remove;
        if (value.find('\r') != std::string_view::npos) aNode.set_value(WithParsedLineEnds(value).c_str());
        return vnVisit::Keep;
      case pugi::node_cdata: SplitAsWritten(aNode); return vnVisit::Keep;
      case pugi::node_comment: {
        const std::string written = CommentAsWritten(value);
        if (written != value) aNode.set_value(written.c_str());
        return vnVisit::Keep;
      }
      default: return vnVisit::Keep;
    }
  });
}

}  // namespace

std::unique_ptr<pugi::xml_document> ParseRequest(const std::string& aXml) { return Parse(aXml, kReadOptions); }

std::unique_ptr<pugi::xml_document> ParseRequestWithCodePage(std::string& aXml, bool aKeepText) {
  // A request without "<CP" names no code page, and nothing is written back: it is parsed for
  // the readers straight away, checking declarations and instructions as the code-page parse
  // does, which are then removed. This spares the common request a walk of its whole tree.
  if (!Holds(aXml, 0, "<CP")) {
    std::unique_ptr<pugi::xml_document> doc = Parse(aXml, kReadOptions | pugi::parse_declaration | pugi::parse_pi);
    RemoveInstructions(*doc, aXml);
    return doc;
  }
  std::unique_ptr<pugi::xml_document> doc = Parse(aXml, kCodePageOptions);
  const pugi::xml_node root = doc->document_element();
  const std::string codePage = root.child("Parameters").child("CP").text().as_string();
  if (codePage.empty()) {
    ToReadersTree(*doc, aXml);
    return doc;
  }
  krptUtil::ChangeXMLEncoding(root, codePage);
  if (aKeepText) aXml = Written(*doc);
  ToReadersTreeOfWrittenText(*doc);
  return doc;
}

}  // namespace fp
