#include "io/tcp_client.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "io/io_errors.h"
#include "io/socket_api.h"

namespace fp {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point aDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for aEvents on aFd until aDeadline. Returns the revents, 0 on timeout.
short WaitFor(int aFd, short aEvents, Clock::time_point aDeadline) {
  for (;;) {
    pollfd p{};
    p.fd = static_cast<decltype(p.fd)>(aFd);  // a Winsock handle fits the int it was kept in
    p.events = aEvents;
    const int n = sockets::Poll(&p, 1, RemainingMs(aDeadline));
    if (n > 0) return p.revents;
    if (n == 0) return 0;
    const int err = sockets::LastError();
    if (err != EINTR) throw kTcpError(kTcpError::Failure, ErrnoMessage("poll", err));
  }
}

// The addresses of aHost, resolved within aDeadline. A numeric address needs no lookup; a
// name is looked up on a thread of its own, so a resolver that hangs costs the caller no
// more than the connect timeout (the thread finishes on its own and frees what it got).
addrinfo* Resolve(const std::string& aHost, uint16_t aPort, Clock::time_point aDeadline) {
  struct Lookup {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int rc = 0;
    int err = 0;
    addrinfo* list = nullptr;
  };
  const std::string port = std::to_string(aPort);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  if (::getaddrinfo(aHost.c_str(), port.c_str(), &hints, &list) == 0) return list;

  auto lookup = std::make_shared<Lookup>();
  hints.ai_flags = 0;
  try {
    std::thread([lookup, host = aHost, port, hints] {
      addrinfo* found = nullptr;
      const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
      const int err = errno;
      std::lock_guard<std::mutex> guard(lookup->lock);
      if (lookup->abandoned) {
        if (rc == 0) ::freeaddrinfo(found);
        return;
      }
      lookup->rc = rc;
      lookup->err = err;
      lookup->list = found;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error& e) {
    throw kTcpError(kTcpError::Failure, "Unable to resolve " + aHost + ": " + e.what());
  }
  std::unique_lock<std::mutex> guard(lookup->lock);
  if (!lookup->done.wait_until(guard, aDeadline, [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    throw kTcpError(kTcpError::Timeout, "Resolving " + aHost + " timed out");
  }
  if (lookup->rc != 0) {
    const std::string text = lookup->rc == EAI_SYSTEM ? ErrnoMessage("", lookup->err) : sockets::ResolverError(lookup->rc);
    throw kTcpError(kTcpError::Failure, "Unable to resolve " + aHost + ": " + text);
  }
  return lookup->list;
}

}  // namespace

kTcpClient::kTcpClient(std::string aHost, uint16_t aPort, int32_t aConnectTimeout)
    : fHost(std::move(aHost)), fPort(aPort), fConnectTimeout(aConnectTimeout) {}

kTcpClient::~kTcpClient() { CloseSocket(); }

void kTcpClient::CloseSocket() {
  if (fSocket >= 0) sockets::Close(fSocket);
  fSocket = -1;
}

void kTcpClient::Connect() {
  Disconnect();
  const std::string where = fHost + ":" + std::to_string(fPort);
  if (fHost.empty()) throw kTcpError(kTcpError::Failure, "No host to connect to");
  const auto deadline = Clock::now() + std::chrono::milliseconds(fConnectTimeout > 0 ? fConnectTimeout : 0);

  sockets::Start();
  addrinfo* list = Resolve(fHost, fPort, deadline);

  std::string lastError = "Unable to connect to " + where;
  bool timedOut = false;
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    const int fd = sockets::OpenNonBlocking(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (fd < 0) {
      lastError = ErrnoMessage("socket", sockets::LastError());
      continue;
    }
    int err = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      err = sockets::LastError();
      if (sockets::ConnectPending(err)) {
        short ev = 0;
        try {
          ev = WaitFor(fd, POLLOUT, deadline);
        } catch (...) {
          sockets::Close(fd);
          ::freeaddrinfo(list);
          throw;
        }
        if (ev == 0) {
          sockets::Close(fd);
          timedOut = true;
          break;  // the time is spent for every address
        }
        socklen_t len = sizeof(err);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) err = sockets::LastError();
      }
    }
    if (err == 0) {
      fSocket = fd;
      fPeerClosed = false;
      break;
    }
    sockets::Close(fd);
    lastError = ErrnoMessage("Unable to connect to " + where, err);
  }
  ::freeaddrinfo(list);
  if (fSocket >= 0) return;
  if (timedOut) throw kTcpError(kTcpError::Timeout, "Connect to " + where + " timed out");
  throw kTcpError(kTcpError::Failure, lastError);
}

void kTcpClient::Disconnect() {
  CloseSocket();
  fPeerClosed = false;
  ClearBuffer();
}

bool kTcpClient::Connected() const { return fSocket >= 0 && !fPeerClosed; }

void kTcpClient::Send(const void* aData, size_t aSize) {
  if (fSocket < 0) throw kTcpError(kTcpError::Failure, "Not connected");
  const auto* p = static_cast<const char*>(aData);
  const int wait = fReadTimeout > 0 ? fReadTimeout : 1000;
  while (aSize > 0) {
    const ssize_t n = ::send(fSocket, p, aSize, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      aSize -= static_cast<size_t>(n);
      continue;
    }
    const int err = n < 0 ? sockets::LastError() : 0;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      if (WaitFor(fSocket, POLLOUT, Clock::now() + std::chrono::milliseconds(wait)) == 0)
        throw kTcpError(kTcpError::Timeout, "Send timed out");
      continue;
    }
    throw kTcpError(kTcpError::Failure, ErrnoMessage("send", err));
  }
}

void kTcpClient::Fill(int aTimeoutMs) {
  if (fSocket < 0) throw kTcpError(kTcpError::Failure, "Not connected");
  if (fPeerClosed) throw kTcpError(kTcpError::Closed, "Connection closed by peer");
  const auto deadline = Clock::now() + std::chrono::milliseconds(aTimeoutMs > 0 ? aTimeoutMs : 0);
  for (;;) {
    const short ev = WaitFor(fSocket, POLLIN, deadline);
    if (ev == 0) throw kTcpError(kTcpError::Timeout, "Read timed out");
    uint8_t chunk[4096];
    const ssize_t n = ::recv(fSocket, reinterpret_cast<char*>(chunk), sizeof(chunk), 0);
    if (n > 0) {
      // Drop what has been consumed, so a long session never grows the buffer.
      if (fBufferPos > 0) {
        fBuffer.erase(fBuffer.begin(), fBuffer.begin() + static_cast<long>(fBufferPos));
        fBufferPos = 0;
      }
      fBuffer.insert(fBuffer.end(), chunk, chunk + n);
      return;
    }
    if (n == 0) {
      fPeerClosed = true;
      throw kTcpError(kTcpError::Closed, "Connection closed by peer");
    }
    const int err = sockets::LastError();
    if (err == EINTR || err == EAGAIN || err == EWOULDBLOCK) continue;
    throw kTcpError(kTcpError::Failure, ErrnoMessage("recv", err));
  }
}

uint8_t kTcpClient::ReadByte() {
  if (BufferedCount() == 0) Fill(fReadTimeout);
  return fBuffer[fBufferPos++];
}

std::vector<uint8_t> kTcpClient::ReadExact(size_t aCount) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(fReadTimeout > 0 ? fReadTimeout : 0);
  while (BufferedCount() < aCount) {
    const int left = RemainingMs(deadline);
    if (left <= 0 && BufferedCount() < aCount) {
      // One last look without waiting, then give up with what came left in the buffer.
      Fill(0);
      continue;
    }
    Fill(left);
  }
  std::vector<uint8_t> out(fBuffer.begin() + static_cast<long>(fBufferPos),
                           fBuffer.begin() + static_cast<long>(fBufferPos + aCount));
  fBufferPos += aCount;
  return out;
}

void kTcpClient::ClearBuffer() {
  fBuffer.clear();
  fBufferPos = 0;
}

}  // namespace fp
