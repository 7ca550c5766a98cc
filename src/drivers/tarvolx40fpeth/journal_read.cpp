#include "drivers/tarvolx40fpeth/journal_read.h"

#include <atomic>

#include "base/text.h"
#include "base/xml_text.h"

namespace fp::tarvol {

namespace {

std::atomic<int> gMaxJournalPieces{kDefaultMaxJournalPieces};
std::atomic<size_t> gMaxJournalBytes{kDefaultMaxJournalBytes};

// "<Line>" + "</Line>" + CR LF: what a result adds to every line it shows.
constexpr size_t kLineMarkup = 15;

// What aLine takes in a result at most: escaped, in its markup, and a markup more for every
// CR or LF inside it, each of which starts another line there.
size_t ResultCost(std::string_view aLine) {
  size_t cost = EscapedXmlSize(aLine) + kLineMarkup;
  for (char c : aLine)
    if (c == '\r' || c == '\n') cost += kLineMarkup;
  return cost;
}

}  // namespace

int MaxJournalPieces() { return gMaxJournalPieces.load(); }
void SetMaxJournalPieces(int aPieces) { gMaxJournalPieces = aPieces > 0 ? aPieces : kDefaultMaxJournalPieces; }
size_t MaxJournalBytes() { return gMaxJournalBytes.load(); }
void SetMaxJournalBytes(size_t aBytes) { gMaxJournalBytes = aBytes > 0 ? aBytes : kDefaultMaxJournalBytes; }

bool kJournalCollector::AddPiece(std::string_view aReplyData) {
  if (aReplyData.size() <= 3) return true;
  const std::string_view body = aReplyData.substr(0, aReplyData.size() - 3);
  size_t start = 0;
  while (true) {
    const size_t bar = body.find("||", start);
    if (bar == std::string_view::npos) return Keep(body.substr(start));
    if (!Keep(body.substr(start, bar - start))) return false;
    start = bar + 2;
  }
}

bool kJournalCollector::Keep(std::string_view aLine) {
  if (fZReportsOnly) {
    if (aLine.find("AZZERAMENTO GIORNALIERO") != std::string_view::npos) fCollecting = true;
    if (aLine.find("DATI IN TRASMISSIONE") != std::string_view::npos) fCollecting = false;
    if (!fCollecting) return true;
  }
  const size_t cost = ResultCost(aLine);
  const size_t max = MaxJournalBytes();
  if (fCost > max || cost > max - fCost) return false;
  fCost += cost;
  if (fLineCount > 0) fText += "\r\n";
  fText += aLine;
  ++fLineCount;
  return true;
}

std::string kJournalCollector::TakeText() {
  // The text grew by doubling: what it does not use goes now, before the result is built
  // from it, while nothing else of the read is held.
  if (fText.capacity() - fText.size() > fText.size() / 4) fText.shrink_to_fit();
  std::string text = std::move(fText);
  fText.clear();
  fCost = 0;
  fLineCount = 0;
  return text;
}

size_t kJournalCollector::ShownLineCount() const { return CountTextLines(fText); }

}  // namespace fp::tarvol
