#include "base/amount.h"

#include <limits>

#include "base/errors.h"
#include "base/wide_int.h"

namespace fp {

namespace {

constexpr WideInt kMin = std::numeric_limits<int64_t>::min();
constexpr WideInt kMax = std::numeric_limits<int64_t>::max();

Amount Checked(WideInt aRaw) {
  if (aRaw < kMin || aRaw > kMax) throw kException("Amount out of range");
  return Amount::FromRaw(static_cast<int64_t>(aRaw));
}

WideInt Pow10(int aExp) {
  WideInt r = 1;
  for (int i = 0; i < aExp; ++i) r *= 10;
  return r;
}

}  // namespace

WideInt DivRound(WideInt aNumerator, WideInt aDenominator, Rounding aMode) {
  if (aDenominator == 0) throw kException("Division by zero");
  if (aDenominator < 0) {
    aNumerator = -aNumerator;
    aDenominator = -aDenominator;
  }
  WideInt q = aNumerator / aDenominator;  // truncated toward zero
  WideInt r = aNumerator % aDenominator;  // sign of the numerator
  if (r == 0 || aMode == Rounding::TowardZero) return q;
  WideInt twice = (r < 0 ? -r : r) * 2;
  int step = aNumerator < 0 ? -1 : 1;
  if (twice > aDenominator) return q + step;
  if (twice < aDenominator) return q;
  if (aMode == Rounding::HalfAwayFromZero) return q + step;
  return (q % 2 == 0) ? q : q + step;  // HalfEven
}

Amount Amount::FromInt(int64_t aUnits) { return Checked(static_cast<WideInt>(aUnits) * kScale); }

std::optional<Amount> Amount::Parse(std::string_view aText) {
  size_t i = 0, n = aText.size();
  auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < n && isBlank(aText[i])) ++i;
  while (n > i && isBlank(aText[n - 1])) --n;
  if (i >= n) return std::nullopt;
  bool negative = false;
  if (aText[i] == '+' || aText[i] == '-') negative = aText[i++] == '-';
  // Significant digits are collected as an integer mantissa with a decimal exponent.
  WideInt mantissa = 0;
  int exponent = 0;
  int digits = 0;
  auto addDigit = [&](char c, bool fraction) {
    ++digits;
    if (mantissa < Pow10(30)) {
      mantissa = mantissa * 10 + (c - '0');
      if (fraction) --exponent;
    } else if (!fraction) {
      ++exponent;  // digits beyond 30 significant ones only scale the value
    }
  };
  while (i < n && aText[i] >= '0' && aText[i] <= '9') addDigit(aText[i++], false);
  if (i < n && aText[i] == '.') {
    ++i;
    while (i < n && aText[i] >= '0' && aText[i] <= '9') addDigit(aText[i++], true);
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (aText[i] == 'e' || aText[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < n && (aText[i] == '+' || aText[i] == '-')) expNegative = aText[i++] == '-';
    if (i >= n || aText[i] < '0' || aText[i] > '9') return std::nullopt;
    int e = 0;
    while (i < n && aText[i] >= '0' && aText[i] <= '9') {
      if (e < 100000) e = e * 10 + (aText[i] - '0');
      ++i;
    }
    exponent += expNegative ? -e : e;
  }
  if (i != n) return std::nullopt;
  // value = mantissa × 10^(exponent); raw = value × 10^4.
  int shift = exponent + 4;
  WideInt raw;
  if (mantissa == 0) {
    raw = 0;
  } else if (shift >= 0) {
    // Checked before multiplying: 30 significant digits times 10^20 would leave even
    // the 128-bit range.
    if (shift > 20 || mantissa > (kMax + 1) / Pow10(shift)) return std::nullopt;
    raw = mantissa * Pow10(shift);
    if (raw > kMax + 1) return std::nullopt;
  } else if (-shift > 36) {
    raw = 0;  // far below half a ten-thousandth
  } else {
    WideInt div = Pow10(-shift);
    WideInt q = mantissa / div, r = mantissa % div;
    if (r * 2 >= div) q = q + 1;  // halves away from zero (the sign is applied below)
    raw = q;
  }
  if (negative) raw = -raw;
  if (raw < kMin || raw > kMax) return std::nullopt;
  return Amount(static_cast<int64_t>(raw));
}

std::string Amount::ToXmlText() const {
  std::string s = Format(4);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string Amount::Format(int aDecimals, std::string_view aDecimalSeparator) const {
  if (aDecimals < 0) aDecimals = 0;
  if (aDecimals > 4) aDecimals = 4;
  // Dividing by a power of ten keeps the value within 64 bits.
  const auto v = static_cast<int64_t>(DivRound(fRaw, Pow10(4 - aDecimals), Rounding::HalfAwayFromZero));
  bool negative = v < 0;
  uint64_t u = negative ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
  } while (u != 0);
  while (static_cast<int>(digits.size()) <= aDecimals) digits.insert(digits.begin(), '0');
  std::string out = negative ? "-" : "";
  out += digits.substr(0, digits.size() - aDecimals);
  if (aDecimals > 0) {
    out += aDecimalSeparator;
    out += digits.substr(digits.size() - aDecimals);
  }
  return out;
}

Amount Amount::Round(int aDecimals, Rounding aMode) const {
  if (aDecimals >= 4) return *this;
  if (aDecimals < 0) aDecimals = 0;
  WideInt unit = Pow10(4 - aDecimals);
  return Checked(DivRound(fRaw, unit, aMode) * unit);
}

Amount Amount::operator-() const { return Checked(-static_cast<WideInt>(fRaw)); }
Amount Amount::operator+(Amount aOther) const { return Checked(static_cast<WideInt>(fRaw) + aOther.fRaw); }
Amount Amount::operator-(Amount aOther) const { return Checked(static_cast<WideInt>(fRaw) - aOther.fRaw); }

Amount Amount::Mul(Amount aOther, Rounding aMode) const {
  return Checked(DivRound(static_cast<WideInt>(fRaw) * aOther.fRaw, kScale, aMode));
}

Amount Amount::Div(Amount aOther, Rounding aMode) const {
  if (aOther.fRaw == 0) throw kException("Division by zero");
  return Checked(DivRound(static_cast<WideInt>(fRaw) * kScale, aOther.fRaw, aMode));
}

Amount Amount::MulDiv(Amount aNum, Amount aDen, Rounding aMode) const {
  if (aDen.fRaw == 0) throw kException("Division by zero");
  // (a/1e4 × b/1e4) / (c/1e4) × 1e4 = a × b / c. The product of two int64 fits in 127 bits.
  return Checked(DivRound(static_cast<WideInt>(fRaw) * aNum.fRaw, aDen.fRaw, aMode));
}

}  // namespace fp
