// libfpdriver.so loaded as a host loads it, with the test's own text helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fpdriver/fpdriver.h"
#include "fragment_text.h"
#include "support/fpdriver_library.h"

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

struct Answer {
  int16_t result = 0;
  bool hasOutput = false;
  bool hasError = false;
  std::string output;
  std::string error;

  // The text of the first element aName of the fragment.
  std::string Element(const std::string& aName) const { return fp::test::FragmentElement(output, aName); }
};

// The library loaded once per test process, answering in the test's own texts.
class Library {
 public:
  static Library& Get() {
    static Library lib;
    return lib;
  }

  void* Symbol(const char* aName) const { return Loaded().Symbol(aName); }

  BSTR Alloc(const std::u16string& aText) const { return Loaded().Alloc(aText); }
  void Free(BSTR aText) const { Loaded().Free(aText); }
  unsigned Length(BSTR aText) const { return Loaded().Length(aText); }

  Answer Call(const char* aExport, const std::string& aXml) const { return CallRaw(aExport, U16(aXml), true); }

  Answer CallRaw(const char* aExport, const std::u16string& aXml, bool aWithXml) const {
    Answer a;
    try {
      const fp::test::kRawAnswer raw = Loaded().Call(aExport, aXml, aWithXml);
      a.result = raw.result;
      a.hasOutput = raw.hasOutput;
      a.hasError = raw.hasError;
      a.output = U8(raw.output.data(), raw.output.size());
      a.error = U8(raw.error.data(), raw.error.size());
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    return a;
  }

 private:
  Library() {
    // The library's own log goes below the host folder: keep it out of the build tree.
    setenv("FPDRIVER_APP_DIR", testing::TempDir().c_str(), 0);
  }
  static fp::test::kLoadedLibrary& Loaded() { return fp::test::kLoadedLibrary::Get(); }
};

}  // namespace abitest
