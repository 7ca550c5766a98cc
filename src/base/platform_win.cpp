// The Windows side of the platform layer.
#include "base/platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>

#include "base/text.h"

namespace fp {

namespace {

std::wstring Wide(std::string_view aText) {
  std::u16string units = Utf8ToUtf16(aText);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* aText, size_t aLength) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), aLength));
}

std::string Narrow(const std::wstring& aText) { return Narrow(aText.data(), aText.size()); }

// A file name for the wide file functions: "/" becomes "\", which every Windows API takes.
std::wstring WidePath(const std::string& aPath) {
  std::wstring path = Wide(aPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

// One item of the user's locale settings, empty when it can't be read.
std::string LocaleItem(LCTYPE aItem) {
  wchar_t buf[96];
  const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, aItem, buf, static_cast<int>(std::size(buf)));
  return n > 1 ? Narrow(buf, static_cast<size_t>(n - 1)) : std::string();
}

// One character mapped by LCMapStringEx with aFlags in the invariant locale.
char32_t MapCase(char32_t aChar, DWORD aFlags) {
  std::u16string in = Utf8ToUtf16(Utf32ToUtf8(std::u32string(1, aChar)));
  wchar_t out[4];
  const int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, aFlags, reinterpret_cast<const wchar_t*>(in.data()),
                                static_cast<int>(in.size()), out, 4, nullptr, nullptr, 0);
  if (n <= 0) return aChar;
  std::u32string mapped =
      Utf8ToUtf32(Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(out), static_cast<size_t>(n))));
  return mapped.size() == 1 ? mapped[0] : aChar;
}

}  // namespace

char32_t LowerCaseChar(char32_t aChar) { return MapCase(aChar, LCMAP_LOWERCASE); }
char32_t UpperCaseChar(char32_t aChar) { return MapCase(aChar, LCMAP_UPPERCASE); }

int AnsiCodePage() { return static_cast<int>(::GetACP()); }

std::string ApplicationExePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    if (buf.size() >= 32768) return {};  // the longest path Windows has
    buf.resize(buf.size() * 2);
  }
  std::string path = Narrow(buf);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::vector<std::string> CommandLineArgs() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (list == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Narrow(list[i], std::wcslen(list[i])));
  ::LocalFree(list);
  return args;
}

std::string DecimalSeparator() {
  std::string v = LocaleItem(LOCALE_SDECIMAL);
  return v.empty() ? std::string(".") : v;
}

std::string UserThousandsSeparator() { return LocaleItem(LOCALE_STHOUSAND); }

std::string ErrnoText(int aErrno) {
  // The C runtime knows the classic values only; the socket errors carry their own.
  switch (aErrno) {
    case ECONNREFUSED: return "Connection refused";
    case ECONNRESET: return "Connection reset by peer";
    case ECONNABORTED: return "Software caused connection abort";
    case ETIMEDOUT: return "Connection timed out";
    case ENETUNREACH: return "Network is unreachable";
    case EHOSTUNREACH: return "No route to host";
    case EADDRNOTAVAIL: return "Cannot assign requested address";
    case ENOTCONN: return "Transport endpoint is not connected";
    case EWOULDBLOCK: return "Resource temporarily unavailable";
    case EINPROGRESS: return "Operation now in progress";
    default: break;
  }
  char buf[256];
  if (strerror_s(buf, sizeof buf, aErrno) != 0) return {};
  return buf;
}

std::string TimeSeparator() {
  std::string v = LocaleItem(LOCALE_STIME);
  return v.empty() ? std::string(":") : v;
}

std::string ShortDateFormat() {
  // Windows writes months as "M"; quoted literals and day or era names have no place in
  // the letters d, m and y, so such a format gives the common one.
  std::string fmt = LocaleItem(LOCALE_SSHORTDATE);
  std::string out;
  for (char c : fmt) {
    if (c == 'd' || c == 'y') out += c;
    else if (c == 'M') out += 'm';
    else if (c == '\'' || c == 'g') return "dd/mm/yyyy";
    else out += c;
  }
  if (out.find("ddd") != std::string::npos || out.find("mmm") != std::string::npos) return "dd/mm/yyyy";
  return out.empty() ? std::string("dd/mm/yyyy") : out;
}

void ShowMessageBox(bool aIsError, const std::string& aText) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (err != nullptr && err != INVALID_HANDLE_VALUE && ::GetFileType(err) != FILE_TYPE_UNKNOWN) {
    std::fprintf(stderr, "%s%s\n", aIsError ? "ERROR - " : "", aText.c_str());
    std::fflush(stderr);
    return;
  }
  ::MessageBoxW(nullptr, Wide(aText).c_str(), aIsError ? L"Error" : L"Information",
                MB_OK | MB_TASKMODAL | (aIsError ? MB_ICONERROR : MB_ICONINFORMATION));
}

kNamedLock::kNamedLock(std::string aName) {
  // "\" separates the namespaces of kernel object names; nothing else is reserved.
  for (char c : aName) fPath += (c == '\\' || c == '\0') ? '_' : c;
}

kNamedLock::~kNamedLock() { Release(); }

bool kNamedLock::TryAcquire() {
  if (fFd != -1) return true;
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, Wide(fPath).c_str());
  if (mutex == nullptr) return false;
  // An existing mutex is another holder's (in this process or another): not ours.
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return false;
  }
  fFd = reinterpret_cast<intptr_t>(mutex);
  return true;
}

void kNamedLock::Release() {
  if (fFd == -1) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(fFd);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  fFd = -1;
}

bool AppendToFile(const std::string& aPath, std::string_view aData) {
  // Appends from this process take turns: Wine does not make FILE_APPEND_DATA writes
  // atomic across handles, and two log writers of one file would overwrite each other's
  // lines there.
  static std::mutex turns;
  std::lock_guard<std::mutex> lock(turns);
  // FILE_APPEND_DATA alone makes every write land at the end, as O_APPEND does.
  HANDLE file = ::CreateFileW(WidePath(aPath).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  const char* p = aData.data();
  size_t left = aData.size();
  while (ok && left > 0) {
    DWORD written = 0;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    ok = ::WriteFile(file, p, chunk, &written, nullptr) != 0 && written > 0;
    p += written;
    left -= written;
  }
  return (::CloseHandle(file) != 0) && ok;
}

bool RenameNoReplace(const std::string& aFrom, const std::string& aTo) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail.
  return ::MoveFileExW(WidePath(aFrom).c_str(), WidePath(aTo).c_str(), 0) != 0;
}

int64_t FileSizeOf(const std::string& aPath) {
  if (aPath.empty()) return -1;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WidePath(aPath).c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsPathSeparator(char aChar) { return aChar == '/' || aChar == '\\'; }

bool IsAbsolutePath(const std::string& aPath) {
  if (!aPath.empty() && IsPathSeparator(aPath.front())) return true;
  // A drive letter: "C:\x" and "C:/x" (and the drive-relative "C:x", which no folder can join).
  return aPath.size() > 1 && aPath[1] == ':';
}

}  // namespace fp
