// The transport factory: one constructor function per connection type, so CreateTransport
// stays a plain switch and each transport plugs in where it is defined.
#pragma once

#include <memory>
#include <string>

#include "io/connection.h"

namespace fp {

class kIOHandler;

// How a new transport logs: the daily log aDirectory/aFileName_yyyymmdd.log (none when
// either is empty), with or without hexadecimal dumps, kept within the retention bounds.
struct kTransportLog {
  std::string Directory;
  std::string FileName;
  bool HexLog = false;
  int MaxAgeDays = 0;
  int MaxTotalMegabytes = 0;
};

// A new transport for aConnection; the caller owns it. Throws kException for a connection
// type that names no transport.
std::unique_ptr<kIOHandler> CreateTransport(const kConnection& aConnection, const kTransportLog& aLog);

using kTransportMaker = std::unique_ptr<kIOHandler> (*)(const kConnection& aConnection, const std::string& aDirectory,
                                                        const std::string& aFileName);

// The constructor function of a connection type; throws kException for a type that names
// no transport.
kTransportMaker TransportMaker(vnConnectionType aType);

std::unique_ptr<kIOHandler> NewIOHandler_TCP(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_HTTP(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Serial(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Com(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_OPOS(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Spool(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Dll(const kConnection&, const std::string&, const std::string&);

}  // namespace fp
