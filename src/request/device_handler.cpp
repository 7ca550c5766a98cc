#include "request/device_handler.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "base/errors.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "io/io_handler.h"
#include "io/transport_factory.h"
#include "request/request_parser.h"

namespace fp {

// ---- kDeviceHandler ----

kDeviceHandler::kDeviceHandler() = default;
kDeviceHandler::~kDeviceHandler() = default;

namespace {

using R = krptUtil;

void ReadConnection(pugi::xml_node aNode, kConnection& aConnection) {
  aConnection.ConnectionType = kConnection::ConvertConnectionType(R::GetNodeValueAsString(aNode, "Type"));
  aConnection.SetConnectTimeOut(R::GetNodeValueAsInteger(aNode, "ConnectTimeout"));
  aConnection.SetReadTimeOut(R::GetNodeValueAsInteger(aNode, "ReadTimeout"));

  const vnConnectionType t = aConnection.ConnectionType;
  const bool network = t == vnConnectionType::TCP || t == vnConnectionType::HTTP;
  const bool serial = t == vnConnectionType::Serial;
  if (t == vnConnectionType::OPOS) aConnection.DeviceName = R::GetNodeValueAsString(aNode, "DeviceName");
  if (network) {
    aConnection.Address = R::GetNodeValueAsString(aNode, "Address");
    aConnection.Port = R::GetNodeValueAsInteger(aNode, "Port");
  }
  if (network || serial) {
    aConnection.URL = R::GetNodeValueAsString(aNode, "URL");
    aConnection.AuthType = kConnection::ConvertAuthType(R::GetNodeValueAsString(aNode, "AuthType"));
    aConnection.User = R::GetNodeValueAsString(aNode, "User");
    aConnection.Password = R::GetNodeValueAsString(aNode, "Password");
  }
  if (serial) {
    aConnection.SerialPort = R::GetNodeValueAsString(aNode, "SerialPort");
    aConnection.Speed = R::GetNodeValueAsInteger(aNode, "Speed");
    aConnection.DataBits = R::GetNodeValueAsInteger(aNode, "DataBits");
    aConnection.Parity = kConnection::ConvertParity(R::GetNodeValueAsString(aNode, "Parity"));
    aConnection.StopBits = R::GetNodeValueAsInteger(aNode, "StopBits");
  }
  if (t == vnConnectionType::DLL) aConnection.LibraryName = R::GetNodeValueAsString(aNode, "LibraryName");
  if (t == vnConnectionType::Spool) aConnection.PrinterName = R::GetNodeValueAsString(aNode, "PrinterName");
}

}  // namespace

std::unique_ptr<pugi::xml_document> kDeviceHandler::Deserialize(const std::string& aXml) {
  std::unique_ptr<pugi::xml_document> doc = ParseRequest(aXml);
  Deserialize(*doc);
  return doc;
}

void kDeviceHandler::Deserialize(const pugi::xml_document& aDoc) {
  const pugi::xml_node root = aDoc.document_element();

  Type = R::GetNodeValueAsString(root, "Type");
  Driver = R::GetNodeValueAsString(root, "Driver");
  Method = R::GetNodeValueAsString(root, "Method");
  DeviceHandle = R::GetNodeValueAsInteger(root, "Handle");
  LogId = R::GetNodeValueAsString(root, "LogId");

  if (pugi::xml_node connection = root.child("Connection")) ReadConnection(connection, Connection);

  if (pugi::xml_node params = root.child("Parameters")) {
    // The value is that of the first element of this name, so repeated names repeat it.
    // Kept as the children go by: looking the first one up for every entry would make a
    // long list cost the square of its length.
    std::unordered_map<std::string, std::string> firstValues;
    for (pugi::xml_node child : params.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string name = child.name();
      auto first = firstValues.find(name);
      if (first == firstValues.end()) first = firstValues.emplace(name, R::GetNodeValueAsString(params, name)).first;
      Parameters.push_back(LowerCase(name) + "=" + first->second);
    }
  }

  if (ParameterExists("DeviceName")) Connection.DeviceName = GetParameter("DeviceName");
  if (ParameterExists("ConnectTimeout")) {
    const std::string value = GetParameter("ConnectTimeout");
    const std::optional<int32_t> timeout = ParseXmlInteger(value);
    if (!timeout) throw kException("'" + value + "' is not a valid integer value");
    Connection.SetConnectTimeOut(*timeout);
  }
}

long kDeviceHandler::FindParameter(std::string_view aName) const {
  for (size_t i = 0; i < Parameters.size(); ++i) {
    const std::string& entry = Parameters[i];
    const size_t eq = entry.find('=');
    const std::string_view name = std::string_view(entry).substr(0, eq);
    if (SameText(name, aName)) return static_cast<long>(i);
  }
  return -1;
}

std::string kDeviceHandler::GetParameter(std::string_view aName) const {
  const long i = FindParameter(aName);
  if (i < 0) return {};
  const std::string& entry = Parameters[static_cast<size_t>(i)];
  const size_t eq = entry.find('=');
  return eq == std::string::npos ? std::string() : entry.substr(eq + 1);
}

bool kDeviceHandler::ParameterExists(std::string_view aName) const { return FindParameter(aName) >= 0; }

void kDeviceHandler::SetParameter(std::string_view aName, std::string_view aValue) {
  const long i = FindParameter(aName);
  if (aValue.empty()) {
    if (i >= 0) Parameters.erase(Parameters.begin() + i);
    return;
  }
  if (i >= 0) {
    std::string& entry = Parameters[static_cast<size_t>(i)];
    const size_t eq = entry.find('=');
    entry = (eq == std::string::npos ? entry : entry.substr(0, eq)) + "=" + std::string(aValue);
  } else {
    Parameters.push_back(std::string(aName) + "=" + std::string(aValue));
  }
}

std::string kDeviceHandler::Serialize() const {
  pugi::xml_document doc;
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "utf-8";
  pugi::xml_node root = doc.append_child("ReceiptPrinterManager");
  root.append_attribute("Version") = "1.0";
  auto add = [](pugi::xml_node aParent, const char* aName, const std::string& aValue) {
    aParent.append_child(aName).text().set(aValue.c_str());
  };
  add(root, "Type", Type);
  add(root, "Driver", Driver);
  add(root, "Method", Method);
  add(root, "LogId", LogId);
  if (LowerCase(Method) != "open") add(root, "Handle", std::to_string(DeviceHandle));

  const kConnection& c = Connection;
  pugi::xml_node conn = root.append_child("Connection");
  add(conn, "Type", kConnection::ConnectionTypeToString(c.ConnectionType));
  add(conn, "ConnectTimeout", std::to_string(c.ConnectTimeOut()));
  add(conn, "ReadTimeout", std::to_string(c.ReadTimeOut()));
  add(conn, "Address", c.Address);
  add(conn, "Port", std::to_string(c.Port));
  add(conn, "URL", c.URL);
  add(conn, "AuthType", kConnection::AuthTypeToString(c.AuthType));
  add(conn, "User", c.User);
  add(conn, "Password", c.Password);
  add(conn, "SerialPort", c.SerialPort);
  add(conn, "Speed", std::to_string(c.Speed));
  add(conn, "DataBits", std::to_string(c.DataBits));
  add(conn, "Parity", kConnection::ParityToString(c.Parity));
  add(conn, "StopBits", std::to_string(c.StopBits));
  add(conn, "DeviceName", c.DeviceName);
  add(conn, "LibraryName", c.LibraryName);
  add(conn, "PrinterName", c.PrinterName);

  pugi::xml_node params = root.append_child("Parameters");
  for (const std::string& entry : Parameters) {
    const size_t eq = entry.find('=');
    const std::string name = entry.substr(0, eq);
    add(params, name.c_str(), eq == std::string::npos ? std::string() : entry.substr(eq + 1));
  }

  std::ostringstream out;
  doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  return out.str();
}

namespace {

// Longest log name kept as it is, in bytes. The file gets "_yyyymmdd.log" and, once it
// rolls over, "_yyyymmddhhnnsszzz" more: 31 bytes, well inside the 255 a file name may
// have, with room to spare for the folder on systems that limit the whole path.
constexpr size_t kMaxLogNameBytes = 120;

// FNV-1a: a stable 64-bit digest, the same in every process and on every platform.
uint64_t NameDigest(std::string_view aText) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : aText) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::string kDeviceHandler::LogFileName() const {
  // Driver and LogId come from the request: a separator or control character in them must
  // not move the log out of its folder, so each such byte becomes "_".
  std::string name = Driver + "_" + LogId;
  for (char& ch : name) {
    if (ch == '/' || ch == '\\' || static_cast<unsigned char>(ch) < 0x20) ch = '_';
  }
  if (name.size() <= kMaxLogNameBytes) return name;
  // A name the file system cannot hold would leave the device without a log. The long
  // name keeps its beginning, cut between characters, and a digest of the whole name, so
  // two long names that differ anywhere still get files of their own.
  char digest[24];
  std::snprintf(digest, sizeof digest, "_%016llx", static_cast<unsigned long long>(NameDigest(name)));
  size_t keep = kMaxLogNameBytes - std::strlen(digest);
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return name.substr(0, keep) + digest;
}

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
  // A wrong connection type is the message, whatever else is wrong.
  TransportMaker(Connection.ConnectionType);
  kTransportLog log;
  log.Directory = aLogDir;
  log.FileName = fileName;
  log.MaxAgeDays = RetentionParameter(*this, "LogMaxAgeDays", tVN_LogWriter::kDefaultMaxAgeDays);
  log.MaxTotalMegabytes = RetentionParameter(
      *this, "LogMaxTotalMB", static_cast<int>(tVN_LogWriter::kDefaultMaxTotalBytes / (1024 * 1024)));
  log.HexLog = LowerCase(GetParameter("HexLog")) == "true";
  return CreateTransport(Connection, log);
}

}  // namespace fp
