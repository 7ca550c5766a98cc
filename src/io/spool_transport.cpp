#include "io/spool_transport.h"

#include <cmath>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "io/code_page.h"
#include "io/connection.h"
#include "io/transport_factory.h"

namespace fp {

namespace {
const char kRawDocumentName[] = "BRV Receipt";
const char kPageJobTitle[] = "Tillora Spool Output";
}  // namespace

kPagePlacement PlaceImage(const kPrinterPage& aPage, int32_t aImageWidth, int32_t aImageHeight) {
  kPagePlacement out;
  if (aImageWidth <= 0 || aImageHeight <= 0) return out;
  double scale = static_cast<double>(aPage.DpiX) / 300.0;
  if (aImageWidth * scale > aPage.PrintableWidth) scale = static_cast<double>(aPage.PrintableWidth) / aImageWidth;
  if (aImageHeight * scale > aPage.PrintableHeight) scale = static_cast<double>(aPage.PrintableHeight) / aImageHeight;
  out.Width = static_cast<int32_t>(std::trunc(aImageWidth * scale));
  out.Height = static_cast<int32_t>(std::trunc(aImageHeight * scale));
  out.Left = (aPage.PrintableWidth - out.Width) / 2 + aPage.OffsetX;
  out.Top = (aPage.PrintableHeight - out.Height) / 2 + aPage.OffsetY;
  out.Stretched = scale != 1.0;
  return out;
}

std::unique_ptr<kIOHandler> NewIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory,
                                               const std::string& aFileName) {
  return std::make_unique<kIOHandler_Spool>(aConnection, aDirectory, aFileName);
}

kIOHandler_Spool::kIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory,
                                   const std::string& aFileName)
    : kIOHandler_Spool(aConnection, aDirectory, aFileName, CreateSpooler()) {}

kIOHandler_Spool::kIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory,
                                   const std::string& aFileName, std::unique_ptr<kSpooler> aSpooler)
    : kIOHandler(&aConnection, aDirectory, aFileName), PrinterName(aConnection.PrinterName), fSpooler(std::move(aSpooler)) {}

bool kIOHandler_Spool::Write(const std::string& aMessage) {
  if (OutputType == vnSpoolOutputType::Raw)
    return WriteRaw(EightBitText(aMessage, CodePage() > 0 ? CodePage() : AnsiCodePage()));
  return WriteNormal();
}

bool kIOHandler_Spool::WriteBytes(const std::vector<uint8_t>& aBytes) {
  return WriteRaw(std::string(aBytes.begin(), aBytes.end()));
}

bool kIOHandler_Spool::WriteRaw(const std::string& aData) {
  std::string error;
  if (fSpooler->WriteRaw(PrinterName, kRawDocumentName, aData, error)) return true;
  // Recorded as found, so that the device reports the failed print instead of success.
  SetCustomError(-1, error);
  return false;
}

bool kIOHandler_Spool::WriteNormal() {
  std::string printer;
  for (const std::string& name : fSpooler->InstalledPrinters())
    if (SameText(name, PrinterName)) {
      printer = name;
      break;
    }
  if (printer.empty()) throw kException("kIOHandler_Spool.WriteNormal: Printer " + PrinterName + " not found");
  if (Bitmap == nullptr || Bitmap->Width <= 0 || Bitmap->Height <= 0) {
    SetCustomError(-1, "kIOHandler_Spool.WriteNormal: no image to print");
    return false;
  }
  const kPrinterPage page = fSpooler->PageOf(printer);
  fSpooler->PrintImage(printer, kPageJobTitle, *Bitmap, PlaceImage(page, Bitmap->Width, Bitmap->Height));
  return true;
}

std::string kIOHandler_Spool::ReadAll() { throw kException("ReadAll Unsupported"); }

bool kIOHandler_Spool::InputBufferContainsData() { throw kException("InputBufferContainsData Unsupported"); }

}  // namespace fp
