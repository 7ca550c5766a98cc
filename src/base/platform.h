// The platform layer: every service the library takes from the operating system outside
// plain files and sockets lives here, one place per interface, so the rest of the code
// never asks the environment directly.
//
// One header, one implementation file per system (platform_posix.cpp, platform_win.cpp);
// platform.cpp holds what is the same on both. Paths are UTF-8 with "/" as separator on
// every system (Windows takes "/" as well as "\"); Windows file names are wide.
//
// Hosts can steer it through the environment:
//   FPDRIVER_APP_DIR  the folder treated as the host executable's folder (log files go
//                     below it); default: the folder of the executable (/proc/self/exe,
//                     GetModuleFileNameW).
//   FPDRIVER_ACP      on POSIX, the ANSI code page number; default 1252. Windows answers
//                     GetACP().
//   LC_ALL / LC_NUMERIC / LC_TIME / LANG
//                     on POSIX, the user's decimal separator, time separator and short date
//                     format; read without changing the process locale. Windows takes them
//                     from the user's locale settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"

namespace fp {

// The process's ANSI code page (Windows: GetACP; POSIX: FPDRIVER_ACP, default 1252, a
// value that is not a positive number gives the default).
int AnsiCodePage();

// Full path of the host executable (/proc/self/exe, GetModuleFileNameW with "/" as
// separator), empty when it can't be read.
std::string ApplicationExePath();
// Whether aChar separates the folders of a path: "/", and on Windows "\" as well.
bool IsPathSeparator(char aChar);
// Whether aPath names its folder itself rather than one relative to another: "/x"; on
// Windows also "\x", "C:\x", "C:/x" and "\\server\x".
bool IsAbsolutePath(const std::string& aPath);
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
// The user's digit grouping separator; empty when the locale gives none.
std::string UserThousandsSeparator();
// Short date format with the letters d, m and y ("dd/mm/yyyy", "m/d/yy").
std::string ShortDateFormat();
// A date written in a short date format (dd, d, mm, m, yyyy, yy; anything else as is).
std::string FormatDate(DateTime aDate, const std::string& aFormat);
// A date in the user's short date format.
std::string FormatShortDate(DateTime aDate);

// The lower-case and upper-case forms of one character by the system's Unicode tables,
// independent of the user's language; a character without one is returned as it is.
char32_t LowerCaseChar(char32_t aChar);
char32_t UpperCaseChar(char32_t aChar);

// The C library's text for an errno value, empty when it has none.
std::string ErrnoText(int aErrno);

// A fresh random GUID, braced with upper-case hex digits:
// {XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}.
std::string NewGuidString();

// A message for the user. Windows shows a modal message box when the process has no
// standard error to write to (a windowed host); otherwise, and always on POSIX, the text
// goes to standard error, an error marked as such.
void ShowMessageBox(bool aIsError, const std::string& aText);

// A named lock held across processes: a named mutex on Windows; on POSIX a lock file in
// the runtime folder ($XDG_RUNTIME_DIR, else the temporary folder) held with flock.
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
  intptr_t fFd = -1;  // the lock file's descriptor, or the mutex handle; -1 when not held
};

// Files by UTF-8 path, for the log writer.
// Appends aData in one write (lines of several writers never interleave), creating the
// file; false when it can't be opened or written.
bool AppendToFile(const std::string& aPath, std::string_view aData);
// Renames without ever replacing an existing file; false when it did not happen.
bool RenameNoReplace(const std::string& aFrom, const std::string& aTo);
// The size of a regular file, -1 when there is none.
int64_t FileSizeOf(const std::string& aPath);

// A library can't end its host process: a termination request is only recorded, and the
// host may poll it.
void RequestHostTerminate();
bool HostTerminateRequested();
void ResetHostTerminateRequest();

}  // namespace fp
