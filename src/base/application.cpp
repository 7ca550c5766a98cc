#include "base/application.h"

#include <atomic>

#include "base/app_utils.h"
#include "base/errors.h"
#include "base/text.h"

namespace fp {

// ---------------------------------------------------------------------------------------
// tVN_Setup

void tVN_Setup::Define(const std::string& aName) { SetValue(aName, tVN_SetupValue{}); }

void tVN_Setup::SetValue(const std::string& aName, tVN_SetupValue aValue) {
  std::lock_guard<std::mutex> lock(fLock);
  for (auto& e : fEntries) {
    if (SameText(e.Name, aName)) {
      e.Value = std::move(aValue);
      return;
    }
  }
  fEntries.push_back(Entry{aName, std::move(aValue)});
}

tVN_SetupValue tVN_Setup::GetValue(const std::string& aName) const {
  std::lock_guard<std::mutex> lock(fLock);
  for (const auto& e : fEntries)
    if (SameText(e.Name, aName)) return e.Value;
  return {};
}

std::vector<tVN_Setup::Entry> tVN_Setup::Entries() const {
  std::lock_guard<std::mutex> lock(fLock);
  return fEntries;
}

// ---------------------------------------------------------------------------------------
// tVN_Wait

tVN_Wait::tVN_Wait(std::function<std::string()> aLanguage) : fLanguage(std::move(aLanguage)) {}

void tVN_Wait::Start(const std::string& aText) {
  SetText(aText);
  fStarted = true;
}

void tVN_Wait::Stop() { fStarted = false; }

void tVN_Wait::SetText(const std::string& aValue) {
  std::string language = fLanguage ? fLanguage() : std::string();
  fText = SameText(language, "en") ? fText_EN : fText_IT;
  if (!aValue.empty()) fText += "\r\n" + aValue;
}

// ---------------------------------------------------------------------------------------
// tVN_Application

tVN_ApplicationEnvironment tVN_ApplicationEnvironment::FromProcess() {
  tVN_ApplicationEnvironment env;
  env.Args = CommandLineArgs();
  env.AppDir = ApplicationDir();
  env.AppName = GetApplicationName();
  return env;
}

namespace {

std::string AppPathOf(const tVN_ApplicationEnvironment& aEnv) {
  if (!aEnv.AppDir.empty() && IsPathSeparator(aEnv.AppDir.back())) return aEnv.AppDir;
  return aEnv.AppDir + "/";
}

std::string LogRootOf(const tVN_ApplicationEnvironment& aEnv) {
  return tVN_LogWriter::JoinPath(AppPathOf(aEnv), "LogFiles");
}

}  // namespace

tVN_Application::tVN_Application(tVN_ApplicationEnvironment aEnvironment)
    : fEnvironment(std::move(aEnvironment)), fWait([this] { return Language(); }) {
  fTerminateOnExceptionIfBatch = true;
  // No date in the name and no length limit: the library log is one plain file.
  std::string name = fEnvironment.AppName.empty() ? std::string("fpdriver") : fEnvironment.AppName;
  fLogger = std::make_unique<tVN_LogWriter>(name, LogRootOf(fEnvironment), 0, false, fEnvironment.Log);
  fIsBatch = !GetCommandLineParam("/BATCH", true, fEnvironment.Args).empty();
  fIsDebug = !GetCommandLineParam("/DEBUG", true, fEnvironment.Args).empty();
  fIsTest = !GetCommandLineParam("/TEST", true, fEnvironment.Args).empty();
  try {
    fInfo.Load(fEnvironment.Strings ? fEnvironment.Strings : tVN_StringTable(LibraryString));
  } catch (const kException& e) {
    // Failing here would take the host down while it loads the library: the version
    // information keeps what was read, and the log says why.
    Log(let_error, e.what());
  }
  // This build carries no message catalogue: it starts empty.
}

tVN_Application::~tVN_Application() {
  DeleteNotifyIcon();
  if (fSingleInstanceMutexHandle) fSingleInstanceMutexHandle->Release();
  fLogger.reset();  // drains the library log
}

DateTime tVN_Application::CurrentTime() const { return fEnvironment.Now ? fEnvironment.Now() : Now(); }

void tVN_Application::Log(tVN_MessageType aEntryType, const std::string& aMessage) {
  if (aEntryType == let_error) {
    std::lock_guard<std::mutex> lock(fLock);
    fLastError = aMessage;
  }
  fLogger->Write(aEntryType, aMessage);
}

std::string tVN_Application::LastError() const {
  std::lock_guard<std::mutex> lock(fLock);
  return fLastError;
}

std::string tVN_Application::GetLogDirectory() const { return fLogger->Directory(); }

std::string tVN_Application::GetLogFileName() const { return fLogger->FileName(); }

void tVN_Application::ChangeLogDirectory(const std::string& aNewDir) {
  fLogger->SetDirectory(IsAbsolutePath(aNewDir) ? aNewDir : tVN_LogWriter::JoinPath(LogRootOf(fEnvironment), aNewDir));
}

void tVN_Application::ChangeLogFilename(const std::string& aNewFileName) { fLogger->SetFileName(aNewFileName); }

std::string tVN_Application::FindMessage(const std::string& aMessageId) const {
  std::lock_guard<std::mutex> lock(fLock);
  auto it = fMessages.find(LowerCase(fLanguage + "." + aMessageId));
  if (it != fMessages.end()) return it->second;
  it = fMessages.find(LowerCase(aMessageId + "." + fDefaultLanguage));
  if (it != fMessages.end()) return it->second;
  return aMessageId;
}

std::string tVN_Application::GetMessage(const std::string& aMessageId) const {
  return ReplaceAll(FindMessage(aMessageId), "\\r\\n", "\r\n");
}

std::string tVN_Application::GetMessage(const std::string& aMessageId, const std::vector<std::string>& aValues) const {
  std::string format = FindMessage(aMessageId);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    char directive = i + 1 < format.size() ? static_cast<char>(format[i + 1] | 0x20) : '\0';
    bool known = directive == 's' || directive == 'd' || directive == 'f' || directive == 'g' || directive == 'x' ||
                 directive == 'u';
    if (!known || next >= aValues.size())
      throw kException("Format '" + format + "' invalid or incompatible with argument");
    out += aValues[next++];
    ++i;
  }
  return out;
}

void tVN_Application::LoadMessages(const std::string& aText) {
  std::lock_guard<std::mutex> lock(fLock);
  for (std::string line : Split(aText, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string id = ExtractField(line, 1, ':');
    if (id.empty()) continue;
    fMessages.emplace(LowerCase(id), ExtractField(line, 2, ':'));  // the first text stays
  }
}

void tVN_Application::SetLanguage(const std::string& aValue) {
  std::lock_guard<std::mutex> lock(fLock);
  fLanguage = aValue;
}

std::string tVN_Application::Language() const {
  std::lock_guard<std::mutex> lock(fLock);
  return fLanguage;
}

void tVN_Application::SetDefaultLanguage(const std::string& aValue) {
  std::lock_guard<std::mutex> lock(fLock);
  fDefaultLanguage = aValue;
}

void tVN_Application::StartTimer() {
  DateTime now = CurrentTime();
  std::lock_guard<std::mutex> lock(fLock);
  fTimers.push_back(now);
}

int tVN_Application::StopTimer() {
  DateTime now = CurrentTime();
  std::lock_guard<std::mutex> lock(fLock);
  if (fTimers.empty()) return 0;
  DateTime start = fTimers.back();
  fTimers.pop_back();
  // Times of day only: a timer running across midnight answers a negative value.
  return TimeToMilliseconds(now) - TimeToMilliseconds(start);
}

int tVN_Application::GetTimerValue() const {
  DateTime now = CurrentTime();
  std::lock_guard<std::mutex> lock(fLock);
  if (fTimers.empty()) return 0;
  return TimeToMilliseconds(now) - TimeToMilliseconds(fTimers.back());
}

int tVN_Application::GetTimerCount() const {
  std::lock_guard<std::mutex> lock(fLock);
  return static_cast<int>(fTimers.size());
}

void tVN_Application::SetSingleInstance(bool aValue) {
  if (aValue == fSingleInstance) return;
  if (aValue) {
    fSingleInstanceMutexHandle = std::make_unique<kNamedLock>(fEnvironment.AppName);
    fSingleInstance = true;
    if (!fSingleInstanceMutexHandle->TryAcquire()) {
      ShowAppMessage(let_error, "Impossible to enter single instance mode.");
      Terminate();
    }
  } else {
    fSingleInstanceMutexHandle.reset();
    fSingleInstance = false;
  }
}

void tVN_Application::Terminate() { RequestHostTerminate(); }

void tVN_Application::HandleException(const std::string& aMessage) {
  if (!aMessage.empty()) ShowAppMessage(let_error, aMessage);
  if (fIsBatch && fTerminateOnExceptionIfBatch) Terminate();
}

void tVN_Application::ShowAppMessage(tVN_MessageType aEntryType, const std::string& aMessage) {
  bool wasShown = fWait.Started();
  if (wasShown) fWait.Stop();
  if (fIsBatch) Log(aEntryType, aMessage);
  else ShowMessageBox(aEntryType == let_error, aMessage);
  if (wasShown) fWait.Start(fWait.Text());
}

void tVN_Application::CreateNotifyIcon(void* aForm) {
  fIconData.Form = aForm;
  fNotifyIcon = true;
}

void tVN_Application::DeleteNotifyIcon() {
  fIconData.Form = nullptr;
  fNotifyIcon = false;
}

// ---------------------------------------------------------------------------------------
// The one instance

namespace {
std::mutex gApplicationLock;  // serialises creation and destruction
std::atomic<tVN_Application*> gApplication{nullptr};
}  // namespace

tVN_Application* Application() { return gApplication.load(std::memory_order_acquire); }

void CreateApplication() { CreateApplication(tVN_ApplicationEnvironment::FromProcess()); }

void CreateApplication(tVN_ApplicationEnvironment aEnvironment) {
  std::lock_guard<std::mutex> lock(gApplicationLock);
  if (gApplication.load()) return;
  try {
    gApplication.store(new tVN_Application(std::move(aEnvironment)), std::memory_order_release);
  } catch (const std::exception& e) {
    // Runs while the host loads the library: nothing may escape. Without the object the
    // library still works; only its own log is missing.
    ShowMessageBox(true, e.what());
  }
}

void DestroyApplication() {
  std::lock_guard<std::mutex> lock(gApplicationLock);
  delete gApplication.exchange(nullptr);
}

void ShowAppMessage(tVN_MessageType aEntryType, const std::string& aMessage) {
  if (tVN_Application* app = Application()) app->ShowAppMessage(aEntryType, aMessage);
  else ShowMessageBox(aEntryType == let_error, aMessage);
}

}  // namespace fp
