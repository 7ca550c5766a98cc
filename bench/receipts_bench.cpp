// A 50-line sale through PRINTFR against the printer emulator on loopback, next to the very
// same HTTP exchanges made by a bare libcurl loop (one connection per request, as the driver
// makes them): the difference is what the driver adds to the exchanges (request parsing,
// logging, packet building, frame decoding, result XML). And the picture of a 60-line
// receipt: drawing, JPEG and base64.
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "device/receipt_image.h"

namespace {

using fpbench::Library;

std::string SaleOf50Lines() {
  std::string lines;
  for (int i = 1; i <= 50; ++i)
    lines += "<productsale><Code>" + std::to_string(1000 + i) + "</Code><Description>Articolo numero " +
             std::to_string(i) + "</Description><Quantity>1</Quantity><Department>" + std::to_string(1 + i % 3) +
             "</Department><Price>1.00</Price><Amount>1.00</Amount></productsale>";
  return "<Receipt><Type>Sale</Type><Lines>" + lines +
         "</Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>50</Amount></Payment></Payments></Receipt>";
}

// One emulator, one loaded library and one open device for the whole run.
struct Setup {
  Setup() {
    fpbench::StartEmulator(emu, "fp_receipts_bench");
    int16_t rc = 0;
    const std::string out =
        lib.Call("OPEN",
                 "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>bench</LogId>"
                 "<Connection><Type>HTTP</Type><URL>" +
                     emu.BaseUrl() + "</URL></Connection></ReceiptPrinterManager>",
                 rc);
    if (rc != 0) throw std::runtime_error("OPEN failed: " + out);
    request = "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + fpbench::HandleOf(out) +
              "</Handle>" + SaleOf50Lines() + "</ReceiptPrinterManager>";
  }
  fp::emu::PrinterEmulator emu;
  Library lib;
  std::string request;
};

Setup& Env() {
  static Setup setup;
  return setup;
}

bool PrintSale() {
  int16_t rc = 0;
  Env().lib.Call("PRINTFR", Env().request, rc);
  return rc == 0;
}

// The URLs the driver requests for one receipt, taken from what the emulator received.
std::vector<std::string> ReceiptUrls() { return fpbench::UrlsRequestedBy(Env().emu, PrintSale, "PRINTFR failed"); }

void BM_PrintFR50Lines(benchmark::State& state) {
  for (auto _ : state) {
    if (!PrintSale()) state.SkipWithError("PRINTFR failed");
  }
  state.counters["exchanges"] = static_cast<double>(ReceiptUrls().size());
}

void BM_BareHttpSameExchanges(benchmark::State& state) {
  const std::vector<std::string> urls = ReceiptUrls();
  fpbench::BareLoop bare(true);
  for (auto _ : state) {
    if (!bare.Run(urls)) state.SkipWithError("GET failed");
  }
  state.counters["exchanges"] = static_cast<double>(urls.size());
}

std::string ReceiptText60Lines() {
  std::string text;
  for (int i = 1; i <= 60; ++i) {
    std::string line = "Articolo numero " + std::to_string(i);
    text += line + std::string(40 - line.size(), ' ') + "1,00\r\n";
  }
  return text;
}

void BM_ReceiptPicture60Lines(benchmark::State& state) {
  const std::string text = ReceiptText60Lines();
  fp::ReceiptImageBase64(text);  // the font is looked up once per process
  size_t size = 0;
  for (auto _ : state) {
    const std::string image = fp::ReceiptImageBase64(text);
    size = image.size();
    benchmark::DoNotOptimize(image);
  }
  state.counters["base64_chars"] = static_cast<double>(size);
}

}  // namespace

BENCHMARK(BM_PrintFR50Lines)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BareHttpSameExchanges)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReceiptPicture60Lines)->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
