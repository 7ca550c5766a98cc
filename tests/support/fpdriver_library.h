// libfpdriver.so loaded as a host loads it (the library is never unloaded): its string
// helpers and one call of an export with its three outputs. The tests that go through the C
// interface build their own answers on top of this; Get() is the library of the build, loaded
// once per test process, and a program told the path at run time loads that one.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace fp::test {

// What an export handed back, as the host sees it.
struct kRawAnswer {
  int16_t result = 0;
  bool hasOutput = false;
  bool hasError = false;
  std::u16string output;
  std::u16string error;
};

class kLoadedLibrary {
 public:
  using Bstr = char16_t*;

  // The library at aPath. Throws with the loader's message when it cannot be loaded.
  explicit kLoadedLibrary(const char* aPath) {
    fHandle = dlopen(aPath, RTLD_NOW | RTLD_LOCAL);
    if (fHandle == nullptr) throw std::runtime_error(dlerror());
    fAllocLen = reinterpret_cast<Bstr (*)(const char16_t*, unsigned)>(Symbol("SysAllocStringLen"));
    fFree = reinterpret_cast<void (*)(Bstr)>(Symbol("SysFreeString"));
    fLen = reinterpret_cast<unsigned (*)(Bstr)>(Symbol("SysStringLen"));
  }
  kLoadedLibrary(const kLoadedLibrary&) = delete;
  kLoadedLibrary& operator=(const kLoadedLibrary&) = delete;

#ifdef FPDRIVER_SO_PATH
  static kLoadedLibrary& Get() {
    static kLoadedLibrary lib(FPDRIVER_SO_PATH);
    return lib;
  }
#endif

  void* Symbol(const char* aName) const { return dlsym(fHandle, aName); }
  Bstr Alloc(const std::u16string& aText) const { return fAllocLen(aText.data(), static_cast<unsigned>(aText.size())); }
  void Free(Bstr aText) const { fFree(aText); }
  unsigned Length(Bstr aText) const { return fLen(aText); }

  // Calls aExport with aXml (or a null request without aWithXml) and frees every string.
  // Throws when the library has no such export.
  kRawAnswer Call(const char* aExport, const std::u16string& aXml, bool aWithXml = true) const {
    using Export = int16_t (*)(Bstr, Bstr*, Bstr*);
    auto fn = reinterpret_cast<Export>(Symbol(aExport));
    if (fn == nullptr) throw std::runtime_error(std::string("missing export ") + aExport);
    Bstr xml = aWithXml ? Alloc(aXml) : nullptr;
    Bstr output = nullptr;
    Bstr error = nullptr;
    kRawAnswer a;
    a.result = fn(xml, &output, &error);
    a.hasOutput = output != nullptr;
    a.hasError = error != nullptr;
    if (output) a.output.assign(output, Length(output));
    if (error) a.error.assign(error, Length(error));
    Free(output);
    Free(error);
    Free(xml);
    return a;
  }

 private:
  void* fHandle = nullptr;
  Bstr (*fAllocLen)(const char16_t*, unsigned) = nullptr;
  void (*fFree)(Bstr) = nullptr;
  unsigned (*fLen)(Bstr) = nullptr;
};

}  // namespace fp::test
