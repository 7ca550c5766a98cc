// Cost of logging on the caller's thread, and how fast the writer thread empties its queue.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "base/log_writer.h"

namespace {

const std::string kMessage = "HTTP GET /_io?cmd=1083100000000000000000000000001000000001 : 00/00/01/00000000/";

std::string ScratchFolder() {
  char templ[] = "/tmp/fp_log_bench_XXXXXX";
  const char* dir = mkdtemp(templ);
  return dir ? dir : "/tmp";
}

// What the caller pays per line: formatting and queueing only.
void BM_Write(benchmark::State& aState) {
  std::string dir = ScratchFolder();
  {
    fp::tVN_LogWriter writer("bench", dir, 0, true);
    for (auto _ : aState) writer.Write(fp::let_info, kMessage);
    aState.SetItemsProcessed(aState.iterations());
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Write)->Iterations(200000);

// Lines per second appended by the writer thread (one open, write and close per line).
void BM_ThreadDrain(benchmark::State& aState) {
  const int lines = static_cast<int>(aState.range(0));
  std::string dir = ScratchFolder();
  {
    fp::tVN_LogWriter writer("bench", dir, 0, true);
    for (auto _ : aState) {
      for (int i = 0; i < lines; ++i) writer.Write(fp::let_info, kMessage);
      writer.Flush();
    }
    aState.SetItemsProcessed(aState.iterations() * lines);
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ThreadDrain)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
