// kIOHandler: the transport interface through which a device object reaches its device.
// Besides the exchange itself it carries what every transport shares: the device's log,
// the connect and read timeouts, a temporary read timeout for slow operations, and the
// custom error slot in which a driver leaves the last failure for the device framework.
//
// A transport serves one call at a time and holds no lock of its own; its log writer is
// safe to call from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/log_writer.h"
#include "io/exchange.h"

namespace fp {

class kConnection;

class kIOHandler {
 public:
  // Takes the timeouts from aConnection when one is given. With both aDirectory and
  // aFileName non-empty, opens the daily log aDirectory/aFileName_yyyymmdd.log and writes
  // the START line; otherwise the transport has no log and logging does nothing.
  kIOHandler(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);
  // Writes the STOP line and closes the log, draining its queue.
  virtual ~kIOHandler();
  kIOHandler(const kIOHandler&) = delete;
  kIOHandler& operator=(const kIOHandler&) = delete;

  // ---- Operations every transport implements ----

  virtual bool GetConnected() = 0;
  bool Connected() { return GetConnected(); }
  // The base writes the connection header and answers true; transports call it first.
  virtual bool Connect();
  // True when the connection is closed afterwards.
  virtual bool Disconnect() = 0;
  // Discards received data not yet read.
  virtual void ClearBuffers() = 0;
  virtual bool Write(const std::string& aMessage) = 0;
  // Reads until one of the byte values aChars has been read; the terminator is part of the
  // result. On a timeout or failure, what was read so far.
  virtual std::string ReadUpTo(const std::vector<uint8_t>& aChars) = 0;
  virtual std::string ReadChars(int32_t aCharsNum) = 0;
  // Reads until the peer stops sending.
  virtual std::string ReadAll() = 0;
  virtual std::string DecodeError(int32_t aErrorCode) = 0;
  virtual bool InputBufferContainsData() = 0;
  virtual void SetParameter(const std::string& aName, const std::string& aValue) = 0;

  // The request-and-answer exchanges of a model driver, on a transport that offers them,
  // with aProfile applied; the transport keeps ownership. Null (the default) on a transport
  // that has none.
  virtual kExchange* OpenExchange(const kExchangeProfile& /*aProfile*/) { return nullptr; }

  // The transport's class name as it appears in the connection header.
  virtual std::string ClassName() const = 0;

  // ---- Log ----

  // A logged message (an answer, a request) longer than this many bytes is cut there and
  // followed by a note of its full length; the dump shows the part that was kept. One
  // entry stays readable and a device cannot fill the disk with a single answer.
  static constexpr size_t kMaxLoggedBytes = 8192;

  // aTitle + ":" + aMessage, and with HexLog " [" + the hexadecimal dump + "]".
  void WriteLog(tVN_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage);
  // aMessage as it is, without title or dump.
  void Debug(tVN_MessageType aEntryType, const std::string& aMessage);
  // The bounds of the log files left behind (tVN_LogWriter::SetRetention); megabytes of
  // 1024 x 1024 bytes.
  void SetLogRetention(int aMaxAgeDays, int aMaxTotalMegabytes);
  // Full path of the log file; empty without a log.
  std::string GetLogFileName() const;
  bool HasLog() const { return fLogger != nullptr; }
  // Waits until every line logged so far is in the file (for readers of the file).
  void FlushLog();

  // ---- Custom error: the last failure a driver recorded ----

  void SetCustomError(int32_t aErrorCode, const std::string& aErrorMessage);
  void ResetCustomError();
  bool ErrorFound() const { return fErrorFound; }
  int32_t ErrorCode() const { return fErrorCode; }
  const std::string& ErrorMessage() const { return fErrorMessage; }

  // ---- Temporary read timeout, bracketing a slow command ----

  // Logs the change whatever the value; only a value above 0 saves the current read
  // timeout and replaces it.
  void SetTemporaryReadTimeout(int32_t aNewTimeout);
  // Logs and restores the saved value when there is one; the saved value is kept.
  void ResetTemporaryReadTimeout();

  // ---- Properties ----

  bool HexLog() const { return fHexLog; }
  void SetHexLog(bool aValue) { fHexLog = aValue; }
  int32_t ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(int32_t aValue) { fConnectTimeout = aValue; }
  int32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(int32_t aValue) { fReadTimeout = aValue; }
  const std::string& Version() const { return fVersion; }
  void SetVersion(const std::string& aValue) { fVersion = aValue; }
  // Code page of the text sent by byte-stream transports; 0 = one byte per character.
  int32_t CodePage() const { return fCodePage; }
  void SetCodePage(int32_t aValue) { fCodePage = aValue; }

  // The hexadecimal dump of a text: each character's code in lower-case hex of at least
  // two digits, separated by blanks.
  static std::string HexDump(const std::string& aText);

 protected:
  // The line a read up to a terminator starts with: "Waiting for:" + the terminators as
  // characters separated by ",", and with HexLog their hexadecimal codes in brackets.
  void LogWaitingFor(const std::vector<uint8_t>& aChars);
  // Whether aByte is one of the terminators aChars.
  static bool IsTerminator(uint8_t aByte, const std::vector<uint8_t>& aChars);

  std::unique_ptr<tVN_LogWriter> fLogger;

 private:
  bool fErrorFound = false;
  int32_t fErrorCode = 0;
  std::string fErrorMessage;
  bool fHexLog = false;
  int32_t fConnectTimeout = 0;
  int32_t fReadTimeout = 0;
  int32_t fTemporaryReadTimeout = 0;
  std::string fVersion;
  int32_t fCodePage = 0;
};

}  // namespace fp
