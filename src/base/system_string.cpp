// The system string functions that are the same on every system; the allocator itself is
// in system_string_posix.cpp (the library's own heap blocks) and system_string_win.cpp
// (oleaut32's BSTRs).
#include "base/system_string.h"

#include "base/errors.h"
#include "base/text.h"

namespace fp {

kSystemString NewSystemString(std::string_view aText) {
  std::u16string units = Utf8ToUtf16(aText);
  if (units.size() > kMaxSystemStringUnits) throw kException("Text too long for a system string");
  kSystemString text = AllocSystemString(units.data(), units.size());
  if (text == nullptr) throw kException("Out of memory for a system string");
  return text;
}

std::string SystemStringText(const char16_t* aText) { return Utf16ToUtf8(SystemStringView(aText)); }

}  // namespace fp
