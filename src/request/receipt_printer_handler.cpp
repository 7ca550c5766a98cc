#include "request/receipt_printer_handler.h"

#include <pugixml.hpp>

#include "documents/customer_display.h"
#include "documents/dept_table.h"
#include "documents/drawer.h"
#include "documents/economic_activity_table.h"
#include "documents/ej_files_request.h"
#include "documents/ej_report.h"
#include "documents/nf_receipt.h"
#include "documents/payment_receipt.h"
#include "documents/receipt.h"
#include "documents/receipt_reference.h"
#include "documents/vat_table.h"
#include "documents/x_report.h"
#include "documents/z_report.h"
#include "request/request_parser.h"

namespace fp {

kReceiptPrinterHandler::kReceiptPrinterHandler()
    : fReceipt(std::make_unique<kReceipt>()),
      fNFReceipt(std::make_unique<kNFReceipt>()),
      fCustomerDisplay(std::make_unique<kCustomerDisplay>()),
      fDrawer(std::make_unique<kDrawer>()),
      fEJReport(std::make_unique<kEJReport>()),
      fVATTable(std::make_unique<kVatTable>()),
      fDeptTable(std::make_unique<kDeptTable>()),
      fEATable(std::make_unique<kEconomicActivityTable>()),
      fPaymentReceipt(std::make_unique<kPaymentReceipt>()),
      fReceiptReference(std::make_unique<kReceiptReference>()),
      fEJFilesRequest(std::make_unique<kEJFilesRequest>()),
      fXReport(std::make_unique<kXReport>()),
      fZReport(std::make_unique<kZReport>()) {}

kReceiptPrinterHandler::~kReceiptPrinterHandler() {
  fReceipt.reset();
  fNFReceipt.reset();
  fCustomerDisplay.reset();
  fDrawer.reset();
  fEJReport.reset();
  fVATTable.reset();
  fDeptTable.reset();
  fEATable.reset();
  fPaymentReceipt.reset();
  fReceiptReference.reset();
  fEJFilesRequest.reset();
  fXReport.reset();
  fZReport.reset();
}

void kReceiptPrinterHandler::ReadRequest(std::string aXml, vnReceiptHandlerDocumentTypes aTypes, bool aCodePage,
                                         bool aKeepText) {
  const std::unique_ptr<pugi::xml_document> doc =
      aCodePage ? ParseRequestWithCodePage(aXml, aKeepText) : ParseRequest(aXml);
  Deserialize(*doc, aTypes);
  if (aKeepText) fRequestText = std::move(aXml);
}

void kReceiptPrinterHandler::Deserialize(const std::string& aXml, vnReceiptHandlerDocumentTypes aTypes) {
  Deserialize(*ParseRequest(aXml), aTypes);
}

void kReceiptPrinterHandler::Deserialize(const pugi::xml_document& aDoc, vnReceiptHandlerDocumentTypes aTypes) {
  Connection.SetConnectTimeOut(1000);
  kDeviceHandler::Deserialize(aDoc);
  // The documents are read in this fixed order; the department table needs the economic
  // activities read first from the same element.
  if (aTypes.Contains(dt_Receipt)) fReceipt->Deserialize(aDoc);
  if (aTypes.Contains(dt_NFReceipt)) fNFReceipt->Deserialize(aDoc);
  if (aTypes.Contains(dt_Display)) fCustomerDisplay->Deserialize(aDoc);
  if (aTypes.Contains(dt_Drawer)) fDrawer->Deserialize(aDoc);
  if (aTypes.Contains(dt_EJReport)) fEJReport->Deserialize(aDoc);
  if (aTypes.Contains(dt_VatTable)) fVATTable->Deserialize(aDoc);
  if (aTypes.Contains(dt_XReport)) fXReport->Deserialize(aDoc);
  if (aTypes.Contains(dt_ZReport)) fZReport->Deserialize(aDoc);
  if (aTypes.Contains(dt_DeptTable)) {
    fEATable->Deserialize(aDoc);
    fDeptTable->Deserialize(aDoc);
  }
  if (aTypes.Contains(dt_Pay)) fPaymentReceipt->Deserialize(aDoc);
  if (aTypes.Contains(dt_ReceiptReference)) fReceiptReference->Deserialize(aDoc);
  if (aTypes.Contains(dt_EJFilesRequest)) fEJFilesRequest->Deserialize(aDoc);
}

void kReceiptPrinterHandler::ClearReceipt() { fReceipt = std::make_unique<kReceipt>(); }

}  // namespace fp
