// fpctl EXPORT [REQUEST-FILE | -]     calls one export with the request from the file or
//                                     standard input, prints the result fragment on standard
//                                     output and the error text on standard error, and exits
//                                     0 when the export returned 0, 1 otherwise.
// fpctl VERSION DRIVER-NAME           prints the driver's version text.
// fpctl [--lib PATH] ...              uses the library at PATH.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "fpctl.h"

#if defined(_WIN32)
constexpr const char* kLibraryFile = "fpdriver.dll";
constexpr const char* kInstalledLibrary = "fpdriver.dll";
#else
constexpr const char* kLibraryFile = "libfpdriver.so";
constexpr const char* kInstalledLibrary = "libfpdriver.so.1";
#endif

namespace fpctl {

namespace {

// Requests larger than this are not read; the library refuses far smaller ones anyway.
constexpr size_t kMaxInputBytes = 64u * 1024u * 1024u;

void PrintHelp(std::ostream& aOut) {
  aOut << "usage: fpctl [--lib PATH] EXPORT [REQUEST-FILE | -]\n"
          "       fpctl [--lib PATH] VERSION DRIVER-NAME\n";
  for (const kCommand& c : Commands()) aOut << "       fpctl [--lib PATH] " << c.fName << " ...\n";
  aOut << "\nCalls one export of libfpdriver with an XML request read from REQUEST-FILE (standard\n"
          "input when it is omitted or -), prints the result fragment on standard output and the\n"
          "error text on standard error. Exit status: 0 when the export returned 0, 1 when it\n"
          "returned -1, 2 on a usage or loading problem.\n"
          "\nThe library: --lib PATH, else $FPDRIVER_LIB, else libfpdriver.so beside this program\n"
          "(build tree: two folders up; also the same folder), ../lib/libfpdriver.so.1, else\n"
          "libfpdriver.so.1 from the dynamic loader's search path.\n"
          "\nExports:\n";
  for (const char* e : kExports) aOut << "  " << e << "\n";
  if (!Commands().empty()) {
    aOut << "\nOther commands:\n";
    for (const kCommand& c : Commands()) aOut << "  " << c.fName << "  " << c.fSummary << "\n";
  }
}

std::string ExecutableDir() {
  const std::string path = fp::ApplicationExePath();
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string FindLibrary(const std::string& aOption) {
  if (!aOption.empty()) return aOption;
  if (const char* env = std::getenv("FPDRIVER_LIB"); env != nullptr && *env != '\0') return env;
  const std::string dir = ExecutableDir();
  // The build tree's library, one beside the program, or the installed one beside bin/.
  for (const std::string& candidate : {dir + "/../../" + kLibraryFile, dir + "/" + kLibraryFile,
                                       dir + "/../lib/" + kInstalledLibrary}) {
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  // Left to the dynamic loader's search path: an installed runtime has the SONAME only.
  return kInstalledLibrary;
}

// The request text: UTF-8, with or without a byte order mark; UTF-16 files (LE or BE with
// their mark) are converted.
std::string ReadRequest(std::istream& aIn) {
  std::string bytes;
  char buf[65536];
  while (aIn.read(buf, sizeof buf) || aIn.gcount() > 0) {
    bytes.append(buf, static_cast<size_t>(aIn.gcount()));
    if (bytes.size() > kMaxInputBytes) throw std::runtime_error("request larger than 64 MiB");
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
    const bool little = bytes[0] == '\xFF';
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
      auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
      units += static_cast<char16_t>(lo | (hi << 8));
    }
    return fp::Utf16ToUtf8(units);
  }
  return bytes;
}

int CallExport(kLibrary& aLibrary, const std::string& aName, const std::vector<std::string>& aArgs) {
  if (aArgs.size() > 1) {
    std::cerr << "fpctl: " << aName << " takes one request\n";
    return 2;
  }
  std::string request;
  if (aName == "VERSION" && !aArgs.empty()) {
    request = aArgs[0];
  } else if (aArgs.empty() || aArgs[0] == "-") {
    request = ReadRequest(std::cin);
  } else {
    std::ifstream file(aArgs[0], std::ios::binary);
    if (!file) {
      std::cerr << "fpctl: cannot read " << aArgs[0] << ": " << std::strerror(errno) << "\n";
      return 2;
    }
    request = ReadRequest(file);
  }
  // A driver name read from a file or a pipe comes with the line break that ends it.
  if (aName == "VERSION")
    while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) request.pop_back();
  kLibrary::Answer answer = aLibrary.Call(aName, request);
  if (answer.fHasOutput) std::cout << answer.fOutput << "\n";
  if (!answer.fError.empty()) std::cerr << answer.fError << "\n";
  std::cout.flush();
  return answer.fResult == 0 ? 0 : 1;
}

int Main(int argc, char** argv) {
  std::string libOption;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    // After a subcommand's name, --help is that subcommand's own.
    const bool forSubcommand = !args.empty() && !IsExport(args[0]);
    if ((a == "--help" || a == "-h") && !forSubcommand) {
      PrintHelp(std::cout);
      return 0;
    }
    if (a == "--lib") {
      if (i + 1 >= argc) {
        std::cerr << "fpctl: --lib needs a path\n";
        return 2;
      }
      libOption = argv[++i];
    } else if (a.rfind("--lib=", 0) == 0) {
      libOption = a.substr(6);
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) {
    PrintHelp(std::cerr);
    return 2;
  }
  const std::string command = args[0];
  args.erase(args.begin());

  const kCommand* other = nullptr;
  for (const kCommand& c : Commands())
    if (command == c.fName) other = &c;
  if (other == nullptr && !IsExport(command)) {
    std::cerr << "fpctl: unknown command " << command << " (fpctl --help lists them)\n";
    return 2;
  }
  try {
    kLibrary library(FindLibrary(libOption));
    return other != nullptr ? other->fRun(library, args) : CallExport(library, command, args);
  } catch (const std::exception& e) {
    std::cerr << "fpctl: " << e.what() << "\n";
    return 2;
  }
}

}  // namespace

}  // namespace fpctl

int main(int argc, char** argv) { return fpctl::Main(argc, argv); }
