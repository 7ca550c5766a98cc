// Open devices through the C interface: handle numbering, CLOSE, the payment device and
// parallel calls, against printer emulators on loopback HTTP.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "abi_library.h"
#include "fpemu/printer_emulator.h"

namespace {

using namespace abitest;

const std::string kDriver = "<Driver>VNRP_TARVOLX40FPETH_10</Driver>";

// An emulated printer already programmed as the driver wants it, so OPEN only reads.
class Printer {
 public:
  Printer() {
    fEmu.Start();
    const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) fEmu.SetPaymentSlot(slot, table[slot - 1]);
  }
  std::string OpenRequest(const std::string& aMore = "") const {
    return "<ReceiptPrinterManager>" + kDriver + "<LogId>entry</LogId><Connection><Type>HTTP</Type><URL>" +
           fEmu.BaseUrl() + "</URL></Connection>" + aMore + "</ReceiptPrinterManager>";
  }
  fp::emu::PrinterEmulator fEmu;
};

std::string Request(int aHandle, const std::string& aMore = "") {
  return "<ReceiptPrinterManager>" + kDriver + "<Handle>" + std::to_string(aHandle) + "</Handle>" + aMore +
         "</ReceiptPrinterManager>";
}

int Open(const Printer& aPrinter, const std::string& aMore = "") {
  Answer a = Library::Get().Call("OPEN", aPrinter.OpenRequest(aMore));
  EXPECT_EQ(a.result, 0) << a.error << "\n" << a.output;
  EXPECT_EQ(a.error, "");
  return std::atoi(a.Get("Handle").c_str());
}

// Each test runs in a process of its own (ctest), so the first handle is 1.
TEST(AbiDevices, HandlesAreOneTwoThenThreeAfterAClose) {
  Printer printer;
  EXPECT_EQ(Open(printer), 1);
  EXPECT_EQ(Open(printer), 2);
  Answer closed = Library::Get().Call("CLOSE", Request(1));
  EXPECT_EQ(closed.result, 0) << closed.error;
  EXPECT_NE(closed.Get("LogFileName"), "");
  EXPECT_EQ(Open(printer), 3);

  EXPECT_EQ(Library::Get().Call("GETSTATUS", Request(1)).error, "Printer Handle not found");
  Answer status = Library::Get().Call("GETSTATUS", Request(2));
  EXPECT_EQ(status.result, 0) << status.error;
  EXPECT_EQ(status.Get("FiscalMode"), "RT");
  for (int h : {2, 3}) EXPECT_EQ(Library::Get().Call("CLOSE", Request(h)).result, 0);
}

TEST(AbiDevices, PaymentWithoutHandleUsesUpAHandleButKeepsNoDevice) {
  Printer printer;
  EXPECT_EQ(Open(printer), 1);
  Answer pay = Library::Get().Call(
      "PAY", "<ReceiptPrinterManager>" + kDriver + "<Connection><Type>HTTP</Type><URL>" + printer.fEmu.BaseUrl() +
                 "</URL></Connection><Payment><Amount>1</Amount></Payment></ReceiptPrinterManager>");
  EXPECT_NE(pay.Get("LogFileName"), "") << pay.output;
  EXPECT_EQ(Library::Get().Call("GETSTATUS", Request(2)).error, "Printer Handle not found");
  EXPECT_EQ(Open(printer), 3);
  for (int h : {1, 3}) EXPECT_EQ(Library::Get().Call("CLOSE", Request(h)).result, 0);
}

TEST(AbiDevices, TwoDevicesServeThreadsInParallel) {
  Printer first;
  Printer second;
  const int handles[] = {Open(first), Open(second)};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        Answer a = Library::Get().Call("GETSTATUS", Request(handles[t % 2]));
        if (a.result != 0 || a.Get("SerialNumber").empty()) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
  for (int h : handles) EXPECT_EQ(Library::Get().Call("CLOSE", Request(h)).result, 0);
}

#ifdef FP_TEST_PROCESSOR
// On a Greek (1253) code page the processor library gets the texts of the printing exports
// with an ISO-8859-7 declaration in front (its Z report says so in its text); the requests
// themselves are read as the host wrote them, with or without a declaration of their own.
TEST(AbiDevices, GreekCodePageDeclaresTheProcessorsTextAndKeepsRequestsReadable) {
  setenv("FPDRIVER_ACP", "1253", 1);
  Library& lib = Library::Get();
  for (const char* exportName : {"PRINTZR", "PRINTXR"})
    EXPECT_EQ(lib.Call(exportName, Request(0, "<ZReport/><XReport/>")).error, "Fiscal Printer has not previously opened")
        << exportName;

  Printer printer;
  const int h = Open(printer, "<Parameters><Processor>" FP_TEST_PROCESSOR "</Processor></Parameters>");
  const std::string declared = "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + Request(h, "<ZReport/>");
  for (const std::string& z : {Request(h, "<ZReport/>"), declared}) {
    const Answer a = lib.Call("PRINTZR", z);
    EXPECT_EQ(a.result, 0) << a.error;
    EXPECT_NE(a.Get("Text").find("ISO-8859-7"), std::string::npos) << a.output;
  }
  const Answer x = lib.Call("PRINTXR", Request(h, "<XReport/>"));
  EXPECT_EQ(x.result, 0) << x.error;
  EXPECT_EQ(x.Get("XReportNumber"), "7") << x.output;  // the processor's report
  EXPECT_EQ(lib.Call("CLOSE", Request(h)).result, 0);
}
#endif

}  // namespace
