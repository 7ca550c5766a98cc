#include "io/sigpipe_guard.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace fp {

struct kSigPipeGuard::State {
  bool fWasPending = false;
  sigset_t fOld;
};

namespace {

sigset_t PipeSignal() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  return pipe;
}

}  // namespace

kSigPipeGuard::kSigPipeGuard(bool aActive) {
  if (!aActive) return;
  fState = std::make_unique<State>();
  const sigset_t pipe = PipeSignal();
  sigset_t pending;
  sigpending(&pending);
  fState->fWasPending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe, &fState->fOld);
}

kSigPipeGuard::~kSigPipeGuard() {
  if (!fState) return;
  if (!fState->fWasPending) {
    const sigset_t pipe = PipeSignal();
    const timespec none{0, 0};
    while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &fState->fOld, nullptr);
}

}  // namespace fp
