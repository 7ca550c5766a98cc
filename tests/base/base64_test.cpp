#include "base/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace fp {
namespace {

std::string Text(const std::vector<uint8_t>& aBytes) { return std::string(aBytes.begin(), aBytes.end()); }

TEST(DecodeBase64, ReadsTheWholeAlphabetAndSkipsPaddingAndLineBreaks) {
  const struct {
    const char* fIn;
    std::string fOut;
  } cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"TW\r\nFu", "Man"},
      {"+/8=", std::string("\xFB\xFF", 2)},
      {"AAEC", std::string("\x00\x01\x02", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(DecodeBase64(c.fIn)), c.fOut) << c.fIn;
}

}  // namespace
}  // namespace fp
