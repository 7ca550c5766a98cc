// The platform layer: every service the library takes from the operating system outside
// plain files and sockets lives here, one place per interface, so the rest of the code
// never asks the environment directly.
//
// Hosts can steer it through the environment:
//   FPDRIVER_APP_DIR  the folder treated as the host executable's folder (log files go
//                     below it); default: the folder of /proc/self/exe.
//   FPDRIVER_ACP      the ANSI code page number; default 1252.
//   LC_ALL / LC_NUMERIC / LC_TIME / LANG
//                     the user's decimal separator, time separator and short date format;
//                     read without changing the process locale.
#pragma once

#include <string>
#include <vector>

#include "base/datetime.h"

namespace fp {

// The process's ANSI code page (FPDRIVER_ACP, default 1252; a value that is not a
// positive number gives the default).
int AnsiCodePage();

// Full path of the host executable (/proc/self/exe), empty when it can't be read.
std::string ApplicationExePath();
// Folder of the host executable without a trailing "/" (FPDRIVER_APP_DIR when set).
std::string ApplicationDir();
// A file named by a request, as a path: an absolute name as it is, a relative one joined
// to ApplicationDir(). Never the working folder, which belongs to the host and may change
// between calls.
std::string PathInApplicationDir(const std::string& aName);

// The host program's command line: element 0 is the program, then its arguments.
std::vector<std::string> CommandLineArgs();

// The user's number and date formats, taken from the locale named by the environment.
// A locale that is missing, unknown, "C" or "POSIX" gives ".", ":" and "dd/mm/yyyy".
std::string DecimalSeparator();
std::string TimeSeparator();
// Short date format with the letters d, m and y ("dd/mm/yyyy", "m/d/yy").
std::string ShortDateFormat();
// A date written in a short date format (dd, d, mm, m, yyyy, yy; anything else as is).
std::string FormatDate(DateTime aDate, const std::string& aFormat);
// A date in the user's short date format.
std::string FormatShortDate(DateTime aDate);

// A fresh random GUID, braced with upper-case hex digits:
// {XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}.
std::string NewGuidString();

// The stand-in for a modal message box: the text goes to standard error, an error
// marked as such.
void ShowMessageBox(bool aIsError, const std::string& aText);

// A named lock held across processes, standing in for a named mutex: a lock file in the
// runtime folder ($XDG_RUNTIME_DIR, else the temporary folder) held with flock.
class kNamedLock {
 public:
  explicit kNamedLock(std::string aName);
  ~kNamedLock();
  kNamedLock(const kNamedLock&) = delete;
  kNamedLock& operator=(const kNamedLock&) = delete;

  // Tries once, without waiting; true when this object holds the lock afterwards.
  bool TryAcquire();
  void Release();
  bool Held() const { return fFd >= 0; }
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
  int fFd = -1;
};

// A library can't end its host process: a termination request is only recorded, and the
// host may poll it.
void RequestHostTerminate();
bool HostTerminateRequested();
void ResetHostTerminateRequest();

}  // namespace fp
