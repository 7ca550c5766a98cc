// The class reference of a model driver: the registry keeps one per driver name and calls it
// to construct a new device for a request.
#pragma once

#include <memory>

namespace fp {

class kFiscalPrinterDevice;
class kReceiptPrinterHandler;

using kFiscalPrinterClass = std::unique_ptr<kFiscalPrinterDevice> (*)(kReceiptPrinterHandler& aHandler);

}  // namespace fp
