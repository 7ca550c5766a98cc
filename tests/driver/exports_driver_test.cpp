// The RT printer driver through the export frame, as a host calls it, against the printer
// emulator on loopback HTTP: what the host receives and what the printer printed. The driver
// is registered under a test name with its pauses and clock in the test's hands, so retries
// and time limits cost no real time.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "base/datetime.h"
#include "base/text.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "drivers/tarvolx40fpeth/journal_read.h"
#include "entry/fiscal_printers.h"
#include "entry/request_frame.h"
#include "fpemu/printer_emulator.h"
#include "support/frame_client.h"
#include "support/well_formed_xml.h"

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
    if (fHandle > 0) CallFrame(vnExport::CLOSE, Request(""));
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
    const Answer a = CallFrame(vnExport::OPEN, Device("<URL>" + emu.BaseUrl() + "</URL>"));
    ASSERT_EQ(a.result, 0) << a.error;
    fHandle = std::atoi(a.Get("Handle").c_str());
    ASSERT_GT(fHandle, 0);
    emu.ClearPackets();
    emu.ClearPaper();
  }
  Answer Sell(const std::string& aPrice) {
    return CallFrame(vnExport::PRINTFR,
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
  const Answer refund = CallFrame(
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
    const Answer z = CallFrame(vnExport::PRINTZR, Request(""));
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
  ASSERT_EQ(CallFrame(vnExport::PRINTZR, Request("")).result, 0);
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
    const Answer a = CallFrame(vnExport::REPRINTFR,
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
    const Answer a = CallFrame(vnExport::REPRINTFR, Request(std::string("<ReceiptReference><ReceiptType>Sale</ReceiptType>") +
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
    return CallFrame(vnExport::SETVATTABLE, Request("<VATTable>" + aVats + "</VATTable>"));
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
  EXPECT_EQ(added.Get("MessageText"),
            "The fiscal day was open: Z report 1 was taken to close it before programming the VAT table.");
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

// The totals of a Z report come from the printer's journal, found by the printer's own date
// and the closing's number, also when the answer to the closing was lost.
TEST_F(ExportsDriverTest, ZReportTotalsAreReadByThePrintersDateAndAfterALostAnswer) {
  Open();
  struct Case {
    const char* name;
    std::function<void(emu::PrinterEmulator&)> prepare;
  } cases[] = {
      {"the printer's clock three days ahead", [](emu::PrinterEmulator& e) { e.SetClock(Now() + 3); }},
      {"the printer's clock two days behind", [](emu::PrinterEmulator& e) { e.SetClock(Now() - 2); }},
      {"the answer to the closing lost", [](emu::PrinterEmulator& e) { e.DropAnswers("x"); }},
      {"HTTP 500 after the closing", [](emu::PrinterEmulator& e) { e.AnswerStatus("x", 500); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.SetClock(Now());
    ASSERT_EQ(Sell("6.40").result, 0);
    c.prepare(emu);
    emu.ClearPackets();
    const Answer z = CallFrame(vnExport::PRINTZR, Request(""));
    emu.ClearFaults();
    const int closing = emu.Snapshot().fZCounter;
    EXPECT_EQ(z.result, 0) << z.error;
    EXPECT_EQ(z.error, "");
    EXPECT_EQ(CountLetter(emu.Packets(), "x"), 1);
    EXPECT_EQ(z.Get("ZReportNumber"), std::to_string(closing));
    // The closing the documents after this report belong to.
    EXPECT_EQ(z.Get("EJClosingNumber"), std::to_string(closing + 1));
    EXPECT_EQ(z.Get("DayTotalAmount"), "6.4");
    EXPECT_EQ(z.Get("DayReceiptsNumber"), "1");
    EXPECT_NE(z.Get("Text").find("AZZERAMENTO GIORNALIERO"), std::string::npos);
  }
}

// A closing whose totals cannot be read is still a closing (the host must not take another),
// and the result says the totals are missing instead of passing zeros off as the day's.
TEST_F(ExportsDriverTest, ZReportWhoseTotalsCannotBeReadSaysSo) {
  Open();
  ASSERT_EQ(Sell("9.00").result, 0);
  emu.ForceReplyCode("*", 0x42);
  const Answer z = CallFrame(vnExport::PRINTZR, Request(""));
  EXPECT_EQ(z.result, 0);
  EXPECT_EQ(z.Get("Error"), "False");
  EXPECT_EQ(z.error,
            "The Z report 1 was taken and the day is closed, but its totals could not be read back (Error in SD "
            "reports): the totals of this result are not the day's figures");
  EXPECT_EQ(z.Get("ZReportNumber"), "1");
  EXPECT_EQ(z.Get("DayTotalAmount"), "0");
  EXPECT_EQ(z.Get("Text"), "");
  EXPECT_FALSE(emu.Snapshot().fDayOpen);
}

// A reprint prints a copy only once the journal's selection is known to hold the receipt
// asked for and nothing else: a printer that ignores the closing field, or a reference that
// names no closing, would otherwise print a copy of every closing's receipt of that number.
TEST_F(ExportsDriverTest, ReprintChecksWhatTheSelectionHoldsBeforeTheCopy) {
  Open();
  ASSERT_EQ(Sell("2.00").result, 0);  // 0001-0001
  ASSERT_EQ(CallFrame(vnExport::PRINTZR, Request("")).result, 0);
  ASSERT_EQ(Sell("3.00").result, 0);  // 0002-0001, the day still open
  const auto journal = emu.Journal();
  const auto dayOf = [](DateTime aValue) {
    const DateTimeParts p = DecodeDateTime(aValue);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", p.day, p.month, p.year);
    return std::string(buf);
  };
  const std::string both = "0001-0001 of " + dayOf(journal.front().fDateTime) + ", 0002-0001 of " +
                           dayOf(journal.back().fDateTime);
  const std::string now = "<ReceiptDateTime>" + XmlDate(Now(), true) + "</ReceiptDateTime>";
  struct Case {
    bool ignoresClosing;
    std::string reference;
    const char* printed;  // the document printed again, or "" for none
    std::string error;
  } cases[] = {
      {true, now + "<ReceiptNumber>1</ReceiptNumber><EJClosingNumber>1</EJClosingNumber>", "",
       "The journal's selection for receipt 1 of closing 1 holds 2 documents (" + both +
           "), more than the receipt asked for: nothing was printed"},
      // The open closing is selected by number among the open day's documents.
      {true, now + "<ReceiptNumber>1</ReceiptNumber><EJClosingNumber>2</EJClosingNumber>", "DOC.N. 0002-0001", ""},
      {false, now + "<ReceiptNumber>1</ReceiptNumber>", "",
       "The journal's selection for receipt 1 holds 2 documents (" + both +
           "), more than the receipt asked for: nothing was printed; EJClosingNumber names the receipt's closing"},
      // Without ReceiptDateTime: the open day's receipt, or a message that the date is needed.
      {false, "<ReceiptNumber>1</ReceiptNumber>", "DOC.N. 0002-0001", ""},
      {false, "<ReceiptNumber>1</ReceiptNumber><EJClosingNumber>2</EJClosingNumber>", "DOC.N. 0002-0001", ""},
      {false, "<ReceiptNumber>1</ReceiptNumber><EJClosingNumber>1</EJClosingNumber>", "",
       "ReceiptDateTime is needed to reprint receipt 1 of closing 1: the printer finds the receipts of a closing "
       "that is not the open one by their date"},
      {false, "<ReceiptNumber>5</ReceiptNumber>", "",
       "Receipt 5 not found among the open day's documents; its ReceiptDateTime is needed to reprint a receipt of "
       "an earlier day"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reference + (c.ignoresClosing ? " (closing ignored)" : ""));
    emu.SetIgnoreJournalClosing(c.ignoresClosing);
    emu.ClearPaper();
    const Answer a = CallFrame(vnExport::REPRINTFR, Request("<ReceiptReference><ReceiptType>Sale</ReceiptType>" +
                                                       c.reference + "</ReceiptReference>"));
    EXPECT_EQ(a.error, c.error.empty() ? c.error : "Document not printed: " + c.error);
    EXPECT_EQ(a.result, c.error.empty() ? 0 : -1);
    const auto paper = emu.Paper();
    EXPECT_EQ(Count(paper, "COPIA"), *c.printed ? 1 : 0);
    EXPECT_EQ(Count(paper, "DOC.N."), *c.printed ? 1 : 0);
    if (*c.printed) {
      EXPECT_EQ(Count(paper, c.printed), 1);
    }
  }
  emu.SetIgnoreJournalClosing(false);
}

// The printer has no returned-item line: a return inside a receipt would print nothing and
// leave the customer paying for the item. It is refused before anything is sent.
TEST_F(ExportsDriverTest, ProductReturnInsideAReceiptIsRefusedUnsent) {
  Open();
  for (const char* type : {"Sale", "Refund"}) {
    SCOPED_TRACE(type);
    emu.ClearPackets();
    const Answer a = CallFrame(
        vnExport::PRINTFR,
        Request(std::string("<Receipt><Type>") + type +
                "</Type><Lines><productsale><Description>LATTE</Description><Quantity>1</Quantity><Department>1"
                "</Department><Price>3</Price><Amount>3</Amount></productsale><productreturn><Description>UOVA"
                "</Description><Quantity>1</Quantity><Department>1</Department><Price>2</Price><Amount>2</Amount>"
                "</productreturn></Lines><Taxes/><Payments/><References><OriginalReceipt><ReceiptDateTime>" +
                XmlDate(Now(), true) + "</ReceiptDateTime><ReceiptNumber>1</ReceiptNumber></OriginalReceipt>"
                "</References></Receipt>"));
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.error,
              "Receipt not printed: This printer takes returns as a Refund receipt: a productreturn line cannot be printed in a receipt; "
              "send the returned items as the productsale lines of a Refund receipt");
    EXPECT_TRUE(emu.Packets().empty());
  }
}

// A non-fiscal document prints its header, body and footer in order, each line where its
// alignment puts it, and names in MessageText what the printer has no command for.
TEST_F(ExportsDriverTest, NonFiscalDocumentKeepsItsLayoutAndNamesWhatItLeftOut) {
  Open();
  const Answer a = CallFrame(
      vnExport::PRINTNFR,
      Request("<NFReceipt><Header><Lines><Text><Value>BUONO SCONTO</Value><Alignment>center</Alignment>"
              "<Effects>bold,doubleheight</Effects></Text></Lines></Header><Lines><Text><Value>5 euro sulla "
              "prossima spesa</Value><Alignment>center</Alignment></Text><Text><Value>a sinistra</Value>"
              "<Alignment>left</Alignment></Text><Barcode><Value>PROMO-2026</Value><Type>code128</Type></Barcode>"
              "<Barcode><Value>https://example.com/p/2026</Value><Type>qrcode</Type></Barcode><Image><Value>"
              "logo.bmp</Value><Alignment>center</Alignment></Image></Lines><Footer><Lines><Text><Value>Valido "
              "fino al 31/12</Value><Alignment>right</Alignment></Text></Lines></Footer></NFReceipt>"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("MessageText"),
            "Not printed, as this printer has no command for them: the effect doubleheight of the line &quot;BUONO "
            "SCONTO&quot;; the qrcode barcode &quot;https://example.com/p/2026&quot;; the image &quot;logo.bmp&quot;.");
  const auto paper = emu.Paper();
  const auto at = [&](const std::string& aText) {
    for (size_t i = 0; i < paper.size(); ++i)
      if (Trim(paper[i]) == aText) return i;
    ADD_FAILURE() << "not printed: " << aText;
    return paper.size();
  };
  const size_t header = at("BUONO SCONTO"), body = at("5 euro sulla prossima spesa"), left = at("a sinistra"),
               footer = at("Valido fino al 31-12");
  EXPECT_LT(header, body);
  EXPECT_LT(body, left);
  EXPECT_LT(left, footer);
  EXPECT_EQ(paper[header], std::string(18, ' ') + "BUONO SCONTO");
  EXPECT_EQ(paper[body], std::string(10, ' ') + "5 euro sulla prossima spesa");
  EXPECT_EQ(paper[left], "a sinistra");
  EXPECT_EQ(paper[footer], std::string(28, ' ') + "Valido fino al 31-12");
  EXPECT_EQ(Count(paper, "PROMO-2026"), 1);
}

// A receipt's trailer follows the same rules: its lines keep their alignment, and what the
// printer cannot print is named in MessageText rather than dropped unsaid.
TEST_F(ExportsDriverTest, ReceiptTrailerKeepsItsAlignmentAndNamesWhatItLeftOut) {
  Open();
  const Answer a = CallFrame(
      vnExport::PRINTFR,
      Request("<Receipt><Type>Sale</Type><Lines><productsale><Description>ARTICOLO</Description><Quantity>1"
              "</Quantity><Department>1</Department><Price>4</Price><Amount>4</Amount></productsale></Lines><Taxes/>"
              "<Payments/><TrailerMessages><Text><Value>Grazie</Value><Alignment>center</Alignment></Text><Barcode>"
              "<Value>https://example.com/r/1</Value><Type>qrcode</Type></Barcode></TrailerMessages></Receipt>"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("MessageText"),
            "Not printed, as this printer has no command for them: the qrcode barcode "
            "&quot;https://example.com/r/1&quot;.");
  const auto paper = emu.Paper();
  EXPECT_EQ(std::count(paper.begin(), paper.end(), std::string(21, ' ') + "Grazie"), 1);
}

// A line of a non-fiscal document that the printer refuses does not stop the document: the
// rest and the closing print, and the refused line is named in MessageText with the printer's
// reason, wherever it stood (the last line included, which the closing follows).
TEST_F(ExportsDriverTest, NonFiscalDocumentNamesTheLinesThePrinterRefused) {
  Open();
  struct Case {
    int skip;  // "7" commands before the refused one: the opening, then the lines
    const char* refused;
  } cases[] = {{2, "SECONDA"}, {3, "TERZA"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refused);
    emu.ClearPaper();
    emu.ForceReplyCode("7", 0x0F, 1, c.skip);
    const Answer a = CallFrame(vnExport::PRINTNFR,
                               Request("<NFReceipt><Lines><Text><Value>PRIMA</Value><Alignment>left</Alignment>"
                                       "</Text><Text><Value>SECONDA</Value><Alignment>left</Alignment></Text><Text>"
                                       "<Value>TERZA</Value><Alignment>left</Alignment></Text></Lines></NFReceipt>"));
    ASSERT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(a.Get("MessageText"), std::string("Not printed, as the printer refused them: the line &quot;") +
                                        c.refused + "&quot; (" + tarvol::GetReplyCodeMessage(0x0F) + ").");
    const auto paper = emu.Paper();
    for (const char* line : {"PRIMA", "SECONDA", "TERZA"})
      EXPECT_EQ(Count(paper, line), std::string(line) == c.refused ? 0 : 1) << line;
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
  }
}

// A printer that refuses to open the document (paper end) prints nothing of it: the refusal
// is the result, and no line or closing goes out behind it.
TEST_F(ExportsDriverTest, NonFiscalDocumentStopsAtARefusedOpening) {
  Open();
  emu.SetPaperEnd(true);
  const Answer a = CallFrame(vnExport::PRINTNFR,
                        Request("<NFReceipt><Lines><Text><Value>RIGA</Value><Alignment>left</Alignment></Text>"
                                "</Lines></NFReceipt>"));
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error, std::string("Document not printed: ") + tarvol::GetReplyCodeMessage(0x2C));
  EXPECT_EQ(Letters(emu.Packets()), "7");
  emu.SetPaperEnd(false);
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
    const Answer a = CallFrame(vnExport::OPEN, Device(c.connection));
    if (c.opens) {
      EXPECT_EQ(a.result, 0) << a.error;
      EXPECT_EQ(a.error, c.error);
      EXPECT_GT(std::atoi(a.Get("Handle").c_str()), 0);
      EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices + 1);
      CallFrame(vnExport::CLOSE, Device(c.connection, "", "<Handle>" + a.Get("Handle") + "</Handle>"));
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

// OPEN with an answer no printer gives: a status answer that cannot be read fails the open
// (no handle, the device freed) with the reason; the driver's own start-up read garbled
// leaves the device open with the reason told, and the status still read.
TEST_F(ExportsDriverTest, OpenTellsAGarbledAnswerForWhatItIs) {
  struct Case {
    const char* letter;
    bool opens;
  } cases[] = {{"a", false}, {"?", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.letter);
    const size_t devices = DriverState().FiscalPrinters.Count();
    emu.ForceFrame(c.letter, "<html><body>busy</body></html>", 100);
    emu.ClearPackets();
    const Answer a = CallFrame(vnExport::OPEN, Device("<URL>" + emu.BaseUrl() + "</URL>"));
    emu.ClearFaults();
    EXPECT_EQ(a.error.rfind("Invalid reply frame from the printer", 0), 0u) << a.error;
    if (c.opens) {
      EXPECT_EQ(a.result, 0);
      EXPECT_EQ(a.Get("Error"), "False");
      EXPECT_NE(Letters(emu.Packets()).find('a'), std::string::npos);  // the status was still read
      CallFrame(vnExport::CLOSE, Device("<URL>" + emu.BaseUrl() + "</URL>", "", "<Handle>" + a.Get("Handle") + "</Handle>"));
    } else {
      EXPECT_EQ(a.result, -1);
      EXPECT_EQ(a.Get("Error"), "True");
      EXPECT_EQ(a.Get("Handle"), "0");
      EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices);
    }
  }
}

// A journal answered in pieces that never end: oversized, or slow.
TEST_F(ExportsDriverTest, JournalReadStopsAtItsSizeAndTimeLimitsWithWhatItRead) {
  Open();
  ASSERT_EQ(Sell("2.00").result, 0);  // something to select
  emu.ClearPaper();
  const std::string bigLine(1024 * 1024 - 2, 'A');
  std::string emptyLines;
  for (int i = 0; i < 100000; ++i) emptyLines += "||";
  const size_t limit = tarvol::MaxJournalBytes();
  struct Case {
    const char* name;
    std::string piece;                  // the frame of every "*" answer
    std::chrono::seconds perPiece;      // printer time each answer takes
    std::string error;
    int pieces;                         // "*" commands sent before the read stops
  } cases[] = {
      {"oversized pieces", "00/00/00/" + bigLine + "||/", std::chrono::seconds(0),
       "The journal text would pass the " + std::to_string(limit) +
           " bytes a result may take; the 7 lines read so far are returned",
       8},
      // Empty lines count with the markup each takes in the result; the last one kept ends
      // the text and shows no line of its own.
      {"empty lines", "00/00/00/" + emptyLines + "/", std::chrono::seconds(0),
       "The journal text would pass the " + std::to_string(limit) + " bytes a result may take; the " +
           std::to_string(limit / 15 - 1) + " lines read so far are returned",
       static_cast<int>(limit / 15 / 100000) + 1},
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
    const Answer a = CallFrame(vnExport::EJREPORT,
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
    EXPECT_LE(text.size(), limit);  // the lines as elements, within the bound
    // The error counts the lines the result holds.
    size_t lines = 0;
    for (size_t at = a.output.find("<Line>"); at != std::string::npos; at = a.output.find("<Line>", at + 1)) ++lines;
    EXPECT_NE(a.error.find("the " + std::to_string(lines) + " lines"), std::string::npos) << lines;
    EXPECT_TRUE(emu.Paper().empty());
  }
  emu.ClearFaults();
}

// A printer whose answers hold what neither XML nor the log may: the result stays a
// well-formed document and every line of the device log is one entry with its own stamp.
TEST_F(ExportsDriverTest, HostileAnswersNeitherBreakTheResultNorForgeLogLines) {
  Open();
  // The driver shows the serial's last six characters.
  emu.SetSerialNumber("\x01\r\n2026-01-01 00:00:00:000 - ERROR - forged<&>\xEF\xBF\xBF\xEF\xB7\x90\xFF");
  const Answer a = CallFrame(vnExport::GETSTATUS, Request(""));
  EXPECT_EQ(a.Get("SerialNumber"), "4ZRPV&lt;&amp;&gt;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(test::FragmentProblem(a.output), "") << a.output;
  std::ifstream log(a.Get("LogFileName"), std::ios::binary);
  ASSERT_TRUE(log.good()) << a.Get("LogFileName");
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  const std::regex entry(R"(\d{4}-\d{2}-\d{2} \d{2}.\d{2}.\d{2}.\d{3} - .*)");
  int lines = 0;
  bool forged = false;
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(line, entry)) << line;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    forged = forged || line.find("\\r\\n2026-01-01 00:00:00:000 - ERROR - forged") != std::string::npos;
    ++lines;
  }
  EXPECT_GT(lines, 0);
  EXPECT_TRUE(forged);  // the answer is there, escaped inside its entry
}

}  // namespace
}  // namespace fp::test
