// The host side of a journal read: the printer hands its electronic journal back in pieces
// (the answers to "*"), each a run of lines closed by "||". The collector takes the pieces
// apart, keeps the lines the read asks for and joins them into one text.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fp::tarvol {

// Most "*" pieces one journal read fetches before it gives up on a printer that never says
// the journal has ended. Ten lines come per piece, so the default allows 200,000 lines: ten
// times a busy day of 1,000 receipts.
inline constexpr int kDefaultMaxJournalPieces = 20000;
int MaxJournalPieces();
// Replaces the bound (tests use a small one); 0 or less restores the default.
void SetMaxJournalPieces(int aPieces);

// Most text one journal read keeps. A busy day of 1,000 receipts makes well under 1 MiB of
// journal text, so the bound is far above a real read and only stops a printer that answers
// without end or with oversized pieces.
inline constexpr size_t kDefaultMaxJournalBytes = 8u * 1024u * 1024u;
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
  // frame's closing "/". False when the kept text would pass MaxJournalBytes(): the lines
  // that still fit are kept, the rest of the piece is not.
  bool AddPiece(std::string_view aReplyData);
  // The kept lines joined with CR LF.
  std::string Text() const;
  size_t LineCount() const { return fLines.size(); }

 private:
  bool Keep(std::string_view aLine);

  bool fZReportsOnly;
  bool fCollecting = false;
  size_t fBytes = 0;  // size of Text()
  std::vector<std::string> fLines;
};

}  // namespace fp::tarvol
