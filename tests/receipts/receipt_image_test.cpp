// The receipt picture: its layout, its JPEG and base64 forms, and the picture a host gets
// back with a printed receipt.
#include "device/receipt_image.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>

#include "abi_client.h"
#include "base/base64.h"
#include "base/errors.h"
#include "base/text.h"

namespace fp::test {
namespace {

struct Decoded {
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> pixels;
};

Decoded DecodeJpeg(const std::vector<uint8_t>& aBytes) {
  jpeg_decompress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, aBytes.data(), static_cast<unsigned long>(aBytes.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  Decoded d{static_cast<int>(info.output_width), static_cast<int>(info.output_height), info.output_components, {}};
  d.pixels.resize(static_cast<size_t>(d.width) * d.height * d.components);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = d.pixels.data() + static_cast<size_t>(info.output_scanline) * d.width * d.components;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return d;
}

// Courier-metric faces at 10 points: 8 pixels a character, lines 20 pixels apart.
constexpr int kAdvance = 8;
constexpr int kLineHeight = 20;

TEST(ReceiptImage, LayoutFollowsTheLongestLineAndTheLineCount) {
  struct Case {
    const char* text;
    int columns;
    int lines;
  } cases[] = {
      {"ABC", 3, 1},
      {"one\r\nthree lines\rhere\n", 11, 3},
      {"caff\xC3\xA8 \xE2\x82\xAC", 7, 1},  // characters, not bytes
      {"\r\n\r\n", 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const kReceiptBitmap bmp = RenderReceiptBitmap(c.text);
    EXPECT_EQ(bmp.fWidth, c.columns * kAdvance + 20);
    EXPECT_EQ(bmp.fHeight, kLineHeight * (c.lines + 3));
  }
  // Ink only inside the text's cell: the first line starts at x = 10, y = 2 x line height.
  const kReceiptBitmap bmp = RenderReceiptBitmap("XXXX");
  int minX = bmp.fWidth, minY = bmp.fHeight, maxY = 0;
  for (int y = 0; y < bmp.fHeight; ++y)
    for (int x = 0; x < bmp.fWidth; ++x)
      if (bmp.fPixels[static_cast<size_t>(y) * bmp.fWidth + x] < 128) {
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  EXPECT_GE(minX, 10);
  EXPECT_LE(minX, 12);
  EXPECT_GE(minY, 2 * kLineHeight);
  EXPECT_LT(maxY, 3 * kLineHeight);
}

TEST(ReceiptImage, Base64WrapsEverySeventySixCharacters) {
  EXPECT_EQ(EncodeBase64Lines({'M', 'a', 'n'}), "TWFu");
  EXPECT_EQ(EncodeBase64Lines({'M', 'a'}), "TWE=");
  EXPECT_EQ(EncodeBase64Lines({'M'}), "TQ==");
  EXPECT_EQ(EncodeBase64Lines({}), "");
  const std::vector<uint8_t> bytes(114, 0xFF);  // exactly two lines: no break at the end
  const std::string text = EncodeBase64Lines(bytes);
  EXPECT_EQ(text, std::string(76, '/') + "\r\n" + std::string(76, '/'));
  EXPECT_EQ(DecodeBase64(EncodeBase64Lines(std::vector<uint8_t>(200, 7))), std::vector<uint8_t>(200, 7));
}

TEST(ReceiptImage, JpegDecodesToTheBitmap) {
  const kReceiptBitmap bmp = RenderReceiptBitmap("TOTALE  12,50\nGrazie");
  const Decoded d = DecodeJpeg(EncodeJpeg(bmp));
  EXPECT_EQ(d.width, bmp.fWidth);
  EXPECT_EQ(d.height, bmp.fHeight);
  EXPECT_EQ(d.components, 1);
  EXPECT_GT(d.pixels.front(), 240);  // white paper
  EXPECT_THROW(EncodeJpeg(kReceiptBitmap{}), kException);
}

TEST_F(ReceiptAbiTest, PictureOnlyRequestStillFillsTheText) {
  Answer a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")),
                     "<GetReceiptText>false</GetReceiptText><GetReceiptImage>true</GetReceiptImage>");
  ASSERT_EQ(a.result, 0) << a.error;
  const auto journal = emu.Journal().back().fLines;
  const std::string text = a.Get("ReceiptText");
  EXPECT_FALSE(text.empty());
  const std::string image = a.Get("ReceiptImage");
  ASSERT_FALSE(image.empty());
  for (const auto& line : Split(ReplaceAll(image, "\r\n", "\n"), '\n')) EXPECT_LE(line.size(), 76u);

  const Decoded d = DecodeJpeg(DecodeBase64(image));
  size_t widest = 0;
  for (const auto& line : journal) widest = std::max(widest, CharLength(line));
  EXPECT_EQ(d.width, static_cast<int>(widest) * kAdvance + 20);
  EXPECT_EQ(d.height, kLineHeight * (static_cast<int>(journal.size()) + 3));

  // Neither asked for: the journal is not read at all.
  emu.ClearPackets();
  a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
  EXPECT_EQ(a.Get("ReceiptText"), "");
  EXPECT_TRUE(DataOf(emu.Packets(), "@").empty());
}

}  // namespace
}  // namespace fp::test
