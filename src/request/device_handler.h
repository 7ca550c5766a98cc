// The device section of a request: which model driver serves it, which opened device it
// addresses, how the device is reached (kConnection) and a free list of name=value
// parameters. kDeviceHandler reads it from the request, answers parameter queries for the
// rest of the system, writes it back as XML and builds the transport of a new device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace fp {

class kIOHandler;

// Which transport CreateIOHandler builds. The ordinals are what the transports and the
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

class kDeviceHandler {
 public:
  kDeviceHandler();
  virtual ~kDeviceHandler();
  kDeviceHandler(const kDeviceHandler&) = delete;
  kDeviceHandler& operator=(const kDeviceHandler&) = delete;

  std::string Type;    // carried and written back, not interpreted
  std::string Driver;  // registered model driver; first part of the log file name
  std::string Method;  // the requested operation
  kConnection Connection;
  int32_t DeviceHandle = 0;
  // Entries "name=value" in request order; duplicates are kept, lookups find the first.
  std::vector<std::string> Parameters;
  std::string LogId;  // second part of the log file name

  // Parses the request (ParseRequest) and fills the fields from its root element. Returns
  // the parsed document so the request documents can be read from the same tree. Throws
  // kException with the parser's message for text that is not well-formed XML, and with the
  // reader and converter messages for bad values (fields read before the failure keep them).
  std::unique_ptr<pugi::xml_document> Deserialize(const std::string& aXml);
  // Fills the fields from the root element of a parsed request, with the same failures.
  void Deserialize(const pugi::xml_document& aDoc);

  // The value of the first parameter named aName (any letter case); empty when absent.
  std::string GetParameter(std::string_view aName) const;
  // Whether such a parameter exists, also with an empty value.
  bool ParameterExists(std::string_view aName) const;
  // A non-empty value replaces the first entry's value or appends aName=aValue; an empty
  // value removes the first entry of that name. The name is stored as given.
  void SetParameter(std::string_view aName, std::string_view aValue);

  // The configuration as an XML text with its declaration.
  std::string Serialize() const;

  // The log file name of the device: Driver + "_" + LogId, with path separators and
  // control characters replaced by "_". A name longer than 120 bytes keeps its first
  // characters and ends with "_" and 16 hexadecimal digits of a digest of the whole name,
  // 120 bytes in all: short enough for any file system, different for different names.
  std::string LogFileName() const;

  // A new transport for the connection, logging to aLogDir; the caller owns it.
  std::unique_ptr<kIOHandler> CreateIOHandler(const std::string& aLogDir) const;

 private:
  // Index of the first parameter named aName, or -1.
  long FindParameter(std::string_view aName) const;
};

}  // namespace fp
