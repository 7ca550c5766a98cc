#include "documents/krpt_util.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "documents/receipt_line_types.h"

namespace fp {

namespace {

// ---------------------------------------------------------------------------------------
// Reading values

bool IsTextNode(pugi::xml_node aNode) {
  return aNode.type() == pugi::node_pcdata || aNode.type() == pugi::node_cdata;
}

// Replaces the first "%s" of aTemplate by aValue.
std::string Format1(std::string_view aTemplate, std::string_view aValue) {
  std::string out(aTemplate);
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, aValue);
  return out;
}

// Runs a conversion of the value of aNode and wraps its failure with the reader's template.
template <typename F>
auto Convert(pugi::xml_node aNode, std::string_view aNodeName, std::string_view aTemplate, F aConvert) {
  try {
    return aConvert(krptUtil::NodeValue(aNode));
  } catch (const kException& e) {
    throw kException(Format1(aTemplate, aNodeName) + e.what());
  }
}

// A floating-point number as a Boolean reads it: blanks around it, optional sign, digits
// with an optional fraction and exponent. Names such as "inf" or "nan" are no numbers.
std::optional<double> ParseFloat(std::string_view aText) {
  std::string_view s = aText;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || !((s.front() >= '0' && s.front() <= '9') || s.front() == '.')) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
  // A value beyond the double range is still a number, and certainly not zero.
  if (ec == std::errc::result_out_of_range) return negative ? -1.0 : 1.0;
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return negative ? -value : value;
}

// ---------------------------------------------------------------------------------------
// Codec tables: the accepted lower-case text of every ordinal and the written text.

struct Entry {
  const char* accepted;  // null: the value can't be decoded from any text
  const char* written;
};

template <size_t N>
int Lookup(const std::array<Entry, N>& aTable, std::string_view aLowerText) {
  for (size_t i = 0; i < N; ++i)
    if (aTable[i].accepted != nullptr && aLowerText == aTable[i].accepted) return static_cast<int>(i);
  return -1;
}

template <size_t N>
std::string Written(const std::array<Entry, N>& aTable, unsigned aOrdinal) {
  return aOrdinal < N ? aTable[aOrdinal].written : "";
}

template <typename E, size_t N>
E Decode(const std::array<Entry, N>& aTable, std::string_view aText, std::string_view aMessage) {
  std::string lower = LowerCase(aText);
  int i = Lookup(aTable, lower);
  if (i < 0) throw kException(Format1(aMessage, lower));
  return static_cast<E>(i);
}

constexpr std::array<Entry, 5> kReceiptTypes{{{"sale", "Sale"},
                                               {"refund", "Refund"},
                                               {"void", "Void"},
                                               {"invoicesale", "InvoiceSale"},
                                               {"invoicesalefromreceipt", "InvoiceSaleFromReceipt"}}};

constexpr std::array<Entry, 12> kPaymentTypes{{{"cash", "cash"},
                                               {"cheque", "cheque"},
                                               {"creditcard", "creditcard"},
                                               {"debitcard", "debitcard"},
                                               {"credit", "credit"},
                                               {"creditonproducts", "creditonproducts"},
                                               {"creditonservices", "creditonservices"},
                                               {"giftcard", "giftcard"},
                                               {"voucher", "voucher"},
                                               {"mealvoucher", "mealvoucher"},
                                               {"nhscard", "nhscard"},
                                               {"change", "change"}}};

constexpr std::array<Entry, 2> kTaxTypes{{{"vat", "VAT"}, {"salestax", "SalesTax"}}};

constexpr std::array<Entry, 4> kReferenceTypes{{{"originalreceipt", "OriginalReceipt"},
                                                {"eftreceipt", "EFTReceipt"},
                                                {"notavailable", "NotAvailable"},
                                                {"empties", "Empties"}}};

constexpr std::array<Entry, 3> kCustomerIdTypes{{{"na", ""}, {"passport", "passport"}, {"nationalid", "nationalid"}}};

// la_none has no text: no input decodes to it (the empty text fails) and it encodes as
// empty text.
constexpr std::array<Entry, 4> kAlignments{{{nullptr, ""}, {"right", "right"}, {"center", "center"}, {"left", "left"}}};

constexpr std::array<Entry, 8> kBarcodeTypes{{{"ean13", "ean13"},
                                              {"ean8", "ean8"},
                                              {"code39", "code39"},
                                              {"code128", "code128"},
                                              {"qrcode", "qrcode"},
                                              {"upca", "upca"},
                                              {"upce", "upce"},
                                              {"interleaved2of5", "interleaved2of5"}}};

constexpr std::array<Entry, 8> kEffects{{{"bold", "bold"},
                                         {"italic", "italic"},
                                         {"underline", "underline"},
                                         {"doubleheight", "doubleheight"},
                                         {"doublewidth", "doublewidth"},
                                         {"doublesize", "doublesize"},
                                         {"invertcolors", "invertcolors"},
                                         {"condensed", "condensed"}}};

constexpr std::array<Entry, 2> kImageSources{{{"resource", "resource"}, {"filesystem", "filesystem"}}};

constexpr std::array<Entry, 5> kEJReportTypes{{{"zreport", ""},
                                               {"fiscalreceipt", ""},
                                               {"nonfiscalreceipt", ""},
                                               {"creditnote", ""},
                                               {"invoice", ""}}};

constexpr std::array<Entry, 2> kEJReportDestinations{{{"printer", ""}, {"memory", ""}}};

constexpr std::array<Entry, 1> kEJRequestTypes{{{"xml", ""}}};

// ---------------------------------------------------------------------------------------
// Code page conversion through iconv.

class Converter {
 public:
  Converter(const std::string& aTo, const std::string& aFrom) : fHandle(iconv_open(aTo.c_str(), aFrom.c_str())) {}
  ~Converter() {
    if (Ok()) iconv_close(fHandle);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ok() const { return fHandle != reinterpret_cast<iconv_t>(-1); }

  // Converts aInput; an input sequence the target cannot hold is replaced by aSubstitute
  // and the conversion goes on after it, as the platform's converters do.
  std::string Run(std::string_view aInput, std::string_view aSubstitute, size_t aSkip) {
    iconv(fHandle, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    std::vector<char> in(aInput.begin(), aInput.end());
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      size_t rc = iconv(fHandle, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, outPtr - buffer);
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: skip the unconvertible unit and put the substitute in its place.
      out.append(aSubstitute);
      size_t skip = aSkip ? aSkip : Utf8UnitLength(inPtr, inLeft);
      if (skip > inLeft) skip = inLeft;
      inPtr += skip;
      inLeft -= skip;
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(fHandle, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    return out;
  }

 private:
  // Length of the UTF-8 sequence at aText (1 for a byte that starts none).
  static size_t Utf8UnitLength(const char* aText, size_t aLeft) {
    unsigned char c = static_cast<unsigned char>(aText[0]);
    size_t n = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (n > aLeft) return 1;
    for (size_t i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(aText[i]) & 0xC0) != 0x80) return 1;
    return n;
  }

  iconv_t fHandle;
};

std::string IconvName(int aCodePage) {
  if (aCodePage == 65001) return "UTF-8";
  return "CP" + std::to_string(aCodePage);
}

}  // namespace

// -----------------------------------------------------------------------------------------
// Node access

std::string krptUtil::NodeName(pugi::xml_node aNode) {
  switch (aNode.type()) {
    case pugi::node_element:
    case pugi::node_pi:
      return aNode.name();
    case pugi::node_pcdata:
      return "#text";
    case pugi::node_cdata:
      return "#cdata-section";
    case pugi::node_comment:
      return "#comment";
    case pugi::node_document:
      return "#document";
    case pugi::node_doctype:
      return "#doctype";
    case pugi::node_declaration:
      return "xml";
    default:
      return "";
  }
}

std::string krptUtil::NodeValue(pugi::xml_node aNode) {
  pugi::xml_node first = aNode.first_child();
  if (!first) return "";
  if (IsTextNode(first) && !first.next_sibling()) return first.value();
  throw kException("Element \"" + std::string(aNode.name()) + "\" does not contain a single text node");
}

std::string krptUtil::GetNodeValueAsString(pugi::xml_node aParentNode, std::string_view aNodeName) {
  pugi::xml_node node = FindNode(aParentNode, aNodeName);
  if (!node) return "";
  return GetNodeValueAsString(node);
}

std::string krptUtil::GetNodeValueAsString(pugi::xml_node aNode) {
  return Convert(aNode, aNode.name(), "Error in processing node %s as string.\r\n", [](std::string v) { return v; });
}

bool krptUtil::GetNodeValueAsBoolean(pugi::xml_node aParentNode, std::string_view aNodeName, bool aDefaultValue) {
  pugi::xml_node node = FindNode(aParentNode, aNodeName);
  if (!node) return aDefaultValue;
  return Convert(node, aNodeName, "Error in processing node %s as boolean.\r\n", [](const std::string& v) {
    if (SameText(v, "true")) return true;
    if (SameText(v, "false")) return false;
    if (auto number = ParseFloat(v)) return *number != 0;
    throw kException("'" + v + "' is not a valid boolean value");
  });
}

Amount krptUtil::GetNodeValueAsCurrency(pugi::xml_node aParentNode, std::string_view aNodeName) {
  pugi::xml_node node = FindNode(aParentNode, aNodeName);
  if (!node) return Amount();
  return Convert(node, aNodeName, "Error in processing node %s as currency.\r\n", [](const std::string& v) {
    if (v.empty()) return Amount();
    if (auto value = Amount::Parse(v)) return *value;
    throw kException("'" + v + "' is not a valid floating point value");
  });
}

int32_t krptUtil::GetNodeValueAsInteger(pugi::xml_node aParentNode, std::string_view aNodeName) {
  pugi::xml_node node = FindNode(aParentNode, aNodeName);
  if (!node) return 0;
  return Convert(node, aNodeName, "Error in processing node %s as integer.\r\n", [](const std::string& v) {
    if (v.empty()) return int32_t{0};
    if (auto value = ParseXmlInteger(v)) return *value;
    throw kException("'" + v + "' is not a valid integer value");
  });
}

DateTime krptUtil::GetNodeValueAsDate(pugi::xml_node aParentNode, std::string_view aNodeName) {
  pugi::xml_node node = FindNode(aParentNode, aNodeName);
  if (!node) return 0;
  return Convert(node, aNodeName, "Error in processing node %s as date.\r\n",
                 [](const std::string& v) { return XmlTextToDate(v); });
}

DateTime krptUtil::GetNodeValueAsDateTime(pugi::xml_node aParentNode, std::string_view aNodeName) {
  pugi::xml_node node = FindNode(aParentNode, aNodeName);
  if (!node) return 0;
  return Convert(node, aNodeName, "Error in processing node %s as datetime.\r\n",
                 [](const std::string& v) { return XmlTextToDateTime(v); });
}

DateTime krptUtil::TryGetNodeValueAsDateTime(pugi::xml_node aParentNode, std::string_view aNodeName) {
  try {
    return GetNodeValueAsDateTime(aParentNode, aNodeName);
  } catch (const kException&) {
    return 0;
  }
}

std::string krptUtil::GetAttributeValueAsString(pugi::xml_node aNode, std::string_view aAttrName) {
  for (pugi::xml_attribute a = aNode.first_attribute(); a; a = a.next_attribute())
    if (aAttrName == a.name()) return a.value();
  return "";
}

pugi::xml_node krptUtil::FindNode(pugi::xml_node aParentNode, std::string_view aNodeName) {
  for (pugi::xml_node child = aParentNode.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && aNodeName == child.name()) return child;
  return {};
}

bool krptUtil::HasNode(pugi::xml_node aParentNode, std::string_view aNodeName) {
  return static_cast<bool>(FindNode(aParentNode, aNodeName));
}

pugi::xml_node krptUtil::AddNode(pugi::xml_node aParentNode, std::string_view aNodeName, std::string_view aNodeValue) {
  pugi::xml_node node = aParentNode.append_child(std::string(aNodeName).c_str());
  if (!node) throw kException("Unable to add node " + std::string(aNodeName));
  if (!aNodeValue.empty()) node.append_child(pugi::node_pcdata).set_value(std::string(aNodeValue).c_str());
  return node;
}

// -----------------------------------------------------------------------------------------
// Codecs

vnReceiptType krptUtil::DecodeReceiptType(std::string_view aText) {
  return Decode<vnReceiptType>(kReceiptTypes, aText, "ReceiptType %s is invalid");
}
std::string krptUtil::EncodeReceiptType(vnReceiptType aValue) { return Written(kReceiptTypes, aValue); }

// Line types are named by the one list of line types.
vnReceiptLineType krptUtil::DecodeLineType(std::string_view aText) { return ReceiptLineTypeNamed(aText); }
std::string krptUtil::EncodeLineType(vnReceiptLineType aValue) { return ReceiptLineElement(aValue); }

vnReceiptPaymentType krptUtil::DecodePaymentType(std::string_view aText) {
  return Decode<vnReceiptPaymentType>(kPaymentTypes, aText, "PaymentType %s is invalid");
}
std::string krptUtil::EncodePaymentType(vnReceiptPaymentType aValue) { return Written(kPaymentTypes, aValue); }

vnReceiptTaxType krptUtil::DecodeTaxType(std::string_view aText) {
  return Decode<vnReceiptTaxType>(kTaxTypes, aText, "TaxType %s is invalid");
}
std::string krptUtil::EncodeTaxType(vnReceiptTaxType aValue) { return Written(kTaxTypes, aValue); }

vnReceiptReferenceType krptUtil::DecodeReferenceType(std::string_view aText) {
  // "originalreceipt" is the fallback anyway, so every input maps somewhere.
  int i = Lookup(kReferenceTypes, LowerCase(aText));
  return i < 0 ? rrt_OriginalReceipt : static_cast<vnReceiptReferenceType>(i);
}
std::string krptUtil::EncodeReferenceType(vnReceiptReferenceType aValue) { return Written(kReferenceTypes, aValue); }

vnReceiptCustomerIdType krptUtil::DecodeCustomerIdType(std::string_view aText) {
  if (aText.empty()) return cid_NA;
  return Decode<vnReceiptCustomerIdType>(kCustomerIdTypes, aText, "CustomerIdType %s is invalid");
}
std::string krptUtil::EncodeCustomerIdType(vnReceiptCustomerIdType aValue) {
  return Written(kCustomerIdTypes, aValue);
}

vnReceiptLineAttribute krptUtil::DecodeLineAttribute(std::string_view aText) {
  return LowerCase(aText) == "product" ? rla_Product : rla_Service;
}

vnReceiptMessageLineAlignment krptUtil::DecodeAlignment(std::string_view aText) {
  return Decode<vnReceiptMessageLineAlignment>(kAlignments, aText, "Alignment %s is invalid");
}
std::string krptUtil::EncodeAlignment(vnReceiptMessageLineAlignment aValue) { return Written(kAlignments, aValue); }

vnReceiptMessageBarcodeType krptUtil::DecodeBarcodeType(std::string_view aText) {
  return Decode<vnReceiptMessageBarcodeType>(kBarcodeTypes, aText, "BarcodeType %s is invalid");
}
std::string krptUtil::EncodeBarcodeType(vnReceiptMessageBarcodeType aValue) { return Written(kBarcodeTypes, aValue); }

vnReceiptMessageLineEffect krptUtil::DecodeEffect(std::string_view aText) {
  return Decode<vnReceiptMessageLineEffect>(kEffects, aText, "Effect %s is invalid");
}
std::string krptUtil::EncodeEffect(vnReceiptMessageLineEffect aValue) { return Written(kEffects, aValue); }

vnReceiptMessageLineEffectSet krptUtil::DecodeEffects(std::string_view aEffects) {
  vnReceiptMessageLineEffectSet set = 0;
  size_t start = 0;
  while (start <= aEffects.size()) {
    size_t comma = aEffects.find(',', start);
    std::string_view token = aEffects.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                      : comma - start);
    if (token.empty()) break;
    set |= EffectBit(DecodeEffect(token));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return set;
}

std::string krptUtil::EncodeEffects(vnReceiptMessageLineEffectSet aEffects) {
  std::string out;
  for (unsigned i = 0; i < kEffects.size(); ++i) {
    if (!HasEffect(aEffects, static_cast<vnReceiptMessageLineEffect>(i))) continue;
    if (!out.empty()) out += ',';
    out += kEffects[i].written;
  }
  return out;
}

vnReceiptMessageImageSource krptUtil::DecodeImageSource(std::string_view aText) {
  if (aText.empty()) return is_FileSystem;
  return Decode<vnReceiptMessageImageSource>(kImageSources, aText, "Image Source %s is invalid");
}
std::string krptUtil::EncodeImageSource(vnReceiptMessageImageSource aValue) { return Written(kImageSources, aValue); }

vnEJReportType krptUtil::DecodeEJReportType(std::string_view aText) {
  return Decode<vnEJReportType>(kEJReportTypes, aText, "ReportType %s is invalid");
}

vnEJReportDestination krptUtil::DecodeEJReportDestination(std::string_view aText) {
  return Decode<vnEJReportDestination>(kEJReportDestinations, aText, "ReportDestination %s is invalid");
}

vnEJFilesRequestType krptUtil::DecodeEJRequestType(std::string_view aText) {
  return Decode<vnEJFilesRequestType>(kEJRequestTypes, aText, "ReferenceType %s is invalid");
}

// -----------------------------------------------------------------------------------------
// Printable text

namespace {

// The base letter of each accented Latin letter from U+00C0 to U+017F, a blank where the
// character is no accented letter (a ligature, a sign, a letter of its own such as the
// sharp s or the thorn), sixteen characters a row.
constexpr std::string_view kLatinBaseLetters =
    "AAAAAA CEEEEIIII"  // U+00C0
    "DNOOOOO OUUUUY  "  // U+00D0
    "aaaaaa ceeeeiiii"  // U+00E0
    "dnooooo ouuuuy y"  // U+00F0
    "AaAaAaCcCcCcCcDd"  // U+0100
    "DdEeEeEeEeEeGgGg"  // U+0110
    "GgGgHhHhIiIiIiIi"  // U+0120
    "Ii  JjKk LlLlLlL"  // U+0130
    "lLlNnNnNnn  OoOo"  // U+0140
    "Oo  RrRrRrSsSsSs"  // U+0150
    "SsTtTtTtUuUuUuUu"  // U+0160
    "UuUuWwYyYZzZzZz ";  // U+0170
constexpr char32_t kLatinBaseFirst = 0x00C0;
static_assert(kLatinBaseLetters.size() == 0x0180 - kLatinBaseFirst);

// The letter a printer without special characters can print for aChar: its base letter,
// or 0 when it has none.
char32_t BaseLetter(char32_t aChar) {
  if (aChar >= kLatinBaseFirst && aChar < kLatinBaseFirst + kLatinBaseLetters.size()) {
    const char base = kLatinBaseLetters[aChar - kLatinBaseFirst];
    return base == ' ' ? 0 : static_cast<char32_t>(base);
  }
  switch (aChar) {
    case U'\u0218': return U'S';  // comma below, Romanian
    case U'\u0219': return U's';
    case U'\u021A': return U'T';
    case U'\u021B': return U't';
    default: return 0;
  }
}

// Accents typed as a separate combining mark after their letter (U+0300 to U+036F).
bool IsCombiningAccent(char32_t aChar) { return aChar >= 0x0300 && aChar <= 0x036F; }

}  // namespace

std::string krptUtil::NormalizeText(std::string_view aText) {
  // Accented letters first, so an accented "TOTALÈ" becomes "TOT." as well. An accent
  // written as a combining mark leaves with its letter: one letter on paper, one column.
  std::u32string s;
  s.reserve(aText.size());
  for (char32_t c : Utf8ToUtf32(aText)) {
    if (IsCombiningAccent(c) && !s.empty()) continue;
    if (c == U'\u20AC') c = U'E';
    else if (char32_t base = BaseLetter(c)) c = base;
    s += c;
  }
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (s.compare(i, 6, U"TOTALE") == 0) {
      out += U"TOT.";
      i += 6;
      continue;
    }
    char32_t c = s[i++];
    out += (c < 0x20 || c >= 0x80) ? U' ' : c;
  }
  return Utf32ToUtf8(out);
}

// -----------------------------------------------------------------------------------------
// Code page repair

void krptUtil::ChangeXMLEncoding(pugi::xml_node aNode, std::string_view aCharset) {
  // Only the Greek charset is re-decoded; any other charset would take the ANSI bytes
  // back to the same text, so it leaves the tree as it is.
  if (!aNode || LowerCase(aCharset) != "gr") return;
  const int codePage = AnsiCodePage();
  Converter toAnsi(IconvName(codePage), "UTF-8");
  if (!toAnsi.Ok()) throw kException("Code page " + std::to_string(codePage) + " is not supported");
  Converter fromGreek("UTF-8", "CP1253");
  if (!fromGreek.Ok()) throw kException("Code page 1253 is not supported");

  auto recode = [&](pugi::xml_node aLeaf) {
    std::string value = aLeaf.value();
    if (value.empty()) return;
    // Characters the code page cannot hold become "?", bytes Windows-1253 leaves undefined
    // become U+FFFD, as the platform's converters do.
    aLeaf.set_value(fromGreek.Run(toAnsi.Run(value, "?", 0), "\xEF\xBF\xBD", 1).c_str());
  };
  // Iterative walk over the subtree: requests can nest deeply and the stack must not
  // depend on the input.
  pugi::xml_node node = aNode;
  for (;;) {
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    recode(node);
    // Climb until a next sibling exists, never above aNode.
    while (node != aNode && !node.next_sibling()) node = node.parent();
    if (node == aNode) return;
    node = node.next_sibling();
  }
}

}  // namespace fp
