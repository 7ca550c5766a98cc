// The seeded fault soak through the request frame in this process, with the device's pauses
// and clock virtual: every fault kind the emulator has, the slow ones included, on every
// kind of command. FP_SOAK_CALLS and FP_SOAK_SEED run it longer or with another seed
// (bench/fault_soak runs it long).
#define FP_SOAK_IN_PROCESS 1
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

TEST(FaultSoak, JournalMatchesWhatWasReportedWhateverThePrinterDoes) {
  const auto dir = std::filesystem::temp_directory_path() / ("fp_fault_soak_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  fp::emu::PrinterEmulator emu;
  emu.Start();
  const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);

  fp::soak::kSoakOptions options;
  options.fCalls = EnvOr("FP_SOAK_CALLS", 80);
  options.fSeed = static_cast<unsigned>(EnvOr("FP_SOAK_SEED", 13));
  // Virtual pauses make the default bound free; the real time goes to read and connect
  // timeouts, one second each.
  options.fOutcomeTimeoutMs = 30000;
  if (EnvOr("FP_SOAK_VERBOSE", 0)) options.fTrace = [](const std::string& aLine) { std::printf("%s\n", aLine.c_str()); };
  fp::soak::kInProcessHost host;
  const auto report = fp::soak::RunFaultSoak(emu, host, options, dir);
  for (const auto& v : report.fViolations) ADD_FAILURE() << v;
  std::printf("soak (seed %u): %s", options.fSeed, fp::soak::FormatFigures(report.fFigures).c_str());
  emu.Stop();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
