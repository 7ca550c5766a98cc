#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/errors.h"
#include "base/platform.h"
#include "device/fiscal_processor_caller.h"
#include "documents/customer_display.h"
#include "documents/dept_table.h"
#include "documents/drawer.h"
#include "documents/economic_activity_table.h"
#include "documents/nf_receipt.h"
#include "documents/payment_receipt.h"
#include "documents/receipt.h"
#include "documents/vat_table.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "fake_driver.h"
#include "io/io_handler.h"
#include "rtserver/rt_server_client.h"
#include "support/device_test_access.h"

using namespace fp;
using namespace fp::test;
namespace fs = std::filesystem;

namespace {

using Calls = std::vector<std::string>;

// A scratch folder standing in for the host program's folder, so device logs land there.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = fs::temp_directory_path() /
           ("fpdevice_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(fDir);
    fs::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.string().c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("FPDRIVER_APP_DIR");
    fs::remove_all(fDir);
  }

  // A device as OPEN leaves it: its serial number (the key of its document journal) read.
  std::unique_ptr<FakeDriver> MakeDevice() {
    auto device = std::make_unique<FakeDriver>(fHandler, (fDir / "log").string());
    kDeviceTestAccess::SerialNumber(*device) = "SN1";
    return device;
  }

  // The device log's lines so far.
  static std::vector<std::string> LogLines(kFiscalPrinterDevice& aDevice) {
    kDeviceTestAccess::IOHandler(aDevice).FlushLog();
    std::ifstream in(aDevice.LogFileName());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  fs::path fDir;
  kReceiptPrinterHandler fHandler;
};

const std::string kDashes(60, '-');

}  // namespace

// ---- Construction ---------------------------------------------------------------------

TEST_F(DeviceTest, FreshDevicePrintsLinesThenPaymentsThenTrailer) {
  auto device = MakeDevice();
  EXPECT_EQ(device->PrintSequence(),
            (std::vector<vnFiscalPrinterPrintSection>{fpps_Lines, fpps_Payments, fpps_TrailerMessages}));
  EXPECT_FALSE(kDeviceTestAccess::Processor(*device)->Active());
  EXPECT_EQ(device->IOHandler().Version(), kFiscalPrinterDevice::GetDriverVersion());
  EXPECT_EQ(kFiscalPrinterDevice::GetDriverVersion().rfind("Version ", 0), 0u);
}

TEST_F(DeviceTest, RTServerParameterIsTrueOnlyForTrueInAnyCase) {
  struct Case {
    const char* value;  // nullptr: parameter absent
    bool active;
  } cases[] = {{"TRUE", true}, {"True", true}, {"true", true}, {"yes", false}, {"1", false}, {"", false},
               {nullptr, false}};
  for (const auto& c : cases) {
    kReceiptPrinterHandler handler;
    if (c.value) handler.Parameters.push_back(std::string("rtserver=") + c.value);
    handler.Parameters.push_back("rtservertillserial=77");
    std::string library = FP_TEST_RTSERVER;  // named without its ".dll", as hosts name it
    handler.Parameters.push_back("rtserverdriver=" + library.substr(0, library.size() - 4));
    FakeDriver device(handler, "");
    SCOPED_TRACE(c.value ? c.value : "(absent)");
    EXPECT_EQ(kDeviceTestAccess::RTServerActive(device), c.active);
    EXPECT_EQ(kDeviceTestAccess::RTServer(device) != nullptr, c.active);
    EXPECT_EQ(kDeviceTestAccess::RTServerTillSerial(device), "77");
    if (c.active) {
      EXPECT_EQ(kDeviceTestAccess::RTServer(device)->DLLName(), library);
    }
  }
}

TEST_F(DeviceTest, ProcessorThatCannotBeLoadedFailsConstruction) {
  fHandler.Parameters.push_back("processor=libnothere.so");
  try {
    MakeDevice();
    FAIL() << "construction succeeded";
  } catch (const kException& e) {
    EXPECT_NE(std::string(e.what()).find("libnothere.so"), std::string::npos) << e.what();
  }
}

TEST_F(DeviceTest, TransportFromTheRequestLogsBelowTheHostFolder) {
  fHandler.Driver = "DRV";
  fHandler.LogId = "till1";
  // A TCP printer nobody listens for: the transport is built, connecting fails at once.
  fHandler.Connection.ConnectionType = vnConnectionType::TCP;
  fHandler.Connection.Address = "127.0.0.1";
  fHandler.Connection.Port = 1;
  FakeDriver device(fHandler);
  // Compared as paths: the library joins with "/", which Windows takes as it takes "\\".
  const fs::path log(device.LogFileName());
  EXPECT_EQ(log.parent_path(), fDir / "LogFiles" / "FiscalPrinter");
  EXPECT_EQ(log.filename().string().rfind("DRV_till1", 0), 0u) << device.LogFileName();

  _int_OPEN_result result;
  device.Pub_Open(fHandler, result);
  EXPECT_EQ(result.LogFileName, device.LogFileName());
  auto lines = LogLines(device);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[1].find(" - " + kDashes + " Open"), std::string::npos) << lines[1];
}

// ---- Operation frame and hook order ----------------------------------------------------

namespace {

// One operation run against a fresh fake device: its log name, how to prepare the
// request, how to run it, and the calls the framework must make, in order.
struct OperationCase {
  std::string name;
  std::string logName;
  std::function<void(kReceiptPrinterHandler&, FakeDriver&)> prepare;
  std::function<bool(kReceiptPrinterHandler&, FakeDriver&, std::string& aLogFile)> run;  // returns Error
  Calls calls;
};

template <class R, class Op>
std::function<bool(kReceiptPrinterHandler&, FakeDriver&, std::string&)> Run(Op aOp) {
  return [aOp](kReceiptPrinterHandler& aHandler, FakeDriver& aDevice, std::string& aLogFile) {
    R result;
    result.Error = true;
    (aDevice.*aOp)(aHandler, result);
    aLogFile = result.LogFileName;
    return result.Error;
  };
}

void NoPrep(kReceiptPrinterHandler&, FakeDriver&) {}

// A non-fiscal document with a text, a barcode, an image and another text line.
void FourLineDocument(kReceiptPrinterHandler& aHandler, FakeDriver&) {
  kNFReceipt* nf = aHandler.fNFReceipt.get();
  nf->fLines.Add(kReceiptMessageTextLine::CreateNF(nf));
  nf->fLines.Add(kReceiptMessageBarcodeLine::CreateNF(nf));
  nf->fLines.Add(kReceiptMessageImageLine::CreateNF(nf));
  nf->fLines.Add(kReceiptMessageTextLine::CreateNF(nf));
}

auto FourLineDocumentWith(const char* aHook, bool aResult) {
  return [aHook, aResult](kReceiptPrinterHandler& aHandler, FakeDriver& aDevice) {
    FourLineDocument(aHandler, aDevice);
    aDevice.fBehaviour[aHook].result = aResult;
  };
}

auto DisplayWith(bool aClear, bool aClearResult) {
  return [aClear, aClearResult](kReceiptPrinterHandler& aHandler, FakeDriver& aDevice) {
    aHandler.fCustomerDisplay->fClear = aClear;
    aHandler.fCustomerDisplay->fLines.Add(kReceiptMessageTextLine::Create(nullptr));
    aDevice.fBehaviour["ClearDisplay"].result = aClearResult;
  };
}

std::vector<OperationCase> OperationCases() {
  using D = kFiscalPrinterDevice;
  return {
      {"Open", "Open", NoPrep, Run<_int_OPEN_result>(&D::Pub_Open), {"Connect"}},
      {"Close", "Close", NoPrep, Run<_int_CLOSE_result>(&D::Pub_Close), {"Disconnect"}},
      {"GetStatus", "GetStatus", NoPrep, Run<_int_GETSTATUS_result>(&D::Pub_GetStatus), {"GetPrinterStatus"}},
      {"GetVatTable", "GetVATTable", NoPrep, Run<_int_GETVATTABLE_result>(&D::Pub_GetVatTable), {"ReadVatTable"}},
      {"SetVatTable", "SetVATTable", NoPrep, Run<_int_SETVATTABLE_result>(&D::Pub_SetVatTable), {"WriteVatTable"}},
      {"GetDeptTable", "GetDeptTable", NoPrep, Run<_int_GETDEPTTABLE_result>(&D::Pub_GetDeptTable),
       {"ReadEATable", "ReadDeptTable"}},
      {"SetDeptTable", "SetDeptTable", NoPrep, Run<_int_SETDEPTTABLE_result>(&D::Pub_SetDeptTable),
       {"WriteEATable", "WriteDeptTable"}},
      {"SetDeptTableAfterFailedActivities", "SetDeptTable",
       [](kReceiptPrinterHandler&, FakeDriver& d) { d.fBehaviour["WriteEATable"] = {false, false}; },
       Run<_int_SETDEPTTABLE_result>(&D::Pub_SetDeptTable), {"WriteEATable", "WriteDeptTable"}},
      {"SetWithoutTrainingMode", "Set", NoPrep, Run<_int_SET_result>(&D::Pub_Set), {}},
      {"SetTrainingModeOn", "Set",
       [](kReceiptPrinterHandler& h, FakeDriver&) { h.Parameters.push_back("trainingmode=True"); },
       Run<_int_SET_result>(&D::Pub_Set), {"SetTrainingMode(on)"}},
      {"SetDateTime", "SetDateTime",
       [](kReceiptPrinterHandler& h, FakeDriver&) { h.Parameters.push_back("datetime=2024-03-01T10:00:00"); },
       Run<_int_SETDATETIME_result>(&D::Pub_SetDateTime), {"SetDateTime", "GetDateTime"}},
      // The epoch goes to the driver too: it is the driver that knows the years its printer
      // holds, and refuses the others.
      {"SetDateTimeAtTheEpochIsTheDriversToJudge", "SetDateTime",
       [](kReceiptPrinterHandler& h, FakeDriver&) { h.Parameters.push_back("datetime=1899-12-30T00:00:00"); },
       Run<_int_SETDATETIME_result>(&D::Pub_SetDateTime), {"SetDateTime", "GetDateTime"}},
      {"OpenDrawer", "OpenDrawer", [](kReceiptPrinterHandler& h, FakeDriver&) { h.fDrawer->fNumber = 3; },
       Run<_int_OPENDR_result>(&D::Pub_OpenDrawer), {"OpenDrawer(3)"}},
      {"GetDrawerStatus", "GetDrawerStatus", [](kReceiptPrinterHandler& h, FakeDriver&) { h.fDrawer->fNumber = 2; },
       Run<_int_GETDRSTATUS_result>(&D::Pub_GetDrawerStatus), {"GetDrawerStatus(2)"}},
      {"LotteryStatusChecksReadiness", "GetLotteryRcptStatus", NoPrep,
       Run<_int_GETLOTTERYRCPTSTATUS_result>(&D::Pub_GetLotteryReceiptStatus),
       {"SkipStatusCheck", "CheckStatus", "ReadLotteryReceiptStatus"}},
      {"LotteryStatusSkipsTheCheck", "GetLotteryRcptStatus",
       [](kReceiptPrinterHandler&, FakeDriver& d) { d.fBehaviour["SkipStatusCheck"].result = true; },
       Run<_int_GETLOTTERYRCPTSTATUS_result>(&D::Pub_GetLotteryReceiptStatus),
       {"SkipStatusCheck", "ReadLotteryReceiptStatus"}},
      {"LotteryStatusNotReady", "GetLotteryRcptStatus",
       [](kReceiptPrinterHandler&, FakeDriver& d) { d.fBehaviour["CheckStatus"].result = false; },
       Run<_int_GETLOTTERYRCPTSTATUS_result>(&D::Pub_GetLotteryReceiptStatus), {"SkipStatusCheck", "CheckStatus"}},
      {"Pay", "Pay", NoPrep, Run<_int_PAY_result>(&D::Pub_Pay), {"Pay"}},
      {"PrintNFReceipt", "PrintNFReceipt", FourLineDocument, Run<_int_PRINTNFR_result>(&D::Pub_PrintNFReceipt),
       {"SkipStatusCheck", "CheckStatus", "BeginNonFiscalReceipt", "PrintNonFiscalTextLine",
        "PrintNonFiscalBarcodeLine", "PrintNonFiscalImageLine", "PrintNonFiscalTextLine", "EndNonFiscalReceipt",
        "GetDateTime"}},
      {"PrintNFReceiptStopsAtAFalseLine", "PrintNFReceipt", FourLineDocumentWith("PrintNonFiscalBarcodeLine", false),
       Run<_int_PRINTNFR_result>(&D::Pub_PrintNFReceipt),
       {"SkipStatusCheck", "CheckStatus", "BeginNonFiscalReceipt", "PrintNonFiscalTextLine",
        "PrintNonFiscalBarcodeLine", "GetDateTime"}},
      {"PrintNFReceiptNotBegun", "PrintNFReceipt", FourLineDocumentWith("BeginNonFiscalReceipt", false),
       Run<_int_PRINTNFR_result>(&D::Pub_PrintNFReceipt),
       {"SkipStatusCheck", "CheckStatus", "BeginNonFiscalReceipt", "GetDateTime"}},
      {"PrintNFReceiptNotReady", "PrintNFReceipt", FourLineDocumentWith("CheckStatus", false),
       Run<_int_PRINTNFR_result>(&D::Pub_PrintNFReceipt), {"SkipStatusCheck", "CheckStatus", "GetDateTime"}},
      {"DisplayWithoutClearing", "WriteDisplay", DisplayWith(false, true),
       Run<_int_DISPLAY_result>(&D::Pub_WriteDisplay), {"WriteDisplay"}},
      {"DisplayCleared", "WriteDisplay", DisplayWith(true, true), Run<_int_DISPLAY_result>(&D::Pub_WriteDisplay),
       {"ClearDisplay", "WriteDisplay"}},
      {"DisplayNotClearedWritesNothing", "WriteDisplay", DisplayWith(true, false),
       Run<_int_DISPLAY_result>(&D::Pub_WriteDisplay), {"ClearDisplay"}},
  };
}

}  // namespace

TEST_F(DeviceTest, EachOperationLogsItsHeaderAndCallsItsHooksInOrder) {
  for (const OperationCase& c : OperationCases()) {
    SCOPED_TRACE(c.name);
    kReceiptPrinterHandler handler;
    FakeDriver device(handler, (fDir / ("log_" + c.name)).string());
    kDeviceTestAccess::SerialNumber(device) = "SN1";  // as OPEN's status read leaves it
    c.prepare(handler, device);
    std::string logFile;
    bool error = c.run(handler, device, logFile);
    EXPECT_FALSE(error);
    EXPECT_EQ(device.fCalls, c.calls);
    EXPECT_EQ(logFile, device.LogFileName());
    EXPECT_FALSE(logFile.empty());
    auto lines = LogLines(device);
    ASSERT_GE(lines.size(), 2u);
    // The first line after START is the header; other lines (transport) may follow it.
    const std::string header = " - " + kDashes + " " + c.logName;
    EXPECT_GE(lines[1].size(), header.size());
    EXPECT_EQ(lines[1].substr(lines[1].size() - header.size()), header) << lines[1];
  }
}

TEST_F(DeviceTest, ErrorRecordedByAnyHookEndsInTheResult) {
  // Each hook of each operation in turn records a failure: the result must report the
  // transport's message whatever the hooks returned. The one exception is the clock read
  // back after the outcome is known.
  for (const OperationCase& c : OperationCases()) {
    for (const std::string& failing : c.calls) {
      if (failing == "Connect" || failing == "Disconnect") continue;  // the transport's own
      SCOPED_TRACE(c.name + " failing in " + failing);
      // Each failure on a printer of its own: a closing that failed leaves the document's
      // outcome unknown, and the same document is then not printed again.
      const fs::path folder = fDir / (c.name + "_" + failing);
      fs::create_directories(folder);
      ::setenv("FPDRIVER_APP_DIR", folder.string().c_str(), 1);
      kReceiptPrinterHandler handler;
      FakeDriver device(handler, "");
      c.prepare(handler, device);
      device.fBehaviour[failing].recordError = true;
      std::string logFile;
      EXPECT_EQ(c.run(handler, device, logFile), failing != "GetDateTime");
    }
  }
}

TEST_F(DeviceTest, GetStatusKeepsFiscalModeAndSerialOnlyFromACleanRead) {
  auto device = MakeDevice();
  _int_GETSTATUS_result ok;
  device->Pub_GetStatus(fHandler, ok);
  EXPECT_FALSE(ok.Error);
  EXPECT_EQ(device->SerialNumber(), "SN1");
  EXPECT_EQ(device->FiscalMode(), "RT");

  device->fPrinterSerial = "SN2";
  device->fPrinterMode = "MF";
  device->fBehaviour["GetPrinterStatus"].recordError = true;
  _int_GETSTATUS_result failed;
  device->Pub_GetStatus(fHandler, failed);
  EXPECT_TRUE(failed.Error);
  EXPECT_EQ(failed.ErrorText, "GetPrinterStatus failed");
  EXPECT_EQ(failed.SerialNumber, "SN2");  // the result shows what was read
  EXPECT_EQ(device->SerialNumber(), "SN1");
  EXPECT_EQ(device->FiscalMode(), "RT");
}

TEST_F(DeviceTest, VatTableIsReportedFromTheRefreshedCacheOrNotAtAll) {
  auto device = MakeDevice();
  device->MutableVatTable().Add({1, "22", "IVA 22", Amount::FromInt(22)});
  device->MutableVatTable().Add({4, "N4", "Esente", Amount()});

  _int_GETVATTABLE_result result;
  device->Pub_GetVatTable(fHandler, result);
  ASSERT_FALSE(result.Error);
  ASSERT_EQ(result.VATTable.size(), 2u);
  EXPECT_EQ(result.VATTable[1].Index, 4);
  EXPECT_EQ(result.VATTable[1].Code, "N4");
  EXPECT_EQ(result.VATTable[0].Rate, Amount::FromInt(22));

  device->fBehaviour["ReadVatTable"].recordError = true;
  result.VATTable.push_back({});  // a list left from before must not survive
  device->Pub_GetVatTable(fHandler, result);
  EXPECT_TRUE(result.Error);
  EXPECT_EQ(result.ErrorText, "ReadVatTable failed");
  EXPECT_TRUE(result.VATTable.empty());
}

TEST_F(DeviceTest, DepartmentsCarryTheirActivity) {
  auto device = MakeDevice();
  device->MutableEATable().Add({1, "A1", "Bar", true});
  device->MutableEATable().Add({2, "A2", "Shop", false});
  device->MutableDeptTable().Add({1, "D1", "Drinks", "22", st_Service, "A1"});
  device->MutableDeptTable().Add({2, "D2", "Food", "10", st_Product, "A2"});
  device->MutableDeptTable().Add({3, "D3", "Misc", "4", st_Product, ""});
  device->MutableDeptTable().Add({4, "D4", "Lost", "4", st_Product, "A9"});  // activity the printer lacks

  _int_GETDEPTTABLE_result result;
  device->Pub_GetDeptTable(fHandler, result);
  ASSERT_FALSE(result.Error);
  ASSERT_EQ(result.DeptTable.size(), 4u);
  struct Expect {
    const char* salesType;
    const char* eaCode;
    const char* eaDescription;
    const char* eaMode;
  } expected[] = {{"Service", "A1", "Bar", "1"}, {"Product", "A2", "Shop", "0"}, {"Product", "", "", ""},
                  {"Product", "A9", "", ""}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(result.DeptTable[i].SalesType, expected[i].salesType);
    EXPECT_EQ(result.DeptTable[i].EACode, expected[i].eaCode);
    EXPECT_EQ(result.DeptTable[i].EADescription, expected[i].eaDescription);
    EXPECT_EQ(result.DeptTable[i].EAVATMode, expected[i].eaMode);
  }
  EXPECT_EQ(result.DeptTable[0].VatCode, "22");
  EXPECT_EQ(result.DeptTable[1].Description, "Food");
}

TEST_F(DeviceTest, TrainingModeParameterReadsAsBoolean) {
  struct Case {
    const char* value;
    const char* call;  // nullptr: the conversion fails
  } cases[] = {{"1", "SetTrainingMode(on)"},     {"0", "SetTrainingMode(off)"},   {"-3", "SetTrainingMode(on)"},
               {"0.0", "SetTrainingMode(off)"},  {"2.5", "SetTrainingMode(on)"},  {"TRUE", "SetTrainingMode(on)"},
               {"False", "SetTrainingMode(off)"}, {"yes", nullptr},               {"", nullptr},
               {"1x", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    kReceiptPrinterHandler handler;
    handler.Parameters.push_back(std::string("trainingmode=") + c.value);
    FakeDriver device(handler, "");
    _int_SET_result result;
    if (c.call) {
      device.Pub_Set(handler, result);
      EXPECT_FALSE(result.Error);
      // The serial number names the printer's lock, taken for the change.
      EXPECT_EQ(device.fCalls, (Calls{"GetPrinterStatus", c.call}));
    } else {
      try {
        device.Pub_Set(handler, result);
        FAIL() << "no failure";
      } catch (const kException& e) {
        EXPECT_EQ(std::string(e.what()), std::string("'") + c.value + "' is not a valid boolean value");
      }
      EXPECT_TRUE(device.fCalls.empty());
    }
  }
}

TEST_F(DeviceTest, SetDateTimeRejectsImpossibleDatesAndReadsTheClockBack) {
  {
    auto device = MakeDevice();
    fHandler.Parameters = {"datetime=2024-02-30T10:00:00"};
    _int_SETDATETIME_result result;
    try {
      device->Pub_SetDateTime(fHandler, result);
      FAIL() << "no failure";
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), "DateTime Format invalid: [2024-02-30T10:00:00]");
    }
    EXPECT_TRUE(device->fCalls.empty());
  }
  {
    auto device = MakeDevice();
    fHandler.Parameters = {"datetime=2024-03-01T10:00:00.5"};
    _int_SETDATETIME_result result;
    device->Pub_SetDateTime(fHandler, result);
    EXPECT_FALSE(result.Error);
    auto parts = DecodeDateTime(result.DateTime);
    EXPECT_EQ(parts.day, 1);
    EXPECT_EQ(parts.hour, 10);
    EXPECT_EQ(parts.millisecond, 5);
  }
  {
    // A setting that fails still reports the printer's clock as read back.
    auto device = MakeDevice();
    device->fPrinterClock = 45000.5;
    device->fBehaviour["SetDateTime"] = {true, true};
    fHandler.Parameters = {"datetime=2024-03-01T10:00:00"};
    _int_SETDATETIME_result result;
    device->Pub_SetDateTime(fHandler, result);
    EXPECT_TRUE(result.Error);
    EXPECT_EQ(result.ErrorText, "Clock not set: SetDateTime failed");
    EXPECT_EQ(device->fCalls, (Calls{"SetDateTime", "GetDateTime"}));
  }
}

TEST_F(DeviceTest, LotteryStatusComesFromTheDevice) {
  auto device = MakeDevice();
  _int_GETLOTTERYRCPTSTATUS_result result;
  device->Pub_GetLotteryReceiptStatus(fHandler, result);
  EXPECT_FALSE(result.Error);
  EXPECT_TRUE(result.CorrectlySent);
  EXPECT_EQ(result.StatusCode, "00");
  EXPECT_EQ(result.ReferenceId, "REF1");

  // Not ready: the status held from before is reported again.
  device->fBehaviour["CheckStatus"].result = false;
  _int_GETLOTTERYRCPTSTATUS_result again;
  device->Pub_GetLotteryReceiptStatus(fHandler, again);
  EXPECT_FALSE(again.Error);
  EXPECT_EQ(again.StatusDescription, "sent");
}

TEST_F(DeviceTest, PaymentReportsTheTerminalTextsOnly) {
  auto device = MakeDevice();
  struct PayingDriver : FakeDriver {
    using FakeDriver::FakeDriver;
    bool Pay(kPaymentReceipt& aPayment) override {
      aPayment.fReceiptLines = {"CARTA ****1234", "IMPORTO 10,00"};
      aPayment.fRawResponse = "RAW";
      return Hook("Pay");
    }
  } paying(fHandler, "");
  _int_PAY_result result;
  result.Error = true;
  result.TransactionType = ptt_Other;
  result.PaymentAmount = Amount::FromInt(10);
  paying.Pub_Pay(fHandler, result);
  EXPECT_FALSE(result.Error);
  EXPECT_EQ(result.ReceiptText, "CARTA ****1234\r\nIMPORTO 10,00\r\n");
  EXPECT_EQ(result.RawResponse, "RAW");
  EXPECT_EQ(result.TransactionType, ptt_Manual);
  EXPECT_EQ(result.PaymentNetwork, vnPaymentNetwork::Other);
  EXPECT_TRUE(result.PaymentAmount.IsZero());

  paying.fBehaviour["Pay"].recordError = true;
  _int_PAY_result failed;
  paying.Pub_Pay(fHandler, failed);
  EXPECT_TRUE(failed.Error);
  EXPECT_EQ(failed.ErrorText, "Pay failed");
  EXPECT_TRUE(failed.ReceiptText.empty());
  EXPECT_TRUE(failed.RawResponse.empty());
  EXPECT_EQ(failed.TransactionType, ptt_Manual);
}

TEST_F(DeviceTest, NonFiscalReceiptReportsThePrinterClockOrNothing) {
  auto device = MakeDevice();
  device->fPrinterClock = 45123.5;
  FourLineDocument(fHandler, *device);
  _int_PRINTNFR_result result;
  result.NFReceiptNumber = "old";
  device->Pub_PrintNFReceipt(fHandler, result);
  EXPECT_FALSE(result.Error);
  EXPECT_EQ(result.NFReceiptNumber, "");
  EXPECT_EQ(result.NFReceiptDateTime, 45123.5);

  device->fCalls.clear();
  device->fBehaviour["PrintNonFiscalImageLine"].recordError = true;
  _int_PRINTNFR_result failed;
  failed.NFReceiptDateTime = 1;
  device->Pub_PrintNFReceipt(fHandler, failed);
  EXPECT_TRUE(failed.Error);
  EXPECT_EQ(failed.ErrorText, "Document not printed: PrintNonFiscalImageLine failed");
  EXPECT_EQ(failed.NFReceiptDateTime, 0);
  // The line hook recorded a failure but returned true: the document goes on, and no
  // clock is read for a document that failed.
  EXPECT_EQ(device->fCalls.back(), "EndNonFiscalReceipt");
}

// A weighted sale through the default: the text line it prints and the sale it derives.
TEST_F(DeviceTest, WeightedSaleDefaultPrintsTextThenAQuantityOneSale) {
  ::setenv("LC_ALL", "C", 1);
  struct Recorder : FakeDriver {
    using FakeDriver::FakeDriver;
    std::string text;
    std::vector<std::string> sale;
    bool PrintTextLine(kReceipt& r, kReceiptLineText& l) override {
      text = l.fDescription;
      return FakeDriver::PrintTextLine(r, l);
    }
    bool PrintProductSale(kReceipt& r, kReceiptLineProductSale& l) override {
      sale = {l.fCode,           l.fDepartment,           l.fTaxCode, l.fDescription, l.fQuantity.ToXmlText(),
              l.fUOM,            l.fPrice.ToXmlText(),    l.fAmount.ToXmlText(),
              l.fFreeOfCharge ? "free" : "paid"};
      return FakeDriver::PrintProductSale(r, l);
    }
  } device(fHandler, "");
  kReceipt receipt;
  receipt.fCurrencyCode = "EUR";
  kReceiptLineWeightedProductSale line(&receipt);
  line.fLineType = rlt_WeightedProductSale;
  line.fCode = "P1";
  line.fDepartment = "2";
  line.fTaxCode = "22";
  line.fDescription = "Mele";
  line.fQuantity = *Amount::Parse("1234.5");
  line.fUOM = "KG";
  line.fPrice = *Amount::Parse("2.5");
  line.fAmount = *Amount::Parse("3086.25");
  line.fFreeOfCharge = true;

  EXPECT_TRUE(device.PrintWeightedProductSale(receipt, line));
  EXPECT_EQ(device.text, " 1,234.500 kg x EUR 2.50/kg");
  EXPECT_EQ(device.sale, (Calls{"P1", "2", "22", "Mele", "1", "", "3086.25", "3086.25", "free"}));
  EXPECT_EQ(device.fCalls, (Calls{"PrintTextLine", "PrintProductSale"}));

  // A refused text line ends the sale there.
  device.fCalls.clear();
  device.fBehaviour["PrintTextLine"].result = false;
  EXPECT_FALSE(device.PrintWeightedProductSale(receipt, line));
  EXPECT_EQ(device.fCalls, Calls{"PrintTextLine"});
  ::unsetenv("LC_ALL");
}

TEST_F(DeviceTest, ProcessorReportPrintsATitleAndPlainLines) {
  struct Recorder : FakeDriver {
    using FakeDriver::FakeDriver;
    std::string layout;
    std::vector<std::string> lines;
    bool BeginNonFiscalReceipt(kNFReceipt& aDocument) override {
      layout = aDocument.fLayout;
      return FakeDriver::BeginNonFiscalReceipt(aDocument);
    }
    bool PrintNonFiscalTextLine(kReceipt* aReceipt, kReceiptMessageTextLine& aLine) override {
      lines.push_back(aLine.fValue + "|" + std::to_string(aLine.fSize) + "|" + std::to_string(aLine.fEffects) + "|" +
                      std::to_string(aLine.fAlignment) + (aReceipt ? "|receipt" : ""));
      return FakeDriver::PrintNonFiscalTextLine(aReceipt, aLine);
    }
  } device(fHandler, "");
  // A refused line does not end the copy: the document is walked to the end and closed.
  device.fBehaviour["PrintNonFiscalTextLine"].result = false;

  EXPECT_NO_THROW(kDeviceTestAccess::PrintReportByProcessor(device, "X REPORT\r\nTotal 10\nEnd\r\n", ""));
  EXPECT_EQ(device.layout, "DocumentLayout");
  EXPECT_EQ(device.lines, (Calls{"X REPORT|2|1|2", "Total 10|1|0|3", "End|1|0|3"}));
  EXPECT_EQ(device.fCalls.back(), "EndNonFiscalReceipt");

  kDeviceTestAccess::PrintReportByProcessor(device, "Z", "ZLayout");
  EXPECT_EQ(device.layout, "ZLayout");
}

// ---- Services for drivers --------------------------------------------------------------

TEST_F(DeviceTest, FindVatIndexMatchesCodesExactly) {
  auto device = MakeDevice();
  device->MutableVatTable().Add({1, "A", "", Amount::FromInt(22)});
  device->MutableVatTable().Add({2, "b", "", Amount::FromInt(10)});
  device->MutableVatTable().Add({3, "A", "", Amount::FromInt(4)});
  EXPECT_EQ(device->FindVatIndex("A"), 1);
  EXPECT_EQ(device->FindVatIndex("b"), 2);
  EXPECT_EQ(device->FindVatIndex("B"), -1);
  EXPECT_EQ(device->FindVatIndex("a"), -1);
  EXPECT_EQ(device->FindVatIndex(""), -1);
}

TEST(DeviceServices, PadTextPadsOrCutsByCharacters) {
  struct Case {
    const char* text;
    int32_t width;
    const char* expected;
  } cases[] = {{"abc", 5, "abc  "}, {"abcdef", 3, "abc"}, {"abc", 3, "abc"}, {"", 2, "  "},
               {"àèìòù", 3, "àèì"},  {"€", 3, "€  "},      {"abc", 0, ""},    {"abc", -1, ""}};
  for (const auto& c : cases) EXPECT_EQ(test::FakeDriver::PadText(c.text, c.width), c.expected) << c.text;
}

TEST_F(DeviceTest, PrintSequenceKeepsEachSectionOnce) {
  auto device = MakeDevice();
  device->ClearPrintSequence();
  device->AddPrintSection(fpps_TrailerMessages);
  device->AddPrintSection(fpps_Lines);
  device->AddPrintSection(fpps_TrailerMessages);
  device->AddPrintSection(fpps_Payments);
  EXPECT_EQ(device->PrintSequence(),
            (std::vector<vnFiscalPrinterPrintSection>{fpps_TrailerMessages, fpps_Lines, fpps_Payments}));
}

TEST_F(DeviceTest, ResetCountersKeepsVoidsDateAndText) {
  auto device = MakeDevice();
  vnFiscalCounters& c = device->fCounters;
  const Amount one = Amount::FromInt(1);
  c = {one, one, one, one, one, one, one, one, 5, 6, 7, 45000.25, "text"};
  device->ResetCounters();
  EXPECT_TRUE(c.GrandTotalAmount.IsZero());
  EXPECT_TRUE(c.GrandTotalRefundsAmount.IsZero());
  EXPECT_TRUE(c.DayTotalAmount.IsZero());
  EXPECT_TRUE(c.DayDiscountsAmount.IsZero());
  EXPECT_TRUE(c.DayReturnsAmount.IsZero());
  EXPECT_TRUE(c.DayRefundsAmount.IsZero());
  EXPECT_EQ(c.DayReceiptsNumber, 0);
  EXPECT_EQ(c.DayRefundsNumber, 0);
  EXPECT_EQ(c.ZReportNumber, 0);
  EXPECT_EQ(c.GrandTotalVoidsAmount, one);
  EXPECT_EQ(c.DayVoidsAmount, one);
  EXPECT_EQ(c.ZReportDateTime, 45000.25);
  EXPECT_EQ(c.Text, "text");
}

TEST(DeviceServices, CapabilitySetHoldsBitPerValue) {
  vnFiscalPrinterCapabilities caps{fpc_SetDate, fpc_SupportSpecialChars};
  EXPECT_EQ(caps.Bits(), 0x4001);
  EXPECT_TRUE(caps.Contains(fpc_SetDate));
  EXPECT_FALSE(caps.Contains(fpc_Payout));
  caps.Exclude(fpc_SetDate);
  caps.Include(fpc_Payout);
  EXPECT_EQ(caps.Bits(), 0x4010);
}

// A printer the readiness check finds not ready gets no line of a receipt, and the result
// gives the check's own reason, not one the journal's steps made up after it.
TEST_F(DeviceTest, ReceiptOnAPrinterFoundNotReadyIsNotPrintedForThatReason) {
  for (const bool recorded : {true, false}) {
    SCOPED_TRACE(recorded ? "the check recorded why" : "the check said nothing");
    auto device = MakeDevice();
    device->fBehaviour["CheckStatus"] = {false, recorded};
    _int_PRINTFR_result result;
    device->Pub_PrintReceipt(fHandler, result);
    EXPECT_TRUE(result.Error);
    EXPECT_EQ(result.ErrorText, std::string("Receipt not printed: ") +
                                    (recorded ? "CheckStatus failed" : "the printer is not ready"));
    EXPECT_EQ(std::count(device->fCalls.begin(), device->fCalls.end(), "BeginFiscalReceipt"), 0);
  }
}
