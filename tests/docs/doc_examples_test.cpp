// Every example request of the documentation, run through the library's C interface
// against the printer emulator: a doc example that stops working fails here.
//
// An example is a fenced block whose info string is `xml request=EXPORT`, optionally
// followed by fails="TEXT" when the example shows a refusal. The text of <URL> is replaced
// by the emulator's address and the text of <Handle> by a device opened for the example;
// the rest is sent as written. Each example runs on a printer of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "fpemu/printer_emulator.h"

namespace {

struct Example {
  std::string fFile;  // relative to the source folder
  int fLine = 0;      // of the opening fence
  std::string fExport;
  std::string fFails;  // the expected error text, empty when the example must succeed
  std::string fRequest;
};

std::vector<std::string> DocumentFiles() {
  std::vector<std::string> files{"README.md"};
  for (const auto& entry : std::filesystem::directory_iterator(std::string(FP_SOURCE_DIR) + "/docs"))
    if (entry.path().extension() == ".md") files.push_back("docs/" + entry.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Fences that look like examples but are not read as such (a misspelt info string).
std::vector<std::string>& MalformedFences() {
  static std::vector<std::string> fences;
  return fences;
}

std::vector<Example> ReadExamples() {
  static const std::regex kFence(R"re(^```xml request=([A-Z]+)(?: fails="([^"]*)")?\s*$)re");
  std::vector<Example> examples;
  for (const std::string& file : DocumentFiles()) {
    std::ifstream in(std::string(FP_SOURCE_DIR) + "/" + file);
    std::string line;
    int number = 0;
    Example* open = nullptr;
    while (std::getline(in, line)) {
      ++number;
      std::smatch m;
      if (open == nullptr && std::regex_match(line, m, kFence)) {
        examples.push_back({file, number, m[1], m[2], ""});
        open = &examples.back();
      } else if (open == nullptr && line.rfind("```", 0) == 0 && line.find("request") != std::string::npos) {
        MalformedFences().push_back(file + ":" + std::to_string(number) + ": " + line);
      } else if (open != nullptr && line.rfind("```", 0) == 0) {
        open = nullptr;
      } else if (open != nullptr) {
        open->fRequest += line + "\n";
      }
    }
  }
  return examples;
}

// Names the example by its place in the documentation in test output.
void PrintTo(const Example& aExample, std::ostream* aOut) { *aOut << aExample.fFile << ":" << aExample.fLine; }

const std::vector<Example>& Examples() {
  static const std::vector<Example> examples = ReadExamples();
  return examples;
}

// The text of element aName replaced by aValue wherever it occurs.
std::string Replace(std::string aXml, const std::string& aName, const std::string& aValue) {
  const std::regex element("<" + aName + ">[^<]*</" + aName + ">");
  return std::regex_replace(aXml, element, "<" + aName + ">" + aValue + "</" + aName + ">");
}

std::string ElementText(const std::string& aFragment, const std::string& aName) {
  const std::string open = "<" + aName + ">", close = "</" + aName + ">";
  const size_t start = aFragment.find(open);
  const size_t end = start == std::string::npos ? start : aFragment.find(close, start);
  return end == std::string::npos ? "" : aFragment.substr(start + open.size(), end - start - open.size());
}

struct Answer {
  int16_t fResult = 0;
  std::string fOutput;
  std::string fError;
};

class Library {
 public:
  Library() {
    setenv("FPDRIVER_APP_DIR", testing::TempDir().c_str(), 0);
    fHandle = dlopen(FPDRIVER_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    if (fHandle == nullptr) throw std::runtime_error(dlerror());
    fAllocLen = reinterpret_cast<char16_t* (*)(const char16_t*, unsigned)>(dlsym(fHandle, "SysAllocStringLen"));
    fFree = reinterpret_cast<void (*)(char16_t*)>(dlsym(fHandle, "SysFreeString"));
    fLen = reinterpret_cast<unsigned (*)(char16_t*)>(dlsym(fHandle, "SysStringLen"));
  }
  Answer Call(const std::string& aExport, const std::string& aXml) const {
    auto fn = reinterpret_cast<int16_t (*)(char16_t*, char16_t**, char16_t**)>(dlsym(fHandle, aExport.c_str()));
    if (fn == nullptr) throw std::runtime_error("no export " + aExport);
    const std::u16string text = fp::Utf8ToUtf16(aXml);
    char16_t* xml = fAllocLen(text.data(), static_cast<unsigned>(text.size()));
    char16_t *out = nullptr, *err = nullptr;
    Answer a;
    a.fResult = fn(xml, &out, &err);
    a.fOutput = Text(out);
    a.fError = Text(err);
    fFree(xml);
    fFree(out);
    fFree(err);
    return a;
  }

 private:
  std::string Text(char16_t* aText) const {
    return aText ? fp::Utf16ToUtf8(std::u16string_view(aText, fLen(aText))) : "";
  }
  void* fHandle = nullptr;
  char16_t* (*fAllocLen)(const char16_t*, unsigned) = nullptr;
  void (*fFree)(char16_t*) = nullptr;
  unsigned (*fLen)(char16_t*) = nullptr;
};

class DocExample : public testing::TestWithParam<Example> {};

TEST_P(DocExample, RunsAgainstTheEmulator) {
  const Example& example = GetParam();
  fp::emu::PrinterEmulator printer;
  // The examples carry fixed dates: a refund's original receipt can't be in a fresh journal.
  printer.SetCheckReferences(false);
  printer.Start();
  Library library;

  std::string request = Replace(example.fRequest, "URL", printer.BaseUrl());
  std::string handle;
  if (example.fExport != "OPEN") {
    const Answer opened = library.Call(
        "OPEN", "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Connection><Type>HTTP</Type><URL>" +
                    printer.BaseUrl() + "</URL></Connection></ReceiptPrinterManager>");
    ASSERT_EQ(opened.fResult, 0) << opened.fError;
    handle = ElementText(opened.fOutput, "Handle");
    request = Replace(request, "Handle", handle);
  }

  const Answer answer = library.Call(example.fExport, request);
  if (example.fFails.empty()) {
    EXPECT_EQ(answer.fResult, 0) << answer.fError;
    EXPECT_EQ(answer.fError, "");
  } else {
    EXPECT_EQ(answer.fResult, -1);
    EXPECT_EQ(answer.fError, example.fFails);
  }
  if (example.fExport == "OPEN") handle = ElementText(answer.fOutput, "Handle");
  if (example.fExport != "CLOSE" && !handle.empty())
    library.Call("CLOSE", "<ReceiptPrinterManager><Handle>" + handle + "</Handle></ReceiptPrinterManager>");
  printer.Stop();
}

std::string ExampleName(const testing::TestParamInfo<Example>& aInfo) {
  std::string name = aInfo.param.fFile + "_line" + std::to_string(aInfo.param.fLine) + "_" + aInfo.param.fExport;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Docs, DocExample, testing::ValuesIn(Examples()), ExampleName);

// Every export that takes a request has at least one example a host can start from.
TEST(DocExamples, CoverEveryExportThatTakesARequest) {
  const std::set<std::string> all{"PRINTFR",     "REPRINTFR",    "PRINTXR",      "PRINTZR",     "PRINTNFR",
                                  "DISPLAY",     "OPENDR",       "GETSTATUS",    "SET",         "SETDATETIME",
                                  "OPEN",        "GETDRSTATUS",  "EJREPORT",     "CLOSE",       "GETVATTABLE",
                                  "SETVATTABLE", "GETDEPTTABLE", "SETDEPTTABLE", "PAY",         "GETLOTTERYRCPTSTATUS",
                                  "GETEJFILES"};
  std::set<std::string> shown;
  for (const Example& e : Examples()) {
    EXPECT_TRUE(all.count(e.fExport)) << e.fFile << ":" << e.fLine << ": no export " << e.fExport;
    shown.insert(e.fExport);
  }
  EXPECT_TRUE(MalformedFences().empty()) << "not read as examples: " << testing::PrintToString(MalformedFences());
  std::vector<std::string> missing;
  std::set_difference(all.begin(), all.end(), shown.begin(), shown.end(), std::back_inserter(missing));
  EXPECT_TRUE(missing.empty()) << "exports without an example: " << testing::PrintToString(missing);
}

}  // namespace
