// libfpdriver.so through its C interface, as a host loads and calls it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "abi_library.h"
#include "fpdriver/fpdriver.h"

extern "C" int fp_c_call_getstatus(const char* aPath, unsigned* aErrorLength);

namespace {

using namespace abitest;

const char* const kExports[] = {
    "PRINTFR",     "REPRINTFR", "PRINTXR", "PRINTZR",     "PRINTNFR",    "DISPLAY",      "OPENDR",
    "GETSTATUS",   "SET",       "SETDATETIME", "OPEN",    "GETDRSTATUS", "EJREPORT",     "CLOSE",
    "GETVATTABLE", "SETVATTABLE", "GETDEPTTABLE", "SETDEPTTABLE", "PAY", "GETLOTTERYRCPTSTATUS",
    "GETEJFILES",  "VERSION"};

std::string Request(const std::string& aInner) { return "<ReceiptPrinterManager>" + aInner + "</ReceiptPrinterManager>"; }

// Checks the contract every failed answer keeps: -1, Error True, the error text equal to
// ErrorText unescaped, and no log file (no device was reached).
void ExpectFailure(const Answer& a, const std::string& aError, const std::string& aContext) {
  EXPECT_EQ(a.result, -1) << aContext;
  EXPECT_EQ(a.error, aError) << aContext;
  EXPECT_NE(a.output.find("<Error>True</Error>\r\n<ErrorText>" + Escaped(aError) +
                          "</ErrorText>\r\n<LogFileName></LogFileName>"),
            std::string::npos)
      << aContext << "\n" << a.output;
  EXPECT_TRUE(a.output.size() >= 14 && a.output.substr(a.output.size() - 14) == "</LogFileName>") << aContext;
}

TEST(Abi, ExportsExactlyTheOperationsAndTheStringFunctions) {
  std::string command = std::string(NM_PROGRAM) + " -D --defined-only '" + FPDRIVER_SO_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> found;
  std::array<char, 512> line{};
  while (fgets(line.data(), line.size(), pipe) != nullptr) {
    char type = 0;
    char name[400] = {};
    unsigned long long address = 0;
    if (sscanf(line.data(), "%llx %c %399s", &address, &type, name) == 3 && type != 'A') found.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  std::set<std::string> expected(std::begin(kExports), std::end(kExports));
  expected.insert({"SysAllocString", "SysAllocStringLen", "SysFreeString", "SysStringLen"});
  EXPECT_EQ(found, expected);
}

TEST(Abi, StringFunctionsHaveTheSystemLayout) {
  Library& lib = Library::Get();
  auto alloc = reinterpret_cast<BSTR (*)(const OLECHAR*)>(lib.Symbol("SysAllocString"));
  BSTR s = alloc(u"h\u00e9llo");
  ASSERT_NE(s, nullptr);
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(bytes, 10u);
  EXPECT_EQ(lib.Length(s), 5u);
  EXPECT_EQ(s[1], u'\u00e9');
  EXPECT_EQ(s[5], 0);
  lib.Free(s);

  // The length, not the first zero unit, bounds a string.
  BSTR z = lib.Alloc(std::u16string(u"a\0b", 3));
  EXPECT_EQ(lib.Length(z), 3u);
  lib.Free(z);
  auto allocLen = reinterpret_cast<BSTR (*)(const OLECHAR*, unsigned)>(lib.Symbol("SysAllocStringLen"));
  BSTR blank = allocLen(nullptr, 4);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(lib.Length(blank), 4u);
  EXPECT_EQ(std::u16string(blank, 5), std::u16string(5, u'\0'));
  lib.Free(blank);
  EXPECT_EQ(allocLen(u"x", 0xFFFFFFFFu), nullptr);  // byte count beyond 32 bits
  EXPECT_EQ(alloc(nullptr), nullptr);
  EXPECT_EQ(lib.Length(nullptr), 0u);
  lib.Free(nullptr);
}

TEST(Abi, FailuresBeforeAnyDevice) {
  const std::string driver = "<Driver>VNRP_TARVOLX40FPETH_10</Driver>";
  struct Case {
    const char* exportName;
    std::string xml;
    std::string error;
  } cases[] = {
      {"GETSTATUS", Request(driver), "Fiscal Printer has not previously opened"},
      {"GETSTATUS", Request(driver + "<Handle>0</Handle>"), "Fiscal Printer has not previously opened"},
      {"SET", Request("<Handle>-4</Handle>"), "Fiscal Printer has not previously opened"},
      {"SETDATETIME", Request(""), "Fiscal Printer has not previously opened"},
      {"CLOSE", Request(""), "Fiscal Printer has not previously opened"},
      {"GETVATTABLE", Request(""), "Fiscal Printer has not previously opened"},
      {"GETDEPTTABLE", Request(""), "Fiscal Printer has not previously opened"},
      {"OPENDR", Request("<Drawer/>"), "Fiscal Printer has not previously opened"},
      {"GETSTATUS", Request(driver + "<Handle>7</Handle>"), "Printer Handle not found"},
      {"CLOSE", Request("<Handle>2147483647</Handle>"), "Printer Handle not found"},
      {"OPEN", Request("<Driver>NOPE</Driver>"), "Fiscal Printer Driver [NOPE] not registered."},
      {"OPEN", Request("<Driver>vnrp_tarvolx40fpeth_10</Driver>"),
       "Fiscal Printer Driver [vnrp_tarvolx40fpeth_10] not registered."},
      {"OPEN", Request("<Driver>&lt;a&amp;b&gt;</Driver>"), "Fiscal Printer Driver [<a&b>] not registered."},
      {"PAY", Request("<Driver>NOPE</Driver><Payment/>"), "Fiscal Printer Driver [NOPE] not registered."},
      {"OPEN", Request(driver + "<Handle>abc</Handle>"),
       "Error in processing node Handle as integer.\r\n'abc' is not a valid integer value"},
      {"OPEN", Request(driver + "<Connection><Type>Pigeon</Type></Connection>"), "Connection Type Pigeon is not valid"},
      {"PRINTFR", Request(driver), "Receipt node not found"},
      {"SETVATTABLE", Request(driver), "VATTable node not found"},
      {"GETEJFILES", Request(driver), "EJRequest node not found"},
  };
  for (const Case& c : cases) ExpectFailure(Library::Get().Call(c.exportName, c.xml), c.error, c.exportName + (" " + c.xml));
}

TEST(Abi, UnreadableRequestsFailWithAMessage) {
  Library& lib = Library::Get();
  std::u16string lone = U16(Request("<Driver>X</Driver>"));
  lone.insert(5, 1, char16_t(0xD801));
  struct Case {
    const char* name;
    std::u16string xml;
    bool withXml;
  } cases[] = {
      {"malformed", U16("<ReceiptPrinterManager><Driver>"), true},
      {"not xml", U16("VNRP_TARVOLX40FPETH_10"), true},
      {"empty", u"", true},
      {"null request", u"", false},
      {"lone surrogate", lone, true},
  };
  for (const Case& c : cases) {
    for (const char* exportName : {"OPEN", "PRINTFR", "GETSTATUS"}) {
      Answer a = lib.CallRaw(exportName, c.xml, c.withXml);
      EXPECT_EQ(a.result, -1) << c.name << " " << exportName;
      EXPECT_FALSE(a.error.empty()) << c.name << " " << exportName;
      EXPECT_NE(a.output.find("<ErrorText>" + Escaped(a.error) + "</ErrorText>"), std::string::npos) << c.name;
    }
  }
}

TEST(Abi, ResultIsZeroExtendedIntoTheReturnRegister) {
  auto open32 = reinterpret_cast<ExportFn32>(Library::Get().Symbol("OPEN"));
  BSTR xml = Library::Get().Alloc(U16(Request("<Driver>NOPE</Driver>")));
  BSTR output = nullptr;
  BSTR error = nullptr;
  EXPECT_EQ(open32(xml, &output, &error), 65535u);
  Library::Get().Free(output);
  Library::Get().Free(error);

  auto version32 = reinterpret_cast<ExportFn32>(Library::Get().Symbol("VERSION"));
  EXPECT_EQ(version32(xml, &output, &error), 0u);
  Library::Get().Free(xml);
}

TEST(Abi, OutputPointersAreOptionalAndNeverReadOrFreed) {
  Library& lib = Library::Get();
  auto getStatus = reinterpret_cast<ExportFn>(lib.Symbol("GETSTATUS"));
  BSTR xml = lib.Alloc(U16(Request("")));
  EXPECT_EQ(getStatus(xml, nullptr, nullptr), -1);

  // Stale values in the outputs are replaced without being touched.
  BSTR output = reinterpret_cast<BSTR>(uintptr_t{0x10});
  BSTR error = reinterpret_cast<BSTR>(uintptr_t{0x20});
  EXPECT_EQ(getStatus(xml, &output, &error), -1);
  ASSERT_NE(output, reinterpret_cast<BSTR>(uintptr_t{0x10}));
  ASSERT_NE(error, reinterpret_cast<BSTR>(uintptr_t{0x20}));
  lib.Free(output);
  lib.Free(error);

  BSTR onlyError = nullptr;
  EXPECT_EQ(getStatus(xml, nullptr, &onlyError), -1);
  EXPECT_EQ(U8(onlyError, lib.Length(onlyError)), "Fiscal Printer has not previously opened");
  lib.Free(onlyError);
  lib.Free(xml);
}

TEST(Abi, Version) {
  Library& lib = Library::Get();
  for (const char* name : {"NOPE", "", "<ReceiptPrinterManager/>", "vnrp_tarvolx40fpeth_10"}) {
    Answer a = lib.Call("VERSION", name);
    EXPECT_EQ(a.result, 0) << name;
    EXPECT_FALSE(a.hasOutput) << name;
    EXPECT_FALSE(a.hasError) << name;
  }
  Answer none = lib.CallRaw("VERSION", u"", false);
  EXPECT_EQ(none.result, 0);
  EXPECT_FALSE(none.hasOutput);

  Answer a = lib.Call("VERSION", "VNRP_TARVOLX40FPETH_10");
  EXPECT_EQ(a.result, 0);
  EXPECT_FALSE(a.hasError);
  EXPECT_EQ(a.output.rfind("Version 1.14 - ", 0), 0u) << a.output;
}

TEST(Abi, ConcurrentCallsAnswerEachOwnRequest) {
  Library& lib = Library::Get();
  std::vector<std::thread> threads;
  std::array<int, 8> wrong{};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        std::string driver = "D" + std::to_string(t) + "_" + std::to_string(i);
        Answer a = (t % 2 == 0) ? lib.Call("OPEN", Request("<Driver>" + driver + "</Driver>"))
                                : lib.Call("GETSTATUS", Request("<Handle>" + std::to_string(1000 + i) + "</Handle>"));
        std::string expected =
            (t % 2 == 0) ? "Fiscal Printer Driver [" + driver + "] not registered." : "Printer Handle not found";
        if (a.result != -1 || a.error != expected) ++wrong[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

TEST(Abi, UsableFromC) {
  unsigned errorLength = 0;
  EXPECT_EQ(fp_c_call_getstatus(FPDRIVER_SO_PATH, &errorLength), -1);
  EXPECT_EQ(errorLength, std::string("Fiscal Printer has not previously opened").size());
}

}  // namespace
