#include "dlfcn.h"

#include <windows.h>

#include <cerrno>
#include <string>

#include "base/text.h"

namespace {

thread_local std::string gError;
thread_local bool gErrorPending = false;

void Fail(DWORD aCode) {
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, aCode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (text != nullptr) {
    message = fp::Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
    ::LocalFree(text);
  }
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  // "No such file" keeps the loaders' test for a missing file working.
  if (aCode == ERROR_MOD_NOT_FOUND || aCode == ERROR_FILE_NOT_FOUND || aCode == ERROR_PATH_NOT_FOUND)
    message = "No such file or module: " + message;
  gError = message + " (error " + std::to_string(aCode) + ")";
  gErrorPending = true;
  errno = static_cast<int>(aCode);
}

}  // namespace

extern "C" void* dlopen(const char* aPath, int aFlags) {
  if (aPath == nullptr) return ::GetModuleHandleW(nullptr);
  std::u16string units = fp::Utf8ToUtf16(aPath);
  std::wstring path(units.begin(), units.end());
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  HMODULE module = nullptr;
  if (aFlags & RTLD_NOLOAD) {
    if (!::GetModuleHandleExW(0, path.c_str(), &module)) module = nullptr;
    return module;  // not loaded is no error
  }
  // A path names the library's own folder for the libraries it needs in turn.
  const DWORD flags = path.find(L'\\') != std::wstring::npos ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  module = ::LoadLibraryExW(path.c_str(), nullptr, flags);
  if (module == nullptr) Fail(::GetLastError());
  return module;
}

extern "C" void* dlsym(void* aLibrary, const char* aName) {
  FARPROC proc = ::GetProcAddress(static_cast<HMODULE>(aLibrary), aName);
  if (proc == nullptr) Fail(::GetLastError());
  return reinterpret_cast<void*>(proc);
}

extern "C" int dlclose(void* aLibrary) { return ::FreeLibrary(static_cast<HMODULE>(aLibrary)) ? 0 : -1; }

extern "C" char* dlerror(void) {
  if (!gErrorPending) return nullptr;
  gErrorPending = false;
  return gError.data();
}
