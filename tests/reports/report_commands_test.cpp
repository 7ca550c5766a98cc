// The RT printer driver's report and journal commands against the printer emulator: X and Z
// reports, the day's totals read back from the journal, the journal reads by kind, and a
// journal that fails, stalls or never ends.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../driver/driver_fixture.h"
#include "documents/x_report.h"
#include "drivers/tarvolx40fpeth/journal_read.h"
#include "support/device_test_access.h"

namespace fp::test {
namespace {

Amount A(const char* aText) { return *Amount::Parse(aText); }
const DateTime kMorning = *EncodeDateTime(2026, 12, 9, 10, 0, 0, 0);

class ReportCommandsTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    // Both clocks on one fixed day, so "today's" Z reports are the ones taken here.
    emu.SetClock(kMorning);
    OpenAndInit();
    device->SetClock([] { return kMorning + 0.01; });
  }
  void TearDown() override {
    tarvol::SetMaxJournalPieces(0);
    DriverTest::TearDown();
  }

  // A sale receipt of the given prices, sent to the printer as raw packets.
  void Sell(const std::vector<std::string>& aPrices) {
    ASSERT_EQ(emu.Execute(">", "////").substr(0, 3), "00/");
    ASSERT_EQ(emu.Execute("}", "").substr(0, 3), "00/");
    for (const auto& price : aPrices)
      ASSERT_EQ(emu.Execute("3", "/S/ARTICOLO//1.000/" + price + "/1///0//").substr(0, 3), "00/") << price;
    ASSERT_EQ(emu.Execute("m", "").substr(0, 3), "00/");
  }

  std::vector<std::string> DataOf(const std::string& aLetter) {
    std::vector<std::string> out;
    for (const auto& p : emu.Packets())
      if (p.fLetter == aLetter) out.push_back(p.fData);
    return out;
  }
};

TEST_F(ReportCommandsTest, XReportPrintsTheReadingThenThePayments) {
  Sell({"10.00"});
  kXReport report;
  EXPECT_TRUE(device->PrintXReport(report));
  EXPECT_EQ(Letters(emu.Packets()), "xx");
  EXPECT_EQ(DataOf("x"), (std::vector<std::string>{"/1////", "/2////"}));
  EXPECT_NE(emu.PaperText().find("RIEPILOGO PAGAMENTI"), std::string::npos);
}

TEST_F(ReportCommandsTest, ZReportClosesTheDayAndItsTotalsAreReadBack) {
  Sell({"12.50", "7.25"});
  Sell({"3.00"});
  EXPECT_TRUE(device->PrintZReport(nullptr));
  EXPECT_FALSE(emu.Snapshot().fDayOpen);
  EXPECT_EQ(Letters(emu.Packets()), "x");
  EXPECT_TRUE(device->ReadZReportTotals());

  const auto packets = emu.Packets();
  ASSERT_GE(packets.size(), 5u);
  EXPECT_EQ(packets[0].fLetter + packets[0].fData, "x/7////");
  EXPECT_EQ(packets[1].fLetter + packets[1].fData, "i//");  // the number of the closing just taken
  EXPECT_EQ(packets[2].fLetter, "t");                        // the printer's own date
  EXPECT_EQ(packets[3].fLetter + packets[3].fData, "@/7/1////081226/091226/0/");
  for (size_t i = 4; i < packets.size(); ++i) EXPECT_EQ(packets[i].fLetter + packets[i].fData, "*/0/10/");

  const vnFiscalCounters& c = device->Counters();
  EXPECT_EQ(c.DayTotalAmount, A("22.75"));
  EXPECT_EQ(c.DayReceiptsNumber, 2);
  EXPECT_EQ(c.ZReportNumber, 1);
  EXPECT_EQ(c.GrandTotalAmount, A("22.75"));
  EXPECT_EQ(c.ZReportDateTime, kMorning);
  // The text runs from the report's start to the lines sent to the revenue agency.
  EXPECT_NE(c.Text.find("AZZERAMENTO GIORNALIERO"), std::string::npos);
  EXPECT_EQ(c.Text.find("NEGOZIO DI PROVA"), std::string::npos);
  EXPECT_EQ(c.Text.find("DATI IN TRASMISSIONE"), std::string::npos);

  // The long wait applied to the closing command only.
  EXPECT_TRUE(LogHas("Set Read Timeout to 30000ms"));
  EXPECT_EQ(kDeviceTestAccess::IOHandler(*device).ReadTimeout(), 7000);
}

TEST_F(ReportCommandsTest, SecondZReportOfADayGivesItsOwnTotals) {
  Sell({"10.00"});
  ASSERT_TRUE(device->PrintZReport(nullptr));
  Sell({"5.00"});
  Sell({"2.50"});
  ASSERT_TRUE(device->PrintZReport(nullptr));
  ASSERT_TRUE(device->ReadZReportTotals());
  const vnFiscalCounters& c = device->Counters();
  EXPECT_EQ(c.DayTotalAmount, A("7.50"));
  EXPECT_EQ(c.DayReceiptsNumber, 2);
  EXPECT_EQ(c.ZReportNumber, 2);
  EXPECT_EQ(c.GrandTotalAmount, A("17.50"));
  EXPECT_EQ(c.Text.find("AZZERAMENTO GIORNALIERO"), c.Text.rfind("AZZERAMENTO GIORNALIERO"));
}

// The journal dates a report by the printer's clock: a printer whose clock shows another day
// than the computer's (set by hand, or a till near midnight) still has its report found.
TEST_F(ReportCommandsTest, TotalsAreFoundByThePrintersDate) {
  for (const double days : {3.0, -2.0, 0.9999}) {
    SCOPED_TRACE(days);
    emu.SetClock(kMorning + days);
    Sell({"6.00"});
    ASSERT_TRUE(device->PrintZReport(nullptr));
    // A report taken just before midnight is read back just after it.
    if (days == 0.9999) emu.SetClock(kMorning + 1.01);
    ASSERT_TRUE(device->ReadZReportTotals()) << device->ErrorMessage();
    EXPECT_EQ(device->Counters().DayTotalAmount, A("6.00"));
    EXPECT_EQ(device->Counters().ZReportNumber, emu.Snapshot().fZCounter);
  }
}

TEST_F(ReportCommandsTest, RefusedZReportKeepsItsErrorAndRestoresTheReadTimeout) {
  emu.ForceReplyCode("x", 0x10);
  EXPECT_FALSE(device->PrintZReport(nullptr));
  EXPECT_EQ(Letters(emu.Packets()), "x");
  EXPECT_TRUE(device->ErrorFound());
  EXPECT_EQ(device->ErrorMessage(), "The day is open, issue a Z- Report first");
  EXPECT_EQ(kDeviceTestAccess::IOHandler(*device).ReadTimeout(), 7000);
}

// Totals that cannot be read back say why, and nothing of an earlier report or of a partial
// read stands in for them: the counters hold no totals, the closing's number when the
// printer told it, and no text.
TEST_F(ReportCommandsTest, TotalsThatCannotBeReadSayWhy) {
  struct Case {
    const char* name;
    std::function<void(emu::PrinterEmulator&)> spoil;
    const char* reason;
    int32_t number;
  } cases[] = {
      {"refused", [](emu::PrinterEmulator& e) { e.ForceReplyCode("*", 0x42); }, "Error in SD reports", 0},
      // The totals of another closing of the date are no stand-in for the one just taken.
      {"not in the journal", [](emu::PrinterEmulator& e) { e.ForceFrame("i", "00/00/00/1/0/77/"); },
       "Z report 77 not found in the journal", 77},
      {"no closing number", [](emu::PrinterEmulator& e) { e.ForceFrame("i", "00/00/00/1/0//"); },
       "The printer gave no closing number after the Z report", 0},
      {"no clock", [](emu::PrinterEmulator& e) { e.ForceFrame("t", "00/00/00/311399/250000/"); },
       "The printer's clock could not be read to find the Z report", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sell({"4.00"});
    ASSERT_TRUE(device->PrintZReport(nullptr));
    c.spoil(emu);
    EXPECT_FALSE(device->ReadZReportTotals());
    EXPECT_EQ(device->ErrorMessage(), c.reason);
    EXPECT_EQ(device->Counters().DayTotalAmount, Amount());
    EXPECT_EQ(device->Counters().GrandTotalAmount, Amount());
    EXPECT_EQ(device->Counters().Text, "");
    if (c.number != 0) {
      EXPECT_EQ(device->Counters().ZReportNumber, c.number);
    }
    // The device stays usable.
    EXPECT_TRUE(device->Send("?"));
  }
}

TEST_F(ReportCommandsTest, JournalReadsSelectByKind) {
  Sell({"4.00"});
  ASSERT_TRUE(device->PrintZReport(nullptr));
  const DateTime day = DateOf(kMorning);
  struct Case {
    const char* name;
    std::function<bool(std::string&)> read;
    const char* selection;
    const char* present;  // a line the text must hold
    const char* absent;   // a line it must not hold ("" for none)
  } cases[] = {
      {"Z reports", [&](std::string& t) { return device->PrintEJZReports(rd_Printer, day, day, t); },
       "/7/1////091226/091226/0/", "AZZERAMENTO GIORNALIERO", "DATI IN TRASMISSIONE"},
      {"fiscal receipts",
       [&](std::string& t) { return device->PrintEJFiscalReceipts(rd_Memory, 5, day, day, 9, t); },
       "/3/1////091226/091226/0/", "DOCUMENTO COMMERCIALE", "AZZERAMENTO"},
      {"non-fiscal receipts",
       [&](std::string& t) { return device->PrintEJNonFiscalReceipts(rd_Memory, 0, day, day, 0, t); },
       "/3/4////091226/091226/0/", "", ""},
      // Credit notes are asked for like Z reports, and every line is kept.
      {"credit notes", [&](std::string& t) { return device->PrintEJCreditNotes(rd_Memory, 0, day, day, 0, t); },
       "/7/1////091226/091226/0/", "DATI IN TRASMISSIONE", ""},
  };
  for (const auto& c : cases) {
    emu.ClearPackets();
    std::string text = "stale";
    EXPECT_TRUE(c.read(text)) << c.name;
    ASSERT_FALSE(DataOf("@").empty()) << c.name;
    EXPECT_EQ(DataOf("@").front(), c.selection) << c.name;
    if (*c.present) {
      EXPECT_NE(text.find(c.present), std::string::npos) << c.name;
    } else {
      // No such documents: the printer answers "no data" and nothing is fetched.
      EXPECT_EQ(text, "") << c.name;
      EXPECT_EQ(Letters(emu.Packets()), "@") << c.name;
    }
    if (*c.absent) {
      EXPECT_EQ(text.find(c.absent), std::string::npos) << c.name;
    }
  }
}

TEST_F(ReportCommandsTest, JournalThatFailsHalfwayKeepsWhatCameSoFar) {
  emu.ForceFrame("@", "00/02/00/");
  emu.ForceFrame("*", "00/02/00/one||two||/");
  emu.ForceReplyCode("*", 0x42);
  std::string text;
  EXPECT_FALSE(device->PrintEJFiscalReceipts(rd_Memory, 0, kMorning, kMorning, 0, text));
  EXPECT_EQ(text, "one\r\ntwo");
  EXPECT_EQ(device->ErrorMessage(), "Error in SD reports");

  // The device is still usable.
  kDeviceTestAccess::ResetError(*device);
  DateTime clock = 0;
  EXPECT_TRUE(device->GetDateTime(clock));
  EXPECT_FALSE(device->ErrorFound());
}

TEST_F(ReportCommandsTest, JournalThatNeverEndsIsCutAtTheBound) {
  tarvol::SetMaxJournalPieces(5);
  emu.ForceFrame("@", "00/02/00/");
  emu.ForceFrame("*", "00/02/00/again||/", 50);
  std::string text;
  EXPECT_FALSE(device->PrintEJCreditNotes(rd_Memory, 0, kMorning, kMorning, 0, text));
  EXPECT_EQ(CountLetter(emu.Packets(), "*"), 5);
  EXPECT_EQ(text, "again\r\nagain\r\nagain\r\nagain\r\nagain");
  EXPECT_EQ(device->ErrorMessage(), "The journal did not end after 5 pieces; the 5 lines read so far are returned");
}

TEST_F(ReportCommandsTest, BusyPrinterIsAskedAgainUntilTheJournalIsReady) {
  Sell({"1.00"});
  emu.AnswerBusy(2);
  pauses.clear();
  std::string text;
  EXPECT_TRUE(device->PrintEJFiscalReceipts(rd_Memory, 0, kMorning, kMorning, 0, text));
  EXPECT_EQ(CountLetter(emu.Packets(), "@"), 3);
  EXPECT_EQ(pauses, (std::vector<int>{500, 500}));
  EXPECT_NE(text.find("ARTICOLO"), std::string::npos);
}

TEST_F(ReportCommandsTest, InvoicesAndJournalFilesSendNothing) {
  std::string text = "kept";
  int32_t files = 3;
  EXPECT_TRUE(device->PrintEJInvoices(rd_Memory, 1, kMorning, kMorning, 2, text));
  EXPECT_TRUE(device->GetEJFiles(ej_xml, "/tmp", kMorning, kMorning, files));
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(files, 3);
  EXPECT_TRUE(emu.Packets().empty());
}

// A printer in its inactive period takes nothing before its day is closed: start-up closes it.
TEST_F(DriverTest, StartUpInTheInactivePeriodTakesTheZReport) {
  emu.SetInactivePeriod(true);
  Open();
  EXPECT_TRUE(device->Init());
  // Before the day is closed, the printer's document journal is opened (its serial number
  // read) and where its numbering stands is read, so that nothing left unsettled meets the Z.
  const auto packets = emu.Packets();
  ASSERT_GE(packets.size(), 6u);
  EXPECT_EQ(Letters(packets).substr(0, 4), "?aXi");
  EXPECT_EQ(packets[4].fLetter + packets[4].fData, "x/7////");
  EXPECT_EQ(packets[5].fLetter, "\\");  // the start-up goes on at once: no totals are read
  EXPECT_FALSE(emu.Snapshot().fInactivePeriod);
}

// The printer programs its tables only with the day closed: programming closes it first with
// a Z report, programs the table after it, and says so in the result with the report's number.
TEST_F(DriverTest, TableProgrammingClosesTheDayAndSaysSo) {
  struct Case {
    const char* what;
    std::function<std::string(_int_ErrorTail&)> program;
    char programmed;
  } cases[] = {
      {"the VAT table",
       [this](_int_ErrorTail& aTail) {
         _int_SETVATTABLE_result r;
         device->Pub_SetVatTable(*Request("<VATTable><Vat><Code>2100</Code><Description>2100</Description><Rate>21"
                                              "</Rate></Vat></VATTable>",
                                              {dt_VatTable}),
                                   r);
         aTail = r;
         return r.MessageText;
       },
       'b'},
      {"the departments",
       [this](_int_ErrorTail& aTail) {
         _int_SETDEPTTABLE_result r;
         device->Pub_SetDeptTable(*Request("<DeptTable><Department><Code>3</Code><Description>BAR</Description>"
                                               "<VATCode>1000</VATCode></Department></DeptTable>",
                                               {dt_DeptTable}),
                                    r);
         aTail = r;
         return r.MessageText;
       },
       'N'},
  };
  OpenAndInit();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    emu.SetDayOpen(true);
    emu.ClearPackets();
    _int_ErrorTail tail;
    const std::string message = c.program(tail);
    EXPECT_FALSE(tail.Error) << tail.ErrorText;
    const std::string letters = Letters(emu.Packets());
    ASSERT_NE(letters.find('x'), std::string::npos) << letters;
    EXPECT_LT(letters.find('x'), letters.find(c.programmed)) << letters;
    EXPECT_FALSE(emu.Snapshot().fDayOpen);
    EXPECT_EQ(message, "The fiscal day was open: Z report " + std::to_string(emu.Snapshot().fZCounter) +
                           " was taken to close it before programming " + c.what + ".");
  }
  // With the day closed nothing is taken and nothing is said.
  emu.ClearPackets();
  _int_ErrorTail tail;
  EXPECT_EQ(cases[1].program(tail), "");
  EXPECT_EQ(Letters(emu.Packets()).find('x'), std::string::npos);
}

// A Z report that fails ends the programming with its own outcome, and nothing is programmed
// after it: refused, the printer's reason (the day stays open); carried out with its answer
// lost, the outcome is unknown, since the day may have been closed.
TEST_F(DriverTest, TableProgrammingStopsAtAZReportThatFails) {
  struct Table {
    const char* what;
    std::function<_int_ErrorTail(std::string&)> program;
    char programmed;
  } tables[] = {
      {"the VAT table",
       [this](std::string& aMessage) {
         _int_SETVATTABLE_result r;
         device->Pub_SetVatTable(*Request("<VATTable><Vat><Code>2100</Code><Description>2100</Description><Rate>21"
                                              "</Rate></Vat></VATTable>",
                                              {dt_VatTable}),
                                   r);
         aMessage = r.MessageText;
         return static_cast<_int_ErrorTail>(r);
       },
       'b'},
      {"the departments",
       [this](std::string& aMessage) {
         _int_SETDEPTTABLE_result r;
         device->Pub_SetDeptTable(*Request("<DeptTable><Department><Code>3</Code><Description>BAR</Description>"
                                               "<VATCode>1000</VATCode></Department></DeptTable>",
                                               {dt_DeptTable}),
                                    r);
         aMessage = r.MessageText;
         return static_cast<_int_ErrorTail>(r);
       },
       'N'},
  };
  struct Fault {
    const char* name;
    std::function<void()> inject;
    const char* error;  // the start of ErrorText
    bool dayClosed;
    vnJournalState row;
  } faults[] = {
      {"refused for paper end", [this] { emu.ForceReplyCode("x", 0x2C); }, "Paper end", false,
       vnJournalState::NotPrinted},
      {"carried out, its answer lost", [this] { emu.DropAnswers("x"); }, "Outcome unknown: ", true,
       vnJournalState::Unknown},
  };
  auto& d = OpenAndInit();
  for (const auto& table : tables) {
    for (const auto& fault : faults) {
      SCOPED_TRACE(std::string(table.what) + ", the Z report " + fault.name);
      emu.SetDayOpen(true);
      emu.ClearFaults();
      emu.ClearPackets();
      fault.inject();
      std::string message = "kept";
      const _int_ErrorTail tail = table.program(message);
      EXPECT_TRUE(tail.Error);
      EXPECT_EQ(tail.ErrorText.rfind(fault.error, 0), 0u) << tail.ErrorText;
      EXPECT_EQ(message, "");
      const std::string letters = Letters(emu.Packets());
      EXPECT_EQ(CountLetter(emu.Packets(), "x"), 1) << letters;
      EXPECT_EQ(letters.find(table.programmed), std::string::npos) << letters;
      EXPECT_EQ(emu.Snapshot().fDayOpen, !fault.dayClosed);
      const auto row = d.Journal()->Find(d.CurrentDocument().fId);
      ASSERT_TRUE(row);
      EXPECT_EQ(row->fState, fault.row);
    }
  }
}

}  // namespace
}  // namespace fp::test
