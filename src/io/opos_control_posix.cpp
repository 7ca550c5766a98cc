// OPOS controls are COM objects that exist only on Windows; here there is none to create.
#include "base/errors.h"
#include "io/opos_control.h"

namespace fp {

std::unique_ptr<kOPOSFiscalPrinter> CreateOPOSFiscalPrinter() {
  throw kException("OPOS Fiscal Printer control is not installed: OPOS controls are not available on this platform");
}

}  // namespace fp
