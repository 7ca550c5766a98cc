// The result records of the exports: one plain record per export, filled by the device
// operation and turned into the result fragment by its Format.
//
// Every record carries the error tail Error / ErrorText / LogFileName (its base), which its
// fragment writes last. Default member values are the "all zero" state a device operation
// starts from; the request objects put their own copy to the start values (Error true)
// before running a request.
//
// Format() writes the XML fragment the host receives: a sequence of elements with no
// declaration and no root element, ending with the error tail and nothing after
// "</LogFileName>".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/amount.h"
#include "base/datetime.h"
#include "base/xml_text.h"
#include "request/printer_status.h"

namespace fp {

enum vnPaymentTransactionType : int32_t {
  ptt_Chip = 0,
  ptt_MagStripe = 1,
  ptt_Manual = 2,
  ptt_Cless = 3,
  ptt_ClessMagStripe = 4,
  ptt_ClessChip = 5,
  ptt_RFID = 6,
  ptt_Other = 7,
  ptt_Token = 8,
};

// Scoped: the network names are plain words (Day, Other, Bank) that must not leak into fp.
enum class vnPaymentNetwork : int32_t {
  Bank, Cheque, Visa, Amex, Mastercard, JCB, CUP, Diners, Maestro, NHS,
  Edenred, Day, Sodexo, Pellegrini, BluTicket, Jakala, MIGLunch, AliPay, Discover, Doku,
  DragonPay, MolPay, VPay, AmazonPay, ApplePay, SamsungPay, Paypal, Yandex, QuiTicket, Repas,
  Ristomat, Agape, LunchTime, QuiWelfare, EP, CIR, Gemeaz, Satispay, Jiffy, Bitcoin,
  Tinaba, Scalapay, Nexi, Other,
};

// EscapeXml, which writes every text value of a fragment, is in base/xml_text.h.

// The error tail every record ends with. A record without fields of its own is the tail
// alone, and so is its fragment.
struct _int_ErrorTail {
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
  std::string Format() const;
};

struct _int_PRINTFR_result : _int_ErrorTail {
  DateTime ReceiptDateTime = 0;
  std::string ReceiptNumber;
  std::string EJNumber;
  std::string EJClosingNumber;
  std::string DeviceSerialNumber;
  std::string ServerSerialNumber;
  std::string InvoiceNumber;
  DateTime InvoiceDateTime = 0;
  std::string ReceiptText;
  std::string ReceiptImage;  // base64 text
  std::string MessageText;   // written just before the error tail
  std::string Format() const;
};

struct _int_REPRINTFR_result : _int_ErrorTail {};

struct _int_PRINTXR_result : _int_ErrorTail {
  std::string XReportNumber;
  DateTime XReportDateTime = 0;
  std::string EJNumber;
  std::string EJClosingNumber;
  std::string DeviceSerialNumber;
  std::string ServerSerialNumber;
  std::string Text;
  std::string Format() const;
};

struct _int_PRINTZR_result : _int_ErrorTail {
  std::string ZReportNumber;
  DateTime ZReportDateTime = 0;
  std::string EJNumber;
  std::string EJClosingNumber;
  std::string DeviceSerialNumber;
  std::string ServerSerialNumber;
  int32_t RemainingFiscalMemory = 0;  // kept for the operation, never written to the fragment
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
  std::string Text;
  std::string Format() const;
};

struct _int_PRINTNFR_result : _int_ErrorTail {
  DateTime NFReceiptDateTime = 0;
  std::string NFReceiptNumber;
  std::string MessageText;  // what the printer could not print; written just before the error tail
  std::string Format() const;
};

struct _int_DISPLAY_result : _int_ErrorTail {};

struct _int_OPENDR_result : _int_ErrorTail {};

// The printer's status as the driver fills it: Pub_GetStatus hands this record to the hook.
struct _int_GETSTATUS_result : _int_ErrorTail, vnPrinterStatus {
  std::string Format() const;
};

struct _int_SET_result : _int_ErrorTail {};

struct _int_SETDATETIME_result : _int_ErrorTail {
  fp::DateTime DateTime = 0;
  std::string Format() const;
};

struct _int_OPEN_result : _int_ErrorTail {
  int32_t Handle = 0;
  std::string Format() const;
};

struct _int_GETDRSTATUS_result : _int_ErrorTail {
  bool IsOpen = false;
  std::string Format() const;
};

struct _int_EJREPORT_result : _int_ErrorTail {
  std::string Text;
  std::string Format() const;
};

struct _int_CLOSE_result : _int_ErrorTail {};

struct _int_Vat {
  int32_t Index = 0;
  std::string Code;
  std::string Description;
  Amount Rate;
};

struct _int_Dept {
  int32_t Index = 0;
  std::string Code;
  std::string Description;
  std::string VatCode;
  std::string SalesType;
  std::string EACode;
  std::string EADescription;
  std::string EAVATMode;
};

struct _int_GETVATTABLE_result : _int_ErrorTail {
  std::vector<_int_Vat> VATTable;
  std::string Format() const;
};

struct _int_SETVATTABLE_result : _int_ErrorTail {
  std::string MessageText;  // e.g. the Z report taken first; written just before the error tail
  std::string Format() const;
};

struct _int_GETDEPTTABLE_result : _int_ErrorTail {
  std::vector<_int_Dept> DeptTable;
  std::string Format() const;
};

struct _int_SETDEPTTABLE_result : _int_ErrorTail {
  std::string MessageText;  // as in _int_SETVATTABLE_result
  std::string Format() const;
};

struct _int_PAY_result : _int_ErrorTail {
  std::string DeviceId;
  DateTime PaymentDateTime = 0;
  std::string PaymentNumber;
  Amount PaymentAmount;
  std::string PaymentCurrency;
  std::string MaskedPAN;
  std::string SerialNumber;
  vnPaymentTransactionType TransactionType = ptt_Chip;
  vnPaymentNetwork PaymentNetwork = vnPaymentNetwork::Bank;
  std::string AuthCode;
  std::string TraceAuditId;
  Amount ExchangeRate;
  Amount PaymentAmountCurrency;
  std::string PaymentCurrencyCurrency;
  Amount TippedAmount;
  Amount RemainingBalance;
  int32_t InstalmentCount = 0;
  int32_t NumberOfItems = 0;
  Amount SingleItemAmount;
  bool SignatureRequested = false;
  std::string CustomerCountryCode;
  std::string CardToken;
  std::string RefundReference;
  std::string ReceiptText;
  std::string CashierReceiptText;
  std::string RawResponse;
  std::string DigitalSignature;
  std::string DigitalSignatureInput;

  // The host's names for the network and the card reading mode. Values outside the known
  // ranges (and Nexi, which hosts do not know) give "unrecognized"; RFID gives "".
  static std::string DecodeNetwork(vnPaymentNetwork aValue);
  static std::string DecodeTransactionType(vnPaymentTransactionType aValue);
  std::string Format() const;
};

struct _int_GETLOTTERYRCPTSTATUS_result : _int_ErrorTail {
  bool CorrectlySent = false;
  std::string StatusCode;
  std::string StatusDescription;
  std::string ReferenceId;
  std::string Format() const;
};

struct _int_GETEJFILES_result : _int_ErrorTail {
  int32_t FilesCount = 0;
  std::string Format() const;
};

// The decimal separator of the user's number format, used by the amounts that the host
// shows to the user as they are (ExchangeRate, PaymentAmountCurrency). Taken from the
// user's locale once (platform layer); tests may override it.
std::string UserDecimalSeparator();
void SetUserDecimalSeparatorForTesting(std::string aSeparator);

}  // namespace fp
