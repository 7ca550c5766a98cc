// fpctl doctor --url URL [--user U --password P]
//
// Checks a printer step by step, from the network up to the tables the driver relies on,
// and says for each step whether it is fine and what to do when it is not. The first
// steps talk to the printer directly (a TCP connection, then its HTTP command endpoint);
// once those work, the rest goes through the library as a host would (OPEN, GETSTATUS,
// GETVATTABLE, CLOSE). Nothing is printed on the paper. OPEN programs the driver's payment
// table when the printer's differs, as it does whenever a host starts.
#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fpctl.h"
#include "fpemu/printer_emulator.h"
#include "io/socket_api.h"

namespace fpctl {

namespace {

constexpr const char* kDoctorUsage =
    "usage: fpctl doctor --url URL [--user USER --password PASSWORD]\n"
    "\n"
    "Checks the printer at URL step by step and gives a verdict for each step:\n"
    "  1. reachable        a TCP connection to the URL's host and port\n"
    "  2. HTTP             the printer's command endpoint answers HTTP\n"
    "  3. authentication   the user and password, when the printer asks for them\n"
    "  4. status frame     the printer answers a status command with its reply frame\n"
    "  5. payment table    the printer's payment slots against the driver's, before OPEN\n"
    "  6. OPEN             the library opens the device\n"
    "  7. fiscal state     fiscal mode and fiscal day, in words\n"
    "  8. clock            the printer's clock against this computer's\n"
    "  9. VAT table        the rates the printer holds\n"
    " 10. payment table    again, after OPEN has programmed it\n"
    "Exit status: 0 when no step failed (warnings allowed), 1 otherwise, 2 on a usage problem.\n";

// Clock differences up to this are fine; beyond it the printer's clock wants setting.
constexpr double kClockToleranceSeconds = 60;

struct Options {
  std::string fUrl;
  std::string fUser;
  std::string fPassword;
};

class Report {
 public:
  void Ok(const std::string& aStep, const std::string& aDetail) { Line("ok", aStep, aDetail, ""); }
  void Warn(const std::string& aStep, const std::string& aDetail, const std::string& aAdvice) {
    Line("warning", aStep, aDetail, aAdvice);
  }
  void Fail(const std::string& aStep, const std::string& aDetail, const std::string& aAdvice) {
    ++fFailures;
    Line("FAILED", aStep, aDetail, aAdvice);
  }
  void Skip(const std::string& aStep) { Line("skipped", aStep, "an earlier step failed", ""); }
  int Failures() const { return fFailures; }

 private:
  void Line(const std::string& aVerdict, const std::string& aStep, const std::string& aDetail,
            const std::string& aAdvice) {
    std::cout << "[" << aVerdict << "] " << aStep << ": " << aDetail << "\n";
    if (!aAdvice.empty()) std::cout << "    what to do: " << aAdvice << "\n";
    std::cout.flush();
  }
  int fFailures = 0;
};

struct UrlParts {
  std::string fHost;
  std::string fPort;
};

std::optional<UrlParts> ParseUrl(const std::string& aUrl) {
  const std::string scheme = "http://";
  if (aUrl.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
  std::string rest = aUrl.substr(scheme.size());
  rest = rest.substr(0, rest.find('/'));
  if (const size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
  UrlParts parts;
  if (!rest.empty() && rest[0] == '[') {  // [IPv6]:port
    const size_t close = rest.find(']');
    if (close == std::string::npos) return std::nullopt;
    parts.fHost = rest.substr(1, close - 1);
    parts.fPort = close + 1 < rest.size() && rest[close + 1] == ':' ? rest.substr(close + 2) : "80";
  } else {
    const size_t colon = rest.find(':');
    parts.fHost = rest.substr(0, colon);
    parts.fPort = colon == std::string::npos ? "80" : rest.substr(colon + 1);
  }
  if (parts.fHost.empty() || parts.fPort.empty()) return std::nullopt;
  return parts;
}

// Empty on success, else why the connection failed.
std::string TryConnect(const UrlParts& aParts, int aTimeoutMs) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  fp::sockets::Start();
  if (int rc = getaddrinfo(aParts.fHost.c_str(), aParts.fPort.c_str(), &hints, &found); rc != 0)
    return "the name does not resolve: " + fp::sockets::ResolverError(rc);
  std::string failure = "no address to try";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd = fp::sockets::OpenNonBlocking(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) continue;
    int rc = connect(fd, a->ai_addr, static_cast<int>(a->ai_addrlen));
    int error = rc == 0 ? 0 : fp::sockets::LastError();
    if (rc != 0 && fp::sockets::ConnectPending(error)) {
      pollfd p{};
      p.fd = fd;
      p.events = POLLOUT;
      rc = fp::sockets::Poll(&p, 1, aTimeoutMs);
      if (rc == 0) {
        failure = "no answer within " + std::to_string(aTimeoutMs / 1000) + " s";
        fp::sockets::Close(fd);
        continue;
      }
      error = 0;
      socklen_t length = sizeof error;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
      rc = error == 0 ? 0 : -1;
    }
    if (rc == 0) {
      fp::sockets::Close(fd);
      freeaddrinfo(found);
      return "";
    }
    failure = std::strerror(error);
    fp::sockets::Close(fd);
  }
  freeaddrinfo(found);
  return failure;
}

struct HttpAnswer {
  std::string fFailure;  // libcurl's message when no HTTP answer came
  long fStatus = 0;
  std::string fBody;
  std::string fAuthenticate;  // the WWW-Authenticate header, if any
};

size_t Collect(char* aData, size_t aSize, size_t aCount, void* aTarget) {
  std::string& target = *static_cast<std::string*>(aTarget);
  if (target.size() < 65536) target.append(aData, aSize * aCount);
  return aSize * aCount;
}

size_t CollectHeader(char* aData, size_t aSize, size_t aCount, void* aTarget) {
  std::string line(aData, aSize * aCount);
  const std::string name = "www-authenticate:";
  std::string lower = line.substr(0, name.size());
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == name) {
    std::string& target = *static_cast<std::string*>(aTarget);
    if (!target.empty()) target += ", ";
    std::string value = line.substr(name.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    target += value;
  }
  return aSize * aCount;
}

// One printer command over HTTP, as the driver sends it: the packet percent-encoded in the
// query of a GET to <URL>_io.
HttpAnswer Command(const Options& aOptions, const std::string& aPacket, bool aWithCredentials) {
  HttpAnswer answer;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    answer.fFailure = "libcurl could not start";
    return answer;
  }
  char* escaped = curl_easy_escape(curl, aPacket.c_str(), static_cast<int>(aPacket.size()));
  std::string url = aOptions.fUrl;
  if (url.empty() || url.back() != '/') url += '/';
  url += std::string("_io?cmd=4&js=0&pkt=") + (escaped ? escaped : "");
  curl_free(escaped);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.fBody);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.fAuthenticate);
  if (aWithCredentials && !aOptions.fUser.empty()) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
    curl_easy_setopt(curl, CURLOPT_USERNAME, aOptions.fUser.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, aOptions.fPassword.c_str());
  }
  CURLcode rc = curl_easy_perform(curl);
  if (rc != CURLE_OK) answer.fFailure = curl_easy_strerror(rc);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.fStatus);
  curl_easy_cleanup(curl);
  return answer;
}

std::vector<std::string> FrameFields(const std::string& aBody) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t slash = aBody.find('/'); slash != std::string::npos; slash = aBody.find('/', start)) {
    fields.push_back(aBody.substr(start, slash - start));
    start = slash + 1;
  }
  return fields;
}

bool IsReplyFrame(const std::vector<std::string>& aFields) {
  return aFields.size() >= 3 && aFields[0].size() == 2 && aFields[1].size() == 2 && aFields[2].size() == 2 &&
         std::isxdigit(static_cast<unsigned char>(aFields[0][0])) &&
         std::isxdigit(static_cast<unsigned char>(aFields[0][1]));
}

std::string FiscalStatusWords(int aStatus) {
  std::vector<std::string> words;
  words.push_back(aStatus & 2 ? "fiscal day open" : "fiscal day closed");
  if (aStatus & 4) words.push_back("a document is open");
  if (aStatus & 8) words.push_back("inactive period (a Z report is due)");
  if (aStatus & 16) words.push_back("a receipt is in payment");
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : ", ") + w;
  return out;
}

// "Description|CODE|kind" of each slot, as the printer reports it; empty text for a slot
// that could not be read.
std::vector<std::string> ReadPaymentTable(const Options& aOptions) {
  std::vector<std::string> slots;
  for (int slot = 1; slot <= 20; ++slot) {
    HttpAnswer a = Command(aOptions, "{/" + std::to_string(slot), true);
    const std::vector<std::string> f = FrameFields(a.fBody);
    if (!a.fFailure.empty() || a.fStatus != 200 || !IsReplyFrame(f) || f[0] != "00" || f.size() < 8) {
      slots.push_back("");
      continue;
    }
    slots.push_back(f[3] + "|" + f[4] + "|" + f[7]);
  }
  return slots;
}

std::vector<std::string> DriverPaymentTable() {
  std::vector<std::string> slots;
  for (const fp::emu::PaymentSlot& s : fp::emu::PrinterEmulator::DriverPaymentTable())
    slots.push_back(s.fDescription + "|" + s.fCode + "|" + std::to_string(s.fKind));
  return slots;
}

std::string DifferingSlots(const std::vector<std::string>& aPrinter, const std::vector<std::string>& aDriver) {
  std::string out;
  for (size_t i = 0; i < aDriver.size(); ++i) {
    const std::string have = i < aPrinter.size() ? aPrinter[i] : "";
    if (have == aDriver[i]) continue;
    out += "\n      slot " + std::to_string(i + 1) + " is \"" + (have.empty() ? "unreadable" : have) + "\", the driver's \"" +
           aDriver[i] + "\"";
  }
  return out;
}

std::string Escaped(const std::string& aText) {
  std::string out;
  for (char c : aText) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

// Seconds between the printer's clock (yyyy-mm-ddThh:nn:ss, local time) and this computer's.
std::optional<double> ClockSkew(const std::string& aPrinterClock) {
  std::tm t{};
  std::istringstream in(aPrinterClock);
  in >> std::get_time(&t, "%Y-%m-%dT%H:%M:%S");
  if (in.fail()) return std::nullopt;
  t.tm_isdst = -1;
  const std::time_t printer = std::mktime(&t);
  if (printer == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::difftime(printer, std::time(nullptr));
}

int RunDoctor(kLibrary& aLibrary, const std::vector<std::string>& aArgs) {
  Options options;
  for (size_t i = 0; i < aArgs.size(); ++i) {
    const std::string& a = aArgs[i];
    if (a == "--help" || a == "-h") {
      std::cout << kDoctorUsage;
      return 0;
    }
    if (i + 1 >= aArgs.size()) {
      std::cerr << kDoctorUsage;
      return 2;
    }
    if (a == "--url") options.fUrl = aArgs[++i];
    else if (a == "--user") options.fUser = aArgs[++i];
    else if (a == "--password") options.fPassword = aArgs[++i];
    else {
      std::cerr << kDoctorUsage;
      return 2;
    }
  }
  const std::optional<UrlParts> parts = ParseUrl(options.fUrl);
  if (!parts) {
    std::cerr << "fpctl doctor: --url must be an http:// URL such as http://192.168.1.50/\n" << kDoctorUsage;
    return 2;
  }
  if (options.fUrl.back() != '/') options.fUrl += '/';

  Report report;
  std::cout << "Checking the printer at " << options.fUrl << "\n";
  const std::vector<std::string> laterSteps{"status frame", "payment table", "OPEN",     "fiscal state",
                                            "clock",        "VAT table",     "payment table after OPEN"};
  auto skipFrom = [&](size_t aFirst) {
    for (size_t i = aFirst; i < laterSteps.size(); ++i) report.Skip(laterSteps[i]);
    return 1;
  };

  // 1. The network.
  const std::string hostPort = parts->fHost + ":" + parts->fPort;
  if (std::string failure = TryConnect(*parts, 3000); !failure.empty()) {
    report.Fail("reachable", hostPort + " is not reachable: " + failure,
                "check that the printer is switched on and on the network, that its address and port "
                "are those of the URL, and that no firewall is in the way (ping it, or open the URL in a browser)");
    report.Skip("HTTP");
    report.Skip("authentication");
    return skipFrom(0);
  }
  report.Ok("reachable", hostPort + " accepts connections");

  // 2. HTTP, without credentials first.
  const HttpAnswer plain = Command(options, "a", false);
  if (!plain.fFailure.empty()) {
    report.Fail("HTTP", "no HTTP answer: " + plain.fFailure,
                "the port accepts connections but does not answer HTTP: check the port in the URL "
                "(the printer's web server, usually 80)");
    report.Skip("authentication");
    return skipFrom(0);
  }
  report.Ok("HTTP", "the command endpoint answers (HTTP " + std::to_string(plain.fStatus) + ")");

  // 3. Authentication.
  HttpAnswer status = plain;
  std::string authType = "None";
  if (plain.fStatus == 401) {
    authType = plain.fAuthenticate.find("Digest") != std::string::npos ? "Digest" : "Basic";
    if (options.fUser.empty()) {
      report.Fail("authentication", "the printer asks for a user and password (" + authType + ")",
                  "run again with --user and --password; in requests give Connection/AuthType " + authType +
                      ", User and Password");
      return skipFrom(0);
    }
    status = Command(options, "a", true);
    if (status.fStatus == 401 || !status.fFailure.empty()) {
      report.Fail("authentication", "the printer refuses user \"" + options.fUser + "\" (" + authType + ")",
                  "check the user and password set on the printer (its web set-up pages)");
      return skipFrom(0);
    }
    report.Ok("authentication", "user \"" + options.fUser + "\" accepted (" + authType +
                                    "); in requests give Connection/AuthType " + authType + ", User and Password");
  } else if (!options.fUser.empty()) {
    report.Ok("authentication", "the printer asks for none; the user and password given are not needed");
  } else {
    report.Ok("authentication", "the printer asks for none");
  }

  // 4. A status frame.
  const std::vector<std::string> fields = FrameFields(status.fBody);
  if (status.fStatus != 200 || !IsReplyFrame(fields)) {
    report.Fail("status frame",
                "HTTP " + std::to_string(status.fStatus) + " without a printer's reply frame: \"" +
                    status.fBody.substr(0, 60) + "\"",
                "this address answers HTTP but is not the printer's command endpoint: check the URL "
                "(the base address of the printer, e.g. http://192.168.1.50/)");
    return skipFrom(1);
  }
  if (fields[0] != "00") {
    report.Fail("status frame", "the printer answers with reply code " + fields[0],
                "look the code up in the printer's manual; switch the printer off and on if it persists");
    return skipFrom(1);
  }
  const int fiscalStatus = std::atoi(fields[2].c_str());
  const int deviceStatus = static_cast<int>(std::strtol(fields[1].c_str(), nullptr, 16));
  std::string frameDetail = "reply code 00, " + FiscalStatusWords(fiscalStatus);
  if (deviceStatus & 4) {
    report.Warn("status frame", frameDetail + ", paper end", "put a new paper roll in");
  } else {
    report.Ok("status frame", frameDetail);
  }

  // 5. The payment table as the printer holds it now.
  const std::vector<std::string> driverTable = DriverPaymentTable();
  const std::string before = DifferingSlots(ReadPaymentTable(options), driverTable);
  if (before.empty()) {
    report.Ok("payment table", "the printer's 20 payment slots are the driver's");
  } else {
    report.Warn("payment table", "differs from the driver's:" + before,
                "nothing, if the printer serves only this driver: OPEN programs the driver's table (see the "
                "step after OPEN); another program that uses these slots will find them changed");
  }

  // 6. OPEN through the library, as a host does.
  std::string connection = "<Connection><Type>HTTP</Type><URL>" + Escaped(options.fUrl) + "</URL>";
  if (!options.fUser.empty())
    connection += "<AuthType>" + authType + "</AuthType><User>" + Escaped(options.fUser) + "</User><Password>" +
                  Escaped(options.fPassword) + "</Password>";
  connection += "</Connection>";
  const std::string device = "<Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>doctor</LogId>";
  const kLibrary::Answer opened =
      aLibrary.Call("OPEN", "<ReceiptPrinterManager>" + device + connection + "</ReceiptPrinterManager>");
  const std::string handle = ElementText(opened.fOutput, "Handle");
  if (opened.fResult != 0 || handle.empty() || handle == "0") {
    report.Fail("OPEN", "the library could not open the device: " + opened.fError,
                "read the device log " + ElementText(opened.fOutput, "LogFileName"));
    return skipFrom(3);
  }
  if (!opened.fError.empty()) {
    report.Warn("OPEN", "opened as handle " + handle + ", but its start-up reported: " + opened.fError,
                "read the device log " + ElementText(opened.fOutput, "LogFileName"));
  } else {
    report.Ok("OPEN", "opened as handle " + handle + "; device log " + ElementText(opened.fOutput, "LogFileName"));
  }
  const std::string request = "<ReceiptPrinterManager>" + device + "<Handle>" + handle + "</Handle></ReceiptPrinterManager>";

  // 7 and 8. Fiscal state and clock.
  const kLibrary::Answer st = aLibrary.Call("GETSTATUS", request);
  if (st.fResult != 0) {
    report.Fail("fiscal state", "GETSTATUS failed: " + st.fError, "read the device log");
    report.Skip("clock");
  } else {
    const std::string mode = ElementText(st.fOutput, "FiscalMode");
    std::string words = mode == "RT"   ? "RT mode (documents are sent to the tax agency)"
                        : mode == "MF" ? "MF mode (fiscal memory, not yet RT)"
                                       : "fiscal mode \"" + mode + "\"";
    words += ElementText(st.fOutput, "DayOpened") == "True" ? ", fiscal day open (sales since the last Z report)"
                                                         : ", fiscal day closed";
    words += ", serial " + ElementText(st.fOutput, "SerialNumber") + ", firmware " + ElementText(st.fOutput, "FirmwareVersion");
    if (ElementText(st.fOutput, "FiscalReceiptOpen") == "True" || ElementText(st.fOutput, "ReceiptOpen") == "True") {
      report.Warn("fiscal state", words + ", a receipt is open",
                  "finish or cancel the open receipt on the printer before selling");
    } else if (ElementText(st.fOutput, "TrainingMode") == "True") {
      report.Warn("fiscal state", words + ", training mode on", "switch training mode off on the printer to sell");
    } else {
      report.Ok("fiscal state", words);
    }
    const std::string clock = ElementText(st.fOutput, "DateTime");
    if (const std::optional<double> skew = ClockSkew(clock); !skew) {
      report.Fail("clock", "the printer's clock reads \"" + clock + "\"", "set it with SETDATETIME");
    } else if (std::fabs(*skew) <= kClockToleranceSeconds) {
      report.Ok("clock", clock + ", " + std::to_string(static_cast<long>(std::lround(*skew))) +
                             " s from this computer's clock");
    } else {
      report.Warn("clock",
                  clock + ", " + std::to_string(static_cast<long>(std::lround(*skew))) +
                      " s from this computer's clock",
                  "if this computer's clock is right, set the printer's with SETDATETIME (fiscal day closed)");
    }
  }

  // 9. VAT table.
  const kLibrary::Answer vat = aLibrary.Call("GETVATTABLE", request);
  if (vat.fResult != 0) {
    report.Fail("VAT table", "GETVATTABLE failed: " + vat.fError, "read the device log");
  } else {
    std::string rates;
    int nonZero = 0;
    for (size_t at = vat.fOutput.find("<VAT>"); at != std::string::npos; at = vat.fOutput.find("<VAT>", at + 1)) {
      const std::string code = ElementText(vat.fOutput, "Code", at), rate = ElementText(vat.fOutput, "Rate", at);
      rates += (rates.empty() ? "" : ", ") + code + " " + rate + "%";
      if (rate != "0") ++nonZero;
    }
    if (nonZero == 0) {
      report.Warn("VAT table", "no rate other than 0: " + (rates.empty() ? "empty" : rates),
                  "program the rates with SETVATTABLE (fiscal day closed)");
    } else {
      report.Ok("VAT table", rates);
    }
  }

  // 10. The payment table once OPEN has done its part.
  const std::string after = DifferingSlots(ReadPaymentTable(options), driverTable);
  if (after.empty()) {
    report.Ok("payment table after OPEN", "the printer carries the driver's payment table");
  } else {
    report.Fail("payment table after OPEN", "still differs:" + after,
                "the printer refused the driver's table: look for the replies to the \"E\" commands in the "
                "device log; payments of the listed kinds go to the wrong slots until the table is right");
  }

  aLibrary.Call("CLOSE", request);
  std::cout << (report.Failures() == 0 ? "The printer is ready for the driver.\n"
                                       : std::to_string(report.Failures()) + " step(s) failed.\n");
  return report.Failures() == 0 ? 0 : 1;
}

const kCommandRegistration kDoctor{
    {"doctor", "check a printer step by step: network, HTTP, authentication, state, clock, tables", &RunDoctor}};

}  // namespace

}  // namespace fpctl
