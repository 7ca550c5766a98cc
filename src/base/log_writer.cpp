#include "base/log_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"

namespace fp {

namespace {

constexpr int kAppendAttempts = 10;
constexpr int kAppendRetryPauseMs = 50;

size_t LastSeparator(const std::string& aPath) {
  for (size_t i = aPath.size(); i > 0; --i)
    if (IsPathSeparator(aPath[i - 1])) return i - 1;
  return std::string::npos;
}

std::string FileNamePart(const std::string& aPath) {
  size_t slash = LastSeparator(aPath);
  return slash == std::string::npos ? aPath : aPath.substr(slash + 1);
}

bool AllDigits(std::string_view aText, size_t aCount) {
  if (aText.size() != aCount) return false;
  for (char c : aText)
    if (c < '0' || c > '9') return false;
  return true;
}

// Whether aName is a file this log has left behind, given the log's name without date or
// extension: aBase_yyyymmdd.log (an earlier day), aBase_yyyymmdd_<17 digits>.log or
// aBase_<17 digits>.log (rolled over for size).
bool IsEarlierFileOf(std::string_view aName, std::string_view aBase) {
  constexpr std::string_view kExtension = ".log";
  if (aName.size() <= aBase.size() + 1 + kExtension.size() || aName.substr(0, aBase.size()) != aBase ||
      aName[aBase.size()] != '_' || aName.substr(aName.size() - kExtension.size()) != kExtension)
    return false;
  const std::string_view stamp = aName.substr(aBase.size() + 1, aName.size() - aBase.size() - 1 - kExtension.size());
  return AllDigits(stamp, 8) || AllDigits(stamp, 17) ||
         (stamp.size() == 26 && AllDigits(stamp.substr(0, 8), 8) && stamp[8] == '_' && AllDigits(stamp.substr(9), 17));
}

// A message as one line of the file: every control character (C0, DEL, C1, and the line
// and paragraph separators U+2028, U+2029) and every byte that is no UTF-8 is written as an
// escape (\r, \n, \t, \xHH, \uHHHH), so no text a printer or a host hands over can end
// the entry or start a forged one.
std::string EscapeControls(std::string_view aMessage) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(aMessage.size());
  size_t pos = 0;
  while (pos < aMessage.size()) {
    const unsigned char b = static_cast<unsigned char>(aMessage[pos]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++pos;
      continue;
    }
    const size_t start = pos;
    const char32_t c = DecodeUtf8(aMessage, pos);
    const bool invalid = c == 0xFFFD && pos == start + 1;
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (invalid || c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0x0F];
    } else {
      out.append(aMessage.substr(start, pos - start));
    }
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// tVN_LogThread

tVN_LogThread::tVN_LogThread(tVN_LogWriter& aWriter) : fWriter(aWriter) {
  fThread = std::thread([this] { Run(); });
}

tVN_LogThread::~tVN_LogThread() {
  {
    std::lock_guard<std::mutex> lock(fLock);
    fStop = true;
  }
  fWake.notify_one();
  if (fThread.joinable()) fThread.join();
}

void tVN_LogThread::Enqueue(std::string aLine) {
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> lock(fLock);
    wasEmpty = fQueue.empty();
    fQueue.push_back(std::move(aLine));
  }
  // The thread only sleeps on an empty queue, so only the first line needs to wake it.
  if (wasEmpty) fWake.notify_one();
}

void tVN_LogThread::WaitIdle() {
  std::unique_lock<std::mutex> lock(fLock);
  fIdle.wait(lock, [this] { return fQueue.empty(); });
}

void tVN_LogThread::Run() {
  std::unique_lock<std::mutex> lock(fLock);
  for (;;) {
    fWake.wait(lock, [this] { return fStop || !fQueue.empty(); });
    if (fQueue.empty()) break;  // stopping, and nothing left to write
    // The oldest line stays queued while it is written, so the queue never reads empty
    // before its last line is in the file. Only this thread removes lines and appending
    // to a deque keeps references valid, so the reference survives the unlock.
    const std::string& line = fQueue.front();
    lock.unlock();
    try {
      fWriter.AppendToFile(line);
    } catch (...) {
      // A line that can't even be attempted is lost like one that failed its attempts.
    }
    lock.lock();
    fQueue.pop_front();
    if (fQueue.empty()) fIdle.notify_all();
  }
}

// ---------------------------------------------------------------------------------------
// tVN_LogWriter

tVN_LogWriter::tVN_LogWriter(std::string aFileName, std::string aDirectory, int aMaxMessageLength, bool aDaily,
                             tVN_LogEnvironment aEnvironment)
    : fGuid(NewGuidString()), fDaily(aDaily), fTimeSeparator(TimeSeparator()), fEnvironment(std::move(aEnvironment)) {
  // The date in the name is fixed here: a writer living past midnight keeps its file.
  std::string name = aDaily ? aFileName + "_" + FormatDate(CurrentTime(), "yyyymmdd") + ".log" : aFileName + ".log";
  fFileName = name;
  SetDirectoryQuiet(aDirectory);
  fMaxMessageLength = aMaxMessageLength;
  fMaxLogFileSize = 5000;
  fThread = std::make_unique<tVN_LogThread>(*this);
}

tVN_LogWriter::~tVN_LogWriter() { fThread.reset(); }

DateTime tVN_LogWriter::CurrentTime() const { return fEnvironment.now ? fEnvironment.now() : Now(); }

void tVN_LogWriter::Pause(int aMilliseconds) const {
  if (fEnvironment.sleep) fEnvironment.sleep(aMilliseconds);
  else std::this_thread::sleep_for(std::chrono::milliseconds(aMilliseconds));
}

std::string tVN_LogWriter::JoinPath(const std::string& aFolder, const std::string& aName) {
  if (aFolder.find('\0') != std::string::npos || aName.find('\0') != std::string::npos)
    throw kException("Invalid characters in path");
  if (aFolder.empty()) return aName;
  if (IsAbsolutePath(aName)) return aName;
  if (IsPathSeparator(aFolder.back())) return aFolder + aName;
  return aFolder + "/" + aName;
}

std::string tVN_LogWriter::RolloverName(const std::string& aPath, DateTime aTime) {
  size_t slash = LastSeparator(aPath);
  size_t dot = aPath.rfind('.');
  std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? aPath.substr(0, dot)
                                                                                                : aPath;
  DateTimeParts p = DecodeDateTime(aTime);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d%03d", p.year, p.month, p.day, p.hour, p.minute,
                p.second, p.millisecond);
  return stem + "_" + stamp + ".log";
}

std::string tVN_LogWriter::FormatLine(tVN_MessageType aEntryType, const std::string& aMessage, DateTime aTime) const {
  DateTimeParts p = DecodeDateTime(aTime);
  const char* sep = fTimeSeparator.c_str();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d%s%02d%s%02d%s%03d", p.year, p.month, p.day, p.hour, sep,
                p.minute, sep, p.second, sep, p.millisecond);
  int maxLength;
  bool showGuid;
  {
    std::lock_guard<std::mutex> lock(fSettingsLock);
    maxLength = fMaxMessageLength;
    showGuid = fShowInstanceGuid;
  }
  std::string line = stamp;
  if (showGuid) line += " - " + fGuid;
  line += aEntryType == let_error ? " - ERROR - " : " - ";
  if (maxLength > 0) line += EscapeControls(CharLeft(aMessage, static_cast<size_t>(maxLength)));
  else line += EscapeControls(aMessage);
  return line;
}

void tVN_LogWriter::Write(tVN_MessageType aEntryType, const std::string& aMessage) {
  {
    std::lock_guard<std::mutex> lock(fSettingsLock);
    if (fFileName.empty()) throw kException("Log filename is empty ");
  }
  fThread->Enqueue(FormatLine(aEntryType, aMessage, CurrentTime()));
}

int64_t tVN_LogWriter::GetLogFileSize() const { return FileSizeOf(FileName()); }

void tVN_LogWriter::Flush() { fThread->WaitIdle(); }


std::string tVN_LogWriter::Directory() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fDirectory;
}

std::string tVN_LogWriter::FileName() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fFileName;
}

void tVN_LogWriter::SetDirectory(const std::string& aValue) {
  if (aValue.empty()) throw kException("Unable to create directory");
  std::string joined;
  {
    std::lock_guard<std::mutex> lock(fSettingsLock);
    joined = JoinPath(aValue, FileNamePart(fFileName));
    fDirectory = aValue;
    fFileName = joined;
  }
  std::error_code ec;
  std::filesystem::create_directories(aValue, ec);
  if (ec || !std::filesystem::is_directory(aValue, ec)) throw kException("Unable to create directory");
}

void tVN_LogWriter::SetDirectoryQuiet(const std::string& aValue) {
  try {
    SetDirectory(aValue);
  } catch (const kException&) {
    // A folder that can't be made only costs the lines written later. An empty folder
    // leaves the bare file name, relative to the working folder.
    std::lock_guard<std::mutex> lock(fSettingsLock);
    if (aValue.empty()) {
      fDirectory.clear();
      fFileName = FileNamePart(fFileName);
    }
  }
}

void tVN_LogWriter::SetFileName(const std::string& aValue) {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  fFileName = JoinPath(fDirectory, FileNamePart(aValue));
}

int tVN_LogWriter::MaxMessageLength() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fMaxMessageLength;
}

void tVN_LogWriter::SetMaxMessageLength(int aValue) {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  fMaxMessageLength = aValue;
}

int tVN_LogWriter::MaxLogFileSize() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fMaxLogFileSize;
}

void tVN_LogWriter::SetMaxLogFileSize(int aValue) {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  fMaxLogFileSize = aValue;
}

bool tVN_LogWriter::ShowInstanceGuid() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fShowInstanceGuid;
}

void tVN_LogWriter::SetShowInstanceGuid(bool aValue) {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  fShowInstanceGuid = aValue;
}

void tVN_LogWriter::SetRetention(int aMaxAgeDays, int64_t aMaxTotalBytes) {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  fMaxAgeDays = std::max(aMaxAgeDays, 0);
  fMaxTotalBytes = std::max<int64_t>(aMaxTotalBytes, 0);
  fPruneDue = true;
}

int tVN_LogWriter::MaxAgeDays() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fMaxAgeDays;
}

int64_t tVN_LogWriter::MaxTotalBytes() const {
  std::lock_guard<std::mutex> lock(fSettingsLock);
  return fMaxTotalBytes;
}

int64_t tVN_LogWriter::PruneOldFiles(const std::string& aPath, int aMaxAgeDays, int64_t aMaxTotalBytes,
                                     int64_t aCurrentBytes) {
  namespace fs = std::filesystem;
  if (aMaxAgeDays <= 0 && aMaxTotalBytes <= 0) return 0;
  // Log paths are UTF-8; char8_t makes std::filesystem read them so on every system.
  const auto utf8 = [](const std::string& aText) { return fs::path(std::u8string(aText.begin(), aText.end())); };
  const auto text = [](const fs::path& aPath) {
    const std::u8string name = aPath.u8string();
    return std::string(name.begin(), name.end());
  };
  const fs::path current = utf8(aPath);
  // The log's name without its date: a daily file carries "_yyyymmdd" after it.
  std::string base = text(current.stem());
  if (fDaily && base.size() > 9 && base[base.size() - 9] == '_' && AllDigits(std::string_view(base).substr(base.size() - 8), 8))
    base.resize(base.size() - 9);

  struct Earlier {
    fs::path fPath;
    fs::file_time_type fWritten;
    int64_t fSize;
  };
  std::vector<Earlier> files;
  std::error_code ec;
  const fs::path folder = current.has_parent_path() ? current.parent_path() : fs::path(".");
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    const std::string name = text(path.filename());
    if (name == text(current.filename()) || !IsEarlierFileOf(name, base)) continue;
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    const auto written = fs::last_write_time(path, fileError);
    const auto size = fs::file_size(path, fileError);
    if (fileError) continue;
    files.push_back({path, written, static_cast<int64_t>(size)});
  }
  // Newest first: the size bound keeps the most recent history. Files written within the
  // same clock tick are told apart by the time stamp in their names.
  std::sort(files.begin(), files.end(), [](const Earlier& a, const Earlier& b) {
    return a.fWritten != b.fWritten ? a.fWritten > b.fWritten : a.fPath.filename() > b.fPath.filename();
  });
  constexpr int kLongestAgeDays = 36500;  // beyond this the clock arithmetic would overflow
  const auto oldest = fs::file_time_type::clock::now() - std::chrono::hours(24) * std::min(aMaxAgeDays, kLongestAgeDays);
  int64_t total = aCurrentBytes;
  for (const Earlier& file : files) {
    total += file.fSize;
    const bool tooOld = aMaxAgeDays > 0 && file.fWritten < oldest;
    const bool overSize = aMaxTotalBytes > 0 && total > aMaxTotalBytes;
    if (tooOld || overSize) {
      std::error_code removeError;
      fs::remove(file.fPath, removeError);  // a file that stays only costs its space
      if (!removeError) total -= file.fSize;
    }
  }
  return total - aCurrentBytes;
}

void tVN_LogWriter::AppendToFile(const std::string& aLine) {
  std::string path;
  int64_t limit;
  int maxAgeDays;
  int64_t maxTotalBytes;
  bool pruneDue;
  {
    std::lock_guard<std::mutex> lock(fSettingsLock);
    path = fFileName;
    limit = static_cast<int64_t>(fMaxLogFileSize) * 1024;
    maxAgeDays = fMaxAgeDays;
    maxTotalBytes = fMaxTotalBytes;
    pruneDue = fPruneDue;
    fPruneDue = false;
  }
  if (path.empty()) return;

  // The size of the file this line goes to, even if the name changes meanwhile.
  int64_t size = std::max<int64_t>(FileSizeOf(path), 0);
  // With a bound on the whole log, one file never takes more than half of it, so the
  // bound always leaves room for the file being written and the newest earlier one.
  const bool overTotalShare = maxTotalBytes > 0 && size > maxTotalBytes / 2;
  if (size > limit || overTotalShare) {
    // A failed rename leaves the line to the over-size file.
    if (RenameNoReplace(path, RolloverName(path, CurrentTime()))) {
      pruneDue = true;
      size = 0;
    }
  }
  std::string data = aLine;
  data += "\r\n";
  // Retries ride out a file held briefly by someone else. Once a line has been dropped the
  // file is taken as unusable and the next lines get one attempt each until one gets
  // through: otherwise a missing folder would cost half a second per queued line and keep
  // the writer's destruction waiting for minutes.
  const int attempts = fAppendFailing ? 1 : kAppendAttempts;
  bool written = false;
  for (int attempt = 1; attempt <= attempts && !written; ++attempt) {
    if (attempt > 1) Pause(kAppendRetryPauseMs);
    // Appending the whole line in one write keeps lines whole when several writers share
    // the file: each lands after the other, never inside it.
    written = fp::AppendToFile(path, data);
  }
  fAppendFailing = !written;
  // The bound on the whole log holds while the file grows, not only at rollovers: once the
  // earlier files and this one pass it, the oldest files go, before the next line.
  const int64_t current = size + (written ? static_cast<int64_t>(data.size()) : 0);
  if (!pruneDue && maxTotalBytes > 0 && !fPruneStuck && fEarlierBytes + current > maxTotalBytes) pruneDue = true;
  // After the line, so the file being written counts with its size.
  if (pruneDue) {
    fEarlierBytes = PruneOldFiles(path, maxAgeDays, maxTotalBytes, current);
    // Files that could not be removed are not tried again before the next rollover.
    fPruneStuck = maxTotalBytes > 0 && fEarlierBytes + current > maxTotalBytes;
  }
}

}  // namespace fp
