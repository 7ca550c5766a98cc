// The serial port over the Win32 communications functions.
#include "io/com_port.h"

#include <windows.h>

#include "base/text.h"

namespace fp {

namespace {

constexpr int kLineDtr = 1, kLineRts = 2;

HANDLE Handle(intptr_t aHandle) { return reinterpret_cast<HANDLE>(aHandle); }

std::wstring WideName(const std::string& aName) {
  std::u16string units = Utf8ToUtf16(aName);
  return std::wstring(units.begin(), units.end());
}

}  // namespace

void TComPort::Open() {
  if (fComIsOpen) Close();
  const std::string com = "COM" + std::to_string(fComNumber);
  const std::string path = DevicePath(fComNumber);
  // No sharing: a serial port has one user at a time.
  HANDLE h = path.empty() ? INVALID_HANDLE_VALUE
                          : ::CreateFileW(WideName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) throw TComPortException(com + " is not a valid COM port.");
    throw TComPortException("Cannot open " + com + " (error #" + std::to_string(e) + ").");
  }
  fComHandle = reinterpret_cast<intptr_t>(h);
  try {
    SetLineParameters(fBaudRate, fDataBits, fStopBits, fParity);
  } catch (...) {
    ::CloseHandle(h);
    fComHandle = -1;
    throw;
  }
  ::SetupComm(h, 4096, 4096);
  fComIsOpen = true;
  fCurrentComTimeout = -1;
  fTotalTimeout = 0;
  // Until a timeout is given a read takes only what is waiting.
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  t.WriteTotalTimeoutConstant = kWriteStallMs;
  ::SetCommTimeouts(h, &t);
}

void TComPort::SetLineParameters(uint32_t aBaud, uint8_t aData, TStopBits aStop, TParity aParity) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (fComHandle == -1 || !::GetCommState(Handle(fComHandle), &dcb)) throw TComPortException("GetCommState failed!");
  // A raw binary line without flow control.
  dcb.BaudRate = aBaud;
  dcb.ByteSize = aData;
  dcb.StopBits = aStop == sbOne ? ONESTOPBIT : aStop == sbOneHalf ? ONE5STOPBITS : TWOSTOPBITS;
  static constexpr BYTE kParity[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
  dcb.Parity = aParity >= ptNone && aParity <= ptSpace ? kParity[aParity] : NOPARITY;
  dcb.fBinary = TRUE;
  dcb.fParity = aParity != ptNone;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (aData < 5 || aData > 8 || !::SetCommState(Handle(fComHandle), &dcb)) throw TComPortException("SetCommState failed!");
  fBaudRate = aBaud;
  fDataBits = aData;
  fStopBits = aStop;
  fParity = aParity;
}

void TComPort::Close() {
  if (fComHandle != -1) {
    ::PurgeComm(Handle(fComHandle), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    ::CloseHandle(Handle(fComHandle));
    fComHandle = -1;
  }
  fComIsOpen = false;
}

int TComPort::Read(void* aBuffer, int aBytes, int32_t aTimeout, uint32_t& aErrorCode) {
  if (!fComIsOpen) throw TComPortException("Cannot read because COM port is not open.");
  if (aTimeout != 0 && aTimeout != fCurrentComTimeout) {
    fTotalTimeout = aTimeout > 0 ? aTimeout : 0;
    fCurrentComTimeout = aTimeout;
    // The whole read within the total timeout, at most the interval between two bytes.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = fTotalTimeout > 0 ? kIntervalTimeoutMs : MAXDWORD;
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(fTotalTimeout);
    t.WriteTotalTimeoutConstant = kWriteStallMs;
    ::SetCommTimeouts(Handle(fComHandle), &t);
  }
  if (aBytes <= 0) return 0;
  DWORD got = 0;
  if (!::ReadFile(Handle(fComHandle), aBuffer, static_cast<DWORD>(aBytes), &got, nullptr)) {
    aErrorCode = ::GetLastError();
    DWORD errors = 0;
    ::ClearCommError(Handle(fComHandle), &errors, nullptr);
    return got > 0 ? static_cast<int>(got) : -1;
  }
  return static_cast<int>(got);
}

bool TComPort::WriteText(const std::string& aText) {
  if (!fComIsOpen) throw TComPortException("Cannot write because COM port is not open.");
  size_t done = 0;
  while (done < aText.size()) {
    DWORD written = 0;
    if (!::WriteFile(Handle(fComHandle), aText.data() + done, static_cast<DWORD>(aText.size() - done), &written,
                     nullptr))
      throw TComPortException("Write to com port failed.");
    // The write timeout passed without the port taking a byte.
    if (written == 0) return false;
    done += written;
  }
  return true;
}

int TComPort::GetBytesPending() {
  if (!fComIsOpen) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(Handle(fComHandle), &errors, &status)) return 0;
  return static_cast<int>(status.cbInQue);
}

void TComPort::ClearBuffers() {
  if (!fComIsOpen) return;
  if (!::PurgeComm(Handle(fComHandle), PURGE_RXCLEAR | PURGE_TXCLEAR)) throw TComPortException("PurgeComm failed!");
}

void TComPort::SetModemLine(int aLine, bool aAssert, const char* aName) {
  if (!fComIsOpen) throw TComPortException(std::string(aName) + " failed because COM port not open.");
  const DWORD function = aLine == kLineDtr ? (aAssert ? SETDTR : CLRDTR) : (aAssert ? SETRTS : CLRRTS);
  if (!::EscapeCommFunction(Handle(fComHandle), function))
    throw TComPortException(std::string(aName) + " failed (error #" + std::to_string(::GetLastError()) + ")");
}

void TComPort::SetDTR(bool aAssert) { SetModemLine(kLineDtr, aAssert, "SetDTR"); }

void TComPort::SetRTS(bool aAssert) { SetModemLine(kLineRts, aAssert, "SetRTS"); }

}  // namespace fp
