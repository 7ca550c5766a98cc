#include "io/io_handler_tcp.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "base/errors.h"
#include "base/text.h"
#include "io/code_page.h"
#include "io/connection.h"
#include "io/io_errors.h"
#include "io/transport_factory.h"

namespace fp {

namespace {

using Clock = std::chrono::steady_clock;

int64_t ElapsedMs(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

// aText as the bytes that go on the wire: with code page 0 one byte per character (the
// character's code below 256, "?" above), otherwise the text in that code page.
std::string EncodeText(const std::string& aText, int32_t aCodePage) {
  if (aCodePage != 0) return EightBitText(aText, aCodePage);
  std::string out;
  for (char32_t c : Utf8ToUtf32(aText)) out += c < 256 ? static_cast<char>(c) : '?';
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

void kIOHandler_TCP::CollectUpTo(const std::vector<uint8_t>& aChars, std::vector<uint8_t>& aResult) {
  LogWaitingFor(aChars);
  fClient->SetReadTimeout(ReadTimeout());
  const auto start = Clock::now();
  try {
    for (;;) {
      const uint8_t b = fClient->ReadByte();
      aResult.push_back(b);
      // Time before terminator: a terminator that comes late still ends as a timeout.
      if (ElapsedMs(start) > ReadTimeout()) {
        WriteLog(let_error, "Read Timeout", BytesToText(aResult));
        return;
      }
      if (IsTerminator(b, aChars)) {
        WriteLog(let_info, "Read", BytesToText(aResult));
        return;
      }
    }
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadUpTo Unexpected error", e.what());
    throw;
  }
}

std::string kIOHandler_TCP::ReadUpTo(const std::vector<uint8_t>& aChars) {
  std::vector<uint8_t> result;
  try {
    CollectUpTo(aChars, result);
  } catch (const std::exception&) {
    // Logged; the caller tells a cut-short read by its missing terminator.
  }
  return BytesToText(result);
}

std::vector<uint8_t> kIOHandler_TCP::ReadBytesUpTo(const std::vector<uint8_t>& aChars) {
  std::vector<uint8_t> result;
  CollectUpTo(aChars, result);
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

kIOHandler_TCP::ReadEnd kIOHandler_TCP::CollectAll(std::vector<uint8_t>& aResult) {
  fClient->SetReadTimeout(ReadTimeout());
  const auto start = Clock::now();
  ReadEnd end;
  try {
    for (;;) {
      aResult.push_back(fClient->ReadByte());
      if (ElapsedMs(start) > ReadTimeout()) return end;
    }
  } catch (const kTcpError& e) {
    end.fHow = e.GetKind() == kTcpError::Closed ? ReadEnd::Closed : ReadEnd::Failed;
    end.fError = e.what();
  } catch (const std::exception& e) {
    end.fHow = ReadEnd::Failed;
    end.fError = e.what();
  }
  end.fElapsedMs = ElapsedMs(start);
  return end;
}

std::string kIOHandler_TCP::ReadAll() {
  std::vector<uint8_t> result;
  const ReadEnd end = CollectAll(result);
  switch (end.fHow) {
    case ReadEnd::Timeout: WriteLog(let_error, "Read Timeout", BytesToText(result)); break;
    case ReadEnd::Closed: WriteLog(let_info, "Read", BytesToText(result)); break;
    case ReadEnd::Failed: WriteLog(let_error, "ReadAll Unexpected error", end.fError); break;
  }
  return BytesToText(result);
}

std::vector<uint8_t> kIOHandler_TCP::ReadAllBytes() {
  std::vector<uint8_t> result;
  const ReadEnd end = CollectAll(result);
  switch (end.fHow) {
    case ReadEnd::Timeout:
      result.clear();
      WriteLog(let_error, "Read Timeout", "");
      break;
    case ReadEnd::Closed: WriteLog(let_info, "Read", BytesToText(result)); break;
    case ReadEnd::Failed:
      WriteLog(let_error, "lTimeoutExpired", std::to_string(end.fElapsedMs));
      WriteLog(let_error, "ReadAll Unexpected error", end.fError);
      result.clear();
      break;
  }
  return result;
}

}  // namespace fp
