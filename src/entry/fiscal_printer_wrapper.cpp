#include "entry/fiscal_printer_wrapper.h"

#include <exception>
#include <type_traits>

#include <pugixml.hpp>

#include "base/errors.h"
#include "base/log_writer.h"
#include "device/fiscal_printer_device.h"
#include "documents/krpt_util.h"
#include "io/io_handler.h"

namespace fp {

namespace {

using DT = vnReceiptHandlerDocumentType;

// Indexed by vnExport.
const kExportProfile kExportProfiles[] = {
    //  name                    documents                  create greek  cp     keep
    {"PRINTFR", {DT::dt_Receipt}, false, true, true, true},
    {"REPRINTFR", {DT::dt_ReceiptReference}, false, true, true, true},
    {"PRINTXR", {DT::dt_XReport}, false, false, true, true},
    {"PRINTZR", {DT::dt_ZReport}, false, true, true, true},
    {"PRINTNFR", {DT::dt_NFReceipt}, false, true, true, false},
    {"DISPLAY", {DT::dt_Display}, false, false, false, false},
    {"OPENDR", {DT::dt_Drawer}, false, false, false, false},
    {"GETSTATUS", {}, false, false, false, true},
    {"SET", {}, false, false, false, false},
    {"SETDATETIME", {}, false, false, false, false},
    {"OPEN", {}, true, false, false, true},
    {"GETDRSTATUS", {DT::dt_Drawer}, false, false, false, false},
    {"EJREPORT", {DT::dt_EJReport}, false, false, false, false},
    {"CLOSE", {}, false, false, false, false},
    {"GETVATTABLE", {}, false, false, false, false},
    {"SETVATTABLE", {DT::dt_VatTable}, false, false, false, false},
    {"GETDEPTTABLE", {}, false, false, false, false},
    {"SETDEPTTABLE", {DT::dt_DeptTable}, false, false, false, false},
    {"PAY", {DT::dt_Pay}, true, false, false, false},
    {"GETLOTTERYRCPTSTATUS", {DT::dt_ReceiptReference}, false, false, false, false},
    {"GETEJFILES", {DT::dt_EJFilesRequest}, false, false, false, false},
};

constexpr const char* kUnknownFailure = "Unexpected internal error";

// The request object of one export: its result record, and Process as the frame runs it
// for every export; OPEN, CLOSE and PAY add their steps through the virtual hooks.
template <class TResult, void (kFiscalPrinterDevice::*Operation)(kReceiptPrinterHandler&, TResult&)>
class kFiscalPrinterWrapperOf : public kFiscalPrinterWrapper {
 public:
  using kFiscalPrinterWrapper::kFiscalPrinterWrapper;

  TResult fResult;

  void ResetResult() override {
    fResult = TResult{};
    fResult.Error = true;
    if constexpr (std::is_same_v<TResult, _int_PAY_result>) {
      fResult.TransactionType = ptt_Other;
      fResult.PaymentNetwork = vnPaymentNetwork::Other;
    }
  }

  void Format(std::string& aOutput, std::string& aErrorMessage, int16_t& aResult) const override {
    aOutput = fResult.Format();
    aErrorMessage = fResult.ErrorText;
    aResult = fResult.Error ? -1 : 0;
  }

  void Reject(const std::string& aMessage) override {
    ResetResult();
    fResult.ErrorText = aMessage;
  }

  void Process(std::string aXml) override {
    ResetResult();
    kDeviceLease lease;
    try {
      if (fProfile.fCodePage) ApplyCodePage(aXml);
      fHandler->Deserialize(aXml, fProfile.fDocuments);
      lease = GetFiscalPrinter(fProfile.fAllowCreate);
      kFiscalPrinterDevice& device = lease.Device();
      if (fProfile.fKeepXml) device.fXmlString = aXml;
      // The operation starts from an all-zero record, not from the start values.
      TResult local{};
      (device.*Operation)(*fHandler, local);
      fResult = std::move(local);
      FollowUp(lease);
    } catch (const std::exception& e) {
      Fail(lease, e.what());
    } catch (...) {
      Fail(lease, kUnknownFailure);
    }
    try {
      Finish(lease);
    } catch (...) {
      // Freeing a device that was never reported must not turn the answer into a crash.
    }
  }

 protected:
  // Steps after the operation's record was taken over (OPEN, CLOSE).
  virtual void FollowUp(kDeviceLease& aLease) {}
  // Runs last, also after a failure, with the device still locked.
  virtual void Finish(kDeviceLease& aLease) {}
  // OPEN also writes the failure into the device log.
  virtual void LogFailure(kFiscalPrinterDevice& aDevice, const std::string& aMessage) {}

 private:
  void Fail(kDeviceLease& aLease, const char* aMessage) {
    std::string message = aMessage != nullptr ? aMessage : kUnknownFailure;
    try {
      if (aLease) LogFailure(aLease.Device(), message);
    } catch (...) {
    }
    fResult.ErrorText = message;
    try {
      if (aLease && aLease.Device().fIOHandler) fResult.LogFileName = aLease.Device().fIOHandler->GetLogFileName();
    } catch (...) {
    }
  }
};

#define FP_SIMPLE_WRAPPER(EXPORT, OPERATION)                                                                    \
  class kFiscalPrinterWrapper_##EXPORT final                                                                    \
      : public kFiscalPrinterWrapperOf<_int_##EXPORT##_result, &kFiscalPrinterDevice::OPERATION> {              \
   public:                                                                                                      \
    kFiscalPrinterWrapper_##EXPORT() : kFiscalPrinterWrapperOf(ExportProfile(vnExport::EXPORT)) {}                 \
  };

FP_SIMPLE_WRAPPER(PRINTFR, Pub_PrintReceipt)
FP_SIMPLE_WRAPPER(REPRINTFR, Pub_RePrintReceipt)
FP_SIMPLE_WRAPPER(PRINTXR, Pub_PrintXReport)
FP_SIMPLE_WRAPPER(PRINTZR, Pub_PrintZReport)
FP_SIMPLE_WRAPPER(PRINTNFR, Pub_PrintNFReceipt)
FP_SIMPLE_WRAPPER(DISPLAY, Pub_WriteDisplay)
FP_SIMPLE_WRAPPER(OPENDR, Pub_OpenDrawer)
FP_SIMPLE_WRAPPER(GETSTATUS, Pub_GetStatus)
FP_SIMPLE_WRAPPER(SET, Pub_Set)
FP_SIMPLE_WRAPPER(SETDATETIME, Pub_SetDateTime)
FP_SIMPLE_WRAPPER(GETDRSTATUS, Pub_GetDrawerStatus)
FP_SIMPLE_WRAPPER(EJREPORT, Pub_EJReport)
FP_SIMPLE_WRAPPER(GETVATTABLE, Pub_GetVatTable)
FP_SIMPLE_WRAPPER(SETVATTABLE, Pub_SetVatTable)
FP_SIMPLE_WRAPPER(GETDEPTTABLE, Pub_GetDeptTable)
FP_SIMPLE_WRAPPER(SETDEPTTABLE, Pub_SetDeptTable)
FP_SIMPLE_WRAPPER(GETLOTTERYRCPTSTATUS, Pub_GetLotteryReceiptStatus)
FP_SIMPLE_WRAPPER(GETEJFILES, Pub_GetEJFiles)

#undef FP_SIMPLE_WRAPPER

class kFiscalPrinterWrapper_OPEN final : public kFiscalPrinterWrapperOf<_int_OPEN_result, &kFiscalPrinterDevice::Pub_Open> {
 public:
  kFiscalPrinterWrapper_OPEN() : kFiscalPrinterWrapperOf(ExportProfile(vnExport::OPEN)) {}

 protected:
  // After a successful open: report the handle, let the driver initialise, and refresh
  // what the device keeps between calls (fiscal mode, serial number, VAT table). A failure
  // here keeps Error false: the device is open and its handle is reported.
  void FollowUp(kDeviceLease& aLease) override {
    if (fResult.Error) return;
    kFiscalPrinterDevice& device = aLease.Device();
    fResult.Handle = device.fHandle;
    device.Init();
    _int_GETSTATUS_result status{};
    device.Pub_GetStatus(*fHandler, status);
    _int_GETVATTABLE_result vat{};
    device.Pub_GetVatTable(*fHandler, vat);
  }

  void LogFailure(kFiscalPrinterDevice& aDevice, const std::string& aMessage) override {
    if (aDevice.fIOHandler) aDevice.fIOHandler->Debug(let_error, aMessage);
  }

  // A device created by this call whose handle is not reported (the open failed) could
  // never be addressed or closed by the host: free it instead of keeping it registered.
  void Finish(kDeviceLease& aLease) override {
    if (aLease && aLease.IsNew() && fResult.Handle == 0) DriverState().FiscalPrinters.Remove(aLease);
  }
};

class kFiscalPrinterWrapper_CLOSE final
    : public kFiscalPrinterWrapperOf<_int_CLOSE_result, &kFiscalPrinterDevice::Pub_Close> {
 public:
  kFiscalPrinterWrapper_CLOSE() : kFiscalPrinterWrapperOf(ExportProfile(vnExport::CLOSE)) {}

 protected:
  // Whatever Pub_Close reported, the device leaves the table and is freed; a Pub_Close that
  // raised never gets here and leaves the device registered.
  void FollowUp(kDeviceLease& aLease) override { DriverState().FiscalPrinters.Remove(aLease); }
};

class kFiscalPrinterWrapper_PAY final : public kFiscalPrinterWrapperOf<_int_PAY_result, &kFiscalPrinterDevice::Pub_Pay> {
 public:
  kFiscalPrinterWrapper_PAY() : kFiscalPrinterWrapperOf(ExportProfile(vnExport::PAY)) {}

 protected:
  // A payment without a handle runs on a device of its own whose handle is never reported:
  // it is freed once the payment is done rather than left registered for good.
  void Finish(kDeviceLease& aLease) override {
    if (aLease && aLease.IsNew()) DriverState().FiscalPrinters.Remove(aLease);
  }
};

std::string ParserMessage(const pugi::xml_parse_result& aResult) {
  return std::string(aResult.description()) + " (at offset " + std::to_string(aResult.offset) + ")";
}

struct StringWriter final : pugi::xml_writer {
  std::string fText;
  void write(const void* aData, size_t aSize) override { fText.append(static_cast<const char*>(aData), aSize); }
};

}  // namespace

const kExportProfile& ExportProfile(vnExport aExport) { return kExportProfiles[static_cast<size_t>(aExport)]; }

kFiscalPrinterWrapper::kFiscalPrinterWrapper(const kExportProfile& aProfile)
    : fProfile(aProfile), fHandler(std::make_unique<kReceiptPrinterHandler>()) {}

kFiscalPrinterWrapper::~kFiscalPrinterWrapper() = default;

kDeviceLease kFiscalPrinterWrapper::GetFiscalPrinter(bool aAllowCreate) {
  kDriverState& state = DriverState();
  const int32_t handle = fHandler->DeviceHandle;
  if (handle > 0) {
    kDeviceLease lease = state.FiscalPrinters.Acquire(handle);
    if (!lease) throw kException("Printer Handle not found");
    return lease;
  }
  if (!aAllowCreate) throw kException("Fiscal Printer has not previously opened");
  kFiscalPrinterClass create = state.FiscalPrinterDrivers.Find(fHandler->Driver);
  if (create == nullptr) throw kException("Fiscal Printer Driver [" + fHandler->Driver + "] not registered.");
  std::unique_ptr<kFiscalPrinterDevice> device = create(*fHandler);
  if (!device) throw kException("Fiscal Printer Driver [" + fHandler->Driver + "] created no device.");
  return state.FiscalPrinters.Add(std::move(device));
}

void kFiscalPrinterWrapper::ApplyCodePage(std::string& aXml) {
  pugi::xml_document doc;
  // Declarations, comments and single blank texts are kept so that the text written back
  // differs from the request only in the re-decoded values.
  const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi |
                           pugi::parse_ws_pcdata_single;
  pugi::xml_parse_result parsed = doc.load_buffer(aXml.data(), aXml.size(), options, pugi::encoding_utf8);
  if (!parsed) throw kException(ParserMessage(parsed));
  pugi::xml_node root = doc.document_element();
  std::string codePage = root.child("Parameters").child("CP").text().as_string();
  if (codePage.empty()) return;
  krptUtil::ChangeXMLEncoding(root, codePage);
  StringWriter writer;
  doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  aXml = std::move(writer.fText);
}

std::unique_ptr<kFiscalPrinterWrapper> CreateFiscalPrinterWrapper(vnExport aExport) {
  switch (aExport) {
    case vnExport::PRINTFR: return std::make_unique<kFiscalPrinterWrapper_PRINTFR>();
    case vnExport::REPRINTFR: return std::make_unique<kFiscalPrinterWrapper_REPRINTFR>();
    case vnExport::PRINTXR: return std::make_unique<kFiscalPrinterWrapper_PRINTXR>();
    case vnExport::PRINTZR: return std::make_unique<kFiscalPrinterWrapper_PRINTZR>();
    case vnExport::PRINTNFR: return std::make_unique<kFiscalPrinterWrapper_PRINTNFR>();
    case vnExport::DISPLAY: return std::make_unique<kFiscalPrinterWrapper_DISPLAY>();
    case vnExport::OPENDR: return std::make_unique<kFiscalPrinterWrapper_OPENDR>();
    case vnExport::GETSTATUS: return std::make_unique<kFiscalPrinterWrapper_GETSTATUS>();
    case vnExport::SET: return std::make_unique<kFiscalPrinterWrapper_SET>();
    case vnExport::SETDATETIME: return std::make_unique<kFiscalPrinterWrapper_SETDATETIME>();
    case vnExport::OPEN: return std::make_unique<kFiscalPrinterWrapper_OPEN>();
    case vnExport::GETDRSTATUS: return std::make_unique<kFiscalPrinterWrapper_GETDRSTATUS>();
    case vnExport::EJREPORT: return std::make_unique<kFiscalPrinterWrapper_EJREPORT>();
    case vnExport::CLOSE: return std::make_unique<kFiscalPrinterWrapper_CLOSE>();
    case vnExport::GETVATTABLE: return std::make_unique<kFiscalPrinterWrapper_GETVATTABLE>();
    case vnExport::SETVATTABLE: return std::make_unique<kFiscalPrinterWrapper_SETVATTABLE>();
    case vnExport::GETDEPTTABLE: return std::make_unique<kFiscalPrinterWrapper_GETDEPTTABLE>();
    case vnExport::SETDEPTTABLE: return std::make_unique<kFiscalPrinterWrapper_SETDEPTTABLE>();
    case vnExport::PAY: return std::make_unique<kFiscalPrinterWrapper_PAY>();
    case vnExport::GETLOTTERYRCPTSTATUS: return std::make_unique<kFiscalPrinterWrapper_GETLOTTERYRCPTSTATUS>();
    case vnExport::GETEJFILES: return std::make_unique<kFiscalPrinterWrapper_GETEJFILES>();
  }
  throw kException("Unknown export");
}

}  // namespace fp
