#include "base/app_info.h"

#include <cctype>
#include <map>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"

namespace fp {

namespace {

constexpr int kFirstInfoId = 10000;
// Reading stops after this many identifiers in a row without a string.
constexpr int kMaxMissingInARow = 11;
// String identifiers are 16-bit: a table can't go further.
constexpr int kLastStringId = 65535;

// The version entries of this build's string table.
const std::map<int, const char*>& InfoTable() {
  static const std::map<int, const char*> table = {
      {10000, "$APPDESCRIPTION=BRV Driver - TARVO LX40 TCP - HTTP"},
      {10001, "$VERSION=1.00"},
      {10002, "$VERSION=1.01"},
      {10003, "$VERSION=1.02"},
      {10004, "$VERSION=1.03"},
      {10005, "$VERSION=1.04"},
      {10006, "$VERSION=1.05"},
      {10007, "$VERSION=1.06"},
      {10008, "$VERSION=1.07"},
      {10009, "$VERSION=1.08"},
      {10010, "$VERSION=1.09"},
      {10011, "$VERSION=1.10"},
      {10012, "$VERSION=1.11"},
      {10013, "$VERSION=1.12"},
      {10014, "$VERSION=1.13"},
      {10015, "$VERSION=" FPDRIVER_VERSION},  // this build's version, from the build's one place
      {10016, "$RELEASEDATE=29/08/2025"},
  };
  return table;
}

// A part of the date that is not a number counts as 1.
int DatePart(const std::string& aText, size_t aPos, size_t aCount) {
  std::string part = CharSubstr(aText, aPos, aCount);
  size_t i = (!part.empty() && (part[0] == '+' || part[0] == '-')) ? 1 : 0;
  if (i >= part.size()) return 1;
  for (size_t k = i; k < part.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(part[k]))) return 1;
  return std::stoi(part);
}

}  // namespace

std::optional<std::string> LibraryString(int aId) {
  const auto& table = InfoTable();
  auto it = table.find(aId);
  if (it == table.end()) return std::nullopt;
  return std::string(it->second);
}

void tVN_ApplicationInfo::Load(const tVN_StringTable& aStrings) {
  tVN_ApplicationHistory* current = nullptr;
  int missing = 0;
  for (int id = kFirstInfoId; missing < kMaxMissingInARow && id <= kLastStringId; ++id) {
    std::optional<std::string> entry = aStrings(id);
    if (!entry) {
      ++missing;
      continue;
    }
    missing = 0;
    size_t eq = entry->find('=');
    std::string key = UpperCase(entry->substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : entry->substr(eq + 1);
    if (key == "$APPDESCRIPTION") {
      Description = value;
    } else if (key == "$COPYRIGHT") {
      Copyright = value;
    } else if (key == "$VERSION") {
      Version = value;
      History.push_back(tVN_ApplicationHistory{value, 0, {}, {}});
      current = &History.back();
    } else if (current == nullptr) {
      // Record keys before the first version belong to no record.
    } else if (key == "$AUTHOR") {
      current->Author = value;
    } else if (key == "$RELEASEDATE") {
      // dd/mm/yyyy read by position.
      std::optional<DateTime> date = EncodeDate(DatePart(value, 6, 4), DatePart(value, 3, 2), DatePart(value, 0, 2));
      if (!date) throw kException("Invalid argument to date encode");
      ReleaseDate = *date;
      current->ReleaseDate = *date;
    } else if (key == "$PTEXT" || key == "$TEXT") {
      current->Text.push_back(value);
    }
  }
}

std::string tVN_ApplicationInfo::GetVersionString() const {
  return "[" + Version + " - " + FormatShortDate(ReleaseDate) + "]";
}

const tVN_ApplicationInfo& LibraryInfo() {
  static const tVN_ApplicationInfo info = [] {
    tVN_ApplicationInfo i;
    try {
      i.Load();
    } catch (const kException&) {
      // The built-in table is well formed; a broken one leaves what was read.
    }
    return i;
  }();
  return info;
}

}  // namespace fp
