// Small fixtures shared by the transport tests (here and in tests/local_transports): a scratch
// folder, a reader of log files, and a scripted TCP peer on loopback.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fp::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fpio_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    fPath = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(fPath, ec);
  }
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

// The entries of a log file without their time stamps: "msg" for information and
// "ERROR - msg" for errors. An entry whose message holds line breaks stays one entry.
inline std::vector<std::string> ReadLogEntries(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d.\d\d.\d\d.\d{3} - )");
  std::vector<std::string> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    std::smatch m;
    if (std::regex_search(line, m, stamp))
      entries.push_back(m.suffix());
    else if (!entries.empty())
      entries.back() += "\r\n" + line;
    pos = end + 2;
  }
  return entries;
}

inline bool Contains(const std::vector<std::string>& aEntries, const std::string& aEntry) {
  for (const auto& e : aEntries)
    if (e == aEntry) return true;
  return false;
}

// A TCP peer on 127.0.0.1 that accepts one connection and runs a script on it.
class TcpPeer {
 public:
  using Script = std::function<void(int aFd)>;

  explicit TcpPeer(Script aScript, int aBacklog = 1) {
    fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fListen, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || ::listen(fListen, aBacklog) != 0)
      throw std::runtime_error("listen failed");
    socklen_t len = sizeof(a);
    ::getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &len);
    fPort = ntohs(a.sin_port);
    if (aScript) {
      fThread = std::thread([this, s = std::move(aScript)] {
        // A connection already queued is taken even when the peer is being torn down.
        for (;;) {
          pollfd p{fListen, POLLIN, 0};
          if (::poll(&p, 1, 20) > 0) break;
          if (fStop) return;
        }
        const int fd = ::accept(fListen, nullptr, nullptr);
        if (fd < 0) return;
        s(fd);
        ::close(fd);
      });
    }
  }
  ~TcpPeer() {
    fStop = true;
    if (fThread.joinable()) fThread.join();
    ::close(fListen);
  }
  int Port() const { return fPort; }

  // Reads exactly aCount bytes (or fewer when the connection ends).
  static std::string Receive(int aFd, size_t aCount) {
    std::string out;
    char buf[256];
    while (out.size() < aCount) {
      const ssize_t n = ::recv(aFd, buf, std::min(sizeof(buf), aCount - out.size()), 0);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  static void Send(int aFd, const std::string& aBytes) { ::send(aFd, aBytes.data(), aBytes.size(), MSG_NOSIGNAL); }

 private:
  int fListen = -1;
  int fPort = 0;
  std::atomic<bool> fStop{false};
  std::thread fThread;
};

// A port on which nothing listens.
inline int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// A listener whose accept queue is full, so a further connect attempt hangs until its
// timeout: the loopback stand-in for a dead host.
class FullBacklog {
 public:
  FullBacklog() {
    fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fListen, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(fListen, 0);
    socklen_t len = sizeof(a);
    ::getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &len);
    fPort = ntohs(a.sin_port);
    // Fill the queue with connections nobody accepts.
    for (int i = 0; i < 4; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
      fFillers.push_back(fd);
    }
    // The first connection completes into the queue, which it then fills; the others stay
    // unanswered. Waiting for it (bounded) replaces a guess at how long the kernel takes.
    pollfd first{fFillers.front(), POLLOUT, 0};
    ::poll(&first, 1, 2000);
  }
  ~FullBacklog() {
    for (int fd : fFillers) ::close(fd);
    ::close(fListen);
  }
  int Port() const { return fPort; }

 private:
  int fListen = -1;
  int fPort = 0;
  std::vector<int> fFillers;
};

}  // namespace fp::test
