#include "base/system_string.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/errors.h"
#include "base/text.h"

#if defined(_WIN32)
#include <windows.h>
#include <oleauto.h>
#endif

namespace fp {

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
// The most code units whose byte count, with the prefix and the terminator, still fits in
// the 32-bit count (and so in size_t).
constexpr size_t kMaxUnits = (std::numeric_limits<uint32_t>::max() - kPrefix - sizeof(char16_t)) / sizeof(char16_t);

}  // namespace

#if defined(_WIN32)
// Windows: the strings are the system's own, from oleaut32, so the host and the outside
// libraries allocate and free them with SysAllocString and SysFreeString.
static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLE strings are UTF-16");

kSystemString AllocSystemString(const char16_t* aUnits, size_t aLength) noexcept {
  if (aLength > kMaxUnits) return nullptr;
  // SysAllocStringLen leaves the units uninitialised without a source: zero them here.
  BSTR text = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(aUnits), static_cast<UINT>(aLength));
  if (text != nullptr && aUnits == nullptr && aLength > 0) std::memset(text, 0, aLength * sizeof(char16_t));
  return reinterpret_cast<kSystemString>(text);
}
#else
kSystemString AllocSystemString(const char16_t* aUnits, size_t aLength) noexcept {
  if (aLength > kMaxUnits) return nullptr;
  const size_t bytes = aLength * sizeof(char16_t);
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(char16_t)));
  if (block == nullptr) return nullptr;
  const auto count = static_cast<uint32_t>(bytes);
  std::memcpy(block, &count, kPrefix);
  auto* text = reinterpret_cast<char16_t*>(block + kPrefix);
  // Without a source the units are zeroed rather than left with old heap contents.
  if (aUnits != nullptr) {
    if (bytes > 0) std::memcpy(text, aUnits, bytes);
  } else if (bytes > 0) {
    std::memset(text, 0, bytes);
  }
  text[aLength] = 0;
  return text;
}
#endif

kSystemString NewSystemString(std::string_view aText) {
  std::u16string units = Utf8ToUtf16(aText);
  if (units.size() > kMaxUnits) throw kException("Text too long for a system string");
  kSystemString text = AllocSystemString(units.data(), units.size());
  if (text == nullptr) throw kException("Out of memory for a system string");
  return text;
}

#if defined(_WIN32)
void FreeSystemString(kSystemString aText) noexcept { ::SysFreeString(reinterpret_cast<BSTR>(aText)); }

std::u16string_view SystemStringView(const char16_t* aText) noexcept {
  if (aText == nullptr) return {};
  auto* text = reinterpret_cast<BSTR>(const_cast<char16_t*>(aText));
  return std::u16string_view(aText, ::SysStringByteLen(text) / sizeof(char16_t));
}
#else
void FreeSystemString(kSystemString aText) noexcept {
  if (aText != nullptr) std::free(reinterpret_cast<char*>(aText) - kPrefix);
}

std::u16string_view SystemStringView(const char16_t* aText) noexcept {
  if (aText == nullptr) return {};
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(aText) - kPrefix, kPrefix);
  return std::u16string_view(aText, bytes / sizeof(char16_t));
}
#endif

std::string SystemStringText(const char16_t* aText) { return Utf16ToUtf8(SystemStringView(aText)); }

}  // namespace fp
