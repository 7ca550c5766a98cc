// The request reader of every export: the first byte picks the export, the rest is the
// request as the host would send it. The text goes through the same steps as in the frame:
// the UTF-16 round trip, then the holder's reader with the export's CP re-encoding and
// documents; the code-page step must give the readers the tree its written-back text gives.
// Any failure must be a kException with a message; nothing else may escape.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "base/text.h"
#include "entry/fiscal_printer_wrapper.h"
#include "entry/request_frame.h"
#include "fuzz_support.h"
#include "../support/request_trees.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 1) return 0;
  constexpr int kExports = static_cast<int>(fp::vnExport::GETEJFILES) + 1;
  const auto exportId = static_cast<fp::vnExport>((aData[0] & 0x7F) % kExports);
  std::string xml(reinterpret_cast<const char*>(aData + 1), aSize - 1);

  // The host hands UTF-16; whatever the library answers goes back the same way.
  const std::u16string wide = fp::Utf8ToUtf16(xml);
  if (fp::FindInvalidUtf16(wide) != std::u16string::npos) return 0;
  xml = fp::Utf16ToUtf8(wide);

  const fp::kExportProfile& profile = fp::ExportProfile(exportId);
  auto request = fp::CreateFiscalPrinterWrapper(exportId);
  // The code-page step reads what the text it stands for reads.
  if (profile.fCodePage) FUZZ_CHECK(fp::test::OneParseTree(xml) == fp::test::TwoParseTree(xml));
  try {
    request->Handler().ReadRequest(xml, profile.fDocuments, profile.fCodePage, profile.fKeepXml);
  } catch (const fp::kException& e) {
    FUZZ_CHECK(e.what()[0] != '\0');
  }
  // A refused request still formats its result.
  request->Reject("refused");
  std::string output, message;
  int16_t result = 0;
  request->Format(output, message, result);
  FUZZ_CHECK(result == -1 && message == "refused");
  return 0;
}
