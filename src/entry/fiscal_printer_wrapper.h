// The request objects: one per export call. A request object owns the request holder,
// runs the request (Process) and turns its result record into the three outputs of the
// export (Format).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "entry/export_list.h"
#include "entry/fiscal_printers.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"

namespace fp {

// The exports that take an XML request (all but VERSION), in the order of the interface.
enum class vnExport : int32_t {
#define FP_EXPORT_ENUM(NAME, ...) NAME,
  FP_EXPORT_LIST(FP_EXPORT_ENUM)
#undef FP_EXPORT_ENUM
};

#define FP_EXPORT_COUNT(...) +1
inline constexpr size_t kExportCount = 0 FP_EXPORT_LIST(FP_EXPORT_COUNT);
#undef FP_EXPORT_COUNT

// What the frame does for one export.
struct kExportProfile {
  const char* fName;
  vnReceiptHandlerDocumentTypes fDocuments;  // documents read besides the device section
  bool fAllowCreate;   // a request without handle creates a new device (OPEN, PAY)
  bool fGreekPrelude;  // on code page 1253 the text kept for the processor gets an ISO-8859-7 declaration
  bool fCodePage;      // Parameters/CP re-encodes the request before it is read
  bool fKeepXml;       // the request holder keeps the request text for the processor library
};

const kExportProfile& ExportProfile(vnExport aExport);

// The declaration put in front of the request text the processor library gets from the
// printing exports on a Greek (1253) code page.
inline constexpr std::string_view kGreekDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-7\"?>";

// What goes in front of the request text kept for the processor: kGreekDeclaration for an
// export with the Greek prelude when the process code page is aAnsiCodePage 1253, nothing
// otherwise (and nothing for an export that keeps no text).
std::string_view ProcessorTextPrelude(const kExportProfile& aProfile, int aAnsiCodePage);

class kFiscalPrinterWrapper {
 public:
  explicit kFiscalPrinterWrapper(const kExportProfile& aProfile);
  virtual ~kFiscalPrinterWrapper();
  kFiscalPrinterWrapper(const kFiscalPrinterWrapper&) = delete;
  kFiscalPrinterWrapper& operator=(const kFiscalPrinterWrapper&) = delete;

  // Puts the result record to its start values (Error true, everything else empty).
  virtual void ResetResult() = 0;
  // The result fragment, the error text (unescaped) and -1 / 0 from the record's Error.
  virtual void Format(std::string& aOutput, std::string& aErrorMessage, int16_t& aResult) const = 0;
  // Runs the request. Never throws: every failure ends in the result record.
  virtual void Process(std::string aXml) = 0;
  // Puts the result to its start values with aMessage as its error, for a request the
  // frame refuses before it reaches Process (too long, not UTF-16).
  virtual void Reject(const std::string& aMessage) = 0;

  // The device the request addresses, locked for this call: the open device of its
  // Handle, or with aAllowCreate and no handle a new device of its Driver. Throws
  // kException with the message the host gets when there is none.
  kDeviceLease GetFiscalPrinter(bool aAllowCreate);

  kReceiptPrinterHandler& Handler() { return *fHandler; }
  const kExportProfile& Profile() const { return fProfile; }

 protected:
  const kExportProfile& fProfile;
  std::unique_ptr<kReceiptPrinterHandler> fHandler;
};

// A new request object for the export.
std::unique_ptr<kFiscalPrinterWrapper> CreateFiscalPrinterWrapper(vnExport aExport);

}  // namespace fp
