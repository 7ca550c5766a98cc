// A host process that reads a hostile journal through the library's C interface and reports
// what it cost: a printer answering the journal with empty lines by the million, read as an
// EJREPORT or as the receipt text of a PRINTFR. The process holds nothing but the library,
// the printer emulator and the one read, so what its peak resident size grows by during the
// read is the read's.
//
//   journal_memory_host LIBRARY ejreport|zreport|receipttext
//
// ejreport and receipttext get empty lines; zreport, the read that keeps a copy for the
// day's totals, gets Z report lines of 1,000 characters.
//
// Prints "peak_kib=<peak resident KiB> read_kib=<what the read added to it> result_units=<UTF-16
// units of the result> lines=<lines the result shows> error=<ErrorText>" and exits 0 when the
// read stays under 64 MiB, the result within 16 MiB and the error names exactly the lines the
// result holds (1 otherwise).
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "fpemu/printer_emulator.h"
#include "support/fpdriver_library.h"

namespace {

constexpr long kPeakLimitKib = 64 * 1024;
constexpr size_t kResultLimitBytes = 16u * 1024u * 1024u;
// 100,000 empty lines per "*" answer; the read goes on as long as the printer sends them.
constexpr int kLinesPerPiece = 100000;

long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[2] : "";
  if (mode != "ejreport" && mode != "zreport" && mode != "receipttext") {
    std::fprintf(stderr, "usage: %s LIBRARY ejreport|zreport|receipttext\n", argv[0]);
    return 2;
  }
  const bool receiptText = mode == "receipttext";
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("fp_journal_memory_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);

  fp::emu::PrinterEmulator emu;
  emu.Start();
  const auto table = fp::emu::PrinterEmulator::DriverPaymentTable();
  for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
  fp::test::kLoadedLibrary lib(argv[1]);

  using Bstr = fp::test::kLoadedLibrary::Bstr;
  using Export = int16_t (*)(Bstr, Bstr*, Bstr*);
  // One call as a host makes it; the answer is looked at in place and freed.
  struct Result {
    int16_t code = 0;
    size_t units = 0;
    size_t lines = 0;
    std::string error;
    std::string handle;
  };
  auto call = [&](const char* aExport, const std::string& aXml) {
    const std::u16string xml = fp::Utf8ToUtf16(aXml);
    Bstr request = lib.Alloc(xml);
    Bstr output = nullptr;
    Bstr error = nullptr;
    Result r;
    r.code = reinterpret_cast<Export>(lib.Symbol(aExport))(request, &output, &error);
    const std::u16string_view out(output, output ? lib.Length(output) : 0);
    r.units = out.size();
    // The lines the result shows: Line elements of a report text, or the lines of the
    // receipt's text (each ended by CR LF, CR or LF, the last one also by the text's end).
    for (size_t at = out.find(u"<Line>"); at != std::u16string_view::npos; at = out.find(u"<Line>", at + 1)) ++r.lines;
    const size_t text = out.find(u"<ReceiptText>");
    if (text != std::u16string_view::npos) {
      const size_t start = text + 13;
      const std::u16string_view value = out.substr(start, out.find(u"</ReceiptText>", start) - start);
      for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n') ++i;
        if (value[i] == u'\r' || value[i] == u'\n' || i + 1 == value.size()) ++r.lines;
      }
    }
    if (error) r.error = fp::Utf16ToUtf8(std::u16string_view(error, lib.Length(error)));
    const size_t h = out.find(u"<Handle>");
    if (h != std::u16string_view::npos) r.handle = fp::Utf16ToUtf8(out.substr(h + 8, out.find(u'<', h + 8) - h - 8));
    lib.Free(output);
    lib.Free(error);
    lib.Free(request);
    return r;
  };

  const std::string device = "<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>memory</LogId>"
                             "<Connection><Type>HTTP</Type><URL>" + emu.BaseUrl() + "</URL></Connection>";
  const Result open = call("OPEN", "<ReceiptPrinterManager>" + device + "</ReceiptPrinterManager>");
  if (open.code != 0) {
    std::fprintf(stderr, "OPEN failed: %s\n", open.error.c_str());
    return 1;
  }
  auto request = [&](const std::string& aParameters, const std::string& aBody) {
    return "<ReceiptPrinterManager>" + device + "<Handle>" + open.handle + "</Handle><Parameters>" + aParameters +
           "</Parameters>" + aBody + "</ReceiptPrinterManager>";
  };
  const std::string sale =
      "<Receipt><Type>Sale</Type><Lines><productsale><Description>ARTICOLO</Description><Quantity>1</Quantity>"
      "<Department>1</Department><Price>1.00</Price><Amount>1.00</Amount></productsale></Lines><Taxes/>"
      "<Payments><Payment><Type>Cash</Type><Amount>1.00</Amount></Payment></Payments></Receipt>";

  std::string piece = "00/00/00/";
  if (mode == "zreport") {
    piece += "AZZERAMENTO GIORNALIERO||";
    for (int i = 0; i < 1000; ++i) piece += std::string(1000, 'Z') + "||";
  } else {
    for (int i = 0; i < kLinesPerPiece; ++i) piece += "||";
  }
  piece += "/";
  const long before = PeakKib();
  Result r;
  if (receiptText) {
    emu.ForceFrame("*", piece, 1000000);
    r = call("PRINTFR", request("<GetReceiptText>true</GetReceiptText>", sale));
  } else {
    // A document for the selection to find.
    if (call("PRINTFR", request("", sale)).code != 0) return 1;
    if (mode == "zreport" && call("PRINTZR", request("", "<ZReport/>")).code != 0) return 1;
    emu.ForceFrame("*", piece, 1000000);
    const std::string type = mode == "zreport" ? "ZReport" : "FiscalReceipt";
    r = call("EJREPORT", request("", "<EJReport><ReportType>" + type + "</ReportType><ReportDestination>Memory"
                                     "</ReportDestination><StartDate>2000-01-01T00:00:00</StartDate><EndDate>"
                                     "2099-12-31T23:59:59</EndDate></EJReport>"));
  }
  const long peak = PeakKib();
  emu.Stop();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);

  std::printf("peak_kib=%ld read_kib=%ld result_units=%zu lines=%zu error=%s\n", peak, peak - before, r.units,
              r.lines, r.error.c_str());
  const std::string counted = "the " + std::to_string(r.lines) + " lines read so far";
  const bool linesRight = r.error.find(counted) != std::string::npos;
  return peak - before < kPeakLimitKib && r.units * 2 <= kResultLimitBytes && linesRight ? 0 : 1;
}
