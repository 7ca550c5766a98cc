// The parse of a request text, and the code-page step that some exports apply to the
// parsed request before it is read.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

namespace fp {

// Parses a request text into the tree the readers take. Throws kException with the parser's
// message and offset for text that is not well-formed XML.
std::unique_ptr<pugi::xml_document> ParseRequest(const std::string& aXml);

// Parses a request text with the code-page step: when the request's Parameters/CP holds a
// code page name, the request's texts are re-decoded by it (krptUtil::ChangeXMLEncoding), the
// re-decoded document is written back as text and that text is parsed as ParseRequest
// parses; with aKeepText, aXml becomes that text. Without a code page the request is parsed
// once: the tree is the one ParseRequest makes of the request as given, and aXml stays.
// Throws kException with the parser's message, or the converter's.
std::unique_ptr<pugi::xml_document> ParseRequestWithCodePage(std::string& aXml, bool aKeepText);

}  // namespace fp
