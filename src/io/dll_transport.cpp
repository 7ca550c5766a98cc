#include "io/dll_transport.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"
#include "base/platform.h"
#include "io/connection.h"
#include "io/io_errors.h"
#include "io/transport_factory.h"

namespace fp {

std::unique_ptr<kIOHandler> NewIOHandler_Dll(const kConnection& aConnection, const std::string& aDirectory,
                                             const std::string& aFileName) {
  return std::make_unique<kIOHandler_Dll>(aConnection, aDirectory, aFileName);
}

kIOHandler_Dll::kIOHandler_Dll(const kConnection& aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName) {
  const std::string& name = aConnection.LibraryName;
  WriteLog(let_info, "kIOHandler_Dll.Create", "Loading DLL " + name);
  // A relative name is the application's file, never one of the working folder: it is
  // looked for in the application folder; a bare name that is not there is left to the
  // system's library search, as a system library is.
  std::string path = name;
  if (!name.empty() && name.front() != '/' && name.find('\0') == std::string::npos) {
    const std::string beside = PathInApplicationDir(name);
    if (name.find('/') != std::string::npos || ::access(beside.c_str(), F_OK) == 0) path = beside;
  }
  // dlopen reports its reason as text only: the number is the file's errno when it can't be
  // read (2 when it does not exist), ENOEXEC for a file that is no loadable library. An
  // empty name must not reach dlopen, which would hand back the host program itself.
  int code = 0;
  std::string reason;
  if (name.empty() || name.find('\0') != std::string::npos) {
    code = ENOENT;
  } else if (path.find('/') != std::string::npos && ::access(path.c_str(), R_OK) != 0) {
    code = errno;
  } else {
    ::dlerror();
    fLibraryHandle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (fLibraryHandle == nullptr) {
      const char* text = ::dlerror();
      reason = text != nullptr ? text : "";
      code = reason.find("No such file") != std::string::npos ? ENOENT : ENOEXEC;
    }
  }
  if (fLibraryHandle == nullptr) {
    if (reason.empty()) reason = ErrnoMessage("", code);
    throw kException("Unable to Load Library " + path + ". " + reason + " [" + std::to_string(code) + "]");
  }
  WriteLog(let_info, "kIOHandler_Dll.Create", "DLL Loaded successfully");
}

kIOHandler_Dll::~kIOHandler_Dll() {
  if (fLibraryHandle != nullptr) {
    WriteLog(let_info, "kIOHandler_Dll.Destroy", "Unloading DLL");
    ::dlclose(fLibraryHandle);
    fLibraryHandle = nullptr;
    WriteLog(let_info, "kIOHandler_Dll.Destroy", "DLL Unloaded Successfully");
  }
}

void* kIOHandler_Dll::GetAddress(const std::string& aProcName) {
  void* address = fLibraryHandle != nullptr && aProcName.find('\0') == std::string::npos
                      ? ::dlsym(fLibraryHandle, aProcName.c_str())
                      : nullptr;
  if (address == nullptr) throw kException("Unable to get address for procedure " + aProcName);
  return address;
}

std::string kIOHandler_Dll::ReadAll() { throw kException("ReadAll Unsupported"); }

bool kIOHandler_Dll::InputBufferContainsData() { throw kException("InputBufferContainsData Unsupported"); }

}  // namespace fp
