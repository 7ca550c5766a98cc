// OPEN + GETSTATUS + CLOSE of the RT printer driver through the C interface, against the
// printer emulator on loopback, next to the same HTTP exchanges made by a bare libcurl loop
// (one connection per request, as the driver does). The difference is what the driver adds
// beyond the exchanges themselves: request parsing, logging, frame decoding, result XML.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "drivers/tarvolx40fpeth/protocol.h"
#include "fpemu/printer_emulator.h"

namespace {

using Bstr = char16_t*;
using Export = uint16_t (*)(Bstr, Bstr*, Bstr*);

class Library {
 public:
  Library() {
    fHandle = dlopen(FPDRIVER_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    if (fHandle == nullptr) throw std::runtime_error(dlerror());
    fAllocLen = reinterpret_cast<Bstr (*)(const char16_t*, unsigned)>(dlsym(fHandle, "SysAllocStringLen"));
    fFree = reinterpret_cast<void (*)(Bstr)>(dlsym(fHandle, "SysFreeString"));
    fLen = reinterpret_cast<unsigned (*)(Bstr)>(dlsym(fHandle, "SysStringLen"));
  }
  std::string Call(const char* aExport, const std::string& aXml, int16_t& aResult) {
    auto fn = reinterpret_cast<Export>(dlsym(fHandle, aExport));
    const std::u16string text = fp::Utf8ToUtf16(aXml);
    Bstr xml = fAllocLen(text.data(), static_cast<unsigned>(text.size()));
    Bstr out = nullptr, err = nullptr;
    aResult = static_cast<int16_t>(fn(xml, &out, &err));
    std::string output = out ? fp::Utf16ToUtf8(std::u16string_view(out, fLen(out))) : "";
    fFree(xml);
    fFree(out);
    fFree(err);
    return output;
  }

 private:
  void* fHandle = nullptr;
  Bstr (*fAllocLen)(const char16_t*, unsigned) = nullptr;
  void (*fFree)(Bstr) = nullptr;
  unsigned (*fLen)(Bstr) = nullptr;
};

// One emulator and one loaded library for the whole run.
struct Setup {
  Setup() {
    const auto dir = std::filesystem::temp_directory_path() / ("fp_driver_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
    emu.Start();
    const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
    curl_global_init(CURL_GLOBAL_DEFAULT);
  }
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
  const size_t a = out.find("<Handle>"), b = out.find("</Handle>");
  const std::string handle = out.substr(a + 8, b - a - 8);
  Env().lib.Call("GETSTATUS", DeviceRequest(handle), rc);
  if (rc != 0) return false;
  Env().lib.Call("CLOSE", DeviceRequest(handle), rc);
  return rc == 0;
}

size_t Collect(char* aData, size_t aSize, size_t aCount, void* aOut) {
  static_cast<std::string*>(aOut)->append(aData, aSize * aCount);
  return aSize * aCount;
}

// The URLs the driver requests for one sequence, taken from what the emulator received.
std::vector<std::string> SequenceUrls() {
  Env().emu.ClearPackets();
  if (!DriverSequence()) throw std::runtime_error("driver sequence failed");
  std::vector<std::string> urls;
  for (const auto& p : Env().emu.Packets())
    urls.push_back(Env().emu.BaseUrl() + fp::tarvol::BuildCommandPath("4", 0, p.fLetter, p.fData));
  return urls;
}

void BM_DriverOpenStatusClose(benchmark::State& state) {
  for (auto _ : state) {
    if (!DriverSequence()) state.SkipWithError("driver sequence failed");
  }
  state.counters["exchanges"] = static_cast<double>(SequenceUrls().size());
}

// A bare libcurl GET loop over aUrls: one connection per request, as the driver makes them.
class BareLoop {
 public:
  BareLoop() : fCurl(curl_easy_init()), fHeaders(curl_slist_append(nullptr, "Connection: close")) {
    curl_easy_setopt(fCurl, CURLOPT_HTTPHEADER, fHeaders);
    curl_easy_setopt(fCurl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(fCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(fCurl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(fCurl, CURLOPT_WRITEDATA, &fBody);
  }
  ~BareLoop() {
    curl_slist_free_all(fHeaders);
    curl_easy_cleanup(fCurl);
  }
  bool Run(const std::vector<std::string>& aUrls) {
    for (const auto& url : aUrls) {
      fBody.clear();
      curl_easy_setopt(fCurl, CURLOPT_URL, url.c_str());
      if (curl_easy_perform(fCurl) != CURLE_OK) return false;
    }
    return true;
  }

 private:
  CURL* fCurl;
  curl_slist* fHeaders;
  std::string fBody;
};

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
