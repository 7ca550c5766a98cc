// The serial port over the Win32 communications functions.
#include "io/com_port.h"

#include <windows.h>

#include "base/text.h"

namespace fp {

namespace {

HANDLE Handle(intptr_t aHandle) { return reinterpret_cast<HANDLE>(aHandle); }

std::wstring WideName(const std::string& aName) {
  std::u16string units = Utf8ToUtf16(aName);
  return std::wstring(units.begin(), units.end());
}

}  // namespace

intptr_t TComPort::OpenDevice(const std::string& aPath, uint32_t& aError, bool& aMissing) {
  // No sharing: a serial port has one user at a time.
  HANDLE h = aPath.empty() ? INVALID_HANDLE_VALUE
                           : ::CreateFileW(WideName(aPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    aError = aPath.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
    aMissing = aError == ERROR_FILE_NOT_FOUND || aError == ERROR_PATH_NOT_FOUND;
    return -1;
  }
  ::SetupComm(h, 4096, 4096);
  return reinterpret_cast<intptr_t>(h);
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

void TComPort::CloseDevice() {
  ::PurgeComm(Handle(fComHandle), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  ::CloseHandle(Handle(fComHandle));
}

void TComPort::ApplyReadTimeout() {
  // The whole read within the total timeout, at most the interval between two bytes; no
  // total timeout: only what is waiting.
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = fTotalTimeout > 0 ? kIntervalTimeoutMs : MAXDWORD;
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(fTotalTimeout);
  t.WriteTotalTimeoutConstant = kWriteStallMs;
  ::SetCommTimeouts(Handle(fComHandle), &t);
}

int TComPort::ReadDevice(void* aBuffer, int aBytes, uint32_t& aErrorCode) {
  DWORD got = 0;
  if (!::ReadFile(Handle(fComHandle), aBuffer, static_cast<DWORD>(aBytes), &got, nullptr)) {
    aErrorCode = ::GetLastError();
    DWORD errors = 0;
    ::ClearCommError(Handle(fComHandle), &errors, nullptr);
    return got > 0 ? static_cast<int>(got) : -1;
  }
  return static_cast<int>(got);
}

bool TComPort::WriteDevice(const std::string& aText) {
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

int TComPort::DeviceBytesPending() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(Handle(fComHandle), &errors, &status)) return 0;
  return static_cast<int>(status.cbInQue);
}

bool TComPort::PurgeDevice() { return ::PurgeComm(Handle(fComHandle), PURGE_RXCLEAR | PURGE_TXCLEAR) != 0; }

void TComPort::DriveModemLine(bool aDtr, bool aAssert, const char* aName) {
  const DWORD function = aDtr ? (aAssert ? SETDTR : CLRDTR) : (aAssert ? SETRTS : CLRRTS);
  if (!::EscapeCommFunction(Handle(fComHandle), function))
    throw TComPortException(std::string(aName) + " failed (error #" + std::to_string(::GetLastError()) + ")");
}

// The device namespace reaches COM10 and above, which the plain names do not.
std::string TComPort::SystemDevicePath(uint32_t aComNumber) { return "\\\\.\\COM" + std::to_string(aComNumber); }

}  // namespace fp
