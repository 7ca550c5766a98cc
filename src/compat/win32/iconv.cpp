#include "iconv.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr unsigned kUtf8 = 65001, kUtf16LE = 1200, kUtf16BE = 1201;

// The code page number of a name; 0 for one this system does not have.
unsigned CodePageOf(std::string aName) {
  for (char& c : aName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  unsigned page = 0;
  if (aName == "UTF-8" || aName == "UTF8") page = kUtf8;
  else if (aName == "UTF-16LE") page = kUtf16LE;
  else if (aName == "UTF-16BE") page = kUtf16BE;
  else if (aName == "ASCII" || aName == "US-ASCII") page = 20127;
  else if (aName == "KOI8-R") page = 20866;
  else if (aName == "KOI8-U") page = 21866;
  else if (aName.rfind("ISO-8859-", 0) == 0) page = 28590 + static_cast<unsigned>(std::atoi(aName.c_str() + 9));
  else if (aName.rfind("CP", 0) == 0 && aName.size() > 2) {
    char* end = nullptr;
    unsigned long n = std::strtoul(aName.c_str() + 2, &end, 10);
    if (*end == '\0' && n > 0 && n < 65536) page = static_cast<unsigned>(n);
  }
  if (page == 0 || page == kUtf16LE || page == kUtf16BE) return page;
  return ::IsValidCodePage(page) ? page : 0;
}

// Reads one character of code page aPage from aIn: its UTF-16 units and the bytes it took.
// Answers 0 on success, else EINVAL (incomplete) or EILSEQ (invalid).
int Decode(unsigned aPage, const unsigned char* aIn, size_t aLeft, wchar_t* aUnits, int& aCount, size_t& aTaken) {
  if (aPage == kUtf16LE || aPage == kUtf16BE) {
    auto unit = [&](size_t i) -> wchar_t {
      return aPage == kUtf16LE ? static_cast<wchar_t>(aIn[i] | (aIn[i + 1] << 8))
                               : static_cast<wchar_t>((aIn[i] << 8) | aIn[i + 1]);
    };
    if (aLeft < 2) return EINVAL;
    aUnits[0] = unit(0);
    aCount = 1;
    aTaken = 2;
    if (aUnits[0] >= 0xD800 && aUnits[0] < 0xDC00) {
      if (aLeft < 4) return EINVAL;
      aUnits[1] = unit(2);
      if (aUnits[1] < 0xDC00 || aUnits[1] >= 0xE000) return EILSEQ;
      aCount = 2;
      aTaken = 4;
    } else if (aUnits[0] >= 0xDC00 && aUnits[0] < 0xE000) {
      return EILSEQ;
    }
    return 0;
  }
  size_t length = 1;
  if (aPage == kUtf8) {
    const unsigned char c = aIn[0];
    length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    if (length == 0) return EILSEQ;
    for (size_t i = 1; i < length && i < aLeft; ++i)
      if ((aIn[i] & 0xC0) != 0x80) return EILSEQ;
    if (length > aLeft) return EINVAL;
  } else if (::IsDBCSLeadByteEx(aPage, aIn[0])) {
    if (aLeft < 2) return EINVAL;
    length = 2;
  }
  aCount = ::MultiByteToWideChar(aPage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(aIn),
                                 static_cast<int>(length), aUnits, 2);
  if (aCount <= 0) return EILSEQ;
  aTaken = length;
  return 0;
}

// Writes the UTF-16 units of one character in code page aPage. Answers the bytes written,
// -EILSEQ when the page can't hold the character, -E2BIG when aRoom is too small.
int Encode(unsigned aPage, const wchar_t* aUnits, int aCount, char* aOut, size_t aRoom) {
  char buf[8];
  int n = 0;
  if (aPage == kUtf16LE || aPage == kUtf16BE) {
    for (int i = 0; i < aCount; ++i) {
      const unsigned u = static_cast<unsigned>(aUnits[i]);
      buf[n++] = static_cast<char>(aPage == kUtf16LE ? u & 0xFF : u >> 8);
      buf[n++] = static_cast<char>(aPage == kUtf16LE ? u >> 8 : u & 0xFF);
    }
  } else {
    BOOL usedDefault = FALSE;
    const bool utf8 = aPage == kUtf8;
    n = ::WideCharToMultiByte(aPage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, aUnits, aCount, buf, sizeof buf, nullptr,
                              utf8 ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return -EILSEQ;
  }
  if (static_cast<size_t>(n) > aRoom) return -E2BIG;
  std::memcpy(aOut, buf, static_cast<size_t>(n));
  return n;
}

}  // namespace

struct fp_iconv_state {
  unsigned fTo;
  unsigned fFrom;
};

extern "C" iconv_t iconv_open(const char* aTo, const char* aFrom) {
  const unsigned to = CodePageOf(aTo ? aTo : ""), from = CodePageOf(aFrom ? aFrom : "");
  if (to == 0 || from == 0) {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);
  }
  return new fp_iconv_state{to, from};
}

extern "C" size_t iconv(iconv_t aHandle, char** aIn, size_t* aInLeft, char** aOut, size_t* aOutLeft) {
  // The code pages here keep no shift state: a reset or a flush writes nothing.
  if (aIn == nullptr || *aIn == nullptr) return 0;
  while (*aInLeft > 0) {
    wchar_t units[2];
    int count = 0;
    size_t taken = 0;
    const int rc = Decode(aHandle->fFrom, reinterpret_cast<const unsigned char*>(*aIn), *aInLeft, units, count, taken);
    if (rc != 0) {
      errno = rc;
      return static_cast<size_t>(-1);
    }
    const int n = Encode(aHandle->fTo, units, count, *aOut, *aOutLeft);
    if (n < 0) {
      errno = -n;
      return static_cast<size_t>(-1);
    }
    *aIn += taken;
    *aInLeft -= taken;
    *aOut += n;
    *aOutLeft -= static_cast<size_t>(n);
  }
  return 0;
}

extern "C" int iconv_close(iconv_t aHandle) {
  delete aHandle;
  return 0;
}
