// The long crash soak: the suite's crash soak (tests/driver/exactly_once.h) for as many kills
// as asked. A till process (the helper host loading the built library) is killed with SIGKILL
// at seeded commands of receipts, non-fiscal documents and Z reports, held by the emulator so
// the kill lands exactly, and started again with what it was not told about. Prints its
// figures and every broken rule; exits 1 when a rule broke.
//
//   crash_soak [--seed N] [--kills N] [--documents N] [--verbose]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/exactly_once.h"

int main(int argc, char** argv) {
  fp::once::kCrashSoakOptions options;
  options.fKills = 200;
  int documents = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const bool hasValue = i + 1 < argc;
    if (name == "--verbose") options.fTrace = [](const std::string& aLine) { std::printf("%s\n", aLine.c_str()); };
    else if (name == "--seed" && hasValue) options.fSeed = static_cast<unsigned>(std::atol(argv[++i]));
    else if (name == "--kills" && hasValue) options.fKills = std::atoi(argv[++i]);
    else if (name == "--documents" && hasValue) documents = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: crash_soak [--seed N] [--kills N] [--documents N] [--verbose]\n");
      return 2;
    }
  }
  // Enough documents that the kills find some still to send.
  options.fDocuments = documents > 0 ? documents : 2 * options.fKills + 4;
  fp::soak::kSoakPrinter printer("crash_soak");
  const fp::once::kCrashSoakReport report = fp::once::RunCrashSoak(printer, OUTCOME_HELPER_PATH, options);
  std::printf("crash soak, seed %u: %s\n", options.fSeed, fp::once::FormatCrashFigures(report.fFigures).c_str());
  for (const auto& v : report.fViolations) std::printf("BROKEN: %s\n", v.c_str());
  return report.fViolations.empty() ? 0 : 1;
}
