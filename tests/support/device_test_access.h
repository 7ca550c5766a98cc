// The tests' way to the private state of a device: what an earlier call would have left
// (the serial number of OPEN's status read), fakes in place of the transport and the
// companions, and the RT records a report leaves. The model's own services are reached
// through a test subclass instead (test::FakeDriver).
#pragma once

#include <memory>
#include <string>

#include "device/fiscal_printer_device.h"
#include "device/fiscal_processor_caller.h"
#include "io/io_handler.h"
#include "rtserver/rt_server_client.h"

namespace fp {

class kDeviceTestAccess {
 public:
  static std::string& SerialNumber(kFiscalPrinterDevice& aDevice) { return aDevice.fSerialNumber; }
  static std::unique_ptr<kIOHandler>& Transport(kFiscalPrinterDevice& aDevice) { return aDevice.fIOHandler; }
  static kIOHandler& IOHandler(kFiscalPrinterDevice& aDevice) { return *aDevice.fIOHandler; }
  static std::unique_ptr<kFiscalProcessorCaller>& Processor(kFiscalPrinterDevice& aDevice) {
    return aDevice.fProcessor;
  }
  static std::unique_ptr<kRTServerClient>& RTServer(kFiscalPrinterDevice& aDevice) { return aDevice.fRTServer; }
  static bool& RTServerActive(kFiscalPrinterDevice& aDevice) { return aDevice.fRTServerActive; }
  static const std::string& RTServerTillSerial(kFiscalPrinterDevice& aDevice) { return aDevice.fRTServerTillSerial; }
  static kRTServerReceiptInfo& RTServerReceiptInfo(kFiscalPrinterDevice& aDevice) {
    return *aDevice.fRTServerReceiptInfo;
  }
  static kRTServerTillReportInfo& RTServerTillReportInfo(kFiscalPrinterDevice& aDevice) {
    return *aDevice.fRTServerTillReportInfo;
  }
  static void ResetError(kFiscalPrinterDevice& aDevice) { aDevice.ResetError(); }
  static std::string FormatAmountLine(const kFiscalPrinterDevice& aDevice, const std::string& aLabel,
                                      Amount aAmount) {
    return aDevice.FormatAmountLine(aLabel, aAmount);
  }
  static void PrintReportByProcessor(kFiscalPrinterDevice& aDevice, const std::string& aText,
                                     const std::string& aLayout) {
    aDevice.fProcessor->PrintReport(aText, aLayout, aDevice);
  }
};

}  // namespace fp
