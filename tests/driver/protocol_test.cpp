#include <gtest/gtest.h>

#include "base/errors.h"
#include "drivers/tarvolx40fpeth/protocol.h"

using namespace fp;
using namespace fp::tarvol;

TEST(PacketData, EncodesForTheQuery) {
  struct Case {
    const char* data;
    const char* encoded;
  } cases[] = {
      {"", ""},
      {"/1////", "%2F1%2F%2F%2F%2F"},
      {"/a b/", "%2Fa%20b%2F"},
      {"caff\xC3\xA8", "caff%C3%A8"},          // a UTF-8 letter goes out as its two bytes
      {"x%2Fy", "x%2Fy"},                      // an escape already there stays
      {"100%", "100%25"},                      // a lone "%" is escaped
      {"%4", "%254"},                          // ... also when only one hex digit follows
      {"%zz", "%25zz"},
      {"a=c~!*", "a=c~!*"},                    // other printable ASCII passes
      {"#1 a&b+c?", "%231%20a%26b%2Bc%3F"},     // query delimiters never cut or change the text
      {"\x7F\t", "%7F%09"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodePacketData(c.data), c.encoded) << c.data;
  EXPECT_EQ(BuildCommandPath("4", 0, "x", "/7////"), "_io?cmd=4&js=0&pkt=x%2F7%2F%2F%2F%2F");
  EXPECT_EQ(BuildCommandPath("4", 0, "?", ""), "_io?cmd=4&js=0&pkt=?");
}

TEST(ReplyFrame, FieldsAndReplyData) {
  const std::string frame = "00/04/02/A1/B2//C3";
  EXPECT_EQ(FrameField(frame, 1), "00");
  EXPECT_EQ(FrameField(frame, 4), "A1");
  EXPECT_EQ(FrameField(frame, 6), "");
  EXPECT_EQ(FrameField(frame, 7), "C3");
  EXPECT_EQ(FrameField(frame, 8), "");
  EXPECT_EQ(FrameField("", 1), "");
  EXPECT_EQ(ReplyData(frame), "A1/B2//C3");
  EXPECT_EQ(ReplyData("00/00/02"), "");
}

TEST(ReplyFrame, DecodesStatusBits) {
  auto d = DecodeFrame("0A/84/10/");
  EXPECT_EQ(d.replyCode, 0x0A);
  EXPECT_EQ(d.device.ReplyCode, 0x0A);
  EXPECT_TRUE(d.device.CutterError && d.device.FiscalFileFull && d.device.PrintPaperEnd);
  EXPECT_FALSE(d.device.DeviceBusy || d.device.BatteryWarning || d.device.PrinterOffline || d.device.FatalError ||
               d.device.PrinterTimeout);
  // The fiscal byte is decimal: "10" is ten, day open and inactive period.
  EXPECT_TRUE(d.fiscal.DayIsOpen && d.fiscal.InactivePeriod);
  EXPECT_FALSE(d.fiscal.DrawerIsOpen || d.fiscal.TransactionOpen || d.fiscal.TransactionInPayment);

  d = DecodeFrame("00/79/06");
  EXPECT_TRUE(d.device.DeviceBusy && d.device.BatteryWarning && d.device.PrinterOffline && d.device.FatalError &&
              d.device.PrinterTimeout);
  EXPECT_FALSE(d.device.PrintPaperEnd || d.device.CutterError);
  EXPECT_TRUE(d.fiscal.DayIsOpen && d.fiscal.TransactionOpen);
  EXPECT_FALSE(d.fiscal.InactivePeriod);

  d = DecodeFrame("51/00/240/");
  EXPECT_EQ(d.replyCode, 0x51);
  EXPECT_TRUE(d.fiscal.TransactionInPayment && d.fiscal.CashInOpen && d.fiscal.CashOutOpen &&
              d.fiscal.ElectronicJournalReportOpen);
}

TEST(ReplyFrame, GarbageIsAClearError) {
  for (const char* frame : {"", "<html>", "00/0G/02", "00/00/x2", "zz/00/02", "00/00", "/00/02"}) {
    try {
      DecodeFrame(frame);
      ADD_FAILURE() << "accepted " << frame;
    } catch (const kException& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Invalid reply frame from the printer: '", 0), 0u) << e.what();
    }
  }
  EXPECT_TRUE(IsBusyFrame("00/00/02/"));
  EXPECT_FALSE(IsBusyFrame("00/00/06/"));
}

TEST(ReplyCodes, Messages) {
  struct Case {
    int code;
    const char* message;
  } cases[] = {
      {0x01, "The protocol command expects more fields"},
      {0x04, "Check the protocol command fields"},
      {0x05, "Check the protocol command fields"},
      {0x0A, "The Clerk\u2019s index number doesn\u2019t exist"},
      {0x1F, "A user\u2019s report is open"},
      {0x33, "The printer\u2019s cover is open"},
      {0x4B, "WORD NOT ALLOWED (TOTALE)"},
      {0x67, "Bonus index number Error"},
      {0x80, "Wrong Receipt date (Reso Merce/Annullamento not allowed)"},
      {0x81, "Error Unknow 129"},
      {0x95, "Error Unknow 149"},
      {0x96, "Bonus index number Error"},
      {0xAF, "Wrong Receipt date (Reso Merce/Annullamento not allowed)"},
      {0xB0, "Error Unknow 176"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetReplyCodeMessage(c.code), c.message) << c.code;
  // Every code from 0x01 to 0x80 has a message of its own.
  for (int code = 0x01; code <= 0x80; ++code)
    EXPECT_NE(GetReplyCodeMessage(code).rfind("Error Unknow", 0), 0u) << code;
}

TEST(FieldText, CleaningAndFields) {
  EXPECT_EQ(CleanFieldText("A/B&C"), "A-B-C");
  std::string data = "desc/3//x";
  EXPECT_EQ(NextField(data), "desc");
  EXPECT_EQ(NextField(data), "3");
  EXPECT_EQ(NextField(data), "");
  EXPECT_EQ(data, "x");
  EXPECT_EQ(NextField(data), "");  // no "/" left: nothing taken
  EXPECT_EQ(data, "x");

  EXPECT_EQ(AmountField(Amount::FromRaw(12345)), "1.23");
  EXPECT_EQ(AmountField(Amount::FromRaw(12350)), "1.24");
  EXPECT_EQ(AmountField(Amount::FromInt(22)), "22.00");
  EXPECT_EQ(AmountField(Amount::FromInt(-5)), "-5.00");
  EXPECT_EQ(AmountField(Amount()), "0.00");
  EXPECT_EQ(QuantityField(Amount::FromRaw(15000)), "1.500");
  EXPECT_EQ(TwoDigits(5), "05");
  EXPECT_EQ(TwoDigits(123), "23");
  EXPECT_EQ(TwoDigits(20), "20");
}

TEST(FieldText, DisplayAndPrintLines) {
  EXPECT_EQ(LineFieldText("  Totale  ", 10), "T0tale    ");
  EXPECT_EQ(LineFieldText("SUBTOTALE", 12), "SUBTOTALE   ");  // only the lower-case word is rewritten
  EXPECT_EQ(LineFieldText("a/b&c", 6), "a-b-c ");
  EXPECT_EQ(LineFieldText("", 3), "   ");
  // Cut by characters, not bytes.
  EXPECT_EQ(LineFieldText("\xC3\xA8\xC3\xA8\xC3\xA8", 2), "\xC3\xA8\xC3\xA8");
  EXPECT_EQ(LineFieldText(std::string(60, 'x'), 48), std::string(48, 'x'));
}

TEST(ReplyFrame, ArbitraryBytesNeverCrashTheDecoder) {
  // Frames made of the characters a reply is built from, in random order and length: each
  // either decodes or fails with the frame error, and field access stays in bounds.
  const std::string alphabet = "0123456789ABCDEFxyz/ -%\xC3\xA8";
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int i = 0; i < 5000; ++i) {
    std::string frame;
    const size_t length = next() % 24;
    for (size_t k = 0; k < length; ++k) frame += alphabet[(next() >> 8) % alphabet.size()];
    try {
      const auto d = DecodeFrame(frame);
      EXPECT_EQ(d.device.ReplyCode, d.replyCode);
    } catch (const kException&) {
    }
    for (int f = 0; f < 8; ++f) (void)FrameField(frame, f);
    (void)ReplyData(frame);
    std::string rest = frame;
    while (!NextField(rest).empty() || rest.find('/') != std::string::npos) {
    }
    EXPECT_EQ(EncodePacketData(frame).find_first_of(" /"), std::string::npos);
  }
}
