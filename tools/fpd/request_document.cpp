#include "request_document.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <set>
#include <sstream>

namespace fpd {

namespace {

constexpr const char* kRoot = "ReceiptPrinterManager";

// The device section is fpd's: a till that sends one would address another device.
const std::set<std::string> kDeviceSection{"Driver", "Handle", "Connection", "LogId", "Type", "Method"};

std::string Lower(std::string aText) {
  std::transform(aText.begin(), aText.end(), aText.begin(), [](unsigned char c) { return std::tolower(c); });
  return aText;
}

// Root, driver, LogId and connection of aPrinter; the handle when aHandle > 0.
pugi::xml_node DeviceSection(pugi::xml_document& aDoc, const kPrinterConfig& aPrinter, bool aWithHandle) {
  pugi::xml_node root = aDoc.append_child(kRoot);
  root.append_child("Driver").text().set(aPrinter.fDriver.c_str());
  if (aWithHandle) root.append_child("Handle").text().set(0);
  root.append_child("LogId").text().set(aPrinter.fName.c_str());
  pugi::xml_node connection = root.append_child("Connection");
  for (const auto& [name, value] : aPrinter.fConnection) connection.append_child(name.c_str()).text().set(value.c_str());
  return root;
}

// The printer's parameters after those of the till's own Parameters element (aOwn may be
// empty): the library finds the first of a name, so the till's value wins.
void AddParameters(pugi::xml_node aRoot, const kPrinterConfig& aPrinter, pugi::xml_node aOwn) {
  if (aPrinter.fParameters.empty() && !aOwn) return;
  pugi::xml_node parameters = aOwn ? aRoot.append_copy(aOwn) : aRoot.append_child("Parameters");
  std::set<std::string> given;
  for (pugi::xml_node p = parameters.first_child(); p; p = p.next_sibling())
    if (p.type() == pugi::node_element) given.insert(Lower(p.name()));
  for (const auto& [name, value] : aPrinter.fParameters)
    if (!given.count(Lower(name))) parameters.append_child(name.c_str()).text().set(value.c_str());
}

std::string Save(const pugi::xml_document& aDoc) {
  std::ostringstream out;
  aDoc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

const std::set<std::string> kListFields{"Text", "VATTable", "DeptTable"};

nlohmann::ordered_json Convert(pugi::xml_node aNode, bool aList) {
  std::vector<pugi::xml_node> children;
  for (pugi::xml_node c = aNode.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) children.push_back(c);
  if (children.empty() && !aList) return aNode.text().get();
  const bool oneName = std::all_of(children.begin(), children.end(),
                                   [&](pugi::xml_node c) { return std::string(c.name()) == children.front().name(); });
  if (aList || oneName) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (pugi::xml_node c : children) list.push_back(Convert(c, false));
    return list;
  }
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  for (pugi::xml_node c : children) object[c.name()] = Convert(c, false);
  return object;
}

}  // namespace

bool IsTillExport(const std::string& aName) {
  static const std::set<std::string> kExports{"PRINTFR",     "REPRINTFR",    "PRINTXR",      "PRINTZR",
                                              "PRINTNFR",    "DISPLAY",      "OPENDR",       "GETSTATUS",
                                              "SET",         "SETDATETIME",  "GETDRSTATUS",  "EJREPORT",
                                              "GETVATTABLE", "SETVATTABLE",  "GETDEPTTABLE", "SETDEPTTABLE",
                                              "PAY",         "GETLOTTERYRCPTSTATUS", "GETEJFILES"};
  return kExports.count(aName) != 0;
}

bool IsIdempotencyKey(const std::string& aKey) {
  if (aKey.empty() || aKey.size() > 64) return false;
  return std::all_of(aKey.begin(), aKey.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == ':';
  });
}

kPreparedRequest::kPreparedRequest(const kPrinterConfig& aPrinter, const std::string& aExport,
                                   const std::string& aBody, const std::string& aIdempotencyKey)
    : fDocument(std::make_unique<pugi::xml_document>()) {
  if (!IsUtf8(aBody)) throw kRequestError("the body is not UTF-8 text");
  pugi::xml_document body;
  const pugi::xml_parse_result parsed =
      body.load_buffer(aBody.data(), aBody.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
  if (!parsed) throw kRequestError(std::string("the body is not XML: ") + parsed.description() + " at offset " +
                                   std::to_string(parsed.offset));
  pugi::xml_node own;
  for (pugi::xml_node n = body.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
      const std::string text = n.value();
      if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }))
        throw kRequestError("the body has text outside an element");
    } else if (n.type() == pugi::node_element) {
      if (kDeviceSection.count(n.name()))
        throw kRequestError(std::string("<") + n.name() + "> is not for the till to send: fpd supplies the device section");
      if (std::string(n.name()) == "Parameters") {
        if (own) throw kRequestError("the body has two <Parameters> elements");
        own = n;
      }
    }
  }
  if (!aIdempotencyKey.empty()) {
    if (aExport != "PRINTFR") throw kRequestError("Idempotency-Key applies to receipts (PRINTFR) only");
    if (!IsIdempotencyKey(aIdempotencyKey))
      throw kRequestError("Idempotency-Key: 1 to 64 letters, digits, \"-\", \"_\", \".\" or \":\"");
    pugi::xml_node receipt = body.child("Receipt");
    if (!receipt) throw kRequestError("Idempotency-Key needs a <Receipt> in the body");
    pugi::xml_node reference = receipt.child("ExternalReference");
    const std::string given = reference.text().get();
    if (given.empty()) {
      if (!reference) reference = receipt.append_child("ExternalReference");
      reference.text().set(aIdempotencyKey.c_str());
    } else if (given != aIdempotencyKey) {
      throw kRequestError("Idempotency-Key differs from the receipt's ExternalReference");
    }
  }
  pugi::xml_node root = DeviceSection(*fDocument, aPrinter, true);
  AddParameters(root, aPrinter, own);
  for (pugi::xml_node n = body.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && n != own) root.append_copy(n);
}

kPreparedRequest::~kPreparedRequest() = default;
kPreparedRequest::kPreparedRequest(kPreparedRequest&&) noexcept = default;

std::string kPreparedRequest::Text(int aHandle) const {
  fDocument->child(kRoot).child("Handle").text().set(aHandle);
  return Save(*fDocument);
}

std::string OpenRequest(const kPrinterConfig& aPrinter, int aHandle) {
  pugi::xml_document doc;
  pugi::xml_node root = DeviceSection(doc, aPrinter, aHandle > 0);
  if (aHandle > 0) root.child("Handle").text().set(aHandle);
  AddParameters(root, aPrinter, pugi::xml_node());
  return Save(doc);
}

std::string HandleRequest(const kPrinterConfig& aPrinter, int aHandle) {
  pugi::xml_document doc;
  pugi::xml_node root = DeviceSection(doc, aPrinter, true);
  root.child("Handle").text().set(aHandle);
  AddParameters(root, aPrinter, pugi::xml_node());
  return Save(doc);
}

std::string ResultToJson(const std::string& aFragment) {
  pugi::xml_document doc;
  const std::string wrapped = "<r>" + aFragment + "</r>";
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  if (doc.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default, pugi::encoding_utf8)) {
    for (pugi::xml_node c = doc.child("r").first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element) object[c.name()] = Convert(c, kListFields.count(c.name()) != 0);
  } else {
    // The library always writes well-formed fragments; should one not be, the till still
    // gets the text rather than a made-up answer.
    object["Fragment"] = aFragment;
  }
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ResultElement(const std::string& aFragment, const std::string& aName) {
  pugi::xml_document doc;
  const std::string wrapped = "<r>" + aFragment + "</r>";
  if (!doc.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default, pugi::encoding_utf8)) return "";
  return doc.child("r").child(aName.c_str()).text().get();
}

bool IsUtf8(const std::string& aText) {
  const auto* p = reinterpret_cast<const unsigned char*>(aText.data());
  const auto* end = p + aText.size();
  while (p < end) {
    const unsigned char c = *p;
    size_t n = 0;
    uint32_t cp = 0;
    if (c < 0x80) { ++p; continue; }
    if ((c & 0xE0) == 0xC0) { n = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { n = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { n = 3; cp = c & 0x07; }
    else return false;
    if (static_cast<size_t>(end - p) <= n) return false;
    for (size_t i = 1; i <= n; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    p += n + 1;
  }
  return true;
}

}  // namespace fpd
