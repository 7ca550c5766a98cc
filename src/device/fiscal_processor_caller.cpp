#include "device/fiscal_processor_caller.h"

#include "base/errors.h"

namespace fp {

void kFiscalProcessorCaller::Init() {
  if (fName.empty()) return;
  // Refusing here keeps a device that depends on a processor from running without it.
  throw kException("Unable to load library " + fName + ": processor libraries are not supported by this build");
}

bool kFiscalProcessorCaller::OpenProcessor(const std::string&) { return true; }

bool kFiscalProcessorCaller::ProcessReceipt(const std::string&, std::string&) { return true; }

bool kFiscalProcessorCaller::ProcessReprintReceipt(const std::string&, std::string&) { return true; }

bool kFiscalProcessorCaller::ProcessXReport(const std::string&, vnFiscalCounters&) { return false; }

bool kFiscalProcessorCaller::ProcessZReport(const std::string&, vnFiscalCounters&) { return false; }

void kFiscalProcessorCaller::ProcessGetStatus(const std::string&, bool&, DateTime&, bool&, std::string&,
                                              std::string&, std::string&) {}

}  // namespace fp
