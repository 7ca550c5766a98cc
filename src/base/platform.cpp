#include "base/platform.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>

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

std::atomic<bool> gTerminateRequested{false};

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

std::string ApplicationDir() {
  std::string dir = EnvValue("FPDRIVER_APP_DIR");
  if (dir.empty()) {
    std::string exe = ApplicationExePath();
    size_t slash = exe.rfind('/');
    dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string PathInApplicationDir(const std::string& aName) {
  if (!aName.empty() && aName.front() == '/') return aName;
  const std::string dir = ApplicationDir();
  if (dir.empty()) return aName;
  return dir.back() == '/' ? dir + aName : dir + "/" + aName;
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

std::string DecimalSeparator() {
  std::string v = LocaleItem(LC_NUMERIC_MASK, "LC_NUMERIC", RADIXCHAR);
  return v.empty() ? std::string(".") : v;
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

std::string FormatDate(DateTime aDate, const std::string& aFormat) {
  DateTimeParts p = DecodeDateTime(aDate);
  std::string out;
  char buf[16];
  size_t i = 0;
  while (i < aFormat.size()) {
    char c = aFormat[i];
    size_t run = 1;
    while (i + run < aFormat.size() && aFormat[i + run] == c) ++run;
    if (c == 'd' || c == 'm') {
      int v = c == 'd' ? p.day : p.month;
      std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", v);
      out += buf;
    } else if (c == 'y') {
      if (run >= 3) std::snprintf(buf, sizeof buf, "%04d", p.year);
      else std::snprintf(buf, sizeof buf, "%02d", p.year % 100);
      out += buf;
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

std::string FormatShortDate(DateTime aDate) { return FormatDate(aDate, ShortDateFormat()); }

std::string NewGuidString() {
  static std::mutex mutex;
  static std::mt19937_64 engine = [] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
    return std::mt19937_64(seq);
  }();
  std::array<unsigned char, 16> b{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t hi = engine(), lo = engine();
    for (int i = 0; i < 8; ++i) {
      b[i] = static_cast<unsigned char>(hi >> (8 * i));
      b[8 + i] = static_cast<unsigned char>(lo >> (8 * i));
    }
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char out[40];
  std::snprintf(out, sizeof out, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return out;
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

void RequestHostTerminate() { gTerminateRequested = true; }
bool HostTerminateRequested() { return gTerminateRequested; }
void ResetHostTerminateRequest() { gTerminateRequested = false; }

}  // namespace fp
