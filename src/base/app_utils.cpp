#include "base/app_utils.h"

#include <cmath>
#include <cstdio>

#include "base/platform.h"
#include "base/text.h"

namespace fp {

std::string ExtractField(std::string_view aText, int aIndex, char aSeparator, bool aToEnd) {
  if (aIndex < 1) return {};
  size_t start = 0;
  for (int field = 1; field < aIndex; ++field) {
    size_t sep = aText.find(aSeparator, start);
    if (sep == std::string_view::npos) return {};
    start = sep + 1;
  }
  if (aToEnd) return std::string(aText.substr(start));
  // The last field of a text that does not end in the separator still counts as a field.
  size_t end = aText.find(aSeparator, start);
  return std::string(aText.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string FormatFixedNumber(double aValue, int aDigits, int aDecimals, const std::string& aDecimalSeparator,
                              bool aSigned) {
  if (aDecimals < 0) aDecimals = 0;
  if (aDecimals > 18) aDecimals = 18;
  bool negative = aValue < 0;
  // Rounded half away from zero, as money and counters are rounded everywhere else.
  double scale = std::pow(10.0, aDecimals);
  double magnitude = std::round(std::fabs(aValue) * scale) / scale;
  if (!std::isfinite(magnitude)) magnitude = 0;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", aDecimals, magnitude);
  std::string text = buf;
  size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, aDecimalSeparator);
  if (magnitude == 0) negative = false;  // no "-0"

  if (aDigits <= 0) {
    if (aSigned) return (negative ? "-" : "+") + text;
    return negative ? "-" + text : text;
  }
  size_t width = static_cast<size_t>(aDigits);
  if (aSigned || negative) {
    // The sign takes the first of the aDigits places.
    std::string digits = CharRight(PadLeft(text, width - 1, '0'), width - 1);
    return (negative ? "-" : (aSigned ? "+" : "")) + digits;
  }
  return CharRight(PadLeft(text, width, '0'), width);
}

std::string GetCommandLineParam(const std::string& aName, bool aWhole, const std::vector<std::string>& aArgs) {
  std::string name = LowerCase(aName);
  for (size_t i = 1; i < aArgs.size(); ++i) {
    std::string arg = LowerCase(aArgs[i]);
    if (arg == name || StartsWith(arg, name + ":") || StartsWith(arg, name + "=")) {
      if (aWhole) return aArgs[i];
      return CharSubstr(aArgs[i], CharLength(aName) + 1);
    }
  }
  return {};
}

std::string GetCommandLineParam(const std::string& aName, bool aWhole) {
  return GetCommandLineParam(aName, aWhole, CommandLineArgs());
}

int TimeToMilliseconds(DateTime aTime) {
  DateTimeParts p = DecodeDateTime(aTime);
  return ((p.hour * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond;
}

std::string GetApplicationPath() {
  std::string dir = ApplicationDir();
  return (!dir.empty() && IsPathSeparator(dir.back())) ? dir : dir + "/";
}

std::string GetApplicationName() {
  std::string exe = ApplicationExePath();
  size_t slash = exe.rfind('/');
  std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace fp
