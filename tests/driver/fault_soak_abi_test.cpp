// The seeded fault soak through the built shared library, as a host calls it: the result
// code against Error, the journal against what was reported, every open question settled.
// Its pauses are real, so it keeps to the faults that end at once (lost, refused, reset,
// garbage and error answers, a busy journal) with a short outcome bound; the in-process
// soak (fault_soak_test.cpp) adds the slow ones with virtual time.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/fault_soak_hosts.h"

namespace {

using namespace fp::soak;

TEST(FaultSoakAbi, ResultCodesAndJournalHoldThroughTheLibrary) {
  kSoakPrinter printer("fp_fault_soak_abi");
  kSoakOptions options;
  options.fCalls = EnvOr("FP_SOAK_CALLS", 40);
  options.fSeed = static_cast<unsigned>(EnvOr("FP_SOAK_SEED", 15));
  options.fSlowFaults = false;
  options.fOutcomeTimeoutMs = 2000;
  options.fLogId = "soakabi";
  kLibraryHost host;
  const auto report = RunFaultSoak(printer.fEmu, host, options, printer.fDir);
  for (const auto& v : report.fViolations) ADD_FAILURE() << v;
  std::printf("soak through the library (seed %u): %s", options.fSeed, FormatFigures(report.fFigures).c_str());
}

}  // namespace
