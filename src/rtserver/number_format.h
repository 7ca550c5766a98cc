// Numbers as the user reads them on a printed line: the user's decimal separator and digit
// grouping, a fixed number of decimals.
#pragma once

#include <string>

#include "base/amount.h"

namespace fp {

// The user's digit-group separator, from the locale named by the environment (LC_ALL,
// LC_NUMERIC, LANG). A locale without one gives "," when the decimal separator is "." and
// "." otherwise, so grouped numbers stay readable.
std::string ThousandsSeparator();

// aValue rounded to aDecimals (0..4) decimals, halves away from zero, with the user's
// decimal separator and groups of three digits: 1234.5 with 3 decimals is "1,234.500".
std::string FormatGroupedNumber(Amount aValue, int aDecimals);

}  // namespace fp
