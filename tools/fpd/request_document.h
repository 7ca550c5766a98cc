// What travels between a till and the library: the request fpd builds around the till's
// document, and the result turned into JSON for tills that ask for it.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "config.h"

namespace pugi {
class xml_document;
}

namespace fpd {

// A till's request that fpd refuses before it reaches the library (HTTP 400).
class kRequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The exports a till may call: all but OPEN, CLOSE and VERSION, which belong to fpd.
bool IsTillExport(const std::string& aName);

// An Idempotency-Key fpd accepts: 1 to 64 letters, digits, "-", "_", ".", ":".
bool IsIdempotencyKey(const std::string& aKey);

// A request for one printer, built from the till's body: the device section (driver, LogId,
// connection, the printer's parameters) comes from the configuration, the handle is set when
// the call runs.
class kPreparedRequest {
 public:
  // aBody holds the export's elements (<Receipt>...</Receipt>, <Parameters>...; empty for
  // exports that take none). With aIdempotencyKey, a receipt without ExternalReference gets
  // the key as its ExternalReference. Throws kRequestError.
  kPreparedRequest(const kPrinterConfig& aPrinter, const std::string& aExport, const std::string& aBody,
                   const std::string& aIdempotencyKey);
  ~kPreparedRequest();
  kPreparedRequest(kPreparedRequest&&) noexcept;

  // The whole request for the device with aHandle.
  std::string Text(int aHandle) const;

 private:
  std::unique_ptr<pugi::xml_document> fDocument;
};

// The OPEN request of a printer: a new device, or with aHandle > 0 that device opened again.
std::string OpenRequest(const kPrinterConfig& aPrinter, int aHandle);
// A request without a document for the open device aHandle (GETSTATUS, CLOSE).
std::string HandleRequest(const kPrinterConfig& aPrinter, int aHandle);

// A result fragment as one JSON object with the fragment's element names: a leaf's value is
// its text as written; an element holding elements of one name (Text's Line, VATTable's VAT)
// becomes a list, one holding differently named elements an object. Text, VATTable and
// DeptTable are lists even when empty.
std::string ResultToJson(const std::string& aFragment);

// The text of the first element aName of a result fragment, entities resolved; empty when
// there is none.
std::string ResultElement(const std::string& aFragment, const std::string& aName);

// Whether aText is well-formed UTF-8.
bool IsUtf8(const std::string& aText);

}  // namespace fpd
