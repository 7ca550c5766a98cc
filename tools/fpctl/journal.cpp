// fpctl journal [--serial SERIAL] [--since UTC] [--limit N] [--folder FOLDER]
// fpctl settle REQUEST.xml
//
// The document journal of a printer as the library keeps it: `journal` lists it through the
// library's own store (it never begins a journal where there is none); `settle` has the
// library settle what is unsettled (its OPEN does that before anything else), then lists
// what the printer's own answers still leave unknown.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "device/document_journal.h"
#include "fpctl.h"

namespace fpctl {

namespace {

namespace fs = std::filesystem;

constexpr const char* kJournalUsage =
    "usage: fpctl journal [--serial SERIAL] [--since UTC] [--limit N] [--folder FOLDER]\n"
    "\n"
    "Lists the documents of the printer with serial number SERIAL from its document journal,\n"
    "oldest first, one line each: the row, when it was begun (UTC), the kind, the state\n"
    "(started, closing sent, printed, not printed, unknown), the printer's document number\n"
    "and closing (Z) number, the journal number, the total, the document's identity and the\n"
    "message its call ended with. Without --serial, lists the printers with a journal.\n"
    "\n"
    "  --since UTC      documents begun at or after UTC: 2026-12-10 or 2026-12-10T14:05:00Z\n"
    "  --limit N        at most N documents (default 1000)\n"
    "  --folder FOLDER  the journal folder; default DocumentJournal in the application folder\n"
    "                   ($FPDRIVER_APP_DIR, else this program's folder), where the library\n"
    "                   keeps it for a host started from the same place\n"
    "\n"
    "The journal is opened as the library opens it: nothing in it is changed, but a damaged\n"
    "file is set aside (never deleted) and a new one begun. Exit status: 0 when listed, 1 when\n"
    "there is no such journal or it cannot be read, 2 on a usage problem.\n";

constexpr const char* kSettleUsage =
    "usage: fpctl settle REQUEST.xml\n"
    "\n"
    "Settles the documents of a printer whose outcome is not known yet: OPENs the device of\n"
    "REQUEST.xml (an OPEN request; the library settles the printer's unsettled documents\n"
    "from its own answers before anything else), asks its status, CLOSEs it, and lists the\n"
    "documents that are still unsettled, as fpctl journal does. The journal is the one in\n"
    "the application folder ($FPDRIVER_APP_DIR, else this program's folder).\n"
    "\n"
    "Exit status: 0 when nothing is left unsettled, 1 when something is or a call failed,\n"
    "2 on a usage problem.\n";

constexpr size_t kDefaultLimit = 1000;

std::string OrDash(const std::string& aText) { return aText.empty() ? "-" : aText; }

// One line of the listing, in columns that line up for the usual lengths.
std::string Line(const fp::vnJournalEntry& aRow) {
  std::ostringstream line;
  auto column = [&line](const std::string& aText, size_t aWidth) {
    line << aText;
    line << std::string(aText.size() < aWidth ? aWidth - aText.size() : 0, ' ') << "  ";
  };
  column(std::to_string(aRow.fId), 5);
  column(aRow.fCreated, 20);
  column(fp::JournalKindName(aRow.fKind), 11);
  column(fp::JournalStateName(aRow.fState), 12);
  column("number " + OrDash(aRow.fNumber), 12);
  column("closing " + OrDash(aRow.fClosing), 12);
  column("ej " + OrDash(aRow.fEJNumber), 12);
  column("total " + OrDash(aRow.fTotal), 12);
  column(OrDash(aRow.fIdentity), 16);
  line << aRow.fMessage;
  std::string text = line.str();
  // A message of several lines stays on this one.
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// 2026-12-10, 2026-12-10T14, 2026-12-10T14:05, 2026-12-10T14:05:00, each with or without Z.
bool IsUtcPrefix(const std::string& aText) {
  const std::string shape = "dddd-dd-ddTdd:dd:dd";
  std::string text = aText;
  if (!text.empty() && text.back() == 'Z') text.pop_back();
  if (text.size() != 10 && text.size() != 13 && text.size() != 16 && text.size() != 19) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

std::string DefaultFolder() {
  const std::string folder = fp::kDocumentJournal::DefaultFolder();
  return folder.empty() ? "DocumentJournal" : folder;
}

fs::path Utf8Path(const std::string& aPath) { return fs::path(std::u8string(aPath.begin(), aPath.end())); }

// Lists what the journal of aSerial in aFolder holds; the exit status of the command.
int ListJournal(const std::string& aFolder, const std::string& aSerial, const std::string& aSince, size_t aLimit,
                bool aUnsettledOnly, const char* aCommand) {
  const std::string path = aFolder + "/" + fp::kDocumentJournal::JournalFileName(aSerial);
  std::error_code ec;
  if (!fs::exists(Utf8Path(path), ec)) {
    if (aUnsettledOnly) {
      std::cout << "nothing unsettled on printer " << aSerial << " (it has no journal in " << aFolder << ")\n";
      return 0;
    }
    std::cerr << "fpctl " << aCommand << ": no journal of printer " << aSerial << " in " << aFolder << "\n";
    return 1;
  }
  std::string damaged;
  auto journal = fp::kDocumentJournal::Open(aFolder, aSerial, &damaged);
  if (!damaged.empty())
    std::cerr << "fpctl " << aCommand << ": the journal was damaged; it is kept as " << damaged
              << " and a new one begun\n";
  const auto rows = aUnsettledOnly ? journal->Unsettled() : journal->List(aSince, aLimit);
  for (const auto& row : rows) std::cout << Line(row) << "\n";
  if (aUnsettledOnly)
    std::cout << (rows.empty() ? "nothing unsettled" : std::to_string(rows.size()) + " unsettled") << " on printer "
              << aSerial << "\n";
  else if (rows.empty())
    std::cout << "no documents" << (aSince.empty() ? "" : " since " + aSince) << "\n";
  else if (rows.size() == aLimit)
    std::cerr << "fpctl journal: the first " << aLimit << " documents; --since or --limit for the others\n";
  return aUnsettledOnly && !rows.empty() ? 1 : 0;
}

int RunJournal(kLibrary&, const std::vector<std::string>& aArgs) {
  std::string serial, since, folder = DefaultFolder();
  size_t limit = kDefaultLimit;
  for (size_t i = 0; i < aArgs.size(); ++i) {
    const std::string& a = aArgs[i];
    if (a == "--help" || a == "-h") {
      std::cout << kJournalUsage;
      return 0;
    }
    const bool takesValue = a == "--serial" || a == "--since" || a == "--limit" || a == "--folder";
    if (!takesValue || i + 1 >= aArgs.size()) {
      std::cerr << (takesValue ? "fpctl journal: " + a + " needs a value\n" : "fpctl journal: unknown argument " + a + "\n")
                << kJournalUsage;
      return 2;
    }
    const std::string& value = aArgs[++i];
    if (a == "--serial") serial = value;
    if (a == "--folder") folder = value;
    if (a == "--since") {
      if (!IsUtcPrefix(value)) {
        std::cerr << "fpctl journal: --since takes a UTC time such as 2026-12-10 or 2026-12-10T14:05:00Z, not "
                  << value << "\n";
        return 2;
      }
      since = value;
      if (since.size() == 19) since += 'Z';
    }
    if (a == "--limit") {
      char* end = nullptr;
      const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n == 0 || value[0] == '-') {
        std::cerr << "fpctl journal: --limit takes a positive number, not " << value << "\n";
        return 2;
      }
      limit = static_cast<size_t>(n);
    }
  }
  try {
    if (!serial.empty()) return ListJournal(folder, serial, since, limit, false, "journal");
    // The printers that have a journal here.
    std::error_code ec;
    std::vector<std::string> serials;
    for (fs::directory_iterator it(Utf8Path(folder), ec), end; !ec && it != end; it.increment(ec)) {
      const std::u8string name = it->path().filename().u8string();
      const std::string text(name.begin(), name.end());
      const std::string suffix = ".journal";
      if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        serials.push_back(text.substr(0, text.size() - suffix.size()));
    }
    if (serials.empty()) {
      std::cerr << "fpctl journal: no journals in " << folder << "\n";
      return 1;
    }
    std::sort(serials.begin(), serials.end());
    std::cout << "journals in " << folder << " (--serial names one):\n";
    for (const std::string& s : serials) std::cout << "  " << s << "\n";
    return 0;
  } catch (const fp::kJournalError& e) {
    std::cerr << "fpctl journal: the journal cannot be read: " << e.what() << "\n";
    return 1;
  }
}

int RunSettle(kLibrary& aLibrary, const std::vector<std::string>& aArgs) {
  if (aArgs.size() == 1 && (aArgs[0] == "--help" || aArgs[0] == "-h")) {
    std::cout << kSettleUsage;
    return 0;
  }
  if (aArgs.size() != 1 || aArgs[0].empty() || aArgs[0][0] == '-') {
    std::cerr << kSettleUsage;
    return 2;
  }
  std::ifstream file(aArgs[0], std::ios::binary);
  if (!file) {
    std::cerr << "fpctl settle: cannot read " << aArgs[0] << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::string request = text.str();
  if (request.compare(0, 3, "\xEF\xBB\xBF") == 0) request.erase(0, 3);

  auto call = [&aLibrary](const char* aExport, const std::string& aRequest) {
    const kLibrary::Answer answer = aLibrary.Call(aExport, aRequest);
    std::cout << aExport << ": " << (answer.fResult == 0 ? "ok" : "FAILED");
    if (!answer.fError.empty()) std::cout << ": " << answer.fError;
    std::cout << "\n";
    return answer;
  };
  const kLibrary::Answer opened = call("OPEN", request);
  if (opened.fResult != 0) return 1;
  const std::string handle = ElementText(opened.fOutput, "Handle");
  const std::string device = WithHandle(request, handle);
  const kLibrary::Answer status = call("GETSTATUS", device);
  const kLibrary::Answer closed = call("CLOSE", device);
  const std::string serial = ElementText(status.fOutput, "SerialNumber");
  if (status.fResult != 0 || serial.empty()) {
    std::cout << "the printer's serial number is not known: its journal cannot be listed\n";
    return 1;
  }
  try {
    const int listed = ListJournal(DefaultFolder(), serial, "", 0, true, "settle");
    return closed.fResult == 0 ? listed : 1;
  } catch (const fp::kJournalError& e) {
    std::cout << "the journal cannot be read: " << e.what() << "\n";
    return 1;
  }
}

const kCommandRegistration kJournal{
    {"journal", "list a printer's documents from its document journal, with their state and numbers", &RunJournal}};
const kCommandRegistration kSettle{
    {"settle", "settle a printer's documents of unknown outcome now, then list what is still unsettled", &RunSettle}};

}  // namespace

}  // namespace fpctl
