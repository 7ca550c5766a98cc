#include "request/request_parser.h"

#include "base/errors.h"
#include "documents/krpt_util.h"

namespace fp {

namespace {

// No DOCTYPE processing, so declared entities are never expanded. Comments stay in the tree:
// the readers walk every child where each one counts (a comment among the lines of a receipt
// is no line type) and pass them over where only elements do.
constexpr unsigned kReadOptions = pugi::parse_default | pugi::parse_comments;

// The code-page step's first parse also keeps declarations, processing instructions and
// single blank texts. It accepts no text that the readers' parse would refuse.
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

}  // namespace

std::unique_ptr<pugi::xml_document> ParseRequest(const std::string& aXml) { return Parse(aXml, kReadOptions); }

std::unique_ptr<pugi::xml_document> ParseRequestWithCodePage(std::string& aXml, bool aKeepText) {
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
