// A second host process for the outcome tests: loads libfpdriver.so afresh, opens the device
// named on the command line, sends one PRINTFR and closes the device again. It prints the
// result code, the error text and the result fragment, one per line:
//   outcome_helper <printer URL> <LogId> <Receipt element>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "support/fpdriver_library.h"

namespace {

struct Reply {
  int result = 0;
  std::string output, error;
};

Reply Call(const char* aExport, const std::string& aXml) {
  const fp::test::kRawAnswer raw = fp::test::kLoadedLibrary::Get().Call(aExport, fp::Utf8ToUtf16(aXml));
  return {raw.result, fp::Utf16ToUtf8(raw.output), fp::Utf16ToUtf8(raw.error)};
}

std::string Element(const std::string& aXml, const std::string& aName) {
  const size_t start = aXml.find("<" + aName + ">");
  const size_t end = aXml.find("</" + aName + ">");
  if (start == std::string::npos || end == std::string::npos) return {};
  return aXml.substr(start + aName.size() + 2, end - start - aName.size() - 2);
}

std::string OneLine(std::string aText) {
  for (char& c : aText)
    if (c == '\n' || c == '\r') c = ' ';
  return aText;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: outcome_helper <url> <logid> <receipt>\n");
    return 2;
  }
  const std::string device = "<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>" + std::string(argv[2]) + "</LogId>";
  const Reply open = Call("OPEN", "<ReceiptPrinterManager>" + device + "<Connection><Type>HTTP</Type><URL>" +
                                      argv[1] + "</URL></Connection></ReceiptPrinterManager>");
  if (open.result != 0) {
    std::printf("open failed\n%s\n", OneLine(open.error).c_str());
    return 1;
  }
  const std::string handle = "<Handle>" + Element(open.output, "Handle") + "</Handle>";
  const Reply printed = Call("PRINTFR", "<ReceiptPrinterManager>" + device + handle + argv[3] + "</ReceiptPrinterManager>");
  std::printf("%d\n%s\n%s\n", printed.result, OneLine(printed.error).c_str(), OneLine(printed.output).c_str());
  Call("CLOSE", "<ReceiptPrinterManager>" + device + handle + "</ReceiptPrinterManager>");
  return 0;
}
