// A signed 128-bit integer for exact money arithmetic: the product of two 64-bit amounts
// before it is divided back, and the digits of a parsed number before they are scaled.
// 64-bit compilers have one built in; 32-bit ones (the x86 Windows DLL) do not, so there
// the two's-complement pair below stands in. Only the operations amounts need exist.
#pragma once

#include <cstdint>

namespace fp {

class PortableInt128 {
 public:
  constexpr PortableInt128() = default;
  constexpr PortableInt128(int64_t aValue)  // NOLINT: widening, like the built-in type
      : fHigh(aValue < 0 ? ~uint64_t{0} : 0), fLow(static_cast<uint64_t>(aValue)) {}
  constexpr PortableInt128(int aValue) : PortableInt128(static_cast<int64_t>(aValue)) {}

  // The low 64 bits, as a cast of the built-in type would give them.
  constexpr explicit operator int64_t() const { return static_cast<int64_t>(fLow); }
  constexpr uint64_t High() const { return fHigh; }
  constexpr uint64_t Low() const { return fLow; }

  constexpr PortableInt128 operator-() const { return PortableInt128(~fHigh, ~fLow) + PortableInt128(1); }
  constexpr PortableInt128 operator+(PortableInt128 aOther) const {
    uint64_t low = fLow + aOther.fLow;
    return PortableInt128(fHigh + aOther.fHigh + (low < fLow ? 1 : 0), low);
  }
  constexpr PortableInt128 operator-(PortableInt128 aOther) const { return *this + -aOther; }

  // Wraps modulo 2^128 like the built-in type; amounts never reach that far.
  constexpr PortableInt128 operator*(PortableInt128 aOther) const {
    const uint64_t a0 = fLow & 0xFFFFFFFFu, a1 = fLow >> 32, b0 = aOther.fLow & 0xFFFFFFFFu, b1 = aOther.fLow >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    const uint64_t low = (middle << 32) | (p00 & 0xFFFFFFFFu);
    const uint64_t high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32) + fHigh * aOther.fLow + fLow * aOther.fHigh;
    return PortableInt128(high, low);
  }

  // Truncates toward zero; the remainder takes the sign of the dividend. The divisor is
  // never zero here (callers check first).
  constexpr PortableInt128 operator/(PortableInt128 aOther) const {
    PortableInt128 quotient, remainder;
    DivMod(*this, aOther, quotient, remainder);
    return quotient;
  }
  constexpr PortableInt128 operator%(PortableInt128 aOther) const {
    PortableInt128 quotient, remainder;
    DivMod(*this, aOther, quotient, remainder);
    return remainder;
  }

  PortableInt128& operator*=(PortableInt128 aOther) { return *this = *this * aOther; }
  PortableInt128& operator+=(PortableInt128 aOther) { return *this = *this + aOther; }

  constexpr bool operator==(const PortableInt128&) const = default;
  constexpr bool operator<(PortableInt128 aOther) const {
    if (fHigh != aOther.fHigh) return static_cast<int64_t>(fHigh) < static_cast<int64_t>(aOther.fHigh);
    return fLow < aOther.fLow;
  }
  constexpr bool operator>(PortableInt128 aOther) const { return aOther < *this; }
  constexpr bool operator<=(PortableInt128 aOther) const { return !(aOther < *this); }
  constexpr bool operator>=(PortableInt128 aOther) const { return !(*this < aOther); }

 private:
  constexpr PortableInt128(uint64_t aHigh, uint64_t aLow) : fHigh(aHigh), fLow(aLow) {}
  constexpr bool Negative() const { return static_cast<int64_t>(fHigh) < 0; }

  // Shift-and-subtract on the magnitudes: 128 steps, enough for the few wide divisions
  // an amount needs.
  static constexpr void DivMod(PortableInt128 aDividend, PortableInt128 aDivisor, PortableInt128& aQuotient,
                               PortableInt128& aRemainder) {
    const bool negativeQuotient = aDividend.Negative() != aDivisor.Negative();
    const bool negativeRemainder = aDividend.Negative();
    const PortableInt128 n = aDividend.Negative() ? -aDividend : aDividend;
    const PortableInt128 d = aDivisor.Negative() ? -aDivisor : aDivisor;
    uint64_t qHigh = 0, qLow = 0, rHigh = 0, rLow = 0;
    for (int bit = 127; bit >= 0; --bit) {
      rHigh = (rHigh << 1) | (rLow >> 63);
      rLow = (rLow << 1) | ((bit >= 64 ? n.fHigh >> (bit - 64) : n.fLow >> bit) & 1);
      const bool fits = rHigh > d.fHigh || (rHigh == d.fHigh && rLow >= d.fLow);
      if (fits) {
        const uint64_t borrow = rLow < d.fLow ? 1 : 0;
        rLow -= d.fLow;
        rHigh -= d.fHigh + borrow;
        if (bit >= 64) qHigh |= uint64_t{1} << (bit - 64);
        else qLow |= uint64_t{1} << bit;
      }
    }
    aQuotient = PortableInt128(qHigh, qLow);
    aRemainder = PortableInt128(rHigh, rLow);
    if (negativeQuotient) aQuotient = -aQuotient;
    if (negativeRemainder) aRemainder = -aRemainder;
  }

  uint64_t fHigh = 0;
  uint64_t fLow = 0;
};

#if defined(__SIZEOF_INT128__)
using WideInt = __int128;
#else
using WideInt = PortableInt128;
#endif

}  // namespace fp
