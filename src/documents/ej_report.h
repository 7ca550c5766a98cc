// An electronic-journal report: which documents, selected by date range and numbers, and
// whether they go to the printer or come back in memory.
#pragma once

#include <pugixml.hpp>

#include <cstdint>

#include "base/datetime.h"
#include "documents/enums.h"

namespace fp {

class kEJReport {
 public:
  vnEJReportType fReportType = ejrt_ZReport;
  vnEJReportDestination fDestination = rd_Printer;
  DateTime fStartDate = 0;
  DateTime fEndDate = 0;
  int32_t fStartNumber = 0;
  int32_t fEndNumber = 0;

  // Reads EJReport. ReportType, ReportDestination, StartDate and EndDate are required; the
  // dates fail with the plain "DateTime Format invalid: [...]" message. StartNumber and
  // EndNumber read 0 whenever they are no integer. Throws "EJReport node not found"
  // without an EJReport element.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
