#include "documents/krpt_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "base/errors.h"
#include "base/platform.h"
#include "base/xml_text.h"
#include "document_test_support.h"

namespace fp {

using fp_test::ErrorOf;

namespace {

using U = krptUtil;

// A parent element <P> holding aInner.
struct Xml {
  explicit Xml(const std::string& aInner) {
    std::string text = "<P>" + aInner + "</P>";
    auto result = doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_comments,
                                  pugi::encoding_utf8);
    EXPECT_TRUE(result) << result.description();
  }
  pugi::xml_node P() { return doc.child("P"); }
  pugi::xml_document doc;
};

// ---------------------------------------------------------------------------------------
// Codecs

TEST(CodecTest, DecodersLowerCaseButDoNotTrim) {
  struct Case {
    std::function<int(std::string_view)> decode;
    const char* text;
    int ordinal;  // -1: fails with message
    const char* message;
  };
  auto rt = [](std::string_view t) { return int(U::DecodeReceiptType(t)); };
  auto lt = [](std::string_view t) { return int(U::DecodeLineType(t)); };
  auto pt = [](std::string_view t) { return int(U::DecodePaymentType(t)); };
  auto tt = [](std::string_view t) { return int(U::DecodeTaxType(t)); };
  auto cid = [](std::string_view t) { return int(U::DecodeCustomerIdType(t)); };
  auto al = [](std::string_view t) { return int(U::DecodeAlignment(t)); };
  auto bt = [](std::string_view t) { return int(U::DecodeBarcodeType(t)); };
  auto is = [](std::string_view t) { return int(U::DecodeImageSource(t)); };
  auto ejt = [](std::string_view t) { return int(U::DecodeEJReportType(t)); };
  auto ejd = [](std::string_view t) { return int(U::DecodeEJReportDestination(t)); };
  auto ejr = [](std::string_view t) { return int(U::DecodeEJRequestType(t)); };
  const Case cases[] = {
      {rt, "SALE", rt_Sale, ""},
      {rt, "Sale", rt_Sale, ""},
      {rt, "InvoiceSaleFromReceipt", rt_InvoiceSaleFromReceipt, ""},
      {rt, " Sale", -1, "ReceiptType  sale is invalid"},
      {rt, "", -1, "ReceiptType  is invalid"},
      {lt, "ProductSale", rlt_ProductSale, ""},
      {lt, "markuppercentageonsubtotal", rlt_MarkupPercentageOnSubTotal, ""},
      {lt, "CollectAmount", rlt_CollectAmount, ""},
      {lt, "Coupon", -1, "LineType coupon is invalid"},
      {pt, "CHANGE", Rpt_Change, ""},
      {pt, "MealVoucher", Rpt_MealVoucher, ""},
      {pt, "bitcoin", -1, "PaymentType bitcoin is invalid"},
      {tt, "Vat", tt_VAT, ""},
      {tt, "SalesTax", tt_SalesTax, ""},
      {tt, "", -1, "TaxType  is invalid"},
      {cid, "", cid_NA, ""},
      {cid, "NA", cid_NA, ""},
      {cid, "Passport", cid_Passport, ""},
      {cid, "NationalID", cid_NationalId, ""},
      {cid, "driving", -1, "CustomerIdType driving is invalid"},
      {al, "Center", la_center, ""},
      {al, "left", la_left, ""},
      {al, "RIGHT", la_right, ""},
      {al, "", -1, "Alignment  is invalid"},
      {al, "middle", -1, "Alignment middle is invalid"},
      {al, "\x01", -1, "Alignment \x01 is invalid"},  // no text, however odd, means "none"
      {bt, "QRCode", bt_QRCODE, ""},
      {bt, "Interleaved2of5", bt_Interleaved2Of5, ""},
      {bt, "pdf417", -1, "BarcodeType pdf417 is invalid"},
      {is, "", is_FileSystem, ""},
      {is, "Resource", is_Resource, ""},
      {is, "web", -1, "Image Source web is invalid"},
      {ejt, "CreditNote", ejrt_CreditNote, ""},
      {ejt, "x", -1, "ReportType x is invalid"},
      {ejd, "Memory", rd_Memory, ""},
      {ejd, "disk", -1, "ReportDestination disk is invalid"},
      {ejr, "XML", ej_xml, ""},
      {ejr, "json", -1, "ReferenceType json is invalid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.ordinal >= 0)
      EXPECT_EQ(c.decode(c.text), c.ordinal);
    else
      EXPECT_EQ(ErrorOf([&] { c.decode(c.text); }), c.message);
  }
}

TEST(CodecTest, LenientDecodersNeverFail) {
  EXPECT_EQ(U::DecodeReferenceType(""), rrt_OriginalReceipt);
  EXPECT_EQ(U::DecodeReferenceType("EFTReceipt"), rrt_EFTReceipt);
  EXPECT_EQ(U::DecodeReferenceType("notavailable"), rrt_NotAvailable);
  EXPECT_EQ(U::DecodeReferenceType("Empties"), rrt_Empties);
  EXPECT_EQ(U::DecodeReferenceType("whatever"), rrt_OriginalReceipt);
  EXPECT_EQ(U::DecodeLineAttribute("Product"), rla_Product);
  EXPECT_EQ(U::DecodeLineAttribute(""), rla_Service);
  EXPECT_EQ(U::DecodeLineAttribute("products"), rla_Service);
}

TEST(CodecTest, EncodersWriteTheirTexts) {
  EXPECT_EQ(U::EncodeReceiptType(rt_InvoiceSale), "InvoiceSale");
  EXPECT_EQ(U::EncodeLineType(rlt_DiscountAmountOnSubtotal), "discountamountonsubtotal");
  EXPECT_EQ(U::EncodePaymentType(rpt_CreditCard), "creditcard");
  EXPECT_EQ(U::EncodeTaxType(tt_VAT), "VAT");
  EXPECT_EQ(U::EncodeTaxType(tt_SalesTax), "SalesTax");
  EXPECT_EQ(U::EncodeReferenceType(rrt_EFTReceipt), "EFTReceipt");
  EXPECT_EQ(U::EncodeCustomerIdType(cid_NA), "");
  EXPECT_EQ(U::EncodeCustomerIdType(cid_NationalId), "nationalid");
  EXPECT_EQ(U::EncodeAlignment(la_none), "");
  EXPECT_EQ(U::EncodeAlignment(la_center), "center");
  EXPECT_EQ(U::EncodeBarcodeType(bt_CODE128), "code128");
  EXPECT_EQ(U::EncodeImageSource(is_Resource), "resource");
  EXPECT_EQ(U::EncodeImageSource(is_FileSystem), "filesystem");
  // An ordinal outside the type has no text.
  EXPECT_EQ(U::EncodeReceiptType(static_cast<vnReceiptType>(9)), "");
  // Every line type and payment type reads back from its written text.
  for (int i = 0; i <= rlt_CollectAmount; ++i)
    EXPECT_EQ(U::DecodeLineType(U::EncodeLineType(static_cast<vnReceiptLineType>(i))), i);
  for (int i = 0; i <= Rpt_Change; ++i)
    EXPECT_EQ(U::DecodePaymentType(U::EncodePaymentType(static_cast<vnReceiptPaymentType>(i))), i);
}

TEST(CodecTest, EffectSets) {
  EXPECT_EQ(U::DecodeEffects("bold,italic"), EffectBit(le_bold) | EffectBit(le_italic));
  EXPECT_EQ(U::DecodeEffects("Condensed"), EffectBit(le_condensed));
  EXPECT_EQ(U::DecodeEffects("bold,,italic"), EffectBit(le_bold));
  EXPECT_EQ(U::DecodeEffects("bold,"), EffectBit(le_bold));
  EXPECT_EQ(U::DecodeEffects(""), 0);
  EXPECT_EQ(ErrorOf([] { U::DecodeEffects("bold, italic"); }), "Effect  italic is invalid");
  EXPECT_EQ(U::EncodeEffects(0), "");
  EXPECT_EQ(U::EncodeEffects(EffectBit(le_underline) | EffectBit(le_bold) | EffectBit(le_invertcolors)),
            "bold,underline,invertcolors");
  EXPECT_EQ(U::DecodeEffects(U::EncodeEffects(0xFF)), 0xFF);
}

// ---------------------------------------------------------------------------------------
// Node readers

TEST(NodeReaderTest, MissingElementsGiveDefaultsAndNeverFail) {
  Xml x("<Other>x</Other>");
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "V"), "");
  EXPECT_TRUE(U::GetNodeValueAsBoolean(x.P(), "V", true));
  EXPECT_FALSE(U::GetNodeValueAsBoolean(x.P(), "V", false));
  EXPECT_EQ(U::GetNodeValueAsCurrency(x.P(), "V"), Amount());
  EXPECT_EQ(U::GetNodeValueAsInteger(x.P(), "V"), 0);
  EXPECT_EQ(U::GetNodeValueAsDate(x.P(), "V"), 0);
  EXPECT_EQ(U::GetNodeValueAsDateTime(x.P(), "V"), 0);
  // Names match exactly.
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "other"), "");
  EXPECT_FALSE(U::HasNode(x.P(), "other"));
  EXPECT_TRUE(U::HasNode(x.P(), "Other"));
}

TEST(NodeReaderTest, EmptyElements) {
  Xml x("<V/>");
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "V"), "");
  EXPECT_EQ(U::GetNodeValueAsCurrency(x.P(), "V"), Amount());
  EXPECT_EQ(U::GetNodeValueAsInteger(x.P(), "V"), 0);
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsBoolean(x.P(), "V", true); }),
            "Error in processing node V as boolean.\r\n'' is not a valid boolean value");
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsDate(x.P(), "V"); }),
            "Error in processing node V as date.\r\nDate Format invalid: []");
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsDateTime(x.P(), "V"); }),
            "Error in processing node V as datetime.\r\nDateTime Format invalid: []");
  EXPECT_EQ(U::TryGetNodeValueAsDateTime(x.P(), "V"), 0);
}

TEST(NodeReaderTest, FirstOfSeveralElementsCounts) {
  Xml x("<V>1</V><V>2</V>");
  EXPECT_EQ(U::GetNodeValueAsInteger(x.P(), "V"), 1);
}

TEST(NodeReaderTest, Booleans) {
  const std::pair<const char*, bool> cases[] = {{"1", true},     {"-1", true},  {"TRUE", true},  {"true", true},
                                                {"0", false},    {"false", false}, {"FaLsE", false}, {"0.0", false},
                                                {"2.5", true},   {" 1 ", true},  {"1e-9", true}};
  for (auto [text, expected] : cases) {
    Xml x(std::string("<B>") + text + "</B>");
    EXPECT_EQ(U::GetNodeValueAsBoolean(x.P(), "B", !expected), expected) << text;
  }
  for (const char* bad : {"yes", "nan", "inf", "1x"}) {
    Xml x(std::string("<B>") + bad + "</B>");
    EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsBoolean(x.P(), "B", false); }),
              std::string("Error in processing node B as boolean.\r\n'") + bad + "' is not a valid boolean value");
  }
}

TEST(NodeReaderTest, Currency) {
  const std::pair<const char*, int64_t> cases[] = {{"12.3456", 123456}, {"12.34567", 123457}, {"1e2", 1000000},
                                                   {" -3.5 ", -35000},  {"+0.00005", 1},       {".5", 5000}};
  for (auto [text, raw] : cases) {
    Xml x(std::string("<Price>") + text + "</Price>");
    EXPECT_EQ(U::GetNodeValueAsCurrency(x.P(), "Price").Raw(), raw) << text;
  }
  for (const char* bad : {"1,000.00", "12a", "-", "99999999999999999999"}) {
    Xml x(std::string("<Price>") + bad + "</Price>");
    EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsCurrency(x.P(), "Price"); }),
              std::string("Error in processing node Price as currency.\r\n'") + bad +
                  "' is not a valid floating point value");
  }
}

TEST(NodeReaderTest, Integers) {
  const std::pair<const char*, int32_t> cases[] = {
      {"42", 42}, {"  -7", -7}, {"+3", 3}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}};
  for (auto [text, value] : cases) {
    Xml x(std::string("<Size>") + text + "</Size>");
    EXPECT_EQ(U::GetNodeValueAsInteger(x.P(), "Size"), value) << text;
  }
  for (const char* bad : {"2147483648", "1.5", "7 ", "x", "99999999999999999999999"}) {
    Xml x(std::string("<Size>") + bad + "</Size>");
    EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsInteger(x.P(), "Size"); }),
              std::string("Error in processing node Size as integer.\r\n'") + bad + "' is not a valid integer value");
  }
}

TEST(NodeReaderTest, ContentThatIsNotOneTextFailsAsTheReaderKind) {
  Xml x("<V><X>1</X></V><W>a<!-- c -->b</W><C><![CDATA[<raw>]]></C>");
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsString(x.P(), "V"); }),
            "Error in processing node V as string.\r\nElement \"V\" does not contain a single text node");
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsCurrency(x.P(), "W"); }),
            "Error in processing node W as currency.\r\nElement \"W\" does not contain a single text node");
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "C"), "<raw>");
}

TEST(NodeReaderTest, DatesAndDateTimes) {
  Xml x(
      "<D>2024-05-06</D><T>2024-05-06T10:11:12</T><M>2024-05-06 10:11:12.5</M><Z>2024-05-06T10:11:12.123Z</Z>"
      "<Bad>2024-02-30</Bad><Short>2024-05-06</Short>");
  EXPECT_EQ(U::GetNodeValueAsDate(x.P(), "D"), *EncodeDate(2024, 5, 6));
  EXPECT_EQ(U::GetNodeValueAsDateTime(x.P(), "T"), *EncodeDateTime(2024, 5, 6, 10, 11, 12, 0));
  EXPECT_EQ(U::GetNodeValueAsDateTime(x.P(), "M"), *EncodeDateTime(2024, 5, 6, 10, 11, 12, 5));
  EXPECT_EQ(U::GetNodeValueAsDateTime(x.P(), "Z"), *EncodeDateTime(2024, 5, 6, 10, 11, 12, 123));
  // A date-time element holding a date reads as its date.
  EXPECT_EQ(U::GetNodeValueAsDate(x.P(), "T"), *EncodeDate(2024, 5, 6));
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsDate(x.P(), "Bad"); }),
            "Error in processing node Bad as date.\r\nDate Format invalid: [2024-02-30]");
  EXPECT_EQ(ErrorOf([&] { U::GetNodeValueAsDateTime(x.P(), "Short"); }),
            "Error in processing node Short as datetime.\r\nDateTime Format invalid: [2024-05-06]");
  EXPECT_EQ(U::TryGetNodeValueAsDateTime(x.P(), "Short"), 0);
}

TEST(NodeReaderTest, AttributesAndAddedNodes) {
  Xml x("<V a=\"1\"/>");
  EXPECT_EQ(U::GetAttributeValueAsString(x.P().child("V"), "a"), "1");
  EXPECT_EQ(U::GetAttributeValueAsString(x.P().child("V"), "b"), "");
  pugi::xml_node added = U::AddNode(x.P(), "New", "v & w");
  EXPECT_EQ(added, x.P().last_child());
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "New"), "v & w");
  EXPECT_EQ(U::NodeValue(U::AddNode(x.P(), "Empty", "")), "");
}

// ---------------------------------------------------------------------------------------
// Text forms

TEST(XmlTextTest, DateFieldsAndFailures) {
  EXPECT_EQ(XmlTextToDate("2024/05/06"), *EncodeDate(2024, 5, 6));  // separators are not checked
  EXPECT_EQ(XmlTextToDate(" 999- 1- 2"), *EncodeDate(999, 1, 2));     // blanks lead a field
  for (const char* bad : {"2024-5-6", "2024-13-01", "2023-02-29", "abcd-01-01", "2024-01-0", "0000-01-01"})
    EXPECT_EQ(ErrorOf([&] { XmlTextToDate(bad); }), std::string("Date Format invalid: [") + bad + "]");
  EXPECT_EQ(XmlTextToDate("2024-02-29"), *EncodeDate(2024, 2, 29));
  for (const char* bad : {"2024-05-06T24:00:00", "2024-05-06T10:60:00", "2024-05-06T10:11", "2024-05-06T10:11:12.-1"})
    EXPECT_EQ(ErrorOf([&] { XmlTextToDateTime(bad); }), std::string("DateTime Format invalid: [") + bad + "]");
  EXPECT_EQ(XmlTextToDateTime("2024-05-06T10:11:12.xyz"), *EncodeDateTime(2024, 5, 6, 10, 11, 12, 0));
}

TEST(XmlTextTest, Writers) {
  DateTime t = *EncodeDateTime(2024, 5, 6, 7, 8, 9, 45);
  EXPECT_EQ(DateToXmlText(t), "2024-05-06");
  EXPECT_EQ(DateTimeToXmlText(t), "2024-05-06T07:08:09");
  EXPECT_EQ(DateTimeToXmlText(t, true), "2024-05-06T07:08:09.045");
  EXPECT_EQ(DateTimeToXmlText(0), "1899-12-30T00:00:00");
  EXPECT_EQ(AmountToXmlText(Amount::FromRaw(125000)), "12.5");
  EXPECT_EQ(AmountToXmlText(Amount::FromRaw(30000)), "3");
  EXPECT_EQ(AmountToXmlText(Amount::FromRaw(-1)), "-0.0001");
  EXPECT_EQ(BoolToXmlText(true), "True");
  EXPECT_EQ(BoolToXmlText(false), "False");
  // What the writers produce, the readers take back.
  EXPECT_EQ(XmlTextToDateTime(DateTimeToXmlText(t, true)), t);
}

// ---------------------------------------------------------------------------------------
// Printable text

TEST(NormalizeTextTest, Table) {
  const std::pair<const char*, const char*> cases[] = {
      {"CAFF\u00C8", "CAFFE"},
      {"\u00C0\u00D9\u00C8\u00C9\u00D2\u00D6\u00C7\u00CF\u00CC", "AUEEOOCII"},
      {"5 \u20AC", "5 E"},
      {"TOTALE 5", "TOT. 5"},
      {"totale", "totale"},
      {"caff\u00E8 macchiato", "caffe macchiato"},
      {"T\u00E8 \u00E0 \u00F9 \u00F2 \u00EC \u00E9", "Te a u o i e"},
      {"\u00C1\u00C2\u00C3\u00C4\u00C5\u00D1\u00D8\u00DD", "AAAAANOY"},
      {"\u00E1\u00E2\u00E3\u00E4\u00E5\u00E7\u00F1\u00F8\u00FD\u00FF", "aaaaacnoyy"},
      {"\u0160\u0161\u017D\u017E\u0141\u0142\u0150\u0151\u0218\u021B", "SsZzLlOoSt"},
      {"Caffe\u0300 e\u0301", "Caffe e"},  // accents typed as combining marks
      {"\u0300x", " x"},                    // a mark with no letter before it
      {"\u00C6\u00E6\u0152\u00DE\u00D7", "     "},  // ligatures and signs are no accented letters
      {"a\nb\tc", "a b c"},
      {"\u00DF\u4E2D\U0001F600", "   "},
      {"SUBTOTALE", "SUBTOT."},
      {"TOTAL\u00C8", "TOT."},
      {"\xFF", " "},
      {"", ""},
  };
  for (auto [in, out] : cases) EXPECT_EQ(U::NormalizeText(in), out) << in;
}

// ---------------------------------------------------------------------------------------
// Code page repair

// The cases read Western (1252) text: set through FPDRIVER_ACP on POSIX; Windows takes the
// code page from the system locale (under Wine from LC_ALL, 1252 for C and English).
class ChangeXMLEncodingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("FPDRIVER_ACP", "1252", 1);
    ASSERT_EQ(AnsiCodePage(), 1252) << "these cases need the Western ANSI code page";
  }
  void TearDown() override { unsetenv("FPDRIVER_ACP"); }
};

TEST_F(ChangeXMLEncodingTest, GreekRedecodesTextValuesOnly) {
  // Greek text that went through a Western code page arrives as the Latin-1 look-alikes of
  // its Windows-1253 bytes: "ÊÁÖÅ" are the bytes of "ΚΑΦΕ".
  Xml x("<A k=\"\u00CA\">\u00CA\u00C1\u00D6\u00C5</A><B><C>abc</C><!--\u00C1--></B><E/>");
  U::ChangeXMLEncoding(x.P(), "GR");
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "A"), "\u039A\u0391\u03A6\u0395");
  EXPECT_EQ(U::GetNodeValueAsString(x.P().child("B"), "C"), "abc");
  EXPECT_EQ(std::string(x.P().child("B").last_child().value()), "\u0391");
  EXPECT_EQ(U::GetAttributeValueAsString(x.P().child("A"), "k"), "\u00CA");
}

TEST_F(ChangeXMLEncodingTest, UnmappableCharactersAndOtherCharsets) {
  Xml x("<A>\u4E2D\u00CA</A>");
  U::ChangeXMLEncoding(x.P(), "it");
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "A"), "\u4E2D\u00CA");
  U::ChangeXMLEncoding(x.P(), "gr");
  EXPECT_EQ(U::GetNodeValueAsString(x.P(), "A"), "?\u039A");
}

TEST_F(ChangeXMLEncodingTest, DeepTreesDoNotExhaustTheStack) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<d>";
  deep += "\u00C1";
  for (int i = 0; i < 100000; ++i) deep += "</d>";
  Xml x(deep);
  U::ChangeXMLEncoding(x.P(), "gr");
  pugi::xml_node n = x.P();
  while (n.first_child()) n = n.first_child();
  EXPECT_EQ(std::string(n.value()), "\u0391");
}

TEST_F(ChangeXMLEncodingTest, UnknownAnsiCodePageFailsClearly) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows's ANSI code page is GetACP(), one of the system's own code pages, which it always "
                  "converts: no process can have one the system does not know";
#endif
  setenv("FPDRIVER_ACP", "4242", 1);
  Xml x("<A>a</A>");
  EXPECT_EQ(ErrorOf([&] { U::ChangeXMLEncoding(x.P(), "gr"); }), "Code page 4242 is not supported");
}

}  // namespace
}  // namespace fp
