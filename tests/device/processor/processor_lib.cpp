// A processor library for the tests of the processor caller. It answers by what the
// request text contains: "refuse" makes a call fail, "garbage" makes an answer that is not
// XML; a receipt request has ORIGINAL replaced by REWRITTEN.
// Built twice: complete, and with FP_RECEIPT_ONLY exporting PROCESSRECEIPT alone.
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../loaded_lib_strings.h"

#define FP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using testlib::Alloc;
using testlib::Text;

bool Has(const char16_t* aText, const char* aWord) { return Text(aText).find(aWord) != std::string::npos; }

}  // namespace

std::atomic<int> gInside{0};

FP_EXPORT int16_t PROCESSRECEIPT(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage) {
  if (Has(aXmlIn, "overlap")) {
    // Reports a call that arrives while another one is still inside.
    const bool alone = ++gInside == 1;
    ::usleep(50);
    --gInside;
    if (!alone) {
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
  *aXmlOut = Alloc(std::string("<Report><GrandTotalAmount>1234.5</GrandTotalAmount>") +
                   "<DayTotalAmount>100.25</DayTotalAmount><DayVoidsAmount>3</DayVoidsAmount>" +
                   "<DayReceiptsNumber>12</DayReceiptsNumber><ReportNumber>" + (aKind[0] == 'X' ? "7" : "8") +
                   "</ReportNumber><ReportDateTime>2024-03-01T10:00:00</ReportDateTime>" + "<Text>" + aKind +
                   " REPORT\r\nTotal 100,25</Text></Report>");
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
