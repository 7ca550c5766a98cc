// DateTime: a day count since 30 December 1899 as a double, the time of day as the
// fraction (a pure date has none). This is the representation the request and result
// texts are converted from and to.
#pragma once

#include <optional>

namespace fp {

using DateTime = double;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfWeek = 0;  // 1 = Sunday .. 7 = Saturday
};

bool IsLeapYear(int aYear);
int DaysInMonth(int aYear, int aMonth);

// Calendar-validated encoders (year 1..9999, month 1..12, day of the month, hour 0..23,
// minute and second 0..59, millisecond 0..999). Empty optional when invalid.
std::optional<DateTime> EncodeDate(int aYear, int aMonth, int aDay);
std::optional<DateTime> EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond);
std::optional<DateTime> EncodeDateTime(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                                       int aMillisecond);

// Splits a DateTime into its calendar fields, rounding to the nearest millisecond.
DateTimeParts DecodeDateTime(DateTime aValue);

// The whole-day part (the date at midnight).
DateTime DateOf(DateTime aValue);

// Local time now, to the millisecond.
DateTime Now();
// Today's date at midnight, local time.
DateTime Today();

}  // namespace fp
