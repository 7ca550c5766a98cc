// Round trip of one printer command to the emulator over loopback, one connection per
// command as the driver sends them ("Connection: close"), and the command execution alone.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "fpemu/printer_emulator.h"

namespace {

size_t Discard(char*, size_t aSize, size_t aCount, void*) { return aSize * aCount; }

void BM_StatusOverHttp(benchmark::State& aState) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  fp::emu::PrinterEmulator emu;
  emu.Start();
  std::string url = emu.BaseUrl() + "_io?cmd=4&js=0&pkt=?";
  CURL* c = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Connection: close");
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Discard);
  for (auto _ : aState) {
    if (curl_easy_perform(c) != CURLE_OK) aState.SkipWithError("request failed");
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(c);
  emu.Stop();
}
BENCHMARK(BM_StatusOverHttp)->Unit(benchmark::kMicrosecond);

void BM_SaleLineExecution(benchmark::State& aState) {
  fp::emu::PrinterEmulator emu;
  emu.Execute(">", "////");
  emu.Execute("}", "/");
  for (auto _ : aState) {
    std::string frame = emu.Execute("3", "/S/ARTICOLO//1.000/1.00/1////0//");
    benchmark::DoNotOptimize(frame);
    if (emu.Snapshot().fLines.size() > 1000) {
      aState.PauseTiming();
      emu.Execute("+", "/0/");
      emu.ClearPaper();
      emu.Execute(">", "////");
      emu.Execute("}", "/");
      aState.ResumeTiming();
    }
  }
}
BENCHMARK(BM_SaleLineExecution)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
