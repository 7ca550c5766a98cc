#include "device/fiscal_printer_device.h"

#include <algorithm>
#include <cstdlib>

#include "base/app_info.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "device/fiscal_processor_caller.h"
#include "documents/dept_table.h"
#include "documents/economic_activity_table.h"
#include "documents/vat_table.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "io/io_handler.h"
#include "rtserver/rt_server_client.h"

namespace fp {

namespace {


// Boolean device parameters are on exactly when their value reads "true" in any case.
bool ParameterIsTrue(const kReceiptPrinterHandler& aHandler, std::string_view aName) {
  return LowerCase(aHandler.GetParameter(aName)) == "true";
}

// The folder the device logs go to: LogFiles/FiscalPrinter below the host program's folder.
std::string DeviceLogFolder() {
  std::string base = ApplicationDir();
  if (base.empty()) throw kException("Unable to find the folder of the host program for the device log");
  // A NUL can't be part of a path: the file system would see a different, shorter name.
  if (base.find('\0') != std::string::npos) throw kException("Invalid log folder: " + base);
  if (base.back() != '/') base += '/';
  return base + "LogFiles/FiscalPrinter";
}

}  // namespace

kFiscalPrinterDevice::kFiscalPrinterDevice(kReceiptPrinterHandler& aHandler)
    : fVatTable(std::make_unique<kVatTable>()),
      fDeptTable(std::make_unique<kDeptTable>()),
      fEATable(std::make_unique<kEconomicActivityTable>()) {
  fIOHandler = aHandler.CreateIOHandler(DeviceLogFolder());
  Setup(aHandler);
}

kFiscalPrinterDevice::kFiscalPrinterDevice(kReceiptPrinterHandler& aHandler, std::unique_ptr<kIOHandler> aIOHandler)
    : fIOHandler(std::move(aIOHandler)),
      fVatTable(std::make_unique<kVatTable>()),
      fDeptTable(std::make_unique<kDeptTable>()),
      fEATable(std::make_unique<kEconomicActivityTable>()) {
  Setup(aHandler);
}

void kFiscalPrinterDevice::Setup(kReceiptPrinterHandler& aHandler) {
  if (!fIOHandler) throw kException("Unable to create the transport of the device");
  fDeviceKey = aHandler.LogFileName();

  fRTServerActive = ParameterIsTrue(aHandler, "RTServer");
  fRTServerTillSerial = aHandler.GetParameter("RTServerTillSerial");
  fRTServerTillInstance = ParameterIsTrue(aHandler, "RTServerTillInstance");

  fProcessor = std::make_unique<kFiscalProcessorCaller>();
  fProcessor->fName = aHandler.GetParameter("Processor");
  fProcessor->fActive = !fProcessor->fName.empty();
  if (fProcessor->fActive) fProcessor->Init();

  if (fRTServerActive) {
    std::string driver = aHandler.GetParameter("RTServerDriver");
    fRTServer = std::make_unique<kRTServerClient>(driver.empty() ? std::string() : driver + ".dll",
                                                  fRTServerTillSerial, fRTServerTillInstance);
    fRTServer->Load();
  }

  fRTServerReceiptInfo = std::make_unique<kRTServerReceiptInfo>();
  fRTServerTillReportInfo = std::make_unique<kRTServerTillReportInfo>();

  AddPrintSection(fpps_Lines);
  AddPrintSection(fpps_Payments);
  AddPrintSection(fpps_TrailerMessages);

  fIOHandler->SetVersion(GetDriverVersion());

  // Bounds in milliseconds: how long the outcome of a document is asked for, and how long a
  // document waits for another device's document on the same printer.
  const auto bound = [&](const char* aName, int& aValue) {
    const std::string text = Trim(aHandler.GetParameter(aName));
    if (text.empty()) return;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == nullptr || *end != '\0' || value < 0 || value > 3600000)
      throw kException("Invalid " + std::string(aName) + " '" + text + "': milliseconds from 0 to 3600000 expected");
    aValue = static_cast<int>(value);
  };
  bound("OutcomeTimeout", fOutcomeTimeoutMs);
  bound("PrinterBusyTimeout", fBusyTimeoutMs);
}

kFiscalPrinterDevice::~kFiscalPrinterDevice() {
  // The transport ends the device log when it goes; the processor caller and the RT server
  // client never log through it, so they may outlive it. Their libraries stay loaded.
  fVatTable.reset();
  fDeptTable.reset();
  fEATable.reset();
  fIOHandler.reset();
  fRTServerReceiptInfo.reset();
  fRTServerTillReportInfo.reset();
  fProcessor.reset();
  fRTServer.reset();
}

std::string kFiscalPrinterDevice::GetDriverVersion() {
  const tVN_ApplicationInfo& info = LibraryInfo();
  return "Version " + info.Version + " - " + FormatShortDate(info.ReleaseDate);
}

// ---- Services for drivers --------------------------------------------------------------

void kFiscalPrinterDevice::AddPrintSection(vnFiscalPrinterPrintSection aSection) {
  if (std::find(fPrintSequence.begin(), fPrintSequence.end(), aSection) == fPrintSequence.end())
    fPrintSequence.push_back(aSection);
}

void kFiscalPrinterDevice::ClearPrintSequence() { fPrintSequence.clear(); }

int32_t kFiscalPrinterDevice::FindVatIndex(const std::string& aCode) const {
  const kVat* vat = fVatTable->Get(aCode);
  return vat ? vat->fIndex : -1;
}

std::string kFiscalPrinterDevice::PadText(const std::string& aText, int32_t aWidth) {
  if (aWidth <= 0) return std::string();
  auto width = static_cast<size_t>(aWidth);
  return CharLeft(PadRight(aText, width), width);
}

void kFiscalPrinterDevice::ResetCounters() {
  fCounters.GrandTotalAmount = Amount();
  fCounters.GrandTotalRefundsAmount = Amount();
  fCounters.DayTotalAmount = Amount();
  fCounters.DayDiscountsAmount = Amount();
  fCounters.DayReturnsAmount = Amount();
  fCounters.DayRefundsAmount = Amount();
  fCounters.DayReceiptsNumber = 0;
  fCounters.DayRefundsNumber = 0;
  fCounters.ZReportNumber = 0;
}

bool kFiscalPrinterDevice::IsReady() { return SkipStatusCheck() || CheckStatus(); }

// ---- Operation frame -------------------------------------------------------------------

void kFiscalPrinterDevice::WriteOperationHeader(std::string_view aLogName) {
  fIOHandler->Debug(let_info, std::string(60, '-') + " " + std::string(aLogName));
}

void kFiscalPrinterDevice::LogInfo(const std::string& aMessage) { fIOHandler->Debug(let_info, aMessage); }

void kFiscalPrinterDevice::LogError(const std::string& aMessage) { fIOHandler->Debug(let_error, aMessage); }

std::string kFiscalPrinterDevice::LogFileName() const { return fIOHandler->GetLogFileName(); }

void kFiscalPrinterDevice::RecordError(int32_t aCode, const std::string& aMessage) {
  fOutcome.fKind = ok_Refused;
  fOutcome.fCode = aCode;
  fOutcome.fMessage = aMessage;
  fOutcome.fCommand.clear();
}

void kFiscalPrinterDevice::RecordOutcome(const vnOutcome& aOutcome) {
  fLastCommand = aOutcome;
  if (aOutcome.Answered()) ResetError();
  if (aOutcome.Failed()) fOutcome = aOutcome;
}

vnOutcome kFiscalPrinterDevice::Outcome() const {
  if (fOutcome.Failed()) return fOutcome;
  vnOutcome transport;
  if (fIOHandler->ErrorFound()) {
    transport.fKind = ok_Refused;
    transport.fCode = fIOHandler->ErrorCode();
    transport.fMessage = fIOHandler->ErrorMessage();
  }
  return transport;
}

std::string kFiscalPrinterDevice::UnansweredCommand() const {
  return fLastCommand.fKind == ok_Unknown ? fLastCommand.fCommand : std::string();
}

void kFiscalPrinterDevice::ResetError() {
  fOutcome = vnOutcome();
  fIOHandler->ResetCustomError();
}

bool kFiscalPrinterDevice::ErrorFound() const { return fOutcome.Failed() || fIOHandler->ErrorFound(); }

int32_t kFiscalPrinterDevice::ErrorCode() const { return fOutcome.Failed() ? fOutcome.fCode : fIOHandler->ErrorCode(); }

const std::string& kFiscalPrinterDevice::ErrorMessage() const {
  return fOutcome.Failed() ? fOutcome.fMessage : fIOHandler->ErrorMessage();
}

void kFiscalPrinterDevice::OpenRTServerTill(kReceiptPrinterHandler& aHandler) {
  if (!fRTServer || fRTServer->TillOpened()) return;
  LogInfo("RTServer:OpenTill");
  fRTServer->OpenTill(aHandler.GetParameter("RTServerHost"),
                      ParseXmlInteger(aHandler.GetParameter("RTServerPort")).value_or(0),
                      aHandler.GetParameter("RTServerUser"), aHandler.GetParameter("RTServerPassword"),
                      aHandler.GetParameter("RTServerTillSerial"));
}

std::string kFiscalPrinterDevice::InitAfterOpen() {
  if (!Init() && ErrorFound()) return ErrorMessage();
  return {};
}

// ---- Open, close, status ---------------------------------------------------------------

void kFiscalPrinterDevice::Pub_Open(kReceiptPrinterHandler& aHandler, _int_OPEN_result& aResult) {
  BeginOperation("Open", aResult, false);
  fIOHandler->Connect();
  if (fRTServerActive) OpenRTServerTill(aHandler);
  if (fProcessor->Active()) {
    LogInfo("Processor:Open");
    // The library's refusal fails the open with its message, as a failed connection does; a
    // failure recorded before it (the connection's) stays the reason given.
    if (!fProcessor->OpenProcessor(aHandler.fRequestText) && !ErrorFound())
      RecordError(999, fProcessor->ErrorMessage().empty() ? "The processor library refused to open"
                                                          : fProcessor->ErrorMessage());
  }
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_Close(kReceiptPrinterHandler&, _int_CLOSE_result& aResult) {
  BeginOperation("Close", aResult, false);
  fIOHandler->Disconnect();
  EndOperation(aResult);
}

void kFiscalPrinterDevice::Pub_GetStatus(kReceiptPrinterHandler& aHandler, _int_GETSTATUS_result& aResult) {
  BeginOperation("GetStatus", aResult);
  GetPrinterStatus(aResult);
  if (fProcessor->Active())
    fProcessor->ProcessGetStatus(aHandler.fRequestText, aResult.DayOpened, aResult.DateTime, aResult.TrainingMode,
                                 aResult.FirmwareVersion, aResult.SerialNumber, aResult.FiscalMode);
  EndOperation(aResult);
  // Only a clean read may replace what the device knows about itself.
  if (!aResult.Error) {
    fFiscalMode = aResult.FiscalMode;
    fSerialNumber = aResult.SerialNumber;
  }
}

}  // namespace fp
