#include "base/datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace fp {

namespace {

// Days from 0001-01-01 to 1899-12-30.
constexpr long kDelta = 693594;
constexpr double kMsPerDay = 86400000.0;

long DaysFromCivil(int y, int m, int d) {
  // Proleptic Gregorian day number with day 1 = 0001-01-01.
  long yy = y - 1;
  long days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
  static const int cum[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  days += cum[m - 1] + d;
  if (m > 2 && IsLeapYear(y)) ++days;
  return days;
}

}  // namespace

bool IsLeapYear(int aYear) { return (aYear % 4 == 0) && (aYear % 100 != 0 || aYear % 400 == 0); }

int DaysInMonth(int aYear, int aMonth) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (aMonth < 1 || aMonth > 12) return 0;
  return days[aMonth - 1] + ((aMonth == 2 && IsLeapYear(aYear)) ? 1 : 0);
}

std::optional<DateTime> EncodeDate(int aYear, int aMonth, int aDay) {
  if (aYear < 1 || aYear > 9999 || aMonth < 1 || aMonth > 12) return std::nullopt;
  if (aDay < 1 || aDay > DaysInMonth(aYear, aMonth)) return std::nullopt;
  return static_cast<double>(DaysFromCivil(aYear, aMonth, aDay) - kDelta);
}

std::optional<DateTime> EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond) {
  if (aHour < 0 || aHour > 23 || aMinute < 0 || aMinute > 59 || aSecond < 0 || aSecond > 59 || aMillisecond < 0 ||
      aMillisecond > 999)
    return std::nullopt;
  return (((aHour * 60.0 + aMinute) * 60.0 + aSecond) * 1000.0 + aMillisecond) / kMsPerDay;
}

std::optional<DateTime> EncodeDateTime(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                                       int aMillisecond) {
  auto d = EncodeDate(aYear, aMonth, aDay);
  auto t = EncodeTime(aHour, aMinute, aSecond, aMillisecond);
  if (!d || !t) return std::nullopt;
  // Before 1899-12-30 the fraction counts away from zero, as the day count does.
  return *d >= 0 ? *d + *t : *d - *t;
}

DateTimeParts DecodeDateTime(DateTime aValue) {
  DateTimeParts p;
  if (!std::isfinite(aValue)) return p;
  // Day counts beyond the calendar (years 1 to 9999) would overflow the integer day
  // number below; they are held at its ends.
  constexpr double kFirstDay = 1 - kDelta;         // 0001-01-01
  constexpr double kLastDay = 3652059.0 - kDelta;  // 9999-12-31
  if (aValue <= kFirstDay - 1) aValue = kFirstDay;
  if (aValue >= kLastDay + 1) aValue = kLastDay;
  double whole = std::trunc(aValue);
  double frac = std::fabs(aValue - whole);
  long long ms = std::llround(frac * kMsPerDay);
  long days = static_cast<long>(whole);
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    days += aValue >= 0 ? 1 : -1;
  }
  long n = days + kDelta;  // day number, 1 = 0001-01-01
  if (n < 1) n = 1;
  p.dayOfWeek = static_cast<int>(n % 7) + 1;
  // Civil from day number.
  long d = n - 1;
  long y400 = d / 146097;
  d %= 146097;
  long y100 = d / 36524;
  if (y100 == 4) y100 = 3;
  d -= y100 * 36524;
  long y4 = d / 1461;
  d %= 1461;
  long y1 = d / 365;
  if (y1 == 4) y1 = 3;
  d -= y1 * 365;
  int year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  int month = 1;
  while (month <= 12 && d >= DaysInMonth(year, month)) {
    d -= DaysInMonth(year, month);
    ++month;
  }
  p.year = year;
  p.month = month;
  p.day = static_cast<int>(d) + 1;
  p.millisecond = static_cast<int>(ms % 1000);
  long long s = ms / 1000;
  p.second = static_cast<int>(s % 60);
  p.minute = static_cast<int>((s / 60) % 60);
  p.hour = static_cast<int>(s / 3600);
  return p;
}

DateTime DateOf(DateTime aValue) { return std::trunc(aValue); }

DateTime Now() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  return *EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         local.tm_sec, static_cast<int>(ms % 1000));
}

DateTime Today() { return DateOf(Now()); }

}  // namespace fp
