// A seeded fault soak: receipts, non-fiscal documents, reports, reprints, the drawer and the
// clock against a printer that misbehaves in every way the emulator can, one fault at a
// time. Afterwards the printer's journal must hold exactly the documents reported printed,
// none twice, every call must have ended within its bound, every unknown outcome must have
// been settled, and the device must work once the faults stop. FP_SOAK_ITERATIONS and
// FP_SOAK_SEED run it longer or with another seed.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include "driver_fixture.h"

using namespace fp;
using namespace fp::test;

namespace {

std::string Tagged(const std::string& aTag) {
  return "<Receipt><Type>Sale</Type><Lines><productsale><Description>" + aTag +
         "</Description><Quantity>1</Quantity><Department>1</Department><Price>1.20</Price><Amount>1.20</Amount>"
         "</productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>1.20</Amount></Payment>"
         "</Payments></Receipt>";
}

int EnvOr(const char* aName, int aDefault) {
  const char* v = std::getenv(aName);
  return v && *v ? std::atoi(v) : aDefault;
}

class FaultSoak : public DriverTest {};

TEST_F(FaultSoak, JournalMatchesWhatWasReportedWhateverThePrinterDoes) {
  const int iterations = EnvOr("FP_SOAK_ITERATIONS", 60);
  std::mt19937 random(static_cast<unsigned>(EnvOr("FP_SOAK_SEED", 13)));
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto& d = OpenAndInit();
  // Virtual time: every pause the device asks for counts, nothing waits.
  long long virtualMs = 0;
  d.SetSleeper([&](int ms) { virtualMs += ms; });
  // A call may ask the printer twice for the outcome bound, plus its own retries.
  const long long boundMs = 2LL * kFiscalPrinterDevice::kDefaultOutcomeTimeoutMs + 60000;

  int receiptsReported = 0, documentsReported = 0, unknowns = 0, settled = 0, faults = 0, calls = 0;
  long long worstMs = 0;
  std::map<std::string, int> faultKinds;
  std::string pendingReceipt;  // a receipt whose outcome is unknown, sent again next
  int tag = 0;

  for (int i = 0; i < iterations; ++i) {
    emu.SetPaperListener(nullptr);
    emu.ClearFaults();
    const int op = pendingReceipt.empty() ? pick(7) : 0;
    static const char* const kLetters[] = {">", "}", "3", "5", "m", "7", "x", "@", "q", "T", "X", "i", "t"};
    if (pendingReceipt.empty() && pick(100) < 45) {
      ++faults;
      const std::string letter = kLetters[pick(13)];
      switch (pick(11)) {
        case 0: emu.FailNext(1 + pick(2), (int[]){0, 500, 503}[pick(3)]); faultKinds["not executed, HTTP error or closed"]++; break;
        case 1: emu.ResetNext(1); faultKinds["connection reset"]++; break;
        case 2: emu.DropNextAnswers(1); faultKinds["executed, answer dropped"]++; break;
        case 3: emu.DropAnswers(letter, 1, pick(2)); faultKinds["executed, answer dropped (by letter)"]++; break;
        case 4: emu.AnswerStatus(letter, pick(2) ? 500 : 504, 1, pick(2)); faultKinds["executed, then HTTP 5xx"]++; break;
        case 5: emu.ForceReplyCode(letter, 0x0F, 1, pick(2)); faultKinds["refused with a reply code"]++; break;
        case 6: emu.ForceFrame(letter, "garbage", 1, pick(2)); faultKinds["garbage frame"]++; break;
        case 7: emu.AnswerBusy(1 + pick(3)); faultKinds["busy journal"]++; break;
        case 8: emu.SetDelay(std::chrono::milliseconds(50)); faultKinds["slow printer"]++; break;
        case 9:
          // The printer goes silent in the middle of a document.
          emu.SetPaperListener([this, done = false](const std::string&) mutable {
            if (!done) emu.FailNext(100000, 0);
            done = true;
          });
          faultKinds["printer silent mid-document"]++;
          break;
        case 10:
          emu.Stop();
          faultKinds["printer off (connection refused)"]++;
          break;
      }
    }
    const long long virtualBefore = virtualMs;
    const auto start = std::chrono::steady_clock::now();
    ++calls;
    bool error = false;
    std::string errorText;
    switch (op) {
      case 0: case 1: case 2: {
        const std::string receipt = pendingReceipt.empty() ? Tagged("TAGR" + std::to_string(++tag)) : pendingReceipt;
        _int_PRINTFR_result r;
        try {
          d.Pub_PrintReceipt(*Request(receipt, {dt_Receipt}), r);
        } catch (const kException& e) {
          r.Error = true;
          r.ErrorText = e.what();
        }
        error = r.Error;
        errorText = r.ErrorText;
        if (r.MessageText.find("settled: carried out (the printer did not answer the closing of the non-fiscal") != std::string::npos) ++documentsReported;
        if (!pendingReceipt.empty() && !r.Error) ++settled;
        pendingReceipt.clear();
        if (!r.Error && r.MessageText.find("was not printed again") == std::string::npos) ++receiptsReported;
        if (!r.Error && r.MessageText.find("was not printed again") != std::string::npos) ++receiptsReported;
        if (r.Error && r.ErrorText.rfind(kFiscalPrinterDevice::kOutcomeUnknownPrefix, 0) == 0) {
          ++unknowns;
          pendingReceipt = receipt;
        }
        break;
      }
      case 3: {
        _int_PRINTNFR_result r;
        try {
          d.Pub_PrintNFReceipt(*Request("<NFReceipt><Lines><Text><Value>TAGN" + std::to_string(++tag) +
                                            "</Value><Alignment>left</Alignment></Text></Lines></NFReceipt>",
                                        {dt_NFReceipt}),
                               r);
        } catch (const kException& e) {
          r.Error = true;
          r.ErrorText = e.what();
        }
        error = r.Error;
        errorText = r.ErrorText;
        if (!r.Error) ++documentsReported;
        if (r.Error && r.ErrorText.rfind(kFiscalPrinterDevice::kOutcomeUnknownPrefix, 0) == 0 &&
            r.ErrorText.find("non-fiscal document") != std::string::npos) {
          ++unknowns;
          pendingReceipt = Tagged("TAGR" + std::to_string(++tag));  // the next call settles it
        }
        break;
      }
      case 4: {
        _int_PRINTXR_result r;
        try { d.Pub_PrintXReport(*Request("<XReport/>", {dt_XReport}), r); } catch (const kException&) { r.Error = true; }
        error = r.Error;
        break;
      }
      case 5: {
        _int_OPENDR_result r;
        try { d.Pub_OpenDrawer(*Request("<Drawer><Number>1</Number></Drawer>", {dt_Drawer}), r); } catch (const kException&) { r.Error = true; }
        error = r.Error;
        break;
      }
      case 6: {
        _int_GETSTATUS_result r;
        try { d.Pub_GetStatus(*Request(), r); } catch (const kException&) { r.Error = true; }
        error = r.Error;
        break;
      }
    }
    const long long realMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const long long spent = realMs + (virtualMs - virtualBefore);
    worstMs = std::max(worstMs, spent);
    EXPECT_LE(spent, boundMs) << "call " << i << " op " << op << ": " << errorText;
    emu.SetPaperListener(nullptr);
    emu.ClearFaults();
    emu.Start();
    (void)error;
  }

  // The faults stop: the device works, and nothing stays unsettled.
  emu.ClearFaults();
  emu.Start();
  _int_PRINTFR_result last;
  d.Pub_PrintReceipt(*Request(pendingReceipt.empty() ? Tagged("TAGR" + std::to_string(++tag)) : pendingReceipt, {dt_Receipt}), last);
  EXPECT_FALSE(last.Error) << last.ErrorText;
  if (!last.Error) ++receiptsReported;
  if (!pendingReceipt.empty() && !last.Error) ++settled;
  EXPECT_FALSE(std::filesystem::exists(d.OpenQuestionPath()));

  int sales = 0, nonFiscal = 0;
  std::map<std::string, int> printed;
  for (const auto& e : emu.Journal()) {
    if (e.fKind == emu::JournalKind::Sale) ++sales;
    if (e.fKind == emu::JournalKind::NonFiscal) ++nonFiscal;
    for (const auto& line : e.fLines) {
      std::smatch m;
      if (std::regex_search(line, m, std::regex("TAG[RN][0-9]+"))) printed[m.str()]++;
    }
  }
  EXPECT_EQ(sales, receiptsReported);
  EXPECT_EQ(nonFiscal, documentsReported);
  for (const auto& [tagText, count] : printed) EXPECT_LE(count, 1) << tagText << " printed twice";
  EXPECT_EQ(unknowns, settled);

  std::string kinds;
  for (const auto& [kind, n] : faultKinds) kinds += "  " + kind + ": " + std::to_string(n) + "\n";
  std::printf("soak: %d calls, %d faults, %d receipts and %d documents printed, %d unknown outcomes settled, "
              "worst call %lld ms (bound %lld ms)\n%s",
              calls, faults, receiptsReported, documentsReported, settled, worstMs, boundMs, kinds.c_str());
}

}  // namespace
