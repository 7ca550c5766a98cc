#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"

#include <utility>

#include "base/errors.h"
#include "documents/vat_table.h"
#include "io/io_handler_http.h"

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

  auto* http = dynamic_cast<kIOHandler_HTTP*>(fIOHandler.get());
  if (http == nullptr) throw kException("Invalid class typecast");
  // Command paths are appended to the URL as they are.
  if (http->URL.empty() || http->URL.back() != '/') http->URL += "/";
  http->ContentType = "text/plain; charset=utf-8";
  http->UserAgent = kUserAgent;
  if (http->ReadTimeout() < kMinReadTimeoutMs) http->SetReadTimeout(kMinReadTimeoutMs);

  fChannel = std::make_unique<tarvol::kCommandChannel>(
      *http, [this](tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) {
        fIOHandler->WriteLog(aType, aTitle, aMessage);
      });
}

kFiscalPrinter_TARVOLX40FPETH::~kFiscalPrinter_TARVOLX40FPETH() = default;

std::unique_ptr<kFiscalPrinterDevice> kFiscalPrinter_TARVOLX40FPETH::Create(kReceiptPrinterHandler& aHandler) {
  return std::make_unique<kFiscalPrinter_TARVOLX40FPETH>(aHandler);
}

bool kFiscalPrinter_TARVOLX40FPETH::SendCommand(const std::string& aCmd, int aJs, const std::string& aPkt,
                                                const std::string& aData, bool aRetry) {
  const tarvol::kCommandResult result = fChannel->SendCommand(aCmd, aJs, aPkt, aData, aRetry);
  if (result.Answered()) ResetError();
  if (!result.Succeeded()) RecordError(result.Code, result.Message);
  return result.Succeeded();
}

bool kFiscalPrinter_TARVOLX40FPETH::Send(const std::string& aPkt, const std::string& aData, bool aRetry) {
  return SendCommand("4", 0, aPkt, aData, aRetry);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintLine(const std::string& aText, const std::string& aTarget,
                                              const std::string& aStyle) {
  return Send("7", "/" + aTarget + "/" + aStyle + "/" + tarvol::LineFieldText(aText, fLineLength) + "/");
}

void kFiscalPrinter_TARVOLX40FPETH::SetSleeper(tarvol::kCommandChannel::Sleeper aSleeper) {
  fChannel->SetSleeper(std::move(aSleeper));
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
