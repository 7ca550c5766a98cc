// System wide strings, for calls into outside libraries: a 32-bit byte count, the UTF-16
// code units and a 16-bit zero; the pointer addresses the first code unit. The blocks come
// from the process heap (malloc), the allocator the library's exported string functions
// use, so an outside library and this one can free each other's strings.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace fp {

using kSystemString = char16_t*;

// A new system string holding aText (UTF-8) as UTF-16. Throws kException when the text is
// too long for a 32-bit byte count or memory runs out.
kSystemString NewSystemString(std::string_view aText);
// Frees a system string; null does nothing.
void FreeSystemString(kSystemString aText);
// The text of a system string as UTF-8; null reads as empty.
std::string SystemStringText(kSystemString aText);

struct kSystemStringDeleter {
  void operator()(char16_t* aText) const { FreeSystemString(aText); }
};
using kSystemStringPtr = std::unique_ptr<char16_t, kSystemStringDeleter>;

}  // namespace fp
