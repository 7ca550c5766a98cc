// The library's version information: a description, a copyright, the current version and
// release date, and the history of versions, read from the library's string table.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/datetime.h"

namespace fp {

struct tVN_ApplicationHistory {
  std::string Version;
  DateTime ReleaseDate = 0;
  std::string Author;
  std::vector<std::string> Text;
};

// One entry of a string table: the text stored under an identifier, or nothing.
using tVN_StringTable = std::function<std::optional<std::string>(int aId)>;

// The library's own string table (the version entries start at 10000).
std::optional<std::string> LibraryString(int aId);

class tVN_ApplicationInfo {
 public:
  std::string Description;
  std::string Copyright;
  std::string Version;
  DateTime ReleaseDate = 0;
  std::vector<tVN_ApplicationHistory> History;

  // Reads the key=value entries from the identifier 10000 upwards until eleven identifiers
  // in a row hold nothing. Raises "Invalid argument to date encode" for a release date
  // with an impossible day or month; what was read before stays.
  void Load(const tVN_StringTable& aStrings = LibraryString);

  // "[" + Version + " - " + the release date in the user's short date format + "]".
  std::string GetVersionString() const;
};

// The version information of this build, loaded once on first use; safe from any thread.
const tVN_ApplicationInfo& LibraryInfo();

}  // namespace fp
