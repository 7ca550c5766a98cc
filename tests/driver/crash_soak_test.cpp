// A till killed with SIGKILL in the middle of its documents and started again, sending what
// it was not told about with fresh time stamps: every document exists once on the printer
// and the till is told the printer's numbers. The kill lands exactly where it is aimed: the
// printer holds the command while the till process is killed, then carries it out or not.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "driver/exactly_once.h"

namespace {

using Mode = fp::emu::PrinterEmulator::HoldMode;

// Killed at the closing of a receipt: before the printer carried it out (then it does, or
// never does), or after, with the answer on its way. The restarted till's receipt is the
// same sale, by its reference or, without one, by its content.
TEST(TillKilled, AtTheClosingTheRestartedTillsReceiptIsPrintedOnce) {
  struct Case {
    const char* name;
    Mode mode;
    bool carriedOut;
    const char* reference;
  } cases[] = {
      {"the closing sent, then carried out", Mode::BeforeCarryingOut, true, "SALE-K1"},
      {"the closing sent, never carried out", Mode::BeforeCarryingOut, false, "SALE-K2"},
      {"the closing carried out, its answer on the way", Mode::AfterCarryingOut, true, "SALE-K3"},
      {"the closing carried out, no reference", Mode::AfterCarryingOut, true, ""},
  };
  fp::soak::kSoakPrinter printer("fp_till_killed");
  fp::emu::PrinterEmulator& emu = printer.fEmu;
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tag = "KILLED" + std::to_string(++round);
    const std::string sale = fp::once::SaleDocument(tag, 150 + round, c.reference);
    // A generous bound: it is only a limit on asking an unanswering printer (this one
    // answers), and on a loaded machine a short one can leave the earlier round's outcome
    // unsettled, so the next till is refused before it reaches the closing.
    const std::vector<std::string> args = {"--outcome-timeout", "10000", "--tries", "3", emu.BaseUrl(), "till", sale};
    {
      std::mutex mutex;
      std::unique_ptr<fp::once::kTillProcess> till;
      emu.SetHoldListener([&](const fp::emu::ReceivedPacket&) {
        std::lock_guard<std::mutex> lock(mutex);
        till->Kill();
      });
      emu.HoldAt("m", c.mode);
      {
        std::lock_guard<std::mutex> lock(mutex);
        till = std::make_unique<fp::once::kTillProcess>(OUTCOME_HELPER_PATH, args);
      }
      const auto told = till->Finish();
      ASSERT_TRUE(till->Killed()) << till->Text();
      EXPECT_TRUE(told.empty()) << "told before the kill: " << till->Text();
      emu.ReleaseHold(c.carriedOut);
      emu.SetHoldListener(nullptr);
    }
    EXPECT_EQ(fp::once::SalesWith(emu.Journal(), tag).fCount, c.carriedOut ? 1 : 0);

    fp::once::kTillProcess again(OUTCOME_HELPER_PATH, args);
    const auto told = again.Finish();
    ASSERT_FALSE(told.empty()) << again.Text();
    const fp::once::kTold& last = told.back();
    EXPECT_TRUE(last.Printed()) << last.fError;
    const fp::once::kIssued issued = fp::once::SalesWith(emu.Journal(), tag);
    EXPECT_EQ(issued.fCount, 1);
    EXPECT_EQ(last.fCall.Get("ReceiptNumber"), std::to_string(issued.fNumber)) << last.fCall.fOutput;
    EXPECT_EQ(last.fCall.Get("EJClosingNumber"), std::to_string(issued.fClosing)) << last.fCall.fOutput;
  }
}

// The short run of the crash soak: a handful of kills at seeded commands of receipts,
// non-fiscal documents and Z reports (bench/crash_soak runs hundreds).
TEST(CrashSoak, EveryDocumentExistsOnceWithThePrintersNumbers) {
  fp::soak::kSoakPrinter printer("fp_crash_soak");
  fp::once::kCrashSoakOptions options;
  options.fSeed = static_cast<unsigned>(fp::soak::EnvOr("FP_CRASH_SEED", 7));
  options.fKills = fp::soak::EnvOr("FP_CRASH_KILLS", 6);
  options.fDocuments = 2 * options.fKills + 4;
  const fp::once::kCrashSoakReport report = fp::once::RunCrashSoak(printer, OUTCOME_HELPER_PATH, options);
  std::cout << fp::once::FormatCrashFigures(report.fFigures) << "\n";
  EXPECT_GT(report.fFigures.fKills, 0);
  for (const auto& v : report.fViolations) ADD_FAILURE() << v;
}

}  // namespace
