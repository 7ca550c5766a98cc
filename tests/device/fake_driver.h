// A model driver and a transport that only record what the framework asks of them, so the
// tests can check the order of hook calls, the operation frame in the log and how a
// recorded failure travels into the result.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/fiscal_printer_device.h"
#include "io/io_handler.h"

namespace fp::test {

// How one hook behaves: its return value, and whether it records a failure on the
// transport ("<hook> failed", code 7) before returning.
struct HookBehaviour {
  bool result = true;
  bool recordError = false;
};

class FakeTransport : public kIOHandler {
 public:
  FakeTransport(std::vector<std::string>& aCalls, const std::string& aDirectory, const std::string& aFileName)
      : kIOHandler(nullptr, aDirectory, aFileName), fCalls(aCalls) {}

  bool GetConnected() override { return fConnected; }
  bool Connect() override {
    kIOHandler::Connect();
    fCalls.push_back("Connect");
    fConnected = true;
    return true;
  }
  bool Disconnect() override {
    fCalls.push_back("Disconnect");
    fConnected = false;
    return true;
  }
  void ClearBuffers() override {}
  bool Write(const std::string&) override { return true; }
  std::string ReadUpTo(const std::vector<uint8_t>&) override { return {}; }
  std::string ReadChars(int32_t) override { return {}; }
  std::string ReadAll() override { return {}; }
  std::string DecodeError(int32_t) override { return {}; }
  bool InputBufferContainsData() override { return false; }
  void SetParameter(const std::string&, const std::string&) override {}
  std::string ClassName() const override { return "FakeTransport"; }

 private:
  std::vector<std::string>& fCalls;
  bool fConnected = false;
};

class FakeDriver : public kFiscalPrinterDevice {
 public:
  // A device over a recording transport whose log goes to aLogDir (no log when empty).
  FakeDriver(kReceiptPrinterHandler& aHandler, const std::string& aLogDir)
      : kFiscalPrinterDevice(aHandler, std::make_unique<FakeTransport>(fCalls, aLogDir, "FakeDriver_test")) {
    fLineLength = 48;
    // A printer that wants its status checked before printing.
    fBehaviour["SkipStatusCheck"].result = false;
  }
  // A device over the transport the request's connection describes, logging below the
  // host program's folder.
  explicit FakeDriver(kReceiptPrinterHandler& aHandler) : kFiscalPrinterDevice(aHandler) {
    fBehaviour["SkipStatusCheck"].result = false;
  }

  // The model's services and values, opened to the tests that exercise them directly.
  using kFiscalPrinterDevice::AddPrintSection;
  using kFiscalPrinterDevice::ClearPrintSequence;
  using kFiscalPrinterDevice::fCounters;
  using kFiscalPrinterDevice::FindVatIndex;
  using kFiscalPrinterDevice::fLineLength;
  using kFiscalPrinterDevice::IOHandler;
  using kFiscalPrinterDevice::MutableDeptTable;
  using kFiscalPrinterDevice::MutableEATable;
  using kFiscalPrinterDevice::MutableVatTable;
  using kFiscalPrinterDevice::PadText;
  using kFiscalPrinterDevice::PrintWeightedProductSale;
  using kFiscalPrinterDevice::ResetCounters;
  using kFiscalPrinterDevice::ResetError;

  // Every hook and transport call, by name, in order.
  std::vector<std::string> fCalls;
  std::map<std::string, HookBehaviour> fBehaviour;

  // Values the reading hooks hand back.
  DateTime fPrinterClock = 0;
  std::string fPrinterSerial = "SN1";
  std::string fPrinterMode = "RT";

  bool Hook(const std::string& aName) {
    fCalls.push_back(aName);
    HookBehaviour b = fBehaviour[aName];
    if (b.recordError) RecordError(7, aName + " failed");
    return b.result;
  }

  bool BeginNonFiscalReceipt(kNFReceipt&) override { return Hook("BeginNonFiscalReceipt"); }
  bool PrintNonFiscalTextLine(kReceipt*, kReceiptMessageTextLine&) override { return Hook("PrintNonFiscalTextLine"); }
  bool PrintNonFiscalBarcodeLine(kReceipt*, kReceiptMessageBarcodeLine&) override {
    return Hook("PrintNonFiscalBarcodeLine");
  }
  bool PrintNonFiscalImageLine(kReceipt*, kReceiptMessageImageLine&) override {
    return Hook("PrintNonFiscalImageLine");
  }
  bool EndNonFiscalReceipt(kNFReceipt&) override { return Hook("EndNonFiscalReceipt"); }
  bool BeginFiscalReceipt(kReceipt&) override { return Hook("BeginFiscalReceipt"); }
  bool EndFiscalReceipt(kReceipt&) override { return Hook("EndFiscalReceipt"); }
  bool PrintProductSale(kReceipt&, kReceiptLineProductSale&) override { return Hook("PrintProductSale"); }
  bool PrintProductReturn(kReceipt&, kReceiptLineProductReturn&) override { return Hook("PrintProductReturn"); }
  bool PrintVoucherSale(kReceipt&, kReceiptLineVoucherSale&) override { return Hook("PrintVoucherSale"); }
  bool PrintVoucherRedeem(kReceipt&, kReceiptLineVoucherRedeem&) override { return Hook("PrintVoucherRedeem"); }
  bool PrintGiftCardSale(kReceipt&, kReceiptLineGiftCardSale&) override { return Hook("PrintGiftCardSale"); }
  bool PrintGiftCardRedeem(kReceipt&, kReceiptLineGiftCardRedeem&) override { return Hook("PrintGiftCardRedeem"); }
  bool PrintCollectAmount(kReceipt&, kReceiptLineCollectAmount&) override { return Hook("PrintCollectAmount"); }
  bool PrintTextLine(kReceipt&, kReceiptLineText&) override { return Hook("PrintTextLine"); }
  bool PrintSubTotal(kReceipt&, kReceiptLineSubtotal&) override { return Hook("PrintSubTotal"); }
  bool PrintDiscountAmount(kReceipt&, kReceiptLineDiscountAmount&) override { return Hook("PrintDiscountAmount"); }
  bool PrintDiscountPercentage(kReceipt&, kReceiptLineDiscountPercentage&) override {
    return Hook("PrintDiscountPercentage");
  }
  bool PrintDiscountAmountOnSubtotal(kReceipt&, kReceiptLineDiscountAmountOnSubTotal&) override {
    return Hook("PrintDiscountAmountOnSubtotal");
  }
  bool PrintDiscountPercentageOnSubTotal(kReceipt&, kReceiptLineDiscountPercentageOnSubTotal&) override {
    return Hook("PrintDiscountPercentageOnSubTotal");
  }
  bool PrintMarkupAmount(kReceipt&, kReceiptLineMarkupAmount&) override { return Hook("PrintMarkupAmount"); }
  bool PrintMarkupPercentage(kReceipt&, kReceiptLineMarkupPercentage&) override {
    return Hook("PrintMarkupPercentage");
  }
  bool PrintMarkupAmountOnSubtotal(kReceipt&, kReceiptLineMarkupAmountOnSubTotal&) override {
    return Hook("PrintMarkupAmountOnSubtotal");
  }
  bool PrintMarkupPercentageOnSubTotal(kReceipt&, kReceiptLineMarkupPercentageOnSubTotal&) override {
    return Hook("PrintMarkupPercentageOnSubTotal");
  }
  bool PrintPayment(kReceipt&, kReceiptPaymentLine&) override { return Hook("PrintPayment"); }
  bool PrintTrailerTextLine(kReceipt&, kReceiptMessageTextLine&) override { return Hook("PrintTrailerTextLine"); }
  bool PrintTrailerBarcodeLine(kReceipt&, kReceiptMessageBarcodeLine&) override {
    return Hook("PrintTrailerBarcodeLine");
  }
  bool CheckStatus() override { return Hook("CheckStatus"); }
  bool PrintXReport(kXReport&) override { return Hook("PrintXReport"); }
  bool PrintZReport(kZReport*) override { return Hook("PrintZReport"); }
  bool GetLastDocumentInfo(DateTime&, std::string&, std::string&, std::string&, std::string&) override {
    return Hook("GetLastDocumentInfo");
  }
  bool GetRemainingFiscalMemory(int32_t&) override { return Hook("GetRemainingFiscalMemory"); }
  bool GetPrinterStatus(vnPrinterStatus& aStatus) override {
    aStatus.DayOpened = true;
    aStatus.DateTime = fPrinterClock;
    aStatus.FirmwareVersion = "FW";
    aStatus.SerialNumber = fPrinterSerial;
    aStatus.FiscalMode = fPrinterMode;
    return Hook("GetPrinterStatus");
  }
  bool GetDrawerStatus(int32_t aDrawer, bool& aIsOpen) override {
    aIsOpen = aDrawer == 2;
    return Hook("GetDrawerStatus(" + std::to_string(aDrawer) + ")");
  }
  bool GetDateTime(DateTime& aDateTime) override {
    aDateTime = fPrinterClock;
    return Hook("GetDateTime");
  }
  bool SetDateTime(DateTime aDateTime) override {
    fPrinterClock = aDateTime;
    return Hook("SetDateTime");
  }
  bool SetTrainingMode(bool aOn) override { return Hook(aOn ? "SetTrainingMode(on)" : "SetTrainingMode(off)"); }
  bool ReadVatTable() override { return Hook("ReadVatTable"); }
  bool WriteVatTable(kVatTable&) override { return Hook("WriteVatTable"); }
  bool ReadEATable() override { return Hook("ReadEATable"); }
  bool WriteEATable(kEconomicActivityTable&) override { return Hook("WriteEATable"); }
  bool ReadDeptTable() override { return Hook("ReadDeptTable"); }
  bool WriteDeptTable(kDeptTable&) override { return Hook("WriteDeptTable"); }
  bool SetLotteryCode(const std::string&) override { return Hook("SetLotteryCode"); }
  bool ClearDisplay() override { return Hook("ClearDisplay"); }
  bool WriteDisplay(kReceiptMessageLines&) override { return Hook("WriteDisplay"); }
  bool OpenDrawer(int32_t aDrawer) override { return Hook("OpenDrawer(" + std::to_string(aDrawer) + ")"); }
  bool Pay(kPaymentReceipt&) override { return Hook("Pay"); }
  bool RePrintReceipt(kReceiptReference&, kReceipt&) override { return Hook("RePrintReceipt"); }
  bool PrintEJZReports(vnEJReportDestination, DateTime, DateTime, std::string&) override {
    return Hook("PrintEJZReports");
  }
  bool PrintEJFiscalReceipts(vnEJReportDestination, int32_t, DateTime, DateTime, int32_t, std::string&) override {
    return Hook("PrintEJFiscalReceipts");
  }
  bool PrintEJNonFiscalReceipts(vnEJReportDestination, int32_t, DateTime, DateTime, int32_t, std::string&) override {
    return Hook("PrintEJNonFiscalReceipts");
  }
  bool PrintEJCreditNotes(vnEJReportDestination, int32_t, DateTime, DateTime, int32_t, std::string&) override {
    return Hook("PrintEJCreditNotes");
  }
  bool PrintEJInvoices(vnEJReportDestination, int32_t, DateTime, DateTime, int32_t, std::string&) override {
    return Hook("PrintEJInvoices");
  }
  bool GetEJFiles(vnEJFilesRequestType, const std::string&, DateTime, DateTime, int32_t&) override {
    return Hook("GetEJFiles");
  }
  bool SkipStatusCheck() override { return Hook("SkipStatusCheck"); }
  bool IsDayOpened() override { return Hook("IsDayOpened"); }
  bool ReadLotteryReceiptStatus(kReceiptReference&) override {
    fLotteryReceiptStatus = {true, "00", "sent", "REF1"};
    return Hook("ReadLotteryReceiptStatus");
  }
  bool ReadReceiptText(kReceiptReference&, std::string&) override { return Hook("ReadReceiptText"); }
  bool Init() override { return Hook("Init"); }
};

}  // namespace fp::test
