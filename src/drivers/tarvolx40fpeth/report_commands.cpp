// Report and journal hooks of the RT printer.
// Not carried by this driver yet: every hook records that on the transport and fails.
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "io/io_handler.h"

namespace fp {

namespace {

bool NotSupportedYet(kIOHandler& aTransport) {
  aTransport.SetCustomError(tarvol::kReplyCodeErrorNumber, "Reports are not supported yet by this driver");
  return false;
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::PrintXReport(kXReport& aReport) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintZReport(kZReport* aReport) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJZReports(vnEJReportDestination aDestination, DateTime aStartDate, DateTime aEndDate, std::string& aText) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJFiscalReceipts(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate, DateTime aEndDate, int32_t aEndNumber, std::string& aText) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJNonFiscalReceipts(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate, DateTime aEndDate, int32_t aEndNumber, std::string& aText) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJCreditNotes(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate, DateTime aEndDate, int32_t aEndNumber, std::string& aText) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJInvoices(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate, DateTime aEndDate, int32_t aEndNumber, std::string& aText) { return NotSupportedYet(*fIOHandler); }

bool kFiscalPrinter_TARVOLX40FPETH::GetEJFiles(vnEJFilesRequestType aRequestType, const std::string& aOutputDir, DateTime aStartDate, DateTime aEndDate, int32_t& aFilesCount) { return NotSupportedYet(*fIOHandler); }

}  // namespace fp
