// System strings on Windows: the system's own BSTRs from oleaut32, so that the host and the
// outside libraries allocate and free them with SysAllocString and SysFreeString.
#include <cstring>

#include <windows.h>
#include <oleauto.h>

#include "base/system_string.h"

namespace fp {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLE strings are UTF-16");

kSystemString AllocSystemString(const char16_t* aUnits, size_t aLength) noexcept {
  if (aLength > kMaxSystemStringUnits) return nullptr;
  // SysAllocStringLen leaves the units uninitialised without a source: zero them here.
  BSTR text = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(aUnits), static_cast<UINT>(aLength));
  if (text != nullptr && aUnits == nullptr && aLength > 0) std::memset(text, 0, aLength * sizeof(char16_t));
  return reinterpret_cast<kSystemString>(text);
}

void FreeSystemString(kSystemString aText) noexcept { ::SysFreeString(reinterpret_cast<BSTR>(aText)); }

std::u16string_view SystemStringView(const char16_t* aText) noexcept {
  if (aText == nullptr) return {};
  auto* text = reinterpret_cast<BSTR>(const_cast<char16_t*>(aText));
  return std::u16string_view(aText, ::SysStringByteLen(text) / sizeof(char16_t));
}

}  // namespace fp
