// The RT printer's command protocol, free of any transport: how a command packet is put into
// the query of an "_io" request, how a reply frame is taken apart, what its reply codes mean,
// and the small text rules with which packets are built.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/amount.h"
#include "base/app_utils.h"

namespace fp {

// Flags of the device status byte (second field of every reply frame), plus its reply code.
struct kFiscalPrinter_TARVOLX40FPETH_DeviceStatus {
  bool BatteryWarning = false;
  bool CutterError = false;
  bool DeviceBusy = false;
  bool FatalError = false;
  bool FiscalFileFull = false;
  bool PrintPaperEnd = false;
  bool PrinterOffline = false;
  bool PrinterTimeout = false;
  int32_t ReplyCode = 0;
};

// Flags of the fiscal status byte (third field of every reply frame).
struct kFiscalPrinter_TARVOLX40FPETH_FiscalStatus {
  bool CashInOpen = false;
  bool CashOutOpen = false;
  bool DayIsOpen = false;
  bool DrawerIsOpen = false;
  bool ElectronicJournalReportOpen = false;
  bool TransactionInPayment = false;
  bool TransactionOpen = false;
  bool InactivePeriod = false;
};

namespace tarvol {

// Reply codes the printer answers with when a command was carried out.
inline constexpr int kReplyOk = 0x00;
inline constexpr int kReplyNoSdData = 0x51;
// The refusal that names an open cover, the one thing the printer says about its cover.
inline constexpr int kReplyCoverOpen = 0x33;
inline constexpr int kReplyNoMoreSdData = 0x52;
inline constexpr int kReplyCodeErrorNumber = 501;  // code of a failure that carries no reply code of the printer

// Percent-encodes the packet text of a command for the query: UTF-8 bytes outside "!".."~",
// every "/", the query delimiters "#", "&", "+" and "?", and every "%" not already starting a
// %XX escape become %XX (upper-case hex).
std::string EncodePacketData(std::string_view aData);

// The request path below the printer's base URL: "_io?cmd=..&js=..&pkt=<letter><encoded data>".
std::string BuildCommandPath(std::string_view aCmd, int aJs, std::string_view aPkt, std::string_view aData);

// Field aIndex (from 1) of a "/"-separated frame; empty when the frame has fewer fields.
inline std::string FrameField(std::string_view aFrame, int aIndex) { return ExtractField(aFrame, aIndex, '/'); }

// The frame without its three leading status fields (from the tenth character on).
std::string ReplyData(std::string_view aFrame);

// The three status fields of a reply frame, decoded.
struct DecodedFrame {
  int replyCode = 0;
  kFiscalPrinter_TARVOLX40FPETH_DeviceStatus device;
  kFiscalPrinter_TARVOLX40FPETH_FiscalStatus fiscal;
};

// Decodes the reply code (hexadecimal), the device status (hexadecimal) and the fiscal
// status (decimal). Throws kException naming the frame when any of them is not a number.
DecodedFrame DecodeFrame(std::string_view aFrame);

// True when the printer answers that its journal is still being prepared ("00/00/02").
bool IsBusyFrame(std::string_view aFrame);

// English text for a reply code.
std::string GetReplyCodeMessage(int aCode);

// Free text bound for a packet field: "/" would split the field and "&" makes the printer
// refuse the command, so both become "-".
std::string CleanFieldText(std::string_view aText);

// Takes the text before the first "/" out of aText (with that "/"). Without any "/" it
// answers empty text and leaves aText alone.
std::string NextField(std::string& aText);

// Amount and quantity fields: "0.00" and "0.000" with "." and no grouping.
std::string AmountField(Amount aValue);
std::string QuantityField(Amount aValue);

// A number as exactly two digits: zero-padded, and cut to the last two ("5" -> "05", 123 -> "23").
std::string TwoDigits(int64_t aValue);

// A reply field of digits only (one to nine) as its number; empty for anything else.
std::optional<int32_t> DigitsValue(std::string_view aText);

// The text of one display or print line: trimmed, every "otale" written "0tale" (the printer
// refuses the word "totale" in free text), padded with blanks and cut to aWidth characters,
// then cleaned for a packet field.
std::string LineFieldText(std::string_view aText, int aWidth);

}  // namespace tarvol
}  // namespace fp
