#include "rtserver/library_lock.h"

#include <map>
#include <memory>

namespace fp {

std::mutex& LibraryLock(void* aLibraryHandle) {
  // Libraries are never unloaded, so their locks live as long as the process.
  static std::mutex guard;
  static auto* locks = new std::map<void*, std::unique_ptr<std::mutex>>();
  std::lock_guard<std::mutex> hold(guard);
  auto& lock = (*locks)[aLibraryHandle];
  if (!lock) lock = std::make_unique<std::mutex>();
  return *lock;
}

}  // namespace fp
