#include <gtest/gtest.h>

#include "base/amount.h"
#include "base/datetime.h"
#include "base/errors.h"
#include "base/text.h"

using namespace fp;

TEST(Amount, ParsesDecimalTexts) {
  struct Case {
    const char* text;
    bool ok;
    int64_t raw;
  } cases[] = {
      {"12.3456", true, 123456}, {"12.34567", true, 123457}, {"1e2", true, 1000000},   {" -3.5 ", true, -35000},
      {"+0.00005", true, 1},     {"-0.00005", true, -1},     {"0.00004", true, 0},      {"1,000.00", false, 0},
      {"", false, 0},            {"abc", false, 0},          {".5", true, 5000},        {"5.", true, 50000},
      {"1e", false, 0},          {"1e-2", true, 100},        {"922337203685477.5807", true, INT64_MAX},
      {"922337203685477.5808", false, 0},                    {"99999999999999999999999", false, 0},
      // Thirty significant digits scaled up by the exponent: refused, never overflowing.
      {"999999999999999999999999999999e16", false, 0},
      {"1000000000000000000000000000000e-30", true, 10000},
  };
  for (const auto& c : cases) {
    auto a = Amount::Parse(c.text);
    EXPECT_EQ(a.has_value(), c.ok) << c.text;
    if (a && c.ok) {
      EXPECT_EQ(a->Raw(), c.raw) << c.text;
    }
  }
}

TEST(Amount, FormatsAndRounds) {
  EXPECT_EQ(Amount::FromRaw(125000).ToXmlText(), "12.5");
  EXPECT_EQ(Amount::FromRaw(30000).ToXmlText(), "3");
  EXPECT_EQ(Amount::FromRaw(-1).ToXmlText(), "-0.0001");
  EXPECT_EQ(Amount::FromRaw(12350).Format(2), "1.24");
  EXPECT_EQ(Amount::FromRaw(-12350).Format(2), "-1.24");
  EXPECT_EQ(Amount::FromRaw(12349).Format(2, ","), "1,23");
  EXPECT_EQ(Amount::FromRaw(-12350).Round(2, Rounding::HalfAwayFromZero).Raw(), -12400);
  EXPECT_EQ(Amount::FromRaw(12350).Round(2, Rounding::HalfEven).Raw(), 12400);
  EXPECT_EQ(Amount::FromRaw(12250).Round(2, Rounding::HalfEven).Raw(), 12200);
  // 1 / 3 to four decimals, and a product with a ratio.
  EXPECT_EQ(Amount::FromInt(1).Div(Amount::FromInt(3)).Raw(), 3333);
  EXPECT_EQ(Amount::FromInt(-1).Div(Amount::FromInt(3)).Raw(), -3333);
  EXPECT_EQ(Amount::FromRaw(10000).MulDiv(Amount::FromInt(100), Amount::FromInt(122)).Raw(), 8197);
}

TEST(Amount, OverflowThrowsInsteadOfWrapping) {
  Amount big = Amount::FromRaw(INT64_MAX);
  EXPECT_THROW(big + Amount::FromRaw(1), kException);
  EXPECT_THROW(-Amount::FromRaw(INT64_MIN), kException);
  EXPECT_THROW(big.Mul(Amount::FromInt(2)), kException);
  EXPECT_THROW(Amount::FromInt(1).Div(Amount()), kException);
}

TEST(DateTime, EncodesAndDecodesWithValidation) {
  EXPECT_EQ(*EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(*EncodeDate(2024, 5, 6), 45418.0);
  EXPECT_FALSE(EncodeDate(2024, 2, 30));
  EXPECT_TRUE(EncodeDate(2024, 2, 29));
  EXPECT_FALSE(EncodeDate(2023, 2, 29));
  EXPECT_FALSE(EncodeDateTime(2024, 1, 1, 24, 0, 0, 0));
  auto p = DecodeDateTime(*EncodeDateTime(2024, 5, 6, 10, 11, 12, 5));
  EXPECT_EQ(p.year, 2024);
  EXPECT_EQ(p.month, 5);
  EXPECT_EQ(p.day, 6);
  EXPECT_EQ(p.hour, 10);
  EXPECT_EQ(p.minute, 11);
  EXPECT_EQ(p.second, 12);
  EXPECT_EQ(p.millisecond, 5);
  EXPECT_EQ(p.dayOfWeek, 2);  // a Monday
  auto far = DecodeDateTime(*EncodeDate(9999, 12, 31));
  EXPECT_EQ(far.year, 9999);
  EXPECT_EQ(far.day, 31);
  // Day counts outside the calendar (a device's garbage, an uninitialised field) are held
  // at its ends instead of overflowing the day number.
  for (double wild : {1e300, 3e6, -1e300, -7e5}) {
    SCOPED_TRACE(wild);
    auto q = DecodeDateTime(wild);
    EXPECT_EQ(q.year, wild > 0 ? 9999 : 1);
    EXPECT_EQ(q.month, wild > 0 ? 12 : 1);
    EXPECT_EQ(q.day, wild > 0 ? 31 : 1);
  }
}

TEST(Text, CountsCharactersNotBytes) {
  std::string s = "\xC3\xA8x\xE2\x82\xAC";  // è x €
  EXPECT_EQ(CharLength(s), 3u);
  EXPECT_EQ(CharSubstr(s, 1, 1), "x");
  EXPECT_EQ(CharRight(s, 1), "\xE2\x82\xAC");
  EXPECT_EQ(CharLength(PadRight(s, 5)), 5u);
  EXPECT_EQ(UpperCase("\xC3\xA8"), "\xC3\x88");
  EXPECT_EQ(LowerCase("SALE \xC3\x88"), "sale \xC3\xA8");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  std::u16string lone = {u'a', 0xD800, u'b'};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(CharLength("\xFF\xFE"), 2u);  // invalid bytes count one each
}
