// A blocking TCP client with a bounded connect, reads bounded by a timeout and an input
// buffer of received bytes not yet consumed. Failures throw kTcpError; a peer that closed
// the connection is told apart from other failures so that "read to the end" can stop
// cleanly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/errors.h"

namespace fp {

class kTcpError : public kException {
 public:
  enum Kind { Failure, Timeout, Closed };
  kTcpError(Kind aKind, const std::string& aMessage) : kException(aMessage), fKind(aKind) {}
  Kind GetKind() const { return fKind; }

 private:
  Kind fKind;
};

class kTcpClient {
 public:
  kTcpClient(std::string aHost, uint16_t aPort, int32_t aConnectTimeout);
  ~kTcpClient();
  kTcpClient(const kTcpClient&) = delete;
  kTcpClient& operator=(const kTcpClient&) = delete;

  const std::string& Host() const { return fHost; }
  uint16_t Port() const { return fPort; }
  int32_t ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(int32_t aValue) { fConnectTimeout = aValue; }
  // Milliseconds one wait for data may last; 0 or less waits no time at all.
  int32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(int32_t aValue) { fReadTimeout = aValue; }

  // Resolves the host and connects, trying each address within the connect timeout
  // overall. Throws kTcpError (Timeout when the time ran out).
  void Connect();
  void Disconnect();
  // Whether the socket is open and the peer has not been seen closing it.
  bool Connected() const;

  // Sends all bytes; a send that makes no progress within the read timeout fails.
  void Send(const void* aData, size_t aSize);
  void Send(const std::string& aBytes) { Send(aBytes.data(), aBytes.size()); }

  // One byte, from the buffer or waiting at most the read timeout for the socket.
  uint8_t ReadByte();
  // Exactly aCount bytes within one read timeout overall; on failure the bytes that did
  // arrive stay in the buffer.
  std::vector<uint8_t> ReadExact(size_t aCount);

  size_t BufferedCount() const { return fBuffer.size() - fBufferPos; }
  void ClearBuffer();

 private:
  // Waits at most aTimeoutMs for data and appends what arrived to the buffer.
  void Fill(int aTimeoutMs);
  void CloseSocket();

  std::string fHost;
  uint16_t fPort;
  int32_t fConnectTimeout;
  int32_t fReadTimeout = 1000;
  int fSocket = -1;
  bool fPeerClosed = false;
  std::vector<uint8_t> fBuffer;
  size_t fBufferPos = 0;
};

}  // namespace fp
