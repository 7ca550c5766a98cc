// This build talks to no print spooler (CUPS is not one of its dependencies): no printer is
// installed as far as the spooler transport can tell, so a raw write answers false with
// the reason and a page print reports the printer as not found. The transport is still
// created, logs and reports like any other.
#include "base/errors.h"
#include "io/spool_printer.h"

namespace fp {

namespace {

class kSpooler_None : public kSpooler {
 public:
  bool WriteRaw(const std::string& aPrinterName, const std::string&, const std::string&, std::string& aError) override {
    aError = "Printer " + aPrinterName + " can't be opened: no print spooler on this platform";
    return false;
  }
  std::vector<std::string> InstalledPrinters() override { return {}; }
  kPrinterPage PageOf(const std::string& aPrinterName) override {
    throw kException("Printer " + aPrinterName + " can't be opened: no print spooler on this platform");
  }
  void PrintImage(const std::string& aPrinterName, const std::string&, const kSpoolBitmap&,
                  const kPagePlacement&) override {
    throw kException("Printer " + aPrinterName + " can't be opened: no print spooler on this platform");
  }
};

}  // namespace

std::unique_ptr<kSpooler> CreateSpooler() { return std::make_unique<kSpooler_None>(); }

}  // namespace fp
