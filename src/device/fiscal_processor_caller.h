// The caller of an external processor library: a library named by the device parameter
// Processor that may rewrite receipt requests and take over X/Z reports and the status.
//
// This build carries no binding to such libraries yet: a device configured with a
// processor fails to construct with a clear message (as a library that cannot be loaded
// does), and an inactive caller answers every call the way a library without the entry
// point would.
#pragma once

#include <cstdint>
#include <string>

#include "base/datetime.h"

namespace fp {

class kFiscalPrinterDevice;
struct vnFiscalCounters;

class kFiscalProcessorCaller {
 public:
  kFiscalProcessorCaller() = default;
  virtual ~kFiscalProcessorCaller() = default;

  kFiscalProcessorCaller(const kFiscalProcessorCaller&) = delete;
  kFiscalProcessorCaller& operator=(const kFiscalProcessorCaller&) = delete;

  // Loads the library named fName and finds its entry points; does nothing when fName is
  // empty. Throws fp::kException when the library cannot be loaded.
  virtual void Init();

  // OPEN of the library; true without that entry point.
  virtual bool OpenProcessor(const std::string& aXml);
  // PROCESSRECEIPT / PROCESSREPRINTRECEIPT: may rewrite the request text into aOutXml.
  // true, with aOutXml unchanged, without the entry point.
  virtual bool ProcessReceipt(const std::string& aInXml, std::string& aOutXml);
  virtual bool ProcessReprintReceipt(const std::string& aInXml, std::string& aOutXml);
  // PROCESSXREPORT / PROCESSZREPORT: fill the counters from the library's answer. false
  // without the entry point (fErrorMessage keeps what it held).
  virtual bool ProcessXReport(const std::string& aInXml, vnFiscalCounters& aCounters);
  virtual bool ProcessZReport(const std::string& aInXml, vnFiscalCounters& aCounters);
  // PROCESSGETSTATUS: overwrites the six values when the library answers; leaves them as
  // they are otherwise.
  virtual void ProcessGetStatus(const std::string& aInXml, bool& aDayOpened, DateTime& aDateTime,
                                bool& aTrainingMode, std::string& aFirmwareVersion, std::string& aSerialNumber,
                                std::string& aFiscalMode);

  // Prints a report text through aPrinter's non-fiscal hooks: a document of layout aLayout
  // ("DocumentLayout" when empty), the first line bold, double size and centred, the others
  // plain and left-aligned. The hooks' answers are not looked at; the document is always
  // closed. Returns true.
  bool PrintReport(const std::string& aText, const std::string& aLayout, kFiscalPrinterDevice& aPrinter);

  const std::string& Name() const { return fName; }
  const std::string& ErrorMessage() const { return fErrorMessage; }
  bool Active() const { return fActive; }

  std::string fName;          // the Processor parameter: library file name or path
  std::string fErrorMessage;  // message of the library's last failing call
  bool fActive = false;       // fName is not empty
  int32_t fProcessorHandle = 0;
};

}  // namespace fp
