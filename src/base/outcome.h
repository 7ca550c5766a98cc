// What became of a request to the printer: the one record a failure travels in, from the
// HTTP exchange through the command to the operation, its result and the document journal.
#pragma once

#include <cstdint>
#include <string>

namespace fp {

enum vnOutcomeKind : uint8_t {
  ok_Done = 0,          // carried out (for an exchange: a complete answer with a success status)
  ok_Refused = 1,       // the printer (or the step) answered and refused it
  ok_NotDelivered = 2,  // no answer, and the printer surely never got it
  ok_Unknown = 3,       // sent, and no readable answer came back: it may have been carried out
};

struct vnOutcome {
  vnOutcomeKind fKind = ok_Done;
  // The printer's reply code for a refusal; the exchange's status code (0 without one) when
  // no answer came.
  int32_t fCode = 0;
  std::string fMessage;  // why it failed, as the result reports it; empty when done
  // Unknown only: the command in words ("closing the document") when it may have changed
  // the printer; empty for a command that only read the printer's state.
  std::string fCommand;
  bool Done() const { return fKind == ok_Done; }
  bool Failed() const { return fKind != ok_Done; }
  bool Answered() const { return fKind == ok_Done || fKind == ok_Refused; }
};

}  // namespace fp
