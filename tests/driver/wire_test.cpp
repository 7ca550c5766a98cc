// What one printer command looks like on the wire, captured by a one-shot loopback peer, and
// the client settings the driver derives from its transport.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "driver_fixture.h"
#include "io/io_handler_http.h"

using namespace fp;
using namespace fp::test;

namespace {

// Accepts aConnections connections one after the other, keeps the last request head and
// answers each with aReply and status 200.
class OneShotPeer {
 public:
  explicit OneShotPeer(std::string aReply, int aConnections = 1) : fConnections(aConnections), fReply(std::move(aReply)) {
    fListen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fListen, 1);
    socklen_t len = sizeof addr;
    ::getsockname(fListen, reinterpret_cast<sockaddr*>(&addr), &len);
    fPort = ntohs(addr.sin_port);
    fThread = std::thread([this] { Serve(); });
  }
  ~OneShotPeer() {
    ::shutdown(fListen, SHUT_RDWR);
    fThread.join();
    ::close(fListen);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(fPort); }
  std::string Head() {
    fThread.join();
    fThread = std::thread([] {});
    return fHead;
  }

 private:
  void Serve() {
    for (int i = 0; i < fConnections; ++i)
      if (!ServeOne()) return;
  }
  bool ServeOne() {
    int c = ::accept(fListen, nullptr, nullptr);
    if (c < 0) return false;
    fHead.clear();
    char buf[4096];
    while (fHead.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      fHead.append(buf, static_cast<size_t>(n));
    }
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(fReply.size()) +
                               "\r\nConnection: close\r\n\r\n" + fReply;
    ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
    ::close(c);
    return true;
  }
  int fListen = -1;
  int fConnections = 1;
  uint16_t fPort = 0;
  std::string fReply;
  std::string fHead;
  std::thread fThread;
};

}  // namespace

TEST(DriverWire, OneCommandIsOneGetWithTheDriversHeaders) {
  const std::string dir = testing::TempDir() + "fp_driver_wire_" + std::to_string(::getpid());
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  OneShotPeer peer("00/00/02/311226/101112/");
  kReceiptPrinterHandler h;
  h.Deserialize(DeviceXml(peer.Url()), {});
  kFiscalPrinter_TARVOLX40FPETH d(h);
  EXPECT_TRUE(d.Send("7", "/0/3/caff\xC3\xA8 & 50%/"));
  const std::string head = peer.Head();
  EXPECT_EQ(head.rfind("GET /_io?cmd=4&js=0&pkt=7%2F0%2F3%2Fcaff%C3%A8%20%26%2050%25%2F HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nUser-Agent: Varnel BRV Driver\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos) << head;
  EXPECT_EQ(d.Response(), "00/00/02/311226/101112/");
  EXPECT_TRUE(d.FiscalStatus().DayIsOpen);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

TEST(DriverWire, ExchangesTakeTheTransportSettingsOnceAndTheReadTimeoutEachTime) {
  OneShotPeer peer("00/00/00/", 3);
  kConnection connection;
  connection.ConnectionType = vnConnectionType::HTTP;
  connection.URL = peer.Url();
  connection.AuthType = at_Digest;
  connection.User = "u";
  connection.Password = "p";
  kIOHandler_HTTP transport(connection, "", "");
  transport.SetConnectTimeout(1500);
  transport.SetReadTimeout(7000);
  kExchange* exchange = transport.OpenExchange({"text/plain; charset=utf-8", "Varnel BRV Driver"});
  ASSERT_NE(exchange, nullptr);
  EXPECT_EQ(transport.Url(), peer.Url() + "/");
  const kExchangeResult first = exchange->Exchange("_io?cmd=4&js=0&pkt=t");
  ASSERT_TRUE(first.Answered()) << first.fMessage;
  EXPECT_EQ(first.Answer, "00/00/00/");
  const kIOHandler_HTTP::Request& request = transport.ExchangeRequest();
  EXPECT_EQ(request.ConnectTimeoutMs, 1500);  // milliseconds as given, not cut to seconds
  EXPECT_EQ(request.ReadTimeoutMs, 7000);
  EXPECT_EQ(request.UserAgent, "Varnel BRV Driver");
  const std::pair<std::string, std::string> contentType{"Content-Type", "text/plain; charset=utf-8"};
  EXPECT_EQ(request.Headers.front(), contentType);
  EXPECT_EQ(request.AuthType, at_Digest);
  EXPECT_EQ(request.User, "u");
  EXPECT_EQ(request.Password, "p");
  // Settings are applied once; a slow command brackets itself with a temporary read
  // timeout, which its exchange uses.
  transport.SetConnectTimeout(9000);
  transport.SetTemporaryReadTimeout(30000);
  ASSERT_TRUE(exchange->Exchange("_io?cmd=4&js=0&pkt=t").Answered());
  EXPECT_EQ(request.ConnectTimeoutMs, 1500);
  EXPECT_EQ(request.ReadTimeoutMs, 30000);
  transport.ResetTemporaryReadTimeout();
  ASSERT_TRUE(exchange->Exchange("_io?cmd=4&js=0&pkt=t").Answered());
  EXPECT_EQ(request.ReadTimeoutMs, 7000);
}

TEST(DriverWire, FailedExchangeIsClassifiedWithItsStatusText) {
  kConnection connection;
  connection.ConnectionType = vnConnectionType::HTTP;
  // Nothing listens on a port just released: the request never left.
  { OneShotPeer peer(""); connection.URL = peer.Url(); }
  kIOHandler_HTTP transport(connection, "", "");
  transport.SetConnectTimeout(1000);
  transport.SetReadTimeout(1000);
  kExchange* exchange = transport.OpenExchange({});
  const kExchangeResult r = exchange->Exchange("_io?cmd=4&js=0&pkt=t");
  EXPECT_EQ(r.fKind, ok_NotDelivered);
  EXPECT_EQ(r.fCode, 0);
  EXPECT_EQ(r.fMessage, "Connection refused (or the host unreachable) at " + transport.Url());
}
