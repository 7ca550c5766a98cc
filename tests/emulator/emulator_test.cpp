// The printer emulator spoken to over raw HTTP, as the driver speaks to the printer.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "fpemu/full_backlog.h"
#include "fpemu/printer_emulator.h"
#include "fpemu/printer_model.h"

using namespace fp;
using namespace fp::emu;

namespace {

struct HttpResult {
  CURLcode fCurl = CURLE_OK;
  long fStatus = 0;
  std::string fBody;
};

size_t Collect(char* aData, size_t aSize, size_t aCount, void* aOut) {
  static_cast<std::string*>(aOut)->append(aData, aSize * aCount);
  return aSize * aCount;
}

struct Credentials {
  long fMode = CURLAUTH_NONE;
  std::string fUser, fPassword;
};

HttpResult HttpGet(const std::string& aUrl, const Credentials& aAuth = {}, long aTimeoutMs = 10000) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  HttpResult r;
  CURL* c = curl_easy_init();
  curl_easy_setopt(c, CURLOPT_URL, aUrl.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, aTimeoutMs);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &r.fBody);
  curl_slist* headers = curl_slist_append(nullptr, "Connection: close");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  if (aAuth.fMode != CURLAUTH_NONE) {
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, aAuth.fMode);
    curl_easy_setopt(c, CURLOPT_USERNAME, aAuth.fUser.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, aAuth.fPassword.c_str());
  }
  r.fCurl = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.fStatus);
  curl_slist_free_all(headers);
  curl_easy_cleanup(c);
  return r;
}

// The packet data in the form the printer expects: bytes outside 0x21-0x7E, "/" and a "%"
// not starting an escape go out as %XX.
std::string Encode(const std::string& aData) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < aData.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(aData[i]);
    bool escape = c < 0x21 || c > 0x7E || c == '/' ||
                  (c == '%' && !(i + 2 < aData.size() && isxdigit(aData[i + 1]) && isxdigit(aData[i + 2])));
    if (escape) {
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// "/" followed by each field and a "/" after every field.
std::string Pkt(const std::vector<std::string>& aFields) {
  std::string s = "/";
  for (const auto& f : aFields) s += f + "/";
  return s;
}

std::string Field(const std::string& aFrame, size_t aIndex) {
  auto parts = Split(aFrame, '/');
  return aIndex - 1 < parts.size() - 1 ? parts[aIndex - 1] : std::string();
}

class Emulator : public ::testing::Test {
 protected:
  void SetUp() override { fEmu.Start(); }

  std::string Url(const std::string& aLetter, const std::string& aData) {
    return fEmu.BaseUrl() + "_io?cmd=4&js=0&pkt=" + aLetter + Encode(aData);
  }
  // Sends one packet; returns the reply frame (the test fails on an HTTP failure).
  std::string Send(const std::string& aLetter, const std::string& aData = "") {
    HttpResult r = HttpGet(Url(aLetter, aData));
    EXPECT_EQ(r.fCurl, CURLE_OK) << aLetter << aData;
    EXPECT_EQ(r.fStatus, 200) << aLetter << aData;
    return r.fBody;
  }
  // Sends a packet that must be accepted.
  std::string Ok(const std::string& aLetter, const std::string& aData = "") {
    std::string frame = Send(aLetter, aData);
    EXPECT_EQ(frame.substr(0, 2), "00") << aLetter << aData << " -> " << frame;
    return frame;
  }
  void Sale(const std::string& aDescription, const std::string& aQty, const std::string& aPrice, int aDept = 1) {
    Ok("3", Pkt({"S", aDescription, "", aQty, aPrice, std::to_string(aDept), "", "", "0", ""}));
  }
  void OpenSale() {
    Ok(">", Pkt({"", "", ""}));
    Ok("}", "/");
  }
  void Pay(int aSlot, const std::string& aAmount) { Ok("5", Pkt({std::to_string(aSlot), aAmount, "", "", "", "", "", "", "0"})); }
  // Reads a journal selection back piece by piece, the way the driver does.
  std::vector<std::string> ReadJournal(const std::vector<std::string>& aSelection) {
    std::vector<std::string> lines;
    std::string frame = Send("@", Pkt(aSelection));
    for (int guard = 0; guard < 1000 && frame.substr(0, 2) == "00"; ++guard) {
      frame = Send("*", Pkt({"0", "10"}));
      std::string data = frame.substr(9);
      EXPECT_GE(data.size(), 3u) << frame;
      if (data.size() < 3) break;
      data.resize(data.size() - 3);
      size_t pos = 0;
      while (true) {
        size_t hit = data.find("||", pos);
        lines.push_back(data.substr(pos, hit - pos));
        if (hit == std::string::npos) break;
        pos = hit + 2;
      }
      if (frame.substr(0, 2) == "52") break;
    }
    return lines;
  }
  std::string Today() {
    DateTimeParts p = DecodeDateTime(fEmu.Clock());
    char b[8];
    std::snprintf(b, sizeof b, "%02d%02d%02d", p.day, p.month, p.year % 100);
    return b;
  }

  PrinterEmulator fEmu;
};

TEST(ItalianAmount, GroupsThousandsWithDotsAndUsesCommaDecimals) {
  struct {
    const char* value;
    const char* text;
  } cases[] = {{"0", "0,00"}, {"5.5", "5,50"}, {"999.99", "999,99"}, {"1234.56", "1.234,56"},
               {"1234567.8", "1.234.567,80"}, {"-12345", "-12.345,00"}};
  for (const auto& c : cases) EXPECT_EQ(ItalianAmount(*Amount::Parse(c.value)), c.text) << c.value;
}

TEST_F(Emulator, IdentityClockAndStatusFrames) {
  EXPECT_EQ(Ok("?"), "00/00/00/");
  EXPECT_EQ(Field(Ok("a"), 4), "80012345");
  EXPECT_EQ(CharSubstr(Field(Ok("v"), 4), 10, 7), "1.02.07");
  EXPECT_EQ(Field(Ok(",", "/10"), 4), "1");
  EXPECT_EQ(Field(Ok("|"), 4), "0");

  Ok("T", "/311299/235958");
  std::string t = Ok("t");
  EXPECT_EQ(Field(t, 4), "311299");
  EXPECT_TRUE(Field(t, 5) == "235958" || Field(t, 5) == "235959" || Field(t, 5) == "000000") << t;

  fEmu.SetInactivePeriod(true);
  fEmu.SetPaperEnd(true);
  EXPECT_EQ(Ok("?"), "00/04/08/");
}

TEST_F(Emulator, PaymentSlotsReadBackAsProgrammed) {
  auto slot5 = Split(Ok("{", "/5").substr(9), '/');
  EXPECT_EQ(slot5[0], "PAGAMENTO 5");
  Ok("E", Pkt({"5", "NON RISCOSSO BENI", "CRED", "0", "1", "2", "10001101", "4", "0"}));
  auto fields = Split(Ok("{", "/5").substr(9), '/');
  ASSERT_GE(fields.size(), 5u);
  EXPECT_EQ(fields[0], "NON RISCOSSO BENI");
  EXPECT_EQ(fields[1], "CRED");
  EXPECT_EQ(fields[4], "2");
}

TEST_F(Emulator, SaleReceiptFromOpenToCloseLeavesItsTextInTheJournal) {
  EXPECT_EQ(Ok(">", Pkt({"", "", ""})).substr(0, 9), "00/00/06/");
  Ok("}", "/");
  Sale("CAFFE' ESPRESSO", "1.000", "10.00", 2);
  Ok("4", Pkt({"10.00", "PROMO", "", "0", "1", "0"}));  // 10 % on the subtotal
  EXPECT_EQ(Field(Ok("U", "/"), 4), "9.00");
  Ok("7", Pkt({"1", "1", PadRight("GRAZIE E ARRIVEDERCI", 48)}));
  EXPECT_EQ(Ok("5", Pkt({"1", "20.00", "", "", "", "", "", "", "0"})).substr(0, 9), "00/00/22/");
  EXPECT_EQ(Ok("m", "/"), "00/00/02/");

  EXPECT_EQ(Ok("X"), "00/00/02/0/1/0/");
  EXPECT_EQ(Field(Ok("i", "//"), 6), "0");

  PrinterSnapshot s = fEmu.Snapshot();
  EXPECT_EQ(s.fDay.fSales, *Amount::Parse("9"));
  EXPECT_EQ(s.fDay.fDiscounts, *Amount::Parse("1"));
  EXPECT_EQ(s.fDay.fCommercialDocuments, 1);

  auto journal = fEmu.Journal();
  ASSERT_EQ(journal.size(), 1u);
  const auto& lines = journal[0].fLines;
  auto has = [&lines](const std::string& text) {
    for (const auto& l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  };
  // 9.00 at 10 % includes 0.82 of tax.
  for (const char* text : {"DOCUMENTO COMMERCIALE", "CAFFE' ESPRESSO", "SCONTO SU SUBTOT. 10,00% PROMO",
                           "TOTALE COMPLESSIVO", "RESTO", "GRAZIE E ARRIVEDERCI", "DOC.N. 0001-0001",
                           "di cui IVA 10,00%                           0,82"})
    EXPECT_TRUE(has(text)) << text;
  for (const auto& l : lines) EXPECT_LE(CharLength(l), 48u) << l;

  // The journal gives the same text back, ten lines per piece, ending with 0x52.
  EXPECT_EQ(ReadJournal({"3", "1", "", "", "", Today(), Today(), "0"}), lines);
  EXPECT_EQ(Send("@", Pkt({"3", "4", "", "", "", Today(), Today(), "0"})).substr(0, 2), "51");

  // A read in progress shows in the device status (so its start never reads as busy) until
  // another command ends it.
  EXPECT_EQ(Ok("@", Pkt({"3", "1", "", "", "", Today(), Today(), "0"})), "00/02/02/");
  EXPECT_EQ(Ok("?"), "00/00/02/");
  EXPECT_EQ(Send("*", Pkt({"0", "10"})), "52/00/02/");
}

TEST_F(Emulator, ZReportClosesTheDayWithItsTotals) {
  OpenSale();
  Sale("ARTICOLO UNO", "1.000", "1234.56");
  Pay(1, "1234.56");
  Ok("m", "/");
  OpenSale();
  Sale("ARTICOLO DUE", "2.000", "3.00");
  Ok("4", Pkt({"0.50", "", "", "0", "0", "1"}));
  Ok("m", "/");  // no payment: the whole total in cash
  // Refund of the first receipt and void of the second, both by reference.
  std::string date = Today().substr(0, 4) + "20" + Today().substr(4);
  Ok("-", Pkt({date, "1", "1", "", "", ""}));
  Ok("}", "/");
  Ok("3", Pkt({"N", "ARTICOLO UNO", "", "1.000", "1234.56", "1", "", "", "0", ""}));
  Pay(1, "1234.56");
  Ok("m", "/");
  Ok("+", Pkt({"1", date, "1", "2", "", "", ""}));
  Ok("m", "/");
  EXPECT_EQ(Send("+", Pkt({"1", date, "1", "2", "", "", ""})).substr(0, 2), "7B");

  EXPECT_EQ(Ok("x", "/7////"), "00/00/00/");
  PrinterSnapshot s = fEmu.Snapshot();
  EXPECT_FALSE(s.fDayOpen);
  EXPECT_EQ(s.fZCounter, 1);
  EXPECT_EQ(s.fDay.fCommercialDocuments, 0);
  EXPECT_EQ(Ok("X"), "00/00/00/0/0/1/");

  auto lines = ReadJournal({"7", "1", "", "", "", Today(), Today(), "0"});
  // Each total line ends with its value as the last word.
  struct {
    const char* label;
    const char* value;
  } expected[] = {{"TOTALE VENDITE  ", "1.240,06"}, {"SCONTI", "0,50"},        {"TOTALE RESI", "1.234,56"},
                  {"TOTALE ANNULLI", "5,50"},       {"GRAN TOTALE  ", "1.240,06"}, {"N.DOCUMENTI COMMERC.", "4"},
                  {"N.AZZERAMENTI", "1"},           {"N.DOCUMENTI CLASSE II", "0"}};
  for (const auto& e : expected) {
    int found = 0;
    for (const auto& l : lines)
      if (l.find(e.label) != std::string::npos) {
        ++found;
        EXPECT_EQ(l.substr(l.rfind(' ') + 1), e.value) << l;
      }
    EXPECT_EQ(found, 1) << e.label;
  }
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(lines[1].find("AZZERAMENTO GIORNALIERO"), std::string::npos);
  EXPECT_EQ(lines[2].size(), 15u);
  EXPECT_EQ(lines[2].substr(0, 8), Today().substr(0, 2) + "-" + Today().substr(2, 2) + "-" + Today().substr(4));
  EXPECT_EQ(lines[2].substr(8, 2), "  ");
  EXPECT_EQ(lines[2][12], ':');
  size_t classII = 0, transmission = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("N.DOCUMENTI CLASSE II") != std::string::npos) classII = i;
    if (lines[i].find("DATI IN TRASMISSIONE") != std::string::npos) transmission = i;
  }
  EXPECT_LT(classII, transmission);

  // The next day's receipts count from one again and carry the new Z number.
  OpenSale();
  Sale("ARTICOLO TRE", "1.000", "1.00");
  Ok("m", "/");
  EXPECT_EQ(Ok("X"), "00/00/02/0/1/1/");
}

TEST_F(Emulator, RefusesBadCommandsWithThePrintersReplyCodes) {
  const std::string sale = Pkt({"S", "PANE", "", "1.000", "5.00", "1", "", "", "0", ""});
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> before;  // accepted packets first
    std::string letter, data, code;
  } cases[] = {
      {"unknown command", {}, "Z", "", "06"},
      {"missing fields", {{">", "////"}, {"}", "/"}}, "3", Pkt({"S", "PANE", "", "1.000"}), "01"},
      {"description too long", {{">", "////"}, {"}", "/"}}, "3",
       Pkt({"S", std::string(31, 'A'), "", "1.000", "5.00", "1", "", "", "0", ""}), "02"},
      {"lottery code too short", {{">", "////"}, {"}", "/"}}, "I", Pkt({"ABC", "0"}), "03"},
      {"ampersand in a field", {{">", "////"}, {"}", "/"}}, "3", Pkt({"S", "A&B", "", "1.000", "5.00", "1", "", "", "0", ""}), "04"},
      {"comma as decimal separator", {{">", "////"}, {"}", "/"}}, "3",
       Pkt({"S", "PANE", "", "1,000", "5,00", "1", "", "", "0", ""}), "04"},
      {"unknown department", {{">", "////"}, {"}", "/"}}, "3",
       Pkt({"S", "PANE", "", "1.000", "5.00", "21", "", "", "0", ""}), "08"},
      {"unknown VAT slot", {}, "N", Pkt({"01", "REPARTO", "13", "1", "0.00", "9999.00", "0.00", "110000000"}), "09"},
      {"VAT programming with the day open", {{">", "////"}, {"+", "/0/"}}, "b",
       Pkt(std::vector<std::string>(12, "22.00")) + std::string(24, '/'), "10"},
      {"department programming with the day open", {{">", "////"}, {"+", "/0/"}}, "N",
       Pkt({"01", "REPARTO", "01", "1", "0.00", "9999.00", "0.00", "110000000"}), "10"},
      {"unknown payment slot", {{">", "////"}, {"}", "/"}, {"3", sale}}, "5",
       Pkt({"21", "5.00", "", "", "", "", "", "", "0"}), "0C"},
      {"wrong date", {}, "T", Pkt({"310299", "120000"}).substr(0, 14), "12"},
      {"receipt while one is open", {{">", "////"}}, ">", "////", "14"},
      {"sale without a receipt", {}, "3", sale, "41"},
      {"TOTALE in printed text", {{"7", "/1/20//"}}, "7", Pkt({"1", "1", "SUBTOTALE E TOTALE"}), "4B"},
      {"change on an electronic payment", {{">", "////"}, {"}", "/"}, {"3", sale}}, "5",
       Pkt({"3", "6.00", "", "", "", "", "", "", "0"}), "4D"},
      {"closing half paid", {{">", "////"}, {"}", "/"}, {"3", sale}, {"5", Pkt({"1", "2.00", "", "", "", "", "", "", "0"})}},
       "m", "/", "4E"},
      {"amount beyond the registers", {{">", "////"}, {"}", "/"}}, "3",
       Pkt({"S", "PANE", "", "999999999.999", "999999999.99", "1", "", "", "0", ""}), "18"},
      {"negative receipt total", {{">", "////"}, {"}", "/"}, {"3", sale}}, "3",
       Pkt({"B", "STORNO", "", "1.000", "6.00", "1", "", "", "0", ""}), "54"},
      {"refund of an unknown receipt", {}, "-", Pkt({"01012026", "1", "99", "", "", ""}), "7C"},
      {"void naming a receipt and a reference kind", {}, "+", Pkt({"1", "01012026", "1", "99", "", "", "POS"}), "04"},
      {"refund date without the century", {}, "-", Pkt({"010126", "1", "99", "", "", ""}), "03"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrinterEmulator emu;
    emu.Start();
    for (const auto& [letter, data] : c.before)
      ASSERT_EQ(HttpGet(emu.BaseUrl() + "_io?cmd=4&js=0&pkt=" + letter + Encode(data)).fBody.substr(0, 2), "00")
          << letter << data;
    std::string frame = HttpGet(emu.BaseUrl() + "_io?cmd=4&js=0&pkt=" + c.letter + Encode(c.data)).fBody;
    EXPECT_EQ(frame.substr(0, 2), c.code) << frame;
    EXPECT_EQ(frame.size(), 9u) << frame;  // an error carries no data
  }
}

TEST_F(Emulator, BadRequestsGetHttpErrorsAndLeaveTheServerAnswering) {
  const std::string base = fEmu.BaseUrl();
  struct {
    std::string url;
    long status;
  } cases[] = {
      {base + "io?cmd=4&js=0&pkt=a", 404},
      {base + "_io", 400},
      {base + "_io?cmd=4&js=0", 400},
      {base + "_io?cmd=4&js=0&pkt=", 400},
      {base + "_io?cmd=5&js=0&pkt=a", 400},
      {base + "_io?cmd=4&js=0&pkt=a&pkt=a", 400},
      {base + "_io?cmd=4&js=0&pkt=3%2", 400},
      {base + "_io?cmd=4&js=0&pkt=3%G0", 400},
      {base + "_io?cmd=4&js=0&pkt=%FF", 400},
      {base + "_io?cmd=4&js=0&pkt=a" + std::string(5000, 'x'), 414},
  };
  for (const auto& c : cases) EXPECT_EQ(HttpGet(c.url).fStatus, c.status) << c.url.substr(0, 80);
  // A connection that never sends its request does not hold the others back.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(fEmu.Port());
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(Ok("?"), "00/00/00/");
  close(fd);
  // Only the well-formed requests reached the printer.
  EXPECT_EQ(fEmu.Packets().size(), 1u);
}

TEST(EmulatorAuth, AcceptsOnlyTheConfiguredCredentials) {
  for (AuthMode mode : {AuthMode::Basic, AuthMode::Digest}) {
    EmulatorOptions o;
    o.fAuth = mode;
    o.fUser = "cassa";
    o.fPassword = "se:greta";
    PrinterEmulator emu(o);
    emu.Start();
    std::string url = emu.BaseUrl() + "_io?cmd=4&js=0&pkt=a";
    long curlMode = mode == AuthMode::Basic ? CURLAUTH_BASIC : CURLAUTH_DIGEST;
    SCOPED_TRACE(mode == AuthMode::Basic ? "basic" : "digest");
    EXPECT_EQ(HttpGet(url).fStatus, 401);
    EXPECT_EQ(HttpGet(url, {curlMode, "cassa", "sbagliata"}).fStatus, 401);
    EXPECT_EQ(HttpGet(url, {curlMode, "altro", "se:greta"}).fStatus, 401);
    HttpResult ok = HttpGet(url, {curlMode, "cassa", "se:greta"});
    EXPECT_EQ(ok.fStatus, 200);
    EXPECT_EQ(ok.fBody, "00/00/00/80012345/");
    EXPECT_EQ(emu.Packets().size(), 1u);
  }
}

TEST_F(Emulator, FaultInjection) {
  // HTTP failures, then normal service; the failed commands are not executed.
  fEmu.FailNext(2, 503);
  EXPECT_EQ(HttpGet(Url(">", "////")).fStatus, 503);
  EXPECT_EQ(HttpGet(Url(">", "////")).fStatus, 503);
  EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::None);
  EXPECT_EQ(Ok("?"), "00/00/00/");

  fEmu.FailNext(1, 0);
  EXPECT_EQ(HttpGet(Url("?", "")).fCurl, CURLE_GOT_NOTHING);
  fEmu.ResetNext(1);
  EXPECT_EQ(HttpGet(Url(">", "////")).fCurl, CURLE_RECV_ERROR);
  EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::None);

  // Executed, then the answer is lost: the receipt is open although nobody heard so.
  fEmu.DropNextAnswers(1);
  EXPECT_EQ(HttpGet(Url(">", "////")).fCurl, CURLE_GOT_NOTHING);
  EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::Sale);
  Ok("+", "/0/");
  // Executed, then an HTTP error instead of the frame; or the frame too late for the client.
  fEmu.AnswerStatus(">", 500);
  EXPECT_EQ(HttpGet(Url(">", "////")).fStatus, 500);
  EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::Sale);
  Ok("+", "/0/");
  fEmu.AnswerLate(">", std::chrono::milliseconds(1500));
  EXPECT_EQ(HttpGet(Url(">", "////"), {}, 100).fCurl, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::Sale);
  Ok("+", "/0/");

  // Busy only for "@".
  fEmu.AnswerBusy(2);
  EXPECT_EQ(Ok("?"), "00/00/02/");
  EXPECT_EQ(Send("@", Pkt({"3", "1", "", "", "", Today(), Today(), "0"})), "00/00/02/");
  EXPECT_EQ(Send("@", Pkt({"3", "1", "", "", "", Today(), Today(), "0"})), "00/00/02/");
  EXPECT_EQ(Send("@", Pkt({"3", "1", "", "", "", Today(), Today(), "0"})), "51/00/02/");

  fEmu.ForceReplyCode("a", 0x0A);
  EXPECT_EQ(Send("a"), "0A/00/02/");
  EXPECT_EQ(Send("a"), "00/00/02/80012345/");
  // Aimed at the second sale line of a receipt: the first passes, the second is executed
  // but its answer is lost, the third is refused.
  OpenSale();
  fEmu.DropAnswers("3", 1, 1);
  fEmu.ForceReplyCode("3", 0x18, 1, 2);
  Sale("UNO", "1.000", "1.00");
  EXPECT_EQ(HttpGet(Url("3", Pkt({"S", "DUE", "", "1.000", "2.00", "1", "", "", "0", ""}))).fCurl, CURLE_GOT_NOTHING);
  EXPECT_EQ(Send("3", Pkt({"S", "TRE", "", "1.000", "3.00", "1", "", "", "0", ""})), "18/00/06/");
  EXPECT_EQ(fEmu.Snapshot().fDocumentTotal, Amount::FromInt(3));
  Ok("+", "/0/");

  fEmu.ForceFrame("t", "garbage", 2);
  EXPECT_EQ(Send("t"), "garbage");
  EXPECT_EQ(Send("t"), "garbage");
  EXPECT_EQ(Field(Send("t"), 4).size(), 6u);

  // An answer slower than the client waits for.
  fEmu.SetDelay(std::chrono::milliseconds(5000));
  EXPECT_EQ(HttpGet(Url("?", ""), {}, 100).fCurl, CURLE_OPERATION_TIMEDOUT);
  fEmu.ClearFaults();
  EXPECT_EQ(Ok("?"), "00/00/02/");
}

// The faults of a hostile printer: each leaves the printer in the state the test names and
// answers what the driver would hear.
TEST_F(Emulator, HostileFaultsCarryOutWhatTheyClaimNot) {
  auto openSaleWithItem = [&] {
    OpenSale();
    Sale("CAFFE", "1.000", "1.20");
  };
  // A repeated closing: carried out once, the repeat answers that no receipt is open.
  openSaleWithItem();
  fEmu.ReplayRequests("m");
  EXPECT_EQ(Send("m").substr(0, 2), "41");
  ASSERT_EQ(fEmu.Journal().size(), 1u);
  EXPECT_EQ(fEmu.Journal()[0].fNumber, 1);
  ASSERT_EQ(fEmu.Journal()[0].fItems.size(), 1u);
  EXPECT_EQ(fEmu.Journal()[0].fItems[0].fDescription, "CAFFE");
  EXPECT_EQ(fEmu.Journal()[0].fTotal, Amount::Parse("1.20"));

  // A closing carried out and answered as refused, with either code.
  for (int code : {0x4E, 0x14}) {
    openSaleWithItem();
    fEmu.RefuseAfterCarryingOut("m", code);
    EXPECT_EQ(std::stoi(Send("m").substr(0, 2), nullptr, 16), code);
    EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::None);
  }
  EXPECT_EQ(fEmu.Journal().size(), 3u);

  // A closing lost on its way, then "X" refused twice: the receipt stays open.
  openSaleWithItem();
  Ok("X");  // before the loss, "X" answers
  fEmu.LoseThenRefuse("m", "X", 0x06, 2);
  EXPECT_EQ(HttpGet(Url("m", "")).fCurl, CURLE_GOT_NOTHING);
  EXPECT_EQ(Send("X").substr(0, 2), "06");
  EXPECT_EQ(Send("X").substr(0, 2), "06");
  EXPECT_EQ(Field(Ok("X"), 4), "1");
  Ok("+", "/0/");

  // A restart in the middle of a receipt: no answer, the receipt gone without a trace, and
  // the day waiting for its Z report.
  openSaleWithItem();
  fEmu.RebootAt("5", true);
  EXPECT_EQ(HttpGet(Url("5", Pkt({"1", "1.20", "", "", "", "", "", "", "0"}))).fCurl, CURLE_GOT_NOTHING);
  EXPECT_EQ(fEmu.Snapshot().fDocument, DocumentState::None);
  EXPECT_EQ(fEmu.Journal().size(), 3u);
  EXPECT_EQ(Send(">", Pkt({"", "", ""})).substr(0, 2), "78");
  Ok("x", Pkt({"7", "", "", ""}));

  // "X" says idle and no closings while every status byte says a receipt is open.
  fEmu.SetStateSaysIdle(true);
  fEmu.SetStateHidesClosings(true);
  openSaleWithItem();
  const std::string state = Ok("X");
  EXPECT_EQ(Field(state, 3), "06");  // day open, transaction open
  EXPECT_EQ(Field(state, 4), "0");
  EXPECT_EQ(Field(state, 6), "0");
  fEmu.ClearFaults();
  EXPECT_EQ(Field(Ok("X"), 4), "1");
  EXPECT_EQ(Field(Ok("X"), 6), "1");
  Ok("+", "/0/");
}

// A hold point stops one command where the test wants it, while the printer answers others.
TEST_F(Emulator, HoldPointStopsOneCommandUntilReleased) {
  struct Case {
    const char* name;
    PrinterEmulator::HoldMode mode;
    bool carryOut;
    DocumentState whileHeld, afterRelease;
    CURLcode heard;
  } cases[] = {
      {"held before, released", PrinterEmulator::HoldMode::BeforeCarryingOut, true, DocumentState::None,
       DocumentState::Sale, CURLE_OK},
      {"held before, dropped", PrinterEmulator::HoldMode::BeforeCarryingOut, false, DocumentState::None,
       DocumentState::None, CURLE_GOT_NOTHING},
      {"carried out, answer held", PrinterEmulator::HoldMode::AfterCarryingOut, true, DocumentState::Sale,
       DocumentState::Sale, CURLE_OK},
      {"carried out, answer lost", PrinterEmulator::HoldMode::AfterCarryingOut, false, DocumentState::Sale,
       DocumentState::Sale, CURLE_GOT_NOTHING},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> heldLetters;
    fEmu.SetHoldListener([&heldLetters](const ReceivedPacket& aPacket) { heldLetters.push_back(aPacket.fLetter); });
    fEmu.HoldAt(">", c.mode, 1);
    Ok(">", Pkt({"", "", ""}));  // the first passes
    Ok("+", "/0/");
    HttpResult held;
    std::thread till([&] { held = HttpGet(Url(">", Pkt({"", "", ""}))); });
    ASSERT_TRUE(fEmu.WaitHeld(std::chrono::seconds(30)));
    EXPECT_EQ(fEmu.Snapshot().fDocument, c.whileHeld);
    EXPECT_EQ(Ok("?"), c.whileHeld == DocumentState::None ? "00/00/02/" : "00/00/06/");
    fEmu.ReleaseHold(c.carryOut);
    till.join();
    EXPECT_EQ(held.fCurl, c.heard);
    EXPECT_EQ(fEmu.Snapshot().fDocument, c.afterRelease);
    EXPECT_EQ(heldLetters, std::vector<std::string>{">"});
    Ok("+", "/0/");
  }
  fEmu.SetHoldListener(nullptr);
}

TEST(FullBacklogListener, ConnectsTimeOutWithoutDelivering) {
  FullBacklogListener listener;
  listener.Start();
  CURL* c = curl_easy_init();
  std::string url = listener.BaseUrl() + "_io?cmd=4&js=0&pkt=?";
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, 300L);
  EXPECT_EQ(curl_easy_perform(c), CURLE_OPERATION_TIMEDOUT);
  curl_off_t connectTime = -1;
  long requestSize = -1;
  curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connectTime);
  curl_easy_getinfo(c, CURLINFO_REQUEST_SIZE, &requestSize);
  EXPECT_EQ(connectTime, 0);
  EXPECT_EQ(requestSize, 0);
  curl_easy_cleanup(c);
}

TEST_F(Emulator, VatAndDepartmentTablesReadBackAsProgrammed) {
  std::vector<std::string> vat(36);
  for (int i = 0; i < 12; ++i) vat[i] = "22.00";
  vat[1] = "10.00";
  vat[4] = "5.00";
  vat[2] = "0.00";
  vat[12 + 2] = "3";
  Ok("b", Pkt(vat));
  auto e = Split(Ok("e").substr(9), '/');
  ASSERT_GE(e.size(), 24u);
  EXPECT_EQ(e[0], "22.00");
  EXPECT_EQ(e[1], "10.00");
  EXPECT_EQ(e[2], "0.00");
  EXPECT_EQ(e[4], "5.00");
  EXPECT_EQ(e[12 + 2], "3");

  Ok("N", Pkt({"07", "SERVIZI VARI", "05", "1", "0.00", "9999.00", "0.00", "110000010"}));
  auto d = Split(Ok(":", "/7").substr(9), '/');
  ASSERT_GE(d.size(), 13u);
  EXPECT_EQ(d[0], "SERVIZI VARI");
  EXPECT_EQ(d[1], "05");
  EXPECT_EQ(d[6].substr(7, 1), "1");
  EXPECT_EQ(fEmu.Snapshot().fDepartments[6].fSalesType, 1);
}

// Random packets built from the printer's own vocabulary never crash it and always get a
// well-formed frame.
TEST(EmulatorRobustness, RandomPacketsAlwaysGetAFrame) {
  PrinterEmulator emu;
  const std::vector<std::string> letters = {"?", "\\", "{", "E", "a", "v", ",", "t", "T", "|", "+", "q", "7",
                                            ">", "}", "-", "I", "3", "4", "U", "5", "[", "m", "X", "i", "@",
                                            "*", "x", "e", "b", ":", "N", "Z", "é"};
  const std::vector<std::string> words = {"", "0", "1", "2", "3", "7", "10", "20", "S", "G", "N", "B", "M",
                                          "1.000", "2.500", "999999999.999", "1.00", "-1.00", "999999999.99",
                                          "0.00", "22.00", "PANE", "TOTALE", "01012026", "311299", "235959",
                                          "4", "5", "12", "21", "100", "67", "ABCDEFGH", "110000000", "ò"};
  uint32_t seed = 12345;
  auto next = [&seed](size_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<size_t>((seed >> 8) % n);
  };
  // Half of the packets carry the field count their letter takes, so they get past the
  // count check into the command itself; a receipt is opened now and then.
  const std::map<std::string, size_t> counts = {{"3", 10}, {"4", 6}, {"5", 9}, {"E", 9}, {"7", 3}, {"-", 6},
                                                {"+", 7},  {"@", 8}, {"*", 2}, {"x", 4}, {"b", 36}, {"N", 8},
                                                {"T", 2},  {"I", 2}, {"[", 6}, {":", 1}, {"{", 1}};
  for (int i = 0; i < 20000; ++i) {
    if (i % 50 == 0) {
      emu.Execute(">", "////");
      emu.Execute("}", "/");
    }
    const std::string& letter = letters[next(letters.size())];
    auto known = counts.find(letter);
    std::string data;
    size_t count = known != counts.end() && next(2) ? known->second : next(12);
    if (count > 0) {
      data = "/";
      for (size_t k = 0; k < count; ++k) data += words[next(words.size())] + "/";
      if (next(4) == 0) data.pop_back();
    }
    std::string frame = emu.Execute(letter, data);
    ASSERT_GE(frame.size(), 9u) << letter << data;
    ASSERT_TRUE(isxdigit(frame[0]) && isxdigit(frame[1]) && frame[2] == '/' && frame[5] == '/' &&
                isdigit(frame[6]) && isdigit(frame[7]) && frame[8] == '/')
        << letter << data << " -> " << frame;
    ASSERT_EQ(frame.back(), '/') << letter << data << " -> " << frame;
  }
}

TEST_F(Emulator, UncheckedReferencesLetRefundsNameAnyReceipt) {
  fEmu.SetCheckReferences(false);
  Ok("-", Pkt({"01012026", "3", "99", "", "", ""}));
  Ok("}", "/");
  Ok("3", Pkt({"N", "RESO", "", "1.000", "4.00", "1", "", "", "0", ""}));
  Ok("m", "/");
  EXPECT_EQ(fEmu.Snapshot().fDay.fRefunds, Amount::FromInt(4));
}

TEST_F(Emulator, StateSurvivesARestart) {
  OpenSale();
  Sale("ARTICOLO", "1.000", "2.50");
  Ok("m", "/");
  uint16_t port = fEmu.Port();
  fEmu.Stop();
  EXPECT_EQ(fEmu.Start(), port);
  EXPECT_EQ(Ok("X"), "00/00/02/0/1/0/");
  std::string path = ::testing::TempDir() + "/fpemu_state.xml";
  ASSERT_TRUE(fEmu.SaveState(path));
  PrinterEmulator other;
  ASSERT_TRUE(other.LoadState(path));
  std::filesystem::remove(path);
  PrinterSnapshot a = fEmu.Snapshot(), b = other.Snapshot();
  EXPECT_TRUE(b.fDayOpen);
  EXPECT_EQ(b.fLastDocumentNumber, 1);
  EXPECT_EQ(b.fDay.fSales, a.fDay.fSales);
  ASSERT_EQ(other.Journal().size(), 1u);
  EXPECT_EQ(other.Journal()[0].fLines, fEmu.Journal()[0].fLines);
  EXPECT_EQ(DateOf(other.Journal()[0].fDateTime), DateOf(fEmu.Journal()[0].fDateTime));
}

TEST(EmulatorState, ValuesThePrinterDoesNotKnowAreRefusedOrReadAsTheFirst) {
  PrinterEmulator emu;
  EXPECT_THROW(emu.SetVatSlot(1, VatSlot{Amount(), 7}), std::out_of_range);
  EXPECT_THROW(emu.SetVatSlot(13, VatSlot{}), std::out_of_range);
  EXPECT_THROW(emu.SetPaymentSlot(0, PaymentSlot{}), std::out_of_range);

  const std::string path = ::testing::TempDir() + "/fpemu_hand_edited.xml";
  {
    std::ofstream file(path);
    file << "<fpemu><printer serial=\"1\"/><vat rate=\"0\" natura=\"42\"/><vat rate=\"0\" natura=\"-3\"/>"
            "<payment description=\"X\" code=\"X\" kind=\"9\"/></fpemu>";
  }
  ASSERT_TRUE(emu.LoadState(path));
  std::filesystem::remove(path);
  const PrinterSnapshot s = emu.Snapshot();
  EXPECT_EQ(s.fVat[0].fNatura, 0);
  EXPECT_EQ(s.fVat[1].fNatura, 0);
  EXPECT_EQ(s.fPaymentSlots[0].fKind, 3);
}

}  // namespace
