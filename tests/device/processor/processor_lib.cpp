// A processor library for the tests of the processor caller. It answers by what the
// request text contains: "refuse" makes a call fail ("silent" makes OPEN fail without a
// message), "garbage" makes an answer that is not XML, "overlap" reports a call that another one meets inside; a receipt request has ORIGINAL
// replaced by REWRITTEN, and a report says in its text when its request came declared Greek.
// Built twice: complete, and with FP_RECEIPT_ONLY exporting PROCESSRECEIPT alone.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "../loaded_lib_strings.h"

#define FP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using testlib::Alloc;
using testlib::Text;

bool Has(const char16_t* aText, const char* aWord) { return Text(aText).find(aWord) != std::string::npos; }

}  // namespace

// The calls of "overlap" inside the library. Each waits inside a while for company (a caller
// that keeps calls apart makes every one wait its full time alone); a call that finds
// another inside reports the overlap, and so does the other if it wakes before it leaves.
std::mutex gInsideMutex;
std::condition_variable gInsideChanged;
int gInside = 0;
constexpr auto kWaitForCompany = std::chrono::milliseconds(200);

FP_EXPORT int16_t PROCESSRECEIPT(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  if (Has(aXmlIn, "overlap")) {
    std::unique_lock<std::mutex> lock(gInsideMutex);
    ++gInside;
    gInsideChanged.notify_all();
    const bool met = gInsideChanged.wait_for(lock, kWaitForCompany, [] { return gInside > 1; });
    --gInside;
    if (met) {
      *aErrorMessage = Alloc("overlapping calls");
      return 9;
    }
  }
  if (Has(aXmlIn, "refuse")) {
    *aXmlOut = Alloc("");
    *aErrorMessage = Alloc("receipt refused");
    return 3;
  }
  std::string xml = Text(aXmlIn);
  size_t at = xml.find("ORIGINAL");
  if (at != std::string::npos) xml.replace(at, 8, "REWRITTEN");
  *aXmlOut = Alloc(xml);
  return 0;
}

#ifndef FP_RECEIPT_ONLY

FP_EXPORT int16_t OPEN(char16_t* aXmlIn, int32_t* aHandle, char16_t** aErrorMessage) {
  if (Has(aXmlIn, "silent")) return 1;
  if (Has(aXmlIn, "refuse")) {
    *aErrorMessage = Alloc("open refused");
    return 1;
  }
  *aHandle = 42;
  return 0;
}

FP_EXPORT int16_t PROCESSREPRINTRECEIPT(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  return PROCESSRECEIPT(aXmlIn, aXmlOut, aErrorMessage);
}

static int16_t Report(const char* aKind, char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  if (Has(aXmlIn, "refuse")) {
    *aErrorMessage = Alloc(std::string(aKind) + " refused");
    return 2;
  }
  if (Has(aXmlIn, "garbage")) {
    *aXmlOut = Alloc("<Report><Text>");
    return 0;
  }
  const bool greek = Text(aXmlIn).rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-7\"?>", 0) == 0;
  *aXmlOut = Alloc(std::string("<Report><GrandTotalAmount>1234.5</GrandTotalAmount>") +
                   "<DayTotalAmount>100.25</DayTotalAmount><DayVoidsAmount>3</DayVoidsAmount>" +
                   "<DayReceiptsNumber>12</DayReceiptsNumber><ReportNumber>" + (aKind[0] == 'X' ? "7" : "8") +
                   "</ReportNumber><ReportDateTime>2024-03-01T10:00:00</ReportDateTime>" + "<Text>" + aKind +
                   " REPORT\r\nTotal 100,25" + (greek ? "\r\nISO-8859-7" : "") + "</Text></Report>");
  return 0;
}

FP_EXPORT int16_t PROCESSXREPORT(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  return Report("X", aXmlIn, aXmlOut, aErrorMessage);
}

FP_EXPORT int16_t PROCESSZREPORT(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  return Report("Z", aXmlIn, aXmlOut, aErrorMessage);
}

FP_EXPORT int16_t PROCESSGETSTATUS(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  if (Has(aXmlIn, "refuse")) {
    *aErrorMessage = Alloc("status refused");
    return 5;
  }
  *aXmlOut = Alloc(
      "<Status><DayOpened>true</DayOpened><DateTime>2024-03-01T10:00:00</DateTime>"
      "<FirmwareVersion>P1</FirmwareVersion><SerialNumber>PSN</SerialNumber><FiscalMode>MF</FiscalMode></Status>");
  return 0;
}

#endif
