#include "io/sigpipe_guard.h"

namespace fp {

// Windows raises no signal when a peer goes away mid-write.
struct kSigPipeGuard::State {};

kSigPipeGuard::kSigPipeGuard(bool) {}

kSigPipeGuard::~kSigPipeGuard() = default;

}  // namespace fp
