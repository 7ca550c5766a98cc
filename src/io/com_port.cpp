// What the serial port is on every system: its settings and the device a port number names.
#include "io/com_port.h"

#include <cstdlib>

namespace fp {

TComPort::TComPort(uint32_t aComNumber) : fComNumber(aComNumber) {}

TComPort::TComPort(uint32_t aComNumber, uint32_t aBaudRate) : fComNumber(aComNumber), fBaudRate(aBaudRate) {}

TComPort::TComPort(uint32_t aComNumber, uint32_t aBaudRate, uint8_t aDataBits, TStopBits aStopBits, TParity aParity)
    : fComNumber(aComNumber), fBaudRate(aBaudRate), fDataBits(aDataBits), fStopBits(aStopBits), fParity(aParity) {}

TComPort::~TComPort() { Close(); }

std::string TComPort::DevicePath(uint32_t aComNumber) {
  const std::string variable = "FPDRIVER_COM" + std::to_string(aComNumber);
  if (const char* path = std::getenv(variable.c_str()); path != nullptr && path[0] != '\0') return path;
  // COM0 names no device (opening "" fails as missing).
  if (aComNumber == 0) return {};
#if defined(_WIN32)
  // The device namespace reaches COM10 and above, which the plain names do not.
  return "\\\\.\\COM" + std::to_string(aComNumber);
#else
  // COM1 is the first port, /dev/ttyS0.
  return "/dev/ttyS" + std::to_string(aComNumber - 1);
#endif
}

}  // namespace fp
