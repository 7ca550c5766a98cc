// System strings on systems without oleaut32: blocks of the process heap laid out as BSTRs
// are (a 32-bit byte count, the code units, a 16-bit zero), so that an outside library and
// this one can free each other's strings.
#include <cstdlib>
#include <cstring>

#include "base/system_string.h"

namespace fp {

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

}  // namespace

kSystemString AllocSystemString(const char16_t* aUnits, size_t aLength) noexcept {
  if (aLength > kMaxSystemStringUnits) return nullptr;
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

void FreeSystemString(kSystemString aText) noexcept {
  if (aText != nullptr) std::free(reinterpret_cast<char*>(aText) - kPrefix);
}

std::u16string_view SystemStringView(const char16_t* aText) noexcept {
  if (aText == nullptr) return {};
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(aText) - kPrefix, kPrefix);
  return std::u16string_view(aText, bytes / sizeof(char16_t));
}

}  // namespace fp
