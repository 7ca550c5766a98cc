#include <dlfcn.h>

#include <stdexcept>

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
  fAllocLen = Lookup<decltype(fAllocLen)>(fHandle, "SysAllocStringLen");
  fFree = Lookup<decltype(fFree)>(fHandle, "SysFreeString");
  fLen = Lookup<decltype(fLen)>(fHandle, "SysStringLen");
}

// The library is left loaded: it is built never to be unmapped while its threads run.
kLibrary::~kLibrary() = default;

kLibrary::Answer kLibrary::Call(const std::string& aName, const std::string& aRequest) const {
  using ExportFn = int16_t (*)(BSTR, BSTR*, BSTR*);
  auto fn = Lookup<ExportFn>(fHandle, aName.c_str());
  std::u16string request = ToUtf16(aRequest);
  BSTR xml = fAllocLen(request.data(), static_cast<unsigned int>(request.size()));
  if (xml == nullptr) throw std::runtime_error("out of memory");
  BSTR output = nullptr;
  BSTR error = nullptr;
  Answer answer;
  answer.fResult = fn(xml, &output, &error);
  answer.fHasOutput = output != nullptr;
  if (output != nullptr) answer.fOutput = ToUtf8(output, fLen(output));
  if (error != nullptr) answer.fError = ToUtf8(error, fLen(error));
  fFree(output);
  fFree(error);
  fFree(xml);
  return answer;
}

std::u16string ToUtf16(const std::string& aText) {
  std::u16string out;
  out.reserve(aText.size());
  const auto* p = reinterpret_cast<const unsigned char*>(aText.data());
  const size_t n = aText.size();
  for (size_t i = 0; i < n;) {
    char32_t cp = 0xFFFD;
    size_t len = 1;
    unsigned char c = p[i];
    if (c < 0x80) {
      cp = c;
    } else {
      size_t need = (c >= 0xF0 && c <= 0xF4) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC2 && c < 0xE0) ? 2 : 0;
      if (need != 0 && i + need <= n) {
        char32_t v = c & (0xFF >> (need + 1));
        bool ok = true;
        for (size_t k = 1; k < need; ++k) {
          if ((p[i + k] & 0xC0) != 0x80) ok = false;
          v = (v << 6) | (p[i + k] & 0x3F);
        }
        bool shortest = (need == 2) || (need == 3 && v >= 0x800) || (need == 4 && v >= 0x10000);
        if (ok && shortest && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
          cp = v;
          len = need;
        }
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string ToUtf8(const char16_t* aText, size_t aLength) {
  std::string out;
  out.reserve(aLength);
  for (size_t i = 0; i < aLength; ++i) {
    char32_t cp = aText[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < aLength && aText[i + 1] >= 0xDC00 && aText[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace fpctl
