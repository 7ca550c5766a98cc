// The seeded fault soak through the request frame in this process, with the device's pauses
// and clock virtual: every fault kind the emulator has, the slow ones included, on every
// kind of command. FP_SOAK_CALLS and FP_SOAK_SEED run it longer or with another seed,
// FP_SOAK_VERBOSE=1 lists every call (bench/fault_soak runs it long).
#define FP_SOAK_IN_PROCESS 1
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/fault_soak_hosts.h"

namespace {

using namespace fp::soak;

TEST(FaultSoak, JournalMatchesWhatWasReportedWhateverThePrinterDoes) {
  kSoakPrinter printer("fp_fault_soak");
  kSoakOptions options;
  options.fCalls = EnvOr("FP_SOAK_CALLS", 80);
  options.fSeed = static_cast<unsigned>(EnvOr("FP_SOAK_SEED", 13));
  // Virtual pauses make the default bound free; the real time goes to read and connect
  // timeouts, one second each.
  options.fOutcomeTimeoutMs = 30000;
  if (EnvOr("FP_SOAK_VERBOSE", 0)) options.fTrace = [](const std::string& aLine) { std::printf("%s\n", aLine.c_str()); };
  kInProcessHost host;
  const auto report = RunFaultSoak(printer.fEmu, host, options, printer.fDir);
  for (const auto& v : report.fViolations) ADD_FAILURE() << v;
  std::printf("soak (seed %u): %s", options.fSeed, FormatFigures(report.fFigures).c_str());
}

}  // namespace
