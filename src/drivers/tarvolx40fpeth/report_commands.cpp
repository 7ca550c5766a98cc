// Report and journal hooks of the RT printer: the X and Z reports, and the reading of the
// electronic journal piece by piece, from which the day's totals are taken after a Z report.
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
  bool ok;
  {
    TemporaryReadTimeout slow(*fIOHandler, kZReportReadTimeoutMs);
    ok = Send("x", "/7////");
  }
  // A refused or lost closing must stay reported: the next good exchange would clear its
  // error, and the day's totals are not read from a day that did not close.
  if (!ok) return false;
  // The counters describe the Z report just taken. The journal is selected by date, and a
  // date may hold several closings: the one just taken is found by its number, which the
  // printer's closing counter now gives.
  ResetCounters();
  std::string readFailure;
  std::optional<int32_t> closing;
  try {
    if (Send("i", "//")) {
      std::string data = ReplyData();
      tarvol::NextField(data);
      tarvol::NextField(data);
      closing = tarvol::DigitsValue(tarvol::NextField(data));
      if (!closing) readFailure = "The printer gave no closing number after the Z report";
    } else {
      readFailure = ErrorMessage();
    }
    if (closing) {
      const DateTime today = DateOf(CurrentDateTime());
      const DateTime endOfDay = today + *EncodeTime(23, 59, 59, 999);
      std::string text;
      if (!PrintEJZReports(rd_Memory, today, endOfDay, text))
        readFailure = ErrorMessage();
      else if (!tarvol::ReadZReport(text, *closing, fCounters))
        readFailure = "Z report " + std::to_string(*closing) + " not found in the journal";
    }
  } catch (const std::exception& e) {
    readFailure = e.what();
  }
  if (!readFailure.empty()) {
    // The day is closed whatever the read of its totals says: reported as a failure, it
    // would make the host take a second Z report. The log keeps why the totals are missing.
    fIOHandler->WriteLog(let_error, "Z report done, its totals not read: ", readFailure);
    ResetError();
    // The text and number of an earlier report are not this one's: the number is the
    // closing the printer just counted, when it told it, and the text stays empty.
    fCounters.Text.clear();
    if (closing) fCounters.ZReportNumber = *closing;
  }
  return true;
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
