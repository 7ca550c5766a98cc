// The request frame's own steps, tested on the internal interface: the Greek prelude, the
// request text kept for the processor, the UTF-16 check and the results of refused and
// damaged requests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/text.h"
#include "entry/fiscal_printer_wrapper.h"
#include "entry/request_frame.h"
#include "support/answer.h"

namespace fp {
namespace {

TEST(GreekPrelude, OnlyThePrintingExportsThatKeepTheTextOnCodePage1253) {
  ASSERT_EQ(kGreekDeclaration.size(), 43u);
  struct Case {
    vnExport e;
    int codePage;
    bool prefixed;
  } cases[] = {
      {vnExport::PRINTFR, 1253, true},    {vnExport::REPRINTFR, 1253, true}, {vnExport::PRINTZR, 1253, true},
      {vnExport::PRINTNFR, 1253, false},  {vnExport::PRINTXR, 1253, false},  {vnExport::GETSTATUS, 1253, false},
      {vnExport::OPEN, 1253, false},      {vnExport::PRINTFR, 1252, false},  {vnExport::PRINTNFR, 1250, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProcessorTextPrelude(ExportProfile(c.e), c.codePage), c.prefixed ? kGreekDeclaration : "")
        << ExportProfile(c.e).fName << " " << c.codePage;
}

TEST(RequestText, KeptByTheExportsThatHandItToTheProcessor) {
  const std::string request = "<ReceiptPrinterManager><Parameters><Mark>m</Mark></Parameters></ReceiptPrinterManager>";
  for (vnExport e : {vnExport::GETSTATUS, vnExport::SET, vnExport::OPEN, vnExport::CLOSE}) {
    auto wrapper = CreateFiscalPrinterWrapper(e);
    wrapper->Process(request);  // fails after reading: no handle, no driver
    EXPECT_EQ(wrapper->Handler().fRequestText, ExportProfile(e).fKeepXml ? request : "") << ExportProfile(e).fName;
  }
}

TEST(FindInvalidUtf16, FindsUnpairedSurrogates) {
  struct Case {
    std::u16string text;
    size_t at;
  } cases[] = {
      {u"", std::u16string::npos},
      {u"abc", std::u16string::npos},
      {u"a\U0001F600b", std::u16string::npos},          // a proper pair
      {std::u16string(u"a") + char16_t(0xD800), 1},      // high at the end
      {std::u16string(u"ab") + char16_t(0xDC00) + u"c", 2},  // low alone
      {std::u16string(1, char16_t(0xD83D)) + u"x", 0},   // high followed by no low
  };
  for (const Case& c : cases) EXPECT_EQ(FindInvalidUtf16(c.text), c.at);
}

TEST(RunExport, RefusesOversizedAndInvalidRequestsBeforeParsing) {
  std::u16string huge(kMaxRequestChars + 1, u' ');
  kExportOutcome big = RunExport(vnExport::GETSTATUS, huge);
  EXPECT_EQ(big.fResult, -1);
  EXPECT_EQ(big.fErrorMessage.substr(0, 17), u"Request too long:");

  std::u16string bad = u"<ReceiptPrinterManager>";
  bad += char16_t(0xDFFF);
  kExportOutcome invalid = RunExport(vnExport::OPEN, bad);
  EXPECT_EQ(invalid.fResult, -1);
  EXPECT_EQ(invalid.fErrorMessage, u"Request is not valid UTF-16: unpaired surrogate at character 23");
  EXPECT_NE(invalid.fOutput.find(u"<Handle>0</Handle>\r\n<Error>True</Error>"), std::u16string::npos);
}

TEST(RunExport, DeeplyNestedRequestsAreReadWithoutRecursion) {
  // Nesting deep enough to overflow the stack of a recursive reader or writer.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<n>";
  deep += "x";
  for (int i = 0; i < 200000; ++i) deep += "</n>";
  const std::string xml =
      "<ReceiptPrinterManager><Parameters><CP>gr</CP></Parameters>" + deep +
      "<XReport/></ReceiptPrinterManager>";
  kExportOutcome outcome = RunExport(vnExport::PRINTXR, Utf8ToUtf16(xml));
  EXPECT_EQ(outcome.fResult, -1);
  EXPECT_EQ(outcome.fErrorMessage, u"Fiscal Printer has not previously opened");
}

// The unescaped text of the ErrorText element, for comparing with the error output.
std::string UnescapedErrorText(const std::string& aFragment) {
  std::string text = test::FragmentElement(aFragment, "ErrorText");
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) text = ReplaceAll(text, from, to);
  return text;
}

TEST(RunExport, RefusedRequestsShowTheStartValuesOfTheirRecord) {
  // Refused before any device is reached: every record is written with its start values,
  // the payment's with the "other" network and reading mode.
  struct Case {
    vnExport e;
    const char* request;
    const char* fragmentPart;
  } cases[] = {
      {vnExport::PAY, "<R><Driver>NONE</Driver><Payment/></R>",
       "<PaymentAmount>0</PaymentAmount>\r\n<PaymentCurrency></PaymentCurrency>\r\n<ExchangeRate>0</ExchangeRate>\r\n"
       "<PaymentAmountCurrency>0</PaymentAmountCurrency>\r\n<MaskedPAN></MaskedPAN>\r\n"
       "<PaymentNetwork>other</PaymentNetwork>\r\n<TransactionType>OTHER</TransactionType>\r\n"},
      {vnExport::OPEN, "<R><Driver>NONE</Driver></R>", "<Handle>0</Handle>\r\n<Error>True</Error>\r\n"},
      {vnExport::GETSTATUS, "<R/>", "<DayOpened>False</DayOpened>\r\n<DateTime>1899-12-30T00:00:00</DateTime>\r\n"},
      {vnExport::PRINTZR, "<R/>", "<DayRefundsNumber>0</DayRefundsNumber><Text></Text><Error>True</Error>"},
      {vnExport::GETVATTABLE, "<R/>", "<VATTable>\r\n</VATTable>\r\n<Error>True</Error>"},
      {vnExport::EJREPORT, "<R><EJReport/></R>", "<Text></Text>\r\n<Error>True</Error>"},
      {vnExport::SETDEPTTABLE, "<R><DeptTable/></R>", "<Error>True</Error>"},
  };
  for (const Case& c : cases) {
    kExportOutcome o = RunExport(c.e, Utf8ToUtf16(c.request));
    const std::string fragment = Utf16ToUtf8(o.fOutput);
    EXPECT_EQ(o.fResult, -1) << ExportProfile(c.e).fName;
    EXPECT_NE(fragment.find(c.fragmentPart), std::string::npos) << ExportProfile(c.e).fName << "\n" << fragment;
    EXPECT_TRUE(fragment.ends_with("<LogFileName></LogFileName>")) << ExportProfile(c.e).fName;
  }
}

TEST(RunExport, DamagedRequestsKeepTheResultContract) {
  // Requests of several exports (for no registered driver or open handle, so no device is
  // ever reached), damaged unit by unit; whatever the readers make of them,
  // the answer holds together: -1 exactly with Error True, the error output equal to the
  // fragment's ErrorText, and the fragment ending with the log file element.
  const std::string seeds[] = {
      "<ReceiptPrinterManager><Driver>UNREGISTERED</Driver><Handle>0</Handle><Connection><Type>HTTP</Type>"
      "<URL>http://127.0.0.1:9/</URL><ConnectTimeout>100</ConnectTimeout></Connection><Parameters><CP>gr</CP>"
      "</Parameters><XReport/><ZReport/><Drawer><Number>1</Number></Drawer></ReceiptPrinterManager>",
      "<ReceiptPrinterManager><Handle>5</Handle><VATTable><VAT><Index>1</Index><Code>A</Code><Rate>22</Rate></VAT>"
      "</VATTable><Payment><Amount>1.5</Amount><PrintLocation>ECR</PrintLocation></Payment></ReceiptPrinterManager>",
  };
  const vnExport exports[] = {vnExport::OPEN, vnExport::PRINTXR, vnExport::PRINTZR, vnExport::SETVATTABLE,
                              vnExport::PAY, vnExport::GETDRSTATUS, vnExport::CLOSE};
  const char16_t replacements[] = {u'<', u'>', u'&', u'/', u'"', u'x', u'9', u'-', 0xD800, 0xDC00, 0, 0xFFFF};
  uint32_t random = 12345;
  auto next = [&random] { return random = random * 1103515245u + 12345u; };
  for (int round = 0; round < 2000; ++round) {
    std::u16string request = Utf8ToUtf16(seeds[round % 2]);
    for (int k = 0; k < 1 + round % 4; ++k) {
      size_t at = next() % request.size();
      switch (next() % 3) {
        case 0: request[at] = replacements[next() % std::size(replacements)]; break;
        case 1: request.erase(at, 1 + next() % 8); break;
        default: request.resize(at); break;
      }
      if (request.empty()) request.assign(1, u'<');
    }
    vnExport e = exports[round % std::size(exports)];
    kExportOutcome o = RunExport(e, request);
    const std::string fragment = Utf16ToUtf8(o.fOutput);
    const bool error = fragment.find("<Error>True</Error>") != std::string::npos;
    ASSERT_EQ(o.fResult == -1, error) << round << "\n" << fragment;
    ASSERT_EQ(UnescapedErrorText(fragment), Utf16ToUtf8(o.fErrorMessage)) << round;
    ASSERT_TRUE(fragment.ends_with("</LogFileName>")) << round;
  }
}

}  // namespace
}  // namespace fp
