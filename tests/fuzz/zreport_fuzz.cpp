// The Z report reader over any journal text: it reads what it can; the only failure is a
// day total past the amount range, reported as such.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "drivers/tarvolx40fpeth/zreport_reader.h"
#include "fuzz_support.h"

using namespace fp::tarvol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);

  fp::vnFiscalCounters counters;
  counters.DayReceiptsNumber = 7;  // left over from an earlier read: must not survive
  try {
    ReadZReports(text, counters);
    FUZZ_CHECK(counters.Text == text);
    // The journal writes "?" for a blank it could not print; the reader takes it back so.
    std::string blanked = text;
    for (char& c : blanked)
      if (c == '?') c = ' ';
    if (blanked.find("N.DOCUMENTI CLASSE II") == std::string::npos) {
      FUZZ_CHECK(counters.DayReceiptsNumber == 0 && counters.ZReportNumber == 0);
    }
  } catch (const fp::kException& e) {
    FUZZ_CHECK(std::string(e.what()) == "Amount out of range");
  }

  // Each line on its own through the two line readers.
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t next = text.find("\r\n", pos);
    if (next == std::string::npos) next = text.size();
    const std::string_view line(text.data() + pos, next - pos);
    (void)ZReportLineValue(line);
    if (auto moment = ZReportDateTimeLine(line)) {
      // A moment that was read lies within the years the printer can write.
      const fp::DateTimeParts parts = fp::DecodeDateTime(*moment);
      FUZZ_CHECK(parts.year >= 2001 && parts.year <= 2066 && parts.month >= 1 && parts.month <= 12);
    }
    pos = next + 2;
  }
  return 0;
}
