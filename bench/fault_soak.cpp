// The long fault soak: the suite's soak (tests/driver/fault_soak.h) for as many calls as
// asked, on one device against the printer emulator. By default the calls go through the
// request frame in this process with the device's pauses virtual, so every fault kind costs
// little real time; --library sends them through the built shared library (real pauses).
// Prints its figures; exits 1 when a rule broke.
//
//   fault_soak [--seed N] [--calls N] [--outcome-timeout MS] [--library] [--verbose]
#define FP_SOAK_IN_PROCESS 1
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "driver/fault_soak_hosts.h"

int main(int argc, char** argv) {
  fp::soak::kSoakOptions options;
  options.fCalls = 1000;
  options.fOutcomeTimeoutMs = 30000;
  bool library = false;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const bool hasValue = i + 1 < argc;
    if (name == "--library") library = true;
    else if (name == "--verbose") options.fTrace = [](const std::string& aLine) { std::printf("%s\n", aLine.c_str()); };
    else if (name == "--seed" && hasValue) options.fSeed = static_cast<unsigned>(std::atol(argv[++i]));
    else if (name == "--calls" && hasValue) options.fCalls = std::atoi(argv[++i]);
    else if (name == "--outcome-timeout" && hasValue) options.fOutcomeTimeoutMs = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: fault_soak [--seed N] [--calls N] [--outcome-timeout MS] [--library] [--verbose]\n");
      return 2;
    }
  }
  if (library) {
    // Real pauses: the slow faults would take minutes each at the default bound.
    options.fSlowFaults = false;
    if (options.fOutcomeTimeoutMs > 3000) options.fOutcomeTimeoutMs = 3000;
  }
  fp::soak::kSoakPrinter printer("fault_soak");
  fp::soak::kSoakReport report;
  if (library) {
    fp::soak::kLibraryHost host;
    report = fp::soak::RunFaultSoak(printer.fEmu, host, options, printer.fDir);
  } else {
    fp::soak::kInProcessHost host;
    report = fp::soak::RunFaultSoak(printer.fEmu, host, options, printer.fDir);
  }
  std::printf("fault soak, seed %u, %s: %s", options.fSeed, library ? "through the library" : "in process, virtual pauses",
              fp::soak::FormatFigures(report.fFigures).c_str());
  for (const auto& v : report.fViolations) std::printf("BROKEN: %s\n", v.c_str());
  return report.fViolations.empty() ? 0 : 1;
}
