#include "io/opos_transport.h"

#include <climits>
#include <cstdio>
#include <optional>

#include "base/errors.h"
#include "base/text.h"
#include "io/connection.h"
#include "io/transport_factory.h"

namespace fp {

namespace {

constexpr int32_t kReceiptStation = 2;
constexpr int32_t kExtended = 114;

// A text in a log line: between single quotes, inner single quotes doubled.
std::string Quoted(const std::string& aText) { return "'" + ReplaceAll(aText, "'", "''") + "'"; }

std::string AmountToText(Amount aAmount) { return aAmount.ToXmlText(); }

std::string BoolText(bool aValue) { return aValue ? "True" : "False"; }

// A quantity in the thousandths the control takes, the fraction dropped.
int32_t Thousandths(Amount aQuantity) {
  const int64_t value = aQuantity.Raw() / 10;
  if (value > INT32_MAX || value < INT32_MIN) throw kException("Quantity " + aQuantity.ToXmlText() + " out of range");
  return static_cast<int32_t>(value);
}

// ddmmyyyyhhnn, the control's date form.
std::string ControlDate(DateTime aDate) {
  const DateTimeParts p = DecodeDateTime(aDate);
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%02d%02d%04d%02d%02d", p.day, p.month, p.year, p.hour, p.minute);
  return buf;
}

std::optional<DateTime> ParseControlDate(const std::string& aText) {
  if (aText.size() != 12) return std::nullopt;
  for (char c : aText)
    if (c < '0' || c > '9') return std::nullopt;
  auto num = [&](size_t aPos, size_t aLen) { return std::stoi(aText.substr(aPos, aLen)); };
  return EncodeDateTime(num(4, 4), num(2, 2), num(0, 2), num(8, 2), num(10, 2), 0, 0);
}

}  // namespace

std::unique_ptr<kIOHandler> NewIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory,
                                              const std::string& aFileName) {
  return std::make_unique<kIOHandler_OPOS>(aConnection, aDirectory, aFileName);
}

kIOHandler_OPOS::kIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName)
    : kIOHandler_OPOS(aConnection, aDirectory, aFileName, CreateOPOSFiscalPrinter()) {}

kIOHandler_OPOS::kIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName, std::unique_ptr<kOPOSFiscalPrinter> aControl)
    : kIOHandler(&aConnection, aDirectory, aFileName), fOPOS(std::move(aControl)), fDeviceName(aConnection.DeviceName) {
  if (!fOPOS) throw kException("OPOS Fiscal Printer control is not installed");
}

kIOHandler_OPOS::~kIOHandler_OPOS() {
  if (fConnected) {
    try {
      Disconnect();
    } catch (...) {
      // Disconnect logs what the control raised; a destructor goes on regardless.
    }
  }
}

std::string kIOHandler_OPOS::ResultCodeName(int32_t aCode) {
  static const char* const kNames[] = {" OPOS_E_CLOSED",    " OPOS_E_CLAIMED", " OPOS_E_NOTCLAIMED", " OPOS_E_NOSERVICE",
                                       " OPOS_E_DISABLED",  " OPOS_E_ILLEGAL", " OPOS_E_NOHARDWARE", " OPOS_E_OFFLINE",
                                       " OPOS_E_NOEXIST",   " OPOS_E_EXISTS",  " OPOS_E_FAILURE",    " OPOS_E_TIMEOUT",
                                       " OPOS_E_BUSY",      " OPOS_E_EXTENDED", " OPOS_E_DEPRECATED"};
  if (aCode >= 101 && aCode <= 115) return kNames[aCode - 101];
  return " UNKNOWN";
}

std::string kIOHandler_OPOS::ExtendedCodeName(int32_t aCode) {
  static const char* const kNames[] = {
      " OPOS_EFPTR_COVER_OPEN",          " OPOS_EFPTR_JRN_EMPTY",
      " OPOS_EFPTR_REC_EMPTY",           " OPOS_EFPTR_SLP_EMPTY",
      " OPOS_EFPTR_SLP_FORM",            " OPOS_EFPTR_MISSING_DEVICES",
      " OPOS_EFPTR_WRONG_STATE",         " OPOS_EFPTR_TECHNICAL_ASSISTANCE",
      " OPOS_EFPTR_CLOCK_ERROR",         " OPOS_EFPTR_FISCAL_MEMORY_FULL",
      " OPOS_EFPTR_FISCAL_MEMORY_DISCONNECTED", " OPOS_EFPTR_FISCAL_TOTALS_ERROR",
      " OPOS_EFPTR_BAD_ITEM_QUANTITY",   " OPOS_EFPTR_BAD_ITEM_AMOUNT",
      " OPOS_EFPTR_BAD_ITEM_DESCRIPTION", " OPOS_EFPTR_RECEIPT_TOTAL_OVERFLOW",
      " OPOS_EFPTR_BAD_VAT",             " OPOS_EFPTR_BAD_PRICE",
      " OPOS_EFPTR_BAD_DATE",            " OPOS_EFPTR_NEGATIVE_TOTAL",
      " OPOS_EFPTR_WORD_NOT_ALLOWED",    " OPOS_EFPTR_BAD_LENGTH",
      " OPOS_EFPTR_MISSING_SET_CURRENCY", " OPOS_EFPTR_DAY_END_REQUIRED"};
  if (aCode >= 201 && aCode <= 224) return kNames[aCode - 201];
  return " UNKNOWN";
}

std::string kIOHandler_OPOS::ResultText(int32_t aCode) {
  std::string text = "[" + std::to_string(aCode) + "]" + ResultCodeName(aCode);
  if (aCode == kExtended) {
    const int32_t extended = fOPOS->ResultCodeExtended();
    if (extended != 0) text += " [" + std::to_string(extended) + "]" + ExtendedCodeName(extended);
  }
  return text + " - " + fOPOS->ErrorString();
}

bool kIOHandler_OPOS::CheckResult(int32_t aCode) {
  ResetCustomError();
  if (aCode == 0) return true;
  const std::string text = ResultText(aCode);
  Debug(let_error, text);
  SetCustomError(aCode, text);
  return false;
}

// ---- Connection ----

bool kIOHandler_OPOS::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "DeviceName=" + fDeviceName);
  if (fConnected) Disconnect();
  try {
    bool result = false;
    Debug(let_info, "[Connect]->Open(" + fDeviceName + ")");
    if (CheckResult(fOPOS->Open(fDeviceName))) {
      Debug(let_info, "[Connect]->ClaimDevice(" + std::to_string(ConnectTimeout()) + ")");
      if (CheckResult(fOPOS->ClaimDevice(ConnectTimeout()))) {
        Debug(let_info, "[Connect]->DeviceEnabled:=true");
        fOPOS->SetDeviceEnabled(true);
        result = fOPOS->GetDeviceEnabled();
      }
    }
    // Set whatever the verdict, so that Disconnect undoes whatever was opened.
    fConnected = true;
    return result;
  } catch (const std::exception& e) {
    Debug(let_error, std::string("[Connect]:") + e.what());
    return false;
  }
}

bool kIOHandler_OPOS::Disconnect() {
  try {
    bool result = false;
    Debug(let_info, "[Disconnect]->DeviceEnabled:=false");
    fOPOS->SetDeviceEnabled(false);
    if (!fOPOS->GetDeviceEnabled()) {
      Debug(let_info, "[Disconnect]->ReleaseDevice");
      result = CheckResult(fOPOS->ReleaseDevice());
      if (result) {
        Debug(let_info, "[Disconnect]->Close");
        result = CheckResult(fOPOS->Close());
      }
    }
    fConnected = false;
    return result;
  } catch (const std::exception& e) {
    Debug(let_error, std::string("[Disconnect]:") + e.what());
    return false;
  }
}

bool kIOHandler_OPOS::Write(const std::string&) { throw kException("Write Unsupported"); }
std::string kIOHandler_OPOS::ReadUpTo(const std::vector<uint8_t>&) { throw kException("ReadUpto Unsupported"); }
std::string kIOHandler_OPOS::ReadChars(int32_t) { throw kException("ReadChars Unsupported"); }
std::string kIOHandler_OPOS::ReadAll() { throw kException("ReadAll Unsupported"); }
bool kIOHandler_OPOS::InputBufferContainsData() { throw kException("InputBufferContainsData Unsupported"); }

// ---- Methods ----

bool kIOHandler_OPOS::BeginFiscalReceipt() {
  Debug(let_info, "[BeginFiscalReceipt]->BeginFiscalReceipt(true)");
  return CheckResult(fOPOS->BeginFiscalReceipt(true));
}

bool kIOHandler_OPOS::EndFiscalReceipt() {
  Debug(let_info, "[EndFiscalReceipt]->EndFiscalReceipt(false)");
  return CheckResult(fOPOS->EndFiscalReceipt(false));
}

bool kIOHandler_OPOS::BeginNonFiscal() {
  Debug(let_info, "[BeginNonFiscal]->BeginNonFiscal");
  return CheckResult(fOPOS->BeginNonFiscal());
}

bool kIOHandler_OPOS::EndNonFiscal() {
  Debug(let_info, "[EndNonFiscal]->EndNonFiscal");
  return CheckResult(fOPOS->EndNonFiscal());
}

bool kIOHandler_OPOS::BeginTraining() {
  Debug(let_info, "[BeginTraining]->BeginTraining");
  return CheckResult(fOPOS->BeginTraining());
}

bool kIOHandler_OPOS::EndTraining() {
  Debug(let_info, "[EndTraining]->EndTraining");
  return CheckResult(fOPOS->EndTraining());
}

bool kIOHandler_OPOS::ResetPrinter() {
  Debug(let_info, "[ResetPrinter]->ResetPrinter");
  return CheckResult(fOPOS->ResetPrinter());
}

bool kIOHandler_OPOS::PrintXReport() {
  Debug(let_info, "[PrintXReport]->PrintXReport");
  return CheckResult(fOPOS->PrintXReport());
}

bool kIOHandler_OPOS::PrintZReport() {
  Debug(let_info, "[PrintZReport]->PrintZReport");
  return CheckResult(fOPOS->PrintZReport());
}

bool kIOHandler_OPOS::PrintNormal(const std::string& aText) {
  Debug(let_info, "[PrintNormal]->PrintNormal(" + std::to_string(kReceiptStation) + "," + Quoted(aText) + ")");
  return CheckResult(fOPOS->PrintNormal(kReceiptStation, aText));
}

bool kIOHandler_OPOS::PrintRecItem(const std::string&, const std::string& aDescription, Amount aQuantity,
                                   const std::string& aUOM, int32_t aVatCode, Amount aPrice, Amount aAmount) {
  const int32_t quantity = Thousandths(aQuantity);
  Debug(let_info, "[PrintRecItem]->PrintRecItem(" + Quoted(aDescription) + "," + AmountToText(aAmount) + "," +
                      std::to_string(aQuantity.Raw() / Amount::kScale) + "," + std::to_string(aVatCode) + "," +
                      AmountToText(aPrice) + "," + Quoted(aUOM) + ")");
  return CheckResult(fOPOS->PrintRecItem(aDescription, aAmount.Raw(), quantity, aVatCode, aPrice.Raw(), aUOM));
}

bool kIOHandler_OPOS::PrintRecItemVoid(const std::string&, const std::string& aDescription, Amount aQuantity,
                                       const std::string& aUOM, int32_t aVatCode, Amount aPrice, Amount aAmount) {
  const int32_t quantity = Thousandths(aQuantity);
  Debug(let_info, "[PrintRecItemVoid]->PrintRecItemVoid(" + Quoted(aDescription) + "," + AmountToText(aAmount) + "," +
                      std::to_string(aVatCode) + "," + AmountToText(aPrice) + "," + Quoted(aUOM) + ")");
  return CheckResult(fOPOS->PrintRecItemVoid(aDescription, aAmount.Raw(), quantity, aVatCode, aPrice.Raw(), aUOM));
}

bool kIOHandler_OPOS::PrintRecRefund(const std::string&, const std::string& aDescription, Amount, const std::string&,
                                     int32_t aVatCode, Amount, Amount aAmount) {
  Debug(let_info, "[PrintRecRefund]->PrintRecRefund(" + Quoted(aDescription) + "," + AmountToText(aAmount) + "," +
                      std::to_string(aVatCode) + ")");
  return CheckResult(fOPOS->PrintRecRefund(aDescription, aAmount.Raw(), aVatCode));
}

bool kIOHandler_OPOS::PrintRecItemAdjustment(int32_t aAdjType, const std::string& aDescription, Amount aAmount,
                                             int32_t aVatCode) {
  Debug(let_info, "[PrintRecItemAdjustment]->PrintRecItemAdjustment(" + std::to_string(aAdjType) + "," +
                      Quoted(aDescription) + "," + AmountToText(aAmount) + "," + std::to_string(aVatCode) + ")");
  return CheckResult(fOPOS->PrintRecItemAdjustment(aAdjType, aDescription, aAmount.Raw(), aVatCode));
}

bool kIOHandler_OPOS::PrintRecSubtotal(Amount aAmount) {
  Debug(let_info, "[PrintRecSubtotal]->PrintRecSubTotal(" + AmountToText(aAmount) + ")");
  return CheckResult(fOPOS->PrintRecSubtotal(aAmount.Raw()));
}

bool kIOHandler_OPOS::PrintRecSubtotalAdjustment(int32_t aAdjType, const std::string& aDescription, Amount aAmount) {
  Debug(let_info, "[PrintRecSubtotalAdjustment]->PrintRecSubtotalAdjustment(" + std::to_string(aAdjType) + "," +
                      Quoted(aDescription) + "," + AmountToText(aAmount) + ")");
  return CheckResult(fOPOS->PrintRecSubtotalAdjustment(aAdjType, aDescription, aAmount.Raw()));
}

bool kIOHandler_OPOS::PrintRecTotal(Amount aTotalAmount, Amount aPaymentAmount, const std::string& aDescription) {
  Debug(let_info, "[PrintRecTotal]->PrintRecTotal(" + AmountToText(aTotalAmount) + "," + AmountToText(aPaymentAmount) +
                      "," + Quoted(aDescription) + ")");
  return CheckResult(fOPOS->PrintRecTotal(aTotalAmount.Raw(), aPaymentAmount.Raw(), aDescription));
}

bool kIOHandler_OPOS::PrintRecNotPaid(Amount aAmount, const std::string& aDescription) {
  Debug(let_info, "[PrintRecNotPaid]->PrintRecNotPaid(" + Quoted(aDescription) + "," + AmountToText(aAmount) + ")");
  return CheckResult(fOPOS->PrintRecNotPaid(aDescription, aAmount.Raw()));
}

bool kIOHandler_OPOS::PrintRecMessage(const std::string& aText) {
  Debug(let_info, "[PrintRecMessage]->PrintRecMessage(" + Quoted(aText) + ")");
  return CheckResult(fOPOS->PrintRecMessage(aText));
}

bool kIOHandler_OPOS::PrintRecTaxid(const std::string& aTaxId) {
  Debug(let_info, "[PrintRecTaxid]->PrintRecTaxid(" + Quoted(aTaxId) + ")");
  return CheckResult(fOPOS->PrintRecTaxID(aTaxId));
}

bool kIOHandler_OPOS::SetDate(DateTime aDateTime) {
  const std::string date = ControlDate(aDateTime);
  Debug(let_info, "[SetDate]->SetDate(" + Quoted(date) + ")");
  return CheckResult(fOPOS->SetDate(date));
}

bool kIOHandler_OPOS::GetDate(DateTime& aDate) {
  Debug(let_info, "[GetDate]->GetDate");
  std::string answer;
  const bool ok = CheckResult(fOPOS->GetDate(answer));
  Debug(let_info, "[GetDate]->aDate=" + answer);
  const std::optional<DateTime> date = ok ? ParseControlDate(answer) : std::nullopt;
  // A date the control did not give, or gave in a form that is no date, reads as now.
  aDate = date ? *date : Now();
  return ok;
}

bool kIOHandler_OPOS::GetData(int32_t aDataItem, int32_t aOptArgs, std::string& aOutput) {
  Debug(let_info, "[GetData]->GetData(" + std::to_string(aDataItem) + "," + std::to_string(aOptArgs) + ",aOutput)");
  std::string data;
  int32_t options = aOptArgs;
  const bool ok = CheckResult(fOPOS->GetData(aDataItem, options, data));
  aOutput = ok ? data : std::string();
  Debug(let_info, "[GetData]->aOutput=" + aOutput);
  return ok;
}

bool kIOHandler_OPOS::DirectIO(int32_t aCommand, int32_t& aData, std::string& aString) {
  Debug(let_info, "[DirectIO]->DirectIO(" + std::to_string(aCommand) + "," + std::to_string(aData) + "," +
                      Quoted(aString) + ")");
  const bool ok = CheckResult(fOPOS->DirectIO(aCommand, aData, aString));
  Debug(let_info, "[DirectIO]->Output(Data:=" + std::to_string(aData) + ", Obj:=" + Quoted(aString) + ")");
  return ok;
}

// ---- Properties ----

bool kIOHandler_OPOS::GetCoverOpen(bool& aResult) {
  Debug(let_info, "[GetCoverOpen]->CoverOpen(aResult)");
  aResult = fOPOS->CoverOpen();
  Debug(let_info, "[GetCoverOpen]->CoverOpen=" + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetDayOpened(bool& aResult) {
  Debug(let_info, "[GetDayOpened]->DayOpened(aResult)");
  aResult = fOPOS->DayOpened();
  Debug(let_info, "[GetDayOpened]->aResult=" + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetRecEmpty(bool& aResult) {
  Debug(let_info, "[GetRecEmpty]->RecEmpty(aResult)");
  aResult = fOPOS->RecEmpty();
  Debug(let_info, "[GetRecEmpty]->aResult=" + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetRecNearEnd(bool& aResult) {
  Debug(let_info, "[GetRecNearEmpty]->RecNearEmpty(aResult)");
  aResult = fOPOS->RecNearEnd();
  Debug(let_info, "[GetRecNearEmpty]->aResult=" + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetTrainingModeActive(bool& aResult) {
  Debug(let_info, "[GetTrainingModeActive]->TrainingModeActive(aResult)");
  aResult = fOPOS->TrainingModeActive();
  Debug(let_info, "[GetTrainingModeActive]->aResult=" + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::PrinterState(int32_t& aPrinterState) {
  Debug(let_info, "[PrinterState]->PrinterState(aPrinterState)");
  aPrinterState = fOPOS->PrinterState();
  Debug(let_info, "[PrinterState]->aPrinterState=" + std::to_string(aPrinterState));
  return true;
}

bool kIOHandler_OPOS::RemainingFiscalMemory(int32_t& aRemainingFiscalMemory) {
  Debug(let_info, "[RemainingFiscalMemory]->RemainingFiscalMemory(aRemainingFiscalMemory)");
  aRemainingFiscalMemory = fOPOS->RemainingFiscalMemory();
  Debug(let_info, "[RemainingFiscalMemory]->aRemainingFiscalMemory=" + std::to_string(aRemainingFiscalMemory));
  return true;
}

bool kIOHandler_OPOS::SetFiscalReceiptType(int32_t aReceiptType) {
  Debug(let_info, "[SetFiscalReceiptType]->FiscalReceiptType=" + std::to_string(aReceiptType));
  fOPOS->SetFiscalReceiptType(aReceiptType);
  return true;
}

bool kIOHandler_OPOS::SetPreLine(const std::string& aDescription) {
  Debug(let_info, "[SetPreLine]->PreLine=" + Quoted(aDescription));
  fOPOS->SetPreLine(aDescription);
  return true;
}

bool kIOHandler_OPOS::SetAdditionalTrailerLine(const std::string& aDescription, bool aClear) {
  if (aClear) {
    Debug(let_info, "[SetAdditionalTrailerLine]->AdditionalTrailer=" + Quoted(aDescription));
    fOPOS->SetAdditionalTrailer(aDescription);
  } else {
    Debug(let_info, "[SetAdditionalTrailerLine]->AdditionalTrailer=+" + Quoted(aDescription));
    fOPOS->SetAdditionalTrailer(fOPOS->AdditionalTrailer() + aDescription + "\r\n");
  }
  return true;
}

}  // namespace fp
