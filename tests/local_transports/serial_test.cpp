// The serial transport against a pseudo-terminal: the transport opens the terminal's slave
// side as COMn (through FPDRIVER_COMn) and the test plays the device on the master side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "base/errors.h"
#include "io/com_port.h"
#include "request/device_handler.h"
#include "io/serial_transports.h"
#include "../io/io_test_support.h"
#include "support/serial_connection.h"

namespace fp {
namespace {

constexpr uint32_t kPortNumber = test::kSerialPortNumber;
using test::SerialConnection;
using test::SteppingClock;

// A pseudo-terminal standing in for the device on COM41.
class Pty {
 public:
  Pty() {
    char name[256];
    int slave = -1;
    if (::openpty(&fMaster, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    // The transport opens the slave by name; the test's own slave descriptor would only
    // keep the line alive after the transport closes it.
    ::close(slave);
    fSlaveName = name;
    ::setenv(("FPDRIVER_COM" + std::to_string(kPortNumber)).c_str(), fSlaveName.c_str(), 1);
  }
  ~Pty() {
    if (fWatch >= 0) ::close(fWatch);
    if (fMaster >= 0) ::close(fMaster);
    ::unsetenv(("FPDRIVER_COM" + std::to_string(kPortNumber)).c_str());
  }

  void Send(const std::string& aBytes) { ASSERT_EQ(::write(fMaster, aBytes.data(), aBytes.size()), ssize_t(aBytes.size())); }
  // What the transport wrote, collected until aCount bytes came or the line stays quiet.
  std::string Receive(size_t aCount) {
    std::string out;
    while (out.size() < aCount) {
      pollfd p{fMaster, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) break;
      char buf[256];
      const ssize_t n = ::read(fMaster, buf, std::min(sizeof(buf), aCount - out.size()));
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  termios Settings() const {
    termios t{};
    ::tcgetattr(fMaster, &t);  // a master answers with its slave's settings
    return t;
  }
  void Hangup() {
    ::close(fMaster);
    fMaster = -1;
  }
  // A descriptor of the slave side of the test's own, opened before the transport takes the
  // line for itself: the line's input queue is one for both, so it turns readable once bytes
  // sent from this side have reached the queue the transport reads.
  void WatchInput() {
    fWatch = ::open(fSlaveName.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fWatch, 0) << fSlaveName;
  }
  // Whether input reached the line within a bound.
  bool InputArrived() {
    pollfd p{fWatch, POLLIN, 0};
    return ::poll(&p, 1, 2000) > 0 && (p.revents & POLLIN) != 0;
  }

 private:
  int fMaster = -1;
  int fWatch = -1;
  std::string fSlaveName;
};

class SerialTransport : public ::testing::Test {
 protected:
  void Open(const kConnection& aConnection) {
    fTransport = std::make_unique<kIOHandler_Serial>(aConnection, fDir.Path(), "serial");
    fTransport->SetClock(SteppingClock());
    ASSERT_TRUE(fTransport->Connect());
  }
  std::vector<std::string> Log() {
    fTransport->FlushLog();
    return test::ReadLogEntries(fTransport->GetLogFileName());
  }
  bool Logged(const std::string& aEntry) {
    const auto entries = Log();
    return std::find(entries.begin(), entries.end(), aEntry) != entries.end();
  }

  test::TempDir fDir;
  Pty fPty;
  std::unique_ptr<kIOHandler_Serial> fTransport;
};

TEST_F(SerialTransport, ConnectAppliesTheLineSettingsAndLogsThem) {
  const struct {
    int32_t speed, dataBits;
    vnParity parity;
    int32_t stopBits;
    speed_t baud;
    bool odd, twoStops;
    const char* parityLine;
  } cases[] = {
      {9600, 8, vnParity::None, 1, B9600, false, false, "Parity=none"},
      {19200, 7, vnParity::Even, 2, B19200, false, true, "Parity=even"},
      {115200, 8, vnParity::Odd, 1, B115200, true, false, "Parity=odd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speed);
    Open(SerialConnection(c.speed, c.dataBits, c.parity, c.stopBits));
    const termios t = fPty.Settings();
    EXPECT_EQ(cfgetospeed(&t), c.baud);
    // A pseudo-terminal always reports 8 data bits and no parity enable, but keeps the
    // speed, the stop bits and the odd flag.
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u) << "the line must be raw";
    const auto log = Log();
    const std::vector<std::string> header = {
        "kIOHandler_Serial", "", "ConnectTimeout=1000", "ReadTimeout=300", "Serial Driver Version: 1.0",
        "SerialPort=COM41", "Speed=" + std::to_string(c.speed), c.parityLine,
        "DataBits=" + std::to_string(c.dataBits), "StopBits=" + std::to_string(c.stopBits)};
    auto at = std::search(log.begin(), log.end(), header.begin(), header.end());
    EXPECT_NE(at, log.end()) << "connection header missing";
    EXPECT_TRUE(fTransport->Disconnect());
    EXPECT_FALSE(fTransport->Connected());
  }
}

TEST_F(SerialTransport, WriteSendsTheTextInTheAnsiCodePage) {
  Open(SerialConnection());
  EXPECT_TRUE(fTransport->Write("AB\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"));  // A B é € 中
  // Code page 1252: é is 0xE9, € is 0x80, a character outside it goes out as "?".
  EXPECT_EQ(fPty.Receive(5), "AB\xE9\x80?");
  EXPECT_TRUE(Logged("Write:AB\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"));
}

TEST_F(SerialTransport, ReadUpToStopsAtTheTerminatorAndLeavesTheRest) {
  Open(SerialConnection());
  fPty.Send("AB\rC");
  EXPECT_EQ(fTransport->ReadUpTo({0x03, 0x0D}), "AB\r");
  EXPECT_EQ(fTransport->ReadChars(1), "C");
  EXPECT_TRUE(Logged("Waiting for:\\x03,\\r"));
  EXPECT_TRUE(Logged("Read:AB\\r"));
  EXPECT_TRUE(Logged("Read:C"));
}

TEST_F(SerialTransport, ADeviceStillSendingKeepsReadUpToGoingPastItsTimeout) {
  Open(SerialConnection());
  // 30 bytes at 50 ms of the stepping clock each are well past the 300 ms read timeout,
  // but the time only counts once a read brings nothing.
  const std::string answer = std::string(30, 'a') + "\r";
  fPty.Send(answer);
  EXPECT_EQ(fTransport->ReadUpTo({0x0D}), answer);
  EXPECT_TRUE(Logged("Read:" + std::string(30, 'a') + "\\r"));  // the log escapes the CR
}

TEST_F(SerialTransport, ReadsEndAsTimeoutsWithWhatCame) {
  Open(SerialConnection());
  fPty.Send("XYZ");
  EXPECT_EQ(fTransport->ReadChars(5), "XYZ");
  fPty.Send("\xFF" "A");
  EXPECT_EQ(fTransport->ReadUpTo({0x0D}), "\xC3\xBF" "A");  // byte 0xFF is the character U+00FF
  EXPECT_EQ(fTransport->ReadChars(2), "");
  EXPECT_TRUE(Logged("ERROR - Read Timeout:XYZ"));
  EXPECT_TRUE(Logged("ERROR - Read Timeout:\xC3\xBF" "A"));
  EXPECT_TRUE(Logged("ERROR - Read Timeout:"));
}

TEST_F(SerialTransport, HexLogDumpsTerminatorsAndData) {
  Open(SerialConnection());
  fTransport->SetHexLog(true);
  fPty.Send("AB\x03");
  EXPECT_EQ(fTransport->ReadUpTo({0x03}), "AB\x03");
  EXPECT_TRUE(Logged("Waiting for:\\x03 [03]"));
  EXPECT_TRUE(Logged("Read:AB\\x03 [41 42 03]"));
}

TEST_F(SerialTransport, PendingInputIsSeenAndCleared) {
  fPty.WatchInput();
  Open(SerialConnection());
  EXPECT_FALSE(fTransport->InputBufferContainsData());
  fPty.Send("QQ");
  ASSERT_TRUE(fPty.InputArrived());
  EXPECT_TRUE(fTransport->InputBufferContainsData());
  fTransport->ClearBuffers();
  EXPECT_FALSE(fTransport->InputBufferContainsData());
  EXPECT_EQ(fTransport->ReadChars(1), "");
}

TEST_F(SerialTransport, AHungUpLineEndsTheReadWithReadErrors) {
  Open(SerialConnection());
  fPty.Hangup();
  EXPECT_EQ(fTransport->ReadUpTo({0x0D}), "");
  const auto log = Log();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& e) { return e.rfind("ERROR - Read Error:", 0) == 0; }));
  EXPECT_TRUE(Logged("ERROR - Read Timeout:"));
}

TEST_F(SerialTransport, ADeviceThatNeverSendsTheTerminatorCannotHoldTheReadForEver) {
  Open(SerialConnection());
  fPty.Send(std::string(400, 'x'));
  // 400 bytes at 50 ms a look is 20 s of the stepping clock, past ten read timeouts.
  const std::string got = fTransport->ReadUpTo({0x0D});
  EXPECT_LT(got.size(), 400u);
  EXPECT_GT(got.size(), 0u);
}

TEST_F(SerialTransport, TheExchangeNeedsAnOpenPort) {
  fTransport = std::make_unique<kIOHandler_Serial>(SerialConnection(), "", "");
  const struct {
    const char* what;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"write", [&] { fTransport->Write("A"); }, "Cannot write because COM port is not open."},
      {"read", [&] { fTransport->ReadChars(1); }, "Cannot read because COM port is not open."},
      {"read up to", [&] { fTransport->ReadUpTo({0x0D}); }, "Cannot read because COM port is not open."},
      {"rts", [&] { fTransport->Port().SetRTS(true); }, "SetRTS failed because COM port not open."},
      {"dtr", [&] { fTransport->Port().SetDTR(true); }, "SetDTR failed because COM port not open."},
      {"read all", [&] { fTransport->ReadAll(); }, "ReadAll Unsupported"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << " did not fail";
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), c.message) << c.what;
    }
  }
  EXPECT_FALSE(fTransport->Connected());
  EXPECT_FALSE(fTransport->InputBufferContainsData());
}

TEST(SerialSettings, InvalidSettingsFailAtConstruction) {
  const struct {
    const char* port;
    int32_t stopBits;
    const char* message;
  } cases[] = {
      {"3", 1, "'' is not a valid integer value"},
      {"COMx", 1, "'x' is not a valid integer value"},
      {"COM1 2", 1, "'1 2' is not a valid integer value"},
      {"COM1", 0, "Stop Bits 0 invalid"},
      {"COM1", 3, "Stop Bits 3 invalid"},
  };
  for (const auto& c : cases) {
    kConnection conn = SerialConnection();
    conn.SerialPort = c.port;
    conn.StopBits = c.stopBits;
    try {
      kIOHandler_Serial t(conn, "", "");
      ADD_FAILURE() << c.port << " was accepted";
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  kConnection wide = SerialConnection();
  wide.SerialPort = "COM1234";  // only three digits count
  EXPECT_EQ(kIOHandler_Serial(wide, "", "").Port().ComNumber(), 123u);
}

TEST(SerialSettings, PortsMapToDevices) {
  ::unsetenv("FPDRIVER_COM3");
  EXPECT_EQ(TComPort::DevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(TComPort::DevicePath(10), "/dev/ttyS9");
  ::setenv("FPDRIVER_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(TComPort::DevicePath(3), "/dev/ttyUSB0");
  ::unsetenv("FPDRIVER_COM3");
}

TEST(SerialSettings, APortThatCannotBeOpenedFailsConnect) {
  test::TempDir dir;
  const std::string file = dir.Path() + "/plain";
  { std::ofstream(file) << "x"; }
  const struct {
    std::string device;
    std::string message;
  } cases[] = {
      {dir.Path() + "/missing", "COM42 is not a valid COM port."},
      {dir.Path(), "Cannot open COM42 (error #21)."},  // a folder: EISDIR
      {file, "GetCommState failed!"},                  // no terminal
  };
  for (const auto& c : cases) {
    ::setenv("FPDRIVER_COM42", c.device.c_str(), 1);
    kConnection conn = SerialConnection();
    conn.SerialPort = "COM42";
    kIOHandler_Serial t(conn, "", "");
    try {
      t.Connect();
      ADD_FAILURE() << c.device << " opened";
    } catch (const TComPortException& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_FALSE(t.Connected());
  }
  ::unsetenv("FPDRIVER_COM42");
}

TEST(SerialSettings, APortIsNotShared) {
  Pty pty;
  kIOHandler_Serial first(SerialConnection(), "", "");
  kIOHandler_Serial second(SerialConnection(), "", "");
  ASSERT_TRUE(first.Connect());
  EXPECT_THROW(second.Connect(), TComPortException);
  first.Disconnect();
  EXPECT_TRUE(second.Connect());
}

TEST(SerialSettings, ALineSpeedTheLineCannotTakeFailsTheSettings) {
  Pty pty;
  kIOHandler_Serial t(SerialConnection(12345), "", "");
  try {
    t.Connect();
    ADD_FAILURE() << "odd speed accepted";
  } catch (const TComPortException& e) {
    EXPECT_STREQ(e.what(), "SetCommState failed!");
  }
  EXPECT_FALSE(t.Connected());
}

TEST(ComTransport, AcceptsEveryCallAndExchangesNothing) {
  test::TempDir dir;
  kConnection c;
  c.ConnectionType = vnConnectionType::Com;
  kIOHandler_Com t(c, dir.Path(), "com");
  EXPECT_TRUE(t.Connect());
  EXPECT_TRUE(t.Connected());
  EXPECT_FALSE(t.Write("A"));
  EXPECT_EQ(t.ReadUpTo({0x0D}), "");
  EXPECT_EQ(t.ReadChars(3), "");
  EXPECT_EQ(t.DecodeError(5), "");
  EXPECT_TRUE(t.Disconnect());
  EXPECT_THROW(t.ReadAll(), kException);
  try {
    t.InputBufferContainsData();
    ADD_FAILURE();
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "InputBufferContainsData Unsupported");
  }
  t.FlushLog();
  const auto log = test::ReadLogEntries(t.GetLogFileName());
  EXPECT_NE(std::find(log.begin(), log.end(), "kIOHandler_Com"), log.end());
}

}  // namespace
}  // namespace fp
