// One request and its answer, as a device's command layer sees it: the answer, or a failure
// classified by what the device may have done with the request. The classification is what
// decides whether a command may be sent again: a request that surely did not reach the
// device can be repeated, one whose outcome is unknown might be carried out twice.
#pragma once

#include <cstdint>
#include <string>

namespace fp {

enum vnExchangeOutcome : int32_t {
  eo_Answered = 0,        // a complete answer with a success status came back
  eo_NotDelivered = 1,    // the device did not act on it: it never reached the device
  eo_OutcomeUnknown = 2,  // sent, but no complete answer or an error status came back: the device may have acted on it
};

struct kExchangeResult {
  vnExchangeOutcome Outcome = eo_NotDelivered;
  std::string Answer;  // the answer's body (eo_Answered)
  int32_t Code = 0;    // the answer's HTTP status, 0 when no status came back
  std::string Reason;  // the text a failed exchange is reported with
  bool Answered() const { return Outcome == eo_Answered; }
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
