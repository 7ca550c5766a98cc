#include "entry/request_frame.h"

#include <exception>

#include "base/text.h"
#include "device/fiscal_printer_device.h"

namespace fp {

namespace {

// The answer when even the request object could not run (out of memory): a bare error tail.
kExportOutcome EmergencyOutcome(const char* aMessage) {
  kExportOutcome outcome;
  try {
    _int_ErrorTail failed;
    failed.Error = true;
    failed.ErrorText = aMessage;
    outcome.fOutput = Utf8ToUtf16(failed.Format());
    outcome.fErrorMessage = Utf8ToUtf16(aMessage);
  } catch (...) {
    outcome.fOutput.clear();
    outcome.fErrorMessage.clear();
  }
  outcome.fResult = -1;
  return outcome;
}

}  // namespace

size_t FindInvalidUtf16(std::u16string_view aText) {
  for (size_t i = 0; i < aText.size(); ++i) {
    char16_t c = aText[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < aText.size() && aText[i + 1] >= 0xDC00 && aText[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return i;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return i;
  }
  return std::u16string_view::npos;
}

kExportOutcome RunExport(vnExport aExport, std::u16string_view aXml) {
  try {
    std::unique_ptr<kFiscalPrinterWrapper> request = CreateFiscalPrinterWrapper(aExport);
    if (aXml.size() > kMaxRequestChars) {
      request->Reject("Request too long: " + std::to_string(aXml.size()) + " characters, at most " +
                      std::to_string(kMaxRequestChars) + " accepted");
    } else if (size_t bad = FindInvalidUtf16(aXml); bad != std::u16string_view::npos) {
      request->Reject("Request is not valid UTF-16: unpaired surrogate at character " + std::to_string(bad));
    } else {
      request->Process(Utf16ToUtf8(aXml));
    }
    std::string output;
    std::string errorMessage;
    kExportOutcome outcome;
    request->Format(output, errorMessage, outcome.fResult);
    outcome.fOutput = Utf8ToUtf16(output);
    outcome.fErrorMessage = Utf8ToUtf16(errorMessage);
    return outcome;
  } catch (const std::bad_alloc&) {
    return EmergencyOutcome("Out of memory");
  } catch (const std::exception& e) {
    return EmergencyOutcome(e.what());
  } catch (...) {
    return EmergencyOutcome("Unexpected internal error");
  }
}

std::optional<std::u16string> RunVersion(std::u16string_view aName) {
  try {
    if (aName.size() > kMaxRequestChars || FindInvalidUtf16(aName) != std::u16string_view::npos) return std::nullopt;
    if (DriverState().FiscalPrinterDrivers.Find(Utf16ToUtf8(aName)) == nullptr) return std::nullopt;
    return Utf8ToUtf16(kFiscalPrinterDevice::GetDriverVersion());
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace fp
