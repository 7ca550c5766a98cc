// Builds the transport a device section names: the one place where the device section
// meets the transports, so the section itself needs nothing from io.
#include "io/transport_factory.h"

#include "base/errors.h"
#include "base/text.h"
#include "io/io_handler.h"
#include "request/device_handler.h"

namespace fp {

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
  std::unique_ptr<kIOHandler> handler = make(Connection, aLogDir, fileName);
  handler->SetHexLog(LowerCase(GetParameter("HexLog")) == "true");
  return handler;
}

}  // namespace fp
