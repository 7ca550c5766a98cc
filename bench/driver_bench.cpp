// OPEN + GETSTATUS + CLOSE of the RT printer driver through the C interface, against the
// printer emulator on loopback, next to the same HTTP exchanges made by a bare libcurl loop
// (one connection per request, as the driver does). The difference is what the driver adds
// beyond the exchanges themselves: request parsing, logging, frame decoding, result XML.
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using fpbench::BareLoop;
using fpbench::Library;

// One emulator and one loaded library for the whole run.
struct Setup {
  Setup() { fpbench::StartEmulator(emu, "fp_driver_bench"); }
  fp::emu::PrinterEmulator emu;
  Library lib;
};

Setup& Env() {
  static Setup setup;
  return setup;
}

std::string DeviceRequest(const std::string& aHandle) {
  return "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>bench</LogId>" +
         (aHandle.empty() ? "" : "<Handle>" + aHandle + "</Handle>") + "<Connection><Type>HTTP</Type><URL>" +
         Env().emu.BaseUrl() + "</URL></Connection></ReceiptPrinterManager>";
}

// One OPEN + GETSTATUS + CLOSE; returns false when any of them failed.
bool DriverSequence() {
  int16_t rc = 0;
  const std::string out = Env().lib.Call("OPEN", DeviceRequest(""), rc);
  if (rc != 0) return false;
  const std::string handle = fpbench::HandleOf(out);
  Env().lib.Call("GETSTATUS", DeviceRequest(handle), rc);
  if (rc != 0) return false;
  Env().lib.Call("CLOSE", DeviceRequest(handle), rc);
  return rc == 0;
}

// The URLs the driver requests for one sequence, taken from what the emulator received.
std::vector<std::string> SequenceUrls() {
  return fpbench::UrlsRequestedBy(Env().emu, DriverSequence, "driver sequence failed");
}

void BM_DriverOpenStatusClose(benchmark::State& state) {
  for (auto _ : state) {
    if (!DriverSequence()) state.SkipWithError("driver sequence failed");
  }
  state.counters["exchanges"] = static_cast<double>(SequenceUrls().size());
}

void BM_BareHttpSameExchanges(benchmark::State& state) {
  const std::vector<std::string> urls = SequenceUrls();
  BareLoop bare;
  for (auto _ : state) {
    if (!bare.Run(urls)) state.SkipWithError("GET failed");
  }
  state.counters["exchanges"] = static_cast<double>(urls.size());
}

// Both sequences in turn within each iteration, so that both see the same machine load; the
// counters give the mean time of each and the driver's share beyond the bare exchanges.
void BM_DriverAgainstBareInTurn(benchmark::State& state) {
  const std::vector<std::string> urls = SequenceUrls();
  BareLoop bare;
  using Clock = std::chrono::steady_clock;
  Clock::duration driverTime{}, bareTime{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (!DriverSequence()) state.SkipWithError("driver sequence failed");
    const auto t1 = Clock::now();
    if (!bare.Run(urls)) state.SkipWithError("GET failed");
    const auto t2 = Clock::now();
    driverTime += t1 - t0;
    bareTime += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  const double driverMs = std::chrono::duration<double, std::milli>(driverTime).count() / n;
  const double bareMs = std::chrono::duration<double, std::milli>(bareTime).count() / n;
  state.counters["driver_ms"] = driverMs;
  state.counters["bare_ms"] = bareMs;
  state.counters["overhead_pct"] = 100.0 * (driverMs - bareMs) / bareMs;
}

}  // namespace

BENCHMARK(BM_DriverOpenStatusClose)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BareHttpSameExchanges)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DriverAgainstBareInTurn)->Unit(benchmark::kMillisecond)->MinTime(4.0);

BENCHMARK_MAIN();
