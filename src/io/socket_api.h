// The few socket calls that differ between systems, for the TCP client: Berkeley sockets on
// POSIX, Winsock on Windows. Sockets are plain ints on both (Winsock handles fit).
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // Winsock raises no signal on a broken connection
#endif
#ifndef EAI_SYSTEM
#define EAI_SYSTEM (-11)  // never answered by Windows' resolver
#endif
#else
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#endif

#include <string>

namespace fp::sockets {

// Starts the socket library once per process (Winsock); nothing on POSIX.
void Start();
// A new non-blocking stream socket that child processes don't inherit; -1 on failure.
int OpenNonBlocking(int aFamily, int aType, int aProtocol);
void Close(int aSocket);
// The last socket call's failure as an errno value (Winsock's codes mapped to them).
int LastError();
// Whether a non-blocking connect that failed with aError is still under way.
bool ConnectPending(int aError);
// The resolver's text for a getaddrinfo failure.
std::string ResolverError(int aCode);
// poll() over sockets.
int Poll(pollfd* aFds, unsigned long aCount, int aTimeoutMs);

}  // namespace fp::sockets
