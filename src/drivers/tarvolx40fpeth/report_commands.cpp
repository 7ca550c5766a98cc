// Report and journal hooks of the RT printer: the X and Z reports, and the reading of the
// electronic journal piece by piece, from which the day's totals are taken after a Z report.
#include <atomic>
#include <exception>
#include <optional>
#include <string>

#include "base/text.h"
#include "documents/enums.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "drivers/tarvolx40fpeth/journal_read.h"
#include "drivers/tarvolx40fpeth/zreport_reader.h"
#include "io/io_handler.h"

namespace fp {

namespace {

// Closing the day makes the printer write and print the whole report before it answers.
constexpr int32_t kZReportReadTimeoutMs = 30000;

// What the journal is asked for ("@" selection codes).
enum JournalKind { jkZReports = 0, jkFiscalReceipts = 1, jkNonFiscalReceipts = 2, jkCreditNotes = 3 };

std::string Ddmmyy(DateTime aDate) {
  const DateTimeParts p = DecodeDateTime(aDate);
  return tarvol::TwoDigits(p.day) + tarvol::TwoDigits(p.month) + tarvol::TwoDigits(p.year % 100);
}

// Restores the transport's read timeout however the command ends.
class TemporaryReadTimeout {
 public:
  TemporaryReadTimeout(kIOHandler& aTransport, int32_t aTimeout) : fTransport(aTransport) {
    fTransport.SetTemporaryReadTimeout(aTimeout);
  }
  ~TemporaryReadTimeout() { fTransport.ResetTemporaryReadTimeout(); }
  TemporaryReadTimeout(const TemporaryReadTimeout&) = delete;
  TemporaryReadTimeout& operator=(const TemporaryReadTimeout&) = delete;

 private:
  kIOHandler& fTransport;
};

bool IsEndOfJournal(int aReplyCode) {
  return aReplyCode == tarvol::kReplyNoSdData || aReplyCode == tarvol::kReplyNoMoreSdData;
}

// One journal read: select the documents with "@", then fetch the text with "*" until the
// printer says there is no more. Returns the result of the last command sent; aText gets the
// lines kept so far even when a command fails halfway.
bool ReadJournal(kFiscalPrinter_TARVOLX40FPETH& aPrinter, JournalKind aKind, DateTime aStartDate,
                 DateTime aEndDate, std::string& aText) {
  aPrinter.ResetCounters();
  static constexpr const char* kSelection[4][2] = {{"7", "1"}, {"3", "1"}, {"3", "4"}, {"7", "1"}};
  const auto& codes = kSelection[aKind];
  // The last field asks the printer to hand the text back ("0") rather than print a copy
  // ("1"); the text is read back whatever the destination, so it is always "0".
  bool ok = aPrinter.Send("@", std::string("/") + codes[0] + "/" + codes[1] + "////" + Ddmmyy(aStartDate) + "/" +
                                   Ddmmyy(aEndDate) + "/0/");

  tarvol::kJournalCollector journal(aKind == jkZReports);
  if (ok) ok = aPrinter.FetchJournal(journal);

  aText = journal.TakeText();
  if (aKind == jkZReports) tarvol::ReadZReports(aText, aPrinter.fCounters);
  return ok;
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::FetchJournal(tarvol::kJournalCollector& aJournal) {
  const int maxPieces = tarvol::MaxJournalPieces();
  const auto deadline = fNow() + tarvol::kJournalReadTime;
  // Each stop keeps what was read: the host gets that text with the error, which counts
  // its lines as the result shows them.
  auto stop = [&](const std::string& aReason) {
    RecordError(tarvol::kReplyCodeErrorNumber,
                aReason + "; the " + std::to_string(aJournal.ShownLineCount()) + " lines read so far are returned");
    return false;
  };
  for (int pieces = 0; !IsEndOfJournal(DeviceStatus().ReplyCode); ++pieces) {
    if (pieces == maxPieces) return stop("The journal did not end after " + std::to_string(maxPieces) + " pieces");
    if (fNow() >= deadline)
      return stop("The journal read took longer than " + std::to_string(tarvol::kJournalReadTime.count()) + " s");
    if (!Send("*", "/0/10/")) return false;
    if (!aJournal.AddPiece(ReplyData()))
      return stop("The journal text would pass the " + std::to_string(tarvol::MaxJournalBytes()) +
                  " bytes a result may take");
  }
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintXReport(kXReport&) {
  // The second part adds the summary of the day's payments.
  if (!Send("x", "/1////")) return false;
  return Send("x", "/2////");
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintZReport(kZReport*) {
  TemporaryReadTimeout slow(IOHandler(), kZReportReadTimeoutMs);
  return Send("x", "/7////");
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadZReportTotals() {
  // Nothing of an earlier report stands in for this one, whatever step fails below.
  ResetCounters();
  fCounters.ZReportDateTime = 0;
  fCounters.Text.clear();
  // The journal is selected by date, and a date may hold several closings: the one just
  // taken is found by its number, which the printer's closing counter now gives.
  if (!Send("i", "//")) return false;
  std::string data = ReplyData();
  tarvol::NextField(data);
  tarvol::NextField(data);
  const std::optional<int32_t> closing = tarvol::DigitsValue(tarvol::NextField(data));
  if (!closing) {
    RecordError(tarvol::kReplyCodeErrorNumber, "The printer gave no closing number after the Z report");
    return false;
  }
  // The journal dates its documents by the printer's clock, which need not show the
  // computer's day (a printer set by hand, a till near midnight). The day before is read as
  // well, for a report taken just before midnight and read back just after it.
  std::optional<DateTime> printerNow;
  if (!ReadPrinterClock(printerNow)) return false;
  if (!printerNow) {
    RecordError(tarvol::kReplyCodeErrorNumber, "The printer's clock could not be read to find the Z report");
    return false;
  }
  const DateTime day = DateOf(*printerNow);
  std::string text;
  bool found = false;
  if (PrintEJZReports(rd_Memory, day - 1, day + *EncodeTime(23, 59, 59, 999), text)) {
    found = tarvol::ReadZReport(text, *closing, fCounters);
    if (!found)
      RecordError(tarvol::kReplyCodeErrorNumber, "Z report " + std::to_string(*closing) + " not found in the journal");
  }
  if (!found) {
    // A journal read that stopped part way may have summed other reports: none of it stays.
    ResetCounters();
    fCounters.ZReportDateTime = 0;
    fCounters.Text.clear();
    fCounters.ZReportNumber = *closing;
  }
  return found;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJZReports(vnEJReportDestination, DateTime aStartDate,
                                                    DateTime aEndDate, std::string& aText) {
  return ReadJournal(*this, jkZReports, aStartDate, aEndDate, aText);
}

// The printer selects receipts by date only: the number range is not part of its request.
bool kFiscalPrinter_TARVOLX40FPETH::PrintEJFiscalReceipts(vnEJReportDestination, int32_t,
                                                          DateTime aStartDate, DateTime aEndDate, int32_t,
                                                          std::string& aText) {
  return ReadJournal(*this, jkFiscalReceipts, aStartDate, aEndDate, aText);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJNonFiscalReceipts(vnEJReportDestination, int32_t,
                                                             DateTime aStartDate, DateTime aEndDate, int32_t,
                                                             std::string& aText) {
  return ReadJournal(*this, jkNonFiscalReceipts, aStartDate, aEndDate, aText);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintEJCreditNotes(vnEJReportDestination, int32_t,
                                                       DateTime aStartDate, DateTime aEndDate, int32_t,
                                                       std::string& aText) {
  return ReadJournal(*this, jkCreditNotes, aStartDate, aEndDate, aText);
}

// This printer keeps no invoices in its journal and writes no journal files.
bool kFiscalPrinter_TARVOLX40FPETH::PrintEJInvoices(vnEJReportDestination, int32_t, DateTime, DateTime, int32_t,
                                                    std::string&) {
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::GetEJFiles(vnEJFilesRequestType, const std::string&, DateTime, DateTime,
                                               int32_t&) {
  return true;
}

}  // namespace fp
