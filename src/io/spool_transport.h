// kIOHandler_Spool: sends a document to a printer through the print spooler, either the
// text as raw printer data or an image printed as a page. Stateless between writes: every
// write opens and closes the printer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/io_handler.h"
#include "io/spool_printer.h"

namespace fp {

enum class vnSpoolOutputType : int32_t { Raw = 0, Normal = 1 };

class kIOHandler_Spool : public kIOHandler {
 public:
  // With the platform's spooler.
  kIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  // With the given spooler (tests).
  kIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName,
                   std::unique_ptr<kSpooler> aSpooler);

  std::string PrinterName;
  vnSpoolOutputType OutputType = vnSpoolOutputType::Normal;
  // The image a Normal write prints; not owned, set by the user of the transport.
  const kSpoolBitmap* Bitmap = nullptr;

  bool GetConnected() override { return true; }
  bool Connect() override { return kIOHandler::Connect(); }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  // Raw: aMessage in 8 bits (CodePage, or the ANSI code page when CodePage is 0 or less)
  // as printer data. Normal: aMessage is not used; Bitmap is printed as a page.
  // A write that fails records the reason as the custom error and answers false; a
  // Normal write to a printer that is not installed raises
  // "kIOHandler_Spool.WriteNormal: Printer <name> not found".
  bool Write(const std::string& aMessage) override;
  // As a raw Write, with the bytes sent as they are.
  bool WriteBytes(const std::vector<uint8_t>& aBytes);
  std::string ReadUpTo(const std::vector<uint8_t>&) override { return {}; }
  std::string ReadChars(int32_t) override { return {}; }
  std::string ReadAll() override;           // "ReadAll Unsupported"
  bool InputBufferContainsData() override;  // "InputBufferContainsData Unsupported"
  std::string DecodeError(int32_t) override { return {}; }
  void SetParameter(const std::string&, const std::string&) override {}
  std::string ClassName() const override { return "kIOHandler_Spool"; }

 private:
  bool WriteRaw(const std::string& aData);
  bool WriteNormal();

  std::unique_ptr<kSpooler> fSpooler;
};

}  // namespace fp
