#include "fpemu/faults.h"

#include <chrono>
#include <cstdlib>
#include <vector>

namespace fp::emu {

namespace {

using Args = std::vector<std::string>;

struct FaultKind {
  const char* fName;
  const char* fSyntax;  // the arguments after the name, each led by ":"
  const char* fHelp;
  size_t fMinArgs;
  size_t fMaxArgs;
  void (*fApply)(PrinterEmulator&, const Args&);
};

// A count argument: how many exchanges the fault hits (1 when absent).
int Count(const Args& aArgs, size_t aIndex) { return aIndex < aArgs.size() ? std::atoi(aArgs[aIndex].c_str()) : 1; }
// A skip argument: how many commands pass before the fault acts (0 when absent).
int Skip(const Args& aArgs, size_t aIndex) { return aIndex < aArgs.size() ? std::atoi(aArgs[aIndex].c_str()) : 0; }

// One line per kind. A kind the emulator learns is one more line here.
const FaultKind kFaults[] = {
    {"http-error", "[:STATUS[:N]]", "the next N requests (1) are not executed and get HTTP STATUS (500)", 0, 2,
     [](PrinterEmulator& e, const Args& a) { e.FailNext(Count(a, 1), a.empty() ? 500 : std::atoi(a[0].c_str())); }},
    {"no-answer", "[:N]", "the next N requests are not executed; the connection closes without an answer", 0, 1,
     [](PrinterEmulator& e, const Args& a) { e.FailNext(Count(a, 0), 0); }},
    {"reset", "[:N]", "the next N requests are not executed; the connection is reset", 0, 1,
     [](PrinterEmulator& e, const Args& a) { e.ResetNext(Count(a, 0)); }},
    {"drop-answer", "[:N]", "the next N commands are executed, then the connection closes without an answer", 0, 1,
     [](PrinterEmulator& e, const Args& a) { e.DropNextAnswers(Count(a, 0)); }},
    {"drop-answer-to", ":LETTER[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N of them are executed and their answers lost", 1, 3,
     [](PrinterEmulator& e, const Args& a) {
       e.DropAnswers(a[0], Count(a, 1), a.size() > 2 ? std::atoi(a[2].c_str()) : 0);
     }},
    {"reply-code", ":LETTER:CODE[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N get reply code CODE (hexadecimal) unexecuted", 2, 4,
     [](PrinterEmulator& e, const Args& a) {
       e.ForceReplyCode(a[0], static_cast<int>(std::strtol(a[1].c_str(), nullptr, 16)), Count(a, 2),
                        a.size() > 3 ? std::atoi(a[3].c_str()) : 0);
     }},
    {"status-after", ":LETTER:STATUS[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N are executed, then answered with HTTP STATUS", 2, 4,
     [](PrinterEmulator& e, const Args& a) {
       e.AnswerStatus(a[0], std::atoi(a[1].c_str()), Count(a, 2), a.size() > 3 ? std::atoi(a[3].c_str()) : 0);
     }},
    {"late", ":LETTER:MS[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N are executed and answered MS milliseconds late", 2, 4,
     [](PrinterEmulator& e, const Args& a) {
       e.AnswerLate(a[0], std::chrono::milliseconds(std::atoi(a[1].c_str())), Count(a, 2),
                    a.size() > 3 ? std::atoi(a[3].c_str()) : 0);
     }},
    {"garbage", ":LETTER[:N]", "the next N commands LETTER get a frame that is no reply frame", 1, 2,
     [](PrinterEmulator& e, const Args& a) { e.ForceFrame(a[0], "garbage", Count(a, 1)); }},
    {"busy", "[:N]", "the next N journal reads (\"@\") answer busy", 0, 1,
     [](PrinterEmulator& e, const Args& a) { e.AnswerBusy(Count(a, 0)); }},
    {"lost", ":LETTER[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N never reach the printer: not carried out, no answer", 1, 3,
     [](PrinterEmulator& e, const Args& a) { e.LoseRequests(a[0], Count(a, 1), Skip(a, 2)); }},
    {"lost-then-refused", ":LETTER:REFUSED:CODE[:N]",
     "the next command LETTER never reaches the printer; the N commands REFUSED after it (all until restart "
     "when absent) get reply code CODE (hexadecimal) unexecuted",
     3, 4,
     [](PrinterEmulator& e, const Args& a) {
       e.LoseThenRefuse(a[0], a[1], static_cast<int>(std::strtol(a[2].c_str(), nullptr, 16)),
                        a.size() > 3 ? std::atoi(a[3].c_str()) : 1000000000);
     }},
    {"replay", ":LETTER[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N are carried out twice (a proxy repeating them); the second "
     "answer goes back",
     1, 3, [](PrinterEmulator& e, const Args& a) { e.ReplayRequests(a[0], Count(a, 1), Skip(a, 2)); }},
    {"refuse-after", ":LETTER:CODE[:N[:SKIP]]",
     "after SKIP commands LETTER pass, the next N are carried out, then answered with reply code CODE "
     "(hexadecimal: 4E, 14)",
     2, 4,
     [](PrinterEmulator& e, const Args& a) {
       e.RefuseAfterCarryingOut(a[0], static_cast<int>(std::strtol(a[1].c_str(), nullptr, 16)), Count(a, 2),
                                Skip(a, 3));
     }},
    {"reboot", ":LETTER[:SKIP[:z]]",
     "after SKIP commands LETTER pass, the next one finds the printer restarting: the open document vanishes, "
     "no answer; with z the day then needs a Z report",
     1, 3,
     [](PrinterEmulator& e, const Args& a) { e.RebootAt(a[0], a.size() > 2 && a[2] == "z", Skip(a, 1)); }},
    {"x-idle", "", "\"X\" answers idle while a document is open (the fiscal status still says it is)", 0, 0,
     [](PrinterEmulator& e, const Args&) { e.SetStateSaysIdle(true); }},
    {"x-no-closings", "", "\"X\" answers 0 closings taken", 0, 0,
     [](PrinterEmulator& e, const Args&) { e.SetStateHidesClosings(true); }},
    {"hold", ":LETTER[:SKIP[:after]]",
     "after SKIP commands LETTER pass, the next one is held (carried out first with after) until fpemu gets "
     "SIGUSR1; fpemu says \"held LETTER\" on standard error",
     1, 3,
     [](PrinterEmulator& e, const Args& a) {
       e.HoldAt(a[0],
                a.size() > 2 && a[2] == "after" ? PrinterEmulator::HoldMode::AfterCarryingOut
                                                : PrinterEmulator::HoldMode::BeforeCarryingOut,
                Skip(a, 1));
     }},
    {"paper-end", "", "the printer is out of paper", 0, 0,
     [](PrinterEmulator& e, const Args&) { e.SetPaperEnd(true); }},
    {"inactive-period", "", "the printer is in its inactive period: a Z report is due", 0, 0,
     [](PrinterEmulator& e, const Args&) { e.SetInactivePeriod(true); }},
};

Args Split(const std::string& aText) {
  Args parts;
  size_t start = 0;
  for (size_t colon = aText.find(':'); colon != std::string::npos; colon = aText.find(':', start)) {
    parts.push_back(aText.substr(start, colon - start));
    start = colon + 1;
  }
  parts.push_back(aText.substr(start));
  return parts;
}

}  // namespace

bool ApplyFault(PrinterEmulator& aEmulator, const std::string& aSpec, std::string& aError) {
  Args args = Split(aSpec);
  const std::string name = args.front();
  args.erase(args.begin());
  for (const FaultKind& kind : kFaults) {
    if (name != kind.fName) continue;
    if (args.size() < kind.fMinArgs || args.size() > kind.fMaxArgs) {
      aError = "fault " + name + " takes the form " + name + kind.fSyntax;
      return false;
    }
    kind.fApply(aEmulator, args);
    return true;
  }
  aError = "no fault " + name + " (fpemu --help lists them)";
  return false;
}

void ListFaults(std::ostream& aOut) {
  for (const FaultKind& kind : kFaults) {
    aOut << "  " << kind.fName << kind.fSyntax << "\n      " << kind.fHelp << "\n";
  }
}

}  // namespace fp::emu
