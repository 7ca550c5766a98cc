// A trading day through the library's C interface: the host rings up receipts, takes the X
// report, closes the day twice and reads the journal back by kind. The test loads libfpdriver.so; the emulator runs in this process.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/text.h"
#include "fpemu/printer_emulator.h"
#include "../receipts/abi_client.h"

namespace {

using fp::test::Answer;
using fp::test::Library;

bool Has(const std::vector<std::string>& aLines, const std::string& aText) {
  for (const auto& l : aLines)
    if (l.find(aText) != std::string::npos) return true;
  return false;
}

std::string Today() {
  const fp::DateTimeParts p = fp::DecodeDateTime(fp::Now());
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buf;
}

TEST(ReportsAbi, ATradingDayFromSalesToTheJournal) {
  const std::string dir = testing::TempDir() + "fp_reports_abi_" + std::to_string(::getpid());
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  fp::emu::PrinterEmulator emu;
  emu.Start();
  const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
  Library lib;

  Answer a = lib.Call("OPEN",
                      "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>rep</LogId>"
                      "<Connection><Type>HTTP</Type><URL>" + emu.BaseUrl() + "</URL></Connection>"
                      "</ReceiptPrinterManager>");
  ASSERT_EQ(a.result, 0) << a.error;
  const std::string handle = a.Get("Handle");
  auto request = [&](const std::string& aBody) {
    return "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + handle + "</Handle>" + aBody +
           "</ReceiptPrinterManager>";
  };
  a = lib.Call("GETSTATUS", request(""));
  ASSERT_EQ(a.result, 0) << a.error;
  const std::string serial = a.Get("SerialNumber");

  // Receipts rung up through the library, paid in cash.
  auto sell = [&](const std::vector<std::string>& aPrices, const std::string& aTotal) {
    std::string lines;
    for (const auto& price : aPrices)
      lines += "<productsale><Description>ARTICOLO</Description><Quantity>1</Quantity><Department>1</Department>"
               "<Price>" + price + "</Price><Amount>" + price + "</Amount></productsale>";
    const Answer r = lib.Call("PRINTFR", request("<Receipt><Type>Sale</Type><Lines>" + lines +
                                                 "</Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>" +
                                                 aTotal + "</Amount></Payment></Payments></Receipt>"));
    ASSERT_EQ(r.result, 0) << r.error;
  };
  sell({"12.50", "7.25"}, "19.75");
  sell({"3.00"}, "3.00");

  // The X report: printed, with the day's last document number.
  emu.ClearPackets();
  a = lib.Call("PRINTXR", request(""));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(emu.Packets().at(0).fData, "/1////");
  EXPECT_EQ(emu.Packets().at(1).fData, "/2////");
  const std::string logFile = a.Get("LogFileName");
  EXPECT_EQ(a.output, "<XReportDateTime>" + a.Get("XReportDateTime") + "</XReportDateTime>\r\n"
                      "<XReportNumber>2</XReportNumber>\r\n"
                      "<DeviceSerialNumber>" + serial + "</DeviceSerialNumber>\r\n"
                      "<ServerSerialNumber></ServerSerialNumber>\r\n"
                      "<EJNumber>0</EJNumber>\r\n"
                      "<EJClosingNumber>1</EJClosingNumber>\r\n"
                      "<Text></Text><Error>False</Error>\r\n"
                      "<ErrorText></ErrorText>\r\n"
                      "<LogFileName>" + logFile + "</LogFileName>");
  EXPECT_EQ(a.Get("XReportDateTime").substr(0, 10), Today());

  // The Z report: the day's totals come back from the report the printer wrote in its
  // journal, from its first line up to the data sent to the revenue agency.
  a = lib.Call("PRINTZR", request(""));
  ASSERT_EQ(a.result, 0) << a.error;
  const std::vector<std::string> zLines = emu.Journal().back().fLines;
  std::string text;
  bool inside = false;
  for (const auto& l : zLines) {
    if (l.find("AZZERAMENTO GIORNALIERO") != std::string::npos) inside = true;
    if (l.find("DATI IN TRASMISSIONE") != std::string::npos) inside = false;
    if (inside) text += "<Line>" + l + "</Line>";
  }
  EXPECT_EQ(a.output, "<ZReportDateTime>" + a.Get("ZReportDateTime") + "</ZReportDateTime>\r\n"
                      "<ZReportNumber>1</ZReportNumber>\r\n"
                      "<DeviceSerialNumber>" + serial + "</DeviceSerialNumber>\r\n"
                      "<ServerSerialNumber></ServerSerialNumber>\r\n"
                      "<EJNumber>0</EJNumber>\r\n"
                      "<EJClosingNumber>2</EJClosingNumber>\r\n"
                      "<GrandTotalAmount>22.75</GrandTotalAmount><GrandTotalRefundsAmount>0</GrandTotalRefundsAmount>"
                      "<GrandTotalVoidsAmount>0</GrandTotalVoidsAmount><DayTotalAmount>22.75</DayTotalAmount>"
                      "<DayDiscountsAmount>0</DayDiscountsAmount><DayReturnsAmount>0</DayReturnsAmount>"
                      "<DayRefundsAmount>0</DayRefundsAmount><DayVoidsAmount>0</DayVoidsAmount>"
                      "<DayReceiptsNumber>2</DayReceiptsNumber><DayRefundsNumber>0</DayRefundsNumber>"
                      "<Text>" + text + "</Text><Error>False</Error>\r\n"
                      "<ErrorText></ErrorText>\r\n"
                      "<LogFileName>" + logFile + "</LogFileName>");
  EXPECT_EQ(a.Get("ZReportDateTime").substr(0, 10), Today());
  EXPECT_FALSE(emu.Snapshot().fDayOpen);

  // A second closing on the same date: the result describes that closing alone, as printed,
  // although the journal's selection by date holds both.
  sell({"5.00"}, "5.00");
  emu.ClearPaper();
  a = lib.Call("PRINTZR", request(""));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("ZReportNumber"), "2");
  EXPECT_EQ(a.Get("DayTotalAmount"), "5");
  EXPECT_EQ(a.Get("DayReceiptsNumber"), "1");
  EXPECT_EQ(a.Get("GrandTotalAmount"), "27.75");
  EXPECT_TRUE(Has(emu.Paper(), "5,00"));
  int reportsInText = 0;
  for (const auto& l : a.Lines()) reportsInText += l.find("AZZERAMENTO GIORNALIERO") != std::string::npos;
  EXPECT_EQ(reportsInText, 1);
  EXPECT_TRUE(Has(a.Lines(), "N.AZZERAMENTI"));

  // The journal by kind, for today.
  auto journalRequest = [&](const std::string& aType, const std::string& aDestination) {
    return request("<EJReport><ReportType>" + aType + "</ReportType><ReportDestination>" + aDestination +
                   "</ReportDestination><StartDate>" + Today() + "T00:00:00</StartDate><EndDate>" + Today() +
                   "T23:59:59</EndDate></EJReport>");
  };
  struct Read {
    const char* type;
    const char* present;  // a line the text holds ("" for an empty text)
    const char* absent;
  } reads[] = {
      {"ZReport", "AZZERAMENTO GIORNALIERO", "DATI IN TRASMISSIONE"},
      {"FiscalReceipt", "DOCUMENTO COMMERCIALE", "AZZERAMENTO GIORNALIERO"},
      {"NonFiscalReceipt", "", ""},
      {"CreditNote", "DATI IN TRASMISSIONE", ""},
      {"Invoice", "", ""},
  };
  for (const auto& r : reads) {
    emu.ClearPackets();
    a = lib.Call("EJREPORT", journalRequest(r.type, "Memory"));
    ASSERT_EQ(a.result, 0) << r.type << ": " << a.error;
    const auto lines = a.Lines();
    if (*r.present) {
      EXPECT_TRUE(Has(lines, r.present)) << r.type;
    } else {
      EXPECT_TRUE(lines.empty()) << r.type;
    }
    if (*r.absent) {
      EXPECT_FALSE(Has(lines, r.absent)) << r.type;
    }
    if (std::string(r.type) == "Invoice") {
      EXPECT_TRUE(emu.Packets().empty());
    }
  }
  // Two closings today: both reports come back.
  a = lib.Call("EJREPORT", journalRequest("ZReport", "Printer"));
  int reports = 0;
  for (const auto& l : a.Lines()) reports += l.find("AZZERAMENTO GIORNALIERO") != std::string::npos;
  EXPECT_EQ(reports, 2);

  a = lib.Call("CLOSE", request(""));
  EXPECT_EQ(a.result, 0) << a.error;
  emu.Stop();
}

}  // namespace
