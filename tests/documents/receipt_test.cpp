#include "documents/receipt.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <tuple>

#include "base/errors.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "documents/nf_receipt.h"
#include "document_test_support.h"

namespace fp {

using fp_test::A;
using fp_test::ErrorOf;
using fp_test::ReadDataFile;

namespace {

// Parses aText as the request frame does (comments kept, so a stray one is seen) and
// reads a receipt from it.
void Read(kReceipt& aReceipt, const std::string& aText) {
  pugi::xml_document doc;
  ASSERT_TRUE(fp_test::ParseXml(doc, aText, pugi::parse_default | pugi::parse_comments));
  aReceipt.Deserialize(doc);
}

// A receipt element with the three required lists and aInner in front of them.
std::string Minimal(const std::string& aInner, const std::string& aLines = "") {
  return "<Receipt><Type>Sale</Type>" + aInner + "<Lines>" + aLines + "</Lines><Taxes/><Payments/></Receipt>";
}

template <typename T>
T* LineAs(const kReceipt& aReceipt, size_t aIndex) {
  auto* line = dynamic_cast<T*>(aReceipt.fLines[aIndex]);
  EXPECT_NE(line, nullptr) << "line " << aIndex;
  return line;
}

// ---------------------------------------------------------------------------------------
// Reading

TEST(ReceiptReaderTest, FullRequest) {
  kReceipt r;
  Read(r, ReadDataFile("full_receipt.xml"));
  EXPECT_EQ(r.fLayout, "Shop");
  EXPECT_FALSE(r.fDefaultLayout);
  EXPECT_EQ(r.fBusinessDate, *EncodeDate(2024, 5, 6));
  EXPECT_EQ(r.fReceiptType, rt_Refund);
  EXPECT_EQ(r.fReceiptSubType, "S1");
  EXPECT_EQ(r.fReceiptNumber, "0042");
  EXPECT_EQ(r.fReceiptDateTime, *EncodeDateTime(2024, 5, 6, 10, 11, 12, 0));
  EXPECT_EQ(r.fTotalAmount, A("21.5"));
  EXPECT_EQ(r.fTipAmount, A("1.25"));
  EXPECT_EQ(r.fCustomerZipCode, "20100");  // CustomerZIPCode wins
  EXPECT_EQ(r.fCustomerEmail, "mario@example.com");
  EXPECT_EQ(r.fCustomerIdType, cid_Passport);
  EXPECT_EQ(r.fCustomerDateOfBirth, *EncodeDate(1980, 2, 29));
  EXPECT_TRUE(r.fToBeInvoiced);
  EXPECT_TRUE(r.fSendByEmail);
  EXPECT_FALSE(r.fPrintReceipt);
  EXPECT_TRUE(r.fIsReprint);
  EXPECT_FALSE(r.fSupportSpecialChars);

  EXPECT_EQ(r.fOriginalReceipt.fReceiptNumber, "0007");
  EXPECT_EQ(r.fOriginalReceipt.fReferenceType, rrt_Empties);
  EXPECT_TRUE(r.fOriginalReceipt.fExcludeFPCheck);
  EXPECT_EQ(r.fOriginalReceipt.fInvoiceDateTime, *EncodeDateTime(2024, 5, 1, 9, 30, 0, 0));
  EXPECT_EQ(r.fHeaders, (std::vector<std::string>{"Welcome", "Second"}));

  ASSERT_EQ(r.fLines.Count(), 18u);
  for (size_t i = 0; i < 18; ++i) {
    EXPECT_EQ(r.fLines[i]->fLineType, static_cast<vnReceiptLineType>(i)) << i;
    EXPECT_EQ(r.fLines[i]->fOwner, &r);
  }
  auto* sale = LineAs<kReceiptLineProductSale>(r, 0);
  EXPECT_EQ(sale->fDescription, "CAFF\u00C8");
  EXPECT_EQ(sale->GetDescription(), "CAFFE");
  EXPECT_EQ(sale->fQuantity, A("2"));
  EXPECT_EQ(sale->fAttribute, rla_Product);
  EXPECT_EQ(sale->fCustomAttributes.Items(), (std::vector<std::string>{"colour=red", "size=L"}));
  for (const char* name : {"Colour", "colour", "COLOUR"}) EXPECT_EQ(sale->GetCustomAttribute(name), "red");
  EXPECT_TRUE(LineAs<kReceiptLineProductReturn>(r, 1)->fFreeOfCharge);
  EXPECT_EQ(LineAs<kReceiptLineProductReturn>(r, 1)->fAttribute, rla_Service);
  EXPECT_EQ(LineAs<kReceiptLineWeightedProductSale>(r, 2)->fTare, A("0.01"));
  // A redeemed voucher never reads FreeOfCharge.
  EXPECT_FALSE(LineAs<kReceiptLineVoucherRedeem>(r, 4)->fFreeOfCharge);
  EXPECT_EQ(LineAs<kReceiptLineDiscountPercentage>(r, 10)->fPercentage, A("10"));
  // Markups are discounts of the same shape; returns are sales.
  EXPECT_NE(dynamic_cast<kReceiptLineDiscountAmount*>(r.fLines[13]), nullptr);
  EXPECT_NE(dynamic_cast<kReceiptLineDiscountPercentageOnSubTotal*>(r.fLines[16]), nullptr);
  EXPECT_EQ(LineAs<kReceiptLineCollectAmount>(r, 17)->fAmount, A("3.4"));

  ASSERT_EQ(r.fTaxes.Count(), 2u);  // the Vat element is skipped
  EXPECT_EQ(r.fTaxes[0]->fTaxRate, A("22"));
  EXPECT_EQ(r.fTaxes[0]->GetCustomAttribute("NATURE"), "N1");
  EXPECT_EQ(r.fTaxes[1]->fTaxType, tt_SalesTax);
  ASSERT_EQ(r.fPayments.Count(), 2u);
  EXPECT_EQ(r.fPayments[1]->fPaymentType, Rpt_Change);
  EXPECT_TRUE(r.fPayments[1]->CustomAttributeExists("drawer"));

  ASSERT_EQ(r.fTrailerMessages.Count(), 3u);  // Sound is skipped
  auto* barcode = dynamic_cast<kReceiptMessageBarcodeLine*>(r.fTrailerMessages[0]);
  ASSERT_NE(barcode, nullptr);
  EXPECT_EQ(barcode->fBarcodeType, bt_EAN13);
  EXPECT_FALSE(barcode->fHRI);
  EXPECT_EQ(barcode->fQRCodeMinVersion, 7);
  EXPECT_EQ(barcode->fAlignment, la_none);
  auto* text = dynamic_cast<kReceiptMessageTextLine*>(r.fTrailerMessages[1]);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->fSize, 2);
  EXPECT_EQ(text->fAlignment, la_center);
  EXPECT_EQ(text->fSection, rs_lead);
  EXPECT_EQ(text->fOwner, &r);
  auto* image = dynamic_cast<kReceiptMessageImageLine*>(r.fTrailerMessages[2]);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->fAlignment, la_left);
  EXPECT_EQ(image->fValue, "");  // the image's name is not read from a fiscal receipt
  ASSERT_EQ(r.fLeaderLines.Count(), 2u);
  auto* qr = dynamic_cast<kReceiptMessageBarcodeLine*>(r.fLeaderLines[1]);
  ASSERT_NE(qr, nullptr);
  EXPECT_TRUE(qr->fHRI);
  EXPECT_EQ(qr->fQRCodeMinVersion, 1);
}

TEST(ReceiptReaderTest, DefaultsOfAMinimalReceipt) {
  kReceipt r;
  Read(r, Minimal("<DateTime>2024-05-06T10:11:12</DateTime><CustomerZIPCode/><CustomerZipCode>123</CustomerZipCode>",
                  "<productsale><Amount>1</Amount></productsale>"));
  EXPECT_EQ(r.fLayout, "DocumentLayout");
  EXPECT_TRUE(r.fDefaultLayout);
  EXPECT_EQ(r.fBusinessDate, r.fReceiptDateTime);
  EXPECT_EQ(r.fCustomerZipCode, "123");
  EXPECT_EQ(r.fCustomerIdType, cid_NA);
  EXPECT_EQ(r.fOriginalReceipt.fReferenceType, rrt_OriginalReceipt);
  EXPECT_TRUE(r.fPrintReceipt);
  EXPECT_FALSE(r.fToBeInvoiced);
  auto* sale = LineAs<kReceiptLineProductSale>(r, 0);
  EXPECT_EQ(sale->fAttribute, rla_Service);
  EXPECT_FALSE(sale->fFreeOfCharge);
  EXPECT_EQ(sale->fQuantity, Amount());
  EXPECT_TRUE(r.fTaxes.Empty());
  EXPECT_TRUE(r.fPayments.Empty());
  EXPECT_TRUE(r.fTrailerMessages.Empty());
}

TEST(ReceiptReaderTest, ReceiptAsDocumentElementReadsTheSame) {
  kReceipt inner, root;
  std::string receipt = Minimal("<Number>5</Number>", "<text><Description>x</Description></text>");
  Read(inner, "<ReceiptPrinterManager>" + receipt + "</ReceiptPrinterManager>");
  Read(root, receipt);
  EXPECT_EQ(inner.Serialize(), root.Serialize());
}

TEST(ReceiptReaderTest, FailuresCarryTheFirstBadValue) {
  struct Case {
    std::string xml;
    std::string message;
  };
  const Case cases[] = {
      {"<ReceiptPrinterManager><Other/></ReceiptPrinterManager>", "Receipt node not found"},
      {"<Receipt><Lines/><Taxes/><Payments/></Receipt>", "ReceiptType  is invalid"},
      {"<Receipt><Type>Gift</Type><Lines/><Taxes/><Payments/></Receipt>", "ReceiptType gift is invalid"},
      {"<Receipt><Type>Sale</Type><Taxes/><Payments/></Receipt>", "Unable to find Lines node "},
      {"<Receipt><Type>Sale</Type><Lines/><Payments/></Receipt>", "Unable to find Taxes node "},
      {"<Receipt><Type>Sale</Type><Lines/><Taxes/></Receipt>", "Unable to find Payments node "},
      {Minimal("", "<Coupon/>"), "LineType coupon is invalid"},
      {Minimal("", "<productsale/><!-- note -->"), "LineType #comment is invalid"},
      {Minimal("", "<productsale><Price>1,50</Price></productsale>"),
       "Error in processing node Price as currency.\r\n'1,50' is not a valid floating point value"},
      {Minimal("<BusinessDate>2024-05-06</BusinessDate>"),
       "Error in processing node BusinessDate as datetime.\r\nDateTime Format invalid: [2024-05-06]"},
      // Layout comes before BusinessDate, which comes before Type.
      {"<Receipt><Layout><x/></Layout><BusinessDate>x</BusinessDate><Type>x</Type></Receipt>",
       "Error in processing node Layout as string.\r\nElement \"Layout\" does not contain a single text node"},
      {"<Receipt><BusinessDate>x</BusinessDate><Type>x</Type></Receipt>",
       "Error in processing node BusinessDate as datetime.\r\nDateTime Format invalid: [x]"},
      {Minimal("<CustomerIdType>visa</CustomerIdType>"), "CustomerIdType visa is invalid"},
      {Minimal("<ToBeInvoiced>yes</ToBeInvoiced>"),
       "Error in processing node ToBeInvoiced as boolean.\r\n'yes' is not a valid boolean value"},
      {Minimal("<CustomerDateOfBirth>1980-02-30</CustomerDateOfBirth>"),
       "Error in processing node CustomerDateOfBirth as date.\r\nDate Format invalid: [1980-02-30]"},
      {"<Receipt><Type>Sale</Type><Lines/><Taxes><Tax><Code>V</Code></Tax></Taxes><Payments/></Receipt>",
       "TaxType  is invalid"},
      {"<Receipt><Type>Sale</Type><Lines/><Taxes/><Payments><Payment/></Payments></Receipt>",
       "PaymentType  is invalid"},
      {"<Receipt><Type>Sale</Type><Lines/><Taxes/><Payments/><TrailerMessages><Text><Value>x</Value></Text>"
       "</TrailerMessages></Receipt>",
       "Alignment  is invalid"},
      {"<Receipt><Type>Sale</Type><Lines/><Taxes/><Payments/><LeaderLines><Barcode/></LeaderLines></Receipt>",
       "BarcodeType  is invalid"},
      {"<Receipt><Type>Sale</Type><Lines/><Taxes/><Payments/><LeaderLines><Image/></LeaderLines></Receipt>",
       "Alignment  is invalid"},
      {Minimal("", "<text><CustomAttributes><B>1</B><Colour>r<x/></Colour></CustomAttributes></text>"),
       "Error in processing node Colour as string.\r\nElement \"Colour\" does not contain a single text node"},
      {Minimal("", "<productsale><Amount>999999999999999</Amount></productsale>"),
       "Error in processing node Amount as currency.\r\n'999999999999999' is not a valid floating point value"},
  };
  for (const Case& c : cases) {
    kReceipt r;
    EXPECT_EQ(ErrorOf([&] { Read(r, c.xml); }), c.message) << c.xml;
  }
}

TEST(ReceiptReaderTest, CommentsAreNeitherHeadersNorAttributes) {
  kReceipt r;
  Read(r, Minimal("<Headers><H>one</H><!-- c --><H>two</H></Headers>",
                  "<text><CustomAttributes><!-- c --><A>1</A><A>2</A></CustomAttributes></text>"));
  EXPECT_EQ(r.fHeaders, (std::vector<std::string>{"one", "two"}));
  // A repeated name takes the value of its first element.
  EXPECT_EQ(r.fLines[0]->fCustomAttributes.Items(), (std::vector<std::string>{"a=1", "a=1"}));
}

TEST(ReceiptReaderTest, LinesReadBeforeAFailureStay) {
  kReceipt r;
  EXPECT_EQ(ErrorOf([&] { Read(r, Minimal("", "<text/><text/><bogus/>")); }), "LineType bogus is invalid");
  EXPECT_EQ(r.fLines.Count(), 2u);
}

TEST(ReceiptReaderTest, LineCountIsBounded) {
  std::string lines;
  for (size_t i = 0; i < kMaxReceiptLines; ++i) lines += "<text/>";
  kReceipt ok;
  Read(ok, Minimal("", lines));
  EXPECT_EQ(ok.fLines.Count(), kMaxReceiptLines);
  kReceipt tooMany;
  EXPECT_EQ(ErrorOf([&] { Read(tooMany, Minimal("", lines + "<text/>")); }), "Receipt has more than 10000 lines");
}

// ---------------------------------------------------------------------------------------
// Custom attributes and printable texts

TEST(CustomAttributesTest, SetRewritesAppendsAndRemoves) {
  kReceiptPaymentLine p(nullptr);
  p.SetCustomAttribute("Auth", "1");
  p.SetCustomAttribute("Other", "x=y");
  p.SetCustomAttribute("AUTH", "2");  // rewrites the first entry, with the name as given
  EXPECT_EQ(p.CustomAttributes().Items(), (std::vector<std::string>{"AUTH=2", "Other=x=y"}));
  EXPECT_EQ(p.GetCustomAttribute("other"), "x=y");
  p.SetCustomAttribute("auth", "");
  EXPECT_FALSE(p.CustomAttributeExists("Auth"));
  EXPECT_EQ(p.GetCustomAttribute("missing"), "");
  p.SetCustomAttribute("missing", "");  // removing nothing is fine
  EXPECT_EQ(p.CustomAttributes().Count(), 1u);
}

TEST(LineBuilderTest, EachBuilderFillsItsLineWithoutAppendingIt) {
  kReceipt r;
  auto sale = kReceiptLineProductSale::Build(&r, "C1", "Pen", A("2"), "pz", "D1", "T1", A("1.5"), A("3"), "info",
                                             "V9");
  auto discount = kReceiptLineDiscountAmount::Build(&r, "Off", A("0.5"), "R1", "note", "da");
  auto percentage = kReceiptLineDiscountPercentage::Build(&r, "Pct", A("10"), A("0.3"), "R2", "n2", "dp");
  auto card = kReceiptLineGiftCardSale::Build(&r, "G1", "Card", "D2", "T2", A("25"), "gs");
  auto redeem = kReceiptLineGiftCardRedeem::Build(&r, "G2", "Use", "D3", "T3", A("5"), "M", "gr");
  EXPECT_EQ(r.fLines.Count(), 0u);

  const kReceiptLine* all[] = {sale.get(), discount.get(), percentage.get(), card.get(), redeem.get()};
  const vnReceiptLineType types[] = {rlt_ProductSale, rlt_DiscountAmount, rlt_DiscountPercentage, rlt_GiftCardSale,
                                     rlt_GiftCardRedeem};
  const char* infos[] = {"info", "da", "dp", "gs", "gr"};
  const Amount amounts[] = {A("3"), A("-0.5"), A("-0.3"), A("25"), A("-5")};
  for (size_t i = 0; i < std::size(all); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(all[i]->fOwner, &r);
    EXPECT_EQ(all[i]->fLineType, types[i]);
    EXPECT_EQ(all[i]->fAdditionalInfo, infos[i]);
    EXPECT_EQ(all[i]->GetAmount(), amounts[i]);
  }
  EXPECT_EQ(std::make_tuple(sale->fCode, sale->fDescription, sale->fQuantity, sale->fUOM, sale->fDepartment,
                            sale->fTaxCode, sale->fPrice, sale->fVoucherCode),
            std::make_tuple("C1", "Pen", A("2"), "pz", "D1", "T1", A("1.5"), "V9"));
  EXPECT_EQ(std::make_tuple(discount->fDescription, discount->fReasonCode, discount->fReasonNote),
            std::make_tuple("Off", "R1", "note"));
  EXPECT_EQ(std::make_tuple(percentage->fDescription, percentage->fPercentage, percentage->fReasonCode,
                            percentage->fReasonNote),
            std::make_tuple("Pct", A("10"), "R2", "n2"));
  EXPECT_EQ(std::make_tuple(card->fCode, card->fDescription, card->fDepartment, card->fTaxCode),
            std::make_tuple("G1", "Card", "D2", "T2"));
  EXPECT_EQ(std::make_tuple(redeem->fCode, redeem->fDescription, redeem->fDepartment, redeem->fTaxCode,
                            redeem->fTaxMode),
            std::make_tuple("G2", "Use", "D3", "T3", "M"));
}

TEST(PrintableTextTest, SpecialCharsFollowTheOwner) {
  kReceipt r;
  auto line = kReceiptLineProductSale::Build(&r, "C", "CAFF\u00C8 TOTALE", Amount(), "", "", "", Amount(), Amount(),
                                             "", "");
  auto text = kReceiptMessageTextLine::Create(&r);
  text->fValue = "\u20AC 5";
  EXPECT_EQ(line->GetDescription(), "CAFFE TOT.");
  EXPECT_EQ(text->GetValue(), "E 5");
  // The flag is read when the text is fetched, so setting it after reading counts.
  r.fSupportSpecialChars = true;
  EXPECT_EQ(line->GetDescription(), "CAFF\u00C8 TOTALE");
  EXPECT_EQ(text->GetValue(), "\u20AC 5");
  EXPECT_EQ(line->fDescription, "CAFF\u00C8 TOTALE");
  // Without owner (a display line) the text is always normalised.
  auto orphan = kReceiptMessageTextLine::Create(nullptr);
  orphan->fValue = "\u00C8";
  EXPECT_EQ(orphan->GetValue(), "E");
  auto orphanLine = kReceiptLineText(nullptr);
  orphanLine.fDescription = "\u00E8";
  EXPECT_EQ(orphanLine.GetDescription(), "e");
}

TEST(PrintableTextTest, NonFiscalOwnerGovernsItsLines) {
  kNFReceipt owner;
  auto text = kReceiptMessageTextLine::CreateNF(&owner);
  text->fValue = "\u00C0";
  EXPECT_EQ(text->fNFOwner, &owner);
  EXPECT_EQ(text->fOwner, nullptr);
  EXPECT_EQ(text->GetValue(), "A");
  owner.fSupportSpecialChars = true;
  EXPECT_EQ(text->GetValue(), "\u00C0");
}

}  // namespace
}  // namespace fp

namespace fp {
namespace {

// Damaged requests: every outcome is a model or a kException, never a crash. Mutations are
// drawn from a fixed seed so a failure reproduces.
TEST(ReceiptReaderTest, DamagedRequestsFailCleanly) {
  const std::string original = ReadDataFile("full_receipt.xml");
  const char kBytes[] = {'<', '>', '/', '!', '-', 'x', '0', ',', '.', '&', '\xC3', '\x88', ' ', '\n'};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFFFF; };
  for (int round = 0; round < 2000; ++round) {
    std::string text = original;
    for (int edits = 1 + next() % 4; edits > 0; --edits) {
      size_t at = next() % text.size();
      switch (next() % 3) {
        case 0: text[at] = kBytes[next() % sizeof kBytes]; break;
        case 1: text.erase(at, 1 + next() % 12); break;
        default: text.insert(at, 1, kBytes[next() % sizeof kBytes]); break;
      }
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_comments, pugi::encoding_utf8))
      continue;
    kReceipt r;
    try {
      r.Deserialize(doc);
      r.fTotalAmount = r.GetCalculatedAmount();
      r.CalcLinesNetAmount();
      kReceipt back;
      pugi::xml_document written;
      std::string out = r.Serialize();
      ASSERT_TRUE(written.load_buffer(out.data(), out.size(), pugi::parse_default, pugi::encoding_utf8));
      back.Deserialize(written);
    } catch (const kException&) {
    }
  }
}

}  // namespace
}  // namespace fp
