// The library transport against a tiny library built beside the tests, and the spooler
// transport against a fake spooler and against the platform's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "request/device_handler.h"
#include "io/dll_transport.h"
#include "io/spool_transport.h"
#include "../io/io_test_support.h"

namespace fp {
namespace {

kConnection LibraryConnection(const std::string& aName) {
  kConnection c;
  c.ConnectionType = vnConnectionType::DLL;
  c.LibraryName = aName;
  return c;
}

TEST(LibraryTransport, LoadsTheLibraryAndHandsOutItsProcedures) {
  test::TempDir dir;
  std::string logFile;
  {
    kIOHandler_Dll t(LibraryConnection(IO_SERIAL_TEST_LIBRARY), dir.Path(), "dll");
    logFile = t.GetLogFileName();
    auto answer = reinterpret_cast<int (*)()>(t.GetAddress("fp_test_answer"));
    EXPECT_EQ(answer(), 42);
    try {
      t.GetAddress("no_such_procedure");
      ADD_FAILURE();
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), "Unable to get address for procedure no_such_procedure");
    }
    EXPECT_TRUE(t.Connect());
    EXPECT_TRUE(t.Connected());
    EXPECT_TRUE(t.Write("ignored"));
    EXPECT_EQ(t.ReadUpTo({13}), "");
    EXPECT_EQ(t.ReadChars(2), "");
    EXPECT_THROW(t.ReadAll(), kException);
    EXPECT_THROW(t.InputBufferContainsData(), kException);
    EXPECT_TRUE(t.Disconnect());
  }
  const auto log = test::ReadLogEntries(logFile);
  const std::vector<std::string> lines = {
      std::string("kIOHandler_Dll.Create:Loading DLL ") + IO_SERIAL_TEST_LIBRARY,
      "kIOHandler_Dll.Create:DLL Loaded successfully"};
  EXPECT_NE(std::search(log.begin(), log.end(), lines.begin(), lines.end()), log.end());
  const std::vector<std::string> end = {"kIOHandler_Dll.Destroy:Unloading DLL", "kIOHandler_Dll.Destroy:DLL Unloaded Successfully"};
  EXPECT_NE(std::search(log.begin(), log.end(), end.begin(), end.end()), log.end());
}

TEST(LibraryTransport, ALibraryThatCannotBeLoadedFailsConstruction) {
  test::TempDir dir;
  const std::string text = dir.Path() + "/not_a_library.so";
  { std::ofstream(text) << "plain text"; }
  const struct {
    std::string name;
    std::string prefix, suffix;
  } cases[] = {
      {"", "Unable to Load Library . No such file or directory [2]", ""},
      {dir.Path() + "/missing.so", "Unable to Load Library " + dir.Path() + "/missing.so. No such file or directory [2]", ""},
      {"libfp_no_such_library.so", "Unable to Load Library libfp_no_such_library.so. ", " [2]"},
      {text, "Unable to Load Library " + text + ". ", " [8]"},
  };
  for (const auto& c : cases) {
    try {
      kIOHandler_Dll t(LibraryConnection(c.name), "", "");
      ADD_FAILURE() << c.name << " loaded";
    } catch (const kException& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(c.prefix, 0), 0u) << message;
      EXPECT_TRUE(message.size() >= c.suffix.size() &&
                  message.compare(message.size() - c.suffix.size(), c.suffix.size(), c.suffix) == 0)
          << message;
    }
  }
}

// A relative name is the application's library, looked for in the application folder and
// never in the working folder.
TEST(LibraryTransport, RelativeNamesComeFromTheApplicationFolder) {
  test::TempDir app, work;
  std::filesystem::create_directories(app.Path() + "/libs");
  std::filesystem::copy_file(IO_SERIAL_TEST_LIBRARY, app.Path() + "/libs/t.so");
  std::filesystem::copy_file(IO_SERIAL_TEST_LIBRARY, app.Path() + "/bare.so");
  std::filesystem::create_directories(work.Path() + "/only");
  std::filesystem::copy_file(IO_SERIAL_TEST_LIBRARY, work.Path() + "/only/t.so");
  const char* savedAppDir = std::getenv("FPDRIVER_APP_DIR");
  const std::string oldAppDir = savedAppDir ? savedAppDir : "";
  const auto savedWork = std::filesystem::current_path();
  ::setenv("FPDRIVER_APP_DIR", app.Path().c_str(), 1);
  std::filesystem::current_path(work.Path());
  for (const char* name : {"libs/t.so", "bare.so"}) {
    kIOHandler_Dll t(LibraryConnection(name), "", "");
    EXPECT_EQ(reinterpret_cast<int (*)()>(t.GetAddress("fp_test_answer"))(), 42) << name;
  }
  try {
    kIOHandler_Dll t(LibraryConnection("only/t.so"), "", "");
    ADD_FAILURE() << "loaded a library of the working folder";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to Load Library " + app.Path() + "/only/t.so. No such file or directory [2]");
  }
  std::filesystem::current_path(savedWork);
  if (savedAppDir) ::setenv("FPDRIVER_APP_DIR", oldAppDir.c_str(), 1);
  else ::unsetenv("FPDRIVER_APP_DIR");
}

// ---- Spooler ----

struct FakeSpool : kSpooler {
  std::vector<std::string> printers = {"Office Laser"};
  bool rawOk = true;
  std::string rawPrinter, rawDoc, rawData, title;
  kPagePlacement placed;
  const kSpoolBitmap* printed = nullptr;

  bool WriteRaw(const std::string& p, const std::string& d, const std::string& data, std::string& error) override {
    rawPrinter = p;
    rawDoc = d;
    rawData = data;
    if (!rawOk) error = "The printer name is invalid.";
    return rawOk;
  }
  std::vector<std::string> InstalledPrinters() override { return printers; }
  kPrinterPage PageOf(const std::string&) override { return {600, 2000, 3000, 10, 20}; }
  void PrintImage(const std::string&, const std::string& t, const kSpoolBitmap& b, const kPagePlacement& at) override {
    title = t;
    printed = &b;
    placed = at;
  }
};

class SpoolTransport : public ::testing::Test {
 protected:
  SpoolTransport() {
    kConnection c;
    c.ConnectionType = vnConnectionType::Spool;
    c.PrinterName = "office LASER";
    auto fake = std::make_unique<FakeSpool>();
    fSpool = fake.get();
    fTransport = std::make_unique<kIOHandler_Spool>(c, "", "", std::move(fake));
  }
  FakeSpool* fSpool;
  std::unique_ptr<kIOHandler_Spool> fTransport;
};

TEST_F(SpoolTransport, RawWritesSendTheTextAsEightBitPrinterData) {
  EXPECT_EQ(fTransport->OutputType, vnSpoolOutputType::Normal);
  fTransport->OutputType = vnSpoolOutputType::Raw;
  const struct {
    int32_t codePage;
    const char* sent;
  } cases[] = {{0, "A\xE9\x80"}, {28591, "A\xE9?"}, {1251, "A?\x88"}};
  for (const auto& c : cases) {
    fTransport->SetCodePage(c.codePage);
    EXPECT_TRUE(fTransport->Write("A\xC3\xA9\xE2\x82\xAC"));  // A é €
    EXPECT_EQ(fSpool->rawData, c.sent) << c.codePage;
  }
  EXPECT_EQ(fSpool->rawDoc, "BRV Receipt");
  EXPECT_EQ(fSpool->rawPrinter, "office LASER");
  EXPECT_TRUE(fTransport->WriteBytes({0x1B, 0x00, 0xFF}));
  EXPECT_EQ(fSpool->rawData, std::string("\x1B\x00\xFF", 3));
  EXPECT_FALSE(fTransport->ErrorFound());
}

TEST_F(SpoolTransport, AFailedRawWriteAnswersFalseWithTheReason) {
  fTransport->OutputType = vnSpoolOutputType::Raw;
  fSpool->rawOk = false;
  EXPECT_FALSE(fTransport->Write("x"));
  EXPECT_EQ(fTransport->ErrorMessage(), "The printer name is invalid.");
}

TEST_F(SpoolTransport, NormalWritesPrintTheImageOnTheNamedPrinter) {
  kSpoolBitmap image{400, 100, std::vector<uint8_t>(400 * 100, 255)};
  EXPECT_FALSE(fTransport->Write("unused")) << "nothing to print yet";
  EXPECT_EQ(fTransport->ErrorMessage(), "kIOHandler_Spool.WriteNormal: no image to print");
  fTransport->Bitmap = &image;
  EXPECT_TRUE(fTransport->Write("unused"));
  EXPECT_EQ(fSpool->title, "Tillora Spool Output");
  EXPECT_EQ(fSpool->printed, &image);
  // 600 dpi doubles a 300 dpi image: 800 × 200 centred on 2000 × 3000, offsets added.
  EXPECT_EQ(fSpool->placed.Width, 800);
  EXPECT_EQ(fSpool->placed.Left, 600 + 10);
  EXPECT_EQ(fSpool->placed.Top, 1400 + 20);

  fSpool->printers = {"Other"};
  try {
    fTransport->Write("unused");
    ADD_FAILURE();
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "kIOHandler_Spool.WriteNormal: Printer office LASER not found");
  }
}

TEST(SpoolPlacement, ScalesByResolutionAndFitsThePrintableArea) {
  const struct {
    kPrinterPage page;
    int32_t w, h;
    kPagePlacement want;
  } cases[] = {
      {{300, 1000, 1000, 0, 0}, 200, 100, {400, 450, 200, 100, false}},  // 300 dpi: as it is
      {{600, 1000, 1000, 5, 7}, 200, 100, {305, 407, 400, 200, true}},   // twice the size
      {{600, 300, 1000, 0, 0}, 200, 100, {0, 425, 300, 150, true}},      // too wide for it
      {{300, 1000, 50, 0, 0}, 200, 100, {450, 0, 100, 50, true}},        // then too tall
      {{203, 1000, 1000, 0, 0}, 3, 3, {499, 499, 2, 2, true}},           // fractions dropped
  };
  for (const auto& c : cases) {
    const kPagePlacement got = PlaceImage(c.page, c.w, c.h);
    EXPECT_EQ(got.Left, c.want.Left);
    EXPECT_EQ(got.Top, c.want.Top);
    EXPECT_EQ(got.Width, c.want.Width);
    EXPECT_EQ(got.Height, c.want.Height);
    EXPECT_EQ(got.Stretched, c.want.Stretched);
  }
}

TEST(SpoolPlatform, WithoutASpoolerWritesFailCleanly) {
  kDeviceHandler h;
  h.Driver = "D";
  h.Connection.ConnectionType = vnConnectionType::Spool;
  h.Connection.PrinterName = "NoSuchPrinter";
  auto t = h.CreateIOHandler("");
  auto& spool = dynamic_cast<kIOHandler_Spool&>(*t);
  spool.OutputType = vnSpoolOutputType::Raw;
  EXPECT_FALSE(spool.Write("x"));
  EXPECT_NE(spool.ErrorMessage().find("NoSuchPrinter"), std::string::npos);
  spool.OutputType = vnSpoolOutputType::Normal;
  EXPECT_THROW(spool.Write("x"), kException);
}

}  // namespace
}  // namespace fp
