// Reading base64 text back into bytes, e.g. the receipt picture a host receives.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace fp {

// The bytes of standard base64 text. Line breaks, padding and any other character outside
// the alphabet are skipped; trailing bits that do not fill a byte are dropped.
std::vector<uint8_t> DecodeBase64(std::string_view aText);

}  // namespace fp
