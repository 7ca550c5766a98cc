// The OPOS transport against a fake control that records every call and answers the
// result codes a test scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "request/device_handler.h"
#include "io/opos_transport.h"
#include "../io/io_test_support.h"

namespace fp {
namespace {

struct FakeState {
  std::vector<std::string> calls;
  std::map<std::string, int32_t> codes;  // method name -> result code (0 when absent)
  std::string throwIn;                   // method that throws instead of answering
  int32_t extended = 0;
  std::string errorString = "Paper out";
  bool enabled = false;
  bool enableSticks = true;  // DeviceEnabled takes the value it is given
  std::string trailer;
  std::string date = "311220262359";
};

class FakeControl : public kOPOSFiscalPrinter {
 public:
  explicit FakeControl(std::shared_ptr<FakeState> aState) : s(std::move(aState)) {}

  int32_t Call(const std::string& aName, const std::string& aArgs = "") {
    s->calls.push_back(aName + aArgs);
    if (s->throwIn == aName) throw std::runtime_error("control failed in " + aName);
    auto it = s->codes.find(aName);
    return it == s->codes.end() ? 0 : it->second;
  }
  static std::string Args(std::initializer_list<std::string> aArgs) {
    std::string out = "(";
    for (const auto& a : aArgs) out += (out.size() > 1 ? "," : "") + a;
    return out + ")";
  }

  int32_t Open(const std::string& n) override { return Call("Open", Args({n})); }
  int32_t ClaimDevice(int32_t t) override { return Call("ClaimDevice", Args({std::to_string(t)})); }
  bool GetDeviceEnabled() override {
    Call("GetDeviceEnabled");
    return s->enabled;
  }
  void SetDeviceEnabled(bool v) override {
    Call("SetDeviceEnabled", Args({v ? "true" : "false"}));
    if (s->enableSticks) s->enabled = v;
  }
  int32_t ReleaseDevice() override { return Call("ReleaseDevice"); }
  int32_t Close() override { return Call("Close"); }
  int32_t ResultCodeExtended() override { return s->extended; }
  std::string ErrorString() override { return s->errorString; }
  int32_t BeginFiscalReceipt(bool h) override { return Call("BeginFiscalReceipt", Args({h ? "true" : "false"})); }
  int32_t EndFiscalReceipt(bool h) override { return Call("EndFiscalReceipt", Args({h ? "true" : "false"})); }
  int32_t BeginNonFiscal() override { return Call("BeginNonFiscal"); }
  int32_t EndNonFiscal() override { return Call("EndNonFiscal"); }
  int32_t BeginTraining() override { return Call("BeginTraining"); }
  int32_t EndTraining() override { return Call("EndTraining"); }
  int32_t ResetPrinter() override { return Call("ResetPrinter"); }
  int32_t PrintXReport() override { return Call("PrintXReport"); }
  int32_t PrintZReport() override { return Call("PrintZReport"); }
  int32_t PrintNormal(int32_t st, const std::string& d) override { return Call("PrintNormal", Args({std::to_string(st), d})); }
  int32_t PrintRecItem(const std::string& d, int64_t p, int32_t q, int32_t v, int64_t u, const std::string& n) override {
    return Call("PrintRecItem", Args({d, std::to_string(p), std::to_string(q), std::to_string(v), std::to_string(u), n}));
  }
  int32_t PrintRecItemVoid(const std::string& d, int64_t p, int32_t q, int32_t v, int64_t u, const std::string& n) override {
    return Call("PrintRecItemVoid", Args({d, std::to_string(p), std::to_string(q), std::to_string(v), std::to_string(u), n}));
  }
  int32_t PrintRecRefund(const std::string& d, int64_t a, int32_t v) override {
    return Call("PrintRecRefund", Args({d, std::to_string(a), std::to_string(v)}));
  }
  int32_t PrintRecItemAdjustment(int32_t t, const std::string& d, int64_t a, int32_t v) override {
    return Call("PrintRecItemAdjustment", Args({std::to_string(t), d, std::to_string(a), std::to_string(v)}));
  }
  int32_t PrintRecSubtotal(int64_t a) override { return Call("PrintRecSubtotal", Args({std::to_string(a)})); }
  int32_t PrintRecSubtotalAdjustment(int32_t t, const std::string& d, int64_t a) override {
    return Call("PrintRecSubtotalAdjustment", Args({std::to_string(t), d, std::to_string(a)}));
  }
  int32_t PrintRecTotal(int64_t t, int64_t p, const std::string& d) override {
    return Call("PrintRecTotal", Args({std::to_string(t), std::to_string(p), d}));
  }
  int32_t PrintRecNotPaid(const std::string& d, int64_t a) override { return Call("PrintRecNotPaid", Args({d, std::to_string(a)})); }
  int32_t PrintRecMessage(const std::string& m) override { return Call("PrintRecMessage", Args({m})); }
  int32_t PrintRecTaxID(const std::string& t) override { return Call("PrintRecTaxID", Args({t})); }
  int32_t SetDate(const std::string& d) override { return Call("SetDate", Args({d})); }
  int32_t GetDate(std::string& d) override {
    d = s->date;
    return Call("GetDate");
  }
  int32_t GetData(int32_t i, int32_t& o, std::string& d) override {
    d = "DATA";
    return Call("GetData", Args({std::to_string(i), std::to_string(o)}));
  }
  int32_t DirectIO(int32_t c, int32_t& d, std::string& str) override {
    const int32_t code = Call("DirectIO", Args({std::to_string(c), std::to_string(d), str}));
    d += 1;
    str += "!";
    return code;
  }
  bool CoverOpen() override { return true; }
  bool DayOpened() override { return false; }
  bool RecEmpty() override { return false; }
  bool RecNearEnd() override { return true; }
  bool TrainingModeActive() override { return false; }
  int32_t PrinterState() override { return 7; }
  int32_t RemainingFiscalMemory() override { return 1234; }
  void SetFiscalReceiptType(int32_t v) override { Call("SetFiscalReceiptType", Args({std::to_string(v)})); }
  void SetPreLine(const std::string& v) override { Call("SetPreLine", Args({v})); }
  std::string AdditionalTrailer() override { return s->trailer; }
  void SetAdditionalTrailer(const std::string& v) override { s->trailer = v; }

 private:
  std::shared_ptr<FakeState> s;
};

class OPOSTransport : public ::testing::Test {
 protected:
  OPOSTransport() : fState(std::make_shared<FakeState>()) {
    kConnection c;
    c.DeviceName = "FPrinter1";
    c.SetConnectTimeOut(1500);
    fTransport = std::make_unique<kIOHandler_OPOS>(c, fDir.Path(), "opos", std::make_unique<FakeControl>(fState));
  }
  std::vector<std::string> Log() {
    fTransport->FlushLog();
    return test::ReadLogEntries(fTransport->GetLogFileName());
  }
  bool Logged(const std::string& aEntry) {
    const auto log = Log();
    return std::find(log.begin(), log.end(), aEntry) != log.end();
  }

  test::TempDir fDir;
  std::shared_ptr<FakeState> fState;
  std::unique_ptr<kIOHandler_OPOS> fTransport;
};

TEST_F(OPOSTransport, ResultTextNamesTheCodeAndTheExtendedCode) {
  const struct {
    int32_t code, extended;
    const char* text;
  } cases[] = {
      {114, 203, "[114] OPOS_E_EXTENDED [203] OPOS_EFPTR_REC_EMPTY - Paper out"},
      {106, 203, "[106] OPOS_E_ILLEGAL - Paper out"},
      {150, 0, "[150] UNKNOWN - Paper out"},
      {114, 0, "[114] OPOS_E_EXTENDED - Paper out"},
      {114, 299, "[114] OPOS_E_EXTENDED [299] UNKNOWN - Paper out"},
      {101, 0, "[101] OPOS_E_CLOSED - Paper out"},
      {115, 0, "[115] OPOS_E_DEPRECATED - Paper out"},
      {114, 201, "[114] OPOS_E_EXTENDED [201] OPOS_EFPTR_COVER_OPEN - Paper out"},
      {114, 224, "[114] OPOS_E_EXTENDED [224] OPOS_EFPTR_DAY_END_REQUIRED - Paper out"},
      {100, 0, "[100] UNKNOWN - Paper out"},
  };
  for (const auto& c : cases) {
    fState->extended = c.extended;
    EXPECT_EQ(fTransport->ResultText(c.code), c.text);
  }
}

TEST_F(OPOSTransport, AFailedCallBecomesTheCustomErrorAndASuccessClearsIt) {
  fState->codes["PrintXReport"] = 114;
  fState->extended = 203;
  EXPECT_FALSE(fTransport->PrintXReport());
  EXPECT_TRUE(fTransport->ErrorFound());
  EXPECT_EQ(fTransport->ErrorCode(), 114);
  EXPECT_EQ(fTransport->ErrorMessage(), "[114] OPOS_E_EXTENDED [203] OPOS_EFPTR_REC_EMPTY - Paper out");
  EXPECT_TRUE(Logged("[PrintXReport]->PrintXReport"));
  EXPECT_TRUE(Logged("ERROR - [114] OPOS_E_EXTENDED [203] OPOS_EFPTR_REC_EMPTY - Paper out"));

  EXPECT_TRUE(fTransport->PrintZReport());
  EXPECT_FALSE(fTransport->ErrorFound());
  EXPECT_EQ(fTransport->ErrorCode(), 0);
  EXPECT_EQ(fTransport->ErrorMessage(), "");
}

TEST_F(OPOSTransport, ConnectOpensClaimsAndEnablesThenDisconnectUndoesIt) {
  EXPECT_TRUE(fTransport->Connect());
  EXPECT_TRUE(fTransport->Connected());
  EXPECT_TRUE(fTransport->Disconnect());
  EXPECT_FALSE(fTransport->Connected());
  const std::vector<std::string> expected = {
      "Open(FPrinter1)",          "ClaimDevice(1500)", "SetDeviceEnabled(true)", "GetDeviceEnabled",
      "SetDeviceEnabled(false)", "GetDeviceEnabled",  "ReleaseDevice",          "Close"};
  EXPECT_EQ(fState->calls, expected);
  const auto log = Log();
  const std::vector<std::string> lines = {"DeviceName=FPrinter1", "[Connect]->Open(FPrinter1)",
                                          "[Connect]->ClaimDevice(1500)", "[Connect]->DeviceEnabled:=true",
                                          "[Disconnect]->DeviceEnabled:=false", "[Disconnect]->ReleaseDevice",
                                          "[Disconnect]->Close"};
  EXPECT_NE(std::search(log.begin(), log.end(), lines.begin(), lines.end()), log.end());
}

TEST_F(OPOSTransport, AFailedStepStopsConnectButDisconnectStillRuns) {
  fState->codes["ClaimDevice"] = 102;
  EXPECT_FALSE(fTransport->Connect());
  EXPECT_EQ(fTransport->ErrorMessage(), "[102] OPOS_E_CLAIMED - Paper out");
  // Marked connected, so that what was opened is closed again, here by the destructor.
  EXPECT_TRUE(fTransport->Connected());
  fTransport.reset();
  const std::vector<std::string> expected = {"Open(FPrinter1)", "ClaimDevice(1500)", "SetDeviceEnabled(false)",
                                             "GetDeviceEnabled", "ReleaseDevice", "Close"};
  EXPECT_EQ(fState->calls, expected);
}

TEST_F(OPOSTransport, AConnectAgainDisconnectsFirst) {
  ASSERT_TRUE(fTransport->Connect());
  fState->calls.clear();
  ASSERT_TRUE(fTransport->Connect());
  EXPECT_EQ(fState->calls.front(), "SetDeviceEnabled(false)");
  EXPECT_EQ(fState->calls[4], "Open(FPrinter1)");
}

TEST_F(OPOSTransport, ControlExceptionsAreLoggedAndAnsweredFalse) {
  fState->throwIn = "ClaimDevice";
  EXPECT_FALSE(fTransport->Connect());
  EXPECT_FALSE(fTransport->Connected());
  EXPECT_TRUE(Logged("ERROR - [Connect]:control failed in ClaimDevice"));

  fState->throwIn = "";
  ASSERT_TRUE(fTransport->Connect());
  fState->throwIn = "ReleaseDevice";
  EXPECT_FALSE(fTransport->Disconnect());
  EXPECT_TRUE(fTransport->Connected());
  EXPECT_TRUE(Logged("ERROR - [Disconnect]:control failed in ReleaseDevice"));
  fState->throwIn = "";
}

TEST_F(OPOSTransport, ADeviceThatStaysEnabledIsNotReleased) {
  ASSERT_TRUE(fTransport->Connect());
  fState->enableSticks = false;
  fState->calls.clear();
  EXPECT_FALSE(fTransport->Disconnect());
  EXPECT_EQ(fState->calls, (std::vector<std::string>{"SetDeviceEnabled(false)", "GetDeviceEnabled"}));
  fState->enableSticks = true;
}

TEST_F(OPOSTransport, MethodsPassTheirArgumentsAndLogTheCall) {
  const Amount qty = *Amount::Parse("2.5");
  const Amount price = *Amount::Parse("1.2");
  const Amount amount = *Amount::Parse("3");
  const struct {
    std::function<bool()> call;
    const char* controlCall;
    const char* logLine;
  } cases[] = {
      {[&] { return fTransport->PrintRecItem("C1", "Milk 'fresh'", qty, "kg", 1, price, amount); },
       "PrintRecItem(Milk 'fresh',30000,2500,1,12000,kg)", "[PrintRecItem]->PrintRecItem('Milk ''fresh''',3,2,1,1.2,'kg')"},
      {[&] { return fTransport->PrintRecItem("C1", "Pin", *Amount::Parse("0.0005"), "", 2, price, amount); },
       "PrintRecItem(Pin,30000,0,2,12000,)", "[PrintRecItem]->PrintRecItem('Pin',3,0,2,1.2,'')"},
      {[&] { return fTransport->PrintRecItemVoid("C1", "Milk", qty, "kg", 1, price, amount); },
       "PrintRecItemVoid(Milk,30000,2500,1,12000,kg)", "[PrintRecItemVoid]->PrintRecItemVoid('Milk',3,1,1.2,'kg')"},
      {[&] { return fTransport->PrintRecRefund("C1", "Milk", qty, "kg", 1, price, amount); },
       "PrintRecRefund(Milk,30000,1)", "[PrintRecRefund]->PrintRecRefund('Milk',3,1)"},
      {[&] { return fTransport->PrintRecItemAdjustment(1, "Off", price, 2); },
       "PrintRecItemAdjustment(1,Off,12000,2)", "[PrintRecItemAdjustment]->PrintRecItemAdjustment(1,'Off',1.2,2)"},
      {[&] { return fTransport->PrintRecSubtotal(*Amount::Parse("12.50")); }, "PrintRecSubtotal(125000)",
       "[PrintRecSubtotal]->PrintRecSubTotal(12.5)"},
      {[&] { return fTransport->PrintRecSubtotalAdjustment(2, "Promo", amount); },
       "PrintRecSubtotalAdjustment(2,Promo,30000)", "[PrintRecSubtotalAdjustment]->PrintRecSubtotalAdjustment(2,'Promo',3)"},
      {[&] { return fTransport->PrintRecTotal(amount, price, "Cash"); }, "PrintRecTotal(30000,12000,Cash)",
       "[PrintRecTotal]->PrintRecTotal(3,1.2,'Cash')"},
      {[&] { return fTransport->PrintRecNotPaid(amount, "Credit"); }, "PrintRecNotPaid(Credit,30000)",
       "[PrintRecNotPaid]->PrintRecNotPaid('Credit',3)"},
      {[&] { return fTransport->PrintRecMessage("Thanks"); }, "PrintRecMessage(Thanks)",
       "[PrintRecMessage]->PrintRecMessage('Thanks')"},
      {[&] { return fTransport->PrintRecTaxid("IT123"); }, "PrintRecTaxID(IT123)", "[PrintRecTaxid]->PrintRecTaxid('IT123')"},
      {[&] { return fTransport->PrintNormal("Hello"); }, "PrintNormal(2,Hello)", "[PrintNormal]->PrintNormal(2,'Hello')"},
      {[&] { return fTransport->BeginFiscalReceipt(); }, "BeginFiscalReceipt(true)",
       "[BeginFiscalReceipt]->BeginFiscalReceipt(true)"},
      {[&] { return fTransport->EndFiscalReceipt(); }, "EndFiscalReceipt(false)", "[EndFiscalReceipt]->EndFiscalReceipt(false)"},
      {[&] { return fTransport->SetDate(*EncodeDateTime(2026, 3, 7, 9, 5, 0, 0)); }, "SetDate(070320260905)",
       "[SetDate]->SetDate('070320260905')"},
      {[&] { return fTransport->SetFiscalReceiptType(4); }, "SetFiscalReceiptType(4)",
       "[SetFiscalReceiptType]->FiscalReceiptType=4"},
      {[&] { return fTransport->SetPreLine("it's"); }, "SetPreLine(it's)", "[SetPreLine]->PreLine='it''s'"},
  };
  for (const auto& c : cases) {
    fState->calls.clear();
    EXPECT_TRUE(c.call()) << c.controlCall;
    ASSERT_EQ(fState->calls.size(), 1u) << c.controlCall;
    EXPECT_EQ(fState->calls[0], c.controlCall);
    EXPECT_TRUE(Logged(c.logLine)) << c.logLine;
  }
}

TEST_F(OPOSTransport, AnswersComeBackThroughTheOutputs) {
  DateTime date = 0;
  EXPECT_TRUE(fTransport->GetDate(date));
  EXPECT_EQ(date, *EncodeDateTime(2026, 12, 31, 23, 59, 0, 0));
  EXPECT_TRUE(Logged("[GetDate]->aDate=311220262359"));
  fState->codes["GetDate"] = 111;
  date = 0;
  EXPECT_FALSE(fTransport->GetDate(date));
  EXPECT_GT(date, 0.0) << "a failed GetDate gives the current time";

  std::string out = "old";
  fState->codes["GetData"] = 111;
  EXPECT_FALSE(fTransport->GetData(5, 1, out));
  EXPECT_EQ(out, "");
  fState->codes.clear();
  EXPECT_TRUE(fTransport->GetData(5, 1, out));
  EXPECT_EQ(out, "DATA");
  EXPECT_TRUE(Logged("[GetData]->GetData(5,1,aOutput)"));
  EXPECT_TRUE(Logged("[GetData]->aOutput=DATA"));

  int32_t data = 10;
  std::string text = "in";
  EXPECT_TRUE(fTransport->DirectIO(3, data, text));
  EXPECT_EQ(data, 11);
  EXPECT_EQ(text, "in!");
  EXPECT_TRUE(Logged("[DirectIO]->DirectIO(3,10,'in')"));
  EXPECT_TRUE(Logged("[DirectIO]->Output(Data:=11, Obj:='in!')"));

  bool flag = false;
  EXPECT_TRUE(fTransport->GetCoverOpen(flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(fTransport->GetRecNearEnd(flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(fTransport->GetDayOpened(flag));
  EXPECT_FALSE(flag);
  int32_t number = 0;
  EXPECT_TRUE(fTransport->PrinterState(number));
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(fTransport->RemainingFiscalMemory(number));
  EXPECT_EQ(number, 1234);
  for (const char* line : {"[GetCoverOpen]->CoverOpen=True", "[GetRecNearEmpty]->RecNearEmpty(aResult)",
                           "[GetRecNearEmpty]->aResult=True", "[GetDayOpened]->aResult=False",
                           "[PrinterState]->aPrinterState=7", "[RemainingFiscalMemory]->aRemainingFiscalMemory=1234"})
    EXPECT_TRUE(Logged(line)) << line;
}

TEST_F(OPOSTransport, TheTrailerIsReplacedOrExtended) {
  fTransport->SetAdditionalTrailerLine("First", true);
  fTransport->SetAdditionalTrailerLine("Second", false);
  EXPECT_EQ(fState->trailer, "FirstSecond\r\n");
  fTransport->SetAdditionalTrailerLine("Only", true);
  EXPECT_EQ(fState->trailer, "Only");
  EXPECT_TRUE(Logged("[SetAdditionalTrailerLine]->AdditionalTrailer='First'"));
  EXPECT_TRUE(Logged("[SetAdditionalTrailerLine]->AdditionalTrailer=+'Second'"));
}

TEST_F(OPOSTransport, ByteStreamSlotsAreUnsupported) {
  const struct {
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {[&] { fTransport->Write("x"); }, "Write Unsupported"},
      {[&] { fTransport->ReadUpTo({13}); }, "ReadUpto Unsupported"},
      {[&] { fTransport->ReadChars(1); }, "ReadChars Unsupported"},
      {[&] { fTransport->ReadAll(); }, "ReadAll Unsupported"},
      {[&] { fTransport->InputBufferContainsData(); }, "InputBufferContainsData Unsupported"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.message;
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(OPOSPlatform, WithoutAControlTheTransportCannotBeCreated) {
  kDeviceHandler h;
  h.Driver = "D";
  h.Connection.ConnectionType = vnConnectionType::OPOS;
  try {
    h.CreateIOHandler("");
    ADD_FAILURE() << "an OPOS transport was created";
  } catch (const kException& e) {
    EXPECT_NE(std::string(e.what()).find("not installed"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace fp
