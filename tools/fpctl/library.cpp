#include <dlfcn.h>

#include <stdexcept>

#include "base/text.h"
#include "fpctl.h"

namespace fpctl {

namespace {

template <class T>
T Lookup(void* aHandle, const char* aName) {
  void* symbol = dlsym(aHandle, aName);
  if (symbol == nullptr) throw std::runtime_error(std::string("the library has no function ") + aName);
  return reinterpret_cast<T>(symbol);
}

}  // namespace

kLibrary::kLibrary(const std::string& aPath) : fPath(aPath) {
  fHandle = dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (fHandle == nullptr) throw std::runtime_error(std::string("cannot load ") + aPath + ": " + dlerror());
  // Windows hosts take their strings from the system (oleaut32); elsewhere the library
  // carries the same functions.
#if defined(_WIN32)
  void* strings = dlopen("oleaut32.dll", RTLD_NOW);
  if (strings == nullptr) throw std::runtime_error(std::string("cannot load oleaut32.dll: ") + dlerror());
#else
  void* strings = fHandle;
#endif
  fAllocLen = Lookup<decltype(fAllocLen)>(strings, "SysAllocStringLen");
  fFree = Lookup<decltype(fFree)>(strings, "SysFreeString");
  fLen = Lookup<decltype(fLen)>(strings, "SysStringLen");
}

// The library is left loaded: it is built never to be unmapped while its threads run.
kLibrary::~kLibrary() = default;

kLibrary::Answer kLibrary::Call(const std::string& aName, const std::string& aRequest) const {
  using ExportFn = int16_t(FPDRIVER_CALL*)(BSTR, BSTR*, BSTR*);
  auto fn = Lookup<ExportFn>(fHandle, aName.c_str());
  std::u16string request = fp::Utf8ToUtf16(aRequest);
  BSTR xml = fAllocLen(reinterpret_cast<const OLECHAR*>(request.data()), static_cast<unsigned int>(request.size()));
  if (xml == nullptr) throw std::runtime_error("out of memory");
  BSTR output = nullptr;
  BSTR error = nullptr;
  Answer answer;
  answer.fResult = fn(xml, &output, &error);
  answer.fHasOutput = output != nullptr;
  auto text = [this](BSTR aText) {
    return fp::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), fLen(aText)));
  };
  if (output != nullptr) answer.fOutput = text(output);
  if (error != nullptr) answer.fError = text(error);
  fFree(output);
  fFree(error);
  fFree(xml);
  return answer;
}

std::string ElementText(const std::string& aFragment, const std::string& aName, size_t aFrom) {
  const std::string open = "<" + aName + ">", close = "</" + aName + ">";
  const size_t start = aFragment.find(open, aFrom);
  if (start == std::string::npos) return "";
  const size_t end = aFragment.find(close, start);
  return end == std::string::npos ? "" : aFragment.substr(start + open.size(), end - start - open.size());
}

}  // namespace fpctl
