#include "io/socket_api.h"

#include <cerrno>
#include <mutex>

namespace fp::sockets {

void Start() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);  // a failure shows in the first socket call
  });
}

int OpenNonBlocking(int aFamily, int aType, int aProtocol) {
  Start();
  SOCKET s = ::WSASocketW(aFamily, aType, aProtocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return -1;
  u_long nonBlocking = 1;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    ::closesocket(s);
    return -1;
  }
  return static_cast<int>(s);
}

void Close(int aSocket) { ::closesocket(static_cast<SOCKET>(aSocket)); }

int LastError() {
  switch (const int e = ::WSAGetLastError()) {
    case WSAEWOULDBLOCK: return EWOULDBLOCK;
    case WSAEINPROGRESS: return EINPROGRESS;
    case WSAEINTR: return EINTR;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAECONNABORTED: return ECONNABORTED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAENOTCONN: return ENOTCONN;
    case WSAESHUTDOWN: return EPIPE;
    case WSAENOBUFS: return ENOBUFS;
    case WSAEAFNOSUPPORT: return EAFNOSUPPORT;
    default: return e;
  }
}

// Winsock answers a non-blocking connect with "would block".
bool ConnectPending(int aError) { return aError == EWOULDBLOCK || aError == EINPROGRESS; }

std::string ResolverError(int aCode) { return ::gai_strerrorA(aCode); }

int Poll(pollfd* aFds, unsigned long aCount, int aTimeoutMs) {
  const int n = ::WSAPoll(aFds, aCount, aTimeoutMs);
  return n == SOCKET_ERROR ? -1 : n;
}

}  // namespace fp::sockets
