// What an export answered, as the tests read it: the result, whether each output string came
// back, and the two texts in UTF-8. The one answer of every test that calls the exports,
// through the built library (host_client.h) or through the export frame in process
// (frame_client.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fp::test {

// The text of the first element aName of a fragment, as written (entities not resolved);
// "<missing>" when there is none.
inline std::string FragmentElement(const std::string& aFragment, const std::string& aName) {
  auto start = aFragment.find("<" + aName + ">");
  if (start == std::string::npos) return "<missing>";
  start += aName.size() + 2;
  auto end = aFragment.find("</" + aName + ">", start);
  if (end == std::string::npos) return "<missing>";
  return aFragment.substr(start, end - start);
}

struct Answer {
  int16_t result = 0;
  bool hasOutput = false;
  bool hasError = false;
  std::string output;
  std::string error;

  // The text of the first element aName of the result fragment.
  std::string Get(const std::string& aName) const { return FragmentElement(output, aName); }
  // The Line elements of the result's Text, in order.
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (size_t at = output.find("<Line>"); at != std::string::npos; at = output.find("<Line>", at)) {
      const size_t end = output.find("</Line>", at);
      if (end == std::string::npos) break;
      out.push_back(output.substr(at + 6, end - at - 6));
      at = end;
    }
    return out;
  }
};

}  // namespace fp::test
