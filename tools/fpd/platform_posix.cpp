#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform.h"

namespace fpd {

namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  std::string path(buffer.data(), static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void MakeFolder(const std::string& aPath) {
  if (mkdir(aPath.c_str(), 0750) != 0 && errno != EEXIST)
    throw std::runtime_error("cannot create the folder " + aPath + ": " + std::strerror(errno));
}

std::string DefaultLibraryPath() {
  const std::string folder = ProgramFolder();
  for (const std::string& candidate : {folder + "/../../libfpdriver.so", folder + "/libfpdriver.so",
                                       folder + "/../lib/libfpdriver.so.1"})
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  return "libfpdriver.so.1";
}

// The library carries its own BSTR functions on POSIX systems.
void* StringFunctionsModule(void* aDriverLibrary) { return aDriverLibrary; }

void CloseSocket(std::intptr_t aSocket) { close(static_cast<int>(aSocket)); }

void CatchStopRequests() {
  // The signals go to the waiting main thread alone: every thread started later inherits
  // the blocked mask.
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

std::string WaitForStopRequest() {
  const sigset_t signals = StopSignals();
  int received = 0;
  while (sigwait(&signals, &received) != 0) {
  }
  return received == SIGTERM ? "SIGTERM" : "SIGINT";
}

void StopFinished() {}

}  // namespace fpd
