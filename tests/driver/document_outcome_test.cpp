// Answers that tell nothing about a document: a garbled or empty answer inside a non-fiscal
// document, and the busy answer to a reprint that reads like a copy printed. Each ends as
// the truth: printed, or cancelled and said so; never a document left open to come out
// inside the next, never a copy reported that did not print.
#include <algorithm>
#include <functional>

#include "base/xml_text.h"
#include "driver_fixture.h"

using namespace fp;
using namespace fp::test;

namespace {

int CountOnPaper(const emu::PrinterEmulator& aEmu, const std::string& aText) {
  const auto paper = aEmu.Paper();
  return static_cast<int>(std::count_if(paper.begin(), paper.end(),
                                        [&](const std::string& l) { return l.find(aText) != std::string::npos; }));
}

bool JournalEntryHas(const emu::JournalEntry& aEntry, const std::string& aText) {
  return std::any_of(aEntry.fLines.begin(), aEntry.fLines.end(),
                     [&](const std::string& l) { return l.find(aText) != std::string::npos; });
}

class DocumentOutcomeTest : public DriverTest {
 protected:
  _int_PRINTNFR_result PrintDocument(const std::string& aText) {
    _int_PRINTNFR_result r;
    device->Pub_PrintNFReceipt(
        *Request("<NFReceipt><Lines><Text><Value>" + aText + "</Value><Alignment>left</Alignment></Text></Lines></NFReceipt>",
                 {dt_NFReceipt}),
        r);
    return r;
  }
};

TEST_F(DocumentOutcomeTest, UnreadableAnswerInsideANonFiscalDocumentNeverLeavesItOpen) {
  struct Case {
    const char* name;
    const char* letter;
    const char* frame;
    int skip;
    const char* error;  // "" when the document ends printed
  } cases[] = {
      // The emulator does not carry out a command it answers with a forced frame: the closing
      // finds the document still open and closes it once more.
      {"garbled answer to the closing", "m", "garbage", 0, ""},
      {"empty answer to the closing", "m", "", 0, ""},
      {"garbled answer to a line", "7", "garbage", 1,
       "Document not printed: Invalid reply frame from the printer: 'garbage'; the document was cancelled on the "
       "printer and can be sent again"},
      {"empty answer to the opening", "7", "", 0,
       "Document not printed: Invalid reply frame from the printer: ''; the document was cancelled on the printer "
       "and can be sent again"},
  };
  OpenAndInit();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tag = "FIRST" + std::to_string(++n), nextTag = "SECOND" + std::to_string(n);
    const size_t journal = emu.Journal().size();
    emu.ForceFrame(c.letter, c.frame, 1, c.skip);
    const auto r = PrintDocument(tag);
    EXPECT_EQ(r.Error, *c.error != '\0') << r.ErrorText;
    EXPECT_EQ(r.ErrorText, c.error);
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
    auto entries = emu.Journal();
    ASSERT_EQ(entries.size(), journal + (*c.error ? 0 : 1));
    if (!*c.error) {
      EXPECT_TRUE(JournalEntryHas(entries.back(), tag));
    }

    // The next document starts clean: it holds its own line and nothing of the one before.
    const auto next = PrintDocument(nextTag);
    EXPECT_FALSE(next.Error) << next.ErrorText;
    entries = emu.Journal();
    ASSERT_EQ(entries.size(), journal + (*c.error ? 1 : 2));
    EXPECT_TRUE(JournalEntryHas(entries.back(), nextTag));
    EXPECT_FALSE(JournalEntryHas(entries.back(), tag));
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [&](const emu::JournalEntry& e) { return JournalEntryHas(e, tag); }),
              *c.error ? 0 : 1);
  }
}

// A closing that fails tells nothing by itself: a document no longer open may have been
// printed, or lost with a restart of the printer (no counter tells which); one still open,
// even after a second closing, is cancelled and reported not printed.
TEST_F(DocumentOutcomeTest, AFailedClosingIsJudgedByWhetherTheDocumentIsStillOpen) {
  struct Case {
    const char* name;
    std::function<void()> fault;
    const char* prefix;  // of ErrorText
    int printed;         // documents on the printer
    vnJournalState row;
  } cases[] = {
      {"carried out, then refused", [this] { emu.RefuseAfterCarryingOut("m", 0x14); }, "Outcome unknown: ", 1,
       vnJournalState::Unknown},
      {"refused, not carried out", [this] { emu.ForceReplyCode("m", 0x14); }, "Document not printed: ", 0,
       vnJournalState::NotPrinted},
      {"lost on its way twice", [this] { emu.LoseRequests("m", 2); }, "Document not printed: ", 0,
       vnJournalState::NotPrinted},
      {"lost with a restart of the printer", [this] { emu.RebootAt("m"); }, "Outcome unknown: ", 0,
       vnJournalState::Unknown},
  };
  auto& d = OpenAndInit();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tag = "CLOSING" + std::to_string(++n);
    const size_t journal = emu.Journal().size();
    c.fault();
    const auto r = PrintDocument(tag);
    EXPECT_TRUE(r.Error);
    EXPECT_EQ(r.ErrorText.rfind(c.prefix, 0), 0u) << r.ErrorText;
    EXPECT_EQ(emu.Journal().size(), journal + c.printed);
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
    const auto row = d.Journal()->Find(d.CurrentDocument().fId);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->fState, c.row);
    emu.ClearFaults();
  }
}

TEST_F(DocumentOutcomeTest, ReprintIsReportedDoneOnlyWhenItsCopyPrinted) {
  OpenAndInit();
  _int_PRINTFR_result sale;
  device->Pub_PrintReceipt(
      *Request("<Receipt><Type>Sale</Type><Lines><productsale><Description>Pane</Description><Quantity>1</Quantity>"
               "<Department>1</Department><Price>1.20</Price><Amount>1.20</Amount></productsale></Lines><Taxes/>"
               "<Payments><Payment><Type>Cash</Type><Amount>1.20</Amount></Payment></Payments></Receipt>",
               {dt_Receipt}),
      sale);
  ASSERT_FALSE(sale.Error) << sale.ErrorText;
  const std::string reference = "<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>" +
                                DateTimeToXmlText(sale.ReceiptDateTime) + "</ReceiptDateTime><ReceiptNumber>" +
                                sale.ReceiptNumber + "</ReceiptNumber><EJClosingNumber>" + sale.EJClosingNumber +
                                "</EJClosingNumber></ReceiptReference>";
  struct Case {
    const char* name;
    std::function<void()> busy;
    const char* error;  // "" when a copy must come out
  } cases[] = {
      // The busy frame is the very answer of a copy printed on an open day.
      {"busy for a while", [this] { emu.AnswerBusy(2); }, ""},
      {"busy past the bound", [this] { emu.AnswerBusy(100000); },
       "Document not printed: The printer is still preparing the journal, try again later"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.ClearFaults();
    emu.ClearPaper();
    c.busy();
    _int_REPRINTFR_result r;
    device->Pub_RePrintReceipt(*Request(reference, {dt_ReceiptReference}), r);
    EXPECT_EQ(r.Error, *c.error != '\0');
    EXPECT_EQ(r.ErrorText, c.error);
    EXPECT_EQ(CountOnPaper(emu, "*** COPIA ***"), *c.error ? 0 : 1);
  }
}

// Once its closing is answered the document is printed: a clock that cannot be read for its
// date leaves the date 0 and says why, the journal holds the document as printed, and the next
// document is its own, with nothing left to settle.
TEST_F(DocumentOutcomeTest, UnreadableClockAfterTheClosingLeavesTheDocumentPrinted) {
  struct Case {
    const char* name;
    std::function<void(int)> fault;  // on the clock read of that position in the document
    const char* reason;
  } cases[] = {
      {"garbled answer", [this](int aSkip) { emu.ForceFrame("t", "garbage", 1, aSkip); },
       "Invalid reply frame from the printer: 'garbage'"},
      {"refused", [this](int aSkip) { emu.ForceReplyCode("t", 0x2C, 1, aSkip); }, "Paper end"},
  };
  auto& d = OpenAndInit();
  ASSERT_FALSE(PrintDocument("PLAIN1").Error);
  emu.ClearPackets();
  ASSERT_FALSE(PrintDocument("PLAIN2").Error);
  const int clockReads = CountLetter(emu.Packets(), "t");
  ASSERT_GE(clockReads, 1);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tag = "CLOCK" + std::to_string(++n);
    const size_t journal = emu.Journal().size();
    c.fault(clockReads - 1);
    const auto r = PrintDocument(tag);
    EXPECT_FALSE(r.Error);
    EXPECT_EQ(r.ErrorText, std::string("The document was printed but its date and time could not be read: ") + c.reason);
    EXPECT_EQ(r.NFReceiptDateTime, 0);
    ASSERT_EQ(emu.Journal().size(), journal + 1);
    EXPECT_TRUE(JournalEntryHas(emu.Journal().back(), tag));
    const auto row = d.Journal()->Find(d.CurrentDocument().fId);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->fState, vnJournalState::Printed);
    emu.ClearFaults();

    const auto next = PrintDocument(tag + "NEXT");
    EXPECT_FALSE(next.Error) << next.ErrorText;
    EXPECT_EQ(next.ErrorText, "");
    EXPECT_NE(next.NFReceiptDateTime, 0);
    EXPECT_EQ(emu.Journal().size(), journal + 2);
  }
}

}  // namespace
