// The ABI tests' host client (support/host_client.h) with the tests' own text helpers: their
// own UTF-8 <-> UTF-16 conversion, independent of the library's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fpdriver/fpdriver.h"
#include "support/host_client.h"

namespace abitest {

using ExportFn = int16_t (*)(BSTR, BSTR*, BSTR*);
using ExportFn32 = uint32_t (*)(BSTR, BSTR*, BSTR*);

// UTF-8 <-> UTF-16 for the test's own texts (BMP only).
inline std::u16string U16(const std::string& aText) {
  std::u16string out;
  for (size_t i = 0; i < aText.size();) {
    unsigned char c = aText[i];
    if (c < 0x80) {
      out += char16_t(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0) {
      out += char16_t(((c & 0x1F) << 6) | (aText[i + 1] & 0x3F));
      i += 2;
    } else {
      out += char16_t(((c & 0x0F) << 12) | ((aText[i + 1] & 0x3F) << 6) | (aText[i + 2] & 0x3F));
      i += 3;
    }
  }
  return out;
}

inline std::string U8(const char16_t* aText, size_t aLength) {
  std::string out;
  for (size_t i = 0; i < aLength; ++i) {
    char16_t c = aText[i];
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

inline std::string Escaped(const std::string& aText) {
  std::string out;
  for (char c : aText) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

using fp::test::Answer;
using fp::test::Library;

// The library's own log goes below the test's temporary folder, out of the build tree: set
// before the first call loads the library.
inline const bool kLogsInTempDir = (setenv("FPDRIVER_APP_DIR", testing::TempDir().c_str(), 0), true);

}  // namespace abitest
