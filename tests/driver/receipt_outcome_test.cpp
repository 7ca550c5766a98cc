// What a receipt ends as when the printer's answer to its closing is lost: confirmed printed
// with its true numbers, closed once more while still open, or an open question that the
// next call on the device settles without printing the receipt twice.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "base/text.h"
#include "driver_fixture.h"

using namespace fp;
using namespace fp::test;

namespace {

std::string SaleReceipt(const std::string& aDescription, const std::string& aPrice) {
  return "<Receipt><Type>Sale</Type><Lines><productsale><Description>" + aDescription +
         "</Description><Quantity>1</Quantity><Department>1</Department><Price>" + aPrice + "</Price><Amount>" +
         aPrice + "</Amount></productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>" + aPrice +
         "</Amount></Payment></Payments></Receipt>";
}

int CountOnPaper(const emu::PrinterEmulator& aEmu, const std::string& aText) {
  const auto paper = aEmu.Paper();
  return static_cast<int>(std::count_if(paper.begin(), paper.end(),
                                        [&](const std::string& l) { return l.find(aText) != std::string::npos; }));
}

class ReceiptOutcomeTest : public DriverTest {
 protected:
  _int_PRINTFR_result Print(const std::string& aReceipt) {
    _int_PRINTFR_result r;
    device->Pub_PrintReceipt(*Request(aReceipt, {dt_Receipt}), r);
    return r;
  }
  // Faults that start when the printer prints a line containing aText (the listener runs
  // after the command that printed it was executed, before its answer goes out).
  void OnPaper(const std::string& aText, std::function<void()> aFault) {
    emu.SetPaperListener([aText, aFault, done = false](const std::string& aLine) mutable {
      if (!done && aLine.find(aText) != std::string::npos) {
        done = true;
        aFault();
      }
    });
  }
};

TEST_F(ReceiptOutcomeTest, ClosingWhoseAnswerIsLostIsSettledByTheNumbering) {
  struct Case {
    const char* name;
    std::function<void()> fault;
    int closings;  // "m" commands the printer receives
  } cases[] = {
      {"executed, then the connection closes", [this] { emu.DropAnswers("m"); }, 1},
      {"executed, then an HTTP 500 instead of the frame", [this] { emu.AnswerStatus("m", 500); }, 1},
      // The driver waits at least 7 s for an answer.
      {"executed, then the answer comes too late", [this] { emu.AnswerLate("m", std::chrono::milliseconds(9000)); }, 1},
      {"not executed, the connection closes: closed once more",
       [this] { OnPaper("CONTANTI", [this] { emu.FailNext(1, 0); }); }, 2},
  };
  OpenAndInit();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.ClearPackets();
    emu.SetPaperListener(nullptr);
    const size_t journal = emu.Journal().size();
    c.fault();
    const auto r = Print(SaleReceipt("Pane", "1.20"));
    EXPECT_FALSE(r.Error) << r.ErrorText;
    EXPECT_EQ(r.ErrorText, "");
    const auto entries = emu.Journal();
    ASSERT_EQ(entries.size(), journal + 1);
    EXPECT_EQ(entries.back().fTotal, Amount::Parse("1.20").value());
    EXPECT_EQ(r.ReceiptNumber, std::to_string(entries.back().fNumber));
    EXPECT_EQ(r.EJClosingNumber, std::to_string(entries.back().fZNumber));
    EXPECT_NE(r.ReceiptDateTime, 0);
    if (c.closings == 1) {
      EXPECT_EQ(r.MessageText, "The printer's answer to the closing was lost; the receipt was confirmed as printed.");
    }
    EXPECT_EQ(CountLetter(emu.Packets(), "m"), c.closings);
    EXPECT_EQ(CountLetter(emu.Packets(), "3"), 1);
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
    emu.ClearFaults();
  }
  EXPECT_TRUE(LogHas("Outcome: the answer to the closing was lost"));
  EXPECT_TRUE(LogHas("Outcome: the receipt is still open; closing it once more"));
}

// The bound is checked between questions, and each question takes its own timeouts: the
// text states the time the asking really took (here each look at the clock finds 10 s more
// gone), not the bound.
TEST_F(ReceiptOutcomeTest, OutcomeUnknownStatesTheTimeReallySpentAsking) {
  auto& d = OpenAndInit();
  auto now = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
  d.SetOutcomeWaits([](int) {}, [now] { return *now += std::chrono::seconds(10); });
  emu.DropAnswers("m");
  OnPaper("DOC.N.", [this] { emu.FailNext(100000, 0); });
  const auto r = Print(SaleReceipt("Pane", "1.20"));
  emu.SetPaperListener(nullptr);
  emu.ClearFaults();
  EXPECT_TRUE(r.Error);
  EXPECT_NE(r.ErrorText.find("; the printer did not tell in 40 s of asking; "), std::string::npos) << r.ErrorText;
}

// The printer prints the receipt and then stops answering: the call ends, within its bound,
// with "Outcome unknown"; the next call settles the question first.
TEST_F(ReceiptOutcomeTest, UnreachablePrinterLeavesAnOpenQuestionTheNextCallSettles) {
  struct Case {
    const char* name;
    bool printed;        // the closing took effect before the printer went silent
    bool sameReceipt;    // the next call sends the same receipt again
  } cases[] = {
      {"printed, sent again: the earlier numbers, nothing printed twice", true, true},
      {"printed, another receipt next: that one is printed", true, false},
      {"not printed, sent again: printed now", false, true},
  };
  auto& d = OpenAndInit();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pauses.clear();
    const std::string first = SaleReceipt(std::string("Pane ") + c.name[0], "1.20");
    const size_t journal = emu.Journal().size();
    if (c.printed) {
      emu.DropAnswers("m");
      OnPaper("DOC.N.", [this] { emu.FailNext(100000, 0); });
    } else {
      OnPaper("CONTANTI", [this] { emu.FailNext(100000, 0); });
    }
    auto r = Print(first);
    EXPECT_TRUE(r.Error);
    EXPECT_EQ(r.ErrorText.rfind("Outcome unknown: the printer did not answer the closing of the receipt", 0), 0u)
        << r.ErrorText;
    EXPECT_NE(r.ErrorText.find("last document number known before it: " +
                               std::to_string(emu.Snapshot().fLastDocumentNumber - (c.printed ? 1 : 0))),
              std::string::npos)
        << r.ErrorText;
    EXPECT_EQ(r.ReceiptNumber, "");
    ASSERT_NE(d.Journal(), nullptr);
    ASSERT_EQ(d.Journal()->Unsettled().size(), 1u);
    // Bounded: the pauses of the outcome reads stop at the bound.
    int waited = 0;
    for (int p : pauses) waited += p;
    EXPECT_LE(waited, 4 * kFiscalPrinterDevice::kDefaultOutcomeTimeoutMs);

    emu.SetPaperListener(nullptr);
    emu.ClearFaults();
    emu.ClearPackets();
    const std::string next = c.sameReceipt ? first : SaleReceipt("Latte", "2.50");
    r = Print(next);
    EXPECT_FALSE(r.Error) << r.ErrorText;
    EXPECT_TRUE(d.Journal()->Unsettled().empty());
    const auto entries = emu.Journal();
    const size_t expected = journal + (c.printed ? 1 : 0) + (c.printed && c.sameReceipt ? 0 : 1);
    ASSERT_EQ(entries.size(), expected);
    EXPECT_EQ(r.ReceiptNumber, std::to_string(entries.back().fNumber));
    if (c.printed && c.sameReceipt) {
      EXPECT_EQ(r.MessageText, "This receipt was printed by an earlier call whose answer was lost; it was not printed again.");
      EXPECT_EQ(CountLetter(emu.Packets(), ">"), 0);
    } else {
      EXPECT_NE(r.MessageText.find("An earlier call whose answer was lost was settled"), std::string::npos)
          << r.MessageText;
    }
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
  }
  EXPECT_EQ(CountOnPaper(emu, "DOCUMENTO ANNULLATO"), 1);  // the receipt that never closed
  EXPECT_TRUE(LogHas("Outcome: receipt 1 is printed"));
  EXPECT_TRUE(LogHas("is not printed: Settled later"));
}

// A gateway's 504 after the printer booked the line: the line is not sent again (it would
// be booked twice); the receipt is cancelled and reported not printed.
TEST_F(ReceiptOutcomeTest, LineAnsweredWithAnHttpErrorIsNotSentAgain) {
  OpenAndInit();
  const size_t journal = emu.Journal().size();
  emu.AnswerStatus("3", 504);
  const auto r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText.rfind("Receipt not printed: HTTP 504 Gateway Timeout from " + emu.BaseUrl(), 0), 0u)
      << r.ErrorText;
  EXPECT_NE(r.ErrorText.find("the open receipt was cancelled and can be sent again"), std::string::npos);
  EXPECT_EQ(CountLetter(emu.Packets(), "3"), 1);
  EXPECT_EQ(emu.Journal().size(), journal);
  EXPECT_EQ(CountOnPaper(emu, "DOCUMENTO ANNULLATO"), 1);
}

// A retry is known by the receipt's identity: the host's ExternalReference whatever else
// changed, or else its content without its time stamps, which never stands for a receipt
// already reported printed.
TEST_F(ReceiptOutcomeTest, ARetryIsKnownByItsIdentity) {
  struct Case {
    const char* name;
    const char* reference;
    bool firstUnknown;  // the first attempt ends with "Outcome unknown" (printed all the same)
    int printed;        // receipts of this sale on the printer after the retry
  } cases[] = {
      {"the host's reference, unknown, then sent with a fresh DateTime", "<ExternalReference>S-1</ExternalReference>",
       true, 1},
      {"the host's reference, reported printed, then sent again", "<ExternalReference>S-2</ExternalReference>", false,
       1},
      {"no reference, unknown, then the same content with a fresh DateTime", "", true, 1},
      {"no reference, reported printed: the same coffee bought again", "", false, 2},
  };
  OpenAndInit();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string item = "Caffe" + std::to_string(++n);
    const auto sale = [&](const std::string& aDateTime) {
      std::string receipt = SaleReceipt(item, "1.10");
      receipt.insert(std::string("<Receipt>").size(),
                     std::string(c.reference) + "<DateTime>" + aDateTime + "</DateTime><BusinessDate>" +
                         aDateTime.substr(0, 10) + "T00:00:00</BusinessDate>");
      return receipt;
    };
    if (c.firstUnknown) {
      emu.DropAnswers("m");
      OnPaper("DOC.N.", [this] { emu.FailNext(100000, 0); });
    }
    const auto first = Print(sale("2026-12-10T10:00:00"));
    EXPECT_EQ(first.Error, c.firstUnknown) << first.ErrorText;
    emu.SetPaperListener(nullptr);
    emu.ClearFaults();
    emu.ClearPackets();

    const auto retry = Print(sale("2026-12-11T10:05:00"));
    EXPECT_FALSE(retry.Error) << retry.ErrorText;
    int onPrinter = 0;
    std::string lastNumber;
    for (const auto& e : emu.Journal())
      for (const auto& line : e.fLines)
        if (line.find(item) != std::string::npos) {
          ++onPrinter;
          lastNumber = std::to_string(e.fNumber);
          break;
        }
    EXPECT_EQ(onPrinter, c.printed);
    EXPECT_EQ(retry.ReceiptNumber, lastNumber);
    EXPECT_EQ(CountLetter(emu.Packets(), ">"), c.printed == 1 ? 0 : 1);
    if (c.printed == 1) {
      EXPECT_NE(retry.MessageText.find("it was not printed again."), std::string::npos) << retry.MessageText;
    }
  }
}

// Another till on the same printer selling the same coffee, without a reference of its own,
// while the first till's answer was lost: each sale is printed once, each till told its own.
TEST_F(ReceiptOutcomeTest, AFingerprintNeverStandsForAnotherTillsSale) {
  auto& tillA = OpenAndInit();
  const std::string coffee = SaleReceipt("Caffe", "1.10");
  emu.DropAnswers("m");
  OnPaper("DOC.N.", [this] { emu.FailNext(100000, 0); });
  const auto lost = Print(coffee);
  EXPECT_TRUE(lost.Error);
  emu.SetPaperListener(nullptr);
  emu.ClearFaults();

  // Till B: the same printer, its own LogId; it opens while till A is still down.
  auto request = std::make_unique<kReceiptPrinterHandler>();
  request->Deserialize(ReplaceAll(DeviceXml(emu.BaseUrl(), coffee), "<LogId>drv</LogId>", "<LogId>tillb</LogId>"),
                       {dt_Receipt});
  std::unique_ptr<kFiscalPrinter_TARVOLX40FPETH> tillB(
      static_cast<kFiscalPrinter_TARVOLX40FPETH*>(RegisteredDriver("VNRP_TARVOLX40FPETH_10")(*request).release()));
  tillB->SetSleeper([this](int ms) { pauses.push_back(ms); });
  _int_OPEN_result opened;
  tillB->Pub_Open(*request, opened);
  ASSERT_FALSE(opened.Error) << opened.ErrorText;
  ASSERT_TRUE(tillB->Init());
  _int_GETSTATUS_result status;
  tillB->Pub_GetStatus(*request, status);
  tillB->OpenJournalAtStart();
  _int_PRINTFR_result sold;
  tillB->Pub_PrintReceipt(*request, sold);
  EXPECT_FALSE(sold.Error) << sold.ErrorText;
  EXPECT_EQ(sold.MessageText.find("not printed again"), std::string::npos) << sold.MessageText;

  // Till A's retry is its own sale, printed before.
  const auto retry = Print(coffee);
  EXPECT_FALSE(retry.Error) << retry.ErrorText;
  EXPECT_NE(retry.MessageText.find("not printed again"), std::string::npos) << retry.MessageText;
  const auto entries = emu.Journal();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(retry.ReceiptNumber, std::to_string(entries[0].fNumber));
  EXPECT_EQ(sold.ReceiptNumber, std::to_string(entries[1].fNumber));
  EXPECT_EQ(tillA.Journal()->Unsettled().size(), 0u);
}

// A receipt whose outcome the printer could not be asked about holds back the next one: once
// printed, another receipt of the same total after it could be taken for it.
TEST_F(ReceiptOutcomeTest, NoReceiptIsPrintedWhileAnEarlierOneCanStillBeSettled) {
  auto& d = OpenAndInit();
  emu.DropAnswers("m");
  OnPaper("DOC.N.", [this] { emu.FailNext(100000, 0); });
  EXPECT_TRUE(Print(SaleReceipt("Pane", "1.20")).Error);
  emu.SetPaperListener(nullptr);
  emu.ClearFaults();
  // The printer answers again but refuses its state for as long as the settling asks.
  emu.ForceReplyCode("X", 0x0A, 1 + kFiscalPrinterDevice::kDefaultOutcomeTimeoutMs / kFiscalPrinterDevice::kOutcomePauseMs);
  emu.ClearPackets();
  const auto held = Print(SaleReceipt("Latte", "1.20"));
  EXPECT_TRUE(held.Error);
  EXPECT_EQ(held.ErrorText.rfind("Receipt not printed: the outcome of an earlier receipt", 0), 0u) << held.ErrorText;
  EXPECT_EQ(CountLetter(emu.Packets(), ">"), 0);
  EXPECT_EQ(emu.Journal().size(), 1u);

  // Once the printer tells, the earlier one is settled and the next one printed.
  const auto next = Print(SaleReceipt("Latte", "1.20"));
  EXPECT_FALSE(next.Error) << next.ErrorText;
  EXPECT_EQ(emu.Journal().size(), 2u);
  EXPECT_TRUE(d.Journal()->Unsettled().empty());
}

// A journal that cannot be written stops the receipt before its first command.
TEST_F(ReceiptOutcomeTest, AJournalThatCannotBeWrittenPrintsNothing) {
  // A file where the journal's folder belongs.
  std::ofstream(fLogDir / "DocumentJournal") << "not a folder";
  OpenAndInit();
  const auto r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText.rfind("Receipt not printed: The document journal cannot be written: ", 0), 0u) << r.ErrorText;
  EXPECT_NE(r.ErrorText.find("; nothing was printed"), std::string::npos) << r.ErrorText;
  EXPECT_EQ(CountLetter(emu.Packets(), ">"), 0);
  EXPECT_TRUE(emu.Journal().empty());
}

// While another holder has the printer (another device, thread or process), a receipt waits
// within its bound, then says so and sends nothing; once free, it prints.
TEST_F(ReceiptOutcomeTest, APrinterBusyWithAnotherDocumentIsWaitedForWithinABound) {
  auto& d = OpenAndInit();
  std::promise<bool> held;
  std::promise<void> release;
  std::thread other([&, path = kDocumentJournal::DefaultFolder() + "/" + kDocumentJournal::LockFileName(d.SerialNumber())] {
    kPrinterLock lock(path);
    held.set_value(lock.Acquire(0));
    release.get_future().wait();
  });
  ASSERT_TRUE(held.get_future().get());
  pauses.clear();
  auto r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_EQ(r.ErrorText, "Receipt not printed: The printer is busy with another document");
  EXPECT_TRUE(emu.Packets().empty());
  int waited = 0;
  for (int p : pauses) waited += p;
  EXPECT_GT(waited, 0);
  EXPECT_LE(waited, kFiscalPrinterDevice::kDefaultOutcomeTimeoutMs + 1000);

  release.set_value();
  other.join();
  r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(emu.Journal().size(), 1u);
}

TEST_F(ReceiptOutcomeTest, ReceiptLeftOpenIsCancelledAndSaidSo) {
  OpenAndInit();
  emu.Execute(">", "////");
  const auto r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(r.MessageText, "A receipt left open on the printer by an earlier failure was cancelled before this one.");
  EXPECT_TRUE(LogHas("Outcome: A receipt left open"));
}

// The cancel of a receipt left open answered with garbage: the receipt is not printed and
// says so after its prefix; the printer's lock is free for the next one, which prints.
TEST_F(ReceiptOutcomeTest, AnUnreadableCancelOfAReceiptLeftOpenLeavesNothingHeld) {
  auto& d = OpenAndInit();
  emu.Execute(">", "////");
  emu.ForceFrame("+", "garbage");
  auto r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Receipt not printed: Invalid reply frame from the printer: 'garbage'");
  EXPECT_TRUE(emu.Journal().empty());
  emu.ClearFaults();
  r = Print(SaleReceipt("Pane", "1.20"));
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(emu.Journal().size(), 1u);
  EXPECT_TRUE(d.Journal()->Unsettled().empty());
}

}  // namespace
