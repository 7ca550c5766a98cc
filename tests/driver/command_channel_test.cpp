#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "base/errors.h"
#include "drivers/tarvolx40fpeth/command_channel.h"

using namespace fp;
using namespace fp::tarvol;

namespace {

// One scripted answer of the fake printer exchange.
struct Step {
  bool ok;
  std::string body;          // reply frame when ok
  int status = 0;            // HTTP status when not ok
  bool mayHaveRun = false;   // the failure came after the request was sent
};

class FakeExchange : public kExchange {
 public:
  std::deque<Step> script;
  Step fallback{true, "00/00/02/"};
  std::vector<std::string> paths;

  kExchangeResult Exchange(const std::string& aPath) override {
    paths.push_back(aPath);
    const Step step = script.empty() ? fallback : script.front();
    if (!script.empty()) script.pop_front();
    kExchangeResult r;
    if (step.ok) {
      r.fKind = ok_Done;
      r.Answer = step.body;
    } else {
      r.fKind = step.mayHaveRun ? ok_Unknown : ok_NotDelivered;
      r.fCode = step.status;
      r.fMessage = "status " + std::to_string(step.status);
    }
    return r;
  }
};

class ChannelTest : public ::testing::Test {
 protected:
  ChannelTest()
      : channel(link, [this](tVN_MessageType aType, const std::string& aTitle, const std::string& aMessage) {
          log.push_back(std::string(aType == let_error ? "E|" : "I|") + aTitle + "|" + aMessage);
        }) {
    channel.SetSleeper([this](int ms) { pauses.push_back(ms); });
  }
  int Count(const std::string& aLine) const {
    int n = 0;
    for (const auto& l : log) n += l == aLine;
    return n;
  }
  FakeExchange link;
  std::vector<std::string> log;  // "I|title|message" or "E|title|message"
  kCommandChannel channel;
  std::vector<int> pauses;
};

}  // namespace

TEST_F(ChannelTest, SendsOneGetAndDecodesTheReply) {
  link.script = {{true, "00/04/06/ABC/"}};
  const vnOutcome r = channel.SendCommand("4", 0, "a", "", true);
  ASSERT_TRUE(r.Done());
  EXPECT_TRUE(r.Answered());
  ASSERT_EQ(link.paths.size(), 1u);
  EXPECT_EQ(link.paths[0], "_io?cmd=4&js=0&pkt=a");
  EXPECT_EQ(channel.Response(), "00/04/06/ABC/");
  EXPECT_TRUE(channel.DeviceStatus().PrintPaperEnd);
  EXPECT_TRUE(channel.FiscalStatus().TransactionOpen);
  EXPECT_EQ(log.front(), "I|TX: |a");
  EXPECT_TRUE(pauses.empty());
}

TEST_F(ChannelTest, AcceptedAndRefusedReplyCodes) {
  struct Case {
    const char* frame;
    bool ok;
    int replyCode;
    const char* message;
  } cases[] = {
      {"00/00/00/", true, 0x00, ""},
      {"51/00/00/", true, 0x51, ""},
      {"52/00/00/", true, 0x52, ""},
      {"0A/00/00/", false, 0x0A, "The Clerk\u2019s index number doesn\u2019t exist"},
      {"81/00/00/", false, 0x81, "Error Unknow 129"},
  };
  for (const auto& c : cases) {
    link.script = {{true, c.frame}};
    log.clear();
    const vnOutcome r = channel.SendCommand("4", 0, "t", "", true);
    EXPECT_EQ(r.Done(), c.ok) << c.frame;
    EXPECT_EQ(r.fKind, c.ok ? ok_Done : ok_Refused) << c.frame;
    EXPECT_EQ(channel.DeviceStatus().ReplyCode, c.replyCode) << c.frame;
    EXPECT_EQ(channel.LastResult().fKind, r.fKind) << c.frame;
    if (!c.ok) {
      EXPECT_EQ(r.fCode, c.replyCode);  // the printer's own code, next to its message
      EXPECT_EQ(r.fMessage, c.message);
      EXPECT_EQ(Count(std::string("E|Frame ERR|") + c.message), 1);
    }
  }
}

TEST_F(ChannelTest, FailedExchangesAreRetriedThreeTimesOneSecondApart) {
  link.script = {{false, "", 0}, {false, "", 500}, {true, "00/00/02/"}};
  EXPECT_TRUE(channel.SendCommand("4", 0, "?", "", true).Done());
  EXPECT_EQ(link.paths.size(), 3u);
  EXPECT_EQ(pauses, (std::vector<int>{1000, 1000}));
  EXPECT_EQ(Count("I|TX: |Retry:1"), 1);
  EXPECT_EQ(Count("I|TX: |Retry:2"), 1);

  link.script = {{false, "", 404}, {false, "", 404}, {false, "", 404}, {true, "00/00/02/"}};
  log.clear();
  pauses.clear();
  const vnOutcome r = channel.SendCommand("4", 0, "?", "", true);
  EXPECT_EQ(r.fKind, ok_NotDelivered);
  EXPECT_EQ(link.paths.size(), 6u);
  EXPECT_EQ(pauses, (std::vector<int>{1000, 1000, 1000}));  // also after the third failure
  EXPECT_EQ(Count("I|TX: |Retry:3"), 1);
  EXPECT_EQ(r.fCode, 404);
  EXPECT_EQ(r.fMessage, "status 404");
  EXPECT_EQ(channel.Response(), "00/00/02/");  // a failed command leaves the last reply
}

TEST_F(ChannelTest, CommandThatMayHaveRunIsNotSentAgain) {
  // The connection broke after a Z report request went out: repeating it could close the day twice.
  link.script = {{false, "", 0, true}, {true, "00/00/00/"}};
  EXPECT_EQ(channel.SendCommand("4", 0, "x", "/7////", true).fKind, ok_Unknown);
  EXPECT_EQ(link.paths.size(), 1u);
  EXPECT_EQ(Count("I|TX: |Retry:1"), 1);

  // A refused connection never reached the printer: the same command is retried.
  link.script = {{false, "", 0, false}, {true, "00/00/00/"}};
  link.paths.clear();
  EXPECT_TRUE(channel.SendCommand("4", 0, "x", "/7////", true).Done());
  EXPECT_EQ(link.paths.size(), 2u);

  // A read may always be repeated.
  link.script = {{false, "", 0, true}, {true, "00/00/00/"}};
  link.paths.clear();
  EXPECT_TRUE(channel.SendCommand("4", 0, "e", "", true).Done());
  EXPECT_EQ(link.paths.size(), 2u);
}

TEST(ChannelRepeatRule, PrintingFormsOfReadsAndClearsAreNeverRepeated) {
  struct Case {
    const char* pkt;
    const char* data;
    bool repeatable;
  } cases[] = {
      {"@", "/7/1////010124/010124/0/", true},   // journal selection, text read back
      {"@", "/1/1//12/12///1/", false},          // reprint of a copy
      {"@", "/3/0//12/12/010124/010124/1/", false},
      {"+", "/0/", true},                        // clear a receipt left open
      {"+", "/1/0001/0012/010124/80012345/", false},  // void an earlier receipt
      {"?", "", true},
      {"x", "/7////", false},
      {"3", "/ITEM/1.000/1.00/1/0/", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kCommandChannel::IsSafeToRepeat(c.pkt, c.data), c.repeatable) << c.pkt << c.data;
}

TEST_F(ChannelTest, BusyJournalIsAskedAgainEveryHalfSecond) {
  link.script = {{true, "00/00/02/"}, {true, "00/00/02/"}, {true, "00/00/06/1/"}};
  EXPECT_TRUE(channel.SendCommand("4", 0, "@", "/7/1////", true).Done());
  EXPECT_EQ(link.paths.size(), 3u);
  EXPECT_EQ(pauses, (std::vector<int>{500, 500}));
  EXPECT_EQ(Count("E|Retry Frame Equal 00/00/02 and APkt = @|"), 2);
  EXPECT_EQ(channel.Response(), "00/00/06/1/");

  // The same frame for another letter, or without retry, is an answer.
  for (auto [pkt, retry] : {std::pair{"t", true}, std::pair{"@", false}}) {
    link.script = {{true, "00/00/02/"}};
    link.paths.clear();
    EXPECT_TRUE(channel.SendCommand("4", 0, pkt, "", retry).Done());
    EXPECT_EQ(link.paths.size(), 1u);
  }
}

TEST_F(ChannelTest, BusyAndFailuresShareOneBudget) {
  link.script = {{false, "", 0}, {true, "00/00/02/"}, {false, "", 0}, {false, "", 0}, {true, "00/00/00/"}};
  EXPECT_FALSE(channel.SendCommand("4", 0, "@", "", true).Done());
  EXPECT_EQ(link.paths.size(), 4u);
  EXPECT_EQ(Count("I|TX: |Retry:3"), 1);
}

TEST_F(ChannelTest, PrinterBusyForeverEndsWithAnError) {
  link.script.clear();  // the fallback answers "00/00/02/" for ever
  const vnOutcome r = channel.SendCommand("4", 0, "@", "", true);
  EXPECT_EQ(r.fKind, ok_Refused);
  EXPECT_EQ(link.paths.size(), size_t(kCommandChannel::kMaxBusyRepetitions) + 1);
  EXPECT_EQ(r.fCode, 501);
  EXPECT_EQ(r.fMessage, "The printer is still preparing the journal, try again later");
}

TEST_F(ChannelTest, SlowBusyAnswersAreBoundedByTime) {
  // Each busy answer takes ten seconds to come: the time bound ends the wait long before the
  // repetition count would.
  auto now = std::chrono::steady_clock::time_point();
  channel.SetClock([&] { return now; });
  channel.SetSleeper([&](int ms) { now += std::chrono::milliseconds(ms) + std::chrono::seconds(10); });
  link.script.clear();
  const vnOutcome r = channel.SendCommand("4", 0, "@", "", true);
  EXPECT_FALSE(r.Done());
  EXPECT_LE(now - std::chrono::steady_clock::time_point(), kCommandChannel::kMaxBusyDuration + std::chrono::seconds(11));
  EXPECT_LT(link.paths.size(), 20u);
  EXPECT_TRUE(r.Answered());  // the printer answered, it was only busy
}

TEST_F(ChannelTest, TellsAFailedExchangeFromARefusal) {
  link.script = {{false, "", 0}, {false, "", 0}, {false, "", 0}};
  EXPECT_FALSE(channel.SendCommand("4", 0, "t", "", true).Answered());
  EXPECT_FALSE(channel.LastResult().Answered());
  link.script = {{true, "0A/00/00/"}};
  EXPECT_TRUE(channel.SendCommand("4", 0, "t", "", true).Answered());
  EXPECT_TRUE(channel.LastResult().Answered());
}

TEST_F(ChannelTest, GarbageFrameThrowsAndTheChannelStaysUsable) {
  link.script = {{true, "00/00/06/"}, {true, "<html>oops</html>"}, {true, "00/00/00/"}};
  EXPECT_TRUE(channel.SendCommand("4", 0, "t", "", true).Done());
  EXPECT_THROW(channel.SendCommand("4", 0, "t", "", true), kException);
  EXPECT_TRUE(channel.FiscalStatus().TransactionOpen);  // status of the last readable frame
  EXPECT_TRUE(channel.SendCommand("4", 0, "t", "", true).Done());
  EXPECT_FALSE(channel.FiscalStatus().TransactionOpen);
}
