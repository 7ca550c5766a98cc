// Read-only access to a printer's document journal, the SQLite file the library keeps per
// printer in <application folder>/DocumentJournal/<serial>.journal. fpd never writes it:
// the library is the journal's one writer, and fpd only shows what it recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fpd {

// The journal exists but cannot be read (HTTP 503); the message is SQLite's reason.
class kJournalReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct kJournalRow {
  int64_t fId = 0;
  std::string fKind, fState, fIdentity;
  std::string fNumberBefore, fClosingBefore, fNumber, fClosing, fEJNumber;
  std::string fDateTime, fTotal, fMessage, fResult, fDevice;
  int64_t fProcess = 0;
  std::string fCreated, fUpdated;
};

// The journal file of the printer with serial number aSerial below aApplicationFolder. The
// serial is the printer's answer, never the till's; characters other than letters, digits,
// "-" and "_" become "_", as the library names the file.
std::string JournalPath(const std::string& aApplicationFolder, const std::string& aSerial);

// Rows created at or after aSinceUtc ("YYYY-MM-DDTHH:MM:SSZ"; empty for all), oldest first,
// at most aLimit. A journal that does not exist yet has no rows. Throws kJournalReadError.
std::vector<kJournalRow> ListDocuments(const std::string& aPath, const std::string& aSinceUtc, size_t aLimit);

// The newest row whose identity is aIdentity. Throws kJournalReadError.
std::optional<kJournalRow> FindDocument(const std::string& aPath, const std::string& aIdentity);

// A row as a JSON object with the journal's column names; the result fragment only with aWithResult.
std::string RowToJson(const kJournalRow& aRow, const std::string& aPrinter, bool aWithResult);

// "YYYY-MM-DD" (midnight UTC) or "YYYY-MM-DDTHH:MM:SSZ" as the journal's UTC text; empty
// when aText is neither.
std::string NormaliseSince(const std::string& aText);

}  // namespace fpd
