// Whether a result fragment is a document a host's XML parser takes: its elements nest and
// close (pugixml, with the fragment put under one root) and every character is one XML
// allows. pugixml checks neither UTF-8 nor characters, so those are checked here on their
// own: a strict UTF-8 decoder (no overlong forms, no surrogates) and the XML character
// ranges, without the non-characters no host should be given.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace fp::test {

// Empty when the fragment is well-formed; otherwise what is wrong and where.
inline std::string FragmentProblem(std::string_view aFragment) {
  const auto* s = reinterpret_cast<const unsigned char*>(aFragment.data());
  const size_t n = aFragment.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    char32_t cp;
    size_t len;
    if (c < 0x80) cp = c, len = 1;
    else if (c >= 0xC2 && c <= 0xDF) cp = c & 0x1F, len = 2;
    else if (c >= 0xE0 && c <= 0xEF) cp = c & 0x0F, len = 3;
    else if (c >= 0xF0 && c <= 0xF4) cp = c & 0x07, len = 4;
    else return "byte " + std::to_string(i) + " starts no UTF-8 character";
    if (i + len > n) return "byte " + std::to_string(i) + " starts a cut UTF-8 character";
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return "byte " + std::to_string(i) + " starts a broken UTF-8 character";
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[len] || cp > 0x10FFFF) return "byte " + std::to_string(i) + " is an overlong or too large form";
    const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                         (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
    const bool nonCharacter = (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
    if (!allowed || nonCharacter) return "byte " + std::to_string(i) + " holds a character XML cannot hold";
    i += len;
  }
  const std::string document = "<Result>" + std::string(aFragment) + "</Result>";
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(document.data(), document.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) return std::string(parsed.description()) + " at " + std::to_string(parsed.offset - 8);
  return {};
}

}  // namespace fp::test
