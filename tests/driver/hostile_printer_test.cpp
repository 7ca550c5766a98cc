// A hostile printer: answers lost after the printer acted, commands carried out twice or
// answered as refused after they took effect, a restart that forgets the open receipt, a
// state command that contradicts the status bytes, a journal folder that cannot be used.
// Through the built library, each case holds what the till was told against the printer's
// own journal: a document told printed exists once with the numbers told, one told not
// printed does not exist, and the till's retry (freshly stamped, as tills send it) never
// issues a second one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../receipts/abi_client.h"
#include "driver/exactly_once.h"

namespace {

using fp::emu::JournalKind;
using fp::once::EntriesWith;
using fp::once::SalesWith;
using fp::test::Answer;

constexpr const char* kDevice = "<Driver>VNRP_TARVOLX40FPETH_10</Driver>";

class HostilePrinter : public ::testing::Test {
 protected:
  void SetUp() override { Open(); }
  void TearDown() override { Close(); }

  void Open() {
    const Answer a = fLib.Call(
        "OPEN", std::string("<ReceiptPrinterManager>") + kDevice + "<LogId>hostile</LogId><Connection><Type>HTTP</Type>"
                "<URL>" + fEmu.BaseUrl() + "</URL><ConnectTimeout>1000</ConnectTimeout><ReadTimeout>1000</ReadTimeout>"
                "</Connection><Parameters><OutcomeTimeout>1000</OutcomeTimeout><MinReadTimeout>1000</MinReadTimeout>"
                "</Parameters></ReceiptPrinterManager>");
    ASSERT_EQ(a.result, 0) << a.error;
    fHandle = a.Get("Handle");
  }
  void Close() {
    if (!fHandle.empty()) Call("CLOSE", "");
    fHandle.clear();
  }
  Answer Call(const char* aExport, const std::string& aBody) {
    return fLib.Call(aExport, std::string("<ReceiptPrinterManager>") + kDevice + "<Handle>" + fHandle + "</Handle>" +
                                  aBody + "</ReceiptPrinterManager>");
  }
  // Each attempt gets a time stamp of its own, as a till stamps what it sends.
  std::string Stamp() { return "2026-03-02T10:" + std::to_string(10 + ++fAttempts % 50) + ":00"; }
  Answer Sale(const std::string& aTag, const std::string& aReference = "SALE-1") {
    return Call("PRINTFR", fp::once::Stamped(fp::once::SaleDocument(aTag, 120, aReference), Stamp()));
  }
  Answer Document(const std::string& aTag) {
    return Call("PRINTNFR", fp::once::Stamped(fp::once::NonFiscalDocument(aTag), Stamp()));
  }
  // The printer goes silent once aText is on paper, until the faults are cleared.
  void SilentAfter(const std::string& aText) {
    fEmu.SetPaperListener([this, aText, done = false](const std::string& aLine) mutable {
      if (!done && aLine.find(aText) != std::string::npos) {
        done = true;
        fEmu.FailNext(100000, 0);
      }
    });
  }
  void Calm() {
    fEmu.SetPaperListener(nullptr);
    fEmu.ClearFaults();
  }
  static bool Unknown(const Answer& a) { return a.error.rfind("Outcome unknown: ", 0) == 0; }
  static bool Printed(const Answer& a) { return a.result == 0 && a.Get("Error") == "False"; }

  // What the till was told about aTag against the journal: printed with the printer's
  // numbers, not printed and absent, or unknown.
  void ExpectToldTheTruth(const Answer& a, const std::string& aTag) {
    const fp::once::kIssued issued = SalesWith(fEmu.Journal(), aTag);
    EXPECT_LE(issued.fCount, 1) << aTag << " issued twice";
    if (Printed(a)) {
      EXPECT_EQ(issued.fCount, 1) << aTag << " told printed (" << a.Get("MessageText") << ")";
      if (issued.fCount == 1) {
        EXPECT_EQ(a.Get("ReceiptNumber"), std::to_string(issued.fNumber));
        EXPECT_EQ(a.Get("EJClosingNumber"), std::to_string(issued.fClosing));
      }
    } else if (!Unknown(a)) {
      EXPECT_EQ(issued.fCount, 0) << aTag << " told not printed: " << a.error;
    }
  }

  fp::soak::kSoakPrinter fPrinter{"fp_hostile"};
  fp::emu::PrinterEmulator& fEmu = fPrinter.fEmu;
  fp::test::Library fLib;
  std::string fHandle;
  int fAttempts = 0;
};

// The closing's answer is lost and the printer stays silent past the bound; the till sends
// the same sale again with a fresh time stamp: the earlier receipt is recognised by the
// host's reference, or without one by its content, and not printed again.
TEST_F(HostilePrinter, AnUnknownSaleSentAgainWithAFreshTimeStampIsPrintedOnce) {
  for (const char* reference : {"SALE-7", ""}) {
    SCOPED_TRACE(*reference ? "by its reference" : "by its content");
    const std::string tag = std::string("FRESH") + (*reference ? "R" : "C");
    fEmu.DropAnswers("m");
    SilentAfter("DOC.N.");
    const Answer first = Sale(tag, reference);
    EXPECT_TRUE(Unknown(first)) << first.error;
    Calm();
    const Answer retry = Sale(tag, reference);
    EXPECT_TRUE(Printed(retry)) << retry.error;
    ExpectToldTheTruth(retry, tag);
  }
}

// A closing that never took effect: lost on its way while "X" is refused past the bound and
// the printer then restarts needing a Z report (taken by the next OPEN), or answered success
// without being carried out. Nothing is told printed that was not, and the sale ends printed
// once: by the call itself (the receipt found still open is closed once more) or by its retry.
TEST_F(HostilePrinter, AClosingThatNeverTookEffectIsNeverToldPrinted) {
  struct Case {
    const char* name;
    const char* tag;
    bool rebootNeedingZ;
  } cases[] = {{"lost on its way, \"X\" refused, restart needing a Z", "NEVERA", true},
               {"answered success, never carried out", "NEVERB", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.rebootNeedingZ) {
      fEmu.LoseThenRefuse("m", "X", 0x06, 100000);
    } else {
      fEmu.ForceReplyCode("m", 0x00);
    }
    // Each sale its own reference: the same reference is the same sale.
    const std::string reference = std::string("SALE-") + c.tag;
    const Answer first = Sale(c.tag, reference);
    ExpectToldTheTruth(first, c.tag);
    Calm();
    if (c.rebootNeedingZ) {
      EXPECT_FALSE(Printed(first)) << first.output;
      fEmu.Reboot(true);
      Close();
      Open();
    }
    if (!Printed(first)) {
      const Answer retry = Sale(c.tag, reference);
      EXPECT_TRUE(Printed(retry)) << retry.error;
      ExpectToldTheTruth(retry, c.tag);
    }
    EXPECT_EQ(SalesWith(fEmu.Journal(), c.tag).fCount, 1);
  }
}

// The printer carried the closing out but the till heard otherwise: a proxy that repeated
// the request (the repeat answers "no receipt open"), or a refusal answered after the fact.
// The receipt is printed; the till is told so, or that the outcome is unknown, and the retry
// returns it instead of printing a second one.
TEST_F(HostilePrinter, AClosingCarriedOutButAnsweredAsRefusedIsNotPrintedTwice) {
  struct Case {
    const char* name;
    const char* tag;
    int refusal;  // -1: the closing is repeated by a proxy
  } cases[] = {{"repeated by a proxy", "AFTERA", -1}, {"answered 0x4E", "AFTERB", 0x4E}, {"answered 0x14", "AFTERC", 0x14}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.refusal < 0) fEmu.ReplayRequests("m");
    else fEmu.RefuseAfterCarryingOut("m", c.refusal);
    const std::string reference = std::string("SALE-") + c.tag;
    const Answer first = Sale(c.tag, reference);
    EXPECT_EQ(SalesWith(fEmu.Journal(), c.tag).fCount, 1);
    ExpectToldTheTruth(first, c.tag);
    Calm();
    const Answer retry = Sale(c.tag, reference);
    EXPECT_TRUE(Printed(retry)) << retry.error;
    ExpectToldTheTruth(retry, c.tag);
  }
}

// A Z report carried out but answered with a refusal: the closings taken tell that it was
// taken, and a retry the same day, with no document since, does not take a second one.
TEST_F(HostilePrinter, AZReportCarriedOutButAnsweredAsRefusedIsTakenOnce) {
  Sale("BEFOREREFUSEDZ");
  const int zBefore = fp::once::ZReports(fEmu.Journal());
  fEmu.RefuseAfterCarryingOut("x", 0x14);
  const Answer first = Call("PRINTZR", "<ZReport/>");
  EXPECT_EQ(fp::once::ZReports(fEmu.Journal()), zBefore + 1);
  EXPECT_EQ(first.error.rfind("Report not taken: ", 0), std::string::npos) << first.error;
  Calm();
  const Answer retry = Call("PRINTZR", "<ZReport/>");
  EXPECT_TRUE(Printed(retry)) << retry.error;
  EXPECT_EQ(fp::once::ZReports(fEmu.Journal()), zBefore + 1);
  EXPECT_EQ(retry.Get("ZReportNumber"), std::to_string(fEmu.Journal().back().fNumber)) << retry.output;
}

// A receipt left open (the payment's answer lost, the printer unreachable for the cancel):
// the next non-fiscal document never puts its line into it nor closes it, and the retried
// sale is printed once.
TEST_F(HostilePrinter, AReceiptLeftOpenIsNeverClosedByTheNextDocument) {
  fEmu.DropAnswers("5");
  SilentAfter("CONTANTI");
  const Answer first = Sale("LEFTOPEN");
  ExpectToldTheTruth(first, "LEFTOPEN");
  Calm();
  const Answer document = Document("NFLINE");
  const auto journal = fEmu.Journal();
  EXPECT_EQ(EntriesWith(journal, JournalKind::Sale, "NFLINE"), 0) << "a non-fiscal line inside a fiscal receipt";
  EXPECT_EQ(EntriesWith(journal, JournalKind::NonFiscal, "NFLINE"), Printed(document) ? 1 : 0) << document.error;
  ExpectToldTheTruth(first, "LEFTOPEN");
  const Answer retry = Sale("LEFTOPEN");
  EXPECT_TRUE(Printed(retry)) << retry.error;
  ExpectToldTheTruth(retry, "LEFTOPEN");
}

// A Z report or a non-fiscal document whose answer was lost, retried after "Outcome
// unknown": issued once.
TEST_F(HostilePrinter, AReportOrDocumentRetriedAfterAnUnknownOutcomeIsIssuedOnce) {
  Sale("BEFOREZ");
  struct Case {
    const char* name;
    const char* closing;
    const char* onPaper;
    bool zReport;
  } cases[] = {{"Z report", "x", "AZZERAMENTO", true}, {"non-fiscal document", "m", "DOC.N.", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int zBefore = fp::once::ZReports(fEmu.Journal());
    fEmu.DropAnswers(c.closing);
    SilentAfter(c.onPaper);
    const Answer first = c.zReport ? Call("PRINTZR", "<ZReport/>") : Document("NFTWICE");
    EXPECT_TRUE(Unknown(first)) << first.error;
    Calm();
    const Answer retry = c.zReport ? Call("PRINTZR", "<ZReport/>") : Document("NFTWICE");
    // No counter of the printer tells that a non-fiscal document was printed: its retry
    // stays unknown and is not printed again.
    if (c.zReport) {
      EXPECT_TRUE(Printed(retry)) << retry.error;
    } else {
      EXPECT_TRUE(Unknown(retry)) << retry.error;
    }
    const auto journal = fEmu.Journal();
    if (c.zReport) {
      EXPECT_EQ(fp::once::ZReports(journal), zBefore + 1);
      EXPECT_EQ(retry.Get("ZReportNumber"), std::to_string(journal.back().fNumber)) << retry.output;
    } else {
      EXPECT_EQ(EntriesWith(journal, JournalKind::NonFiscal, "NFTWICE"), 1);
    }
  }
}

// Whether a document is open or a Z was taken is what every answer says: "X" answering
// idle while the status bytes say a receipt is open, or no closings while one was taken,
// is not believed.
TEST_F(HostilePrinter, AStateAnswerContradictingTheStatusIsNotBelieved) {
  fEmu.SetStateSaysIdle(true);
  fEmu.DropAnswers("5");
  const Answer sale = Sale("IDLELIE");
  EXPECT_EQ(fEmu.Snapshot().fDocument, fp::emu::DocumentState::None) << "the receipt was left open: " << sale.error;
  ExpectToldTheTruth(sale, "IDLELIE");
  Calm();

  fEmu.Execute("+", "/0/");  // whatever the driver left open, the Z below must not meet it
  fEmu.SetStateHidesClosings(true);
  const int zBefore = fp::once::ZReports(fEmu.Journal());
  fEmu.DropAnswers("x");
  const Answer z = Call("PRINTZR", "<ZReport/>");
  ASSERT_EQ(fp::once::ZReports(fEmu.Journal()), zBefore + 1);
  EXPECT_NE(z.error.rfind("Report not taken", 0), 0u) << z.error;
  if (Printed(z)) {
    EXPECT_EQ(z.Get("ZReportNumber"), std::to_string(fEmu.Journal().back().fNumber));
  }
}

// An application folder the journal cannot live in stops a printer-changing document before
// its first command, with the reason.
TEST_F(HostilePrinter, AnUnusableJournalFolderStopsTheDocumentBeforeItsFirstCommand) {
  Close();
  const std::filesystem::path loop = fPrinter.fDir / "loop";
  std::filesystem::create_symlink(loop, loop);
  struct Case {
    const char* name;
    std::string folder;
  } cases[] = {{"a device, not a folder", "/dev/null"},
               {"a symbolic link loop", loop.string()},
               {"a path past the longest the system takes", (fPrinter.fDir / std::string(5000, 'd')).string()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::setenv("FPDRIVER_APP_DIR", c.folder.c_str(), 1);
    Open();
    fEmu.ClearPackets();
    const Answer a = Sale("NOJOURNAL");
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.error.rfind("Receipt not printed: The document journal cannot be written: ", 0), 0u) << a.error;
    EXPECT_NE(a.error.find("; nothing was printed"), std::string::npos) << a.error;
    EXPECT_EQ(fp::test::DataOf(fEmu.Packets(), ">").size(), 0u) << fp::test::Letters(fEmu.Packets());
    Close();
  }
  ::setenv("FPDRIVER_APP_DIR", fPrinter.fDir.c_str(), 1);
  EXPECT_EQ(SalesWith(fEmu.Journal(), "NOJOURNAL").fCount, 0);
  Open();
}

// A journal damaged while a receipt's outcome was unknown is set aside, and the retried
// receipt is not printed a second time nor claimed printed: like the printer's last document,
// it is left for the host to look at.
TEST_F(HostilePrinter, ADamagedJournalIsSetAsideAndNothingPrintsTwice) {
  namespace fs = std::filesystem;
  const fs::path folder = fPrinter.fDir / "DocumentJournal";
  struct Case {
    const char* name;
    void (*damage)(const fs::path&);
  } cases[] = {
      {"truncated", [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2); }},
      {"garbage", [](const fs::path& p) { std::ofstream(p, std::ios::binary | std::ios::trunc) << std::string(3000, '\x5a'); }},
      {"a byte order mark in front",
       [](const fs::path& p) {
         std::ifstream in(p, std::ios::binary);
         const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         in.close();
         std::ofstream(p, std::ios::binary | std::ios::trunc) << "\xEF\xBB\xBF" << body;
       }},
      {"line ends rewritten",
       [](const fs::path& p) {
         std::ifstream in(p, std::ios::binary);
         std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         in.close();
         for (size_t at = body.find('\n'); at != std::string::npos; at = body.find('\n', at + 2)) body.insert(at, "\r");
         std::ofstream(p, std::ios::binary | std::ios::trunc) << body;
       }},
      {"a folder in its place",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_directories(p / "inside");
       }},
  };
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tag = "DAMAGED" + std::to_string(++round);
    fEmu.DropAnswers("m");
    SilentAfter("DOC.N.");
    const Answer first = Sale(tag, "SALE-" + tag);
    EXPECT_TRUE(Unknown(first)) << first.error;
    Calm();
    Close();
    ASSERT_TRUE(fs::is_directory(folder)) << "no journal folder " << folder;
    fs::path journal;
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().extension() == ".journal") journal = e.path();
    ASSERT_FALSE(journal.empty()) << "no journal in " << folder;
    c.damage(journal);
    Open();
    const Answer retry = Sale(tag, "SALE-" + tag);
    EXPECT_EQ(SalesWith(fEmu.Journal(), tag).fCount, 1);
    EXPECT_TRUE(Unknown(retry)) << retry.error;
    EXPECT_NE(retry.error.find("the document journal was damaged"), std::string::npos) << retry.error;
    ExpectToldTheTruth(retry, tag);
    int setAside = 0;
    for (const auto& e : fs::directory_iterator(folder)) setAside += e.path().filename().string().find(".damaged-") != std::string::npos;
    EXPECT_EQ(setAside, round);
  }
}

// The disk fills up (every file of this process stops growing) once the receipt is on
// paper: its outcome cannot be written to the journal. The result still tells what the
// printer did, with its numbers, and says that the journal could not record it; a retry in
// the meantime is answered from what the device kept, and the next call writes it, so that
// a device opened afresh answers the retry from the journal.
TEST_F(HostilePrinter, AnOutcomeTheJournalCannotRecordIsToldAndWrittenAtTheNextCall) {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto diskFull = [&](bool aFull) {
    rlimit limit = before;
    if (aFull) limit.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  };
  fEmu.SetPaperListener([&, done = false](const std::string& aLine) mutable {
    if (!done && aLine.find("DOC.N.") != std::string::npos) {
      done = true;
      diskFull(true);
    }
  });
  const Answer sale = Sale("DISKFULL", "SALE-DISKFULL");
  const Answer retry = Sale("DISKFULL", "SALE-DISKFULL");
  diskFull(false);
  Calm();
  EXPECT_TRUE(Printed(sale)) << sale.error;
  EXPECT_NE(sale.error.find("The document journal could not record this outcome ("), std::string::npos) << sale.error;
  ExpectToldTheTruth(sale, "DISKFULL");
  EXPECT_TRUE(Printed(retry)) << retry.error;
  EXPECT_EQ(retry.Get("ReceiptNumber"), sale.Get("ReceiptNumber"));
  ExpectToldTheTruth(retry, "DISKFULL");

  // The next call writes it; a device opened afresh knows it from the journal alone.
  EXPECT_TRUE(Printed(Call("GETSTATUS", "")));
  Close();
  Open();
  const Answer later = Sale("DISKFULL", "SALE-DISKFULL");
  EXPECT_TRUE(Printed(later)) << later.error;
  EXPECT_EQ(later.Get("ReceiptNumber"), sale.Get("ReceiptNumber"));
  EXPECT_NE(later.Get("MessageText").find("it was not printed again"), std::string::npos) << later.output;
  EXPECT_EQ(SalesWith(fEmu.Journal(), "DISKFULL").fCount, 1);
}

// Operations that print without changing the fiscal numbering wait for another till's
// document like a document does, and fail busy past the bound with nothing sent.
TEST_F(HostilePrinter, PrintingWithoutNumberingWaitsForTheDocumentOnThePrinter) {
  namespace fs = std::filesystem;
  fs::path lockFile;
  for (const auto& e : fs::directory_iterator(fPrinter.fDir / "DocumentJournal"))
    if (e.path().extension() == ".lock" && e.path().string().find(".repair.") == std::string::npos) lockFile = e.path();
  ASSERT_FALSE(lockFile.empty());
  struct Case {
    const char* name;
    const char* exportName;
    const char* body;
    const char* letter;  // the command it sends
  } cases[] = {
      {"X report", "PRINTXR", "<XReport/>", "x"},
      {"journal extract on paper", "EJREPORT",
       "<EJReport><ReportType>ZReport</ReportType><ReportDestination>Printer</ReportDestination>"
       "<StartDate>2026-03-02T00:00:00</StartDate><EndDate>2026-03-02T23:59:59</EndDate></EJReport>",
       "@"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Another till's document holds the printer.
    const int held = ::open(lockFile.c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    fEmu.ClearPackets();
    const Answer busy = Call(c.exportName, c.body);
    EXPECT_EQ(busy.result, -1);
    EXPECT_EQ(busy.error, "The printer is busy with another document");
    EXPECT_EQ(fp::test::DataOf(fEmu.Packets(), c.letter).size(), 0u) << fp::test::Letters(fEmu.Packets());
    ::close(held);
    const Answer free = Call(c.exportName, c.body);
    EXPECT_NE(free.error, "The printer is busy with another document");
    EXPECT_GT(fp::test::DataOf(fEmu.Packets(), c.letter).size(), 0u) << fp::test::Letters(fEmu.Packets());
  }
}

}  // namespace
