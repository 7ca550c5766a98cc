#include "rtserver/system_string.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/errors.h"
#include "base/text.h"

namespace fp {

namespace {
constexpr size_t kPrefix = sizeof(uint32_t);
}  // namespace

kSystemString NewSystemString(std::string_view aText) {
  std::u16string units = Utf8ToUtf16(aText);
  if (units.size() > (std::numeric_limits<uint32_t>::max() - kPrefix - sizeof(char16_t)) / sizeof(char16_t))
    throw kException("Text too long for a system string");
  const size_t bytes = units.size() * sizeof(char16_t);
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(char16_t)));
  if (block == nullptr) throw kException("Out of memory for a system string");
  const auto count = static_cast<uint32_t>(bytes);
  std::memcpy(block, &count, kPrefix);
  auto* text = reinterpret_cast<char16_t*>(block + kPrefix);
  if (bytes > 0) std::memcpy(text, units.data(), bytes);
  text[units.size()] = 0;
  return text;
}

void FreeSystemString(kSystemString aText) {
  if (aText != nullptr) std::free(reinterpret_cast<char*>(aText) - kPrefix);
}

std::string SystemStringText(kSystemString aText) {
  if (aText == nullptr) return {};
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<char*>(aText) - kPrefix, kPrefix);
  return Utf16ToUtf8(std::u16string_view(aText, bytes / sizeof(char16_t)));
}

}  // namespace fp
