// The exports' system side on Windows: the host's strings are oleaut32's BSTRs, and the DLL
// pins itself when loaded.
#define FPDRIVER_BUILDING_LIBRARY 1
#include "fpdriver/fpdriver.h"

#include <windows.h>

#include "base/system_string.h"
#include "entry/host_strings.h"

namespace fp {

// Windows declares BSTR over wchar_t, the same 16-bit units.
static_assert(sizeof(*BSTR{}) == sizeof(char16_t), "host strings are UTF-16");
kSystemString HostUnits(BSTR aText) { return reinterpret_cast<kSystemString>(aText); }
BSTR HostString(kSystemString aText) { return reinterpret_cast<BSTR>(aText); }

}  // namespace fp

// The DLL stays loaded once loaded (as the shared object is built never to be unmapped):
// its log writers' threads may still run when a host frees it. At process exit Windows has
// already ended every other thread, so nothing is torn down that would wait for them;
// the system reclaims the memory and the handles.
extern "C" BOOL WINAPI DllMain(HINSTANCE aInstance, DWORD aReason, LPVOID) {
  if (aReason == DLL_PROCESS_ATTACH) {
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(aInstance), &pinned);
  }
  return TRUE;
}
