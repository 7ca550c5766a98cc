// Shared fixture of the driver tests: the in-process printer emulator on loopback HTTP and a
// device built the way OPEN builds it (through the driver registry), with its pauses recorded
// instead of waited.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/errors.h"
#include "base/text.h"
#include "device/fiscal_printer_device.h"
#include "documents/enums.h"
#include "drivers/drivers.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "fpemu/printer_emulator.h"
#include "io/io_handler.h"
#include "io/io_handler_http.h"
#include "support/device_test_access.h"

namespace fp::test {

inline std::string DeviceXml(const std::string& aUrl, const std::string& aBody = "", const std::string& aParams = "",
                      const std::string& aConnectionType = "HTTP") {
  return "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>drv</LogId>"
         "<Connection><Type>" + aConnectionType + "</Type><URL>" + aUrl + "</URL><ConnectTimeout>2000</ConnectTimeout>"
         "<ReadTimeout>3000</ReadTimeout></Connection><Parameters>" + aParams + "</Parameters>" + aBody +
         "</ReceiptPrinterManager>";
}

inline kFiscalPrinterClass RegisteredDriver(const std::string& aName) {
  kFiscalPrinterClass found = nullptr;
  RegisterModelDrivers([&](const std::string& aRegistered, kFiscalPrinterClass aClass) {
    if (aRegistered == aName) found = aClass;
  });
  return found;
}

// Letters of the packets the printer received, for comparing sequences at a glance.
inline std::string Letters(const std::vector<emu::ReceivedPacket>& aPackets) {
  std::string out;
  for (const auto& p : aPackets) out += p.fLetter;
  return out;
}

inline int CountLetter(const std::vector<emu::ReceivedPacket>& aPackets, const std::string& aLetter) {
  int n = 0;
  for (const auto& p : aPackets) n += p.fLetter == aLetter;
  return n;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fLogDir = std::filesystem::temp_directory_path() /
              ("fp_driver_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(fLogDir);
    ::setenv("FPDRIVER_APP_DIR", fLogDir.c_str(), 1);
    emu.Start();
    // The printer already carries the driver's payment table unless a test says otherwise.
    const auto table = emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
  }
  void TearDown() override {
    device.reset();
    emu.Stop();
    std::error_code ec;
    std::filesystem::remove_all(fLogDir, ec);
  }

  // A request holder for aBody (the export's document) with the given documents parsed.
  std::unique_ptr<kReceiptPrinterHandler> Request(const std::string& aBody = "",
                                                  vnReceiptHandlerDocumentTypes aTypes = {},
                                                  const std::string& aParams = "") {
    auto h = std::make_unique<kReceiptPrinterHandler>();
    h->Deserialize(DeviceXml(emu.BaseUrl(), aBody, aParams), aTypes);
    return h;
  }

  // Creates the device as OPEN does and opens its transport; the start-up sequence is left
  // to the test.
  kFiscalPrinter_TARVOLX40FPETH& Open() {
    auto create = RegisteredDriver("VNRP_TARVOLX40FPETH_10");
    EXPECT_NE(create, nullptr);
    auto h = Request();
    auto dev = create(*h);
    device.reset(static_cast<kFiscalPrinter_TARVOLX40FPETH*>(dev.release()));
    device->SetSleeper([this](int ms) { pauses.push_back(ms); });
    _int_OPEN_result r;
    device->Pub_Open(*h, r);
    EXPECT_FALSE(r.Error) << r.ErrorText;
    return *device;
  }
  // As OPEN: the start-up sequence, the status read and the printer's document journal.
  kFiscalPrinter_TARVOLX40FPETH& OpenAndInit() {
    Open();
    EXPECT_TRUE(device->Init());
    _int_GETSTATUS_result status;
    device->Pub_GetStatus(*Request(), status);
    EXPECT_FALSE(status.Error) << status.ErrorText;
    device->OpenJournalAtStart();
    emu.ClearPackets();
    return *device;
  }

  std::vector<std::string> LogLines() {
    kDeviceTestAccess::IOHandler(*device).FlushLog();
    std::ifstream in(kDeviceTestAccess::IOHandler(*device).GetLogFileName());
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  bool LogHas(const std::string& aText) {
    for (const auto& l : LogLines())
      if (l.find(aText) != std::string::npos) return true;
    return false;
  }

  std::filesystem::path fLogDir;
  emu::PrinterEmulator emu;
  std::unique_ptr<kFiscalPrinter_TARVOLX40FPETH> device;
  std::vector<int> pauses;
};

}  // namespace fp::test
