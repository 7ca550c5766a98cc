// The C interface of libfpdriver: the 22 exports. Nothing here knows about requests; each
// export hands its text to the request frame and copies the frame's outcome into the host's
// output pointers. What differs by system (the string functions, load and unload) is in
// exports_posix.cpp and exports_win.cpp.
#define FPDRIVER_BUILDING_LIBRARY 1
#include "fpdriver/fpdriver.h"

#include <string>

#include "base/system_string.h"
#include "entry/host_strings.h"
#include "entry/request_frame.h"

static_assert(FPDRIVER_MAX_REQUEST_CHARS == fp::kMaxRequestChars, "the public limit is the frame's limit");

namespace {

// Stores a new string in a host output; a null output pointer is skipped. Out of memory
// leaves the output null.
void Store(BSTR* aTarget, const std::u16string& aText) {
  if (aTarget != nullptr) *aTarget = fp::HostString(fp::AllocSystemString(aText.data(), aText.size()));
}

void ClearOutputs(BSTR* aOutput, BSTR* aErrorMessage) {
  if (aOutput != nullptr) *aOutput = nullptr;
  if (aErrorMessage != nullptr) *aErrorMessage = nullptr;
}

// The 16-bit result, zero-extended: -1 reaches a host reading 32 bits as 65535.
fpdriver_result_t ResultRegister(int16_t aResult) { return static_cast<uint16_t>(aResult); }

fpdriver_result_t Run(fp::vnExport aExport, BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) noexcept {
  ClearOutputs(aOutput, aErrorMessage);
  fp::kExportOutcome outcome = fp::RunExport(aExport, fp::SystemStringView(fp::HostUnits(aXml)));
  Store(aOutput, outcome.fOutput);
  Store(aErrorMessage, outcome.fErrorMessage);
  return ResultRegister(outcome.fResult);
}

}  // namespace

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
    std::optional<std::u16string> version = fp::RunVersion(fp::SystemStringView(fp::HostUnits(aXml)));
    if (version) Store(aOutput, *version);
  } catch (...) {
  }
  return 0;
}

}  // extern "C"
