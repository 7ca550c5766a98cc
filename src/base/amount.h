// Amount: a signed 64-bit fixed-point decimal with four decimal places (a count of
// ten-thousandths), used for money, quantities, rates and percentages.
//
// Sums and differences are exact; every operation that could leave the 64-bit range throws
// kException("Amount out of range") instead of wrapping. Products and quotients name their
// rounding explicitly.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/wide_int.h"

namespace fp {

enum class Rounding {
  HalfAwayFromZero,  // 1.235 -> 1.24, -1.235 -> -1.24
  HalfEven,          // ties go to the even neighbour
  TowardZero,        // the fraction is cut
};

class Amount {
 public:
  static constexpr int64_t kScale = 10000;

  constexpr Amount() = default;
  static constexpr Amount FromRaw(int64_t aTenThousandths) { return Amount(aTenThousandths); }
  // Whole units (3 -> 3.0000). Throws when out of range.
  static Amount FromInt(int64_t aUnits);

  // Decimal text: blanks around it ignored, optional sign, digits, optional "." and
  // fraction, optional exponent (e/E, optional sign, digits); no grouping. Rounded to the
  // nearest ten-thousandth, halves away from zero. Empty optional when the text is no
  // number or the value does not fit.
  static std::optional<Amount> Parse(std::string_view aText);

  constexpr int64_t Raw() const { return fRaw; }
  double ToDouble() const { return static_cast<double>(fRaw) / kScale; }
  constexpr bool IsZero() const { return fRaw == 0; }

  // Shortest decimal form with "." and no grouping or trailing zeros: 12.5, 3, -0.0001.
  std::string ToXmlText() const;
  // Fixed number of decimals (0..4), rounded halves away from zero, with the given
  // separator and no grouping: Format(2) of 1.235 is "1.24".
  std::string Format(int aDecimals, std::string_view aDecimalSeparator = ".") const;

  // Rounds to aDecimals (0..4) decimal places.
  Amount Round(int aDecimals, Rounding aMode) const;

  Amount operator-() const;
  Amount operator+(Amount aOther) const;
  Amount operator-(Amount aOther) const;
  Amount& operator+=(Amount aOther) { return *this = *this + aOther; }
  Amount& operator-=(Amount aOther) { return *this = *this - aOther; }

  // this × aOther taken to ten-thousandths with the given rounding.
  Amount Mul(Amount aOther, Rounding aMode = Rounding::HalfEven) const;
  // this ÷ aOther taken to ten-thousandths with the given rounding. Throws on division by zero.
  Amount Div(Amount aOther, Rounding aMode = Rounding::HalfEven) const;
  // (this × aNum) ÷ aDen computed on the exact product, rounded once.
  Amount MulDiv(Amount aNum, Amount aDen, Rounding aMode = Rounding::HalfEven) const;

  constexpr auto operator<=>(const Amount&) const = default;
  constexpr bool operator==(const Amount&) const = default;

 private:
  constexpr explicit Amount(int64_t aRaw) : fRaw(aRaw) {}
  int64_t fRaw = 0;
};

// Divides a wide integer by a positive or negative divisor with the given rounding.
// Exposed for code that needs the same rounding on its own intermediate products.
WideInt DivRound(WideInt aNumerator, WideInt aDenominator, Rounding aMode);

}  // namespace fp
