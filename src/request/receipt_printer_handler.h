// The request holder: the device section of a request (kDeviceHandler) plus the request
// documents an export reads. One holder lives for one export call; every device operation
// takes it as its first argument.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "request/device_handler.h"

namespace fp {

class kReceipt;
class kNFReceipt;
class kCustomerDisplay;
class kDrawer;
class kEJReport;
class kVatTable;
class kDeptTable;
class kEconomicActivityTable;
class kPaymentReceipt;
class kReceiptReference;
class kEJFilesRequest;
class kXReport;
class kZReport;

// The documents an export asks the holder to read from its request.
enum vnReceiptHandlerDocumentType : int32_t {
  dt_Receipt = 0,
  dt_NFReceipt = 1,
  dt_Display = 2,
  dt_Drawer = 3,
  dt_EJReport = 4,
  dt_VatTable = 5,
  dt_DeptTable = 6,
  dt_Pay = 7,
  dt_ReceiptReference = 8,
  dt_EJFilesRequest = 9,
  dt_XReport = 10,
  dt_ZReport = 11,
};

// A set of document types: bit n stands for value n.
class vnReceiptHandlerDocumentTypes {
 public:
  constexpr vnReceiptHandlerDocumentTypes() = default;
  constexpr vnReceiptHandlerDocumentTypes(std::initializer_list<vnReceiptHandlerDocumentType> aTypes) {
    for (auto t : aTypes) fBits = static_cast<uint16_t>(fBits | (1u << t));
  }
  constexpr bool Contains(vnReceiptHandlerDocumentType aType) const { return (fBits >> aType) & 1u; }
  constexpr uint16_t Bits() const { return fBits; }
  constexpr bool operator==(const vnReceiptHandlerDocumentTypes&) const = default;

 private:
  uint16_t fBits = 0;
};

class kReceiptPrinterHandler : public kDeviceHandler {
 public:
  // Creates the thirteen documents empty; a document a request does not ask for stays so.
  kReceiptPrinterHandler();
  // Frees the documents in the order they were created, before the device section.
  ~kReceiptPrinterHandler() override;

  // Reads the request of an export call: parsed with aCodePage through the code-page step
  // (ParseRequestWithCodePage), otherwise as ParseRequest, then read as Deserialize. With aKeepText the holder
  // keeps the text the request stands for in fRequestText.
  void ReadRequest(std::string aXml, vnReceiptHandlerDocumentTypes aTypes, bool aCodePage, bool aKeepText);

  // Reads the device section always, then the documents in aTypes (each document's own
  // reader raises its message when its element is missing or bad). A request without a
  // connect timeout of its own gets 1000 ms.
  void Deserialize(const pugi::xml_document& aDoc, vnReceiptHandlerDocumentTypes aTypes);
  // The same from a request text, parsed once (ParseRequest). fRequestText stays as it is.
  void Deserialize(const std::string& aXml, vnReceiptHandlerDocumentTypes aTypes);

  // Replaces the receipt by a new, empty one, for a receipt read again from a rewritten
  // request.
  void ClearReceipt();

  std::unique_ptr<kReceipt> fReceipt;
  std::unique_ptr<kNFReceipt> fNFReceipt;
  std::unique_ptr<kCustomerDisplay> fCustomerDisplay;
  std::unique_ptr<kDrawer> fDrawer;
  std::unique_ptr<kEJReport> fEJReport;
  std::unique_ptr<kVatTable> fVATTable;
  std::unique_ptr<kDeptTable> fDeptTable;
  std::unique_ptr<kEconomicActivityTable> fEATable;
  std::unique_ptr<kPaymentReceipt> fPaymentReceipt;
  std::unique_ptr<kReceiptReference> fReceiptReference;
  std::unique_ptr<kEJFilesRequest> fEJFilesRequest;
  std::unique_ptr<kXReport> fXReport;
  std::unique_ptr<kZReport> fZReport;
  // The request's text for the processor library, kept by the exports that hand it on (the
  // text written back when the code-page step re-decoded the request); empty otherwise. A
  // processor that rewrites a receipt request replaces it.
  std::string fRequestText;
};

}  // namespace fp
