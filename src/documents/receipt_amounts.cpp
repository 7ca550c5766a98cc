// What a receipt computes from the amounts the caller sent: the signed amount of each
// line, the spreading of discounts and markups over the items they adjust, the net of a
// VAT-inclusive amount and the totals of the tax summary and the payments. All of it is
// exact Amount arithmetic; the only roundings are the ones named below, and any value
// leaving the 64-bit range fails with "Amount out of range" instead of wrapping.
#include "base/errors.h"
#include "documents/receipt.h"

namespace fp {

namespace {

// To a multiple of 0.01, halves away from zero: 1.2350 -> 1.24, -1.2350 -> -1.24.
Amount RoundToCents(Amount aValue) { return aValue.Round(2, Rounding::HalfAwayFromZero); }

}  // namespace

// -----------------------------------------------------------------------------------------
// Line amounts. Items sold give their value, items taken back the negative of it; a free
// item gives nothing.

Amount kReceiptLineProductSale::GetAmount() const { return fFreeOfCharge ? Amount() : fAmount; }
Amount kReceiptLineProductReturn::GetAmount() const { return fFreeOfCharge ? Amount() : -fAmount; }
Amount kReceiptLineVoucherSale::GetAmount() const { return fFreeOfCharge ? Amount() : fPrice; }
Amount kReceiptLineVoucherRedeem::GetAmount() const { return fFreeOfCharge ? Amount() : -fPrice; }
Amount kReceiptLineGiftCardSale::GetAmount() const { return fFreeOfCharge ? Amount() : fPrice; }
Amount kReceiptLineGiftCardRedeem::GetAmount() const { return fFreeOfCharge ? Amount() : -fPrice; }

// -----------------------------------------------------------------------------------------
// Receipt totals

Amount kReceipt::GetCalculatedAmount() const {
  Amount total;
  for (const auto& line : fLines) total += line->GetAmount();
  return total;
}

void kReceipt::CalcLinesNetAmount() {
  std::vector<kReceiptLine*> lines;
  lines.reserve(fLines.Count());
  for (const auto& line : fLines) {
    line->fNetAmount = line->GetAmount();
    line->fNetAmountNoSubTotalDiscounts = line->fNetAmount;
    line->fTotalNoSubTotalDiscounts = Amount();
    lines.push_back(line.get());
  }

  Amount running;                // sum of the amounts of the lines passed so far
  kReceiptLine* item = nullptr;  // the last item line passed
  for (size_t i = 0; i < lines.size(); ++i) {
    kReceiptLine* line = lines[i];
    const Amount amount = line->GetAmount();
    if (item != nullptr && IsLineAdjustment(line->fLineType)) {
      item->fNetAmount += amount;
      item->fTotalNoSubTotalDiscounts += amount;
      item->fNetAmountNoSubTotalDiscounts += amount;
    } else if (item != nullptr && IsSubtotalAdjustment(line->fLineType) && !running.IsZero()) {
      // Each item's share is the difference between consecutive cumulative targets rounded
      // to cents, so rounding never accumulates along the lines; whatever is left goes to
      // the last line that took a share, and the shares add up to the adjustment exactly.
      const Amount ratio = amount.Div(running, Rounding::HalfEven);
      Amount base, spread;
      kReceiptLine* last = nullptr;
      for (size_t j = 0; j < i; ++j) {
        kReceiptLine* target = lines[j];
        if (!IsItemLine(target->fLineType) || target->fNetAmount.IsZero()) continue;
        base += target->fNetAmount;
        const Amount share = RoundToCents(base.Mul(ratio, Rounding::HalfEven)) - spread;
        spread += share;
        target->fNetAmount += share;
        last = target;
      }
      if (last != nullptr && amount != spread) last->fNetAmount += amount - spread;
    }
    running += amount;
    if (IsItemLine(line->fLineType)) item = line;
  }

  // The declared total wins: the last item absorbs any difference to the lines' sum.
  if (item != nullptr && fTotalAmount != running) item->fNetAmount += fTotalAmount - running;
}

Amount kReceipt::GetTaxRate(std::string_view aTaxCode) const {
  const kReceiptTaxLine* tax = fTaxes.GetByTaxCode(aTaxCode);
  return tax ? tax->fTaxRate : Amount();
}

Amount kReceipt::GetNetAmount(Amount aAmount, std::string_view aTaxCode) const {
  for (const auto& tax : fTaxes) {
    if (tax->fTaxCode != aTaxCode || tax->fTaxType != tt_VAT) continue;
    // amount × 100 ÷ (rate + 100), rounded once on the exact quotient.
    const Amount divisor = tax->fTaxRate + Amount::FromInt(100);
    if (divisor.IsZero()) throw kException("Tax rate " + tax->fTaxRate.ToXmlText() + " is invalid");
    return aAmount.MulDiv(Amount::FromInt(100), divisor, Rounding::HalfEven);
  }
  return aAmount;
}

Amount kReceipt::GetTotalQuantity() const {
  Amount total;
  for (const auto& line : fLines) {
    if (line->fLineType != rlt_ProductSale && line->fLineType != rlt_ProductReturn &&
        line->fLineType != rlt_WeightedProductSale)
      continue;
    // A line typed as a sale is always built from the sale class or one of its kinds.
    if (auto* sale = dynamic_cast<const kReceiptLineProductSale*>(line.get())) total += sale->fQuantity;
  }
  return total;
}

Amount kReceipt::GetTotalTaxableAmount() const { return fTaxes.GetTaxableAmount(); }
Amount kReceipt::GetTotalTaxAmount() const { return fTaxes.GetTaxesAmount(); }

// -----------------------------------------------------------------------------------------
// Tax summary and payments

kReceiptTaxLine* kReceiptTaxLines::GetByTaxCode(std::string_view aCode) const {
  for (const auto& tax : *this)
    if (tax->fTaxCode == aCode) return tax.get();
  return nullptr;
}

Amount kReceiptTaxLines::GetTaxableAmount() const {
  Amount total;
  for (const auto& tax : *this) total += tax->fTaxableAmount;
  return total;
}

Amount kReceiptTaxLines::GetTaxesAmount() const {
  Amount total;
  for (const auto& tax : *this) total += tax->fTaxAmount;
  return total;
}

Amount kReceiptTaxLines::GetGrossAmount() const {
  Amount total;
  for (const auto& tax : *this) total += tax->fTotalAmount;
  return total;
}

Amount kReceiptTaxLines::GetTaxableAmountByTaxRate(Amount aTaxRate) const {
  Amount total;
  for (const auto& tax : *this)
    if (tax->fTaxRate == aTaxRate) total += tax->fTaxableAmount;
  return total;
}

Amount kReceiptTaxLines::GetTaxAmountByTaxRate(Amount aTaxRate) const {
  Amount total;
  for (const auto& tax : *this)
    if (tax->fTaxRate == aTaxRate) total += tax->fTaxAmount;
  return total;
}

Amount kReceiptPaymentLines::GetTotalAmount() const {
  Amount total;
  for (const auto& payment : *this)
    if (payment->fPaymentType != Rpt_Change) total += payment->fAmount;
  return total;
}

}  // namespace fp
