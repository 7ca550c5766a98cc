// fpd's configuration: one JSON file, read once at start.
//
//   {
//     "listen": {"address": "127.0.0.1", "port": 8765},
//     "tls": {"certificate": "/etc/fpd/cert.pem", "key": "/etc/fpd/key.pem"},
//     "library": "libfpdriver.so.1",
//     "application_folder": "/var/lib/fpd",
//     "queue_limit": 16, "queue_wait_ms": 60000, "max_body_bytes": 1048576,
//     "reopen": {"first_ms": 250, "max_ms": 10000}, "status_interval_ms": 30000,
//     "tills": [{"name": "till-1", "token": "..."}],
//     "allowed_origins": ["https://till.example.com"],
//     "printers": [{"name": "front", "driver": "VNRP_TARVOLX40FPETH_10",
//                   "connection": {"Type": "HTTP", "URL": "http://192.168.1.50/"},
//                   "parameters": {"GetReceiptText": "true"}, "queue_limit": 8}]
//   }
//
// Unknown keys are refused, so a misspelt setting never silently falls back to a default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fpd {

// A configuration that cannot be used; the message names the setting ("printers[0].name: ...").
class kConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using vnNamedTexts = std::vector<std::pair<std::string, std::string>>;

struct kPrinterConfig {
  std::string fName;  // letters, digits, "-", "_"; the path segment and the device's LogId
  std::string fDriver = "VNRP_TARVOLX40FPETH_10";
  vnNamedTexts fConnection;  // children of <Connection>, in file order
  vnNamedTexts fParameters;  // children of <Parameters>, sent with every call
  size_t fQueueLimit = 0;    // 0: the service's queue_limit
};

struct kTillConfig {
  std::string fName;
  std::string fToken;
};

struct kTlsConfig {
  std::string fCertificateFile;
  std::string fKeyFile;
};

struct kServiceConfig {
  std::string fListenAddress = "127.0.0.1";
  uint16_t fPort = 8765;
  std::optional<kTlsConfig> fTls;
  std::string fLibrary;            // empty: beside the program, else the loader's search path
  std::string fApplicationFolder;  // empty: the library's own default (FPDRIVER_APP_DIR, else fpd's folder)
  size_t fQueueLimit = 16;
  int fQueueWaitMs = 60000;
  size_t fMaxBodyBytes = 1024 * 1024;
  int fReopenFirstMs = 250;
  int fReopenMaxMs = 10000;
  int fStatusIntervalMs = 30000;  // 0: no status checks while idle
  std::vector<kTillConfig> fTills;
  std::vector<std::string> fAllowedOrigins;
  std::vector<kPrinterConfig> fPrinters;
};

// Throws kConfigError.
kServiceConfig ParseConfig(const std::string& aJsonText);
kServiceConfig LoadConfig(const std::string& aPath);

// A name usable as a path segment and log name: 1 to 64 letters, digits, "-" or "_".
bool IsPlainName(const std::string& aName);

}  // namespace fpd
