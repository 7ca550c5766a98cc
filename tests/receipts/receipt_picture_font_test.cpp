// The receipt picture's face under font configurations other than the system's. With many
// monospace faces on offer the picture still uses Liberation Mono, pixel for pixel the same.
// A system without any fixed-width face: the picture cannot be drawn, and a printed receipt
// must still be reported as printed (with its numbers and text), the picture's failure
// named in the error text. The device runs in this process so that the font lookup can be
// pointed at the configuration under test.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/errors.h"
#include "device/receipt_image.h"
#include "drivers/drivers.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "fpemu/printer_emulator.h"

namespace fp::test {
namespace {

// Each test chooses the font configuration the process sees; the system's comes back after.
class FontConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = std::filesystem::temp_directory_path() / ("fp_receipt_font_" + std::to_string(::getpid()));
    std::filesystem::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.c_str(), 1);
    const char* old = std::getenv("FONTCONFIG_FILE");
    fOldConfig = old ? old : "";
    fHadConfig = old != nullptr;
    ForgetReceiptFont();
  }
  // Makes aBody (the elements inside <fontconfig>) the configuration of every later lookup.
  void UseConfig(const std::string& aBody) {
    const auto config = fDir / "fonts.conf";
    std::ofstream(config) << "<?xml version=\"1.0\"?><fontconfig>" << aBody << "<cachedir>" << (fDir / "cache").string()
                          << "</cachedir></fontconfig>\n";
    ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
    ForgetReceiptFont();
  }
  void TearDown() override {
    if (fHadConfig)
      ::setenv("FONTCONFIG_FILE", fOldConfig.c_str(), 1);
    else
      ::unsetenv("FONTCONFIG_FILE");
    ForgetReceiptFont();
    std::error_code ec;
    std::filesystem::remove_all(fDir, ec);
  }
  std::filesystem::path fDir;
  std::string fOldConfig;
  bool fHadConfig = false;
};

// The family fontconfig itself gives for aName under the configuration in force.
std::string MatchedFamily(const char* aName) {
  FcConfig* config = FcInitLoadConfigAndFonts();
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(aName));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcChar8* family = nullptr;
  std::string out;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch)
    out = reinterpret_cast<const char*>(family);
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  return out;
}

using FontChoiceTest = FontConfigTest;
using NoFontTest = FontConfigTest;

// A till where other monospace faces are installed and preferred for "Courier" and
// "monospace" (as the URW fonts make Nimbus Mono PS): the picture is the same as anywhere.
TEST_F(FontChoiceTest, ManyMonospaceFacesStillGiveTheSamePicture) {
  const std::string text = "TOTALE  12,50\nGrazie e arrivederci";
  const kReceiptFont usual = ReceiptFont();
  const kReceiptBitmap usualPicture = RenderReceiptBitmap(text);

  std::string dirs;
  for (const char* dir : {"/usr/share/fonts", "/usr/local/share/fonts", "/usr/share/wine/fonts"})
    dirs += std::string("<dir>") + dir + "</dir>";
  const char* preferred = "<prefer><family>DejaVu Sans Mono</family><family>FreeMono</family>"
                          "<family>Nimbus Mono PS</family><family>Courier</family></prefer>";
  UseConfig(dirs + "<alias binding=\"same\"><family>Courier</family>" + preferred +
            "</alias><alias binding=\"same\"><family>monospace</family>" + preferred + "</alias>");
  // The lookup by generic names would pick another face here.
  ASSERT_NE(MatchedFamily("Courier:style=Regular"), "Liberation Mono") << "no other monospace face installed";

  const kReceiptFont chosen = ReceiptFont();
  EXPECT_EQ(chosen.fFamily, "Liberation Mono");
  EXPECT_EQ(chosen.fFile, usual.fFile);
  EXPECT_EQ(chosen.fLineHeight, usual.fLineHeight);
  EXPECT_EQ(chosen.fAdvance, usual.fAdvance);
  const kReceiptBitmap picture = RenderReceiptBitmap(text);
  EXPECT_EQ(picture.fWidth, usualPicture.fWidth);
  EXPECT_EQ(picture.fHeight, usualPicture.fHeight);
  EXPECT_TRUE(picture.fPixels == usualPicture.fPixels);
}

TEST_F(NoFontTest, PictureFailsWithAClearMessage) {
  UseConfig("");
  try {
    RenderReceiptBitmap("TOTALE 1,00");
    FAIL() << "a picture was drawn without any font";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "No fixed-width font found for the receipt picture");
  }
}

TEST_F(NoFontTest, PrintedReceiptIsReportedWithoutItsPicture) {
  UseConfig("");
  emu::PrinterEmulator emu;
  emu.Start();
  const auto table = emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
  kFiscalPrinterClass create = nullptr;
  RegisterModelDrivers([&](const std::string& aName, kFiscalPrinterClass aClass) {
    if (aName == kFiscalPrinter_TARVOLX40FPETH::kDriverName) create = aClass;
  });
  ASSERT_NE(create, nullptr);
  kReceiptPrinterHandler handler;
  handler.Deserialize(
      "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Connection><Type>HTTP</Type><URL>" +
          emu.BaseUrl() +
          "</URL></Connection><Parameters><GetReceiptImage>true</GetReceiptImage></Parameters>"
          "<Receipt><Type>Sale</Type><Lines><productsale><Description>Pane</Description><Quantity>1</Quantity>"
          "<Department>1</Department><Price>10</Price><Amount>10</Amount></productsale></Lines><Taxes/>"
          "<Payments><Payment><Type>Cash</Type><Amount>10</Amount></Payment></Payments></Receipt>"
          "</ReceiptPrinterManager>",
      {dt_Receipt});
  auto device = create(handler);
  _int_OPEN_result opened;
  device->Pub_Open(handler, opened);
  ASSERT_FALSE(opened.Error) << opened.ErrorText;

  _int_PRINTFR_result result;
  device->Pub_PrintReceipt(handler, result);
  EXPECT_FALSE(result.Error);
  EXPECT_EQ(result.ErrorText, "No fixed-width font found for the receipt picture");
  EXPECT_EQ(result.ReceiptNumber, "1");
  EXPECT_NE(result.ReceiptText.find("Pane"), std::string::npos);
  EXPECT_EQ(result.ReceiptImage, "");
  EXPECT_EQ(emu.Journal().size(), 1u);
  device.reset();
  emu.Stop();
}

}  // namespace
}  // namespace fp::test
