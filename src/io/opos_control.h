// The OPOS Fiscal Printer control as the OPOS transport sees it: the methods and
// properties it calls, nothing more. The control is outside this library; a build for a
// platform that has OPOS controls implements kOPOSFiscalPrinter over the installed control
// and returns it from CreateOPOSFiscalPrinter (opos_control_*.cpp), and tests hand the
// transport a fake.
//
// Methods answer an OPOS result code (0 = success); after a failure ResultCodeExtended and
// ErrorString say more. Amounts are the control's currency type: a 64-bit count of
// ten-thousandths, the same as Amount::Raw. A control may also throw to report a failure
// of its own machinery.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace fp {

class kOPOSFiscalPrinter {
 public:
  virtual ~kOPOSFiscalPrinter() = default;

  // ---- Device life ----
  virtual int32_t Open(const std::string& aDeviceName) = 0;
  virtual int32_t ClaimDevice(int32_t aTimeout) = 0;
  virtual bool GetDeviceEnabled() = 0;
  virtual void SetDeviceEnabled(bool aValue) = 0;
  virtual int32_t ReleaseDevice() = 0;
  virtual int32_t Close() = 0;

  // ---- What the last failure was ----
  virtual int32_t ResultCodeExtended() = 0;
  virtual std::string ErrorString() = 0;

  // ---- Methods ----
  virtual int32_t BeginFiscalReceipt(bool aPrintHeader) = 0;
  virtual int32_t EndFiscalReceipt(bool aPrintHeader) = 0;
  virtual int32_t BeginNonFiscal() = 0;
  virtual int32_t EndNonFiscal() = 0;
  virtual int32_t BeginTraining() = 0;
  virtual int32_t EndTraining() = 0;
  virtual int32_t ResetPrinter() = 0;
  virtual int32_t PrintXReport() = 0;
  virtual int32_t PrintZReport() = 0;
  virtual int32_t PrintNormal(int32_t aStation, const std::string& aData) = 0;
  virtual int32_t PrintRecItem(const std::string& aDescription, int64_t aPrice, int32_t aQuantity, int32_t aVatInfo,
                               int64_t aUnitPrice, const std::string& aUnitName) = 0;
  virtual int32_t PrintRecItemVoid(const std::string& aDescription, int64_t aPrice, int32_t aQuantity,
                                   int32_t aVatInfo, int64_t aUnitPrice, const std::string& aUnitName) = 0;
  virtual int32_t PrintRecRefund(const std::string& aDescription, int64_t aAmount, int32_t aVatInfo) = 0;
  virtual int32_t PrintRecItemAdjustment(int32_t aAdjustmentType, const std::string& aDescription, int64_t aAmount,
                                         int32_t aVatInfo) = 0;
  virtual int32_t PrintRecSubtotal(int64_t aAmount) = 0;
  virtual int32_t PrintRecSubtotalAdjustment(int32_t aAdjustmentType, const std::string& aDescription,
                                             int64_t aAmount) = 0;
  virtual int32_t PrintRecTotal(int64_t aTotal, int64_t aPayment, const std::string& aDescription) = 0;
  virtual int32_t PrintRecNotPaid(const std::string& aDescription, int64_t aAmount) = 0;
  virtual int32_t PrintRecMessage(const std::string& aMessage) = 0;
  virtual int32_t PrintRecTaxID(const std::string& aTaxId) = 0;
  // The date as ddmmyyyyhhnn.
  virtual int32_t SetDate(const std::string& aDate) = 0;
  virtual int32_t GetDate(std::string& aDate) = 0;
  virtual int32_t GetData(int32_t aDataItem, int32_t& aOptArgs, std::string& aData) = 0;
  virtual int32_t DirectIO(int32_t aCommand, int32_t& aData, std::string& aString) = 0;

  // ---- Properties ----
  virtual bool CoverOpen() = 0;
  virtual bool DayOpened() = 0;
  virtual bool RecEmpty() = 0;
  virtual bool RecNearEnd() = 0;
  virtual bool TrainingModeActive() = 0;
  virtual int32_t PrinterState() = 0;
  virtual int32_t RemainingFiscalMemory() = 0;
  virtual void SetFiscalReceiptType(int32_t aValue) = 0;
  virtual void SetPreLine(const std::string& aValue) = 0;
  virtual std::string AdditionalTrailer() = 0;
  virtual void SetAdditionalTrailer(const std::string& aValue) = 0;
};

// A new control of the platform. Raises kException with the platform's reason when no
// control can be created (none installed, or a platform without OPOS).
std::unique_ptr<kOPOSFiscalPrinter> CreateOPOSFiscalPrinter();

}  // namespace fp
