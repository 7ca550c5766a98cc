// The faults the fpemu program can start with, so a person can watch the driver meet them.
#pragma once

#include <ostream>
#include <string>

#include "fpemu/printer_emulator.h"

namespace fp::emu {

// Applies "KIND[:ARG...]" to aEmulator. False, with the reason in aError, for an unknown
// kind or wrong arguments.
bool ApplyFault(PrinterEmulator& aEmulator, const std::string& aSpec, std::string& aError);

// One line per kind: its syntax and what it does.
void ListFaults(std::ostream& aOut);

}  // namespace fp::emu
