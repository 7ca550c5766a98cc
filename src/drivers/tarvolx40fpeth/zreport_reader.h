// Reading the day's totals back out of the printed text of the RT printer's Z reports, as
// the electronic journal keeps them.
//
// A Z report is a block of "label ... value" lines between "AZZERAMENTO GIORNALIERO" and
// "N.DOCUMENTI CLASSE II"; its values are written the Italian way ("1.234,56"). Several
// reports in one text sum their day values; the grand totals, the number and the date-time
// are those of the last one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/amount.h"
#include "base/datetime.h"
#include "device/fiscal_printer_device.h"

namespace fp::tarvol {

// The value of the last blank-separated word of aLine: "." is grouping and "," the
// decimal separator. Anything that is not such a number (or does not fit) reads as 0.
Amount ZReportLineValue(std::string_view aLine);

// "dd-mm-yy  hh:nn" at the start of aLine (day 01-31, month 01-12, year 01-66 meaning
// 2001-2066, hour 00-23, minute 00-59): that moment. Empty when the line does not start so,
// or names a day the calendar does not have.
std::optional<DateTime> ZReportDateTimeLine(std::string_view aLine);

// Fills aCounters from aText (lines separated by CR LF): the counters the printer's reports
// carry are zeroed first (the two voids amounts included, since every report adds to them),
// Text becomes aText, then every Z report found in it is added in.
void ReadZReports(const std::string& aText, vnFiscalCounters& aCounters);

// Fills aCounters from the one Z report of aText whose closing number ("N.AZZERAMENTI") is
// aClosing: the day's journal holds every closing of the date, and only the one just taken
// describes it. Text becomes that report's lines alone. False, with the counters zeroed and
// Text empty, when aText holds no report of that number.
bool ReadZReport(const std::string& aText, int32_t aClosing, vnFiscalCounters& aCounters);

}  // namespace fp::tarvol
