// Text forms of dates, date-times, amounts and Booleans as they appear in request and
// result XML. The readers take dates by fixed character positions; the writers use fixed
// patterns that never depend on the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/amount.h"
#include "base/datetime.h"

namespace fp {

// yyyy-mm-dd: year at characters 1-4, month 6-7, day 9-10 (the separators are not
// checked). Throws kException("Date Format invalid: [<text>]") on any failure.
DateTime XmlTextToDate(std::string_view aText);
// yyyy-mm-ddThh:nn:ss[.zzz]: as XmlTextToDate plus hour 12-13, minute 15-16, second 18-19
// and millisecond 21-23; a missing or malformed millisecond field counts as 0. Throws
// kException("DateTime Format invalid: [<text>]") on any failure.
DateTime XmlTextToDateTime(std::string_view aText);

// yyyy-mm-dd
std::string DateToXmlText(DateTime aValue);
// yyyy-mm-ddThh:nn:ss, with aMilliseconds yyyy-mm-ddThh:nn:ss.zzz
std::string DateTimeToXmlText(DateTime aValue, bool aMilliseconds = false);
// Shortest decimal form with "." and no grouping: 12.5, 3, -0.0001.
std::string AmountToXmlText(Amount aValue);
// "True" or "False".
std::string BoolToXmlText(bool aValue);

// An integer as the date fields and integer elements read it: optional leading blanks, an
// optional sign, then decimal digits and nothing else, within the 32-bit signed range.
// Empty optional otherwise.
std::optional<int32_t> ParseXmlInteger(std::string_view aText);

// Replaces & < > " ' by their entities; "&" first, so entities made by later steps stay as
// they are and an ampersand of the input is escaped exactly once. Every character that no
// XML document may hold (IsXmlCharacter: the controls below U+0020 but tab, line feed and
// carriage return, the non-characters such as U+FFFE and U+FFFF) and every byte that is
// no valid UTF-8 becomes U+FFFD, so a fragment stays well-formed whatever a printer answers.
std::string EscapeXml(std::string_view aText);
// The size in bytes of EscapeXml(aText), without building it.
size_t EscapedXmlSize(std::string_view aText);

}  // namespace fp
