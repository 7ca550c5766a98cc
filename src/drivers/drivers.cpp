#include "drivers/drivers.h"

#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"

namespace fp {

void RegisterModelDrivers(const DriverRegistrar& aAdd) {
  aAdd(kFiscalPrinter_TARVOLX40FPETH::kDriverName, &kFiscalPrinter_TARVOLX40FPETH::Create);
}

}  // namespace fp
