// Where the receipt picture's fixed-width face comes from, one implementation per system.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fp {

// A font file by path, or (when fData is not empty) the file's bytes in memory; fIndex is
// the face within the file, fFamily its family name.
struct kReceiptFontFile {
  std::string fPath;
  int fIndex = 0;
  std::vector<unsigned char> fData;
  std::string fFamily;
};

// Liberation Mono, else the system's Courier face, else any fixed-width face it has;
// nothing when there is none. The caller still checks that the face it loads is fixed-width.
std::optional<kReceiptFontFile> FindFixedWidthFont();

}  // namespace fp
