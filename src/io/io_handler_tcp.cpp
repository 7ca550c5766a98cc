#include "io/io_handler_tcp.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include <iconv.h>

#include "base/errors.h"
#include "base/text.h"
#include "io/device_handler.h"
#include "io/io_errors.h"
#include "io/transport_factory.h"

namespace fp {

namespace {

using Clock = std::chrono::steady_clock;

int64_t ElapsedMs(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

bool IsTerminator(uint8_t aByte, const std::vector<uint8_t>& aChars) {
  return std::find(aChars.begin(), aChars.end(), aByte) != aChars.end();
}

// The iconv name of a Windows code page number.
std::string IconvName(int32_t aCodePage) {
  switch (aCodePage) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    default: break;
  }
  if (aCodePage >= 28591 && aCodePage <= 28606) return "ISO-8859-" + std::to_string(aCodePage - 28590);
  return "CP" + std::to_string(aCodePage);
}

// aText in code page aCodePage; a character the code page can't hold becomes "?".
std::string EncodeText(const std::string& aText, int32_t aCodePage) {
  std::string out;
  if (aCodePage == 0) {
    // One byte per character: the character's code below 256, "?" above.
    for (char32_t c : Utf8ToUtf32(aText)) out += c < 256 ? static_cast<char>(c) : '?';
    return out;
  }
  const std::string name = IconvName(aCodePage);
  iconv_t cd = ::iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw kException(IconvMessage(name, errno));
  // Character by character, so one unconvertible character costs only itself.
  for (char32_t c : Utf8ToUtf32(aText)) {
    std::string in;
    AppendUtf8(in, c);
    char buf[16];
    char* inp = in.data();
    size_t inleft = in.size();
    char* outp = buf;
    size_t outleft = sizeof(buf);
    if (::iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1)) {
      ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out += '?';
      continue;
    }
    out.append(buf, static_cast<size_t>(outp - buf));
  }
  // Flush any shift state of a stateful encoding.
  char buf[16];
  char* outp = buf;
  size_t outleft = sizeof(buf);
  ::iconv(cd, nullptr, nullptr, &outp, &outleft);
  out.append(buf, static_cast<size_t>(outp - buf));
  ::iconv_close(cd);
  return out;
}

}  // namespace

std::string BytesToText(const uint8_t* aData, size_t aSize) {
  std::string out;
  out.reserve(aSize);
  for (size_t i = 0; i < aSize; ++i) AppendUtf8(out, aData[i]);
  return out;
}

std::unique_ptr<kIOHandler> NewIOHandler_TCP(const kConnection& aConnection, const std::string& aDirectory,
                                             const std::string& aFileName) {
  return std::make_unique<kIOHandler_TCP>(aConnection, aDirectory, aFileName);
}

kIOHandler_TCP::kIOHandler_TCP(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName),
      fClient(std::make_unique<kTcpClient>(aConnection.Address, static_cast<uint16_t>(aConnection.Port & 0xFFFF),
                                           ConnectTimeout())) {}

kIOHandler_TCP::~kIOHandler_TCP() = default;

bool kIOHandler_TCP::GetConnected() {
  try {
    return fClient->Connected();
  } catch (...) {
    return false;
  }
}

bool kIOHandler_TCP::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "Host=" + fClient->Host());
  Debug(let_info, "Port=" + std::to_string(fClient->Port()));
  try {
    if (!fClient->Connected()) {
      fClient->SetConnectTimeout(ConnectTimeout());
      fClient->Connect();
    }
  } catch (const kTcpError& e) {
    // A connect that ran out of time is reported below as not connected.
    if (e.GetKind() != kTcpError::Timeout) {
      WriteLog(let_error, "Connect Error", e.what());
      return false;
    }
  } catch (const std::exception& e) {
    WriteLog(let_error, "Connect Error", e.what());
    return false;
  }
  const bool connected = fClient->Connected();
  if (!connected) WriteLog(let_error, "Connect Timeout", "");
  return connected;
}

bool kIOHandler_TCP::Disconnect() {
  if (fClient->Connected()) fClient->Disconnect();
  fClient->Disconnect();  // also drops a socket whose peer has closed
  return !fClient->Connected();
}

void kIOHandler_TCP::ClearBuffers() { fClient->ClearBuffer(); }

bool kIOHandler_TCP::InputBufferContainsData() { return fClient->BufferedCount() > 0; }

std::string kIOHandler_TCP::DecodeError(int32_t) { return {}; }

void kIOHandler_TCP::SetParameter(const std::string&, const std::string&) {}

bool kIOHandler_TCP::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write", aMessage);
  fClient->SetReadTimeout(ReadTimeout());
  fClient->Send(EncodeText(aMessage, CodePage()));
  return true;
}

bool kIOHandler_TCP::WriteBytes(const std::vector<uint8_t>& aBytes) {
  WriteLog(let_info, "Write", BytesToText(aBytes));
  fClient->SetReadTimeout(ReadTimeout());
  fClient->Send(aBytes.data(), aBytes.size());
  return true;
}

void kIOHandler_TCP::LogWaitingFor(const std::vector<uint8_t>& aChars) {
  if (!HasLog()) return;
  std::string chars, hex;
  for (uint8_t c : aChars) {
    if (!chars.empty()) chars += ",";
    AppendUtf8(chars, c);
    char buf[8];
    std::snprintf(buf, sizeof(buf), "%02x", c);
    if (!hex.empty()) hex += ",";
    hex += buf;
  }
  std::string line = "Waiting for:" + chars;
  if (HexLog()) line += " [" + hex + "]";
  Debug(let_info, line);
}

std::string kIOHandler_TCP::ReadUpTo(const std::vector<uint8_t>& aChars) {
  LogWaitingFor(aChars);
  fClient->SetReadTimeout(ReadTimeout());
  std::vector<uint8_t> result;
  const auto start = Clock::now();
  try {
    for (;;) {
      const uint8_t b = fClient->ReadByte();
      result.push_back(b);
      // Time before terminator: a terminator that comes late still ends as a timeout.
      if (ElapsedMs(start) > ReadTimeout()) {
        WriteLog(let_error, "Read Timeout", BytesToText(result));
        break;
      }
      if (IsTerminator(b, aChars)) {
        WriteLog(let_info, "Read", BytesToText(result));
        break;
      }
    }
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadUpTo Unexpected error", e.what());
  }
  return BytesToText(result);
}

std::vector<uint8_t> kIOHandler_TCP::ReadBytesUpTo(const std::vector<uint8_t>& aChars) {
  LogWaitingFor(aChars);
  fClient->SetReadTimeout(ReadTimeout());
  std::vector<uint8_t> result;
  const auto start = Clock::now();
  try {
    for (;;) {
      const uint8_t b = fClient->ReadByte();
      result.push_back(b);
      if (ElapsedMs(start) > ReadTimeout()) {
        WriteLog(let_error, "Read Timeout", BytesToText(result));
        break;
      }
      if (IsTerminator(b, aChars)) {
        WriteLog(let_info, "Read", BytesToText(result));
        break;
      }
    }
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadUpTo Unexpected error", e.what());
    throw;
  }
  return result;
}

std::string kIOHandler_TCP::ReadChars(int32_t aCharsNum) {
  fClient->SetReadTimeout(ReadTimeout());
  const size_t wanted = aCharsNum > 0 ? static_cast<size_t>(aCharsNum) : 0;
  std::string text;
  try {
    const std::vector<uint8_t> bytes = fClient->ReadExact(wanted);
    text = BytesToText(bytes);
    if (bytes.size() < wanted)
      WriteLog(let_error, "Read Timeout", text);
    else
      WriteLog(let_info, "Read", text);
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadChars Unexpected error", e.what());
    return {};
  }
  return text;
}

std::vector<uint8_t> kIOHandler_TCP::ReadBytes(size_t aCount) { return fClient->ReadExact(aCount); }

std::string kIOHandler_TCP::ReadAll() {
  fClient->SetReadTimeout(ReadTimeout());
  std::vector<uint8_t> result;
  const auto start = Clock::now();
  try {
    for (;;) {
      result.push_back(fClient->ReadByte());
      if (ElapsedMs(start) > ReadTimeout()) {
        WriteLog(let_error, "Read Timeout", BytesToText(result));
        break;
      }
    }
  } catch (const kTcpError& e) {
    if (e.GetKind() == kTcpError::Closed)
      WriteLog(let_info, "Read", BytesToText(result));
    else
      WriteLog(let_error, "ReadAll Unexpected error", e.what());
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadAll Unexpected error", e.what());
  }
  return BytesToText(result);
}

std::vector<uint8_t> kIOHandler_TCP::ReadAllBytes() {
  fClient->SetReadTimeout(ReadTimeout());
  std::vector<uint8_t> result;
  const auto start = Clock::now();
  try {
    for (;;) {
      result.push_back(fClient->ReadByte());
      if (ElapsedMs(start) > ReadTimeout()) {
        result.clear();
        WriteLog(let_error, "Read Timeout", "");
        break;
      }
    }
  } catch (const std::exception& e) {
    const auto* tcp = dynamic_cast<const kTcpError*>(&e);
    if (tcp != nullptr && tcp->GetKind() == kTcpError::Closed) {
      WriteLog(let_info, "Read", BytesToText(result));
    } else {
      WriteLog(let_error, "lTimeoutExpired", std::to_string(ElapsedMs(start)));
      WriteLog(let_error, "ReadAll Unexpected error", e.what());
      result.clear();
    }
  }
  return result;
}

}  // namespace fp
