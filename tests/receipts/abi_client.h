// A host's view of libfpdriver for the tests that go through its C interface: the library
// loaded with dlopen and its answers, and for the receipt tests one device opened on the
// printer emulator of this process, with the requests built as text.
#pragma once

#include <dlfcn.h>
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

namespace fp::test {

struct Answer {
  int16_t result = 0;
  std::string output;
  std::string error;

  // The text of the first element aName of the result fragment.
  std::string Get(const std::string& aName) const {
    const std::string open = "<" + aName + ">", close = "</" + aName + ">";
    const size_t start = output.find(open);
    if (start == std::string::npos) return "<missing " + aName + ">";
    const size_t end = output.find(close, start);
    if (end == std::string::npos) return "<missing " + aName + ">";
    return output.substr(start + open.size(), end - start - open.size());
  }
  // The Line elements of the result's Text, in order.
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (size_t at = output.find("<Line>"); at != std::string::npos; at = output.find("<Line>", at)) {
      const size_t end = output.find("</Line>", at);
      if (end == std::string::npos) break;
      out.push_back(output.substr(at + 6, end - at - 6));
      at = end;
    }
    return out;
  }
};

class Library {
 public:
  using Bstr = char16_t*;
  Library() {
    fHandle = dlopen(FPDRIVER_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    if (fHandle == nullptr) throw std::runtime_error(dlerror());
    fAllocLen = reinterpret_cast<Bstr (*)(const char16_t*, unsigned)>(dlsym(fHandle, "SysAllocStringLen"));
    fFree = reinterpret_cast<void (*)(Bstr)>(dlsym(fHandle, "SysFreeString"));
    fLen = reinterpret_cast<unsigned (*)(Bstr)>(dlsym(fHandle, "SysStringLen"));
  }
  Answer Call(const char* aExport, const std::string& aXml) {
    using Export = int16_t (*)(Bstr, Bstr*, Bstr*);
    auto fn = reinterpret_cast<Export>(dlsym(fHandle, aExport));
    if (fn == nullptr) throw std::runtime_error(std::string("missing export ") + aExport);
    const std::u16string text = Utf8ToUtf16(aXml);
    Bstr xml = fAllocLen(text.data(), static_cast<unsigned>(text.size()));
    Bstr out = nullptr, err = nullptr;
    Answer a;
    a.result = fn(xml, &out, &err);
    a.output = Text(out);
    a.error = Text(err);
    fFree(xml);
    fFree(out);
    fFree(err);
    return a;
  }

 private:
  std::string Text(Bstr aText) { return aText ? Utf16ToUtf8(std::u16string_view(aText, fLen(aText))) : ""; }
  void* fHandle = nullptr;
  Bstr (*fAllocLen)(const char16_t*, unsigned) = nullptr;
  void (*fFree)(Bstr) = nullptr;
  unsigned (*fLen)(Bstr) = nullptr;
};

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
