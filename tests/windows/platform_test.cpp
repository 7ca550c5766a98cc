// The user's formats on Windows come from the system locale, not from the process's
// environment. Each case runs under the Unix locale that Wine takes as the Windows user
// locale (tests/windows/CMakeLists.txt).
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/datetime.h"
#include "base/platform.h"

namespace fp {
namespace {

const DateTime kAugustNinth = *EncodeDate(2025, 8, 9);

TEST(WindowsPlatform, EnglishUnitedStatesFormats) {  // LC_ALL=en_US.UTF-8
  EXPECT_EQ(AnsiCodePage(), 1252);
  EXPECT_EQ(DecimalSeparator(), ".");
  EXPECT_EQ(UserThousandsSeparator(), ",");
  EXPECT_EQ(TimeSeparator(), ":");
  EXPECT_EQ(ShortDateFormat(), "m/d/yyyy");  // Windows's "M/d/yyyy"
  EXPECT_EQ(FormatShortDate(kAugustNinth), "8/9/2025");
}

TEST(WindowsPlatform, GermanFormats) {  // LC_ALL=de_DE.UTF-8
  EXPECT_EQ(AnsiCodePage(), 1252);
  EXPECT_EQ(DecimalSeparator(), ",");
  EXPECT_EQ(UserThousandsSeparator(), ".");
  EXPECT_EQ(TimeSeparator(), ":");
  // Day, month and year with points; with or without leading zeros as the system's data has it.
  EXPECT_TRUE(std::regex_match(FormatShortDate(kAugustNinth), std::regex(R"(0?9\.0?8\.2025)")))
      << FormatShortDate(kAugustNinth);
}

TEST(WindowsPlatform, GreekCodePage) {  // LC_ALL=el_GR.UTF-8
  EXPECT_EQ(AnsiCodePage(), 1253);
  // The environment variable that steers it on POSIX has no say here.
  ::setenv("FPDRIVER_ACP", "1252", 1);
  EXPECT_EQ(AnsiCodePage(), 1253);
  ::unsetenv("FPDRIVER_ACP");
}

}  // namespace
}  // namespace fp
