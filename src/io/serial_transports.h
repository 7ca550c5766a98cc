// The serial transports: kIOHandler_Serial talks to a device on a COM port through a
// TComPort; kIOHandler_Com is a placeholder that accepts every call and exchanges nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/com_port.h"
#include "io/io_handler.h"

namespace fp {

class kIOHandler_Serial : public kIOHandler {
 public:
  // Milliseconds since some fixed point; the reads measure their ReadTimeout with it.
  using Clock = std::function<int64_t()>;

  // The port number comes from SerialPort (COMn: the characters after the first three),
  // with speed, data bits, parity and stop bits from the connection. Raises the integer
  // conversion message for a malformed port name, "Parity invalid" and
  // "Stop Bits n invalid". The port stays closed until Connect.
  kIOHandler_Serial(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_Serial() override;

  bool GetConnected() override;
  // Base header, serial header, then opens the port; a port that can't be opened raises.
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override;
  // Logs the text, converts it to the ANSI code page and writes it. Answers whether the
  // port took all of it.
  bool Write(const std::string& aMessage) override;
  // Byte by byte until a terminator; the time is looked at only after a read that brought
  // nothing, so a device that keeps sending keeps the read going (up to
  // kStreamingLimitFactor times ReadTimeout).
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;
  // Byte by byte until aCharsNum characters or ReadTimeout has passed.
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;  // raises "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;
  bool InputBufferContainsData() override;
  void SetParameter(const std::string& aName, const std::string& aValue) override;
  std::string ClassName() const override { return "kIOHandler_Serial"; }

  TComPort& Port() { return *fPort; }
  // Replaces the clock the reads measure their timeout with (tests).
  void SetClock(Clock aClock) { fClock = std::move(aClock); }

  // The per-read timeout both reads give the port.
  static constexpr int32_t kByteTimeoutMs = 100;
  // ReadUpTo gives up on a device that keeps sending without a terminator after this many
  // times its ReadTimeout (at least one second).
  static constexpr int64_t kStreamingLimitFactor = 10;

 private:
  std::unique_ptr<TComPort> fPort;
  Clock fClock;
};

class kIOHandler_Com : public kIOHandler {
 public:
  kIOHandler_Com(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);

  bool GetConnected() override { return true; }
  bool Connect() override;  // base header only; true
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  bool Write(const std::string& aMessage) override;  // sends nothing; false
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;                // raises "ReadAll Unsupported"
  bool InputBufferContainsData() override;       // raises "InputBufferContainsData Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;
  void SetParameter(const std::string& /*aName*/, const std::string& /*aValue*/) override {}
  std::string ClassName() const override { return "kIOHandler_Com"; }
};

}  // namespace fp
