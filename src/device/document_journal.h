// The document journal: one durable record per printer of every document that changes it
// (receipts, non-fiscal documents, Z reports, reprints, programming, the clock), kept in an
// SQLite file beside the host program so that every handle, thread and process of this
// machine that drives the same printer sees the same documents.
//
// A document's row is written before its first command, marked "closing sent" before the
// command that completes it leaves, and given its outcome before the export returns. A row
// still "started", "closing sent" or "unknown" is unsettled: the next call on that printer,
// in any process, settles it before it sends anything else.
//
// Every write is its own short transaction, committed to disk (WAL, synchronous FULL) before
// the call returns; no transaction is ever held across a printer exchange. A journal that
// cannot be opened or written throws kJournalError, and the caller sends nothing.
//
// One document at a time per printer: kPrinterLock is held from a document's first command
// to its settlement, across the threads and processes of the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"

struct sqlite3;

namespace fp {

// The journal could not be opened, read or written. The message is the reason alone
// ("disk I/O error", "unable to open database file", ...); the caller words the result.
class kJournalError : public kException {
 public:
  explicit kJournalError(const std::string& aReason) : kException(aReason) {}
};

// What a document is. Stored as the text of the name below ("receipt", "document", ...).
enum class vnJournalKind : uint8_t { Receipt, Document, ZReport, Reprint, Programming, Clock };
// Where a document stands. Stored as "started", "closing sent", "printed", "not printed",
// "unknown".
enum class vnJournalState : uint8_t { Started, ClosingSent, Printed, NotPrinted, Unknown };

const char* JournalKindName(vnJournalKind aKind);
const char* JournalStateName(vnJournalState aState);
// False for a name that is none of the above.
bool JournalKindFromName(const std::string& aName, vnJournalKind& aKind);
bool JournalStateFromName(const std::string& aName, vnJournalState& aState);
// Started, ClosingSent and Unknown: the next call on the printer must settle it.
bool IsUnsettled(vnJournalState aState);

struct vnJournalEntry {
  int64_t fId = 0;  // given by Begin
  vnJournalKind fKind = vnJournalKind::Receipt;
  vnJournalState fState = vnJournalState::Started;
  // The document's identity: "ref:" + the host's ExternalReference, or "fp:" + a
  // fingerprint of its content without its time stamps; empty for documents that have none
  // (a Z report, the clock).
  std::string fIdentity;
  // The printer's numbering before the first command: last fiscal document number and the
  // closings taken ("" when not known).
  std::string fNumberBefore;
  std::string fClosingBefore;
  // The document's own numbers once printed ("" until known).
  std::string fNumber;
  std::string fClosing;
  std::string fEJNumber;
  std::string fDateTime;  // the printer's date and time of the document, "YYYY-MM-DDTHH:MM:SS"
  std::string fTotal;     // a receipt's total as the request gave it, to check the printer's journal
  std::string fMessage;   // the outcome's message (the result's ErrorText or MessageText)
  std::string fResult;    // the result fragment returned to the host, for a retry's answer
  std::string fDevice;    // the key of the device that wrote the row (its Driver and LogId)
  int64_t fProcess = 0;   // process id of the writer
  std::string fCreated;   // UTC, "YYYY-MM-DDTHH:MM:SSZ", set by Begin
  std::string fUpdated;   // UTC, set by every write
  // False for a row read in part (Unsettled, List): Update then leaves the result fragment
  // and the writing device the journal holds as they are.
  bool fWhole = true;
};

class kDocumentJournal {
 public:
  // The file of the printer with serial number aSerial in aFolder: aFolder + "/" +
  // JournalFileName(aSerial). Characters other than letters, digits, "-" and "_" in the
  // serial become "_", so nothing the printer answers chooses another folder.
  static std::string JournalFileName(const std::string& aSerial);  // "<serial>.journal"
  static std::string LockFileName(const std::string& aSerial);     // "<serial>.lock"
  // The folder below the application folder: "DocumentJournal".
  static std::string DefaultFolder();

  // Opens, creating folder and file when missing, the journal of printer aSerial. A file
  // that is not a journal or fails its check is moved aside ("<file>.damaged-<UTC time>",
  // never deleted), aDamaged set to its new name, and a new journal is begun. Throws
  // kJournalError when the folder or the file cannot be used.
  static std::unique_ptr<kDocumentJournal> Open(const std::string& aFolder, const std::string& aSerial,
                                                std::string* aDamaged = nullptr);
  ~kDocumentJournal();
  kDocumentJournal(const kDocumentJournal&) = delete;
  kDocumentJournal& operator=(const kDocumentJournal&) = delete;

  const std::string& Path() const { return fPath; }

  // Adds aEntry as a new row (state as given, normally Started), sets its fId, fCreated,
  // fUpdated and fProcess, and commits. Throws kJournalError. Texts are bounded: a message
  // is cut at 64 KB, a result fragment over 4 MB is not kept (a retry is then answered from
  // the row's numbers).
  void Begin(vnJournalEntry& aEntry);
  // Writes the row's state, numbers, message and result (all fields but id, kind, identity,
  // the numbering before, creation) and commits. Throws kJournalError.
  void Update(const vnJournalEntry& aEntry);
  // The row with aId, if any.
  std::optional<vnJournalEntry> Find(int64_t aId);
  // The newest row with aIdentity (never for an empty identity); with aDevice, the newest
  // that device wrote.
  std::optional<vnJournalEntry> FindByIdentity(const std::string& aIdentity, const std::string& aDevice = "");
  // The newest row device aDevice wrote, when it has aIdentity: none when that device has
  // begun another document since (or never wrote one with it).
  std::optional<vnJournalEntry> FindNewestOfDevice(const std::string& aIdentity, const std::string& aDevice);
  // Whether a row holds a document printed as number aNumber of closing aClosing.
  bool HoldsPrinted(const std::string& aNumber, const std::string& aClosing);
  // Whether a receipt or non-fiscal document was begun after row aId (whatever its outcome).
  bool DocumentAfter(int64_t aId);
  // The id of the newest row, 0 for an empty journal.
  int64_t NewestId();
  // Every unsettled row, oldest first, with what settling it needs: without its result
  // fragment, writing device, process and times (fWhole false). Read before every document.
  std::vector<vnJournalEntry> Unsettled();
  // Rows created at or after aSinceUtc ("" for all), oldest first, at most aLimit, without
  // their result fragments (fResult empty, fWhole false; Find gives a row whole).
  std::vector<vnJournalEntry> List(const std::string& aSinceUtc, size_t aLimit);

  // The connection's settings as SQLite reports them: journal mode ("wal"), synchronous
  // level (2, FULL) and how long a write waits for another connection's.
  struct vnDurability {
    std::string fJournalMode;
    int fSynchronous = 0;
    int fBusyTimeoutMs = 0;
  };
  vnDurability Durability();

 private:
  kDocumentJournal(std::string aPath, sqlite3* aDb);
  std::string fPath;
  sqlite3* fDb = nullptr;
};

// One document at a time on one printer: an exclusive lock on the printer's lock file
// (flock on POSIX, LockFileEx on Windows, one open file per holder) together with a
// process-wide mutex per file, so threads of one process and other processes alike wait.
class kPrinterLock {
 public:
  using Sleeper = std::function<void(int aMilliseconds)>;
  explicit kPrinterLock(std::string aPath);
  ~kPrinterLock();  // releases
  kPrinterLock(const kPrinterLock&) = delete;
  kPrinterLock& operator=(const kPrinterLock&) = delete;

  // Waits at most aTimeoutMs (in pauses taken through aSleeper, real sleeps when empty);
  // true when held afterwards. Throws kJournalError when the lock file cannot be opened.
  bool Acquire(int aTimeoutMs, const Sleeper& aSleeper = {});
  void Release();
  bool Held() const { return fHeld; }

 private:
  std::string fPath;
  intptr_t fHandle = -1;
  bool fHeld = false;
  bool fThreadLockHeld = false;
};

}  // namespace fp
