#include "device/receipt_image.h"

#include <ft2build.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include FT_FREETYPE_H
#include <jpeglib.h>

#include "base/errors.h"
#include "base/text.h"
#include "device/receipt_font.h"

namespace fp {

namespace {

constexpr int kPointSize = 10;
constexpr int kDpi = 96;
constexpr int kMarginLeft = 10;
constexpr int kExtraWidth = 20;
constexpr const char* kNoFontMessage = "No fixed-width font found for the receipt picture";
// Glyphs kept between pictures; a text of ever new characters starts the cache afresh.
constexpr size_t kMaxCachedGlyphs = 4096;

struct Glyph {
  int fLeft = 0, fTop = 0, fWidth = 0, fRows = 0, fAdvance = 0;
  std::vector<uint8_t> fCoverage;  // fWidth x fRows, 0 nothing .. 255 full ink
};

// The font machinery shared by every caller; everything below is guarded by fLock.
struct FontState {
  std::mutex fLock;
  bool fLookedUp = false;
  std::optional<kReceiptFontFile> fFile;
  FT_Library fLibrary = nullptr;
  FT_Face fFace = nullptr;
  int fLineHeight = 0;  // the text height of "X" scaled by 1.3, truncated
  int fAscent = 0;
  int fAdvance = 0;  // the advance of "X": every glyph's, the face being fixed-width
  std::map<char32_t, Glyph> fGlyphs;
};

FontState& State() {
  static FontState* state = new FontState();  // never destroyed: may be used at exit
  return *state;
}

// REQUIRES: aState.fLock is held. Loads the face on first use; throws without one.
void LoadFont(FontState& aState) {
  if (aState.fFace != nullptr) return;
  if (!aState.fLookedUp) {
    aState.fFile = FindFixedWidthFont();
    aState.fLookedUp = true;
  }
  if (!aState.fFile) throw kException(kNoFontMessage);
  if (aState.fLibrary == nullptr && FT_Init_FreeType(&aState.fLibrary) != 0) {
    aState.fLibrary = nullptr;
    throw kException("The font library could not be started for the receipt picture");
  }
  FT_Face face = nullptr;
  const kReceiptFontFile& file = *aState.fFile;
  const FT_Error opened =
      file.fData.empty()
          ? FT_New_Face(aState.fLibrary, file.fPath.c_str(), file.fIndex, &face)
          : FT_New_Memory_Face(aState.fLibrary, file.fData.data(), static_cast<FT_Long>(file.fData.size()),
                               file.fIndex, &face);
  if (opened != 0) {
    const std::string path = aState.fFile->fPath;
    aState.fFile.reset();
    throw kException("The receipt font " + path + " could not be loaded");
  }
  if (!FT_IS_FIXED_WIDTH(face) || FT_Set_Char_Size(face, 0, kPointSize * 64, kDpi, kDpi) != 0) {
    FT_Done_Face(face);
    aState.fFile.reset();
    throw kException(kNoFontMessage);
  }
  aState.fFace = face;
  // The text height of a line (ascent plus descent), as a canvas measures "X".
  const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  const int descent = static_cast<int>(-(face->size->metrics.descender >> 6));
  aState.fAscent = ascent;
  aState.fLineHeight = static_cast<int>((ascent + descent) * 13 / 10);
  aState.fAdvance = FT_Load_Char(face, 'X', FT_LOAD_DEFAULT) == 0 ? static_cast<int>(face->glyph->advance.x >> 6)
                                                                 : static_cast<int>(face->size->metrics.max_advance >> 6);
}

// REQUIRES: aState.fLock is held and the face is loaded.
const Glyph& GlyphOf(FontState& aState, char32_t aChar) {
  auto it = aState.fGlyphs.find(aChar);
  if (it != aState.fGlyphs.end()) return it->second;
  if (aState.fGlyphs.size() >= kMaxCachedGlyphs) aState.fGlyphs.clear();
  Glyph g;
  if (FT_Load_Char(aState.fFace, aChar, FT_LOAD_RENDER) == 0) {
    const FT_GlyphSlot slot = aState.fFace->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    g.fLeft = slot->bitmap_left;
    g.fTop = slot->bitmap_top;
    g.fAdvance = static_cast<int>(slot->advance.x >> 6);
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      g.fWidth = static_cast<int>(bm.width);
      g.fRows = static_cast<int>(bm.rows);
      g.fCoverage.resize(static_cast<size_t>(g.fWidth) * g.fRows);
      for (int y = 0; y < g.fRows; ++y) {
        // The pitch may be padded or negative (bottom-up rows).
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        if (bm.pitch < 0) row = bm.buffer + static_cast<ptrdiff_t>(g.fRows - 1 - y) * -bm.pitch;
        std::memcpy(&g.fCoverage[static_cast<size_t>(y) * g.fWidth], row, static_cast<size_t>(g.fWidth));
      }
    }
  } else {
    // A character the face cannot draw still takes its column.
    g.fAdvance = static_cast<int>(aState.fFace->size->metrics.max_advance >> 6);
  }
  return aState.fGlyphs.emplace(aChar, std::move(g)).first->second;
}

// The number of lines of aText (CR LF, CR or LF end a line; a final break adds none).
size_t CountLines(std::string_view aText) {
  size_t lines = 0;
  bool open = false;
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] == '\r' || aText[i] == '\n') {
      ++lines;
      open = false;
      if (aText[i] == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n') ++i;
    } else {
      open = true;
    }
  }
  return open || lines == 0 ? lines + 1 : lines;
}

// The lines of aText, each cut to aColumns characters: the paper is no wider.
std::vector<std::u32string> SplitLines(std::string_view aText, size_t aColumns) {
  std::vector<std::u32string> lines;
  const std::u32string text = Utf8ToUtf32(aText);
  std::u32string current;
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (c == U'\r' || c == U'\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
    } else if (current.size() < aColumns) {
      current.push_back(c);
    }
  }
  // A text that ends with a line break has no further (empty) line.
  if (!current.empty() || lines.empty()) lines.push_back(std::move(current));
  return lines;
}

// Refuses a picture side the JPEG encoder cannot take, before any pixel is allocated.
void CheckPictureSide(const char* aSide, int64_t aPixels) {
  if (aPixels <= JPEG_MAX_DIMENSION) return;
  throw kException(std::string("The receipt picture would be ") + std::to_string(aPixels) + " pixels " + aSide +
                   ", more than the " + std::to_string(JPEG_MAX_DIMENSION) + " pixels a side the JPEG encoder takes");
}

// libjpeg reports fatal errors through error_exit, whose default ends the process. Ours
// jumps back to the encoder with the message instead.
struct JpegError {
  jpeg_error_mgr fManager;
  std::jmp_buf fJump;
  char fMessage[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr aInfo) {
  auto* err = reinterpret_cast<JpegError*>(aInfo->err);
  (*aInfo->err->format_message)(aInfo, err->fMessage);
  std::longjmp(err->fJump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}  // warnings and traces are not ours to print

// Plain data only between setjmp and longjmp: no destructor may be skipped.
bool CompressGray(const uint8_t* aPixels, int aWidth, int aHeight, unsigned char** aOut, unsigned long* aSize,
                  char* aMessage) {
  jpeg_compress_struct info;
  JpegError err;
  std::memset(&info, 0, sizeof info);
  info.err = jpeg_std_error(&err.fManager);
  err.fManager.error_exit = OnJpegError;
  err.fManager.emit_message = OnJpegMessage;
  err.fMessage[0] = '\0';
  if (setjmp(err.fJump) != 0) {
    std::snprintf(aMessage, JMSG_LENGTH_MAX, "%s", err.fMessage);
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, aOut, aSize);
  info.image_width = static_cast<JDIMENSION>(aWidth);
  info.image_height = static_cast<JDIMENSION>(aHeight);
  info.input_components = 1;
  info.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(aPixels + static_cast<size_t>(info.next_scanline) * aWidth);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

kReceiptFont ReceiptFont() {
  FontState& state = State();
  std::lock_guard<std::mutex> lock(state.fLock);
  LoadFont(state);
  return {state.fFile->fPath, state.fFile->fFamily, state.fLineHeight, state.fAdvance};
}

kReceiptBitmap RenderReceiptBitmap(std::string_view aText, size_t aColumns) {
  FontState& state = State();
  std::lock_guard<std::mutex> lock(state.fLock);
  LoadFont(state);

  // The height follows from the line count alone: a text with too many lines is refused
  // before it is even split.
  const int h = state.fLineHeight;
  const int64_t height = int64_t{h} * (static_cast<int64_t>(CountLines(aText)) + 3);
  CheckPictureSide("high", height);
  const std::vector<std::u32string> lines = SplitLines(aText, aColumns);

  int64_t width = 0;
  for (const auto& line : lines) {
    int64_t lineWidth = 0;
    for (char32_t c : line) lineWidth += GlyphOf(state, c).fAdvance;
    width = std::max(width, lineWidth + kExtraWidth);
  }
  CheckPictureSide("wide", width);
  kReceiptBitmap bmp;
  bmp.fWidth = static_cast<int>(width);
  bmp.fHeight = static_cast<int>(height);
  bmp.fPixels.assign(static_cast<size_t>(bmp.fWidth) * bmp.fHeight, 255);

  for (size_t i = 0; i < lines.size(); ++i) {
    int penX = kMarginLeft;
    const int baseline = h * (static_cast<int>(i) + 2) + state.fAscent;
    for (char32_t c : lines[i]) {
      const Glyph& g = GlyphOf(state, c);
      for (int y = 0; y < g.fRows; ++y) {
        const int py = baseline - g.fTop + y;
        if (py < 0 || py >= bmp.fHeight) continue;
        for (int x = 0; x < g.fWidth; ++x) {
          const int px = penX + g.fLeft + x;
          if (px < 0 || px >= bmp.fWidth) continue;
          const uint8_t ink = g.fCoverage[static_cast<size_t>(y) * g.fWidth + x];
          uint8_t& pixel = bmp.fPixels[static_cast<size_t>(py) * bmp.fWidth + px];
          const int value = 255 - ink;
          if (value < pixel) pixel = static_cast<uint8_t>(value);
        }
      }
      penX += g.fAdvance;
    }
  }
  return bmp;
}

std::vector<uint8_t> EncodeJpeg(const kReceiptBitmap& aBitmap) {
  if (aBitmap.fWidth <= 0 || aBitmap.fHeight <= 0 ||
      aBitmap.fPixels.size() != static_cast<size_t>(aBitmap.fWidth) * aBitmap.fHeight)
    throw kException("The receipt picture has no pixels to encode");
  unsigned char* out = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX] = {0};
  const bool ok = CompressGray(aBitmap.fPixels.data(), aBitmap.fWidth, aBitmap.fHeight, &out, &size, message);
  std::vector<uint8_t> bytes;
  if (ok && out != nullptr) bytes.assign(out, out + size);
  std::free(out);
  if (!ok) throw kException(std::string("The receipt picture could not be encoded: ") + message);
  return bytes;
}

std::string EncodeBase64Lines(const std::vector<uint8_t>& aBytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  constexpr size_t kLine = 76;
  std::string plain;
  plain.reserve((aBytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < aBytes.size(); i += 3) {
    const uint32_t v = (aBytes[i] << 16) | (aBytes[i + 1] << 8) | aBytes[i + 2];
    plain += kAlphabet[(v >> 18) & 63];
    plain += kAlphabet[(v >> 12) & 63];
    plain += kAlphabet[(v >> 6) & 63];
    plain += kAlphabet[v & 63];
  }
  if (i < aBytes.size()) {
    const bool two = i + 1 < aBytes.size();
    const uint32_t v = (aBytes[i] << 16) | (two ? aBytes[i + 1] << 8 : 0);
    plain += kAlphabet[(v >> 18) & 63];
    plain += kAlphabet[(v >> 12) & 63];
    plain += two ? kAlphabet[(v >> 6) & 63] : '=';
    plain += '=';
  }
  std::string out;
  out.reserve(plain.size() + plain.size() / kLine * 2);
  for (size_t pos = 0; pos < plain.size(); pos += kLine) {
    if (pos > 0) out += "\r\n";
    out.append(plain, pos, kLine);
  }
  return out;
}

void ForgetReceiptFont() {
  FontState& state = State();
  std::lock_guard<std::mutex> lock(state.fLock);
  if (state.fFace != nullptr) FT_Done_Face(state.fFace);
  state.fFace = nullptr;
  state.fGlyphs.clear();
  state.fFile.reset();
  state.fLookedUp = false;
}

std::string ReceiptImageBase64(std::string_view aText, size_t aColumns) {
  return EncodeBase64Lines(EncodeJpeg(RenderReceiptBitmap(aText, aColumns)));
}

}  // namespace fp
