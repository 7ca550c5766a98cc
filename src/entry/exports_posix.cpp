// The exports' system side where there is no oleaut32: the library exports the
// SysAllocString family itself, and unloading the library releases its state.
#define FPDRIVER_BUILDING_LIBRARY 1
#include "fpdriver/fpdriver.h"

#include <string>
#include <type_traits>

#include "base/system_string.h"
#include "entry/fiscal_printers.h"
#include "entry/host_strings.h"

namespace fp {

static_assert(std::is_same_v<BSTR, kSystemString>, "host strings are the library's system strings");
kSystemString HostUnits(BSTR aText) { return aText; }
BSTR HostString(kSystemString aText) { return aText; }

}  // namespace fp

namespace {

// Library unload: the registry and the table go, then the application object.
__attribute__((destructor)) void UnloadLibrary() noexcept {
  try {
    fp::ReleaseDriverState();
  } catch (...) {
  }
}

}  // namespace

extern "C" {

FPDRIVER_API BSTR SysAllocString(const OLECHAR* aText) {
  if (aText == nullptr) return nullptr;
  return fp::AllocSystemString(aText, std::char_traits<char16_t>::length(aText));
}

FPDRIVER_API BSTR SysAllocStringLen(const OLECHAR* aText, unsigned int aLength) {
  return fp::AllocSystemString(aText, aLength);
}

FPDRIVER_API void SysFreeString(BSTR aText) { fp::FreeSystemString(aText); }

FPDRIVER_API unsigned int SysStringLen(BSTR aText) { return static_cast<unsigned int>(fp::SystemStringLength(aText)); }

}  // extern "C"
