// Builds the transport a connection record names: the one place where the connection
// types meet the transports.
#include "io/transport_factory.h"

#include "base/errors.h"
#include "io/connection.h"
#include "io/io_handler.h"

namespace fp {

kTransportMaker TransportMaker(vnConnectionType aType) {
  kTransportMaker make = nullptr;
  switch (aType) {
    case vnConnectionType::OPOS: make = NewIOHandler_OPOS; break;
    case vnConnectionType::TCP: make = NewIOHandler_TCP; break;
    case vnConnectionType::HTTP: make = NewIOHandler_HTTP; break;
    case vnConnectionType::Serial: make = NewIOHandler_Serial; break;
    case vnConnectionType::DLL: make = NewIOHandler_Dll; break;
    case vnConnectionType::Com: make = NewIOHandler_Com; break;
    case vnConnectionType::Spool: make = NewIOHandler_Spool; break;
  }
  if (make == nullptr) throw kException("Connection Type " + std::to_string(static_cast<int>(aType)) + " is not valid");
  return make;
}

std::unique_ptr<kIOHandler> CreateTransport(const kConnection& aConnection, const kTransportLog& aLog) {
  std::unique_ptr<kIOHandler> handler = TransportMaker(aConnection.ConnectionType)(aConnection, aLog.Directory, aLog.FileName);
  handler->SetHexLog(aLog.HexLog);
  handler->SetLogRetention(aLog.MaxAgeDays, aLog.MaxTotalMegabytes);
  return handler;
}

}  // namespace fp
