#include "drivers/tarvolx40fpeth/zreport_reader.h"

#include <cstdint>
#include <limits>

namespace fp::tarvol {

namespace {

// One Z report while it is being read.
struct Accumulator {
  Amount grandTotal;
  Amount sales;
  Amount discounts;
  Amount refunds;
  Amount voids;
  int32_t commercialDocuments = 0;
  int32_t zReports = 0;
  DateTime dateTime = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Two digits at aPos read as text between aLow and aHigh ("01" to "31").
bool TwoDigitsBetween(std::string_view aLine, size_t aPos, int aLow, int aHigh, int& aValue) {
  if (!IsDigit(aLine[aPos]) || !IsDigit(aLine[aPos + 1])) return false;
  aValue = (aLine[aPos] - '0') * 10 + (aLine[aPos + 1] - '0');
  return aValue >= aLow && aValue <= aHigh;
}

int32_t TruncatedCount(Amount aValue) {
  const int64_t whole = aValue.Raw() / Amount::kScale;
  if (whole > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (whole < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(whole);
}

// Document counts add up across the reports of a day; a sum past the integer range stays at
// its edge instead of wrapping.
int32_t SaturatedAdd(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum);
}

void Commit(const Accumulator& aReport, vnFiscalCounters& aCounters) {
  aCounters.GrandTotalAmount = aReport.grandTotal;
  // The report has no lines for these: they stay at zero.
  aCounters.GrandTotalRefundsAmount = Amount();
  aCounters.GrandTotalVoidsAmount = Amount();
  aCounters.DayTotalAmount += aReport.sales;
  aCounters.DayDiscountsAmount += aReport.discounts;
  aCounters.DayRefundsAmount += aReport.refunds;
  aCounters.DayVoidsAmount += aReport.voids;
  aCounters.DayReceiptsNumber = SaturatedAdd(aCounters.DayReceiptsNumber, aReport.commercialDocuments);
  aCounters.ZReportNumber = aReport.zReports;
  aCounters.ZReportDateTime = aReport.dateTime;
}

bool Contains(std::string_view aLine, std::string_view aWhat) { return aLine.find(aWhat) != std::string_view::npos; }

}  // namespace

Amount ZReportLineValue(std::string_view aLine) {
  size_t end = aLine.size();
  while (end > 0 && IsBlank(aLine[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !IsBlank(aLine[start - 1])) --start;

  std::string number;
  bool digits = false, comma = false;
  for (size_t i = start; i < end; ++i) {
    const char c = aLine[i];
    if (c == '.') continue;  // grouping
    if (IsDigit(c)) {
      digits = true;
      number += c;
    } else if (c == ',' && !comma) {
      comma = true;
      number += '.';
    } else if ((c == '-' || c == '+') && number.empty()) {
      number += c;
    } else {
      return Amount();
    }
  }
  if (!digits) return Amount();
  return Amount::Parse(number).value_or(Amount());
}

std::optional<DateTime> ZReportDateTimeLine(std::string_view aLine) {
  if (aLine.size() < 15) return std::nullopt;
  int day, month, year, hour, minute;
  if (!TwoDigitsBetween(aLine, 0, 1, 31, day) || aLine[2] != '-' || !TwoDigitsBetween(aLine, 3, 1, 12, month) ||
      aLine[5] != '-' || !TwoDigitsBetween(aLine, 6, 1, 66, year) || aLine[8] != ' ' || aLine[9] != ' ' ||
      !TwoDigitsBetween(aLine, 10, 0, 23, hour) || aLine[12] != ':' || !TwoDigitsBetween(aLine, 13, 0, 59, minute))
    return std::nullopt;
  return EncodeDateTime(2000 + year, month, day, hour, minute, 0, 0);
}

namespace {

void ZeroCounters(vnFiscalCounters& aCounters) {
  aCounters.GrandTotalAmount = Amount();
  aCounters.GrandTotalRefundsAmount = Amount();
  aCounters.GrandTotalVoidsAmount = Amount();
  aCounters.DayTotalAmount = Amount();
  aCounters.DayDiscountsAmount = Amount();
  aCounters.DayReturnsAmount = Amount();
  aCounters.DayRefundsAmount = Amount();
  aCounters.DayVoidsAmount = Amount();
  aCounters.DayReceiptsNumber = 0;
  aCounters.DayRefundsNumber = 0;
  aCounters.ZReportNumber = 0;
}

// Walks the reports of aText and hands each finished one to aCommit with the offset of its
// first line ("AZZERAMENTO GIORNALIERO", or the start of the text).
template <class TCommit>
void WalkZReports(const std::string& aText, TCommit&& aCommit) {
  Accumulator report;
  size_t reportStart = 0;
  std::string_view previous;
  bool first = true;
  std::string line;
  size_t pos = 0;
  while (pos <= aText.size()) {
    size_t next = aText.find("\r\n", pos);
    if (next == std::string::npos) next = aText.size();
    const std::string_view raw(aText.data() + pos, next - pos);
    const size_t lineStart = pos;
    pos = next + 2;

    // The journal repeats a line when a piece boundary falls on it.
    if (!first && raw == previous) continue;
    first = false;
    previous = raw;

    line.assign(raw);
    for (char& c : line)
      if (c == '?') c = ' ';
    const Amount value = ZReportLineValue(line);

    if (Contains(line, "AZZERAMENTO GIORNALIERO")) {
      report = Accumulator();
      reportStart = lineStart;
    } else if (Contains(line, "N.DOCUMENTI CLASSE II")) {
      aCommit(report, reportStart);
      report = Accumulator();
    } else if (Contains(line, "TOTALE VENDITE  ")) {
      report.sales = value;
    } else if (Contains(line, "GRAN TOTALE  ")) {
      report.grandTotal = value;
    } else if (Contains(line, "SCONTI")) {
      report.discounts = value;
    } else if (Contains(line, "TOTALE RESI")) {
      report.refunds = value;
    } else if (Contains(line, "TOTALE ANNULLI")) {
      report.voids = value;
    } else if (Contains(line, "N.DOCUMENTI COMMERC.")) {
      report.commercialDocuments = TruncatedCount(value);
    } else if (Contains(line, "N.AZZERAMENTI")) {
      report.zReports = TruncatedCount(value);
    } else if (auto when = ZReportDateTimeLine(line)) {
      report.dateTime = *when;
    }
  }
}

}  // namespace

void ReadZReports(const std::string& aText, vnFiscalCounters& aCounters) {
  ZeroCounters(aCounters);
  aCounters.Text = aText;
  WalkZReports(aText, [&](const Accumulator& aReport, size_t) { Commit(aReport, aCounters); });
}

bool ReadZReport(const std::string& aText, int32_t aClosing, vnFiscalCounters& aCounters) {
  ZeroCounters(aCounters);
  aCounters.Text.clear();
  std::optional<size_t> start;
  WalkZReports(aText, [&](const Accumulator& aReport, size_t aStart) {
    if (aReport.zReports != aClosing || start) return;
    Commit(aReport, aCounters);
    start = aStart;
  });
  if (!start) return false;
  // The report runs up to the next one's first line.
  size_t end = aText.find("AZZERAMENTO GIORNALIERO", aText.find("\r\n", *start));
  if (end != std::string::npos) end = aText.rfind("\r\n", end);
  aCounters.Text = aText.substr(*start, end == std::string::npos ? std::string::npos : end - *start);
  return true;
}

}  // namespace fp::tarvol
