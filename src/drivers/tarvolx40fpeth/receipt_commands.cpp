// Receipt and non-fiscal document hooks of the RT printer: opening a sale, refund or void,
// one packet per sale line, discount and payment, the trailer lines printed just before the
// closing, reading back the last document's numbers, reprints and the receipt's text.
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "documents/krpt_util.h"
#include "documents/nf_receipt.h"
#include "documents/receipt.h"
#include "documents/receipt_reference.h"
#include "documents/request_element.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "drivers/tarvolx40fpeth/journal_read.h"
#include "io/io_handler.h"

namespace fp {

namespace {

using tarvol::AmountField;
using tarvol::CleanFieldText;
using tarvol::QuantityField;

// The printer takes at most this many characters in an item and a discount description.
constexpr size_t kItemDescriptionMax = 30;
constexpr size_t kDiscountDescriptionMax = 16;
// "A transaction is open, close the transaction first".
constexpr int kReplyTransactionOpen = 0x14;

constexpr const char* kProductReturnRefused =
    "This printer takes returns as a Refund receipt: a productreturn line cannot be printed in a receipt; send "
    "the returned items as the productsale lines of a Refund receipt";

// Print styles of the "7" command.
constexpr const char* kStylePlain = "1";
constexpr const char* kStyleDoubleHeight = "2";
constexpr const char* kStyleDoubleWidth = "3";
constexpr const char* kStyleBold = "5";
constexpr const char* kStyleClosingLine = "6";
constexpr const char* kToPaper = "1";

// A packet's data part: "/" and every field followed by "/".
std::string Fields(std::initializer_list<std::string> aFields) {
  std::string out = "/";
  for (const auto& f : aFields) out += f + "/";
  return out;
}

// A decimal integer as the printer wants it (no leading zeros); anything else is refused
// here, before the line goes out.
long ToInteger(const std::string& aText) {
  const std::string t = Trim(aText);
  size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  bool ok = i < t.size() && t.size() <= 10;
  for (size_t k = i; ok && k < t.size(); ++k) ok = t[k] >= '0' && t[k] <= '9';
  if (!ok) throw kException("'" + aText + "' is not a valid integer value");
  return std::strtol(t.c_str(), nullptr, 10);
}

std::string Department(const std::string& aDepartment) { return std::to_string(ToInteger(aDepartment)); }

std::string ItemDescription(const std::string& aDescription) {
  return CleanFieldText(Trim(CharLeft(aDescription, kItemDescriptionMax)));
}

Amount Abs(Amount aValue) { return aValue < Amount() ? -aValue : aValue; }

// "ddmmyyyy" or "ddmmyy".
std::string DateField(DateTime aValue, bool aFourDigitYear) {
  const DateTimeParts p = DecodeDateTime(aValue);
  return tarvol::TwoDigits(p.day) + tarvol::TwoDigits(p.month) +
         (aFourDigitYear ? PadLeft(std::to_string(p.year), 4, '0') : tarvol::TwoDigits(p.year));
}

std::string StyleOf(vnReceiptMessageLineEffectSet aEffects) {
  if (HasEffect(aEffects, le_bold)) return kStyleBold;
  if (HasEffect(aEffects, le_doubleheight)) return kStyleDoubleHeight;
  if (HasEffect(aEffects, le_doublewidth)) return kStyleDoubleWidth;
  if (HasEffect(aEffects, le_doublesize)) return kStyleDoubleHeight;
  return kStylePlain;
}

std::string ReferenceKind(vnReceiptReferenceType aType) {
  switch (aType) {
    case rrt_OriginalReceipt: return "";
    case rrt_EFTReceipt: return "POS";
    case rrt_Empties: return "VR";
    default: return "ND";
  }
}

// The printer's fiscal state from the first field of the "X" answer.
int FiscalStateCode(const std::string& aField) {
  if (aField == "0") return 1;
  if (aField == "1") return 2;
  if (aField == "2") return 3;
  if (aField == "4") return 4;
  if (aField == "6") return 5;
  if (aField == "7") return 6;
  return 0;
}

void RequireManagedType(const kReceipt& aReceipt) {
  if (aReceipt.fReceiptType > rt_Void) throw kException("Receipt type not managed");
}

std::string ReferenceFields(const kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceipt& aReceipt, bool aVoid) {
  const vnOriginalReceipt& original = aReceipt.fOriginalReceipt;
  const std::string date = DateField(original.fReceiptDateTime, true);
  const std::string kind = ReferenceKind(original.fReferenceType);
  if (!kind.empty()) {
    return aVoid ? Fields({"1", date, "", "", "", "", kind}) : Fields({date, "", "", "", "", kind});
  }
  // Without a status read in this session the serial of the snapshot just taken stands in,
  // so a receipt of this very printer is not sent as one of another device.
  const std::string& ownSerial =
      aPrinter.SerialNumber().empty() ? aPrinter.fStatus.SerialNumber : aPrinter.SerialNumber();
  std::string serial, lottery;
  if (original.fDeviceSerialNumber != ownSerial) {
    serial = CleanFieldText(original.fDeviceSerialNumber);
    lottery = CleanFieldText(aReceipt.fLotteryIdCode);
  }
  const std::string closing = CleanFieldText(original.fEJClosingNumber);
  const std::string number = CleanFieldText(original.fReceiptNumber);
  return aVoid ? Fields({"1", date, closing, number, lottery, serial, kind})
               : Fields({date, closing, number, serial, lottery, kind});
}

// The symbologies the barcode command knows.
bool CanPrintBarcode(vnReceiptMessageBarcodeType aType) {
  return aType == bt_EAN13 || aType == bt_EAN8 || aType == bt_CODE39 || aType == bt_CODE128;
}

// What a text line asks for that no print style gives: the style takes the first of bold,
// double height and double width (double size prints as double height); the others have no
// style at all.
std::vector<std::string> EffectsLeftOut(vnReceiptMessageLineEffectSet aEffects) {
  std::vector<std::string> out;
  bool styled = false;
  for (const auto effect : {le_bold, le_doubleheight, le_doublewidth, le_doublesize}) {
    if (!HasEffect(aEffects, effect)) continue;
    if (styled) out.push_back(krptUtil::EncodeEffect(effect));
    styled = true;
  }
  for (const auto effect : {le_italic, le_underline, le_invertcolors, le_condensed})
    if (HasEffect(aEffects, effect)) out.push_back(krptUtil::EncodeEffect(effect));
  return out;
}

std::string Quoted(const std::string& aText) { return "\"" + aText + "\""; }

std::string Join(const std::vector<std::string>& aItems, const std::string& aSeparator) {
  std::string out;
  for (const auto& item : aItems) out += (out.empty() ? "" : aSeparator) + item;
  return out;
}

void NoteLeftOutBarcode(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceiptMessageBarcodeLine& aLine) {
  aPrinter.fLeftOut.push_back("the " + krptUtil::EncodeBarcodeType(aLine.fBarcodeType) + " barcode " +
                              Quoted(Trim(aLine.fValue)));
}

void NoteLeftOutEffects(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceiptMessageTextLine& aLine) {
  const std::vector<std::string> effects = EffectsLeftOut(aLine.fEffects);
  if (effects.empty()) return;
  aPrinter.fLeftOut.push_back(std::string(effects.size() == 1 ? "the effect " : "the effects ") +
                              Join(effects, ", ") + " of the line " + Quoted(Trim(aLine.GetValue())));
}

// A line the printer refused, with the printer's reason, while the document goes on.
void NoteRefused(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const std::string& aWhat) {
  const std::string reason = aPrinter.ErrorFound() ? aPrinter.ErrorMessage() : std::string();
  aPrinter.fRefused.push_back(aWhat + (reason.empty() ? "" : " (" + reason + ")"));
}

// Names in the result what the document asked for and the printer could not print, or
// refused to.
void ReportLeftOut(kFiscalPrinter_TARVOLX40FPETH& aPrinter) {
  if (!aPrinter.fLeftOut.empty())
    aPrinter.AddResultNote("Not printed, as this printer has no command for them: " + Join(aPrinter.fLeftOut, "; ") +
                           ".");
  if (!aPrinter.fRefused.empty())
    aPrinter.AddResultNote("Not printed, as the printer refused them: " + Join(aPrinter.fRefused, "; ") + ".");
  aPrinter.fLeftOut.clear();
  aPrinter.fRefused.clear();
}

bool PrintBarcode(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const std::string& aValue,
                  vnReceiptMessageBarcodeType aType) {
  const std::string value = Trim(aValue);
  std::string code, data;
  switch (aType) {
    case bt_EAN13:
      code = "67";
      data = CharLeft(value, 12);
      break;
    case bt_EAN8:
      code = "68";
      data = value;
      break;
    case bt_CODE39:
      code = "69";
      data = value;
      break;
    case bt_CODE128:
      code = "73";
      data = value;
      break;
    default: return true;  // the printer has no other symbology
  }
  const std::string length = aType == bt_EAN13 ? "12" : std::to_string(CharLength(data));
  return aPrinter.Send("[", Fields({"100", "2", "2", code, length, data}));
}

bool PrintTrailingComments(kFiscalPrinter_TARVOLX40FPETH& aPrinter) {
  if (aPrinter.fTrailingComments.empty()) return true;
  // A refused line does not keep the others from printing: it is named in the result, and
  // the closing blank line decides the outcome. A line whose answer was lost or unreadable
  // may or may not be on paper: the document goes no further.
  for (const auto& line : aPrinter.fTrailingComments) {
    const bool printed =
        line.fBarcode ? PrintBarcode(aPrinter, line.fValue, line.fBarcodeType)
                      : aPrinter.PrintLine(line.fValue, kToPaper, StyleOf(line.fEffects), line.fAlignment);
    if (printed) continue;
    if (!aPrinter.UnansweredCommand().empty()) return false;
    NoteRefused(aPrinter, (line.fBarcode ? "the barcode " : "the line ") + Quoted(Trim(line.fValue)));
  }
  // The blank line that ends the lines is no line of the document: refused, the document
  // still ends; only a lost answer stops it.
  return aPrinter.PrintLine("", kToPaper, kStyleClosingLine) || aPrinter.UnansweredCommand().empty();
}

// A document command whose answer was lost or unreadable leaves the document as it may be:
// it is cancelled at once ("+" with 0 clears whatever is open), so that it is not printed
// in part and none of its lines come out inside the next document.
bool CancelDocumentAfterLostAnswer(kFiscalPrinter_TARVOLX40FPETH& aPrinter) {
  const std::string reason = aPrinter.ErrorMessage();
  aPrinter.fTrailingComments.clear();
  const bool cancelled = aPrinter.CancelFiscalReceipt();
  const std::string after = cancelled ? "the document was cancelled on the printer and can be sent again"
                                      : "the document could not be cancelled: " + aPrinter.ErrorMessage();
  aPrinter.RecordError(tarvol::kReplyCodeErrorNumber, "Document not printed: " + reason + "; " + after);
  return false;
}

void HoldText(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceiptMessageTextLine& aLine) {
  kFiscalPrinter_TARVOLX40FPETH::kHeldLine held;
  held.fValue = aLine.GetValue();
  held.fEffects = aLine.fEffects;
  held.fAlignment = aLine.fAlignment;
  NoteLeftOutEffects(aPrinter, aLine);
  aPrinter.fTrailingComments.push_back(std::move(held));
}

void HoldBarcode(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceiptMessageBarcodeLine& aLine) {
  if (!CanPrintBarcode(aLine.fBarcodeType)) {
    NoteLeftOutBarcode(aPrinter, aLine);
    return;
  }
  kFiscalPrinter_TARVOLX40FPETH::kHeldLine held;
  held.fBarcode = true;
  held.fValue = aLine.fValue;
  held.fBarcodeType = aLine.fBarcodeType;
  aPrinter.fTrailingComments.push_back(std::move(held));
}

bool SendSaleLine(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const std::string& aType, const std::string& aDescription,
                  Amount aQuantity, Amount aPrice, const std::string& aDepartment) {
  return aPrinter.Send("3", Fields({aType, aDescription, "", QuantityField(aQuantity), AmountField(aPrice), aDepartment,
                                    "", "", "0", ""}));
}

void PrintCodeLine(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const std::string& aCode) {
  // The code is printed for the reader only; the sale does not depend on it.
  if (!aCode.empty()) aPrinter.PrintLine(aCode, kToPaper, kStylePlain);
}

// Vouchers and gift cards sold: the code as a text line, then the card's value.
bool PrintPrepaidSale(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceipt& aReceipt, const std::string& aCode,
                      const std::string& aDescription, Amount aPrice, const std::string& aDepartment,
                      bool aFreeOfCharge) {
  const std::string dept = Department(aDepartment);
  const std::string description = ItemDescription(aDescription);
  const Amount one = Amount::FromInt(1);
  PrintCodeLine(aPrinter, aCode);
  if (aReceipt.fReceiptType == rt_Refund) return SendSaleLine(aPrinter, "N", description, one, aPrice, dept);
  bool ok = SendSaleLine(aPrinter, "S", description, one, aPrice, dept);
  if (ok && aFreeOfCharge) ok = SendSaleLine(aPrinter, "G", description, one, aPrice, dept);
  return ok;
}

bool SendAdjustment(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceipt& aReceipt, Amount aValue,
                    const std::string& aDescription, bool aMarkup, bool aOnSubtotal, bool aIsAmount) {
  // Refunds and voids give back the net amounts, which already carry the adjustments.
  if (aReceipt.fReceiptType == rt_Refund || aReceipt.fReceiptType == rt_Void) return true;
  return aPrinter.Send("4",
                       Fields({AmountField(aValue), CleanFieldText(CharLeft(aDescription, kDiscountDescriptionMax)), "",
                               aMarkup ? "1" : "0", aOnSubtotal ? "1" : "0", aIsAmount ? "1" : "0"}));
}

}  // namespace

// ---- Non-fiscal documents ----

namespace {

// Header and footer lines are held with the body lines and printed with them at the closing.
void HoldLines(kFiscalPrinter_TARVOLX40FPETH& aPrinter, const kReceiptMessageLines& aLines) {
  for (const auto& line : aLines) {
    if (const auto* text = dynamic_cast<const kReceiptMessageTextLine*>(line.get()))
      HoldText(aPrinter, *text);
    else if (const auto* barcode = dynamic_cast<const kReceiptMessageBarcodeLine*>(line.get()))
      HoldBarcode(aPrinter, *barcode);
    else if (line)
      aPrinter.fLeftOut.push_back("the image " + Quoted(line->fValue));
  }
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::BeginNonFiscalReceipt(kNFReceipt& aNFReceipt) {
  fTrailingComments.clear();
  fLeftOut.clear();
  fRefused.clear();
  fDocumentRefused = false;
  // Style 20 opens the document. A printer that refuses it (paper end, a document still
  // open) prints nothing of it: the refusal and its reason end the document here.
  if (!Send("7", Fields({kToPaper, "20", ""}))) {
    if (!UnansweredCommand().empty()) return CancelDocumentAfterLostAnswer(*this);
    fDocumentRefused = true;
    return false;
  }
  HoldLines(*this, aNFReceipt.fHeaderLines);
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintNonFiscalTextLine(kReceipt* /*aReceipt*/, kReceiptMessageTextLine& aLine) {
  HoldText(*this, aLine);
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintNonFiscalBarcodeLine(kReceipt* /*aReceipt*/, kReceiptMessageBarcodeLine& aLine) {
  HoldBarcode(*this, aLine);
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintNonFiscalImageLine(kReceipt* /*aReceipt*/, kReceiptMessageImageLine& aLine) {
  fLeftOut.push_back("the image " + Quoted(aLine.fValue));
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::EndNonFiscalReceipt(kNFReceipt& aNFReceipt) {
  // Nothing goes out behind a refused opening; its refusal stays the document's failure.
  if (fDocumentRefused) {
    fTrailingComments.clear();
    fLeftOut.clear();
    fRefused.clear();
    fDocumentRefused = false;
    return false;
  }
  HoldLines(*this, aNFReceipt.fFooterLines);
  bool ok = PrintTrailingComments(*this);
  fTrailingComments.clear();
  if (!ok && !UnansweredCommand().empty()) return CancelDocumentAfterLostAnswer(*this);
  ok = Send("m", "/") && ok;
  ReportLeftOut(*this);
  return ok;
}

// ---- Opening and closing a fiscal receipt ----

std::string kFiscalPrinter_TARVOLX40FPETH::ReceiptRefusal(const kReceipt& aReceipt) {
  // The printer has no returned-item line: a return would print nothing and leave the item
  // in the total the customer pays. (A void sends no lines at all.)
  if (aReceipt.fReceiptType != rt_Void)
    for (const auto& line : aReceipt.fLines)
      if (line->fLineType == rlt_ProductReturn) return kProductReturnRefused;
  return {};
}

bool kFiscalPrinter_TARVOLX40FPETH::BeginFiscalReceipt(kReceipt& aReceipt) {
  // Refused before anything goes out, so the printer is left as it was.
  if (aReceipt.fReceiptType == rt_InvoiceSale || aReceipt.fReceiptType == rt_InvoiceSaleFromReceipt)
    throw kException("Driver does not support Invoice");
  fLeftOut.clear();
  fRefused.clear();

  fStatus = vnPrinterStatus();
  bool ok = GetPrinterStatus(fStatus);
  // A receipt left open by an earlier failure would take this receipt's lines.
  if (ok && (fStatus.ReceiptOpen || fStatus.FiscalReceiptOpen)) {
    ok = CheckStatus();
    if (ok) AddResultNote("A receipt left open on the printer by an earlier failure was cancelled before this one.");
  }

  fTrailerPrinted = false;
  if (!ok) return false;

  switch (aReceipt.fReceiptType) {
    case rt_Sale: {
      ok = Send(">", Fields({"", "", ""})) && Send("}", "/");
      const std::string lottery = Trim(aReceipt.fLotteryIdCode);
      if (ok && FiscalMode() == "RT" && !lottery.empty()) ok = SetLotteryCode(lottery);
      return ok;
    }
    case rt_Refund:
      aReceipt.CalcLinesNetAmount();
      return Send("-", ReferenceFields(*this, aReceipt, false)) && Send("}", "/");
    case rt_Void: return Send("+", ReferenceFields(*this, aReceipt, true));
    default: throw kException("Receipt type not managed");
  }
}

bool kFiscalPrinter_TARVOLX40FPETH::EndFiscalReceipt(kReceipt& aReceipt) {
  RequireManagedType(aReceipt);
  // A trailer ends with a blank closing line.
  bool ok = true;
  if (fTrailerPrinted) ok = PrintLine("", kToPaper, kStyleClosingLine);
  fTrailerPrinted = false;
  ok = Send("m", "/") && ok;
  ReportLeftOut(*this);
  return ok;
}

// ---- Sale lines ----

bool kFiscalPrinter_TARVOLX40FPETH::PrintProductSale(kReceipt& aReceipt, kReceiptLineProductSale& aLine) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  const std::string dept = Department(aLine.fDepartment);
  const std::string description = ItemDescription(aLine.GetDescription());
  const Amount one = Amount::FromInt(1);
  bool ok;
  if (aReceipt.fReceiptType == rt_Refund)
    ok = SendSaleLine(*this, "N", description, one, Abs(aLine.fFreeOfCharge ? aLine.fAmount : aLine.fNetAmount), dept);
  else
    ok = SendSaleLine(*this, "S", description, aLine.fQuantity, aLine.fPrice, dept);
  if (ok && aLine.fFreeOfCharge) ok = SendSaleLine(*this, "G", description, one, aLine.fAmount, dept);
  return ok;
}

// BeginFiscalReceipt refuses a sale or refund that holds a return; a void sends no lines.
bool kFiscalPrinter_TARVOLX40FPETH::PrintProductReturn(kReceipt& aReceipt, kReceiptLineProductReturn& /*aLine*/) {
  if (aReceipt.fReceiptType != rt_Void) throw kException(kProductReturnRefused);
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintWeightedProductSale(kReceipt& aReceipt,
                                                             kReceiptLineWeightedProductSale& aLine) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  bool ok;
  if (aReceipt.fReceiptType == rt_Refund) {
    const std::string dept = Department(aLine.fDepartment);
    ok = SendSaleLine(*this, "N", ItemDescription(aLine.GetDescription()), Amount::FromInt(1),
                      Abs(aLine.fFreeOfCharge ? aLine.fAmount : aLine.fNetAmount), dept);
  } else {
    ok = PrintProductSale(aReceipt, aLine);
  }
  return ok && PrintLine(QuantityField(aLine.fTare) + " " + aLine.fUOM, kToPaper, kStylePlain);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintVoucherSale(kReceipt& aReceipt, kReceiptLineVoucherSale& aLine) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  return PrintPrepaidSale(*this, aReceipt, aLine.fCode, aLine.GetDescription(), aLine.fPrice, aLine.fDepartment,
                          aLine.fFreeOfCharge);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintGiftCardSale(kReceipt& aReceipt, kReceiptLineGiftCardSale& aLine) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  return PrintPrepaidSale(*this, aReceipt, aLine.fCode, aLine.GetDescription(), aLine.fPrice, aLine.fDepartment,
                          aLine.fFreeOfCharge);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintVoucherRedeem(kReceipt& aReceipt, kReceiptLineVoucherRedeem& aLine) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  return SendSaleLine(*this, "M", ItemDescription(aLine.GetDescription()), Amount::FromInt(1), aLine.fPrice,
                      Department(aLine.fDepartment));
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintGiftCardRedeem(kReceipt& aReceipt, kReceiptLineGiftCardRedeem& aLine) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  return SendSaleLine(*this, "M", ItemDescription(aLine.GetDescription()), Amount::FromInt(1), aLine.fPrice,
                      Department(aLine.fDepartment));
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintCollectAmount(kReceipt& aReceipt, kReceiptLineCollectAmount& aLine) {
  RequireManagedType(aReceipt);
  if (aReceipt.fReceiptType == rt_Void) return true;
  const std::string dept = Department(aLine.fDepartment);
  const std::string description = ItemDescription(aLine.GetDescription());
  const Amount one = Amount::FromInt(1);
  if (aReceipt.fReceiptType == rt_Refund) {
    if (aLine.fAmount >= Amount()) return SendSaleLine(*this, "B", description, one, aLine.fAmount, dept);
    return SendSaleLine(*this, "N", description, one, Abs(aLine.fAmount), dept);
  }
  const Amount amount = aLine.GetAmount();
  if (amount >= Amount()) return SendSaleLine(*this, "S", description, one, amount, dept);
  return SendSaleLine(*this, "B", description, one, Abs(amount), dept);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintTextLine(kReceipt& /*aReceipt*/, kReceiptLineText& aLine) {
  PrintLine(Trim(aLine.GetDescription()), kToPaper, kStylePlain);
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintSubTotal(kReceipt& aReceipt, kReceiptLineSubtotal& /*aLine*/) {
  if (aReceipt.fReceiptType == rt_Void) return true;
  return Send("U", "/");
}

// ---- Discounts and markups ----

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountAmount(kReceipt& aReceipt, kReceiptLineDiscountAmount& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fAmount, aLine.GetDescription(), false, false, true);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountPercentage(kReceipt& aReceipt, kReceiptLineDiscountPercentage& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fPercentage, aLine.GetDescription(), false, false, false);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountAmountOnSubtotal(kReceipt& aReceipt,
                                                                  kReceiptLineDiscountAmountOnSubTotal& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fAmount, aLine.GetDescription(), false, true, true);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintDiscountPercentageOnSubTotal(kReceipt& aReceipt,
                                                                      kReceiptLineDiscountPercentageOnSubTotal& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fPercentage, aLine.GetDescription(), false, true, false);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupAmount(kReceipt& aReceipt, kReceiptLineMarkupAmount& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fAmount, aLine.GetDescription(), true, false, true);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupPercentage(kReceipt& aReceipt, kReceiptLineMarkupPercentage& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fPercentage, aLine.GetDescription(), true, false, false);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupAmountOnSubtotal(kReceipt& aReceipt,
                                                                kReceiptLineMarkupAmountOnSubTotal& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fAmount, aLine.GetDescription(), true, true, true);
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintMarkupPercentageOnSubTotal(kReceipt& aReceipt,
                                                                    kReceiptLineMarkupPercentageOnSubTotal& aLine) {
  return SendAdjustment(*this, aReceipt, aLine.fPercentage, aLine.GetDescription(), true, true, false);
}

// ---- Payments and trailer ----

bool kFiscalPrinter_TARVOLX40FPETH::PrintPayment(kReceipt& aReceipt, kReceiptPaymentLine& aPayment) {
  if (aReceipt.fReceiptType == rt_Void || aPayment.fPaymentType == Rpt_Change) return true;
  // A receipt to be invoiced is paid once, for its total, on the "to be invoiced" slot.
  if (aReceipt.fToBeInvoiced && (aReceipt.fPayments.Empty() || aReceipt.fPayments[0] != &aPayment)) return true;

  Amount amount = aPayment.fAmount;
  if (aReceipt.fReceiptType == rt_Refund) amount = Abs(amount);
  int slot = 1;
  switch (aPayment.fPaymentType) {
    case rpt_Cash: slot = 1; break;
    case rpt_Cheque: slot = 2; break;
    case rpt_CreditCard: slot = 4; break;
    case rpt_DebitCard: slot = 3; break;
    case rpt_Credit: slot = 5; break;
    case rpt_CreditOnProducts: slot = 5; break;
    case rpt_CreditOnServices: slot = 10; break;
    case Rpt_GiftCard: slot = 8; break;
    case Rpt_Voucher: slot = 7; break;
    case Rpt_MealVoucher: slot = 6; break;
    case Rpt_NHSCard: slot = 13; break;
    default: break;
  }
  const std::string pieces = aPayment.fPaymentType == Rpt_MealVoucher ? aPayment.fQuantity.ToXmlText() : "0";
  if (aReceipt.fToBeInvoiced) {
    // Tendering more than the total on this slot would be refused as change.
    slot = 12;
    amount = aReceipt.fTotalAmount;
  }
  return Send("5", Fields({std::to_string(slot), AmountField(amount), "", "", "", "", "", "", pieces}));
}

// Trailer lines go out after the payments, above the closing. Only sales and refunds carry
// them. A line the printer refuses is left out, since stopping there would leave a paid
// receipt open; a printer that no longer answers stops the receipt.
bool kFiscalPrinter_TARVOLX40FPETH::PrintTrailerTextLine(kReceipt& aReceipt, kReceiptMessageTextLine& aLine) {
  if (aReceipt.fReceiptType != rt_Sale && aReceipt.fReceiptType != rt_Refund) return true;
  fTrailerPrinted = true;
  NoteLeftOutEffects(*this, aLine);
  if (PrintLine(aLine.GetValue(), kToPaper, StyleOf(aLine.fEffects), aLine.fAlignment)) return true;
  if (LastExchangeFailed()) return false;
  NoteRefused(*this, "the line " + Quoted(Trim(aLine.GetValue())));
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::PrintTrailerBarcodeLine(kReceipt& aReceipt, kReceiptMessageBarcodeLine& aLine) {
  if (aReceipt.fReceiptType != rt_Sale && aReceipt.fReceiptType != rt_Refund) return true;
  if (!CanPrintBarcode(aLine.fBarcodeType)) {
    NoteLeftOutBarcode(*this, aLine);
    return true;
  }
  fTrailerPrinted = true;
  if (PrintBarcode(*this, aLine.fValue, aLine.fBarcodeType)) return true;
  if (LastExchangeFailed()) return false;
  NoteRefused(*this, "the barcode " + Quoted(Trim(aLine.fValue)));
  return true;
}

// ---- After the receipt ----

bool kFiscalPrinter_TARVOLX40FPETH::GetLastDocumentInfo(DateTime& aDateTime, std::string& aNumber,
                                                        std::string& aEJNumber, std::string& aEJClosingNumber,
                                                        std::string& aSerialNumber) {
  // What is not read stays as it came in: a number the printer did not give is never
  // reported as if it were one.
  vnDocumentMark mark;
  bool ok = ReadDocumentMark(mark);
  if (ok) {
    aNumber = mark.fNumber;
    // The documents of the open day belong to the next closing.
    aEJClosingNumber = std::to_string(ToInteger(mark.fClosing) + 1);
    ok = GetDateTime(aDateTime);
  }
  aEJNumber = "0";
  aSerialNumber = SerialNumber();
  return ok;
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadDocumentMark(vnDocumentMark& aMark) {
  // "X": the document state and the last document number; its third field has no defined
  // meaning. "i": its third field is the closings taken. Either answer's "transaction open"
  // status, or the document state, says a receipt is open.
  if (!Send("X")) return false;
  std::string data = ReplyData();
  const int state = FiscalStateCode(tarvol::NextField(data));
  vnDocumentMark mark;
  mark.fNumber = std::to_string(ToInteger(tarvol::NextField(data)));
  mark.fOpen = state != 1 || FiscalStatus().TransactionOpen;
  if (!Send("i", Fields({""}))) return false;
  data = ReplyData();
  tarvol::NextField(data);
  tarvol::NextField(data);
  mark.fClosing = std::to_string(ToInteger(tarvol::NextField(data)));
  mark.fOpen = mark.fOpen || FiscalStatus().TransactionOpen;
  mark.fKnown = true;
  fDocumentMark = mark;
  aMark = mark;
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadSerialNumber(std::string& aSerialNumber) {
  if (!Send("a")) return false;
  const std::string serial = Trim(ReplyField(4));
  aSerialNumber = serial.empty() ? std::string() : "4ZRPV" + CharRight(serial, 6);
  return !aSerialNumber.empty();
}

bool kFiscalPrinter_TARVOLX40FPETH::CancelFiscalReceipt() { return Send("+", "/0/"); }

bool kFiscalPrinter_TARVOLX40FPETH::SetLotteryCode(const std::string& aCode) { return Send("I", Fields({aCode, "0"})); }

namespace {

// The journal selection ("@") of a receipt's own text, read back after it was printed:
// today's documents by number, or the documents of the receipt's date by number. The third
// field names the receipt's closing, so that receipt 1 of one closing is not taken for
// receipt 1 of another closing of the same date. aPrint: 1 prints a copy, 0 hands the text
// back.
std::string ReceiptSelection(const kReceiptReference& aReference, bool aToday, const char* aKind, bool aPrint) {
  const std::string number = CleanFieldText(Trim(aReference.fReceiptNumber));
  const std::string closingText = Trim(aReference.fEJClosingNumber);
  const std::string closing = closingText.empty() ? "" : std::to_string(ToInteger(closingText));
  const char* print = aPrint ? "1" : "0";
  if (aToday) return Fields({"1", "1", closing, number, number, "", "", print});
  const std::string date = DateField(aReference.fReceiptDateTime, false);
  return Fields({"3", aKind, closing, number, number, date, date, print});
}

std::string NotInJournal(const kReceiptReference& aReference, bool aOpenDayWithoutDate) {
  const std::string closing = Trim(aReference.fEJClosingNumber);
  if (aOpenDayWithoutDate)
    return "Receipt " + Trim(aReference.fReceiptNumber) +
           " not found among the open day's documents; its ReceiptDateTime is needed to reprint a receipt of an "
           "earlier day";
  return "Receipt " + Trim(aReference.fReceiptNumber) + (closing.empty() ? "" : " of closing " + closing) +
         " not found in the journal";
}

// One fiscal document of a journal text, as its closing line names it: "dd-mm-yyyy hh:nn ...
// N. cccc-nnnn", its closing and its number within the closing.
struct vnJournalDocument {
  long fClosing = 0;
  long fNumber = 0;
  std::optional<DateTime> fDate;
  std::string Name() const {
    std::string out = PadLeft(std::to_string(fClosing), 4, '0') + "-" + PadLeft(std::to_string(fNumber), 4, '0');
    if (fDate) {
      const DateTimeParts p = DecodeDateTime(*fDate);
      out += " of " + tarvol::TwoDigits(p.day) + "-" + tarvol::TwoDigits(p.month) + "-" + std::to_string(p.year);
    }
    return out;
  }
};

std::vector<vnJournalDocument> JournalDocuments(const std::string& aText) {
  static const std::regex kMark(R"(N\.\s*(\d{4})-(\d{4}))");
  static const std::regex kDate(R"(^\s*(\d{2})[-/](\d{2})[-/](\d{4}))");
  std::vector<vnJournalDocument> out;
  for (const std::string& line : SplitTextLines(aText)) {
    std::smatch mark;
    if (!std::regex_search(line, mark, kMark)) continue;
    vnJournalDocument doc;
    doc.fClosing = std::stol(mark[1].str());
    doc.fNumber = std::stol(mark[2].str());
    std::smatch date;
    if (std::regex_search(line, date, kDate))
      doc.fDate = EncodeDate(std::stoi(date[3].str()), std::stoi(date[2].str()), std::stoi(date[1].str()));
    out.push_back(doc);
  }
  return out;
}

}  // namespace

bool kFiscalPrinter_TARVOLX40FPETH::RePrintReceipt(kReceiptReference& aReference, kReceipt& /*aReceipt*/) {
  // Without a number the selection would take every receipt of the day. A reference that
  // names no receipt is refused before anything is sent.
  const std::string number = Trim(aReference.fReceiptNumber);
  if (number.empty()) throw kException("No ReceiptNumber: no receipt to reprint");
  const long wanted = ToInteger(number);
  const std::string closingText = Trim(aReference.fEJClosingNumber);
  const std::optional<long> closing = closingText.empty() ? std::nullopt : std::optional<long>(ToInteger(closingText));
  const bool hasDate = aReference.fReceiptDateTime != 0;

  vnDocumentMark mark;
  if (!ReadDocumentMark(mark)) return false;
  // Only an idle printer can print from its journal. Saying so keeps the host from taking
  // a copy that never came out for a printed one.
  if (mark.fOpen) {
    RecordError(tarvol::kReplyCodeErrorNumber, tarvol::GetReplyCodeMessage(kReplyTransactionOpen));
    return false;
  }
  // The open closing's receipts are selected by number alone, whatever the time of day the
  // reference carries; a receipt of another closing by its date, which the reference must give.
  const long openClosing = ToInteger(mark.fClosing) + 1;
  const bool openDay = closing ? *closing == openClosing : !hasDate;
  if (!openDay && !hasDate) {
    RecordError(tarvol::kReplyCodeErrorNumber,
                "ReceiptDateTime is needed to reprint receipt " + number + " of closing " + closingText +
                    ": the printer finds the receipts of a closing that is not the open one by their date");
    return false;
  }
  const auto selection = [&](bool aPrint) {
    const char* print = aPrint ? "1" : "0";
    const std::string n = std::to_string(wanted);
    if (openDay) return Fields({"1", "1", "", n, n, "", "", print});
    const std::string date = DateField(aReference.fReceiptDateTime, false);
    return Fields({"3", "0", closing ? std::to_string(*closing) : "", n, n, date, date, print});
  };
  const auto notFound = [&] {
    return DeviceStatus().ReplyCode == tarvol::kReplyNoSdData || DeviceStatus().ReplyCode == tarvol::kReplyNoMoreSdData;
  };
  const auto refuse = [&](const std::string& aReason) {
    RecordError(tarvol::kReplyCodeErrorNumber, aReason);
    return false;
  };

  // The receipt is first selected for reading: safe to repeat, that waits out a busy journal
  // (whose answer "00/00/02" reads the same as a copy printed on an open day), and what the
  // selection holds is checked before anything is printed: a printer may select more than
  // the receipt asked for (one that ignores the closing selects every closing of the date).
  if (!Send("@", selection(false))) return false;
  if (notFound()) return refuse(NotInJournal(aReference, openDay && !closing && !hasDate));
  tarvol::kJournalCollector journal(false);
  if (!FetchJournal(journal)) return false;
  const std::vector<vnJournalDocument> documents = JournalDocuments(journal.Text());
  if (documents.empty())
    return refuse("The journal's selection for receipt " + number +
                  " names no document the driver can check: nothing was printed");
  const DateTime wantedDate = DateOf(aReference.fReceiptDateTime);
  size_t matches = 0;
  std::string held;
  for (const auto& doc : documents) {
    const bool sameClosing = openDay ? doc.fClosing == openClosing : (!closing || doc.fClosing == *closing);
    const bool sameDate = !hasDate || !doc.fDate || *doc.fDate == wantedDate;
    if (doc.fNumber == wanted && sameClosing && sameDate) ++matches;
    held += (held.empty() ? "" : ", ") + doc.Name();
  }
  if (matches == 0) return refuse(NotInJournal(aReference, openDay && !closing && !hasDate));
  if (documents.size() > 1)
    return refuse("The journal's selection for receipt " + number +
                  (closingText.empty() ? "" : " of closing " + closingText) + " holds " +
                  std::to_string(documents.size()) + " documents (" + held +
                  "), more than the receipt asked for: nothing was printed" +
                  (closing ? "" : "; EJClosingNumber names the receipt's closing"));

  // The copy is asked once and its answer taken as it is: repeating it on "00/00/02" would
  // print a copy per repetition.
  if (!Send("@", selection(true), false)) return false;
  if (notFound()) return refuse(NotInJournal(aReference, false));
  return true;
}

bool kFiscalPrinter_TARVOLX40FPETH::ReadReceiptText(kReceiptReference& aReference, std::string& aText) {
  aText.clear();
  if (Trim(aReference.fReceiptNumber).empty()) return true;
  // The receipt's own copy in the journal, read back instead of printed.
  const bool today = DateOf(aReference.fReceiptDateTime) == DateOf(CurrentDateTime());
  bool ok = Send("@", ReceiptSelection(aReference, today, "1", false));
  tarvol::kJournalCollector journal(false);
  if (ok) ok = FetchJournal(journal);
  aText = journal.TakeText();
  return ok;
}

}  // namespace fp
