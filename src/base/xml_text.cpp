#include "base/xml_text.h"

#include <cstdio>

#include "base/errors.h"
#include "base/text.h"

namespace fp {

std::optional<int32_t> ParseXmlInteger(std::string_view aText) {
  size_t i = 0, n = aText.size();
  while (i < n && (aText[i] == ' ' || aText[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (aText[i] == '+' || aText[i] == '-')) {
    negative = aText[i] == '-';
    ++i;
  }
  if (i == n) return std::nullopt;
  int64_t value = 0;
  for (; i < n; ++i) {
    char c = aText[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    // Stop long digit strings before they overflow the accumulator.
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

namespace {

// A field at 1-based character position aPos with aWidth characters. The whole field must
// be present; a text that ends inside it gives no value.
std::optional<int32_t> Field(std::string_view aText, size_t aPos, size_t aWidth) {
  std::string field = CharSubstr(aText, aPos - 1, aWidth);
  if (CharLength(field) != aWidth) return std::nullopt;
  return ParseXmlInteger(field);
}

[[noreturn]] void Fail(const char* aWhat, std::string_view aText) {
  throw kException(std::string(aWhat) + " Format invalid: [" + std::string(aText) + "]");
}

}  // namespace

DateTime XmlTextToDate(std::string_view aText) {
  auto y = Field(aText, 1, 4), m = Field(aText, 6, 2), d = Field(aText, 9, 2);
  if (!y || !m || !d) Fail("Date", aText);
  auto value = EncodeDate(*y, *m, *d);
  if (!value) Fail("Date", aText);
  return *value;
}

DateTime XmlTextToDateTime(std::string_view aText) {
  auto y = Field(aText, 1, 4), m = Field(aText, 6, 2), d = Field(aText, 9, 2);
  auto h = Field(aText, 12, 2), n = Field(aText, 15, 2), s = Field(aText, 18, 2);
  if (!y || !m || !d || !h || !n || !s) Fail("DateTime", aText);
  // The millisecond field is optional and may be shorter than three characters ("12.5").
  std::optional<int32_t> ms = ParseXmlInteger(CharSubstr(aText, 20, 3));
  auto value = EncodeDateTime(*y, *m, *d, *h, *n, *s, ms.value_or(0));
  if (!value) Fail("DateTime", aText);
  return *value;
}

std::string DateToXmlText(DateTime aValue) {
  DateTimeParts p = DecodeDateTime(aValue);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buf;
}

std::string DateTimeToXmlText(DateTime aValue, bool aMilliseconds) {
  DateTimeParts p = DecodeDateTime(aValue);
  char buf[48];
  if (aMilliseconds)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second, p.millisecond);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
  return buf;
}

std::string AmountToXmlText(Amount aValue) { return aValue.ToXmlText(); }

std::string BoolToXmlText(bool aValue) { return aValue ? "True" : "False"; }

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Walks aText as EscapeXml writes it, handing each piece of the output to aPut.
template <typename Put>
void EscapeXmlPieces(std::string_view aText, Put aPut) {
  size_t pos = 0;
  while (pos < aText.size()) {
    switch (aText[pos]) {
      case '&': aPut("&amp;"); ++pos; continue;
      case '<': aPut("&lt;"); ++pos; continue;
      case '>': aPut("&gt;"); ++pos; continue;
      case '"': aPut("&quot;"); ++pos; continue;
      case '\'': aPut("&apos;"); ++pos; continue;
      default: break;
    }
    const size_t start = pos;
    const char32_t cp = DecodeUtf8(aText, pos);
    // A byte that starts no valid sequence decodes as U+FFFD and moves one byte on.
    const bool valid = !(cp == 0xFFFD && pos == start + 1);
    if (valid && IsXmlCharacter(cp)) aPut(aText.substr(start, pos - start));
    else aPut(kReplacementCharacter);
  }
}

}  // namespace

std::string EscapeXml(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  EscapeXmlPieces(aText, [&](std::string_view aPiece) { out += aPiece; });
  return out;
}

size_t EscapedXmlSize(std::string_view aText) {
  size_t size = 0;
  EscapeXmlPieces(aText, [&](std::string_view aPiece) { size += aPiece.size(); });
  return size;
}

}  // namespace fp
