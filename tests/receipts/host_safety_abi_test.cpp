// What a host can rely on whatever a printer answers or a request names: well-formed result
// fragments, printable receipt text, bounded device logs that exist under the name the
// result gives, and libraries found in the application folder only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>

#include "abi_client.h"

namespace fp::test {
namespace {

namespace fs = std::filesystem;

const std::string kDriver = "<Driver>VNRP_TARVOLX40FPETH_10</Driver>";

// The fragment as a host parses it: well-formed, or the test fails.
class Parsed {
 public:
  explicit Parsed(const Answer& aAnswer) {
    const std::string xml = "<r>" + aAnswer.output + "</r>";
    const pugi::xml_parse_result ok = fDoc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    EXPECT_TRUE(ok) << ok.description() << " at " << ok.offset << ":\n" << aAnswer.output;
  }
  std::string operator[](const char* aName) const { return fDoc.child("r").child(aName).text().as_string(); }

 private:
  pugi::xml_document fDoc;
};

class HostSafetyTest : public ReceiptAbiTest {
 protected:
  // An OPEN of the emulator with the given LogId and parameters.
  Answer OpenWith(const std::string& aLogId, const std::string& aParams = "") {
    return lib.Call("OPEN", "<ReceiptPrinterManager>" + kDriver + "<LogId>" + aLogId +
                                "</LogId><Connection><Type>HTTP</Type><URL>" + emu.BaseUrl() +
                                "</URL></Connection><Parameters>" + aParams + "</Parameters></ReceiptPrinterManager>");
  }
  void Close(const Answer& aOpened) {
    lib.Call("CLOSE", "<ReceiptPrinterManager>" + kDriver + "<Handle>" + aOpened.Get("Handle") +
                          "</Handle></ReceiptPrinterManager>");
  }
  fs::path LogFolder() const { return fDir / "LogFiles" / "FiscalPrinter"; }
  static std::string ReadAll(const fs::path& aPath) {
    std::ifstream in(aPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

TEST_F(HostSafetyTest, PrinterTextsAreEscapedInEveryFragment) {
  // The serial number's last six characters are the printer's own text in the results.
  emu.SetSerialNumber("801234<&");
  ASSERT_EQ(lib.Call("GETSTATUS", Request("")).result, 0);
  const std::string serial = "4ZRPV1234<&";

  Answer status = lib.Call("GETSTATUS", Request(""));
  EXPECT_EQ(Parsed(status)["SerialNumber"], serial);

  Answer receipt = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
  ASSERT_EQ(receipt.result, 0) << receipt.error;
  EXPECT_EQ(Parsed(receipt)["DeviceSerialNumber"], serial);
  ASSERT_EQ(emu.Journal().size(), 1u);  // printed once

  for (const char* report : {"PRINTXR", "PRINTZR"}) {
    SCOPED_TRACE(report);
    Answer a = lib.Call(report, Request(""));
    ASSERT_EQ(a.result, 0) << a.error;
    const Parsed parsed(a);
    EXPECT_EQ(parsed["DeviceSerialNumber"], serial);
    EXPECT_EQ(parsed["Error"], "False");
  }
}

TEST_F(HostSafetyTest, AccentedLettersArePrintedAsTheirBaseLetters) {
  Answer a = PrintFR(Receipt("Sale", Sale("Caff\u00E8 macchiato", "1", "1", "1") + Sale("T\u00C8 \u00E0 \u0161", "1", "1", "1"),
                             Pay("Cash", "2"),
                             "<TrailerMessages><Text><Value>Citt\u00E0\nGr\u00E0zie</Value><Alignment>left</Alignment>"
                             "</Text></TrailerMessages>"));
  ASSERT_EQ(a.result, 0) << a.error;
  const auto packets = emu.Packets();
  EXPECT_EQ(DataOf(packets, "3"), (std::vector<std::string>{"/S/Caffe macchiato//1.000/1.00/1///0//",
                                                            "/S/TE a s//1.000/1.00/1///0//"}));
  const auto lines = DataOf(packets, "7");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "/1/1/Citta Grazie" + std::string(48 - 12, ' ') + "/");
  EXPECT_NE(emu.PaperText().find("Caffe macchiato"), std::string::npos);
}

TEST_F(HostSafetyTest, OverLongLogIdsGetShortDistinctLogsThatExist) {
  const std::string longAscii(300, 'x');
  const std::string longAccented = [] {
    std::string s;
    for (int i = 0; i < 150; ++i) s += "\u00E8";
    return s;
  }();
  std::vector<std::string> names;
  for (const std::string& logId : {longAscii, longAscii + "y", longAccented, longAccented + "y"}) {
    Answer opened = OpenWith(logId);
    ASSERT_EQ(opened.result, 0) << opened.error;
    const std::string logFile = Parsed(opened)["LogFileName"];
    Close(opened);
    const fs::path path(logFile);
    EXPECT_EQ(path.parent_path(), LogFolder());
    EXPECT_LE(path.filename().string().size(), 255u - 18u) << "no room left to roll over";
    // The log is there, under the name the host was given, and holds the device's lines.
    EXPECT_NE(ReadAll(path).find("*** START ***"), std::string::npos) << logFile;
    EXPECT_EQ(path.filename().string().rfind("VNRP_TARVOLX40FPETH_10_" + logId.substr(0, 40), 0), 0u);
    for (const auto& seen : names) EXPECT_NE(seen, logFile);
    names.push_back(logFile);
  }
}

TEST_F(HostSafetyTest, OneHugeAnswerIsLoggedCutWithItsLength) {
  Answer opened = OpenWith("huge", "<HexLog>true</HexLog><GetReceiptText>true</GetReceiptText>");
  ASSERT_EQ(opened.result, 0) << opened.error;
  const std::string line(200000, 'X');
  emu.ForceFrame("*", "52/00/02/" + line + "||/");
  Answer a = lib.Call("PRINTFR", "<ReceiptPrinterManager>" + kDriver + "<Handle>" + opened.Get("Handle") +
                                     "</Handle><Parameters><GetReceiptText>true</GetReceiptText></Parameters>" +
                                     Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")) +
                                     "</ReceiptPrinterManager>");
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(Parsed(a)["ReceiptText"], line);  // the host gets the whole text
  const std::string logFile = Parsed(opened)["LogFileName"];
  Close(opened);

  const std::string log = ReadAll(logFile);
  EXPECT_NE(log.find(" ... [cut at 8192 of "), std::string::npos);
  size_t longest = 0;
  for (const auto& entry : Split(ReplaceAll(log, "\r\n", "\n"), '\n')) longest = std::max(longest, entry.size());
  // The kept part, its note and its dump (three characters a byte): far below the answer.
  EXPECT_LT(longest, 4 * 8192 + 200u);
}

TEST_F(HostSafetyTest, EarlierLogsArePrunedByAgeAndTotalSize) {
  fs::create_directories(LogFolder());
  const auto now = fs::file_time_type::clock::now();
  const auto daysAgo = [&](int aDays) { return now - std::chrono::hours(24 * aDays); };
  const std::string own = "VNRP_TARVOLX40FPETH_10_keep_";
  struct File {
    std::string name;
    size_t size;
    int age;
    bool kept;
  } files[] = {
      {own + "20240101.log", 10, 40, false},                         // an earlier day, too old
      {own + "20240102_20240102101010123.log", 700 * 1024, 2, true},  // rolled over, newest
      {own + "20240102_20240102090909123.log", 700 * 1024, 3, false},  // past the total size
      {"VNRP_TARVOLX40FPETH_10_other_20240101.log", 10, 400, true},   // another device's log
      {own + "notes.log", 10, 400, true},                             // not a file of this log
  };
  for (const File& f : files) {
    std::ofstream(LogFolder() / f.name) << std::string(f.size, 'l');
    fs::last_write_time(LogFolder() / f.name, daysAgo(f.age));
  }
  Answer opened = OpenWith("keep", "<LogMaxAgeDays>30</LogMaxAgeDays><LogMaxTotalMB>1</LogMaxTotalMB>");
  ASSERT_EQ(opened.result, 0) << opened.error;
  Close(opened);
  for (const File& f : files) EXPECT_EQ(fs::exists(LogFolder() / f.name), f.kept) << f.name;

  Answer refused = OpenWith("keep", "<LogMaxAgeDays>a week</LogMaxAgeDays>");
  EXPECT_EQ(refused.result, -1);
  EXPECT_EQ(refused.error, "Parameter LogMaxAgeDays must be a whole number, 0 or more: 'a week'");
}

#if defined(FP_TEST_PROCESSOR) && defined(FP_TEST_RTSERVER)
// Libraries named by a request come from the application folder, whatever folder the host
// happens to work in.
TEST_F(HostSafetyTest, RelativeLibraryNamesComeFromTheApplicationFolder) {
  const fs::path elsewhere = fDir / "working";
  fs::create_directories(elsewhere / "sub");
  fs::copy_file(FP_TEST_PROCESSOR, fDir / "proc.so");
  fs::copy_file(FP_TEST_RTSERVER, fDir / "rts.dll");
  // The working folder holds libraries by the same names: they must not be taken.
  fs::copy_file(FP_TEST_PROCESSOR, elsewhere / "sub" / "proc.so");
  fs::copy_file(FP_TEST_RTSERVER, elsewhere / "sub" / "rts.dll");
  const fs::path saved = fs::current_path();
  fs::current_path(elsewhere);

  const struct {
    std::string params;
    std::string error;  // empty: the device opens
  } cases[] = {
      {"<Processor>proc.so</Processor>", ""},
      {"<RTServer>true</RTServer><RTServerDriver>rts</RTServerDriver>", ""},
      {"<Processor>sub/proc.so</Processor>",
       "Unable to load library " + (fDir / "sub/proc.so").string() + ". Error code: [2]"},
      {"<RTServer>true</RTServer><RTServerDriver>sub/rts</RTServerDriver>",
       "Unable to load library " + (fDir / "sub/rts.dll").string() + ". Error code: [2]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.params);
    Answer opened = OpenWith("lib", c.params);
    EXPECT_EQ(opened.error, c.error);
    EXPECT_EQ(opened.result, c.error.empty() ? 0 : -1);
    if (opened.result == 0) Close(opened);
  }
  fs::current_path(saved);
}
#endif

}  // namespace
}  // namespace fp::test
