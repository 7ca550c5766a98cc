// The C interface of libfpdriver: the 22 exports and the system string functions. Nothing
// here knows about requests; each export hands its text to the request frame and copies
// the frame's outcome into the host's output pointers.
#define FPDRIVER_BUILDING_LIBRARY 1
#include "fpdriver/fpdriver.h"

#include <string>
#include <type_traits>

#include "entry/fiscal_printers.h"
#include "entry/request_frame.h"
#include "base/system_string.h"

static_assert(FPDRIVER_MAX_REQUEST_CHARS == fp::kMaxRequestChars, "the public limit is the frame's limit");

namespace {

// Host strings come from the library's one system string allocator, the same that the
// outside libraries' strings use, so every string crossing a boundary has one layout and
// one heap.
#if defined(_WIN32)
// Windows declares BSTR over wchar_t, the same 16-bit units.
static_assert(sizeof(*BSTR{}) == sizeof(char16_t), "host strings are UTF-16");
fp::kSystemString Units(BSTR aText) { return reinterpret_cast<fp::kSystemString>(aText); }
BSTR HostString(fp::kSystemString aText) { return reinterpret_cast<BSTR>(aText); }
#else
static_assert(std::is_same_v<BSTR, fp::kSystemString>, "host strings are the library's system strings");
fp::kSystemString Units(BSTR aText) { return aText; }
BSTR HostString(fp::kSystemString aText) { return aText; }
#endif

// Stores a new string in a host output; a null output pointer is skipped. Out of memory
// leaves the output null.
void Store(BSTR* aTarget, const std::u16string& aText) {
  if (aTarget != nullptr) *aTarget = HostString(fp::AllocSystemString(aText.data(), aText.size()));
}

void ClearOutputs(BSTR* aOutput, BSTR* aErrorMessage) {
  if (aOutput != nullptr) *aOutput = nullptr;
  if (aErrorMessage != nullptr) *aErrorMessage = nullptr;
}

// The 16-bit result, zero-extended: -1 reaches a host reading 32 bits as 65535.
fpdriver_result_t ResultRegister(int16_t aResult) { return static_cast<uint16_t>(aResult); }

fpdriver_result_t Run(fp::vnExport aExport, BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) noexcept {
  ClearOutputs(aOutput, aErrorMessage);
  fp::kExportOutcome outcome = fp::RunExport(aExport, fp::SystemStringView(Units(aXml)));
  Store(aOutput, outcome.fOutput);
  Store(aErrorMessage, outcome.fErrorMessage);
  return ResultRegister(outcome.fResult);
}

#if !defined(_WIN32)
// Library unload: the registry and the table go, then the application object.
__attribute__((destructor)) void UnloadLibrary() noexcept {
  try {
    fp::ReleaseDriverState();
  } catch (...) {
  }
}
#endif

}  // namespace

#if defined(_WIN32)
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
#endif

extern "C" {

#define FP_EXPORT(NAME, ...)                                                        \
  FPDRIVER_API fpdriver_result_t FPDRIVER_CALL NAME(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) { \
    return Run(fp::vnExport::NAME, aXml, aOutput, aErrorMessage);                \
  }

FP_EXPORT_LIST(FP_EXPORT)

#undef FP_EXPORT

FPDRIVER_API fpdriver_result_t FPDRIVER_CALL VERSION(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  ClearOutputs(aOutput, aErrorMessage);
  try {
    std::optional<std::u16string> version = fp::RunVersion(fp::SystemStringView(Units(aXml)));
    if (version) Store(aOutput, *version);
  } catch (...) {
  }
  return 0;
}

#if !defined(_WIN32)
FPDRIVER_API BSTR SysAllocString(const OLECHAR* aText) {
  if (aText == nullptr) return nullptr;
  return fp::AllocSystemString(aText, std::char_traits<char16_t>::length(aText));
}

FPDRIVER_API BSTR SysAllocStringLen(const OLECHAR* aText, unsigned int aLength) {
  return fp::AllocSystemString(aText, aLength);
}

FPDRIVER_API void SysFreeString(BSTR aText) { fp::FreeSystemString(aText); }

FPDRIVER_API unsigned int SysStringLen(BSTR aText) { return static_cast<unsigned int>(fp::SystemStringLength(aText)); }
#endif

}  // extern "C"
