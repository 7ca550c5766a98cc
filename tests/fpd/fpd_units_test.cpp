// The parts of fpd that decide on their own: its configuration, the request it builds
// around a till's document, the JSON of a result, the reopen pauses, the token check.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "config.h"
#include "fpd_test_support.h"
#include "http_service.h"
#include "printer_session.h"
#include "request_document.h"

namespace fpd {
namespace {

const char* kGoodPrinter = R"("printers": [{"name": "front", "connection": {"Type": "HTTP", "URL": "http://p/"}}])";
const char* kGoodTill = R"("tills": [{"name": "t1", "token": "0123456789abcdef"}])";

std::string Config(const std::string& aTop) { return "{" + aTop + "}"; }

TEST(FpdConfig, RefusesWhatCannotBeUsedNamingTheSetting) {
  struct Case {
    std::string fJson;
    std::string fMessage;
  };
  const std::string good = std::string(kGoodTill) + ", " + kGoodPrinter;
  const std::vector<Case> cases{
      {Config(good + R"(, "queue_limt": 3)"), "queue_limt: unknown setting"},
      {Config(std::string(kGoodPrinter) + R"(, "tills": [{"name": "t1", "token": "short"}])"),
       "tills[0].token: 16 to 256 visible ASCII characters"},
      {Config(std::string(kGoodPrinter) + R"(, "tills": [])"), "tills: needs at least one till with a token"},
      {Config(good + R"(, "allowed_origins": ["https://till.example.com/page"])"),
       "allowed_origins[0]: an origin is scheme://host[:port], without path or \"*\""},
      {Config(good + R"(, "allowed_origins": ["*"])"),
       "allowed_origins[0]: an origin is scheme://host[:port], without path or \"*\""},
      {Config(std::string(kGoodTill) + R"(, "printers": [{"name": "../x", "connection": {"Type": "HTTP"}}])"),
       "printers[0].name: 1 to 64 letters, digits, \"-\" or \"_\""},
      {Config(std::string(kGoodTill) + R"(, "printers": [{"name": "a", "connection": {"URL": "http://p/"}}])"),
       "printers[0].connection.Type: missing"},
      {Config(std::string(kGoodTill) + R"(, "printers": [{"name": "a", "connection": {"Type": "HTTP", "Adress": "p"}}])"),
       "printers[0].connection.Adress: not a connection setting"},
      {Config(good + R"(, "reopen": {"first_ms": 500, "max_ms": 100})"), "reopen.max_ms: must not be less than reopen.first_ms"},
      {Config(good + R"(, "listen": {"port": 70000})"), "listen.port: must be between 0 and 65535"},
      {"{", "not valid JSON"},
  };
  for (const Case& c : cases) {
    try {
      ParseConfig(c.fJson);
      ADD_FAILURE() << "accepted: " << c.fJson;
    } catch (const kConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(c.fMessage), std::string::npos) << e.what();
    }
  }
}

TEST(FpdConfig, ReadsPrintersTillsAndDefaults) {
  const kServiceConfig config = ParseConfig(Config(std::string(kGoodTill) + R"(, "queue_limit": 4,
    "printers": [{"name": "front", "connection": {"Type": "HTTP", "URL": "http://p/", "ReadTimeout": 5000},
                  "parameters": {"GetReceiptText": true}},
                 {"name": "back", "driver": "OTHER", "connection": {"Type": "TCP"}, "queue_limit": 2}])"));
  EXPECT_EQ(config.fListenAddress, "127.0.0.1");  // loopback unless told otherwise
  ASSERT_EQ(config.fPrinters.size(), 2u);
  EXPECT_EQ(config.fPrinters[0].fDriver, "VNRP_TARVOLX40FPETH_10");
  EXPECT_EQ(config.fPrinters[0].fConnection,
            (vnNamedTexts{{"Type", "HTTP"}, {"URL", "http://p/"}, {"ReadTimeout", "5000"}}));
  EXPECT_EQ(config.fPrinters[0].fParameters, (vnNamedTexts{{"GetReceiptText", "true"}}));
  EXPECT_EQ(config.fPrinters[0].fQueueLimit, 4u);
  EXPECT_EQ(config.fPrinters[1].fQueueLimit, 2u);
}

kPrinterConfig Printer() {
  kPrinterConfig p;
  p.fName = "front";
  p.fConnection = {{"Type", "HTTP"}, {"URL", "http://p/"}};
  p.fParameters = {{"GetReceiptText", "true"}, {"HexLog", "false"}};
  return p;
}

TEST(FpdRequest, WrapsTheTillsDocumentInThePrintersDeviceSection) {
  const kPreparedRequest request(Printer(), "PRINTFR",
                                 "<?xml version=\"1.0\"?>\n<Parameters><hexlog>true</hexlog></Parameters>" +
                                     test::Receipt("1.50"),
                                 "");
  EXPECT_EQ(request.Text(7),
            "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>7</Handle><LogId>front</LogId>"
            "<Connection><Type>HTTP</Type><URL>http://p/</URL></Connection>"
            // The till's parameter wins over the printer's of the same name, in any case.
            "<Parameters><hexlog>true</hexlog><GetReceiptText>true</GetReceiptText></Parameters>" +
                test::Receipt("1.50") + "</ReceiptPrinterManager>");
}

TEST(FpdRequest, IdempotencyKeyBecomesTheReceiptsExternalReference) {
  const std::string withKey = kPreparedRequest(Printer(), "PRINTFR", test::Receipt("1"), "till1-000042").Text(1);
  EXPECT_NE(withKey.find("<ExternalReference>till1-000042</ExternalReference>"), std::string::npos) << withKey;
  const std::string same = kPreparedRequest(Printer(), "PRINTFR",
                                            test::Receipt("1", "<ExternalReference>till1-000042</ExternalReference>"),
                                            "till1-000042").Text(1);
  EXPECT_EQ(same, withKey.substr(0, withKey.find("<Receipt>")) +
                      test::Receipt("1", "<ExternalReference>till1-000042</ExternalReference>") +
                      "</ReceiptPrinterManager>");
}

TEST(FpdRequest, RefusesWhatWouldAddressAnotherDeviceOrIsNoDocument) {
  struct Case {
    std::string fExport, fBody, fKey, fMessage;
  };
  const std::vector<Case> cases{
      {"GETSTATUS", "<Handle>3</Handle>", "", "<Handle> is not for the till to send: fpd supplies the device section"},
      {"PRINTFR", "<Connection><Type>TCP</Type></Connection>", "",
       "<Connection> is not for the till to send: fpd supplies the device section"},
      {"PRINTFR", "<Receipt>", "", "the body is not XML:"},
      {"PRINTFR", "sale" + test::Receipt("1"), "", "the body has text outside an element"},
      {"PRINTFR", std::string("<Receipt>\xC3</Receipt>"), "", "the body is not UTF-8 text"},
      {"PRINTFR", "<Parameters/><Parameters/>", "", "the body has two <Parameters> elements"},
      {"PRINTNFR", "<NFReceipt/>", "k1", "Idempotency-Key applies to receipts (PRINTFR) only"},
      {"PRINTFR", test::Receipt("1"), "bad key/../x", "Idempotency-Key: 1 to 64 letters"},
      {"PRINTFR", test::Receipt("1", "<ExternalReference>other</ExternalReference>"), "k1",
       "Idempotency-Key differs from the receipt's ExternalReference"},
  };
  for (const Case& c : cases) {
    try {
      kPreparedRequest(Printer(), c.fExport, c.fBody, c.fKey);
      ADD_FAILURE() << "accepted: " << c.fBody;
    } catch (const kRequestError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.fMessage, 0), 0u) << e.what();
    }
  }
}

TEST(FpdResultJson, KeepsTheFieldNamesAndTextsAndMakesListsOfRepeatedElements) {
  const auto xreport = nlohmann::json::parse(ResultToJson(
      "<XReportNumber>3</XReportNumber>\r\n<Text><Line>A &amp; B</Line><Line>2</Line></Text>"
      "<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName>x.log</LogFileName>"));
  EXPECT_EQ(xreport, nlohmann::json::parse(R"({"XReportNumber": "3", "Text": ["A & B", "2"], "Error": "False",
                                              "ErrorText": "", "LogFileName": "x.log"})"));
  const auto vat = nlohmann::json::parse(ResultToJson(
      "<VATTable>\r\n<VAT>\r\n<Index>1</Index>\r\n<Code>22</Code>\r\n<Rate>22</Rate>\r\n</VAT>\r\n</VATTable>\r\n"
      "<Error>False</Error>"));
  EXPECT_EQ(vat["VATTable"], nlohmann::json::parse(R"([{"Index": "1", "Code": "22", "Rate": "22"}])"));
  // A report without text still has a list.
  EXPECT_EQ(nlohmann::json::parse(ResultToJson("<Text></Text><Error>True</Error>"))["Text"], nlohmann::json::array());
}

TEST(FpdBackoff, DoublesUpToItsBoundAndStartsAgainAfterAnOpen) {
  kBackoff backoff(250, 1500);
  std::vector<long> delays;
  for (int i = 0; i < 5; ++i) delays.push_back(backoff.Next().count());
  EXPECT_EQ(delays, (std::vector<long>{250, 500, 1000, 1500, 1500}));
  backoff.Reset();
  EXPECT_EQ(backoff.Next().count(), 250);
}

TEST(FpdTokens, OnlyAWholeTokenNamesItsTill) {
  const std::vector<kTillConfig> tills{{"t1", "0123456789abcdef"}, {"t2", "fedcba9876543210"}};
  const std::vector<std::pair<std::string, std::string>> cases{
      {"0123456789abcdef", "t1"}, {"fedcba9876543210", "t2"}, {"0123456789abcde", ""},
      {"0123456789abcdef0", ""},  {"", ""},                   {"0123456789abcdeF", ""}};
  for (const auto& [token, till] : cases) EXPECT_EQ(TillOfToken(tills, token), till) << token;
}

}  // namespace
}  // namespace fpd
