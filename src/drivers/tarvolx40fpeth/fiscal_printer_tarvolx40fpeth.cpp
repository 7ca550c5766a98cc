#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"

#include <chrono>
#include <memory>
#include <utility>

#include "base/errors.h"
#include "base/text.h"
#include "request/receipt_printer_handler.h"
#include "documents/vat_table.h"
#include "io/io_handler.h"

namespace fp {

kFiscalPrinter_TARVOLX40FPETH::kFiscalPrinter_TARVOLX40FPETH(kReceiptPrinterHandler& aHandler)
    : kFiscalPrinterDevice(aHandler) {
  fCapabilities = vnFiscalPrinterCapabilities{fpc_SetDate,
                                              fpc_ReturnPractice,
                                              fpc_NoFiscalReceipt,
                                              fpc_ReadMemory,
                                              fpc_Invoice,
                                              fpc_VoidReceipt,
                                              fpc_NegativeAmountReceipt,
                                              fpc_NegativePartialAmountReceipt,
                                              fpc_SupportZeroLineAmount,
                                              fpc_PrintHeaderOnNonFiscalReceipt};
  fLineLength = 48;
  fDisplayLineCount = 2;
  fDisplayLineLength = 20;
  // Trailer lines close the receipt, after the payments.
  ClearPrintSequence();
  AddPrintSection(fpps_Lines);
  AddPrintSection(fpps_Payments);
  AddPrintSection(fpps_TrailerMessages);

  kExchange* exchange = IOHandler().OpenExchange({"text/plain; charset=utf-8", kUserAgent});
  if (exchange == nullptr) throw kException("Invalid class typecast");
  // MinReadTimeout lowers the floor for a printer known to answer quickly (a test bench, a
  // printer on the same switch), so that a lost answer costs less waiting.
  int minimum = kMinReadTimeoutMs;
  const std::string configured = Trim(aHandler.GetParameter("MinReadTimeout"));
  if (!configured.empty()) {
    const auto value = tarvol::DigitsValue(configured);
    if (!value || *value < 1000 || *value > kMinReadTimeoutMs)
      throw kException("Invalid MinReadTimeout '" + configured + "': milliseconds from 1000 to 7000 expected");
    minimum = static_cast<int>(*value);
  }
  if (IOHandler().ReadTimeout() < minimum) IOHandler().SetReadTimeout(minimum);

  fChannel = std::make_unique<tarvol::kCommandChannel>(
      *exchange, [this](tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) {
        IOHandler().WriteLog(aType, aTitle, aMessage);
      });
}

kFiscalPrinter_TARVOLX40FPETH::~kFiscalPrinter_TARVOLX40FPETH() = default;

std::unique_ptr<kFiscalPrinterDevice> kFiscalPrinter_TARVOLX40FPETH::Create(kReceiptPrinterHandler& aHandler) {
  return std::make_unique<kFiscalPrinter_TARVOLX40FPETH>(aHandler);
}

namespace {

// A command that may have changed the printer, in words, for the outcome of a command whose
// answer was lost.
std::string CommandInWords(const std::string& aPkt) {
  struct Name {
    const char* letter;
    const char* words;
  };
  static constexpr Name kNames[] = {
      {">", "opening a sale receipt"},   {"}", "opening a receipt"},      {"-", "opening a refund"},
      {"+", "voiding a receipt"},         {"I", "the lottery code"},       {"3", "a sale line"},
      {"4", "a discount or markup"},      {"U", "the subtotal"},           {"5", "a payment"},
      {"7", "a printed line"},            {"[", "a printed barcode"},      {"m", "closing the document"},
      {"x", "the report"},                {"@", "printing from the journal"}, {"*", "reading the journal"},
      {"q", "opening the drawer"},        {"T", "setting the clock"},      {"b", "programming the VAT table"},
      {"N", "programming a department"},  {"E", "programming a payment slot"},
  };
  for (const auto& n : kNames)
    if (aPkt == n.letter) return n.words;
  return "the command \"" + aPkt + "\"";
}

}  // namespace

vnOutcome kFiscalPrinter_TARVOLX40FPETH::OutcomeOf(vnOutcome aResult, const std::string& aPkt,
                                                   const std::string& aData) {
  // A read may simply be asked again; only a command that may have changed the printer
  // leaves its outcome open.
  if (aResult.fKind == ok_Unknown && !tarvol::kCommandChannel::IsSafeToRepeat(aPkt, aData))
    aResult.fCommand = CommandInWords(aPkt);
  return aResult;
}

bool kFiscalPrinter_TARVOLX40FPETH::SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt,
                                                const std::string& aData, bool aRetry) {
  const vnOutcome outcome = OutcomeOf(fChannel->SendCommand(aCmd, aJs, aPkt, aData, aRetry), aPkt, aData);
  RecordOutcome(outcome);
  // A command that may have changed the printer without saying so leaves its numbering
  // unknown until it is read again; a closing moves it even when its answer comes back.
  if (!outcome.fCommand.empty() || aPkt == "x") fDocumentMark.fKnown = false;
  return !outcome.Failed();
}

bool kFiscalPrinter_TARVOLX40FPETH::Send(const std::string& aPkt, const std::string& aData, bool aRetry) {
  return SendCommand("4", 0, aPkt, aData, aRetry);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintLine(const std::string& aText, const std::string& aTarget,
                                              const std::string& aStyle, vnReceiptMessageLineAlignment aAlignment) {
  std::string field = tarvol::LineFieldText(aText, fLineLength);
  if (aAlignment == la_center || aAlignment == la_right) {
    // The field is the text followed by blanks: blanks move from its end to its start.
    const size_t width = CharLength(field);
    const size_t columns = aStyle == "3" ? width / 2 : width;
    const size_t used = CharLength(TrimRight(field));
    const size_t room = columns > used ? columns - used : 0;
    const size_t pad = aAlignment == la_center ? room / 2 : room;
    field = std::string(pad, ' ') + CharLeft(field, width - pad);
  }
  return Send("7", "/" + aTarget + "/" + aStyle + "/" + field + "/");
}

void kFiscalPrinter_TARVOLX40FPETH::SetSleeper(tarvol::kCommandChannel::Sleeper aSleeper) {
  if (!aSleeper) return;
  // A replaced sleeper skips its pauses: the clock of the bounds moves on by each one, so
  // the retries inside a bounded wait count against its bound as they would in real time.
  auto skipped = std::make_shared<std::chrono::milliseconds>(0);
  auto sleeper = [aSleeper = std::move(aSleeper), skipped](int aMs) {
    *skipped += std::chrono::milliseconds(aMs);
    aSleeper(aMs);
  };
  auto clock = [skipped] { return std::chrono::steady_clock::now() + *skipped; };
  SetOutcomeWaits(sleeper, clock);
  fChannel->SetSleeper(sleeper);
  SetSteadyClock(clock);
}

void kFiscalPrinter_TARVOLX40FPETH::SetSteadyClock(tarvol::kCommandChannel::Clock aClock) {
  if (!aClock) return;
  fNow = aClock;
  fChannel->SetClock(std::move(aClock));
}

const std::array<std::string, kFiscalPrinter_TARVOLX40FPETH::kPaymentSlots>&
kFiscalPrinter_TARVOLX40FPETH::DefaultPaymentTable() {
  static const std::array<std::string, kPaymentSlots> kTable = {
      "CONTANTI|CONT|0",
      "ASSEGNO|ASSE|0",
      "BANCOMAT|BANC|1",
      "CARTE|CARD|1",
      "NON RISCOSSO BENI|CRED|2",
      "TICKET|TICK|2",
      "BUONI|BUON|3",
      "GIFT|GIFT|3",
      "SCONTO A PAGARE|SCON|3",
      "NON RISCOSSO SERVIZI|NON|2",
      "BUONO CELIACHIA|BUON|2",
      "SEGUIRA FATTURA|SEGU|2",
      "NON RISCOSSO DCR A SSN|NRDS|2",
      "LIBERO|LIBE|0",
      "LIBERO|LIBE|0",
      "LIBERO|LIBE|0",
      "LIBERO|LIBE|0",
      "LIBERO|LIBE|0",
      "LIBERO|LIBE|0",
      "LIBERO|LIBE|0",
  };
  return kTable;
}

}  // namespace fp
