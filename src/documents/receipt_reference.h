// A reference to an earlier receipt, for reprinting it or asking about its lottery status.
#pragma once

#include <pugixml.hpp>

#include <string>

#include "base/datetime.h"
#include "documents/enums.h"

namespace fp {

class kReceiptReference {
 public:
  vnReceiptType fReceiptType = rt_Sale;
  std::string fEJNumber;
  std::string fEJClosingNumber;
  DateTime fReceiptDateTime = 0;
  std::string fReceiptNumber;
  std::string fDeviceSerialNumber;

  // Reads ReceiptReference; ReceiptType is required, an empty ReceiptDateTime leaves 0.
  // Throws "ReceiptReference node not found" without the element.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
