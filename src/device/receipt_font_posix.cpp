// The receipt font on POSIX systems: fontconfig's answer for Courier, else for monospace.
#include "device/receipt_font.h"

#include <fontconfig/fontconfig.h>

namespace fp {

namespace {

// Patterns tried in order; the first that resolves to a fixed-width face wins. Courier is
// what the picture is laid out for; any monospace face keeps the columns aligned.
constexpr const char* kFontPatterns[] = {"Courier:style=Regular", "monospace:style=Regular"};

}  // namespace

std::optional<kReceiptFontFile> FindFixedWidthFont() {
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) return std::nullopt;
  std::optional<kReceiptFontFile> found;
  for (const char* name : kFontPatterns) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name));
    if (pattern == nullptr) continue;
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) continue;
    FcChar8* file = nullptr;
    int index = 0;
    int spacing = FC_MONO;  // a face without the property is checked once loaded
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      FcPatternGetInteger(match, FC_SPACING, 0, &spacing);
      // fontconfig always answers with some face; only a fixed-width one keeps the columns.
      if (spacing == FC_MONO || spacing == FC_CHARCELL) found = kReceiptFontFile{reinterpret_cast<const char*>(file), index, {}};
    }
    FcPatternDestroy(match);
    if (found) break;
  }
  FcConfigDestroy(config);
  return found;
}

}  // namespace fp
