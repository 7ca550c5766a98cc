#include "driver_library.h"

#include <dlfcn.h>

#include <stdexcept>

#include "base/text.h"
#include "platform.h"

namespace fpd {

namespace {

void* Lookup(void* aHandle, const char* aName) {
  void* symbol = dlsym(aHandle, aName);
  if (symbol == nullptr) throw std::runtime_error(std::string("the library has no function ") + aName);
  return symbol;
}

}  // namespace

kDriverLibrary::kDriverLibrary(const std::string& aPath) {
  fHandle = dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (fHandle == nullptr) throw std::runtime_error("cannot load " + aPath + ": " + dlerror());
  for (size_t i = 0; i < kExportNames.size(); ++i)
    fExports[i] = reinterpret_cast<Export>(Lookup(fHandle, kExportNames[i]));
  void* strings = StringFunctionsModule(fHandle);
  fAllocLen = reinterpret_cast<decltype(fAllocLen)>(Lookup(strings, "SysAllocStringLen"));
  fFree = reinterpret_cast<decltype(fFree)>(Lookup(strings, "SysFreeString"));
  fLen = reinterpret_cast<decltype(fLen)>(Lookup(strings, "SysStringLen"));
}

std::string kDriverLibrary::DefaultPath() { return DefaultLibraryPath(); }

kDriverLibrary::kAnswer kDriverLibrary::Call(std::string_view aName, const std::string& aRequest) const {
  Export fn = nullptr;
  for (size_t i = 0; i < kExportNames.size(); ++i)
    if (aName == kExportNames[i]) fn = fExports[i];
  if (fn == nullptr) throw std::invalid_argument("no export " + std::string(aName));
  const std::u16string request = fp::Utf8ToUtf16(aRequest);
  BSTR xml = fAllocLen(reinterpret_cast<const OLECHAR*>(request.data()), static_cast<unsigned int>(request.size()));
  if (xml == nullptr) throw std::bad_alloc();
  BSTR output = nullptr;
  BSTR error = nullptr;
  kAnswer answer;
  answer.fResult = fn(xml, &output, &error);
  auto text = [this](BSTR aText) {
    return aText == nullptr ? std::string()
                            : fp::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), fLen(aText)));
  };
  answer.fOutput = text(output);
  answer.fError = text(error);
  fFree(output);
  fFree(error);
  fFree(xml);
  return answer;
}

}  // namespace fpd
