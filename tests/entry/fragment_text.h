// Reading a result fragment in the entry tests.
#pragma once

#include <string>

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

}  // namespace fp::test
