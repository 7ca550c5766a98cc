// The document journal against real files in a scratch folder, and the printer lock
// between threads and between processes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "device/document_journal.h"

#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

using namespace fp;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSerial = "99MEY012345";

std::string ReadFile(const fs::path& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& aPath, const std::string& aText) {
  std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
  out << aText;
}

// One column of the row with aId, read through a connection of the test's own.
std::string RawColumn(const std::string& aPath, const char* aColumn, int64_t aId) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(aPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = std::string("SELECT ") + aColumn + " FROM documents WHERE id = " + std::to_string(aId);
  std::string value = "(no row)";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
    value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return value;
}

vnJournalEntry Receipt(const std::string& aIdentity, vnJournalState aState = vnJournalState::Started) {
  vnJournalEntry e;
  e.fKind = vnJournalKind::Receipt;
  e.fState = aState;
  e.fIdentity = aIdentity;
  e.fNumberBefore = "41";
  e.fClosingBefore = "7";
  e.fTotal = "12.50";
  e.fDevice = "till1";
  return e;
}

// A journal of a few pages, closed.
void FillJournal(const std::string& aFolder) {
  auto journal = kDocumentJournal::Open(aFolder, kSerial);
  for (int i = 0; i < 40; ++i) {
    vnJournalEntry e = Receipt("ref:" + std::to_string(i));
    e.fMessage = std::string(500, 'm');
    journal->Begin(e);
  }
}

class DocumentJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = fs::temp_directory_path() / ("fpjournal_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(fDir);
    fs::create_directories(fDir);
    fFolder = (fDir / "DocumentJournal").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(fDir, ec);
  }

  std::string JournalPath() const { return fFolder + "/" + kDocumentJournal::JournalFileName(kSerial); }

  fs::path fDir;
  std::string fFolder;
};

TEST_F(DocumentJournalTest, FileNamesKeepThePrinterInsideTheFolder) {
  EXPECT_EQ(kDocumentJournal::JournalFileName("99MEY012345"), "99MEY012345.journal");
  EXPECT_EQ(kDocumentJournal::JournalFileName("../x/y z\\w"), "___x_y_z_w.journal");
  EXPECT_EQ(kDocumentJournal::LockFileName("../x"), "___x.lock");
}

TEST_F(DocumentJournalTest, AnEntryMakesTheRoundTripAndAnUpdateKeepsWhatCameBefore) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  EXPECT_EQ(journal->Path(), JournalPath());
  vnJournalEntry e = Receipt("ref:SALE-1");
  e.fKind = vnJournalKind::ZReport;
  journal->Begin(e);
  EXPECT_GT(e.fId, 0);
  EXPECT_EQ(e.fProcess, ::getpid());
  EXPECT_EQ(e.fCreated.size(), std::string("2026-12-10T14:05:47Z").size());
  EXPECT_EQ(e.fCreated.back(), 'Z');

  vnJournalEntry done = e;
  done.fState = vnJournalState::ClosingSent;
  done.fNumber = "42";
  done.fClosing = "8";
  done.fEJNumber = "0008-0042";
  done.fDateTime = "2026-12-10T15:04:05";
  done.fMessage = "Receipt printed";
  done.fResult = "<ReceiptNumber>42</ReceiptNumber>";
  // What the row was begun with is not the update's to change.
  done.fIdentity = "ref:OTHER";
  done.fNumberBefore = "99";
  done.fClosingBefore = "99";
  journal->Update(done);

  const auto row = journal->Find(e.fId);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->fKind, vnJournalKind::ZReport);
  EXPECT_EQ(row->fState, vnJournalState::ClosingSent);
  EXPECT_EQ(row->fIdentity, "ref:SALE-1");
  EXPECT_EQ(row->fNumberBefore, "41");
  EXPECT_EQ(row->fClosingBefore, "7");
  EXPECT_EQ(row->fNumber, "42");
  EXPECT_EQ(row->fClosing, "8");
  EXPECT_EQ(row->fEJNumber, "0008-0042");
  EXPECT_EQ(row->fDateTime, "2026-12-10T15:04:05");
  EXPECT_EQ(row->fTotal, "12.50");
  EXPECT_EQ(row->fMessage, "Receipt printed");
  EXPECT_EQ(row->fResult, "<ReceiptNumber>42</ReceiptNumber>");
  EXPECT_EQ(row->fDevice, "till1");
  EXPECT_EQ(row->fCreated, e.fCreated);
  // Kind and state are stored as their names, for readers of the file.
  EXPECT_EQ(RawColumn(JournalPath(), "kind", e.fId), "z report");
  EXPECT_EQ(RawColumn(JournalPath(), "state", e.fId), "closing sent");

  EXPECT_FALSE(journal->Find(e.fId + 1));
  vnJournalEntry missing = done;
  missing.fId = e.fId + 1;
  EXPECT_THROW(journal->Update(missing), kJournalError);
}

TEST_F(DocumentJournalTest, NamesOfKindsAndStatesReadBack) {
  for (auto kind : {vnJournalKind::Receipt, vnJournalKind::Document, vnJournalKind::ZReport, vnJournalKind::Reprint,
                    vnJournalKind::Programming, vnJournalKind::Clock}) {
    vnJournalKind back = vnJournalKind::Clock == kind ? vnJournalKind::Receipt : vnJournalKind::Clock;
    EXPECT_TRUE(JournalKindFromName(JournalKindName(kind), back));
    EXPECT_EQ(back, kind);
  }
  for (auto state : {vnJournalState::Started, vnJournalState::ClosingSent, vnJournalState::Printed,
                     vnJournalState::NotPrinted, vnJournalState::Unknown}) {
    vnJournalState back = vnJournalState::Unknown == state ? vnJournalState::Started : vnJournalState::Unknown;
    EXPECT_TRUE(JournalStateFromName(JournalStateName(state), back));
    EXPECT_EQ(back, state);
  }
  vnJournalKind kind;
  vnJournalState state;
  EXPECT_FALSE(JournalKindFromName("Receipt", kind));
  EXPECT_FALSE(JournalStateFromName("", state));
}

TEST_F(DocumentJournalTest, UnsettledListsStartedClosingSentAndUnknownOldestFirst) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  std::vector<int64_t> ids;
  for (auto state : {vnJournalState::Unknown, vnJournalState::Printed, vnJournalState::Started,
                     vnJournalState::NotPrinted, vnJournalState::ClosingSent}) {
    vnJournalEntry e = Receipt("", state);
    journal->Begin(e);
    ids.push_back(e.fId);
  }
  std::vector<int64_t> unsettled;
  for (const auto& row : journal->Unsettled()) unsettled.push_back(row.fId);
  EXPECT_EQ(unsettled, (std::vector<int64_t>{ids[0], ids[2], ids[4]}));

  // Settling one takes it off the list, seen by a second connection too.
  vnJournalEntry settled = *journal->Find(ids[2]);
  settled.fState = vnJournalState::Printed;
  journal->Update(settled);
  auto other = kDocumentJournal::Open(fFolder, kSerial);
  EXPECT_EQ(other->Unsettled().size(), 2u);
}

TEST_F(DocumentJournalTest, IdentityFindsTheNewestRowWithIt) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  vnJournalEntry first = Receipt("ref:SALE-1", vnJournalState::NotPrinted);
  vnJournalEntry other = Receipt("fp:ab12");
  vnJournalEntry retry = Receipt("ref:SALE-1", vnJournalState::Printed);
  vnJournalEntry blank = Receipt("");
  for (auto* e : {&first, &other, &retry, &blank}) journal->Begin(*e);

  ASSERT_TRUE(journal->FindByIdentity("ref:SALE-1"));
  EXPECT_EQ(journal->FindByIdentity("ref:SALE-1")->fId, retry.fId);
  EXPECT_EQ(journal->FindByIdentity("fp:ab12")->fId, other.fId);
  EXPECT_FALSE(journal->FindByIdentity("ref:SALE-2"));
  EXPECT_FALSE(journal->FindByIdentity(""));
}

// A fingerprint stands for a device's newest document only: rows of other devices after it
// leave it standing, a row of the same device ends it.
TEST_F(DocumentJournalTest, AFingerprintIsFoundWhileItIsItsDevicesNewestRow) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  vnJournalEntry coffee = Receipt("fp:coffee");
  journal->Begin(coffee);
  vnJournalEntry otherTill = Receipt("fp:coffee");
  otherTill.fDevice = "till2";
  journal->Begin(otherTill);
  ASSERT_TRUE(journal->FindNewestOfDevice("fp:coffee", "till1"));
  EXPECT_EQ(journal->FindNewestOfDevice("fp:coffee", "till1")->fId, coffee.fId);
  EXPECT_EQ(journal->FindNewestOfDevice("fp:coffee", "till2")->fId, otherTill.fId);
  EXPECT_FALSE(journal->FindNewestOfDevice("fp:tea", "till1"));
  EXPECT_FALSE(journal->FindNewestOfDevice("fp:coffee", "till3"));
  EXPECT_FALSE(journal->FindNewestOfDevice("", "till1"));

  // A clock, programming or reprint row names no document: the retry still matches.
  vnJournalEntry clock = Receipt("");
  clock.fKind = vnJournalKind::Clock;
  journal->Begin(clock);
  ASSERT_TRUE(journal->FindNewestOfDevice("fp:coffee", "till1"));
  EXPECT_EQ(journal->FindNewestOfDevice("fp:coffee", "till1")->fId, coffee.fId);

  vnJournalEntry next = Receipt("z:2026-12-10");
  next.fKind = vnJournalKind::ZReport;
  journal->Begin(next);  // another document of the till: a Z report, another sale
  EXPECT_FALSE(journal->FindNewestOfDevice("fp:coffee", "till1"));
  EXPECT_TRUE(journal->FindNewestOfDevice("fp:coffee", "till2"));
}

// The unsettled rows come without their result fragments and writers; settling one writes its
// outcome and leaves those as they were.
TEST_F(DocumentJournalTest, UnsettledRowsAreReadInPartAndTheirUpdateKeepsTheRest) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  vnJournalEntry e = Receipt("ref:SALE-9", vnJournalState::Unknown);
  e.fMessage = "Outcome unknown: lost";
  e.fResult = std::string(300000, 'r');
  journal->Begin(e);

  const auto unsettled = journal->Unsettled();
  ASSERT_EQ(unsettled.size(), 1u);
  vnJournalEntry row = unsettled[0];
  EXPECT_FALSE(row.fWhole);
  EXPECT_EQ(row.fResult, "");
  EXPECT_EQ(row.fDevice, "");
  EXPECT_EQ(row.fIdentity, "ref:SALE-9");
  EXPECT_EQ(row.fNumberBefore, "41");
  EXPECT_EQ(row.fClosingBefore, "7");
  EXPECT_EQ(row.fTotal, "12.50");
  EXPECT_EQ(row.fMessage, "Outcome unknown: lost");

  row.fState = vnJournalState::Printed;
  row.fNumber = "42";
  row.fClosing = "8";
  row.fMessage = "Settled later: found";
  journal->Update(row);
  const auto after = journal->Find(e.fId);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->fState, vnJournalState::Printed);
  EXPECT_EQ(after->fNumber, "42");
  EXPECT_EQ(after->fMessage, "Settled later: found");
  EXPECT_EQ(after->fResult.size(), 300000u);
  EXPECT_EQ(after->fDevice, "till1");
  EXPECT_TRUE(after->fWhole);

  // A whole row writes them.
  vnJournalEntry whole = *after;
  whole.fResult = "<Result/>";
  whole.fDevice = "till2";
  journal->Update(whole);
  EXPECT_EQ(journal->Find(e.fId)->fResult, "<Result/>");
  EXPECT_EQ(journal->Find(e.fId)->fDevice, "till2");
  EXPECT_TRUE(journal->Unsettled().empty());
}

TEST_F(DocumentJournalTest, ListPagesFromATimeWithoutResults) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  std::vector<int64_t> ids;
  for (int i = 0; i < 3; ++i) {
    vnJournalEntry e = Receipt("ref:" + std::to_string(i));
    e.fResult = "<Result/>";
    journal->Begin(e);
    ids.push_back(e.fId);
  }
  const auto firstTwo = journal->List("", 2);
  ASSERT_EQ(firstTwo.size(), 2u);
  EXPECT_EQ(firstTwo[0].fId, ids[0]);
  EXPECT_EQ(firstTwo[1].fId, ids[1]);
  EXPECT_EQ(firstTwo[0].fIdentity, "ref:0");
  EXPECT_EQ(firstTwo[0].fResult, "");
  const std::string created = journal->Find(ids[0])->fCreated;
  EXPECT_EQ(journal->List(created, 10).size(), 3u);
  EXPECT_EQ(journal->List(created.substr(0, 10), 10).size(), 3u);  // a date alone
  EXPECT_TRUE(journal->List("9999-01-01T00:00:00Z", 10).empty());
}

TEST_F(DocumentJournalTest, TextsAreBoundedWhenWritten) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  vnJournalEntry e = Receipt("ref:big");
  std::string message;
  for (int i = 0; i < 40000; ++i) message += "\xC3\xA9";  // "é", two bytes each
  e.fMessage = message;
  e.fResult = std::string((4u << 20) + 1, 'x');
  journal->Begin(e);
  const auto row = journal->Find(e.fId);
  EXPECT_EQ(row->fMessage.size(), 64u * 1024);
  EXPECT_EQ(row->fMessage, message.substr(0, row->fMessage.size()));
  EXPECT_EQ(row->fResult, "");

  // A result within the bound is kept whole.
  e.fResult = std::string(4u << 20, 'y');
  journal->Update(e);
  EXPECT_EQ(journal->Find(e.fId)->fResult.size(), 4u << 20);
}

TEST_F(DocumentJournalTest, WritesAreDurableAndWaitForOtherWriters) {
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  const auto d = journal->Durability();
  EXPECT_EQ(d.fJournalMode, "wal");
  EXPECT_EQ(d.fSynchronous, 2);  // FULL
  EXPECT_GT(d.fBusyTimeoutMs, 0);
  EXPECT_LE(d.fBusyTimeoutMs, 10000);
  // The journal's schema version, for readers of the file.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(JournalPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(stmt, 0), 1);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

// Files that are not a journal this build can use: each is set aside under a new name with
// its bytes, and a new journal begins in its place.
TEST_F(DocumentJournalTest, DamagedFilesAreSetAsideAndANewJournalBegins) {
  struct Case {
    const char* fName;
    std::function<void(const std::string& aPath)> fMake;
  };
  const std::string folder = fFolder;
  const std::vector<Case> cases{
      {"garbage", [](const std::string& aPath) { WriteFile(aPath, std::string(5000, '\x5a') + "not a journal"); }},
      {"truncated",
       [folder](const std::string& aPath) {
         FillJournal(folder);
         fs::resize_file(aPath, fs::file_size(aPath) / 2);
       }},
      {"a damaged page",
       [folder](const std::string& aPath) {
         FillJournal(folder);
         std::fstream file(aPath, std::ios::binary | std::ios::in | std::ios::out);
         file.seekp(2 * 4096 + 8);
         file << std::string(64, '\xff');
       }},
      {"a folder", [](const std::string& aPath) { fs::create_directories(fs::path(aPath) / "inside"); }},
      {"another schema",
       [](const std::string& aPath) {
         sqlite3* db = nullptr;
         sqlite3_open(aPath.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE documents (id INTEGER PRIMARY KEY, what TEXT); PRAGMA user_version=1;",
                      nullptr, nullptr, nullptr);
         sqlite3_close(db);
       }},
      {"a foreign database",
       [](const std::string& aPath) {
         sqlite3* db = nullptr;
         sqlite3_open(aPath.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE songs (title TEXT);", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fName);
    fs::remove_all(fFolder);
    fs::create_directories(fFolder);
    c.fMake(JournalPath());
    const bool wasFolder = fs::is_directory(JournalPath());
    const std::string before = wasFolder ? std::string() : ReadFile(JournalPath());

    std::string damaged;
    auto journal = kDocumentJournal::Open(fFolder, kSerial, &damaged);
    ASSERT_FALSE(damaged.empty());
    EXPECT_EQ(damaged.rfind(JournalPath() + ".damaged-", 0), 0u) << damaged;
    if (wasFolder)
      EXPECT_TRUE(fs::exists(fs::path(damaged) / "inside"));
    else
      EXPECT_EQ(ReadFile(damaged), before);

    vnJournalEntry e = Receipt("ref:after");
    journal->Begin(e);
    EXPECT_EQ(journal->Find(e.fId)->fIdentity, "ref:after");
    EXPECT_EQ(journal->Unsettled().size(), 1u);

    // The new journal is sound: opening it again sets nothing aside.
    journal.reset();
    std::string again = "unchanged";
    kDocumentJournal::Open(fFolder, kSerial, &again);
    EXPECT_EQ(again, "");
  }
}

// An empty file is a journal being begun (opening creates it before its schema is written,
// and an opener killed in between leaves it so): it is used, not set aside.
TEST_F(DocumentJournalTest, AnEmptyFileIsAJournalBeingBegun) {
  fs::create_directories(fFolder);
  WriteFile(JournalPath(), "");
  std::string damaged;
  auto journal = kDocumentJournal::Open(fFolder, kSerial, &damaged);
  EXPECT_EQ(damaged, "");
  vnJournalEntry e = Receipt("ref:1");
  journal->Begin(e);
  EXPECT_TRUE(journal->Find(e.fId));
}

TEST_F(DocumentJournalTest, AJournalOfALaterVersionIsLeftAloneAndRefused) {
  fs::create_directories(fFolder);
  {
    auto journal = kDocumentJournal::Open(fFolder, kSerial);
  }
  sqlite3* db = nullptr;
  sqlite3_open(JournalPath().c_str(), &db);
  sqlite3_exec(db, "PRAGMA user_version=2", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  try {
    kDocumentJournal::Open(fFolder, kSerial);
    FAIL() << "opened";
  } catch (const kJournalError& e) {
    EXPECT_NE(std::string(e.what()).find("later version"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fs::exists(JournalPath()));
}

#ifndef _WIN32

// Sets or clears the immutable attribute, which holds against root as well; false where the
// file system has none.
bool SetImmutable(const fs::path& aPath, bool aOn) {
  const int fd = ::open(aPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = aOn ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

// Folders and files that can't hold a journal, for root too: each a kJournalError that says
// why, and nothing else happens.
TEST_F(DocumentJournalTest, UnusableFoldersAndFilesAreClearErrors) {
  fs::create_symlink(fDir / "loop", fDir / "loop");
  std::string deep = fDir.string();
  while (deep.size() < 5000) deep += "/" + std::string(200, 'd');
  const fs::path locked = fDir / "locked";
  fs::create_directories(locked);
  const fs::path readOnly = fDir / "readonly";
  { kDocumentJournal::Open(readOnly.string(), kSerial); }
  const std::string readOnlyFile = (readOnly / kDocumentJournal::JournalFileName(kSerial)).string();
  for (const char* companion : {"-wal", "-shm"}) fs::remove(readOnlyFile + companion);
  const bool immutable = SetImmutable(locked, true) && SetImmutable(readOnlyFile, true);

  struct Case {
    const char* fName;
    std::string fFolder;
    const char* fReason;
  };
  std::vector<Case> cases{
      {"a device", "/dev/null/DocumentJournal", "Not a directory"},
      {"a symlink loop", (fDir / "loop" / "DocumentJournal").string(), "Too many levels of symbolic links"},
      {"a path past the system's limit", deep, "File name too long"},
      {"no folder name", "", "application folder is not known"},
  };
  if (immutable) {
    cases.push_back({"a folder nobody may write", locked.string(), "unable to open database file"});
    cases.push_back({"a read-only file", readOnly.string(), "read-only"});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fName);
    try {
      kDocumentJournal::Open(c.fFolder, kSerial);
      ADD_FAILURE() << "opened";
    } catch (const kJournalError& e) {
      EXPECT_NE(std::string(e.what()).find(c.fReason), std::string::npos) << e.what();
    }
  }
  if (immutable) {
    SetImmutable(locked, false);
    SetImmutable(readOnlyFile, false);
    EXPECT_TRUE(fs::is_empty(locked));
  } else {
    GTEST_LOG_(INFO) << "immutable files unsupported here: the write-permission cases did not run";
  }
}

TEST_F(DocumentJournalTest, TheApplicationFolderSteersTheDefault) {
  ::setenv("FPDRIVER_APP_DIR", "/dev/null", 1);
  EXPECT_EQ(kDocumentJournal::DefaultFolder(), "/dev/null/DocumentJournal");
  EXPECT_THROW(kDocumentJournal::Open(kDocumentJournal::DefaultFolder(), kSerial), kJournalError);
  ::setenv("FPDRIVER_APP_DIR", fDir.c_str(), 1);
  auto journal = kDocumentJournal::Open(kDocumentJournal::DefaultFolder(), kSerial);
  EXPECT_EQ(journal->Path(), (fDir / "DocumentJournal" / "99MEY012345.journal").string());
  ::unsetenv("FPDRIVER_APP_DIR");
  EXPECT_THROW(kDocumentJournal::Open(fFolder, ""), kJournalError);
}

// A full disk, as a file-size limit in a child process: the write fails clearly and leaves
// the journal as it was.
TEST_F(DocumentJournalTest, AFullDiskFailsTheWriteAndKeepsTheJournal) {
  {
    auto journal = kDocumentJournal::Open(fFolder, kSerial);
    vnJournalEntry e = Receipt("ref:before");
    journal->Begin(e);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 3;
    try {
      auto journal = kDocumentJournal::Open(fFolder, kSerial);
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{64 * 1024, 64 * 1024};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      vnJournalEntry e = Receipt("ref:too-big");
      e.fResult = std::string(1 << 20, 'r');
      journal->Begin(e);
      code = 1;
    } catch (const kJournalError&) {
      code = 0;
    } catch (...) {
      code = 2;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::string damaged;
  auto journal = kDocumentJournal::Open(fFolder, kSerial, &damaged);
  EXPECT_EQ(damaged, "");
  EXPECT_TRUE(journal->FindByIdentity("ref:before"));
  EXPECT_FALSE(journal->FindByIdentity("ref:too-big"));
}

// Processes that find the same damaged file at once: one sets it aside, and all of them
// write into the one new journal.
TEST_F(DocumentJournalTest, ProcessesFindingOneDamagedFileShareOneNewJournal) {
  fs::create_directories(fFolder);
  WriteFile(JournalPath(), std::string(8192, '\x01'));
  // The children start together: each waits until the parent closes the pipe.
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 4; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(start[1]);
      char byte;
      if (::read(start[0], &byte, 1) != 0) ::_exit(3);
      int code = 1;
      try {
        auto journal = kDocumentJournal::Open(fFolder, kSerial);
        vnJournalEntry e = Receipt("ref:child-" + std::to_string(i));
        journal->Begin(e);
        code = 0;
      } catch (...) {
      }
      ::_exit(code);
    }
    children.push_back(child);
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int setAside = 0;
  for (const auto& entry : fs::directory_iterator(fFolder))
    if (entry.path().filename().string().find(".journal.damaged-") != std::string::npos &&
        entry.path().filename().string().find("-wal") == std::string::npos &&
        entry.path().filename().string().find("-shm") == std::string::npos)
      ++setAside;
  EXPECT_EQ(setAside, 1);
  auto journal = kDocumentJournal::Open(fFolder, kSerial);
  EXPECT_EQ(journal->List("", 10).size(), 4u);
}

// Openers of a journal that does not exist yet, all at the same moment, in threads of one
// process and in processes of their own: each gets the one new journal, none takes the file
// being begun by another for a damaged one.
TEST_F(DocumentJournalTest, OpenersOfABrandNewJournalAtOnceShareIt) {
  constexpr int kOpeners = 6;
  for (int round = 0; round < 8; ++round) {
    const std::string serial = "NEW" + std::to_string(round);
    const bool processes = round % 2 == 1;
    SCOPED_TRACE(std::string(processes ? "processes" : "threads") + ", round " + std::to_string(round));
    // Each opener writes one row; 0 when it opened without finding damage.
    const auto open = [&](int aOpener) {
      try {
        std::string damaged;
        auto journal = kDocumentJournal::Open(fFolder, serial, &damaged);
        if (!damaged.empty()) return 2;
        vnJournalEntry e = Receipt("ref:opener-" + std::to_string(aOpener));
        journal->Begin(e);
        return 0;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "opener %d: %s\n", aOpener, e.what());
        return 1;
      }
    };
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    // Every opener waits until the pipe is closed.
    const auto waitForStart = [&] {
      char byte;
      return ::read(start[0], &byte, 1) == 0;
    };
    std::vector<int> codes(kOpeners, -1);
    if (processes) {
      std::vector<pid_t> children;
      for (int i = 0; i < kOpeners; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
          ::close(start[1]);
          ::_exit(waitForStart() ? open(i) : 3);
        }
        children.push_back(child);
      }
      ::close(start[0]);
      ::close(start[1]);
      for (int i = 0; i < kOpeners; ++i) {
        int status = 0;
        ASSERT_EQ(::waitpid(children[i], &status, 0), children[i]);
        codes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : 4;
      }
    } else {
      std::vector<std::thread> threads;
      for (int i = 0; i < kOpeners; ++i)
        threads.emplace_back([&, i] { codes[i] = waitForStart() ? open(i) : 3; });
      ::close(start[1]);
      for (auto& t : threads) t.join();
      ::close(start[0]);
    }
    EXPECT_EQ(codes, std::vector<int>(kOpeners, 0));
    for (const auto& entry : fs::directory_iterator(fFolder))
      EXPECT_EQ(entry.path().filename().string().find(".damaged-"), std::string::npos) << entry.path();
    auto journal = kDocumentJournal::Open(fFolder, serial);
    EXPECT_EQ(journal->List("", 100).size(), static_cast<size_t>(kOpeners));
  }
}

#endif  // !_WIN32

class PrinterLockTest : public DocumentJournalTest {
 protected:
  void SetUp() override {
    DocumentJournalTest::SetUp();
    fs::create_directories(fFolder);
    fLockPath = fFolder + "/" + kDocumentJournal::LockFileName(kSerial);
  }
  std::string fLockPath;
};

// Another holder waits in pauses through the sleeper, never longer than its bound, and gets
// the lock once the first one lets go.
TEST_F(PrinterLockTest, ThreadsOfOneProcessTakeTurns) {
  kPrinterLock first(fLockPath);
  ASSERT_TRUE(first.Acquire(0));
  EXPECT_TRUE(first.Held());

  std::atomic<int> slept{0};
  bool gotIt = true;
  std::thread([&] {
    kPrinterLock second(fLockPath);
    gotIt = second.Acquire(300, [&](int aMs) { slept += aMs; });
  }).join();
  EXPECT_FALSE(gotIt);
  EXPECT_EQ(slept.load(), 300);

  int pauses = 0;
  std::thread([&] {
    kPrinterLock second(fLockPath);
    gotIt = second.Acquire(10000, [&](int) {
      if (++pauses == 3) first.Release();
    });
    EXPECT_TRUE(second.Held());
  }).join();
  EXPECT_TRUE(gotIt);
  EXPECT_EQ(pauses, 3);
  EXPECT_FALSE(first.Held());
  EXPECT_TRUE(first.Acquire(0));  // the second let go at its end
}

TEST_F(PrinterLockTest, ALockFileThatCannotBeOpenedIsAJournalError) {
  kPrinterLock lock(fFolder + "/missing/" + kDocumentJournal::LockFileName(kSerial));
  EXPECT_THROW(lock.Acquire(100, [](int) {}), kJournalError);
  EXPECT_FALSE(lock.Held());
}

#ifndef _WIN32

// Another process holds the printer: this one waits its bound and fails; once the holder is
// killed the system has dropped its lock.
TEST_F(PrinterLockTest, AProcessKilledHoldingTheLockReleasesIt) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    kPrinterLock lock(fLockPath);
    const char held = lock.Acquire(0) ? '1' : '0';
    if (::write(ready[1], &held, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(held, '1');

  kPrinterLock lock(fLockPath);
  int slept = 0;
  EXPECT_FALSE(lock.Acquire(500, [&](int aMs) { slept += aMs; }));
  EXPECT_EQ(slept, 500);

  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(lock.Acquire(0));
}

// The holding process opening and closing the lock file elsewhere (as any code of the host
// may) keeps the lock: a lock that belonged to the process would be gone with that close.
TEST_F(PrinterLockTest, ClosingAnotherDescriptorOfTheFileKeepsTheLock) {
  // The other process starts before the lock is taken, so it shares nothing of this one's
  // state; it tries when told to.
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(go[1]);
    char byte;
    if (::read(go[0], &byte, 1) != 1) ::_exit(2);
    kPrinterLock other(fLockPath);
    ::_exit(other.Acquire(0) ? 1 : 0);
  }
  ::close(go[0]);
  kPrinterLock lock(fLockPath);
  ASSERT_TRUE(lock.Acquire(0));
  ::close(::open(fLockPath.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::write(go[1], "x", 1), 1);
  ::close(go[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "another process took the lock";
}

#endif  // !_WIN32

}  // namespace
