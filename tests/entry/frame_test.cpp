// The request frame's own steps, tested on the internal interface: the Greek prelude, the
// CP re-encoding, the request text kept for the processor, the UTF-16 check and the handle
// table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/text.h"
#include "entry/fiscal_printer_wrapper.h"
#include "entry/request_frame.h"
#include "fragment_text.h"
#include "request/request_parser.h"
#include "support/request_trees.h"

namespace fp {
namespace {

TEST(GreekPrelude, OnlyThePrintingExportsOnCodePage1253) {
  const std::string request = "<ReceiptPrinterManager/>";
  const std::string prefixed = std::string(kGreekDeclaration) + request;
  ASSERT_EQ(kGreekDeclaration.size(), 43u);
  struct Case {
    vnExport e;
    int codePage;
    bool prefixed;
  } cases[] = {
      {vnExport::PRINTFR, 1253, true},    {vnExport::REPRINTFR, 1253, true}, {vnExport::PRINTZR, 1253, true},
      {vnExport::PRINTNFR, 1253, true},   {vnExport::PRINTXR, 1253, false},  {vnExport::GETSTATUS, 1253, false},
      {vnExport::OPEN, 1253, false},      {vnExport::PRINTFR, 1252, false},  {vnExport::PRINTNFR, 1250, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PrepareRequestText(c.e, request, c.codePage), c.prefixed ? prefixed : request)
        << ExportProfile(c.e).fName << " " << c.codePage;
  // Put in front even of a request that has its own declaration.
  const std::string declared = "<?xml version=\"1.0\"?>" + request;
  EXPECT_EQ(PrepareRequestText(vnExport::PRINTFR, declared, 1253), std::string(kGreekDeclaration) + declared);
}

TEST(ApplyCodePage, LeavesTheTextAloneWithoutACodePage) {
  const char* unchanged[] = {
      "<ReceiptPrinterManager>\n  <Driver>X</Driver>\n</ReceiptPrinterManager>",
      "<ReceiptPrinterManager><Parameters><CP></CP></Parameters></ReceiptPrinterManager>",
      "<ReceiptPrinterManager><Parameters><Other>gr</Other></Parameters> <CP>gr</CP></ReceiptPrinterManager>",
      "<ReceiptPrinterManager><Parameters><cp>gr</cp></Parameters></ReceiptPrinterManager>",
  };
  for (const char* text : unchanged) {
    std::string xml = text;
    ParseRequestWithCodePage(xml, true);
    EXPECT_EQ(xml, text);
  }
}

TEST(ApplyCodePage, RedecodesTheValuesAndRewritesTheText) {
  // "\xC3\xA9" (e acute) is byte E9 in the Western code page, which is iota in the Greek one.
  std::string xml =
      "<ReceiptPrinterManager>\n  <Parameters><CP>gr</CP></Parameters>\n"
      "  <Receipt><Description>caf\xC3\xA9</Description><Blank> </Blank></Receipt>\n</ReceiptPrinterManager>";
  ParseRequestWithCodePage(xml, true);
  EXPECT_EQ(xml,
            "<ReceiptPrinterManager><Parameters><CP>gr</CP></Parameters><Receipt><Description>caf\xCE\xB9"
            "</Description><Blank> </Blank></Receipt></ReceiptPrinterManager>");
}

TEST(ApplyCodePage, MalformedTextFailsWithTheParserMessage) {
  std::string xml = "<ReceiptPrinterManager><Parameters>";
  try {
    ParseRequestWithCodePage(xml, true);
    FAIL() << "no failure";
  } catch (const kException& e) {
    EXPECT_NE(std::string(e.what()).find("at offset"), std::string::npos) << e.what();
  }
}

TEST(ApplyCodePage, ReadsWhatTheTextWrittenBackReads) {
  // The code-page step parses once and hands the readers the tree they would get from the
  // text it stands for: what the step's own parse keeps beyond theirs (declarations,
  // processing instructions, blank texts) goes, and a re-decoded tree comes as its written
  // text reads back.
  const std::string gr = "<Parameters><CP>gr</CP></Parameters>";
  const std::string other = "<Parameters><CP>it</CP></Parameters>";
  const std::string cases[] = {
      "<?xml version=\"1.0\"?><R><?pi a?><A> </A><B>&#32;</B><C> &#9; </C><D>\t<!--c-->\n</D></R>",
      "<R><?pi v?>" + gr + "<A> </A><B>&#32;</B><C>x&#13;&#10;y&#13;z</C><D><![CDATA[a\r\nb]]></D></R>",
      "<R>" + gr + "<A>caf\xC3\xA9<?p x?>y</A><B><![CDATA[]]]]><!--a--b-->&#0;</B><E a=\"&#13;&#10;\"/></R>",
      "<R>" + other + "<A>&#13;</A><B>\r\n</B><C><!--c---></C>\xE4\xB8\x80<?p \xE4\xB8\x80><X/>?></R>",
      "<R>" + gr + "<?p \xE4\xB8\x80><X/>?><Y>after</Y></R>",
      "<R><?xml version=\"1.0\"?></R>",
      "<R><?pi\"x\"?></R>",
      "<?xml version=1?><R/>",
  };
  for (const std::string& xml : cases) EXPECT_EQ(test::OneParseTree(xml), test::TwoParseTree(xml)) << xml;

  // A double-byte code page can end a re-decoded CDATA text in "]]>" ("\xE2\x80\x90" is 81 5D
  // in code page 932), which the text written back splits into two sections.
  setenv("FPDRIVER_ACP", "932", 1);
  const std::string split = "<R>" + gr + "<A><![CDATA[\xE2\x80\x90]>]]></A></R>";
  EXPECT_EQ(test::OneParseTree(split), test::TwoParseTree(split));
  unsetenv("FPDRIVER_ACP");
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
