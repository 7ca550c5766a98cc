// fpemu: a stand-in for the Italian RT fiscal printer that the driver reaches over HTTP.
//
// It answers GET <base>/_io?cmd=4&js=0&pkt=<letter><percent-encoded data> with the printer's
// reply frame "RC/DS/FS/field/field/.../" (reply code and device status as two hexadecimal
// digits, fiscal status as two decimal digits, every data field closed by "/"), keeps the
// state a real printer keeps (fiscal day, current document, counters, tables, journal) and
// refuses bad commands with the printer's reply codes.
//
// Every accessor is thread-safe: tests read and change the state while the server thread
// answers requests. Commands are executed one at a time, as the printer does.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/amount.h"
#include "base/datetime.h"

namespace fp::emu {

enum class AuthMode { None, Basic, Digest };

struct EmulatorOptions {
  std::string fBindAddress = "127.0.0.1";
  uint16_t fPort = 0;  // 0: pick a free port
  AuthMode fAuth = AuthMode::None;
  std::string fUser;
  std::string fPassword;
  std::string fRealm = "fpemu";
  std::string fSerialNumber = "80012345";
  std::string fFirmwareVersion = "1.02.07";  // seven characters
  int fFiscalMode = 1;                       // 0 MF, 1 to 3 RT
  std::chrono::milliseconds fDelay{0};       // added before every answer
  // When set, the state is written to this file after every executed command, so a day
  // survives a crash as well as a restart (LoadState reads it back).
  std::string fAutoSaveFile;
};

// One payment slot as "{" reads it and "E" programs it.
struct PaymentSlot {
  std::string fDescription;
  std::string fCode;
  int fKind = 0;  // 0 cash (gives change), 1 electronic, 2 not collected, 3 vouchers
  std::string fSubKind;
};

// One VAT slot: a rate, or at rate zero the natura index (0 N1 .. 5 N6, 6 VI).
struct VatSlot {
  Amount fRate;
  int fNatura = 0;
};

struct Department {
  std::string fDescription;
  int fVatSlot = 1;   // 1 to 12
  int fSalesType = 0; // 0 goods, 1 services
};

enum class DocumentState { None, Sale, Refund, Void, NonFiscal };

// One line of the document being built.
struct DocumentLine {
  std::string fType;  // S, G, N, B, M, or D (discount) / U (markup)
  std::string fDescription;
  Amount fQuantity;
  Amount fPrice;
  Amount fAmount;  // signed effect on the document total
  int fDepartment = 0;
};

struct PaymentEntry {
  int fSlot = 0;
  Amount fAmount;
  std::string fPieces;
};

struct DailyTotals {
  Amount fSales;      // closed sale receipts, after discounts
  Amount fDiscounts;  // discounts, gifts and deductions inside sale receipts
  Amount fRefunds;    // closed refund documents
  Amount fVoids;      // closed void documents
  int fCommercialDocuments = 0;  // sale, refund and void documents
  int fNonFiscalDocuments = 0;
};

enum class JournalKind { Sale, Refund, Void, NonFiscal, ZReport };

// One document as the electronic journal keeps it.
struct JournalEntry {
  JournalKind fKind = JournalKind::Sale;
  DateTime fDateTime = 0;
  int fNumber = 0;   // document number within its day (Z report: its own Z number)
  int fZNumber = 0;  // the day (Z number) the document belongs to
  Amount fTotal;
  bool fVoided = false;
  std::vector<std::string> fLines;  // the printed text, 48 columns
  // A fiscal document's lines as the printer took them (items, deductions, discounts), so a
  // test can hold what the till was told against what the printer recorded.
  std::vector<DocumentLine> fItems;
};

// A copy of the printer's state at one moment.
struct PrinterSnapshot {
  std::string fSerialNumber;
  std::string fFirmwareVersion;
  int fFiscalMode = 1;
  bool fTraining = false;
  bool fDayOpen = false;
  bool fInactivePeriod = false;
  bool fPaperEnd = false;
  int fDrawerOpenings = 0;  // "q" commands executed
  bool fDrawerOpen = false;  // opened by "q" until the cashier shuts it (SetDrawerOpen)
  DateTime fClock = 0;
  DocumentState fDocument = DocumentState::None;
  bool fInPayment = false;
  std::vector<DocumentLine> fLines;
  std::vector<PaymentEntry> fPayments;
  Amount fDocumentTotal;
  Amount fPaid;
  std::string fLotteryCode;
  int fLastDocumentNumber = 0;     // last fiscal document of the day
  int fLastNonFiscalNumber = 0;
  int fZCounter = 0;               // Z reports taken so far
  Amount fGrandTotal;
  DailyTotals fDay;
  std::vector<VatSlot> fVat;             // 12 slots
  std::vector<Department> fDepartments;  // 20 departments
  std::vector<PaymentSlot> fPaymentSlots;  // 20 slots
  std::vector<std::string> fDisplay;     // last lines sent to the customer display
};

// One request as it arrived: the command letter and its percent-decoded data.
struct ReceivedPacket {
  std::string fLetter;
  std::string fData;
};

class PrinterEmulator {
 public:
  explicit PrinterEmulator(EmulatorOptions aOptions = {});
  ~PrinterEmulator();
  PrinterEmulator(const PrinterEmulator&) = delete;
  PrinterEmulator& operator=(const PrinterEmulator&) = delete;

  // Binds and starts answering; returns the bound port. The socket is listening when this
  // returns. A restart after Stop binds the same port again. Throws std::runtime_error when
  // the address cannot be bound.
  uint16_t Start();
  // Stops answering and closes every connection; waits for the server threads. Idempotent.
  void Stop();
  uint16_t Port() const;
  // "http://<bind address>:<port>/"
  std::string BaseUrl() const;

  // State.
  PrinterSnapshot Snapshot() const;
  DateTime Clock() const;
  void SetClock(DateTime aValue);  // the clock keeps running from this value
  void SetDayOpen(bool aOpen);
  void SetInactivePeriod(bool aInactive);
  void SetPaperEnd(bool aPaperEnd);
  void SetTraining(bool aTraining);
  void SetFiscalMode(int aMode);
  void SetSerialNumber(const std::string& aSerial);
  void SetZCounter(int aCounter);
  void SetPaymentSlot(int aSlot, const PaymentSlot& aValue);  // 1 to 20
  void SetVatSlot(int aSlot, const VatSlot& aValue);          // 1 to 12
  void SetDepartment(int aNumber, const Department& aValue);  // 1 to 20
  // Whether a refund or void of one of this printer's own receipts must name a receipt of
  // its journal (answering 0x7C otherwise). On by default, as on the printer.
  void SetCheckReferences(bool aCheck);
  // The drawer as the fiscal status's bit 0 reports it; false: the cashier shut it.
  void SetDrawerOpen(bool aOpen);
  // A printer whose journal selection ("@") does not look at its closing field (the third):
  // it selects the documents of every closing that match the rest.
  void SetIgnoreJournalClosing(bool aIgnore);
  // The payment table the driver programs at start-up, so tests can start from a printer
  // that already carries it.
  static std::vector<PaymentSlot> DriverPaymentTable();

  // Paper: every printed line, 48 columns (a long run keeps the latest 100000 to 200000).
  std::vector<std::string> Paper() const;
  std::string PaperText() const;  // lines joined with "\n"
  void ClearPaper();
  // Called (outside the state lock, in print order) with each printed line. The listener may
  // read the emulator's state but must not replace itself.
  void SetPaperListener(std::function<void(const std::string&)> aListener);

  // Electronic journal, every document of every day in order.
  std::vector<JournalEntry> Journal() const;

  // Requests received, in order (also those refused with a reply code or failed on
  // purpose; a long run keeps the latest 100000 to 200000).
  std::vector<ReceivedPacket> Packets() const;
  void ClearPackets();

  // Fault injection. Each applies to the next exchanges in arrival order.
  void SetDelay(std::chrono::milliseconds aDelay);
  // The next aCount requests are not executed: they get HTTP status aHttpStatus, or the
  // connection is closed without an answer when aHttpStatus is 0.
  void FailNext(int aCount, int aHttpStatus);
  // The next aCount requests are not executed: the connection is reset (TCP RST).
  void ResetNext(int aCount);
  // The next aCount commands are executed, then the connection closes without an answer.
  void DropNextAnswers(int aCount);
  // The next aCount "@" commands get the busy frame "00/00/02" and are not executed.
  void AnswerBusy(int aCount);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are
  // executed and then the connection closes without an answer.
  void DropAnswers(const std::string& aLetter, int aCount = 1, int aSkip = 0);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are not
  // executed and get reply code aCode.
  void ForceReplyCode(const std::string& aLetter, int aCode, int aCount = 1, int aSkip = 0);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are not
  // executed and get aFrame verbatim.
  void ForceFrame(const std::string& aLetter, const std::string& aFrame, int aCount = 1, int aSkip = 0);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are
  // executed and then answered with HTTP status aHttpStatus instead of their frame (a
  // gateway's 504, a printer that acted and then failed with 500).
  void AnswerStatus(const std::string& aLetter, int aHttpStatus, int aCount = 1, int aSkip = 0);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are
  // executed and their answer is held back for aDelay (past the client's read timeout, the
  // answer is lost to it). Other requests wait meanwhile, as the printer does one at a time.
  void AnswerLate(const std::string& aLetter, std::chrono::milliseconds aDelay, int aCount = 1, int aSkip = 0);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are not
  // executed and the connection closes without an answer (lost on its way to the printer).
  void LoseRequests(const std::string& aLetter, int aCount = 1, int aSkip = 0);
  // The next command with letter aLost never reaches the printer (as LoseRequests); from then
  // on the next aRefusals commands with letter aRefused are refused with reply code aCode
  // unexecuted (a closing lost while the printer will not say its state for a while).
  void LoseThenRefuse(const std::string& aLost, const std::string& aRefused, int aCode, int aRefusals);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are
  // carried out twice, as a proxy does that repeats a request whose answer it missed; the
  // answer of the second run goes back (to a repeated closing: "no document open").
  void ReplayRequests(const std::string& aLetter, int aCount = 1, int aSkip = 0);
  // After aSkip commands with letter aLetter pass normally, the next aCount of them are
  // carried out and then answered with reply code aCode, as though refused (a closing that
  // took effect answered 0x4E "must pay" or 0x14 "transaction open").
  void RefuseAfterCarryingOut(const std::string& aLetter, int aCode, int aCount = 1, int aSkip = 0);
  // The printer restarts now: the document in progress vanishes (no journal entry, no
  // cancellation on paper) and a journal read ends. With aNeedsZ the day must then be closed
  // by a Z report before the next fiscal document (0x78 until then).
  void Reboot(bool aNeedsZ = false);
  // After aSkip commands with letter aLetter pass normally, the next one finds the printer
  // restarting (as Reboot): it is not carried out and its connection closes unanswered.
  void RebootAt(const std::string& aLetter, bool aNeedsZ = false, int aSkip = 0);
  // "X" answers state 0 (idle) whatever is open, while the fiscal status of every answer
  // still says a transaction is open.
  void SetStateSaysIdle(bool aIdle);
  // "X" answers 0 in its third field (closings taken) whatever was taken.
  void SetStateHidesClosings(bool aHide);

  // A hold point, so a test can act (kill a till, send from another) at an exact moment.
  // After aSkip commands with letter aLetter pass normally, the next one is held: before it
  // is carried out (BeforeCarryingOut) or after it was carried out, with its answer waiting
  // (AfterCarryingOut). Other requests are answered meanwhile. One hold at a time; arming
  // another replaces one not yet reached.
  enum class HoldMode { BeforeCarryingOut, AfterCarryingOut };
  void HoldAt(const std::string& aLetter, HoldMode aMode, int aSkip = 0);
  // Waits until the armed hold has caught its command; true then. aBound only guards a test
  // whose command never comes: the wait ends as soon as the command arrives.
  bool WaitHeld(std::chrono::milliseconds aBound);
  // Lets the held command go on: carried out (when it was held before) and answered. With
  // aCarryOut false a command held before being carried out never is, and its connection
  // closes unanswered; one already carried out loses its answer. Stop and ClearFaults
  // release it without an answer.
  void ReleaseHold(bool aCarryOut = true);
  // Called with each command as it is held (outside the emulator's locks; the listener may
  // call ReleaseHold).
  void SetHoldListener(std::function<void(const ReceivedPacket&)> aListener);
  void ClearFaults();

  // State file: a small XML document; a day survives a restart.
  bool SaveState(const std::string& aPath) const;
  bool LoadState(const std::string& aPath);

  // Executes one packet directly, without HTTP and without the injected faults, and returns
  // the reply frame; aData is the decoded data after the letter.
  std::string Execute(const std::string& aLetter, const std::string& aData);

  struct Impl;

 private:
  std::unique_ptr<Impl> fImpl;
};

}  // namespace fp::emu
