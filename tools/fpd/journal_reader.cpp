#include "journal_reader.h"

#include <sqlite3.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

namespace fpd {

namespace {

constexpr const char* kColumns =
    "id, kind, state, identity, number_before, closing_before, number, closing, ej_number, date_time, total, "
    "message, result, device, process, created, updated";

struct kDatabase {
  sqlite3* fDb = nullptr;
  ~kDatabase() { sqlite3_close_v2(fDb); }
};

struct kStatement {
  sqlite3_stmt* fStatement = nullptr;
  ~kStatement() { sqlite3_finalize(fStatement); }
};

std::string Column(sqlite3_stmt* aStatement, int aIndex) {
  const unsigned char* text = sqlite3_column_text(aStatement, aIndex);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

kJournalRow ReadRow(sqlite3_stmt* s) {
  kJournalRow r;
  r.fId = sqlite3_column_int64(s, 0);
  r.fKind = Column(s, 1);
  r.fState = Column(s, 2);
  r.fIdentity = Column(s, 3);
  r.fNumberBefore = Column(s, 4);
  r.fClosingBefore = Column(s, 5);
  r.fNumber = Column(s, 6);
  r.fClosing = Column(s, 7);
  r.fEJNumber = Column(s, 8);
  r.fDateTime = Column(s, 9);
  r.fTotal = Column(s, 10);
  r.fMessage = Column(s, 11);
  r.fResult = Column(s, 12);
  r.fDevice = Column(s, 13);
  r.fProcess = sqlite3_column_int64(s, 14);
  r.fCreated = Column(s, 15);
  r.fUpdated = Column(s, 16);
  return r;
}

// Runs aSql with text parameters over the journal at aPath, handing each row to aRow.
// A journal not written yet has no rows.
template <class RowFn>
void Query(const std::string& aPath, const std::string& aSql, const std::vector<std::string>& aParameters,
           RowFn aRow) {
  std::error_code missing;
  if (!std::filesystem::exists(std::filesystem::u8path(aPath), missing)) return;
  kDatabase db;
  if (sqlite3_open_v2(aPath.c_str(), &db.fDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    throw kJournalReadError(db.fDb ? sqlite3_errmsg(db.fDb) : "cannot open the journal");
  // The library commits in short transactions; a reader waits out one rather than failing.
  sqlite3_busy_timeout(db.fDb, 5000);
  kStatement statement;
  if (sqlite3_prepare_v2(db.fDb, aSql.c_str(), -1, &statement.fStatement, nullptr) != SQLITE_OK) {
    const std::string reason = sqlite3_errmsg(db.fDb);
    // A journal file the library has created but not yet given its table holds no documents.
    if (reason.rfind("no such table", 0) == 0) return;
    throw kJournalReadError(reason);
  }
  for (size_t i = 0; i < aParameters.size(); ++i)
    sqlite3_bind_text(statement.fStatement, static_cast<int>(i + 1), aParameters[i].c_str(), -1, SQLITE_TRANSIENT);
  for (;;) {
    const int rc = sqlite3_step(statement.fStatement);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw kJournalReadError(sqlite3_errmsg(db.fDb));
    aRow(ReadRow(statement.fStatement));
  }
}

bool Digits(const std::string& aText, size_t aFrom, size_t aCount) {
  for (size_t i = aFrom; i < aFrom + aCount; ++i)
    if (i >= aText.size() || !std::isdigit(static_cast<unsigned char>(aText[i]))) return false;
  return true;
}

}  // namespace

std::string JournalPath(const std::string& aApplicationFolder, const std::string& aSerial) {
  std::string name = aSerial;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
  return aApplicationFolder + "/DocumentJournal/" + name + ".journal";
}

std::vector<kJournalRow> ListDocuments(const std::string& aPath, const std::string& aSinceUtc, size_t aLimit) {
  std::vector<kJournalRow> rows;
  Query(aPath,
        std::string("SELECT ") + kColumns + " FROM documents WHERE created >= ?1 ORDER BY id LIMIT " +
            std::to_string(aLimit),
        {aSinceUtc}, [&](kJournalRow aRow) { rows.push_back(std::move(aRow)); });
  return rows;
}

std::optional<kJournalRow> FindDocument(const std::string& aPath, const std::string& aIdentity) {
  std::optional<kJournalRow> found;
  Query(aPath, std::string("SELECT ") + kColumns + " FROM documents WHERE identity = ?1 ORDER BY id DESC LIMIT 1",
        {aIdentity}, [&](kJournalRow aRow) { found = std::move(aRow); });
  return found;
}

std::string RowToJson(const kJournalRow& aRow, const std::string& aPrinter, bool aWithResult) {
  nlohmann::ordered_json j;
  j["printer"] = aPrinter;
  j["id"] = aRow.fId;
  j["kind"] = aRow.fKind;
  j["state"] = aRow.fState;
  j["identity"] = aRow.fIdentity;
  j["number"] = aRow.fNumber;
  j["closing"] = aRow.fClosing;
  j["ej_number"] = aRow.fEJNumber;
  j["date_time"] = aRow.fDateTime;
  j["total"] = aRow.fTotal;
  j["message"] = aRow.fMessage;
  j["device"] = aRow.fDevice;
  j["created"] = aRow.fCreated;
  j["updated"] = aRow.fUpdated;
  if (aWithResult) j["result"] = aRow.fResult;
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string NormaliseSince(const std::string& aText) {
  const bool date = aText.size() >= 10 && Digits(aText, 0, 4) && aText[4] == '-' && Digits(aText, 5, 2) &&
                    aText[7] == '-' && Digits(aText, 8, 2);
  if (!date) return "";
  if (aText.size() == 10) return aText + "T00:00:00Z";
  const bool time = aText.size() == 20 && aText[10] == 'T' && Digits(aText, 11, 2) && aText[13] == ':' &&
                    Digits(aText, 14, 2) && aText[16] == ':' && Digits(aText, 17, 2) && aText[19] == 'Z';
  return time ? aText : "";
}

}  // namespace fpd
