// The C interface of libfpdriver: the 22 exports and the system string functions. Nothing
// here knows about requests; each export hands its text to the request frame and copies
// the frame's outcome into the host's output pointers.
#define FPDRIVER_BUILDING_LIBRARY 1
#include "fpdriver/fpdriver.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "entry/fiscal_printers.h"
#include "entry/request_frame.h"

static_assert(FPDRIVER_MAX_REQUEST_CHARS == fp::kMaxRequestChars, "the public limit is the frame's limit");

namespace {

// BSTR layout: a 32-bit byte count, the UTF-16 units, a 16-bit zero. The pointer handed
// out addresses the first unit, just after the count.
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* PrefixOf(BSTR aText) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(aText) - kPrefix); }

BSTR AllocBstr(const char16_t* aText, size_t aLength) {
  // The byte count must fit in 32 bits, and the allocation in size_t.
  if (aLength > (std::numeric_limits<uint32_t>::max() - kPrefix - sizeof(char16_t)) / sizeof(char16_t)) return nullptr;
  const size_t bytes = aLength * sizeof(char16_t);
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(char16_t)));
  if (block == nullptr) return nullptr;
  const uint32_t count = static_cast<uint32_t>(bytes);
  std::memcpy(block, &count, kPrefix);
  auto* units = reinterpret_cast<char16_t*>(block + kPrefix);
  // Without a source the units are zeroed rather than left with old heap contents.
  if (aText != nullptr) {
    if (aLength > 0) std::memcpy(units, aText, bytes);
  } else {
    std::memset(units, 0, bytes);
  }
  units[aLength] = 0;
  return units;
}

std::u16string_view ViewOf(BSTR aText) {
  if (aText == nullptr) return {};
  uint32_t bytes;
  std::memcpy(&bytes, PrefixOf(aText), kPrefix);
  return std::u16string_view(aText, bytes / sizeof(char16_t));
}

// Stores a new string in a host output; a null output pointer is skipped.
void Store(BSTR* aTarget, const std::u16string& aText) {
  if (aTarget != nullptr) *aTarget = AllocBstr(aText.data(), aText.size());
}

void ClearOutputs(BSTR* aOutput, BSTR* aErrorMessage) {
  if (aOutput != nullptr) *aOutput = nullptr;
  if (aErrorMessage != nullptr) *aErrorMessage = nullptr;
}

// The 16-bit result, zero-extended: -1 reaches a host reading 32 bits as 65535.
fpdriver_result_t ResultRegister(int16_t aResult) { return static_cast<uint16_t>(aResult); }

fpdriver_result_t Run(fp::vnExport aExport, BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) noexcept {
  ClearOutputs(aOutput, aErrorMessage);
  fp::kExportOutcome outcome = fp::RunExport(aExport, ViewOf(aXml));
  try {
    Store(aOutput, outcome.fOutput);
    Store(aErrorMessage, outcome.fErrorMessage);
  } catch (...) {
  }
  return ResultRegister(outcome.fResult);
}

// Library unload: the registry and the table go, then the application object.
__attribute__((destructor)) void UnloadLibrary() noexcept {
  try {
    fp::ReleaseDriverState();
  } catch (...) {
  }
}

}  // namespace

extern "C" {

#define FP_EXPORT(NAME)                                                          \
  FPDRIVER_API fpdriver_result_t FPDRIVER_CALL NAME(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) { \
    return Run(fp::vnExport::NAME, aXml, aOutput, aErrorMessage);                \
  }

FP_EXPORT(PRINTFR)
FP_EXPORT(REPRINTFR)
FP_EXPORT(PRINTXR)
FP_EXPORT(PRINTZR)
FP_EXPORT(PRINTNFR)
FP_EXPORT(DISPLAY)
FP_EXPORT(OPENDR)
FP_EXPORT(GETSTATUS)
FP_EXPORT(SET)
FP_EXPORT(SETDATETIME)
FP_EXPORT(OPEN)
FP_EXPORT(GETDRSTATUS)
FP_EXPORT(EJREPORT)
FP_EXPORT(CLOSE)
FP_EXPORT(GETVATTABLE)
FP_EXPORT(SETVATTABLE)
FP_EXPORT(GETDEPTTABLE)
FP_EXPORT(SETDEPTTABLE)
FP_EXPORT(PAY)
FP_EXPORT(GETLOTTERYRCPTSTATUS)
FP_EXPORT(GETEJFILES)

#undef FP_EXPORT

FPDRIVER_API fpdriver_result_t FPDRIVER_CALL VERSION(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  ClearOutputs(aOutput, aErrorMessage);
  try {
    std::optional<std::u16string> version = fp::RunVersion(ViewOf(aXml));
    if (version) Store(aOutput, *version);
  } catch (...) {
  }
  return 0;
}

FPDRIVER_API BSTR SysAllocString(const OLECHAR* aText) {
  if (aText == nullptr) return nullptr;
  return AllocBstr(aText, std::char_traits<char16_t>::length(aText));
}

FPDRIVER_API BSTR SysAllocStringLen(const OLECHAR* aText, unsigned int aLength) { return AllocBstr(aText, aLength); }

FPDRIVER_API void SysFreeString(BSTR aText) {
  if (aText != nullptr) std::free(PrefixOf(aText));
}

FPDRIVER_API unsigned int SysStringLen(BSTR aText) { return static_cast<unsigned int>(ViewOf(aText).size()); }

}  // extern "C"
