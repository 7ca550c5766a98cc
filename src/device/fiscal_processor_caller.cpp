#include "device/fiscal_processor_caller.h"

#include "base/errors.h"
#include "device/fiscal_printer_device.h"
#include "documents/message_line.h"
#include "documents/nf_receipt.h"
#include "documents/request_element.h"

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

bool kFiscalProcessorCaller::PrintReport(const std::string& aText, const std::string& aLayout,
                                         kFiscalPrinterDevice& aPrinter) {
  kNFReceipt document;
  document.fDefaultLayout = aLayout.empty();
  document.fLayout = aLayout.empty() ? "DocumentLayout" : aLayout;
  aPrinter.BeginNonFiscalReceipt(document);
  bool first = true;
  for (const std::string& text : SplitTextLines(aText)) {
    auto line = kReceiptMessageTextLine::CreateNF(&document);
    line->fValue = text;
    if (first) {
      line->fEffects = EffectBit(le_bold);
      line->fSize = 2;
      line->fAlignment = la_center;
    } else {
      line->fEffects = 0;
      line->fSize = 1;
      line->fAlignment = la_left;
    }
    first = false;
    aPrinter.PrintNonFiscalTextLine(nullptr, *line);
  }
  aPrinter.EndNonFiscalReceipt(document);
  return true;
}

}  // namespace fp
