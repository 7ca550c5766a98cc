// The long thread stress: host threads racing every export, OPEN and CLOSE on emulated
// printers for as many calls as asked. Prints what it did; exits 1 on the first broken answer.
//
//   thread_stress [--threads N] [--devices N] [--calls-per-thread N] [--seed N]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "stress/thread_stress.h"

int main(int argc, char** argv) {
  fpstress::StressOptions options;
  options.fLibraryPath = FPDRIVER_SO_PATH;
  options.fCallsPerThread = 5000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (name == "--threads") options.fThreads = value;
    else if (name == "--devices") options.fDevices = value;
    else if (name == "--calls-per-thread") options.fCallsPerThread = value;
    else if (name == "--seed") options.fSeed = static_cast<uint32_t>(value);
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (options.fThreads < 1 || options.fDevices < 1 || options.fCallsPerThread < 0) {
    std::fprintf(stderr, "threads and devices must be at least 1\n");
    return 2;
  }
  options.fScratch = std::filesystem::temp_directory_path() / ("thread_stress_" + std::to_string(::getpid()));
  std::filesystem::create_directories(options.fScratch);
  ::setenv("FPDRIVER_APP_DIR", options.fScratch.c_str(), 1);

  const fpstress::StressReport report = fpstress::RunThreadStress(options);
  std::printf("%ld calls (%ld succeeded), %ld opens, %ld closes racing, %ld broken answers\n", report.fCalls,
              report.fSucceeded, report.fOpens, report.fCloses, report.fBroken);
  if (report.fBroken > 0) std::printf("first broken answer: %s\n", report.fFirstBroken.c_str());
  std::filesystem::remove_all(options.fScratch);
  return report.fBroken == 0 ? 0 : 1;
}
