// The seeded fault soak through the built shared library, as a host calls it: the result
// code against Error, the journal against what was reported, every open question settled.
// Its pauses are real, so it keeps to the faults that end at once (lost, refused, reset,
// garbage and error answers, a busy journal) with a short outcome bound; the in-process
// soak (fault_soak_test.cpp) adds the slow ones with virtual time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "driver/fault_soak_hosts.h"

namespace {

int EnvOr(const char* aName, int aDefault) {
  const char* v = std::getenv(aName);
  return v && *v ? std::atoi(v) : aDefault;
}

TEST(FaultSoakAbi, ResultCodesAndJournalHoldThroughTheLibrary) {
  const auto dir = std::filesystem::temp_directory_path() / ("fp_fault_soak_abi_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  fp::emu::PrinterEmulator emu;
  emu.Start();
  const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);

  fp::soak::kSoakOptions options;
  options.fCalls = EnvOr("FP_SOAK_CALLS", 40);
  options.fSeed = static_cast<unsigned>(EnvOr("FP_SOAK_SEED", 15));
  options.fSlowFaults = false;
  options.fOutcomeTimeoutMs = 2000;
  options.fLogId = "soakabi";
  fp::soak::kLibraryHost host;
  const auto report = fp::soak::RunFaultSoak(emu, host, options, dir);
  for (const auto& v : report.fViolations) ADD_FAILURE() << v;
  std::printf("soak through the library (seed %u): %s", options.fSeed,
              fp::soak::FormatFigures(report.fFigures).c_str());
  emu.Stop();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
