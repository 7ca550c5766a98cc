// The frame every export runs: from the request as the host passed it (UTF-16) to the
// three outputs, and the VERSION lookup.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "entry/fiscal_printer_wrapper.h"

namespace fp {

// Longest accepted request in UTF-16 code units; longer ones are refused before parsing.
inline constexpr size_t kMaxRequestChars = 16u * 1024u * 1024u;

struct kExportOutcome {
  std::u16string fOutput;        // the result fragment
  std::u16string fErrorMessage;  // the error text, unescaped
  int16_t fResult = -1;          // 0 or -1
};

// Runs one export on aXml. Never throws.
kExportOutcome RunExport(vnExport aExport, std::u16string_view aXml);

// The version text when aName is a registered driver; empty otherwise (also when the
// library could not load its drivers). Never throws.
std::optional<std::u16string> RunVersion(std::u16string_view aName);

// Position of the first lone surrogate of aText, or npos when it is valid UTF-16.
size_t FindInvalidUtf16(std::u16string_view aText);

}  // namespace fp
