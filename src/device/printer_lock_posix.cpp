// The printer lock's file on POSIX: flock, never fcntl record locks. A record lock belongs
// to the process and is dropped when the process closes any descriptor of the file, which
// code elsewhere in the host may do at any time.
#include "device/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "base/platform.h"

namespace fp::lock_file {

intptr_t Open(const std::string& aPath, std::string& aError) {
  const int fd = ::open(aPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) aError = ErrnoText(errno);
  return fd;
}

bool TryLock(intptr_t aHandle) {
  int rc;
  do {
    rc = ::flock(static_cast<int>(aHandle), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

void UnlockAndClose(intptr_t aHandle) {
  ::flock(static_cast<int>(aHandle), LOCK_UN);
  ::close(static_cast<int>(aHandle));
}

}  // namespace fp::lock_file
