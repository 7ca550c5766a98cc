// An unknown outcome outlives the process: a receipt's closing loses its answer and the
// printer stays silent past the bound, so PRINTFR ends with "Outcome unknown:" and the
// receipt's row stays unsettled in the printer's document journal. A new process (the library
// loaded afresh) then opens the same device and sends the same receipt: it is settled, never
// printed twice.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../receipts/abi_client.h"
#include "driver/fault_soak.h"

extern char** environ;

namespace {

using fp::test::Answer;
using fp::test::Library;

// Runs the helper program and returns its output lines: result code, error text, result.
std::vector<std::string> RunSecondProcess(const std::string& aUrl, const std::string& aLogId,
                                          const std::string& aReceipt) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<std::string> args = {OUTCOME_HELPER_PATH, aUrl, aLogId, aReceipt};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, OUTCOME_HELPER_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; spawned == 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  if (spawned == 0) waitpid(pid, &status, 0);
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) lines.push_back(text.substr(at, end - at));
  return lines;
}

std::string Sale(const std::string& aTag) {
  return "<Receipt><Type>Sale</Type><Lines><productsale><Description>" + aTag +
         "</Description><Quantity>1</Quantity><Department>1</Department><Price>1.20</Price><Amount>1.20</Amount>"
         "</productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>1.20</Amount></Payment>"
         "</Payments></Receipt>";
}

int Count(const std::vector<std::string>& aLines, const std::string& aText) {
  return static_cast<int>(std::count_if(aLines.begin(), aLines.end(),
                                        [&](const std::string& l) { return l.find(aText) != std::string::npos; }));
}

TEST(OutcomeAcrossProcesses, TheNextProcessSettlesTheReceiptWithoutPrintingItTwice) {
  struct Case {
    const char* name;
    const char* tag;
    bool printed;  // the closing took effect before the printer went silent
  } cases[] = {
      {"printed: the earlier numbers come back, nothing printed again", "ELSEWHERE1", true},
      {"not printed: the open receipt is cancelled and the receipt printed once", "ELSEWHERE2", false},
  };
  fp::soak::kSoakPrinter printer("fp_outcome_process");
  fp::emu::PrinterEmulator& emu = printer.fEmu;
  Library lib;
  const std::string device = "<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>proc</LogId>";
  const auto journalFolder = printer.fDir / "DocumentJournal";

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The first process: a short outcome bound, so the silent printer costs little time.
    Answer a = lib.Call("OPEN", "<ReceiptPrinterManager>" + device + "<Connection><Type>HTTP</Type><URL>" +
                                    emu.BaseUrl() + "</URL></Connection><Parameters><OutcomeTimeout>1000"
                                    "</OutcomeTimeout></Parameters></ReceiptPrinterManager>");
    ASSERT_EQ(a.result, 0) << a.error;
    const std::string handle = "<Handle>" + a.Get("Handle") + "</Handle>";
    const std::string first = "<ReceiptPrinterManager>" + device + handle;
    emu.ClearPaper();
    const std::string onPaper = c.printed ? "DOC.N." : "CONTANTI";
    if (c.printed) emu.DropAnswers("m");
    emu.SetPaperListener([&emu, onPaper, done = false](const std::string& aLine) mutable {
      if (!done && aLine.find(onPaper) != std::string::npos) {
        done = true;
        emu.FailNext(100000, 0);
      }
    });
    a = lib.Call("PRINTFR", first + Sale(c.tag) + "</ReceiptPrinterManager>");
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.error.rfind("Outcome unknown: ", 0), 0u) << a.error;
    EXPECT_FALSE(std::filesystem::is_empty(journalFolder));
    emu.SetPaperListener(nullptr);
    emu.ClearFaults();
    lib.Call("CLOSE", first + "</ReceiptPrinterManager>");

    // The second process sends the same receipt.
    const auto lines = RunSecondProcess(emu.BaseUrl(), "proc", Sale(c.tag));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "0") << lines[1];
    const auto journal = emu.Journal();
    int entries = 0;
    for (const auto& e : journal)
      if (!e.fVoided && e.fKind == fp::emu::JournalKind::Sale && Count(e.fLines, c.tag) > 0) ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(Count(emu.Paper(), c.tag), c.printed ? 1 : 2);  // the cancelled one is on paper too
    EXPECT_EQ(Count(emu.Paper(), "DOCUMENTO ANNULLATO"), c.printed ? 0 : 1);
    EXPECT_NE(lines[2].find("<ReceiptNumber>" + std::to_string(journal.back().fNumber) + "</ReceiptNumber>"),
              std::string::npos)
        << lines[2];
    if (c.printed) {
      EXPECT_NE(lines[2].find("it was not printed again."), std::string::npos) << lines[2];
    }
  }
}

}  // namespace
