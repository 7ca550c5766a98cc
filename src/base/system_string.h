// System wide strings: the one allocator for the strings that cross the library's boundary,
// both the host's (the exported SysAllocString family) and those of outside libraries
// (processor and RT server).
//
// Layout: a 32-bit byte count (terminator excluded), the UTF-16 code units and a 16-bit
// zero; the pointer handed out addresses the first code unit, just after the count. Blocks
// come from the process heap (malloc), so an outside library and this one can free each
// other's strings; on Windows they are the system's BSTRs from oleaut32.
//
// Every function is safe to call from any thread; none keeps state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace fp {

using kSystemString = char16_t*;

// The most code units a system string holds: its byte count, with the 32-bit count before
// it and the terminator after it, still fits in 32 bits (and so in size_t).
inline constexpr size_t kMaxSystemStringUnits =
    (std::numeric_limits<uint32_t>::max() - sizeof(uint32_t) - sizeof(char16_t)) / sizeof(char16_t);

// A new string of aLength code units copied from aUnits (zeroed when aUnits is null), as
// SysAllocStringLen does. Null when the byte count would not fit in 32 bits or memory runs
// out; never throws.
kSystemString AllocSystemString(const char16_t* aUnits, size_t aLength) noexcept;
// A new system string holding aText (UTF-8) as UTF-16. Throws kException when the text is
// too long for a 32-bit byte count or memory runs out.
kSystemString NewSystemString(std::string_view aText);
// Frees a system string; null does nothing.
void FreeSystemString(kSystemString aText) noexcept;
// The code units of a system string, by its byte count (an odd count drops the last byte);
// null reads as empty.
std::u16string_view SystemStringView(const char16_t* aText) noexcept;
// The length of a system string in code units; null reads as 0.
inline size_t SystemStringLength(const char16_t* aText) noexcept { return SystemStringView(aText).size(); }
// The text of a system string as UTF-8; null reads as empty.
std::string SystemStringText(const char16_t* aText);

struct kSystemStringDeleter {
  void operator()(char16_t* aText) const noexcept { FreeSystemString(aText); }
};
using kSystemStringPtr = std::unique_ptr<char16_t, kSystemStringDeleter>;

}  // namespace fp
