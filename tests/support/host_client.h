// The host client of every test that loads libfpdriver: the exports called as a host calls
// them, with the requests and answers of the tests in UTF-8. Built on kLoadedLibrary
// (fpdriver_library.h), the one loader of the library.
#pragma once

#include <memory>
#include <string>

#include "base/text.h"
#include "support/answer.h"
#include "support/fpdriver_library.h"

namespace fp::test {

class Library {
 public:
  // The library at aPath, loaded for this client (a program told the path at run time).
  explicit Library(const char* aPath)
      : fOwned(std::make_unique<kLoadedLibrary>(aPath)), fLoaded(*fOwned) {}

#ifdef FPDRIVER_SO_PATH
  // The library of the build, loaded once per test process.
  Library() : fLoaded(kLoadedLibrary::Get()) {}
  static Library& Get() {
    static Library lib;
    return lib;
  }
#endif

  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Calls aExport with aXml; every string the library handed out is freed.
  Answer Call(const char* aExport, const std::string& aXml) const { return CallRaw(aExport, Utf8ToUtf16(aXml)); }
  // The same with the request as the host's UTF-16 text, or a null request without aWithXml.
  Answer CallRaw(const char* aExport, const std::u16string& aXml, bool aWithXml = true) const {
    const kRawAnswer raw = fLoaded.Call(aExport, aXml, aWithXml);
    return {raw.result, raw.hasOutput, raw.hasError, Utf16ToUtf8(raw.output), Utf16ToUtf8(raw.error)};
  }

  // The library's own symbols and string helpers, for the tests of the interface itself.
  void* Symbol(const char* aName) const { return fLoaded.Symbol(aName); }
  kLoadedLibrary::Bstr Alloc(const std::u16string& aText) const { return fLoaded.Alloc(aText); }
  void Free(kLoadedLibrary::Bstr aText) const { fLoaded.Free(aText); }
  unsigned Length(kLoadedLibrary::Bstr aText) const { return fLoaded.Length(aText); }

 private:
  std::unique_ptr<kLoadedLibrary> fOwned;  // only for a library given by path
  kLoadedLibrary& fLoaded;
};

}  // namespace fp::test
