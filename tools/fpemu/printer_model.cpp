#include "fpemu/printer_model.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "base/text.h"

namespace fp::emu {

namespace {

constexpr int kVatSlots = 12;
constexpr int kDepartments = 20;
constexpr int kPaymentSlots = 20;
// Longest texts the printer takes in each kind of field.
constexpr size_t kItemDescriptionMax = 30;
constexpr size_t kDiscountDescriptionMax = 16;
constexpr size_t kPaymentDescriptionMax = 24;
constexpr size_t kPaymentCodeMax = 4;
constexpr size_t kLotteryCodeLength = 8;
constexpr size_t kJournalPieceMax = 100;
constexpr size_t kPaperKeep = 200000;

const char* const kNatura[] = {"N1", "N2", "N3", "N4", "N5", "N6", "VI"};
const char* const kNaturaNames[] = {"ESCLUSE", "NON SOGGETTE", "NON IMPONIBILI", "ESENTI",
                                    "REGIME DEL MARGINE", "INVERSIONE CONTABILE", "VENTILAZIONE"};

bool IsDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int> ParseInt(const std::string& s) {
  if (!IsDigits(s) || s.size() > 9) return std::nullopt;
  return std::stoi(s);
}

// The printer's number form: optional "-", digits, "." and exactly aDecimals digits.
std::optional<Amount> ParseFixed(const std::string& s, int aDecimals) {
  size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
  size_t dot = s.find('.', i);
  if (dot == std::string::npos || dot == i) return std::nullopt;
  std::string whole = s.substr(i, dot - i), frac = s.substr(dot + 1);
  if (!IsDigits(whole) || !IsDigits(frac) || frac.size() != static_cast<size_t>(aDecimals)) return std::nullopt;
  if (whole.size() > 9) return std::nullopt;
  return Amount::Parse(s);
}

std::string Two(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", v % 100);
  return b;
}

std::string Four(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%04d", v % 10000);
  return b;
}

std::string Hex2(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02X", v & 0xFF);
  return b;
}

// "ddmmyy" or "ddmmyyyy" into a date.
std::optional<DateTime> ParseDate(const std::string& s) {
  if (!IsDigits(s) || (s.size() != 6 && s.size() != 8)) return std::nullopt;
  int d = std::stoi(s.substr(0, 2)), m = std::stoi(s.substr(2, 2));
  int y = s.size() == 6 ? 2000 + std::stoi(s.substr(4, 2)) : std::stoi(s.substr(4, 4));
  return EncodeDate(y, m, d);
}

std::string DateLong(DateTime t) {
  DateTimeParts p = DecodeDateTime(t);
  return Two(p.day) + "-" + Two(p.month) + "-" + std::to_string(p.year) + " " + Two(p.hour) + ":" + Two(p.minute);
}

std::string VatLabel(const VatSlot& v) {
  if (!v.fRate.IsZero()) return ItalianAmount(v.fRate) + "%";
  return (v.fNatura >= 0 && v.fNatura <= 6) ? kNatura[v.fNatura] : "N?";
}

std::string Centre(const std::string& s) {
  size_t n = CharLength(s);
  if (n >= static_cast<size_t>(kPaperColumns)) return CharLeft(s, kPaperColumns);
  return std::string((kPaperColumns - n) / 2, ' ') + s;
}

int Expect(const std::vector<std::string>& f, size_t n) {
  if (f.size() < n) return rcMoreFields;
  if (f.size() > n) return rcBadField;
  return rcOk;
}

bool ContainsTotale(const std::string& s) { return LowerCase(s).find("totale") != std::string::npos; }

std::vector<PaymentSlot> FactoryPaymentTable() {
  std::vector<PaymentSlot> t(kPaymentSlots);
  t[0] = {"CONTANTI", "CONT", 0, ""};
  t[1] = {"ASSEGNI", "ASSE", 0, ""};
  t[2] = {"CARTA DI CREDITO", "CRED", 1, ""};
  t[3] = {"BANCOMAT", "BANC", 1, ""};
  for (int i = 4; i < kPaymentSlots; ++i) t[i] = {"PAGAMENTO " + std::to_string(i + 1), "P" + Two(i + 1), 0, ""};
  return t;
}

}  // namespace

std::string ItalianAmount(Amount aValue) {
  std::string plain = aValue.Format(2);  // "-1234.56"
  bool negative = !plain.empty() && plain[0] == '-';
  if (negative) plain.erase(0, 1);
  size_t dot = plain.find('.');
  std::string whole = plain.substr(0, dot), frac = plain.substr(dot + 1);
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += '.';
    grouped += whole[i];
  }
  return (negative ? "-" : "") + grouped + "," + frac;
}

std::vector<PaymentSlot> PrinterEmulator::DriverPaymentTable() {
  std::vector<PaymentSlot> t = {
      {"CONTANTI", "CONT", 0, ""},
      {"ASSEGNO", "ASSE", 0, ""},
      {"BANCOMAT", "BANC", 1, ""},
      {"CARTE", "CARD", 1, ""},
      {"NON RISCOSSO BENI", "CRED", 2, "4"},
      {"TICKET", "TICK", 2, "1"},
      {"BUONI", "BUON", 3, ""},
      {"GIFT", "GIFT", 3, ""},
      {"SCONTO A PAGARE", "SCON", 3, ""},
      {"NON RISCOSSO SERVIZI", "NON", 2, "0"},
      {"BUONO CELIACHIA", "BUON", 2, "1"},
      {"SEGUIRA FATTURA", "SEGU", 2, "2"},
      {"NON RISCOSSO DCR A SSN", "NRDS", 2, "3"},
  };
  while (t.size() < kPaymentSlots) t.push_back({"LIBERO", "LIBE", 0, ""});
  return t;
}

PrinterModel::PrinterModel(const EmulatorOptions& aOptions) : fOptions(aOptions) {
  fState.fSerialNumber = aOptions.fSerialNumber;
  fState.fFirmwareVersion = aOptions.fFirmwareVersion;
  fState.fFiscalMode = aOptions.fFiscalMode;
  fState.fVat.assign(kVatSlots, VatSlot{Amount::FromInt(22), 0});
  fState.fVat[1].fRate = Amount::FromInt(10);
  fState.fVat[2].fRate = Amount::FromInt(4);
  fState.fVat[3].fRate = Amount::FromInt(5);
  for (int i = 0; i < 4; ++i) fState.fVat[4 + i] = VatSlot{Amount(), i};  // N1 to N4
  fState.fDepartments.resize(kDepartments);
  for (int i = 0; i < kDepartments; ++i)
    fState.fDepartments[i] = Department{"REPARTO " + Two(i + 1), i < 4 ? i + 1 : 1, 0};
  fState.fPaymentSlots = FactoryPaymentTable();
}

DateTime PrinterModel::Clock() const { return Now() + fClockOffset; }

void PrinterModel::SetClock(DateTime aValue) { fClockOffset = aValue - Now(); }

PrinterSnapshot PrinterModel::Snapshot() const {
  PrinterSnapshot s = fState;
  s.fClock = Clock();
  return s;
}

std::vector<std::string> PrinterModel::TakeNewPaper() {
  std::vector<std::string> out(fPaper.begin() + static_cast<long>(std::min(fPaperTaken, fPaper.size())), fPaper.end());
  fPaperTaken = fPaper.size();
  return out;
}

// Device status byte: 0x04 paper end; 0x02 marks a journal read in progress, which also keeps
// a successful "@" answer from reading as the busy frame "00/00/02".
int PrinterModel::DeviceStatus() const { return (fState.fPaperEnd ? 0x04 : 0) | (fReading ? 0x02 : 0); }

int PrinterModel::FiscalStatus() const {
  int s = 0;
  if (fState.fDrawerOpen) s |= 0x01;
  if (fState.fDayOpen) s |= 0x02;
  if (fState.fDocument != DocumentState::None) s |= 0x04;
  if (fState.fInactivePeriod) s |= 0x08;
  if (fState.fInPayment) s |= 0x10;
  return s;
}

std::string PrinterModel::Frame(const Reply& aReply) const {
  char head[16];
  std::snprintf(head, sizeof head, "%s/%s/%02d/", Hex2(aReply.fCode).c_str(), Hex2(DeviceStatus()).c_str(),
                FiscalStatus());
  std::string out = head;
  for (const auto& f : aReply.fData) out += f + "/";
  return out;
}

std::string PrinterModel::StatusFrame(int aCode) const { return Frame(Reply{aCode, {}}); }

std::string PrinterModel::Execute(const std::string& aLetter, const std::string& aData) {
  Fields fields;
  if (!aData.empty()) {
    if (aData[0] != '/') return StatusFrame(rcBadField);
    std::string rest = aData.substr(1);
    if (!rest.empty()) {
      fields = Split(rest, '/');
      if (rest.back() == '/') fields.pop_back();
    }
  }
  for (const auto& f : fields)
    if (f.find('&') != std::string::npos) return StatusFrame(rcBadField);
  // Any other command ends a journal read in progress.
  if (fReading && aLetter != "*" && aLetter != "@") {
    fReading = false;
    fReadLines.clear();
  }
  try {
    return Frame(Dispatch(aLetter, fields));
  } catch (const std::exception&) {
    // Amounts too large for the printer's registers: nothing was changed when the checked
    // arithmetic refused them.
    return StatusFrame(rcPriceError);
  }
}

PrinterModel::Reply PrinterModel::Dispatch(const std::string& aLetter, const Fields& f) {
  if (aLetter.size() != 1) return {rcUnknownCommand, {}};
  switch (aLetter[0]) {
    case '?':
    case 'a':
    case 'v':
    case 't':
    case '|':
    case 'e': {
      if (int rc = Expect(f, 0)) return {rc, {}};
      if (aLetter == "?") return {};
      if (aLetter == "a") return {rcOk, {fState.fSerialNumber}};
      if (aLetter == "v") return {rcOk, {"RT-EMU X40" + PadRight(CharLeft(fState.fFirmwareVersion, 7), 7)}};
      if (aLetter == "|") return {rcOk, {fState.fTraining ? "1" : "0"}};
      if (aLetter == "e") return CmdReadVat(f);
      DateTimeParts p = DecodeDateTime(Clock());
      return {rcOk, {Two(p.day) + Two(p.month) + Two(p.year % 100), Two(p.hour) + Two(p.minute) + Two(p.second)}};
    }
    case '\\': return CmdSetup(f);
    case '{': return CmdReadPaymentSlot(f);
    case 'E': return CmdWritePaymentSlot(f);
    case ',':
      if (int rc = Expect(f, 1)) return {rc, {}};
      return {rcOk, {std::to_string(fState.fFiscalMode)}};
    case 'T': return CmdSetClock(f);
    case '+':
      if (!f.empty() && f[0] == "1") return CmdOpenVoid(f);
      return CmdCancel(f);
    case 'q': return CmdDrawer(f);
    case '7': return CmdPrintLine(f);
    case '>': return CmdOpenSale(f);
    case '}': return CmdHeader(f);
    case '-': return CmdOpenRefund(f);
    case 'I': return CmdLottery(f);
    case '3': return CmdSaleLine(f);
    case '4': return CmdDiscount(f);
    case 'U': return CmdSubtotal(f);
    case '5': return CmdPayment(f);
    case '[': return CmdBarcode(f);
    case 'm': return CmdClose(f);
    case 'X': return CmdDocumentState(f);
    case 'i': return CmdJournalCounter(f);
    case '@': return CmdJournalSelect(f);
    case '*': return CmdJournalNext(f);
    case 'x': return CmdReport(f);
    case 'b': return CmdWriteVat(f);
    case ':': return CmdReadDepartment(f);
    case 'N': return CmdWriteDepartment(f);
    default: return {rcUnknownCommand, {}};
  }
}

// ---- Paper ----

void PrinterModel::Print(const std::string& aLine) {
  std::string line = TrimRight(CharLeft(aLine, kPaperColumns));
  if (fPaper.size() >= kPaperKeep) {
    // A long-running printer keeps the recent roll only; the journal keeps every document.
    size_t drop = kPaperKeep / 2;
    fPaper.erase(fPaper.begin(), fPaper.begin() + static_cast<long>(drop));
    fPaperTaken = fPaperTaken > drop ? fPaperTaken - drop : 0;
  }
  fPaper.push_back(line);
  if (fState.fDocument != DocumentState::None) fDocText.push_back(line);
}

void PrinterModel::PrintRow(const std::string& aLeft, const std::string& aRight) {
  size_t right = CharLength(aRight);
  size_t room = right + 1 >= kPaperColumns ? 0 : kPaperColumns - right - 1;
  std::string left = CharLeft(aLeft, room);
  Print(PadRight(left, kPaperColumns - right) + aRight);
}

void PrinterModel::PrintHeader(const std::vector<std::string>& aTitle) {
  Print(Centre("NEGOZIO DI PROVA"));
  Print(Centre("VIA DEL CORSO 1 - ROMA"));
  Print(Centre("P.IVA 01234567890"));
  for (const auto& t : aTitle) Print(Centre(t));
  Print(std::string(kPaperColumns, '-'));
}

// ---- Settings and identity ----

PrinterModel::Reply PrinterModel::CmdSetup(const Fields& f) {
  if (f.empty()) return {rcMoreFields, {}};
  if (!IsDigits(f[0])) return {rcBadField, {}};
  return {};
}

PrinterModel::Reply PrinterModel::CmdReadPaymentSlot(const Fields& f) {
  if (int rc = Expect(f, 1)) return {rc, {}};
  auto n = ParseInt(f[0]);
  if (!n) return {rcBadField, {}};
  if (*n < 1 || *n > kPaymentSlots) return {rcNoPaymentSlot, {}};
  const PaymentSlot& s = fState.fPaymentSlots[*n - 1];
  return {rcOk, {s.fDescription, s.fCode, "0", "1", std::to_string(s.fKind), "10001101", s.fSubKind, "0"}};
}

PrinterModel::Reply PrinterModel::CmdWritePaymentSlot(const Fields& f) {
  if (int rc = Expect(f, 9)) return {rc, {}};
  auto n = ParseInt(f[0]);
  auto kind = ParseInt(f[5]);
  if (!n || !kind || *kind > 3) return {rcBadField, {}};
  if (*n < 1 || *n > kPaymentSlots) return {rcNoPaymentSlot, {}};
  if (Trim(f[1]).empty()) return {rcBlankDescription, {}};
  if (CharLength(f[1]) > kPaymentDescriptionMax || CharLength(f[2]) > kPaymentCodeMax) return {rcFieldTooLong, {}};
  fState.fPaymentSlots[*n - 1] = PaymentSlot{f[1], f[2], *kind, f[7]};
  return {};
}

PrinterModel::Reply PrinterModel::CmdSetClock(const Fields& f) {
  if (int rc = Expect(f, 2)) return {rc, {}};
  for (const auto& x : f) {
    if (x.size() > 6) return {rcFieldTooLong, {}};
    if (x.size() < 6) return {rcFieldTooShort, {}};
    if (!IsDigits(x)) return {rcBadField, {}};
  }
  if (fState.fDocument != DocumentState::None) return {rcTransactionOpen, {}};
  auto date = ParseDate(f[0]);
  auto time = EncodeTime(std::stoi(f[1].substr(0, 2)), std::stoi(f[1].substr(2, 2)), std::stoi(f[1].substr(4, 2)), 0);
  if (!date || !time) return {rcWrongTime, {}};
  SetClock(*date + *time);
  return {};
}

PrinterModel::Reply PrinterModel::CmdDrawer(const Fields& f) {
  if (int rc = Expect(f, 1)) return {rc, {}};
  auto n = ParseInt(f[0]);
  if (!n || *n < 1 || *n > 2) return {rcBadField, {}};
  ++fState.fDrawerOpenings;
  fState.fDrawerOpen = true;
  return {};
}

// ---- Documents ----

void PrinterModel::Reboot(bool aNeedsZ) {
  ResetDocument();
  fReading = false;
  fReadLines.clear();
  if (aNeedsZ) fState.fInactivePeriod = true;
}

void PrinterModel::ResetDocument() {
  fState.fDocument = DocumentState::None;
  fState.fInPayment = false;
  fState.fLines.clear();
  fState.fPayments.clear();
  fState.fDocumentTotal = Amount();
  fState.fPaid = Amount();
  fState.fLotteryCode.clear();
  fHeaderDone = false;
  fDocText.clear();
  fDocDiscounts = Amount();
  fLastSaleLine = -1;
  fVoidTarget = -1;
  fRefundTarget = -1;
}

int PrinterModel::OpenFiscal(DocumentState aKind) {
  if (fState.fDocument != DocumentState::None) return rcTransactionOpen;
  if (fState.fInactivePeriod) return rcInactivePeriod;
  if (fState.fPaperEnd) return rcPaperEnd;
  ResetDocument();
  fState.fDayOpen = true;  // the first fiscal document opens the fiscal day
  fState.fDocument = aKind;
  return rcOk;
}

PrinterModel::Reply PrinterModel::CmdCancel(const Fields& f) {
  if (int rc = Expect(f, 1)) return {rc, {}};
  if (f[0] != "0") return {rcBadField, {}};
  if (fState.fDocument != DocumentState::None) {
    Print(Centre("*** DOCUMENTO ANNULLATO ***"));
    ResetDocument();
  }
  return {};
}

PrinterModel::Reply PrinterModel::CmdOpenSale(const Fields& f) {
  if (int rc = Expect(f, 3)) return {rc, {}};
  for (const auto& x : f)
    if (!x.empty()) return {rcBadField, {}};
  if (int rc = OpenFiscal(DocumentState::Sale)) return {rc, {}};
  PrintHeader({"DOCUMENTO COMMERCIALE", "di vendita o prestazione"});
  return {};
}

PrinterModel::Reply PrinterModel::CmdHeader(const Fields& f) {
  if (int rc = Expect(f, 0)) return {rc, {}};
  if (fState.fDocument != DocumentState::Sale && fState.fDocument != DocumentState::Refund) return {rcNoReceipt, {}};
  if (fHeaderDone) return {rcInvalidSale, {}};
  fHeaderDone = true;
  PrintRow("DESCRIZIONE", "IVA      Prezzo(€)");
  return {};
}

// Looks a receipt up by its date, its day (Z number) and its number within that day.
const JournalEntry* PrinterModel::FindReceipt(DateTime aDate, int aZ, int aNumber) const {
  for (const auto& e : fJournal)
    if (e.fKind == JournalKind::Sale && DateOf(e.fDateTime) == aDate && e.fZNumber == aZ && e.fNumber == aNumber)
      return &e;
  return nullptr;
}

namespace {
bool ValidReferenceKind(const std::string& k) { return k.empty() || k == "POS" || k == "VR" || k == "ND"; }
}  // namespace

// The original receipt a refund or void names: a date (ddmmyyyy), and either its Z number
// and receipt number (with serial and lottery code when another printer issued it) or a
// reference kind alone. A receipt of this printer is looked up in the journal; aTarget is
// its index there, or -1.
int PrinterModel::ResolveReference(const std::string& aDate, const std::string& aZ, const std::string& aNumber,
                                   const std::string& aSerial, const std::string& aLottery,
                                   const std::string& aKind, int& aTarget, std::string& aOrigin) const {
  aTarget = -1;
  if (aDate.size() != 8) return aDate.size() < 8 ? rcFieldTooShort : rcFieldTooLong;
  auto date = ParseDate(aDate);
  if (!date || !ValidReferenceKind(aKind)) return rcBadField;
  if (!aKind.empty()) {
    if (!aZ.empty() || !aNumber.empty() || !aSerial.empty() || !aLottery.empty()) return rcBadField;
    aOrigin = aKind;
    return rcOk;
  }
  auto z = ParseInt(aZ), number = ParseInt(aNumber);
  if (!z || !number) return rcBadField;
  aOrigin = Four(*z) + "-" + Four(*number);
  if (!aSerial.empty()) return rcOk;  // another printer's receipt
  const JournalEntry* e = FindReceipt(*date, *z, *number);
  if (!e) return fCheckReferences ? rcReceiptNotFound : rcOk;
  if (e->fVoided) return rcAlreadyReturned;
  aTarget = static_cast<int>(e - fJournal.data());
  return rcOk;
}

void PrinterModel::PrintReference(const std::string& aDate, const std::string& aSerial, const std::string& aOrigin) {
  Print("Documento di riferimento: " + aOrigin);
  Print("del " + aDate.substr(0, 2) + "-" + aDate.substr(2, 2) + "-" + aDate.substr(4));
  if (!aSerial.empty()) Print("Matricola " + aSerial);
}

// "-": date, Z number, receipt number, serial, lottery code, reference kind.
PrinterModel::Reply PrinterModel::CmdOpenRefund(const Fields& f) {
  if (int rc = Expect(f, 6)) return {rc, {}};
  int target = -1;
  std::string origin;
  if (int rc = ResolveReference(f[0], f[1], f[2], f[3], f[4], f[5], target, origin)) return {rc, {}};
  if (int rc = OpenFiscal(DocumentState::Refund)) return {rc, {}};
  fRefundTarget = target;
  PrintHeader({"DOCUMENTO COMMERCIALE", "emesso per RESO MERCE"});
  PrintReference(f[0], f[3], origin);
  return {};
}

// "+" with the field 1: date, Z number, receipt number, lottery code, serial, reference kind.
// The void takes the whole total of the receipt it names.
PrinterModel::Reply PrinterModel::CmdOpenVoid(const Fields& f) {
  if (int rc = Expect(f, 7)) return {rc, {}};
  int target = -1;
  std::string origin;
  if (int rc = ResolveReference(f[1], f[2], f[3], f[5], f[4], f[6], target, origin)) return {rc, {}};
  if (int rc = OpenFiscal(DocumentState::Void)) return {rc, {}};
  fVoidTarget = target;
  fHeaderDone = true;
  PrintHeader({"DOCUMENTO COMMERCIALE", "emesso per ANNULLAMENTO"});
  PrintReference(f[1], f[5], origin);
  if (target >= 0) {
    fState.fDocumentTotal = fJournal[target].fTotal;
    fState.fPaid = fState.fDocumentTotal;
  }
  return {};
}

PrinterModel::Reply PrinterModel::CmdLottery(const Fields& f) {
  if (int rc = Expect(f, 2)) return {rc, {}};
  if (fState.fDocument != DocumentState::Sale) return {rcNoReceipt, {}};
  if (fState.fInPayment) return {rcInPayment, {}};
  const std::string& code = f[0];
  if (code.size() > kLotteryCodeLength) return {rcFieldTooLong, {}};
  if (code.size() < kLotteryCodeLength) return {rcFieldTooShort, {}};
  if (!std::all_of(code.begin(), code.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }) ||
      f[1] != "0")
    return {rcBadField, {}};
  fState.fLotteryCode = code;
  return {};
}

// "3": type, description, -, quantity, price, department, -, -, 0, -.
PrinterModel::Reply PrinterModel::CmdSaleLine(const Fields& f) {
  if (int rc = Expect(f, 10)) return {rc, {}};
  const std::string& type = f[0];
  if (type != "S" && type != "G" && type != "N" && type != "B" && type != "M") return {rcBadField, {}};
  DocumentState doc = fState.fDocument;
  if (doc == DocumentState::None || doc == DocumentState::NonFiscal) return {rcNoReceipt, {}};
  if (doc == DocumentState::Void || !fHeaderDone) return {rcInvalidSale, {}};
  if (fState.fInPayment) return {rcInPayment, {}};
  // A sale takes items (S); a refund takes returned items (N); both take deductions.
  if ((doc == DocumentState::Sale && type == "N") || (doc == DocumentState::Refund && type == "S"))
    return {rcInvalidSale, {}};
  if (CharLength(f[1]) > kItemDescriptionMax) return {rcFieldTooLong, {}};
  auto qty = ParseFixed(f[3], 3);
  auto price = ParseFixed(f[4], 2);
  if (!qty || !price || !IsDigits(f[5])) return {rcBadField, {}};
  if (*qty <= Amount()) return {rcBadField, {}};
  if (*price < Amount()) return {rcPriceError, {}};
  auto dept = ParseInt(f[5]);
  if (!dept || *dept < 1 || *dept > kDepartments) return {rcNoDepartment, {}};
  Amount amount = qty->Mul(*price, Rounding::HalfAwayFromZero).Round(2, Rounding::HalfAwayFromZero);
  bool adds = type == "S" || type == "N";
  Amount effect = adds ? amount : -amount;
  if (fState.fDocumentTotal + effect < Amount()) return {rcNegativeTotal, {}};
  // A refund of one of this printer's receipts cannot give back more than it took.
  if (fRefundTarget >= 0 && fState.fDocumentTotal + effect > fJournal[fRefundTarget].fTotal)
    return {rcRefundExceeds, {}};

  fState.fDocumentTotal += effect;
  if (type == "G") fDocDiscounts += amount;
  fState.fLines.push_back(DocumentLine{type, f[1], *qty, *price, effect, *dept});
  if (adds) fLastSaleLine = static_cast<int>(fState.fLines.size()) - 1;
  const Department& d = fState.fDepartments[*dept - 1];
  if (*qty != Amount::FromInt(1)) Print("  " + qty->Format(3, ",") + " x " + ItalianAmount(*price));
  std::string label = type == "G" ? "OMAGGIO " + f[1] : type == "M" ? "BUONO MONOUSO " + f[1] : f[1];
  PrintRow(label, VatLabel(fState.fVat[d.fVatSlot - 1]) + "  " + ItalianAmount(effect));
  return {};
}

// "4": value, description, -, kind (0 discount, 1 markup), scope (0 last item, 1 subtotal),
// value type (1 amount, 0 percentage).
PrinterModel::Reply PrinterModel::CmdDiscount(const Fields& f) {
  if (int rc = Expect(f, 6)) return {rc, {}};
  if (fState.fDocument == DocumentState::None || fState.fDocument == DocumentState::NonFiscal)
    return {rcNoReceipt, {}};
  if (fState.fDocument != DocumentState::Sale || !fHeaderDone) return {rcInvalidSale, {}};
  if (fState.fInPayment) return {rcInPayment, {}};
  auto value = ParseFixed(f[0], 2);
  if (!value || !f[2].empty() || (f[3] != "0" && f[3] != "1") || (f[4] != "0" && f[4] != "1") ||
      (f[5] != "0" && f[5] != "1"))
    return {rcBadField, {}};
  if (CharLength(f[1]) > kDiscountDescriptionMax) return {rcFieldTooLong, {}};
  bool markup = f[3] == "1", onSubtotal = f[4] == "1", isAmount = f[5] == "1";
  if (*value < Amount()) return {rcBadField, {}};
  if (value->IsZero()) return {rcZeroDiscount, {}};
  Amount base;
  if (onSubtotal) {
    base = fState.fDocumentTotal;
  } else {
    if (fLastSaleLine < 0) return {rcInvalidSale, {}};
    base = fState.fLines[fLastSaleLine].fAmount;
  }
  if (!isAmount && *value > Amount::FromInt(100)) return {rcDiscountLimit, {}};
  Amount amount = isAmount ? *value
                           : base.MulDiv(*value, Amount::FromInt(100), Rounding::HalfAwayFromZero)
                                 .Round(2, Rounding::HalfAwayFromZero);
  if (!markup && amount > base) return {rcDiscountLimit, {}};
  if (amount.IsZero()) return {rcZeroDiscount, {}};
  Amount effect = markup ? amount : -amount;
  if (fState.fDocumentTotal + effect < Amount()) return {rcNegativeTotal, {}};
  fState.fDocumentTotal += effect;
  if (!markup) fDocDiscounts += amount;
  int department = onSubtotal ? 0 : fState.fLines[fLastSaleLine].fDepartment;
  fState.fLines.push_back(DocumentLine{markup ? "U" : "D", f[1], Amount::FromInt(1), amount, effect, department});
  std::string label = std::string(markup ? "MAGGIORAZIONE" : "SCONTO") + (onSubtotal ? " SU SUBTOT." : "");
  if (!isAmount) label += " " + ItalianAmount(*value) + "%";
  if (!f[1].empty()) label += " " + f[1];
  PrintRow(label, ItalianAmount(effect));
  return {};
}

PrinterModel::Reply PrinterModel::CmdSubtotal(const Fields& f) {
  if (int rc = Expect(f, 0)) return {rc, {}};
  if (fState.fDocument == DocumentState::None || fState.fDocument == DocumentState::NonFiscal)
    return {rcNoReceipt, {}};
  if (fState.fDocument == DocumentState::Void) return {rcInvalidSale, {}};
  PrintRow("SUBTOTALE", ItalianAmount(fState.fDocumentTotal));
  return {rcOk, {fState.fDocumentTotal.Format(2)}};
}

// The tax included in the total, per VAT slot. Amounts on the subtotal are shared among the
// slots in proportion to their amounts.
void PrinterModel::PrintVatBreakdown() {
  std::vector<Amount> gross(kVatSlots);
  Amount itemised;
  for (const auto& l : fState.fLines) {
    if (l.fDepartment < 1 || l.fDepartment > kDepartments) continue;
    gross[fState.fDepartments[l.fDepartment - 1].fVatSlot - 1] += l.fAmount;
    itemised += l.fAmount;
  }
  if (itemised <= Amount()) return;
  for (int i = 0; i < kVatSlots; ++i) {
    if (gross[i].IsZero()) continue;
    Amount share = gross[i].MulDiv(fState.fDocumentTotal, itemised, Rounding::HalfAwayFromZero);
    const VatSlot& v = fState.fVat[i];
    if (v.fRate.IsZero()) {
      PrintRow("di cui " + VatLabel(v), ItalianAmount(share.Round(2, Rounding::HalfAwayFromZero)));
      continue;
    }
    Amount tax = share.MulDiv(v.fRate, v.fRate + Amount::FromInt(100), Rounding::HalfAwayFromZero)
                     .Round(2, Rounding::HalfAwayFromZero);
    PrintRow("di cui IVA " + VatLabel(v), ItalianAmount(tax));
  }
}

// "5": slot, amount, six empty fields, pieces.
PrinterModel::Reply PrinterModel::CmdPayment(const Fields& f) {
  if (int rc = Expect(f, 9)) return {rc, {}};
  DocumentState doc = fState.fDocument;
  if (doc == DocumentState::None || doc == DocumentState::NonFiscal) return {rcNoReceipt, {}};
  if (doc == DocumentState::Void || !fHeaderDone) return {rcInvalidSale, {}};
  auto slot = ParseInt(f[0]);
  auto amount = ParseFixed(f[1], 2);
  if (!slot || !amount || *amount < Amount()) return {rcBadField, {}};
  for (size_t i = 2; i < 8; ++i)
    if (!f[i].empty()) return {rcBadField, {}};
  if (!f[8].empty() && !Amount::Parse(f[8])) return {rcBadField, {}};
  if (*slot < 1 || *slot > kPaymentSlots) return {rcNoPaymentSlot, {}};
  if (fState.fDocumentTotal < Amount()) return {rcNegativeTotal, {}};
  const PaymentSlot& ps = fState.fPaymentSlots[*slot - 1];
  Amount due = fState.fDocumentTotal - fState.fPaid;
  if (due < Amount()) due = Amount();
  // An amount of zero tenders exactly what is still due.
  Amount paid = amount->IsZero() ? due : *amount;
  if (paid > due && ps.fKind != 0) return {rcNoChange, {}};
  if (!fState.fInPayment) {
    fState.fInPayment = true;
    Print(std::string(kPaperColumns, '-'));
    PrintRow("TOTALE COMPLESSIVO", ItalianAmount(fState.fDocumentTotal));
    PrintVatBreakdown();
  }
  fState.fPaid += paid;
  fState.fPayments.push_back(PaymentEntry{*slot, paid, f[8]});
  PrintRow(ps.fDescription, ItalianAmount(paid));
  Amount rest = fState.fDocumentTotal - fState.fPaid;
  return {rcOk, {(rest < Amount() ? Amount() : rest).Format(2)}};
}

// "7": target (0 customer display, 1 paper), style, text. Style 20 on the paper starts a
// non-fiscal document.
PrinterModel::Reply PrinterModel::CmdPrintLine(const Fields& f) {
  if (int rc = Expect(f, 3)) return {rc, {}};
  const std::string &target = f[0], &text = f[2];
  auto style = ParseInt(f[1]);
  if ((target != "0" && target != "1") || !style) return {rcBadField, {}};
  if (CharLength(text) > kPaperColumns) return {rcFieldTooLong, {}};
  if (ContainsTotale(text)) return {rcWordTotale, {}};
  if (target == "0") {
    fState.fDisplay.push_back(Trim(text));
    if (fState.fDisplay.size() > 2) fState.fDisplay.erase(fState.fDisplay.begin());
    return {};
  }
  if (*style != 20 && (*style < 1 || *style > 6)) return {rcPrintingType, {}};
  if (fState.fPaperEnd) return {rcPaperEnd, {}};
  if (*style == 20) {
    if (fState.fDocument != DocumentState::None) return {rcTransactionOpen, {}};
    ResetDocument();
    fState.fDocument = DocumentState::NonFiscal;
    fHeaderDone = true;
    PrintHeader({"DOCUMENTO GESTIONALE"});
    if (!Trim(text).empty()) Print(text);
    return {};
  }
  if (fState.fDocument == DocumentState::None) return {rcNoReceipt, {}};
  if (fState.fDocument != DocumentState::NonFiscal && !fHeaderDone) return {rcInvalidSale, {}};
  Print(*style == 6 ? std::string() : text);
  return {};
}

// "[": 100, 2, 2, type, length, data.
PrinterModel::Reply PrinterModel::CmdBarcode(const Fields& f) {
  if (int rc = Expect(f, 6)) return {rc, {}};
  if (f[0] != "100" || f[1] != "2" || f[2] != "2") return {rcBadField, {}};
  auto type = ParseInt(f[3]);
  auto length = ParseInt(f[4]);
  if (!type || !length || (*type != 67 && *type != 68 && *type != 69 && *type != 73)) return {rcBadField, {}};
  const std::string& data = f[5];
  if (data.empty() || data.size() != static_cast<size_t>(*length)) return {rcBadField, {}};
  if ((*type == 67 && data.size() != 12) || (*type == 68 && data.size() != 7 && data.size() != 8)) return {rcBadField, {}};
  if ((*type == 67 || *type == 68) && !IsDigits(data)) return {rcBadField, {}};
  if (fState.fDocument == DocumentState::None) return {rcNoReceipt, {}};
  if (fState.fPaperEnd) return {rcPaperEnd, {}};
  static const char* const names[] = {"EAN13", "EAN8", "CODE39"};
  std::string name = *type == 73 ? "CODE128" : names[*type - 67];
  Print(Centre("|| " + name + " " + data + " ||"));
  return {};
}

void PrinterModel::CloseDocument() {
  DocumentState doc = fState.fDocument;
  DateTime now = Clock();
  JournalEntry e;
  e.fDateTime = now;
  e.fZNumber = CurrentDay();
  e.fTotal = fState.fDocumentTotal;
  if (doc == DocumentState::NonFiscal) {
    e.fKind = JournalKind::NonFiscal;
    e.fNumber = ++fState.fLastNonFiscalNumber;
    ++fState.fDay.fNonFiscalDocuments;
    Print(std::string(kPaperColumns, '-'));
    PrintRow(DateLong(now), "DOC.N. " + Four(CurrentDay()) + "-" + Four(e.fNumber));
  } else {
    e.fNumber = ++fState.fLastDocumentNumber;
    ++fState.fDay.fCommercialDocuments;
    if (doc == DocumentState::Sale) {
      e.fKind = JournalKind::Sale;
      fState.fDay.fSales += e.fTotal;
      fState.fDay.fDiscounts += fDocDiscounts;
      for (const auto& p : fState.fPayments) fDayPayments[p.fSlot - 1] += p.fAmount;
    } else if (doc == DocumentState::Refund) {
      e.fKind = JournalKind::Refund;
      fState.fDay.fRefunds += e.fTotal;
      if (fRefundTarget >= 0) fJournal[fRefundTarget].fVoided = true;
    } else {
      e.fKind = JournalKind::Void;
      fState.fDay.fVoids += e.fTotal;
      if (fVoidTarget >= 0) fJournal[fVoidTarget].fVoided = true;
      Print(std::string(kPaperColumns, '-'));
      PrintRow("TOTALE ANNULLATO", ItalianAmount(e.fTotal));
    }
    Amount change = fState.fPaid - fState.fDocumentTotal;
    if (doc != DocumentState::Void && change > Amount()) PrintRow("RESTO", ItalianAmount(change));
    if (!fState.fLotteryCode.empty()) Print("CODICE LOTTERIA: " + fState.fLotteryCode);
    Print(std::string(kPaperColumns, '-'));
    PrintRow(DateLong(now), "DOC.N. " + Four(CurrentDay()) + "-" + Four(e.fNumber));
    Print("RT " + fState.fSerialNumber);
  }
  e.fLines = fDocText;
  if (doc != DocumentState::NonFiscal) e.fItems = fState.fLines;
  fJournal.push_back(std::move(e));
  ResetDocument();
  Print("");
}

PrinterModel::Reply PrinterModel::CmdClose(const Fields& f) {
  if (int rc = Expect(f, 0)) return {rc, {}};
  DocumentState doc = fState.fDocument;
  if (doc == DocumentState::None) return {rcNoReceipt, {}};
  if (doc == DocumentState::Sale || doc == DocumentState::Refund) {
    if (!fHeaderDone) return {rcInvalidSale, {}};
    if (fState.fDocumentTotal < Amount()) return {rcNegativeTotal, {}};
    if (fState.fPayments.empty()) {
      // Closing without any payment tenders the whole total in cash.
      CmdPayment({"1", "0.00", "", "", "", "", "", "", "0"});
    } else if (fState.fPaid < fState.fDocumentTotal) {
      return {rcMustPay, {}};
    }
  }
  CloseDocument();
  return {};
}

// "X": fiscal state code (0 idle, 1 document open, 2 in payment, 4 non-fiscal document open),
// last fiscal document number of the day, Z reports taken so far.
PrinterModel::Reply PrinterModel::CmdDocumentState(const Fields& f) {
  if (int rc = Expect(f, 0)) return {rc, {}};
  std::string code = "0";
  if (fStateSaysIdle) code = "0";
  else if (fState.fDocument == DocumentState::NonFiscal) code = "4";
  else if (fState.fDocument != DocumentState::None) code = fState.fInPayment ? "2" : "1";
  return {rcOk, {code, std::to_string(fState.fLastDocumentNumber),
                 std::to_string(fStateHidesClosings ? 0 : fState.fZCounter)}};
}

// "i": journal number, documents of the day, Z reports taken so far (the current day's
// documents belong to the next one).
PrinterModel::Reply PrinterModel::CmdJournalCounter(const Fields& f) {
  if (int rc = Expect(f, 1)) return {rc, {}};
  if (!f[0].empty()) return {rcBadField, {}};
  return {rcOk, {"1", std::to_string(fState.fLastDocumentNumber), std::to_string(fState.fZCounter)}};
}

// ---- Journal ----

// "@": selector, kind, closing, first number, last number, first date, last date, print flag.
// Selector 1: the open day's fiscal documents by number; 3: documents by date (kind 0 or 1
// fiscal, 4 non-fiscal) and optionally number; 7: Z reports by date. A closing number keeps
// the documents of that closing only (with selector 1, instead of the open day's). Print
// flag 1 also prints a copy.
PrinterModel::Reply PrinterModel::CmdJournalSelect(const Fields& f) {
  if (int rc = Expect(f, 8)) return {rc, {}};
  const std::string &sel = f[0], &kind = f[1];
  if (fState.fDocument != DocumentState::None) return {rcTransactionOpen, {}};
  if ((sel != "1" && sel != "3" && sel != "7") || (f[7] != "0" && f[7] != "1")) return {rcBadField, {}};
  // A flag and a number rather than an optional: g++ cannot tell the optional is set where
  // it is read.
  bool byClosing = false;
  int closing = 0;
  if (!f[2].empty()) {
    const std::optional<int> asked = ParseInt(f[2]);
    if (!asked || sel == "7") return {rcBadField, {}};
    if (!fIgnoreJournalClosing) {
      byClosing = true;
      closing = *asked;
    }
  }
  std::optional<int> from, to;
  if (!f[3].empty() || !f[4].empty()) {
    from = ParseInt(f[3]);
    to = ParseInt(f[4]);
    if (!from || !to) return {rcBadField, {}};
  }
  std::optional<DateTime> d1, d2;
  if (sel == "1") {
    if (kind != "1" || !from || !f[5].empty() || !f[6].empty()) return {rcBadField, {}};
  } else {
    d1 = ParseDate(f[5]);
    d2 = ParseDate(f[6]);
    if (!d1 || !d2 || f[5].size() != 6 || f[6].size() != 6) return {rcBadField, {}};
    if (sel == "3" && kind != "0" && kind != "1" && kind != "4") return {rcBadField, {}};
    if (sel == "7" && kind != "1") return {rcBadField, {}};
  }
  std::vector<const JournalEntry*> hits;
  for (const auto& e : fJournal) {
    bool fiscal = e.fKind == JournalKind::Sale || e.fKind == JournalKind::Refund || e.fKind == JournalKind::Void;
    bool match;
    if (sel == "1") {
      match = fiscal && e.fZNumber == (byClosing ? closing : CurrentDay());
    } else {
      DateTime day = DateOf(e.fDateTime);
      match = day >= *d1 && day <= *d2;
      if (sel == "7") match = match && e.fKind == JournalKind::ZReport;
      else if (kind == "4") match = match && e.fKind == JournalKind::NonFiscal;
      else match = match && fiscal;
      if (byClosing) match = match && e.fZNumber == closing;
    }
    if (match && from && sel != "7") match = e.fNumber >= *from && e.fNumber <= *to;
    if (match) hits.push_back(&e);
  }
  if (hits.empty()) return {rcNoSdData, {}};
  if (f[7] == "0") {  // the text goes to the host, piece by piece with "*"
    fReadLines.clear();
    for (const auto* e : hits) fReadLines.insert(fReadLines.end(), e->fLines.begin(), e->fLines.end());
    fReadPos = 0;
    fReading = true;
  } else {
    if (fState.fPaperEnd) return {rcPaperEnd, {}};
    for (const auto* e : hits) {
      Print(Centre("*** COPIA ***"));
      for (const auto& l : e->fLines) Print(l);
      Print("");
    }
  }
  return {};
}

// "*": 0, lines per piece. Each piece is its lines, each closed by "||"; the piece holding
// the last line answers 0x52.
PrinterModel::Reply PrinterModel::CmdJournalNext(const Fields& f) {
  if (int rc = Expect(f, 2)) return {rc, {}};
  auto count = ParseInt(f[1]);
  if (f[0] != "0" || !count || *count < 1 || static_cast<size_t>(*count) > kJournalPieceMax) return {rcBadField, {}};
  if (!fReading) return {rcNoMoreSdData, {}};
  std::string piece;
  size_t end = std::min(fReadLines.size(), fReadPos + static_cast<size_t>(*count));
  for (; fReadPos < end; ++fReadPos) piece += fReadLines[fReadPos] + "||";
  bool last = fReadPos >= fReadLines.size();
  Reply r{last ? rcNoMoreSdData : rcOk, {piece}};
  if (last) {
    fReading = false;
    fReadLines.clear();
  }
  return r;
}

// ---- Reports ----

void PrinterModel::PrintXReport(bool aPayments) {
  DateTime now = Clock();
  if (!aPayments) {
    PrintHeader({"LETTURA GIORNALIERA"});
    Print(DateLong(now));
    PrintRow("VENDITE", ItalianAmount(fState.fDay.fSales));
    PrintRow("RIDUZIONI", ItalianAmount(fState.fDay.fDiscounts));
    PrintRow("RESI", ItalianAmount(fState.fDay.fRefunds));
    PrintRow("ANNULLI", ItalianAmount(fState.fDay.fVoids));
    PrintRow("DOCUMENTI", std::to_string(fState.fDay.fCommercialDocuments));
  } else {
    Print(Centre("RIEPILOGO PAGAMENTI"));
    for (int i = 0; i < kPaymentSlots; ++i)
      if (!fDayPayments[i].IsZero()) PrintRow(fState.fPaymentSlots[i].fDescription, ItalianAmount(fDayPayments[i]));
  }
  Print("");
}

// The Z report closes the fiscal day. Its journal text carries the totals of the day as
// "label ... amount" lines, amounts in the Italian form.
void PrinterModel::TakeZReport() {
  DateTime now = Clock();
  DateTimeParts p = DecodeDateTime(now);
  const DailyTotals& d = fState.fDay;
  int z = CurrentDay();
  fState.fGrandTotal += d.fSales;
  std::vector<std::string> lines;
  auto row = [&lines](const std::string& label, const std::string& value) {
    lines.push_back(PadRight(label, kPaperColumns - value.size()) + value);
  };
  lines.push_back(Centre("NEGOZIO DI PROVA"));
  lines.push_back(Centre("AZZERAMENTO GIORNALIERO"));
  lines.push_back(Two(p.day) + "-" + Two(p.month) + "-" + Two(p.year % 100) + "  " + Two(p.hour) + ":" + Two(p.minute));
  lines.push_back(std::string(kPaperColumns, '-'));
  row("TOTALE VENDITE", ItalianAmount(d.fSales));
  row("SCONTI", ItalianAmount(d.fDiscounts));
  row("TOTALE RESI", ItalianAmount(d.fRefunds));
  row("TOTALE ANNULLI", ItalianAmount(d.fVoids));
  lines.push_back(std::string(kPaperColumns, '-'));
  row("GRAN TOTALE", ItalianAmount(fState.fGrandTotal));
  row("N.DOCUMENTI COMMERC.", std::to_string(d.fCommercialDocuments));
  row("N.AZZERAMENTI", std::to_string(z));
  row("N.DOCUMENTI CLASSE II", std::to_string(d.fNonFiscalDocuments));
  lines.push_back(std::string(kPaperColumns, '-'));
  lines.push_back(Centre("DATI IN TRASMISSIONE"));
  lines.push_back("RT " + fState.fSerialNumber);
  for (const auto& l : lines) Print(l);
  Print("");

  JournalEntry e;
  e.fKind = JournalKind::ZReport;
  e.fDateTime = now;
  e.fNumber = z;
  e.fZNumber = z;
  e.fTotal = d.fSales;
  e.fLines = lines;
  fJournal.push_back(std::move(e));

  fState.fZCounter = z;
  fState.fDay = DailyTotals{};
  fState.fLastDocumentNumber = 0;
  fState.fLastNonFiscalNumber = 0;
  fState.fDayOpen = false;
  fState.fInactivePeriod = false;
  fDayPayments.assign(kPaymentSlots, Amount());
}

PrinterModel::Reply PrinterModel::CmdReport(const Fields& f) {
  if (int rc = Expect(f, 4)) return {rc, {}};
  if (!f[1].empty() || !f[2].empty() || !f[3].empty()) return {rcBadField, {}};
  if (f[0] != "1" && f[0] != "2" && f[0] != "7") return {rcBadField, {}};
  if (fState.fDocument != DocumentState::None) return {rcTransactionOpen, {}};
  if (fState.fPaperEnd) return {rcPaperEnd, {}};
  if (f[0] == "7") TakeZReport();
  else PrintXReport(f[0] == "2");
  return {};
}

// ---- Tables ----

// "e": 12 rates ("0.00"), 12 natura indexes, 12 reserved fields.
PrinterModel::Reply PrinterModel::CmdReadVat(const Fields&) {
  Reply r;
  for (const auto& v : fState.fVat) r.fData.push_back(v.fRate.Format(2));
  for (const auto& v : fState.fVat) r.fData.push_back(std::to_string(v.fNatura));
  for (int i = 0; i < kVatSlots; ++i) r.fData.push_back("");
  return r;
}

PrinterModel::Reply PrinterModel::CmdWriteVat(const Fields& f) {
  if (int rc = Expect(f, 36)) return {rc, {}};
  if (fState.fDayOpen) return {rcDayOpen, {}};
  std::vector<VatSlot> table(kVatSlots);
  for (int i = 0; i < kVatSlots; ++i) {
    auto rate = ParseFixed(f[i], 2);
    if (!rate || *rate < Amount() || *rate >= Amount::FromInt(100)) return {rcWrongVatRate, {}};
    table[i].fRate = *rate;
    const std::string& natura = f[kVatSlots + i];
    if (rate->IsZero()) {
      auto n = ParseInt(natura);
      if (!n || *n > 6) return {rcBadField, {}};
      table[i].fNatura = *n;
    } else if (!natura.empty()) {
      return {rcBadField, {}};
    }
  }
  fState.fVat = table;
  Print(Centre("PROGRAMMAZIONE ALIQUOTE IVA"));
  for (int i = 0; i < kVatSlots; ++i) {
    const VatSlot& v = fState.fVat[i];
    PrintRow("ALIQUOTA " + Two(i + 1), v.fRate.IsZero() ? VatLabel(v) + " " + kNaturaNames[v.fNatura] : VatLabel(v));
  }
  Print("");
  return {};
}

// ":": department number. Answer: description, VAT slot, then the fields "N" programs.
PrinterModel::Reply PrinterModel::CmdReadDepartment(const Fields& f) {
  if (int rc = Expect(f, 1)) return {rc, {}};
  auto n = ParseInt(f[0]);
  if (!n) return {rcBadField, {}};
  if (*n < 1 || *n > kDepartments) return {rcNoDepartment, {}};
  const Department& d = fState.fDepartments[*n - 1];
  return {rcOk,
          {d.fDescription, Two(d.fVatSlot), "1", "0.00", "9999.00", "0.00",
           "1100000" + std::to_string(d.fSalesType) + "0", "0", "0", "0", "0", "0", "0"}};
}

// "N": number, description, VAT slot, 1, "0.00", "9999.00", "0.00", flags (character 8 is the
// sales type).
PrinterModel::Reply PrinterModel::CmdWriteDepartment(const Fields& f) {
  if (int rc = Expect(f, 8)) return {rc, {}};
  auto n = ParseInt(f[0]);
  auto vat = ParseInt(f[2]);
  const std::string& flags = f[7];
  if (!n || !vat || f[0].size() != 2 || f[2].size() != 2) return {rcBadField, {}};
  if (!ParseFixed(f[4], 2) || !ParseFixed(f[5], 2) || !ParseFixed(f[6], 2) || !IsDigits(f[3])) return {rcBadField, {}};
  if (flags.size() != 9 || !IsDigits(flags) || (flags[7] != '0' && flags[7] != '1')) return {rcBadField, {}};
  if (*n < 1 || *n > kDepartments) return {rcNoDepartment, {}};
  if (*vat < 1 || *vat > kVatSlots) return {rcWrongVat, {}};
  if (CharLength(f[1]) > kItemDescriptionMax) return {rcFieldTooLong, {}};
  if (Trim(f[1]).empty()) return {rcBlankDescription, {}};
  if (fState.fDayOpen) return {rcDayOpen, {}};
  fState.fDepartments[*n - 1] = Department{f[1], *vat, flags[7] - '0'};
  return {};
}

}  // namespace fp::emu
