// libfpdriver as fpd loads it: at run time, after the configuration has set the library's
// application folder, with every export looked up by name once.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "fpdriver/fpdriver.h"

namespace fpd {

// The 22 exports, in the order of the header.
inline constexpr std::array<const char*, 22> kExportNames{
    "PRINTFR",     "REPRINTFR",   "PRINTXR",     "PRINTZR",      "PRINTNFR",     "DISPLAY",
    "OPENDR",      "GETSTATUS",   "SET",         "SETDATETIME",  "OPEN",         "GETDRSTATUS",
    "EJREPORT",    "CLOSE",       "GETVATTABLE", "SETVATTABLE",  "GETDEPTTABLE", "SETDEPTTABLE",
    "PAY",         "GETLOTTERYRCPTSTATUS", "GETEJFILES", "VERSION"};

class kDriverLibrary {
 public:
  struct kAnswer {
    int fResult = -1;      // the export's 0 or -1
    std::string fOutput;   // the result fragment, UTF-8
    std::string fError;    // the error text, UTF-8
  };

  // Loads aPath (a bare name goes through the loader's search path). Throws
  // std::runtime_error with the loader's message.
  explicit kDriverLibrary(const std::string& aPath);
  kDriverLibrary(const kDriverLibrary&) = delete;
  kDriverLibrary& operator=(const kDriverLibrary&) = delete;

  // The library beside the program: on Linux the build tree's ../../libfpdriver.so, the same
  // folder, ../lib/libfpdriver.so.1, else "libfpdriver.so.1" for the loader's search path;
  // on Windows fpdriver.dll in the same folder or the build tree's, else "fpdriver.dll".
  static std::string DefaultPath();

  // Calls the export aName (one of kExportNames but VERSION) with a UTF-8 request. Safe from
  // several threads: the library serialises calls on one device itself.
  kAnswer Call(std::string_view aName, const std::string& aRequest) const;

 private:
  using Export = int16_t(FPDRIVER_CALL*)(BSTR, BSTR*, BSTR*);
  void* fHandle = nullptr;
  std::array<Export, kExportNames.size()> fExports{};
  // The BSTR functions: the library's own on Linux, oleaut32's (WINAPI, as the exports'
  // calling convention) on Windows.
  BSTR(FPDRIVER_CALL* fAllocLen)(const OLECHAR*, unsigned int) = nullptr;
  void(FPDRIVER_CALL* fFree)(BSTR) = nullptr;
  unsigned int(FPDRIVER_CALL* fLen)(BSTR) = nullptr;
};

}  // namespace fpd
