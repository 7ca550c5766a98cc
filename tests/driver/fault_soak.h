// The seeded fault soak shared by the suite (a short run) and bench/fault_soak (a long one):
// one device opened through OPEN and driven through the exports with receipts, non-fiscal
// documents, X and Z reports, reprints, VAT and department programming, the clock, the
// drawer and status reads, while the printer emulator misbehaves in one of its ways before
// a call. Afterwards it holds the printer's journal and paper against what the calls
// reported: every document reported printed is there once, nothing reported not printed is
// there, nothing is printed twice, the result code is -1 exactly when Error is True, every
// document left unsettled was settled by a later call, every call stayed within its bound, and the
// device works again once the faults stop.
//
// Where the calls go is the host's business (kSoakHost): the in-process request frame with
// the device's pauses and clock made virtual, or the built shared library as a host loads it.
// The bound of each call is counted from the device log (pauses taken, exchanges made), so
// nothing here depends on how fast the machine is.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/amount.h"
#include "base/xml_text.h"
#include "fpemu/full_backlog.h"
#include "fpemu/printer_emulator.h"

namespace fp::soak {

// One export call as a host sees it: the 16-bit result and the two texts, in UTF-8.
struct kSoakCall {
  int16_t fResult = 0;
  std::string fOutput;
  std::string fError;

  // The text of the first element aName of the result fragment, entities decoded; empty when
  // absent.
  std::string Get(const std::string& aName) const {
    const std::string open = "<" + aName + ">", close = "</" + aName + ">";
    const size_t start = fOutput.find(open);
    if (start == std::string::npos) return {};
    const size_t end = fOutput.find(close, start);
    if (end == std::string::npos) return {};
    std::string text = fOutput.substr(start + open.size(), end - start - open.size());
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : kEntities)
      for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
        text.replace(at, std::char_traits<char>::length(entity), plain);
    return text;
  }
  bool Error() const { return Get("Error") != "False"; }
};

// Where the soak's calls go.
class kSoakHost {
 public:
  virtual ~kSoakHost() = default;
  virtual kSoakCall Call(const std::string& aExport, const std::string& aXml) = 0;
  // Called once the device is open, with its handle: a host may reach into the device.
  virtual void Opened(const std::string& /*aHandle*/) {}
  // Milliseconds a call took: real time plus the pauses a virtual sleeper skipped. Only
  // reported, never held against a limit.
  virtual long long ElapsedMs(std::chrono::steady_clock::time_point aStart) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - aStart).count();
  }
};

struct kSoakOptions {
  unsigned fSeed = 13;
  int fCalls = 60;
  // The device's outcome bound (parameter OutcomeTimeout) and its timeouts; short, so that a
  // printer that stays silent costs little real time.
  int fOutcomeTimeoutMs = 3000;
  int fConnectTimeoutMs = 1000;
  int fReadTimeoutMs = 1000;
  // Faults that cost real time (a printer switched off or hanging, answers past the read
  // timeout, connections that never complete). Without them the soak keeps to faults that
  // end at once: lost, refused, reset, garbage and error answers.
  bool fSlowFaults = true;
  std::string fLogId = "soak";
  // Called after every call with a line saying what it was and how it ended (bench --verbose).
  std::function<void(const std::string&)> fTrace;
};

// Where a soak runs: a scratch folder for the device logs (FPDRIVER_APP_DIR points at it
// while the printer lives) and a started emulator that already carries the driver's payment
// table. Both go with it.
class kSoakPrinter {
 public:
  explicit kSoakPrinter(const std::string& aName)
      : fDir(std::filesystem::temp_directory_path() / (aName + "_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(fDir);
    ::setenv("FPDRIVER_APP_DIR", fDir.c_str(), 1);
    fEmu.Start();
    const auto table = emu::PrinterEmulator::DriverPaymentTable();
    for (int slot = 1; slot <= 20; ++slot) fEmu.SetPaymentSlot(slot, table[slot - 1]);
  }
  ~kSoakPrinter() {
    fEmu.Stop();
    std::error_code ec;
    std::filesystem::remove_all(fDir, ec);
  }
  kSoakPrinter(const kSoakPrinter&) = delete;
  kSoakPrinter& operator=(const kSoakPrinter&) = delete;

  std::filesystem::path fDir;
  emu::PrinterEmulator fEmu;
};

// An integer from the environment (FP_SOAK_CALLS, FP_SOAK_SEED), or aDefault.
inline int EnvOr(const char* aName, int aDefault) {
  const char* v = std::getenv(aName);
  return v && *v ? std::atoi(v) : aDefault;
}

struct kSoakFigures {
  int fCalls = 0;
  int fFaults = 0;
  int fReceiptsPrinted = 0;   // PRINTFR reported printed (once per receipt)
  int fDocumentsPrinted = 0;  // PRINTNFR reported printed
  int fZReports = 0;          // PRINTZR reported taken
  int fReprints = 0;          // REPRINTFR reported done
  int fProgrammings = 0;      // SETVATTABLE / SETDEPTTABLE reported done
  int fUnknowns = 0;          // results starting "Outcome unknown: "
  int fOpenQuestions = 0;     // documents a later call found unsettled in the journal
  int fSettled = 0;           // of those, the ones it settled as printed or not printed
  // Outcomes the host could not know from the result: PRINTNFR failed with a plain
  // unreadable answer (the document printed, or left open to come out inside the next), and
  // REPRINTFR reported done with no copy on paper. Each is a broken rule.
  int fUncertainDocuments = 0;
  int fFalseReprints = 0;
  long long fWorstCallMs = 0;       // real plus virtual time
  std::string fWorstCall;
  long long fWorstPausesMs = 0;     // counted from the log
  int fWorstExchanges = 0;          // counted from the log
  std::map<std::string, int> fFaultKinds;
  std::map<std::string, int> fExports;
};

struct kSoakReport {
  kSoakFigures fFigures;
  std::vector<std::string> fViolations;  // empty: every rule held
};

namespace detail {

inline constexpr const char* kDriver = "VNRP_TARVOLX40FPETH_10";
inline constexpr const char* kUnknownPrefix = "Outcome unknown: ";
inline constexpr const char* kUnreadable = "Invalid reply frame from the printer";

inline bool StartsWith(const std::string& aText, const std::string& aPrefix) { return aText.rfind(aPrefix, 0) == 0; }
inline bool Has(const std::string& aText, const std::string& aPart) { return aText.find(aPart) != std::string::npos; }

inline std::string SaleReceipt(const std::string& aTag, int aCents) {
  const std::string price = std::to_string(aCents / 100) + "." + (aCents % 100 < 10 ? "0" : "") + std::to_string(aCents % 100);
  return "<Receipt><Type>Sale</Type><Lines><productsale><Description>" + aTag +
         "</Description><Quantity>1</Quantity><Department>1</Department><Price>" + price + "</Price><Amount>" + price +
         "</Amount></productsale></Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>" + price +
         "</Amount></Payment></Payments></Receipt>";
}

// The tags (TAGR12, TAGN7) printed on each journal entry of aKind that was not voided.
inline std::map<std::string, int> JournalTags(const std::vector<emu::JournalEntry>& aJournal, emu::JournalKind aKind) {
  static const std::regex kTag("TAG[RN][0-9]+");
  std::map<std::string, int> tags;
  for (const auto& e : aJournal) {
    if (e.fKind != aKind || e.fVoided) continue;
    for (const auto& line : e.fLines) {
      std::smatch m;
      if (std::regex_search(line, m, kTag)) tags[m.str()]++;
    }
  }
  return tags;
}

// What the device log says one operation cost: the pauses it took and the exchanges it made.
struct kLoggedCall {
  std::string fName;
  long long fPausesMs = 0;
  int fExchanges = 0;
  int fSettling = 0;  // documents an earlier call left unsettled, taken up by this one
  int fSettled = 0;   // of those, settled as printed or not printed
};

// Splits the device logs in aFolder (files naming aLogId) at the operation headers and counts
// each operation's pauses and exchanges from the lines the command channel and the outcome
// reads write: a command ("TX: :<packet>"), a failed exchange ("TX: :Retry:n", followed by
// a pause unless "Not repeated"), a busy journal ("Retry Frame Equal", half a second) and an
// outcome read that found the printer silent (one pause).
inline std::vector<kLoggedCall> CountLoggedCalls(const std::filesystem::path& aFolder, const std::string& aLogId) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(aFolder, ec))
    if (e.is_regular_file() && e.path().extension() == ".log" && Has(e.path().filename().string(), "_" + aLogId))
      files.push_back(e.path());
  // A log that rolled over keeps the older lines in a file named after the time it closed:
  // oldest first by the time each was last written.
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    std::error_code e1, e2;
    return std::filesystem::last_write_time(a, e1) < std::filesystem::last_write_time(b, e2);
  });
  const std::string header = std::string(60, '-') + " ";
  std::vector<kLoggedCall> calls;
  for (const auto& file : files) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
      const size_t at = line.find(header);
      if (at != std::string::npos) {
        calls.push_back({line.substr(at + header.size()), 0, 0});
        continue;
      }
      if (calls.empty()) continue;
      kLoggedCall& c = calls.back();
      if (Has(line, "TX: :Retry:")) {
        c.fPausesMs += 1000;
        ++c.fExchanges;
      } else if (Has(line, "Outcome: settling ")) {
        ++c.fSettling;
      } else if (Has(line, " is printed") || Has(line, " is not printed")) {
        if (Has(line, "Outcome: ")) ++c.fSettled;
      } else if (Has(line, "TX: :Not repeated")) {
        c.fPausesMs -= 1000;
      } else if (Has(line, "TX: :")) {
        ++c.fExchanges;
      } else if (Has(line, "Retry Frame Equal 00/00/02")) {
        c.fPausesMs += 500;
        ++c.fExchanges;
      } else if (Has(line, "Outcome: printer not answering (attempt")) {
        c.fPausesMs += 1000;
      }
    }
  }
  return calls;
}

}  // namespace detail

// Runs the soak against aEmulator (started, with the driver's payment table) through aHost.
// FPDRIVER_APP_DIR must point at aLogRoot, where the device log and the document journal go.
inline kSoakReport RunFaultSoak(emu::PrinterEmulator& aEmu, kSoakHost& aHost, const kSoakOptions& aOptions,
                                const std::filesystem::path& aLogRoot) {
  using namespace detail;
  kSoakReport report;
  kSoakFigures& fig = report.fFigures;
  auto violation = [&](const std::string& aText) {
    if (report.fViolations.size() < 50) report.fViolations.push_back(aText);
  };
  std::mt19937 random(aOptions.fSeed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

  const std::string params = "<Parameters><OutcomeTimeout>" + std::to_string(aOptions.fOutcomeTimeoutMs) +
                             "</OutcomeTimeout><MinReadTimeout>" + std::to_string(aOptions.fReadTimeoutMs) +
                             "</MinReadTimeout></Parameters>";
  kSoakCall open = aHost.Call(
      "OPEN", std::string("<ReceiptPrinterManager><Driver>") + kDriver + "</Driver><LogId>" + aOptions.fLogId +
                  "</LogId><Connection><Type>HTTP</Type><URL>" + aEmu.BaseUrl() + "</URL><ConnectTimeout>" +
                  std::to_string(aOptions.fConnectTimeoutMs) + "</ConnectTimeout><ReadTimeout>" +
                  std::to_string(aOptions.fReadTimeoutMs) + "</ReadTimeout></Connection>" + params +
                  "</ReceiptPrinterManager>");
  if (open.fResult != 0) {
    violation("OPEN failed: " + open.fError);
    return report;
  }
  const std::string handle = open.Get("Handle");
  aHost.Opened(handle);
  auto request = [&](const std::string& aBody, const std::string& aParams = "") {
    return std::string("<ReceiptPrinterManager><Driver>") + kDriver + "</Driver><Handle>" + handle +
           "</Handle><Parameters>" + aParams + "</Parameters>" + aBody + "</ReceiptPrinterManager>";
  };
  const std::filesystem::path logFolder = aLogRoot / "LogFiles" / "FiscalPrinter";

  // Slot 9 repeats 22 % on the emulator; VAT programming puts 6 % there and the soak sets it
  // back before the next programming, so every programming really changes the printer.
  constexpr int kVatSlot = 9;
  const std::string vatRequest = "<VATTable><Vat><Code>2200</Code><Rate>22</Rate></Vat><Vat><Code>0600</Code>"
                                 "<Rate>6</Rate></Vat></VATTable>";

  std::set<std::string> printedTags, notPrintedTags, unknownTags, nfPrinted, nfNotPrinted, nfUnknown;
  int reprintsUnknown = 0;
  std::string pending;  // a receipt whose outcome is unknown: the next call sends it again
  std::string pendingTag;
  std::string lastNumber, lastClosing, lastDate;  // the last receipt reported printed
  int tag = 0;
  emu::FullBacklogListener hanging;

  auto copiesOnPaper = [&] {
    int copies = 0;
    for (const auto& line : aEmu.Paper()) copies += Has(line, "*** COPIA ***");
    return copies;
  };

  auto runCall = [&](const std::string& aExport, const std::string& aXml) {
    fig.fExports[aExport]++;
    ++fig.fCalls;
    const auto start = std::chrono::steady_clock::now();
    kSoakCall c = aHost.Call(aExport, aXml);
    const long long ms = aHost.ElapsedMs(start);
    if (ms > fig.fWorstCallMs) {
      fig.fWorstCallMs = ms;
      fig.fWorstCall = aExport + ": " + c.fError;
    }
    if ((c.fResult == -1) != c.Error() || (c.fResult != 0 && c.fResult != -1))
      violation(aExport + " returned " + std::to_string(c.fResult) + " with Error " + c.Get("Error"));
    if (c.Error() && c.fError != c.Get("ErrorText"))
      violation(aExport + ": the error output differs from ErrorText: " + c.fError);
    if (StartsWith(c.fError, kUnknownPrefix)) ++fig.fUnknowns;
    if (aOptions.fTrace)
      aOptions.fTrace(std::to_string(fig.fCalls) + " " + aExport + " -> " + std::to_string(c.fResult) + " " + c.fError +
                      (c.Get("MessageText").empty() ? "" : " [" + c.Get("MessageText") + "]") + " " +
                      std::to_string(ms) + " ms");
    return c;
  };

  auto printReceipt = [&](const std::string& aReceipt, const std::string& aTag) {
    const kSoakCall c = runCall("PRINTFR", request(aReceipt));
    pending.clear();
    pendingTag.clear();
    if (!c.Error()) {
      if (printedTags.count(aTag)) violation(aTag + " reported printed twice");
      printedTags.insert(aTag);
      unknownTags.erase(aTag);
      ++fig.fReceiptsPrinted;
      lastNumber = c.Get("ReceiptNumber");
      lastClosing = c.Get("EJClosingNumber");
      lastDate = c.Get("ReceiptDateTime");
      // Numbers the printer did not give after the receipt stay empty and are named.
      if ((lastNumber.empty() || lastClosing.empty()) && !StartsWith(c.fError, "The document was printed but its "))
        violation(aTag + " printed without its numbers: " + c.fError);
    } else if (StartsWith(c.fError, kUnknownPrefix)) {
      unknownTags.insert(aTag);
      pending = aReceipt;
      pendingTag = aTag;
    } else if (!unknownTags.count(aTag)) {
      notPrintedTags.insert(aTag);
    }
    return c;
  };

  auto calm = [&] {
    aEmu.SetPaperListener(nullptr);
    aEmu.ClearFaults();
    aEmu.SetDelay(std::chrono::milliseconds(0));
    hanging.Stop();
    aEmu.Start();
  };

  static const char* const kLetters[] = {">", "}", "3", "5", "m", "7", "x", "@", "q", "T", "X", "i",
                                         "t", "?", "+", "b", "N", "e", ":", "*"};
  for (int i = 0; i < aOptions.fCalls; ++i) {
    calm();
    bool busyArmed = false;
    if (pick(100) < 45) {
      ++fig.fFaults;
      const std::string letter = kLetters[pick(static_cast<int>(std::size(kLetters)))];
      // One fault in four is a slow one when they are wanted: each costs a second or more.
      const bool slow = aOptions.fSlowFaults && pick(4) == 0;
      const int kind = slow ? 8 + pick(5) : pick(8);
      if (aOptions.fTrace) aOptions.fTrace("fault " + std::to_string(kind) + " on " + letter);
      switch (kind) {
        case 0: aEmu.ResetNext(1); fig.fFaultKinds["connection reset"]++; break;
        case 1: aEmu.DropNextAnswers(1); fig.fFaultKinds["carried out, answer dropped"]++; break;
        case 2: aEmu.DropAnswers(letter, 1, pick(2)); fig.fFaultKinds["carried out, answer dropped (by letter)"]++; break;
        case 3: aEmu.AnswerStatus(letter, pick(2) ? 500 : 504, 1, pick(2)); fig.fFaultKinds["carried out, then HTTP 5xx"]++; break;
        case 4: aEmu.ForceReplyCode(letter, pick(2) ? 0x0F : 0x2C, 1, pick(2)); fig.fFaultKinds["refused with a reply code"]++; break;
        case 5: aEmu.ForceFrame(letter, pick(2) ? "garbage" : "", 1, pick(2)); fig.fFaultKinds["garbage or empty frame"]++; break;
        case 6: aEmu.FailNext(1, pick(2) ? 0 : 503); fig.fFaultKinds["not carried out, closed or HTTP 503"]++; break;
        case 7:
          aEmu.AnswerBusy(1 + pick(3));
          busyArmed = true;
          fig.fFaultKinds["busy journal"]++;
          break;
        case 8:
          aEmu.AnswerLate(letter, std::chrono::milliseconds(aOptions.fReadTimeoutMs + 1500), 1, pick(2));
          fig.fFaultKinds["carried out, answered past the read timeout"]++;
          break;
        case 9: aEmu.FailNext(2 + pick(2), 0); fig.fFaultKinds["not carried out, several times"]++; break;
        case 10:
          // The printer goes silent in the middle of a document.
          aEmu.SetPaperListener([&aEmu, done = false](const std::string&) mutable {
            if (!done) aEmu.FailNext(100000, 0);
            done = true;
          });
          fig.fFaultKinds["printer silent mid-document"]++;
          break;
        case 11: aEmu.Stop(); fig.fFaultKinds["printer off (connection refused)"]++; break;
        case 12: {
          const uint16_t port = aEmu.Port();
          aEmu.Stop();
          hanging.Start(port);
          fig.fFaultKinds["printer hanging (connect timeout)"]++;
          break;
        }
      }
    }

    if (!pending.empty()) {
      printReceipt(pending, pendingTag);
      continue;
    }
    const int op = pick(100);
    if (op < 34) {
      const std::string t = "TAGR" + std::to_string(++tag);
      printReceipt(SaleReceipt(t, 100 + pick(900)), t);
    } else if (op < 46) {
      const std::string t = "TAGN" + std::to_string(++tag);
      const kSoakCall c = runCall("PRINTNFR", request("<NFReceipt><Lines><Text><Value>" + t +
                                                      "</Value><Alignment>left</Alignment></Text></Lines></NFReceipt>"));
      // An unreadable answer fails the call as it is, though the printer may have acted on
      // the command or left the document open for a later closing: not counted either way.
      if (!c.Error()) {
        nfPrinted.insert(t);
      } else if (StartsWith(c.fError, kUnknownPrefix)) {
        nfUnknown.insert(t);
      } else if (StartsWith(c.fError, kUnreadable)) {
        // A plain failure that may have printed the document or left it open.
        nfUnknown.insert(t);
        ++fig.fUncertainDocuments;
        violation("PRINTNFR " + t + " failed with an unreadable answer, its outcome untold: " + c.fError);
      } else {
        nfNotPrinted.insert(t);
      }
    } else if (op < 52) {
      runCall("PRINTXR", request("<XReport/>"));
    } else if (op < 57) {
      const kSoakCall c = runCall("PRINTZR", request("<ZReport/>"));
      if (!c.Error()) {
        ++fig.fZReports;
      }
    } else if (op < 65) {
      if (lastNumber.empty()) continue;
      const int copiesBefore = copiesOnPaper();
      const kSoakCall c = runCall(
          "REPRINTFR", request("<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>" + lastDate +
                               "</ReceiptDateTime><ReceiptNumber>" + lastNumber + "</ReceiptNumber><EJClosingNumber>" +
                               lastClosing + "</EJClosingNumber></ReceiptReference>"));
      const int copiesAfter = copiesOnPaper();
      if (!c.Error() && copiesAfter == copiesBefore) {
        ++fig.fFalseReprints;
        violation(std::string("REPRINTFR reported done, no copy printed") + (busyArmed ? " (busy journal)" : ""));
      } else if (!c.Error()) {
        ++fig.fReprints;
      } else if (StartsWith(c.fError, kUnknownPrefix)) {
        ++reprintsUnknown;
      } else if (copiesAfter != copiesBefore) {
        violation("REPRINTFR reported not done, a copy printed: " + c.fError);
      }
    } else if (op < 71) {
      // Programming needs the printer's own state, so the slot goes back first (as a
      // technician at the till would have left it).
      aEmu.SetVatSlot(kVatSlot, {Amount::FromInt(22), 0});
      const kSoakCall c = runCall("SETVATTABLE", request(vatRequest));
      const Amount rate = aEmu.Snapshot().fVat[kVatSlot - 1].fRate;
      if (!c.Error()) {
        ++fig.fProgrammings;
        if (rate != Amount::FromInt(6)) violation("SETVATTABLE reported done, slot rate " + rate.ToXmlText());
      } else if (!StartsWith(c.fError, kUnknownPrefix) && rate == Amount::FromInt(6)) {
        violation("SETVATTABLE reported not done but programmed: " + c.fError);
      }
    } else if (op < 77) {
      const std::string description = "DEPT" + std::to_string(++tag);
      const kSoakCall c = runCall("SETDEPTTABLE", request("<DeptTable><Department><Code>3</Code><Description>" +
                                                          description + "</Description><VATCode>2200</VATCode>"
                                                          "</Department></DeptTable>"));
      const std::string now = aEmu.Snapshot().fDepartments[2].fDescription;
      if (!c.Error()) {
        ++fig.fProgrammings;
        if (now != description) violation("SETDEPTTABLE reported done, department 3 is " + now);
      } else if (!StartsWith(c.fError, kUnknownPrefix) && now == description) {
        violation("SETDEPTTABLE reported not done but programmed: " + c.fError);
      }
    } else if (op < 82) {
      runCall("SETDATETIME", request("", "<DateTime>" + DateTimeToXmlText(aEmu.Clock()) + "</DateTime>"));
    } else if (op < 88) {
      runCall("OPENDR", request("<Drawer><Number>1</Number></Drawer>"));
    } else {
      runCall("GETSTATUS", request(""));
    }
  }

  // The faults stop: what is pending is settled, and the device works.
  calm();
  if (!pending.empty()) printReceipt(pending, pendingTag);
  const std::string t = "TAGR" + std::to_string(++tag);
  const kSoakCall last = printReceipt(SaleReceipt(t, 250), t);
  if (last.Error()) violation("the device does not work once the faults stop: " + last.fError);
  if (!pending.empty()) violation("a receipt's outcome stays unknown once the faults stop");
  aHost.Call("CLOSE", request(""));

  // The journal against what was reported.
  const auto journal = aEmu.Journal();
  const auto sales = JournalTags(journal, emu::JournalKind::Sale);
  for (const auto& [tagText, count] : sales) {
    if (count > 1) violation(tagText + " printed " + std::to_string(count) + " times");
    if (!printedTags.count(tagText)) violation(tagText + " printed but not reported printed");
  }
  for (const auto& tagText : printedTags)
    if (!sales.count(tagText)) violation(tagText + " reported printed but not in the journal");
  const auto documents = JournalTags(journal, emu::JournalKind::NonFiscal);
  for (const auto& [tagText, count] : documents) {
    if (count > 1) violation(tagText + " printed " + std::to_string(count) + " times");
    if (nfNotPrinted.count(tagText)) violation(tagText + " reported not printed but in the journal");
  }
  for (const auto& tagText : nfPrinted)
    if (!documents.count(tagText)) violation(tagText + " reported printed but not in the journal");
  fig.fDocumentsPrinted = static_cast<int>(nfPrinted.size());
  // Programming closes the day too, so the journal may hold more Z reports than were asked.
  const auto zJournal = std::count_if(journal.begin(), journal.end(),
                                      [](const emu::JournalEntry& e) { return e.fKind == emu::JournalKind::ZReport; });
  if (zJournal < fig.fZReports)
    violation(std::to_string(fig.fZReports) + " Z reports reported taken, " + std::to_string(zJournal) + " in the journal");
  const int copies = copiesOnPaper();
  if (copies < fig.fReprints || copies > fig.fReprints + reprintsUnknown)
    violation(std::to_string(copies) + " copies on paper for " + std::to_string(fig.fReprints) + " reprints done and " +
              std::to_string(reprintsUnknown) + " unknown");

  // Each call within its bound: the outcome reads of a call (settling an earlier question,
  // reconciling its own lost answer, reading a done document's numbers) each stop at the
  // outcome bound, and a failed command pauses at most three times.
  const long long pauseBound = 3LL * (aOptions.fOutcomeTimeoutMs + 4000) + 12000;
  constexpr int kExchangeBound = 400;
  const auto calls = CountLoggedCalls(logFolder, aOptions.fLogId);
  for (const auto& c : calls) {
    fig.fOpenQuestions += c.fSettling;
    fig.fSettled += c.fSettled;
  }
  for (const auto& c : calls) {
    if (c.fPausesMs > fig.fWorstPausesMs) fig.fWorstPausesMs = c.fPausesMs;
    fig.fWorstExchanges = std::max(fig.fWorstExchanges, c.fExchanges);
    if (c.fPausesMs > pauseBound || c.fExchanges > kExchangeBound)
      violation(c.fName + " paused " + std::to_string(c.fPausesMs) + " ms over " + std::to_string(c.fExchanges) +
                " exchanges");
  }
  return report;
}

// The figures in a few lines, for the test's output and the bench program.
inline std::string FormatFigures(const kSoakFigures& aFig) {
  std::string out = std::to_string(aFig.fCalls) + " calls, " + std::to_string(aFig.fFaults) + " faults; printed: " +
                    std::to_string(aFig.fReceiptsPrinted) + " receipts, " + std::to_string(aFig.fDocumentsPrinted) +
                    " non-fiscal documents, " + std::to_string(aFig.fZReports) + " Z reports, " +
                    std::to_string(aFig.fReprints) + " reprints, " + std::to_string(aFig.fProgrammings) +
                    " programmings; " + std::to_string(aFig.fUnknowns) + " unknown outcomes, " +
                    std::to_string(aFig.fOpenQuestions) + " left unsettled, " + std::to_string(aFig.fSettled) +
                    " settled by a later call\nuncertain: " + std::to_string(aFig.fUncertainDocuments) +
                    " non-fiscal documents failed with an unreadable answer, " + std::to_string(aFig.fFalseReprints) +
                    " reprints reported done with no copy printed\nworst call " + std::to_string(aFig.fWorstCallMs) + " ms (" +
                    aFig.fWorstCall + "); worst counted pauses " + std::to_string(aFig.fWorstPausesMs) +
                    " ms, most exchanges in one call " + std::to_string(aFig.fWorstExchanges) + "\n";
  for (const auto& [name, n] : aFig.fExports) out += "  " + name + ": " + std::to_string(n) + "\n";
  for (const auto& [kind, n] : aFig.fFaultKinds) out += "  fault " + kind + ": " + std::to_string(n) + "\n";
  return out;
}

}  // namespace fp::soak
