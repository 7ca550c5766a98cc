// Keeps SIGPIPE away from the host while libcurl writes. With CURLOPT_NOSIGNAL libcurl
// leaves SIGPIPE alone, and a TLS peer that goes away mid-write would raise it; the guard
// blocks it on the calling thread for its lifetime and takes one it raised off before the
// mask is restored, without touching the host's handler. Windows raises no such signal: the
// guard does nothing there.
#pragma once

#include <memory>

namespace fp {

class kSigPipeGuard {
 public:
  explicit kSigPipeGuard(bool aActive);
  ~kSigPipeGuard();
  kSigPipeGuard(const kSigPipeGuard&) = delete;
  kSigPipeGuard& operator=(const kSigPipeGuard&) = delete;

 private:
  struct State;
  std::unique_ptr<State> fState;  // null when inactive
};

}  // namespace fp
