// The report and journal operations of the device object, over a recording driver: the
// device, RT-server and processor roads of the X and Z reports, the RT report text, and the
// journal exports.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../device/fake_driver.h"
#include "base/datetime.h"
#include "base/errors.h"
#include "device/fiscal_processor_caller.h"
#include "documents/ej_files_request.h"
#include "documents/ej_report.h"
#include "documents/nf_receipt.h"
#include "documents/x_report.h"
#include "documents/z_report.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "rtserver/rt_server_client.h"
#include "support/device_test_access.h"

namespace fp::test {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

Amount A(const char* aText) { return *Amount::Parse(aText); }
DateTime At(int y, int mo, int d, int h, int mi, int s = 0) { return *EncodeDateTime(y, mo, d, h, mi, s, 0); }

// The recording driver, plus what the report hooks hand back and what reaches the printer.
class ReportDriver : public FakeDriver {
 public:
  using FakeDriver::FakeDriver;

  struct PrintedLine {
    std::string text;
    vnReceiptMessageLineAlignment alignment;
    vnReceiptMessageLineEffectSet effects;
  };
  std::vector<PrintedLine> fPrinted;
  std::vector<std::pair<std::string, int32_t>> fHeaders;  // header lines of the opened document
  std::string fLayout;

  // What GetLastDocumentInfo answers.
  DateTime fDocDateTime = 0;
  std::string fDocNumber;
  // What PrintZReport leaves in the counters.
  vnFiscalCounters fAfterZ;
  // The arguments the journal hooks received.
  std::string fJournalCall;

  std::string fPrinterFault;  // when set, opening a document throws it
  bool BeginNonFiscalReceipt(kNFReceipt& aDocument) override {
    if (!fPrinterFault.empty()) throw kException(fPrinterFault);
    fLayout = aDocument.fLayout;
    for (const auto& line : aDocument.fHeaderLines) {
      auto* text = dynamic_cast<kReceiptMessageTextLine*>(line.get());
      fHeaders.emplace_back(text ? text->fValue : "?", text ? text->fSize : -1);
    }
    return FakeDriver::BeginNonFiscalReceipt(aDocument);
  }
  bool PrintNonFiscalTextLine(kReceipt* aReceipt, kReceiptMessageTextLine& aLine) override {
    fPrinted.push_back({aLine.fValue, aLine.fAlignment, aLine.fEffects});
    // A driver may keep the line itself and print it only when the document ends.
    if (fHoldLines) fHeld.push_back(&aLine);
    return FakeDriver::PrintNonFiscalTextLine(aReceipt, aLine);
  }
  bool EndNonFiscalReceipt(kNFReceipt& aDocument) override {
    for (const auto* line : fHeld) fPrintedAtEnd.push_back(line->GetValue());
    fHeld.clear();
    return FakeDriver::EndNonFiscalReceipt(aDocument);
  }
  bool fHoldLines = false;
  std::vector<const kReceiptMessageTextLine*> fHeld;
  std::vector<std::string> fPrintedAtEnd;
  bool PrintZReport(kZReport* aReport) override {
    fCounters = fAfterZ;
    return FakeDriver::PrintZReport(aReport);
  }
  bool GetLastDocumentInfo(DateTime& aDateTime, std::string& aNumber, std::string& aEJNumber,
                           std::string& aEJClosingNumber, std::string& aSerial) override {
    aDateTime = fDocDateTime;
    aNumber = fDocNumber;
    aEJNumber = "EJ1";
    aEJClosingNumber = "EJC1";
    aSerial = "SER1";
    return FakeDriver::GetLastDocumentInfo(aDateTime, aNumber, aEJNumber, aEJClosingNumber, aSerial);
  }
  bool GetRemainingFiscalMemory(int32_t& aRemaining) override {
    aRemaining = 1234;
    return FakeDriver::GetRemainingFiscalMemory(aRemaining);
  }
  bool PrintEJZReports(vnEJReportDestination aDest, DateTime aStart, DateTime aEnd, std::string& aText) override {
    fJournalCall = "Z " + std::to_string(aDest) + " " + std::to_string(aStart) + "-" + std::to_string(aEnd);
    aText = "z text";
    return FakeDriver::PrintEJZReports(aDest, aStart, aEnd, aText);
  }
  bool PrintEJFiscalReceipts(vnEJReportDestination aDest, int32_t aFrom, DateTime aStart, DateTime aEnd, int32_t aTo,
                             std::string& aText) override {
    Record("F", aDest, aFrom, aStart, aEnd, aTo, aText);
    return FakeDriver::PrintEJFiscalReceipts(aDest, aFrom, aStart, aEnd, aTo, aText);
  }
  bool PrintEJNonFiscalReceipts(vnEJReportDestination aDest, int32_t aFrom, DateTime aStart, DateTime aEnd,
                                int32_t aTo, std::string& aText) override {
    Record("N", aDest, aFrom, aStart, aEnd, aTo, aText);
    return FakeDriver::PrintEJNonFiscalReceipts(aDest, aFrom, aStart, aEnd, aTo, aText);
  }
  bool PrintEJCreditNotes(vnEJReportDestination aDest, int32_t aFrom, DateTime aStart, DateTime aEnd, int32_t aTo,
                          std::string& aText) override {
    Record("C", aDest, aFrom, aStart, aEnd, aTo, aText);
    return FakeDriver::PrintEJCreditNotes(aDest, aFrom, aStart, aEnd, aTo, aText);
  }
  bool PrintEJInvoices(vnEJReportDestination aDest, int32_t aFrom, DateTime aStart, DateTime aEnd, int32_t aTo,
                       std::string& aText) override {
    Record("I", aDest, aFrom, aStart, aEnd, aTo, aText);
    return FakeDriver::PrintEJInvoices(aDest, aFrom, aStart, aEnd, aTo, aText);
  }
  int32_t fFilesToReport = -1;  // -1: the hook leaves the count alone
  bool GetEJFiles(vnEJFilesRequestType aType, const std::string& aDir, DateTime aStart, DateTime aEnd,
                  int32_t& aCount) override {
    if (fFilesToReport >= 0) aCount = fFilesToReport;
    return FakeDriver::GetEJFiles(aType, aDir, aStart, aEnd, aCount);
  }

 private:
  void Record(const char* aKind, vnEJReportDestination aDest, int32_t aFrom, DateTime aStart, DateTime aEnd,
              int32_t aTo, std::string& aText) {
    fJournalCall = std::string(aKind) + " " + std::to_string(aDest) + " " + std::to_string(aFrom) + ".." +
                   std::to_string(aTo) + " " + std::to_string(aStart) + "-" + std::to_string(aEnd);
    aText = std::string(aKind) + " text";
  }
};

// An RT server that accepts or refuses the reports and answers with fixed till data.
class FakeRTServer : public kRTServerClient {
 public:
  FakeRTServer() : kRTServerClient(FP_TEST_RTSERVER, "TILL7", false) {
    kRTServerTillReportInfo& i = *fTillReportInfo;
    i.fTillSerialNumber = "TILL7";
    i.fServerSerialNumber = "SRV1";
    i.fnRecNumber = 33;
    i.fzRepNumber = 12;
    i.fzRepDateTime = At(2026, 12, 9, 18, 30);
    i.fDailyAmount = A("1234.5");
    i.fSalesAmount = A("1300");
    i.fRefundsAmount = A("40.5");
    i.fVoidsAmount = A("25");
  }
  bool OpenTill(const std::string&, int32_t, const std::string&, const std::string&, const std::string&) override {
    ++fOpenTills;
    fTillOpened = true;
    return true;
  }
  bool XReport() override { return fAccept; }
  bool CloseTill() override { return fAccept; }

  bool fAccept = true;
  int fOpenTills = 0;
};

// A processor that takes the X and Z reports over with fixed counters, or refuses them.
class FakeProcessor : public kFiscalProcessorCaller {
 public:
  FakeProcessor() { fActive = true; }
  bool ProcessXReport(const std::string&, vnFiscalCounters& aCounters) override { return Answer(aCounters); }
  bool ProcessZReport(const std::string&, vnFiscalCounters& aCounters) override { return Answer(aCounters); }

  bool fAccept = true;

 private:
  bool Answer(vnFiscalCounters& aCounters) {
    if (!fAccept) {
      fErrorMessage = "processor says no";
      return false;
    }
    aCounters.ZReportNumber = 77;
    aCounters.ZReportDateTime = At(2026, 12, 9, 20, 0);
    aCounters.DayTotalAmount = A("10");
    aCounters.DayReturnsAmount = A("3");
    aCounters.DayRefundsNumber = 2;
    aCounters.Text = "Z PROCESSOR\r\nline two";
    return true;
  }
};

class ReportOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = fs::temp_directory_path() / ("fpreports_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.string().c_str(), 1);
    SetUserDecimalSeparatorForTesting(",");
    device = std::make_unique<ReportDriver>(fHandler, (fDir / "log").string());
    kDeviceTestAccess::SerialNumber(*device) = "SER1";  // as OPEN's status read leaves it
    device->SetClock([] { return At(2026, 12, 9, 18, 31, 5); });
  }
  void TearDown() override {
    device.reset();
    SetUserDecimalSeparatorForTesting(".");
    fs::remove_all(fDir);
  }

  FakeRTServer& UseRTServer() {
    auto server = std::make_unique<FakeRTServer>();
    FakeRTServer& ref = *server;
    kDeviceTestAccess::RTServer(*device) = std::move(server);
    kDeviceTestAccess::RTServerActive(*device) = true;
    kDeviceTestAccess::RTServerReceiptInfo(*device).fHeaders = {"NEGOZIO", "Via Roma 1"};
    return ref;
  }
  FakeProcessor& UseProcessor() {
    auto processor = std::make_unique<FakeProcessor>();
    FakeProcessor& ref = *processor;
    kDeviceTestAccess::Processor(*device) = std::move(processor);
    return ref;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& l : device->fPrinted) out.push_back(l.text);
    return out;
  }

  fs::path fDir;
  kReceiptPrinterHandler fHandler;
  std::unique_ptr<ReportDriver> device;
};

std::string AmountLine(const std::string& aLabel, const std::string& aAmount) {
  return aLabel + std::string(48 - aLabel.size() - aAmount.size(), ' ') + aAmount;
}

// ---- Device road ------------------------------------------------------------------------

TEST_F(ReportOperationsTest, ZReportOnTheDeviceCopiesTheCountersTheDriverLeft) {
  device->fAfterZ.GrandTotalAmount = A("5000");
  device->fAfterZ.DayTotalAmount = A("150.25");
  device->fAfterZ.DayDiscountsAmount = A("1.5");
  device->fAfterZ.DayReturnsAmount = A("0.5");
  device->fAfterZ.DayRefundsAmount = A("2");
  device->fAfterZ.DayVoidsAmount = A("3");
  device->fAfterZ.DayReceiptsNumber = 5;
  device->fAfterZ.DayRefundsNumber = 1;
  device->fAfterZ.ZReportNumber = 42;
  device->fAfterZ.ZReportDateTime = At(2026, 12, 9, 18, 0);
  device->fAfterZ.Text = "\r\nfirst";
  device->fDocNumber = "43";
  device->fDocDateTime = At(2026, 12, 9, 18, 1);

  _int_PRINTZR_result r;
  device->Pub_PrintZReport(fHandler, r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(device->fCalls, (Calls{"SkipStatusCheck", "CheckStatus", "PrintZReport", "GetLastDocumentInfo",
                                   "GetRemainingFiscalMemory"}));
  EXPECT_EQ(r.ZReportNumber, "43");
  EXPECT_EQ(r.ZReportDateTime, At(2026, 12, 9, 18, 1));
  EXPECT_EQ(r.EJNumber, "EJ1");
  EXPECT_EQ(r.EJClosingNumber, "EJC1");
  EXPECT_EQ(r.DeviceSerialNumber, "SER1");
  EXPECT_EQ(r.RemainingFiscalMemory, 1234);
  EXPECT_EQ(r.GrandTotalAmount, A("5000"));
  EXPECT_EQ(r.DayTotalAmount, A("150.25"));
  EXPECT_EQ(r.DayDiscountsAmount, A("1.5"));
  EXPECT_EQ(r.DayReturnsAmount, A("0.5"));
  EXPECT_EQ(r.DayRefundsAmount, A("2"));
  EXPECT_EQ(r.DayVoidsAmount, A("3"));
  EXPECT_EQ(r.DayReceiptsNumber, 5);
  EXPECT_EQ(r.DayRefundsNumber, 1);
  EXPECT_EQ(r.Text, "\r\nfirst");
}

TEST_F(ReportOperationsTest, ZReportNumberAndDateFallBackOnTheCounters) {
  struct Case {
    std::string driverNumber;
    DateTime driverDate;
    std::string number;
    DateTime date;
  } cases[] = {
      {"", 0, "42", At(2026, 12, 9, 18, 0)},
      {"0", 0, "42", At(2026, 12, 9, 18, 0)},
      {"7", At(2026, 1, 2, 3, 4), "7", At(2026, 1, 2, 3, 4)},
      {"0", At(2026, 1, 2, 3, 4), "42", At(2026, 1, 2, 3, 4)},
  };
  for (const auto& c : cases) {
    device->fAfterZ.ZReportNumber = 42;
    device->fAfterZ.ZReportDateTime = At(2026, 12, 9, 18, 0);
    device->fDocNumber = c.driverNumber;
    device->fDocDateTime = c.driverDate;
    _int_PRINTZR_result r;
    device->Pub_PrintZReport(fHandler, r);
    EXPECT_EQ(r.ZReportNumber, c.number) << "driver number '" << c.driverNumber << "'";
    EXPECT_EQ(r.ZReportDateTime, c.date) << "driver number '" << c.driverNumber << "'";
  }
}

TEST_F(ReportOperationsTest, FailedReportOnTheDeviceReportsTheTransportError) {
  device->fBehaviour["PrintZReport"] = {false, true};
  device->fBehaviour["PrintXReport"] = {false, true};
  device->fAfterZ.DayTotalAmount = A("99");

  _int_PRINTZR_result z;
  device->Pub_PrintZReport(fHandler, z);
  EXPECT_TRUE(z.Error);
  EXPECT_EQ(z.ErrorText, "Report not taken: PrintZReport failed");
  EXPECT_EQ(z.ZReportNumber, "");
  EXPECT_EQ(z.ZReportDateTime, 0);
  EXPECT_EQ(z.DayTotalAmount, Amount());  // half-read counters never reach the host

  device->fCalls.clear();
  device->ResetError();
  _int_PRINTXR_result x;
  device->Pub_PrintXReport(fHandler, x);
  EXPECT_TRUE(x.Error);
  EXPECT_EQ(x.ErrorText, "PrintXReport failed");
  EXPECT_EQ(device->fCalls, (Calls{"SkipStatusCheck", "CheckStatus", "PrintXReport"}));
}

TEST_F(ReportOperationsTest, XReportOnTheDeviceTakesTheLastDocumentInfo) {
  device->fDocNumber = "5";
  device->fDocDateTime = At(2026, 12, 9, 12, 0);
  _int_PRINTXR_result r;
  device->Pub_PrintXReport(fHandler, r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(device->fCalls, (Calls{"SkipStatusCheck", "CheckStatus", "PrintXReport", "GetLastDocumentInfo"}));
  EXPECT_EQ(r.XReportNumber, "5");
  EXPECT_EQ(r.XReportDateTime, At(2026, 12, 9, 12, 0));
  EXPECT_EQ(r.DeviceSerialNumber, "SER1");
  EXPECT_EQ(r.Text, "");
}

TEST_F(ReportOperationsTest, DeviceThatIsNotReadySkipsTheReport) {
  device->fBehaviour["CheckStatus"] = {false, true};
  _int_PRINTZR_result r;
  device->Pub_PrintZReport(fHandler, r);
  EXPECT_EQ(device->fCalls, (Calls{"SkipStatusCheck", "CheckStatus"}));
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "Report not taken: CheckStatus failed");
}

// ---- RT-server road ---------------------------------------------------------------------

TEST_F(ReportOperationsTest, RTServerZReportComposesAndPrintsTheReportText) {
  FakeRTServer& server = UseRTServer();
  device->fHoldLines = true;
  fHandler.fZReport->fPrint = true;
  _int_PRINTZR_result r;
  device->Pub_PrintZReport(fHandler, r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(server.fOpenTills, 1);

  const std::vector<std::string> expected = {
      "Z-REPORT",
      "",
      "Data Chiusura:    09-12-2026 18:30",
      "Numero Chiusura:  12",
      "",
      "Server:           SRV1",
      "Cassa:            TILL7",
      "",
      "Documenti Emessi: 33",
      "",
      "EURO",
      AmountLine("Totale Giorno", "1234,50"),
      "",
      AmountLine("Totale Vendite", "1300,00"),
      AmountLine("Totale Resi", "40,50"),
      AmountLine("Totale Annulli", "25,00"),
      "",
      "09-12-2026 18:31:05",
      "",
  };
  EXPECT_EQ(Texts(), expected);
  // The lines are still there when the document ends.
  EXPECT_EQ(device->fPrintedAtEnd, expected);
  std::string text;
  for (const auto& l : expected) text += "\r\n" + l;
  EXPECT_EQ(r.Text, text);
  EXPECT_EQ(device->Counters().Text, text);

  EXPECT_EQ(device->fPrinted.front().alignment, la_center);
  EXPECT_EQ(device->fPrinted.front().effects, EffectBit(le_bold));
  EXPECT_EQ(device->fPrinted[10].alignment, la_right);     // EURO
  EXPECT_EQ(device->fPrinted[17].alignment, la_center);    // the print time
  EXPECT_EQ(device->fPrinted[3].alignment, la_left);
  EXPECT_EQ(device->fLayout, "DocumentLayout");
  EXPECT_EQ(device->fHeaders, (std::vector<std::pair<std::string, int32_t>>{
                                  {"NEGOZIO", 2}, {"Via Roma 1", 1}, {"", 1}}));
  EXPECT_EQ(device->fCalls.front(), "BeginNonFiscalReceipt");
  EXPECT_EQ(device->fCalls.back(), "EndNonFiscalReceipt");

  EXPECT_EQ(r.ZReportNumber, "12");
  EXPECT_EQ(r.ZReportDateTime, At(2026, 12, 9, 18, 30));
  EXPECT_EQ(r.EJNumber, "0");
  EXPECT_EQ(r.EJClosingNumber, "12");
  EXPECT_EQ(r.DeviceSerialNumber, "TILL7");
  EXPECT_EQ(r.ServerSerialNumber, "SRV1");
  EXPECT_EQ(r.DayTotalAmount, A("1234.5"));
  EXPECT_EQ(r.DayRefundsAmount, A("40.5"));
  EXPECT_EQ(r.DayVoidsAmount, A("25"));
  EXPECT_EQ(r.DayReceiptsNumber, 33);
  EXPECT_EQ(r.GrandTotalAmount, Amount());
  EXPECT_EQ(r.DayDiscountsAmount, Amount());
  EXPECT_EQ(r.DayReturnsAmount, Amount());
  EXPECT_EQ(r.DayRefundsNumber, 0);
  EXPECT_EQ(kDeviceTestAccess::RTServerTillReportInfo(*device).fzRepNumber, 12);
}

TEST_F(ReportOperationsTest, RTServerXReportWithoutPrintingLeavesTheDocumentOpen) {
  UseRTServer();
  fHandler.fXReport->fPrint = false;
  _int_PRINTXR_result r;
  device->Pub_PrintXReport(fHandler, r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  // The X report has no closing date and number.
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 16u);
  EXPECT_EQ(texts[0], "X-REPORT");
  EXPECT_EQ(texts[1], "");
  EXPECT_EQ(texts[2], "Server:           SRV1");
  EXPECT_EQ(device->fCalls.front(), "BeginNonFiscalReceipt");
  EXPECT_EQ(device->fCalls.back(), "PrintNonFiscalTextLine");
  EXPECT_EQ(r.Text.substr(0, 10), "\r\nX-REPORT");

  EXPECT_EQ(r.XReportNumber, "1");
  EXPECT_EQ(r.XReportDateTime, At(2026, 12, 9, 18, 31, 5));
  EXPECT_EQ(r.EJNumber, "0");
  EXPECT_EQ(r.EJClosingNumber, "12");
  EXPECT_EQ(r.DeviceSerialNumber, "TILL7");
  EXPECT_EQ(r.ServerSerialNumber, "SRV1");
}

// The server has closed the till or taken the reading: a printer that then cannot print the
// report text leaves its message in ErrorText, never a failure the host would repeat.
TEST_F(ReportOperationsTest, RTServerReportStaysDoneWhenThePrinterCannotPrintIt) {
  UseRTServer();
  device->fPrinterFault = "Invalid reply frame from the printer: 'x'";
  _int_PRINTZR_result z;
  device->Pub_PrintZReport(fHandler, z);
  EXPECT_FALSE(z.Error);
  EXPECT_EQ(z.ErrorText, device->fPrinterFault);
  EXPECT_EQ(z.ZReportNumber, "12");
  _int_PRINTXR_result x;
  device->Pub_PrintXReport(fHandler, x);
  EXPECT_FALSE(x.Error);
  EXPECT_EQ(x.ErrorText, device->fPrinterFault);
  EXPECT_EQ(x.ServerSerialNumber, "SRV1");
}

TEST_F(ReportOperationsTest, RTServerRefusalPrintsNothingAndGivesNoReason) {
  UseRTServer().fAccept = false;
  _int_PRINTZR_result z;
  device->Pub_PrintZReport(fHandler, z);
  EXPECT_TRUE(z.Error);
  EXPECT_EQ(z.ErrorText, "");
  _int_PRINTXR_result x;
  device->Pub_PrintXReport(fHandler, x);
  EXPECT_TRUE(x.Error);
  EXPECT_EQ(x.ErrorText, "");
  EXPECT_TRUE(device->fCalls.empty());
  EXPECT_EQ(kDeviceTestAccess::RTServerTillReportInfo(*device).fzRepNumber, 0);
}

// ---- Processor road ---------------------------------------------------------------------

TEST_F(ReportOperationsTest, ProcessorZReportTakesItsCountersButNoReturns) {
  UseProcessor();
  fHandler.fZReport->fLayout = "MyLayout";
  kDeviceTestAccess::SerialNumber(*device) = "4ZRPV012345";
  _int_PRINTZR_result r;
  device->Pub_PrintZReport(fHandler, r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(r.ZReportNumber, "77");
  EXPECT_EQ(r.EJClosingNumber, "77");
  EXPECT_EQ(r.EJNumber, "0");
  EXPECT_EQ(r.ZReportDateTime, At(2026, 12, 9, 20, 0));
  EXPECT_EQ(r.DeviceSerialNumber, "4ZRPV012345");
  EXPECT_EQ(r.DayTotalAmount, A("10"));
  EXPECT_EQ(r.DayRefundsNumber, 2);
  EXPECT_EQ(r.DayReturnsAmount, Amount());
  EXPECT_EQ(r.Text, "Z PROCESSOR\r\nline two");
  EXPECT_EQ(device->fLayout, "MyLayout");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Z PROCESSOR", "line two"}));
}

TEST_F(ReportOperationsTest, ProcessorXReportNumbersComeFromItsCounters) {
  UseProcessor();
  _int_PRINTXR_result r;
  device->Pub_PrintXReport(fHandler, r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(r.XReportNumber, "77");
  EXPECT_EQ(r.EJClosingNumber, "77");
  EXPECT_EQ(r.Text, "");
  EXPECT_EQ(device->fLayout, "DocumentLayout");
}

TEST_F(ReportOperationsTest, ProcessorRefusalGivesItsMessage) {
  UseProcessor().fAccept = false;
  _int_PRINTZR_result z;
  device->Pub_PrintZReport(fHandler, z);
  EXPECT_TRUE(z.Error);
  EXPECT_EQ(z.ErrorText, "processor says no");
  _int_PRINTXR_result x;
  device->Pub_PrintXReport(fHandler, x);
  EXPECT_TRUE(x.Error);
  EXPECT_EQ(x.ErrorText, "processor says no");
  EXPECT_TRUE(device->fCalls.empty());
}

// ---- Report text pieces -----------------------------------------------------------------

TEST_F(ReportOperationsTest, AmountLinePutsTheAmountFlushRight) {
  struct Case {
    int width;
    const char* label;
    const char* amount;
    const char* separator;
    std::string line;
  } cases[] = {
      {48, "Totale Giorno", "1234.5", ",", "Totale Giorno" + std::string(28, ' ') + "1234,50"},
      {48, "Totale Resi", "-0.005", ".", "Totale Resi" + std::string(32, ' ') + "-0.01"},
      {48, "Totale", "0", ",", "Totale" + std::string(38, ' ') + "0,00"},
      {48, "Totale Vendite", "1234567.891", ",", "Totale Vendite" + std::string(24, ' ') + "1234567,89"},
      // A label as wide as the line gives way to the amount.
      {10, "Totale Vendite", "12", ",", "Total12,00"},
      // Counted in characters, not bytes.
      {12, "Più €", "1", ",", "Più €   1,00"},
      {3, "Totale", "100", ",", "100,00"},
  };
  for (const auto& c : cases) {
    device->fLineLength = c.width;
    SetUserDecimalSeparatorForTesting(c.separator);
    EXPECT_EQ(kDeviceTestAccess::FormatAmountLine(*device, c.label, A(c.amount)), c.line) << c.label << " " << c.amount;
  }
}

// ---- Journal ----------------------------------------------------------------------------

TEST_F(ReportOperationsTest, JournalReportCallsTheHookOfItsType) {
  struct Case {
    int type;
    std::string call;
    std::string text;
  } cases[] = {
      {ejrt_ZReport, "Z 1 46000.000000-46001.000000", "z text"},
      {ejrt_FiscalReceipt, "F 1 3..9 46000.000000-46001.000000", "F text"},
      {ejrt_NonFiscalReceipt, "N 1 3..9 46000.000000-46001.000000", "N text"},
      {ejrt_CreditNote, "C 1 3..9 46000.000000-46001.000000", "C text"},
      {ejrt_Invoice, "I 1 3..9 46000.000000-46001.000000", "I text"},
      {5, "", ""},
  };
  for (const auto& c : cases) {
    kEJReport& ej = *fHandler.fEJReport;
    ej.fReportType = static_cast<vnEJReportType>(c.type);
    ej.fDestination = rd_Memory;
    ej.fStartDate = 46000;
    ej.fEndDate = 46001;
    ej.fStartNumber = 3;
    ej.fEndNumber = 9;
    device->fJournalCall.clear();
    device->fCalls.clear();
    _int_EJREPORT_result r;
    device->Pub_EJReport(fHandler, r);
    EXPECT_FALSE(r.Error) << c.type;
    EXPECT_EQ(device->fJournalCall, c.call) << c.type;
    EXPECT_EQ(r.Text, c.text) << c.type;
    EXPECT_EQ(device->fCalls.size(), c.call.empty() ? 0u : 1u) << "no readiness check for the journal";
  }
}

TEST_F(ReportOperationsTest, JournalFilesCountIsKeptUntilAHookSetsIt) {
  fHandler.fEJFilesRequest->fOutputDir = "/tmp/ej";
  device->fFilesToReport = 4;
  _int_GETEJFILES_result first;
  device->Pub_GetEJFiles(fHandler, first);
  EXPECT_FALSE(first.Error);
  EXPECT_EQ(first.FilesCount, 4);

  device->fFilesToReport = -1;
  _int_GETEJFILES_result second;
  device->Pub_GetEJFiles(fHandler, second);
  EXPECT_EQ(second.FilesCount, 4);

  device->fBehaviour["GetEJFiles"] = {false, true};
  _int_GETEJFILES_result failed;
  device->Pub_GetEJFiles(fHandler, failed);
  EXPECT_TRUE(failed.Error);
  EXPECT_EQ(failed.ErrorText, "GetEJFiles failed");
  EXPECT_EQ(failed.FilesCount, 0);
}

}  // namespace
}  // namespace fp::test
