// The process-wide tables behind the exports: the registry of model drivers
// (FiscalPrinterDrivers), the table of open devices keyed by handle (FiscalPrinters) and
// the handle counter (LastFiscalPrinterHandle).
//
// Hosts may call the exports from several threads. The registry, the table and the counter
// are guarded by their own locks; each open device has a lock that serialises the calls
// naming it. A call holds the device's slot (shared ownership) for its whole length, so a
// CLOSE on another thread can never free the device under it: CLOSE empties the slot while
// holding the device's lock, and a call that acquires the lock afterwards finds the slot
// empty and reports the handle as unknown.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/thread_annotations.h"
#include "device/device_class.h"

namespace fp {

class kFiscalPrinterDevice;

// Registered model drivers by name (exact, case-sensitive).
class kFiscalPrinterDrivers {
 public:
  // Throws kException when the name is already registered or the class is null.
  void Add(const std::string& aName, kFiscalPrinterClass aClass);
  // The class registered under aName, or null.
  kFiscalPrinterClass Find(const std::string& aName) const;
  size_t Count() const;

 private:
  mutable kMutex fLock;
  std::map<std::string, kFiscalPrinterClass> fDrivers FP_GUARDED_BY(fLock);
};

// One open device and the turn that serialises the calls on it. fDevice is null once the
// device was closed; a call must check it after taking its turn. The turn is a flag under
// a mutex rather than a held timed mutex so that waiting for it is bounded and every
// thread tool understands it.
class kDeviceSlot {
 public:
  // Waits up to aWait for the device to be free and takes it; false when it stayed busy.
  bool Enter(std::chrono::milliseconds aWait);
  // Takes the turn of a slot nobody else can see yet.
  void EnterNew();
  void Leave();

  std::unique_ptr<kFiscalPrinterDevice> fDevice;  // used only by the holder of the turn
  int32_t fHandle = 0;

 private:
  kMutex fLock;
  std::condition_variable_any fFree;
  bool fBusy FP_GUARDED_BY(fLock) = false;
};

// A call's hold on one device: the slot kept alive and its turn taken. Leaving the lease
// (destruction) gives the turn back.
class kDeviceLease {
 public:
  kDeviceLease() = default;
  kDeviceLease(std::shared_ptr<kDeviceSlot> aSlot, bool aIsNew) : fSlot(std::move(aSlot)), fIsNew(aIsNew) {}
  kDeviceLease(kDeviceLease&& aOther) noexcept
      : fSlot(std::exchange(aOther.fSlot, nullptr)), fIsNew(aOther.fIsNew) {}
  kDeviceLease& operator=(kDeviceLease&& aOther) noexcept {
    if (this != &aOther) {
      Release();
      fSlot = std::exchange(aOther.fSlot, nullptr);
      fIsNew = aOther.fIsNew;
    }
    return *this;
  }
  ~kDeviceLease() { Release(); }

  explicit operator bool() const { return fSlot && fSlot->fDevice; }
  kFiscalPrinterDevice& Device() const { return *fSlot->fDevice; }
  int32_t Handle() const { return fSlot->fHandle; }
  // Whether this call created the device (OPEN or PAY without a handle).
  bool IsNew() const { return fIsNew; }
  const std::shared_ptr<kDeviceSlot>& Slot() const { return fSlot; }

 private:
  void Release() {
    if (fSlot) fSlot->Leave();
    fSlot.reset();
  }
  std::shared_ptr<kDeviceSlot> fSlot;  // turn held while set
  bool fIsNew = false;
};

// Open devices by handle. Handles are 1, 2, 3, ... in creation order and never given out
// twice in the life of the process.
class kFiscalPrinters {
 public:
  // How long a call waits for another call on the same device before giving up. Every
  // device operation is bounded by its transport's timeouts; this only guards against a
  // stuck call blocking the host forever.
  static constexpr std::chrono::minutes kDeviceWait{10};

  kFiscalPrinters() = default;
  // Devices still open at unload are neither disconnected nor freed: their transports and
  // log threads may be in use by a call that is still running on another thread.
  ~kFiscalPrinters();

  // Takes a new device, gives it the next handle (also stored in its fHandle) and returns
  // it already locked for the calling request. Throws kException when the handles ran out.
  kDeviceLease Add(std::unique_ptr<kFiscalPrinterDevice> aDevice);
  // The device registered under aHandle, locked for the caller; an empty lease when there
  // is none or it was closed while the caller waited. Throws kException when the device
  // stays busy longer than aWait.
  kDeviceLease Acquire(int32_t aHandle, std::chrono::milliseconds aWait = kDeviceWait);
  // Removes the leased device from the table and frees it, holding the lease's turn.
  void Remove(kDeviceLease& aLease);

  int32_t LastHandle() const;
  size_t Count() const;

 private:
  mutable kMutex fLock;
  std::map<int32_t, std::shared_ptr<kDeviceSlot>> fDevices FP_GUARDED_BY(fLock);
  int32_t fLastHandle FP_GUARDED_BY(fLock) = 0;  // LastFiscalPrinterHandle
};

// The process-wide state, created at load and destroyed at unload.
struct kDriverState {
  kFiscalPrinterDrivers FiscalPrinterDrivers;
  kFiscalPrinters FiscalPrinters;
};

// Creates the application object, then the registry and the table, then registers the
// model drivers; once per process, later calls do nothing. Throws kException when the
// load failed (the failure is reported again by every later call).
kDriverState& DriverState();
// Destroys the tables and the application object (library unload).
void ReleaseDriverState();

}  // namespace fp
