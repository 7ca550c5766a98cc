// The receipt font on POSIX systems, found through fontconfig.
#include "device/receipt_font.h"

#include <fontconfig/fontconfig.h>

namespace fp {

namespace {

// Faces tried in order. Liberation Mono is asked for by its family name and taken only
// when fontconfig really has it: through the aliases "Courier" resolves to whatever the
// system prefers (Nimbus Mono PS where the URW fonts are installed, with other metrics),
// and the same receipt must give the same picture on every till. The generic names are
// the fall-back for a system without it; any fixed-width face keeps the columns aligned.
struct FontChoice {
  const char* fPattern;
  const char* fRequiredFamily;  // nullptr: any fixed-width face fontconfig offers
};
constexpr FontChoice kFontChoices[] = {
    {"Liberation Mono:style=Regular", "Liberation Mono"},
    {"Courier:style=Regular", nullptr},
    {"monospace:style=Regular", nullptr},
};

// Whether the matched face belongs to aFamily (fontconfig lists a face's family names in
// several languages; any of them counts).
bool HasFamily(FcPattern* aMatch, const char* aFamily) {
  FcChar8* family = nullptr;
  for (int i = 0; FcPatternGetString(aMatch, FC_FAMILY, i, &family) == FcResultMatch; ++i)
    if (family != nullptr && FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(aFamily)) == 0) return true;
  return false;
}

}  // namespace

std::optional<kReceiptFontFile> FindFixedWidthFont() {
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) return std::nullopt;
  std::optional<kReceiptFontFile> found;
  for (const FontChoice& choice : kFontChoices) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(choice.fPattern));
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
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr &&
        (choice.fRequiredFamily == nullptr || HasFamily(match, choice.fRequiredFamily))) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      FcPatternGetInteger(match, FC_SPACING, 0, &spacing);
      FcChar8* family = nullptr;
      FcPatternGetString(match, FC_FAMILY, 0, &family);
      // fontconfig always answers with some face; only a fixed-width one keeps the columns.
      if (spacing == FC_MONO || spacing == FC_CHARCELL)
        found = kReceiptFontFile{reinterpret_cast<const char*>(file), index, {},
                                 family != nullptr ? reinterpret_cast<const char*>(family) : ""};
    }
    FcPatternDestroy(match);
    if (found) break;
  }
  FcConfigDestroy(config);
  return found;
}

}  // namespace fp
