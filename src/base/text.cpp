#include "base/text.h"

#include "base/platform.h"


namespace fp {

namespace {

// Decodes one code point at aPos, advancing it; invalid sequences yield U+FFFD for one byte.
char32_t DecodeOne(std::string_view s, size_t& aPos) {
  unsigned char c = static_cast<unsigned char>(s[aPos]);
  if (c < 0x80) {
    ++aPos;
    return c;
  }
  int len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
    min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
    min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
    min = 0x10000;
  } else {
    ++aPos;
    return 0xFFFD;
  }
  if (aPos + len > s.size()) {
    ++aPos;
    return 0xFFFD;
  }
  for (int i = 1; i < len; ++i) {
    unsigned char cc = static_cast<unsigned char>(s[aPos + i]);
    if ((cc & 0xC0) != 0x80) {
      ++aPos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++aPos;
    return 0xFFFD;
  }
  aPos += len;
  return cp;
}

// Byte offset of character aChars (clamped to the end).
size_t ByteOffset(std::string_view s, size_t aChars) {
  size_t pos = 0;
  while (aChars > 0 && pos < s.size()) {
    DecodeOne(s, pos);
    --aChars;
  }
  return pos;
}

template <typename F>
std::string MapChars(std::string_view aText, F aMap) {
  std::string out;
  out.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    unsigned char c = static_cast<unsigned char>(aText[pos]);
    if (c < 0x80) {
      out += static_cast<char>(aMap(c));
      ++pos;
      continue;
    }
    size_t start = pos;
    char32_t cp = DecodeOne(aText, pos);
    if (cp == 0xFFFD && pos == start + 1) {
      out += aText[start];  // keep an invalid byte as it is
      continue;
    }
    AppendUtf8(out, aMap(cp));
  }
  return out;
}

bool IsBlankOrControl(char32_t c) { return c <= 0x20; }

}  // namespace

char32_t DecodeUtf8(std::string_view aText, size_t& aPos) { return DecodeOne(aText, aPos); }

bool IsXmlCharacter(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  if (c >= 0xFDD0 && c <= 0xFDEF) return false;
  if ((c & 0xFFFE) == 0xFFFE) return false;
  return c <= 0x10FFFF;
}

void AppendUtf8(std::string& aOut, char32_t cp) {
  if (cp < 0x80) {
    aOut += static_cast<char>(cp);
  } else if (cp < 0x800) {
    aOut += static_cast<char>(0xC0 | (cp >> 6));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    aOut += static_cast<char>(0xE0 | (cp >> 12));
    aOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    aOut += static_cast<char>(0xF0 | (cp >> 18));
    aOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    aOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::u32string Utf8ToUtf32(std::string_view aText) {
  std::u32string out;
  out.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) out += DecodeOne(aText, pos);
  return out;
}

std::string Utf32ToUtf8(std::u32string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (char32_t c : aText) AppendUtf8(out, (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) ? 0xFFFD : c);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view aText) {
  std::u16string out;
  out.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    char32_t cp = DecodeOne(aText, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    char32_t c = aText[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 && aText[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

size_t CharLength(std::string_view aText) {
  size_t n = 0, pos = 0;
  while (pos < aText.size()) {
    DecodeOne(aText, pos);
    ++n;
  }
  return n;
}

std::string CharSubstr(std::string_view aText, size_t aPos, size_t aCount) {
  size_t start = ByteOffset(aText, aPos);
  std::string_view rest = aText.substr(start);
  size_t end = aCount == std::string::npos ? rest.size() : ByteOffset(rest, aCount);
  return std::string(rest.substr(0, end));
}

std::string CharLeft(std::string_view aText, size_t aCount) { return CharSubstr(aText, 0, aCount); }

std::string CharRight(std::string_view aText, size_t aCount) {
  size_t len = CharLength(aText);
  return aCount >= len ? std::string(aText) : CharSubstr(aText, len - aCount);
}

std::string PadRight(std::string_view aText, size_t aWidth, char aFill) {
  std::string out(aText);
  size_t len = CharLength(aText);
  if (len < aWidth) out.append(aWidth - len, aFill);
  return out;
}

std::string PadLeft(std::string_view aText, size_t aWidth, char aFill) {
  size_t len = CharLength(aText);
  std::string out = len < aWidth ? std::string(aWidth - len, aFill) : std::string();
  out += aText;
  return out;
}

std::string LowerCase(std::string_view aText) {
  return MapChars(aText, [](char32_t c) -> char32_t {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return LowerCaseChar(c);
  });
}

std::string UpperCase(std::string_view aText) {
  return MapChars(aText, [](char32_t c) -> char32_t {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    return UpperCaseChar(c);
  });
}

bool SameText(std::string_view a, std::string_view b) { return LowerCase(a) == LowerCase(b); }

std::string TrimLeft(std::string_view aText) {
  size_t i = 0;
  while (i < aText.size() && IsBlankOrControl(static_cast<unsigned char>(aText[i]))) ++i;
  return std::string(aText.substr(i));
}

std::string TrimRight(std::string_view aText) {
  size_t n = aText.size();
  while (n > 0 && IsBlankOrControl(static_cast<unsigned char>(aText[n - 1]))) --n;
  return std::string(aText.substr(0, n));
}

std::string Trim(std::string_view aText) { return TrimLeft(TrimRight(aText)); }

size_t CountTextLines(std::string_view aText) {
  size_t count = 0;
  ForEachTextLine(aText, [&](std::string_view) { ++count; });
  return count;
}

std::string ReplaceAll(std::string_view aText, std::string_view aFrom, std::string_view aTo) {
  if (aFrom.empty()) return std::string(aText);
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = aText.find(aFrom, pos);
    if (hit == std::string_view::npos) break;
    out.append(aText.substr(pos, hit - pos));
    out.append(aTo);
    pos = hit + aFrom.size();
  }
  out.append(aText.substr(pos));
  return out;
}

std::vector<std::string> Split(std::string_view aText, char aSeparator) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (true) {
    size_t hit = aText.find(aSeparator, pos);
    if (hit == std::string_view::npos) {
      parts.emplace_back(aText.substr(pos));
      return parts;
    }
    parts.emplace_back(aText.substr(pos, hit - pos));
    pos = hit + 1;
  }
}

bool StartsWith(std::string_view aText, std::string_view aPrefix) { return aText.substr(0, aPrefix.size()) == aPrefix; }

}  // namespace fp
