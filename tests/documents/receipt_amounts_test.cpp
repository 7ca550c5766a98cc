#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "base/errors.h"
#include "documents/receipt.h"
#include "document_test_support.h"

namespace fp {

using fp_test::A;

namespace {

// Builds receipts line by line: "S 1.00" a sale, "R 1" a return, "F 5" a free sale,
// "D 1" a line discount, "M 1" a line markup, "SD 1" / "SM 1" subtotal discount / markup,
// "T" a text line.
struct Builder {
  kReceipt r;
  Builder& Add(const std::string& aKind, const char* aAmount = "0") {
    Amount amount = A(aAmount);
    if (aKind == "S" || aKind == "F" || aKind == "R") {
      auto type = aKind == "R" ? rlt_ProductReturn : rlt_ProductSale;
      auto line = CreateReceiptLine(type, &r);
      auto* sale = static_cast<kReceiptLineProductSale*>(line.get());
      sale->fAmount = amount;
      sale->fQuantity = A("1");
      sale->fFreeOfCharge = aKind == "F";
      r.fLines.Add(std::move(line));
    } else if (aKind == "T") {
      r.fLines.Add(CreateReceiptLine(rlt_Text, &r));
    } else {
      vnReceiptLineType type = aKind == "D"    ? rlt_DiscountAmount
                               : aKind == "M"  ? rlt_MarkupAmount
                               : aKind == "SD" ? rlt_DiscountAmountOnSubtotal
                                               : rlt_MarkupAmountOnSubtotal;
      auto line = CreateReceiptLine(type, &r);
      static_cast<kReceiptLineDiscountAmount*>(line.get())->fAmount = amount;
      r.fLines.Add(std::move(line));
    }
    return *this;
  }
  // Runs the spreading with the declared total equal to the lines' sum.
  kReceipt& Calc() {
    r.fTotalAmount = r.GetCalculatedAmount();
    r.CalcLinesNetAmount();
    return r;
  }
  std::vector<Amount> Nets() const {
    std::vector<Amount> out;
    for (const auto& line : r.fLines) out.push_back(line->fNetAmount);
    return out;
  }
};

std::vector<Amount> As(std::initializer_list<const char*> aTexts) {
  std::vector<Amount> out;
  for (const char* t : aTexts) out.push_back(A(t));
  return out;
}

TEST(LineAmountTest, SignsFollowTheClass) {
  kReceipt r;
  struct Case {
    vnReceiptLineType type;
    const char* expected;
  };
  // Every money field gets 2.5 (percentages 10), so the sign and the field used show.
  const Case cases[] = {
      {rlt_ProductSale, "2.5"},        {rlt_ProductReturn, "-2.5"},
      {rlt_WeightedProductSale, "2.5"}, {rlt_VoucherSale, "2.5"},
      {rlt_VoucherRedeem, "-2.5"},     {rlt_GiftCardSale, "2.5"},
      {rlt_GiftCardRedeem, "-2.5"},    {rlt_SubTotal, "0"},
      {rlt_Text, "0"},                 {rlt_DiscountAmount, "-2.5"},
      {rlt_DiscountPercentage, "-2.5"}, {rlt_DiscountAmountOnSubtotal, "-2.5"},
      {rlt_DiscountPercentageOnSubTotal, "-2.5"}, {rlt_MarkupAmount, "2.5"},
      {rlt_MarkupPercentage, "2.5"},   {rlt_MarkupAmountOnSubtotal, "2.5"},
      {rlt_MarkupPercentageOnSubTotal, "2.5"}, {rlt_CollectAmount, "2.5"},
  };
  for (const Case& c : cases) {
    auto line = CreateReceiptLine(c.type, &r);
    kReceiptLine* l = line.get();
    if (auto* s = dynamic_cast<kReceiptLineProductSale*>(l)) s->fAmount = A("2.5"), s->fPrice = A("9");
    if (auto* v = dynamic_cast<kReceiptLineVoucherSale*>(l)) v->fPrice = A("2.5");
    if (auto* g = dynamic_cast<kReceiptLineGiftCardSale*>(l)) g->fPrice = A("2.5");
    if (auto* s = dynamic_cast<kReceiptLineSubtotal*>(l)) s->fAmount = A("2.5");
    if (auto* d = dynamic_cast<kReceiptLineDiscountAmount*>(l)) d->fAmount = A("2.5");
    if (auto* d = dynamic_cast<kReceiptLineDiscountPercentage*>(l)) d->fAmount = A("2.5"), d->fPercentage = A("10");
    if (auto* c2 = dynamic_cast<kReceiptLineCollectAmount*>(l)) c2->fAmount = A("2.5");
    EXPECT_EQ(l->GetAmount(), A(c.expected)) << int(c.type);
    r.fLines.Add(std::move(line));
  }
  EXPECT_EQ(r.GetCalculatedAmount(), A("5"));  // nine lines add, seven subtract
  EXPECT_EQ(r.GetTotalQuantity(), Amount());  // no quantities were set
}

TEST(LineAmountTest, FreeItemsCountNothing) {
  kReceipt r;
  for (auto type : {rlt_ProductSale, rlt_ProductReturn, rlt_VoucherSale, rlt_GiftCardSale, rlt_GiftCardRedeem}) {
    auto line = CreateReceiptLine(type, &r);
    if (auto* s = dynamic_cast<kReceiptLineProductSale*>(line.get())) s->fAmount = A("3"), s->fFreeOfCharge = true;
    if (auto* v = dynamic_cast<kReceiptLineVoucherSale*>(line.get())) v->fPrice = A("3"), v->fFreeOfCharge = true;
    if (auto* g = dynamic_cast<kReceiptLineGiftCardSale*>(line.get())) g->fPrice = A("3"), g->fFreeOfCharge = true;
    EXPECT_TRUE(line->GetAmount().IsZero()) << int(type);
  }
}

TEST(NetAmountTest, LineDiscountGoesToTheItemBeforeIt) {
  Builder b;
  b.Add("S", "10").Add("D", "1").Calc();
  auto* sale = b.r.fLines[0];
  EXPECT_EQ(sale->fNetAmount, A("9"));
  EXPECT_EQ(sale->fNetAmountNoSubTotalDiscounts, A("9"));
  EXPECT_EQ(sale->fTotalNoSubTotalDiscounts, A("-1"));
  EXPECT_EQ(b.r.fLines[1]->fNetAmount, A("-1"));
  EXPECT_EQ(b.r.fLines[1]->fTotalNoSubTotalDiscounts, Amount());
}

TEST(NetAmountTest, SpreadingTable) {
  struct Case {
    const char* name;
    std::function<void(Builder&)> build;
    std::vector<Amount> nets;
    bool spread = true;  // the adjustments reached the items
  };
  const Case cases[] = {
      {"three equal sales share a subtotal discount without drift",
       [](Builder& b) { b.Add("S", "1").Add("S", "1").Add("S", "1").Add("SD", "1"); },
       As({"0.67", "0.66", "0.67", "-1"})},
      {"a free item takes no share",
       [](Builder& b) { b.Add("S", "5").Add("F", "5").Add("S", "5").Add("SD", "1"); },
       As({"4.5", "0", "4.5", "-1"})},
      {"a line discount before any item changes nothing",
       [](Builder& b) { b.Add("D", "1").Add("S", "5"); },
       As({"-1", "5"}), false},
      {"a subtotal discount over a zero running total is not spread",
       [](Builder& b) { b.Add("S", "5").Add("R", "5").Add("SD", "1"); },
       As({"5", "-5", "-1"}), false},
      {"a subtotal markup spreads upwards",
       [](Builder& b) { b.Add("S", "2").Add("S", "6").Add("SM", "1"); },
       As({"2.25", "6.75", "1"})},
      {"a second subtotal discount spreads over the reduced nets",
       [](Builder& b) { b.Add("S", "10").Add("S", "30").Add("SD", "4").Add("SD", "3.6"); },
       As({"8.1", "24.3", "-4", "-3.6"})},
      {"shares are differences of rounded cumulative targets",
       [](Builder& b) { b.Add("S", "0.01").Add("S", "0.01").Add("S", "0.01").Add("T").Add("SD", "0.02"); },
       As({"0", "0.01", "0", "0", "-0.02"})},
      {"the ratio's rounding remainder lands on the last line that took a share",
       [](Builder& b) { b.Add("S", "100").Add("S", "200").Add("F", "0").Add("SD", "1"); },
       As({"99.67", "199.33", "0", "-1"})},
      {"line adjustments are in the base of a later subtotal adjustment",
       [](Builder& b) { b.Add("S", "10").Add("M", "2").Add("S", "8").Add("SD", "2"); },
       As({"10.8", "2", "7.2", "-2"})},
      {"a return takes a share of the opposite sign",
       [](Builder& b) { b.Add("S", "10").Add("R", "5").Add("SD", "1"); },
       As({"8", "-4", "-1"})},
  };
  for (const Case& c : cases) {
    Builder b;
    c.build(b);
    b.Calc();
    EXPECT_EQ(b.Nets(), c.nets) << c.name;
    if (!c.spread) continue;
    // Whatever the spreading, the item nets add up to the declared total less the
    // adjustment lines' own amounts, which stay as they are.
    Amount sum;
    for (const auto& line : b.r.fLines) sum += line->fNetAmount;
    Amount adjustments;
    for (const auto& line : b.r.fLines)
      if (!IsItemLine(line->fLineType)) adjustments += line->GetAmount();
    EXPECT_EQ(sum - adjustments, b.r.fTotalAmount) << c.name;
  }
}

TEST(NetAmountTest, SubtotalSharesLeaveTheLineLevelPictureAlone) {
  Builder b;
  b.Add("S", "1").Add("D", "0.1").Add("S", "1").Add("SD", "1").Calc();
  auto* first = b.r.fLines[0];
  EXPECT_EQ(first->fNetAmountNoSubTotalDiscounts, A("0.9"));
  EXPECT_EQ(first->fTotalNoSubTotalDiscounts, A("-0.1"));
  EXPECT_EQ(b.r.fLines[2]->fNetAmountNoSubTotalDiscounts, A("1"));
  EXPECT_EQ(b.r.fLines[2]->fTotalNoSubTotalDiscounts, Amount());
}

TEST(NetAmountTest, DeclaredTotalIsReconciledOnTheLastItem) {
  Builder b;
  b.Add("S", "6").Add("S", "4").Add("T");
  b.r.fTotalAmount = A("9.99");
  b.r.CalcLinesNetAmount();
  EXPECT_EQ(b.Nets(), As({"6", "3.99", "0"}));

  Builder zero;
  zero.Add("S", "6").Add("S", "4");
  zero.r.CalcLinesNetAmount();  // a total of 0 takes the whole computed amount off the last item
  EXPECT_EQ(zero.Nets(), As({"6", "-6"}));

  Builder none;
  none.Add("T").Add("D", "1");
  none.r.fTotalAmount = A("5");
  none.r.CalcLinesNetAmount();  // without an item there is nothing to reconcile
  EXPECT_EQ(none.Nets(), As({"0", "-1"}));
}

TEST(NetAmountTest, RunningTwiceGivesTheSameNets) {
  Builder b;
  b.Add("S", "1").Add("S", "1").Add("S", "1").Add("SD", "1").Calc();
  auto first = b.Nets();
  b.r.CalcLinesNetAmount();
  EXPECT_EQ(b.Nets(), first);
}

TEST(NetAmountTest, AmountsBeyondTheRangeFailInsteadOfWrapping) {
  Builder b;
  b.Add("S", "900000000000000").Add("S", "900000000000000");
  try {
    b.r.GetCalculatedAmount();
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Amount out of range");
  }
  Builder spread;
  spread.Add("S", "0.0001").Add("SD", "900000000000000");
  EXPECT_THROW(spread.Calc(), kException);
}

// ---------------------------------------------------------------------------------------
// Taxes and payments

struct TaxFixture : ::testing::Test {
  void AddTax(vnReceiptTaxType aType, const char* aCode, const char* aRate, const char* aTaxable, const char* aTax,
              const char* aTotal) {
    auto tax = std::make_unique<kReceiptTaxLine>(&r);
    tax->fTaxType = aType;
    tax->fTaxCode = aCode;
    tax->fTaxRate = A(aRate);
    tax->fTaxableAmount = A(aTaxable);
    tax->fTaxAmount = A(aTax);
    tax->fTotalAmount = A(aTotal);
    r.fTaxes.Add(std::move(tax));
  }
  kReceipt r;
};

TEST_F(TaxFixture, NetOfVatInclusiveAmounts) {
  AddTax(tt_SalesTax, "S", "10", "0", "0", "0");
  AddTax(tt_VAT, "V22", "22", "100", "22", "122");
  AddTax(tt_SalesTax, "V22", "50", "0", "0", "0");
  AddTax(tt_VAT, "V10", "10", "10", "1", "11");
  AddTax(tt_VAT, "V22", "4", "50", "2", "52");  // a later duplicate code is never used
  EXPECT_EQ(r.GetNetAmount(A("122"), "V22"), A("100"));
  EXPECT_EQ(r.GetNetAmount(A("122"), "S"), A("122"));     // sales tax only
  EXPECT_EQ(r.GetNetAmount(A("122"), "v22"), A("122"));   // codes match exactly
  EXPECT_EQ(r.GetNetAmount(A("1"), "V22"), A("0.8197"));  // 0.81967... rounded once
  EXPECT_EQ(r.GetNetAmount(A("-1"), "V10"), A("-0.9091"));
  EXPECT_EQ(r.GetTaxRate("V22"), A("22"));
  EXPECT_EQ(r.GetTaxRate("S"), A("10"));
  EXPECT_EQ(r.GetTaxRate("none"), Amount());
  EXPECT_EQ(r.fTaxes.GetByTaxCode("V10"), r.fTaxes[3]);
  EXPECT_EQ(r.fTaxes.GetByTaxCode("X"), nullptr);
  EXPECT_EQ(r.GetTotalTaxableAmount(), A("160"));
  EXPECT_EQ(r.GetTotalTaxAmount(), A("25"));
  EXPECT_EQ(r.fTaxes.GetGrossAmount(), A("185"));
  EXPECT_EQ(r.fTaxes.GetTaxableAmountByTaxRate(A("22")), A("100"));
  EXPECT_EQ(r.fTaxes.GetTaxAmountByTaxRate(A("10")), A("1"));
}

TEST_F(TaxFixture, RateOfMinusHundredFailsClearly) {
  AddTax(tt_VAT, "X", "-100", "0", "0", "0");
  EXPECT_THROW(r.GetNetAmount(A("1"), "X"), kException);
}

TEST(PaymentTotalTest, ChangeIsLeftOut) {
  kReceipt r;
  for (auto [type, amount] : {std::pair{rpt_Cash, "50"}, {Rpt_Change, "10"}, {rpt_CreditCard, "2.5"}}) {
    auto p = std::make_unique<kReceiptPaymentLine>(&r);
    p->fPaymentType = type;
    p->fAmount = A(amount);
    r.fPayments.Add(std::move(p));
  }
  EXPECT_EQ(r.fPayments.GetTotalAmount(), A("52.5"));
}

TEST(QuantityTest, SalesReturnsAndWeightedSalesCount) {
  Builder b;
  b.Add("S", "1").Add("R", "1").Add("F", "0").Add("D", "1");
  auto weighted = CreateReceiptLine(rlt_WeightedProductSale, &b.r);
  static_cast<kReceiptLineProductSale*>(weighted.get())->fQuantity = A("0.25");
  b.r.fLines.Add(std::move(weighted));
  EXPECT_EQ(b.r.GetTotalQuantity(), A("3.25"));
}

}  // namespace
}  // namespace fp
