#include "rtserver/number_format.h"

#include "base/platform.h"

namespace fp {

std::string ThousandsSeparator() {
  std::string separator = UserThousandsSeparator();
  if (separator.empty()) separator = DecimalSeparator() == "." ? "," : ".";
  return separator;
}

std::string FormatGroupedNumber(Amount aValue, int aDecimals) {
  std::string plain = aValue.Format(aDecimals);  // "-1234.500"
  std::string sign;
  if (!plain.empty() && plain[0] == '-') {
    sign = "-";
    plain.erase(0, 1);
  }
  size_t dot = plain.find('.');
  std::string whole = plain.substr(0, dot);
  std::string fraction = dot == std::string::npos ? std::string() : plain.substr(dot + 1);

  const std::string group = ThousandsSeparator();
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += group;
    grouped += whole[i];
  }
  std::string out = sign + grouped;
  if (!fraction.empty()) out += DecimalSeparator() + fraction;
  return out;
}

}  // namespace fp
