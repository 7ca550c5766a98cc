#include "drivers/tarvolx40fpeth/protocol.h"

#include <array>
#include <optional>
#include <utility>

#include "base/errors.h"
#include "base/text.h"

namespace fp::tarvol {

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// A hexadecimal field of one to eight digits, nothing else.
std::optional<int64_t> ParseHex(std::string_view aText) {
  if (aText.empty() || aText.size() > 8) return std::nullopt;
  int64_t value = 0;
  for (char c : aText) {
    if (!IsHexDigit(c)) return std::nullopt;
    value = value * 16 + HexValue(c);
  }
  return value;
}

// A decimal field: optional sign and one to ten digits.
std::optional<int64_t> ParseDecimal(std::string_view aText) {
  size_t pos = 0;
  bool negative = false;
  if (!aText.empty() && (aText[0] == '+' || aText[0] == '-')) {
    negative = aText[0] == '-';
    pos = 1;
  }
  if (pos == aText.size() || aText.size() - pos > 10) return std::nullopt;
  int64_t value = 0;
  for (; pos < aText.size(); ++pos) {
    if (aText[pos] < '0' || aText[pos] > '9') return std::nullopt;
    value = value * 10 + (aText[pos] - '0');
  }
  return negative ? -value : value;
}

[[noreturn]] void ThrowBadFrame(std::string_view aFrame) {
  // Enough of the frame to recognise it in the message; the log holds all of it.
  std::string shown = CharLeft(aFrame, 40);
  if (CharLength(aFrame) > 40) shown += "...";
  throw kException("Invalid reply frame from the printer: '" + shown + "'");
}

struct ReplyMessage {
  int code;
  const char* text;
};

constexpr ReplyMessage kReplyMessages[] = {
    {0x01, "The protocol command expects more fields"},
    {0x02, "A protocol command field is longer than expected"},
    {0x03, "A protocol command filed is smaller than expected"},
    {0x04, "Check the protocol command fields"},
    {0x05, "Check the protocol command fields"},
    {0x06, "The protocol command is not supported"},
    {0x07, "The PLU code doesn’t exist"},
    {0x08, "The DPT Code doesn’t exist"},
    {0x09, "Wrong VAT code"},
    {0x0A, "The Clerk’s index number doesn’t exist"},
    {0x0B, "Wrong Clerk’s password"},
    {0x0C, "The payment code doesn’t exist"},
    {0x0D, "The requested Fiscal record doesn’t exist"},
    {0x0E, "The requested Fiscal record type doesn’t exist"},
    {0x0F, "Printing type Error"},
    {0x10, "The day is open, issue a Z- Report first"},
    {0x11, "Disconnect Jumpers first"},
    {0x12, "Wrong TIME, not allowed operation"},
    {0x13, "Can not perform sales"},
    {0x14, "A transaction is open, close the transaction first"},
    {0x15, "Receipt in Payment"},
    {0x16, "Cash IN/OUT transaction in progress"},
    {0x17, "Wrong VAT rate"},
    {0x18, "Price Error"},
    {0x19, "The online communication of the ECR is ON"},
    {0x1A, "The ECR is busy, try again later"},
    {0x1B, "Invalid sales operation"},
    {0x1C, "Invalid Discount/Markup type"},
    {0x1D, "No more headers can be programmed"},
    {0x1E, "A user’s report is open"},
    {0x1F, "A user’s report is open"},
    {0x20, "The Fiscal Memory has no transactions"},
    {0x21, "Discount/Markup index number Error"},
    {0x22, "You can’t program any more PLUs"},
    {0x23, "Error in BMP Data"},
    {0x24, "The BMP index number doesn’t exist"},
    {0x25, "The category index number doesn’t exist"},
    {0x26, "Printer ID index Error"},
    {0x27, "Error printing type"},
    {0x28, "Unit ID index Error"},
    {0x29, "No more sales can be performed"},
    {0x2A, "Keyboard Error-or keyboard disconnected"},
    {0x2B, "Battery Error"},
    {0x2C, "Paper end"},
    {0x2D, "Error with the cutter"},
    {0x2E, "The printer is disconnected"},
    {0x2F, "Printer overheated"},
    {0x30, "The fiscal memory is offline"},
    {0x31, "Fatal Error"},
    {0x32, "Jumpers are still ON"},
    {0x33, "The printer’s cover is open"},
    {0x34, "No more VATs can be programmed"},
    {0x35, "No more lines"},
    {0x36, "Into Menu"},
    {0x37, "No Ticket Discount"},
    {0x38, "Not supported"},
    {0x39, "Access not allowed for current clerk"},
    {0x3A, "Wrong Baud Rate"},
    {0x3B, "Inactive PLU"},
    {0x3C, "Fiscal Memory is full"},
    {0x3D, "Larger Quantity Value than the one allowed"},
    {0x3E, "Inactive payment type"},
    {0x3F, "Inactive DPT"},
    {0x40, "Cannot open Drawer"},
    {0x41, "There is not an open receipt"},
    {0x42, "Error in SD reports"},
    {0x43, "Discount/Markup limit is exceeded"},
    {0x44, "Zero Discount/Markup"},
    {0x45, "Description is blank"},
    {0x46, "Wrong Key code"},
    {0x47, "Clientindex Error"},
    {0x48, "Wrong Client code"},
    {0x49, "Out of limits bonus"},
    {0x4A, "Wrong Promotion link index"},
    {0x4B, "WORD NOT ALLOWED (TOTALE)"},
    {0x4C, "Error in barcode data"},
    {0x4D, "Change is not allowed for this Payment type"},
    {0x4E, "Must insert the payment amount"},
    {0x4F, "Same Header lines"},
    {0x50, "In Error Message"},
    {0x51, "Not found SD data"},
    {0x52, "There is no more data to read from SD"},
    {0x53, "Set the limit to read SD data"},
    {0x54, "Negative Receipt total"},
    {0x55, "Receipt sales amount exceeded"},
    {0x56, "Daily sales amount exceeded"},
    {0x57, "The SD is full"},
    {0x58, "The SD is old"},
    {0x59, "Out of SD limit"},
    {0x5A, "Fiscal Communication problem"},
    {0x5B, "Cannot send email at the moment"},
    {0x5C, "Open EJ report"},
    {0x5D, "Open fiscal memory report"},
    {0x5E, "Open receipt from keyboard"},
    {0x5F, "EJ Transfer (Not Used)"},
    {0x60, "Cannot transfer payment amount"},
    {0x61, "LCD disconnection"},
    {0x62, "SD disconnection"},
    {0x63, "Battery Error (Not Used)"},
    {0x64, "Zero Receipt Total"},
    {0x65, "Execute FTP command"},
    {0x66, "Credit Payment Type"},
    {0x67, "Bonus index number Error"},
    {0x68, "No more clients"},
    {0x69, "Client in Black List"},
    {0x6A, "Must select Client first"},
    {0x6B, "Not allowed credit for selected Client"},
    {0x6C, "Exceed Client credit limit"},
    {0x6D, "Invalid fattura number"},
    {0x6E, "Maximum fattura number"},
    {0x6F, "In batch client update procedure"},
    {0x70, "Maximum daily total"},
    {0x71, "Wrong FATTURA text"},
    {0x72, "Inactive ETHERNET"},
    {0x73, "ECR in transfer mode"},
    {0x74, "Cannot open Annullamento"},
    {0x75, "Cannot open reso merce"},
    {0x76, "ECR deactivated"},
    {0x77, "CER expired"},
    {0x78, "Inactive Period"},
    {0x79, "Wrong code to enable RT functionality"},
    {0x7A, "Wrong Serial Number"},
    {0x7B, "This receipt has already been Reso Merce/Annullamento"},
    {0x7C, "Receipt not found for Reso Merce/Annullamento"},
    {0x7D, "Exceed the total of the Receipt (Reso Merce not allowed)"},
    {0x7E, "Wrong Total (Reso Merce/Annullamento not allowed)"},
    {0x7F, "EJ Index file Error (Reso Merce/Annullamento not allowed)"},
    {0x80, "Wrong Receipt date (Reso Merce/Annullamento not allowed)"},
};

}  // namespace

std::string EncodePacketData(std::string_view aData) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(aData.size() * 3);
  for (size_t i = 0; i < aData.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(aData[i]);
    // An escape that is already there passes unchanged, so a caller may pre-encode a field.
    const bool escapeAlready = b == '%' && i + 2 < aData.size() && IsHexDigit(aData[i + 1]) && IsHexDigit(aData[i + 2]);
    // The query's own delimiters are escaped as well: an HTTP client ends the query at "#",
    // a "&" would start a new query key and a "+" may arrive as a blank, so any of them left
    // bare would cut or change the text the printer receives.
    const bool delimiter = b == '#' || b == '&' || b == '+' || b == '?';
    if (b < 0x21 || b > 0x7E || b == '/' || delimiter || (b == '%' && !escapeAlready)) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::string BuildCommandPath(std::string_view aCmd, int aJs, std::string_view aPkt, std::string_view aData) {
  std::string path = "_io?cmd=";
  path += aCmd;
  path += "&js=";
  path += std::to_string(aJs);
  path += "&pkt=";
  path += aPkt;
  path += EncodePacketData(aData);
  return path;
}

std::string ReplyData(std::string_view aFrame) { return CharSubstr(aFrame, 9); }

DecodedFrame DecodeFrame(std::string_view aFrame) {
  auto code = ParseHex(FrameField(aFrame, 1));
  auto device = ParseHex(FrameField(aFrame, 2));
  auto fiscal = ParseDecimal(FrameField(aFrame, 3));
  if (!code || !device || !fiscal) ThrowBadFrame(aFrame);

  DecodedFrame d;
  d.replyCode = static_cast<int>(*code);
  const int64_t ds = *device;
  d.device.DeviceBusy = ds & 0x01;
  d.device.PrintPaperEnd = ds & 0x04;
  d.device.BatteryWarning = ds & 0x08;
  d.device.PrinterOffline = ds & 0x10;
  d.device.FatalError = ds & 0x20;
  d.device.PrinterTimeout = ds & 0x40;
  // The printer reports cutter trouble and a full fiscal file with the same bit.
  d.device.CutterError = ds & 0x80;
  d.device.FiscalFileFull = ds & 0x80;
  d.device.ReplyCode = d.replyCode;

  const int64_t fs = *fiscal & 0xFF;
  d.fiscal.DrawerIsOpen = fs & 0x01;
  d.fiscal.DayIsOpen = fs & 0x02;
  d.fiscal.TransactionOpen = fs & 0x04;
  d.fiscal.InactivePeriod = fs & 0x08;
  d.fiscal.TransactionInPayment = fs & 0x10;
  d.fiscal.CashInOpen = fs & 0x20;
  d.fiscal.CashOutOpen = fs & 0x40;
  d.fiscal.ElectronicJournalReportOpen = fs & 0x80;
  return d;
}

bool IsBusyFrame(std::string_view aFrame) { return aFrame.substr(0, 8) == "00/00/02"; }

std::string GetReplyCodeMessage(int aCode) {
  // 0x96..0xAF repeat the messages of 0x67..0x80.
  const int lookup = (aCode >= 0x96 && aCode <= 0xAF) ? aCode - 0x96 + 0x67 : aCode;
  for (const auto& m : kReplyMessages) {
    if (m.code == lookup) return m.text;
  }
  return "Error Unknow " + std::to_string(aCode);
}

std::string CleanFieldText(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) {
    if (c == '/' || c == '&') c = '-';
  }
  return out;
}

std::string NextField(std::string& aText) {
  size_t slash = aText.find('/');
  if (slash == std::string::npos) return {};
  std::string field = aText.substr(0, slash);
  aText.erase(0, slash + 1);
  return field;
}

std::string AmountField(Amount aValue) { return aValue.Format(2, "."); }
std::string QuantityField(Amount aValue) { return aValue.Format(3, "."); }

std::string TwoDigits(int64_t aValue) {
  std::string digits = std::to_string(aValue);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
  return digits.substr(digits.size() - 2);
}

std::optional<int32_t> DigitsValue(std::string_view aText) {
  if (aText.empty() || aText.size() > 9) return std::nullopt;
  int32_t value = 0;
  for (char c : aText) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string LineFieldText(std::string_view aText, int aWidth) {
  std::string text = ReplaceAll(Trim(aText), "otale", "0tale");
  const size_t width = aWidth > 0 ? static_cast<size_t>(aWidth) : 0;
  return CleanFieldText(CharLeft(PadRight(text, width), width));
}

}  // namespace fp::tarvol
