// Calls into an outside library of unknown thread safety go one at a time per loaded
// library: devices on different host threads may share one library (dlopen hands out the
// same handle for the same file), and such a library was written for one caller at a time.
#pragma once

#include <mutex>

namespace fp {

// The lock of the library loaded as aLibraryHandle; the same object for the same handle.
std::mutex& LibraryLock(void* aLibraryHandle);

}  // namespace fp
