// The printer lock's file: the system's own exclusive lock on one open handle per holder
// (flock on POSIX, LockFileEx on Windows). It belongs to that handle, so two holders in one
// process exclude each other as two processes do, and the kernel drops it when the holding
// process ends, however it ends.
#pragma once

#include <cstdint>
#include <string>

namespace fp::lock_file {

// Opens the file, creating it when missing; -1 with aError set (the system's reason) when
// it can't be opened.
intptr_t Open(const std::string& aPath, std::string& aError);
// Takes the exclusive lock without waiting; false when another handle holds it.
bool TryLock(intptr_t aHandle);
// Gives up the lock (when held) and closes the handle.
void UnlockAndClose(intptr_t aHandle);

}  // namespace fp::lock_file
