// Report and journal operations: X and Z reports, the electronic journal and its files.
//
// X and Z reports take one of three roads: the RT server client when the device is
// RT-server active (the device then composes and prints the report text itself), the
// processor library when one is configured, or the model driver's hooks.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "device/fiscal_printer_device.h"
#include "device/fiscal_processor_caller.h"
#include "documents/ej_files_request.h"
#include "documents/ej_report.h"
#include "documents/enums.h"
#include "documents/nf_receipt.h"
#include "documents/x_report.h"
#include "documents/z_report.h"
#include "request/receipt_printer_handler.h"
#include "io/io_handler.h"
#include "request/results.h"
#include "rtserver/rt_server_client.h"

namespace fp {

namespace {

std::string Two(int aValue) {
  std::string s = std::to_string(aValue);
  return s.size() < 2 ? "0" + s : s;
}

// "dd-mm-yyyy hh:nn" (and ":ss" when aSeconds), the colon being the user's time separator.
std::string ReportDateTime(DateTime aValue, bool aSeconds) {
  const DateTimeParts p = DecodeDateTime(aValue);
  const std::string sep = TimeSeparator();
  std::string year = std::to_string(p.year);
  while (year.size() < 4) year = "0" + year;
  std::string out = Two(p.day) + "-" + Two(p.month) + "-" + year + " " + Two(p.hour) + sep + Two(p.minute);
  if (aSeconds) out += sep + Two(p.second);
  return out;
}

// The request's document, or an empty one when the request holder carries none, so that an
// operation never reaches through a missing document.
template <class T>
T& DocumentOrEmpty(const std::unique_ptr<T>& aDocument, T& aEmpty) {
  return aDocument ? *aDocument : aEmpty;
}

// Runs a step that follows a report the server or the printer has already taken; its
// failure is returned as text, so that the report itself still counts as done.
template <class Step>
std::string FailureOf(Step&& aStep) {
  try {
    aStep();
    return {};
  } catch (const kException& e) {
    return e.what();
  }
}

}  // namespace

void kFiscalPrinterDevice::Pub_PrintXReport(kReceiptPrinterHandler& aHandler, _int_PRINTXR_result& aResult) {
  BeginOperation("PrintXReport", aResult);
  kXReport empty;
  kXReport& report = DocumentOrEmpty(aHandler.fXReport, empty);
  kDocumentScope scope(*this);
  if (const std::string busy = LockPrinterToPrint(); !busy.empty()) {
    aResult.ErrorText = busy;
    return;
  }

  if (fRTServerActive && fRTServer) {
    OpenRTServerTill(aHandler);
    LogInfo("RTServer:XReport");
    // A refused report leaves Error set with no text: the server gives no reason.
    if (!fRTServer->XReport()) return;
    *fRTServerTillReportInfo = fRTServer->TillReportInfo();
    const std::string printError = FailureOf([&] { PrintReportText("X", report.fPrint); });
    const kRTServerTillReportInfo& info = *fRTServerTillReportInfo;
    aResult.XReportNumber = "1";
    aResult.XReportDateTime = CurrentDateTime();
    aResult.EJNumber = "0";
    aResult.EJClosingNumber = std::to_string(info.fzRepNumber);
    aResult.DeviceSerialNumber = info.fTillSerialNumber;
    aResult.ServerSerialNumber = info.fServerSerialNumber;
    aResult.Text = fCounters.Text;
    aResult.Error = false;
    aResult.ErrorText = printError;
    return;
  }

  if (fProcessor->Active()) {
    if (!fProcessor->ProcessXReport(aHandler.fRequestText, fCounters)) {
      aResult.Error = true;
      aResult.ErrorText = fProcessor->ErrorMessage();
      return;
    }
    // The processor has taken the report: a copy that fails is named, never a failed report.
    const std::string printError = FailureOf([&] { fProcessor->PrintReport(fCounters.Text, "", *this); });
    aResult.XReportNumber = std::to_string(fCounters.ZReportNumber);
    aResult.XReportDateTime = fCounters.ZReportDateTime;
    aResult.EJNumber = "0";
    aResult.EJClosingNumber = std::to_string(fCounters.ZReportNumber);
    aResult.DeviceSerialNumber = fSerialNumber;
    aResult.ServerSerialNumber.clear();
    aResult.Error = false;
    aResult.ErrorText = printError;
    return;
  }

  if (IsReady()) PrintXReport(report);
  if (ErrorFound()) {
    aResult.XReportNumber.clear();
    aResult.XReportDateTime = 0;
    EndOperation(aResult);
    return;
  }
  const std::string infoError = ReadDoneDocumentInfo(aResult.XReportDateTime, aResult.XReportNumber,
                                                     aResult.EJNumber, aResult.EJClosingNumber,
                                                     aResult.DeviceSerialNumber);
  // The report is printed whatever the document information read says afterwards; a
  // failure there must not make the host take the report a second time.
  aResult.Error = false;
  aResult.ErrorText = infoError;
}

void kFiscalPrinterDevice::Pub_PrintZReport(kReceiptPrinterHandler& aHandler, _int_PRINTZR_result& aResult) {
  BeginOperation("PrintZReport", aResult, fRTServerActive || fProcessor->Active());
  kZReport empty;
  kZReport* report = aHandler.fZReport ? aHandler.fZReport.get() : &empty;
  if (fRTServerActive && fRTServer)
    ZReportThroughRTServer(aHandler, *report, aResult);
  else if (fProcessor->Active())
    ZReportByProcessor(aHandler, *report, aResult);
  else
    ZReportOnDevice(report, aResult);
}

// The RT server closes the till; the printer prints the report text when asked to.
void kFiscalPrinterDevice::ZReportThroughRTServer(kReceiptPrinterHandler& aHandler, const kZReport& aReport,
                                                  _int_PRINTZR_result& aResult) {
  // The report text is printed as a document of its own: the printer is this till's while
  // the day is closed, as for an X report.
  kDocumentScope scope(*this);
  if (const std::string busy = LockPrinterToPrint(); !busy.empty()) {
    aResult.ErrorText = busy;
    return;
  }
  OpenRTServerTill(aHandler);
  LogInfo("RTServer:CloseTill");
  if (!fRTServer->CloseTill()) return;
  *fRTServerTillReportInfo = fRTServer->TillReportInfo();
  const std::string printError = FailureOf([&] { PrintReportText("Z", aReport.fPrint); });
  const kRTServerTillReportInfo& info = *fRTServerTillReportInfo;
  aResult.ZReportNumber = std::to_string(info.fzRepNumber);
  aResult.ZReportDateTime = info.fzRepDateTime;
  aResult.EJNumber = "0";
  aResult.EJClosingNumber = std::to_string(info.fzRepNumber);
  aResult.DeviceSerialNumber = info.fTillSerialNumber;
  aResult.ServerSerialNumber = info.fServerSerialNumber;
  aResult.GrandTotalAmount = Amount();
  aResult.GrandTotalRefundsAmount = Amount();
  aResult.GrandTotalVoidsAmount = Amount();
  aResult.DayTotalAmount = info.fDailyAmount;
  aResult.DayDiscountsAmount = Amount();
  aResult.DayRefundsAmount = info.fRefundsAmount;
  aResult.DayVoidsAmount = info.fVoidsAmount;
  aResult.DayReceiptsNumber = info.fnRecNumber;
  aResult.DayRefundsNumber = 0;
  aResult.Text = fCounters.Text;
  aResult.Error = false;
  aResult.ErrorText = printError;
}

// The processor library takes the report and gives the day's counters.
void kFiscalPrinterDevice::ZReportByProcessor(kReceiptPrinterHandler& aHandler, const kZReport& aReport,
                                              _int_PRINTZR_result& aResult) {
  // The report's paper copy is a document of its own: the printer is this till's while the
  // day is closed, as for an X report.
  kDocumentScope scope(*this);
  if (const std::string busy = LockPrinterToPrint(); !busy.empty()) {
    aResult.ErrorText = busy;
    return;
  }
  if (!fProcessor->ProcessZReport(aHandler.fRequestText, fCounters)) {
    aResult.Error = true;
    aResult.ErrorText = fProcessor->ErrorMessage();
    return;
  }
  aResult.ZReportNumber = std::to_string(fCounters.ZReportNumber);
  aResult.ZReportDateTime = fCounters.ZReportDateTime;
  aResult.EJNumber = "0";
  aResult.EJClosingNumber = std::to_string(fCounters.ZReportNumber);
  aResult.DeviceSerialNumber = fSerialNumber;
  aResult.ServerSerialNumber.clear();
  aResult.GrandTotalAmount = fCounters.GrandTotalAmount;
  aResult.GrandTotalRefundsAmount = fCounters.GrandTotalRefundsAmount;
  aResult.GrandTotalVoidsAmount = fCounters.GrandTotalVoidsAmount;
  aResult.DayTotalAmount = fCounters.DayTotalAmount;
  aResult.DayDiscountsAmount = fCounters.DayDiscountsAmount;
  aResult.DayRefundsAmount = fCounters.DayRefundsAmount;
  aResult.DayVoidsAmount = fCounters.DayVoidsAmount;
  aResult.DayReceiptsNumber = fCounters.DayReceiptsNumber;
  aResult.DayRefundsNumber = fCounters.DayRefundsNumber;
  aResult.Text = fCounters.Text;
  aResult.Error = false;
  // The processor has closed the day: a copy that fails is named, never a failed report the
  // host would take again.
  aResult.ErrorText = FailureOf([&] { fProcessor->PrintReport(fCounters.Text, aReport.fLayout, *this); });
}

void kFiscalPrinterDevice::ZReportOnDevice(kZReport* aReport, _int_PRINTZR_result& aResult) {
  // Where the closings stand before, so that a report whose answer is lost can be told
  // taken or not; a report an earlier call took without the host learning it is not taken
  // again.
  kDocumentScope scope(*this);
  if (!BeginJournalReport(aResult)) return;
  vnDocumentMark before = fDocumentMark;
  fDocumentMark.fKnown = false;  // the closings move with the report
  std::string takenClosing;
  const bool ready = IsReady();
  if (ready && !SendZReport(aReport, aResult)) return;
  // Whatever way the report failed once asked for (no answer, or a refusal after carrying it
  // out), the closings taken tell whether it was taken.
  if (ready && ErrorFound() && before.fKnown && !ZReportTakenAfterAll(before, aResult, takenClosing)) return;
  if (ErrorFound()) {
    aResult.ZReportNumber.clear();
    aResult.ZReportDateTime = 0;
    aResult.RemainingFiscalMemory = 0;
    EndOperation(aResult);
    SettleReport(aResult);
    return;
  }
  ReportZReportTaken(aResult, takenClosing);
}

// The report asked of the printer, its journal row "closing sent" first; false, with the
// result filled, when the journal cannot be written and nothing was sent.
bool kFiscalPrinterDevice::SendZReport(kZReport* aReport, _int_PRINTZR_result& aResult) {
  try {
    MarkClosingSent();
  } catch (const kJournalError& e) {
    aResult.Error = true;
    aResult.ErrorText = std::string("Report not taken: The document journal cannot be written: ") + e.what() +
                        "; nothing was printed";
    return false;
  }
  try {
    PrintZReport(aReport);
  } catch (const kException& e) {
    // Judged by the closings below, as any failure of the report.
    ResetError();
    RecordError(999, e.what());
  }
  return true;
}

// The report failed once asked for: true when the closings taken since aBefore show it was
// taken all the same (aTakenClosing names the closing); false, with the report settled, when
// it was not or nothing tells.
bool kFiscalPrinterDevice::ZReportTakenAfterAll(const vnDocumentMark& aBefore, _int_PRINTZR_result& aResult,
                                                std::string& aTakenClosing) {
  const std::string reason = ErrorMessage();
  const char* kWhat = UnansweredCommand().empty() ? "the Z report failed and the printer did not answer after it"
                                                  : "the printer did not answer the Z report";
  fIOHandler->Debug(let_error, "Outcome: the Z report failed (" + reason + "); asking the printer");
  vnDocumentMark now;
  if (!ReadMarkWithinBound(now)) {
    aResult.ZReportNumber.clear();
    aResult.ZReportDateTime = 0;
    aResult.Error = true;
    aResult.ErrorText = OutcomeUnknownText(kWhat, aBefore);
    SettleReport(aResult);
    return false;
  }
  if (now.fClosing != aBefore.fClosing) {
    fIOHandler->Debug(let_info, "Outcome: the Z report was confirmed as taken");
    ResetError();
    aTakenClosing = now.fClosing;
  } else {
    aResult.ZReportNumber.clear();
    aResult.ZReportDateTime = 0;
    aResult.Error = true;
    aResult.ErrorText = "Report not taken: " + reason + "; the day is still open and the report can be asked again";
    SettleReport(aResult);
    return false;
  }
  return true;
}

// The result of a report taken: the day's totals, numbers and what could not be read back.
void kFiscalPrinterDevice::ReportZReportTaken(_int_PRINTZR_result& aResult, const std::string& aTakenClosing) {
  // The day is closed by now: nothing read after this point may make the host close it a
  // second time, and totals that could not be read are said to be missing, never given as
  // zeros for the day's figures.
  std::string totalsError;
  if (!ReadWithinBound([&] { return ReadZReportTotals(); })) {
    totalsError = ErrorMessage();
    fIOHandler->WriteLog(let_error, "Z report done, its totals not read: ", totalsError);
  }
  ResetError();
  const std::string infoError = ReadDoneDocumentInfo(aResult.ZReportDateTime, aResult.ZReportNumber,
                                                     aResult.EJNumber, aResult.EJClosingNumber,
                                                     aResult.DeviceSerialNumber);
  GetRemainingFiscalMemory(aResult.RemainingFiscalMemory);
  if (totalsError.empty()) {
    aResult.GrandTotalAmount = fCounters.GrandTotalAmount;
    aResult.GrandTotalRefundsAmount = fCounters.GrandTotalRefundsAmount;
    aResult.GrandTotalVoidsAmount = fCounters.GrandTotalVoidsAmount;
    aResult.DayTotalAmount = fCounters.DayTotalAmount;
    aResult.DayDiscountsAmount = fCounters.DayDiscountsAmount;
    aResult.DayReturnsAmount = fCounters.DayReturnsAmount;
    aResult.DayRefundsAmount = fCounters.DayRefundsAmount;
    aResult.DayVoidsAmount = fCounters.DayVoidsAmount;
    aResult.DayReceiptsNumber = fCounters.DayReceiptsNumber;
    aResult.DayRefundsNumber = fCounters.DayRefundsNumber;
    aResult.Text = fCounters.Text;
  }
  if (aResult.ZReportNumber.empty() || aResult.ZReportNumber == "0")
    aResult.ZReportNumber = std::to_string(fCounters.ZReportNumber);
  // A report confirmed by the closings taken, whose own text could not be read, is that
  // closing.
  if (aResult.ZReportNumber == "0" && !aTakenClosing.empty()) aResult.ZReportNumber = aTakenClosing;
  if (aResult.ZReportDateTime == 0) aResult.ZReportDateTime = fCounters.ZReportDateTime;
  aResult.Error = false;
  aResult.ErrorText.clear();
  if (!totalsError.empty()) {
    const std::string number = aResult.ZReportNumber.empty() || aResult.ZReportNumber == "0"
                                   ? std::string()
                                   : " " + aResult.ZReportNumber;
    aResult.ErrorText = "The Z report" + number + " was taken and the day is closed, but its totals could not be "
                        "read back (" + totalsError + "): the totals of this result are not the day's figures";
  }
  if (!infoError.empty()) aResult.ErrorText += (aResult.ErrorText.empty() ? "" : "; ") + infoError;
  SettleReport(aResult);
}

void kFiscalPrinterDevice::Pub_EJReport(kReceiptPrinterHandler& aHandler, _int_EJREPORT_result& aResult) {
  BeginOperation("EJReport", aResult);
  if (!aHandler.fEJReport) throw kException("EJReport node not found");
  const kEJReport& r = *aHandler.fEJReport;
  kDocumentScope scope(*this);
  if (r.fDestination == rd_Printer) {
    if (const std::string busy = LockPrinterToPrint(); !busy.empty()) {
      aResult.ErrorText = busy;
      return;
    }
  }
  switch (r.fReportType) {
    case ejrt_ZReport:
      PrintEJZReports(r.fDestination, r.fStartDate, r.fEndDate, aResult.Text);
      break;
    case ejrt_FiscalReceipt:
      PrintEJFiscalReceipts(r.fDestination, r.fStartNumber, r.fStartDate, r.fEndDate, r.fEndNumber, aResult.Text);
      break;
    case ejrt_NonFiscalReceipt:
      PrintEJNonFiscalReceipts(r.fDestination, r.fStartNumber, r.fStartDate, r.fEndDate, r.fEndNumber,
                               aResult.Text);
      break;
    case ejrt_CreditNote:
      PrintEJCreditNotes(r.fDestination, r.fStartNumber, r.fStartDate, r.fEndDate, r.fEndNumber, aResult.Text);
      break;
    case ejrt_Invoice:
      PrintEJInvoices(r.fDestination, r.fStartNumber, r.fStartDate, r.fEndDate, r.fEndNumber, aResult.Text);
      break;
    default:
      break;
  }
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_GetEJFiles(kReceiptPrinterHandler& aHandler, _int_GETEJFILES_result& aResult) {
  BeginOperation("GetEJFiles", aResult);
  if (!aHandler.fEJFilesRequest) throw kException("EJRequest node not found");
  const kEJFilesRequest& r = *aHandler.fEJFilesRequest;
  GetEJFiles(r.fReqType, r.fOutputDir, r.fStartDate, r.fEndDate, fEJFilesCount);
  if (ErrorFound()) {
    EndOperation(aResult);
    return;
  }
  aResult.FilesCount = fEJFilesCount;
  EndOperation(aResult);
}

void kFiscalPrinterDevice::PrintReportText(const std::string& aKind, bool aPrint) {
  fCounters.Text.clear();
  // A document of its own, without a row, which a report not to be printed leaves open: the
  // next sale asks the printer again.
  fCleanPaperCopyRow = 0;
  const kRTServerTillReportInfo& info = *fRTServerTillReportInfo;
  const bool closing = aKind == "Z";

  kNFReceipt document;
  document.fLayout = "DocumentLayout";
  bool first = true;
  for (const std::string& header : fRTServerReceiptInfo->fHeaders) {
    auto line = kReceiptMessageTextLine::CreateNF(&document);
    line->fValue = header;
    line->fSize = first ? 2 : 1;
    line->fSection = rs_lead;
    document.fHeaderLines.Add(std::move(line));
    first = false;
  }
  auto gap = kReceiptMessageTextLine::CreateNF(&document);
  gap->fSize = 1;
  gap->fSection = rs_lead;
  document.fHeaderLines.Add(std::move(gap));

  struct vnReportLine {
    std::string fText;
    uint8_t fEffects;
    vnReceiptMessageLineAlignment fAlignment;
  };
  std::vector<vnReportLine> lines;
  const auto add = [&lines](std::string aText, uint8_t aEffects = 0,
                            vnReceiptMessageLineAlignment aAlignment = la_left) {
    lines.push_back({std::move(aText), aEffects, aAlignment});
  };
  add(aKind + "-REPORT", EffectBit(le_bold), la_center);
  if (closing) {
    add("");
    add("Data Chiusura:    " + ReportDateTime(info.fzRepDateTime, false));
    add("Numero Chiusura:  " + std::to_string(info.fzRepNumber));
  }
  add("");
  add("Server:           " + info.fServerSerialNumber);
  add("Cassa:            " + info.fTillSerialNumber);
  add("");
  add("Documenti Emessi: " + std::to_string(info.fnRecNumber));
  add("");
  add("EURO", 0, la_right);
  add(FormatAmountLine("Totale Giorno", info.fDailyAmount));
  add("");
  add(FormatAmountLine("Totale Vendite", info.fSalesAmount));
  add(FormatAmountLine("Totale Resi", info.fRefundsAmount));
  add(FormatAmountLine("Totale Annulli", info.fVoidsAmount));
  add("");
  add(ReportDateTime(CurrentDateTime(), true), 0, la_center);
  add("");

  // The report is the server's and stays taken: a copy that never got to its lines still
  // gives the whole text, and the copy's failure goes on to the caller.
  bool linesPrinted = false;
  try {
    PrintReportCopy(
        document,
        [&] {
          linesPrinted = true;
          for (const vnReportLine& line : lines) AddReportLine(document, line.fText, line.fEffects, line.fAlignment);
        },
        // Without printing, the lines went to the driver but the document stays open: the
        // host asked only for the text.
        aPrint);
  } catch (const kException&) {
    if (!linesPrinted)
      for (const vnReportLine& line : lines) fCounters.Text += "\r\n" + line.fText;
    throw;
  }
}

void kFiscalPrinterDevice::PrintReportCopy(kNFReceipt& aDocument, const std::function<void()>& aPrintLines,
                                           bool aClose) {
  // A document whose opening the printer refused is not continued: its lines would go into
  // whatever the printer holds open.
  ResetError();
  if (!BeginNonFiscalReceipt(aDocument) || ErrorFound()) {
    const std::string reason = ErrorFound() ? ErrorMessage() : "the printer did not open the document";
    ResetError();
    throw kException("The report was not printed: the printer refused to open its document (" + reason + ")");
  }
  // The numbering mark knows nothing of this document, which a copy cut short or not to be
  // closed leaves open: the next document asks the printer where it stands (and cancels what
  // was left open) instead of trusting the mark.
  fDocumentMark.fKnown = false;
  const size_t notesBefore = ResultNote().size();
  aPrintLines();
  if (!aClose) return;
  // A closing the printer refused or never answered leaves the copy cut short or unfinished.
  if (!EndNonFiscalReceipt(aDocument) || ErrorFound()) {
    const std::string reason = ErrorFound() ? ErrorMessage() : "the printer did not end the document";
    ResetError();
    throw kException("The paper copy of the report may be incomplete: " + reason);
  }
  // Lines the printer refused on the way are named in a note; a report's result has no
  // MessageText to carry it, so the copy is reported incomplete with that note.
  if (ResultNote().size() > notesBefore)
    throw kException("The paper copy of the report may be incomplete: " +
                     Trim(ResultNote().substr(notesBefore)));
}

void kFiscalPrinterDevice::AddReportLine(kNFReceipt& aNFReceipt, const std::string& aText, uint8_t aEffects,
                                         vnReceiptMessageLineAlignment aAlignment) {
  auto line = kReceiptMessageTextLine::CreateNF(&aNFReceipt);
  line->fValue = aText;
  line->fEffects = aEffects;
  line->fAlignment = aAlignment;
  line->fSize = 1;
  // The document keeps the line: a driver may hold on to it until the document ends.
  kReceiptMessageTextLine& kept = *aNFReceipt.fLines.Add(std::move(line));
  PrintNonFiscalTextLine(nullptr, kept);
  fCounters.Text += "\r\n" + aText;
}

std::string kFiscalPrinterDevice::FormatAmountLine(const std::string& aLabel, Amount aAmount) const {
  const size_t width = fLineLength > 0 ? static_cast<size_t>(fLineLength) : 0;
  const std::string padded = PadRight(aLabel, width);
  const std::string amount = aAmount.Format(2, UserDecimalSeparator());
  const size_t amountLength = CharLength(amount);
  const size_t keep = width > amountLength ? width - amountLength : 0;
  return CharLeft(padded, keep) + amount;
}

}  // namespace fp
