// The library's application object: one per process, created when the library is loaded
// and freed when it is unloaded, with the library's own log, its version information, a
// settings store, a message catalogue, stop-watch timers and the command-line switches.
// The window parts (wait window, tray icon, message boxes) are thin stand-ins: a library
// on this platform has no user interface of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "base/app_info.h"
#include "base/datetime.h"
#include "base/log_writer.h"
#include "base/platform.h"

namespace fp {

// A settings value: empty, integer, floating point, text or Boolean.
using tVN_SetupValue = std::variant<std::monostate, int64_t, double, std::string, bool>;

// Named settings, names matched without regard to letter case, kept in definition order.
class tVN_Setup {
 public:
  struct Entry {
    std::string Name;
    tVN_SetupValue Value;
  };

  // Gives aName the empty value (appending it when new).
  void Define(const std::string& aName);
  void SetValue(const std::string& aName, tVN_SetupValue aValue);
  // The entry's value, or the empty value when there is no such entry.
  tVN_SetupValue GetValue(const std::string& aName) const;
  std::vector<Entry> Entries() const;

 private:
  mutable std::mutex fLock;
  std::vector<Entry> fEntries;
};

// The wait window: only its state and label text are kept; nothing is drawn.
class tVN_Wait {
 public:
  // aLanguage answers the application's current language code.
  explicit tVN_Wait(std::function<std::string()> aLanguage = {});

  void Start(const std::string& aText);
  void Stop();
  // The label becomes the "wait" text of the language ("en": English, otherwise Italian),
  // followed by a line break and aValue when aValue is not empty.
  void SetText(const std::string& aValue);
  bool Started() const { return fStarted; }
  const std::string& Text() const { return fText; }

  const std::string fText_IT = "Attendere prego ...";
  const std::string fText_EN = "Wait please ...";

 private:
  std::function<std::string()> fLanguage;
  bool fStarted = false;
  std::string fText;
};

// The notification-area icon record; the icon is never drawn.
struct vnNotifyIconData {
  unsigned CallbackMessage = 1124;
  unsigned IconId = 1;
  void* Form = nullptr;
};

// What the application object takes from the process; tests pass their own.
struct tVN_ApplicationEnvironment {
  std::vector<std::string> Args;  // the command line; element 0 is the program
  std::string AppDir;             // folder of the host executable, without trailing "/"
  std::string AppName;            // host executable's name without extension
  tVN_StringTable Strings = LibraryString;
  std::function<DateTime()> Now;  // local time; empty: the real clock
  tVN_LogEnvironment Log;         // passed to the application log

  static tVN_ApplicationEnvironment FromProcess();
};

class tVN_Application {
 public:
  explicit tVN_Application(tVN_ApplicationEnvironment aEnvironment);
  ~tVN_Application();
  tVN_Application(const tVN_Application&) = delete;
  tVN_Application& operator=(const tVN_Application&) = delete;

  // Writes to the application log; an error entry also becomes the last error.
  void Log(tVN_MessageType aEntryType, const std::string& aMessage);
  std::string LastError() const;

  std::string GetLogDirectory() const;
  std::string GetLogFileName() const;
  // A relative folder is taken under LogFiles beside the host executable.
  void ChangeLogDirectory(const std::string& aNewDir);
  void ChangeLogFilename(const std::string& aNewFileName);
  tVN_LogWriter& Logger() { return *fLogger; }

  // The catalogue text for aMessageId (first fLanguage + "." + id, then id + "." +
  // fDefaultLanguage, else the id itself) with the two-character pairs "\r\n" made real
  // line breaks.
  std::string GetMessage(const std::string& aMessageId) const;
  // The catalogue text used as a format: each %s, %d, %f, %g, %x or %u takes the next of
  // aValues, "%%" is a percent sign. Raises when the values run out or a directive is unknown.
  std::string GetMessage(const std::string& aMessageId, const std::vector<std::string>& aValues) const;
  // Reads lines "id:text" (the text stops at its first colon); an id keeps its first text.
  void LoadMessages(const std::string& aText);
  void SetLanguage(const std::string& aValue);
  std::string Language() const;
  void SetDefaultLanguage(const std::string& aValue);

  void StartTimer();
  // Milliseconds since the latest start, popping it; 0 when no timer runs.
  int StopTimer();
  // The same without popping.
  int GetTimerValue() const;
  int GetTimerCount() const;

  // On: takes the lock named after the host program; when another process holds it,
  // reports "Impossible to enter single instance mode." and asks the host to end.
  void SetSingleInstance(bool aValue);
  bool SingleInstance() const { return fSingleInstance; }

  void ForceIsBatch() { fIsBatch = true; }
  bool IsBatch() const { return fIsBatch; }
  bool IsDebug() const { return fIsDebug; }
  bool IsTest() const { return fIsTest; }
  bool TerminateOnExceptionIfBatch() const { return fTerminateOnExceptionIfBatch; }
  void SetTerminateOnExceptionIfBatch(bool aValue) { fTerminateOnExceptionIfBatch = aValue; }
  // Asks the host to end (recorded only; see RequestHostTerminate).
  void Terminate();

  // A non-empty message is shown as an error; in batch mode the host is asked to end.
  void HandleException(const std::string& aMessage);

  // Hides the wait window while the message is shown: logged in batch mode, otherwise
  // written to standard error in place of a modal box.
  void ShowAppMessage(tVN_MessageType aEntryType, const std::string& aMessage);

  void CreateNotifyIcon(void* aForm);
  void DeleteNotifyIcon();
  bool NotifyIconShown() const { return fNotifyIcon; }
  const vnNotifyIconData& IconData() const { return fIconData; }

  const tVN_ApplicationInfo& Info() const { return fInfo; }
  tVN_Setup& Setup() { return fSetup; }
  tVN_Wait& Wait() { return fWait; }
  const tVN_ApplicationEnvironment& Environment() const { return fEnvironment; }

 private:
  DateTime CurrentTime() const;
  std::string FindMessage(const std::string& aMessageId) const;

  const tVN_ApplicationEnvironment fEnvironment;
  tVN_Setup fSetup;
  tVN_Wait fWait;
  vnNotifyIconData fIconData;
  bool fNotifyIcon = false;
  std::unique_ptr<tVN_LogWriter> fLogger;
  bool fIsBatch = false;
  bool fIsDebug = false;
  bool fIsTest = false;
  bool fSingleInstance = false;
  std::unique_ptr<kNamedLock> fSingleInstanceMutexHandle;
  bool fTerminateOnExceptionIfBatch = true;
  tVN_ApplicationInfo fInfo;

  mutable std::mutex fLock;  // guards the catalogue, languages, timers and last error
  std::string fLastError;
  std::string fDefaultLanguage;
  std::string fLanguage;
  std::map<std::string, std::string> fMessages;  // keys lower-cased
  std::vector<DateTime> fTimers;
};

// The one application object, or null before CreateApplication / after DestroyApplication.
tVN_Application* Application();
// Called by the library's load and unload functions; creating twice keeps the first.
void CreateApplication();
void CreateApplication(tVN_ApplicationEnvironment aEnvironment);
void DestroyApplication();

// Through the application object when there is one, otherwise straight to standard error.
void ShowAppMessage(tVN_MessageType aEntryType, const std::string& aMessage);

}  // namespace fp
