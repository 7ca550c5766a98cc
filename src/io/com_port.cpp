// What the serial port is on every system: its settings, the device a port number names, and
// the checks and bookkeeping around the system's calls.
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
  return SystemDevicePath(aComNumber);
}

void TComPort::Open() {
  if (fComIsOpen) Close();
  const std::string com = "COM" + std::to_string(fComNumber);
  uint32_t error = 0;
  bool missing = false;
  fComHandle = OpenDevice(DevicePath(fComNumber), error, missing);
  if (fComHandle == -1) {
    if (missing) throw TComPortException(com + " is not a valid COM port.");
    throw TComPortException("Cannot open " + com + " (error #" + std::to_string(error) + ").");
  }
  try {
    SetLineParameters(fBaudRate, fDataBits, fStopBits, fParity);
  } catch (...) {
    Close();
    throw;
  }
  fComIsOpen = true;
  fCurrentComTimeout = -1;
  // Until a timeout is given a read takes only what is waiting.
  fTotalTimeout = 0;
  ApplyReadTimeout();
}

void TComPort::Close() {
  if (fComHandle != -1) {
    CloseDevice();
    fComHandle = -1;
  }
  fComIsOpen = false;
}

int TComPort::Read(void* aBuffer, int aBytes, int32_t aTimeout, uint32_t& aErrorCode) {
  if (!fComIsOpen) throw TComPortException("Cannot read because COM port is not open.");
  if (aTimeout != 0 && aTimeout != fCurrentComTimeout) {
    fTotalTimeout = aTimeout > 0 ? aTimeout : 0;
    fCurrentComTimeout = aTimeout;
    ApplyReadTimeout();
  }
  if (aBytes <= 0) return 0;
  return ReadDevice(aBuffer, aBytes, aErrorCode);
}

bool TComPort::WriteText(const std::string& aText) {
  if (!fComIsOpen) throw TComPortException("Cannot write because COM port is not open.");
  return WriteDevice(aText);
}

int TComPort::GetBytesPending() { return fComIsOpen ? DeviceBytesPending() : 0; }

void TComPort::ClearBuffers() {
  if (fComIsOpen && !PurgeDevice()) throw TComPortException("PurgeComm failed!");
}

void TComPort::SetModemLine(bool aDtr, bool aAssert, const char* aName) {
  if (!fComIsOpen) throw TComPortException(std::string(aName) + " failed because COM port not open.");
  DriveModemLine(aDtr, aAssert, aName);
}

void TComPort::SetDTR(bool aAssert) { SetModemLine(true, aAssert, "SetDTR"); }

void TComPort::SetRTS(bool aAssert) { SetModemLine(false, aAssert, "SetRTS"); }

}  // namespace fp
