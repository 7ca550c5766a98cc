// System strings as the stand-in libraries the device tests load hand them over: text in,
// text out, one character per UTF-16 unit (the tests speak ASCII only).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace testlib {

// The host's system string layout: byte count, UTF-16 units, zero.
inline char16_t* Alloc(const std::string& aText) {
  const uint32_t bytes = static_cast<uint32_t>(aText.size() * 2);
  char* block = static_cast<char*>(std::malloc(4 + bytes + 2));
  std::memcpy(block, &bytes, 4);
  auto* units = reinterpret_cast<char16_t*>(block + 4);
  for (size_t i = 0; i < aText.size(); ++i) units[i] = static_cast<unsigned char>(aText[i]);
  units[aText.size()] = 0;
  return units;
}

inline std::string Text(const char16_t* aText) {
  std::string out;
  for (; aText && *aText; ++aText) out += static_cast<char>(*aText);
  return out;
}

}  // namespace testlib
