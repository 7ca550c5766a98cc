#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "base/system_string.h"

using namespace fp;

namespace {

uint32_t ByteCount(const char16_t* aText) {
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(aText) - sizeof(uint32_t), sizeof bytes);
  return bytes;
}

}  // namespace

TEST(SystemString, KeepsTheCountTheUnitsAndTheTerminator) {
  struct Case {
    const char* text;
    std::u16string units;
  };
  const Case cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"\xE2\x82\xAC 5", u"\u20AC 5"},                 // one unit above Latin-1
      {"\xF0\x9F\x98\x80", u"\U0001F600"},             // a surrogate pair
  };
  for (const Case& c : cases) {
    kSystemStringPtr text(NewSystemString(c.text));
    ASSERT_NE(text, nullptr) << c.text;
    EXPECT_EQ(ByteCount(text.get()), c.units.size() * 2) << c.text;
    EXPECT_EQ(SystemStringView(text.get()), c.units) << c.text;
    EXPECT_EQ(text.get()[c.units.size()], u'\0') << c.text;
    EXPECT_EQ(SystemStringText(text.get()), c.text);
  }
}

TEST(SystemString, UnitsWithInnerZerosKeepTheirLength) {
  const char16_t units[] = {u'a', 0, u'b'};
  kSystemStringPtr text(AllocSystemString(units, 3));
  EXPECT_EQ(SystemStringLength(text.get()), 3u);
  EXPECT_EQ(SystemStringText(text.get()), std::string("a\0b", 3));
}

TEST(SystemString, NoSourceGivesZeroedUnitsAndNullReadsAsEmpty) {
  kSystemStringPtr text(AllocSystemString(nullptr, 4));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SystemStringView(text.get()), std::u16string(4, u'\0'));
  EXPECT_EQ(SystemStringLength(nullptr), 0u);
  EXPECT_EQ(SystemStringText(nullptr), "");
  FreeSystemString(nullptr);
}

TEST(SystemString, LengthBeyondTheByteCountIsRefused) {
  // Twice the length would not fit the 32-bit count: refused before any allocation.
  EXPECT_EQ(AllocSystemString(nullptr, std::numeric_limits<uint32_t>::max() / 2), nullptr);
  EXPECT_EQ(AllocSystemString(nullptr, std::numeric_limits<size_t>::max()), nullptr);
}
