// The serial transport on Windows through the system's communications functions. Wine opens
// COM41 through $WINEPREFIX/dosdevices/com41, which run_serial_test.sh links to a
// pseudo-terminal whose other side serial_peer.py serves: it answers every line that ends
// in a carriage return with "GOT:" and the line's bytes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app_services/test_support.h"
#include "base/errors.h"
#include "io/com_port.h"
#include "io/serial_transports.h"
#include "support/serial_connection.h"

namespace fp {
namespace {

using test::SerialConnection;

class WindowsSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    fTransport = std::make_unique<kIOHandler_Serial>(SerialConnection(), fDir.Path(), "serial");
    fTransport->SetClock(test::SteppingClock());
    ASSERT_TRUE(fTransport->Connect()) << "COM41 is served by run_serial_test.sh";
  }
  void TearDown() override { fTransport.reset(); }
  bool Logged(const std::string& aEntry) {
    fTransport->FlushLog();
    return fp_test::ReadFile(fTransport->GetLogFileName()).find(" - " + aEntry + "\r\n") != std::string::npos;
  }

  fp_test::ScratchDir fDir;
  std::unique_ptr<kIOHandler_Serial> fTransport;
};

TEST_F(WindowsSerial, WritesInTheAnsiCodePageAndReadsUpToTheTerminator) {
  // "é" leaves as byte 0xE9 (code page 1252) and comes back as the character U+00E9.
  EXPECT_TRUE(fTransport->Write("PING \xC3\xA9\r"));
  EXPECT_EQ(fTransport->ReadUpTo({':'}), "GOT:");
  EXPECT_EQ(fTransport->ReadUpTo({0x03, 0x0D}), "PING \xC3\xA9\r");
  EXPECT_FALSE(fTransport->InputBufferContainsData());
  EXPECT_TRUE(Logged("Write:PING \xC3\xA9\\r"));  // the log escapes the CR
  EXPECT_TRUE(Logged("Read:GOT:"));
}

TEST_F(WindowsSerial, AReadWithoutAnAnswerEndsAtItsTimeout) {
  EXPECT_EQ(fTransport->ReadChars(3), "");
  EXPECT_EQ(fTransport->ReadUpTo({0x0D}), "");
  EXPECT_TRUE(Logged("ERROR - Read Timeout:"));
  // A partial answer ends the same way, with what came.
  EXPECT_TRUE(fTransport->Write("AB\r"));
  EXPECT_EQ(fTransport->ReadChars(10), "GOT:AB\r");
  EXPECT_TRUE(Logged("ERROR - Read Timeout:GOT:AB\\r"));
}

TEST(WindowsSerialPort, APortWithoutADeviceIsNoValidComPort) {
  kConnection c = SerialConnection();
  c.SerialPort = "COM199";
  kIOHandler_Serial t(c, "", "");
  try {
    t.Connect();
    ADD_FAILURE() << "COM199 opened";
  } catch (const TComPortException& e) {
    EXPECT_STREQ(e.what(), "COM199 is not a valid COM port.");
  }
  EXPECT_FALSE(t.Connected());
}

}  // namespace
}  // namespace fp
