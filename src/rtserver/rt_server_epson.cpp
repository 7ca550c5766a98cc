#include "rtserver/rt_server_epson.h"

#include <utility>

namespace fp {

kRTServer_Epson::kRTServer_Epson(std::string aDLLName, std::string aTillSerial, bool aTillInstance)
    : fDLLName(std::move(aDLLName)),
      fTillSerial(std::move(aTillSerial)),
      fTillInstance(aTillInstance),
      fReceiptInfo(std::make_unique<kRTServerReceiptInfo>()),
      fTillReportInfo(std::make_unique<kRTServerTillReportInfo>()) {}

kRTServer_Epson::~kRTServer_Epson() = default;

// Without a library binding nothing can reach the server: every step is refused and the
// records keep their empty values.
bool kRTServer_Epson::OpenTill(const std::string&, int32_t, const std::string&, const std::string&,
                               const std::string&) {
  return false;
}

void kRTServer_Epson::BuildXMLReceipt(kReceipt&) {}

bool kRTServer_Epson::SignReceipt() { return false; }

bool kRTServer_Epson::XReport() { return false; }

bool kRTServer_Epson::CloseTill() { return false; }

}  // namespace fp
