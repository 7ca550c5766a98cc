#include "io/io_handler.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "io/connection.h"

namespace fp {

namespace {
const char kStartLine[] = "*************************** START ***************************";
const char kStopLine[] = "*************************** STOP ****************************";
const char kHeaderLine[] = "*************************************************************";

// aText cut to kMaxLoggedBytes (between two characters); aNote gets what tells the reader
// the entry was cut, or nothing.
std::string_view LoggedPart(const std::string& aText, std::string& aNote) {
  if (aText.size() <= kIOHandler::kMaxLoggedBytes) return aText;
  size_t keep = kIOHandler::kMaxLoggedBytes;
  while (keep > 0 && (static_cast<unsigned char>(aText[keep]) & 0xC0) == 0x80) --keep;
  aNote = " ... [cut at " + std::to_string(keep) + " of " + std::to_string(aText.size()) + " bytes]";
  return std::string_view(aText).substr(0, keep);
}

}  // namespace

kIOHandler::kIOHandler(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName) {
  if (aConnection != nullptr) {
    fConnectTimeout = aConnection->ConnectTimeOut();
    fReadTimeout = aConnection->ReadTimeOut();
  }
  if (!aDirectory.empty() && !aFileName.empty()) {
    fLogger = std::make_unique<tVN_LogWriter>(aFileName, aDirectory, 0, true);
    fLogger->Write(let_info, kStartLine);
  }
}

kIOHandler::~kIOHandler() {
  if (fLogger) {
    try {
      fLogger->Write(let_info, kStopLine);
    } catch (...) {
      // A destructor must not throw; the line is lost like any line the file refuses.
    }
    fLogger.reset();
  }
}

bool kIOHandler::Connect() {
  Debug(let_info, kHeaderLine);
  Debug(let_info, ClassName());
  Debug(let_info, fVersion);
  Debug(let_info, "ConnectTimeout=" + std::to_string(fConnectTimeout));
  Debug(let_info, "ReadTimeout=" + std::to_string(fReadTimeout));
  return true;
}

std::string kIOHandler::HexDump(const std::string& aText) {
  std::string out;
  char buf[16];
  for (char32_t c : Utf8ToUtf32(aText)) {
    if (!out.empty()) out += ' ';
    std::snprintf(buf, sizeof(buf), "%02x", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
}

void kIOHandler::WriteLog(tVN_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage) {
  if (!fLogger) return;
  std::string note;
  const std::string_view kept = LoggedPart(aMessage, note);
  std::string line = aTitle + ":";
  line += kept;
  line += note;
  if (fHexLog) line += " [" + HexDump(std::string(kept)) + "]";
  fLogger->Write(aEntryType, line);
}

void kIOHandler::SetLogRetention(int aMaxAgeDays, int aMaxTotalMegabytes) {
  if (fLogger) fLogger->SetRetention(aMaxAgeDays, int64_t{aMaxTotalMegabytes} * 1024 * 1024);
}

void kIOHandler::LogWaitingFor(const std::vector<uint8_t>& aChars) {
  if (!fLogger) return;
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
  if (fHexLog) line += " [" + hex + "]";
  Debug(let_info, line);
}

bool kIOHandler::IsTerminator(uint8_t aByte, const std::vector<uint8_t>& aChars) {
  return std::find(aChars.begin(), aChars.end(), aByte) != aChars.end();
}

void kIOHandler::Debug(tVN_MessageType aEntryType, const std::string& aMessage) {
  if (!fLogger) return;
  std::string note;
  const std::string_view kept = LoggedPart(aMessage, note);
  if (note.empty()) fLogger->Write(aEntryType, aMessage);
  else fLogger->Write(aEntryType, std::string(kept) + note);
}

std::string kIOHandler::GetLogFileName() const { return fLogger ? fLogger->FileName() : std::string(); }

void kIOHandler::FlushLog() {
  if (fLogger) fLogger->Flush();
}

void kIOHandler::SetCustomError(int32_t aErrorCode, const std::string& aErrorMessage) {
  fErrorFound = true;
  fErrorCode = aErrorCode;
  fErrorMessage = aErrorMessage;
}

void kIOHandler::ResetCustomError() {
  fErrorFound = false;
  fErrorCode = 0;
  fErrorMessage.clear();
}

void kIOHandler::SetTemporaryReadTimeout(int32_t aNewTimeout) {
  Debug(let_info, "Set Read Timeout to " + std::to_string(aNewTimeout) + "ms from " + std::to_string(fReadTimeout) + " ms");
  if (aNewTimeout > 0) {
    fTemporaryReadTimeout = fReadTimeout;
    fReadTimeout = aNewTimeout;
  }
}

void kIOHandler::ResetTemporaryReadTimeout() {
  Debug(let_info, "Reset Timeout to " + std::to_string(fTemporaryReadTimeout) + " ms");
  if (fTemporaryReadTimeout != 0) fReadTimeout = fTemporaryReadTimeout;
}

}  // namespace fp
