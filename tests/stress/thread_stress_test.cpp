// Eight host threads call every export on four emulated printers while CLOSE and OPEN race
// the other calls: no crash, no hang, and every answer as a host relies on it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "thread_stress.h"

namespace {

TEST(ThreadStress, EightThreadsOnFourDevicesWithOpenAndCloseRacingGetSoundAnswers) {
  const std::filesystem::path scratch = std::filesystem::path(testing::TempDir()) / "thread_stress";
  std::filesystem::create_directories(scratch);
  setenv("FPDRIVER_APP_DIR", scratch.c_str(), 1);

  fpstress::StressOptions options;
  options.fLibraryPath = FPDRIVER_SO_PATH;
  options.fThreads = 8;
  options.fDevices = 4;
  options.fCallsPerThread = 30;
  options.fScratch = scratch;
  const fpstress::StressReport report = fpstress::RunThreadStress(options);

  EXPECT_EQ(report.fBroken, 0) << report.fFirstBroken;
  // The racing really happened: devices were closed under other calls and opened again.
  EXPECT_GT(report.fCloses, 0);
  EXPECT_GT(report.fOpens, options.fDevices);
  EXPECT_GT(report.fSucceeded, 0);
  std::filesystem::remove_all(scratch);
}

}  // namespace
