// The receipt picture's text layout over any receipt text: one row band per line plus three,
// every pixel inside the picture, and a picture the JPEG encoder takes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "base/text.h"
#include "device/receipt_image.h"
#include "fuzz_support.h"

namespace {

// Lines as the picture counts them: broken at CR LF, CR or LF; a final break adds none.
size_t LineCount(const std::u32string& aText) {
  size_t lines = 0;
  bool open = false;
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] == U'\r' || aText[i] == U'\n') {
      ++lines;
      open = false;
      if (aText[i] == U'\r' && i + 1 < aText.size() && aText[i + 1] == U'\n') ++i;
    } else {
      open = true;
    }
  }
  return lines + (open || lines == 0 ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);
  fp::kReceiptBitmap bitmap;
  try {
    bitmap = fp::RenderReceiptBitmap(text);
  } catch (const fp::kException&) {
    return 0;  // no fixed-width face on this system
  }
  const size_t lines = LineCount(fp::Utf8ToUtf32(text));
  FUZZ_CHECK(bitmap.fWidth >= 20 && bitmap.fHeight > 0);
  FUZZ_CHECK(bitmap.fHeight % static_cast<int>(lines + 3) == 0);
  FUZZ_CHECK(bitmap.fPixels.size() == static_cast<size_t>(bitmap.fWidth) * bitmap.fHeight);

  if (bitmap.fPixels.size() <= 256 * 1024) {
    const std::vector<uint8_t> jpeg = fp::EncodeJpeg(bitmap);
    FUZZ_CHECK(jpeg.size() > 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD8);
  }
  return 0;
}
