// libfpdriver.so loaded as a host loads it, with the test's own text helpers.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fpdriver/fpdriver.h"
#include "fragment_text.h"

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

// The library loaded once per test process.
class Library {
 public:
  static Library& Get() {
    static Library lib;
    return lib;
  }

  void* Symbol(const char* aName) const { return dlsym(fHandle, aName); }

  BSTR Alloc(const std::u16string& aText) const { return fAllocLen(aText.data(), static_cast<unsigned>(aText.size())); }
  void Free(BSTR aText) const { fFree(aText); }
  unsigned Length(BSTR aText) const { return fLen(aText); }

  Answer Call(const char* aExport, const std::string& aXml) const { return CallRaw(aExport, U16(aXml), true); }

  Answer CallRaw(const char* aExport, const std::u16string& aXml, bool aWithXml) const {
    auto fn = reinterpret_cast<ExportFn>(Symbol(aExport));
    EXPECT_NE(fn, nullptr) << aExport;
    BSTR xml = aWithXml ? Alloc(aXml) : nullptr;
    BSTR output = nullptr;
    BSTR error = nullptr;
    Answer a;
    a.result = fn(xml, &output, &error);
    a.hasOutput = output != nullptr;
    a.hasError = error != nullptr;
    if (output) a.output = U8(output, Length(output));
    if (error) a.error = U8(error, Length(error));
    Free(output);
    Free(error);
    Free(xml);
    return a;
  }

 private:
  Library() {
    // The library's own log goes below the host folder: keep it out of the build tree.
    setenv("FPDRIVER_APP_DIR", testing::TempDir().c_str(), 0);
    fHandle = dlopen(FPDRIVER_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    if (fHandle == nullptr) {
      ADD_FAILURE() << dlerror();
      std::abort();
    }
    fAllocLen = reinterpret_cast<BSTR (*)(const OLECHAR*, unsigned)>(Symbol("SysAllocStringLen"));
    fFree = reinterpret_cast<void (*)(BSTR)>(Symbol("SysFreeString"));
    fLen = reinterpret_cast<unsigned (*)(BSTR)>(Symbol("SysStringLen"));
  }
  void* fHandle = nullptr;
  BSTR (*fAllocLen)(const OLECHAR*, unsigned) = nullptr;
  void (*fFree)(BSTR) = nullptr;
  unsigned (*fLen)(BSTR) = nullptr;
};

}  // namespace abitest
