#include "base/wide_int.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

namespace fp {
namespace {

// The stand-in used by 32-bit builds must agree with the compiler's own 128-bit type on
// every operation amounts use; on a 64-bit build both are at hand to compare.
#if defined(__SIZEOF_INT128__)
void ExpectSame(PortableInt128 aPortable, __int128 aNative) {
  EXPECT_EQ(aPortable.High(), static_cast<uint64_t>(static_cast<unsigned __int128>(aNative) >> 64));
  EXPECT_EQ(aPortable.Low(), static_cast<uint64_t>(aNative));
}

TEST(PortableInt128, AgreesWithTheBuiltInType) {
  const int64_t max = std::numeric_limits<int64_t>::max(), min = std::numeric_limits<int64_t>::min();
  std::vector<int64_t> values = {0, 1, -1, 2, -2, 3, 10, -10, 10000, -10000, 99999, max, min, max - 1, min + 1,
                                 int64_t{1} << 32, -(int64_t{1} << 32), (int64_t{1} << 32) - 1, 123456789012345};
  std::mt19937_64 random(7);
  for (int i = 0; i < 200; ++i) values.push_back(static_cast<int64_t>(random()) >> (random() % 63));
  for (int64_t a : values) {
    for (int64_t b : values) {
      // Products of two 64-bit values, as amounts form them, then divided and compared.
      const __int128 na = static_cast<__int128>(a) * b;
      const PortableInt128 pa = PortableInt128(a) * PortableInt128(b);
      ExpectSame(pa, na);
      ExpectSame(pa + PortableInt128(b), na + b);
      ExpectSame(pa - PortableInt128(a), na - a);
      ExpectSame(-pa, -na);
      EXPECT_EQ(pa < PortableInt128(b), na < b);
      EXPECT_EQ(pa == PortableInt128(a), na == a);
      if (b != 0) {
        ExpectSame(pa / PortableInt128(b), na / b);
        ExpectSame(pa % PortableInt128(b), na % b);
        ExpectSame(PortableInt128(a) / PortableInt128(b), static_cast<__int128>(a) / b);
        ExpectSame(PortableInt128(a) % PortableInt128(b), static_cast<__int128>(a) % b);
      }
      if (a != 0) {
        // Wide divisors: a product divided by another product.
        const __int128 nd = static_cast<__int128>(a) * 1000003;
        const PortableInt128 pd = PortableInt128(a) * PortableInt128(1000003);
        ExpectSame(pa / pd, na / nd);
        ExpectSame(pa % pd, na % nd);
      }
      if (testing::Test::HasFailure()) return;  // one pair is enough to show the fault
    }
  }
}
#endif

TEST(PortableInt128, PowersOfTenAndTheirQuotients) {
  // 10^36 is the widest divisor a parsed number meets.
  PortableInt128 power = 1;
  for (int i = 0; i < 36; ++i) power = power * PortableInt128(10);
  PortableInt128 back = power;
  for (int i = 0; i < 36; ++i) {
    EXPECT_EQ(static_cast<int64_t>(back % PortableInt128(10)), 0);
    back = back / PortableInt128(10);
  }
  EXPECT_EQ(static_cast<int64_t>(back), 1);
  EXPECT_TRUE(-power < PortableInt128(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(static_cast<int64_t>((-power - PortableInt128(7)) % power), -7);
  EXPECT_EQ(static_cast<int64_t>((-power * PortableInt128(3)) / power), -3);
}

}  // namespace
}  // namespace fp
