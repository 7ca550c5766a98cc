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

TEST(ReceiptImage, TheFaceIsLiberationMono) {
  const kReceiptFont font = ReceiptFont();
  EXPECT_EQ(font.fFamily, "Liberation Mono") << font.fFile;
  EXPECT_GT(font.fAdvance, 0);
  EXPECT_GT(font.fLineHeight, 0);
}

TEST(ReceiptImage, LayoutFollowsTheLongestLineAndTheLineCount) {
  const kReceiptFont font = ReceiptFont();
  const std::string longLine(100000, 'W');
  struct Case {
    std::string text;
    int columns;
    int lines;
  } cases[] = {
      {"ABC", 3, 1},
      {"one\r\nthree lines\rhere\n", 11, 3},
      {"caff\xC3\xA8 \xE2\x82\xAC", 7, 1},  // characters, not bytes
      {"\r\n\r\n", 0, 2},
      {longLine + "\nshort", 48, 2},  // cut to the receipt's width before drawing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    const kReceiptBitmap bmp = RenderReceiptBitmap(c.text);
    EXPECT_EQ(bmp.fWidth, c.columns * font.fAdvance + 20);
    EXPECT_EQ(bmp.fHeight, font.fLineHeight * (c.lines + 3));
  }
  EXPECT_EQ(RenderReceiptBitmap(longLine, 10).fWidth, 10 * font.fAdvance + 20);
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
  EXPECT_GE(minY, 2 * font.fLineHeight);
  EXPECT_LT(maxY, 3 * font.fLineHeight);
}

TEST(ReceiptImage, APictureTooTallForTheEncoderIsRefusedBeforeDrawing) {
  const int lineHeight = ReceiptFont().fLineHeight;
  const int fits = 65500 / lineHeight - 3;  // the most lines a picture can have
  std::string text;
  for (int i = 0; i < fits; ++i) text += "X\n";
  EXPECT_EQ(RenderReceiptBitmap(text).fHeight, lineHeight * (fits + 3));
  text += "X";
  try {
    RenderReceiptBitmap(text);
    ADD_FAILURE() << "a picture past the encoder's limit was drawn";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()), "The receipt picture would be " + std::to_string(lineHeight * (fits + 4)) +
                                         " pixels high, more than the 65500 pixels a side the JPEG encoder takes");
  }
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
  const kReceiptFont font = ReceiptFont();
  EXPECT_EQ(d.width, static_cast<int>(widest) * font.fAdvance + 20);
  EXPECT_EQ(d.height, font.fLineHeight * (static_cast<int>(journal.size()) + 3));

  // Neither asked for: the journal is not read at all.
  emu.ClearPackets();
  a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
  EXPECT_EQ(a.Get("ReceiptText"), "");
  EXPECT_TRUE(DataOf(emu.Packets(), "@").empty());
}

// A journal answer the picture cannot follow: the receipt is printed and reported, with
// its text; the picture is cut to the paper's width or, when it cannot be made, the reason
// is in the error text.
TEST_F(ReceiptAbiTest, HostileJournalTextNeverCostsThePrintedReceipt) {
  const kReceiptFont font = ReceiptFont();
  std::string manyLines;
  for (int i = 0; i < 5000; ++i) manyLines += "RIGA||";
  const struct {
    const char* name;
    std::string piece;
    bool picture;
  } cases[] = {
      {"one line of a megabyte", std::string(1 << 20, 'X') + "||", true},
      {"more lines than a picture can hold", manyLines, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t printed = emu.Journal().size();
    emu.ForceFrame("*", "52/00/02/" + c.piece + "/");
    Answer a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")),
                       "<GetReceiptImage>true</GetReceiptImage>");
    EXPECT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(a.Get("Error"), "False");
    EXPECT_EQ(emu.Journal().size(), printed + 1);
    EXPECT_FALSE(a.Get("ReceiptNumber").empty());
    EXPECT_FALSE(a.Get("ReceiptText").empty());
    const std::string image = a.Get("ReceiptImage");
    if (c.picture) {
      ASSERT_FALSE(image.empty()) << a.error;
      EXPECT_EQ(DecodeJpeg(DecodeBase64(image)).width, 48 * font.fAdvance + 20);
      EXPECT_EQ(a.error, "");
    } else {
      EXPECT_EQ(image, "");
      EXPECT_NE(a.error.find("more than the 65500 pixels a side the JPEG encoder takes"), std::string::npos) << a.error;
    }
  }
}

}  // namespace
}  // namespace fp::test
