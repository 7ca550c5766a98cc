// Builds the transport a device section names: the one place where the device section
// meets the transports, so the section itself needs nothing from io.
#include "io/transport_factory.h"

#include <optional>
#include <string_view>

#include "base/errors.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "io/io_handler.h"
#include "request/device_handler.h"

namespace fp {

namespace {

// A bound of the device log's retention: a whole number, 0 or more (0: no bound); the
// default when the parameter is absent or empty.
int RetentionParameter(const kDeviceHandler& aHandler, std::string_view aName, int aDefault) {
  const std::string text = aHandler.GetParameter(aName);
  if (Trim(text).empty()) return aDefault;
  const std::optional<int32_t> value = ParseXmlInteger(text);
  if (!value || *value < 0)
    throw kException("Parameter " + std::string(aName) + " must be a whole number, 0 or more: '" + text + "'");
  return *value;
}

}  // namespace

std::unique_ptr<kIOHandler> kDeviceHandler::CreateIOHandler(const std::string& aLogDir) const {
  const std::string fileName = LogFileName();
  kTransportMaker make = nullptr;
  switch (Connection.ConnectionType) {
    case vnConnectionType::OPOS: make = NewIOHandler_OPOS; break;
    case vnConnectionType::TCP: make = NewIOHandler_TCP; break;
    case vnConnectionType::HTTP: make = NewIOHandler_HTTP; break;
    case vnConnectionType::Serial: make = NewIOHandler_Serial; break;
    case vnConnectionType::DLL: make = NewIOHandler_Dll; break;
    case vnConnectionType::Com: make = NewIOHandler_Com; break;
    case vnConnectionType::Spool: make = NewIOHandler_Spool; break;
  }
  if (make == nullptr) throw kException("Connection Type " + std::to_string(static_cast<int>(Connection.ConnectionType)) + " is not valid");
  const int maxAgeDays = RetentionParameter(*this, "LogMaxAgeDays", tVN_LogWriter::kDefaultMaxAgeDays);
  const int maxTotalMB = RetentionParameter(
      *this, "LogMaxTotalMB", static_cast<int>(tVN_LogWriter::kDefaultMaxTotalBytes / (1024 * 1024)));
  std::unique_ptr<kIOHandler> handler = make(Connection, aLogDir, fileName);
  handler->SetHexLog(LowerCase(GetParameter("HexLog")) == "true");
  handler->SetLogRetention(maxAgeDays, maxTotalMB);
  return handler;
}

}  // namespace fp
