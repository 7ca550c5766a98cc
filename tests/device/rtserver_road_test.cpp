// The RT-server road of a receipt through the library's C interface, with the test RT-server
// library signing and the printer emulator printing the paper copy: a sale the server
// registered is never signed again when a till sends it again (after an answer it got, one it
// lost, or a till killed half-way), the printer is this till's from before the signing to the
// settling, and a report text the printer refuses prints nothing more and says so.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fpemu/printer_emulator.h"
#include "support/host_client.h"

extern char** environ;

namespace fp::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSerial = "4ZRPV012345";  // the emulator's
constexpr const char* kRegistered = "La transazione di vendita è stata registrata correttamente ma non è stato possibile stamparla.";

// The counters of the RT-server library the device loads: the same file, so the same copy.
struct RTLibrary {
  RTLibrary() : fHandle(::dlopen(FP_TEST_RTSERVER, RTLD_NOW)), fSignedBefore(Read("TESTSIGNED")) {}
  ~RTLibrary() {
    if (fHandle) ::dlclose(fHandle);
  }
  // Receipts signed in this process since this test began.
  int Signed() const { return Read("TESTSIGNED") - fSignedBefore; }
  int LockHeld() const { return Read("TESTLOCKHELD"); }
  int Read(const char* aName) const {
    auto* read = fHandle ? reinterpret_cast<int32_t (*)()>(::dlsym(fHandle, aName)) : nullptr;
    return read ? read() : -100;
  }
  void* fHandle;
  int fSignedBefore;
};

std::string Sale(const std::string& aTag, const std::string& aStamp, const std::string& aReference = "") {
  return "<Receipt><Type>Sale</Type><DateTime>" + aStamp + "</DateTime>" +
         (aReference.empty() ? "" : "<ExternalReference>" + aReference + "</ExternalReference>") +
         "<Lines><productsale><Description>" + aTag +
         "</Description><Quantity>1</Quantity><Department>1</Department><Price>2</Price><Amount>2</Amount>"
         "</productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>2</Amount></Payment>"
         "</Payments></Receipt>";
}

// Sales on the printer's journal holding an item aTag, voided ones left out.
int SalesWith(const std::vector<emu::JournalEntry>& aJournal, const std::string& aTag) {
  int n = 0;
  for (const auto& e : aJournal) {
    if (e.fKind != emu::JournalKind::Sale || e.fVoided) continue;
    for (const auto& item : e.fItems) n += item.fDescription == aTag;
  }
  return n;
}

// The OPEN request of a device of till aLogId signing through the test RT-server library.
std::string OpenRequest(const std::string& aUrl, const std::string& aLogId) {
  std::string library = FP_TEST_RTSERVER;
  library = library.substr(0, library.size() - 4);  // hosts name it without ".dll"
  return "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>" + aLogId +
         "</LogId><Connection><Type>HTTP</Type><URL>" + aUrl +
         "</URL></Connection><Parameters><RTServer>True</RTServer><RTServerDriver>" + library +
         "</RTServerDriver><RTServerTillSerial>T77</RTServerTillSerial>"
         "</Parameters></ReceiptPrinterManager>";
}

class RTServerRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = fs::temp_directory_path() / ("fp_rtroad_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.c_str(), 1);
    emu.Start();
    const auto table = emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) emu.SetPaymentSlot(slot, table[slot - 1]);
    ASSERT_NE(rt.fHandle, nullptr) << ::dlerror();
  }
  void TearDown() override {
    for (const std::string& handle : fHandles) lib.Call("CLOSE", "<ReceiptPrinterManager><Handle>" + handle + "</Handle></ReceiptPrinterManager>");
    ::unsetenv("FP_TEST_RT_LOCK_FILE");
    emu.Stop();
    std::error_code ec;
    fs::remove_all(fDir, ec);
  }

  // A device of till aLogId signing through the test RT-server library.
  std::string Open(const std::string& aLogId) {
    const Answer a = lib.Call("OPEN", OpenRequest(emu.BaseUrl(), aLogId));
    EXPECT_EQ(a.result, 0) << a.error;
    fHandles.push_back(a.Get("Handle"));
    return fHandles.back();
  }
  Answer Call(const char* aExport, const std::string& aHandle, const std::string& aBody) {
    return lib.Call(aExport, "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + aHandle +
                                 "</Handle>" + aBody + "</ReceiptPrinterManager>");
  }

  fs::path fDir;
  emu::PrinterEmulator emu;
  Library lib;
  RTLibrary rt;
  std::vector<std::string> fHandles;
};

// A sale the server registered, sent again: by its ExternalReference whatever its DateTime,
// answered from the journal with the first numbers, neither signed nor printed again. The same
// content without a reference, after its answer was given, is the next customer's sale.
TEST_F(RTServerRoadTest, RegisteredSaleSentAgainIsAnsweredFromTheJournal) {
  const std::string till = Open("rt1");
  const Answer first = Call("PRINTFR", till, Sale("CAFFE1", "2026-12-10T10:00:00", "S-1"));
  ASSERT_EQ(first.result, 0) << first.error;
  ASSERT_EQ(first.Get("Error"), "False");
  EXPECT_EQ(rt.Signed(), 1);

  struct Retry {
    const char* what;
    std::string receipt;
    bool answered;
  };
  const Retry retries[] = {
      {"the same request again", Sale("CAFFE1", "2026-12-10T10:00:00", "S-1"), true},
      {"a fresh DateTime, the same ExternalReference", Sale("CAFFE1", "2026-12-10T10:00:07", "S-1"), true},
      {"the same ExternalReference on other content", Sale("CAFFE9", "2026-12-10T10:00:09", "S-1"), true},
      {"the same content without a reference, twice", Sale("CAFFE2", "2026-12-10T10:01:00"), false},
      {"", Sale("CAFFE2", "2026-12-10T10:01:05"), false},
  };
  int signs = 1;
  for (const Retry& retry : retries) {
    SCOPED_TRACE(retry.what);
    emu.ClearPackets();
    const Answer a = Call("PRINTFR", till, retry.receipt);
    // After a copy that closed cleanly, a sale asks the printer nothing but its own paper
    // copy; an answer from the journal asks it nothing at all.
    std::string letters;
    for (const auto& p : emu.Packets()) letters += p.fLetter;
    EXPECT_EQ(letters, retry.answered ? "" : "av,t|>}35m") << letters;
    ASSERT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(a.Get("Error"), "False");
    if (!retry.answered) ++signs;
    EXPECT_EQ(rt.Signed(), signs);
    if (retry.answered) {
      EXPECT_EQ(a.Get("MessageText"),
                "This receipt was registered by the RT server in an earlier call; it was not signed or printed again.");
      for (const char* field : {"ReceiptNumber", "EJClosingNumber", "DeviceSerialNumber", "ServerSerialNumber",
                                "ReceiptDateTime"})
        EXPECT_EQ(a.Get(field), first.Get(field)) << field;
    }
  }
  const auto journal = emu.Journal();
  EXPECT_EQ(SalesWith(journal, "CAFFE1"), 1);
  EXPECT_EQ(SalesWith(journal, "CAFFE9"), 0);
  EXPECT_EQ(SalesWith(journal, "CAFFE2"), 2);
}

// The paper copy failed after the server registered the sale: the sale stands (Error False, the
// printer's reason), and sending it again neither signs nor prints it.
TEST_F(RTServerRoadTest, SaleWhosePaperCopyFailedIsNotSignedAgain) {
  const std::string till = Open("rt1");
  emu.ForceFrame("3", "09/00/06/");
  Answer a = Call("PRINTFR", till, Sale("PANE1", "2026-12-10T11:00:00", "S-2"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("Error"), "False");
  EXPECT_EQ(a.Get("ErrorText"), "Wrong VAT code");
  EXPECT_EQ(a.Get("MessageText"), kRegistered);
  EXPECT_EQ(rt.Signed(), 1);

  // The retry answers as the first call did: registered, its paper copy missing.
  a = Call("PRINTFR", till, Sale("PANE1", "2026-12-10T11:00:30", "S-2"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("ReceiptNumber"), "15");
  EXPECT_EQ(a.Get("ErrorText"), "Wrong VAT code");
  EXPECT_EQ(a.Get("MessageText"), kRegistered);
  EXPECT_EQ(rt.Signed(), 1);
  EXPECT_EQ(SalesWith(emu.Journal(), "PANE1"), 0);
  // The copy left open by the refusal was cancelled: the next sale prints.
  a = Call("PRINTFR", till, Sale("PANE2", "2026-12-10T11:01:00"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("ErrorText"), "");
  EXPECT_EQ(SalesWith(emu.Journal(), "PANE2"), 1);
}

// A payment the printer refuses inside the paper copy: the sale stands, and the result names the
// printer's reason rather than the step of the receipt that stopped.
TEST_F(RTServerRoadTest, PaperCopyRefusedAtThePaymentNamesThePrintersReason) {
  const std::string till = Open("rt1");
  emu.ForceReplyCode("5", 0x2C);
  const Answer a = Call("PRINTFR", till, Sale("LATTE1", "2026-12-10T12:00:00", "S-3"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("Error"), "False");
  EXPECT_EQ(a.Get("ErrorText"), "Paper end");
  EXPECT_EQ(a.Get("MessageText"), kRegistered);
  EXPECT_EQ(rt.Signed(), 1);
  EXPECT_EQ(SalesWith(emu.Journal(), "LATTE1"), 0);
}

// The paper copy names what the printer refused of it, as a receipt printed on the printer's
// own road does.
TEST_F(RTServerRoadTest, PaperCopyNamesTheTrailerLinesThePrinterRefused) {
  const std::string till = Open("rt1");
  std::string sale = Sale("CORNETTO1", "2026-12-10T13:00:00");
  sale.insert(sale.rfind("</Receipt>"),
              "<TrailerMessages><Text><Value>Grazie</Value><Alignment>left</Alignment></Text></TrailerMessages>");
  emu.ForceReplyCode("7", 0x0F);
  const Answer a = Call("PRINTFR", till, sale);
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("Error"), "False");
  EXPECT_EQ(a.Get("MessageText"),
            "Not printed, as the printer refused them: the line &quot;Grazie&quot; (Printing type Error).");
  EXPECT_EQ(SalesWith(emu.Journal(), "CORNETTO1"), 1);
}

// A journal found damaged is set aside with the rows that kept the server's signings: the
// first sale after it may be a retry of a registered one, so it is not signed and not claimed;
// sent again, it is signed.
TEST_F(RTServerRoadTest, FirstSaleAfterADamagedJournalIsNotSigned) {
  std::string till = Open("rt1");
  Answer a = Call("PRINTFR", till, Sale("LATTE1", "2026-12-10T12:00:00", "S-4"));
  ASSERT_EQ(a.result, 0) << a.error;
  ASSERT_EQ(a.Get("Error"), "False");
  lib.Call("CLOSE", "<ReceiptPrinterManager><Handle>" + till + "</Handle></ReceiptPrinterManager>");
  fHandles.clear();
  fs::path journal;
  for (const auto& e : fs::directory_iterator(fDir / "DocumentJournal"))
    if (e.path().extension() == ".journal") journal = e.path();
  ASSERT_FALSE(journal.empty());
  std::ofstream(journal, std::ios::binary | std::ios::trunc) << std::string(3000, '\x5a');

  till = Open("rt1");
  a = Call("PRINTFR", till, Sale("LATTE1", "2026-12-10T12:00:40", "S-4"));
  EXPECT_NE(a.result, 0);
  EXPECT_EQ(a.error.rfind("Outcome unknown: the document journal was damaged and set aside", 0), 0u) << a.error;
  EXPECT_EQ(rt.Signed(), 1);
  a = Call("PRINTFR", till, Sale("LATTE1", "2026-12-10T12:01:00", "S-4"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(a.Get("Error"), "False") << a.Get("ErrorText");
  EXPECT_EQ(rt.Signed(), 2);
}

// From before the server is asked until the call returns, the printer's lock is held: another
// till's document cannot come out inside the paper copy, nor its sale be signed meanwhile.
TEST_F(RTServerRoadTest, PrinterIsLockedFromTheSigningToTheSettling) {
  const std::string till = Open("rt1");
  const fs::path lockFile = fDir / "DocumentJournal" / (std::string(kSerial) + ".lock");
  ::setenv("FP_TEST_RT_LOCK_FILE", lockFile.c_str(), 1);
  const Answer a = Call("PRINTFR", till, Sale("LOCK1", "2026-12-10T12:00:00"));
  ASSERT_EQ(a.result, 0) << a.error;
  EXPECT_EQ(rt.LockHeld(), 1);
  EXPECT_EQ(SalesWith(emu.Journal(), "LOCK1"), 1);
  // Released once the call is over.
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

// A till whose process ended in the middle of a sale sends it again from a new process with a
// fresh DateTime and no reference. Ended during the paper copy, the sale was registered and the
// journal says so (the copy left open is cancelled); ended while the server was signing, nothing
// can tell, and it is not signed again.
TEST_F(RTServerRoadTest, TillThatEndedHalfWayIsNotSignedAgain) {
  struct Case {
    const char* what;
    bool dieSigning;
    std::string tag;
    int result;
    const char* error;
    const char* message;
  };
  const Case cases[] = {
      // The copy the killed call left open is cancelled: the sale has no paper copy.
      {"killed during the paper copy", false, "KILL1", 0,
       "the paper copy of the call that registered it was left open on the printer and cancelled", kRegistered},
      {"ended while the server signed", true, "KILL2", -1,
       "Outcome unknown: this receipt was handed to the RT server by an earlier call whose outcome is not known "
       "(Outcome unknown: the RT server library cannot tell whether it signed this receipt; the call ended after "
       "handing it to the server and before the answer was recorded: only the RT server's records tell whether "
       "the sale is registered); it was not signed again: only the RT server's records tell whether the sale is "
       "registered",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string logId = std::string("till_") + c.tag;
    // The till's first process: this test program running only the till below.
    if (!c.dieSigning) emu.HoldAt("3", emu::PrinterEmulator::HoldMode::BeforeCarryingOut);
    std::vector<std::string> vars = {"FP_TEST_RT_TILL=" + emu.BaseUrl() + "|" + logId + "|" + c.tag,
                                     "FP_TEST_RT_DIE_SIGNING=1"};
    if (!c.dieSigning) vars.pop_back();
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    for (std::string& v : vars) env.push_back(v.data());
    env.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string(), filter = "--gtest_filter=RTServerRoadTill.*";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, env.data()), 0);
    if (!c.dieSigning) {
      // The paper copy's sale line has reached the printer: the sale is signed by now.
      ASSERT_TRUE(emu.WaitHeld(std::chrono::seconds(60)));
      ::kill(pid, SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    emu.ReleaseHold(false);
    EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status), c.dieSigning ? 9 : SIGKILL);

    // The till again, in this process, stamping its retry afresh.
    const std::string till = Open(logId);
    const Answer a = Call("PRINTFR", till, Sale(c.tag, "2026-12-10T13:00:09"));
    EXPECT_EQ(a.result, c.result);
    EXPECT_EQ(a.error, c.error);
    if (c.result == 0) {
      EXPECT_EQ(a.Get("ReceiptNumber"), "15");
      EXPECT_EQ(a.Get("MessageText"), c.message);
    }
    EXPECT_EQ(rt.Signed(), 0);
    EXPECT_EQ(SalesWith(emu.Journal(), c.tag), 0);
    EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
  }
}

// The paper copy of an RT X report that the printer refuses: refused at its opening, no line
// follows into whatever the printer holds; refused at its closing, the copy is named as possibly
// incomplete. Either way the report stays the server's with its text, and the printer's reason is
// given.
TEST_F(RTServerRoadTest, ReportTextThePrinterRefusesIsNamed) {
  const std::string till = Open("rt1");
  struct Case {
    const char* letter;
    int code;
    const char* errorText;
    int skip = 0;  // commands of that letter answered before the refused one
  } cases[] = {
      {"7", 0x14,
       "The report was not printed: the printer refused to open its document (A transaction is open, close the "
       "transaction first)"},
      // A line refused on the way: the rest and the closing still print.
      {"7", 0x0F, "The paper copy of the report may be incomplete: Not printed, as the printer refused them: the line "
                  "&quot;X-REPORT&quot; (Printing type Error).", 2},
      // Last: the refused closing leaves the copy open on the printer.
      {"m", 0x2C, "The paper copy of the report may be incomplete: Paper end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.letter);
    emu.ClearPackets();
    emu.ForceReplyCode(c.letter, c.code, 1, c.skip);
    const Answer a = Call("PRINTXR", till, "<XReport><Print>true</Print></XReport>");
    ASSERT_EQ(a.result, 0) << a.error;
    EXPECT_EQ(a.Get("Error"), "False");
    EXPECT_EQ(a.Get("ErrorText"), c.errorText);
    EXPECT_EQ(a.Get("XReportNumber"), "1");
    EXPECT_NE(a.output.find("Documenti Emessi: 14"), std::string::npos) << a.output;
    std::string letters;
    for (const auto& p : emu.Packets()) letters += p.fLetter;
    // A refused opening or closing is the last document command the printer saw.
    if (c.skip == 0) {
      EXPECT_EQ(letters.rfind(c.letter[0]), letters.size() - 1) << letters;
    }
    if (c.skip == 0 && c.letter[0] == '7') {
      EXPECT_EQ(letters.find('7'), letters.rfind('7')) << letters;
    }
  }
  // The copy the refused closing left open does not hold up the next document.
  const Answer next = Call("PRINTNFR", till,
                           "<NFReceipt><Lines><Text><Value>DOPO</Value><Alignment>left</Alignment></Text></Lines>"
                           "</NFReceipt>");
  EXPECT_EQ(next.result, 0) << next.error;
  EXPECT_EQ(emu.Snapshot().fDocument, emu::DocumentState::None);
}

// The till of TillThatEndedHalfWayIsNotSignedAgain, in a process of its own: runs only when that
// test starts it.
TEST(RTServerRoadTill, SellsOnce) {
  const char* till = std::getenv("FP_TEST_RT_TILL");
  if (!till) GTEST_SKIP() << "run by RTServerRoadTest.TillThatEndedHalfWayIsNotSignedAgain";
  const std::string described = till;
  const size_t first = described.find('|'), second = described.rfind('|');
  const std::string url = described.substr(0, first), logId = described.substr(first + 1, second - first - 1);
  Library lib;
  const Answer open = lib.Call("OPEN", OpenRequest(url, logId));
  ASSERT_EQ(open.result, 0) << open.error;
  lib.Call("PRINTFR", "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>" + open.Get("Handle") +
                          "</Handle>" + Sale(described.substr(second + 1), "2026-12-10T13:00:00") +
                          "</ReceiptPrinterManager>");
}

}  // namespace
}  // namespace fp::test
