// The model driver of the Italian RT fiscal printer reached over HTTP. Every printer command
// is a short packet sent through the command channel (command_channel.h); the hooks of
// kFiscalPrinterDevice turn each device step into such packets.
//
// The hooks live in one file per group: status, identity and settings commands
// (status_commands.cpp), table commands (table_commands.cpp), receipt commands
// (receipt_commands.cpp) and report and journal commands (report_commands.cpp).
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/fiscal_printer_device.h"
#include "documents/enums.h"
#include "drivers/tarvolx40fpeth/command_channel.h"
#include "drivers/tarvolx40fpeth/protocol.h"
#include "base/datetime.h"

namespace fp {

class kReceiptMessageLine;

namespace tarvol {
class kJournalCollector;
}

class kFiscalPrinter_TARVOLX40FPETH : public kFiscalPrinterDevice {
 public:
  static constexpr const char* kDriverName = "VNRP_TARVOLX40FPETH_10";
  static constexpr int kPaymentSlots = 20;
  static constexpr int kVatSlots = 12;
  static constexpr int kDepartments = 20;
  // The printer needs more than the usual read timeout for most of its answers.
  static constexpr int kMinReadTimeoutMs = 7000;
  static constexpr const char* kUserAgent = "Varnel BRV Driver";
  // The years the printer's clock holds: it keeps the year in two digits.
  static constexpr int kFirstClockYear = 2000;
  static constexpr int kLastClockYear = 2099;

  // Requires an HTTP transport: any other connection type fails with "Invalid class typecast".
  explicit kFiscalPrinter_TARVOLX40FPETH(kReceiptPrinterHandler& aHandler);
  ~kFiscalPrinter_TARVOLX40FPETH() override;

  // The registry's class reference.
  static std::unique_ptr<kFiscalPrinterDevice> Create(kReceiptPrinterHandler& aHandler);

  // ---- Hooks: non-fiscal and fiscal receipts (receipt_commands.cpp) ----
  bool BeginNonFiscalReceipt(kNFReceipt& aNFReceipt) override;
  bool PrintNonFiscalTextLine(kReceipt* aReceipt, kReceiptMessageTextLine& aLine) override;
  bool PrintNonFiscalBarcodeLine(kReceipt* aReceipt, kReceiptMessageBarcodeLine& aLine) override;
  bool PrintNonFiscalImageLine(kReceipt* aReceipt, kReceiptMessageImageLine& aLine) override;
  bool EndNonFiscalReceipt(kNFReceipt& aNFReceipt) override;
  std::string ReceiptRefusal(const kReceipt& aReceipt) override;
  bool BeginFiscalReceipt(kReceipt& aReceipt) override;
  bool EndFiscalReceipt(kReceipt& aReceipt) override;
  bool PrintProductSale(kReceipt& aReceipt, kReceiptLineProductSale& aLine) override;
  bool PrintProductReturn(kReceipt& aReceipt, kReceiptLineProductReturn& aLine) override;
  bool PrintWeightedProductSale(kReceipt& aReceipt, kReceiptLineWeightedProductSale& aLine) override;
  bool PrintVoucherSale(kReceipt& aReceipt, kReceiptLineVoucherSale& aLine) override;
  bool PrintVoucherRedeem(kReceipt& aReceipt, kReceiptLineVoucherRedeem& aLine) override;
  bool PrintGiftCardSale(kReceipt& aReceipt, kReceiptLineGiftCardSale& aLine) override;
  bool PrintGiftCardRedeem(kReceipt& aReceipt, kReceiptLineGiftCardRedeem& aLine) override;
  bool PrintCollectAmount(kReceipt& aReceipt, kReceiptLineCollectAmount& aLine) override;
  bool PrintTextLine(kReceipt& aReceipt, kReceiptLineText& aLine) override;
  bool PrintSubTotal(kReceipt& aReceipt, kReceiptLineSubtotal& aLine) override;
  bool PrintDiscountAmount(kReceipt& aReceipt, kReceiptLineDiscountAmount& aLine) override;
  bool PrintDiscountPercentage(kReceipt& aReceipt, kReceiptLineDiscountPercentage& aLine) override;
  bool PrintDiscountAmountOnSubtotal(kReceipt& aReceipt, kReceiptLineDiscountAmountOnSubTotal& aLine) override;
  bool PrintDiscountPercentageOnSubTotal(kReceipt& aReceipt, kReceiptLineDiscountPercentageOnSubTotal& aLine) override;
  bool PrintMarkupAmount(kReceipt& aReceipt, kReceiptLineMarkupAmount& aLine) override;
  bool PrintMarkupPercentage(kReceipt& aReceipt, kReceiptLineMarkupPercentage& aLine) override;
  bool PrintMarkupAmountOnSubtotal(kReceipt& aReceipt, kReceiptLineMarkupAmountOnSubTotal& aLine) override;
  bool PrintMarkupPercentageOnSubTotal(kReceipt& aReceipt, kReceiptLineMarkupPercentageOnSubTotal& aLine) override;
  bool PrintPayment(kReceipt& aReceipt, kReceiptPaymentLine& aPayment) override;
  bool PrintTrailerTextLine(kReceipt& aReceipt, kReceiptMessageTextLine& aLine) override;
  bool PrintTrailerBarcodeLine(kReceipt& aReceipt, kReceiptMessageBarcodeLine& aLine) override;
  bool GetLastDocumentInfo(DateTime& aDateTime, std::string& aNumber, std::string& aEJNumber,
                           std::string& aEJClosingNumber, std::string& aSerialNumber) override;
  bool SetLotteryCode(const std::string& aCode) override;
  bool RePrintReceipt(kReceiptReference& aReference, kReceipt& aReceipt) override;
  bool ReadReceiptText(kReceiptReference& aReference, std::string& aText) override;
  // "X" and "i": the last document number, the closings taken and whether a receipt is open.
  bool ReadDocumentMark(vnDocumentMark& aMark) override;
  // "+" with the field 0: the open receipt is voided, never a document.
  bool CancelFiscalReceipt() override;
  // "a": the serial number as GetPrinterStatus reports it.
  bool ReadSerialNumber(std::string& aSerialNumber) override;

  // ---- Hooks: reports and journal (report_commands.cpp) ----
  bool PrintXReport(kXReport& aReport) override;
  bool PrintZReport(kZReport* aReport) override;
  // The totals of the closing the printer counted last, from the Z reports of the printer's
  // own date and the day before.
  bool ReadZReportTotals() override;
  bool PrintEJZReports(vnEJReportDestination aDestination, DateTime aStartDate, DateTime aEndDate,
                       std::string& aText) override;
  bool PrintEJFiscalReceipts(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                             DateTime aEndDate, int32_t aEndNumber, std::string& aText) override;
  bool PrintEJNonFiscalReceipts(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                                DateTime aEndDate, int32_t aEndNumber, std::string& aText) override;
  bool PrintEJCreditNotes(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                          DateTime aEndDate, int32_t aEndNumber, std::string& aText) override;
  bool PrintEJInvoices(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                       DateTime aEndDate, int32_t aEndNumber, std::string& aText) override;
  bool GetEJFiles(vnEJFilesRequestType aRequestType, const std::string& aOutputDir, DateTime aStartDate,
                  DateTime aEndDate, int32_t& aFilesCount) override;

  // ---- Hooks: status, identity and settings (status_commands.cpp) ----
  bool Init() override;
  bool CheckStatus() override;
  bool GetRemainingFiscalMemory(int32_t& aRemaining) override;
  bool GetPrinterStatus(vnPrinterStatus& aStatus) override;
  bool GetDrawerStatus(int32_t aDrawerNumber, bool& aIsOpen) override;
  bool GetDateTime(DateTime& aDateTime) override;
  // The clock as the printer gives it ("t"): false when the command failed; aValue empty
  // when the answer holds no valid date and time.
  bool ReadPrinterClock(std::optional<DateTime>& aValue);
  bool SetDateTime(DateTime aDateTime) override;
  bool SetTrainingMode(bool aTrainingMode) override;
  bool ClearDisplay() override;
  bool WriteDisplay(kReceiptMessageLines& aLines) override;
  bool OpenDrawer(int32_t aDrawerNumber) override;
  bool Pay(kPaymentReceipt& aPayment) override;
  bool SkipStatusCheck() override;
  bool IsDayOpened() override;
  bool ReadLotteryReceiptStatus(kReceiptReference& aReference) override;

  // ---- Hooks: tables (table_commands.cpp) ----
  bool ReadVatTable() override;
  bool WriteVatTable(kVatTable& aVatTable) override;
  bool ReadEATable() override;
  bool WriteEATable(kEconomicActivityTable& aEATable) override;
  bool ReadDeptTable() override;
  bool WriteDeptTable(kDeptTable& aDeptTable) override;
  // Takes the Z report the printer needs before it programs aWhat ("the VAT table") with the
  // day open, and leaves the result a note naming the report. The Z report's result.
  bool CloseDayBeforeProgramming(const std::string& aWhat);
  // After programming aWhat ("the VAT table", "department 03") lost its answer: reads the
  // printer back within the outcome bound through aReadBack (false: not read; aDone: the
  // printer holds what was sent). true when it was programmed; otherwise the failure says
  // "Not programmed: ..." or, when nothing could be read, "Outcome unknown: ...".
  bool ProgrammingReadBack(const std::string& aWhat, const std::function<bool(bool& aDone)>& aReadBack);

  // The device's services that the helper functions of this driver's files call on it, besides
  // its hooks: a result note, a recorded failure, the last command's fate and the counters
  // a journal read of the Z reports fills.
  using kFiscalPrinterDevice::AddResultNote;
  using kFiscalPrinterDevice::fCounters;
  using kFiscalPrinterDevice::RecordError;
  using kFiscalPrinterDevice::ResetCounters;
  using kFiscalPrinterDevice::UnansweredCommand;

  // ---- Command channel ----

  // Sends one command packet: aPkt is the command letter, aData the rest of the packet ("" or
  // "/" and each field followed by "/"). True when the printer carried it out; otherwise the
  // device's recorded failure holds the reason (the printer's reply code or the exchange's
  // status code, and the message). A command the printer answered clears a failure an
  // earlier command recorded. Throws kException for an unreadable reply.
  bool SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt, const std::string& aData,
                   bool aRetry = true);
  // The channel's outcome of the command aPkt + aData, with the command named in words when
  // its outcome is unknown and it may have changed the printer.
  static vnOutcome OutcomeOf(vnOutcome aResult, const std::string& aPkt, const std::string& aData);
  // The usual form of every command of this driver: cmd "4", js 0.
  bool Send(const std::string& aPkt, const std::string& aData = "", bool aRetry = true);
  // GetPrinterStatus's reads of the status commands ("a", "v", ",", "t", "|").
  bool ReadStatusFields(vnPrinterStatus& aStatus);

  // One display ("0") or paper ("1") line with print style aStyle: the "7" command. The text
  // is placed within the line by aAlignment (la_none and la_left: at its start); a double
  // width line (style "3") is placed within half the line.
  bool PrintLine(const std::string& aText, const std::string& aTarget, const std::string& aStyle,
                 vnReceiptMessageLineAlignment aAlignment = la_left);

  // After a journal selection ("@") that succeeded: fetches the text piece by piece ("*")
  // into aJournal until the printer says no more data follows. False when a piece fails, or
  // when the journal does not end within tarvol::MaxJournalPieces() pieces, within
  // tarvol::MaxJournalBytes() of text or within tarvol::kJournalReadTime; aJournal keeps
  // what was read.
  bool FetchJournal(tarvol::kJournalCollector& aJournal);

  // Replaces the pause function of retries, busy polling and outcome reads (tests never wait
  // real time); the steady clock of the bounds then moves on by every pause skipped.
  void SetSleeper(tarvol::kCommandChannel::Sleeper aSleeper);
  // Replaces the steady clock that bounds the busy repetitions and the time of a journal read
  // (SetClock is the wall clock of the documents).
  void SetSteadyClock(tarvol::kCommandChannel::Clock aClock);
  // The outcome of the last command.
  const vnOutcome& LastCommand() const { return fChannel->LastResult(); }
  // Whether the last command failed for want of an answer (rather than being refused).
  bool LastExchangeFailed() const { return !LastCommand().Answered(); }

  // The reply frame of the last command the printer answered, and its decoded status fields.
  const std::string& Response() const { return fChannel->Response(); }
  const kFiscalPrinter_TARVOLX40FPETH_DeviceStatus& DeviceStatus() const { return fChannel->DeviceStatus(); }
  const kFiscalPrinter_TARVOLX40FPETH_FiscalStatus& FiscalStatus() const { return fChannel->FiscalStatus(); }
  // Field aIndex (from 1) of the last reply frame, and its data after the status fields.
  std::string ReplyField(int aIndex) const { return tarvol::FrameField(Response(), aIndex); }
  std::string ReplyData() const { return tarvol::ReplyData(Response()); }

  // The default payment table of the printer slots 1 to 20 ("description|code|kind").
  static const std::array<std::string, kPaymentSlots>& DefaultPaymentTable();

  // ---- Fields ----

  std::array<std::string, kPaymentSlots> fPag;  // per slot "description|code|kind"
  bool fTrailerPrinted = false;  // a trailer line went out: the receipt closes with a blank line
  // A non-fiscal line collected until its document closes, as a copy of what is printed:
  // the caller's line objects need not live until the document ends.
  struct kHeldLine {
    bool fBarcode = false;
    std::string fValue;  // printable text, or the barcode's data
    vnReceiptMessageLineEffectSet fEffects = 0;
    vnReceiptMessageLineAlignment fAlignment = la_left;
    vnReceiptMessageBarcodeType fBarcodeType = bt_EAN13;
  };
  std::vector<kHeldLine> fTrailingComments;
  // What the printer has no command for (a QR code, an image, an effect), named for the
  // result's MessageText when the document closes.
  std::vector<std::string> fLeftOut;
  // Lines the printer refused (each with its reason) while the document went on, named for
  // the result's MessageText when the document closes.
  std::vector<std::string> fRefused;
  bool fDocumentRefused = false;  // the printer refused to open the non-fiscal document
  vnPrinterStatus fStatus;                      // status snapshot before a receipt opens

 private:
  std::unique_ptr<tarvol::kCommandChannel> fChannel;
  tarvol::kCommandChannel::Clock fNow = [] { return std::chrono::steady_clock::now(); };
};

}  // namespace fp
