#include "device/fiscal_processor_caller.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include <pugixml.hpp>

#include "base/errors.h"
#include "base/platform.h"
#include "device/fiscal_printer_device.h"
#include "rtserver/library_lock.h"
#include "base/system_string.h"
#include "documents/krpt_util.h"
#include "documents/message_line.h"
#include "documents/nf_receipt.h"
#include "documents/request_element.h"

namespace fp {

namespace {

// One call of a PROCESS* entry point: the texts converted both ways, every string freed
// whatever happens.
int16_t CallProcess(void* aLibrary, vnFP_ProcessReceipt aEntry, const std::string& aInXml, std::string& aOutXml,
                    std::string& aErrorMessage) {
  kSystemStringPtr in(NewSystemString(aInXml));
  return CallWithOutStrings(
      aLibrary, [&](char16_t** aOut, char16_t** aMessage) { return aEntry(in.get(), aOut, aMessage); }, aOutXml,
      aErrorMessage);
}

// The library's answer document; its element's name does not matter.
pugi::xml_node ParseAnswer(pugi::xml_document& aDoc, const std::string& aText) {
  pugi::xml_parse_result parsed = aDoc.load_buffer(aText.data(), aText.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) throw kException(parsed.description());
  return aDoc.document_element();
}

template <class T>
T Entry(void* aLibrary, const char* aName) {
  return reinterpret_cast<T>(dlsym(aLibrary, aName));
}

}  // namespace

void kFiscalProcessorCaller::Init() {
  if (fName.empty()) return;
  if (fName.find('\0') != std::string::npos) throw kException("Invalid library name: " + fName);
  const std::string path = PathInApplicationDir(fName);

  // dlopen does not tell why it failed in a number: a file that can't be read gives its
  // errno (2 when it does not exist), one that is no loadable library ENOEXEC.
  int code = 0;
  if (::access(path.c_str(), R_OK) != 0) {
    code = errno;
  } else {
    errno = 0;
    fDLLHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (fDLLHandle == nullptr) code = errno != 0 ? errno : ENOEXEC;
  }
  if (fDLLHandle == nullptr)
    throw kException("Unable to load library " + path + ". Error code: [" + std::to_string(code) + "]");
  fOpenProcessor = Entry<vnFP_OpenProcessor>(fDLLHandle, "OPEN");
  fProcessReceipt = Entry<vnFP_ProcessReceipt>(fDLLHandle, "PROCESSRECEIPT");
  fProcessZReport = Entry<vnFP_ProcessXZReport>(fDLLHandle, "PROCESSZREPORT");
  fProcessXReport = Entry<vnFP_ProcessXZReport>(fDLLHandle, "PROCESSXREPORT");
  fProcessGetStatus = Entry<vnFP_ProcessGetStatus>(fDLLHandle, "PROCESSGETSTATUS");
  fProcessReprintReceipt = Entry<vnFP_ProcessReprintReceipt>(fDLLHandle, "PROCESSREPRINTRECEIPT");
}

bool kFiscalProcessorCaller::OpenProcessor(const std::string& aXml) {
  if (fOpenProcessor == nullptr) return true;
  kSystemStringPtr in(NewSystemString(aXml));
  char16_t* message = nullptr;
  int16_t result;
  {
    std::lock_guard<std::mutex> serialised(LibraryLock(fDLLHandle));
    result = fOpenProcessor(in.get(), &fProcessorHandle, &message);
  }
  kSystemStringPtr messageHolder(message);
  fErrorMessage = SystemStringText(message);
  return result == 0;
}

// A library without a rewrite entry leaves the request as it is: the answer is the input.
bool kFiscalProcessorCaller::ProcessReceipt(const std::string& aInXml, std::string& aOutXml) {
  if (fProcessReceipt == nullptr) {
    if (&aOutXml != &aInXml) aOutXml = aInXml;
    return true;
  }
  // aOutXml may be the very string passed as aInXml: the input is copied before the call.
  return CallProcess(fDLLHandle, fProcessReceipt, aInXml, aOutXml, fErrorMessage) == 0;
}

bool kFiscalProcessorCaller::ProcessReprintReceipt(const std::string& aInXml, std::string& aOutXml) {
  if (fProcessReprintReceipt == nullptr) {
    if (&aOutXml != &aInXml) aOutXml = aInXml;
    return true;
  }
  return CallProcess(fDLLHandle, fProcessReprintReceipt, aInXml, aOutXml, fErrorMessage) == 0;
}

bool kFiscalProcessorCaller::ProcessXReport(const std::string& aInXml, vnFiscalCounters& aCounters) {
  return ProcessXZReport(fProcessXReport, aInXml, aCounters);
}

bool kFiscalProcessorCaller::ProcessZReport(const std::string& aInXml, vnFiscalCounters& aCounters) {
  return ProcessXZReport(fProcessZReport, aInXml, aCounters);
}

bool kFiscalProcessorCaller::ProcessXZReport(vnFP_ProcessXZReport aEntry, const std::string& aInXml,
                                             vnFiscalCounters& aCounters) {
  // A report not taken always says why: an earlier call's message must not stand for it.
  if (aEntry == nullptr) {
    fErrorMessage = "The processor library has no entry point for this report";
    return false;
  }
  std::string answer, message;
  if (CallProcess(fDLLHandle, aEntry, aInXml, answer, message) != 0) {
    fErrorMessage = message.empty() ? "The processor library refused the report" : message;
    return false;
  }
  pugi::xml_document doc;
  pugi::xml_node root = ParseAnswer(doc, answer);
  // Read everything first, so a value that fails to convert leaves the counters untouched.
  vnFiscalCounters read = aCounters;
  read.GrandTotalAmount = krptUtil::GetNodeValueAsCurrency(root, "GrandTotalAmount");
  read.GrandTotalRefundsAmount = krptUtil::GetNodeValueAsCurrency(root, "GrandTotalRefundsAmount");
  read.GrandTotalVoidsAmount = krptUtil::GetNodeValueAsCurrency(root, "GrandTotalVoidsAmount");
  read.DayTotalAmount = krptUtil::GetNodeValueAsCurrency(root, "DayTotalAmount");
  read.DayDiscountsAmount = krptUtil::GetNodeValueAsCurrency(root, "DayDiscountsAmount");
  read.DayReturnsAmount = krptUtil::GetNodeValueAsCurrency(root, "DayReturnsAmount");
  read.DayRefundsAmount = krptUtil::GetNodeValueAsCurrency(root, "DayRefundsAmount");
  read.DayVoidsAmount = krptUtil::GetNodeValueAsCurrency(root, "DayVoidsAmount");
  read.DayReceiptsNumber = krptUtil::GetNodeValueAsInteger(root, "DayReceiptsNumber");
  read.DayRefundsNumber = krptUtil::GetNodeValueAsInteger(root, "DayRefundsNumber");
  read.ZReportNumber = krptUtil::GetNodeValueAsInteger(root, "ReportNumber");
  read.ZReportDateTime = krptUtil::GetNodeValueAsDateTime(root, "ReportDateTime");
  read.Text = krptUtil::GetNodeValueAsString(root, "Text");
  aCounters = std::move(read);
  return true;
}

void kFiscalProcessorCaller::ProcessGetStatus(const std::string& aInXml, bool& aDayOpened, DateTime& aDateTime,
                                              bool& aTrainingMode, std::string& aFirmwareVersion,
                                              std::string& aSerialNumber, std::string& aFiscalMode) {
  if (fProcessGetStatus == nullptr) return;
  std::string answer, message;
  if (CallProcess(fDLLHandle, fProcessGetStatus, aInXml, answer, message) != 0) {
    fErrorMessage = message;
    return;
  }
  pugi::xml_document doc;
  pugi::xml_node root = ParseAnswer(doc, answer);
  bool dayOpened = krptUtil::GetNodeValueAsBoolean(root, "DayOpened", false);
  DateTime dateTime = krptUtil::GetNodeValueAsDateTime(root, "DateTime");
  bool trainingMode = krptUtil::GetNodeValueAsBoolean(root, "TrainingMode", false);
  std::string firmware = krptUtil::GetNodeValueAsString(root, "FirmwareVersion");
  std::string serial = krptUtil::GetNodeValueAsString(root, "SerialNumber");
  std::string mode = krptUtil::GetNodeValueAsString(root, "FiscalMode");
  aDayOpened = dayOpened;
  aDateTime = dateTime;
  aTrainingMode = trainingMode;
  aFirmwareVersion = std::move(firmware);
  aSerialNumber = std::move(serial);
  aFiscalMode = std::move(mode);
}

void kFiscalProcessorCaller::PrintReport(const std::string& aText, const std::string& aLayout,
                                         kFiscalPrinterDevice& aPrinter) {
  kNFReceipt document;
  document.fDefaultLayout = aLayout.empty();
  document.fLayout = aLayout.empty() ? "DocumentLayout" : aLayout;
  aPrinter.PrintReportCopy(
      document,
      [&] {
        bool first = true;
        for (const std::string& text : SplitTextLines(aText)) {
          auto line = kReceiptMessageTextLine::CreateNF(&document);
          line->fValue = text;
          if (first) {
            line->fEffects = EffectBit(le_bold);
            line->fSize = 2;
            line->fAlignment = la_center;
          } else {
            line->fEffects = 0;
            line->fSize = 1;
            line->fAlignment = la_left;
          }
          first = false;
          aPrinter.PrintNonFiscalTextLine(nullptr, *line);
        }
      },
      true);
}

}  // namespace fp
