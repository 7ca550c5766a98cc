// A 50-line sale through PRINTFR against the printer emulator on loopback, next to the very
// same HTTP exchanges made by a bare libcurl loop (one connection per request, as the driver
// makes them): the difference is what the driver adds to the exchanges (request parsing,
// logging, packet building, frame decoding, result XML). And the picture of a 60-line
// receipt: drawing, JPEG and base64.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "device/receipt_image.h"
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
    const auto dir = std::filesystem::temp_directory_path() / ("fp_receipts_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
    emu.Start();
    const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int16_t rc = 0;
    const std::string out =
        lib.Call("OPEN",
                 "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>bench</LogId>"
                 "<Connection><Type>HTTP</Type><URL>" +
                     emu.BaseUrl() + "</URL></Connection></ReceiptPrinterManager>",
                 rc);
    if (rc != 0) throw std::runtime_error("OPEN failed: " + out);
    const size_t a = out.find("<Handle>"), b = out.find("</Handle>");
    request = "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + out.substr(a + 8, b - a - 8) +
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

size_t Collect(char* aData, size_t aSize, size_t aCount, void* aOut) {
  static_cast<std::string*>(aOut)->append(aData, aSize * aCount);
  return aSize * aCount;
}

// The URLs the driver requests for one receipt, taken from what the emulator received.
std::vector<std::string> ReceiptUrls() {
  Env().emu.ClearPackets();
  if (!PrintSale()) throw std::runtime_error("PRINTFR failed");
  std::vector<std::string> urls;
  for (const auto& p : Env().emu.Packets())
    urls.push_back(Env().emu.BaseUrl() + fp::tarvol::BuildCommandPath("4", 0, p.fLetter, p.fData));
  return urls;
}

void BM_PrintFR50Lines(benchmark::State& state) {
  for (auto _ : state) {
    if (!PrintSale()) state.SkipWithError("PRINTFR failed");
  }
  state.counters["exchanges"] = static_cast<double>(ReceiptUrls().size());
}

void BM_BareHttpSameExchanges(benchmark::State& state) {
  const std::vector<std::string> urls = ReceiptUrls();
  CURL* curl = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Connection: close");
  headers = curl_slist_append(headers, "Content-Type: text/plain; charset=utf-8");
  std::string body;
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 12L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Varnel BRV Driver");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  for (auto _ : state) {
    for (const auto& url : urls) {
      body.clear();
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
      if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("GET failed");
      benchmark::DoNotOptimize(body);
    }
  }
  state.counters["exchanges"] = static_cast<double>(urls.size());
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
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
