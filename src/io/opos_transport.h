// kIOHandler_OPOS: a fiscal printer driven through an OPOS Fiscal Printer control, opened
// by its logical device name. It is no byte stream: the exchange slots are unsupported and
// a driver calls one operation per fiscal printer method instead. Each operation logs the
// call, makes it and checks its result: a failure becomes the custom error with the text
// of ResultText.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/amount.h"
#include "base/datetime.h"
#include "io/io_handler.h"
#include "io/opos_control.h"

namespace fp {

class kIOHandler_OPOS : public kIOHandler {
 public:
  // Creates the platform's control (raising the platform's error when there is none).
  kIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  // Uses the given control (a Windows control wrapper, or a fake in tests).
  kIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName,
                  std::unique_ptr<kOPOSFiscalPrinter> aControl);
  // Disconnects first when connected.
  ~kIOHandler_OPOS() override;

  bool GetConnected() override { return fConnected; }
  // Open, ClaimDevice within ConnectTimeout, DeviceEnabled := true; answers DeviceEnabled
  // as read back. Exceptions of the control are logged and answered false.
  bool Connect() override;
  // DeviceEnabled := false, ReleaseDevice, Close; answers the last verdict.
  bool Disconnect() override;
  void ClearBuffers() override {}
  bool Write(const std::string& aMessage) override;                    // "Write Unsupported"
  std::string ReadUpTo(const std::vector<uint8_t>& aChars) override;  // "ReadUpto Unsupported"
  std::string ReadChars(int32_t aCharsNum) override;                  // "ReadChars Unsupported"
  std::string ReadAll() override;                                     // "ReadAll Unsupported"
  std::string DecodeError(int32_t) override { return {}; }
  bool InputBufferContainsData() override;  // "InputBufferContainsData Unsupported"
  void SetParameter(const std::string&, const std::string&) override {}
  std::string ClassName() const override { return "kIOHandler_OPOS"; }

  const std::string& DeviceName() const { return fDeviceName; }

  // ---- Fiscal printer methods: true when the control answered success ----
  bool BeginFiscalReceipt();
  bool EndFiscalReceipt();
  bool BeginNonFiscal();
  bool EndNonFiscal();
  bool BeginTraining();
  bool EndTraining();
  bool ResetPrinter();
  bool PrintXReport();
  bool PrintZReport();
  // On the receipt station.
  bool PrintNormal(const std::string& aText);
  // aQuantity goes to the control in thousandths, the fraction dropped; aCode is not used.
  bool PrintRecItem(const std::string& aCode, const std::string& aDescription, Amount aQuantity,
                    const std::string& aUOM, int32_t aVatCode, Amount aPrice, Amount aAmount);
  bool PrintRecItemVoid(const std::string& aCode, const std::string& aDescription, Amount aQuantity,
                        const std::string& aUOM, int32_t aVatCode, Amount aPrice, Amount aAmount);
  bool PrintRecRefund(const std::string& aCode, const std::string& aDescription, Amount aQuantity,
                      const std::string& aUOM, int32_t aVatCode, Amount aPrice, Amount aAmount);
  bool PrintRecItemAdjustment(int32_t aAdjType, const std::string& aDescription, Amount aAmount, int32_t aVatCode);
  bool PrintRecSubtotal(Amount aAmount);
  bool PrintRecSubtotalAdjustment(int32_t aAdjType, const std::string& aDescription, Amount aAmount);
  bool PrintRecTotal(Amount aTotalAmount, Amount aPaymentAmount, const std::string& aDescription);
  bool PrintRecNotPaid(Amount aAmount, const std::string& aDescription);
  bool PrintRecMessage(const std::string& aText);
  bool PrintRecTaxid(const std::string& aTaxId);
  bool SetDate(DateTime aDateTime);
  // On failure aDate is the current time.
  bool GetDate(DateTime& aDate);
  // On failure aOutput is empty.
  bool GetData(int32_t aDataItem, int32_t aOptArgs, std::string& aOutput);
  bool DirectIO(int32_t aCommand, int32_t& aData, std::string& aString);

  // ---- Properties: answer true without a result check ----
  bool GetCoverOpen(bool& aResult);
  bool GetDayOpened(bool& aResult);
  bool GetRecEmpty(bool& aResult);
  bool GetRecNearEnd(bool& aResult);
  bool GetTrainingModeActive(bool& aResult);
  bool PrinterState(int32_t& aPrinterState);
  bool RemainingFiscalMemory(int32_t& aRemainingFiscalMemory);
  bool SetFiscalReceiptType(int32_t aReceiptType);
  bool SetPreLine(const std::string& aDescription);
  // With aClear the trailer becomes aDescription; otherwise aDescription and CR LF are
  // appended to it.
  bool SetAdditionalTrailerLine(const std::string& aDescription, bool aClear);

  // Clears the custom error; a non-zero aCode is logged and recorded with ResultText.
  bool CheckResult(int32_t aCode);
  // "[code] NAME", for 114 with an extended code " [ext] NAME", then " - " + ErrorString.
  std::string ResultText(int32_t aCode);

  // The names of OPOS result codes and of fiscal printer extended codes, each with its
  // leading blank; " UNKNOWN" for any other code.
  static std::string ResultCodeName(int32_t aCode);
  static std::string ExtendedCodeName(int32_t aCode);

 private:
  std::unique_ptr<kOPOSFiscalPrinter> fOPOS;
  std::string fDeviceName;
  bool fConnected = false;
};

}  // namespace fp
