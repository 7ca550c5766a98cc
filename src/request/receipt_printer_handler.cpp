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

void kReceiptPrinterHandler::Deserialize(const std::string& aXml, vnReceiptHandlerDocumentTypes aTypes) {
  Connection.SetConnectTimeOut(1000);
  std::unique_ptr<pugi::xml_document> doc = kDeviceHandler::Deserialize(aXml);
  // The documents are read in this fixed order; the department table needs the economic
  // activities read first from the same element.
  if (aTypes.Contains(dt_Receipt)) fReceipt->Deserialize(*doc);
  if (aTypes.Contains(dt_NFReceipt)) fNFReceipt->Deserialize(*doc);
  if (aTypes.Contains(dt_Display)) fCustomerDisplay->Deserialize(*doc);
  if (aTypes.Contains(dt_Drawer)) fDrawer->Deserialize(*doc);
  if (aTypes.Contains(dt_EJReport)) fEJReport->Deserialize(*doc);
  if (aTypes.Contains(dt_VatTable)) fVATTable->Deserialize(*doc);
  if (aTypes.Contains(dt_XReport)) fXReport->Deserialize(*doc);
  if (aTypes.Contains(dt_ZReport)) fZReport->Deserialize(*doc);
  if (aTypes.Contains(dt_DeptTable)) {
    fEATable->Deserialize(*doc);
    fDeptTable->Deserialize(*doc);
  }
  if (aTypes.Contains(dt_Pay)) fPaymentReceipt->Deserialize(*doc);
  if (aTypes.Contains(dt_ReceiptReference)) fReceiptReference->Deserialize(*doc);
  if (aTypes.Contains(dt_EJFilesRequest)) fEJFilesRequest->Deserialize(*doc);
}

void kReceiptPrinterHandler::ClearReceipt() { fReceipt = std::make_unique<kReceipt>(); }

}  // namespace fp
