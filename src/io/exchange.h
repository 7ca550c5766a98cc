// One request and its answer, as a device's command layer sees it: the answer, or a failure
// classified by what the device may have done with the request. The classification is what
// decides whether a command may be sent again: a request that surely did not reach the
// device can be repeated, one whose outcome is unknown might be carried out twice.
#pragma once

#include <string>

#include "base/outcome.h"

namespace fp {

// An exchange is Done when a complete answer with a success status came back; fCode is the
// answer's HTTP status (0 when no status came back) and fMessage the text a failed exchange
// is reported with. It is never Refused: what the answer says is the command layer's to judge.
struct kExchangeResult : vnOutcome {
  std::string Answer;  // the answer's body (Done)
};

// What a model driver's exchanges carry besides the path: the content type and user agent
// of its requests.
struct kExchangeProfile {
  std::string ContentType;
  std::string UserAgent;
};

class kExchange {
 public:
  virtual ~kExchange() = default;
  // Sends the request for aPath (appended to the device's base address) and waits for its
  // answer, within the transport's timeouts. Never raises for a failed exchange.
  virtual kExchangeResult Exchange(const std::string& aPath) = 0;
};

}  // namespace fp
