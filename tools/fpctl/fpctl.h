// fpctl: the command-line host of libfpdriver.
//
// The library is found at the path given with --lib, else in the FPDRIVER_LIB environment
// variable, else next to the program (the build tree's libfpdriver.so two folders up, or
// the same folder, or ../lib/libfpdriver.so.1, else libfpdriver.so.1 from the loader's
// search path). Subcommands other than the exports register themselves from
// their own source file:
//
//   static const fpctl::kCommandRegistration kDemo{
//       {"demo", "run a sale against the built-in printer emulator", &RunDemo}};
//
// where RunDemo(aLibrary, aArgs) returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "fpdriver/fpdriver.h"

namespace fpctl {

// libfpdriver loaded with dlopen, with the exports looked up by name.
class kLibrary {
 public:
  struct Answer {
    int16_t fResult = 0;
    bool fHasOutput = false;
    std::string fOutput;  // UTF-8
    std::string fError;   // UTF-8
  };

  // Throws std::runtime_error with dlerror's text when the library can't be loaded.
  explicit kLibrary(const std::string& aPath);
  ~kLibrary();
  kLibrary(const kLibrary&) = delete;
  kLibrary& operator=(const kLibrary&) = delete;

  // Calls the export aName with the UTF-8 request aRequest. Throws std::runtime_error when
  // the library has no such export.
  Answer Call(const std::string& aName, const std::string& aRequest) const;
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
  void* fHandle = nullptr;
  BSTR (*fAllocLen)(const OLECHAR*, unsigned int) = nullptr;
  void (*fFree)(BSTR) = nullptr;
  unsigned int (*fLen)(BSTR) = nullptr;
};

struct kCommand {
  const char* fName;
  const char* fSummary;
  int (*fRun)(kLibrary& aLibrary, const std::vector<std::string>& aArgs);
};

// Adds a subcommand at program start.
struct kCommandRegistration {
  explicit kCommandRegistration(kCommand aCommand);
};

const std::vector<kCommand>& Commands();

// The library's 22 exports, in the order of the header.
inline constexpr const char* kExports[] = {
    "PRINTFR",     "REPRINTFR",   "PRINTXR", "PRINTZR",     "PRINTNFR",    "DISPLAY",      "OPENDR",       "GETSTATUS",
    "SET",         "SETDATETIME", "OPEN",    "GETDRSTATUS", "EJREPORT",    "CLOSE",        "GETVATTABLE",  "SETVATTABLE",
    "GETDEPTTABLE", "SETDEPTTABLE", "PAY",   "GETLOTTERYRCPTSTATUS", "GETEJFILES", "VERSION"};

bool IsExport(const std::string& aName);

// The text of the first element aName of a result fragment at or after aFrom, as written
// (entities not resolved); empty when there is none.
std::string ElementText(const std::string& aFragment, const std::string& aName, size_t aFrom = 0);

// The <Handle> element of aRequest set to aHandle: its text replaced when it is there,
// otherwise the element added as the first child of the root.
std::string WithHandle(const std::string& aRequest, const std::string& aHandle);

}  // namespace fpctl
