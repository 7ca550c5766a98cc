// The exports called through the export frame in process (RunExport), with the requests and
// answers of the tests in UTF-8: for the tests that register drivers of their own.
#pragma once

#include <string>

#include "base/text.h"
#include "entry/request_frame.h"
#include "support/answer.h"

namespace fp::test {

inline Answer CallFrame(vnExport aExport, const std::string& aXml) {
  const kExportOutcome o = RunExport(aExport, Utf8ToUtf16(aXml));
  return {o.fResult, true, true, Utf16ToUtf8(o.fOutput), Utf16ToUtf8(o.fErrorMessage)};
}

}  // namespace fp::test
