// Small text and number functions of the application services: fields of a separated text
// (the application's message table, the printer's reply frames), fixed-width numbers, the
// command line, and the host program's folder and name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"

namespace fp {

// Fields of aText separated by aSeparator, counted from 1. With aToEnd false: field aIndex
// without separators; with aToEnd true: everything from the start of field aIndex to the
// end of the text, separators included. Empty when aIndex is below 1 or past the last field.
// "a/b/c": field 2 is "b", field 2 to the end "b/c", field 4 "".
std::string ExtractField(std::string_view aText, int aIndex, char aSeparator, bool aToEnd = false);

// aValue with aDecimals decimals (rounded), the decimal point replaced by
// aDecimalSeparator (empty removes it), padded on the left with "0" and cut to its last
// aDigits characters. With aSigned the first of those is "+" for 0 or more, "-" below 0.
// A negative value without aSigned keeps its "-" in front of aDigits - 1 characters.
// aDigits of 0 or less keeps the text at its own width.
std::string FormatFixedNumber(double aValue, int aDigits, int aDecimals = 0, const std::string& aDecimalSeparator = "",
                              bool aSigned = false);

// The first argument after the program that, compared case-insensitively, starts with
// aName + ":" or aName + "=" or equals aName. With aWhole the whole argument, otherwise the
// argument without its first length-of-aName + 1 characters. Empty when none matches.
std::string GetCommandLineParam(const std::string& aName, bool aWhole, const std::vector<std::string>& aArgs);
// The same on the host program's own command line.
std::string GetCommandLineParam(const std::string& aName, bool aWhole = false);

// Milliseconds since midnight of the time of day of aTime.
int TimeToMilliseconds(DateTime aTime);

// The folder of the host executable with a trailing "/", and its file name without extension.
std::string GetApplicationPath();
std::string GetApplicationName();

}  // namespace fp
