// Text log files. A caller hands a line to Write, which stamps it, queues it and returns at
// once; the writer's own thread (tVN_LogThread) appends the queued lines to the file in
// order, opening and closing the file for every line so other programs can read, rename
// or remove it between lines, and rolls the file over when it grows past its size limit.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/datetime.h"

namespace fp {

// The type of every log entry.
enum tVN_MessageType { let_info = 0, let_error = 1 };

// What the writer takes from the outside world; tests replace it so that they neither
// wait real time nor depend on the clock. Empty members take the real clock and sleep.
struct tVN_LogEnvironment {
  std::function<DateTime()> now;                // local time
  std::function<void(int aMilliseconds)> sleep;  // pause of the writer thread between attempts
};

class tVN_LogWriter;

// The writer's thread and its queue. The queue is the one structure shared between the
// callers of Write and the thread, and has a lock of its own.
class tVN_LogThread {
 public:
  explicit tVN_LogThread(tVN_LogWriter& aWriter);
  // Asks the thread to stop and waits until every queued line has been written (or
  // dropped after its attempts), then joins it.
  ~tVN_LogThread();
  tVN_LogThread(const tVN_LogThread&) = delete;
  tVN_LogThread& operator=(const tVN_LogThread&) = delete;

  void Enqueue(std::string aLine);
  // Waits until the queue is empty and no line is being written.
  void WaitIdle();

 private:
  void Run();

  tVN_LogWriter& fWriter;
  mutable std::mutex fLock;  // guards fQueue, fStop and fBusy
  std::condition_variable fWake;
  std::condition_variable fIdle;
  std::deque<std::string> fQueue;
  bool fStop = false;
  bool fBusy = false;
  std::thread fThread;
};

class tVN_LogWriter {
 public:
  // aFileName without extension; with aDaily the creation date (yyyymmdd) is added to it.
  // The folder aDirectory is created when missing; failing to create it is not reported
  // here (the lines written later are lost after their attempts).
  tVN_LogWriter(std::string aFileName, std::string aDirectory, int aMaxMessageLength, bool aDaily,
                tVN_LogEnvironment aEnvironment = {});
  // Every line queued before destruction reaches the file (or is dropped after its attempts).
  ~tVN_LogWriter();
  tVN_LogWriter(const tVN_LogWriter&) = delete;
  tVN_LogWriter& operator=(const tVN_LogWriter&) = delete;

  // Formats the line with the current local time and queues it; never touches the file.
  // Raises "Log filename is empty " when there is no file name.
  void Write(tVN_MessageType aEntryType, const std::string& aMessage);

  // Size of the current file in bytes, -1 when it can't be queried (e.g. not there yet).
  int64_t GetLogFileSize() const;
  // Whether the size is checked before the next line: always.
  bool CheckLogfileSize() const { return true; }

  // Waits until every line queued so far has been handled by the writer thread.
  void Flush();

  std::string Guid() const { return fGuid; }
  std::string Directory() const;
  // Makes aValue the folder of the log (created with missing parents). Raises "Unable to
  // create directory" for an empty or uncreatable folder and "Invalid characters in path"
  // for a path the system can't hold.
  void SetDirectory(const std::string& aValue);
  std::string FileName() const;
  // The file-name part of aValue, placed in the current directory.
  void SetFileName(const std::string& aValue);
  int MaxMessageLength() const;
  void SetMaxMessageLength(int aValue);
  bool Daily() const { return fDaily; }
  // In units of 1024 bytes.
  int MaxLogFileSize() const;
  void SetMaxLogFileSize(int aValue);
  bool ShowInstanceGuid() const;
  void SetShowInstanceGuid(bool aValue);

  // Retention of the files this log leaves behind: the files of earlier days and the files
  // rolled over for size, never the file being written. Files last written more than
  // aMaxAgeDays ago are removed; then, newest first, the files that take the log (the
  // current file included) past aMaxTotalBytes. 0 turns either bound off. Applied on the
  // writer thread after the next line, after every rollover and whenever a line takes the
  // log past aMaxTotalBytes; with that bound set, the file rolls over once it passes half
  // of it, so the log's files stay within the bound while they are written (give or take
  // the one line that passes it and files the writer cannot remove).
  static constexpr int kDefaultMaxAgeDays = 90;
  static constexpr int64_t kDefaultMaxTotalBytes = int64_t{200} * 1024 * 1024;
  void SetRetention(int aMaxAgeDays, int64_t aMaxTotalBytes);
  int MaxAgeDays() const;
  int64_t MaxTotalBytes() const;

  // The line as it goes into the file (without the line break), for the given time.
  std::string FormatLine(tVN_MessageType aEntryType, const std::string& aMessage, DateTime aTime) const;

  // Joins a folder and a file name with "/": an empty folder gives the name, a rooted
  // name is taken as it stands. Raises "Invalid characters in path".
  static std::string JoinPath(const std::string& aFolder, const std::string& aName);
  // The name a file over the size limit is renamed to: its path without the extension,
  // "_", the time as yyyymmddhhnnsszzz and ".log".
  static std::string RolloverName(const std::string& aPath, DateTime aTime);

 private:
  friend class tVN_LogThread;
  // Runs on the writer thread: size check, then up to ten attempts to append the line.
  void AppendToFile(const std::string& aLine);
  // Runs on the writer thread: removes the earlier files of the log beyond the retention,
  // counting aCurrentBytes for the file being written. Returns the bytes of the earlier
  // files that remain.
  int64_t PruneOldFiles(const std::string& aPath, int aMaxAgeDays, int64_t aMaxTotalBytes, int64_t aCurrentBytes);
  void SetDirectoryQuiet(const std::string& aValue);
  DateTime CurrentTime() const;
  void Pause(int aMilliseconds) const;

  const std::string fGuid;
  const bool fDaily;
  const std::string fTimeSeparator;
  const tVN_LogEnvironment fEnvironment;

  mutable std::mutex fSettingsLock;  // guards the settings below, read by both threads
  std::string fDirectory;
  std::string fFileName;
  int fMaxMessageLength = 0;
  int fMaxLogFileSize = 5000;
  bool fShowInstanceGuid = false;
  int fMaxAgeDays = kDefaultMaxAgeDays;
  int64_t fMaxTotalBytes = kDefaultMaxTotalBytes;
  bool fPruneDue = true;  // the retention has not been applied since it last changed

  // Used by the writer thread only:
  bool fAppendFailing = false;  // the last line was dropped
  int64_t fEarlierBytes = 0;    // the earlier files' size as the last pruning left them
  bool fPruneStuck = false;     // that pruning could not bring the log within its bound

  std::unique_ptr<tVN_LogThread> fThread;
};

}  // namespace fp
