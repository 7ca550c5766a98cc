#include "io/connection.h"

#include "base/errors.h"
#include "base/text.h"

namespace fp {

void kConnection::SetConnectTimeOut(int32_t aValue) {
  if (aValue > 0) fConnectTimeOut = aValue;
}

void kConnection::SetReadTimeOut(int32_t aValue) {
  if (aValue > 0) fReadTimeOut = aValue;
}

vnConnectionType kConnection::ConvertConnectionType(std::string_view aString) {
  const std::string s = LowerCase(aString);
  if (s == "serial") return vnConnectionType::Serial;
  if (s == "http") return vnConnectionType::HTTP;
  if (s == "tcp") return vnConnectionType::TCP;
  if (s == "opos") return vnConnectionType::OPOS;
  if (s == "dll") return vnConnectionType::DLL;
  if (s == "com") return vnConnectionType::Com;
  if (s == "spool") return vnConnectionType::Spool;
  throw kException("Connection Type " + std::string(aString) + " is not valid");
}

vnParity kConnection::ConvertParity(std::string_view aString) {
  const std::string s = LowerCase(aString);
  if (s == "none") return vnParity::None;
  if (s == "odd") return vnParity::Odd;
  if (s == "even") return vnParity::Even;
  throw kException("Connection Parity " + std::string(aString) + " is not valid");
}

vnHTTPAuthType kConnection::ConvertAuthType(std::string_view aString) {
  const std::string s = LowerCase(aString);
  if (s == "basic") return at_Basic;
  if (s == "digest") return at_Digest;
  if (s == "bearer") return at_Bearer;
  return at_None;
}

std::string kConnection::ConnectionTypeToString(vnConnectionType aValue) {
  switch (aValue) {
    case vnConnectionType::OPOS: return "OPOS";
    case vnConnectionType::TCP: return "TCP";
    case vnConnectionType::HTTP: return "HTTP";
    case vnConnectionType::Serial: return "SERIAL";
    case vnConnectionType::DLL: return "DLL";
    case vnConnectionType::Com: return "COM";
    case vnConnectionType::Spool: return "SPOOL";
  }
  return {};
}

std::string kConnection::ParityToString(vnParity aValue) {
  switch (aValue) {
    case vnParity::None: return "NONE";
    case vnParity::Even: return "EVEN";
    case vnParity::Odd: return "ODD";
  }
  return {};
}

std::string kConnection::AuthTypeToString(vnHTTPAuthType aValue) {
  switch (aValue) {
    case at_None: return "NONE";
    case at_Basic: return "BASIC";
    case at_Digest: return "DIGEST";
    case at_Bearer: return "BEARER";
  }
  return {};
}

}  // namespace fp
