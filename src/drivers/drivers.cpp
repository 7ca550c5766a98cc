#include "drivers/drivers.h"

namespace fp {

void RegisterModelDrivers(const DriverRegistrar& aAdd) {
  // The RT printer driver registers itself here once it exists.
  (void)aAdd;
}

}  // namespace fp
