// fpctl demo [--url URL] [--out FILE]
//
// Drives one device through the library's exports as a point-of-sale host would: OPEN,
// GETSTATUS, a sale receipt (several kinds of line, a discount, two payments, a trailer
// message, with its text and picture), a non-fiscal receipt and CLOSE. Each result is
// printed in a readable form. Without --url the printer emulator runs inside this process
// on a free loopback port and its paper roll is printed at the end. The receipt picture is
// saved as receipt.jpg in the current folder, or in FILE.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/base64.h"
#include "fpctl.h"
#include "fpemu/printer_emulator.h"

namespace fpctl {

namespace {

constexpr const char* kDriver = "VNRP_TARVOLX40FPETH_10";

std::string Device(const std::string& aInner) {
  return std::string("<ReceiptPrinterManager><Driver>") + kDriver + "</Driver><LogId>demo</LogId>" + aInner +
         "</ReceiptPrinterManager>";
}

// "<Name>value</Name>" lines of a result fragment, as "  Name: value"; long or multi-line
// values are shown below their name.
void PrintResult(const std::string& aTitle, const kLibrary::Answer& aAnswer) {
  std::cout << "== " << aTitle << ": " << (aAnswer.fResult == 0 ? "ok" : "FAILED") << "\n";
  const std::string& out = aAnswer.fOutput;
  size_t pos = 0;
  while ((pos = out.find('<', pos)) != std::string::npos) {
    const size_t nameEnd = out.find('>', pos);
    if (nameEnd == std::string::npos) break;
    const std::string name = out.substr(pos + 1, nameEnd - pos - 1);
    if (name.empty() || name[0] == '/' || name.back() == '/') {
      pos = nameEnd + 1;
      continue;
    }
    const std::string close = "</" + name + ">";
    const size_t valueEnd = out.find(close, nameEnd);
    if (valueEnd == std::string::npos) {
      pos = nameEnd + 1;
      continue;
    }
    const std::string value = out.substr(nameEnd + 1, valueEnd - nameEnd - 1);
    pos = valueEnd + close.size();
    if (value.empty()) continue;
    if (name == "ReceiptImage") {
      std::cout << "  ReceiptImage: " << value.size() << " characters of base64 (JPEG)\n";
    } else if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos) {
      std::cout << "  " << name << ":\n";
      std::string line;
      for (char c : value) {
        if (c == '\r') continue;
        if (c == '\n') {
          std::cout << "    | " << line << "\n";
          line.clear();
        } else {
          line += c;
        }
      }
      if (!line.empty()) std::cout << "    | " << line << "\n";
    } else if (value.find('<') == std::string::npos) {
      std::cout << "  " << name << ": " << value << "\n";
    }
  }
  if (!aAnswer.fError.empty()) std::cout << "  error text: " << aAnswer.fError << "\n";
}

const char* const kSaleReceipt =
    "<Receipt><Type>Sale</Type><CurrencyCode>EUR</CurrencyCode>"
    "<Lines>"
    "<productsale><Code>8001</Code><Description>Caffe espresso</Description><Quantity>2</Quantity>"
    "<Department>1</Department><Price>1.20</Price><Amount>2.40</Amount></productsale>"
    "<productsale><Code>8002</Code><Description>Cornetto &amp; crema</Description><Quantity>1</Quantity>"
    "<Department>1</Department><Price>1.50</Price><Amount>1.50</Amount></productsale>"
    "<weightedproductsale><Code>2101</Code><Description>Parmigiano</Description><Quantity>0.350</Quantity>"
    "<UOM>kg</UOM><Department>2</Department><Price>22.00</Price><Amount>7.70</Amount><Tare>0.005</Tare>"
    "</weightedproductsale>"
    "<discountamount><Amount>0.70</Amount><Description>Promo formaggi</Description></discountamount>"
    "<text><Description>Offerta valida fino a domenica</Description></text>"
    "<subtotal/>"
    "<discountpercentageonsubtotal><Percentage>10</Percentage><Amount>1.09</Amount>"
    "<Description>Carta fedelta</Description></discountpercentageonsubtotal>"
    "</Lines><Taxes/>"
    "<Payments>"
    "<Payment><Type>Cash</Type><Amount>5.00</Amount></Payment>"
    "<Payment><Type>CreditCard</Type><Amount>4.81</Amount></Payment>"
    "</Payments>"
    "<TrailerMessages><Text><Value>Grazie e arrivederci</Value><Alignment>center</Alignment></Text>"
    "</TrailerMessages>"
    "</Receipt>";

const char* const kNonFiscalReceipt =
    "<NFReceipt><Lines>"
    "<Text><Value>BUONO SCONTO 5%</Value><Alignment>center</Alignment><Effects>doubleheight</Effects></Text>"
    "<Text><Value>sulla prossima spesa</Value><Alignment>center</Alignment></Text>"
    "<Barcode><Value>PROMO-2025</Value><Type>CODE128</Type><Alignment>center</Alignment></Barcode>"
    "</Lines></NFReceipt>";

constexpr const char* kDemoUsage =
    "usage: fpctl demo [--url URL] [--out FILE]\n"
    "\n"
    "Opens a device, reads its status, prints a sale receipt (with its text and picture) and a\n"
    "non-fiscal receipt, and closes the device, showing each result. Without --url the printer\n"
    "emulator runs inside fpctl and its paper roll is shown at the end. The receipt picture is\n"
    "saved to FILE (default receipt.jpg).\n";

int RunDemo(kLibrary& aLibrary, const std::vector<std::string>& aArgs) {
  std::string url, outPath = "receipt.jpg";
  for (size_t i = 0; i < aArgs.size(); ++i) {
    if (aArgs[i] == "--url" && i + 1 < aArgs.size()) {
      url = aArgs[++i];
    } else if (aArgs[i] == "--out" && i + 1 < aArgs.size()) {
      outPath = aArgs[++i];
    } else if (aArgs[i] == "--help" || aArgs[i] == "-h") {
      std::cout << kDemoUsage;
      return 0;
    } else {
      std::cerr << kDemoUsage;
      return 2;
    }
  }

  std::unique_ptr<fp::emu::PrinterEmulator> emulator;
  if (url.empty()) {
    emulator = std::make_unique<fp::emu::PrinterEmulator>();
    emulator->Start();
    url = emulator->BaseUrl();
    std::cout << "Printer emulator listening on " << url << "\n";
  } else {
    std::cout << "Printer at " << url << "\n";
  }

  kLibrary::Answer a = aLibrary.Call(
      "OPEN", Device("<Method>Open</Method><Connection><Type>HTTP</Type><URL>" + url + "</URL></Connection>"));
  PrintResult("OPEN", a);
  if (a.fResult != 0) return 1;
  const std::string handle = ElementText(a.fOutput, "Handle");
  auto request = [&](const std::string& aBody, const std::string& aParams = "") {
    return Device("<Handle>" + handle + "</Handle><Parameters>" + aParams + "</Parameters>" + aBody);
  };

  int failures = 0;
  a = aLibrary.Call("GETSTATUS", request(""));
  PrintResult("GETSTATUS", a);
  failures += a.fResult != 0;

  a = aLibrary.Call("PRINTFR", request(kSaleReceipt,
                                       "<GetReceiptText>true</GetReceiptText>"
                                       "<GetReceiptImage>true</GetReceiptImage>"));
  PrintResult("PRINTFR", a);
  failures += a.fResult != 0;
  const std::string image = ElementText(a.fOutput, "ReceiptImage");
  if (!image.empty()) {
    const std::vector<uint8_t> jpeg = fp::DecodeBase64(image);
    std::ofstream out(outPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    if (out) {
      std::cout << "  receipt picture saved to " << outPath << " (" << jpeg.size() << " bytes)\n";
    } else {
      std::cout << "  the receipt picture could not be written to " << outPath << "\n";
      ++failures;
    }
  }

  a = aLibrary.Call("PRINTNFR", request(kNonFiscalReceipt));
  PrintResult("PRINTNFR", a);
  failures += a.fResult != 0;

  a = aLibrary.Call("CLOSE", request(""));
  PrintResult("CLOSE", a);
  failures += a.fResult != 0;

  if (emulator) {
    std::cout << "\n== Paper roll of the emulated printer\n";
    for (const std::string& line : emulator->Paper()) std::cout << "  |" << line << "|\n";
    emulator->Stop();
  }
  return failures == 0 ? 0 : 1;
}

const kCommandRegistration kDemo{
    {"demo", "run a sale and a non-fiscal receipt against the built-in printer emulator (or --url)", &RunDemo}};

}  // namespace

}  // namespace fpctl
