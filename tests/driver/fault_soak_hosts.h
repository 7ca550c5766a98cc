// The two roads of the fault soak's calls. kInProcessHost runs the exports through the
// request frame linked into the test (or bench) program, and makes the device's pauses and
// steady clock virtual once it is open: a printer that stays silent costs no real time.
// kLibraryHost calls the built shared library as a host does; its pauses are real.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "driver/fault_soak.h"
#include "support/fpdriver_library.h"

#if defined(FP_SOAK_IN_PROCESS)
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "entry/fiscal_printer_wrapper.h"
#include "entry/fiscal_printers.h"
#include "entry/request_frame.h"
#endif

namespace fp::soak {

class kLibraryHost : public kSoakHost {
 public:
  kSoakCall Call(const std::string& aExport, const std::string& aXml) override {
    const test::kRawAnswer raw = test::kLoadedLibrary::Get().Call(aExport.c_str(), Utf8ToUtf16(aXml));
    return {raw.result, Utf16ToUtf8(raw.output), Utf16ToUtf8(raw.error)};
  }
};

#if defined(FP_SOAK_IN_PROCESS)
class kInProcessHost : public kSoakHost {
 public:
  kSoakCall Call(const std::string& aExport, const std::string& aXml) override {
    fVirtualAtStart = fVirtualMs;
    for (size_t i = 0; i < kExportCount; ++i) {
      const auto e = static_cast<vnExport>(i);
      if (aExport != ExportProfile(e).fName) continue;
      const kExportOutcome o = RunExport(e, Utf8ToUtf16(aXml));
      return {o.fResult, Utf16ToUtf8(o.fOutput), Utf16ToUtf8(o.fErrorMessage)};
    }
    throw std::runtime_error("no export " + aExport);
  }
  void Opened(const std::string& aHandle) override {
    kDeviceLease lease = DriverState().FiscalPrinters.Acquire(std::stoi(aHandle));
    auto* device = lease ? dynamic_cast<kFiscalPrinter_TARVOLX40FPETH*>(&lease.Device()) : nullptr;
    if (device == nullptr) throw std::runtime_error("the soak's device is not open");
    // Every pause moves the clock on instead of waiting; the clock also counts real time,
    // so the bounds that read it see both.
    auto sleeper = [this](int aMs) { fVirtualMs += aMs; };
    auto clock = [this] { return std::chrono::steady_clock::now() + std::chrono::milliseconds(fVirtualMs); };
    device->SetSleeper(sleeper);
    device->SetSteadyClock(clock);
    device->SetOutcomeWaits(sleeper, clock);
  }
  long long ElapsedMs(std::chrono::steady_clock::time_point aStart) const override {
    return kSoakHost::ElapsedMs(aStart) + (fVirtualMs - fVirtualAtStart);
  }
  long long VirtualMs() const { return fVirtualMs; }

 private:
  long long fVirtualMs = 0;
  long long fVirtualAtStart = 0;
};
#endif

}  // namespace fp::soak
