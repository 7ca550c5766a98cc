// The document journal's cost per document: a Begin and an Update, each its own committed
// transaction on disk (WAL, synchronous FULL), as every printer-changing document writes
// them; and the identity lookup a retry makes, in a journal of many documents.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "device/document_journal.h"

namespace {

namespace fs = std::filesystem;

// A fresh journal folder of its own for each benchmark, removed at the end.
struct Folder {
  explicit Folder(const std::string& aName)
      : fPath(fs::temp_directory_path() / (aName + "_" + std::to_string(::getpid()))) {
    fs::remove_all(fPath);
  }
  ~Folder() { fs::remove_all(fPath); }
  fs::path fPath;
};

fp::vnJournalEntry Receipt(int aN) {
  fp::vnJournalEntry e;
  e.fIdentity = "ref:SALE-" + std::to_string(aN);
  e.fNumberBefore = std::to_string(aN);
  e.fClosingBefore = "7";
  e.fTotal = "12.50";
  e.fDevice = "bench";
  return e;
}

void BM_JournalBeginUpdate(benchmark::State& aState) {
  Folder folder("fpjournal_bench");
  auto journal = fp::kDocumentJournal::Open(folder.fPath.string(), "99MEY012345");
  int n = 0;
  for (auto _ : aState) {
    fp::vnJournalEntry e = Receipt(++n);
    journal->Begin(e);
    e.fState = fp::vnJournalState::Printed;
    e.fNumber = std::to_string(n + 1);
    e.fResult = "<ReceiptNumber>" + e.fNumber + "</ReceiptNumber>";
    journal->Update(e);
  }
}
BENCHMARK(BM_JournalBeginUpdate)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_JournalFindByIdentity(benchmark::State& aState) {
  Folder folder("fpjournal_find_bench");
  auto journal = fp::kDocumentJournal::Open(folder.fPath.string(), "99MEY012345");
  const int rows = static_cast<int>(aState.range(0));
  for (int i = 0; i < rows; ++i) {
    fp::vnJournalEntry e = Receipt(i);
    journal->Begin(e);
  }
  int n = 0;
  for (auto _ : aState) benchmark::DoNotOptimize(journal->FindByIdentity("ref:SALE-" + std::to_string(++n % rows)));
}
BENCHMARK(BM_JournalFindByIdentity)->Arg(300)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
