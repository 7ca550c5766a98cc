// A second host process for the outcome tests: loads libfpdriver.so afresh, opens the device
// named on the command line, sends its documents one after the other and closes the device
// again. Each document is a request element; its name picks the export (Receipt: PRINTFR,
// NFReceipt: PRINTNFR, ZReport: PRINTZR). "@NOW@" inside a document becomes the time of each
// attempt, a second later for every attempt, as a till stamps what it sends.
//
//   outcome_helper [--outcome-timeout MS] [--tries N] [--start-fd FD] <printer URL> <LogId> <document>...
//
// With --start-fd it says "ready" once the device is open and waits until FD reads to its end
// before the first document, so that several tills start at once.
// A document that fails is sent again, up to N attempts in all (1 by default). For every
// attempt it prints three lines, flushed at once so that a process killed half-way leaves
// what it was told: the result code, the error text and the result fragment.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

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

const char* ExportOf(const std::string& aDocument) {
  if (aDocument.rfind("<NFReceipt", 0) == 0) return "PRINTNFR";
  if (aDocument.rfind("<ZReport", 0) == 0) return "PRINTZR";
  return "PRINTFR";
}

// The local time aOffset seconds from now, as a request writes it.
std::string Stamp(int aOffset) {
  const std::time_t now = std::time(nullptr) + aOffset;
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string outcomeTimeout;
  int tries = 1;
  int startFd = -1;
  int at = 1;
  for (; at + 1 < argc && argv[at][0] == '-' && argv[at][1] == '-'; at += 2) {
    const std::string option = argv[at];
    if (option == "--outcome-timeout") outcomeTimeout = argv[at + 1];
    else if (option == "--tries") tries = std::atoi(argv[at + 1]);
    else if (option == "--start-fd") startFd = std::atoi(argv[at + 1]);
    else at = argc;
  }
  if (argc - at < 3 || tries < 1) {
    std::fprintf(stderr, "usage: outcome_helper [--outcome-timeout MS] [--tries N] [--start-fd FD] <url> <logid> <document>...\n");
    return 2;
  }
  const std::string device = "<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>" + std::string(argv[at + 1]) + "</LogId>";
  const std::string parameters =
      outcomeTimeout.empty() ? "" : "<Parameters><OutcomeTimeout>" + outcomeTimeout + "</OutcomeTimeout></Parameters>";
  const Reply open = Call("OPEN", "<ReceiptPrinterManager>" + device + "<Connection><Type>HTTP</Type><URL>" +
                                      argv[at] + "</URL></Connection>" + parameters + "</ReceiptPrinterManager>");
  if (open.result != 0) {
    std::printf("open failed\n%s\n", OneLine(open.error).c_str());
    return 1;
  }
  const std::string handle = "<Handle>" + Element(open.output, "Handle") + "</Handle>";
  if (startFd >= 0) {
    std::printf("ready\n");
    std::fflush(stdout);
    char byte;
    while (read(startFd, &byte, 1) > 0) {
    }
  }
  int attempt = 0;
  for (int d = at + 2; d < argc; ++d) {
    for (int t = 0; t < tries; ++t) {
      std::string document = argv[d];
      for (size_t now = document.find("@NOW@"); now != std::string::npos; now = document.find("@NOW@"))
        document.replace(now, 5, Stamp(attempt));
      ++attempt;
      const Reply r = Call(ExportOf(document), "<ReceiptPrinterManager>" + device + handle + document +
                                                   "</ReceiptPrinterManager>");
      std::printf("%d\n%s\n%s\n", r.result, OneLine(r.error).c_str(), OneLine(r.output).c_str());
      std::fflush(stdout);
      if (r.result == 0) break;
    }
  }
  Call("CLOSE", "<ReceiptPrinterManager>" + device + handle + "</ReceiptPrinterManager>");
  return 0;
}
