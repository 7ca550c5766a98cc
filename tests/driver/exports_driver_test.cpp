// The RT printer driver through the export frame, as a host calls it, against the printer
// emulator on loopback HTTP: what the host receives and what the printer printed. The driver
// is registered under a test name with its pauses and clock in the test's hands, so retries
// and time limits cost no real time.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../entry/fragment_text.h"
#include "driver_fixture.h"
#include "base/datetime.h"
#include "base/text.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "drivers/tarvolx40fpeth/journal_read.h"
#include "entry/fiscal_printers.h"
#include "entry/request_frame.h"
#include "fpemu/printer_emulator.h"

namespace fp::test {
namespace {

constexpr const char* kDriver = "VNRP_TARVOLX40FPETH_10_TIMED";

// The pauses and the clock of every device of kDriver.
struct TestTime {
  std::vector<int> pauses;
  std::function<std::chrono::steady_clock::time_point()> now;
};
TestTime gTime;

std::unique_ptr<kFiscalPrinterDevice> MakeTimedDriver(kReceiptPrinterHandler& aHandler) {
  auto device = std::make_unique<kFiscalPrinter_TARVOLX40FPETH>(aHandler);
  device->SetSleeper([](int aMs) { gTime.pauses.push_back(aMs); });
  device->SetSteadyClock([] { return gTime.now ? gTime.now() : std::chrono::steady_clock::now(); });
  return device;
}

struct Answer {
  int16_t result;
  std::string output;
  std::string error;
  std::string Get(const std::string& aName) const { return FragmentElement(output, aName); }
};

Answer Call(vnExport aExport, const std::string& aXml) {
  const kExportOutcome o = RunExport(aExport, Utf8ToUtf16(aXml));
  return {o.fResult, Utf16ToUtf8(o.fOutput), Utf16ToUtf8(o.fErrorMessage)};
}

int Count(const std::vector<std::string>& aLines, const std::string& aText) {
  int n = 0;
  for (const auto& l : aLines) n += l.find(aText) != std::string::npos;
  return n;
}

std::string XmlDate(DateTime aValue, bool aWithTime) {
  const DateTimeParts p = DecodeDateTime(aValue);
  char buf[32];
  if (aWithTime)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buf;
}

class ExportsDriverTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    kFiscalPrinterDrivers& drivers = DriverState().FiscalPrinterDrivers;
    if (drivers.Find(kDriver) == nullptr) drivers.Add(kDriver, &MakeTimedDriver);
  }
  void SetUp() override {
    fLogDir = std::filesystem::temp_directory_path() /
              ("fp_exports_driver_" + std::to_string(::getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(fLogDir);
    ::setenv("FPDRIVER_APP_DIR", fLogDir.c_str(), 1);
    gTime = TestTime{};
    emu.Start();
    const auto table = emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
  }
  void TearDown() override {
    if (fHandle > 0) Call(vnExport::CLOSE, Request(""));
    emu.Stop();
    gTime = TestTime{};
    std::error_code ec;
    std::filesystem::remove_all(fLogDir, ec);
  }

  static std::string Device(const std::string& aConnection, const std::string& aBody = "",
                            const std::string& aHandle = "") {
    return std::string("<ReceiptPrinterManager><Driver>") + kDriver + "</Driver><LogId>exp</LogId>" + aHandle +
           "<Connection><Type>HTTP</Type>" + aConnection + "</Connection>" + aBody + "</ReceiptPrinterManager>";
  }
  std::string Request(const std::string& aBody, const std::string& aParameters = "") const {
    return Device("<URL>" + emu.BaseUrl() + "</URL>", "<Parameters>" + aParameters + "</Parameters>" + aBody,
                  "<Handle>" + std::to_string(fHandle) + "</Handle>");
  }
  void Open() {
    const Answer a = Call(vnExport::OPEN, Device("<URL>" + emu.BaseUrl() + "</URL>"));
    ASSERT_EQ(a.result, 0) << a.error;
    fHandle = std::atoi(a.Get("Handle").c_str());
    ASSERT_GT(fHandle, 0);
    emu.ClearPackets();
    emu.ClearPaper();
  }
  Answer Sell(const std::string& aPrice) {
    return Call(vnExport::PRINTFR,
                Request("<Receipt><Type>Sale</Type><Lines><productsale><Description>ARTICOLO</Description>"
                        "<Quantity>1</Quantity><Department>1</Department><Price>" + aPrice + "</Price><Amount>" +
                        aPrice + "</Amount></productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type>"
                        "<Amount>" + aPrice + "</Amount></Payment></Payments></Receipt>"));
  }

  std::filesystem::path fLogDir;
  emu::PrinterEmulator emu;
  int fHandle = 0;
};

TEST_F(ExportsDriverTest, ZReportDescribesTheClosingJustTaken) {
  Open();
  const Answer sale = Sell("16.10");
  ASSERT_EQ(sale.result, 0) << sale.error;
  const Answer refund = Call(
      vnExport::PRINTFR,
      Request("<Receipt><Type>Refund</Type><Lines><productsale><Description>ARTICOLO</Description><Quantity>1"
              "</Quantity><Department>1</Department><Price>1.5</Price><Amount>1.5</Amount></productsale></Lines>"
              "<Taxes/><Payments><Payment><Type>Cash</Type><Amount>-1.5</Amount></Payment></Payments>"
              "<TotalAmount>1.5</TotalAmount><References><OriginalReceipt><ReceiptDateTime>" +
              XmlDate(emu.Journal().back().fDateTime, true) + "</ReceiptDateTime><ReceiptNumber>" +
              sale.Get("ReceiptNumber") + "</ReceiptNumber><DeviceSerialNumber>" + sale.Get("DeviceSerialNumber") +
              "</DeviceSerialNumber><EJClosingNumber>" + sale.Get("EJClosingNumber") +
              "</EJClosingNumber></OriginalReceipt></References></Receipt>"));
  ASSERT_EQ(refund.result, 0) << refund.error;
  struct Closing {
    const char* sale;  // sold before the closing ("" for the refund day above)
    const char* number;
    const char* dayTotal;
    const char* refunds;
    const char* receipts;
    const char* grandTotal;
    const char* printedSales;
  } closings[] = {
      {"", "1", "16.1", "1.5", "2", "16.1", "16,10"},
      {"5.00", "2", "5", "0", "1", "21.1", "5,00"},
  };
  for (const auto& c : closings) {
    SCOPED_TRACE(c.number);
    if (*c.sale) {
      ASSERT_EQ(Sell(c.sale).result, 0);
    }
    emu.ClearPaper();
    const Answer z = Call(vnExport::PRINTZR, Request(""));
    ASSERT_EQ(z.result, 0) << z.error;
    EXPECT_EQ(z.Get("ZReportNumber"), c.number);
    EXPECT_EQ(z.Get("DayTotalAmount"), c.dayTotal);
    EXPECT_EQ(z.Get("DayRefundsAmount"), c.refunds);
    EXPECT_EQ(z.Get("DayReceiptsNumber"), c.receipts);
    EXPECT_EQ(z.Get("GrandTotalAmount"), c.grandTotal);
    // What the printer printed says the same.
    const auto paper = emu.Paper();
    EXPECT_EQ(Count(paper, "TOTALE VENDITE"), 1);
    for (const auto& l : paper) {
      if (l.find("TOTALE VENDITE") != std::string::npos) {
        EXPECT_EQ(Trim(l.substr(l.rfind(' '))), c.printedSales);
      }
    }
    EXPECT_EQ(Count({z.Get("Text")}, "AZZERAMENTO GIORNALIERO"), 1);
  }
}

TEST_F(ExportsDriverTest, ReprintPrintsExactlyTheReceiptOfTheNamedClosing) {
  Open();
  ASSERT_EQ(Sell("2.00").result, 0);  // 0001-0001
  ASSERT_EQ(Call(vnExport::PRINTZR, Request("")).result, 0);
  const Answer second = Sell("3.00");  // 0002-0001, the day still open
  ASSERT_EQ(second.result, 0) << second.error;
  ASSERT_EQ(second.Get("EJClosingNumber"), "2");
  const DateTime now = Now();
  const std::string today = XmlDate(now, false) + "T00:00:00";
  struct Case {
    std::string dateTime;
    const char* number;
    const char* closing;
    const char* printed;  // the document printed again, or "" for none
    const char* error;
  } cases[] = {
      {XmlDate(now, true), "1", "2", "DOC.N. 0002-0001", ""},
      {XmlDate(now, true), "1", "1", "DOC.N. 0001-0001", ""},
      {today, "1", "2", "DOC.N. 0002-0001", ""},  // today's documents by number
      {today, "1", "1", "DOC.N. 0001-0001", ""},
      {XmlDate(now, true), "1", "3", "", "Document not printed: Receipt 1 of closing 3 not found in the journal"},
      {today, "7", "2", "", "Document not printed: Receipt 7 of closing 2 not found in the journal"},
      {XmlDate(now - 1, true), "1", "2", "", "Document not printed: Receipt 1 of closing 2 not found in the journal"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dateTime + " " + c.number + "/" + c.closing);
    emu.ClearPaper();
    const Answer a = Call(vnExport::REPRINTFR,
                          Request(std::string("<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>") +
                                  c.dateTime + "</ReceiptDateTime><ReceiptNumber>" + c.number +
                                  "</ReceiptNumber><EJClosingNumber>" + c.closing +
                                  "</EJClosingNumber></ReceiptReference>"));
    const auto paper = emu.Paper();
    EXPECT_EQ(a.error, c.error);
    EXPECT_EQ(a.result, *c.error ? -1 : 0);
    EXPECT_EQ(Count(paper, "COPIA"), *c.printed ? 1 : 0);
    EXPECT_EQ(Count(paper, "DOC.N."), *c.printed ? 1 : 0);
    if (*c.printed) {
      EXPECT_EQ(Count(paper, c.printed), 1);
    }
  }
  // A reference that names no single receipt is refused before anything is sent.
  struct Bad {
    const char* reference;
    const char* error;
  } bad[] = {
      {"<ReceiptNumber>1</ReceiptNumber><EJClosingNumber>2x</EJClosingNumber>",
       "Document not printed: '2x' is not a valid integer value"},
      {"<ReceiptNumber> </ReceiptNumber><EJClosingNumber>2</EJClosingNumber>", "Document not printed: No ReceiptNumber: no receipt to reprint"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.reference);
    emu.ClearPackets();
    const Answer a = Call(vnExport::REPRINTFR, Request(std::string("<ReceiptReference><ReceiptType>Sale</ReceiptType>") +
                                                       b.reference + "</ReceiptReference>"));
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.error, b.error);
    EXPECT_TRUE(emu.Packets().empty());
  }
}

TEST_F(ExportsDriverTest, VatTableChangesOnlyWhatTheRequestNamesAndClosesTheDayOnlyForIt) {
  Open();
  ASSERT_EQ(Sell("2.00").result, 0);  // the fiscal day is open
  const std::vector<emu::VatSlot> before = emu.Snapshot().fVat;
  auto setVat = [&](const std::string& aVats) {
    return Call(vnExport::SETVATTABLE, Request("<VATTable>" + aVats + "</VATTable>"));
  };
  const std::string unchanged = "<Vat><Code>2200</Code><Rate>22</Rate></Vat>";
  // One named rate, as the printer has it: nothing programmed, the day stays open, however
  // often the host asks.
  for (int call = 0; call < 3; ++call) {
    SCOPED_TRACE(call);
    emu.ClearPackets();
    const Answer a = setVat(unchanged);
    EXPECT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(CountLetter(emu.Packets(), "b"), 0);
    EXPECT_EQ(CountLetter(emu.Packets(), "x"), 0);
    EXPECT_TRUE(emu.Snapshot().fDayOpen);
  }
  EXPECT_EQ(emu.Snapshot().fZCounter, 0);

  // A new rate: the day is closed first, the rate takes the first free slot, every other slot
  // keeps what the printer had.
  emu.ClearPackets();
  const Answer added = setVat(unchanged + "<Vat><Code>0600</Code><Rate>6</Rate></Vat>");
  EXPECT_EQ(added.result, 0) << added.error;
  EXPECT_EQ(emu.Snapshot().fZCounter, 1);
  EXPECT_EQ(CountLetter(emu.Packets(), "b"), 1);
  const std::vector<emu::VatSlot> after = emu.Snapshot().fVat;
  ASSERT_EQ(after.size(), before.size());
  for (size_t slot = 0; slot < after.size(); ++slot) {
    SCOPED_TRACE(slot + 1);
    if (slot == 8) {  // slots 1 to 8 hold 22, 10, 4, 5 and N1 to N4; 9 to 12 repeat 22
      EXPECT_EQ(after[slot].fRate, Amount::FromInt(6));
    } else {
      EXPECT_EQ(after[slot].fRate, before[slot].fRate);
      if (before[slot].fRate.IsZero()) {
        EXPECT_EQ(after[slot].fNatura, before[slot].fNatura);
      }
    }
  }
  // Asked again, the same table changes nothing.
  emu.ClearPackets();
  EXPECT_EQ(setVat(unchanged + "<Vat><Code>0600</Code><Rate>6</Rate></Vat>").result, 0);
  EXPECT_EQ(CountLetter(emu.Packets(), "b"), 0);
  EXPECT_EQ(emu.Snapshot().fZCounter, 1);
}

TEST_F(ExportsDriverTest, OpenFailsWhenThePrinterCannotBeReached) {
  emu::EmulatorOptions locked;
  locked.fAuth = emu::AuthMode::Basic;
  locked.fUser = "cassa";
  locked.fPassword = "segreta";
  emu::PrinterEmulator guarded(locked);
  guarded.Start();
  emu::PrinterEmulator gone;
  gone.Start();
  const std::string goneUrl = gone.BaseUrl();
  gone.Stop();

  struct Case {
    const char* name;
    std::string connection;
    bool opens;
    const char* error = "";  // of an open that succeeds
  } cases[] = {
      {"nothing listens", "<URL>" + goneUrl + "</URL>", false},
      {"wrong password",
       "<URL>" + guarded.BaseUrl() + "</URL><AuthType>Basic</AuthType><User>cassa</User><Password>no</Password>", false},
      {"right password",
       "<URL>" + guarded.BaseUrl() + "</URL><AuthType>Basic</AuthType><User>cassa</User><Password>segreta</Password>",
       true},
      // The printer answers but refuses its VAT table: the device is open, the reason told.
      {"VAT table refused", "<URL>" + emu.BaseUrl() + "</URL>", true, "Error in SD reports"},
  };
  emu.ForceReplyCode("e", 0x42);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t devices = DriverState().FiscalPrinters.Count();
    guarded.ClearPaper();
    gTime.pauses.clear();
    const Answer a = Call(vnExport::OPEN, Device(c.connection));
    if (c.opens) {
      EXPECT_EQ(a.result, 0) << a.error;
      EXPECT_EQ(a.error, c.error);
      EXPECT_GT(std::atoi(a.Get("Handle").c_str()), 0);
      EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices + 1);
      Call(vnExport::CLOSE, Device(c.connection, "", "<Handle>" + a.Get("Handle") + "</Handle>"));
    } else {
      EXPECT_EQ(a.result, -1);
      EXPECT_EQ(a.Get("Error"), "True");
      EXPECT_NE(a.error, "");
      EXPECT_EQ(a.Get("Handle"), "0");
      EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices);  // the device was freed
      EXPECT_FALSE(gTime.pauses.empty());  // the retries waited through the test's sleeper
    }
    EXPECT_TRUE(guarded.Paper().empty());
  }
  guarded.Stop();
}

// A journal answered in pieces that never end: oversized, or slow.
TEST_F(ExportsDriverTest, JournalReadStopsAtItsSizeAndTimeLimitsWithWhatItRead) {
  Open();
  ASSERT_EQ(Sell("2.00").result, 0);  // something to select
  emu.ClearPaper();
  const std::string bigLine(1024 * 1024 - 2, 'A');
  const size_t limit = tarvol::MaxJournalBytes();
  struct Case {
    const char* name;
    std::string piece;                  // the frame of every "*" answer
    std::chrono::seconds perPiece;      // printer time each answer takes
    std::string error;
    int pieces;                         // "*" commands sent before the read stops
  } cases[] = {
      {"oversized pieces", "00/00/00/" + bigLine + "||/", std::chrono::seconds(0),
       "The journal text passed " + std::to_string(limit) + " bytes; the 8 lines read so far are returned", 9},
      {"slow pieces", "00/00/00/RIGA 1||RIGA 2||/", std::chrono::seconds(5),
       "The journal read took longer than 600 s; the 240 lines read so far are returned", 120},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.ClearPackets();
    emu.ClearFaults();
    emu.ForceFrame("*", c.piece, 100000);
    const auto start = std::chrono::steady_clock::now();
    gTime.now = [&, start] { return start + c.perPiece * CountLetter(emu.Packets(), "*"); };
    const Answer a = Call(vnExport::EJREPORT,
                          Request("<EJReport><ReportType>FiscalReceipt</ReportType><ReportDestination>Memory"
                                  "</ReportDestination><StartDate>" + XmlDate(Now(), false) +
                                  "T00:00:00</StartDate><EndDate>" + XmlDate(Now(), false) +
                                  "T23:59:59</EndDate></EJReport>"));
    gTime.now = nullptr;
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.error, c.error);
    EXPECT_EQ(CountLetter(emu.Packets(), "*"), c.pieces);
    const std::string text = a.Get("Text");
    EXPECT_NE(text, "");
    EXPECT_LE(text.size(), limit * 2);  // the lines as elements, never past the bound's order
    EXPECT_TRUE(emu.Paper().empty());
  }
  emu.ClearFaults();
}

}  // namespace
}  // namespace fp::test
