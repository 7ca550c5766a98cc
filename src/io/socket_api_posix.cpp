#include "io/socket_api.h"

#include <unistd.h>

#include <cerrno>

namespace fp::sockets {

void Start() {}

int OpenNonBlocking(int aFamily, int aType, int aProtocol) {
  return ::socket(aFamily, aType | SOCK_CLOEXEC | SOCK_NONBLOCK, aProtocol);
}

void Close(int aSocket) { ::close(aSocket); }

int LastError() { return errno; }

bool ConnectPending(int aError) { return aError == EINPROGRESS; }

std::string ResolverError(int aCode) { return ::gai_strerror(aCode); }

int Poll(pollfd* aFds, unsigned long aCount, int aTimeoutMs) {
  return ::poll(aFds, static_cast<nfds_t>(aCount), aTimeoutMs);
}

}  // namespace fp::sockets
