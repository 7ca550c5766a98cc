// The printer itself: fiscal state, documents, tables and journal, and the execution of one
// command packet into one reply frame. Not thread-safe; PrinterEmulator serialises access.
#pragma once

#include <string>
#include <vector>

#include "fpemu/printer_emulator.h"

namespace fp::emu {

// Reply codes the printer answers with.
enum ReplyCode : int {
  rcOk = 0x00,
  rcMoreFields = 0x01,
  rcFieldTooLong = 0x02,
  rcFieldTooShort = 0x03,
  rcBadField = 0x04,
  rcUnknownCommand = 0x06,
  rcNoDepartment = 0x08,
  rcWrongVat = 0x09,
  rcNoPaymentSlot = 0x0C,
  rcPrintingType = 0x0F,
  rcDayOpen = 0x10,
  rcWrongTime = 0x12,
  rcTransactionOpen = 0x14,
  rcInPayment = 0x15,
  rcWrongVatRate = 0x17,
  rcPriceError = 0x18,
  rcInvalidSale = 0x1B,
  rcPaperEnd = 0x2C,
  rcNoReceipt = 0x41,
  rcDiscountLimit = 0x43,
  rcZeroDiscount = 0x44,
  rcBlankDescription = 0x45,
  rcWordTotale = 0x4B,
  rcNoChange = 0x4D,
  rcMustPay = 0x4E,
  rcNoSdData = 0x51,
  rcNoMoreSdData = 0x52,
  rcNegativeTotal = 0x54,
  rcInactivePeriod = 0x78,
  rcAlreadyReturned = 0x7B,
  rcReceiptNotFound = 0x7C,
  rcRefundExceeds = 0x7D,
};

constexpr int kPaperColumns = 48;

class PrinterModel {
 public:
  explicit PrinterModel(const EmulatorOptions& aOptions);

  // Executes one packet (letter and decoded data) and returns the reply frame.
  std::string Execute(const std::string& aLetter, const std::string& aData);
  // A frame with the given reply code, the current status bytes and no data.
  std::string StatusFrame(int aCode) const;

  PrinterSnapshot Snapshot() const;
  DateTime Clock() const;
  void SetClock(DateTime aValue);

  // Lines printed since the last call.
  std::vector<std::string> TakeNewPaper();

  // Direct state access for the emulator's setters and the state file.
  PrinterSnapshot& State() { return fState; }
  std::vector<std::string>& Paper() { return fPaper; }
  std::vector<JournalEntry>& Journal() { return fJournal; }
  double ClockOffset() const { return fClockOffset; }
  void SetCheckReferences(bool aCheck) { fCheckReferences = aCheck; }
  void SetIgnoreJournalClosing(bool aIgnore) { fIgnoreJournalClosing = aIgnore; }
  void SetClockOffset(double aDays) { fClockOffset = aDays; }
  // A restart: the document in progress and a journal read vanish; aNeedsZ leaves the day
  // waiting for its Z report.
  void Reboot(bool aNeedsZ);
  void SetStateSaysIdle(bool aIdle) { fStateSaysIdle = aIdle; }
  void SetStateHidesClosings(bool aHide) { fStateHidesClosings = aHide; }

 private:
  using Fields = std::vector<std::string>;
  struct Reply {
    int fCode = rcOk;
    Fields fData;
  };

  int DeviceStatus() const;
  int FiscalStatus() const;
  std::string Frame(const Reply& aReply) const;

  Reply Dispatch(const std::string& aLetter, const Fields& aFields);
  Reply CmdSetup(const Fields& f);
  Reply CmdReadPaymentSlot(const Fields& f);
  Reply CmdWritePaymentSlot(const Fields& f);
  Reply CmdSetClock(const Fields& f);
  Reply CmdCancel(const Fields& f);
  Reply CmdDrawer(const Fields& f);
  Reply CmdPrintLine(const Fields& f);
  Reply CmdOpenSale(const Fields& f);
  Reply CmdHeader(const Fields& f);
  Reply CmdOpenRefund(const Fields& f);
  Reply CmdOpenVoid(const Fields& f);
  Reply CmdLottery(const Fields& f);
  Reply CmdSaleLine(const Fields& f);
  Reply CmdDiscount(const Fields& f);
  Reply CmdSubtotal(const Fields& f);
  Reply CmdPayment(const Fields& f);
  Reply CmdBarcode(const Fields& f);
  Reply CmdClose(const Fields& f);
  Reply CmdDocumentState(const Fields& f);
  Reply CmdJournalCounter(const Fields& f);
  Reply CmdJournalSelect(const Fields& f);
  Reply CmdJournalNext(const Fields& f);
  Reply CmdReport(const Fields& f);
  Reply CmdReadVat(const Fields& f);
  Reply CmdWriteVat(const Fields& f);
  Reply CmdReadDepartment(const Fields& f);
  Reply CmdWriteDepartment(const Fields& f);

  // Opens a fiscal document: checks, opens the day, prints the header.
  int OpenFiscal(DocumentState aKind);
  void PrintHeader(const std::vector<std::string>& aTitle);
  void Print(const std::string& aLine);
  void PrintRow(const std::string& aLeft, const std::string& aRight);
  void ResetDocument();
  void PrintVatBreakdown();
  void CloseDocument();
  void TakeZReport();
  void PrintXReport(bool aPayments);
  int CurrentDay() const { return fState.fZCounter + 1; }
  const JournalEntry* FindReceipt(DateTime aDate, int aZ, int aNumber) const;
  int ResolveReference(const std::string& aDate, const std::string& aZ, const std::string& aNumber,
                       const std::string& aSerial, const std::string& aLottery, const std::string& aKind,
                       int& aTarget, std::string& aOrigin) const;
  void PrintReference(const std::string& aDate, const std::string& aSerial, const std::string& aOrigin);

  EmulatorOptions fOptions;
  PrinterSnapshot fState;
  double fClockOffset = 0;  // days added to the computer's clock
  bool fCheckReferences = true;
  bool fIgnoreJournalClosing = false;
  bool fStateSaysIdle = false;       // "X" answers idle whatever is open
  bool fStateHidesClosings = false;  // "X" answers 0 closings taken
  std::vector<std::string> fPaper;
  size_t fPaperTaken = 0;
  std::vector<JournalEntry> fJournal;

  // Current document beyond what the snapshot shows.
  bool fHeaderDone = false;
  std::vector<std::string> fDocText;
  Amount fDocDiscounts;
  int fLastSaleLine = -1;  // index into fState.fLines of the last item, for line discounts
  int fVoidTarget = -1;    // journal index of the receipt being voided
  int fRefundTarget = -1;  // journal index of the receipt being refunded
  std::vector<Amount> fDayPayments = std::vector<Amount>(20);

  // Journal read in progress.
  bool fReading = false;
  std::vector<std::string> fReadLines;
  size_t fReadPos = 0;
};

// Italian form of an amount on paper and in reports: "." grouping, "," decimals, 2 decimals.
std::string ItalianAmount(Amount aValue);

}  // namespace fp::emu
