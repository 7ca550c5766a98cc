// Small pieces shared by the readers and writers of the non-receipt request documents:
// finding a document's element below the request root, splitting a multi-line text and
// writing a fresh XML document back as text.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace fp {

// The request's document element. Readers are handed either the parsed document itself
// or its document element; both lead to the same element.
pugi::xml_node RequestDocumentElement(pugi::xml_node aXmlDocument);

// The first child element named exactly aName of the request's document element (the
// document element itself never counts); a null node when there is none.
pugi::xml_node FindRequestElement(pugi::xml_node aXmlDocument, const char* aName);

// Splits a text into lines at CR LF, a lone LF or a lone CR. A final line break ends the
// last line without starting an empty one, so "a\r\nb\r\n" gives two lines and the empty
// text none; this keeps a list written line by line with CR LF unchanged when read back.
std::vector<std::string> SplitTextLines(std::string_view aText);

// Starts a new document with the declaration version "1.0", encoding "utf-8" and the
// document element aRootName, which it returns.
pugi::xml_node StartXmlDocument(pugi::xml_document& aDoc, const char* aRootName);

// The document as XML text, as the XML library lays it out by default (indented).
std::string XmlDocumentText(const pugi::xml_document& aDoc);

}  // namespace fp
