// The caller of an external processor library: a library named by the device parameter
// Processor that may rewrite receipt requests and take over X/Z reports and the status.
//
// The library is loaded once, when the device is constructed, and its entry points are
// found by name; each is optional. All of them take system wide strings (see
// system_string.h) and return a 16-bit result, 0 for success. The caller hands the out
// strings in empty (null) and takes over, and frees, whatever the library leaves in them:
// the library must allocate them with the library's exported SysAllocString (or the same
// malloc-based layout).
#pragma once

#include <cstdint>
#include <string>

#include "base/datetime.h"

namespace fp {

class kFiscalPrinterDevice;
struct vnFiscalCounters;

// Entry points of a processor library.
extern "C" {
using vnFP_OpenProcessor = int16_t (*)(char16_t* aXmlIn, int32_t* aHandle, char16_t** aErrorMessage);
using vnFP_ProcessReceipt = int16_t (*)(char16_t* aXmlIn, char16_t** aXmlOut, char16_t** aErrorMessage);
using vnFP_ProcessReprintReceipt = vnFP_ProcessReceipt;
using vnFP_ProcessXZReport = vnFP_ProcessReceipt;
using vnFP_ProcessGetStatus = vnFP_ProcessReceipt;
}

class kFiscalProcessorCaller {
 public:
  kFiscalProcessorCaller() = default;
  // The library stays loaded: code of it may still be referenced (threads it started,
  // strings it handed out) after the device is gone.
  virtual ~kFiscalProcessorCaller() = default;

  kFiscalProcessorCaller(const kFiscalProcessorCaller&) = delete;
  kFiscalProcessorCaller& operator=(const kFiscalProcessorCaller&) = delete;

  // Loads the library fName (a bare or relative name from the application folder,
  // PathInApplicationDir; a rooted path as it is) and finds its entry points; does nothing when fName is empty.
  // Throws kException "Unable to load library <path>. Error code: [<errno>]" when the
  // library cannot be loaded.
  virtual void Init();

  // OPEN: true without that entry point; otherwise whether the library accepted.
  virtual bool OpenProcessor(const std::string& aXml);
  // PROCESSRECEIPT / PROCESSREPRINTRECEIPT: aOutXml receives the library's text (also on a
  // refusal). true, with aOutXml unchanged, without the entry point.
  virtual bool ProcessReceipt(const std::string& aInXml, std::string& aOutXml);
  virtual bool ProcessReprintReceipt(const std::string& aInXml, std::string& aOutXml);
  // PROCESSXREPORT / PROCESSZREPORT: fill the thirteen counter fields from the library's
  // answer. false without the entry point (fErrorMessage keeps what it held) or on a
  // refusal. Throws kException with the parser's message for an answer that is not XML.
  virtual bool ProcessXReport(const std::string& aInXml, vnFiscalCounters& aCounters);
  virtual bool ProcessZReport(const std::string& aInXml, vnFiscalCounters& aCounters);
  // PROCESSGETSTATUS: overwrites the six values when the library answers; leaves them as
  // they are without the entry point or on a refusal.
  virtual void ProcessGetStatus(const std::string& aInXml, bool& aDayOpened, DateTime& aDateTime,
                                bool& aTrainingMode, std::string& aFirmwareVersion, std::string& aSerialNumber,
                                std::string& aFiscalMode);

  // Prints a report text through aPrinter's non-fiscal hooks: a document of layout aLayout
  // ("DocumentLayout" when empty), the first line bold, double size and centred, the others
  // plain and left-aligned. A line's answer is not looked at. Throws kException when the
  // printer refuses the opening (no line is printed) or refuses or does not answer the
  // closing, as the device's report copy does (kFiscalPrinterDevice::PrintReportCopy).
  void PrintReport(const std::string& aText, const std::string& aLayout, kFiscalPrinterDevice& aPrinter);

  const std::string& Name() const { return fName; }
  const std::string& ErrorMessage() const { return fErrorMessage; }
  void* DLLHandle() const { return fDLLHandle; }
  bool Active() const { return fActive; }

  std::string fName;          // the Processor parameter: library file name or path
  std::string fErrorMessage;  // message of the library's last failing call
  bool fActive = false;       // fName is not empty
  void* fDLLHandle = nullptr;
  vnFP_ProcessReceipt fProcessReceipt = nullptr;
  vnFP_ProcessReprintReceipt fProcessReprintReceipt = nullptr;
  vnFP_OpenProcessor fOpenProcessor = nullptr;
  vnFP_ProcessXZReport fProcessXReport = nullptr;
  vnFP_ProcessXZReport fProcessZReport = nullptr;
  vnFP_ProcessGetStatus fProcessGetStatus = nullptr;
  int32_t fProcessorHandle = 0;  // returned by OPEN; kept, passed nowhere

 private:
  bool ProcessXZReport(vnFP_ProcessXZReport aEntry, const std::string& aInXml, vnFiscalCounters& aCounters);
};

}  // namespace fp
