// Exactly once, checked against the printer's own record. The tills here send documents that
// each carry a tag of their own (an item's description, a non-fiscal line), so the
// emulator's journal tells how often each one was really issued and with which numbers; what
// a till was told is held against that.
//
// A till is either this process (the library loaded here) or the helper host program
// (outcome_helper) in a process of its own, which a test may kill with SIGKILL at an exact
// command through the emulator's hold point. The crash soak (RunCrashSoak) kills such a till
// at seeded points of receipts, non-fiscal documents and Z reports and starts it again with
// the documents it was not told about, freshly stamped.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "driver/fault_soak.h"
#include "fpemu/printer_emulator.h"

extern char** environ;

namespace fp::once {

// A sale of one item described aTag for aCents, stamped "@NOW@" (the helper puts the time
// of each attempt there; StampNow does it here). aReference: the host's ExternalReference,
// none when empty.
inline std::string SaleDocument(const std::string& aTag, int aCents, const std::string& aReference = "") {
  std::string receipt = soak::detail::SaleReceipt(aTag, aCents);
  const std::string head = "<Receipt><Type>Sale</Type>";
  receipt.replace(0, head.size(),
                  head + "<DateTime>@NOW@</DateTime>" +
                      (aReference.empty() ? "" : "<ExternalReference>" + aReference + "</ExternalReference>"));
  return receipt;
}

inline std::string NonFiscalDocument(const std::string& aTag) {
  return "<NFReceipt><DateTime>@NOW@</DateTime><Lines><Text><Value>" + aTag +
         "</Value><Alignment>left</Alignment></Text></Lines></NFReceipt>";
}

inline std::string ZReportDocument() { return "<ZReport/>"; }

// aDocument with "@NOW@" replaced by aStamp ("YYYY-MM-DDTHH:MM:SS").
inline std::string Stamped(std::string aDocument, const std::string& aStamp) {
  for (size_t at = aDocument.find("@NOW@"); at != std::string::npos; at = aDocument.find("@NOW@"))
    aDocument.replace(at, 5, aStamp);
  return aDocument;
}

// The printer's own record of one tag.
struct kIssued {
  int fCount = 0;  // entries holding the tag (not voided)
  int fNumber = 0;  // of the last such entry
  int fClosing = 0;
  bool fMixed = false;  // a receipt holding the tag also holds an item of another till
};

// Sale receipts whose items include aTag; aOtherPrefix marks items of another till.
inline kIssued SalesWith(const std::vector<emu::JournalEntry>& aJournal, const std::string& aTag,
                         const std::string& aOtherPrefix = "") {
  kIssued out;
  for (const auto& e : aJournal) {
    if (e.fKind != emu::JournalKind::Sale || e.fVoided) continue;
    bool holds = false, other = false;
    for (const auto& item : e.fItems) {
      holds = holds || item.fDescription == aTag;
      other = other || (!aOtherPrefix.empty() && item.fDescription.rfind(aOtherPrefix, 0) == 0);
    }
    // A non-fiscal line closed inside a receipt is printed text, not an item.
    for (const auto& line : e.fLines) other = other || (!aOtherPrefix.empty() && line.find(aOtherPrefix) == 0);
    if (!holds) continue;
    ++out.fCount;
    out.fNumber = e.fNumber;
    out.fClosing = e.fZNumber;
    out.fMixed = out.fMixed || other;
  }
  return out;
}

// Documents of aKind whose printed text holds aTag as a word of its own ("TAGK7X1" is not
// in a line that says "TAGK7X10").
inline int EntriesWith(const std::vector<emu::JournalEntry>& aJournal, emu::JournalKind aKind, const std::string& aTag) {
  const auto holds = [&](const std::string& aLine) {
    for (size_t at = aLine.find(aTag); at != std::string::npos; at = aLine.find(aTag, at + 1)) {
      const size_t end = at + aTag.size();
      if (end == aLine.size() || !std::isalnum(static_cast<unsigned char>(aLine[end]))) return true;
    }
    return false;
  };
  int n = 0;
  for (const auto& e : aJournal) {
    if (e.fKind != aKind || e.fVoided) continue;
    n += std::any_of(e.fLines.begin(), e.fLines.end(), holds);
  }
  return n;
}

inline int ZReports(const std::vector<emu::JournalEntry>& aJournal) {
  return static_cast<int>(std::count_if(aJournal.begin(), aJournal.end(),
                                        [](const emu::JournalEntry& e) { return e.fKind == emu::JournalKind::ZReport; }));
}

// One attempt as a till in another process was told it.
struct kTold {
  int fResult = 0;
  std::string fError;
  soak::kSoakCall fCall;  // the result fragment, for its elements
  bool Printed() const { return fResult == 0 && !fCall.Error(); }
};

// A till process: the helper host with its arguments. A test may Kill it while the printer
// holds its command. With aStartFd (a pipe's reading end) the till opens its device, says
// so (WaitReady) and waits for the pipe to close before its first document.
class kTillProcess {
 public:
  kTillProcess(const std::string& aHelper, const std::vector<std::string>& aArgs, int aStartFd = -1) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> args = {aHelper};
    if (aStartFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, aStartFd, 3);
      args.insert(args.end(), {"--start-fd", "3"});
    }
    args.insert(args.end(), aArgs.begin(), aArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::lock_guard<std::mutex> lock(fMutex);
    if (posix_spawn(&fPid, aHelper.c_str(), &actions, nullptr, argv.data(), environ) != 0) fPid = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    fOut = fds[0];
  }
  ~kTillProcess() { Finish(); }
  kTillProcess(const kTillProcess&) = delete;
  kTillProcess& operator=(const kTillProcess&) = delete;

  // Marked before the signal goes: the till's end, which Finish sees, must never come before
  // the mark that says it was killed.
  void Kill() {
    std::lock_guard<std::mutex> lock(fMutex);
    if (fPid > 0 && !fKilled) {
      fKilled = true;
      ::kill(fPid, SIGKILL);
    }
  }
  // Waits until the till says its device is open (false when it ended first).
  bool WaitReady() {
    char c;
    while (fOut >= 0 && read(fOut, &c, 1) == 1) {
      fText += c;
      if (fText.size() >= 6 && fText.compare(fText.size() - 6, 6, "ready\n") == 0) {
        fText.resize(fText.size() - 6);
        return true;
      }
    }
    return false;
  }
  // Reads what the till said until it ends (exits or is killed) and collects it; its
  // attempts, three lines each, in order.
  std::vector<kTold> Finish() {
    if (fOut >= 0) {
      char buffer[4096];
      for (ssize_t n; (n = read(fOut, buffer, sizeof buffer)) > 0;) fText.append(buffer, static_cast<size_t>(n));
      close(fOut);
      fOut = -1;
    }
    if (fPid > 0 && !fReaped) {
      int status = 0;
      waitpid(fPid, &status, 0);
      fReaped = true;
    }
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = fText.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(fText.substr(at, end - at));
    std::vector<kTold> told;
    for (size_t i = 0; i + 2 < lines.size(); i += 3) {
      if (lines[i] == "open failed") break;
      told.push_back({std::atoi(lines[i].c_str()), lines[i + 1], {0, lines[i + 2], lines[i + 1]}});
    }
    return told;
  }
  bool Killed() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fKilled;
  }
  bool Started() const { return fPid > 0; }
  const std::string& Text() const { return fText; }

 private:
  mutable std::mutex fMutex;
  pid_t fPid = 0;
  int fOut = -1;
  bool fKilled = false;
  bool fReaped = false;
  std::string fText;
};

// ---- The crash soak ----

struct kCrashSoakOptions {
  unsigned fSeed = 7;
  int fKills = 6;
  int fDocuments = 16;  // receipts, non-fiscal documents and Z reports, in a seeded mix
  int fOutcomeTimeoutMs = 1000;
  std::string fLogId = "till";
  std::function<void(const std::string&)> fTrace;
};

struct kCrashSoakFigures {
  int fKills = 0;
  int fRuns = 0;
  int fDocuments = 0;
  int fDuplicates = 0;    // issued more than once by the printer
  int fLost = 0;          // told printed, not issued
  int fWrongNumbers = 0;  // told printed with numbers that are not the printer's
  int fUnconfirmed = 0;   // never told printed, though the till kept sending it
  int fUnknowns = 0;      // answers "Outcome unknown:" along the way
};

struct kCrashSoakReport {
  kCrashSoakFigures fFigures;
  std::vector<std::string> fViolations;
};

inline std::string FormatCrashFigures(const kCrashSoakFigures& f) {
  return std::to_string(f.fKills) + " kills over " + std::to_string(f.fRuns) + " runs of the till, " +
         std::to_string(f.fDocuments) + " documents: " + std::to_string(f.fDuplicates) + " duplicates, " +
         std::to_string(f.fLost) + " lost, " + std::to_string(f.fWrongNumbers) + " told with wrong numbers, " +
         std::to_string(f.fUnconfirmed) + " never confirmed, " + std::to_string(f.fUnknowns) + " unknown answers";
}

// Runs the till (aHelper) against aPrinter until every document was confirmed, killing it
// aOptions.fKills times at seeded commands of the documents it still has to send. Receipts
// carry an ExternalReference, one in four none (their identity is their content).
inline kCrashSoakReport RunCrashSoak(soak::kSoakPrinter& aPrinter, const std::string& aHelper,
                                     const kCrashSoakOptions& aOptions) {
  using Mode = emu::PrinterEmulator::HoldMode;
  enum class Kind { Receipt, Document, ZReport };
  struct Doc {
    Kind fKind;
    std::string fTag, fText;
    bool fConfirmed = false;
    bool fLastUnknown = false;  // the last answer said "Outcome unknown:"
    kTold fTold;
  };
  emu::PrinterEmulator& emu = aPrinter.fEmu;
  kCrashSoakReport report;
  kCrashSoakFigures& fig = report.fFigures;
  std::mt19937 random(aOptions.fSeed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto trace = [&](const std::string& aText) {
    if (aOptions.fTrace) aOptions.fTrace(aText);
  };

  std::vector<Doc> docs;
  for (int i = 0; i < aOptions.fDocuments; ++i) {
    const int kind = pick(100);
    const std::string tag = "TAGK" + std::to_string(aOptions.fSeed % 1000) + "X" + std::to_string(i);
    // A Z report asked again right after one, with nothing sent between, is its retry (a Z
    // report has no reference of the host's): a sale always follows a Z report here.
    const bool afterZ = !docs.empty() && docs.back().fKind == Kind::ZReport;
    if (kind < 65 || afterZ)
      docs.push_back({Kind::Receipt, tag, SaleDocument(tag, 100 + pick(900), pick(4) == 0 ? "" : "SALE-" + tag), false, false, {}});
    else if (kind < 88)
      docs.push_back({Kind::Document, tag, NonFiscalDocument(tag), false, false, {}});
    else
      docs.push_back({Kind::ZReport, tag, ZReportDocument(), false, false, {}});
  }
  fig.fDocuments = static_cast<int>(docs.size());

  const int maxRuns = aOptions.fKills * 3 + 4 + fig.fDocuments / 4;
  while (fig.fRuns < maxRuns) {
    std::vector<Doc*> pending;
    // A non-fiscal document answered "Outcome unknown" stays so (no counter of the printer
    // can tell), and its retries are refused: it is no longer sent.
    for (auto& d : docs)
      if (!d.fConfirmed && !(d.fKind == Kind::Document && d.fLastUnknown)) pending.push_back(&d);
    if (pending.empty()) break;
    ++fig.fRuns;
    emu.ClearFaults();
    emu.SetHoldListener(nullptr);

    // The kill point: a command of one of the next few documents, counted over the commands
    // with its letter the documents before it send (each receipt ">", "3", "5" and "m" once,
    // a non-fiscal document "m" once, a Z report "x" once).
    const bool kill = fig.fKills < aOptions.fKills;
    std::string letter;
    int skip = 0;
    Mode mode = pick(2) ? Mode::AfterCarryingOut : Mode::BeforeCarryingOut;
    const bool carryOut = pick(4) != 0;
    if (kill) {
      const size_t target = static_cast<size_t>(pick(static_cast<int>(std::min<size_t>(pending.size(), 2))));
      const Doc& t = *pending[target];
      static const char* const kReceiptLetters[] = {">", "3", "5", "m", "m", "m"};
      letter = t.fKind == Kind::Receipt ? kReceiptLetters[pick(6)] : t.fKind == Kind::Document ? "m" : "x";
      for (size_t i = 0; i < target; ++i) {
        const Kind k = pending[i]->fKind;
        skip += letter == "x" ? k == Kind::ZReport : letter == "m" ? k != Kind::ZReport : k == Kind::Receipt;
      }
      trace("run " + std::to_string(fig.fRuns) + ": kill at \"" + letter + "\" #" + std::to_string(skip + 1) + " (" +
            t.fTag + ", " + (mode == Mode::AfterCarryingOut ? "carried out" : carryOut ? "before, then carried out" : "before, never carried out") + ")");
    }

    std::vector<std::string> args = {"--outcome-timeout", std::to_string(aOptions.fOutcomeTimeoutMs),
                                     "--tries",           kill ? "1" : "3",
                                     emu.BaseUrl(),       aOptions.fLogId};
    // A few documents a run: a kill armed at a command that no document sends after all (one
    // answered from the journal sends nothing) then ends the run after those few, not after
    // every document left, and the next run arms another kill.
    pending.resize(std::min<size_t>(pending.size(), 4));
    for (const Doc* d : pending) args.push_back(d->fText);
    std::unique_ptr<kTillProcess> till;
    std::mutex tillMutex;
    if (kill) {
      emu.SetHoldListener([&](const emu::ReceivedPacket&) {
        std::lock_guard<std::mutex> lock(tillMutex);
        if (till) till->Kill();
      });
      emu.HoldAt(letter, mode, skip);
    }
    {
      std::lock_guard<std::mutex> lock(tillMutex);
      till = std::make_unique<kTillProcess>(aHelper, args);
    }
    const std::vector<kTold> told = till->Finish();
    if (till->Killed()) {
      ++fig.fKills;
      emu.ReleaseHold(carryOut);
    }
    emu.SetHoldListener(nullptr);
    emu.ClearFaults();

    // Which document each attempt was for: the till moves on after a success, or after its
    // tries (one while a kill is armed, three otherwise).
    const size_t tries = kill ? 1 : 3;
    size_t doc = 0, attempts = 0;
    for (const kTold& t : told) {
      if (doc >= pending.size()) break;
      if (soak::detail::StartsWith(t.fError, soak::detail::kUnknownPrefix)) ++fig.fUnknowns;
      trace("  " + pending[doc]->fTag + " -> " + std::to_string(t.fResult) + " " + t.fError);
      pending[doc]->fLastUnknown = soak::detail::StartsWith(t.fError, soak::detail::kUnknownPrefix);
      if (t.Printed()) {
        pending[doc]->fConfirmed = true;
        pending[doc]->fTold = t;
      }
      if (t.Printed() || ++attempts >= tries) {
        ++doc;
        attempts = 0;
      }
    }
  }
  emu.SetHoldListener(nullptr);

  auto violation = [&](const std::string& aText) {
    if (report.fViolations.size() < 50) report.fViolations.push_back(aText);
  };
  const auto journal = emu.Journal();
  int zAsked = 0, zConfirmed = 0;
  std::map<std::string, int> zNumbers;
  for (const Doc& d : docs) {
    if (!d.fConfirmed) {
      ++fig.fUnconfirmed;
      // No counter of the printer tells that a non-fiscal document was printed: one whose
      // closing went out before the kill stays unknown, and is never printed again.
      if (d.fKind != Kind::Document || !d.fLastUnknown) violation(d.fTag + " never confirmed");
    }
    if (d.fKind == Kind::ZReport) {
      ++zAsked;
      if (d.fConfirmed) {
        ++zConfirmed;
        const std::string number = d.fTold.fCall.Get("ZReportNumber");
        if (zNumbers[number]++ > 0) violation("two Z reports told number " + number);
      }
      continue;
    }
    int count = 0;
    if (d.fKind == Kind::Receipt) {
      const kIssued issued = SalesWith(journal, d.fTag);
      count = issued.fCount;
      if (d.fConfirmed && count == 1 &&
          (d.fTold.fCall.Get("ReceiptNumber") != std::to_string(issued.fNumber) ||
           d.fTold.fCall.Get("EJClosingNumber") != std::to_string(issued.fClosing))) {
        ++fig.fWrongNumbers;
        violation(d.fTag + " told number " + d.fTold.fCall.Get("ReceiptNumber") + " of closing " +
                  d.fTold.fCall.Get("EJClosingNumber") + ", the printer issued " + std::to_string(issued.fNumber) +
                  " of closing " + std::to_string(issued.fClosing));
      }
    } else {
      count = EntriesWith(journal, emu::JournalKind::NonFiscal, d.fTag);
    }
    if (count > 1) {
      fig.fDuplicates += count - 1;
      violation(d.fTag + " issued " + std::to_string(count) + " times");
    }
    if (d.fConfirmed && count == 0) {
      ++fig.fLost;
      violation(d.fTag + " told printed, never issued");
    }
  }
  const int zIssued = ZReports(journal);
  if (zIssued > zAsked) {
    fig.fDuplicates += zIssued - zAsked;
    violation(std::to_string(zIssued) + " Z reports issued for " + std::to_string(zAsked) + " asked");
  }
  if (zConfirmed > zIssued) {
    fig.fLost += zConfirmed - zIssued;
    violation(std::to_string(zConfirmed) + " Z reports told taken, " + std::to_string(zIssued) + " issued");
  }
  return report;
}

}  // namespace fp::once
