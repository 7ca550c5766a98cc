// The transport base (log lines, custom error, temporary read timeout) and the TCP
// transport against real peers on loopback.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include <chrono>
#include <memory>
#include <thread>

#include "base/text.h"
#include "request/device_handler.h"
#include "io/io_handler.h"
#include "io/io_handler_tcp.h"
#include "io_test_support.h"

namespace fp {
namespace {

using test::Contains;
using test::ReadLogEntries;
using test::TcpPeer;
using test::TempDir;

const std::string kStart = "*************************** START ***************************";
const std::string kStop = "*************************** STOP ****************************";

kConnection TcpConnection(int aPort, int aReadTimeout = 1000, int aConnectTimeout = 1000) {
  kConnection c;
  c.ConnectionType = vnConnectionType::TCP;
  c.Address = "127.0.0.1";
  c.Port = aPort;
  c.SetReadTimeOut(aReadTimeout);
  c.SetConnectTimeOut(aConnectTimeout);
  return c;
}

// Runs aBody on a transport logging into a scratch folder, then returns the log entries
// (the transport is destroyed first so that its writer has drained).
template <typename Body>
std::vector<std::string> LoggedRun(const kConnection& aConnection, Body aBody, bool aHexLog = false) {
  TempDir dir;
  std::string file;
  {
    kIOHandler_TCP t(aConnection, dir.Path(), "D_L");
    t.SetHexLog(aHexLog);
    file = t.GetLogFileName();
    aBody(t);
  }
  return ReadLogEntries(file);
}

TEST(IOHandlerBase, LogFramesTheTransportLifeWithStartAndStop) {
  const auto log = LoggedRun(TcpConnection(1), [](kIOHandler_TCP& t) {
    t.WriteLog(let_info, "Write", "AB");
    t.Debug(let_error, "plain");
  });
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log.front(), kStart);
  EXPECT_EQ(log[1], "Write:AB");
  EXPECT_EQ(log[2], "ERROR - plain");
  EXPECT_EQ(log.back(), kStop);
}

TEST(IOHandlerBase, HexLogAppendsADumpToDataLinesOnly) {
  const auto log = LoggedRun(
      TcpConnection(1),
      [](kIOHandler_TCP& t) {
        t.WriteLog(let_info, "Write", "AB");
        t.WriteLog(let_info, "Write", "\xE2\x82\xAC\x01");  // U+20AC, U+0001
        t.Debug(let_info, "AB");
      },
      true);
  EXPECT_EQ(log[1], "Write:AB [41 42]");
  // The control character is escaped in the log's text; the dump shows its code.
  EXPECT_EQ(log[2], "Write:\xE2\x82\xAC\\x01 [20ac 01]");
  EXPECT_EQ(log[3], "AB");
}

TEST(IOHandlerBase, WithoutFolderThereIsNoLog) {
  kIOHandler_TCP t(TcpConnection(1), "", "D_L");
  EXPECT_FALSE(t.HasLog());
  EXPECT_EQ(t.GetLogFileName(), "");
  t.WriteLog(let_info, "Write", "x");  // nothing to write to, nothing raised
  t.Debug(let_info, "x");
  t.SetTemporaryReadTimeout(5);
  EXPECT_EQ(t.ReadTimeout(), 5);
}

TEST(IOHandlerBase, LogFileIsNamedAfterTheDeviceAndTheDay) {
  TempDir dir;
  kIOHandler_TCP t(TcpConnection(1), dir.Path(), "VNRP_X_42");
  const std::string name = std::filesystem::path(t.GetLogFileName()).filename().string();
  EXPECT_TRUE(std::regex_match(name, std::regex(R"(VNRP_X_42_\d{8}\.log)"))) << name;
  EXPECT_EQ(std::filesystem::path(t.GetLogFileName()).parent_path(), std::filesystem::path(dir.Path()));
}

TEST(IOHandlerBase, CustomErrorSlot) {
  kIOHandler_TCP t(TcpConnection(1), "", "");
  EXPECT_FALSE(t.ErrorFound());
  t.SetCustomError(404, "Not Found");
  EXPECT_TRUE(t.ErrorFound());
  EXPECT_EQ(t.ErrorCode(), 404);
  EXPECT_EQ(t.ErrorMessage(), "Not Found");
  t.ResetCustomError();
  EXPECT_FALSE(t.ErrorFound());
  EXPECT_EQ(t.ErrorCode(), 0);
  EXPECT_EQ(t.ErrorMessage(), "");
}

TEST(IOHandlerBase, TemporaryReadTimeoutIsRestoredAndLogged) {
  int after1 = 0, after2 = 0, after3 = 0, after4 = 0;
  const auto log = LoggedRun(TcpConnection(1, 7000), [&](kIOHandler_TCP& t) {
    t.ResetTemporaryReadTimeout();  // nothing saved yet
    after1 = t.ReadTimeout();
    t.SetTemporaryReadTimeout(0);  // logged, ignored
    after2 = t.ReadTimeout();
    t.SetTemporaryReadTimeout(30000);
    after3 = t.ReadTimeout();
    t.ResetTemporaryReadTimeout();
    t.ResetTemporaryReadTimeout();  // the saved value stays
    after4 = t.ReadTimeout();
  });
  EXPECT_EQ(after1, 7000);
  EXPECT_EQ(after2, 7000);
  EXPECT_EQ(after3, 30000);
  EXPECT_EQ(after4, 7000);
  const std::vector<std::string> expected = {kStart,
                                             "Reset Timeout to 0 ms",
                                             "Set Read Timeout to 0ms from 7000 ms",
                                             "Set Read Timeout to 30000ms from 7000 ms",
                                             "Reset Timeout to 7000 ms",
                                             "Reset Timeout to 7000 ms",
                                             kStop};
  EXPECT_EQ(log, expected);
}

TEST(TcpTransport, ConnectWritesTheHeaderAndReachesThePeer) {
  TcpPeer peer([](int fd) { TcpPeer::Receive(fd, 1); });
  bool connected = false, disconnected = false, stillConnected = true;
  const auto log = LoggedRun(TcpConnection(peer.Port(), 1500, 2500), [&](kIOHandler_TCP& t) {
    t.SetVersion("1.14");
    connected = t.Connect();
    t.Write("x");
    disconnected = t.Disconnect();
    stillConnected = t.GetConnected();
  });
  EXPECT_TRUE(connected);
  EXPECT_TRUE(disconnected);
  EXPECT_FALSE(stillConnected);
  const std::vector<std::string> head(log.begin(), log.begin() + 8);
  const std::vector<std::string> expected = {kStart,
                                             std::string(61, '*'),
                                             "kIOHandler_TCP",
                                             "1.14",
                                             "ConnectTimeout=2500",
                                             "ReadTimeout=1500",
                                             "Host=127.0.0.1",
                                             "Port=" + std::to_string(peer.Port())};
  EXPECT_EQ(head, expected);
}

TEST(TcpTransport, PortUsesItsLow16Bits) {
  kIOHandler_TCP t(TcpConnection(65536 + 80), "", "");
  EXPECT_EQ(t.Client().Port(), 80);
}

TEST(TcpTransport, RefusedConnectIsLoggedNotRaised) {
  const int port = test::ClosedPort();
  bool connected = true;
  const auto log = LoggedRun(TcpConnection(port), [&](kIOHandler_TCP& t) {
    connected = t.Connect();
    EXPECT_TRUE(t.Disconnect());
    EXPECT_FALSE(t.ErrorFound());
  });
  EXPECT_FALSE(connected);
  ASSERT_GE(log.size(), 3u);
  EXPECT_TRUE(StartsWith(log[log.size() - 2], "ERROR - Connect Error:")) << log[log.size() - 2];
  EXPECT_NE(log[log.size() - 2].find("refused"), std::string::npos) << log[log.size() - 2];
}

TEST(TcpTransport, HostNamesAreResolved) {
  TcpPeer peer([](int fd) { TcpPeer::Receive(fd, 1); });
  kConnection byName = TcpConnection(peer.Port());
  byName.Address = "localhost";
  kIOHandler_TCP t(byName, "", "");
  EXPECT_TRUE(t.Connect());

  kConnection unknown = TcpConnection(peer.Port());
  unknown.Address = "no-such-host.invalid";
  const auto log = LoggedRun(unknown, [](kIOHandler_TCP& u) { EXPECT_FALSE(u.Connect()); });
  EXPECT_TRUE(StartsWith(log[log.size() - 2], "ERROR - Connect Error:Unable to resolve no-such-host.invalid"))
      << log[log.size() - 2];
}

TEST(TcpTransport, ConnectToAnUnansweringHostEndsAtItsTimeout) {
  test::FullBacklog dead;
  bool connected = true;
  const auto log = LoggedRun(TcpConnection(dead.Port(), 1000, 300), [&](kIOHandler_TCP& t) { connected = t.Connect(); });
  EXPECT_FALSE(connected);
  EXPECT_TRUE(Contains(log, "ERROR - Connect Timeout:")) << ::testing::PrintToString(log);
}

TEST(TcpTransport, NeverConnectedDisconnectsCleanly) {
  kIOHandler_TCP t(TcpConnection(1), "", "");
  EXPECT_FALSE(t.GetConnected());
  EXPECT_TRUE(t.Disconnect());
  EXPECT_FALSE(t.InputBufferContainsData());
  EXPECT_EQ(t.DecodeError(5), "");
}

TEST(TcpTransport, ReadUpToStopsAtTheTerminatorAndKeepsTheRest) {
  TcpPeer peer([](int fd) {
    TcpPeer::Send(fd, std::string("AB\x03" "C", 4));
    TcpPeer::Receive(fd, 1);  // keep the connection until the client is done
  });
  std::string first, rest;
  bool pending = false;
  const auto log = LoggedRun(
      TcpConnection(peer.Port()),
      [&](kIOHandler_TCP& t) {
        ASSERT_TRUE(t.Connect());
        first = t.ReadUpTo({0x03, 0x0D});
        pending = t.InputBufferContainsData();
        rest = t.ReadChars(1);
        t.Write("!");
      },
      true);
  EXPECT_EQ(first, "AB\x03");
  EXPECT_TRUE(pending);
  EXPECT_EQ(rest, "C");
  EXPECT_TRUE(Contains(log, "Waiting for:\\x03,\\r [03,0d]"));
  EXPECT_TRUE(Contains(log, "Read:AB\\x03 [41 42 03]"));
  EXPECT_TRUE(Contains(log, "Read:C [43]"));
}

TEST(TcpTransport, ClearBuffersDropsUnreadData) {
  TcpPeer peer([](int fd) {
    TcpPeer::Send(fd, "AB\rCD");
    TcpPeer::Receive(fd, 1);
  });
  kIOHandler_TCP t(TcpConnection(peer.Port()), "", "");
  ASSERT_TRUE(t.Connect());
  EXPECT_EQ(t.ReadUpTo({'\r'}), "AB\r");
  t.ClearBuffers();
  EXPECT_FALSE(t.InputBufferContainsData());
  t.Write("!");
}

TEST(TcpTransport, TricklingPeerEndsAsReadTimeout) {
  // One byte every 150 ms and never the terminator; the read gives up after 400 ms.
  // The peer's pace is its own; the read's end wakes it at once.
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  TcpPeer peer([&](int fd) {
    for (char c = 'A'; c <= 'Z'; ++c) {
      std::unique_lock<std::mutex> guard(lock);
      if (ended.wait_for(guard, std::chrono::milliseconds(150), [&] { return done; })) return;
      guard.unlock();
      TcpPeer::Send(fd, std::string(1, c));
    }
  });
  std::string got;
  const auto log = LoggedRun(TcpConnection(peer.Port(), 400), [&](kIOHandler_TCP& t) {
    ASSERT_TRUE(t.Connect());
    got = t.ReadUpTo({'\r'});
    {
      std::lock_guard<std::mutex> guard(lock);
      done = true;
    }
    ended.notify_all();
  });
  ASSERT_FALSE(got.empty());
  EXPECT_LT(got.size(), 26u);
  EXPECT_EQ(std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ").substr(0, got.size()), got);
  EXPECT_TRUE(Contains(log, "ERROR - Read Timeout:" + got)) << ::testing::PrintToString(log);
}

TEST(TcpTransport, PeerClosingMidReadGivesWhatCame) {
  TcpPeer peer([](int fd) { TcpPeer::Send(fd, "AB"); });
  std::string got;
  const auto log = LoggedRun(TcpConnection(peer.Port()), [&](kIOHandler_TCP& t) {
    ASSERT_TRUE(t.Connect());
    got = t.ReadUpTo({0x03});
  });
  EXPECT_EQ(got, "AB");
  EXPECT_TRUE(Contains(log, "ERROR - ReadUpTo Unexpected error:Connection closed by peer"))
      << ::testing::PrintToString(log);
}

TEST(TcpTransport, ReadCharsTimeoutKeepsTheBytesForTheNextRead) {
  TcpPeer peer([](int fd) {
    TcpPeer::Send(fd, "AB");
    TcpPeer::Receive(fd, 1);
  });
  std::string tooMany, two;
  const auto log = LoggedRun(TcpConnection(peer.Port(), 200), [&](kIOHandler_TCP& t) {
    ASSERT_TRUE(t.Connect());
    tooMany = t.ReadChars(3);
    two = t.ReadChars(2);
    t.Write("!");
  });
  EXPECT_EQ(tooMany, "");
  EXPECT_EQ(two, "AB");
  EXPECT_TRUE(Contains(log, "ERROR - ReadChars Unexpected error:Read timed out"));
  EXPECT_TRUE(Contains(log, "Read:AB"));
}

TEST(TcpTransport, ReadAllEndsWhenThePeerCloses) {
  TcpPeer peer([](int fd) { TcpPeer::Send(fd, std::string("hello\0\xFF", 7)); });
  std::string got;
  const auto log = LoggedRun(TcpConnection(peer.Port()), [&](kIOHandler_TCP& t) {
    ASSERT_TRUE(t.Connect());
    got = t.ReadAll();
  });
  // Bytes become characters of the same code.
  EXPECT_EQ(got, std::string("hello\0\xC3\xBF", 8));
  EXPECT_TRUE(Contains(log, "Read:hello\\x00\xC3\xBF"));
}

// A peer that falls silent: the text form keeps what came, the byte form drops it and
// says how long it waited.
TEST(TcpTransport, ReadAllOfASilentPeerLogsTheFailure) {
  TcpPeer peer([](int fd) {
    TcpPeer::Send(fd, "x");
    TcpPeer::Receive(fd, 1);
    TcpPeer::Send(fd, "y");
    TcpPeer::Receive(fd, 1);
  });
  std::string got;
  std::vector<uint8_t> bytes{0};
  const auto log = LoggedRun(TcpConnection(peer.Port(), 200), [&](kIOHandler_TCP& t) {
    ASSERT_TRUE(t.Connect());
    got = t.ReadAll();
    t.Write("!");
    bytes = t.ReadAllBytes();
    t.Write("!");
  });
  EXPECT_EQ(got, "x");
  EXPECT_TRUE(bytes.empty());
  int failures = 0, waits = 0;
  for (const std::string& line : log) {
    failures += line == "ERROR - ReadAll Unexpected error:Read timed out";
    waits += line.rfind("ERROR - lTimeoutExpired:", 0) == 0;
  }
  EXPECT_EQ(failures, 2) << ::testing::PrintToString(log);
  EXPECT_EQ(waits, 1) << ::testing::PrintToString(log);
}

TEST(TcpTransport, ByteOperations) {
  TcpPeer peer([](int fd) {
    const std::string got = TcpPeer::Receive(fd, 3);
    TcpPeer::Send(fd, got + "\x02" "tail");
  });
  kIOHandler_TCP t(TcpConnection(peer.Port()), "", "");
  ASSERT_TRUE(t.Connect());
  EXPECT_TRUE(t.WriteBytes({0x00, 0x80, 0xFF}));
  EXPECT_EQ(t.ReadBytes(2), (std::vector<uint8_t>{0x00, 0x80}));
  EXPECT_EQ(t.ReadBytesUpTo({0x02}), (std::vector<uint8_t>{0xFF, 0x02}));
  EXPECT_EQ(t.ReadAllBytes(), (std::vector<uint8_t>{'t', 'a', 'i', 'l'}));
}

TEST(TcpTransport, ReadBytesUpToPassesTheFailureOn) {
  TcpPeer peer([](int fd) { TcpPeer::Send(fd, "AB"); });
  kIOHandler_TCP t(TcpConnection(peer.Port()), "", "");
  ASSERT_TRUE(t.Connect());
  EXPECT_THROW(t.ReadBytesUpTo({0x03}), kTcpError);
}

struct EncodingCase {
  int32_t codePage;
  std::string text;
  std::string bytes;
};

class TcpWriteEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(TcpWriteEncoding, SendsTheCodePageBytes) {
  const EncodingCase& c = GetParam();
  std::string received;
  {
    TcpPeer peer([&](int fd) { received = TcpPeer::Receive(fd, c.bytes.size() + 1); });
    kIOHandler_TCP t(TcpConnection(peer.Port()), "", "");
    t.SetCodePage(c.codePage);
    ASSERT_TRUE(t.Connect());
    EXPECT_TRUE(t.Write(c.text));
    t.Disconnect();  // the peer reads to the end
  }
  EXPECT_EQ(received, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, TcpWriteEncoding,
    ::testing::Values(
        // One byte per character below 256, "?" for anything above.
        EncodingCase{0, "A\xC3\xA9\xE2\x82\xAC", "A\xE9?"},
        EncodingCase{1252, "A\xC3\xA9\xE2\x82\xAC", "A\xE9\x80"},
        // Greek capital omega exists in 1253 but not in 1252.
        EncodingCase{1253, "\xCE\xA9", "\xD9"},
        EncodingCase{1252, "x\xCE\xA9y", "x?y"},
        EncodingCase{65001, "\xE2\x82\xAC", "\xE2\x82\xAC"}));

TEST(TcpTransport, WriteToAnUnknownCodePageFails) {
  TcpPeer peer([](int fd) { TcpPeer::Receive(fd, 1); });
  kIOHandler_TCP t(TcpConnection(peer.Port()), "", "");
  t.SetCodePage(12345);
  ASSERT_TRUE(t.Connect());
  EXPECT_THROW(t.Write("x"), kException);
  t.SetCodePage(0);
  t.Write("x");
}

TEST(TcpTransport, WriteWithoutConnectionIsRaised) {
  kIOHandler_TCP t(TcpConnection(1), "", "");
  EXPECT_THROW(t.Write("x"), kException);
}

}  // namespace
}  // namespace fp
