// The emulator's state file: a small XML document holding what a printer keeps across a
// power cycle (clock offset, fiscal day, counters, tables, journal).
#pragma once

#include <string>

#include "fpemu/printer_model.h"

namespace fp::emu {

bool SaveStateFile(PrinterModel& aModel, const std::string& aPath);
// Leaves the model unchanged when the file is missing or unreadable.
bool LoadStateFile(PrinterModel& aModel, const std::string& aPath);

}  // namespace fp::emu
