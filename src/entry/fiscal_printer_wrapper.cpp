#include "entry/fiscal_printer_wrapper.h"

#include <exception>
#include <iterator>
#include <type_traits>

#include "base/errors.h"
#include "base/log_writer.h"
#include "base/platform.h"
#include "device/fiscal_printer_device.h"

namespace fp {

namespace {

// Indexed by vnExport: expanded from the same list as the enum.
const kExportProfile kExportProfiles[] = {
#define FP_EXPORT_PROFILE(NAME, OPERATION, CLASS, CREATE, GREEK, CP, KEEP, ...) \
  {#NAME, {__VA_ARGS__}, CREATE, GREEK, CP, KEEP},
    FP_EXPORT_LIST(FP_EXPORT_PROFILE)
#undef FP_EXPORT_PROFILE
};
static_assert(std::size(kExportProfiles) == kExportCount);

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
      fHandler->ReadRequest(std::move(aXml), fProfile.fDocuments, fProfile.fCodePage, fProfile.fKeepXml);
      fHandler->fRequestText.insert(0, ProcessorTextPrelude(fProfile, AnsiCodePage()));
      lease = GetFiscalPrinter(fProfile.fAllowCreate);
      kFiscalPrinterDevice& device = lease.Device();
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
  virtual void FollowUp(kDeviceLease& /*aLease*/) {}
  // Runs last, also after a failure, with the device still locked.
  virtual void Finish(kDeviceLease& /*aLease*/) {}
  // OPEN also writes the failure into the device log.
  virtual void LogFailure(kFiscalPrinterDevice& /*aDevice*/, const std::string& /*aMessage*/) {}

 private:
  void Fail(kDeviceLease& aLease, const char* aMessage) {
    std::string message = aMessage != nullptr ? aMessage : kUnknownFailure;
    try {
      if (aLease) LogFailure(aLease.Device(), message);
    } catch (...) {
    }
    fResult.ErrorText = message;
    try {
      if (aLease && aLease.Device().HasTransport()) fResult.LogFileName = aLease.Device().LogFileName();
    } catch (...) {
    }
  }
};

// The request classes of the plain exports; the exports marked Own in the list have theirs
// written out below.
#define FP_WRAPPER_Plain(EXPORT, OPERATION)                                                                     \
  class kFiscalPrinterWrapper_##EXPORT final                                                                    \
      : public kFiscalPrinterWrapperOf<_int_##EXPORT##_result, &kFiscalPrinterDevice::OPERATION> {              \
   public:                                                                                                      \
    kFiscalPrinterWrapper_##EXPORT() : kFiscalPrinterWrapperOf(ExportProfile(vnExport::EXPORT)) {}              \
  };
#define FP_WRAPPER_Own(EXPORT, OPERATION)
#define FP_EXPORT_WRAPPER(NAME, OPERATION, CLASS, ...) FP_WRAPPER_##CLASS(NAME, OPERATION)
FP_EXPORT_LIST(FP_EXPORT_WRAPPER)
#undef FP_EXPORT_WRAPPER
#undef FP_WRAPPER_Own
#undef FP_WRAPPER_Plain

class kFiscalPrinterWrapper_OPEN final : public kFiscalPrinterWrapperOf<_int_OPEN_result, &kFiscalPrinterDevice::Pub_Open> {
 public:
  kFiscalPrinterWrapper_OPEN() : kFiscalPrinterWrapperOf(ExportProfile(vnExport::OPEN)) {}

 protected:
  // After a successful open: report the handle, let the driver initialise, and refresh
  // what the device keeps between calls (fiscal mode, serial number, VAT table). A printer
  // that does not answer the status read (unreachable, refusing the credentials) fails the
  // open with the reason, and a device created by this call is freed; a failure in the other
  // steps keeps Error false: the device is open and its handle is reported.
  void FollowUp(kDeviceLease& aLease) override {
    if (fResult.Error) return;
    kFiscalPrinterDevice& device = aLease.Device();
    fResult.Handle = device.Handle();
    // An answer that cannot be read is that step's failure, told as such (and written into
    // the device log): the status read still decides whether the device opened.
    std::string initFailure;
    try {
      initFailure = device.InitAfterOpen();
    } catch (const std::exception& e) {
      initFailure = e.what();
      LogFailure(device, initFailure);
    }
    _int_GETSTATUS_result status{};
    try {
      device.Pub_GetStatus(*fHandler, status);
    } catch (const std::exception& e) {
      status.Error = true;
      status.ErrorText = e.what();
      LogFailure(device, status.ErrorText);
    }
    if (status.Error) {
      fResult.Error = true;
      fResult.ErrorText = status.ErrorText.empty() ? "The printer did not answer its status read" : status.ErrorText;
      if (aLease.IsNew()) fResult.Handle = 0;
      return;
    }
    // The serial number is known now: the printer's document journal is opened and what an
    // earlier process left unsettled on this printer is settled.
    device.OpenJournalAtStart();
    _int_GETVATTABLE_result vat{};
    device.Pub_GetVatTable(*fHandler, vat);
    fResult.ErrorText = !initFailure.empty() ? initFailure : vat.Error ? vat.ErrorText : std::string();
  }

  void LogFailure(kFiscalPrinterDevice& aDevice, const std::string& aMessage) override {
    if (aDevice.HasTransport()) aDevice.LogError(aMessage);
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

// The request classes written out by hand run the operation and fill the record the list
// gives for their export.
#define FP_CHECK_Plain(EXPORT, OPERATION)
#define FP_CHECK_Own(EXPORT, OPERATION)                                                                       \
  static_assert(std::is_base_of_v<kFiscalPrinterWrapperOf<_int_##EXPORT##_result, &kFiscalPrinterDevice::OPERATION>, \
                                  kFiscalPrinterWrapper_##EXPORT>);
#define FP_EXPORT_CHECK(NAME, OPERATION, CLASS, ...) FP_CHECK_##CLASS(NAME, OPERATION)
FP_EXPORT_LIST(FP_EXPORT_CHECK)
#undef FP_EXPORT_CHECK
#undef FP_CHECK_Own
#undef FP_CHECK_Plain

}  // namespace

const kExportProfile& ExportProfile(vnExport aExport) { return kExportProfiles[static_cast<size_t>(aExport)]; }

std::string_view ProcessorTextPrelude(const kExportProfile& aProfile, int aAnsiCodePage) {
  return aProfile.fKeepXml && aProfile.fGreekPrelude && aAnsiCodePage == 1253 ? kGreekDeclaration : std::string_view();
}

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

std::unique_ptr<kFiscalPrinterWrapper> CreateFiscalPrinterWrapper(vnExport aExport) {
  switch (aExport) {
#define FP_EXPORT_FACTORY(NAME, ...) \
  case vnExport::NAME:               \
    return std::make_unique<kFiscalPrinterWrapper_##NAME>();
    FP_EXPORT_LIST(FP_EXPORT_FACTORY)
#undef FP_EXPORT_FACTORY
  }
  throw kException("Unknown export");
}

}  // namespace fp
