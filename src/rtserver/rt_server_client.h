// The RT server client: hands fiscal receipts, X reports and Z reports to an Italian RT
// server through the RT-server library, loaded at run time, and keeps what the library
// answered.
//
// A receipt is described to the library as a printerFiscalReceipt document in the command
// language the RT server library expects (BuildXMLReceipt), then signed (SignReceipt). The
// library's entry points take system wide strings (system_string.h); the out strings it
// fills are taken over and freed here, so it must allocate them with the exported
// SysAllocString (or the same malloc-based layout).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "base/amount.h"
#include "base/datetime.h"

namespace fp {

class kReceipt;

// The RT data of the last signed receipt.
class kRTServerReceiptInfo {
 public:
  Amount fVATTotal;
  std::string fRTTillId;
  std::string fRTServerSerialNumber;
  std::string fRTSignature;
  int32_t fRTnDoc = 0;
  int32_t fRTzRep = 0;
  std::vector<std::string> fHeaders;  // receipt header lines given by the server
};

// The data of the last X report or till closing.
class kRTServerTillReportInfo {
 public:
  std::string fTillSerialNumber;
  std::string fServerSerialNumber;
  int32_t fnRecNumber = 0;
  int32_t fzRepNumber = 0;
  DateTime fzRepDateTime = 0;
  Amount fDailyAmount;
  Amount fSalesAmount;
  Amount fVoidsAmount;
  Amount fRefundsAmount;
};

// Entry points of the RT-server library.
extern "C" {
using tRTServer_OPENTILL = uint8_t (*)(char16_t* aHost, int32_t aPort, char16_t* aUserName, char16_t* aPassword,
                                       char16_t* aTillId, char16_t** aMessage);
using tRTServer_SIGNRECEIPT = uint8_t (*)(char16_t* aReceiptXml, char16_t** aResultXml, char16_t** aMessage);
using tRTServer_CLOSETILL = int16_t (*)(char16_t** aReportXml, char16_t** aMessage);
using tRTServer_XREPORT = int16_t (*)(char16_t** aReportXml, char16_t** aMessage);
}

class kRTServerClient {
 public:
  // The name of the library loaded when the device names none.
  static constexpr const char* kDefaultLibrary = "VNRS_ZEVUZ90_20.dll";

  // Records which library to use; Load loads it. Until then (and in subclasses that
  // replace the operations) every step is refused and the records stay empty.
  kRTServerClient(std::string aDLLName, std::string aTillSerial, bool aTillInstance);
  virtual ~kRTServerClient();

  // Loads the library aDLLName (kDefaultLibrary when empty) from the application folder
  // (PathInApplicationDir; a rooted name as it is). With aTillInstance the library file is first copied to
  // "<name without extension>-<aTillSerial>.dll" beside it and the copy is loaded, one
  // private copy per till. Throws kException when the library can't be loaded or lacks
  // OPENTILL, SIGNRECEIPT or CLOSETILL. The device calls it right after construction.
  void Load();

  kRTServerClient(const kRTServerClient&) = delete;
  kRTServerClient& operator=(const kRTServerClient&) = delete;

  // Opens the till on the server; true (and TillOpened) when the library answers 0.
  virtual bool OpenTill(const std::string& aBaseAddress, int32_t aPort, const std::string& aUserName,
                        const std::string& aPassword, const std::string& aTillId);
  // Builds the printerFiscalReceipt document of aReceipt, replacing the previous one.
  virtual void BuildXMLReceipt(kReceipt& aReceipt);
  // Sends the built document to be signed and reads ReceiptInfo from the answer (also when
  // the library refuses). true when signed.
  virtual bool SignReceipt();
  // X report / till closing (Z report): on success the till counts as closed and
  // TillReportInfo holds the answer; on a refusal TillReportInfo stays as it was. A library
  // without XREPORT refuses X reports.
  virtual bool XReport();
  virtual bool CloseTill();

  bool TillOpened() const { return fTillOpened; }
  const kRTServerReceiptInfo& ReceiptInfo() const { return *fReceiptInfo; }
  const kRTServerTillReportInfo& TillReportInfo() const { return *fTillReportInfo; }
  // The receipt document last built.
  const pugi::xml_document& XmlReceipt() const { return fXmlReceipt; }
  // The text SignReceipt sends: the document element without the XML declaration.
  std::string XmlReceiptText() const;

  const std::string& DLLName() const { return fDLLName; }
  const std::string& TillSerial() const { return fTillSerial; }
  bool TillInstance() const { return fTillInstance; }
  // The file actually loaded (the private copy with aTillInstance).
  const std::string& LoadedPath() const { return fLoadedPath; }

  // The year decides whether trailer messages go into the document; replaceable by tests.
  void SetClock(std::function<DateTime()> aClock) { fClock = std::move(aClock); }

 protected:
  std::string fDLLName;
  std::string fTillSerial;
  bool fTillInstance = false;
  std::string fLoadedPath;

  void* fDLLHandle = nullptr;
  tRTServer_OPENTILL fOpenTill = nullptr;
  tRTServer_SIGNRECEIPT fSignReceipt = nullptr;
  tRTServer_CLOSETILL fCloseTill = nullptr;
  tRTServer_XREPORT fXReport = nullptr;
  int32_t fTrailerLineNumber = 0;
  kReceipt* fReceipt = nullptr;  // not owned; the receipt being built
  pugi::xml_document fXmlReceipt;
  pugi::xml_node fCommandNode;
  std::string fLastTaxCode;
  std::unique_ptr<kRTServerReceiptInfo> fReceiptInfo;
  std::unique_ptr<kRTServerTillReportInfo> fTillReportInfo;
  bool fTillOpened = false;

 private:
  bool TillReport(int16_t (*aEntry)(char16_t**, char16_t**));
  std::function<DateTime()> fClock;
};

}  // namespace fp
