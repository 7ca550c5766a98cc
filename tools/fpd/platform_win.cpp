#include <winsock2.h>
#include <windows.h>

#include <dlfcn.h>

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
  if (gArrived == nullptr || gFinished == nullptr || !SetConsoleCtrlHandler(&OnConsoleEvent, TRUE))
    throw std::runtime_error("cannot take the console's control events (system error " +
                             std::to_string(GetLastError()) + ")");
}

std::string WaitForStopRequest() {
  WaitForSingleObject(gArrived, INFINITE);
  switch (InterlockedExchange(&gEvent, -1)) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "console closed";
    case CTRL_LOGOFF_EVENT: return "log-off";
    case CTRL_SHUTDOWN_EVENT: return "shut-down";
    default: return "stop request";
  }
}

void StopFinished() {
  if (gFinished != nullptr) SetEvent(gFinished);
}

}  // namespace fpd
