// The POSIX side of the platform layer.
#include "base/platform.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <langinfo.h>
#include <locale.h>
#include <wctype.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace fp {

namespace {

std::string EnvValue(const char* aName) {
  const char* v = std::getenv(aName);
  return v ? std::string(v) : std::string();
}

// The locale name that governs one category, the way the C library resolves it.
std::string LocaleNameFor(const char* aCategoryVar) {
  for (const char* name : {"LC_ALL", aCategoryVar, "LANG"}) {
    std::string v = EnvValue(name);
    if (!v.empty()) return v;
  }
  return {};
}

// One item of the named locale, or empty when the locale gives nothing usable.
std::string LocaleItem(int aMask, const char* aCategoryVar, nl_item aItem) {
  std::string name = LocaleNameFor(aCategoryVar);
  // The C locale in any encoding is no user choice at all.
  if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0 || name.rfind("POSIX.", 0) == 0)
    return {};
  locale_t loc = newlocale(aMask, name.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return {};
  const char* v = nl_langinfo_l(aItem, loc);
  std::string result = v ? std::string(v) : std::string();
  freelocale(loc);
  return result;
}

// Writes the whole buffer, going on after short writes.
bool WriteAll(int aFd, const char* aData, size_t aSize) {
  while (aSize > 0) {
    ssize_t n = ::write(aFd, aData, aSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    aData += n;
    aSize -= static_cast<size_t>(n);
  }
  return true;
}

// Case mapping by the C library's Unicode tables, whatever the process locale.
locale_t Utf8Locale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (l == static_cast<locale_t>(0)) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

}  // namespace

int AnsiCodePage() {
  std::string v = EnvValue("FPDRIVER_ACP");
  if (v.empty()) return 1252;
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  if (end == v.c_str() || *end != '\0' || n <= 0 || n > 65535) return 1252;
  return static_cast<int>(n);
}

std::string ApplicationExePath() {
  std::array<char, 4096> buf{};
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::vector<std::string> CommandLineArgs() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

char32_t LowerCaseChar(char32_t aChar) {
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(aChar), Utf8Locale()));
}

char32_t UpperCaseChar(char32_t aChar) {
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(aChar), Utf8Locale()));
}

std::string DecimalSeparator() {
  std::string v = LocaleItem(LC_NUMERIC_MASK, "LC_NUMERIC", RADIXCHAR);
  return v.empty() ? std::string(".") : v;
}

std::string UserThousandsSeparator() { return LocaleItem(LC_NUMERIC_MASK, "LC_NUMERIC", THOUSEP); }

std::string ErrnoText(int aErrno) {
  char buf[256];
  // The GNU strerror_r returns the text, which may or may not live in buf.
  const char* text = strerror_r(aErrno, buf, sizeof(buf));
  return text ? std::string(text) : std::string();
}

std::string TimeSeparator() {
  // The separator is what follows the hour in the locale's time format ("%H:%M:%S").
  std::string fmt = LocaleItem(LC_TIME_MASK, "LC_TIME", T_FMT);
  for (size_t i = 0; i + 2 < fmt.size(); ++i) {
    if (fmt[i] == '%' && (fmt[i + 1] == 'H' || fmt[i + 1] == 'I' || fmt[i + 1] == 'k' || fmt[i + 1] == 'l')) {
      char c = fmt[i + 2];
      if (c != '%') return std::string(1, c);
      break;
    }
  }
  return ":";
}

std::string ShortDateFormat() {
  std::string fmt = LocaleItem(LC_TIME_MASK, "LC_TIME", D_FMT);
  std::string out;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%' || i + 1 >= fmt.size()) {
      out += fmt[i];
      continue;
    }
    char c = fmt[++i];
    if (c == '-' && i + 1 < fmt.size()) {  // "%-d": no padding
      c = fmt[++i];
      if (c == 'd') out += "d";
      else if (c == 'm') out += "m";
      else return "dd/mm/yyyy";
      continue;
    }
    switch (c) {
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'm': out += "mm"; break;
      case 'Y': out += "yyyy"; break;
      case 'y': out += "yy"; break;
      case 'F': out += "yyyy-mm-dd"; break;
      case 'D': out += "mm/dd/yy"; break;
      default: return "dd/mm/yyyy";  // a format we can't mirror: the common one
    }
  }
  return out.empty() ? std::string("dd/mm/yyyy") : out;
}

void ShowMessageBox(bool aIsError, const std::string& aText) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::fprintf(stderr, "%s%s\n", aIsError ? "ERROR - " : "", aText.c_str());
  std::fflush(stderr);
}

kNamedLock::kNamedLock(std::string aName) {
  // Only characters that are safe in a file name survive.
  std::string safe;
  for (char c : aName) safe += (c == '/' || c == '\0') ? '_' : c;
  std::string dir = EnvValue("XDG_RUNTIME_DIR");
  if (dir.empty()) dir = EnvValue("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  fPath = dir + "/" + safe + ".lock";
}

kNamedLock::~kNamedLock() { Release(); }

bool kNamedLock::TryAcquire() {
  if (fFd >= 0) return true;
  int fd = ::open(fPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fFd = fd;
  return true;
}

void kNamedLock::Release() {
  if (fFd < 0) return;
  ::flock(fFd, LOCK_UN);
  ::close(fFd);
  fFd = -1;
}

bool AppendToFile(const std::string& aPath, std::string_view aData) {
  int fd = ::open(aPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, aData.data(), aData.size());
  return (::close(fd) == 0) && ok;
}

// Renames without ever replacing an existing file: two rollovers within the same
// millisecond must not overwrite the older log.
bool RenameNoReplace(const std::string& aFrom, const std::string& aTo) {
  if (::renameat2(AT_FDCWD, aFrom.c_str(), AT_FDCWD, aTo.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: link and unlink give the same guarantee.
  if (::link(aFrom.c_str(), aTo.c_str()) != 0) return false;
  ::unlink(aFrom.c_str());
  return true;
}

int64_t FileSizeOf(const std::string& aPath) {
  struct stat st {};
  if (aPath.empty() || ::stat(aPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}


bool IsPathSeparator(char aChar) { return aChar == '/'; }

bool IsAbsolutePath(const std::string& aPath) { return !aPath.empty() && IsPathSeparator(aPath.front()); }

}  // namespace fp
