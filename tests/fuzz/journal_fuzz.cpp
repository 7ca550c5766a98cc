// The journal splitter: the input is a run of pieces as the printer answers "*", each piece
// ended by a zero byte. Every kept line is a piece's text between "||", never holding one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/tarvolx40fpeth/journal_read.h"
#include "fuzz_support.h"

using namespace fp::tarvol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string_view input(reinterpret_cast<const char*>(aData), aSize);

  kJournalCollector all(false);
  kJournalCollector zOnly(true);
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\0', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view piece = input.substr(start, end - start);
    all.AddPiece(piece);
    zOnly.AddPiece(piece);
    start = end + 1;
  }

  FUZZ_CHECK(zOnly.LineCount() <= all.LineCount());
  const std::string text = all.Text();
  if (all.LineCount() == 0) FUZZ_CHECK(text.empty());
  // Lines hold no separator of their own, so the joined text has exactly LineCount lines.
  size_t breaks = 0;
  for (size_t i = 0; (i = text.find("\r\n", i)) != std::string::npos; i += 2) ++breaks;
  if (all.LineCount() > 0 && input.find("\r\n") == std::string_view::npos) FUZZ_CHECK(breaks + 1 == all.LineCount());
  FUZZ_CHECK(text.find("||") == std::string::npos);
  (void)zOnly.Text();
  return 0;
}
