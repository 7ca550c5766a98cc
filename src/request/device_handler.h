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

#include "io/connection.h"

namespace fp {

class kIOHandler;

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
