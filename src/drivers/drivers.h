// Registration of the model drivers this build carries. The library calls it once at load;
// registration is explicit so that no driver depends on a static initialiser surviving the link.
#pragma once

#include <functional>
#include <string>

#include "device/device_class.h"

namespace fp {

using DriverRegistrar = std::function<void(const std::string& aName, kFiscalPrinterClass aClass)>;

// Calls aAdd once per model driver with its registered name and class.
void RegisterModelDrivers(const DriverRegistrar& aAdd);

}  // namespace fp
