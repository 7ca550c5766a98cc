// The spooler and OPOS transports on Windows: without the printer or the control they exist
// for, each fails with its clear error, at once.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app_services/test_support.h"
#include "base/errors.h"
#include "io/spool_transport.h"
#include "request/device_handler.h"

namespace fp {
namespace {

constexpr char kNoPrinter[] = "fpdriver no such printer";

class WindowsSpooler : public ::testing::Test {
 protected:
  void SetUp() override {
    kConnection c;
    c.ConnectionType = vnConnectionType::Spool;
    c.PrinterName = kNoPrinter;
    fTransport = std::make_unique<kIOHandler_Spool>(c, fDir.Path(), "spool");
  }
  void TearDown() override { fTransport.reset(); }

  fp_test::ScratchDir fDir;
  std::unique_ptr<kIOHandler_Spool> fTransport;
};

TEST_F(WindowsSpooler, ARawWriteToAnUnknownPrinterAnswersFalseWithTheSystemsReason) {
  fTransport->OutputType = vnSpoolOutputType::Raw;
  EXPECT_TRUE(fTransport->Connect());
  EXPECT_FALSE(fTransport->Write("receipt text"));
  // The spooler's own code and text for a printer name it does not know.
  EXPECT_EQ(fTransport->ErrorMessage(),
            std::string("Printer ") + kNoPrinter + " can't be opened: Invalid printer name. (error 1801)");
  EXPECT_FALSE(fTransport->WriteBytes({0x1B, 0x40}));
  EXPECT_TRUE(fTransport->ErrorFound());  // so that the device reports the failed print
}

TEST_F(WindowsSpooler, APageForAnUnknownPrinterFailsWithItsName) {
  try {
    fTransport->Write("");
    ADD_FAILURE() << "a page went to a printer that is not installed";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()), std::string("kIOHandler_Spool.WriteNormal: Printer ") + kNoPrinter + " not found");
  }
}

TEST(WindowsOPOS, WithoutTheControlRegisteredNoTransportIsCreated) {
  kDeviceHandler h;
  h.Driver = "D";
  h.Connection.ConnectionType = vnConnectionType::OPOS;
  h.Connection.DeviceName = "FiscalPrinter1";
  try {
    h.CreateIOHandler("");
    ADD_FAILURE() << "an OPOS transport was created";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()),
              "OPOS Fiscal Printer control is not installed (OPOS.FiscalPrinter is not registered)");
  }
}

}  // namespace
}  // namespace fp
