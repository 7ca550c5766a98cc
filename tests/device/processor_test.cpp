#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <fstream>

#include "base/errors.h"
#include "device/document_journal.h"
#include "device/fiscal_processor_caller.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "fake_driver.h"
#include "support/device_test_access.h"

using namespace fp;
using namespace fp::test;
namespace fs = std::filesystem;

namespace {

kFiscalProcessorCaller& Loaded(kFiscalProcessorCaller& aCaller, const char* aPath) {
  aCaller.fName = aPath;
  aCaller.fActive = true;
  aCaller.Init();
  return aCaller;
}

}  // namespace

TEST(ProcessorCaller, LoadsABareNameFromTheApplicationFolderNotTheWorkingFolder) {
  // Absolute before the working folder moves: on Windows "/work/..." is relative to the
  // current drive.
  const fs::path lib = fs::absolute(FP_TEST_PROCESSOR);
  const fs::path saved = fs::current_path();
  const char* savedAppDir = std::getenv("FPDRIVER_APP_DIR");
  const std::string oldAppDir = savedAppDir ? savedAppDir : "";
  ::setenv("FPDRIVER_APP_DIR", lib.parent_path().string().c_str(), 1);
  fs::current_path(fs::temp_directory_path());  // holds no such library
  kFiscalProcessorCaller caller;
  caller.fName = lib.filename().string();
  EXPECT_NO_THROW(caller.Init());
  EXPECT_NE(caller.DLLHandle(), nullptr);

  kFiscalProcessorCaller missing;
  missing.fName = "nothere.so";
  try {
    missing.Init();
    ADD_FAILURE() << "loaded a missing library";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to load library " + lib.parent_path().string() + "/nothere.so. Error code: [2]");
  }
  // A file that is no library.
  kFiscalProcessorCaller notALibrary;
  notALibrary.fName = "CMakeFiles";
  try {
    notALibrary.Init();
    ADD_FAILURE() << "loaded a folder";
  } catch (const kException& e) {
    EXPECT_NE(std::string(e.what()).find("CMakeFiles. Error code: ["), std::string::npos) << e.what();
  }
  fs::current_path(saved);
  if (savedAppDir) ::setenv("FPDRIVER_APP_DIR", oldAppDir.c_str(), 1);
  else ::unsetenv("FPDRIVER_APP_DIR");
}

TEST(ProcessorCaller, ReceiptTextIsRewrittenOrRefused) {
  kFiscalProcessorCaller caller;
  Loaded(caller, FP_TEST_PROCESSOR);
  // The device passes its request text as both input and output.
  std::string xml = "<Receipt>ORIGINAL</Receipt>";
  EXPECT_TRUE(caller.ProcessReceipt(xml, xml));
  EXPECT_EQ(xml, "<Receipt>REWRITTEN</Receipt>");
  EXPECT_TRUE(caller.ProcessReprintReceipt("<R>ORIGINAL</R>", xml));
  EXPECT_EQ(xml, "<R>REWRITTEN</R>");

  xml = "<Receipt>refuse</Receipt>";
  EXPECT_FALSE(caller.ProcessReceipt(xml, xml));
  EXPECT_EQ(caller.ErrorMessage(), "receipt refused");
  EXPECT_EQ(xml, "");  // a refusal hands back the library's (empty) text too
}

TEST(ProcessorCaller, ReportAnswersFillTheCounters) {
  kFiscalProcessorCaller caller;
  Loaded(caller, FP_TEST_PROCESSOR);
  vnFiscalCounters counters;
  counters.GrandTotalRefundsAmount = Amount::FromInt(9);  // absent from the answer: becomes 0
  ASSERT_TRUE(caller.ProcessZReport("<ZReport/>", counters));
  EXPECT_EQ(counters.GrandTotalAmount, *Amount::Parse("1234.5"));
  EXPECT_TRUE(counters.GrandTotalRefundsAmount.IsZero());
  EXPECT_EQ(counters.DayTotalAmount, *Amount::Parse("100.25"));
  EXPECT_EQ(counters.DayVoidsAmount, Amount::FromInt(3));
  EXPECT_EQ(counters.DayReceiptsNumber, 12);
  EXPECT_EQ(counters.ZReportNumber, 8);
  EXPECT_GT(counters.ZReportDateTime, 0);
  EXPECT_EQ(counters.Text, "Z REPORT\nTotal 100,25");  // the XML reader keeps one LF per break

  ASSERT_TRUE(caller.ProcessXReport("<XReport/>", counters));
  EXPECT_EQ(counters.ZReportNumber, 7);

  EXPECT_FALSE(caller.ProcessXReport("refuse", counters));
  EXPECT_EQ(caller.ErrorMessage(), "X refused");
  EXPECT_EQ(counters.ZReportNumber, 7);

  EXPECT_THROW(caller.ProcessZReport("garbage", counters), kException);
  EXPECT_EQ(counters.ZReportNumber, 7);
}

TEST(ProcessorCaller, MissingEntryPointsCountAsTheirDefaults) {
  kFiscalProcessorCaller caller;
  Loaded(caller, FP_TEST_PROCESSOR_RECEIPT_ONLY);
  EXPECT_TRUE(caller.OpenProcessor("<x/>"));
  std::string xml = "<R>ORIGINAL</R>";
  EXPECT_TRUE(caller.ProcessReprintReceipt(xml, xml));
  EXPECT_EQ(xml, "<R>ORIGINAL</R>");
  // Into a separate answer, as the receipt operation asks: the request comes back whole.
  std::string answer = "stale";
  EXPECT_TRUE(caller.ProcessReprintReceipt(xml, answer));
  EXPECT_EQ(answer, "<R>ORIGINAL</R>");
  vnFiscalCounters counters;
  // A report without its entry point is not taken, and says so.
  EXPECT_FALSE(caller.ProcessXReport("<x/>", counters));
  EXPECT_EQ(caller.ErrorMessage(), "The processor library has no entry point for this report");
  EXPECT_FALSE(caller.ProcessZReport("<x/>", counters));
  EXPECT_EQ(caller.ErrorMessage(), "The processor library has no entry point for this report");

  bool dayOpened = false, training = true;
  DateTime when = 5;
  std::string firmware = "F", serial = "S", mode = "RT";
  caller.ProcessGetStatus("<x/>", dayOpened, when, training, firmware, serial, mode);
  EXPECT_EQ(serial, "S");
  EXPECT_EQ(when, 5);
}

TEST(ProcessorCaller, DevicesSharingALibraryCallItOneAtATime) {
  // Each call waits inside the library for another one to come in: two callers that were
  // not kept apart would meet there, and the call that finds the other inside is refused.
  kFiscalProcessorCaller first, second;
  Loaded(first, FP_TEST_PROCESSOR);
  Loaded(second, FP_TEST_PROCESSOR);
  std::atomic<int> refused{0};
  auto run = [&refused](kFiscalProcessorCaller& aCaller) {
    std::string out;
    if (!aCaller.ProcessReceipt("overlap", out)) ++refused;
  };
  std::thread a(run, std::ref(first)), b(run, std::ref(second));
  a.join();
  b.join();
  EXPECT_EQ(refused, 0);
}

TEST(ProcessorCaller, DeviceOpensTheProcessorAndTakesItsStatus) {
  const fs::path dir = fs::temp_directory_path() / ("fpprocessor_" + std::to_string(::getpid()));
  kReceiptPrinterHandler handler;
  handler.Parameters = {std::string("processor=") + FP_TEST_PROCESSOR};
  {
    FakeDriver device(handler, dir.string());
    ASSERT_TRUE(kDeviceTestAccess::Processor(device)->Active());
    handler.fRequestText = "<ReceiptPrinterManager/>";

    _int_OPEN_result opened;
    device.Pub_Open(handler, opened);
    EXPECT_FALSE(opened.Error);
    EXPECT_EQ(kDeviceTestAccess::Processor(device)->fProcessorHandle, 42);
    kDeviceTestAccess::IOHandler(device).FlushLog();
    std::ifstream log(device.LogFileName(), std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find(" - Processor:Open\r\n"), std::string::npos);

    _int_GETSTATUS_result status;
    device.Pub_GetStatus(handler, status);
    EXPECT_FALSE(status.Error);
    EXPECT_TRUE(status.DayOpened);
    EXPECT_EQ(status.SerialNumber, "PSN");
    EXPECT_EQ(status.FiscalMode, "MF");
    EXPECT_EQ(device.FiscalMode(), "MF");

    // A refused status leaves what the driver read.
    handler.fRequestText = "refuse";
    _int_GETSTATUS_result refused;
    device.Pub_GetStatus(handler, refused);
    EXPECT_FALSE(refused.Error);
    EXPECT_EQ(refused.SerialNumber, "SN1");
    EXPECT_EQ(kDeviceTestAccess::Processor(device)->ErrorMessage(), "status refused");
  }
  fs::remove_all(dir);
}

namespace {

// The recording driver, whose hook named in fThrowIn throws after recording its call, as a
// printer that stops answering half-way through a document makes a driver do.
class CopyDriver : public FakeDriver {
 public:
  using FakeDriver::FakeDriver;
  std::string fThrowIn;

  bool BeginNonFiscalReceipt(kNFReceipt& aDocument) override {
    return Throwing("BeginNonFiscalReceipt", FakeDriver::BeginNonFiscalReceipt(aDocument));
  }
  bool EndNonFiscalReceipt(kNFReceipt& aDocument) override {
    return Throwing("EndNonFiscalReceipt", FakeDriver::EndNonFiscalReceipt(aDocument));
  }

 private:
  bool Throwing(const std::string& aHook, bool aResult) {
    if (fThrowIn == aHook) throw kException("the printer stopped answering");
    return aResult;
  }
};

// A device of the recording driver with the test processor library, its journal and log in a
// scratch folder standing in for the host program's folder.
class ProcessorDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = fs::temp_directory_path() / ("fpprocdevice_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(fDir);
    fs::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.string().c_str(), 1);
    fHandler.Parameters = {std::string("processor=") + FP_TEST_PROCESSOR};
  }
  void TearDown() override {
    ::unsetenv("FPDRIVER_APP_DIR");
    fs::remove_all(fDir);
  }

  std::unique_ptr<CopyDriver> MakeDevice() {
    auto device = std::make_unique<CopyDriver>(fHandler, (fDir / "log").string());
    kDeviceTestAccess::SerialNumber(*device) = "SN1";  // as OPEN's status read leaves it
    return device;
  }

  fs::path fDir;
  kReceiptPrinterHandler fHandler;
};

}  // namespace

// The processor has taken the report (and for a Z closed the day) before its paper copy is
// printed: a copy the printer refuses at the opening, refuses at the closing or breaks off
// with an exception leaves the report taken, with its numbers and text, and the copy's failure
// named. Nothing is printed behind a refused opening.
TEST_F(ProcessorDeviceTest, ReportStaysTakenWhenItsPaperCopyFails) {
  struct Case {
    const char* hook;
    bool throws;  // else the printer refuses, with its reason recorded
    const char* errorText;
  } cases[] = {
      {"BeginNonFiscalReceipt", false,
       "The report was not printed: the printer refused to open its document (BeginNonFiscalReceipt failed)"},
      {"EndNonFiscalReceipt", false, "The paper copy of the report may be incomplete: EndNonFiscalReceipt failed"},
      {"EndNonFiscalReceipt", true, "the printer stopped answering"},
  };
  for (const Case& c : cases) {
    for (const bool closing : {false, true}) {
      SCOPED_TRACE(std::string(closing ? "Z, " : "X, ") + c.hook + (c.throws ? " throws" : " refused"));
      auto device = MakeDevice();
      if (c.throws)
        device->fThrowIn = c.hook;
      else
        device->fBehaviour[c.hook] = {false, true};
      fHandler.fRequestText = closing ? "<ZReport/>" : "<XReport/>";
      if (closing) {
        _int_PRINTZR_result r;
        EXPECT_NO_THROW(device->Pub_PrintZReport(fHandler, r));
        EXPECT_FALSE(r.Error);
        EXPECT_EQ(r.ErrorText, c.errorText);
        EXPECT_EQ(r.ZReportNumber, "8");
        EXPECT_EQ(r.DayTotalAmount, *Amount::Parse("100.25"));
        EXPECT_EQ(r.Text, "Z REPORT\nTotal 100,25");
      } else {
        _int_PRINTXR_result r;
        EXPECT_NO_THROW(device->Pub_PrintXReport(fHandler, r));
        EXPECT_FALSE(r.Error);
        EXPECT_EQ(r.ErrorText, c.errorText);
        EXPECT_EQ(r.XReportNumber, "7");
        EXPECT_EQ(r.EJClosingNumber, "7");
      }
      const auto lines = std::count(device->fCalls.begin(), device->fCalls.end(), "PrintNonFiscalTextLine");
      EXPECT_EQ(lines, c.hook == std::string("BeginNonFiscalReceipt") ? 0 : 2);
      EXPECT_EQ(device->fCalls.back(), c.hook);
    }
  }
}

// While another till's document has the printer, neither report is asked of the library: its
// paper copy could not come out inside that document. The host is told the printer is busy.
TEST_F(ProcessorDeviceTest, ReportWaitsForThePrinterBeforeTheLibraryIsAsked) {
  fs::create_directories(kDocumentJournal::DefaultFolder());
  kPrinterLock other(kDocumentJournal::DefaultFolder() + "/" + kDocumentJournal::LockFileName("SN1"));
  ASSERT_TRUE(other.Acquire(0));
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "Z" : "X");
    auto device = MakeDevice();
    int waited = 0;
    device->SetOutcomeWaits([&waited](int aMs) { waited += aMs; }, nullptr);
    fHandler.fRequestText = closing ? "<ZReport/>" : "<XReport/>";
    std::string number;
    if (closing) {
      _int_PRINTZR_result r;
      device->Pub_PrintZReport(fHandler, r);
      EXPECT_TRUE(r.Error);
      EXPECT_EQ(r.ErrorText, "The printer is busy with another document");
      number = r.ZReportNumber;
    } else {
      _int_PRINTXR_result r;
      device->Pub_PrintXReport(fHandler, r);
      EXPECT_TRUE(r.Error);
      EXPECT_EQ(r.ErrorText, "The printer is busy with another document");
      number = r.XReportNumber;
    }
    EXPECT_EQ(number, "");  // the library was not asked
    EXPECT_GT(waited, 0);
    EXPECT_TRUE(device->fCalls.empty());
  }
}

// A processor library that refuses to open fails the device's open with its message (or, when
// it gives none, with a text that says so).
TEST_F(ProcessorDeviceTest, RefusedProcessorOpenFailsTheOpen) {
  struct Case {
    const char* request;
    const char* errorText;
  } cases[] = {
      {"<ReceiptPrinterManager>refuse</ReceiptPrinterManager>", "open refused"},
      {"<ReceiptPrinterManager>silent</ReceiptPrinterManager>", "The processor library refused to open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    auto device = MakeDevice();
    fHandler.fRequestText = c.request;
    _int_OPEN_result opened;
    device->Pub_Open(fHandler, opened);
    EXPECT_TRUE(opened.Error);
    EXPECT_EQ(opened.ErrorText, c.errorText);
  }
}
