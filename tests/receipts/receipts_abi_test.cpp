// Fiscal and non-fiscal receipts through the C interface: the packets the printer receives
// for each kind of line, reference and payment, and what the result fragment reports.
#include <gtest/gtest.h>

#include <algorithm>

#include "abi_client.h"
#include "base/datetime.h"

namespace fp::test {
namespace {

const std::string kPad48 = std::string(48, ' ');

std::string Padded(const std::string& aText) { return aText + std::string(48 - aText.size(), ' '); }

std::string Ddmmyyyy(DateTime aValue, bool aFourDigits) {
  const DateTimeParts p = DecodeDateTime(aValue);
  char buf[16];
  if (aFourDigits)
    std::snprintf(buf, sizeof buf, "%02d%02d%04d", p.day, p.month, p.year);
  else
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", p.day, p.month, p.year % 100);
  return buf;
}

std::string XmlDateTime(DateTime aValue) {
  const DateTimeParts p = DecodeDateTime(aValue);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return buf;
}

TEST_F(ReceiptAbiTest, SaleGoesOutInOrderAndReportsTheDocument) {
  Answer a = PrintFR(Receipt(
      "Sale", Sale("AB/CD &amp; EF", "2.5", "1.2", "3") + "<text><Description>Totale parziale</Description></text>",
      Pay("Cash", "2") + Pay("CreditCard", "1"),
      "<TrailerMessages><Text><Value>Grazie</Value><Alignment>left</Alignment></Text></TrailerMessages>"));
  ASSERT_EQ(a.result, 0) << a.error << a.output;
  const auto packets = emu.Packets();
  // Status snapshot, opening, lines, the trailer after the payments, closing, then the
  // last document's numbers and the clock.
  // OPEN read where the printer's numbering stands; later receipts know it from the numbers
  // read after this one.
  EXPECT_EQ(Letters(packets), "av,t|>}375577mXit");
  EXPECT_EQ(DataOf(packets, ">"), std::vector<std::string>{"////"});
  EXPECT_EQ(DataOf(packets, "3"), std::vector<std::string>{"/S/AB-CD - EF//2.500/1.20/1///0//"});
  EXPECT_EQ(DataOf(packets, "5"), (std::vector<std::string>{"/1/2.00///////0/", "/4/1.00///////0/"}));
  // A text line never carries the word the printer keeps for its own total.
  EXPECT_EQ(DataOf(packets, "7"), (std::vector<std::string>{"/1/1/" + Padded("T0tale parziale") + "/",
                                                            "/1/1/" + Padded("Grazie") + "/", "/1/6/" + kPad48 + "/"}));
  const auto snap = emu.Snapshot();
  EXPECT_EQ(a.Get("ReceiptNumber"), std::to_string(snap.fLastDocumentNumber));
  EXPECT_EQ(a.Get("EJNumber"), "0");
  EXPECT_EQ(a.Get("EJClosingNumber"), std::to_string(snap.fZCounter + 1));
  EXPECT_EQ(a.Get("DeviceSerialNumber"), "4ZRPV012345");
  EXPECT_EQ(a.Get("Error"), "False");
  EXPECT_EQ(emu.Journal().back().fTotal, Amount::FromInt(3));
}

// One receipt per row: the packets of the letter the row is about.
struct PacketCase {
  const char* name;
  std::string receipt;
  std::string letter;
  std::vector<std::string> data;
};

TEST_F(ReceiptAbiTest, LinePacketsByKind) {
  const std::string cash = ReceiptAbiTest::Pay("Cash", "0");
  const std::vector<PacketCase> cases = {
      {"free of charge: the sale, then the gift of its amount",
       Receipt("Sale", Sale("Caffe", "2", "1.5", "3", "<FreeOfCharge>true</FreeOfCharge>"), cash),
       "3",
       {"/S/Caffe//2.000/1.50/1///0//", "/G/Caffe//1.000/3.00/1///0//"}},
      {"ten percent off the subtotal",
       Receipt("Sale",
               Sale("Pane", "1", "10", "10") +
                   "<subtotal/><discountpercentageonsubtotal><Percentage>10</Percentage>"
                   "<Amount>1</Amount><Description>Sconto fedelta clienti</Description></discountpercentageonsubtotal>",
               cash),
       "4",
       {"/10.00/Sconto fedelta c//0/1/0/"}},
      {"markup by amount on the last item",
       Receipt("Sale",
               Sale("Pane", "1", "10", "10") +
                   "<markupamount><Amount>0.5</Amount><Description>Servizio</Description></markupamount>",
               cash),
       "4",
       {"/0.50/Servizio//1/0/1/"}},
      {"voucher sold with its code, then redeemed",
       Receipt("Sale",
               "<vouchersale><Code>V-1</Code><Description>Buono</Description><Department>2</Department><Price>5</"
               "Price></vouchersale>"
               "<voucherredeem><Description>Buono "
               "usato</Description><Department>2</Department><Price>5</Price></voucherredeem>",
               cash),
       "3",
       {"/S/Buono//1.000/5.00/2///0//", "/M/Buono usato//1.000/5.00/2///0//"}},
      {"meal vouchers tender their pieces",
       Receipt("Sale", Sale("Pasto", "1", "16", "16"), Pay("MealVoucher", "16", "<Quantity>2</Quantity>")),
       "5",
       {"/6/16.00///////2/"}},
      {"to be invoiced: one payment, slot 12, for the total",
       Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "4") + Pay("CreditCard", "6"),
               "<ToBeInvoiced>true</ToBeInvoiced>"),
       "5",
       {"/12/10.00///////0/"}},
      {"weighted sale: the weighing, then its tare as a text line",
       Receipt(
           "Sale",
           "<weightedproductsale><Description>Formaggio</Description><Quantity>0.35</Quantity><UOM>kg</UOM>"
           "<Department>1</Department><Price>22</Price><Amount>7.7</Amount><Tare>0.005</Tare></weightedproductsale>",
           cash),
       "7",
       {"/1/1/" + Padded("0.005 kg") + "/"}},
      {"a negative collected amount is a deduction",
       Receipt("Sale",
               Sale("Pane", "1", "10", "10") + "<collectamount><Description>Vuoto</Description><Department>1"
                                               "</Department><Amount>-2</Amount></collectamount>",
               cash),
       "3",
       {"/S/Pane//1.000/10.00/1///0//", "/B/Vuoto//1.000/2.00/1///0//"}},
      {"the lottery code follows the opening on an RT printer",
       Receipt("Sale", Sale("Pane", "1", "10", "10"), cash, "<LotteryIdCode> ABCD1234 </LotteryIdCode>"),
       "I",
       {"/ABCD1234/0/"}},
      {"the word Totale in an item description goes out as it is",
       Receipt("Sale", Sale("Totale merce", "1", "10", "10"), cash), "3", {"/S/Totale merce//1.000/10.00/1///0//"}},
      {"the word TOTALE in capitals prints as TOT. in text and trailer lines",
       Receipt("Sale", Sale("Pane", "1", "10", "10") + "<text><Description>TOTALE MERCE</Description></text>", cash,
               "<TrailerMessages><Text><Value>TOTALE PUNTI 12</Value><Alignment>left</Alignment></Text></TrailerMessages>"),
       "7",
       {"/1/1/" + Padded("TOT. MERCE") + "/", "/1/1/" + Padded("TOT. PUNTI 12") + "/", "/1/6/" + kPad48 + "/"}},
      {"change given back is not tendered",
       Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "20") + Pay("Change", "10")),
       "5",
       {"/1/20.00///////0/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.ClearPackets();
    Answer a = PrintFR(c.receipt);
    EXPECT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(DataOf(emu.Packets(), c.letter), c.data);
  }
}

TEST_F(ReceiptAbiTest, RefundOfAnotherDeviceCarriesItsSerialAndReference) {
  const std::vector<PacketCase> cases = {
      {"another device's receipt",
       Receipt(
           "Refund", Sale("Pane", "1", "10", "10"), Pay("Cash", "10"),
           "<LotteryIdCode>ABCD1234</LotteryIdCode><References><OriginalReceipt><ReceiptDateTime>2024-05-01T09:00:00"
           "</ReceiptDateTime><ReceiptNumber>7</ReceiptNumber><DeviceSerialNumber>99MEY000001</DeviceSerialNumber>"
           "<EJClosingNumber>3</EJClosingNumber></OriginalReceipt></References>"),
       "-",
       {"/01052024/3/7/99MEY000001/ABCD1234//"}},
      {"a receipt paid by card elsewhere",
       Receipt("Refund", Sale("Pane", "1", "10", "10"), Pay("Cash", "10"),
               "<References><OriginalReceipt><ReceiptDateTime>2024-05-01T09:00:00</ReceiptDateTime><ReceiptNumber>7"
               "</ReceiptNumber><ReferenceType>EFTReceipt</ReferenceType></OriginalReceipt></References>"),
       "-",
       {"/01052024/////POS/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.ClearPackets();
    Answer a = PrintFR(c.receipt);
    EXPECT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(DataOf(emu.Packets(), c.letter), c.data);
    EXPECT_EQ(DataOf(emu.Packets(), "3"), std::vector<std::string>{"/N/Pane//1.000/10.00/1///0//"});
    EXPECT_EQ(emu.Journal().back().fKind, emu::JournalKind::Refund);
  }
}

// A receipt of this printer, then its refund and the void of a second one: the references
// name them by date, closing and number only, and the refund gives back the net amounts.
TEST_F(ReceiptAbiTest, RefundAndVoidOfOwnReceipts) {
  const std::string lines = Sale("Pane", "1", "10", "10") + Sale("Latte", "1", "5", "5") +
                            "<subtotal/><discountamountonsubtotal><Amount>3</Amount><Description>Promo</Description>"
                            "</discountamountonsubtotal>";
  Answer sale = PrintFR(Receipt("Sale", lines, Pay("Cash", "12")));
  ASSERT_EQ(sale.result, 0) << sale.error;
  const DateTime when = emu.Journal().back().fDateTime;
  auto reference = [&](const Answer& aSale) {
    return "<References><OriginalReceipt><ReceiptDateTime>" + XmlDateTime(when) + "</ReceiptDateTime><ReceiptNumber>" +
           aSale.Get("ReceiptNumber") + "</ReceiptNumber><DeviceSerialNumber>" + aSale.Get("DeviceSerialNumber") +
           "</DeviceSerialNumber><EJClosingNumber>" + aSale.Get("EJClosingNumber") +
           "</EJClosingNumber></OriginalReceipt></References>";
  };

  emu.ClearPackets();
  Answer refund =
      PrintFR(Receipt("Refund", lines, Pay("Cash", "-12"), "<TotalAmount>12</TotalAmount>" + reference(sale)));
  ASSERT_EQ(refund.result, 0) << refund.error;
  auto packets = emu.Packets();
  EXPECT_EQ(DataOf(packets, "-"),
            std::vector<std::string>{"/" + Ddmmyyyy(when, true) + "/" + sale.Get("EJClosingNumber") + "/" +
                                     sale.Get("ReceiptNumber") + "////"});
  // The subtotal discount is spread over the items; no discount packet goes out.
  EXPECT_EQ(DataOf(packets, "3"),
            (std::vector<std::string>{"/N/Pane//1.000/8.00/1///0//", "/N/Latte//1.000/4.00/1///0//"}));
  EXPECT_TRUE(DataOf(packets, "4").empty());
  EXPECT_EQ(DataOf(packets, "5"), std::vector<std::string>{"/1/12.00///////0/"});
  EXPECT_EQ(emu.Journal().back().fTotal, Amount::FromInt(12));

  Answer second = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
  ASSERT_EQ(second.result, 0) << second.error;
  emu.ClearPackets();
  Answer voided = PrintFR(Receipt("Void", Sale("Pane", "1", "10", "10"), Pay("Cash", "10"), reference(second)));
  ASSERT_EQ(voided.result, 0) << voided.error;
  packets = emu.Packets();
  EXPECT_EQ(DataOf(packets, "+"),
            std::vector<std::string>{"/1/" + Ddmmyyyy(when, true) + "/" + second.Get("EJClosingNumber") + "/" +
                                     second.Get("ReceiptNumber") + "////"});
  EXPECT_TRUE(DataOf(packets, "3").empty());
  EXPECT_TRUE(DataOf(packets, "5").empty());
  EXPECT_EQ(emu.Journal().back().fKind, emu::JournalKind::Void);
  EXPECT_TRUE(emu.Journal()[emu.Journal().size() - 2].fVoided);
}

#ifdef FP_TEST_RTSERVER
// Receipts signed by an RT server first: the result carries the server's numbers; a printer
// failure after the signing still reports the sale as registered; a receipt the server does
// not sign is an error and is not printed, even when an earlier one was signed.
TEST_F(ReceiptAbiTest, RTServerPathReportsTheServersDocument) {
  std::string library = FP_TEST_RTSERVER;
  library = library.substr(0, library.size() - 4);  // hosts name it without ".dll"
  Answer open = lib.Call("OPEN",
                         "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>rt</LogId>"
                         "<Connection><Type>HTTP</Type><URL>" +
                             emu.BaseUrl() +
                             "</URL></Connection>"
                             "<Parameters><RTServer>True</RTServer><RTServerDriver>" +
                             library + "</RTServerDriver></Parameters></ReceiptPrinterManager>");
  ASSERT_EQ(open.result, 0) << open.error;
  auto print = [&](const std::string& aDescription) {
    return lib.Call("PRINTFR", "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" +
                                   open.Get("Handle") + "</Handle>" +
                                   Receipt("Sale", Sale(aDescription, "1", "10", "10"), Pay("Cash", "10")) +
                                   "</ReceiptPrinterManager>");
  };

  Answer a = print("Pane");
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("ReceiptNumber"), "15");
  EXPECT_EQ(a.Get("EJNumber"), "0");
  EXPECT_EQ(a.Get("EJClosingNumber"), "3");
  EXPECT_EQ(a.Get("DeviceSerialNumber"), "T77");
  EXPECT_EQ(a.Get("ServerSerialNumber"), "SRV1");
  EXPECT_EQ(emu.Journal().size(), 1u);

  // A refused or unreadable answer while printing: the server has the sale, the paper copy
  // is missing, and the host must not send the sale again.
  const struct {
    const char* frame;
    const char* error;
  } unprinted[] = {
      {"09/00/06/", "Wrong VAT code"},
      {"garbage", "Invalid reply frame from the printer: &apos;garbage&apos;"},
  };
  for (const auto& c : unprinted) {
    SCOPED_TRACE(c.frame);
    emu.ForceFrame("3", c.frame);
    a = print("Pane");
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.Get("Error"), "False");
    EXPECT_EQ(a.Get("ErrorText"), c.error);
    EXPECT_EQ(a.Get("MessageText"),
              "La transazione di vendita è stata registrata correttamente ma non è stato possibile stamparla.");
  }

  emu.ClearPackets();
  a = print("refuse");
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error, "Errore nella generazione del documento commerciale.");
  EXPECT_TRUE(DataOf(emu.Packets(), ">").empty());
  lib.Call("CLOSE", "<ReceiptPrinterManager><Handle>" + open.Get("Handle") + "</Handle></ReceiptPrinterManager>");
}
#endif

#ifdef FP_TEST_PROCESSOR
// A processor library rewrites the request before anything is printed, or refuses it.
TEST_F(ReceiptAbiTest, ProcessorRewritesOrRefusesTheReceipt) {
  Answer open = lib.Call("OPEN",
                         "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>proc</LogId>"
                         "<Connection><Type>HTTP</Type><URL>" +
                             emu.BaseUrl() +
                             "</URL></Connection>"
                             "<Parameters><Processor>" FP_TEST_PROCESSOR
                             "</Processor></Parameters>"
                             "</ReceiptPrinterManager>");
  ASSERT_EQ(open.result, 0) << open.error;
  auto print = [&](const std::string& aDescription) {
    return lib.Call("PRINTFR", "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" +
                                   open.Get("Handle") + "</Handle>" +
                                   Receipt("Sale", Sale(aDescription, "1", "10", "10"), Pay("Cash", "10")) +
                                   "</ReceiptPrinterManager>");
  };
  emu.ClearPackets();
  Answer a = print("ORIGINAL");
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(DataOf(emu.Packets(), "3"), std::vector<std::string>{"/S/REWRITTEN//1.000/10.00/1///0//"});

  emu.ClearPackets();
  a = print("refuse");
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error, "Receipt not printed: receipt refused");
  EXPECT_TRUE(emu.Packets().empty());
  lib.Call("CLOSE", "<ReceiptPrinterManager><Handle>" + open.Get("Handle") + "</Handle></ReceiptPrinterManager>");
}
#endif

TEST_F(ReceiptAbiTest, NonNumericDepartmentStopsBeforeTheLineGoesOutAndCancelsTheReceipt) {
  Answer a = PrintFR(Receipt("Sale",
                             Sale("Pane", "1", "10", "10") +
                                 "<productsale><Description>Latte</Description><Quantity>1</Quantity>"
                                 "<Department>A1</Department><Price>5</Price><Amount>5</Amount></productsale>",
                             Pay("Cash", "15")));
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error,
            "Receipt not printed: 'A1' is not a valid integer value; the open receipt was cancelled and can be sent "
            "again");
  EXPECT_EQ(DataOf(emu.Packets(), "3").size(), 1u);
  EXPECT_TRUE(DataOf(emu.Packets(), "m").empty());
  EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
}

TEST_F(ReceiptAbiTest, InvoiceIsRefusedBeforeAnythingIsSent) {
  Answer a = PrintFR(Receipt("InvoiceSale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error, "Receipt not printed: Driver does not support Invoice");
  EXPECT_TRUE(emu.Packets().empty());
}

// The printer refuses one step; the receipt is cancelled on the spot, the result says it was
// not printed and why, and the next receipt starts clean.
TEST_F(ReceiptAbiTest, RefusalHalfwayCancelsTheReceiptAndTheNextOneWorks) {
  struct Refusal {
    const char* letter;
    int code;
    std::string error;
  };
  const std::vector<Refusal> refusals = {
      {"3", 0x09, "Wrong VAT code"},
      {"m", 0x4E, "Must insert the payment amount"},
      {"5", 0x0C, "The payment code doesn\u2019t exist"},
  };
  const std::string receipt =
      Receipt("Sale", Sale("Pane", "1", "10", "10") + Sale("Latte", "1", "5", "5"), Pay("Cash", "15"));
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.letter);
    emu.ForceReplyCode(r.letter, r.code);
    Answer a = PrintFR(receipt);
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.error, "Receipt not printed: " + r.error + "; the open receipt was cancelled and can be sent again");
    EXPECT_EQ(a.Get("Error"), "True");
    EXPECT_EQ(a.Get("ReceiptNumber"), "");
    EXPECT_EQ(DataOf(emu.Packets(), "+"), std::vector<std::string>{"/0/"});
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);

    const size_t before = emu.Journal().size();
    emu.ClearPackets();
    Answer next = PrintFR(receipt);
    EXPECT_EQ(next.result, 0) << next.error;
    EXPECT_TRUE(DataOf(emu.Packets(), "+").empty());
    EXPECT_EQ(next.Get("MessageText"), "");
    ASSERT_EQ(emu.Journal().size(), before + 1);
    EXPECT_EQ(emu.Journal().back().fTotal, Amount::FromInt(15));
  }
  lib.Call("CLOSE", Request(""));
  const std::string log = LogText();
  EXPECT_NE(log.find("Wrong VAT code"), std::string::npos);
  EXPECT_NE(log.find("3/S/Latte"), std::string::npos);
}

// A printer that carries a sale line out and then loses its answer cannot be told from one
// that never got it. The line is not sent again (it would be booked twice): the half-built
// receipt is cancelled at once and reported not printed, and the next receipt goes through.
TEST_F(ReceiptAbiTest, LineExecutedThenAnswerLostIsNotSentAgain) {
  const std::string receipt =
      Receipt("Sale", Sale("Pane", "1", "10", "10") + Sale("Latte", "1", "5", "5") + Sale("Uova", "1", "3", "3"),
              Pay("Cash", "18"));
  emu.DropAnswers("3", 1, 1);
  Answer a = PrintFR(receipt);
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.error.rfind("Receipt not printed: ", 0), 0u) << a.error;
  EXPECT_NE(a.error.find("; the open receipt was cancelled and can be sent again"), std::string::npos) << a.error;
  EXPECT_EQ(DataOf(emu.Packets(), "3").size(), 2u);
  EXPECT_EQ(DataOf(emu.Packets(), "+"), std::vector<std::string>{"/0/"});
  EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);

  const size_t before = emu.Journal().size();
  emu.ClearPackets();
  a = PrintFR(receipt);
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_TRUE(DataOf(emu.Packets(), "+").empty());
  const auto journal = emu.Journal();
  ASSERT_EQ(journal.size(), before + 1);
  EXPECT_EQ(journal.back().fTotal, Amount::FromInt(18));
}

// The trailer goes out after the payments; a refused middle line does not keep the rest and
// the closing from printing.
TEST_F(ReceiptAbiTest, TrailerWithARefusedMiddleLineStillCloses) {
  emu.ForceReplyCode("7", 0x0F);
  Answer a = PrintFR(Receipt(
      "Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10"),
      "<TrailerMessages><Barcode><Value>8001234567890</Value><Type>EAN13</Type><Alignment>left</Alignment></Barcode>"
      "<Text><Value>seconda</Value><Alignment>left</Alignment></Text><Text><Value>terza</Value><Alignment>left</"
      "Alignment></Text>"
      "<Image><Value>logo.bmp</Value><Alignment>left</Alignment></Image></TrailerMessages>"));
  const auto packets = emu.Packets();
  EXPECT_EQ(DataOf(packets, "["), std::vector<std::string>{"/100/2/2/67/12/800123456789/"});
  EXPECT_EQ(DataOf(packets, "7").size(), 3u);
  EXPECT_EQ(DataOf(packets, "m").size(), 1u);
  EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
  // The later lines that went through leave no failure behind: the receipt is printed, and
  // the refused line is named.
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_NE(a.Get("MessageText").find("Not printed, as the printer refused them: the line &quot;seconda&quot; ("),
            std::string::npos)
      << a.Get("MessageText");
}

// A trailer line goes out like any line of the receipt: a printer that stops answering there
// stops the receipt, nothing more is sent and the failure is reported.
TEST_F(ReceiptAbiTest, TrailerLineWithoutAnAnswerStopsTheReceipt) {
  emu.DropAnswers("7");
  Answer a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10"),
                             "<TrailerMessages><Text><Value>prima</Value><Alignment>left</Alignment></Text>"
                             "<Text><Value>seconda</Value><Alignment>left</Alignment></Text></TrailerMessages>"));
  const auto packets = emu.Packets();
  EXPECT_EQ(DataOf(packets, "5").size(), 1u);  // the payment went out before the trailer
  EXPECT_EQ(DataOf(packets, "7").size(), 1u) << Letters(packets);
  EXPECT_TRUE(DataOf(packets, "m").empty());
  EXPECT_EQ(a.result, -1);
  EXPECT_FALSE(a.error.empty());
}

// The receipt is printed before its numbers are read: an answer to that read which cannot
// be understood is told in ErrorText, never as a failure the host would answer by printing
// the receipt again.
TEST_F(ReceiptAbiTest, PrintedReceiptStaysASuccessWhenItsNumbersCannotBeRead) {
  const struct {
    const char* frame;
    const char* message;  // as the result fragment writes it
  } cases[] = {
      {"00/00/06/0/abc/", "&apos;abc&apos; is not a valid integer value"},
      {"garbage", "Invalid reply frame from the printer: &apos;garbage&apos;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    // A receipt first, so that the device knows where the numbering stands: the "X" after the
    // receipt below is its first, the one that cannot be read.
    ASSERT_EQ(PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10"))).result, 0);
    const size_t printed = emu.Journal().size();
    emu.ForceFrame("X", c.frame, 1, 0);
    Answer a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
    EXPECT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(a.Get("Error"), "False");
    EXPECT_EQ(a.Get("ErrorText"),
              std::string("The document was printed but its number, closing number and date and time could not be "
                          "read: ") +
                  c.message);
    EXPECT_EQ(a.Get("ReceiptNumber"), "");
    EXPECT_EQ(emu.Journal().size(), printed + 1);
  }
}

TEST_F(ReceiptAbiTest, ReprintChoosesTodaysNumberOrTheDateRange) {
  Answer sale = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")));
  ASSERT_EQ(sale.result, 0);
  const std::string number = sale.Get("ReceiptNumber");
  const DateTime now = Now();
  const std::string today = XmlDateTime(DateOf(now));
  // Selected for reading first, its text read back ("*") and checked, then printed: the
  // selection waits out a busy journal. Without a closing a date selects by the date,
  // whatever its time of day; without a date the open day's documents are meant.
  const std::string byDate =
      "/3/0//" + number + "/" + number + "/" + Ddmmyyyy(now, false) + "/" + Ddmmyyyy(now, false) + "/";
  struct Case {
    std::string reference;
    std::string selection;  // without its last field, 0 to read and 1 to print
  } cases[] = {
      {"<ReceiptDateTime>" + today + "</ReceiptDateTime>", byDate},
      {"<ReceiptDateTime>" + XmlDateTime(now) + "</ReceiptDateTime>", byDate},
      {"", "/1/1//" + number + "/" + number + "///"},
  };
  const auto withoutPieces = [](std::string aLetters) {
    aLetters.erase(std::remove(aLetters.begin(), aLetters.end(), '*'), aLetters.end());
    return aLetters;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reference);
    emu.ClearPackets();
    emu.ClearPaper();
    Answer a = lib.Call("REPRINTFR", Request("<ReceiptReference><ReceiptType>Sale</ReceiptType>" + c.reference +
                                             "<ReceiptNumber>" + number + "</ReceiptNumber></ReceiptReference>"));
    EXPECT_EQ(a.result, 0) << a.error;
    // The numbering ("X", "i") is read for the journal before the selection.
    EXPECT_EQ(withoutPieces(Letters(emu.Packets())), "Xi@@");
    EXPECT_EQ(Letters(emu.Packets()).substr(0, 4), "Xi@*");
    EXPECT_EQ(DataOf(emu.Packets(), "@"), (std::vector<std::string>{c.selection + "0/", c.selection + "1/"}));
    EXPECT_NE(emu.PaperText().find("COPIA"), std::string::npos);
  }
  // With a receipt still open the printer cannot print a copy: the host is told so.
  emu.Execute(">", "////");
  emu.ClearPackets();
  Answer refused = lib.Call(
      "REPRINTFR", Request("<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>" + today +
                           "</ReceiptDateTime><ReceiptNumber>" + number + "</ReceiptNumber></ReceiptReference>"));
  EXPECT_EQ(refused.result, -1);
  EXPECT_EQ(refused.error, "Document not printed: A transaction is open, close the transaction first");
  EXPECT_EQ(Letters(emu.Packets()), "Xi");
  emu.Execute("+", "/0/");

  // A busy journal is waited out on the selection; the copy then prints once.
  emu.ClearPackets();
  emu.ClearPaper();
  emu.AnswerBusy(1);
  Answer a = lib.Call("REPRINTFR",
                      Request("<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>" + today +
                              "</ReceiptDateTime><ReceiptNumber>" + number + "</ReceiptNumber></ReceiptReference>"));
  EXPECT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(withoutPieces(Letters(emu.Packets())), "Xi@@@");
  const std::string paper = emu.PaperText();
  EXPECT_NE(paper.find("COPIA"), std::string::npos);
  EXPECT_EQ(paper.find("COPIA"), paper.rfind("COPIA"));
}

TEST_F(ReceiptAbiTest, NonFiscalReceiptPrintsItsLinesAtTheEnd) {
  Answer a = lib.Call(
      "PRINTNFR",
      Request(
          "<NFReceipt><Lines><Text><Value>Buono "
          "sconto</Value><Alignment>left</Alignment><Effects>doubleheight</Effects></Text>"
          "<Barcode><Value>ABC-123</Value><Type>CODE128</Type><Alignment>left</Alignment></Barcode>"
          "<Image><Value>logo.bmp</Value><Alignment>left</Alignment></Image>"
          "<Barcode><Value>qr</Value><Type>QRCode</Type><Alignment>left</Alignment></Barcode></Lines></NFReceipt>"));
  ASSERT_EQ(a.result, 0) << a.error;
  const auto packets = emu.Packets();
  EXPECT_EQ(Letters(packets), "77[7mt");
  EXPECT_EQ(DataOf(packets, "7"),
            (std::vector<std::string>{"/1/20//", "/1/2/" + Padded("Buono sconto") + "/", "/1/6/" + kPad48 + "/"}));
  EXPECT_EQ(DataOf(packets, "["), std::vector<std::string>{"/100/2/2/73/7/ABC-123/"});
  EXPECT_EQ(a.Get("NFReceiptNumber"), "");
  EXPECT_EQ(emu.Journal().back().fKind, emu::JournalKind::NonFiscal);
}

TEST_F(ReceiptAbiTest, ReceiptTextComesFromTheJournal) {
  Answer a = PrintFR(Receipt("Sale", Sale("Pane", "1", "10", "10"), Pay("Cash", "10")),
                     "<GetReceiptText>TRUE</GetReceiptText>");
  ASSERT_EQ(a.result, 0) << a.error;
  const std::string text = a.Get("ReceiptText");
  const auto journal = emu.Journal();
  for (const auto& line : journal.back().fLines) EXPECT_NE(text.find(Trim(line)), std::string::npos) << line;
  EXPECT_NE(text.find("Pane"), std::string::npos);
  EXPECT_EQ(a.Get("ReceiptImage"), "");
}

TEST_F(ReceiptAbiTest, ReceiptTextCutShortComesBackWithItsReason) {
  // The printer refuses the second piece of the journal read: the receipt is printed, so the
  // result stays a success with the text read so far and the reason in ErrorText.
  emu.ForceReplyCode("*", 0x0F, 1, 1);
  std::string lines;
  for (int i = 1; i <= 12; ++i) lines += Sale("Riga " + std::to_string(i), "1", "1", "1");
  Answer a = PrintFR(Receipt("Sale", lines, Pay("Cash", "12")), "<GetReceiptText>TRUE</GetReceiptText>");
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_NE(a.Get("ReceiptNumber"), "");
  EXPECT_EQ(a.Get("ErrorText").rfind("The receipt text is incomplete: ", 0), 0u) << a.Get("ErrorText");
  const std::string text = a.Get("ReceiptText");
  EXPECT_NE(text, "");
  EXPECT_EQ(text.find("Riga 12"), std::string::npos);
}

}  // namespace
}  // namespace fp::test
