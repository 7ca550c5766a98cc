// The parts of the platform layer that are the same on every system.
#include "base/platform.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>

namespace fp {

namespace {

std::atomic<bool> gTerminateRequested{false};

}  // namespace

std::string ApplicationDir() {
  const char* configured = std::getenv("FPDRIVER_APP_DIR");
  std::string dir = configured ? configured : "";
  if (dir.empty()) {
    std::string exe = ApplicationExePath();
    size_t slash = exe.rfind('/');
    dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  }
  while (dir.size() > 1 && IsPathSeparator(dir.back())) dir.pop_back();
  return dir;
}

std::string PathInApplicationDir(const std::string& aName) {
  if (IsAbsolutePath(aName)) return aName;
  const std::string dir = ApplicationDir();
  if (dir.empty()) return aName;
  return IsPathSeparator(dir.back()) ? dir + aName : dir + "/" + aName;
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

void RequestHostTerminate() { gTerminateRequested = true; }
bool HostTerminateRequested() { return gTerminateRequested; }
void ResetHostTerminateRequest() { gTerminateRequested = false; }

}  // namespace fp
