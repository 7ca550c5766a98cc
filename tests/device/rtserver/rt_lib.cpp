// An RT-server library for the tests of the RT server client. OPENTILL refuses the host
// "refuse"; the user name "no-reports" makes X reports and till closings fail; a receipt
// containing "refuse" is not signed. Built also with FP_NO_CLOSETILL, lacking CLOSETILL.
//
// For the tests of the receipt's road it counts the receipts it signed (TESTSIGNED) and, when
// FP_TEST_RT_LOCK_FILE names a printer's lock file, looks whether another holder has that file
// locked while it signs (TESTLOCKHELD: 1 held, 0 free, -1 not looked at). With
// FP_TEST_RT_DIE_SIGNING set, the process ends inside the signing, as a till killed there.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "../loaded_lib_strings.h"

#define FP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string gUser;
int32_t gSigned = 0;
int32_t gLockHeld = -1;

// Whether someone holds the lock file aPath: a lock of our own on it fails while they do.
int32_t LockHeldByAnother(const char* aPath) {
#if defined(_WIN32)
  (void)aPath;
  return -1;
#else
  const int fd = ::open(aPath, O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);  // lets our own lock go with it
  return free ? 0 : 1;
#endif
}

using testlib::Alloc;
using testlib::Text;

int16_t Report(const char* aNumber, char16_t** aReportXml, char16_t** aMessage) {
  if (gUser == "no-reports") {
    *aMessage = Alloc("report refused");
    return 1;
  }
  *aReportXml = Alloc(std::string("<Report><DailyTotal>100.5</DailyTotal><DailySales>120</DailySales>") +
                      "<DailyVoids>9.5</DailyVoids><DailyRefunds>10</DailyRefunds>" +
                      "<TillSerialNumber>T77</TillSerialNumber><ServerSerialNumber>SRV1</ServerSerialNumber>" +
                      "<nRecNumber>14</nRecNumber><zRepNumber>" + aNumber + "</zRepNumber>" +
                      "<zRepDateTime>2024-03-01T22:00:00</zRepDateTime></Report>");
  return 0;
}

}  // namespace

FP_EXPORT uint8_t OPENTILL(char16_t* aHost, int32_t aPort, char16_t* aUserName, char16_t* aPassword,
                           char16_t* aTillId, char16_t** aMessage) {
  gUser = Text(aUserName);
  *aMessage = Alloc("till " + Text(aTillId) + " at " + Text(aHost) + ":" + std::to_string(aPort));
  return Text(aHost) == "refuse" ? 1 : 0;
}

FP_EXPORT uint8_t SIGNRECEIPT(char16_t* aReceiptXml, char16_t** aResultXml, char16_t** aMessage) {
  if (const char* lockFile = std::getenv("FP_TEST_RT_LOCK_FILE")) gLockHeld = LockHeldByAnother(lockFile);
  if (std::getenv("FP_TEST_RT_DIE_SIGNING")) std::_Exit(9);
  if (Text(aReceiptXml).find("refuse") != std::string::npos) {
    *aMessage = Alloc("not signed");
    return 2;
  }
  ++gSigned;
  *aResultXml = Alloc(
      "<Result><VATTotal>1.8</VATTotal><ServerSerialNumber>SRV1</ServerSerialNumber><TillId>T77</TillId>"
      "<Signature>SIG</Signature><nDoc>15</nDoc><zRep>3</zRep>"
      "<Headers><Line>SHOP</Line><Line>VIA ROMA 1</Line></Headers></Result>");
  return 0;
}

FP_EXPORT int32_t TESTSIGNED() { return gSigned; }
FP_EXPORT int32_t TESTLOCKHELD() { return gLockHeld; }

FP_EXPORT int16_t XREPORT(char16_t** aReportXml, char16_t** aMessage) { return Report("3", aReportXml, aMessage); }

#ifndef FP_NO_CLOSETILL
FP_EXPORT int16_t CLOSETILL(char16_t** aReportXml, char16_t** aMessage) { return Report("4", aReportXml, aMessage); }
#endif
