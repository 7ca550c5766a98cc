// The RT printer driver when the printer is down, slow, answers HTTP errors, refuses a
// command, stays busy or sends garbage; and what the device log shows of each exchange.
#include <thread>

#include "driver_fixture.h"
#include "support/device_test_access.h"

using namespace fp;
using namespace fp::test;

TEST_F(DriverTest, LogShowsEachExchange) {
  auto& d = OpenAndInit();
  DateTime dt = 0;
  ASSERT_TRUE(d.GetDateTime(dt));
  const auto lines = LogLines();
  auto has = [&](const std::string& aText) {
    for (const auto& l : lines)
      if (l.find(aText) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has("TX: :t"));
  EXPECT_TRUE(has("GET:" + emu.BaseUrl() + "_io?cmd=4&js=0&pkt=t"));
  EXPECT_TRUE(has("Read ["));
}

TEST_F(DriverTest, FailedExchangesAreRetried) {
  auto& d = OpenAndInit();
  emu.FailNext(2, 500);
  DateTime dt = 0;
  EXPECT_TRUE(d.GetDateTime(dt));
  EXPECT_EQ(pauses, (std::vector<int>{1000, 1000}));
  EXPECT_EQ(CountLetter(emu.Packets(), "t"), 3);
  EXPECT_TRUE(LogHas("TX: :Retry:1"));
  EXPECT_TRUE(LogHas("TX: :Retry:2"));
  EXPECT_FALSE(LogHas("TX: :Retry:3"));
  EXPECT_FALSE(d.ErrorFound());
}

TEST_F(DriverTest, HttpErrorsEndWithTheStatusText) {
  struct Case {
    int status;
    const char* message;
  } cases[] = {{503, "HTTP 503 Service Unavailable from "},
               {404, "HTTP 404 Not Found from "},
               {0, "Empty answer from "}};
  auto& d = OpenAndInit();
  for (const auto& c : cases) {
    pauses.clear();
    emu.ClearPackets();
    emu.FailNext(3, c.status);
    _int_GETSTATUS_result r;
    d.Pub_GetStatus(*Request(), r);
    EXPECT_TRUE(r.Error) << c.status;
    // The reason, then the printer's address.
    EXPECT_EQ(r.ErrorText.rfind(c.message, 0), 0u) << r.ErrorText;
    EXPECT_NE(r.ErrorText.find(emu.BaseUrl()), std::string::npos) << r.ErrorText;
    EXPECT_EQ(d.ErrorCode(), c.status) << c.status;
    EXPECT_EQ(pauses.size(), 3u) << c.status;
    EXPECT_EQ(Letters(emu.Packets()), "aaa") << c.status;
  }
  EXPECT_TRUE(LogHas("TX: :Retry:3"));
  // The printer is back: the device works as before.
  _int_GETSTATUS_result r;
  d.Pub_GetStatus(*Request(), r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
}

TEST_F(DriverTest, PrinterDownEndsQuickly) {
  auto& d = OpenAndInit();
  emu.Stop();
  _int_GETSTATUS_result r;
  d.Pub_GetStatus(*Request(), r);
  EXPECT_TRUE(r.Error);
  // No HTTP status came back: the reason says the connection was refused, and where.
  EXPECT_EQ(r.ErrorText, "Connection refused (or the host unreachable) at " + emu.BaseUrl());
  EXPECT_EQ(pauses, (std::vector<int>{1000, 1000, 1000}));
  EXPECT_TRUE(LogHas("TX: :Retry:3"));
}

TEST_F(DriverTest, RefusedCommandGivesTheReplyCodeMessage) {
  auto& d = OpenAndInit();
  emu.ForceReplyCode("v", 0x0A);
  _int_GETSTATUS_result r;
  d.Pub_GetStatus(*Request(), r);
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "The Clerk\u2019s index number doesn\u2019t exist");
  EXPECT_EQ(d.ErrorCode(), 0x0A);
  EXPECT_EQ(Letters(emu.Packets()), "av");  // nothing after the refusal
  EXPECT_TRUE(LogHas("Frame ERR:The Clerk\u2019s index number doesn\u2019t exist"));
  EXPECT_TRUE(pauses.empty());  // a refusal is an answer, not a failed exchange
}

TEST_F(DriverTest, GarbageFrameFailsTheCallAndTheDeviceStaysUsable) {
  auto& d = OpenAndInit();
  emu.ForceFrame("a", "<html><body>busy</body></html>");
  _int_GETSTATUS_result r;
  try {
    d.Pub_GetStatus(*Request(), r);
    ADD_FAILURE() << "garbage accepted";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Invalid reply frame from the printer: '<html>", 0), 0u) << e.what();
  }
  _int_GETSTATUS_result again;
  d.Pub_GetStatus(*Request(), again);
  EXPECT_FALSE(again.Error) << again.ErrorText;
  EXPECT_EQ(again.SerialNumber, "4ZRPV012345");
}

TEST_F(DriverTest, BusyJournalIsPolledUntilItAnswers) {
  auto& d = OpenAndInit();
  emu.AnswerBusy(3);
  EXPECT_TRUE(d.Send("@", "/7/1////010126/010126/0/"));
  EXPECT_EQ(CountLetter(emu.Packets(), "@"), 4);
  EXPECT_EQ(pauses, (std::vector<int>{500, 500, 500}));
  EXPECT_TRUE(LogHas("Retry Frame Equal 00/00/02 and APkt = @:"));
}

TEST_F(DriverTest, SlowPrinterWithinTheReadTimeoutIsFine) {
  auto& d = OpenAndInit();
  emu.SetDelay(std::chrono::milliseconds(300));
  DateTime dt = 0;
  EXPECT_TRUE(d.GetDateTime(dt));
  EXPECT_TRUE(pauses.empty());
}

TEST_F(DriverTest, CommandThatMayHaveRunIsNotRepeated) {
  auto& d = OpenAndInit();
  // The printer opens the drawer, then the connection drops before the answer: a second
  // attempt would open it twice.
  emu.DropNextAnswers(1);
  EXPECT_FALSE(d.OpenDrawer(1));
  EXPECT_EQ(CountLetter(emu.Packets(), "q"), 1);
  EXPECT_TRUE(d.ErrorFound());
  // A reading is simply asked again.
  emu.ClearPackets();
  emu.DropNextAnswers(1);
  DateTime dt = 0;
  EXPECT_TRUE(d.GetDateTime(dt));
  EXPECT_EQ(CountLetter(emu.Packets(), "t"), 2);
  EXPECT_FALSE(d.ErrorFound());
}

// Credentials written into the URL reach the printer but never the log or ErrorText.
TEST_F(DriverTest, CredentialsInTheUrlNeverReachTheLog) {
  const std::string url = "http://cassa:s3greta@" + emu.BaseUrl().substr(7);
  auto h = std::make_unique<kReceiptPrinterHandler>();
  h->Deserialize(DeviceXml(url), {});
  auto create = RegisteredDriver("VNRP_TARVOLX40FPETH_10");
  device.reset(static_cast<kFiscalPrinter_TARVOLX40FPETH*>(create(*h).release()));
  device->SetSleeper([this](int ms) { pauses.push_back(ms); });
  _int_OPEN_result open;
  device->Pub_Open(*h, open);
  DateTime dt = 0;
  EXPECT_TRUE(device->GetDateTime(dt));
  emu.Stop();
  _int_GETSTATUS_result r;
  device->Pub_GetStatus(*h, r);
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText.find("s3greta"), std::string::npos) << r.ErrorText;
  EXPECT_NE(r.ErrorText.find("http://127.0.0.1:"), std::string::npos) << r.ErrorText;
  EXPECT_TRUE(LogHas("GET:http://127.0.0.1:"));
  for (const auto& line : LogLines()) EXPECT_EQ(line.find("s3greta"), std::string::npos) << line;
}

// A password typed into the URL with "/", "@" and ":" as they are makes a URL no request
// can use; the failure names the printer's address without any piece of the password.
TEST_F(DriverTest, PasswordWithSlashInTheUrlNeverReachesTheLog) {
  const std::string url = "http://cassa:s3/gr@ta:x@" + emu.BaseUrl().substr(7);
  auto h = std::make_unique<kReceiptPrinterHandler>();
  h->Deserialize(DeviceXml(url), {});
  auto create = RegisteredDriver("VNRP_TARVOLX40FPETH_10");
  device.reset(static_cast<kFiscalPrinter_TARVOLX40FPETH*>(create(*h).release()));
  device->SetSleeper([this](int ms) { pauses.push_back(ms); });
  _int_OPEN_result open;
  device->Pub_Open(*h, open);
  _int_GETSTATUS_result r;
  device->Pub_GetStatus(*h, r);
  EXPECT_TRUE(r.Error);
  EXPECT_NE(r.ErrorText.find("http://127.0.0.1:"), std::string::npos) << r.ErrorText;
  for (const char* piece : {"s3/", "gr@", "ta:x", "cassa"}) {
    EXPECT_EQ(r.ErrorText.find(piece), std::string::npos) << r.ErrorText;
    for (const auto& line : LogLines()) EXPECT_EQ(line.find(piece), std::string::npos) << line;
  }
}

// MinReadTimeout lowers the floor under the read timeout; the request's ReadTimeout of 3000
// stands only with a floor below it.
TEST_F(DriverTest, MinReadTimeoutSetsTheFloorUnderTheReadTimeout) {
  struct Case {
    const char* value;  // the parameter, "" for none
    int readTimeout;    // -1: the device is refused
  } cases[] = {{"", 7000}, {"1000", 3000}, {"5000", 5000}, {"7000", 7000}, {"999", -1}, {"8000", -1}, {"fast", -1}};
  auto create = RegisteredDriver("VNRP_TARVOLX40FPETH_10");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    auto h = Request("", {}, *c.value ? std::string("<MinReadTimeout>") + c.value + "</MinReadTimeout>" : "");
    if (c.readTimeout < 0) {
      try {
        create(*h);
        ADD_FAILURE() << "accepted";
      } catch (const kException& e) {
        EXPECT_EQ(std::string(e.what()), std::string("Invalid MinReadTimeout '") + c.value +
                                             "': milliseconds from 1000 to 7000 expected");
      }
      continue;
    }
    auto dev = create(*h);
    EXPECT_EQ(kDeviceTestAccess::IOHandler(*dev).ReadTimeout(), c.readTimeout);
  }
}
