// The receipt tests' view of libfpdriver through its C interface (support/host_client.h): one
// device opened on the printer emulator of this process, with the requests built as text.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "fpemu/printer_emulator.h"
#include "support/host_client.h"

namespace fp::test {

// The data parts of the packets with letter aLetter, in arrival order.
inline std::vector<std::string> DataOf(const std::vector<emu::ReceivedPacket>& aPackets, const std::string& aLetter) {
  std::vector<std::string> out;
  for (const auto& p : aPackets)
    if (p.fLetter == aLetter) out.push_back(p.fData);
  return out;
}

inline std::string Letters(const std::vector<emu::ReceivedPacket>& aPackets) {
  std::string out;
  for (const auto& p : aPackets) out += p.fLetter;
  return out;
}

// One device opened through OPEN and known to the driver through GETSTATUS (its serial
// number decides how a refund names its original receipt).
class ReceiptAbiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = std::filesystem::temp_directory_path() / ("fp_receipts_" + std::to_string(::getpid()) + "_" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.c_str(), 1);
    emu.Start();
    const auto table = emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
    Answer a = lib.Call("OPEN",
                        "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>rcpt</LogId>"
                        "<Connection><Type>HTTP</Type><URL>" +
                            emu.BaseUrl() + "</URL></Connection></ReceiptPrinterManager>");
    ASSERT_EQ(a.result, 0) << a.error;
    fHandle = a.Get("Handle");
    a = lib.Call("GETSTATUS", Request(""));
    ASSERT_EQ(a.result, 0) << a.error;
    emu.ClearPackets();
    emu.ClearPaper();
  }
  void TearDown() override {
    lib.Call("CLOSE", Request(""));
    emu.Stop();
    std::error_code ec;
    std::filesystem::remove_all(fDir, ec);
  }

  std::string Request(const std::string& aBody, const std::string& aParams = "") const {
    return "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + fHandle +
           "</Handle><Parameters>" + aParams + "</Parameters>" + aBody + "</ReceiptPrinterManager>";
  }
  // A receipt of aType with the given inner parts (lines, payments, references...).
  static std::string Receipt(const std::string& aType, const std::string& aLines, const std::string& aPayments = "",
                             const std::string& aExtra = "") {
    return "<Receipt><Type>" + aType + "</Type>" + aExtra + "<Lines>" + aLines + "</Lines><Taxes/><Payments>" +
           aPayments + "</Payments></Receipt>";
  }
  static std::string Sale(const std::string& aDescription, const std::string& aQuantity, const std::string& aPrice,
                          const std::string& aAmount, const std::string& aExtra = "") {
    return "<productsale><Description>" + aDescription + "</Description><Quantity>" + aQuantity +
           "</Quantity><Department>1</Department><Price>" + aPrice + "</Price><Amount>" + aAmount + "</Amount>" +
           aExtra + "</productsale>";
  }
  static std::string Pay(const std::string& aType, const std::string& aAmount, const std::string& aExtra = "") {
    return "<Payment><Type>" + aType + "</Type><Amount>" + aAmount + "</Amount>" + aExtra + "</Payment>";
  }
  Answer PrintFR(const std::string& aReceipt, const std::string& aParams = "") {
    return lib.Call("PRINTFR", Request(aReceipt, aParams));
  }
  std::string LogText() const {
    std::string all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(fDir)) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path());
      all.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return all;
  }

  std::filesystem::path fDir;
  emu::PrinterEmulator emu;
  Library lib;
  std::string fHandle;
};

}  // namespace fp::test
