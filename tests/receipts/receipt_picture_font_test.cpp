// A system without any fixed-width face: the picture cannot be drawn, and a printed receipt
// must still be reported as printed (with its numbers and text), the picture's failure
// named in the error text. The device runs in this process so that the font lookup can be
// pointed at an empty font configuration.
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

class NoFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = std::filesystem::temp_directory_path() / ("fp_receipt_nofont_" + std::to_string(::getpid()));
    std::filesystem::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.c_str(), 1);
    const auto config = fDir / "fonts.conf";
    std::ofstream(config) << "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n";
    const char* old = std::getenv("FONTCONFIG_FILE");
    fOldConfig = old ? old : "";
    fHadConfig = old != nullptr;
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

TEST_F(NoFontTest, PictureFailsWithAClearMessage) {
  try {
    RenderReceiptBitmap("TOTALE 1,00");
    FAIL() << "a picture was drawn without any font";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "No fixed-width font found for the receipt picture");
  }
}

TEST_F(NoFontTest, PrintedReceiptIsReportedWithoutItsPicture) {
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
