// What the serial transport tests share on both systems: the connection of the port the
// test device sits on (COM41: a pseudo-terminal on POSIX, the Wine prefix's com41 link on
// Windows) and a clock that lets read timeouts pass without waiting for them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/serial_transports.h"
#include "request/device_handler.h"

namespace fp::test {

constexpr uint32_t kSerialPortNumber = 41;

inline kConnection SerialConnection(int32_t aSpeed = 9600, int32_t aDataBits = 8, vnParity aParity = vnParity::None,
                                    int32_t aStopBits = 1) {
  kConnection c;
  c.ConnectionType = vnConnectionType::Serial;
  c.SerialPort = "COM" + std::to_string(kSerialPortNumber);
  c.Speed = aSpeed;
  c.DataBits = aDataBits;
  c.Parity = aParity;
  c.StopBits = aStopBits;
  c.SetReadTimeOut(300);
  return c;
}

// A clock that moves 50 ms on every look, so a read timeout passes after a few reads.
inline kIOHandler_Serial::Clock SteppingClock() {
  auto now = std::make_shared<int64_t>(0);
  return [now] { return *now += 50; };
}

}  // namespace fp::test
