// VAT, department and economic activity table hooks of the RT printer.
#include <array>
#include <functional>
#include <optional>

#include "base/errors.h"
#include "base/text.h"
#include "documents/dept_table.h"
#include "documents/economic_activity_table.h"
#include "documents/vat_table.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"

namespace fp {

namespace {

// Exemption codes ("natura") of the zero-rate slots, by the printer's natura index.
constexpr std::array<const char*, 7> kNaturaCodes = {"N1", "N2", "N3", "N4", "N5", "N6", "VI"};

std::optional<int> NaturaIndex(const std::string& aCode) {
  for (size_t i = 0; i < kNaturaCodes.size(); ++i)
    if (aCode == kNaturaCodes[i]) return static_cast<int>(i);
  return std::nullopt;
}

// A slot's rate as the "e" answer gives it ("22.00"), in hundredths of a percent as four
// digits ("2200").
std::string RateDigits(const std::string& aField) { return CharRight(PadLeft(ReplaceAll(aField, ".", ""), 4, '0'), 4); }

// A whole number as the requests and replies write it: blanks around, optional sign.
std::optional<long> Integer(const std::string& aText) {
  std::string t = Trim(aText);
  bool negative = false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    negative = t[0] == '-';
    t.erase(0, 1);
  }
  auto v = tarvol::DigitsValue(t);
  if (!v) return std::nullopt;
  return negative ? -*v : *v;
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::ReadVatTable() {
  MutableVatTable().Clear();
  if (!Send("e")) return false;
  for (int slot = 1; slot <= kVatSlots; ++slot) {
    const std::string rateText = RateDigits(ReplyField(slot + 3));
    const auto rate = tarvol::DigitsValue(rateText);
    if (!rate) throw kException("Invalid VAT rate from the printer in slot " + std::to_string(slot) + ": '" +
                                ReplyField(slot + 3) + "'");
    std::string code;
    if (*rate != 0) {
      code = rateText;
    } else {
      // A zero-rate slot whose natura index is unknown has no code of its own: it is not
      // listed, and stays free for a new rate.
      const auto natura = Integer(ReplyField(slot + 15));
      if (!natura || *natura < 0 || *natura >= static_cast<long>(kNaturaCodes.size())) continue;
      code = kNaturaCodes[*natura];
    }
    // The first slot with a given code is the one the printer uses for it.
    if (VatTable().Get(code) != nullptr) continue;
    kVat vat;
    vat.fIndex = slot;
    vat.fCode = code;
    vat.fDescription = rateText;
    vat.fRate = Amount::FromRaw(*rate * 100);  // hundredths of a percent
    MutableVatTable().Add(vat);
  }
  return true;
}

namespace {

// The twelve VAT slots as the last "e" answer gives them: the rate, and at rate zero the
// natura index.
struct vnVatSlotState {
  std::array<Amount, kFiscalPrinter_TARVOLX40FPETH::kVatSlots> rates;
  std::array<std::string, kFiscalPrinter_TARVOLX40FPETH::kVatSlots> natura;
  bool operator==(const vnVatSlotState&) const = default;
};

vnVatSlotState SlotsOfReply(const kFiscalPrinter_TARVOLX40FPETH& aPrinter) {
  vnVatSlotState slots;
  for (int slot = 1; slot <= kFiscalPrinter_TARVOLX40FPETH::kVatSlots; ++slot) {
    const auto rate = tarvol::DigitsValue(RateDigits(aPrinter.ReplyField(slot + 3)));
    slots.rates[slot - 1] = Amount::FromRaw(rate.value_or(0) * 100);
    if (slots.rates[slot - 1].IsZero()) slots.natura[slot - 1] = Trim(aPrinter.ReplyField(slot + 15));
  }
  return slots;
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::CloseDayBeforeProgramming(const std::string& aWhat) {
  if (!PrintZReport(nullptr)) return false;
  // Closing the day is no small side effect: the host learns of it with the report's number,
  // which the closing count now gives.
  vnDocumentMark mark;
  bool known = false;
  try {
    known = ReadDocumentMark(mark);
  } catch (const kException&) {
  }
  AddResultNote("The fiscal day was open: Z report " + (known ? mark.fClosing + " " : std::string()) +
                "was taken to close it before programming " + aWhat +
                (known ? "." : " (its number could not be read)."));
  ResetError();
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::ProgrammingReadBack(const std::string& aWhat,
                                                        const std::function<bool(bool& aDone)>& aReadBack) {
  const std::string reason = ErrorMessage();
  LogError("Outcome: the answer to programming " + aWhat + " was lost (" + reason +
                                   "); reading it back");
  bool done = false;
  if (!ReadWithinBound([&] { return aReadBack(done); })) {
    const std::string failure = ErrorMessage();
    RecordError(ErrorCode(), std::string(kOutcomeUnknownPrefix) + "the printer's answer to programming " + aWhat +
                                 " was lost (" + reason + ") and it could not be read back (" + failure +
                                 "); it may have been programmed");
    LogError("Outcome: still unknown: programming " + aWhat);
    return false;
  }
  if (done) {
    LogInfo("Outcome: read back: " + aWhat + " was programmed");
    ResetError();
    return true;
  }
  LogInfo("Outcome: read back: " + aWhat + " was not programmed");
  RecordError(tarvol::kReplyCodeErrorNumber, "Not programmed: the printer's answer to programming " + aWhat +
                                                 " was lost (" + reason + ") and the printer does not hold it; "
                                                 "the request can be sent again");
  return false;
}

bool kFiscalPrinter_TARVOLX40FPETH::WriteVatTable(kVatTable& aVatTable) {
  bool result = ReadVatTable();
  // Without the printer's own table every slot would be programmed blind.
  if (!result) return false;

  // The twelve slots as the printer holds them (the "e" answer is still the last reply):
  // the slots the request does not name are sent back unchanged.
  vnVatSlotState slots = SlotsOfReply(*this);
  auto& rates = slots.rates;
  auto& natura = slots.natura;

  // Only a rate the request names can differ: one the printer lacks, or one whose rate is
  // not the printer's.
  bool differs = false;
  for (kVat& vat : aVatTable) {
    if (const kVat* existing = VatTable().Get(vat.fCode)) {
      vat.fIndex = existing->fIndex;
      if (existing->fRate != vat.fRate) differs = true;
    } else {
      differs = true;
    }
  }
  if (!differs) return result;

  // Every slot is settled before anything is sent, so a request that cannot be programmed
  // neither closes the fiscal day nor leaves the table half written.
  std::array<bool, kVatSlots> taken{};
  for (const kVat& vat : VatTable())
    if (vat.fIndex >= 1 && vat.fIndex <= kVatSlots) taken[vat.fIndex - 1] = true;
  for (kVat& vat : aVatTable) {
    for (int slot = 1; slot <= kVatSlots && vat.fIndex == 0; ++slot)
      if (!taken[slot - 1]) vat.fIndex = slot;
    if (vat.fIndex == 0) throw kException("No more available VAT slots");
    if (vat.fIndex < 1 || vat.fIndex > kVatSlots) continue;
    taken[vat.fIndex - 1] = true;
    rates[vat.fIndex - 1] = vat.fRate;
    natura[vat.fIndex - 1].clear();
    if (vat.fRate.IsZero()) {
      const auto index = NaturaIndex(vat.fCode);
      if (!index) throw kException("Natura Index not defined");
      natura[vat.fIndex - 1] = std::to_string(*index);
    }
  }

  // The printer programs its VAT table only with the fiscal day closed.
  vnPrinterStatus status;
  GetPrinterStatus(status);
  if (status.DayOpened) result = CloseDayBeforeProgramming("the VAT table");
  if (!result) return false;

  std::string packet = "/";
  for (const Amount& rate : rates) packet += tarvol::AmountField(rate) + "/";
  for (const std::string& n : natura) packet += n + "/";
  for (int i = 0; i < kVatSlots; ++i) packet += "/";
  if (Send("b", packet)) {
    // The table is programmed: a refresh that fails leaves the device's copy stale, not the
    // programming undone.
    try {
      if (!ReadVatTable()) LogError("The VAT table was programmed but could not be read back: " + ErrorMessage());
    } catch (const kException& e) {
      LogError(std::string("The VAT table was programmed but could not be read back: ") + e.what());
    }
    ResetError();
    return true;
  }
  if (!LastExchangeFailed()) return false;
  return ProgrammingReadBack("the VAT table", [&](bool& aDone) {
    if (!ReadVatTable()) return false;
    aDone = SlotsOfReply(*this) == slots;
    return true;
  });
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadEATable() { return true; }

bool kFiscalPrinter_TARVOLX40FPETH::WriteEATable(kEconomicActivityTable& /*aEATable*/) { return true; }

bool kFiscalPrinter_TARVOLX40FPETH::ReadDeptTable() {
  MutableDeptTable().Clear();
  bool ok = true;
  for (int number = 1; number <= kDepartments; ++number) {
    ok = Send(":", "/" + std::to_string(number));
    if (!ok) break;
    std::string data = ReplyData();
    const std::string description = tarvol::CleanFieldText(tarvol::NextField(data));
    const std::string slotText = tarvol::NextField(data);
    std::array<std::string, 14> fields;  // fields 3 to 13 of the reply data
    for (int f = 3; f <= 13; ++f) fields[f] = tarvol::NextField(data);
    const auto slot = Integer(slotText);
    if (!slot) throw kException("Invalid VAT slot from the printer for department " + std::to_string(number) +
                                ": '" + slotText + "'");

    kDepartment dept;
    dept.fIndex = number;
    dept.fCode = tarvol::TwoDigits(number);
    dept.fDescription = description;
    const kVat* vat = *slot == 0 ? nullptr : VatTable().GetByIndex(static_cast<int32_t>(*slot));
    dept.fVATCode = vat != nullptr ? vat->fCode : "N4";
    const std::string& flags = fields[7];
    dept.fSalesType = (flags.size() < 8 || flags[7] == '0') ? st_Product : st_Service;
    MutableDeptTable().Add(dept);
  }
  return ok;
}

bool kFiscalPrinter_TARVOLX40FPETH::WriteDeptTable(kDeptTable& aDeptTable) {
  if (!ReadVatTable() || !ReadEATable()) return false;

  // Every department is checked before anything is programmed, so a bad request neither
  // closes the fiscal day nor leaves the printer's table half written.
  struct Planned {
    const kDepartment* dept;
    long number;
    int32_t vatSlot;
  };
  std::vector<Planned> plan;
  for (const kDepartment& dept : aDeptTable) {
    const int32_t slot = FindVatIndex(dept.fVATCode);
    if (slot < 0) throw kException("VATCode " + dept.fVATCode + " not found for department " + dept.fCode);
    const auto number = Integer(dept.fCode);
    if (!number) throw kException("'" + dept.fCode + "' is not a valid integer value");
    plan.push_back({&dept, *number, slot});
  }

  // The printer programs departments only with the fiscal day closed. A Z report that failed
  // or whose answer was lost ends the request with its own reason: a department sent after it
  // would be refused (day open) or, answered, would hide that the day may have been closed.
  if (IsDayOpened() && !CloseDayBeforeProgramming("the departments")) return false;

  for (const Planned& p : plan) {
    const std::string packet = "/" + tarvol::TwoDigits(p.number) + "/" +
                               tarvol::CleanFieldText(CharLeft(p.dept->fDescription, 30)) + "/" +
                               tarvol::TwoDigits(p.vatSlot) + "/1/0.00/9999.00/0.00/1100000" +
                               (p.dept->fSalesType == st_Service ? "1" : "0") + "0/";
    if (Send("N", packet)) continue;
    if (!LastExchangeFailed()) return false;
    // What ":" answers for a department programmed with this packet.
    const std::string description = tarvol::CleanFieldText(CharLeft(p.dept->fDescription, 30));
    const bool done = ProgrammingReadBack("department " + tarvol::TwoDigits(p.number), [&](bool& aDone) {
      if (!Send(":", "/" + std::to_string(p.number))) return false;
      std::string data = ReplyData();
      const std::string read = tarvol::CleanFieldText(tarvol::NextField(data));
      const auto slot = Integer(tarvol::NextField(data));
      aDone = Trim(read) == Trim(description) && slot && *slot == p.vatSlot;
      return true;
    });
    if (!done) return false;
  }
  return true;
}

}  // namespace fp
