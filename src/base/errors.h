// The exception every configuration, request and unsupported-operation error travels in.
// Its message is English text that the request frame copies into the result unchanged.
#pragma once

#include <stdexcept>
#include <string>

namespace fp {

class kException : public std::runtime_error {
 public:
  explicit kException(const std::string& aMessage) : std::runtime_error(aMessage) {}
};

}  // namespace fp
