#include "config.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

namespace fpd {

namespace {

using json = nlohmann::ordered_json;

[[noreturn]] void Fail(const std::string& aWhere, const std::string& aWhat) {
  throw kConfigError(aWhere + ": " + aWhat);
}

// The keys an object may carry; any other is a mistake worth stopping for.
void OnlyKeys(const json& aObject, const std::string& aWhere, std::initializer_list<const char*> aKeys) {
  if (!aObject.is_object()) Fail(aWhere, "must be an object");
  for (const auto& item : aObject.items())
    if (std::none_of(aKeys.begin(), aKeys.end(), [&](const char* k) { return item.key() == k; }))
      Fail(aWhere.empty() ? item.key() : aWhere + "." + item.key(), "unknown setting");
}

std::string Text(const json& aValue, const std::string& aWhere) {
  if (!aValue.is_string()) Fail(aWhere, "must be a text");
  return aValue.get<std::string>();
}

long long Number(const json& aValue, const std::string& aWhere, long long aMin, long long aMax) {
  if (!aValue.is_number_integer()) Fail(aWhere, "must be a whole number");
  const long long v = aValue.get<long long>();
  if (v < aMin || v > aMax)
    Fail(aWhere, "must be between " + std::to_string(aMin) + " and " + std::to_string(aMax));
  return v;
}

// A value that becomes an element's text: texts as they are, numbers in decimal, Booleans
// as "true"/"false" (the library's Boolean parameters compare with "true").
std::string ElementValue(const json& aValue, const std::string& aWhere) {
  if (aValue.is_string()) return aValue.get<std::string>();
  if (aValue.is_number_integer()) return std::to_string(aValue.get<long long>());
  if (aValue.is_boolean()) return aValue.get<bool>() ? "true" : "false";
  Fail(aWhere, "must be a text, a whole number or true/false");
}

bool IsXmlName(const std::string& aName) {
  if (aName.empty() || aName.size() > 64) return false;
  if (!std::isalpha(static_cast<unsigned char>(aName[0])) && aName[0] != '_') return false;
  return std::all_of(aName.begin(), aName.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
}

// "http://host[:port]" or "https://host[:port]", as a browser sends it in Origin.
bool IsOrigin(const std::string& aOrigin) {
  size_t start = 0;
  if (aOrigin.rfind("http://", 0) == 0) start = 7;
  else if (aOrigin.rfind("https://", 0) == 0) start = 8;
  else return false;
  if (aOrigin.size() == start || aOrigin.size() > 255) return false;
  return std::all_of(aOrigin.begin() + static_cast<long>(start), aOrigin.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
  });
}

const std::set<std::string> kConnectionElements{
    "Type",    "ConnectTimeout", "ReadTimeout", "DeviceName", "Address",  "Port",        "URL",        "AuthType",
    "User",    "Password",       "SerialPort",  "Speed",      "DataBits", "Parity",      "StopBits",   "LibraryName",
    "PrinterName"};

kPrinterConfig ReadPrinter(const json& aValue, const std::string& aWhere) {
  OnlyKeys(aValue, aWhere, {"name", "driver", "connection", "parameters", "queue_limit"});
  kPrinterConfig printer;
  if (!aValue.contains("name")) Fail(aWhere + ".name", "missing");
  printer.fName = Text(aValue["name"], aWhere + ".name");
  if (!IsPlainName(printer.fName)) Fail(aWhere + ".name", "1 to 64 letters, digits, \"-\" or \"_\"");
  if (aValue.contains("driver")) printer.fDriver = Text(aValue["driver"], aWhere + ".driver");
  if (printer.fDriver.empty()) Fail(aWhere + ".driver", "must not be empty");
  if (!aValue.contains("connection")) Fail(aWhere + ".connection", "missing");
  const json& connection = aValue["connection"];
  if (!connection.is_object()) Fail(aWhere + ".connection", "must be an object");
  for (const auto& item : connection.items()) {
    const std::string where = aWhere + ".connection." + item.key();
    if (!kConnectionElements.count(item.key())) Fail(where, "not a connection setting");
    printer.fConnection.emplace_back(item.key(), ElementValue(item.value(), where));
  }
  if (!connection.contains("Type")) Fail(aWhere + ".connection.Type", "missing");
  if (aValue.contains("parameters")) {
    const json& parameters = aValue["parameters"];
    if (!parameters.is_object()) Fail(aWhere + ".parameters", "must be an object");
    for (const auto& item : parameters.items()) {
      const std::string where = aWhere + ".parameters." + item.key();
      if (!IsXmlName(item.key())) Fail(where, "not usable as an element name");
      printer.fParameters.emplace_back(item.key(), ElementValue(item.value(), where));
    }
  }
  if (aValue.contains("queue_limit"))
    printer.fQueueLimit = static_cast<size_t>(Number(aValue["queue_limit"], aWhere + ".queue_limit", 1, 10000));
  return printer;
}

}  // namespace

bool IsPlainName(const std::string& aName) {
  if (aName.empty() || aName.size() > 64) return false;
  return std::all_of(aName.begin(), aName.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; });
}

kServiceConfig ParseConfig(const std::string& aJsonText) {
  json root;
  try {
    root = json::parse(aJsonText);
  } catch (const json::parse_error& e) {
    throw kConfigError(std::string("not valid JSON: ") + e.what());
  }
  OnlyKeys(root, "", {"listen", "tls", "library", "application_folder", "queue_limit", "queue_wait_ms",
                      "max_body_bytes", "reopen", "status_interval_ms", "tills", "allowed_origins", "printers"});
  kServiceConfig config;
  if (root.contains("listen")) {
    const json& listen = root["listen"];
    OnlyKeys(listen, "listen", {"address", "port"});
    if (listen.contains("address")) config.fListenAddress = Text(listen["address"], "listen.address");
    if (listen.contains("port")) config.fPort = static_cast<uint16_t>(Number(listen["port"], "listen.port", 0, 65535));
  }
  if (root.contains("tls")) {
    const json& tls = root["tls"];
    OnlyKeys(tls, "tls", {"certificate", "key"});
    if (!tls.contains("certificate") || !tls.contains("key")) Fail("tls", "needs both certificate and key");
    config.fTls = kTlsConfig{Text(tls["certificate"], "tls.certificate"), Text(tls["key"], "tls.key")};
  }
  if (root.contains("library")) config.fLibrary = Text(root["library"], "library");
  if (root.contains("application_folder"))
    config.fApplicationFolder = Text(root["application_folder"], "application_folder");
  if (root.contains("queue_limit"))
    config.fQueueLimit = static_cast<size_t>(Number(root["queue_limit"], "queue_limit", 1, 10000));
  if (root.contains("queue_wait_ms"))
    config.fQueueWaitMs = static_cast<int>(Number(root["queue_wait_ms"], "queue_wait_ms", 1, 3600000));
  if (root.contains("max_body_bytes"))
    config.fMaxBodyBytes = static_cast<size_t>(Number(root["max_body_bytes"], "max_body_bytes", 1024, 16 * 1024 * 1024));
  if (root.contains("reopen")) {
    const json& reopen = root["reopen"];
    OnlyKeys(reopen, "reopen", {"first_ms", "max_ms"});
    if (reopen.contains("first_ms"))
      config.fReopenFirstMs = static_cast<int>(Number(reopen["first_ms"], "reopen.first_ms", 1, 600000));
    if (reopen.contains("max_ms"))
      config.fReopenMaxMs = static_cast<int>(Number(reopen["max_ms"], "reopen.max_ms", 1, 600000));
    if (config.fReopenMaxMs < config.fReopenFirstMs) Fail("reopen.max_ms", "must not be less than reopen.first_ms");
  }
  if (root.contains("status_interval_ms"))
    config.fStatusIntervalMs = static_cast<int>(Number(root["status_interval_ms"], "status_interval_ms", 0, 86400000));

  if (!root.contains("tills") || !root["tills"].is_array() || root["tills"].empty())
    Fail("tills", "needs at least one till with a token");
  std::set<std::string> names, tokens;
  for (size_t i = 0; i < root["tills"].size(); ++i) {
    const std::string where = "tills[" + std::to_string(i) + "]";
    const json& till = root["tills"][i];
    OnlyKeys(till, where, {"name", "token"});
    if (!till.contains("name") || !till.contains("token")) Fail(where, "needs a name and a token");
    kTillConfig t{Text(till["name"], where + ".name"), Text(till["token"], where + ".token")};
    if (!IsPlainName(t.fName)) Fail(where + ".name", "1 to 64 letters, digits, \"-\" or \"_\"");
    // A bearer token travels in a header: visible ASCII only, and long enough not to be guessed.
    if (t.fToken.size() < 16 || t.fToken.size() > 256 ||
        !std::all_of(t.fToken.begin(), t.fToken.end(), [](char c) { return c > ' ' && c < 127; }))
      Fail(where + ".token", "16 to 256 visible ASCII characters");
    if (!names.insert(t.fName).second) Fail(where + ".name", "used twice");
    if (!tokens.insert(t.fToken).second) Fail(where + ".token", "used twice");
    config.fTills.push_back(std::move(t));
  }
  if (root.contains("allowed_origins")) {
    const json& origins = root["allowed_origins"];
    if (!origins.is_array()) Fail("allowed_origins", "must be a list");
    for (size_t i = 0; i < origins.size(); ++i) {
      const std::string where = "allowed_origins[" + std::to_string(i) + "]";
      std::string origin = Text(origins[i], where);
      if (!IsOrigin(origin)) Fail(where, "an origin is scheme://host[:port], without path or \"*\"");
      config.fAllowedOrigins.push_back(std::move(origin));
    }
  }
  if (!root.contains("printers") || !root["printers"].is_array() || root["printers"].empty())
    Fail("printers", "needs at least one printer");
  std::set<std::string> printers;
  for (size_t i = 0; i < root["printers"].size(); ++i) {
    const std::string where = "printers[" + std::to_string(i) + "]";
    kPrinterConfig printer = ReadPrinter(root["printers"][i], where);
    if (!printers.insert(printer.fName).second) Fail(where + ".name", "used twice");
    if (printer.fQueueLimit == 0) printer.fQueueLimit = config.fQueueLimit;
    config.fPrinters.push_back(std::move(printer));
  }
  return config;
}

kServiceConfig LoadConfig(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  if (!in) throw kConfigError(aPath + ": cannot be read");
  // A configuration is small; a file far larger is not one.
  std::string text;
  text.reserve(4096);
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (text.size() > 1024 * 1024) throw kConfigError(aPath + ": larger than 1 MiB");
  }
  try {
    return ParseConfig(text);
  } catch (const kConfigError& e) {
    throw kConfigError(aPath + ": " + e.what());
  }
}

}  // namespace fpd
