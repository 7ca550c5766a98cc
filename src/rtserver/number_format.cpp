#include "rtserver/number_format.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

#include "base/platform.h"

namespace fp {

namespace {

std::string EnvLocaleName() {
  for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return {};
}

}  // namespace

std::string ThousandsSeparator() {
  std::string separator;
  std::string name = EnvLocaleName();
  if (!name.empty() && name != "C" && name != "POSIX") {
    // A locale object of our own: the process locale belongs to the host.
    locale_t loc = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
    if (loc != static_cast<locale_t>(0)) {
      const char* v = nl_langinfo_l(THOUSEP, loc);
      if (v != nullptr) separator = v;
      freelocale(loc);
    }
  }
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
