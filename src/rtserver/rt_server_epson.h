// The RT server client: hands fiscal receipts, X reports and Z reports to an RT server
// through the RT-server library, and keeps what the library answered.
//
// This build carries no RT-server library binding yet. The client is inert: it never
// opens a till, never signs a receipt and never takes a report, so a device configured
// for an RT server reports those steps as refused instead of pretending they happened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

class kRTServer_Epson {
 public:
  // aDLLName: the library file name ("" for the default library); aTillSerial and
  // aTillInstance select a private copy of the library per till.
  kRTServer_Epson(std::string aDLLName, std::string aTillSerial, bool aTillInstance);
  virtual ~kRTServer_Epson();

  kRTServer_Epson(const kRTServer_Epson&) = delete;
  kRTServer_Epson& operator=(const kRTServer_Epson&) = delete;

  // Opens the till on the server; true when it is open afterwards.
  virtual bool OpenTill(const std::string& aBaseAddress, int32_t aPort, const std::string& aUserName,
                        const std::string& aPassword, const std::string& aTillId);
  // Builds the receipt document that SignReceipt sends.
  virtual void BuildXMLReceipt(kReceipt& aReceipt);
  // Has the server sign the built receipt; fills ReceiptInfo. true when signed.
  virtual bool SignReceipt();
  // X report / till closing (Z report); fill TillReportInfo. true when done.
  virtual bool XReport();
  virtual bool CloseTill();

  bool TillOpened() const { return fTillOpened; }
  const kRTServerReceiptInfo& ReceiptInfo() const { return *fReceiptInfo; }
  const kRTServerTillReportInfo& TillReportInfo() const { return *fTillReportInfo; }

  const std::string& DLLName() const { return fDLLName; }
  const std::string& TillSerial() const { return fTillSerial; }
  bool TillInstance() const { return fTillInstance; }

 protected:
  std::string fDLLName;
  std::string fTillSerial;
  bool fTillInstance = false;
  std::unique_ptr<kRTServerReceiptInfo> fReceiptInfo;
  std::unique_ptr<kRTServerTillReportInfo> fTillReportInfo;
  bool fTillOpened = false;
};

}  // namespace fp
