// Start-up sequence, status, clock, drawer, display and settings hooks of the RT printer.
#include <chrono>
#include <cstdlib>
#include <optional>

#include "base/errors.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "documents/message_line.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"

namespace fp {

namespace {

// Sub-kind of each payment slot, sent only when the table is programmed.
constexpr const char* kPaymentSubKinds[kFiscalPrinter_TARVOLX40FPETH::kPaymentSlots] = {
    "", "", "", "", "4", "1", "", "", "", "0", "1", "2", "3", "", "", "", "", "", "", ""};

// The set-up command the printer needs once per session before it takes receipts.
constexpr const char* kSetupPacket = "/96/0///5802713946////////////////";

// Two decimal digits, nothing else.
bool ParseTwoDigits(const std::string& aText, size_t aPos, int& aValue) {
  if (aText.size() < aPos + 2) return false;
  const char a = aText[aPos], b = aText[aPos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return false;
  aValue = (a - '0') * 10 + (b - '0');
  return true;
}

// An integer field: optional sign and digits; aDefault for anything else.
long IntOrDefault(const std::string& aText, long aDefault) {
  const std::string t = Trim(aText);
  if (t.empty() || t.size() > 10) return aDefault;
  size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return aDefault;
  for (size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return aDefault;
  return std::strtol(t.c_str(), nullptr, 10);
}

std::string FormatClockPart(int a, int b, int c) {
  return tarvol::TwoDigits(a) + tarvol::TwoDigits(b) + tarvol::TwoDigits(c);
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::Init() {
  bool ok = Send("?");
  // A printer in its inactive period takes nothing before the day is closed.
  // Documents of this printer left unsettled are settled before the day is closed.
  if (ok && FiscalStatus().InactivePeriod) ok = CloseDayAtStart();
  if (ok) ok = Send("\\", kSetupPacket);

  fPag = DefaultPaymentTable();
  if (!ok) return false;

  bool differs = false;
  for (int slot = 1; slot <= kPaymentSlots; ++slot) {
    ok = Send("{", "/" + std::to_string(slot));
    // A failed read leaves an unrelated or empty reply, which simply counts as different.
    const std::string data = ReplyData();
    const std::string text = tarvol::CleanFieldText(tarvol::FrameField(data, 1)) + "|" +
                             tarvol::CleanFieldText(tarvol::FrameField(data, 2)) + "|" + tarvol::FrameField(data, 5);
    if (text != fPag[slot - 1]) differs = true;
    // A printer that no longer answers would otherwise cost the full retry time per slot.
    if (!ok && LastExchangeFailed()) return false;
  }
  if (!ok || !differs) return ok;

  for (int slot = 1; slot <= kPaymentSlots; ++slot) {
    const auto parts = Split(fPag[slot - 1], '|');
    ok = Send("E", "/" + std::to_string(slot) + "/" + parts.at(0) + "/" + parts.at(1) + "/0/1/" + parts.at(2) +
                       "/10001101/" + kPaymentSubKinds[slot - 1] + "/0/");
    // As with the reads: a printer that no longer answers fails the start-up at once.
    if (!ok && LastExchangeFailed()) return false;
  }
  return ok;
}

bool kFiscalPrinter_TARVOLX40FPETH::GetPrinterStatus(vnPrinterStatus& aStatus) {
  bool ok = ReadStatusFields(aStatus);
  // The printer names an open cover only by refusing a command for it; no status bit says so.
  if (!LastExchangeFailed() && DeviceStatus().ReplyCode == tarvol::kReplyCoverOpen) aStatus.CoverOpen = true;
  return ok;
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadStatusFields(vnPrinterStatus& aStatus) {
  bool ok = Send("a");
  if (ok) {
    const std::string serial = Trim(ReplyField(4));
    aStatus.SerialNumber = serial.empty() ? std::string() : "4ZRPV" + CharRight(serial, 6);
    ok = Send("v");
  }
  if (ok) {
    const std::string firmware = ReplyField(4);
    aStatus.FirmwareVersion = firmware.empty() ? std::string() : CharSubstr(firmware, 10, 7);
    ok = Send(",", "/10");
  }
  if (!ok) return false;

  const long mode = IntOrDefault(ReplyField(4), 0);
  if (mode == 0) {
    aStatus.FiscalMode = "MF";
  } else if (mode >= 1 && mode <= 3) {
    aStatus.FiscalMode = "RT";
  }
  aStatus.DayOpened = FiscalStatus().DayIsOpen;
  aStatus.PaperEnd = DeviceStatus().PrintPaperEnd;
  aStatus.PaperNearEnd = DeviceStatus().PrintPaperEnd;
  aStatus.ReceiptOpen = FiscalStatus().TransactionOpen;
  aStatus.FiscalReceiptOpen = FiscalStatus().TransactionOpen;

  if (!GetDateTime(aStatus.DateTime)) return false;
  ok = Send("|");
  if (ok) aStatus.TrainingMode = StartsWith(ReplyField(4), "1");
  return ok;
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadPrinterClock(std::optional<DateTime>& aValue) {
  aValue.reset();
  if (!Send("t")) return false;
  const std::string date = ReplyField(4);
  const std::string time = ReplyField(5);
  int day, month, year, hour, minute, second;
  if (date.size() == 6 && time.size() == 6 && ParseTwoDigits(date, 0, day) && ParseTwoDigits(date, 2, month) &&
      ParseTwoDigits(date, 4, year) && ParseTwoDigits(time, 0, hour) && ParseTwoDigits(time, 2, minute) &&
      ParseTwoDigits(time, 4, second)) {
    aValue = EncodeDateTime(2000 + year, month, day, hour, minute, second, 0);
  }
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::GetDateTime(DateTime& aDateTime) {
  std::optional<DateTime> value;
  if (!ReadPrinterClock(value)) return false;
  // An unreadable clock is no reason to fail the caller: the computer's clock stands in.
  aDateTime = value ? *value : CurrentDateTime();
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::SetDateTime(DateTime aDateTime) {
  // The printer keeps a two-digit year: any other century would be set as this one.
  const DateTimeParts p = DecodeDateTime(aDateTime > 0 ? aDateTime : 0);
  if (aDateTime <= 0 || p.year < kFirstClockYear || p.year > kLastClockYear)
    throw kException("DateTime " + DateTimeToXmlText(aDateTime) + " is outside the years the printer's clock can hold (" +
                     std::to_string(kFirstClockYear) + " to " + std::to_string(kLastClockYear) + "); nothing was sent");
  const auto sent = fNow();
  if (Send("T", "/" + FormatClockPart(p.day, p.month, p.year % 100) + "/" + FormatClockPart(p.hour, p.minute, p.second)))
    return true;
  if (UnansweredCommand().empty()) return false;

  // Sent again later, the same time would set the clock behind: the clock is read instead,
  // and it shows whether the setting arrived (the time asked plus the time gone by since).
  const std::string reason = ErrorMessage();
  LogError("Outcome: the answer to setting the clock was lost (" + reason + "); reading the clock back");
  std::optional<DateTime> clock;
  const bool read = ReadWithinBound([&] { return ReadPrinterClock(clock); });
  if (!read || !clock) {
    const std::string failure = read ? std::string("its answer holds no valid date") : ErrorMessage();
    RecordError(read ? tarvol::kReplyCodeErrorNumber : ErrorCode(),
                std::string(kOutcomeUnknownPrefix) + "the printer's answer to setting the clock was lost (" + reason +
                    ") and its clock could not be read back (" + failure + "); it may have been set");
    return false;
  }
  const double elapsedDays = std::chrono::duration<double>(fNow() - sent).count() / 86400.0;
  constexpr double kSlackDays = 10.0 / 86400.0;  // the clock's whole seconds and the exchanges
  if (clock && *clock >= aDateTime - kSlackDays && *clock <= aDateTime + elapsedDays + kSlackDays) {
    LogInfo("Outcome: the clock reads " + DateTimeToXmlText(*clock) + ": it was set");
    return true;
  }
  RecordError(tarvol::kReplyCodeErrorNumber,
              "Clock not set: the printer's answer was lost (" + reason + ") and its clock reads " +
                  DateTimeToXmlText(*clock) + "; it can be set again");
  return false;
}

bool kFiscalPrinter_TARVOLX40FPETH::SetTrainingMode(bool /*aTrainingMode*/) {
  throw kException("Set this status directly on the RT - printer");
}

bool kFiscalPrinter_TARVOLX40FPETH::CheckStatus() { return Send("+", "/0/"); }

bool kFiscalPrinter_TARVOLX40FPETH::SkipStatusCheck() { return true; }

bool kFiscalPrinter_TARVOLX40FPETH::IsDayOpened() { return FiscalStatus().DayIsOpen; }

// Every status answer carries the drawer in bit 0 of its fiscal status; the printer keeps
// one drawer bit, whatever the drawer number.
bool kFiscalPrinter_TARVOLX40FPETH::GetDrawerStatus(int32_t, bool& aIsOpen) {
  if (!Send("?")) return false;
  aIsOpen = FiscalStatus().DrawerIsOpen;
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::OpenDrawer(int32_t aDrawerNumber) {
  return Send("q", "/" + std::to_string(aDrawerNumber == 0 ? 1 : aDrawerNumber));
}

bool kFiscalPrinter_TARVOLX40FPETH::ClearDisplay() { return PrintLine(std::string(fLineLength, ' '), "0", "3"); }

bool kFiscalPrinter_TARVOLX40FPETH::WriteDisplay(kReceiptMessageLines& aLines) {
  bool ok = true;
  for (const auto& line : aLines) {
    const auto* text = dynamic_cast<const kReceiptMessageTextLine*>(line.get());
    if (text == nullptr) continue;
    const std::string value = text->GetValue();
    if (value.empty()) continue;
    ok = PrintLine(value, "0", "3");
    // A later line that goes through would hide this failure from the caller.
    if (!ok) break;
  }
  return ok;
}

bool kFiscalPrinter_TARVOLX40FPETH::Pay(kPaymentReceipt& /*aPayment*/) {
  throw kException("Driver does not support payment");
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadLotteryReceiptStatus(kReceiptReference& /*aReference*/) {
  throw kException("Driver does not support lottery receipt status");
}

bool kFiscalPrinter_TARVOLX40FPETH::GetRemainingFiscalMemory(int32_t& /*aRemaining*/) { return false; }

}  // namespace fp
