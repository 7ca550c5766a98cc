// The print spooler as the spooler transport sees it: raw printer data sent as a one-page
// document, the list of installed printers, a printer's page geometry and printing an
// image as a page. A platform with a print spooler implements kSpooler and returns it from
// CreateSpooler (spool_printer_*.cpp); tests hand the transport a fake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fp {

// An image to print: 8-bit grey levels (0 black, 255 white), row by row, Width × Height.
struct kSpoolBitmap {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;
};

// A printer's page in device pixels.
struct kPrinterPage {
  int32_t DpiX = 300;            // horizontal resolution, dots per inch
  int32_t PrintableWidth = 0;    // width of the printable area
  int32_t PrintableHeight = 0;   // height of the printable area
  int32_t OffsetX = 0;           // physical offset of the printable area from the sheet's edge
  int32_t OffsetY = 0;
};

// Where an image lands on a page.
struct kPagePlacement {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Stretched = false;  // drawn scaled to Width × Height rather than pixel for pixel
};

// Scales the image by DpiX / 300 (an image made for 300 dpi keeps its size on paper),
// shrinks it to the printable width and then to the printable height, and centres it on
// the printable area shifted by the physical offsets.
kPagePlacement PlaceImage(const kPrinterPage& aPage, int32_t aImageWidth, int32_t aImageHeight);

class kSpooler {
 public:
  virtual ~kSpooler() = default;
  // Opens the printer, starts a one-page document named aDocName with the data type RAW,
  // writes aData as printer data, ends page and document and closes the printer. False,
  // with the system's reason in aError, when the data was not written.
  virtual bool WriteRaw(const std::string& aPrinterName, const std::string& aDocName, const std::string& aData,
                        std::string& aError) = 0;
  // The names of the installed printers.
  virtual std::vector<std::string> InstalledPrinters() = 0;
  // The page of an installed printer.
  virtual kPrinterPage PageOf(const std::string& aPrinterName) = 0;
  // Prints aImage as one page of a job titled aTitle at aPlacement.
  virtual void PrintImage(const std::string& aPrinterName, const std::string& aTitle, const kSpoolBitmap& aImage,
                          const kPagePlacement& aPlacement) = 0;
};

// The platform's spooler.
std::unique_ptr<kSpooler> CreateSpooler();

}  // namespace fp
