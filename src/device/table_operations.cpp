// The device's table and small operations: VAT and department tables, training mode, the
// printer clock, the cash drawer, the lottery receipt status and electronic payment.
#include <cstdlib>

#include "base/errors.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "device/fiscal_printer_device.h"
#include "documents/dept_table.h"
#include "documents/drawer.h"
#include "documents/economic_activity_table.h"
#include "documents/payment_receipt.h"
#include "documents/receipt_reference.h"
#include "documents/vat_table.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"

namespace fp {

namespace {

// A whole decimal number with optional sign, fraction and exponent, and nothing else.
bool ParseNumber(const std::string& aText, double& aValue) {
  if (aText.empty()) return false;
  size_t i = 0;
  if (aText[i] == '+' || aText[i] == '-') ++i;
  size_t digits = 0;
  while (i < aText.size() && aText[i] >= '0' && aText[i] <= '9') ++i, ++digits;
  if (i < aText.size() && aText[i] == '.') {
    ++i;
    while (i < aText.size() && aText[i] >= '0' && aText[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < aText.size() && (aText[i] == 'e' || aText[i] == 'E')) {
    ++i;
    if (i < aText.size() && (aText[i] == '+' || aText[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < aText.size() && aText[i] >= '0' && aText[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != aText.size()) return false;
  // strtod follows the C locale here: the library never changes the process locale, and
  // the grammar above admits only "." as separator.
  aValue = std::strtod(aText.c_str(), nullptr);
  return true;
}

// A parameter value read as a Boolean: a number is false when 0 and true otherwise;
// otherwise "true" or "false" in any letter case.
bool TextToBoolean(const std::string& aText) {
  double number = 0;
  if (ParseNumber(aText, number)) return number != 0;
  std::string lower = LowerCase(aText);
  if (lower == "true") return true;
  if (lower == "false") return false;
  throw kException("'" + aText + "' is not a valid boolean value");
}

}  // namespace

void kFiscalPrinterDevice::Pub_GetVatTable(kReceiptPrinterHandler&, _int_GETVATTABLE_result& aResult) {
  BeginOperation("GetVATTable", aResult);
  aResult.VATTable.clear();
  ReadVatTable();
  if (ErrorFound()) {
    EndOperation(aResult);
    return;
  }
  for (const kVat& vat : *fVatTable)
    aResult.VATTable.push_back(_int_Vat{vat.fIndex, vat.fCode, vat.fDescription, vat.fRate});
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_SetVatTable(kReceiptPrinterHandler& aHandler, _int_SETVATTABLE_result& aResult) {
  BeginOperation("SetVATTable", aResult, false);
  kDocumentScope scope(*this);
  if (const std::string failure = BeginJournalChange(vnJournalKind::Programming); !failure.empty()) {
    aResult.ErrorText = "Not programmed: " + failure;
    return;
  }
  WriteVatTable(*aHandler.fVATTable);
  EndOperation(aResult);
  aResult.MessageText = ResultNote();
  SettleChange(aResult);
}

void kFiscalPrinterDevice::Pub_GetDeptTable(kReceiptPrinterHandler&, _int_GETDEPTTABLE_result& aResult) {
  BeginOperation("GetDeptTable", aResult);
  aResult.DeptTable.clear();
  ReadEATable();
  ReadDeptTable();
  if (ErrorFound()) {
    EndOperation(aResult);
    return;
  }
  for (const kDepartment& dept : *fDeptTable) {
    _int_Dept out;
    out.Index = dept.fIndex;
    out.Code = dept.fCode;
    out.Description = dept.fDescription;
    out.VatCode = dept.fVATCode;
    out.SalesType = dept.fSalesType == st_Service ? "Service" : "Product";
    if (!dept.fEACode.empty()) {
      out.EACode = dept.fEACode;
      // A department may name an activity the printer does not list: its description and
      // VAT mode are then unknown and stay empty rather than being made up.
      if (const kEconomicActivity* ea = fEATable->Get(dept.fEACode)) {
        out.EADescription = ea->fDescription;
        out.EAVATMode = ea->fVentilazione ? "1" : "0";
      }
    }
    aResult.DeptTable.push_back(std::move(out));
  }
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_SetDeptTable(kReceiptPrinterHandler& aHandler, _int_SETDEPTTABLE_result& aResult) {
  BeginOperation("SetDeptTable", aResult, false);
  kDocumentScope scope(*this);
  if (const std::string failure = BeginJournalChange(vnJournalKind::Programming); !failure.empty()) {
    aResult.ErrorText = "Not programmed: " + failure;
    return;
  }
  // Departments refer to activities, so the activities go first; the departments are
  // written whatever the first step did, and the recorded error reports either failure.
  WriteEATable(*aHandler.fEATable);
  WriteDeptTable(*aHandler.fDeptTable);
  EndOperation(aResult);
  aResult.MessageText = ResultNote();
  SettleChange(aResult);
}

void kFiscalPrinterDevice::Pub_Set(kReceiptPrinterHandler& aHandler, _int_SET_result& aResult) {
  BeginOperation("Set", aResult);
  if (aHandler.ParameterExists("TrainingMode")) {
    const bool training = TextToBoolean(aHandler.GetParameter("TrainingMode"));
    kDocumentScope scope(*this);
    if (const std::string busy = LockPrinterToPrint(); !busy.empty()) {
      aResult.ErrorText = busy;
      return;
    }
    SetTrainingMode(training);
  }
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_SetDateTime(kReceiptPrinterHandler& aHandler, _int_SETDATETIME_result& aResult) {
  BeginOperation("SetDateTime", aResult, false);
  const DateTime value = XmlTextToDateTime(aHandler.GetParameter("DateTime"));
  constexpr const char* kNotSet = "Clock not set: ";
  kDocumentScope scope(*this);
  if (value > 0) {
    if (const std::string failure = BeginJournalChange(vnJournalKind::Clock); !failure.empty()) {
      aResult.ErrorText = kNotSet + failure;
      return;
    }
  }
  // Every value goes to the driver, which refuses one its printer cannot hold before
  // sending anything: a clock left unset is never reported as set.
  try {
    SetDateTime(value);
  } catch (const kException& e) {
    // Refused before it was sent: the clock's row is settled as not set with it.
    ResetError();
    RecordError(999, e.what());
  }
  // The outcome is the setting's; the result then carries the printer's clock as read
  // back, also after a failed setting. A failure says its outcome first: not set, or unknown.
  EndOperation(aResult);
  if (aResult.Error && !StartsWith(aResult.ErrorText, kNotSet) && !StartsWith(aResult.ErrorText, kOutcomeUnknownPrefix))
    aResult.ErrorText = kNotSet + aResult.ErrorText;
  SettleChange(aResult);
  // The outcome is settled before the clock is read back: a clock that cannot be read leaves
  // the date 0, and neither turns a clock that was set into a failure nor replaces the reason
  // a setting failed. A clock that was set says why its date is missing.
  const std::string failure = ReadClockAfterOutcome(aResult.DateTime);
  if (!failure.empty() && !aResult.Error) {
    const std::string note = "The clock was set but its date and time could not be read back: " + failure;
    aResult.ErrorText = aResult.ErrorText.empty() ? note : aResult.ErrorText + "; " + note;
  }
}

void kFiscalPrinterDevice::Pub_OpenDrawer(kReceiptPrinterHandler& aHandler, _int_OPENDR_result& aResult) {
  BeginOperation("OpenDrawer", aResult);
  OpenDrawer(aHandler.fDrawer->fNumber);
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_GetDrawerStatus(kReceiptPrinterHandler& aHandler,
                                               _int_GETDRSTATUS_result& aResult) {
  BeginOperation("GetDrawerStatus", aResult);
  GetDrawerStatus(aHandler.fDrawer->fNumber, aResult.IsOpen);
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_GetLotteryReceiptStatus(kReceiptPrinterHandler& aHandler,
                                                       _int_GETLOTTERYRCPTSTATUS_result& aResult) {
  BeginOperation("GetLotteryRcptStatus", aResult);
  if (IsReady()) ReadLotteryReceiptStatus(*aHandler.fReceiptReference);
  if (!ErrorFound()) {
    // Not ready: the status held from the last successful read.
    aResult.CorrectlySent = fLotteryReceiptStatus.CorrectlySent;
    aResult.StatusCode = fLotteryReceiptStatus.StatusCode;
    aResult.StatusDescription = fLotteryReceiptStatus.StatusDescription;
    aResult.ReferenceId = fLotteryReceiptStatus.ReferenceId;
  }
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_Pay(kReceiptPrinterHandler& aHandler, _int_PAY_result& aResult) {
  // Error keeps its start value until the end: a payment that throws reports the start
  // values of the record.
  WriteOperationHeader("Pay");
  aResult.LogFileName = LogFileName();

  kPaymentReceipt& payment = *aHandler.fPaymentReceipt;
  Pay(payment);

  // The terminal's data reach the host only through RawResponse and ReceiptText.
  aResult.DeviceId.clear();
  aResult.PaymentDateTime = 0;
  aResult.PaymentNumber.clear();
  aResult.PaymentAmount = Amount();
  aResult.PaymentCurrency.clear();
  aResult.MaskedPAN.clear();
  aResult.TransactionType = ptt_Manual;
  aResult.PaymentNetwork = vnPaymentNetwork::Other;
  aResult.AuthCode.clear();
  aResult.TraceAuditId.clear();
  aResult.ExchangeRate = Amount();
  aResult.PaymentAmountCurrency = Amount();

  if (ErrorFound()) {
    aResult.ReceiptText.clear();
  } else {
    aResult.RawResponse = payment.fRawResponse;
    std::string text;
    for (const std::string& line : payment.fReceiptLines) text += line + "\r\n";
    aResult.ReceiptText = std::move(text);
  }
  EndOperation(aResult);
}

}  // namespace fp
