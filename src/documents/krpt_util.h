// krptUtil: the one place where request documents touch the XML tree. Typed readers of
// child elements, the codecs between enumeration texts and ordinals, the printable form of
// a text, and the code page repair of a request. No instance is ever made; every member is
// a stateless class function, safe on any thread.
//
// A child is found by exact, case-sensitive name, the first match counting. An element's
// value is its text: an element without content has no value (read as empty), an element
// whose content is not a single text node cannot be read and fails.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "base/amount.h"
#include "base/datetime.h"
#include "documents/enums.h"

namespace fp {

class krptUtil {
 public:
  krptUtil() = delete;

  // Node readers. A missing element gives the reader's default and never fails; a value
  // that does not convert throws kException with the reader's first line ("Error in
  // processing node <name> as <kind>.\r\n") followed by the conversion's message.
  static std::string GetNodeValueAsString(pugi::xml_node aParentNode, std::string_view aNodeName);
  // The same for an element already at hand: its value, failing with the same message.
  static std::string GetNodeValueAsString(pugi::xml_node aNode);
  static bool GetNodeValueAsBoolean(pugi::xml_node aParentNode, std::string_view aNodeName, bool aDefaultValue);
  static Amount GetNodeValueAsCurrency(pugi::xml_node aParentNode, std::string_view aNodeName);
  static int32_t GetNodeValueAsInteger(pugi::xml_node aParentNode, std::string_view aNodeName);
  static DateTime GetNodeValueAsDate(pugi::xml_node aParentNode, std::string_view aNodeName);
  static DateTime GetNodeValueAsDateTime(pugi::xml_node aParentNode, std::string_view aNodeName);
  // As GetNodeValueAsDateTime, but any failure gives 0.
  static DateTime TryGetNodeValueAsDateTime(pugi::xml_node aParentNode, std::string_view aNodeName);

  // The attribute's value, empty when it is absent.
  static std::string GetAttributeValueAsString(pugi::xml_node aNode, std::string_view aAttrName);
  static bool HasNode(pugi::xml_node aParentNode, std::string_view aNodeName);
  // The first child element named aNodeName, or a null node.
  static pugi::xml_node FindNode(pugi::xml_node aParentNode, std::string_view aNodeName);
  // Appends an element aNodeName with the text aNodeValue as the last child of aParentNode
  // and returns it.
  static pugi::xml_node AddNode(pugi::xml_node aParentNode, std::string_view aNodeName, std::string_view aNodeValue);

  // The value of an element as the readers see it: the text of its single text child, empty
  // when it has no content. Throws kException when the content is anything else.
  static std::string NodeValue(pugi::xml_node aNode);
  // The DOM name of any node: the element name, "#text", "#comment", "#cdata-section"...
  static std::string NodeName(pugi::xml_node aNode);

  // Codecs. Decoders lower-case the text (not trimmed) and throw kException with the
  // type's message quoting the lower-cased text; encoders give the written text, empty for
  // a value that has none.
  static vnReceiptType DecodeReceiptType(std::string_view aText);
  static std::string EncodeReceiptType(vnReceiptType aValue);
  static vnReceiptLineType DecodeLineType(std::string_view aText);
  static std::string EncodeLineType(vnReceiptLineType aValue);
  static vnReceiptPaymentType DecodePaymentType(std::string_view aText);
  static std::string EncodePaymentType(vnReceiptPaymentType aValue);
  static vnReceiptTaxType DecodeTaxType(std::string_view aText);
  static std::string EncodeTaxType(vnReceiptTaxType aValue);
  // Never fails: anything unknown (also empty) is rrt_OriginalReceipt.
  static vnReceiptReferenceType DecodeReferenceType(std::string_view aText);
  static std::string EncodeReferenceType(vnReceiptReferenceType aValue);
  // "na" and the empty text are cid_NA.
  static vnReceiptCustomerIdType DecodeCustomerIdType(std::string_view aText);
  static std::string EncodeCustomerIdType(vnReceiptCustomerIdType aValue);
  // Never fails: "product" is rla_Product, anything else rla_Service.
  static vnReceiptLineAttribute DecodeLineAttribute(std::string_view aText);
  // la_none cannot be decoded (the empty text fails) and encodes as empty text.
  static vnReceiptMessageLineAlignment DecodeAlignment(std::string_view aText);
  static std::string EncodeAlignment(vnReceiptMessageLineAlignment aValue);
  static vnReceiptMessageBarcodeType DecodeBarcodeType(std::string_view aText);
  static std::string EncodeBarcodeType(vnReceiptMessageBarcodeType aValue);
  static vnReceiptMessageLineEffect DecodeEffect(std::string_view aText);
  static std::string EncodeEffect(vnReceiptMessageLineEffect aValue);
  // Comma-separated effect names; the first empty token ends the list.
  static vnReceiptMessageLineEffectSet DecodeEffects(std::string_view aEffects);
  // Member names in ordinal order joined by ",", the empty set as empty text.
  static std::string EncodeEffects(vnReceiptMessageLineEffectSet aEffects);
  // The empty text is is_FileSystem.
  static vnReceiptMessageImageSource DecodeImageSource(std::string_view aText);
  static std::string EncodeImageSource(vnReceiptMessageImageSource aValue);
  static vnEJReportType DecodeEJReportType(std::string_view aText);
  static vnEJReportDestination DecodeEJReportDestination(std::string_view aText);
  static vnEJFilesRequestType DecodeEJRequestType(std::string_view aText);

  // The text as a printer without special characters can print it: every accented Latin
  // letter becomes its base letter in its own case (an accent typed as a combining mark
  // goes with it), the euro sign becomes "E", "TOTALE" becomes "TOT.", and every other
  // character below U+0020 or from U+0080 up becomes a blank. Apart from "TOTALE", each
  // character on paper keeps its column.
  static std::string NormalizeText(std::string_view aText);

  // Re-decodes every text value below aNode (attributes excepted): each value is encoded
  // to the process ANSI code page and, when aCharset is "gr" (any letter case), decoded
  // again as Windows-1253. Any other charset leaves the values unchanged. Throws
  // kException when the ANSI code page has no converter.
  static void ChangeXMLEncoding(pugi::xml_node aNode, std::string_view aCharset);
};

}  // namespace fp
