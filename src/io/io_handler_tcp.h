// The transport over a TCP connection, and the model for the other byte-stream
// transports. Bytes and characters map one to one (byte value = character code).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/io_handler.h"
#include "io/tcp_client.h"

namespace fp {

class kIOHandler_TCP : public kIOHandler {
 public:
  kIOHandler_TCP(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_TCP() override;

  bool GetConnected() override;
  // Logs the header, host and port, then connects within the connect timeout. Failures
  // are logged ("Connect Timeout", "Connect Error") and answered false, never raised.
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override;
  // Sends the text: with CodePage 0 one byte per character below 256 and "?" for any
  // other; otherwise encoded in that code page. A send failure is raised.
  bool Write(const std::string& aMessage) override;
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;
  std::string DecodeError(int32_t aErrorCode) override;
  bool InputBufferContainsData() override;
  void SetParameter(const std::string& aName, const std::string& aValue) override;
  std::string ClassName() const override { return "kIOHandler_TCP"; }

  // Byte-array forms of the exchange.
  bool WriteBytes(const std::vector<uint8_t>& aBytes);
  // Exactly aCount bytes with the client's current read timeout; no log; failures raised.
  std::vector<uint8_t> ReadBytes(size_t aCount);
  // As ReadUpTo; a read failure is logged and then raised.
  std::vector<uint8_t> ReadBytesUpTo(const std::vector<uint8_t>& aChars);
  // As ReadAll; the overall timeout and other failures give an empty result.
  std::vector<uint8_t> ReadAllBytes();

  kTcpClient& Client() { return *fClient; }

 private:
  // How a read to the end stopped: the overall timeout, the peer closing, or a failure
  // (with its text and the milliseconds it came after).
  struct ReadEnd {
    enum How { Timeout, Closed, Failed } fHow = Timeout;
    std::string fError;
    int64_t fElapsedMs = 0;
  };

  // The loop ReadUpTo and ReadBytesUpTo share: logs the wait and its outcome into aResult;
  // a read failure is logged and passed on, with what came so far left in aResult.
  void CollectUpTo(const std::vector<uint8_t>& aChars, std::vector<uint8_t>& aResult);
  // The loop ReadAll and ReadAllBytes share; each logs the outcome its own way.
  ReadEnd CollectAll(std::vector<uint8_t>& aResult);

  std::unique_ptr<kTcpClient> fClient;
};

// Bytes as characters of the same code (U+0000..U+00FF), as UTF-8 text, and back for text
// that holds only such characters.
std::string BytesToText(const uint8_t* aData, size_t aSize);
inline std::string BytesToText(const std::vector<uint8_t>& aBytes) { return BytesToText(aBytes.data(), aBytes.size()); }

}  // namespace fp
