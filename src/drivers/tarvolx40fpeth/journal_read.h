// The host side of a journal read: the printer hands its electronic journal back in pieces
// (the answers to "*"), each a run of lines closed by "||". The collector takes the pieces
// apart, keeps the lines the read asks for and joins them into one text.
#pragma once

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

class kJournalCollector {
 public:
  // aZReportsOnly: keep only the lines from "AZZERAMENTO GIORNALIERO" up to, not including,
  // "DATI IN TRASMISSIONE"; otherwise keep every line.
  explicit kJournalCollector(bool aZReportsOnly) : fZReportsOnly(aZReportsOnly) {}

  // One piece: the reply data of a "*" answer, which ends with the last line's "||" and the
  // frame's closing "/".
  void AddPiece(std::string_view aReplyData);
  // The kept lines joined with CR LF.
  std::string Text() const;
  size_t LineCount() const { return fLines.size(); }

 private:
  void Keep(std::string_view aLine);

  bool fZReportsOnly;
  bool fCollecting = false;
  std::vector<std::string> fLines;
};

}  // namespace fp::tarvol
