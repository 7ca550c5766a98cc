// The printer lock's file on Windows: LockFileEx on a handle of its own, shared for reading,
// writing and deletion so that only the lock, never the open, keeps another holder out.
#include "device/lock_file.h"

#include <windows.h>

#include "base/text.h"

namespace fp::lock_file {

namespace {

std::wstring WidePath(const std::string& aPath) {
  const std::u16string units = Utf8ToUtf16(aPath);
  std::wstring path(units.begin(), units.end());
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

}  // namespace

intptr_t Open(const std::string& aPath, std::string& aError) {
  HANDLE file = ::CreateFileW(WidePath(aPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    aError = "Windows error " + std::to_string(::GetLastError());
    return -1;
  }
  return reinterpret_cast<intptr_t>(file);
}

bool TryLock(intptr_t aHandle) {
  OVERLAPPED at{};
  return ::LockFileEx(reinterpret_cast<HANDLE>(aHandle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &at) != 0;
}

void UnlockAndClose(intptr_t aHandle) {
  OVERLAPPED at{};
  ::UnlockFileEx(reinterpret_cast<HANDLE>(aHandle), 0, 1, 0, &at);
  ::CloseHandle(reinterpret_cast<HANDLE>(aHandle));
}

}  // namespace fp::lock_file
