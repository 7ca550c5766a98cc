// The picture of a printed receipt: its text drawn line by line in a fixed-width face,
// compressed as JPEG and handed to the host as base64 text.
//
// Layout: Courier at 10 points (any face that fontconfig offers for "Courier" and that has
// fixed-width glyphs, e.g. Liberation Mono); line height h = the font's text height x 1.3,
// truncated; picture height h x (lines + 3); width = the widest line + 20 pixels; line i is
// drawn at x = 10, y = h x (i + 2), black on white.
//
// Without any fixed-width face on the system no picture can be drawn: the functions throw
// fp::kException("No fixed-width font found for the receipt picture") instead. The font is
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

// The receipt text drawn as above; lines end at CR LF, CR or LF.
kReceiptBitmap RenderReceiptBitmap(std::string_view aText);

// A greyscale JPEG of the bitmap at the encoder's default settings.
std::vector<uint8_t> EncodeJpeg(const kReceiptBitmap& aBitmap);

// Standard base64 with CR LF after every 76 characters (none after the last line).
std::string EncodeBase64Lines(const std::vector<uint8_t>& aBytes);

// The three steps together: the value of the result's ReceiptImage.
std::string ReceiptImageBase64(std::string_view aText);

// Drops the font chosen so far; the next picture looks it up again (after fonts were
// installed or removed while the process runs).
void ForgetReceiptFont();

}  // namespace fp
