// The request frame with devices: the handle table, the OPEN / CLOSE / PAY steps, the
// request text handed to the processor and the per-device lock, over a recording model driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../device/fake_driver.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "device/fiscal_processor_caller.h"
#include "entry/fiscal_printers.h"
#include "entry/request_frame.h"
#include "support/frame_client.h"
#include "support/device_test_access.h"

namespace fp {
namespace {

std::string LogDir() { return testing::TempDir() + "fpdriver_entry_logs"; }

// Drivers that misbehave in one chosen place.
// A transport whose connection fails and records why, so that Pub_Open reports an error.
class FailingOpenTransport : public test::FakeTransport {
 public:
  using FakeTransport::FakeTransport;
  bool Connect() override {
    FakeTransport::Connect();
    SetCustomError(9, "Connect refused");
    return false;
  }
};

class FailingOpenDriver : public test::FakeDriver {
 public:
  explicit FailingOpenDriver(kReceiptPrinterHandler& aHandler) : FakeDriver(aHandler, LogDir()) {
    kDeviceTestAccess::Transport(*this) = std::make_unique<FailingOpenTransport>(fCalls, LogDir(), "FailingOpen_test");
    // A failure recorded before the first operation does not count: each operation starts clean.
    IOHandler().SetCustomError(8, "left from construction");
  }
};

class ThrowingDriver : public test::FakeDriver {
 public:
  explicit ThrowingDriver(kReceiptPrinterHandler& aHandler) : FakeDriver(aHandler, LogDir()) {}
  bool Init() override { throw kException("Init <failed>"); }
  bool GetPrinterStatus(vnPrinterStatus&) override {
    if (fThrowOnStatus) throw kException("status exploded");
    return true;
  }
  bool fThrowOnStatus = false;
};

// A transport whose disconnection fails, so that Pub_Close reports an error.
class FailingCloseTransport : public test::FakeTransport {
 public:
  using FakeTransport::FakeTransport;
  bool Disconnect() override {
    FakeTransport::Disconnect();
    SetCustomError(5, "Disconnect failed");
    return false;
  }
};

class FailingCloseDriver : public test::FakeDriver {
 public:
  explicit FailingCloseDriver(kReceiptPrinterHandler& aHandler) : FakeDriver(aHandler, LogDir()) {
    kDeviceTestAccess::Transport(*this) = std::make_unique<FailingCloseTransport>(fCalls, LogDir(), "FailingClose_test");
  }
};

// A processor that takes every request and notes the text it was given.
class RecordingProcessor : public kFiscalProcessorCaller {
 public:
  explicit RecordingProcessor(std::vector<std::string>& aSeen) : fSeen(aSeen) { fActive = true; }
  bool OpenProcessor(const std::string& aXml) override { return Note(aXml); }
  bool ProcessXReport(const std::string& aInXml, vnFiscalCounters&) override { return Note(aInXml); }
  bool ProcessZReport(const std::string& aInXml, vnFiscalCounters&) override { return Note(aInXml); }
  void ProcessGetStatus(const std::string& aInXml, bool&, DateTime&, bool&, std::string&, std::string&,
                        std::string&) override {
    Note(aInXml);
  }

 private:
  bool Note(const std::string& aXml) {
    fSeen.push_back(aXml);
    return true;
  }
  std::vector<std::string>& fSeen;
};

class RecordingDriver : public test::FakeDriver {
 public:
  explicit RecordingDriver(kReceiptPrinterHandler& aHandler) : FakeDriver(aHandler, LogDir()) {
    kDeviceTestAccess::Processor(*this) = std::make_unique<RecordingProcessor>(fProcessorSeen);
  }
  std::vector<std::string> fProcessorSeen;
};

template <class T>
std::unique_ptr<kFiscalPrinterDevice> Make(kReceiptPrinterHandler& aHandler) {
  return std::make_unique<T>(aHandler);
}
std::unique_ptr<kFiscalPrinterDevice> MakeFake(kReceiptPrinterHandler& aHandler) {
  return std::make_unique<test::FakeDriver>(aHandler, LogDir());
}

using test::Answer;
using test::CallFrame;

std::string Request(const std::string& aDriver, int aHandle, const std::string& aMore = "") {
  return "<ReceiptPrinterManager><Driver>" + aDriver + "</Driver><Handle>" + std::to_string(aHandle) + "</Handle>" +
         aMore + "</ReceiptPrinterManager>";
}

int Open(const std::string& aDriver = "FAKE") {
  Answer a = CallFrame(vnExport::OPEN, Request(aDriver, 0));
  EXPECT_EQ(a.result, 0) << a.output;
  return std::atoi(a.Get("Handle").c_str());
}

// The device behind a handle, for looking at what the frame did to it.
template <class T = test::FakeDriver>
T& DeviceOf(int aHandle) {
  kDeviceLease lease = DriverState().FiscalPrinters.Acquire(aHandle);
  if (!lease) throw std::runtime_error("no device " + std::to_string(aHandle));
  return dynamic_cast<T&>(lease.Device());
}

class FrameWithDevices : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("FPDRIVER_APP_DIR", testing::TempDir().c_str(), 1);
    kFiscalPrinterDrivers& drivers = DriverState().FiscalPrinterDrivers;
    drivers.Add("FAKE", &MakeFake);
    drivers.Add("FAILING_OPEN", &Make<FailingOpenDriver>);
    drivers.Add("THROWING", &Make<ThrowingDriver>);
    drivers.Add("FAILING_CLOSE", &Make<FailingCloseDriver>);
    drivers.Add("RECORDING", &Make<RecordingDriver>);
  }
  void SetUp() override { unsetenv("FPDRIVER_ACP"); }
};

TEST_F(FrameWithDevices, HandlesCountUpAndAreNeverGivenTwice) {
  const int first = Open();
  ASSERT_GT(first, 0);
  EXPECT_EQ(Open(), first + 1);
  Answer closed = CallFrame(vnExport::CLOSE, Request("", first));
  EXPECT_EQ(closed.result, 0) << closed.output;
  EXPECT_EQ(Open(), first + 2);

  Answer again = CallFrame(vnExport::GETSTATUS, Request("", first));
  EXPECT_EQ(again.error, "Printer Handle not found");
  EXPECT_EQ(CallFrame(vnExport::CLOSE, Request("", first)).error, "Printer Handle not found");
}

TEST_F(FrameWithDevices, CloseThatReportsAnErrorStillFreesTheDevice) {
  const int h = Open("FAILING_CLOSE");
  const size_t devices = DriverState().FiscalPrinters.Count();
  Answer closed = CallFrame(vnExport::CLOSE, Request("", h));
  EXPECT_EQ(closed.result, -1);
  EXPECT_EQ(closed.error, "Disconnect failed");
  EXPECT_NE(closed.Get("LogFileName"), "");
  EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices - 1);
  EXPECT_EQ(CallFrame(vnExport::GETSTATUS, Request("", h)).error, "Printer Handle not found");
}

TEST_F(FrameWithDevices, OpenOfAnOpenHandleReturnsThatHandle) {
  const int h = Open();
  const size_t devices = DriverState().FiscalPrinters.Count();
  Answer a = CallFrame(vnExport::OPEN, Request("FAKE", h));
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(a.Get("Handle"), std::to_string(h));
  EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices);
}

TEST_F(FrameWithDevices, OpenFollowUpInitialisesAndRefreshesTheDevice) {
  const int h = Open();
  const std::vector<std::string>& calls = DeviceOf(h).fCalls;
  std::vector<std::string> tail(calls.end() - 3, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Init", "GetPrinterStatus", "ReadVatTable"}));
  EXPECT_EQ(DeviceOf(h).SerialNumber(), "SN1");  // kept by the status refresh
}

TEST_F(FrameWithDevices, FailedOpenFreesTheDeviceItCouldNeverReport) {
  const size_t devices = DriverState().FiscalPrinters.Count();
  const int32_t last = DriverState().FiscalPrinters.LastHandle();
  Answer a = CallFrame(vnExport::OPEN, Request("FAILING_OPEN", 0));
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error, "Connect refused");
  EXPECT_EQ(a.Get("Handle"), "0");
  EXPECT_NE(a.Get("LogFileName"), "");
  EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices);
  // The handle it had is used up all the same.
  EXPECT_EQ(DriverState().FiscalPrinters.LastHandle(), last + 1);
  EXPECT_EQ(CallFrame(vnExport::GETSTATUS, Request("", last + 1)).error, "Printer Handle not found");
}

TEST_F(FrameWithDevices, FailureInTheOpenFollowUpKeepsTheOpenDevice) {
  Answer a = CallFrame(vnExport::OPEN, Request("THROWING", 0));
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(a.Get("Error"), "False");
  EXPECT_EQ(a.error, "Init <failed>");
  EXPECT_EQ(a.Get("ErrorText"), "Init &lt;failed&gt;");
  const int h = std::atoi(a.Get("Handle").c_str());
  ASSERT_GT(h, 0);
  const std::string logFile = a.Get("LogFileName");
  ASSERT_NE(logFile, "");

  kDeviceTestAccess::IOHandler(DeviceOf<ThrowingDriver>(h)).FlushLog();
  std::ifstream log(logFile);
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("Init <failed>"), std::string::npos) << text.str();
  EXPECT_EQ(CallFrame(vnExport::CLOSE, Request("", h)).result, 0);
}

TEST_F(FrameWithDevices, ExceptionInAnOperationNamesTheDeviceLog) {
  const int h = Open("THROWING");
  DeviceOf<ThrowingDriver>(h).fThrowOnStatus = true;
  Answer a = CallFrame(vnExport::GETSTATUS, Request("", h));
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error, "status exploded");
  EXPECT_NE(a.Get("LogFileName"), "");
  EXPECT_EQ(a.Get("DayOpened"), "False");  // the start values stay
}

TEST_F(FrameWithDevices, RecordedErrorsDoNotLeakIntoTheNextCall) {
  const int h = Open();
  DeviceOf(h).fBehaviour["GetPrinterStatus"].recordError = true;
  Answer failed = CallFrame(vnExport::GETSTATUS, Request("", h));
  EXPECT_EQ(failed.result, -1);
  EXPECT_EQ(failed.error, "GetPrinterStatus failed");
  DeviceOf(h).fBehaviour["GetPrinterStatus"].recordError = false;
  Answer ok = CallFrame(vnExport::GETSTATUS, Request("", h));
  EXPECT_EQ(ok.result, 0) << ok.output;
  EXPECT_EQ(ok.error, "");
  EXPECT_EQ(ok.Get("DayOpened"), "True");
}

TEST_F(FrameWithDevices, PaymentWithoutHandleLeavesNoDeviceBehind) {
  const size_t devices = DriverState().FiscalPrinters.Count();
  Answer a = CallFrame(vnExport::PAY, Request("FAKE", 0, "<Payment><Amount>1.5</Amount></Payment>"));
  EXPECT_NE(a.Get("LogFileName"), "") << a.output;
  EXPECT_EQ(DriverState().FiscalPrinters.Count(), devices);
}

TEST_F(FrameWithDevices, TheProcessorGetsTheRequestTextOfTheCall) {
  const int h = Open("RECORDING");
  std::vector<std::string>& seen = DeviceOf<RecordingDriver>(h).fProcessorSeen;
  ASSERT_EQ(seen.size(), 2u);  // OPEN: the open and its status read
  EXPECT_EQ(seen[0], Request("RECORDING", 0));
  EXPECT_EQ(seen[1], Request("RECORDING", 0));

  const std::string status = Request("", h, "<Parameters><Mark>status</Mark></Parameters>");
  CallFrame(vnExport::GETSTATUS, status);
  EXPECT_EQ(seen.back(), status);

  // A code page in the request: the processor gets the re-written text.
  const std::string greek = Request("FAKE", h, "\n<Parameters><CP>gr</CP></Parameters>\n<XReport/>");
  CallFrame(vnExport::PRINTXR, greek);
  EXPECT_EQ(seen.back(), Request("FAKE", h, "<Parameters><CP>gr</CP></Parameters><XReport/>"));
}

TEST_F(FrameWithDevices, GreekCodePagePrefixesTheKeptText) {
  const int h = Open("RECORDING");
  std::vector<std::string>& seen = DeviceOf<RecordingDriver>(h).fProcessorSeen;
  // Windows takes the ANSI code page from the system locale, which a process can't change:
  // the Windows run gives this case a Greek locale (tests/entry/CMakeLists.txt).
  setenv("FPDRIVER_ACP", "1253", 1);
  ASSERT_EQ(AnsiCodePage(), 1253) << "this case needs the Greek ANSI code page";
  const std::string z = Request("", h, "<ZReport/>");
  CallFrame(vnExport::PRINTZR, z);
  EXPECT_EQ(seen.back(), std::string(kGreekDeclaration) + z);
  // Put in front even of a request that has its own declaration.
  const std::string declared = "<?xml version=\"1.0\"?>" + z;
  CallFrame(vnExport::PRINTZR, declared);
  EXPECT_EQ(seen.back(), std::string(kGreekDeclaration) + declared);
  const std::string x = Request("", h, "<XReport/>");
  CallFrame(vnExport::PRINTXR, x);
  EXPECT_EQ(seen.back(), x);
}

TEST_F(FrameWithDevices, WaitingForABusyDeviceEndsWithAnError) {
  const int h = Open();
  kFiscalPrinters& table = DriverState().FiscalPrinters;
  {
    kDeviceLease busy = table.Acquire(h);
    ASSERT_TRUE(busy);
    try {
      table.Acquire(h, std::chrono::milliseconds(0));
      ADD_FAILURE() << "a busy device was handed out twice";
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), "Fiscal Printer is busy with another request");
    }
  }
  EXPECT_TRUE(table.Acquire(h, std::chrono::milliseconds(0)));  // free again once left
  EXPECT_EQ(CallFrame(vnExport::CLOSE, Request("", h)).result, 0);
}

TEST_F(FrameWithDevices, CallsOnOneDeviceTakeTurnsAndCloseMayRaceThem) {
  const int h = Open();
  std::atomic<int> unexpected{0};
  std::atomic<int> succeeded{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        Answer a = CallFrame(vnExport::GETSTATUS, Request("", h));
        if (a.result == 0) {
          ++succeeded;
        } else if (a.error != "Printer Handle not found") {
          ++unexpected;
        }
      }
    });
  }
  threads.emplace_back([&] {
    while (succeeded < 20) std::this_thread::yield();
    if (CallFrame(vnExport::CLOSE, Request("", h)).result != 0) ++unexpected;
  });
  for (auto& th : threads) th.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_GE(succeeded, 20);
  EXPECT_EQ(CallFrame(vnExport::GETSTATUS, Request("", h)).error, "Printer Handle not found");
}

}  // namespace
}  // namespace fp
