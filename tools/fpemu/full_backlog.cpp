#include "fpemu/full_backlog.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace fp::emu {

namespace {
// How long a filler connection may take to complete on loopback before the queue counts
// as full. Loopback handshakes complete in microseconds.
constexpr int kHandshakeMs = 200;
constexpr int kMaxFillers = 16;
}  // namespace

FullBacklogListener::~FullBacklogListener() { Stop(); }

uint16_t FullBacklogListener::Start(uint16_t aPort) {
  if (fListener >= 0) return fPort;
  fListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(aPort);
  socklen_t len = sizeof addr;
  const int reuse = 1;
  // The port of a server that just stopped may still have connections in TIME_WAIT.
  if (fListener >= 0) setsockopt(fListener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (fListener < 0 || bind(fListener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fListener, 0) != 0 || getsockname(fListener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    Stop();
    throw std::runtime_error("fpemu: cannot open the backlog listener");
  }
  fPort = ntohs(addr.sin_port);
  // Connect until one connection no longer completes: from then on the queue is full.
  for (int i = 0; i < kMaxFillers; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    fFillers.push_back(fd);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) continue;
    if (errno != EINPROGRESS) break;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, kHandshakeMs) == 0) return fPort;  // this one waits: the queue is full
  }
  Stop();
  throw std::runtime_error("fpemu: the backlog listener's queue did not fill");
}

void FullBacklogListener::Stop() {
  for (int fd : fFillers) close(fd);
  fFillers.clear();
  if (fListener >= 0) close(fListener);
  fListener = -1;
}

}  // namespace fp::emu
