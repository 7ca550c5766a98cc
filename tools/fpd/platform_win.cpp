#include <winsock2.h>
#include <windows.h>

#include <dlfcn.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "platform.h"

namespace fpd {

namespace {

// The console's last control event, and the events that wake the waiting thread and, once
// fpd has stopped, let a closing console go.
volatile LONG gEvent = -1;
HANDLE gArrived = nullptr;
HANDLE gFinished = nullptr;

// Windows runs the handler on a thread of its own. For a closing console, a log-off or a
// shut-down the process ends when the handler returns, so the handler waits (within the
// few seconds the system gives) for fpd to finish the documents in progress.
BOOL WINAPI OnConsoleEvent(DWORD aEvent) {
  InterlockedExchange(&gEvent, static_cast<LONG>(aEvent));
  SetEvent(gArrived);
  if (aEvent == CTRL_CLOSE_EVENT || aEvent == CTRL_LOGOFF_EVENT || aEvent == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(gFinished, 4500);
  return TRUE;
}

// Run as a Windows service (sc create fpd binPath= "...\fpd.exe --config ..."), the service
// manager's stop and shut-down come here: reported as pending, they wake the waiting thread
// like a console event, and the service is reported stopped once fpd has finished. They
// are numbered beside the console's events.
constexpr LONG kServiceStop = 100;
constexpr LONG kServiceShutDown = 101;
std::atomic<SERVICE_STATUS_HANDLE> gService{nullptr};
HANDLE gServiceReported = nullptr;

void ReportService(DWORD aState, DWORD aWaitHintMs = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = aState;
  status.dwControlsAccepted = aState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWaitHint = aWaitHintMs;
  SetServiceStatus(gService.load(), &status);
}

DWORD WINAPI OnServiceControl(DWORD aControl, DWORD, void*, void*) {
  if (aControl == SERVICE_CONTROL_STOP || aControl == SERVICE_CONTROL_SHUTDOWN) {
    ReportService(SERVICE_STOP_PENDING, 30000);
    InterlockedExchange(&gEvent, aControl == SERVICE_CONTROL_STOP ? kServiceStop : kServiceShutDown);
    SetEvent(gArrived);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  gService = RegisterServiceCtrlHandlerExW(L"", &OnServiceControl, nullptr);
  if (gService.load() == nullptr) return;
  ReportService(SERVICE_RUNNING);
  WaitForSingleObject(gFinished, INFINITE);
  ReportService(SERVICE_STOPPED);
  SetEvent(gServiceReported);
}

// The service manager's side, on a thread of its own: a program started from a console is
// not connected to the service manager, and the call returns at once.
DWORD WINAPI ServiceDispatcher(void*) {
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), &ServiceMain}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherW(table);
  return 0;
}

std::wstring Wide(const std::string& aText) {
  const std::u16string text = fp::Utf8ToUtf16(aText);
  return std::wstring(text.begin(), text.end());
}

bool Readable(const std::string& aPath) {
  const DWORD attributes = GetFileAttributesW(Wide(aPath).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string ProgramFolder() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return ".";
  path.resize(n);
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ".";
  return fp::Utf16ToUtf8(std::u16string(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(slash)));
}

void MakeFolder(const std::string& aPath) {
  if (!CreateDirectoryW(Wide(aPath).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    throw std::runtime_error("cannot create the folder " + aPath + " (system error " +
                             std::to_string(GetLastError()) + ")");
}

std::string DefaultLibraryPath() {
  const std::string folder = ProgramFolder();
  // The release folder holds fpd.exe beside fpdriver.dll; the build tree has it two up.
  for (const std::string& candidate : {folder + "\\fpdriver.dll", folder + "\\..\\..\\fpdriver.dll"})
    if (Readable(candidate)) return candidate;
  return "fpdriver.dll";
}

// On Windows a BSTR is the system's: the DLL takes and gives strings of oleaut32.
void* StringFunctionsModule(void*) {
  void* module = dlopen("oleaut32.dll", RTLD_NOW);
  if (module == nullptr) throw std::runtime_error(std::string("cannot load oleaut32.dll: ") + dlerror());
  return module;
}

void CloseSocket(std::intptr_t aSocket) { closesocket(static_cast<SOCKET>(aSocket)); }

void CatchStopRequests() {
  gArrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  gFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  gServiceReported = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (gArrived == nullptr || gFinished == nullptr || gServiceReported == nullptr ||
      !SetConsoleCtrlHandler(&OnConsoleEvent, TRUE))
    throw std::runtime_error("cannot take the console's control events (system error " +
                             std::to_string(GetLastError()) + ")");
  if (HANDLE thread = CreateThread(nullptr, 0, &ServiceDispatcher, nullptr, 0, nullptr)) CloseHandle(thread);
}

std::string WaitForStopRequest() {
  WaitForSingleObject(gArrived, INFINITE);
  switch (InterlockedExchange(&gEvent, -1)) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "console closed";
    case CTRL_LOGOFF_EVENT: return "log-off";
    case CTRL_SHUTDOWN_EVENT: return "shut-down";
    case kServiceStop: return "service stop";
    case kServiceShutDown: return "system shut-down";
    default: return "stop request";
  }
}

void StopFinished() {
  if (gFinished == nullptr) return;
  SetEvent(gFinished);
  // A service reports itself stopped before its process ends.
  if (gService.load() != nullptr) WaitForSingleObject(gServiceReported, 2000);
}

}  // namespace fpd
