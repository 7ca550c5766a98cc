// The document journal's SQLite file and the printer lock.
#include "device/document_journal.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "base/platform.h"
#include "device/lock_file.h"

namespace fp {

namespace {

namespace fs = std::filesystem;

constexpr int kSchemaVersion = 1;
// A writer waits this long for another connection's transaction before it gives up.
constexpr int kBusyTimeoutMs = 5000;
// Bounds of what one row may hold. A result fragment past its bound is not kept (a retry
// is then answered from the row's numbers); a message is cut at a character boundary.
constexpr size_t kMaxResultBytes = 4u << 20;
constexpr size_t kMaxMessageBytes = 64u << 10;
constexpr size_t kMaxFieldBytes = 1024;

constexpr std::array<const char*, 6> kKindNames{"receipt", "document", "z report", "reprint", "programming", "clock"};
constexpr std::array<const char*, 5> kStateNames{"started", "closing sent", "printed", "not printed", "unknown"};

// The columns of a row, in the order every SELECT below reads them. kColumnsButResult puts an
// empty text in the place of the result fragment, which may be megabytes; kColumnsToSettle
// leaves out everything from it on, which lies past it in the row's record.
constexpr const char* kColumns =
    "id, kind, state, identity, number_before, closing_before, number, closing, ej_number, date_time, total, "
    "message, result, device, process, created, updated";
constexpr const char* kColumnsButResult =
    "id, kind, state, identity, number_before, closing_before, number, closing, ej_number, date_time, total, "
    "message, '', device, process, created, updated";
constexpr const char* kColumnsToSettle =
    "id, kind, state, identity, number_before, closing_before, number, closing, ej_number, date_time, total, "
    "message, '', '', 0, '', ''";
constexpr std::array<const char*, 17> kColumnNames{
    "id",     "kind",    "state",   "identity", "number_before", "closing_before", "number", "closing", "ej_number",
    "date_time", "total", "message", "result",  "device",        "process",        "created", "updated"};

constexpr const char* kSchema =
    "CREATE TABLE documents ("
    " id INTEGER PRIMARY KEY, kind TEXT NOT NULL, state TEXT NOT NULL, identity TEXT NOT NULL DEFAULT '',"
    " number_before TEXT NOT NULL DEFAULT '', closing_before TEXT NOT NULL DEFAULT '',"
    " number TEXT NOT NULL DEFAULT '', closing TEXT NOT NULL DEFAULT '', ej_number TEXT NOT NULL DEFAULT '',"
    " date_time TEXT NOT NULL DEFAULT '', total TEXT NOT NULL DEFAULT '', message TEXT NOT NULL DEFAULT '',"
    " result TEXT NOT NULL DEFAULT '', device TEXT NOT NULL DEFAULT '', process INTEGER NOT NULL DEFAULT 0,"
    " created TEXT NOT NULL, updated TEXT NOT NULL);"
    "CREATE INDEX documents_identity ON documents(identity);"
    "CREATE INDEX documents_state ON documents(state);"
    "PRAGMA user_version=1;";

fs::path Utf8Path(const std::string& aPath) { return fs::path(std::u8string(aPath.begin(), aPath.end())); }

// "YYYY-MM-DDTHH:MM:SSZ", or the compact "YYYYMMDDTHHMMSSZ" for file names.
std::string UtcNow(bool aCompact = false) {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, aCompact ? "%04d%02u%02uT%02d%02d%02dZ" : "%04d-%02u-%02uT%02d:%02d:%02dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

// aText cut to at most aMax bytes without splitting a UTF-8 character.
std::string Bounded(const std::string& aText, size_t aMax) {
  if (aText.size() <= aMax) return aText;
  size_t end = aMax;
  while (end > 0 && (static_cast<unsigned char>(aText[end]) & 0xC0) == 0x80) --end;
  return aText.substr(0, end);
}

std::string Reason(sqlite3* aDb) { return aDb ? sqlite3_errmsg(aDb) : "out of memory"; }

// One prepared statement, finalized with its scope.
class kStatement {
 public:
  kStatement(sqlite3* aDb, const char* aSql) : fDb(aDb) {
    if (sqlite3_prepare_v2(aDb, aSql, -1, &fStmt, nullptr) != SQLITE_OK) throw kJournalError(Reason(aDb));
  }
  ~kStatement() { sqlite3_finalize(fStmt); }
  kStatement(const kStatement&) = delete;
  kStatement& operator=(const kStatement&) = delete;

  kStatement& Bind(int aIndex, const std::string& aText) {
    Check(sqlite3_bind_text(fStmt, aIndex, aText.data(), static_cast<int>(aText.size()), SQLITE_TRANSIENT));
    return *this;
  }
  kStatement& Bind(int aIndex, int64_t aValue) {
    Check(sqlite3_bind_int64(fStmt, aIndex, aValue));
    return *this;
  }
  // True while a row is there to read.
  bool Step() {
    const int rc = sqlite3_step(fStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw kJournalError(Reason(fDb));
  }
  std::string Text(int aColumn) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(fStmt, aColumn));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(fStmt, aColumn))) : std::string();
  }
  int64_t Int(int aColumn) const { return sqlite3_column_int64(fStmt, aColumn); }

 private:
  void Check(int aRc) const {
    if (aRc != SQLITE_OK) throw kJournalError(Reason(fDb));
  }
  sqlite3* fDb;
  sqlite3_stmt* fStmt = nullptr;
};

void Execute(sqlite3* aDb, const char* aSql) {
  if (sqlite3_exec(aDb, aSql, nullptr, nullptr, nullptr) != SQLITE_OK) throw kJournalError(Reason(aDb));
}

// One write: BEGIN IMMEDIATE takes the write lock at once (waiting out other connections
// within the busy timeout), and a write that does not reach COMMIT is rolled back.
class kWriteTransaction {
 public:
  explicit kWriteTransaction(sqlite3* aDb) : fDb(aDb) { Execute(aDb, "BEGIN IMMEDIATE"); }
  ~kWriteTransaction() {
    if (!fDone) sqlite3_exec(fDb, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    Execute(fDb, "COMMIT");
    fDone = true;
  }

 private:
  sqlite3* fDb;
  bool fDone = false;
};

vnJournalEntry ReadEntry(const kStatement& aRow) {
  vnJournalEntry e;
  e.fId = aRow.Int(0);
  // A name this build does not know reads as the first value of its type; the journal
  // never writes one.
  JournalKindFromName(aRow.Text(1), e.fKind);
  JournalStateFromName(aRow.Text(2), e.fState);
  e.fIdentity = aRow.Text(3);
  e.fNumberBefore = aRow.Text(4);
  e.fClosingBefore = aRow.Text(5);
  e.fNumber = aRow.Text(6);
  e.fClosing = aRow.Text(7);
  e.fEJNumber = aRow.Text(8);
  e.fDateTime = aRow.Text(9);
  e.fTotal = aRow.Text(10);
  e.fMessage = aRow.Text(11);
  e.fResult = aRow.Text(12);
  e.fDevice = aRow.Text(13);
  e.fProcess = aRow.Int(14);
  e.fCreated = aRow.Text(15);
  e.fUpdated = aRow.Text(16);
  return e;
}

// What opening a file found.
enum class vnFileCheck : uint8_t { Usable, Damaged };

// An open connection, closed with its scope unless handed on.
struct kConnection {
  sqlite3* fDb = nullptr;
  kConnection() = default;
  kConnection(const kConnection&) = delete;
  kConnection& operator=(const kConnection&) = delete;
  ~kConnection() { sqlite3_close_v2(fDb); }
  sqlite3* Release() {
    sqlite3* db = fDb;
    fDb = nullptr;
    return db;
  }
};

bool IsDamage(int aRc) {
  const int primary = aRc & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Opens aPath and checks that it is a journal this build can write: its pages pass the
// quick check and it holds exactly our table (or nothing yet, when the schema is written).
// Throws kJournalError for what is no damage of the file: a folder or file that can't be
// written, a lock that is never given up, a journal of a later version.
vnFileCheck OpenChecked(const std::string& aPath, kConnection& aConnection) {
  std::error_code ec;
  if (fs::is_directory(Utf8Path(aPath), ec)) return vnFileCheck::Damaged;
  // An empty file is a journal being begun: opening creates it at once, before the schema is
  // committed, and another opener (or one killed in between) leaves it so. Its schema is
  // written below under a write transaction, by whichever opener comes first.
  const int rc = sqlite3_open_v2(aPath.c_str(), &aConnection.fDb,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) throw kJournalError(Reason(aConnection.fDb));
  sqlite3* db = aConnection.fDb;
  sqlite3_extended_result_codes(db, 1);
  // A file the system lets us read but not write opens read-only: every write would fail.
  if (sqlite3_db_readonly(db, "main") == 1) throw kJournalError("the journal file " + aPath + " is read-only");
  sqlite3_busy_timeout(db, kBusyTimeoutMs);

  auto damageOr = [&](int aRc) {
    if (IsDamage(aRc)) return vnFileCheck::Damaged;
    throw kJournalError(Reason(db));
  };
  sqlite3_stmt* raw = nullptr;
  int step = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &raw, nullptr);
  if (step != SQLITE_OK) return damageOr(step);
  step = sqlite3_step(raw);
  const std::string verdict =
      step == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)) : std::string();
  step = step == SQLITE_ROW ? SQLITE_OK : step;
  sqlite3_finalize(raw);
  if (step != SQLITE_OK) return damageOr(step);
  if (verdict != "ok") return vnFileCheck::Damaged;

  int version = 0;
  std::vector<std::string> tables, columns;
  try {
    kStatement v(db, "PRAGMA user_version");
    if (v.Step()) version = static_cast<int>(v.Int(0));
    kStatement t(db, "SELECT name FROM sqlite_master WHERE type = 'table'");
    while (t.Step()) tables.push_back(t.Text(0));
    kStatement c(db, "PRAGMA table_info(documents)");
    while (c.Step()) columns.push_back(c.Text(1));
  } catch (const kJournalError&) {
    return damageOr(sqlite3_extended_errcode(db));
  }
  if (version > kSchemaVersion)
    throw kJournalError("the journal " + aPath + " was written by a later version of the driver (schema " +
                        std::to_string(version) + ")");
  if (version == 0 && tables.empty()) {
    // A new file (or an empty one): write the schema, unless another connection did first.
    kWriteTransaction write(db);
    kStatement v(db, "PRAGMA user_version");
    if (!(v.Step() && v.Int(0) == kSchemaVersion)) Execute(db, kSchema);
    write.Commit();
    return vnFileCheck::Usable;
  }
  if (version != kSchemaVersion || tables != std::vector<std::string>{"documents"} ||
      columns != std::vector<std::string>(kColumnNames.begin(), kColumnNames.end()))
    return vnFileCheck::Damaged;
  return vnFileCheck::Usable;
}

// The journal mode the file is in ("wal", "delete", ...).
std::string JournalMode(sqlite3* aDb, const char* aPragma) {
  kStatement mode(aDb, aPragma);
  return mode.Step() ? mode.Text(0) : std::string();
}

// Sets the connection up for durable writes: the write-ahead log, each commit on disk
// before it returns.
//
// Switching a new file to the write-ahead log reads the file and then upgrades to a write,
// and SQLite answers a busy upgrade at once instead of calling the busy handler: two openers
// of a brand-new journal switching together would see one of them fail. So the switch is
// asked again, within the busy bound, until the file is in the write-ahead log (whichever
// opener switched it). A file system that cannot hold the log keeps the file in its rollback
// journal, which synchronous=FULL keeps durable as well.
void SetDurable(sqlite3* aDb) {
  const auto start = std::chrono::steady_clock::now();
  for (std::string mode = JournalMode(aDb, "PRAGMA journal_mode"); mode != "wal";
       mode = JournalMode(aDb, "PRAGMA journal_mode")) {
    try {
      JournalMode(aDb, "PRAGMA journal_mode=WAL");
      break;
    } catch (const kJournalError&) {
      if ((sqlite3_extended_errcode(aDb) & 0xFF) != SQLITE_BUSY) throw;
    }
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(kBusyTimeoutMs))
      throw kJournalError(std::string("the journal cannot be switched to its write-ahead log: ") + sqlite3_errmsg(aDb));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Execute(aDb, "PRAGMA synchronous=FULL");
}

// Moves the damaged file (with its write-ahead log and index, which belong to it) aside
// under a name not yet taken; answers the new name.
std::string SetAside(const std::string& aPath) {
  const std::string stamp = aPath + ".damaged-" + UtcNow(true);
  std::string target = stamp;
  std::error_code ec;
  for (int n = 2; fs::exists(Utf8Path(target), ec) || fs::exists(Utf8Path(target + "-wal"), ec); ++n)
    target = stamp + "-" + std::to_string(n);
  if (!RenameNoReplace(aPath, target))
    throw kJournalError("the damaged journal " + aPath + " cannot be set aside as " + target);
  for (const char* companion : {"-wal", "-shm"})
    if (fs::exists(Utf8Path(aPath + companion), ec)) RenameNoReplace(aPath + companion, target + companion);
  return target;
}

// The holders of every printer lock of this process, by lock file: a second holder in
// this process waits as one in another process does, even where the system would let the
// same process in twice.
std::mutex gHoldersLock;
std::map<std::string, bool> gHeld;

constexpr int kLockPauseMs = 50;

}  // namespace

const char* JournalKindName(vnJournalKind aKind) { return kKindNames.at(static_cast<size_t>(aKind)); }
const char* JournalStateName(vnJournalState aState) { return kStateNames.at(static_cast<size_t>(aState)); }

bool JournalKindFromName(const std::string& aName, vnJournalKind& aKind) {
  for (size_t i = 0; i < kKindNames.size(); ++i)
    if (aName == kKindNames[i]) {
      aKind = static_cast<vnJournalKind>(i);
      return true;
    }
  return false;
}

bool JournalStateFromName(const std::string& aName, vnJournalState& aState) {
  for (size_t i = 0; i < kStateNames.size(); ++i)
    if (aName == kStateNames[i]) {
      aState = static_cast<vnJournalState>(i);
      return true;
    }
  return false;
}

bool IsUnsettled(vnJournalState aState) {
  return aState == vnJournalState::Started || aState == vnJournalState::ClosingSent ||
         aState == vnJournalState::Unknown;
}

std::string kDocumentJournal::JournalFileName(const std::string& aSerial) {
  std::string name;
  for (char c : aSerial) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    name += kept ? c : '_';
  }
  return name + ".journal";
}

std::string kDocumentJournal::LockFileName(const std::string& aSerial) {
  std::string name = JournalFileName(aSerial);
  return name.substr(0, name.size() - std::string(".journal").size()) + ".lock";
}

std::string kDocumentJournal::DefaultFolder() {
  const std::string app = ApplicationDir();
  return app.empty() ? std::string() : app + "/DocumentJournal";
}

std::unique_ptr<kDocumentJournal> kDocumentJournal::Open(const std::string& aFolder, const std::string& aSerial,
                                                         std::string* aDamaged) {
  if (aDamaged) aDamaged->clear();
  if (aFolder.empty()) throw kJournalError("the application folder is not known");
  if (aSerial.empty()) throw kJournalError("the printer's serial number is not known");
  std::error_code ec;
  fs::create_directories(Utf8Path(aFolder), ec);
  if (ec) throw kJournalError("the folder " + aFolder + " cannot be created: " + ec.message());
  if (!fs::is_directory(Utf8Path(aFolder), ec)) throw kJournalError(aFolder + " is not a folder");
  const std::string path = aFolder + "/" + JournalFileName(aSerial);

  kConnection connection;
  if (OpenChecked(path, connection) == vnFileCheck::Damaged) {
    sqlite3_close_v2(connection.Release());
    // Another process may be finding the same damage: one sets the file aside under a lock
    // of its own ("<serial>.repair.lock"); the others then find its new journal and use it.
    std::string repairLock = LockFileName(aSerial);
    repairLock.insert(repairLock.size() - std::string(".lock").size(), ".repair");
    kPrinterLock repair(aFolder + "/" + repairLock);
    if (!repair.Acquire(kBusyTimeoutMs)) throw kJournalError("the damaged journal " + path + " is being repaired");
    kConnection again;
    if (OpenChecked(path, again) == vnFileCheck::Damaged) {
      sqlite3_close_v2(again.Release());
      const std::string aside = SetAside(path);
      if (aDamaged) *aDamaged = aside;
      if (OpenChecked(path, connection) == vnFileCheck::Damaged)
        throw kJournalError("a new journal cannot be begun at " + path);
    } else {
      connection.fDb = again.Release();
    }
  }
  SetDurable(connection.fDb);
  return std::unique_ptr<kDocumentJournal>(new kDocumentJournal(path, connection.Release()));
}

kDocumentJournal::kDocumentJournal(std::string aPath, sqlite3* aDb) : fPath(std::move(aPath)), fDb(aDb) {}

kDocumentJournal::~kDocumentJournal() { sqlite3_close_v2(fDb); }

// The columns a document's outcome fills, bound in their order from aFirst on: number,
// closing, ej_number, date_time, total, message, result, device. Begin and Update write them
// alike; a result fragment past its bound is not kept (cut, it would no longer be XML).
static void BindOutcome(kStatement& aStatement, int aFirst, const vnJournalEntry& aEntry) {
  aStatement.Bind(aFirst, Bounded(aEntry.fNumber, kMaxFieldBytes))
      .Bind(aFirst + 1, Bounded(aEntry.fClosing, kMaxFieldBytes))
      .Bind(aFirst + 2, Bounded(aEntry.fEJNumber, kMaxFieldBytes))
      .Bind(aFirst + 3, Bounded(aEntry.fDateTime, kMaxFieldBytes))
      .Bind(aFirst + 4, Bounded(aEntry.fTotal, kMaxFieldBytes))
      .Bind(aFirst + 5, Bounded(aEntry.fMessage, kMaxMessageBytes))
      .Bind(aFirst + 6, aEntry.fResult.size() <= kMaxResultBytes ? aEntry.fResult : std::string())
      .Bind(aFirst + 7, Bounded(aEntry.fDevice, kMaxFieldBytes));
}

void kDocumentJournal::Begin(vnJournalEntry& aEntry) {
  const std::string now = UtcNow();
  const int64_t process = ::getpid();
  kWriteTransaction write(fDb);
  kStatement insert(fDb,
                    "INSERT INTO documents (kind, state, identity, number_before, closing_before, number, closing,"
                    " ej_number, date_time, total, message, result, device, process, created, updated)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?15)");
  insert.Bind(1, std::string(JournalKindName(aEntry.fKind)))
      .Bind(2, std::string(JournalStateName(aEntry.fState)))
      .Bind(3, aEntry.fIdentity)
      .Bind(4, Bounded(aEntry.fNumberBefore, kMaxFieldBytes))
      .Bind(5, Bounded(aEntry.fClosingBefore, kMaxFieldBytes))
      .Bind(14, process)
      .Bind(15, now);
  BindOutcome(insert, 6, aEntry);
  insert.Step();
  const int64_t id = sqlite3_last_insert_rowid(fDb);
  write.Commit();
  aEntry.fId = id;
  aEntry.fProcess = process;
  aEntry.fCreated = now;
  aEntry.fUpdated = now;
}

void kDocumentJournal::Update(const vnJournalEntry& aEntry) {
  kWriteTransaction write(fDb);
  kStatement update(fDb,
                    "UPDATE documents SET state = ?2, number = ?3, closing = ?4, ej_number = ?5, date_time = ?6,"
                    " total = ?7, message = ?8, result = CASE WHEN ?13 THEN ?9 ELSE result END,"
                    " device = CASE WHEN ?13 THEN ?10 ELSE device END,"
                    " process = ?11, updated = ?12"
                    " WHERE id = ?1");
  update.Bind(1, aEntry.fId)
      .Bind(2, std::string(JournalStateName(aEntry.fState)))
      .Bind(11, static_cast<int64_t>(::getpid()))
      .Bind(12, UtcNow())
      .Bind(13, static_cast<int64_t>(aEntry.fWhole ? 1 : 0));
  BindOutcome(update, 3, aEntry);
  update.Step();
  if (sqlite3_changes(fDb) != 1) throw kJournalError("the journal holds no document " + std::to_string(aEntry.fId));
  write.Commit();
}

std::optional<vnJournalEntry> kDocumentJournal::Find(int64_t aId) {
  kStatement select(fDb, (std::string("SELECT ") + kColumns + " FROM documents WHERE id = ?1").c_str());
  select.Bind(1, aId);
  if (!select.Step()) return std::nullopt;
  return ReadEntry(select);
}

std::optional<vnJournalEntry> kDocumentJournal::FindByIdentity(const std::string& aIdentity,
                                                               const std::string& aDevice) {
  if (aIdentity.empty()) return std::nullopt;
  kStatement select(fDb, (std::string("SELECT ") + kColumns +
                          " FROM documents WHERE identity = ?1 AND (?2 = '' OR device = ?2) ORDER BY id DESC LIMIT 1")
                             .c_str());
  select.Bind(1, aIdentity).Bind(2, aDevice);
  if (!select.Step()) return std::nullopt;
  return ReadEntry(select);
}

std::optional<vnJournalEntry> kDocumentJournal::FindNewestOfDevice(const std::string& aIdentity,
                                                                   const std::string& aDevice) {
  if (aIdentity.empty()) return std::nullopt;
  // The device's newest row that names a document: a clock, programming or reprint row
  // between a lost answer and its retry leaves the retry matched.
  kStatement select(fDb, (std::string("SELECT ") + kColumns +
                          " FROM documents WHERE device = ?1 AND identity <> '' ORDER BY id DESC LIMIT 1")
                             .c_str());
  select.Bind(1, aDevice);
  if (!select.Step() || select.Text(3) != aIdentity) return std::nullopt;
  return ReadEntry(select);
}

bool kDocumentJournal::HoldsPrinted(const std::string& aNumber, const std::string& aClosing) {
  kStatement select(fDb, "SELECT id FROM documents WHERE state = 'printed' AND number = ?1 AND closing = ?2 LIMIT 1");
  select.Bind(1, aNumber).Bind(2, aClosing);
  return select.Step();
}

bool kDocumentJournal::DocumentAfter(int64_t aId) {
  kStatement select(fDb, "SELECT id FROM documents WHERE id > ?1 AND kind IN ('receipt', 'document') AND"
                         " state <> 'not printed' LIMIT 1");
  select.Bind(1, aId);
  return select.Step();
}

int64_t kDocumentJournal::NewestId() {
  kStatement select(fDb, "SELECT COALESCE(MAX(id), 0) FROM documents");
  return select.Step() ? select.Int(0) : 0;
}

std::vector<vnJournalEntry> kDocumentJournal::Unsettled() {
  // Read before every document: the state index finds the rows, and the result fragments,
  // which settling never uses, stay on disk, with the columns after them.
  kStatement select(fDb, (std::string("SELECT ") + kColumnsToSettle +
                          " FROM documents WHERE state IN ('started', 'closing sent', 'unknown') ORDER BY id")
                             .c_str());
  std::vector<vnJournalEntry> rows;
  while (select.Step()) {
    rows.push_back(ReadEntry(select));
    rows.back().fWhole = false;
  }
  return rows;
}

std::vector<vnJournalEntry> kDocumentJournal::List(const std::string& aSinceUtc, size_t aLimit) {
  // The listing leaves the result fragments out: a page of rows stays small whatever the
  // documents returned; Find gives a row whole.
  kStatement select(fDb, (std::string("SELECT ") + kColumnsButResult +
                          " FROM documents WHERE created >= ?1 ORDER BY id LIMIT ?2")
                             .c_str());
  select.Bind(1, aSinceUtc).Bind(2, static_cast<int64_t>(std::min<uint64_t>(aLimit, INT64_MAX)));
  std::vector<vnJournalEntry> rows;
  while (select.Step()) {
    rows.push_back(ReadEntry(select));
    rows.back().fWhole = false;
  }
  return rows;
}

kDocumentJournal::vnDurability kDocumentJournal::Durability() {
  vnDurability d;
  kStatement mode(fDb, "PRAGMA journal_mode");
  if (mode.Step()) d.fJournalMode = mode.Text(0);
  kStatement sync(fDb, "PRAGMA synchronous");
  if (sync.Step()) d.fSynchronous = static_cast<int>(sync.Int(0));
  kStatement busy(fDb, "PRAGMA busy_timeout");
  if (busy.Step()) d.fBusyTimeoutMs = static_cast<int>(busy.Int(0));
  return d;
}

kPrinterLock::kPrinterLock(std::string aPath) : fPath(std::move(aPath)) {}

kPrinterLock::~kPrinterLock() { Release(); }

bool kPrinterLock::Acquire(int aTimeoutMs, const Sleeper& aSleeper) {
  if (fHeld) return true;
  if (fHandle == -1) {
    std::string error;
    fHandle = lock_file::Open(fPath, error);
    if (fHandle == -1) throw kJournalError("the lock file " + fPath + " cannot be opened: " + error);
  }
  const auto tryOnce = [this] {
    std::lock_guard<std::mutex> holders(gHoldersLock);
    bool& held = gHeld[fPath];
    if (held) return false;
    if (!lock_file::TryLock(fHandle)) return false;
    held = true;
    fThreadLockHeld = true;
    return true;
  };
  int waited = 0;
  while (!tryOnce()) {
    if (waited >= aTimeoutMs) return false;
    const int pause = std::min(kLockPauseMs, aTimeoutMs - waited);
    if (aSleeper)
      aSleeper(pause);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    waited += pause;
  }
  fHeld = true;
  return true;
}

void kPrinterLock::Release() {
  if (fHandle != -1) {
    lock_file::UnlockAndClose(fHandle);
    fHandle = -1;
  }
  if (fThreadLockHeld) {
    std::lock_guard<std::mutex> holders(gHoldersLock);
    gHeld.erase(fPath);
    fThreadLockHeld = false;
  }
  fHeld = false;
}

}  // namespace fp
