// Two tills on one printer: two handles in one process (two threads), or two processes with
// the same LogId, each sending receipts at once. The printer takes one document at a time:
// no receipt holds the items of both tills, each till is told its own receipt's numbers,
// and every receipt told printed exists once.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "../receipts/abi_client.h"
#include "driver/exactly_once.h"

namespace {

constexpr int kReceipts = 30;

struct kTillTold {
  std::string fTag;
  bool fPrinted = false;
  bool fUnknown = false;
  std::string fNumber, fClosing, fError;
};

std::string Tag(char aTill, int aIndex) { return std::string("TILL") + aTill + std::to_string(aIndex); }

// What each till was told against the printer's journal.
void ExpectEachTillToldItsOwnReceipts(const std::vector<fp::emu::JournalEntry>& aJournal,
                                      const std::vector<kTillTold>& aTold, char aTill, char aOther) {
  const std::string other = std::string("TILL") + aOther;
  for (const kTillTold& t : aTold) {
    SCOPED_TRACE(t.fTag);
    const fp::once::kIssued issued = fp::once::SalesWith(aJournal, t.fTag, other);
    EXPECT_LE(issued.fCount, 1) << "printed twice";
    EXPECT_FALSE(issued.fMixed) << "a receipt with the items of both tills";
    if (t.fPrinted) {
      EXPECT_EQ(issued.fCount, 1) << "told printed, not on the printer";
      EXPECT_EQ(t.fNumber, std::to_string(issued.fNumber)) << "told another receipt's number";
      EXPECT_EQ(t.fClosing, std::to_string(issued.fClosing));
    } else if (!t.fUnknown) {
      EXPECT_EQ(issued.fCount, 0) << "told not printed, on the printer: " << t.fError;
    }
  }
  (void)aTill;
}

kTillTold Told(const std::string& aTag, int aResult, const fp::soak::kSoakCall& aCall) {
  return {aTag, aResult == 0 && !aCall.Error(), aCall.fError.rfind("Outcome unknown: ", 0) == 0,
          aCall.Get("ReceiptNumber"), aCall.Get("EJClosingNumber"), aCall.fError};
}

TEST(TwoTills, TwoHandlesInOneProcessEachGetTheirOwnReceipts) {
  fp::soak::kSoakPrinter printer("fp_two_handles");
  fp::emu::PrinterEmulator& emu = printer.fEmu;
  std::vector<kTillTold> told[2];
  std::latch opened(2);
  auto till = [&](char aName, std::vector<kTillTold>& aTold) {
    fp::test::Library lib;
    const std::string device = std::string("<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>till") + aName + "</LogId>";
    const fp::test::Answer open = lib.Call(
        "OPEN", "<ReceiptPrinterManager>" + device + "<Connection><Type>HTTP</Type><URL>" + emu.BaseUrl() +
                    "</URL></Connection><Parameters><OutcomeTimeout>1000</OutcomeTimeout></Parameters>"
                    "</ReceiptPrinterManager>");
    if (open.result != 0) opened.count_down();
    ASSERT_EQ(open.result, 0) << open.error;
    const std::string head = "<ReceiptPrinterManager>" + device + "<Handle>" + open.Get("Handle") + "</Handle>";
    opened.arrive_and_wait();  // both start at once
    for (int i = 0; i < kReceipts; ++i) {
      const std::string tag = Tag(aName, i);
      const std::string sale = fp::once::Stamped(fp::once::SaleDocument(tag, 100 + i, "SALE-" + tag), "2026-03-02T10:00:00");
      const fp::test::Answer a = lib.Call("PRINTFR", head + sale + "</ReceiptPrinterManager>");
      aTold.push_back(Told(tag, a.result, {0, a.output, a.error}));
    }
    lib.Call("CLOSE", head + "</ReceiptPrinterManager>");
  };
  std::thread a([&] { till('A', told[0]); });
  std::thread b([&] { till('B', told[1]); });
  a.join();
  b.join();
  const auto journal = emu.Journal();
  ExpectEachTillToldItsOwnReceipts(journal, told[0], 'A', 'B');
  ExpectEachTillToldItsOwnReceipts(journal, told[1], 'B', 'A');
}

TEST(TwoTills, TwoProcessesWithTheSameLogIdEachGetTheirOwnReceipts) {
  fp::soak::kSoakPrinter printer("fp_two_processes");
  fp::emu::PrinterEmulator& emu = printer.fEmu;
  auto args = [&](char aName) {
    std::vector<std::string> out = {"--outcome-timeout", "1000", emu.BaseUrl(), "till"};
    for (int i = 0; i < kReceipts; ++i) out.push_back(fp::once::SaleDocument(Tag(aName, i), 100 + i, "SALE-" + Tag(aName, i)));
    return out;
  };
  // Both open their device, then start together when the pipe closes.
  int start[2];
  ASSERT_EQ(pipe2(start, O_CLOEXEC), 0);
  fp::once::kTillProcess a(OUTCOME_HELPER_PATH, args('A'), start[0]);
  fp::once::kTillProcess b(OUTCOME_HELPER_PATH, args('B'), start[0]);
  close(start[0]);
  EXPECT_TRUE(a.WaitReady()) << a.Text();
  EXPECT_TRUE(b.WaitReady()) << b.Text();
  close(start[1]);
  const auto toldA = a.Finish();
  const auto toldB = b.Finish();
  ASSERT_EQ(toldA.size(), static_cast<size_t>(kReceipts)) << a.Text();
  ASSERT_EQ(toldB.size(), static_cast<size_t>(kReceipts)) << b.Text();
  std::vector<kTillTold> told[2];
  for (int i = 0; i < kReceipts; ++i) {
    told[0].push_back(Told(Tag('A', i), toldA[i].fResult, toldA[i].fCall));
    told[1].push_back(Told(Tag('B', i), toldB[i].fResult, toldB[i].fCall));
  }
  const auto journal = emu.Journal();
  ExpectEachTillToldItsOwnReceipts(journal, told[0], 'A', 'B');
  ExpectEachTillToldItsOwnReceipts(journal, told[1], 'B', 'A');
}

}  // namespace
