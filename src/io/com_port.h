// TComPort: a small serial port class over POSIX termios (com_port_posix.cpp) or the Win32
// communications functions (com_port_win.cpp). It opens port n by number, sets its line
// parameters and read timeouts, and reads and writes bytes.
//
// Port n is the device named by the environment variable FPDRIVER_COMn when that is set
// (so a user or a test can point COM3 at any tty, a USB adapter or a pseudo-terminal), and
// otherwise /dev/ttyS(n-1) on POSIX, following the usual numbering of COM1 as /dev/ttyS0,
// and \\.\COMn on Windows.
//
// Every wait is bounded: reads by their interval and total timeouts, writes by a stall
// limit. Failures raise TComPortException.
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"

namespace fp {

class TComPortException : public kException {
 public:
  explicit TComPortException(const std::string& aMessage) : kException(aMessage) {}
};

// The ordinals are the values the line settings take.
enum TParity : int32_t { ptNone = 0, ptOdd = 1, ptEven = 2, ptMark = 3, ptSpace = 4 };
enum TStopBits : int32_t { sbOne = 0, sbOneHalf = 1, sbTwo = 2 };

class TComPort {
 public:
  // The interval allowed between two bytes of one read once the first has come.
  static constexpr int32_t kIntervalTimeoutMs = 100;
  // How long a write may go without the port taking any byte before it gives up.
  static constexpr int32_t kWriteStallMs = 5000;

  explicit TComPort(uint32_t aComNumber);
  TComPort(uint32_t aComNumber, uint32_t aBaudRate);
  TComPort(uint32_t aComNumber, uint32_t aBaudRate, uint8_t aDataBits, TStopBits aStopBits, TParity aParity);
  ~TComPort();
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // The device file port aComNumber stands for (FPDRIVER_COMn, else /dev/ttyS(n-1)).
  static std::string DevicePath(uint32_t aComNumber);
  // The system's own name of port aComNumber (1 and up).
  static std::string SystemDevicePath(uint32_t aComNumber);

  // Opens the device for reading and writing, exclusively, and applies the line settings.
  // "COMn is not a valid COM port." when the device does not exist, otherwise
  // "Cannot open COMn (error #e)." with the system error number.
  void Open();
  // Discards pending input and output and closes the port; nothing when closed.
  void Close();

  // Reads the current settings, replaces speed, data bits, stop bits and parity, writes
  // them back and keeps the four values. Raises "GetCommState failed!" or
  // "SetCommState failed!" (also for a speed or data size the line can't take).
  void SetLineParameters(uint32_t aBaud, uint8_t aData, TStopBits aStop, TParity aParity);

  // Reads up to aBytes bytes. A non-zero aTimeout that differs from the last one becomes the
  // port's total read timeout (with kIntervalTimeoutMs between bytes). Answers the count
  // read (0 when the time passed without data) or -1 on a read failure, with the system
  // error number in aErrorCode. Before any timeout was given a read takes only what is
  // already waiting. Raises "Cannot read because COM port is not open." on a closed port.
  int Read(void* aBuffer, int aBytes, int32_t aTimeout, uint32_t& aErrorCode);
  // Writes the bytes of an 8-bit text; answers whether all were written (false when the
  // port stalled for kWriteStallMs). Raises on a closed port or a failed write.
  bool WriteText(const std::string& aText);
  // Bytes waiting in the input queue; 0 when it can't be asked.
  int GetBytesPending();
  // Discards pending input and output; "PurgeComm failed!" when that fails.
  void ClearBuffers();
  void SetDTR(bool aAssert);
  void SetRTS(bool aAssert);

  static std::string DriverVersion() { return "1.0"; }

  uint32_t ComNumber() const { return fComNumber; }
  uint32_t BaudRate() const { return fBaudRate; }
  uint8_t DataBits() const { return fDataBits; }
  TStopBits StopBits() const { return fStopBits; }
  TParity Parity() const { return fParity; }
  bool ComIsOpen() const { return fComIsOpen; }
  int32_t CurrentComTimeout() const { return fCurrentComTimeout; }

 private:
  // The system's side, one per system (com_port_posix.cpp, com_port_win.cpp); this class's
  // own bookkeeping and checks stay in com_port.cpp.
  // Opens aPath for reading and writing, not shared; -1 when it can't, with the system's
  // error number in aError and aMissing set when there is no such device.
  static intptr_t OpenDevice(const std::string& aPath, uint32_t& aError, bool& aMissing);
  // Discards pending input and output and closes fComHandle.
  void CloseDevice();
  // Makes fTotalTimeout the open port's read timeout.
  void ApplyReadTimeout();
  // The read, write, queue and line calls of the open port, as Read, WriteText,
  // GetBytesPending, ClearBuffers (false when the purge failed) and SetDTR / SetRTS.
  int ReadDevice(void* aBuffer, int aBytes, uint32_t& aErrorCode);
  bool WriteDevice(const std::string& aText);
  int DeviceBytesPending();
  bool PurgeDevice();
  void DriveModemLine(bool aDtr, bool aAssert, const char* aName);
  void SetModemLine(bool aDtr, bool aAssert, const char* aName);

  uint32_t fComNumber;
  uint32_t fBaudRate = 9600;
  uint8_t fDataBits = 8;
  TStopBits fStopBits = sbOne;
  TParity fParity = ptNone;
  intptr_t fComHandle = -1;  // the open device: a descriptor, or a Windows handle
  bool fComIsOpen = false;
  int32_t fCurrentComTimeout = -1;
  int32_t fTotalTimeout = 0;  // the port's total read timeout; 0 = take what is waiting
};

}  // namespace fp
