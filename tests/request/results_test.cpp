// The result fragments exactly as hosts receive them.
#include <gtest/gtest.h>

#include <string>

#include "base/datetime.h"
#include "request/results.h"
#include "support/result_fragments.h"
#include "support/well_formed_xml.h"

namespace fp {
namespace {

const std::string kOkTail = "<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName></LogFileName>";

Amount A(const char* aText) { return *Amount::Parse(aText); }

TEST(EscapeXml, EscapesEachSpecialCharacterOnce) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"a&b", "a&amp;b"},
      {"&amp;", "&amp;amp;"},
      {"<x a=\"1\" b='2'>", "&lt;x a=&quot;1&quot; b=&apos;2&apos;&gt;"},
      {"caff\xC3\xA8 & t\xC3\xA8", "caff\xC3\xA8 &amp; t\xC3\xA8"},
      {"a\tb\r\nc", "a\tb\r\nc"},
      // Characters no XML document may hold become U+FFFD.
      {std::string("x\x01y\x1Fz\0", 6), "x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD"},
      // So do the non-characters: U+FFFE, U+FFFF, U+FDD0, U+FDEF, U+1FFFF, U+10FFFF...
      {"a\xEF\xBF\xBE\xEF\xBF\xBF" "b", "a\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
      {"\xEF\xB7\x90\xEF\xB7\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xF0\x9F\xBF\xBF\xF4\x8F\xBF\xBE", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      // ...a surrogate written as UTF-8 and any byte that is no UTF-8, one U+FFFD a byte...
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xFF&\xC3", "\xEF\xBF\xBD&amp;\xEF\xBF\xBD"},
      // ...while their neighbours and the characters beyond the first plane stay.
      {"\xEF\xB7\x8F\xEF\xB7\xB0\xEF\xBF\xBD\xF0\x9F\x98\x80", "\xEF\xB7\x8F\xEF\xB7\xB0\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeXml(c.in), c.out) << c.in;
}

// Whatever a printer, library or request puts into a text, every fragment stays a document
// a host can parse.
TEST(ResultFormat, EveryFragmentIsWellFormedWhateverItsTexts) {
  const std::string hostile[] = {
      "<Error>True</Error>]]><!--",
      "&amp; &#0; &#xFFFE; \"'",
      std::string("nul\0 bell\a esc\x1B del\x7F", 20),
      "\xEF\xBF\xBE\xEF\xBF\xBF \xEF\xB7\x90 \xF3\xBF\xBF\xBF \xF4\x8F\xBF\xBF",  // non-characters
      "\xED\xA0\x80\xED\xBF\xBF",                                                    // surrogates
      "\xC0\xAF \xE0\x80\xAF \xF8\x88\x80\x80\x80 \xFF\xFE \xC3",                    // no UTF-8
      "line 1||line 2\r\n\r\n\rline 4\n",
  };
  for (const std::string& text : hostile)
    for (const std::string& fragment : test::FragmentsCarrying(text))
      EXPECT_EQ(test::FragmentProblem(fragment), "") << fragment;
}

TEST(ResultFormat, ErrorTailEscapesTextAndEndsWithoutLineBreak) {
  _int_CLOSE_result r;
  r.Error = true;
  r.ErrorText = "bad <value> & more";
  r.LogFileName = "/logs/VNRP_1_20250101.log";
  EXPECT_EQ(r.Format(),
            "<Error>True</Error>\r\n<ErrorText>bad &lt;value&gt; &amp; more</ErrorText>\r\n"
            "<LogFileName>/logs/VNRP_1_20250101.log</LogFileName>");
}

TEST(ResultFormat, FailedReceiptShowsTheZeroDateAndEmptyNumbers) {
  _int_PRINTFR_result r;
  r.Error = true;
  r.ErrorText = "Fiscal Printer has not previously opened";
  EXPECT_EQ(r.Format(),
            "<ReceiptDateTime>1899-12-30T00:00:00</ReceiptDateTime>\r\n<ReceiptNumber></ReceiptNumber>\r\n"
            "<DeviceSerialNumber></DeviceSerialNumber>\r\n<EJNumber></EJNumber>\r\n"
            "<EJClosingNumber></EJClosingNumber>\r\n<ServerSerialNumber></ServerSerialNumber>\r\n"
            "<ReceiptText></ReceiptText>\r\n<ReceiptImage></ReceiptImage>\r\n<InvoiceNumber></InvoiceNumber>\r\n"
            "<InvoiceDateTime>1899-12-30T00:00:00</InvoiceDateTime>\r\n<MessageText></MessageText>\r\n"
            "<Error>True</Error>\r\n<ErrorText>Fiscal Printer has not previously opened</ErrorText>\r\n"
            "<LogFileName></LogFileName>");
}

TEST(ResultFormat, ReceiptEscapesTextButNotTheImage) {
  _int_PRINTFR_result r;
  r.ReceiptDateTime = *EncodeDateTime(2025, 8, 29, 17, 5, 9, 700);  // milliseconds are not written
  r.ReceiptNumber = "0012-0034";
  r.ReceiptText = "A&B <1>";
  r.ReceiptImage = "/9j/4AAQ+a=";
  r.ServerSerialNumber = "S&N";
  r.MessageText = "ok";
  std::string out = r.Format();
  EXPECT_NE(out.find("<ReceiptDateTime>2025-08-29T17:05:09</ReceiptDateTime>\r\n<ReceiptNumber>0012-0034</ReceiptNumber>"),
            std::string::npos);
  EXPECT_NE(out.find("<ReceiptText>A&amp;B &lt;1&gt;</ReceiptText>\r\n<ReceiptImage>/9j/4AAQ+a=</ReceiptImage>"),
            std::string::npos);
  EXPECT_NE(out.find("<ServerSerialNumber>S&amp;N</ServerSerialNumber>"), std::string::npos);
  EXPECT_NE(out.find("<MessageText>ok</MessageText>\r\n<Error>False</Error>"), std::string::npos);
}

TEST(ResultFormat, ZReportTotalsOnOneLineThenText) {
  _int_PRINTZR_result r;
  r.ZReportNumber = "7";
  r.ZReportDateTime = *EncodeDateTime(2025, 1, 2, 23, 0, 0, 0);
  r.RemainingFiscalMemory = 1234;
  r.GrandTotalAmount = A("1234.5");
  r.DayTotalAmount = A("-0.25");
  r.DayVoidsAmount = A("1000");
  r.DayReceiptsNumber = 12;
  r.DayRefundsNumber = -1;
  r.Text = "LINE 1\r\nA&B\nlast\r\n";
  EXPECT_EQ(r.Format(),
            "<ZReportDateTime>2025-01-02T23:00:00</ZReportDateTime>\r\n<ZReportNumber>7</ZReportNumber>\r\n"
            "<DeviceSerialNumber></DeviceSerialNumber>\r\n<ServerSerialNumber></ServerSerialNumber>\r\n"
            "<EJNumber></EJNumber>\r\n<EJClosingNumber></EJClosingNumber>\r\n"
            "<GrandTotalAmount>1234.5</GrandTotalAmount><GrandTotalRefundsAmount>0</GrandTotalRefundsAmount>"
            "<GrandTotalVoidsAmount>0</GrandTotalVoidsAmount><DayTotalAmount>-0.25</DayTotalAmount>"
            "<DayDiscountsAmount>0</DayDiscountsAmount><DayReturnsAmount>0</DayReturnsAmount>"
            "<DayRefundsAmount>0</DayRefundsAmount><DayVoidsAmount>1000</DayVoidsAmount>"
            "<DayReceiptsNumber>12</DayReceiptsNumber><DayRefundsNumber>-1</DayRefundsNumber>"
            "<Text><Line>LINE 1</Line><Line>A&amp;B</Line><Line>last</Line></Text>" +
                kOkTail);
}

TEST(ResultFormat, XReportWithEmptyTextRunsStraightIntoTheTail) {
  _int_PRINTXR_result r;
  r.XReportNumber = "3";
  r.EJNumber = "0001";
  EXPECT_EQ(r.Format(),
            "<XReportDateTime>1899-12-30T00:00:00</XReportDateTime>\r\n<XReportNumber>3</XReportNumber>\r\n"
            "<DeviceSerialNumber></DeviceSerialNumber>\r\n<ServerSerialNumber></ServerSerialNumber>\r\n"
            "<EJNumber>0001</EJNumber>\r\n<EJClosingNumber></EJClosingNumber>\r\n<Text></Text>" +
                kOkTail);
}

TEST(ResultFormat, ReportLinesSplitAtEveryKindOfLineBreak) {
  struct Case {
    const char* text;
    const char* lines;
  } cases[] = {
      {"", ""},
      {"one", "<Line>one</Line>"},
      {"a\r\nb", "<Line>a</Line><Line>b</Line>"},
      {"a\rb\nc", "<Line>a</Line><Line>b</Line><Line>c</Line>"},
      {"a\r\n\r\nb\r\n", "<Line>a</Line><Line></Line><Line>b</Line>"},
      {"\n", "<Line></Line>"},
  };
  for (const Case& c : cases) {
    _int_PRINTXR_result r;
    r.Text = c.text;
    EXPECT_NE(r.Format().find(std::string("<Text>") + c.lines + "</Text><Error>"), std::string::npos) << c.text;
  }
}

TEST(ResultFormat, JournalReportPutsEachLineOnItsOwnLine) {
  _int_EJREPORT_result r;
  r.Text = "A<1>\r\nB";
  EXPECT_EQ(r.Format(), "<Text><Line>A&lt;1&gt;</Line>\r\n<Line>B</Line>\r\n</Text>\r\n" + kOkTail);
  r.Text.clear();
  EXPECT_EQ(r.Format(), "<Text></Text>\r\n" + kOkTail);
}

TEST(ResultFormat, VatTable) {
  _int_GETVATTABLE_result r;
  EXPECT_EQ(r.Format(), "<VATTable>\r\n</VATTable>\r\n" + kOkTail);
  r.VATTable.push_back({1, "A", "IVA <22%>", A("22")});
  r.VATTable.push_back({2, "B", "", A("1234.5")});
  EXPECT_EQ(r.Format(),
            "<VATTable>\r\n"
            "<VAT>\r\n<Index>1</Index>\r\n<Code>A</Code>\r\n<Description>IVA &lt;22%&gt;</Description>\r\n"
            "<Rate>22</Rate>\r\n</VAT>\r\n"
            "<VAT>\r\n<Index>2</Index>\r\n<Code>B</Code>\r\n<Description></Description>\r\n"
            "<Rate>1234.5</Rate>\r\n</VAT>\r\n"
            "</VATTable>\r\n" +
                kOkTail);
}

TEST(ResultFormat, DeptTableEscapesEveryText) {
  _int_GETDEPTTABLE_result r;
  r.DeptTable.push_back({3, "R&1", "Food", "A&", "Product", "EA<1>", "Shop & Co", "1"});
  EXPECT_EQ(r.Format(),
            "<DeptTable>\r\n<Department>\r\n<Index>3</Index>\r\n<Code>R&amp;1</Code>\r\n"
            "<Description>Food</Description>\r\n<VATCode>A&amp;</VATCode>\r\n<SalesType>Product</SalesType>\r\n"
            "<EACode>EA&lt;1&gt;</EACode>\r\n<EADescription>Shop &amp; Co</EADescription>\r\n"
            "<EAVATMode>1</EAVATMode>\r\n</Department>\r\n</DeptTable>\r\n" +
                kOkTail);
}

TEST(ResultFormat, SmallRecords) {
  _int_OPEN_result open;
  open.Handle = 2;
  EXPECT_EQ(open.Format(), "<Handle>2</Handle>\r\n" + kOkTail);

  _int_GETDRSTATUS_result drawer;
  drawer.IsOpen = true;
  EXPECT_EQ(drawer.Format(), "<IsOpen>True</IsOpen>\r\n" + kOkTail);

  _int_GETEJFILES_result files;
  files.FilesCount = -3;
  EXPECT_EQ(files.Format(), "<FilesCount>-3</FilesCount>\r\n" + kOkTail);

  _int_PRINTNFR_result nf;
  nf.NFReceiptNumber = "5";
  nf.MessageText = "Not printed: <QR>";
  EXPECT_EQ(nf.Format(), "<NFReceiptDateTime>1899-12-30T00:00:00</NFReceiptDateTime>\r\n"
                         "<NFReceiptNumber>5</NFReceiptNumber>\r\n<MessageText>Not printed: &lt;QR&gt;</MessageText>\r\n" +
                             kOkTail);

  _int_SETVATTABLE_result vat;
  EXPECT_EQ(vat.Format(), "<MessageText></MessageText>\r\n" + kOkTail);
  _int_SETDEPTTABLE_result dept;
  dept.MessageText = "Z report 4";
  EXPECT_EQ(dept.Format(), "<MessageText>Z report 4</MessageText>\r\n" + kOkTail);

  _int_GETLOTTERYRCPTSTATUS_result lottery;
  lottery.CorrectlySent = true;
  lottery.StatusDescription = "a&b";
  EXPECT_EQ(lottery.Format(), "<CorrectlySent>True</CorrectlySent>\r\n<StatusCode></StatusCode>\r\n"
                              "<StatusDescription>a&amp;b</StatusDescription>\r\n<ReferenceId></ReferenceId>\r\n" +
                                  kOkTail);
}

TEST(ResultFormat, StatusOrderAndEscaping) {
  _int_GETSTATUS_result r;
  r.DayOpened = true;
  r.CoverOpen = true;
  r.DateTime = *EncodeDateTime(2024, 2, 29, 8, 30, 0, 0);
  r.FirmwareVersion = "1.0<b>";
  r.SerialNumber = "4ZRPV123456";
  r.FiscalMode = "RT";
  EXPECT_EQ(r.Format(),
            "<DayOpened>True</DayOpened>\r\n<DateTime>2024-02-29T08:30:00</DateTime>\r\n<PaperEnd>False</PaperEnd>\r\n"
            "<PaperNearEnd>False</PaperNearEnd>\r\n<CoverOpen>True</CoverOpen>\r\n"
            "<FiscalReceiptOpen>False</FiscalReceiptOpen>\r\n<ReceiptOpen>False</ReceiptOpen>\r\n"
            "<TrainingMode>False</TrainingMode>\r\n<FirmwareVersion>1.0&lt;b&gt;</FirmwareVersion>\r\n"
            "<SerialNumber>4ZRPV123456</SerialNumber>\r\n<FiscalMode>RT</FiscalMode>\r\n" +
                kOkTail);
}

TEST(ResultFormat, DatesOutsideTheCalendarAreWrittenAsTheZeroDate) {
  _int_SETDATETIME_result r;
  for (double bad : {1e300, -1e300, 3.0e6}) {
    r.DateTime = bad;
    EXPECT_NE(r.Format().find("<DateTime>1899-12-30T00:00:00</DateTime>"), std::string::npos) << bad;
  }
}

TEST(PayResult, DecodersCoverEveryValue) {
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(vnPaymentNetwork::Bank), "bank");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(vnPaymentNetwork::NHS), "NHS");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(vnPaymentNetwork::MIGLunch), "miglunch");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(vnPaymentNetwork::Scalapay), "scalapay");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(vnPaymentNetwork::Nexi), "unrecognized");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(vnPaymentNetwork::Other), "other");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(static_cast<vnPaymentNetwork>(44)), "unrecognized");
  EXPECT_EQ(_int_PAY_result::DecodeNetwork(static_cast<vnPaymentNetwork>(-1)), "unrecognized");

  const char* types[] = {"CHIP", "MAGSTRIPE", "MANUAL", "CLESS", "CLESSMAGSTRIPE", "CLESSCHIP", "", "OTHER", "TOKEN"};
  for (int i = 0; i <= 8; ++i)
    EXPECT_EQ(_int_PAY_result::DecodeTransactionType(static_cast<vnPaymentTransactionType>(i)), types[i]) << i;
  EXPECT_EQ(_int_PAY_result::DecodeTransactionType(static_cast<vnPaymentTransactionType>(9)), "");
}

TEST(PayResult, FragmentUsesTheUserSeparatorOnlyForTheForeignAmounts) {
  SetUserDecimalSeparatorForTesting(",");
  _int_PAY_result r;
  r.DeviceId = "T&1";
  r.PaymentAmount = A("1234.5");
  r.ExchangeRate = A("1.5");
  r.PaymentAmountCurrency = A("2");
  r.PaymentNetwork = vnPaymentNetwork::Nexi;
  r.TransactionType = ptt_RFID;
  r.SerialNumber = "never written";
  r.RawResponse = "<raw>";
  EXPECT_EQ(r.Format(),
            "<DeviceId>T&amp;1</DeviceId>\r\n<PaymentDateTime>1899-12-30T00:00:00</PaymentDateTime>\r\n"
            "<PaymentNumber></PaymentNumber>\r\n<PaymentAmount>1234.5</PaymentAmount>\r\n"
            "<PaymentCurrency></PaymentCurrency>\r\n<ExchangeRate>1,5</ExchangeRate>\r\n"
            "<PaymentAmountCurrency>2</PaymentAmountCurrency>\r\n<MaskedPAN></MaskedPAN>\r\n"
            "<PaymentNetwork>unrecognized</PaymentNetwork>\r\n<TransactionType></TransactionType>\r\n"
            "<AuthCode></AuthCode>\r\n<TraceAuditId></TraceAuditId>\r\n<RawResponse>&lt;raw&gt;</RawResponse>\r\n"
            "<ReceiptText></ReceiptText>\r\n" +
                kOkTail);
  SetUserDecimalSeparatorForTesting(".");
}

}  // namespace
}  // namespace fp
