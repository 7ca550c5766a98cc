// The picture of a printed receipt: its text drawn line by line in a fixed-width face,
// compressed as JPEG and handed to the host as base64 text.
//
// Face: Liberation Mono at 10 points, chosen through fontconfig by its family name, so the
// same receipt gives the same picture on every till whatever other fonts are installed.
// Only on a system without it does the picture fall back to the face fontconfig offers for
// "Courier", then for "monospace", if that face has fixed-width glyphs.
//
// Layout: line height h = the face's text height x 1.3, truncated; each line cut to the
// receipt's width in characters; picture height h x (lines + 3); width = the widest line +
// 20 pixels; line i is drawn at x = 10, y = h x (i + 2), black on white. A picture larger
// than the JPEG encoder takes (65500 pixels a side) is refused before anything is drawn.
//
// Failures throw fp::kException with the reason: no fixed-width face on the system ("No
// fixed-width font found for the receipt picture"), a picture too large. The font is
// looked up once per process and the choice (or its absence) is kept.
//
// Thread-safe: the font library is shared behind a lock of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fp {

// Size and grey levels (0 black .. 255 white, one byte per pixel, rows top to bottom).
struct kReceiptBitmap {
  int fWidth = 0;
  int fHeight = 0;
  std::vector<uint8_t> fPixels;
};

// Characters a receipt line holds when the device does not say.
constexpr size_t kDefaultReceiptColumns = 48;

// The face the pictures are drawn in and its measures at 10 points, in pixels.
struct kReceiptFont {
  std::string fFile;
  std::string fFamily;
  int fLineHeight = 0;  // h of the layout
  int fAdvance = 0;     // the width of one character
};
kReceiptFont ReceiptFont();

// The receipt text drawn as above; lines end at CR LF, CR or LF and are cut to aColumns
// characters.
kReceiptBitmap RenderReceiptBitmap(std::string_view aText, size_t aColumns = kDefaultReceiptColumns);

// A greyscale JPEG of the bitmap at the encoder's default settings.
std::vector<uint8_t> EncodeJpeg(const kReceiptBitmap& aBitmap);

// Standard base64 with CR LF after every 76 characters (none after the last line).
std::string EncodeBase64Lines(const std::vector<uint8_t>& aBytes);

// The three steps together: the value of the result's ReceiptImage.
std::string ReceiptImageBase64(std::string_view aText, size_t aColumns = kDefaultReceiptColumns);

// Drops the font chosen so far; the next picture looks it up again (after fonts were
// installed or removed while the process runs).
void ForgetReceiptFont();

}  // namespace fp
