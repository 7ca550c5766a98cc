#include <gtest/gtest.h>

#include <typeinfo>

#include "base/errors.h"
#include "base/text.h"
#include "documents/krpt_util.h"
#include "documents/receipt.h"
#include "documents/receipt_line_types.h"
#include "document_test_support.h"

namespace fp {

using fp_test::A;
using fp_test::ParseXml;
using fp_test::ReadDataFile;

namespace {

void Read(kReceipt& aReceipt, const std::string& aText) {
  pugi::xml_document doc;
  ASSERT_TRUE(ParseXml(doc, aText));
  aReceipt.Deserialize(doc);
}

std::string WithoutNewlines(std::string aText) {
  std::string out;
  for (char c : aText)
    if (c != '\n' && c != '\r') out += c;
  return out;
}

TEST(ReceiptWriterTest, MinimalReceiptWritesEveryElementInOrder) {
  kReceipt r;
  Read(r, "<Receipt><Type>sale</Type><Lines><productsale><Amount>12.5000</Amount><Quantity>1</Quantity>"
          "</productsale></Lines><Taxes/><Payments/></Receipt>");
  std::string expected = WithoutNewlines(ReadDataFile("minimal_written.xml"));
  EXPECT_EQ(r.Serialize(), expected);
}

TEST(ReceiptWriterTest, FullReceiptReadsBackToTheSameModel) {
  kReceipt first;
  Read(first, ReadDataFile("full_receipt.xml"));
  first.fLines[0]->SetCustomAttribute("Batch", "B7");  // a name as given by code, kept as is
  const std::string written = first.Serialize();

  kReceipt second;
  Read(second, written);
  // The e-mail address goes out as CustomerEmail, which the reader does not take.
  EXPECT_EQ(second.fCustomerEmail, "");
  second.fCustomerEmail = first.fCustomerEmail;
  // Names read from a request are lower-cased; code may set any letter case.
  EXPECT_EQ(second.fLines[0]->fCustomAttributes.Items().back(), "batch=B7");
  second.fLines[0]->SetCustomAttribute("Batch", "B7");
  EXPECT_EQ(second.Serialize(), written);

  // Spot checks that the text itself carries the values.
  EXPECT_NE(written.find("<?xml version=\"1.0\" encoding=\"utf-8\"?><Receipt><Layout>Shop</Layout>"),
            std::string::npos);
  EXPECT_NE(written.find("<Description>CAFF\u00C8</Description>"), std::string::npos);  // not normalised
  EXPECT_NE(written.find("<CustomAttributes><colour>red</colour><size>L</size><Batch>B7</Batch></CustomAttributes>"),
            std::string::npos);
  EXPECT_NE(written.find("<Amount>5</Amount><Tare>0.01</Tare><FreeOfCharge>False</FreeOfCharge>"),
            std::string::npos);
  EXPECT_NE(written.find("<productreturn><Code>A2</Code>"), std::string::npos);
  EXPECT_NE(written.find("<FreeOfCharge>True</FreeOfCharge><Attribute>service</Attribute>"), std::string::npos);
  EXPECT_NE(written.find("<voucherredeem><Code>V2</Code><Description>Voucher back</Description><Department/>"
                         "<TaxCode/><Price>4</Price><CustomAttributes/></voucherredeem>"),
            std::string::npos);
  EXPECT_NE(written.find("<CustomerDateOfBirth>1980-02-29</CustomerDateOfBirth>"), std::string::npos);
  EXPECT_NE(written.find("<TrailerMessages><Barcode><Value>8001234567890</Value><Type>ean13</Type><HRI>False</HRI>"
                         "<QRCodeMinVersion>7</QRCodeMinVersion></Barcode><Text><Value>Arrivederci</Value>"
                         "<Size>2</Size><Alignment>center</Alignment></Text><Image><Alignment>left</Alignment>"
                         "</Image></TrailerMessages><LeaderLines>"),
            std::string::npos);
  EXPECT_EQ(second.fLines.Count(), 18u);
  EXPECT_EQ(second.fTaxes.Count(), 2u);
  EXPECT_EQ(second.fOriginalReceipt.fReferenceType, rrt_Empties);
  EXPECT_EQ(second.fHeaders, first.fHeaders);
}

// Each line type of the list reads and writes under its own element, in any letter case, with
// the class the list gives it.
TEST(ReceiptWriterTest, EveryLineTypeKeepsItsElementAndClass) {
  struct Case {
    vnReceiptLineType type;
    const char* element;
    const std::type_info& cls;
  };
#define FP_CASE(aType, aElement, aClass, aHook) Case{aType, aElement, typeid(aClass)},
  const Case kCases[] = {FP_RECEIPT_LINE_TYPES(FP_CASE)};
#undef FP_CASE
  ASSERT_EQ(std::size(kCases), 18u);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.element);
    EXPECT_EQ(ReceiptLineElement(c.type), c.element);
    EXPECT_EQ(ReceiptLineTypeNamed(UpperCase(c.element)), c.type);
    kReceipt r;
    r.fLayout = "Shop";  // an empty one reads back as the default layout
    r.fLines.Add(CreateReceiptLine(c.type, &r));
    const std::string written = r.Serialize();
    EXPECT_NE(written.find("<Lines><" + std::string(c.element) + ">"), std::string::npos);
    kReceipt back;
    Read(back, written);
    ASSERT_EQ(back.fLines.Count(), 1u);
    EXPECT_EQ(back.fLines[0]->fLineType, c.type);
    const auto& line = *back.fLines[0];
    EXPECT_TRUE(typeid(line) == c.cls);
    EXPECT_EQ(back.Serialize(), written);
  }
  try {
    ReceiptLineTypeNamed("GiftCard");
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "LineType giftcard is invalid");
  }
}

TEST(ReceiptWriterTest, DefaultedLayoutReadsBackAsGiven) {
  kReceipt first;
  Read(first, "<Receipt><Type>Void</Type><Lines/><Taxes/><Payments/></Receipt>");
  ASSERT_TRUE(first.fDefaultLayout);
  kReceipt second;
  Read(second, first.Serialize());
  EXPECT_EQ(second.fLayout, "DocumentLayout");
  EXPECT_FALSE(second.fDefaultLayout);
  EXPECT_EQ(second.fReceiptType, rt_Void);
}

TEST(ReceiptWriterTest, TextsAreEscaped) {
  kReceipt r;
  r.fStoreAddress = "A & B <C> \"D\"";
  r.fLines.Add(kReceiptLineDiscountAmount::Build(&r, "</Description>", A("1"), "", "", ""));
  kReceipt back;
  Read(back, r.Serialize());
  EXPECT_EQ(back.fStoreAddress, r.fStoreAddress);
  EXPECT_EQ(static_cast<kReceiptLineDiscountAmount*>(back.fLines[0])->fDescription, "</Description>");
}

TEST(ReceiptWriterTest, AttributeNameThatCannotBeAnElementFails) {
  kReceipt r;
  auto tax = std::make_unique<kReceiptTaxLine>(&r);
  tax->SetCustomAttribute("two words", "x");
  r.fTaxes.Add(std::move(tax));
  try {
    r.Serialize();
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Custom attribute name two words is invalid");
  }
}

}  // namespace
}  // namespace fp
