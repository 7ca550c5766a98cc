// Text inside the library is UTF-8 in std::string. Every operation the system defines by
// characters (lengths, positions, padding, cutting) goes through these functions, which
// count Unicode code points, never bytes. Invalid UTF-8 bytes count as one character each
// and come out of the UTF-16 conversion as U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fp {

// Code points of a UTF-8 text (an invalid byte is read as U+FFFD).
std::u32string Utf8ToUtf32(std::string_view aText);
std::string Utf32ToUtf8(std::u32string_view aText);
// UTF-16 conversion. A lone surrogate becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view aText);
std::string Utf16ToUtf8(std::u16string_view aText);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& aOut, char32_t aCodePoint);
// Decodes the code point at byte aPos and moves aPos past it. An invalid sequence gives
// U+FFFD and moves one byte on.
char32_t DecodeUtf8(std::string_view aText, size_t& aPos);
// Whether an XML document may hold the character: tab, line feed, carriage return and
// U+0020 upwards, but no surrogate and no non-character (U+FDD0..U+FDEF and the last two
// code points of every plane, U+FFFE and U+FFFF among them). Non-characters are allowed by
// the grammar in part, but parsers and hosts refuse them, so the library never writes one.
bool IsXmlCharacter(char32_t aChar);

// Number of characters.
size_t CharLength(std::string_view aText);
// aCount characters from the 0-based character position aPos (clamped to the text).
std::string CharSubstr(std::string_view aText, size_t aPos, size_t aCount = std::string::npos);
// The first aCount characters / the last aCount characters.
std::string CharLeft(std::string_view aText, size_t aCount);
std::string CharRight(std::string_view aText, size_t aCount);
// Pads with aFill on the right (left) up to aWidth characters; a longer text is unchanged.
std::string PadRight(std::string_view aText, size_t aWidth, char aFill = ' ');
std::string PadLeft(std::string_view aText, size_t aWidth, char aFill = ' ');

// Case mapping of every Unicode letter (through the C.UTF-8 character classes, which do
// not depend on the process locale); ASCII maps as usual.
std::string LowerCase(std::string_view aText);
std::string UpperCase(std::string_view aText);
// Case-insensitive equality under LowerCase.
bool SameText(std::string_view a, std::string_view b);

// Removes characters at or below U+0020 from both ends (Trim), the left (TrimLeft) or the right.
std::string Trim(std::string_view aText);
std::string TrimLeft(std::string_view aText);
std::string TrimRight(std::string_view aText);

// Calls aLine with each line of aText, split at CR LF, a lone LF or a lone CR. A final line
// break ends the last line without starting an empty one, so "a\r\nb\r\n" has two lines
// and the empty text none. CountTextLines gives their number.
template <typename F>
void ForEachTextLine(std::string_view aText, F aLine) {
  size_t start = 0;
  size_t i = 0;
  while (i < aText.size()) {
    const char c = aText[i];
    if (c == '\r' || c == '\n') {
      aLine(aText.substr(start, i - start));
      if (c == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < aText.size()) aLine(aText.substr(start));
}
size_t CountTextLines(std::string_view aText);

std::string ReplaceAll(std::string_view aText, std::string_view aFrom, std::string_view aTo);
std::vector<std::string> Split(std::string_view aText, char aSeparator);
bool StartsWith(std::string_view aText, std::string_view aPrefix);

}  // namespace fp
