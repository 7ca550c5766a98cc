// fpctl run [--keep-going] [SCRIPT | -]
//
// Runs several exports in one process, so that the handle OPEN gives reaches the calls that
// follow. One call per line: the export name and the request file (relative to the script's
// folder), separated by blanks; blank lines and lines starting with "#" are skipped. Once an
// OPEN has answered a handle, every later request but OPEN gets it: its <Handle> element is
// rewritten, or one is added after the root's start tag. VERSION takes a driver name
// instead of a file. Each result is printed as it comes; the run stops at the first call
// that returns -1 unless --keep-going is given.
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "fpctl.h"

namespace fpctl {

std::string WithHandle(const std::string& aRequest, const std::string& aHandle) {
  const size_t open = aRequest.find("<Handle>");
  if (open != std::string::npos) {
    const size_t close = aRequest.find("</Handle>", open);
    if (close != std::string::npos)
      return aRequest.substr(0, open + 8) + aHandle + aRequest.substr(close);
  }
  const size_t empty = aRequest.find("<Handle/>");
  if (empty != std::string::npos)
    return aRequest.substr(0, empty) + "<Handle>" + aHandle + "</Handle>" + aRequest.substr(empty + 9);
  // The root's start tag: the first "<" that opens an element (not a declaration, comment
  // or processing instruction).
  for (size_t at = aRequest.find('<'); at != std::string::npos; at = aRequest.find('<', at + 1)) {
    if (at + 1 < aRequest.size() && (aRequest[at + 1] == '?' || aRequest[at + 1] == '!')) continue;
    const size_t end = aRequest.find('>', at);
    if (end == std::string::npos || aRequest[end - 1] == '/') break;
    return aRequest.substr(0, end + 1) + "<Handle>" + aHandle + "</Handle>" + aRequest.substr(end + 1);
  }
  return aRequest;
}

namespace {

constexpr const char* kRunUsage =
    "usage: fpctl run [--keep-going] [SCRIPT | -]\n"
    "\n"
    "Runs one export per line of SCRIPT (standard input when it is omitted or -) in this one\n"
    "process:\n"
    "\n"
    "  # comment\n"
    "  OPEN        open.xml\n"
    "  PRINTFR     sale.xml\n"
    "  PRINTZR     zreport.xml\n"
    "  CLOSE       close.xml\n"
    "  VERSION     VNRP_TARVOLX40FPETH_10\n"
    "\n"
    "Request files are read relative to the script's folder. The handle that OPEN answers is\n"
    "put into the <Handle> element of every later request but OPEN (added when it has none).\n"
    "Each call prints \"== N EXPORT FILE: ok\" or \"FAILED\", then the result fragment and the\n"
    "error text. The run stops at the first failed call unless --keep-going is given.\n"
    "Every line is checked and every request file read before the first call. Exit status:\n"
    "0 when every call returned 0, 1 when one returned -1, 2 when the script has a line that\n"
    "is no call or a request file cannot be read (nothing is called then).\n";

std::string ReadFile(const std::string& aPath, bool& aOk) {
  std::ifstream in(aPath, std::ios::binary);
  aOk = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  if (s.size() >= 3 && s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
  return s;
}

int RunScript(kLibrary& aLibrary, const std::vector<std::string>& aArgs) {
  bool keepGoing = false;
  std::string scriptPath = "-";
  for (const std::string& a : aArgs) {
    if (a == "--help" || a == "-h") {
      std::cout << kRunUsage;
      return 0;
    }
    if (a == "--keep-going") {
      keepGoing = true;
    } else if (scriptPath == "-" && (a == "-" || a[0] != '-')) {
      scriptPath = a;
    } else {
      std::cerr << kRunUsage;
      return 2;
    }
  }
  std::string script;
  std::string folder = ".";
  if (scriptPath == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    script = text.str();
  } else {
    bool ok = false;
    script = ReadFile(scriptPath, ok);
    if (!ok) {
      std::cerr << "fpctl run: cannot read " << scriptPath << ": " << std::strerror(errno) << "\n";
      return 2;
    }
    if (const size_t slash = scriptPath.rfind('/'); slash != std::string::npos) folder = scriptPath.substr(0, slash);
  }

  // Every line is checked and every request read before the first call, so a typing error
  // in the afternoon's lines does not stop a day that has already begun.
  struct Call {
    int fLine;
    std::string fName;
    std::string fArgument;
    std::string fRequest;
  };
  std::vector<Call> calls;
  int lineNumber = 0;
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string name, argument, extra;
    words >> name;
    if (name.empty() || name[0] == '#') continue;
    words >> argument >> extra;
    if (!IsExport(name) || argument.empty() || !extra.empty()) {
      std::cerr << "fpctl run: line " << lineNumber << ": expected EXPORT FILE, got \"" << line << "\"\n";
      return 2;
    }
    Call call{lineNumber, name, argument, argument};
    if (name != "VERSION") {
      const std::string path = argument[0] == '/' ? argument : folder + "/" + argument;
      bool ok = false;
      call.fRequest = ReadFile(path, ok);
      if (!ok) {
        std::cerr << "fpctl run: line " << lineNumber << ": cannot read " << path << ": " << std::strerror(errno)
                  << "\n";
        return 2;
      }
    }
    calls.push_back(std::move(call));
  }

  std::string handle;
  int failures = 0;
  for (Call& call : calls) {
    // A later OPEN makes a device of its own; its handle is carried from then on.
    if (!handle.empty() && call.fName != "OPEN" && call.fName != "VERSION")
      call.fRequest = WithHandle(call.fRequest, handle);
    const kLibrary::Answer answer = aLibrary.Call(call.fName, call.fRequest);
    std::cout << "== " << call.fLine << " " << call.fName << " " << call.fArgument << ": "
              << (answer.fResult == 0 ? "ok" : "FAILED") << "\n";
    if (answer.fHasOutput) std::cout << answer.fOutput << "\n";
    if (!answer.fError.empty()) std::cout << "error text: " << answer.fError << "\n";
    std::cout.flush();
    if (call.fName == "OPEN" && answer.fResult == 0) {
      const std::string opened = ElementText(answer.fOutput, "Handle");
      if (!opened.empty() && opened != "0") handle = opened;
    }
    if (answer.fResult != 0) {
      ++failures;
      if (!keepGoing) break;
    }
  }
  return failures == 0 ? 0 : 1;
}

const kCommandRegistration kRun{
    {"run", "run a script of exports in one process, the handle of OPEN carried to the calls after it",
     &RunScript}};

}  // namespace

}  // namespace fpctl
