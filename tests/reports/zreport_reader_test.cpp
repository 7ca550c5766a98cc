// The Z report reader: journal texts of Z reports in, day counters out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/amount.h"
#include "base/datetime.h"
#include "drivers/tarvolx40fpeth/zreport_reader.h"

namespace fp::tarvol {
namespace {

Amount A(const char* aText) { return *Amount::Parse(aText); }

std::string Join(const std::vector<std::string>& aLines) {
  std::string out;
  for (size_t i = 0; i < aLines.size(); ++i) out += (i ? "\r\n" : "") + aLines[i];
  return out;
}

// A Z report block as the printer writes it in its journal.
std::vector<std::string> Report(const std::string& aDateLine, const std::string& aSales, const std::string& aGrand,
                                const std::string& aDocuments, const std::string& aNumber) {
  return {"            AZZERAMENTO GIORNALIERO",
          aDateLine,
          "------------------------------------------------",
          "TOTALE VENDITE                           " + aSales,
          "SCONTI                                     1,50",
          "TOTALE RESI                                2,00",
          "TOTALE ANNULLI                             3,25",
          "GRAN TOTALE                          " + aGrand,
          "N.DOCUMENTI COMMERC.                         " + aDocuments,
          "N.AZZERAMENTI                                " + aNumber,
          "N.DOCUMENTI CLASSE II                         0"};
}

TEST(ZReportLineValue, ReadsTheLastWordTheItalianWay) {
  struct Case {
    const char* line;
    const char* value;
  } cases[] = {
      {"GRAN TOTALE         1.234,56", "1234.56"},
      {"TOTALE VENDITE  100,00   ", "100"},
      {"N.AZZERAMENTI  0012", "12"},
      {"SCONTI -4,5", "-4.5"},
      {"TOTALE  1.234.567,891", "1234567.891"},
      {"TOTALE  12,3,4", "0"},   // two decimal separators
      {"TOTALE  EURO", "0"},     // a word, not a number
      {"TOTALE  1,2a", "0"},
      {"TOTALE  .", "0"},        // only grouping
      {"", "0"},
      {"TOTALE  99999999999999999999,00", "0"},  // does not fit
  };
  for (const auto& c : cases) EXPECT_EQ(ZReportLineValue(c.line), A(c.value)) << c.line;
}

TEST(ZReportDateTimeLine, RecognisesOnlyTheDateTimePattern) {
  struct Case {
    const char* line;
    bool matches;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  } cases[] = {
      {"09-12-26  00:15", true, 2026, 12, 9, 0, 15},
      {"31-01-01  23:59 RT 80012345", true, 2001, 1, 31, 23, 59},
      {"01-06-66  12:00", true, 2066, 6, 1, 12, 0},
      {"01-06-67  12:00", false},   // year past 66
      {"00-06-26  12:00", false},   // day 00
      {"32-06-26  12:00", false},
      {"01-13-26  12:00", false},
      {"01-06-26  24:00", false},
      {"01-06-26  12:60", false},
      {"01-06-26 12:00", false},    // one blank only
      {"01/06/26  12:00", false},
      {"31-02-26  12:00", false},   // no such day
      {"01-06-26  12:0", false},    // too short
      {" 01-06-26  12:00", false},  // must start the line
  };
  for (const auto& c : cases) {
    const auto value = ZReportDateTimeLine(c.line);
    ASSERT_EQ(value.has_value(), c.matches) << c.line;
    if (c.matches) {
      EXPECT_EQ(*value, *EncodeDateTime(c.year, c.month, c.day, c.hour, c.minute, 0, 0)) << c.line;
    }
  }
}

TEST(ReadZReports, OneReportFillsTheCounters) {
  vnFiscalCounters c;
  const std::string text = Join(Report("09-12-26  00:15", "100,00", "1.234,56", "7", "42"));
  ReadZReports(text, c);
  EXPECT_EQ(c.GrandTotalAmount, A("1234.56"));
  EXPECT_EQ(c.DayTotalAmount, A("100"));
  EXPECT_EQ(c.DayDiscountsAmount, A("1.5"));
  EXPECT_EQ(c.DayRefundsAmount, A("2"));
  EXPECT_EQ(c.DayVoidsAmount, A("3.25"));
  EXPECT_EQ(c.DayReceiptsNumber, 7);
  EXPECT_EQ(c.ZReportNumber, 42);
  EXPECT_EQ(c.ZReportDateTime, *EncodeDateTime(2026, 12, 9, 0, 15, 0, 0));
  EXPECT_EQ(c.Text, text);
  // No line carries these.
  EXPECT_EQ(c.GrandTotalRefundsAmount, Amount());
  EXPECT_EQ(c.GrandTotalVoidsAmount, Amount());
  EXPECT_EQ(c.DayReturnsAmount, Amount());
  EXPECT_EQ(c.DayRefundsNumber, 0);
}

TEST(ReadZReports, TwoReportsSumTheDayAndKeepTheLastNumbers) {
  auto lines = Report("09-12-26  10:00", "100,00", "1.000,00", "3", "41");
  const auto second = Report("09-12-26  18:30", "50,25", "1.050,25", "2", "42");
  lines.insert(lines.end(), second.begin(), second.end());
  vnFiscalCounters c;
  ReadZReports(Join(lines), c);
  EXPECT_EQ(c.DayTotalAmount, A("150.25"));
  EXPECT_EQ(c.DayDiscountsAmount, A("3"));
  EXPECT_EQ(c.DayVoidsAmount, A("6.5"));
  EXPECT_EQ(c.DayReceiptsNumber, 5);
  EXPECT_EQ(c.GrandTotalAmount, A("1050.25"));
  EXPECT_EQ(c.ZReportNumber, 42);
  EXPECT_EQ(c.ZReportDateTime, *EncodeDateTime(2026, 12, 9, 18, 30, 0, 0));
}

// The closing just taken is picked out of a date's journal by its number, with its own text.
TEST(ReadZReport, TakesTheReportOfTheClosingNumber) {
  const auto first = Report("09-12-26  10:00", "100,00", "1.000,00", "3", "41");
  const auto second = Report("09-12-26  18:30", "50,25", "1.050,25", "2", "42");
  auto lines = first;
  lines.insert(lines.end(), second.begin(), second.end());
  const std::string text = Join(lines);
  struct Case {
    int closing;
    bool found;
    const char* dayTotal;
    const char* grandTotal;
    int receipts;
    std::string text;
  } cases[] = {
      {41, true, "100", "1000", 3, Join(first)},
      {42, true, "50.25", "1050.25", 2, Join(second)},
      {43, false, "0", "0", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.closing);
    vnFiscalCounters counters;
    counters.DayTotalAmount = A("999");  // an earlier reading never shows through
    EXPECT_EQ(ReadZReport(text, c.closing, counters), c.found);
    EXPECT_EQ(counters.DayTotalAmount, A(c.dayTotal));
    EXPECT_EQ(counters.GrandTotalAmount, A(c.grandTotal));
    EXPECT_EQ(counters.DayReceiptsNumber, c.receipts);
    EXPECT_EQ(counters.ZReportNumber, c.found ? c.closing : 0);
    EXPECT_EQ(counters.Text, c.text);
  }
}

// Each case changes one thing of a plain report and names what the day total must become.
TEST(ReadZReports, LineRules) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    const char* dayTotal;
    int receipts;
  } cases[] = {
      {"a line repeated right after itself counts once",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  10,00", "N.DOCUMENTI COMMERC.  1", "N.DOCUMENTI COMMERC.  1",
        "N.DOCUMENTI CLASSE II  0"},
       "10", 1},
      {"a repeated report line is not added twice",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  10,00", "N.DOCUMENTI CLASSE II  0", "N.DOCUMENTI CLASSE II  0"},
       "10", 0},
      {"the same line again after another one counts again",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  10,00", "N.DOCUMENTI CLASSE II  0", "TOTALE VENDITE  10,00",
        "N.DOCUMENTI CLASSE II  0"},
       "20", 0},
      {"question marks read as blanks",
       {"AZZERAMENTO?GIORNALIERO", "TOTALE?VENDITE??12,50", "N.DOCUMENTI?CLASSE?II?0"}, "12.5", 0},
      {"a value that is no number counts as zero and the reading goes on",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  ###", "N.DOCUMENTI COMMERC.  x2", "N.DOCUMENTI CLASSE II  0",
        "AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  5,00", "N.DOCUMENTI CLASSE II  0"},
       "5", 0},
      {"without the closing line nothing is committed",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  10,00", "N.DOCUMENTI COMMERC.  4"}, "0", 0},
      {"a new report start drops what came before it",
       {"TOTALE VENDITE  99,00", "AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  1,00", "N.DOCUMENTI CLASSE II  0"},
       "1", 0},
      {"TOTALE VENDITE needs two blanks after it",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE 10,00", "N.DOCUMENTI CLASSE II  0"}, "0", 0},
      {"the first matching label wins: a sales line mentioning discounts is sales",
       {"AZZERAMENTO GIORNALIERO", "TOTALE VENDITE  SCONTI  7,00", "N.DOCUMENTI CLASSE II  0"}, "7", 0},
      {"document counts are cut to whole numbers", {"AZZERAMENTO GIORNALIERO", "N.DOCUMENTI COMMERC.  3,9",
        "N.DOCUMENTI CLASSE II  0"}, "0", 3},
      {"an empty text", {""}, "0", 0},
  };
  for (const auto& c : cases) {
    vnFiscalCounters counters;
    ReadZReports(Join(c.lines), counters);
    EXPECT_EQ(counters.DayTotalAmount, A(c.dayTotal)) << c.name;
    EXPECT_EQ(counters.DayReceiptsNumber, c.receipts) << c.name;
  }
}

// The reader starts from zero every time, so the totals of an earlier day never leak into
// the next one (the voids amounts included).
TEST(ReadZReports, StartsFromZeroEachTime) {
  vnFiscalCounters c;
  const std::string text = Join(Report("09-12-26  10:00", "100,00", "1.000,00", "3", "41"));
  ReadZReports(text, c);
  ReadZReports(text, c);
  EXPECT_EQ(c.DayTotalAmount, A("100"));
  EXPECT_EQ(c.DayVoidsAmount, A("3.25"));
  EXPECT_EQ(c.DayReceiptsNumber, 3);

  ReadZReports("", c);
  EXPECT_EQ(c.DayTotalAmount, Amount());
  EXPECT_EQ(c.DayVoidsAmount, Amount());
  EXPECT_EQ(c.GrandTotalAmount, Amount());
  EXPECT_EQ(c.ZReportNumber, 0);
  EXPECT_EQ(c.Text, "");
}

}  // namespace
}  // namespace fp::tarvol
