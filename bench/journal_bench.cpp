// The document journal's cost per document: the three commits every printed document makes
// (its row before the first command, "closing sent" before the closing, its outcome before
// the export returns), each on disk before it returns, on a journal in the temporary folder.
// Set beside receipts_bench's PRINTFR, it is what the journal adds to one receipt.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "device/document_journal.h"

namespace {

void BM_JournalDocumentThreeCommits(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / ("fp_journal_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    auto journal = fp::kDocumentJournal::Open(folder.string(), "4ZRPV012345");
    int n = 0;
    for (auto _ : state) {
      fp::vnJournalEntry e;
      e.fKind = fp::vnJournalKind::Receipt;
      e.fIdentity = "ref:SALE-" + std::to_string(++n);
      e.fNumberBefore = std::to_string(n - 1);
      e.fClosingBefore = "1";
      e.fTotal = "12.50";
      journal->Begin(e);
      e.fState = fp::vnJournalState::ClosingSent;
      journal->Update(e);
      e.fState = fp::vnJournalState::Printed;
      e.fNumber = std::to_string(n);
      e.fClosing = "2";
      e.fResult = std::string(600, 'x');  // a result fragment of a receipt without its picture
      journal->Update(e);
    }
    state.counters["commits"] = 3;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_JournalDocumentThreeCommits)->Unit(benchmark::kMicrosecond);

// What every document pays before its first command (up to three times): the unsettled rows
// of a journal of a long day, 5,000 documents printed and two whose outcome stayed unknown,
// each of those holding the result fragment of a receipt with its picture (200 KB).
void BM_JournalUnsettled(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / ("fp_journal_bench_u" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    auto journal = fp::kDocumentJournal::Open(folder.string(), "4ZRPV012345");
    for (int n = 1; n <= 5002; ++n) {
      fp::vnJournalEntry e;
      e.fKind = fp::vnJournalKind::Receipt;
      e.fIdentity = "ref:SALE-" + std::to_string(n);
      const bool unknown = n > 5000;
      e.fState = unknown ? fp::vnJournalState::Unknown : fp::vnJournalState::Printed;
      e.fResult = std::string(unknown ? 200000 : 600, 'x');
      journal->Begin(e);
    }
    size_t rows = 0;
    for (auto _ : state) {
      const auto unsettled = journal->Unsettled();
      rows = unsettled.size();
      benchmark::DoNotOptimize(unsettled.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_JournalUnsettled)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
