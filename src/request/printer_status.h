// The printer's status as a model driver reads it: what GETSTATUS reports (its result record
// is this status with the error tail), and what a receipt checks before it opens. A driver
// fills what its printer tells and leaves the rest as it found it.
#pragma once

#include <string>

#include "base/datetime.h"

namespace fp {

struct vnPrinterStatus {
  bool DayOpened = false;
  fp::DateTime DateTime = 0;
  bool PaperEnd = false;
  bool PaperNearEnd = false;
  bool CoverOpen = false;
  bool FiscalReceiptOpen = false;
  bool ReceiptOpen = false;
  bool TrainingMode = false;
  std::string FirmwareVersion;
  std::string SerialNumber;
  std::string FiscalMode;
};

}  // namespace fp
