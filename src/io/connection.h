// The connection record of a device: which transport reaches it and that transport's
// settings. The device section of a request fills it; the transport factory and the
// transports read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fp {

// Which transport the factory builds. The ordinals are what the transports and the
// converters switch on.
enum class vnConnectionType : int32_t { OPOS = 0, TCP = 1, HTTP = 2, Serial = 3, DLL = 4, Com = 5, Spool = 6 };

enum class vnParity : int32_t { None = 0, Even = 1, Odd = 2 };

enum vnHTTPAuthType : int32_t { at_None = 0, at_Basic = 1, at_Digest = 2, at_Bearer = 3 };

// The connection record. Timeouts are milliseconds; their setters ignore values of 0 or
// less, so a missing or zero element in a request keeps the value held before.
class kConnection {
 public:
  vnConnectionType ConnectionType = vnConnectionType::OPOS;
  std::string Address;
  int32_t Port = 0;  // the TCP transport uses its low 16 bits
  std::string URL;
  vnHTTPAuthType AuthType = at_None;
  std::string User;
  std::string Password;
  std::string SerialPort;  // COMn
  int32_t Speed = 0;
  int32_t DataBits = 0;
  vnParity Parity = vnParity::None;
  int32_t StopBits = 0;
  std::string DeviceName;  // OPOS logical device name
  std::string LibraryName;
  std::string PrinterName;

  int32_t ConnectTimeOut() const { return fConnectTimeOut; }
  int32_t ReadTimeOut() const { return fReadTimeOut; }
  void SetConnectTimeOut(int32_t aValue);
  void SetReadTimeOut(int32_t aValue);

  // Text to enumeration, case-insensitive. An unknown connection type or parity throws
  // kException quoting the text as given; an unknown authentication type is at_None.
  static vnConnectionType ConvertConnectionType(std::string_view aString);
  static vnParity ConvertParity(std::string_view aString);
  static vnHTTPAuthType ConvertAuthType(std::string_view aString);
  // Enumeration to text, as upper-case words ("HTTP", "EVEN", "DIGEST").
  static std::string ConnectionTypeToString(vnConnectionType aValue);
  static std::string ParityToString(vnParity aValue);
  static std::string AuthTypeToString(vnHTTPAuthType aValue);

 private:
  int32_t fConnectTimeOut = 1000;
  int32_t fReadTimeOut = 1000;
};

}  // namespace fp
