// Host threads hammering the library's C interface: every export on several emulated printers
// at once, with CLOSE and OPEN racing the other calls on the same devices. Each answer is
// checked as a host relies on it; the first broken answer is kept for the report.
//
// Shared by the short run of the test suite and the long stress program.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <pugixml.hpp>

#include "base/text.h"
#include "fpemu/printer_emulator.h"
#include "support/host_client.h"

namespace fpstress {

using fp::test::Answer;
using fp::test::Library;

// What is wrong with an answer as a host reads it, or empty when nothing is: the fragment
// is well-formed and ends with its error tail, the result is -1 exactly when Error is True,
// and the error text equals ErrorText.
inline std::string CheckAnswer(const char* aExport, const Answer& aAnswer) {
  const std::string name = aExport;
  if (name == "VERSION") {
    if (aAnswer.result != 0) return "VERSION returned " + std::to_string(aAnswer.result);
    return {};
  }
  if (aAnswer.result != 0 && aAnswer.result != -1) return name + " returned " + std::to_string(aAnswer.result);
  if (!aAnswer.hasOutput || !aAnswer.hasError) return name + " left an output string null";
  pugi::xml_document doc;
  const std::string wrapped = "<r>" + aAnswer.output + "</r>";
  if (!doc.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default, pugi::encoding_utf8))
    return name + " answered a fragment that is not well-formed: " + aAnswer.output;
  const std::string tail = "</LogFileName>";
  if (aAnswer.output.size() < tail.size() ||
      aAnswer.output.compare(aAnswer.output.size() - tail.size(), tail.size(), tail) != 0)
    return name + " answered a fragment without its error tail: " + aAnswer.output;
  const pugi::xml_node root = doc.child("r");
  const std::string error = root.child("Error").text().as_string();
  if (error != "True" && error != "False") return name + " answered Error '" + error + "'";
  if ((aAnswer.result == -1) != (error == "True"))
    return name + " returned " + std::to_string(aAnswer.result) + " with Error " + error + ": " + aAnswer.output;
  if (aAnswer.error != root.child("ErrorText").text().as_string())
    return name + " returned the error text '" + aAnswer.error + "' beside ErrorText '" +
           root.child("ErrorText").text().as_string() + "'";
  return {};
}

struct StressOptions {
  const char* fLibraryPath = nullptr;
  int fThreads = 8;
  int fDevices = 4;
  int fCallsPerThread = 100;
  uint32_t fSeed = 1;
  std::filesystem::path fScratch;  // GETEJFILES writes below it
};

struct StressReport {
  long fCalls = 0;
  long fSucceeded = 0;
  long fOpens = 0;
  long fCloses = 0;
  long fBroken = 0;
  std::string fFirstBroken;
};

// The exports in the order of the interface, VERSION last.
inline constexpr const char* kExports[] = {
    "PRINTFR", "REPRINTFR", "PRINTXR", "PRINTZR", "PRINTNFR", "DISPLAY", "OPENDR", "GETSTATUS",
    "SET", "SETDATETIME", "OPEN", "GETDRSTATUS", "EJREPORT", "CLOSE", "GETVATTABLE", "SETVATTABLE",
    "GETDEPTTABLE", "SETDEPTTABLE", "PAY", "GETLOTTERYRCPTSTATUS", "GETEJFILES", "VERSION"};

// The document each export reads, as a host sends it.
inline std::string DocumentOf(const std::string& aExport, const std::filesystem::path& aScratch) {
  if (aExport == "PRINTFR")
    return "<Parameters><GetReceiptText>True</GetReceiptText></Parameters><Receipt><Type>Sale</Type><Lines>"
           "<productsale><Description>Pane</Description><Quantity>1</Quantity><Department>1</Department>"
           "<Price>1.5</Price><Amount>1.5</Amount></productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type>"
           "<Amount>2</Amount></Payment></Payments></Receipt>";
  if (aExport == "REPRINTFR" || aExport == "GETLOTTERYRCPTSTATUS")
    return "<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>2024-05-01T09:00:00</ReceiptDateTime>"
           "<ReceiptNumber>1</ReceiptNumber><ZReportNumber>1</ZReportNumber><LotteryIdCode>ABCD1234</LotteryIdCode>"
           "</ReceiptReference>";
  if (aExport == "PRINTXR") return "<XReport/>";
  if (aExport == "PRINTZR") return "<ZReport/>";
  if (aExport == "PRINTNFR")
    return "<NFReceipt><Lines><Text><Value>Buono</Value><Alignment>left</Alignment></Text></Lines></NFReceipt>";
  if (aExport == "DISPLAY")
    return "<Display><Clear>true</Clear><Lines><Text><Value>Benvenuti</Value><Alignment>left</Alignment></Text>"
           "</Lines></Display>";
  if (aExport == "OPENDR" || aExport == "GETDRSTATUS") return "<Drawer><Number>0</Number></Drawer>";
  if (aExport == "SETDATETIME") return "<Parameters><DateTime>2030-05-06T07:08:09</DateTime></Parameters>";
  if (aExport == "EJREPORT")
    return "<EJReport><ReportType>FiscalReceipt</ReportType><ReportDestination>Memory</ReportDestination><StartDate>2024-05-01T00:00:00</StartDate>"
           "<EndDate>2030-05-06T00:00:00</EndDate></EJReport>";
  if (aExport == "SETVATTABLE")
    return "<VATTable><Vat><Code>2200</Code><Rate>22</Rate></Vat><Vat><Code>1000</Code><Rate>10</Rate></Vat>"
           "</VATTable>";
  if (aExport == "SETDEPTTABLE")
    return "<DeptTable><Dept><Code>3</Code><Description>FRUTTA</Description><VATCode>1000</VATCode></Dept>"
           "</DeptTable>";
  if (aExport == "PAY") return "<Payment><Type>Cash</Type><Amount>1</Amount></Payment>";
  if (aExport == "GETEJFILES")
    return "<EJRequest><RequestType>xml</RequestType><StartDate>2024-05-01T00:00:00</StartDate><EndDate>2030-05-06T00:00:00</EndDate><OutputDir>" +
           aScratch.string() + "</OutputDir></EJRequest>";
  return {};
}

// Runs the stress and waits for it. Printers are emulated in this process, one per device;
// each device slot holds the handle in use, which CLOSE takes away and OPEN puts back.
inline StressReport RunThreadStress(const StressOptions& aOptions) {
  Library lib(aOptions.fLibraryPath);
  std::vector<std::unique_ptr<fp::emu::PrinterEmulator>> printers;
  for (int d = 0; d < aOptions.fDevices; ++d) {
    auto emu = std::make_unique<fp::emu::PrinterEmulator>();
    emu->Start();
    const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu->SetPaymentSlot(slot, table[slot - 1]);
    printers.push_back(std::move(emu));
  }
  auto connection = [&](int aDevice) {
    return "<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>stress" + std::to_string(aDevice) +
           "</LogId><Connection><Type>HTTP</Type><URL>" + printers[aDevice]->BaseUrl() + "</URL></Connection>";
  };
  auto request = [&](int aDevice, int aHandle, const std::string& aExport) {
    return "<ReceiptPrinterManager>" + connection(aDevice) + "<Handle>" + std::to_string(aHandle) + "</Handle>" +
           DocumentOf(aExport, aOptions.fScratch) + "</ReceiptPrinterManager>";
  };

  std::vector<std::atomic<int>> slots(aOptions.fDevices);
  for (auto& s : slots) s = 0;
  std::mutex reportLock;
  StressReport report;
  auto record = [&](const char* aExport, const Answer& aAnswer) {
    const std::string broken = CheckAnswer(aExport, aAnswer);
    std::lock_guard<std::mutex> lock(reportLock);
    ++report.fCalls;
    if (aAnswer.result == 0) ++report.fSucceeded;
    if (!broken.empty() && report.fBroken++ == 0) report.fFirstBroken = broken;
  };
  // OPEN puts a device into an empty slot; a slot taken meanwhile gets the new device closed.
  auto open = [&](int aDevice) {
    const Answer a = lib.Call("OPEN", request(aDevice, 0, "OPEN"));
    record("OPEN", a);
    if (a.result != 0) return;
    pugi::xml_document doc;
    const std::string wrapped = "<r>" + a.output + "</r>";
    doc.load_string(wrapped.c_str());
    const int handle = doc.child("r").child("Handle").text().as_int();
    int expected = 0;
    {
      std::lock_guard<std::mutex> lock(reportLock);
      ++report.fOpens;
    }
    if (!slots[aDevice].compare_exchange_strong(expected, handle))
      record("CLOSE", lib.Call("CLOSE", request(aDevice, handle, "CLOSE")));
  };

  for (int d = 0; d < aOptions.fDevices; ++d) open(d);

  std::vector<std::thread> threads;
  for (int t = 0; t < aOptions.fThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(aOptions.fSeed * 7919u + static_cast<uint32_t>(t));
      for (int i = 0; i < aOptions.fCallsPerThread; ++i) {
        const int device = static_cast<int>(random() % aOptions.fDevices);
        const char* name = kExports[random() % std::size(kExports)];
        const std::string exportName = name;
        if (exportName == "OPEN") {
          if (slots[device].load() == 0) open(device);
          else record("GETSTATUS", lib.Call("GETSTATUS", request(device, slots[device].load(), "GETSTATUS")));
        } else if (exportName == "CLOSE") {
          const int handle = slots[device].exchange(0);
          record("CLOSE", lib.Call("CLOSE", request(device, handle, "CLOSE")));
          if (handle > 0) {
            std::lock_guard<std::mutex> lock(reportLock);
            ++report.fCloses;
          }
        } else if (exportName == "VERSION") {
          record("VERSION", lib.Call("VERSION", "VNRP_TARVOLX40FPETH_10"));
        } else {
          // A closed device is opened again first, racing the other threads that find it so.
          if (slots[device].load() == 0) open(device);
          // The handle may be closed by another thread while this call runs: that is the race.
          record(name, lib.Call(name, request(device, slots[device].load(), exportName)));
        }
      }
    });
  }
  for (auto& th : threads) th.join();

  for (int d = 0; d < aOptions.fDevices; ++d) {
    const int handle = slots[d].exchange(0);
    if (handle > 0) record("CLOSE", lib.Call("CLOSE", request(d, handle, "CLOSE")));
  }

  // Once the racing stops, every device opens, answers and closes again: nothing was left
  // locked or half-registered.
  for (int d = 0; d < aOptions.fDevices; ++d) {
    open(d);
    const int handle = slots[d].exchange(0);
    const Answer status = lib.Call("GETSTATUS", request(d, handle, "GETSTATUS"));
    record("GETSTATUS", status);
    const Answer closed = lib.Call("CLOSE", request(d, handle, "CLOSE"));
    record("CLOSE", closed);
    if (handle <= 0 || status.result != 0 || closed.result != 0) {
      std::lock_guard<std::mutex> lock(reportLock);
      if (report.fBroken++ == 0) report.fFirstBroken = "device " + std::to_string(d) + " does not work after the stress: " + status.output;
    }
  }
  for (auto& p : printers) p->Stop();
  return report;
}

}  // namespace fpstress
