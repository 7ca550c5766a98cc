// The parse of a request with its code-page step (ParseRequestWithCodePage): the text kept
// for the processor, the parser's messages, and the tree the readers get, compared with the
// road written out in the test (request_trees.h).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/errors.h"
#include "request/request_parser.h"
#include "support/request_trees.h"

namespace fp {
namespace {

TEST(ParseRequestWithCodePage, LeavesTheTextAloneWithoutACodePage) {
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

TEST(ParseRequestWithCodePage, RedecodesTheValuesAndRewritesTheText) {
  // "\xC3\xA9" (e acute) is byte E9 in the Western code page, which is iota in the Greek one.
  std::string xml =
      "<ReceiptPrinterManager>\n  <Parameters><CP>gr</CP></Parameters>\n"
      "  <Receipt><Description>caf\xC3\xA9</Description><Blank> </Blank></Receipt>\n</ReceiptPrinterManager>";
  ParseRequestWithCodePage(xml, true);
  EXPECT_EQ(xml,
            "<ReceiptPrinterManager><Parameters><CP>gr</CP></Parameters><Receipt><Description>caf\xCE\xB9"
            "</Description><Blank> </Blank></Receipt></ReceiptPrinterManager>");
}

TEST(ParseRequestWithCodePage, MalformedTextFailsWithTheParserMessage) {
  std::string xml = "<ReceiptPrinterManager><Parameters>";
  try {
    ParseRequestWithCodePage(xml, true);
    FAIL() << "no failure";
  } catch (const kException& e) {
    EXPECT_NE(std::string(e.what()).find("at offset"), std::string::npos) << e.what();
  }
}

TEST(ParseRequestWithCodePage, ReadsWhatTheTextWrittenBackReads) {
  // The code-page step hands the readers the tree they would get from the text it stands
  // for: what the step's own parse keeps beyond theirs (declarations, processing
  // instructions, blank texts) goes, and a re-decoded tree comes as its written text reads
  // back.
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
      // Without a code page: declarations and instructions beside the document element and
      // inside it, a "<?" in a comment, blanks as the text holds them and as references.
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<?p x?><R><A>\r\n</A><B>&#32;</B></R><?q?><!--c-->",
      "<?xml version=\"1.0\"?><R><!--<?p?>--><A> </A><C><D> </D></C></R>",
      "<?xml version=\"1.0\"?><R><Parameters><CP/></Parameters><?p?><A> </A></R>",
      // A declaration ended by "/>" and a "?>" later on: the declaration's parse and the
      // readers' parse would end it in different places.
      "<?xml version=\"1.0\"/><Request><Text>ok?></Text></Request>",
      "<?xml version='1.0' encoding='UTF-8'/><R a='?>'><A/></R>",
      "<?xml version='1.0'/><xml version='1.0'?><R/>",
      // A blank code page is still one: the tree comes from the text written back.
      "<R><Parameters><CP> </CP></Parameters><A> </A><B>&#32;</B></R>",
  };
  for (const std::string& xml : cases) EXPECT_EQ(test::OneParseTree(xml), test::TwoParseTree(xml)) << xml;

  // A double-byte code page can end a re-decoded CDATA text in "]]>" ("\xE2\x80\x90" is 81 5D
  // in code page 932), which the text written back splits into two sections.
  setenv("FPDRIVER_ACP", "932", 1);
  const std::string split = "<R>" + gr + "<A><![CDATA[\xE2\x80\x90]>]]></A></R>";
  EXPECT_EQ(test::OneParseTree(split), test::TwoParseTree(split));
  unsetenv("FPDRIVER_ACP");
}

}  // namespace
}  // namespace fp
