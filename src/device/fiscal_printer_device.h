// The generic fiscal printer: one object per open device.
//
// kFiscalPrinterDevice owns the device's transport (which is also its log), the failure of
// the operation in progress, everything the device remembers between calls (tables,
// counters, print sequence, fiscal mode, serial number) and the optional companions (the
// processor library caller and the RT server client).
//
// The class reads in three layers, like a backend table: public, what the entry layer,
// the tools and the tests use (construction, the Pub_* operations, read-only properties);
// protected, the model's contract (the hooks a driver implements, then the few services it
// may call and the values it fills); private, the device's own state and the framework's
// steps.
//
// Each public operation Pub_* is written once here as a fixed sequence of calls to the
// virtual hooks below; a model driver is a subclass that implements the hooks for one
// printer model. The operations follow one frame:
//   1. the recorded failure is cleared and an information line "<60 dashes> <operation
//      name>" goes to the device log;
//   2. result.Error := true; result.LogFileName := the transport's log file;
//   3. the operation's own hook calls;
//   4. result.Error / ErrorText taken from the recorded failure (none: success).
//
// Hook contract shared by every hook (each returns bool):
//   - A hook that fails records the failure on the device (RecordError with a code and a
//     message) or throws fp::kException with a message. Operations report failures from
//     the recorded failure, never from the Boolean.
//   - Returning false without recording anything only ends the operation's remaining
//     device steps early; the operation then reports success.
//   - Hooks run on the calling thread and may talk to the device through IOHandler().
//   - The request frame serialises calls on one device; a hook never runs concurrently
//     with another call on the same device, so device state needs no lock of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/amount.h"
#include "base/datetime.h"
#include "base/outcome.h"
#include "device/device_class.h"
#include "device/document_journal.h"
#include "request/printer_status.h"
#include "documents/message_line.h"

namespace fp {

class kIOHandler;
class kReceiptPrinterHandler;
class kFiscalProcessorCaller;
class kRTServerClient;
class kRTServerReceiptInfo;
class kRTServerTillReportInfo;

// Request documents the hooks receive.
class kReceipt;
class kReceiptLine;
class kNFReceipt;
class kReceiptLineProductSale;
class kReceiptLineProductReturn;
class kReceiptLineWeightedProductSale;
class kReceiptLineVoucherSale;
class kReceiptLineVoucherRedeem;
class kReceiptLineGiftCardSale;
class kReceiptLineGiftCardRedeem;
class kReceiptLineCollectAmount;
class kReceiptLineText;
class kReceiptLineSubtotal;
class kReceiptLineDiscountAmount;
class kReceiptLineDiscountPercentage;
class kReceiptLineDiscountAmountOnSubTotal;
class kReceiptLineDiscountPercentageOnSubTotal;
class kReceiptLineMarkupAmount;
class kReceiptLineMarkupPercentage;
class kReceiptLineMarkupAmountOnSubTotal;
class kReceiptLineMarkupPercentageOnSubTotal;
class kReceiptPaymentLine;
class kReceiptReference;
class kXReport;
class kZReport;
class kVatTable;
class kDeptTable;
class kEconomicActivityTable;
class kPaymentReceipt;
enum vnEJReportDestination : uint8_t;
enum vnEJFilesRequestType : uint8_t;
enum vnReceiptMessageLineAlignment : uint8_t;

// Result records of the exports.
struct _int_ErrorTail;
struct _int_PRINTFR_result;
struct _int_REPRINTFR_result;
struct _int_PRINTXR_result;
struct _int_PRINTZR_result;
struct _int_PRINTNFR_result;
struct _int_DISPLAY_result;
struct _int_OPENDR_result;
struct _int_GETSTATUS_result;
struct _int_SET_result;
struct _int_SETDATETIME_result;
struct _int_OPEN_result;
struct _int_GETDRSTATUS_result;
struct _int_EJREPORT_result;
struct _int_CLOSE_result;
struct _int_GETVATTABLE_result;
struct _int_SETVATTABLE_result;
struct _int_GETDEPTTABLE_result;
struct _int_SETDEPTTABLE_result;
struct _int_PAY_result;
struct _int_GETLOTTERYRCPTSTATUS_result;
struct _int_GETEJFILES_result;

// The fiscal day totals and the last report's text.
struct vnFiscalCounters {
  Amount GrandTotalAmount;
  Amount GrandTotalRefundsAmount;
  Amount GrandTotalVoidsAmount;
  Amount DayTotalAmount;
  Amount DayDiscountsAmount;
  Amount DayReturnsAmount;
  Amount DayRefundsAmount;
  Amount DayVoidsAmount;
  int32_t DayReceiptsNumber = 0;
  int32_t DayRefundsNumber = 0;
  int32_t ZReportNumber = 0;
  DateTime ZReportDateTime = 0;
  std::string Text;  // report text, lines separated by CR LF
};

struct vnLotteryReceiptStatus {
  bool CorrectlySent = false;
  std::string StatusCode;
  std::string StatusDescription;
  std::string ReferenceId;
};

// What a model supports; bit n of the set stands for the value of ordinal n.
enum vnFiscalPrinterCapability : uint8_t {
  fpc_SetDate = 0,
  fpc_SetHeader = 1,
  fpc_ReturnPractice = 2,
  fpc_NoFiscalReceipt = 3,
  fpc_Payout = 4,
  fpc_ReadMemory = 5,
  fpc_PrintMemory = 6,
  fpc_ZeroAmountLine = 7,
  fpc_Invoice = 8,
  fpc_VoidReceipt = 9,
  fpc_NegativeAmountReceipt = 10,
  fpc_NegativePartialAmountReceipt = 11,
  fpc_SupportZeroLineAmount = 12,
  fpc_PrintHeaderOnNonFiscalReceipt = 13,
  fpc_SupportSpecialChars = 14,
};

// A set of capabilities held in 16 bits.
class vnFiscalPrinterCapabilities {
 public:
  constexpr vnFiscalPrinterCapabilities() = default;
  constexpr vnFiscalPrinterCapabilities(std::initializer_list<vnFiscalPrinterCapability> aValues) {
    for (auto v : aValues) Include(v);
  }
  constexpr bool Contains(vnFiscalPrinterCapability aValue) const { return (fBits & Bit(aValue)) != 0; }
  constexpr void Include(vnFiscalPrinterCapability aValue) { fBits = static_cast<uint16_t>(fBits | Bit(aValue)); }
  constexpr void Exclude(vnFiscalPrinterCapability aValue) { fBits = static_cast<uint16_t>(fBits & ~Bit(aValue)); }
  constexpr uint16_t Bits() const { return fBits; }
  constexpr bool operator==(const vnFiscalPrinterCapabilities&) const = default;

 private:
  static constexpr uint16_t Bit(vnFiscalPrinterCapability aValue) { return static_cast<uint16_t>(1u << aValue); }
  uint16_t fBits = 0;
};

// Where the printer's fiscal numbering stands: the last fiscal document number and the
// closings (Z reports) taken as the printer reports them, and whether a document is open on
// it (either the printer's document state or the "transaction open" status says so). Two
// marks with different numbers have a fiscal document (or a closing) between them.
struct vnDocumentMark {
  bool fKnown = false;
  std::string fNumber;
  std::string fClosing;
  bool fOpen = false;
  bool SameNumbers(const vnDocumentMark& aOther) const {
    return fNumber == aOther.fNumber && fClosing == aOther.fClosing;
  }
};

// The parts of a fiscal receipt, printed in the order of the device's print sequence.
enum vnFiscalPrinterPrintSection : uint8_t {
  fpps_Lines = 0,            // the sale lines
  fpps_Payments = 1,         // the payment lines
  fpps_TrailerMessages = 2,  // the trailer message lines
};

class kFiscalPrinterDevice {
 public:
  // =======================================================================================
  // The device as the entry layer, the tools and the tests see it: construction, the
  // operations behind the exports and a few read-only properties.
  // =======================================================================================

  // Gives the current local date and time; replaceable so that tests can fix the clock.
  using Clock = std::function<DateTime()>;

  // Construction (the virtual constructor "Create"): creates the empty tables, the log
  // folder "LogFiles/FiscalPrinter" below the host program's folder, the transport through
  // aHandler.CreateIOHandler, the processor caller (parameter Processor; a library that
  // cannot be loaded fails the construction), the RT server client when the parameter
  // RTServer is "true" in any letter case (with RTServerDriver, RTServerTillSerial and
  // RTServerTillInstance), the empty RT records, the print sequence lines, payments,
  // trailer messages, and hands the transport the driver version text.
  // Throws fp::kException with a message when any of these fails.
  // A driver's constructor runs after this one and sets fCapabilities, fLineLength,
  // fDisplayLineCount, fDisplayLineLength and its own fields.
  explicit kFiscalPrinterDevice(kReceiptPrinterHandler& aHandler);
  // Frees the tables, the transport (which ends the device log), the RT records, the
  // processor caller and the RT server client, in that order.
  virtual ~kFiscalPrinterDevice();

  kFiscalPrinterDevice(const kFiscalPrinterDevice&) = delete;
  kFiscalPrinterDevice& operator=(const kFiscalPrinterDevice&) = delete;

  // ---- Operations behind the exports ----
  // Each runs the operation frame described at the top of this file and fills the export's
  // result record. Exceptions (bad parameters, hooks that throw) leave the operation and are
  // reported by the request frame.

  void Pub_Open(kReceiptPrinterHandler& aHandler, _int_OPEN_result& aResult);
  void Pub_Close(kReceiptPrinterHandler& aHandler, _int_CLOSE_result& aResult);
  void Pub_GetStatus(kReceiptPrinterHandler& aHandler, _int_GETSTATUS_result& aResult);

  void Pub_PrintReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult);
  void Pub_RePrintReceipt(kReceiptPrinterHandler& aHandler, _int_REPRINTFR_result& aResult);
  void Pub_PrintXReport(kReceiptPrinterHandler& aHandler, _int_PRINTXR_result& aResult);
  void Pub_PrintZReport(kReceiptPrinterHandler& aHandler, _int_PRINTZR_result& aResult);
  void Pub_EJReport(kReceiptPrinterHandler& aHandler, _int_EJREPORT_result& aResult);
  void Pub_GetEJFiles(kReceiptPrinterHandler& aHandler, _int_GETEJFILES_result& aResult);
  void Pub_PrintNFReceipt(kReceiptPrinterHandler& aHandler, _int_PRINTNFR_result& aResult);
  void Pub_WriteDisplay(kReceiptPrinterHandler& aHandler, _int_DISPLAY_result& aResult);
  void Pub_OpenDrawer(kReceiptPrinterHandler& aHandler, _int_OPENDR_result& aResult);
  void Pub_GetDrawerStatus(kReceiptPrinterHandler& aHandler, _int_GETDRSTATUS_result& aResult);
  void Pub_Set(kReceiptPrinterHandler& aHandler, _int_SET_result& aResult);
  void Pub_SetDateTime(kReceiptPrinterHandler& aHandler, _int_SETDATETIME_result& aResult);
  void Pub_GetVatTable(kReceiptPrinterHandler& aHandler, _int_GETVATTABLE_result& aResult);
  void Pub_SetVatTable(kReceiptPrinterHandler& aHandler, _int_SETVATTABLE_result& aResult);
  void Pub_GetDeptTable(kReceiptPrinterHandler& aHandler, _int_GETDEPTTABLE_result& aResult);
  void Pub_SetDeptTable(kReceiptPrinterHandler& aHandler, _int_SETDEPTTABLE_result& aResult);
  void Pub_Pay(kReceiptPrinterHandler& aHandler, _int_PAY_result& aResult);
  void Pub_GetLotteryReceiptStatus(kReceiptPrinterHandler& aHandler, _int_GETLOTTERYRCPTSTATUS_result& aResult);

  // The steps of OPEN after Pub_Open succeeded. InitAfterOpen lets the model initialise
  // itself (its Init hook): "" when it did, or returned false without recording a failure;
  // otherwise the failure it recorded.
  std::string InitAfterOpen();
  // After OPEN's status read: opens the journal of this printer, settles what is unsettled
  // and reads where the numbering stands, when no other document is in progress on it. A
  // journal that cannot be opened is logged; the documents then fail with the reason.
  void OpenJournalAtStart();

  // ---- Properties ----
  int32_t Handle() const { return fHandle; }
  // The table of open devices gives the device its handle once it holds it.
  void SetHandle(int32_t aHandle) { fHandle = aHandle; }
  // Whether the transport (and with it the device log) was built: false only while a
  // failed construction is being reported.
  bool HasTransport() const { return fIOHandler != nullptr; }
  std::string LogFileName() const;
  // An error line of the device log, as it is (the entry layer logs a call's failure here).
  void LogError(const std::string& aMessage);
  // What the last successful Pub_GetStatus read: the serial number (the key of the
  // printer's document journal) and the fiscal mode.
  const std::string& SerialNumber() const { return fSerialNumber; }
  const std::string& FiscalMode() const { return fFiscalMode; }
  // What the model set at construction.
  vnFiscalPrinterCapabilities Capabilities() const { return fCapabilities; }
  int32_t LineLength() const { return fLineLength; }
  int32_t DisplayLineCount() const { return fDisplayLineCount; }
  int32_t DisplayLineLength() const { return fDisplayLineLength; }
  // What the device keeps between calls.
  const vnFiscalCounters& Counters() const { return fCounters; }
  const vnLotteryReceiptStatus& LotteryReceiptStatus() const { return fLotteryReceiptStatus; }
  const std::vector<vnFiscalPrinterPrintSection>& PrintSequence() const { return fPrintSequence; }
  const kVatTable& VatTable() const { return *fVatTable; }
  const kDeptTable& DeptTable() const { return *fDeptTable; }
  const kEconomicActivityTable& EATable() const { return *fEATable; }
  // The document journal of this printer once opened (none before), and the row of the
  // document in progress.
  kDocumentJournal* Journal() const { return fJournal.get(); }
  const vnJournalEntry& CurrentDocument() const { return fDocument; }
  // The failure the last operation recorded, as its result reported it: one outcome (ok_Done
  // when none, a transport's own failure included) and its parts.
  vnOutcome Outcome() const;
  bool ErrorFound() const;
  int32_t ErrorCode() const;
  const std::string& ErrorMessage() const;

  // "Version <application version> - <release date in the user's short date format>";
  // the same text for every model.
  static std::string GetDriverVersion();

  // How long the device keeps asking a printer that does not answer what became of a
  // document (device parameter OutcomeTimeout, milliseconds).
  static constexpr int kDefaultOutcomeTimeoutMs = 30000;
  static constexpr int kOutcomePauseMs = 1000;
  // The stable start of every ErrorText whose outcome the device could not learn.
  static constexpr const char* kOutcomeUnknownPrefix = "Outcome unknown: ";
  // How long a document waits for another device's document on the same printer (device
  // parameter PrinterBusyTimeout, milliseconds; the outcome bound when not given).
  static constexpr const char* kPrinterBusyText = "The printer is busy with another document";

  // ---- Seams for tests, which never wait real time ----
  // Replaces the wall clock of the documents and of the journal's rows.
  void SetClock(Clock aClock) { fClock = std::move(aClock); }
  using Sleeper = std::function<void(int aMilliseconds)>;
  using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
  // Replaces the pause and the clock of the bounded waits (tests never wait real time).
  void SetOutcomeWaits(Sleeper aSleeper, SteadyClock aClock);

 protected:
  // =======================================================================================
  // The model's contract. A model driver is a subclass that implements the hooks below (the
  // pure ones at least) and calls only the services after them; the device's own state and
  // the framework's steps are private. Every hook keeps the hook contract at the top of
  // this file. Unless stated otherwise a hook is REQUIRED (pure); "Ignored" means the
  // calling operation does not look at the returned value.
  // =======================================================================================

  // ---- Hooks: documents ----

  // Opens a non-fiscal document. Called by Pub_PrintNFReceipt with the request's document,
  // and by the report printers with a fresh document whose fLayout is "DocumentLayout" (or
  // the Z request's layout); the header and footer lines are reachable through it.
  // false stops PRINTNFR before any line; ignored elsewhere.
  virtual bool BeginNonFiscalReceipt(kNFReceipt& aNFReceipt) = 0;
  // One text line of a non-fiscal document. aReceipt is context only: the request's empty
  // fiscal receipt from PRINTNFR, null from the report printers.
  // false stops the remaining lines of PRINTNFR; ignored elsewhere.
  virtual bool PrintNonFiscalTextLine(kReceipt* aReceipt, kReceiptMessageTextLine& aLine) = 0;
  // One barcode line of a non-fiscal document (PRINTNFR only); as PrintNonFiscalTextLine.
  virtual bool PrintNonFiscalBarcodeLine(kReceipt* aReceipt, kReceiptMessageBarcodeLine& aLine) = 0;
  // One image line of a non-fiscal document (PRINTNFR only); as PrintNonFiscalTextLine.
  virtual bool PrintNonFiscalImageLine(kReceipt* aReceipt, kReceiptMessageImageLine& aLine) = 0;
  // Closes the non-fiscal document opened by BeginNonFiscalReceipt. Ignored.
  virtual bool EndNonFiscalReceipt(kNFReceipt& aNFReceipt) = 0;
  // Why the printer cannot take aReceipt at all (a line type it has no command for), or
  // empty when it can. Called by Pub_PrintReceipt before anything is sent on either road, so
  // a refused receipt leaves the printer, the RT server and the journal untouched. Optional:
  // the default takes every receipt.
  virtual std::string ReceiptRefusal(const kReceipt& aReceipt);
  // Opens a fiscal receipt. Called by Pub_PrintReceipt once the device is ready. The hook
  // may change the print sequence (AddPrintSection, ClearPrintSequence); the receipt is
  // printed in the order it leaves there. false skips every section and EndFiscalReceipt.
  virtual bool BeginFiscalReceipt(kReceipt& aReceipt) = 0;
  // Closes the fiscal receipt after all sections went through. Ignored.
  virtual bool EndFiscalReceipt(kReceipt& aReceipt) = 0;
  // One payment of the receipt, in order. false makes the receipt fail with
  // "Error while processing Payments".
  virtual bool PrintPayment(kReceipt& aReceipt, kReceiptPaymentLine& aPayment) = 0;
  // One trailer message line (text or barcode), in order. false stops the trailer and the
  // receipt (EndFiscalReceipt is skipped).
  virtual bool PrintTrailerTextLine(kReceipt& aReceipt, kReceiptMessageTextLine& aLine) = 0;
  virtual bool PrintTrailerBarcodeLine(kReceipt& aReceipt, kReceiptMessageBarcodeLine& aLine) = 0;
  // The last document's date-time, number, journal number, journal closing number and the
  // device serial number. Called after a successful receipt or report. Ignored.
  virtual bool GetLastDocumentInfo(DateTime& aDateTime, std::string& aNumber, std::string& aEJNumber,
                                   std::string& aEJClosingNumber, std::string& aSerialNumber) = 0;
  // Sets the lottery code of the next receipt. Not called by the framework; for drivers.
  virtual bool SetLotteryCode(const std::string& aCode) = 0;
  // Reprints the referenced receipt; aReceipt is empty unless a processor supplied one.
  // Ignored.
  virtual bool RePrintReceipt(kReceiptReference& aReference, kReceipt& aReceipt) = 0;
  // The text of the referenced receipt (for the receipt text and picture). Ignored.
  virtual bool ReadReceiptText(kReceiptReference& aReference, std::string& aText) = 0;

  // ---- Hooks: sale lines ----

  // Sale line hooks, one per line type, called in line order while printing the lines
  // section of a receipt. false stops the receipt (remaining lines, payments, trailer and
  // EndFiscalReceipt are skipped).
  virtual bool PrintProductSale(kReceipt& aReceipt, kReceiptLineProductSale& aLine) = 0;
  virtual bool PrintProductReturn(kReceipt& aReceipt, kReceiptLineProductReturn& aLine) = 0;
  // OPTIONAL. The default prints a text line " <quantity> <unit> x <currency> <price>/<unit>"
  // through PrintTextLine, then the line's amount as a product sale of quantity 1 through
  // PrintProductSale, and returns what PrintProductSale returns.
  virtual bool PrintWeightedProductSale(kReceipt& aReceipt, kReceiptLineWeightedProductSale& aLine);
  virtual bool PrintVoucherSale(kReceipt& aReceipt, kReceiptLineVoucherSale& aLine) = 0;
  virtual bool PrintVoucherRedeem(kReceipt& aReceipt, kReceiptLineVoucherRedeem& aLine) = 0;
  virtual bool PrintGiftCardSale(kReceipt& aReceipt, kReceiptLineGiftCardSale& aLine) = 0;
  virtual bool PrintGiftCardRedeem(kReceipt& aReceipt, kReceiptLineGiftCardRedeem& aLine) = 0;
  virtual bool PrintCollectAmount(kReceipt& aReceipt, kReceiptLineCollectAmount& aLine) = 0;
  virtual bool PrintTextLine(kReceipt& aReceipt, kReceiptLineText& aLine) = 0;
  virtual bool PrintSubTotal(kReceipt& aReceipt, kReceiptLineSubtotal& aLine) = 0;
  virtual bool PrintDiscountAmount(kReceipt& aReceipt, kReceiptLineDiscountAmount& aLine) = 0;
  virtual bool PrintDiscountPercentage(kReceipt& aReceipt, kReceiptLineDiscountPercentage& aLine) = 0;
  virtual bool PrintDiscountAmountOnSubtotal(kReceipt& aReceipt, kReceiptLineDiscountAmountOnSubTotal& aLine) = 0;
  virtual bool PrintDiscountPercentageOnSubTotal(kReceipt& aReceipt,
                                                 kReceiptLineDiscountPercentageOnSubTotal& aLine) = 0;
  virtual bool PrintMarkupAmount(kReceipt& aReceipt, kReceiptLineMarkupAmount& aLine) = 0;
  virtual bool PrintMarkupPercentage(kReceipt& aReceipt, kReceiptLineMarkupPercentage& aLine) = 0;
  virtual bool PrintMarkupAmountOnSubtotal(kReceipt& aReceipt, kReceiptLineMarkupAmountOnSubTotal& aLine) = 0;
  virtual bool PrintMarkupPercentageOnSubTotal(kReceipt& aReceipt, kReceiptLineMarkupPercentageOnSubTotal& aLine) = 0;

  // ---- Hooks: reports ----

  // Prints the X report. Called by Pub_PrintXReport once the device is ready. Ignored.
  virtual bool PrintXReport(kXReport& aReport) = 0;
  // Prints the Z report (closes the fiscal day). Called by Pub_PrintZReport with the
  // request's document; drivers call it themselves with null. Ignored.
  virtual bool PrintZReport(kZReport* aReport) = 0;
  // OPTIONAL. After a Z report the printer carried out (also one whose answer was lost and
  // that the closing count then confirmed): fills fCounters with the totals, number and text
  // of the closing just taken, read back from the printer. false, with the reason recorded,
  // when they cannot be read: fCounters then hold no totals. The default keeps the counters
  // as PrintZReport left them and returns true.
  virtual bool ReadZReportTotals() { return true; }
  // The remaining capacity of the fiscal memory (after a Z report). Ignored.
  virtual bool GetRemainingFiscalMemory(int32_t& aRemaining) = 0;

  // ---- Hooks: status, clock, display, drawer and payments ----

  // Readiness check before printing (see IsReady). false: the operation skips its device
  // steps; the operation reports whatever the hook recorded on the transport.
  virtual bool CheckStatus() = 0;
  // true: the readiness rule does not call CheckStatus.
  virtual bool SkipStatusCheck() = 0;
  // Whether the fiscal day is open. Not called by the framework; for drivers.
  virtual bool IsDayOpened() = 0;
  // The printer's status, for Pub_GetStatus; aStatus arrives with the result's start
  // values. Ignored (the transport's recorded error decides the result).
  virtual bool GetPrinterStatus(vnPrinterStatus& aStatus) = 0;
  // Whether drawer aDrawerNumber is open. Ignored.
  virtual bool GetDrawerStatus(int32_t aDrawerNumber, bool& aIsOpen) = 0;
  // The printer's clock. Called by Pub_SetDateTime (read back) and Pub_PrintNFReceipt.
  // Ignored.
  virtual bool GetDateTime(DateTime& aDateTime) = 0;
  // Sets the printer's clock; a value the printer cannot hold (the zero date included) is
  // refused with an exception before anything is sent. Ignored.
  virtual bool SetDateTime(DateTime aDateTime) = 0;
  // Switches training mode on or off. Ignored.
  virtual bool SetTrainingMode(bool aTrainingMode) = 0;
  // Clears the customer display. false skips the write that follows.
  virtual bool ClearDisplay() = 0;
  // Shows the lines on the customer display. Ignored.
  virtual bool WriteDisplay(kReceiptMessageLines& aLines) = 0;
  // Opens drawer aDrawerNumber. Ignored.
  virtual bool OpenDrawer(int32_t aDrawerNumber) = 0;
  // Runs an electronic payment; a driver fills the document's fReceiptLines and
  // fRawResponse. A driver without payments throws (e.g. "Driver does not support
  // payment"). Ignored.
  virtual bool Pay(kPaymentReceipt& aPayment) = 0;
  // Fills the lottery status (fLotteryReceiptStatus) of the referenced receipt. Ignored.
  virtual bool ReadLotteryReceiptStatus(kReceiptReference& aReference) = 0;
  // Follow-up of OPEN after a successful Pub_Open. Ignored.
  virtual bool Init() = 0;

  // ---- Hooks: tables ----
  // Each Read hook refills the device's table (MutableVatTable() and the others below).

  // Refills fVatTable from the printer. Ignored.
  virtual bool ReadVatTable() = 0;
  // Programs the printer's VAT table from the request's table. Ignored.
  virtual bool WriteVatTable(kVatTable& aVatTable) = 0;
  // Refills fEATable from the printer (called before ReadDeptTable). Ignored.
  virtual bool ReadEATable() = 0;
  // Programs the economic activities (called before WriteDeptTable, whatever it returns).
  // Ignored.
  virtual bool WriteEATable(kEconomicActivityTable& aEATable) = 0;
  // Refills fDeptTable from the printer. Ignored.
  virtual bool ReadDeptTable() = 0;
  // Programs the departments. Ignored.
  virtual bool WriteDeptTable(kDeptTable& aDeptTable) = 0;

  // ---- Hooks: electronic journal ----

  // Electronic journal: prints (rd_Printer) or reads (rd_Memory, text into aText) the Z
  // reports of a date range, or the documents of a kind by number and date range. Ignored.
  virtual bool PrintEJZReports(vnEJReportDestination aDestination, DateTime aStartDate, DateTime aEndDate,
                               std::string& aText) = 0;
  virtual bool PrintEJFiscalReceipts(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                                     DateTime aEndDate, int32_t aEndNumber, std::string& aText) = 0;
  virtual bool PrintEJNonFiscalReceipts(vnEJReportDestination aDestination, int32_t aStartNumber,
                                        DateTime aStartDate, DateTime aEndDate, int32_t aEndNumber,
                                        std::string& aText) = 0;
  virtual bool PrintEJCreditNotes(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                                  DateTime aEndDate, int32_t aEndNumber, std::string& aText) = 0;
  virtual bool PrintEJInvoices(vnEJReportDestination aDestination, int32_t aStartNumber, DateTime aStartDate,
                               DateTime aEndDate, int32_t aEndNumber, std::string& aText) = 0;
  // Extracts journal files into aOutputDir; aFilesCount receives how many were written
  // (left unchanged when the hook does not set it). Ignored.
  virtual bool GetEJFiles(vnEJFilesRequestType aRequestType, const std::string& aOutputDir, DateTime aStartDate,
                          DateTime aEndDate, int32_t& aFilesCount) = 0;

  // ---- Hooks: outcome ----

  // Hooks that tell what became of a command whose answer was lost. All OPTIONAL: a driver
  // without them gets "Outcome unknown" for such a command instead of a settled outcome.

  // Reads where the printer's numbering stands into aMark (fKnown set). false when it could
  // not be read: with a failure recorded on the transport when the printer was asked, without
  // one when the driver cannot tell (the default).
  virtual bool ReadDocumentMark(vnDocumentMark& aMark);
  // Cancels the fiscal receipt open on the printer, so it never becomes a document. Default:
  // false, nothing cancelled.
  virtual bool CancelFiscalReceipt();
  // The printer's serial number, for a device that has not read its status yet (the key of
  // its document journal). Default: the serial number of GetPrinterStatus.
  virtual bool ReadSerialNumber(std::string& aSerialNumber);

  // =======================================================================================
  // Services a model may call.
  // =======================================================================================

  // As the public constructor, with a transport made by the caller instead of the one the
  // request's connection describes (fakes and fault-injecting transports in tests).
  kFiscalPrinterDevice(kReceiptPrinterHandler& aHandler, std::unique_ptr<kIOHandler> aIOHandler);

  // ---- Recording a failure ----
  // The device owns the failure of the operation in progress: hooks record it here (the
  // printer's reply code or the exchange's status code, and the message the result
  // reports); the operation frame clears it. A transport that records a failure of its own
  // (spooler, OPOS, the HTTP transport's Write) counts when no hook recorded one. The
  // recorded failure reads through the public Outcome, ErrorFound, ErrorCode and ErrorMessage.
  void RecordError(int32_t aCode, const std::string& aMessage);
  // The command path: the outcome of the command just sent. A command the printer answered
  // clears a failure recorded before it; a failed one becomes the recorded failure.
  void RecordOutcome(const vnOutcome& aOutcome);
  // What became of the last command sent.
  const vnOutcome& LastCommandOutcome() const { return fLastCommand; }
  // After a hook failed: what the last printer command was, in words, when it got no answer
  // and may have changed the printer; empty when it was answered (refused), surely never
  // reached the printer, or only read the printer's state.
  std::string UnansweredCommand() const;
  // Whether the printer answered the last command (true also when it succeeded). false when
  // no answer came at all, so asking again may still succeed.
  bool LastFailureAnswered() const { return fLastCommand.Answered(); }
  // Clears the recorded failure, the transport's own included.
  void ResetError();

  // ---- Logging, the transport and the clock ----
  // An information line of the device log, as it is.
  void LogInfo(const std::string& aMessage);
  // The device's transport: the model takes its exchange from it (OpenExchange), adjusts its
  // read timeout and writes its own lines to the device log through it.
  kIOHandler& IOHandler() const { return *fIOHandler; }
  // The current local date and time through the device's clock.
  DateTime CurrentDateTime() const { return fClock ? fClock() : Now(); }

  // ---- Asking a printer that does not answer ----
  // Runs aRead (a hook that only reads the printer) until it succeeds, asking again while the
  // printer does not answer, until the outcome bound has passed. false when it never
  // succeeded; the failure stays recorded.
  bool ReadWithinBound(const std::function<bool()>& aRead);
  // A note for the result's MessageText (PRINTFR) and the log; cleared by BeginOperation.
  void AddResultNote(const std::string& aNote);
  // The Z report a printer in its inactive period needs at start-up, journalled under the
  // printer's lock like the host's own: unsettled documents are settled first, and the day
  // is not closed while one stays unsettled or the journal cannot be opened. false with the
  // reason recorded when the day was not closed.
  bool CloseDayAtStart();

  // ---- What the model fills ----
  // The device's tables, which the Read hooks refill (the public side reads them through
  // VatTable(), DeptTable() and EATable()).
  kVatTable& MutableVatTable() { return *fVatTable; }
  kDeptTable& MutableDeptTable() { return *fDeptTable; }
  kEconomicActivityTable& MutableEATable() { return *fEATable; }
  // fIndex of the first VatTable() entry whose fCode equals aCode exactly (letter case
  // counts); -1 when there is none.
  int32_t FindVatIndex(const std::string& aCode) const;
  // Appends aSection to the print sequence unless it is already there.
  void AddPrintSection(vnFiscalPrinterPrintSection aSection);
  void ClearPrintSequence();
  // Zeroes the counters a driver fills from the printer; the two voids amounts, the Z
  // report date-time and the text keep their values.
  void ResetCounters();
  // aText padded with blanks on the right to aWidth characters, then cut to aWidth
  // characters (a width of 0 or less gives the empty text).
  static std::string PadText(const std::string& aText, int32_t aWidth);

  // Values the model sets or fills itself, as plain members: its constructor sets the
  // capabilities, the line length and the display size; the report hooks fill the counters,
  // ReadLotteryReceiptStatus the lottery status; the command path keeps the numbering mark
  // (ReadDocumentMark fills it; a command that may have moved the numbering marks it
  // unknown). The public side reads them through the const properties above.
  vnFiscalPrinterCapabilities fCapabilities;  // not consulted by the framework
  int32_t fLineLength = 0;                    // printed characters per line
  int32_t fDisplayLineCount = 0;              // customer display lines
  int32_t fDisplayLineLength = 0;             // characters per display line
  vnFiscalCounters fCounters;
  vnLotteryReceiptStatus fLotteryReceiptStatus;
  // The numbering as the device last learnt it; fKnown false when it may have moved since.
  vnDocumentMark fDocumentMark;

 private:
  // =======================================================================================
  // The framework's own steps and the device's state.
  // =======================================================================================

  // The processor caller prints report texts through the non-fiscal document hooks.
  friend class kFiscalProcessorCaller;
  // The tests' one way to the device's state: they set what an earlier call would have left
  // (the serial number), put fakes in place of the companions and read the RT records.
  friend class kDeviceTestAccess;

  // How far a fiscal receipt got on the printer.
  enum class ReceiptStage { NotOpened, Open, Closing };

  // The readiness rule of the printing operations: SkipStatusCheck, else CheckStatus.
  bool IsReady();
  // Opens the RT server client's till when it is not open yet, with the parameters
  // RTServerHost, RTServerPort, RTServerUser, RTServerPassword and RTServerTillSerial;
  // logs "RTServer:OpenTill" first. The outcome is not looked at.
  void OpenRTServerTill(kReceiptPrinterHandler& aHandler);
  // CancelFiscalReceipt whose failure, an unreadable answer among them, is only logged: true
  // when the printer cancelled it. The recorded failure is cleared either way, so the failure
  // that explains the operation stays the one the caller records.
  bool CancelOpenReceiptQuietly();
  // Fills the receipt text and picture of a printed receipt when the request asks for them
  // (parameters GetReceiptText / GetReceiptImage).
  void GetReceiptTextAndImage(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                              std::string& aReceiptText, std::string& aReceiptImage);

  // GetLastDocumentInfo for a document the printer has already carried out, asked again
  // within the outcome bound while the printer does not answer. Nothing can turn that
  // outcome into a failure (the host would print or close again): what could not be read
  // stays empty (the date 0) and is named in the returned text, empty when all was read; the
  // transport's recorded error is cleared.
  std::string ReadDoneDocumentInfo(DateTime& aDateTime, std::string& aNumber, std::string& aEJNumber,
                                   std::string& aEJClosingNumber, std::string& aSerialNumber);
  // The printer's clock read into aDateTime once an operation's outcome is decided: nothing
  // the read meets can change that outcome. A clock that cannot be read leaves aDateTime 0
  // and its reason is returned (empty when read); the recorded error is cleared either way.
  std::string ReadClockAfterOutcome(DateTime& aDateTime);
  // The RT-server report text ("X" or "Z"), printed as a non-fiscal document through the
  // hooks when aPrint is true, and left in fCounters.Text.
  void PrintReportText(const std::string& aKind, bool aPrint);
  // The paper copy of a report the RT server or the processor library has already taken, as
  // the non-fiscal document aDocument: opened, its lines printed by aPrintLines, then closed
  // when aClose. Throws kException naming the failure when the printer refuses the opening
  // (aPrintLines is not run then) or refuses or does not answer the closing; the printer's
  // failure is cleared, since the report itself stays taken.
  void PrintReportCopy(kNFReceipt& aDocument, const std::function<void()>& aPrintLines, bool aClose);
  // One line of the report text: handed to PrintNonFiscalTextLine and appended to
  // fCounters.Text after a CR LF.
  // aEffects is a set of vnReceiptMessageLineEffect bits.
  void AddReportLine(kNFReceipt& aNFReceipt, const std::string& aText, uint8_t aEffects,
                     vnReceiptMessageLineAlignment aAlignment);
  // aLabel on the left and aAmount (two decimals) flush right within fLineLength characters.
  std::string FormatAmountLine(const std::string& aLabel, Amount aAmount) const;

  // Operation frame pieces, for the operations in every file of this class.
  // Frame steps 1 and 2: no recorded failure, header line in the log, Error := true,
  // LogFileName. A failure left by an earlier call must not leak into this one. Documents an
  // earlier call left unsettled on this printer are settled first when no other document is
  // in progress on it (aSettle false: the operation settles them itself).
  template <class R>
  void BeginOperation(std::string_view aLogName, R& aResult, bool aSettle = true) {
    ResetError();
    fResultNote.clear();
    WriteOperationHeader(aLogName);
    aResult.Error = true;
    aResult.LogFileName = LogFileName();
    if (aSettle) SettleBeforeOperation();
  }
  // After the closing of a non-fiscal document lost its answer: the printer tells whether the
  // document is still open (closed once more then). false when the outcome stays unknown
  // (aResult filled); true when the operation goes on with what is recorded.
  bool SettleLostClosing(kNFReceipt& aDocument, _int_PRINTNFR_result& aResult);
  // The journal steps of a non-fiscal document: its row (false: aResult filled, nothing
  // printed, or answered from the journal), its closing (false: the outcome stays unknown,
  // aResult filled), and its outcome as the result says it.
  bool BeginJournalDocument(kNFReceipt& aDocument, _int_PRINTNFR_result& aResult);
  bool CloseJournalDocument(kNFReceipt& aDocument, _int_PRINTNFR_result& aResult);
  void SettleJournalDocument(_int_PRINTNFR_result& aResult);
  // The same for a Z report.
  bool BeginJournalReport(_int_PRINTZR_result& aResult);
  void SettleReport(_int_PRINTZR_result& aResult);
  // The same for a programming (VAT table, departments) or the clock: the row before the
  // first command ("" or the failure), and its outcome from the operation's result.
  std::string BeginJournalChange(vnJournalKind aKind);
  void SettleChange(_int_ErrorTail& aResult);
  // Settles what earlier calls left unsettled on this printer, when its lock is free now.
  void SettleBeforeOperation();
  // Frame step 4: Error and ErrorText from the operation's recorded failure; a command whose
  // answer was lost after it may have changed the printer is reported as an unknown outcome.
  template <class R>
  void EndOperation(R& aResult) {
    if (ErrorFound()) {
      aResult.Error = true;
      aResult.ErrorText = FailureText();
    } else {
      aResult.Error = false;
      aResult.ErrorText.clear();
    }
  }
  // Writes "<60 dashes> <aLogName>" as an information line of the device log.
  void WriteOperationHeader(std::string_view aLogName);
  // The recorded message, or "Outcome unknown: ..." when the failed command got no answer
  // and may have changed the printer.
  std::string FailureText();

  // ---- The document journal (document_outcome.cpp) ----
  //
  // Every document that changes the printer goes through the journal of its printer (keyed
  // by the serial number, shared by every device, handle and process of this machine):
  // BeginDocument takes the printer's lock, settles what an earlier call left unsettled,
  // reads where the numbering stands and writes the document's row; MarkClosingSent is
  // committed before the command that completes it leaves; SettleDocument commits its
  // outcome before the export returns; EndDocument (or the kDocumentScope going) lets the
  // lock go.

  // Opens the journal of this printer when it is not open yet, reading the serial number
  // first when no status read has given it. "" when open; otherwise why not, as the result
  // says it ("The document journal cannot be written: ...; nothing was printed").
  std::string OpenJournal();
  // aPrefix ("Receipt not printed: ") + a failure before the first command, a journal that
  // cannot be written among them.
  static std::string DocumentFailure(const std::string& aPrefix, const std::string& aFailure);
  // Opens the journal, takes the printer's lock, settles unsettled rows and, with
  // aNumbering, reads the numbering when it is not known and cancels a receipt left open;
  // "" on success, otherwise the failure (nothing was sent).
  std::string PrepareDocument(bool aNumbering = true);
  // Takes the printer's lock, within the busy bound, for an operation that prints without a
  // row of the journal (the caller's kDocumentScope lets it go). "" or kPrinterBusyText.
  std::string LockPrinterToPrint();
  // Writes the row of a new document of aKind (the lock held, numbering known as far as it
  // could be read). "" or the failure (nothing was sent).
  std::string BeginDocument(vnJournalKind aKind, const std::string& aIdentity, const std::string& aTotal = "");
  // The row of the document in progress is "closing sent" (committed to disk).
  void MarkClosingSent();
  // The outcome of the document in progress: aState with the document's numbers (aNumber,
  // aClosing, aDateTime; empty when none), the outcome's message and the result fragment.
  void SettleDocument(vnJournalState aState, const std::string& aMessage, const std::string& aResult = "",
                      const std::string& aNumber = "", const std::string& aClosing = "", DateTime aDateTime = 0);
  // Releases the printer's lock; a row still unsettled stays for the next call to settle.
  void EndDocument();
  // Writes the outcome SettleDocument could not (the lock held): false while the journal
  // still cannot take it, which stays kept here.
  bool WritePendingOutcome();
  // aRow, or the outcome kept here for it.
  vnJournalEntry WithPendingOutcome(const vnJournalEntry& aRow) const;
  // Settles every unsettled row of the journal (the lock held); the rows it looked at, with
  // their states now, are kept in fSettledNow.
  void SettleJournal();
  // Settles one unsettled row on the printer's evidence and writes it back.
  void SettleEntry(vnJournalEntry& aEntry);
  // The evidence for a receipt that started at aEntry's numbering: printed (aNumber and
  // aClosing set), not printed, or unknown, with the reason in aWhy.
  vnJournalState ReceiptEvidence(const vnJournalEntry& aEntry, const vnDocumentMark& aNow, std::string& aNumber,
                                 std::string& aClosing, std::string& aWhy);
  // Looks for a document with total aTotal in the printer's journal: receipt aNumber of
  // closing aClosing (the closing the document belongs to). true when it could read the
  // journal; aFound whether that document exists, aMatches whether its total is aTotal.
  bool JournalHoldsReceipt(long aNumber, long aClosing, const std::string& aTotal, bool& aFound, bool& aMatches);
  // The identity of a receipt: "ref:" + its ExternalReference, or "fp:" + a fingerprint of
  // its content without its time stamps.
  static std::string ReceiptIdentity(const kReceipt& aReceipt);
  static std::string DocumentIdentity(const kNFReceipt& aDocument);
  // The newest row with aIdentity that a retry of it must be answered from: a row held as
  // printed (for a content fingerprint only one of this device whose outcome was never
  // reported), or one still unknown. None when the document is to be printed.
  std::optional<vnJournalEntry> EarlierDocument(const std::string& aIdentity);
  // Marks aEntry's outcome as reported to the host with aResult.
  void MarkReported(vnJournalEntry aEntry, const std::string& aResult);
  // After a damaged journal was set aside: whether the printer's last document looks like
  // aReceipt (its total and its items in the printer's journal), so that it may be a receipt a
  // lost row stood for. aNumber and aClosing are its numbers.
  bool LastDocumentIs(const kReceipt& aReceipt, std::string& aNumber, std::string& aClosing);
  bool DocumentInProgress() const { return fDocumentOpen; }
  // Rows the settlement of this call looked at.
  std::vector<vnJournalEntry> fSettledNow;

  // Frees the printer's lock when it goes, whatever way the operation ends.
  class kDocumentScope {
   public:
    explicit kDocumentScope(kFiscalPrinterDevice& aDevice) : fDevice(aDevice) {}
    ~kDocumentScope() { fDevice.EndDocument(); }
    kDocumentScope(const kDocumentScope&) = delete;
    kDocumentScope& operator=(const kDocumentScope&) = delete;

   private:
    kFiscalPrinterDevice& fDevice;
  };

  // Reads the printer's numbering, asking again while it does not answer, until the
  // outcome bound has passed. false when it never answered.
  bool ReadMarkWithinBound(vnDocumentMark& aMark);
  // "Outcome unknown: " + aWhat + how long the printer was asked + the numbering known before.
  std::string OutcomeUnknownText(const std::string& aWhat, const vnDocumentMark& aBefore) const;
  const std::string& ResultNote() const { return fResultNote; }

  // Steps of the receipt operations (receipt_operations.cpp), on the device they are given.
  static bool PrintLineByType(kFiscalPrinterDevice& aDevice, kReceipt& aReceipt, kReceiptLine& aLine);
  static void AddReceiptTextAndImage(kFiscalPrinterDevice& aDevice, kReceiptPrinterHandler& aHandler,
                                     _int_PRINTFR_result& aResult);
  static void RunReceiptHooks(kFiscalPrinterDevice& aDevice, kReceipt& aReceipt, bool aGood, ReceiptStage& aStage);
  static bool ReadPrintedNumbers(kFiscalPrinterDevice& aDevice, const vnJournalEntry& aRow,
                                 _int_PRINTFR_result& aResult);
  static void ReportPrinted(kFiscalPrinterDevice& aDevice, kReceiptPrinterHandler& aHandler, const kReceipt& aReceipt,
                            _int_PRINTFR_result& aResult, bool aNumbersRead = false);
  static void ReportNotPrinted(kFiscalPrinterDevice& aDevice, _int_PRINTFR_result& aResult, const std::string& aText);
  static std::string CancelOpenReceipt(kFiscalPrinterDevice& aDevice, ReceiptStage aStage, bool& aWasOpen);
  static void ReportFromJournal(kFiscalPrinterDevice& aDevice, const vnJournalEntry& aRow, const kReceipt& aReceipt,
                                _int_PRINTFR_result& aResult);
  static void NoteSettledCalls(kFiscalPrinterDevice& aDevice);

  // The device's own state.
  int32_t fHandle = 0;                      // set by the handle table after construction
  std::unique_ptr<kIOHandler> fIOHandler;   // transport and device log
  std::string fFiscalMode;                  // from the last successful Pub_GetStatus
  std::string fSerialNumber;                // from the last successful Pub_GetStatus
  std::unique_ptr<kVatTable> fVatTable;     // refilled by ReadVatTable
  std::unique_ptr<kDeptTable> fDeptTable;   // refilled by ReadDeptTable
  std::unique_ptr<kEconomicActivityTable> fEATable;  // refilled by ReadEATable
  std::vector<vnFiscalPrinterPrintSection> fPrintSequence;
  int32_t fEJFilesCount = 0;                // files of the last journal extraction
  std::unique_ptr<kFiscalProcessorCaller> fProcessor;
  bool fRTServerActive = false;
  std::string fRTServerTillSerial;
  bool fRTServerTillInstance = false;
  std::unique_ptr<kRTServerClient> fRTServer;  // only when fRTServerActive
  std::unique_ptr<kRTServerReceiptInfo> fRTServerReceiptInfo;
  std::unique_ptr<kRTServerTillReportInfo> fRTServerTillReportInfo;

 private:
  // Construction steps after the transport exists.
  void Setup(kReceiptPrinterHandler& aHandler);
  // Pauses between outcome reads; true while the outcome bound since aStart has not passed.
  bool PauseWithinBound(std::chrono::steady_clock::time_point aStart, int& aWaitedMs);

  // The two roads of Pub_PrintReceipt after the readiness rule (aGood): printed on the
  // device alone, or signed by the RT server first and then printed as the paper copy.
  void PrintReceiptOnDevice(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult, bool aGood);
  void PrintReceiptThroughRTServer(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult, bool aGood);
  // The receipt's hooks and what became of it, with its row begun: the result filled and
  // the state its row is settled with.
  vnJournalState PrintReceiptSettled(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult, bool aGood);
  // Steps of those two. A receipt the journal already holds, or one a damaged journal cannot
  // tell from the printer's last document, is answered without printing: true when answered.
  bool AnsweredWithoutPrinting(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                               const std::string& aIdentity);
  // The closing went out and no answer said it was done (aClosingRefused: the printer refused
  // it): the printer's numbering and journal tell what became of the receipt.
  vnJournalState AskClosingOutcome(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                   const vnDocumentMark& aBefore, const std::string& aReason, bool aClosingRefused);
  // The three roads of Pub_PrintZReport and the steps of the device's own.
  void ZReportThroughRTServer(kReceiptPrinterHandler& aHandler, const kZReport& aReport, _int_PRINTZR_result& aResult);
  void ZReportByProcessor(kReceiptPrinterHandler& aHandler, const kZReport& aReport, _int_PRINTZR_result& aResult);
  void ZReportOnDevice(kZReport* aReport, _int_PRINTZR_result& aResult);
  bool SendZReport(kZReport* aReport, _int_PRINTZR_result& aResult);
  bool ZReportTakenAfterAll(const vnDocumentMark& aBefore, _int_PRINTZR_result& aResult, std::string& aTakenClosing);
  void ReportZReportTaken(_int_PRINTZR_result& aResult, const std::string& aTakenClosing);

  Clock fClock;
  Sleeper fOutcomeSleep;
  SteadyClock fOutcomeNow;
  int fOutcomeTimeoutMs = kDefaultOutcomeTimeoutMs;
  // The last bounded asking: when it started and the pauses it took, for the time
  // OutcomeUnknownText states (the last question may run past the bound).
  std::chrono::steady_clock::time_point fOutcomeAskStart{};
  int fOutcomeAskPausesMs = 0;
  int fBusyTimeoutMs = -1;  // -1: the outcome bound
  std::unique_ptr<kDocumentJournal> fJournal;
  std::unique_ptr<kPrinterLock> fPrinterLock;
  vnJournalEntry fDocument;     // the row of the document in progress
  bool fDocumentOpen = false;   // fDocument is written and not yet settled
  // An outcome the journal could not record at the end of its call (a full disk): written
  // before anything else at the next call; until then a retry of it is answered from here.
  std::optional<vnJournalEntry> fPendingOutcome;
  int64_t fNewestRowSeen = 0;   // the newest row this device wrote or saw settled
  // Who writes a row: the device's log name (Driver and LogId), the same after a restart, so
  // that a content fingerprint only ever stands for this till's own earlier sale.
  std::string fDeviceKey;
  // The journal of this printer was found damaged and begun anew: the rows of documents whose
  // outcome was open are gone, so the first receipt is not printed when it looks like the
  // printer's last document.
  bool fJournalDamaged = false;
  std::string fResultNote;
  vnOutcome fOutcome;      // the operation's recorded failure (ok_Done: none)
  vnOutcome fLastCommand;  // the last command sent

  // ---- The RT-server road of a receipt and its rows (receipt_operations.cpp) ----
  //
  // A receipt signed by the RT server is journalled on the printer that prints its paper copy,
  // under that printer's lock, with its identity led by kRTIdentityPrefix. Its row is
  // "closing sent" before the server is asked to sign, and carries the server's numbers as soon
  // as it has signed (message led by kRTSignedPrefix, the result fragment without the receipt's
  // text and picture); its outcome is the signing's, a paper copy that failed is noted in it.
  static constexpr const char* kRTIdentityPrefix = "rt:";
  static constexpr const char* kRTSignedPrefix = "Registered by the RT server as document ";
  // The start of the message of an RT row whose signing nothing can tell any more: the server
  // library has no question that would answer it.
  static constexpr const char* kRTNoEvidence =
      "Outcome unknown: the RT server library cannot tell whether it signed this receipt";
  // A retry of a receipt the journal holds: answered from its row without signing or printing
  // (true), or not at all (false).
  bool RTAnsweredFromJournal(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                             const std::string& aIdentity, bool aCopyCancelled);
  // The end of the message of a signed row settled after its call ended during the paper copy.
  static constexpr const char* kEndedDuringCopy = "; the call ended during its paper copy";
  static std::string RTCopyMissing(const std::string& aRowMessage, bool aCopyCancelled);
  // The signing, the processor and the paper copy of a receipt whose row is begun: the result
  // filled, the state its row is settled with and the row's message in aMessage.
  vnJournalState SignAndPrintThroughRTServer(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult,
                                             bool aGood, std::string& aMessage);
  // Its steps: the signing, the server's numbers in the result, the paper copy.
  enum class vnRTSigning : uint8_t { Signed, Refused, NoServer, Ended };
  vnRTSigning SignWithRTServer(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult, std::string& aMessage,
                               vnJournalState& aEnded);
  void FillRTNumbers(_int_PRINTFR_result& aResult);
  bool PrintRTPaperCopy(kReceiptPrinterHandler& aHandler, _int_PRINTFR_result& aResult, bool aSigned, bool aGood,
                        std::string& aPrintFailure, std::string& aMessage);
  // A receipt the printer still holds open (a paper copy of a call that ended half-way) would
  // take the next document's lines: cancelled first when the printer says so (a printer that
  // does not answer is left to the paper copy, whose opening it then refuses). true when it
  // cancelled one.
  bool CancelPaperLeftOpen();
  // The row of this device's last paper copy when it closed cleanly (0 otherwise): while it is
  // still the journal's newest, nothing can have been left open since, and the printer is not
  // asked.
  int64_t fCleanPaperCopyRow = 0;
  // Settles an RT row an earlier call left unsettled, on what the row itself recorded: never
  // asked to sign, signed with its numbers, or beyond what anything can tell.
  void SettleRTEntry(vnJournalEntry& aEntry);
  // An unknown outcome that nothing will ever settle (the printer's journal names no such
  // document, or the RT server library cannot tell): left for the host to look at, it holds up
  // no later document.
  static bool BeyondEvidence(const vnJournalEntry& aRow);

  // The note SettleDocument leaves when the journal could not record an outcome, for the
  // operation's ErrorText; EndDocument drops it, so it never reaches another operation.
  std::string fUnrecordedNote;
  // Appends the note (and drops it) to aErrorText, the ErrorText of the settled document.
  void AddUnrecordedNote(std::string& aErrorText);
};

}  // namespace fp
