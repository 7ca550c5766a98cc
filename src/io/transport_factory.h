// One constructor function per connection type, so CreateIOHandler stays a plain switch
// and each transport plugs in where it is defined.
#pragma once

#include <memory>
#include <string>

namespace fp {

class kConnection;
class kIOHandler;

using kTransportMaker = std::unique_ptr<kIOHandler> (*)(const kConnection& aConnection, const std::string& aDirectory,
                                                        const std::string& aFileName);

std::unique_ptr<kIOHandler> NewIOHandler_TCP(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_HTTP(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Serial(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Com(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_OPOS(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Spool(const kConnection&, const std::string&, const std::string&);
std::unique_ptr<kIOHandler> NewIOHandler_Dll(const kConnection&, const std::string&, const std::string&);

}  // namespace fp
