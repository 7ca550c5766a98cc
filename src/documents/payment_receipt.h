// An electronic payment request and, once the payment ran, the receipt text and the
// terminal's raw answer that came back.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "base/amount.h"
#include "documents/enums.h"

namespace fp {

class kPaymentReceipt {
 public:
  std::string fStoreCode;
  std::string fTillCode;
  std::string fReference;
  Amount fAmount;
  std::string fCurrency;
  vnPaymentPrintLocation fPrintLocation = pl_ECR;
  int32_t fCopies = 0;
  std::vector<std::string> fReceiptLines;  // filled by the payment, never read from a request
  std::string fRawResponse;                // filled by the payment, never read from a request
  std::string fReceiptId;

  // Reads the Payment element. PrintLocation must be exactly "ECR" or "EFT" (or absent);
  // a negative Copies counts as 0. Throws "Payment node not found", the payment location
  // message, or the reader's message for a bad Amount or Copies.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
