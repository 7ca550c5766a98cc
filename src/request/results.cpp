#include "request/results.h"

#include <cmath>
#include <mutex>

#include "base/platform.h"
#include "base/text.h"
#include "base/xml_text.h"

namespace fp {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// Day numbers of 0001-01-01 and 9999-12-31 relative to 1899-12-30: the range a date text
// can show. Anything outside (or not finite) is written as the zero date rather than as a
// wrapped or undefined one.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

std::string FormatDateTime(DateTime aValue) {
  if (!std::isfinite(aValue) || aValue <= kMinDateTime - 1 || aValue >= kMaxDateTime) aValue = 0;
  return DateTimeToXmlText(aValue);
}

std::string FormatAmountForUser(Amount aValue) {
  std::string text = AmountToXmlText(aValue);
  auto dot = text.find('.');
  if (dot != std::string::npos) text.replace(dot, 1, UserDecimalSeparator());
  return text;
}

// Appends the pieces of a fragment; every element helper writes "<name>value</name>".
class Fragment {
 public:
  Fragment& Raw(std::string_view aText) {
    fOut += aText;
    return *this;
  }
  Fragment& Element(std::string_view aName, std::string_view aValue) {
    fOut += '<';
    fOut += aName;
    fOut += '>';
    fOut += aValue;
    fOut += "</";
    fOut += aName;
    fOut += '>';
    return *this;
  }
  // One element followed by CR LF: the layout of most records.
  Fragment& Line(std::string_view aName, std::string_view aValue) {
    Element(aName, aValue);
    fOut += kCrLf;
    return *this;
  }
  // Every text value, whoever supplied it (printer, library, request), is escaped: a
  // serial number or status text with "<" or "&" must not break the host's XML.
  Fragment& Text(std::string_view aName, std::string_view aValue) { return Line(aName, EscapeXml(aValue)); }
  Fragment& Date(std::string_view aName, DateTime aValue) { return Line(aName, FormatDateTime(aValue)); }
  Fragment& Bool(std::string_view aName, bool aValue) { return Line(aName, BoolToXmlText(aValue)); }
  Fragment& Int(std::string_view aName, int32_t aValue) { return Line(aName, std::to_string(aValue)); }
  Fragment& Amt(std::string_view aName, Amount aValue) { return Line(aName, AmountToXmlText(aValue)); }

  // "<Text>" + one <Line> per line, each followed by aAfterLine (the reports put nothing
  // between them), + "</Text>".
  Fragment& ReportText(std::string_view aText, std::string_view aAfterLine = {}) {
    // Line by line, without a list of the lines: a journal text may hold hundreds of
    // thousands of them. The room is taken once, exactly: growing by doubling would hold up
    // to twice a journal's result.
    size_t size = fOut.size() + 13;
    ForEachTextLine(aText, [&](std::string_view aLine) { size += EscapedXmlSize(aLine) + 13 + aAfterLine.size(); });
    fOut.reserve(size + 1024);
    fOut += "<Text>";
    ForEachTextLine(aText, [&](std::string_view aLine) {
      Element("Line", EscapeXml(aLine));
      fOut += aAfterLine;
    });
    fOut += "</Text>";
    return *this;
  }

  // The error tail ends every fragment; nothing follows "</LogFileName>".
  std::string Tail(const _int_ErrorTail& aTail) {
    Line("Error", BoolToXmlText(aTail.Error));
    Line("ErrorText", EscapeXml(aTail.ErrorText));
    Element("LogFileName", EscapeXml(aTail.LogFileName));
    return std::move(fOut);
  }

 private:
  std::string fOut;
};

std::mutex gSeparatorLock;
bool gSeparatorKnown = false;
std::string gSeparator;

}  // namespace

std::string UserDecimalSeparator() {
  std::lock_guard<std::mutex> lock(gSeparatorLock);
  if (!gSeparatorKnown) {
    gSeparator = DecimalSeparator();
    gSeparatorKnown = true;
  }
  return gSeparator;
}

void SetUserDecimalSeparatorForTesting(std::string aSeparator) {
  std::lock_guard<std::mutex> lock(gSeparatorLock);
  gSeparator = std::move(aSeparator);
  gSeparatorKnown = true;
}

std::string _int_PRINTFR_result::Format() const {
  return Fragment()
      .Date("ReceiptDateTime", ReceiptDateTime)
      .Text("ReceiptNumber", ReceiptNumber)
      .Text("DeviceSerialNumber", DeviceSerialNumber)
      .Text("EJNumber", EJNumber)
      .Text("EJClosingNumber", EJClosingNumber)
      .Text("ServerSerialNumber", ServerSerialNumber)
      .Text("ReceiptText", ReceiptText)
      .Text("ReceiptImage", ReceiptImage)
      .Text("InvoiceNumber", InvoiceNumber)
      .Date("InvoiceDateTime", InvoiceDateTime)
      .Text("MessageText", MessageText)
      .Tail(*this);
}

std::string _int_ErrorTail::Format() const { return Fragment().Tail(*this); }

std::string _int_PRINTXR_result::Format() const {
  return Fragment()
      .Date("XReportDateTime", XReportDateTime)
      .Text("XReportNumber", XReportNumber)
      .Text("DeviceSerialNumber", DeviceSerialNumber)
      .Text("ServerSerialNumber", ServerSerialNumber)
      .Text("EJNumber", EJNumber)
      .Text("EJClosingNumber", EJClosingNumber)
      .ReportText(Text)
      .Tail(*this);
}

std::string _int_PRINTZR_result::Format() const {
  return Fragment()
      .Date("ZReportDateTime", ZReportDateTime)
      .Text("ZReportNumber", ZReportNumber)
      .Text("DeviceSerialNumber", DeviceSerialNumber)
      .Text("ServerSerialNumber", ServerSerialNumber)
      .Text("EJNumber", EJNumber)
      .Text("EJClosingNumber", EJClosingNumber)
      // The totals and counts form one line, directly followed by the report text.
      .Element("GrandTotalAmount", AmountToXmlText(GrandTotalAmount))
      .Element("GrandTotalRefundsAmount", AmountToXmlText(GrandTotalRefundsAmount))
      .Element("GrandTotalVoidsAmount", AmountToXmlText(GrandTotalVoidsAmount))
      .Element("DayTotalAmount", AmountToXmlText(DayTotalAmount))
      .Element("DayDiscountsAmount", AmountToXmlText(DayDiscountsAmount))
      .Element("DayReturnsAmount", AmountToXmlText(DayReturnsAmount))
      .Element("DayRefundsAmount", AmountToXmlText(DayRefundsAmount))
      .Element("DayVoidsAmount", AmountToXmlText(DayVoidsAmount))
      .Element("DayReceiptsNumber", std::to_string(DayReceiptsNumber))
      .Element("DayRefundsNumber", std::to_string(DayRefundsNumber))
      .ReportText(Text)
      .Tail(*this);
}

std::string _int_PRINTNFR_result::Format() const {
  return Fragment()
      .Date("NFReceiptDateTime", NFReceiptDateTime)
      .Text("NFReceiptNumber", NFReceiptNumber)
      .Text("MessageText", MessageText)
      .Tail(*this);
}

std::string _int_SETVATTABLE_result::Format() const { return Fragment().Text("MessageText", MessageText).Tail(*this); }

std::string _int_SETDEPTTABLE_result::Format() const { return Fragment().Text("MessageText", MessageText).Tail(*this); }

std::string _int_GETSTATUS_result::Format() const {
  return Fragment()
      .Bool("DayOpened", DayOpened)
      .Date("DateTime", DateTime)
      .Bool("PaperEnd", PaperEnd)
      .Bool("PaperNearEnd", PaperNearEnd)
      .Bool("CoverOpen", CoverOpen)
      .Bool("FiscalReceiptOpen", FiscalReceiptOpen)
      .Bool("ReceiptOpen", ReceiptOpen)
      .Bool("TrainingMode", TrainingMode)
      .Text("FirmwareVersion", FirmwareVersion)
      .Text("SerialNumber", SerialNumber)
      .Text("FiscalMode", FiscalMode)
      .Tail(*this);
}

std::string _int_SETDATETIME_result::Format() const {
  return Fragment().Date("DateTime", DateTime).Tail(*this);
}

std::string _int_OPEN_result::Format() const {
  return Fragment().Int("Handle", Handle).Tail(*this);
}

std::string _int_GETDRSTATUS_result::Format() const {
  return Fragment().Bool("IsOpen", IsOpen).Tail(*this);
}

std::string _int_EJREPORT_result::Format() const {
  return Fragment().ReportText(Text, kCrLf).Raw(kCrLf).Tail(*this);
}

std::string _int_GETVATTABLE_result::Format() const {
  Fragment f;
  f.Raw("<VATTable>").Raw(kCrLf);
  for (const _int_Vat& vat : VATTable) {
    f.Raw("<VAT>").Raw(kCrLf);
    f.Int("Index", vat.Index).Text("Code", vat.Code).Text("Description", vat.Description).Amt("Rate", vat.Rate);
    f.Raw("</VAT>").Raw(kCrLf);
  }
  f.Raw("</VATTable>").Raw(kCrLf);
  return f.Tail(*this);
}

std::string _int_GETDEPTTABLE_result::Format() const {
  Fragment f;
  f.Raw("<DeptTable>").Raw(kCrLf);
  for (const _int_Dept& dept : DeptTable) {
    f.Raw("<Department>").Raw(kCrLf);
    f.Int("Index", dept.Index)
        .Text("Code", dept.Code)
        .Text("Description", dept.Description)
        .Text("VATCode", dept.VatCode)
        .Text("SalesType", dept.SalesType)
        .Text("EACode", dept.EACode)
        .Text("EADescription", dept.EADescription)
        .Text("EAVATMode", dept.EAVATMode);
    f.Raw("</Department>").Raw(kCrLf);
  }
  f.Raw("</DeptTable>").Raw(kCrLf);
  return f.Tail(*this);
}

std::string _int_PAY_result::DecodeNetwork(vnPaymentNetwork aValue) {
  static constexpr const char* kNames[] = {
      "bank",      "cheque",    "visa",      "amex",       "mastercard", "jcb",        "cup",
      "diners",    "maestro",   "NHS",       "edenred",    "day",        "sodexo",     "pellegrini",
      "bluticket", "jakala",    "miglunch",  "alipay",     "discover",   "doku",       "dragonpay",
      "molpay",    "vpay",      "amazonpay", "applepay",   "samsungpay", "paypal",     "yandex",
      "quiticket", "repas",     "ristomat",  "agape",      "lunchtime",  "quiwelfare", "ep",
      "cir",       "gemeaz",    "satispay",  "jiffy",      "bitcoin",    "tinaba",     "scalapay",
  };
  auto v = static_cast<int32_t>(aValue);
  if (v >= 0 && v < static_cast<int32_t>(std::size(kNames))) return kNames[v];
  if (aValue == vnPaymentNetwork::Other) return "other";
  return "unrecognized";
}

std::string _int_PAY_result::DecodeTransactionType(vnPaymentTransactionType aValue) {
  switch (aValue) {
    case ptt_Chip: return "CHIP";
    case ptt_MagStripe: return "MAGSTRIPE";
    case ptt_Manual: return "MANUAL";
    case ptt_Cless: return "CLESS";
    case ptt_ClessMagStripe: return "CLESSMAGSTRIPE";
    case ptt_ClessChip: return "CLESSCHIP";
    case ptt_Other: return "OTHER";
    case ptt_Token: return "TOKEN";
    case ptt_RFID: break;
  }
  return "";
}

std::string _int_PAY_result::Format() const {
  return Fragment()
      .Text("DeviceId", DeviceId)
      .Date("PaymentDateTime", PaymentDateTime)
      .Text("PaymentNumber", PaymentNumber)
      .Amt("PaymentAmount", PaymentAmount)
      .Text("PaymentCurrency", PaymentCurrency)
      .Text("ExchangeRate", FormatAmountForUser(ExchangeRate))
      .Text("PaymentAmountCurrency", FormatAmountForUser(PaymentAmountCurrency))
      .Text("MaskedPAN", MaskedPAN)
      .Text("PaymentNetwork", DecodeNetwork(PaymentNetwork))
      .Text("TransactionType", DecodeTransactionType(TransactionType))
      .Text("AuthCode", AuthCode)
      .Text("TraceAuditId", TraceAuditId)
      .Text("RawResponse", RawResponse)
      .Text("ReceiptText", ReceiptText)
      .Tail(*this);
}

std::string _int_GETLOTTERYRCPTSTATUS_result::Format() const {
  return Fragment()
      .Bool("CorrectlySent", CorrectlySent)
      .Text("StatusCode", StatusCode)
      .Text("StatusDescription", StatusDescription)
      .Text("ReferenceId", ReferenceId)
      .Tail(*this);
}

std::string _int_GETEJFILES_result::Format() const {
  return Fragment().Int("FilesCount", FilesCount).Tail(*this);
}

}  // namespace fp
