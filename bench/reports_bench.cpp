// Reading a day's electronic journal of 1,000 receipts (about 20,000 lines) and taking the
// Z report totals out of it.
//
// BM_JournalProcessing is the driver's own work on the host: taking the 2,000 pieces apart,
// keeping the lines, joining them and running the Z report reader over the whole text.
// BM_JournalReadOverHttp is the whole read from the printer emulator over loopback, and
// BM_BareExchanges the same number of exchanges that carry no journal text, so the
// difference between the two is what the journal's size costs beyond the exchanges.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "device/fiscal_printer_device.h"
#include "documents/enums.h"
#include "drivers/drivers.h"
#include "drivers/tarvolx40fpeth/fiscal_printer_tarvolx40fpeth.h"
#include "drivers/tarvolx40fpeth/journal_read.h"
#include "drivers/tarvolx40fpeth/zreport_reader.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "fpemu/printer_emulator.h"

namespace {

constexpr int kReceipts = 1000;
constexpr int kLinesPerPiece = 10;

// Rings up the day's receipts and closes the day.
void FillDay(fp::emu::PrinterEmulator& aEmu) {
  for (int r = 0; r < kReceipts; ++r) {
    aEmu.Execute(">", "////");
    aEmu.Execute("}", "");
    for (int i = 0; i < 8; ++i) aEmu.Execute("3", "/S/ARTICOLO " + std::to_string(i) + "//1.000/1.25/1///0//");
    aEmu.Execute("m", "");
  }
  aEmu.Execute("x", "/7////");
}

// The journal as the printer hands it out: pieces of ten lines, each closed by "||", and the
// frame's closing "/".
std::vector<std::string> Pieces(const fp::emu::PrinterEmulator& aEmu, size_t& aLines) {
  std::vector<std::string> lines;
  for (const auto& entry : aEmu.Journal()) lines.insert(lines.end(), entry.fLines.begin(), entry.fLines.end());
  aLines = lines.size();
  std::vector<std::string> pieces;
  for (size_t i = 0; i < lines.size(); i += kLinesPerPiece) {
    std::string piece;
    for (size_t k = i; k < lines.size() && k < i + kLinesPerPiece; ++k) piece += lines[k] + "||";
    pieces.push_back(piece + "/");
  }
  return pieces;
}

void BM_JournalProcessing(benchmark::State& aState) {
  fp::emu::PrinterEmulator emu;
  FillDay(emu);
  size_t lines = 0;
  const auto pieces = Pieces(emu, lines);
  fp::vnFiscalCounters counters;
  for (auto _ : aState) {
    fp::tarvol::kJournalCollector journal(false);
    for (const auto& p : pieces) journal.AddPiece(p);
    const std::string text = journal.Text();
    fp::tarvol::ReadZReports(text, counters);
    benchmark::DoNotOptimize(counters.DayTotalAmount);
  }
  if (counters.DayReceiptsNumber != kReceipts) aState.SkipWithError("the Z report was not read");
  aState.counters["lines"] = static_cast<double>(lines);
  aState.counters["pieces"] = static_cast<double>(pieces.size());
}
BENCHMARK(BM_JournalProcessing)->Unit(benchmark::kMillisecond);

// A device as OPEN builds it, over the emulator, with its pauses skipped.
struct Device {
  explicit Device(fp::emu::PrinterEmulator& aEmu)
      : dir(std::filesystem::temp_directory_path() / ("fp_reports_bench_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir);
    ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
    handler.Deserialize("<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>bench</LogId>"
                        "<Connection><Type>HTTP</Type><URL>" + aEmu.BaseUrl() + "</URL></Connection>"
                        "</ReceiptPrinterManager>",
                        {});
    fp::kFiscalPrinterClass create = nullptr;
    fp::RegisterModelDrivers([&](const std::string& aName, fp::kFiscalPrinterClass aClass) {
      if (aName == fp::kFiscalPrinter_TARVOLX40FPETH::kDriverName) create = aClass;
    });
    printer.reset(static_cast<fp::kFiscalPrinter_TARVOLX40FPETH*>(create(handler).release()));
    printer->SetSleeper([](int) {});
    fp::_int_OPEN_result r;
    printer->Pub_Open(handler, r);
  }
  ~Device() {
    printer.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;  // stands in for the host program's folder; the device log goes below it
  fp::kReceiptPrinterHandler handler;
  std::unique_ptr<fp::kFiscalPrinter_TARVOLX40FPETH> printer;
};

void BM_JournalReadOverHttp(benchmark::State& aState) {
  fp::emu::PrinterEmulator emu;
  FillDay(emu);
  emu.Start();
  Device d(emu);
  const fp::DateTime today = fp::DateOf(emu.Clock());
  size_t lines = 0;
  for (auto _ : aState) {
    std::string text;
    if (!d.printer->PrintEJFiscalReceipts(fp::rd_Memory, 0, today, today, 0, text))
      aState.SkipWithError("journal read failed");
    lines = std::count(text.begin(), text.end(), '\n') + 1;
  }
  aState.counters["lines"] = static_cast<double>(lines);
  emu.Stop();
}
BENCHMARK(BM_JournalReadOverHttp)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BareExchanges(benchmark::State& aState) {
  fp::emu::PrinterEmulator emu;
  FillDay(emu);
  size_t lines = 0;
  const size_t exchanges = Pieces(emu, lines).size() + 1;
  emu.Start();
  Device d(emu);
  for (auto _ : aState) {
    // Without a journal selected the printer answers "*" at once with no text.
    for (size_t i = 0; i < exchanges; ++i) d.printer->Send("*", "/0/10/");
  }
  aState.counters["exchanges"] = static_cast<double>(exchanges);
  emu.Stop();
}
BENCHMARK(BM_BareExchanges)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
