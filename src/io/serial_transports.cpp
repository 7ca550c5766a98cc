#include "io/serial_transports.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "io/code_page.h"
#include "io/connection.h"
#include "io/io_handler_tcp.h"
#include "io/transport_factory.h"

namespace fp {

namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The port number of a name COMn: the characters after the first three, at most three of
// them, as a decimal integer.
uint32_t PortNumber(const std::string& aSerialPort) {
  const std::string digits = CharSubstr(aSerialPort, 3, 3);
  size_t i = 0;
  bool negative = false;
  if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) negative = digits[i++] == '-';
  if (i == digits.size() || !std::all_of(digits.begin() + static_cast<long>(i), digits.end(),
                                         [](char c) { return c >= '0' && c <= '9'; }))
    throw kException("'" + digits + "' is not a valid integer value");
  const int32_t value = static_cast<int32_t>(std::stol(digits.substr(i)));
  return static_cast<uint32_t>(negative ? -value : value);
}

TParity LineParity(vnParity aParity) {
  switch (aParity) {
    case vnParity::None: return ptNone;
    case vnParity::Even: return ptEven;
    case vnParity::Odd: return ptOdd;
  }
  throw kException("Parity invalid");
}

TStopBits LineStopBits(int32_t aStopBits) {
  switch (aStopBits) {
    case 1: return sbOne;
    case 2: return sbTwo;
    default: throw kException("Stop Bits " + std::to_string(aStopBits) + " invalid");
  }
}

const char* ParityName(TParity aParity) {
  switch (aParity) {
    case ptNone: return "none";
    case ptOdd: return "odd";
    case ptEven: return "even";
    case ptMark: return "mark";
    case ptSpace: return "space";
  }
  return "none";
}

const char* StopBitsName(TStopBits aStopBits) {
  switch (aStopBits) {
    case sbOne: return "1";
    case sbOneHalf: return "1.5";
    case sbTwo: return "2";
  }
  return "1";
}

}  // namespace

std::unique_ptr<kIOHandler> NewIOHandler_Serial(const kConnection& aConnection, const std::string& aDirectory,
                                                const std::string& aFileName) {
  return std::make_unique<kIOHandler_Serial>(aConnection, aDirectory, aFileName);
}

std::unique_ptr<kIOHandler> NewIOHandler_Com(const kConnection& aConnection, const std::string& aDirectory,
                                             const std::string& aFileName) {
  return std::make_unique<kIOHandler_Com>(aConnection, aDirectory, aFileName);
}

// ---- kIOHandler_Serial ----

kIOHandler_Serial::kIOHandler_Serial(const kConnection& aConnection, const std::string& aDirectory,
                                     const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName), fClock(SteadyMs) {
  const uint32_t number = PortNumber(aConnection.SerialPort);
  const TParity parity = LineParity(aConnection.Parity);
  const TStopBits stopBits = LineStopBits(aConnection.StopBits);
  const auto dataBits = static_cast<uint8_t>(aConnection.DataBits & 0xFF);
  fPort = std::make_unique<TComPort>(number, static_cast<uint32_t>(aConnection.Speed), dataBits, stopBits, parity);
}

kIOHandler_Serial::~kIOHandler_Serial() { fPort->Close(); }

bool kIOHandler_Serial::GetConnected() { return fPort->ComIsOpen(); }

bool kIOHandler_Serial::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "Serial Driver Version: " + TComPort::DriverVersion());
  Debug(let_info, "SerialPort=COM" + std::to_string(fPort->ComNumber()));
  Debug(let_info, "Speed=" + std::to_string(fPort->BaudRate()));
  Debug(let_info, std::string("Parity=") + ParityName(fPort->Parity()));
  Debug(let_info, "DataBits=" + std::to_string(fPort->DataBits()));
  Debug(let_info, std::string("StopBits=") + StopBitsName(fPort->StopBits()));
  fPort->Open();
  return fPort->ComIsOpen();
}

bool kIOHandler_Serial::Disconnect() {
  fPort->Close();
  return true;
}

void kIOHandler_Serial::ClearBuffers() { fPort->ClearBuffers(); }

bool kIOHandler_Serial::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write", aMessage);
  return fPort->WriteText(EightBitText(aMessage, AnsiCodePage()));
}

std::string kIOHandler_Serial::ReadChars(int32_t aCharsNum) {
  std::vector<uint8_t> result;
  const size_t wanted = aCharsNum > 0 ? static_cast<size_t>(aCharsNum) : 0;
  const int64_t start = fClock();
  bool timedOut = false;
  while (result.size() < wanted) {
    uint8_t byte = 0;
    uint32_t flags = 0;
    if (fPort->Read(&byte, 1, kByteTimeoutMs, flags) == 1) result.push_back(byte);
    if (result.size() >= wanted) break;
    if (fClock() - start > ReadTimeout()) {
      timedOut = true;
      break;
    }
  }
  const std::string text = BytesToText(result);
  WriteLog(timedOut ? let_error : let_info, timedOut ? "Read Timeout" : "Read", text);
  return text;
}

std::string kIOHandler_Serial::ReadUpTo(const std::vector<uint8_t>& aChars) {
  LogWaitingFor(aChars);
  std::vector<uint8_t> result;
  const int64_t start = fClock();
  // A device that never stops sending and never sends a terminator would hold the caller
  // for ever; past this limit the read ends as a timeout even while bytes still come.
  const int64_t hardLimit = kStreamingLimitFactor * std::max<int64_t>(ReadTimeout(), 1000);
  bool timedOut = false;
  for (;;) {
    uint8_t byte = 0;
    uint32_t flags = 0;
    const int n = fPort->Read(&byte, 1, kByteTimeoutMs, flags);
    if (n < 0) WriteLog(let_error, "Read Error", std::to_string(flags));
    if (n == 1) {
      result.push_back(byte);
      if (IsTerminator(byte, aChars)) break;
      if (fClock() - start > hardLimit) {
        timedOut = true;
        break;
      }
    } else if (fClock() - start > ReadTimeout()) {
      timedOut = true;
      break;
    }
  }
  const std::string text = BytesToText(result);
  WriteLog(timedOut ? let_error : let_info, timedOut ? "Read Timeout" : "Read", text);
  return text;
}

std::string kIOHandler_Serial::ReadAll() { throw kException("ReadAll Unsupported"); }

std::string kIOHandler_Serial::DecodeError(int32_t) { return {}; }

bool kIOHandler_Serial::InputBufferContainsData() { return fPort->GetBytesPending() > 0; }

void kIOHandler_Serial::SetParameter(const std::string&, const std::string&) {}

// ---- kIOHandler_Com ----

kIOHandler_Com::kIOHandler_Com(const kConnection& aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName) {}

bool kIOHandler_Com::Connect() { return kIOHandler::Connect(); }

bool kIOHandler_Com::Write(const std::string&) { return false; }

std::string kIOHandler_Com::ReadUpTo(const std::vector<uint8_t>&) { return {}; }

std::string kIOHandler_Com::ReadChars(int32_t) { return {}; }

std::string kIOHandler_Com::ReadAll() { throw kException("ReadAll Unsupported"); }

bool kIOHandler_Com::InputBufferContainsData() { throw kException("InputBufferContainsData Unsupported"); }

std::string kIOHandler_Com::DecodeError(int32_t) { return {}; }

}  // namespace fp
