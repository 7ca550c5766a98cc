#include "documents/ej_report.h"

#include "base/errors.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

namespace {

// A journal number that is no integer selects nothing in particular: it reads as 0.
int32_t NumberOrZero(pugi::xml_node aParent, const char* aName) {
  return ParseXmlInteger(krptUtil::GetNodeValueAsString(aParent, aName)).value_or(0);
}

}  // namespace

void kEJReport::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node report = FindRequestElement(aXmlDocument, "EJReport");
  if (!report) throw kException("EJReport node not found");
  fReportType = static_cast<vnEJReportType>(
      krptUtil::DecodeEJReportType(krptUtil::GetNodeValueAsString(report, "ReportType")));
  fDestination = static_cast<vnEJReportDestination>(
      krptUtil::DecodeEJReportDestination(krptUtil::GetNodeValueAsString(report, "ReportDestination")));
  // The date range is always required, also for a report selected by numbers.
  fStartDate = XmlTextToDateTime(krptUtil::GetNodeValueAsString(report, "StartDate"));
  fEndDate = XmlTextToDateTime(krptUtil::GetNodeValueAsString(report, "EndDate"));
  fStartNumber = NumberOrZero(report, "StartNumber");
  fEndNumber = NumberOrZero(report, "EndNumber");
}

}  // namespace fp
