// The host side of a journal read: the printer hands its electronic journal back in pieces
// (the answers to "*"), each a run of lines closed by "||". The collector takes the pieces
// apart, keeps the lines the read asks for and joins them into one text.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace fp::tarvol {

// Most "*" pieces one journal read fetches before it gives up on a printer that never says
// the journal has ended. Ten lines come per piece, so the default allows 200,000 lines: ten
// times a busy day of 1,000 receipts.
inline constexpr int kDefaultMaxJournalPieces = 20000;
int MaxJournalPieces();
// Replaces the bound (tests use a small one); 0 or less restores the default.
void SetMaxJournalPieces(int aPieces);

// Most one journal read keeps, counted as the kept lines take in a result: each line
// escaped (EscapedXmlSize) plus the "<Line></Line>" and CR LF around it, and that again for
// every CR or LF inside a line, where the result breaks it. A busy day of 1,000 receipts
// takes well under 1 MiB, so the bound is far above a real read and only stops a printer
// that answers without end, with oversized pieces or with empty lines by the million. The
// result's UTF-8 stays within 8 MiB (64 KiB are left for its other elements), so the host's
// UTF-16 string within 16 MiB, and the read's text, result and strings within 64 MiB.
inline constexpr size_t kDefaultMaxJournalBytes = 8u * 1024u * 1024u - 64u * 1024u;
size_t MaxJournalBytes();
// Replaces the bound (tests use a small one); 0 restores the default.
void SetMaxJournalBytes(size_t aBytes);

// Longest time the pieces of one journal read may take. A busy day's journal comes in a few
// minutes at most; a read that holds the device longer than the ten minutes another call
// waits for it is stopped.
inline constexpr std::chrono::seconds kJournalReadTime{600};

class kJournalCollector {
 public:
  // aZReportsOnly: keep only the lines from "AZZERAMENTO GIORNALIERO" up to, not including,
  // "DATI IN TRASMISSIONE"; otherwise keep every line.
  explicit kJournalCollector(bool aZReportsOnly) : fZReportsOnly(aZReportsOnly) {}

  // One piece: the reply data of a "*" answer, which ends with the last line's "||" and the
  // frame's closing "/". False when the kept lines would pass MaxJournalBytes(): the lines
  // that still fit are kept, the rest of the piece is not.
  bool AddPiece(std::string_view aReplyData);
  // The kept lines joined with CR LF. TakeText hands it over and leaves the collector empty.
  std::string Text() const { return fText; }
  std::string TakeText();
  // Lines kept, and the lines of Text() as a result shows them (ForEachTextLine: a final
  // empty line shows none, a CR or LF inside a line starts another).
  size_t LineCount() const { return fLineCount; }
  size_t ShownLineCount() const;

 private:
  bool Keep(std::string_view aLine);

  bool fZReportsOnly;
  bool fCollecting = false;
  size_t fCost = 0;  // what the kept lines take in a result, as MaxJournalBytes counts
  size_t fLineCount = 0;
  // One text rather than a list of lines: a million empty lines cost two bytes each here,
  // not the size of a string object.
  std::string fText;
};

}  // namespace fp::tarvol
