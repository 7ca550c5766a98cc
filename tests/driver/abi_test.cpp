// The RT printer driver end to end through the library's C interface: the test loads
// libfpdriver.so, builds requests as BSTRs and drives one device from OPEN to CLOSE against
// the printer emulator running in this process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/text.h"
#include "fpemu/printer_emulator.h"
#include "../receipts/abi_client.h"

namespace {

using fp::test::Answer;
using fp::test::Library;

int Count(const std::vector<fp::emu::ReceivedPacket>& aPackets, const std::string& aLetter) {
  int n = 0;
  for (const auto& p : aPackets) n += p.fLetter == aLetter;
  return n;
}

}  // namespace

TEST(DriverAbi, OneDeviceFromOpenToClose) {
  const std::string dir = testing::TempDir() + "fp_driver_abi_" + std::to_string(::getpid());
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  fp::emu::PrinterEmulator emu;
  emu.Start();
  const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
  emu.SetVatSlot(4, {fp::Amount(), 3});
  for (int slot = 5; slot <= 12; ++slot) emu.SetVatSlot(slot, {fp::Amount::FromInt(22), 0});
  Library lib;

  const std::string open =
      "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Method>Open</Method><LogId>abi</LogId>"
      "<Connection><Type>HTTP</Type><URL>" + emu.BaseUrl() + "</URL></Connection></ReceiptPrinterManager>";
  Answer a = lib.Call("OPEN", open);
  ASSERT_EQ(a.result, 0) << a.error << a.output;
  const std::string handle = a.Get("Handle");
  EXPECT_EQ(handle, "1");
  auto packets = emu.Packets();
  EXPECT_EQ(Count(packets, "{"), 20);
  EXPECT_EQ(Count(packets, "E"), 0);
  EXPECT_EQ(packets.front().fLetter, "?");

  auto request = [&](const std::string& aBody, const std::string& aParams = "") {
    return "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + handle +
           "</Handle><Parameters>" + aParams + "</Parameters>" + aBody + "</ReceiptPrinterManager>";
  };

  a = lib.Call("GETSTATUS", request(""));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("SerialNumber"), "4ZRPV012345");
  EXPECT_EQ(a.Get("FirmwareVersion"), "1.02.07");
  EXPECT_EQ(a.Get("FiscalMode"), "RT");

  a = lib.Call("SETDATETIME", request("", "<DateTime>2030-05-06T07:08:09</DateTime>"));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("DateTime").substr(0, 16), "2030-05-06T07:08");

  emu.ClearPackets();
  a = lib.Call("OPENDR", request("<Drawer><Number>0</Number></Drawer>"));
  EXPECT_EQ(a.result, 0) << a.error;
  ASSERT_EQ(emu.Packets().size(), 1u);
  EXPECT_EQ(emu.Packets()[0].fData, "/1");

  emu.ClearPackets();
  a = lib.Call("DISPLAY", request("<Display><Clear>true</Clear><Lines><Text><Value>Benvenuti</Value>"
                                  "<Alignment>left</Alignment></Text></Lines></Display>"));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(emu.Packets().size(), 2u);
  EXPECT_EQ(emu.Snapshot().fDisplay.back().substr(0, 9), "Benvenuti");

  a = lib.Call("SET", request(""));
  EXPECT_EQ(a.result, 0) << a.error;
  struct Refusal {
    const char* exportName;
    std::string xml;
    const char* error;
  } refusals[] = {
      {"SET", request("", "<TrainingMode>true</TrainingMode>"), "Set this status directly on the RT - printer"},
      {"PAY", request("<Payment><Amount>10</Amount></Payment>"), "Driver does not support payment"},
      {"GETLOTTERYRCPTSTATUS", request("<ReceiptReference><ReceiptType>Sale</ReceiptType></ReceiptReference>"),
       "Driver does not support lottery receipt status"},
  };
  for (const auto& r : refusals) {
    a = lib.Call(r.exportName, r.xml);
    EXPECT_EQ(a.result, -1) << r.exportName;
    EXPECT_EQ(a.error, r.error) << r.exportName;
  }

  a = lib.Call("GETVATTABLE", request(""));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_NE(a.output.find("<Code>N4</Code>"), std::string::npos) << a.output;

  emu.ClearPackets();
  const std::string vats = "<VATTable><Vat><Code>2200</Code><Rate>22</Rate></Vat><Vat><Code>1000</Code><Rate>10</Rate>"
                           "</Vat><Vat><Code>0400</Code><Rate>4</Rate></Vat><Vat><Code>N4</Code><Rate>0</Rate></Vat>";
  a = lib.Call("SETVATTABLE", request(vats + "</VATTable>"));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(Count(emu.Packets(), "b"), 0);  // nothing changes
  a = lib.Call("SETVATTABLE", request(vats + "<Vat><Code>0500</Code><Rate>5</Rate></Vat></VATTable>"));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(Count(emu.Packets(), "b"), 1);
  EXPECT_EQ(emu.Snapshot().fVat[4].fRate, fp::Amount::FromInt(5));

  a = lib.Call("GETDEPTTABLE", request(""));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_NE(a.output.find("<Description>REPARTO 20</Description>"), std::string::npos);
  a = lib.Call("SETDEPTTABLE", request("<DeptTable><Dept><Code>3</Code><Description>FRUTTA</Description>"
                                       "<VATCode>0500</VATCode></Dept></DeptTable>"));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(emu.Snapshot().fDepartments[2].fDescription, "FRUTTA");
  EXPECT_EQ(emu.Snapshot().fDepartments[2].fVatSlot, 5);

  a = lib.Call("CLOSE", request(""));
  EXPECT_EQ(a.result, 0) << a.error;
  a = lib.Call("GETSTATUS", request(""));
  EXPECT_EQ(a.error, "Printer Handle not found");
  emu.Stop();
}
