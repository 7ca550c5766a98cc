#include "driver_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "base/text.h"

namespace fpd {

namespace {

void* Lookup(void* aHandle, const char* aName) {
  void* symbol = dlsym(aHandle, aName);
  if (symbol == nullptr) throw std::runtime_error(std::string("the library has no function ") + aName);
  return symbol;
}

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  std::string path(buffer.data(), static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

kDriverLibrary::kDriverLibrary(const std::string& aPath) {
  fHandle = dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (fHandle == nullptr) throw std::runtime_error("cannot load " + aPath + ": " + dlerror());
  for (size_t i = 0; i < kExportNames.size(); ++i)
    fExports[i] = reinterpret_cast<Export>(Lookup(fHandle, kExportNames[i]));
  fAllocLen = reinterpret_cast<decltype(fAllocLen)>(Lookup(fHandle, "SysAllocStringLen"));
  fFree = reinterpret_cast<decltype(fFree)>(Lookup(fHandle, "SysFreeString"));
  fLen = reinterpret_cast<decltype(fLen)>(Lookup(fHandle, "SysStringLen"));
}

std::string kDriverLibrary::DefaultPath() {
  const std::string folder = ProgramFolder();
  for (const std::string& candidate : {folder + "/../../libfpdriver.so", folder + "/libfpdriver.so",
                                       folder + "/../lib/libfpdriver.so.1"})
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  return "libfpdriver.so.1";
}

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
