// The Windows print spooler: raw jobs through winspool, pages through a printer device
// context.
#include <windows.h>

#include <winspool.h>

#include "base/errors.h"
#include "base/text.h"
#include "io/spool_printer.h"

namespace fp {

namespace {

std::wstring Wide(const std::string& aText) {
  std::u16string units = Utf8ToUtf16(aText);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* aText) {
  return aText == nullptr ? std::string() : Utf16ToUtf8(reinterpret_cast<const char16_t*>(aText));
}

// The system's text for an error code, with the code.
std::string SystemMessage(DWORD aCode) {
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, aCode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = Narrow(text);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) message.pop_back();
  return message + " (error " + std::to_string(aCode) + ")";
}

std::string CantOpen(const std::string& aPrinterName, DWORD aCode) {
  return "Printer " + aPrinterName + " can't be opened: " + SystemMessage(aCode);
}

class kSpooler_Windows : public kSpooler {
 public:
  bool WriteRaw(const std::string& aPrinterName, const std::string& aDocName, const std::string& aData,
                std::string& aError) override {
    std::wstring name = Wide(aPrinterName);
    HANDLE printer = nullptr;
    if (!::OpenPrinterW(name.data(), &printer, nullptr)) {
      aError = CantOpen(aPrinterName, ::GetLastError());
      return false;
    }
    std::wstring doc = Wide(aDocName);
    wchar_t dataType[] = L"RAW";
    DOC_INFO_1W info{doc.data(), nullptr, dataType};
    bool ok = false;
    if (::StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info)) != 0) {
      if (::StartPagePrinter(printer)) {
        DWORD written = 0;
        ok = ::WritePrinter(printer, const_cast<char*>(aData.data()), static_cast<DWORD>(aData.size()), &written) &&
             written == aData.size();
        if (!ok) aError = "Printer " + aPrinterName + " did not take the data: " + SystemMessage(::GetLastError());
        ::EndPagePrinter(printer);
      } else {
        aError = "Printer " + aPrinterName + " did not start the page: " + SystemMessage(::GetLastError());
      }
      ::EndDocPrinter(printer);
    } else {
      aError = "Printer " + aPrinterName + " did not start the document: " + SystemMessage(::GetLastError());
    }
    ::ClosePrinter(printer);
    return ok;
  }

  std::vector<std::string> InstalledPrinters() override {
    std::vector<std::string> names;
    DWORD needed = 0, count = 0;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    ::EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
    if (needed == 0) return names;
    std::vector<BYTE> buffer(needed);
    if (!::EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) return names;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names.push_back(Narrow(info[i].pPrinterName));
    return names;
  }

  kPrinterPage PageOf(const std::string& aPrinterName) override {
    HDC dc = OpenDc(aPrinterName);
    kPrinterPage page;
    page.DpiX = ::GetDeviceCaps(dc, LOGPIXELSX);
    page.PrintableWidth = ::GetDeviceCaps(dc, HORZRES);
    page.PrintableHeight = ::GetDeviceCaps(dc, VERTRES);
    page.OffsetX = ::GetDeviceCaps(dc, PHYSICALOFFSETX);
    page.OffsetY = ::GetDeviceCaps(dc, PHYSICALOFFSETY);
    ::DeleteDC(dc);
    return page;
  }

  void PrintImage(const std::string& aPrinterName, const std::string& aTitle, const kSpoolBitmap& aImage,
                  const kPagePlacement& aPlacement) override {
    HDC dc = OpenDc(aPrinterName);
    std::wstring title = Wide(aTitle);
    DOCINFOW doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = title.c_str();
    bool ok = ::StartDocW(dc, &doc) > 0;
    if (ok) {
      ok = ::StartPage(dc) > 0;
      if (ok) {
        // A top-down 8-bit DIB with a grey palette; rows padded to four bytes.
        struct {
          BITMAPINFOHEADER header;
          RGBQUAD colors[256];
        } bmi{};
        bmi.header.biSize = sizeof(BITMAPINFOHEADER);
        bmi.header.biWidth = aImage.Width;
        bmi.header.biHeight = -aImage.Height;
        bmi.header.biPlanes = 1;
        bmi.header.biBitCount = 8;
        bmi.header.biCompression = BI_RGB;
        bmi.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i) bmi.colors[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        const size_t stride = (static_cast<size_t>(aImage.Width) + 3) & ~size_t{3};
        std::vector<uint8_t> rows(stride * static_cast<size_t>(aImage.Height), 255);
        for (int32_t y = 0; y < aImage.Height; ++y)
          for (int32_t x = 0; x < aImage.Width; ++x)
            rows[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] =
                aImage.Pixels[static_cast<size_t>(y) * static_cast<size_t>(aImage.Width) + static_cast<size_t>(x)];
        ok = ::StretchDIBits(dc, aPlacement.Left, aPlacement.Top, aPlacement.Width, aPlacement.Height, 0, 0,
                             aImage.Width, aImage.Height, rows.data(), reinterpret_cast<BITMAPINFO*>(&bmi),
                             DIB_RGB_COLORS, SRCCOPY) != static_cast<int>(GDI_ERROR);
        ok = ::EndPage(dc) > 0 && ok;
      }
      if (ok) ::EndDoc(dc);
      else ::AbortDoc(dc);
    }
    const DWORD error = ::GetLastError();
    ::DeleteDC(dc);
    if (!ok) throw kException("Printer " + aPrinterName + " did not print the page: " + SystemMessage(error));
  }

 private:
  static HDC OpenDc(const std::string& aPrinterName) {
    HDC dc = ::CreateDCW(L"WINSPOOL", Wide(aPrinterName).c_str(), nullptr, nullptr);
    if (dc == nullptr) throw kException(CantOpen(aPrinterName, ::GetLastError()));
    return dc;
  }
};

}  // namespace

std::unique_ptr<kSpooler> CreateSpooler() { return std::make_unique<kSpooler_Windows>(); }

}  // namespace fp
