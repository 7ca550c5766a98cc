// Per-call cost of the export frame for a request that fails before any device: text
// conversion, parsing of the device section and the documents, device lookup, result
// formatting. Reports allocations per call through a counting global operator new.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "base/text.h"
#include "entry/request_frame.h"
#include "fpdriver/fpdriver.h"

namespace {
std::atomic<uint64_t> gAllocations{0};
}

// The replaced operators below pair malloc with free on purpose; GCC cannot see that both
// halves are replaced together and warns about each inlined delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t aSize) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(aSize != 0 ? aSize : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t aSize) { return operator new(aSize); }
void* operator new(std::size_t aSize, const std::nothrow_t&) noexcept {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(aSize != 0 ? aSize : 1);
}
void* operator new[](std::size_t aSize, const std::nothrow_t& aTag) noexcept { return operator new(aSize, aTag); }
void operator delete(void* aPtr) noexcept { std::free(aPtr); }
void operator delete[](void* aPtr) noexcept { std::free(aPtr); }
void operator delete(void* aPtr, std::size_t) noexcept { std::free(aPtr); }
void operator delete[](void* aPtr, std::size_t) noexcept { std::free(aPtr); }

namespace {

// About 2 KB: a full device section with a dozen parameters, and an X report document.
std::string Request2K() {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ReceiptPrinterManager>\n"
      "  <Type>FiscalPrinter</Type>\n  <Driver>VNRP_TARVOLX40FPETH_10</Driver>\n  <Method>GetStatus</Method>\n"
      "  <Handle>0</Handle>\n  <LogId>TILL-001</LogId>\n"
      "  <Connection>\n    <Type>HTTP</Type>\n    <Address>192.168.10.20</Address>\n    <Port>80</Port>\n"
      "    <URL>http://192.168.10.20/</URL>\n    <AuthType>Basic</AuthType>\n    <User>cashier</User>\n"
      "    <Password>secret</Password>\n    <ConnectTimeout>3000</ConnectTimeout>\n"
      "    <ReadTimeout>10000</ReadTimeout>\n  </Connection>\n  <Parameters>\n";
  for (int i = 0; xml.size() < 1900; ++i)
    xml += "    <Setting" + std::to_string(i) + ">value number " + std::to_string(i) + " of the till</Setting" +
           std::to_string(i) + ">\n";
  xml += "  </Parameters>\n  <XReport><Layout>Standard</Layout></XReport>\n</ReceiptPrinterManager>\n";
  return xml;
}

void Report(benchmark::State& aState, uint64_t aAllocationsBefore) {
  aState.counters["allocs/call"] = benchmark::Counter(
      static_cast<double>(gAllocations.load() - aAllocationsBefore) / static_cast<double>(aState.iterations()));
  aState.counters["request_bytes"] = static_cast<double>(Request2K().size());
}

void BM_FrameFailsBeforeDevice(benchmark::State& aState, fp::vnExport aExport) {
  const std::u16string request = fp::Utf8ToUtf16(Request2K());
  fp::RunExport(aExport, request);  // first call loads the drivers
  const uint64_t before = gAllocations.load();
  for (auto _ : aState) {
    fp::kExportOutcome outcome = fp::RunExport(aExport, request);
    benchmark::DoNotOptimize(outcome.fResult);
  }
  Report(aState, before);
}
BENCHMARK_CAPTURE(BM_FrameFailsBeforeDevice, GETSTATUS, fp::vnExport::GETSTATUS);
BENCHMARK_CAPTURE(BM_FrameFailsBeforeDevice, PRINTXR_with_code_page_step, fp::vnExport::PRINTXR);

// The same through the shared library's C interface, as a host calls it.
void BM_ExportThroughLibrary(benchmark::State& aState) {
  void* lib = dlopen(FPDRIVER_SO_PATH, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    aState.SkipWithError(dlerror());
    return;
  }
  auto getStatus = reinterpret_cast<int16_t (*)(BSTR, BSTR*, BSTR*)>(dlsym(lib, "GETSTATUS"));
  auto allocLen = reinterpret_cast<BSTR (*)(const OLECHAR*, unsigned)>(dlsym(lib, "SysAllocStringLen"));
  auto release = reinterpret_cast<void (*)(BSTR)>(dlsym(lib, "SysFreeString"));
  const std::u16string text = fp::Utf8ToUtf16(Request2K());
  BSTR request = allocLen(text.data(), static_cast<unsigned>(text.size()));
  BSTR output = nullptr;
  BSTR error = nullptr;
  getStatus(request, &output, &error);
  release(output);
  release(error);
  const uint64_t before = gAllocations.load();
  for (auto _ : aState) {
    int16_t result = getStatus(request, &output, &error);
    benchmark::DoNotOptimize(result);
    release(output);
    release(error);
  }
  Report(aState, before);
  release(request);
}
BENCHMARK(BM_ExportThroughLibrary);

}  // namespace

BENCHMARK_MAIN();
