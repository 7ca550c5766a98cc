#include "entry/fiscal_printers.h"

#include <limits>

#include "base/application.h"
#include "base/errors.h"
#include "device/fiscal_printer_device.h"
#include "drivers/drivers.h"

namespace fp {

void kFiscalPrinterDrivers::Add(const std::string& aName, kFiscalPrinterClass aClass) {
  if (aClass == nullptr) throw kException("Fiscal Printer Driver [" + aName + "] has no class.");
  kMutexLock lock(fLock);
  if (!fDrivers.emplace(aName, aClass).second)
    throw kException("Fiscal Printer Driver [" + aName + "] already registered.");
}

kFiscalPrinterClass kFiscalPrinterDrivers::Find(const std::string& aName) const {
  kMutexLock lock(fLock);
  auto it = fDrivers.find(aName);
  return it == fDrivers.end() ? nullptr : it->second;
}

size_t kFiscalPrinterDrivers::Count() const {
  kMutexLock lock(fLock);
  return fDrivers.size();
}

bool kDeviceSlot::Enter(std::chrono::milliseconds aWait) {
  kMutexLock lock(fLock);
  // A loop rather than a predicate: the analysis checks this function's reads of fBusy,
  // which it cannot do inside a lambda.
  const auto deadline = std::chrono::steady_clock::now() + aWait;
  while (fBusy) {
    if (fFree.wait_until(fLock, deadline) == std::cv_status::timeout && fBusy) return false;
  }
  fBusy = true;
  return true;
}

void kDeviceSlot::EnterNew() {
  kMutexLock lock(fLock);
  fBusy = true;
}

void kDeviceSlot::Leave() {
  {
    kMutexLock lock(fLock);
    fBusy = false;
  }
  fFree.notify_one();
}

kFiscalPrinters::~kFiscalPrinters() {
  for (auto& [handle, slot] : fDevices) (void)slot->fDevice.release();
}

kDeviceLease kFiscalPrinters::Add(std::unique_ptr<kFiscalPrinterDevice> aDevice) {
  auto slot = std::make_shared<kDeviceSlot>();
  slot->EnterNew();
  kDeviceLease lease(slot, true);  // gives the turn back if the table refuses the device
  {
    kMutexLock lock(fLock);
    if (fLastHandle == std::numeric_limits<int32_t>::max())
      throw kException("No more Fiscal Printer handles available");
    ++fLastHandle;
    slot->fHandle = fLastHandle;
    aDevice->SetHandle(fLastHandle);
    slot->fDevice = std::move(aDevice);
    fDevices.emplace(slot->fHandle, slot);
  }
  return lease;
}

kDeviceLease kFiscalPrinters::Acquire(int32_t aHandle, std::chrono::milliseconds aWait) {
  std::shared_ptr<kDeviceSlot> slot;
  {
    kMutexLock lock(fLock);
    auto it = fDevices.find(aHandle);
    if (it == fDevices.end()) return {};
    slot = it->second;
  }
  if (!slot->Enter(aWait)) throw kException("Fiscal Printer is busy with another request");
  kDeviceLease lease(std::move(slot), false);
  if (!lease) return {};  // closed while this call waited
  return lease;
}

void kFiscalPrinters::Remove(kDeviceLease& aLease) {
  if (!aLease) return;
  {
    kMutexLock lock(fLock);
    auto it = fDevices.find(aLease.Handle());
    if (it != fDevices.end() && it->second == aLease.Slot()) fDevices.erase(it);
  }
  // Freed outside the table lock, still holding the device's turn: the destructor
  // disconnects and drains the device log.
  aLease.Slot()->fDevice.reset();
}

int32_t kFiscalPrinters::LastHandle() const {
  kMutexLock lock(fLock);
  return fLastHandle;
}

size_t kFiscalPrinters::Count() const {
  kMutexLock lock(fLock);
  return fDevices.size();
}

namespace {

kMutex gStateLock;
kDriverState* gState FP_GUARDED_BY(gStateLock) = nullptr;

}  // namespace

kDriverState& DriverState() {
  kMutexLock lock(gStateLock);
  if (gState == nullptr) {
    CreateApplication();
    auto state = std::make_unique<kDriverState>();
    RegisterModelDrivers(
        [&](const std::string& aName, kFiscalPrinterClass aClass) { state->FiscalPrinterDrivers.Add(aName, aClass); });
    gState = state.release();
  }
  return *gState;
}

void ReleaseDriverState() {
  kMutexLock lock(gStateLock);
  delete gState;
  gState = nullptr;
  DestroyApplication();
}

}  // namespace fp
