#include "base/log_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "base/errors.h"
#include "test_support.h"

using namespace fp;
using fp_test::CrLfLines;
using fp_test::ReadFile;
using fp_test::ScratchDir;
namespace fs = std::filesystem;

namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s, int ms) { return *EncodeDateTime(y, mo, d, h, mi, s, ms); }

// A clock the test sets and a sleeper that only counts, so nothing waits real time.
struct FakeEnvironment {
  std::shared_ptr<std::atomic<double>> now = std::make_shared<std::atomic<double>>(At(2024, 1, 15, 8, 5, 9, 7));
  std::shared_ptr<std::atomic<int>> pauses = std::make_shared<std::atomic<int>>(0);

  tVN_LogEnvironment Get() const {
    auto n = now;
    auto p = pauses;
    return {[n] { return n->load(); }, [p](int aMs) {
              EXPECT_EQ(aMs, 50);
              ++*p;
            }};
  }
};

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("LC_ALL", "C", 1); }
  void TearDown() override { unsetenv("LC_ALL"); }

  std::unique_ptr<tVN_LogWriter> Make(const std::string& aName, bool aDaily = false, int aMaxLength = 0) {
    return std::make_unique<tVN_LogWriter>(aName, dir.Path(), aMaxLength, aDaily, env.Get());
  }

  ScratchDir dir;
  FakeEnvironment env;
};

}  // namespace

TEST_F(LogWriterTest, NamesTheFileAndCreatesItsFolder) {
  std::string nested = dir / "a/b/c";
  tVN_LogWriter daily("A", nested, 0, true, env.Get());
  EXPECT_EQ(daily.FileName(), nested + "/A_20240115.log");
  EXPECT_EQ(daily.Directory(), nested);
  EXPECT_TRUE(fs::is_directory(nested));
  EXPECT_TRUE(daily.Daily());
  EXPECT_EQ(daily.MaxLogFileSize(), 5000);
  EXPECT_FALSE(daily.ShowInstanceGuid());
  EXPECT_TRUE(daily.CheckLogfileSize());
  EXPECT_EQ(daily.GetLogFileSize(), -1);  // nothing written yet

  tVN_LogWriter plain("B", nested + "/", 0, false, env.Get());
  EXPECT_EQ(plain.FileName(), nested + "/B.log");

  // The date is taken once: a writer living past midnight keeps its file.
  env.now->store(At(2024, 1, 16, 0, 0, 1, 0));
  daily.Write(let_info, "after midnight");
  daily.Flush();
  EXPECT_TRUE(fs::exists(nested + "/A_20240115.log"));
  EXPECT_FALSE(fs::exists(nested + "/A_20240116.log"));
}

TEST_F(LogWriterTest, FormatsLines) {
  auto w = Make("F");
  DateTime t = At(2024, 1, 15, 8, 5, 9, 7);
  struct Case {
    tVN_MessageType type;
    int maxLength;
    const char* message;
    const char* expected;
  } cases[] = {
      {let_error, 0, "x", "2024-01-15 08:05:09:007 - ERROR - x"},
      {let_info, 0, "x", "2024-01-15 08:05:09:007 - x"},
      {let_info, 5, "abcdefgh", "2024-01-15 08:05:09:007 - abcde"},
      {let_info, 5, "abc", "2024-01-15 08:05:09:007 - abc"},
      {let_info, 3, "\xC3\xA0\xC3\xA8\xE2\x82\xAC\xC3\xB2", "2024-01-15 08:05:09:007 - \xC3\xA0\xC3\xA8\xE2\x82\xAC"},
      {let_error, 0, "", "2024-01-15 08:05:09:007 - ERROR - "},
  };
  for (const auto& c : cases) {
    w->SetMaxMessageLength(c.maxLength);
    EXPECT_EQ(w->FormatLine(c.type, c.message, t), c.expected) << c.message;
  }
  EXPECT_EQ(w->FormatLine(let_info, "x", At(2025, 12, 31, 23, 59, 59, 999)), "2025-12-31 23:59:59:999 - x");

  w->SetMaxMessageLength(0);
  w->SetShowInstanceGuid(true);
  EXPECT_EQ(w->FormatLine(let_error, "x", t), "2024-01-15 08:05:09:007 - " + w->Guid() + " - ERROR - x");
}

// One entry is one line of the file: no text inside a message can end it or start a line
// that passes for an entry of its own.
TEST_F(LogWriterTest, EscapesEveryControlCharacterOfAMessage) {
  auto w = Make("E");
  const DateTime t = At(2024, 1, 15, 8, 5, 9, 7);
  struct Case {
    std::string message;
    std::string written;
  } cases[] = {
      {"0000/\r\n2024-01-15 08:05:09:007 - ERROR - forged", "0000/\\r\\n2024-01-15 08:05:09:007 - ERROR - forged"},
      {"a\rb\nc\td", "a\\rb\\nc\\td"},
      {std::string("nul\0esc\x1B\x1F del\x7F", 14), "nul\\x00esc\\x1B\\x1F del\\x7F"},
      {"nel\xC2\x85 ls\xE2\x80\xA8 ps\xE2\x80\xA9 c1\xC2\x9B", "nel\\u0085 ls\\u2028 ps\\u2029 c1\\u009B"},
      {"bad\xFF\xC3", "bad\\xFF\\xC3"},
      {"caff\xC3\xA8 \xE2\x82\xAC C:\\Logs \xF0\x9F\x98\x80", "caff\xC3\xA8 \xE2\x82\xAC C:\\Logs \xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(w->FormatLine(let_info, c.message, t), "2024-01-15 08:05:09:007 - " + c.written);
  // The cut counts the message's own characters, before they are escaped.
  w->SetMaxMessageLength(3);
  EXPECT_EQ(w->FormatLine(let_info, "\r\n\r\n", t), "2024-01-15 08:05:09:007 - \\r\\n\\r");
}

TEST_F(LogWriterTest, WritesCrLfLinesWithoutByteOrderMark) {
  auto w = Make("W");
  w->Write(let_info, "first");
  w->Write(let_error, "two\r\nlines");
  w->Write(let_info, "\xE2\x82\xAC 5");
  w->Flush();
  EXPECT_EQ(ReadFile(w->FileName()),
            "2024-01-15 08:05:09:007 - first\r\n"
            "2024-01-15 08:05:09:007 - ERROR - two\\r\\nlines\r\n"
            "2024-01-15 08:05:09:007 - \xE2\x82\xAC 5\r\n");
  EXPECT_EQ(w->GetLogFileSize(), static_cast<int64_t>(ReadFile(w->FileName()).size()));
  EXPECT_EQ(env.pauses->load(), 0);
}

TEST_F(LogWriterTest, ReopensTheFileForEveryLine) {
  auto w = Make("R");
  w->Write(let_info, "one");
  w->Flush();
  // Another program takes the file away between lines: the next line starts a new file.
  fs::rename(w->FileName(), dir / "taken.log");
  w->Write(let_info, "two");
  w->Flush();
  EXPECT_EQ(CrLfLines(ReadFile(w->FileName())), std::vector<std::string>{"2024-01-15 08:05:09:007 - two"});
  EXPECT_EQ(CrLfLines(ReadFile(dir / "taken.log")), std::vector<std::string>{"2024-01-15 08:05:09:007 - one"});
}

TEST_F(LogWriterTest, RollsOverOnlyPastTheLimit) {
  struct Case {
    int limitKb;
    int64_t size;
    bool rolls;
  } cases[] = {{5000, 5120000, false}, {5000, 5120001, true}, {1, 1024, false}, {1, 1025, true}, {0, 1, true},
               {0, 0, false}};
  for (const auto& c : cases) {
    fs::remove_all(dir.Path());
    fs::create_directories(dir.Path());
    auto w = Make("D_L_20240115");
    w->SetMaxLogFileSize(c.limitKb);
    {
      std::ofstream f(w->FileName(), std::ios::binary);
    }
    fs::resize_file(w->FileName(), static_cast<uintmax_t>(c.size));
    env.now->store(At(2024, 1, 15, 14, 30, 12, 123));
    w->Write(let_info, "next");
    w->Flush();
    std::string rolled = dir / "D_L_20240115_20240115143012123.log";
    SCOPED_TRACE(c.size);
    EXPECT_EQ(fs::exists(rolled), c.rolls);
    if (c.rolls) {
      EXPECT_EQ(static_cast<int64_t>(fs::file_size(rolled)), c.size);
      EXPECT_EQ(ReadFile(w->FileName()), "2024-01-15 14:30:12:123 - next\r\n");
    } else {
      EXPECT_EQ(w->GetLogFileSize(), c.size + 32);
    }
  }
}

TEST_F(LogWriterTest, RolloverNeverReplacesAnOlderFile) {
  auto w = Make("L");
  w->SetMaxLogFileSize(0);
  std::string rolled = dir / "L_20240115080509007.log";
  {
    std::ofstream(rolled, std::ios::binary) << "older";
    std::ofstream(w->FileName(), std::ios::binary) << "current\r\n";
  }
  w->Write(let_info, "x");
  w->Flush();
  EXPECT_EQ(ReadFile(rolled), "older");
  EXPECT_EQ(ReadFile(w->FileName()), "current\r\n2024-01-15 08:05:09:007 - x\r\n");
}

TEST_F(LogWriterTest, RolloverPrunesTheOldestFilesPastTheTotalSize) {
  auto w = Make("L");
  w->SetMaxLogFileSize(0);  // every line finds the file over its limit and starts a new one
  const int64_t lineBytes = 26 + 30 + 2;
  w->SetRetention(0, 2 * lineBytes);  // the current file and one more
  for (int i = 0; i < 5; ++i) {
    env.now->store(At(2024, 1, 15, 8, 0, i, 0));
    w->Write(let_info, std::string(30, static_cast<char>('a' + i)));
    w->Flush();
  }
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"L.log", "L_20240115080004000.log"}));
  EXPECT_EQ(ReadFile(dir / "L_20240115080004000.log"), "2024-01-15 08:00:03:000 - " + std::string(30, 'd') + "\r\n");
}

// The bound on the log's files holds after every line, not only at start and rollover, also
// when one file alone may grow past it.
TEST_F(LogWriterTest, TotalSizeBoundHoldsWhileTheFileGrows) {
  struct Case {
    int fileLimitKb;
    int64_t totalBytes;
  } cases[] = {{5000, 6 * 1024}, {4, 10 * 1024}, {1, 6 * 1024}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.totalBytes);
    fs::remove_all(dir.Path());
    fs::create_directories(dir.Path());
    auto w = Make("T");
    w->SetMaxLogFileSize(c.fileLimitKb);
    w->SetRetention(0, c.totalBytes);
    int64_t largest = 0;
    for (int i = 0; i < 400; ++i) {
      env.now->store(At(2024, 1, 15, 8, i / 60, i % 60, 0));  // rolled files get distinct names
      w->Write(let_info, "line " + std::to_string(i) + " " + std::string(70, 'x'));
      w->Flush();
      int64_t total = 0;
      for (const auto& e : fs::directory_iterator(dir.Path())) total += static_cast<int64_t>(e.file_size());
      largest = std::max(largest, total);
    }
    EXPECT_LE(largest, c.totalBytes);
    // The newest lines are kept, in the current file and at least one earlier one.
    EXPECT_NE(ReadFile(w->FileName()).find("line 399 "), std::string::npos);
    EXPECT_GE(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
  }
}

TEST_F(LogWriterTest, DestructionDrainsEveryQueuedLine) {
  std::string path;
  {
    auto w = Make("Q");
    path = w->FileName();
    for (int i = 0; i < 1000; ++i) w->Write(let_info, std::to_string(i));
  }
  auto lines = CrLfLines(ReadFile(path));
  ASSERT_EQ(lines.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(lines[i], "2024-01-15 08:05:09:007 - " + std::to_string(i));
}

TEST_F(LogWriterTest, ConcurrentWritersKeepEachThreadsOrder) {
  constexpr int kThreads = 4, kLines = 250;
  std::string path;
  {
    auto w = Make("C");
    path = w->FileName();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < kLines; ++i) w->Write(let_info, std::to_string(t) + ":" + std::to_string(i));
      });
    for (auto& th : threads) th.join();
  }
  std::map<int, int> next;
  auto lines = CrLfLines(ReadFile(path));
  ASSERT_EQ(lines.size(), size_t{kThreads * kLines});
  for (const auto& line : lines) {
    std::string msg = line.substr(line.rfind(" - ") + 3);
    int t = std::stoi(msg.substr(0, msg.find(':')));
    int i = std::stoi(msg.substr(msg.find(':') + 1));
    EXPECT_EQ(i, next[t]++) << line;
  }
}

TEST_F(LogWriterTest, TwoWritersOfOneFileInterleave) {
  std::string path;
  {
    auto a = Make("S");
    auto b = Make("S");
    path = a->FileName();
    for (int i = 0; i < 200; ++i) {
      a->Write(let_info, "a");
      b->Write(let_info, "b");
    }
  }
  auto lines = CrLfLines(ReadFile(path));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "2024-01-15 08:05:09:007 - a"), 200);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "2024-01-15 08:05:09:007 - b"), 200);
}

TEST_F(LogWriterTest, RetriesTenTimesThenDropsTheLine) {
  auto w = Make("B");
  w->Write(let_info, "kept");
  w->Flush();
  // Something that can't be opened for appending stands where the file was.
  std::string path = w->FileName();
  fs::rename(path, dir / "kept.log");
  fs::create_directory(path);
  w->Write(let_info, "lost");
  w->Flush();
  EXPECT_EQ(env.pauses->load(), 9);  // ten attempts, 50 ms apart
  fs::remove(path);
  fs::rename(dir / "kept.log", path);
  w->Write(let_info, "after");
  w->Flush();
  EXPECT_EQ(CrLfLines(ReadFile(w->FileName())),
            (std::vector<std::string>{"2024-01-15 08:05:09:007 - kept", "2024-01-15 08:05:09:007 - after"}));
}

TEST_F(LogWriterTest, UncreatableFolderIsSilentUntilTheLinesAreLost) {
  std::ofstream(dir / "file") << "x";
  std::string bad = dir / "file/sub";
  std::unique_ptr<tVN_LogWriter> w;
  ASSERT_NO_THROW(w = std::make_unique<tVN_LogWriter>("X", bad, 0, true, env.Get()));
  EXPECT_EQ(w->FileName(), bad + "/X_20240115.log");
  EXPECT_NO_THROW(w->Write(let_info, "lost"));
  w->Flush();
  EXPECT_EQ(env.pauses->load(), 9);
  EXPECT_EQ(w->GetLogFileSize(), -1);
  // The file is now known to be unusable: the next lines get one attempt each, not ten.
  for (int i = 0; i < 3; ++i) w->Write(let_info, "lost too");
  w->Flush();
  EXPECT_EQ(env.pauses->load(), 9);
  // Once a line gets through, a later failure is retried in full again.
  w->SetDirectory(dir / "ok");
  w->Write(let_info, "kept");
  w->Flush();
  EXPECT_EQ(ReadFile(w->FileName()), "2024-01-15 08:05:09:007 - kept\r\n");
  fs::remove(w->FileName());
  fs::create_directory(w->FileName());
  w->Write(let_info, "lost again");
  w->Flush();
  EXPECT_EQ(env.pauses->load(), 18);

  try {
    w->SetDirectory(dir / "file/other");
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
  try {
    w->SetDirectory("");
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
}

TEST_F(LogWriterTest, MovesBetweenFoldersAndNames) {
  auto w = Make("M");
  w->SetDirectory(dir / "x/y");
  EXPECT_EQ(w->FileName(), dir / "x/y/M.log");
  EXPECT_TRUE(fs::is_directory(dir / "x/y"));
  w->SetFileName("/elsewhere/N.txt");  // the folder part is dropped
  EXPECT_EQ(w->FileName(), dir / "x/y/N.txt");
  w->Write(let_info, "here");
  w->Flush();
  EXPECT_TRUE(fs::exists(dir / "x/y/N.txt"));
}

TEST_F(LogWriterTest, EmptyFileNameIsRefusedAtWrite) {
  tVN_LogWriter w("E", "", 0, false, env.Get());
  EXPECT_EQ(w.FileName(), "E.log");
  w.SetFileName("");
  try {
    w.Write(let_info, "x");
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Log filename is empty ");
  }
}

TEST(LogWriterPaths, JoinsAndRenames) {
  struct Join {
    const char* folder;
    const char* name;
    const char* expected;
  } joins[] = {{"", "a.log", "a.log"},       {"/x", "a.log", "/x/a.log"},  {"/x/", "a.log", "/x/a.log"},
               {"/x", "/y/a.log", "/y/a.log"}, {"rel", "a.log", "rel/a.log"}};
  for (const auto& j : joins) EXPECT_EQ(tVN_LogWriter::JoinPath(j.folder, j.name), j.expected) << j.folder;
  EXPECT_THROW(tVN_LogWriter::JoinPath(std::string("a\0b", 3), "x"), kException);

  DateTime t = At(2024, 1, 15, 14, 30, 12, 123);
  struct Roll {
    const char* path;
    const char* expected;
  } rolls[] = {{"/l/D_L_20240115.log", "/l/D_L_20240115_20240115143012123.log"},
               {"/l.d/noext", "/l.d/noext_20240115143012123.log"},
               {"a.b.txt", "a.b_20240115143012123.log"}};
  for (const auto& r : rolls) EXPECT_EQ(tVN_LogWriter::RolloverName(r.path, t), r.expected);
}
