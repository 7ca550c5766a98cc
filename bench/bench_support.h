// What the driver benchmarks share: the driver loaded through its C interface, the printer
// emulator started on loopback with the driver's payment table, and a bare libcurl loop that
// repeats the driver's HTTP exchanges (one connection per request, as the driver makes them).
#pragma once

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
#include "drivers/tarvolx40fpeth/protocol.h"
#include "fpemu/printer_emulator.h"

namespace fpbench {

using Bstr = char16_t*;
using Export = int16_t (*)(Bstr, Bstr*, Bstr*);

// The built libfpdriver, loaded as a host loads it.
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
    aResult = fn(xml, &out, &err);
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

// Gives the driver a private application folder named after aName and this process, starts
// aEmu with the payment table the driver writes, and readies libcurl.
inline void StartEmulator(fp::emu::PrinterEmulator& aEmu, const std::string& aName) {
  const auto dir = std::filesystem::temp_directory_path() / (aName + "_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  aEmu.Start();
  const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) aEmu.SetPaymentSlot(slot, table[slot - 1]);
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

// The text between <Handle> and </Handle> in an OPEN answer.
inline std::string HandleOf(const std::string& aOutput) {
  const size_t a = aOutput.find("<Handle>"), b = aOutput.find("</Handle>");
  return aOutput.substr(a + 8, b - a - 8);
}

// The URLs the driver requested while aRun ran, taken from what aEmu received.
template <typename F>
std::vector<std::string> UrlsRequestedBy(fp::emu::PrinterEmulator& aEmu, F aRun, const char* aFailure) {
  aEmu.ClearPackets();
  if (!aRun()) throw std::runtime_error(aFailure);
  std::vector<std::string> urls;
  for (const auto& p : aEmu.Packets())
    urls.push_back(aEmu.BaseUrl() + fp::tarvol::BuildCommandPath("4", 0, p.fLetter, p.fData));
  return urls;
}

inline size_t Collect(char* aData, size_t aSize, size_t aCount, void* aOut) {
  static_cast<std::string*>(aOut)->append(aData, aSize * aCount);
  return aSize * aCount;
}

// A bare libcurl GET loop over a list of URLs: one connection per request, as the driver
// makes them. With aLikeDriver it also sends the driver's headers, HTTP version, time limits
// and user agent.
class BareLoop {
 public:
  explicit BareLoop(bool aLikeDriver = false)
      : fCurl(curl_easy_init()), fHeaders(curl_slist_append(nullptr, "Connection: close")) {
    if (aLikeDriver) fHeaders = curl_slist_append(fHeaders, "Content-Type: text/plain; charset=utf-8");
    curl_easy_setopt(fCurl, CURLOPT_HTTPHEADER, fHeaders);
    curl_easy_setopt(fCurl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(fCurl, CURLOPT_NOSIGNAL, 1L);
    if (aLikeDriver) {
      curl_easy_setopt(fCurl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
      curl_easy_setopt(fCurl, CURLOPT_CONNECTTIMEOUT, 5L);
      curl_easy_setopt(fCurl, CURLOPT_TIMEOUT, 12L);
      curl_easy_setopt(fCurl, CURLOPT_USERAGENT, "Varnel BRV Driver");
    }
    curl_easy_setopt(fCurl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(fCurl, CURLOPT_WRITEDATA, &fBody);
  }
  ~BareLoop() {
    curl_slist_free_all(fHeaders);
    curl_easy_cleanup(fCurl);
  }
  BareLoop(const BareLoop&) = delete;
  BareLoop& operator=(const BareLoop&) = delete;

  bool Run(const std::vector<std::string>& aUrls) {
    for (const auto& url : aUrls) {
      fBody.clear();
      curl_easy_setopt(fCurl, CURLOPT_URL, url.c_str());
      if (curl_easy_perform(fCurl) != CURLE_OK) return false;
      benchmark::DoNotOptimize(fBody);
    }
    return true;
  }

 private:
  CURL* fCurl;
  curl_slist* fHeaders;
  std::string fBody;
};

}  // namespace fpbench
