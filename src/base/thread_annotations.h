// Locks that clang's thread-safety analysis (-Wthread-safety) can follow: the members a
// lock guards are declared with FP_GUARDED_BY, and a function that reads them without the
// lock does not compile in the clang builds. g++ ignores the attributes.
//
// std::mutex carries no such annotations in libstdc++, so the guarded tables use kMutex and
// kMutexLock below; a condition variable waits on a kMutex through
// std::condition_variable_any.
#pragma once

#include <mutex>

#if defined(__clang__)
#define FP_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define FP_THREAD_ATTRIBUTE(x)
#endif

#define FP_CAPABILITY(x) FP_THREAD_ATTRIBUTE(capability(x))
#define FP_SCOPED_CAPABILITY FP_THREAD_ATTRIBUTE(scoped_lockable)
#define FP_GUARDED_BY(x) FP_THREAD_ATTRIBUTE(guarded_by(x))
#define FP_PT_GUARDED_BY(x) FP_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define FP_REQUIRES(...) FP_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define FP_ACQUIRE(...) FP_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define FP_RELEASE(...) FP_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define FP_EXCLUDES(...) FP_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))

namespace fp {

// A std::mutex the analysis knows as a lock. BasicLockable, so that
// std::condition_variable_any can wait on it.
class FP_CAPABILITY("mutex") kMutex {
 public:
  void lock() FP_ACQUIRE() { fMutex.lock(); }
  void unlock() FP_RELEASE() { fMutex.unlock(); }

 private:
  std::mutex fMutex;
};

// Holds a kMutex for the scope it lives in.
class FP_SCOPED_CAPABILITY kMutexLock {
 public:
  explicit kMutexLock(kMutex& aMutex) FP_ACQUIRE(aMutex) : fMutex(aMutex) { fMutex.lock(); }
  ~kMutexLock() FP_RELEASE() { fMutex.unlock(); }
  kMutexLock(const kMutexLock&) = delete;
  kMutexLock& operator=(const kMutexLock&) = delete;

 private:
  kMutex& fMutex;
};

}  // namespace fp
