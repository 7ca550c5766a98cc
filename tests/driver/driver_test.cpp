// Start-up, status, clock, drawer, display and the refused operations of the RT printer
// driver, against the printer emulator.
#include "base/xml_text.h"
#include "documents/nf_receipt.h"
#include "driver_fixture.h"
#include "support/device_test_access.h"

using namespace fp;
using namespace fp::test;

TEST_F(DriverTest, ConstructionPreparesTheHttpTransport) {
  auto& d = Open();
  auto& http = dynamic_cast<kIOHandler_HTTP&>(kDeviceTestAccess::IOHandler(d));
  EXPECT_EQ(http.Url(), emu.BaseUrl());  // BaseUrl ends with "/": nothing is added twice
  EXPECT_EQ(http.ContentType(), "text/plain; charset=utf-8");
  EXPECT_EQ(http.ReadTimeout(), 7000);  // 3000 ms raised to what the printer needs
  EXPECT_EQ(d.Capabilities().Bits(), 0x3F2D);
  EXPECT_EQ(d.LineLength(), 48);
  EXPECT_EQ(d.DisplayLineCount(), 2);
  EXPECT_EQ(d.DisplayLineLength(), 20);

  // Without the trailing "/" the driver adds it.
  auto h = std::make_unique<kReceiptPrinterHandler>();
  std::string url = emu.BaseUrl();
  url.pop_back();
  h->Deserialize(DeviceXml(url), {});
  kFiscalPrinter_TARVOLX40FPETH other(*h);
  EXPECT_EQ(dynamic_cast<kIOHandler_HTTP&>(kDeviceTestAccess::IOHandler(other)).Url(), url + "/");

  // Any other transport is refused.
  auto tcp = std::make_unique<kReceiptPrinterHandler>();
  tcp->Deserialize(DeviceXml("", "", "", "TCP"), {});
  try {
    kFiscalPrinter_TARVOLX40FPETH bad(*tcp);
    ADD_FAILURE() << "a TCP device was accepted";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Invalid class typecast");
  }
}

TEST_F(DriverTest, InitOnAPrinterThatMatchesReadsTheTableOnly) {
  auto& d = Open();
  emu.ClearPackets();
  EXPECT_TRUE(d.Init());
  const auto packets = emu.Packets();
  EXPECT_EQ(Letters(packets), "?\\" + std::string(20, '{'));
  EXPECT_EQ(packets[1].fData, "/96/0///5802713946////////////////");
  EXPECT_EQ(packets[2].fData, "/1");
  EXPECT_EQ(packets[21].fData, "/20");
  EXPECT_EQ(d.fPag[4], "NON RISCOSSO BENI|CRED|2");
}

TEST_F(DriverTest, InitReprogramsADifferentPaymentTable) {
  emu.SetPaymentSlot(7, {"VOUCHER", "VOUC", 3, ""});
  auto& d = Open();
  emu.ClearPackets();
  EXPECT_TRUE(d.Init());
  const auto packets = emu.Packets();
  EXPECT_EQ(CountLetter(packets, "{"), 20);
  ASSERT_EQ(CountLetter(packets, "E"), 20);
  EXPECT_EQ(packets[22].fLetter, "E");
  EXPECT_EQ(packets[22].fData, "/1/CONTANTI/CONT/0/1/0/10001101//0/");
  EXPECT_EQ(packets[26].fData, "/5/NON RISCOSSO BENI/CRED/0/1/2/10001101/4/0/");
  const auto slots = emu.Snapshot().fPaymentSlots;
  EXPECT_EQ(slots[6].fDescription, "BUONI");

  // The printer now matches: a second start-up writes nothing.
  emu.ClearPackets();
  EXPECT_TRUE(d.Init());
  EXPECT_EQ(CountLetter(emu.Packets(), "E"), 0);

  // A printer that stops answering while the table is written ends the start-up at once.
  emu.SetPaymentSlot(7, {"VOUCHER", "VOUC", 3, ""});
  emu.ClearPackets();
  emu.DropAnswers("E", 20);
  EXPECT_FALSE(d.Init());
  EXPECT_EQ(CountLetter(emu.Packets(), "E"), 3);  // the first slot's three attempts, no more
}

TEST_F(DriverTest, InitStopsWhenThePrinterRefusesTheStatusRequest) {
  auto& d = Open();
  emu.ClearPackets();
  emu.ForceReplyCode("?", 0x31);
  EXPECT_FALSE(d.Init());
  EXPECT_EQ(Letters(emu.Packets()), "?");
  EXPECT_EQ(d.ErrorCode(), 0x31);  // the printer's own reply code
  EXPECT_EQ(d.ErrorMessage(), "Fatal Error");
  EXPECT_EQ(d.fPag[0], "CONTANTI|CONT|0");  // the default table is in place whatever happened
}

TEST_F(DriverTest, InitClosesTheDayOfAnInactivePrinterFirst) {
  emu.SetInactivePeriod(true);
  auto& d = Open();
  emu.ClearPackets();
  d.Init();
  const std::string letters = Letters(emu.Packets());
  ASSERT_FALSE(letters.empty());
  EXPECT_EQ(letters[0], '?');
  // Nothing else reaches the printer before its Z report.
  const size_t setup = letters.find('\\');
  if (setup != std::string::npos) {
    EXPECT_LT(letters.find('x'), setup) << letters;
  }
  // The report has its row in the printer's journal, as the host's own has.
  ASSERT_NE(d.Journal(), nullptr);
  const auto row = d.Journal()->Find(d.CurrentDocument().fId);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->fKind, vnJournalKind::ZReport);
  EXPECT_EQ(row->fState, vnJournalState::Printed);
}

// A Z report the printer refuses at start-up leaves the day open and says why.
TEST_F(DriverTest, InitSaysWhyTheDayOfAnInactivePrinterWasNotClosed) {
  emu.SetInactivePeriod(true);
  auto& d = Open();
  emu.ForceReplyCode("x", 0x14);
  EXPECT_FALSE(d.Init());
  EXPECT_EQ(d.ErrorMessage().rfind("The day is not closed: Report not taken: ", 0), 0u) << d.ErrorMessage();
}

TEST_F(DriverTest, GetStatusReportsIdentityModeAndFlags) {
  struct Case {
    int mode;
    const char* expected;
  } cases[] = {{0, "MF"}, {1, "RT"}, {2, "RT"}, {3, "RT"}};
  auto& d = OpenAndInit();
  emu.SetSerialNumber(" 80012345 ");
  emu.SetDayOpen(true);
  emu.SetPaperEnd(true);
  for (const auto& c : cases) {
    emu.SetFiscalMode(c.mode);
    _int_GETSTATUS_result r;
    d.Pub_GetStatus(*Request(), r);
    ASSERT_FALSE(r.Error) << r.ErrorText;
    EXPECT_EQ(r.FiscalMode, c.expected);
    EXPECT_EQ(r.SerialNumber, "4ZRPV012345");
    EXPECT_EQ(r.FirmwareVersion, "1.02.07");
    EXPECT_TRUE(r.DayOpened);
    EXPECT_TRUE(r.PaperEnd && r.PaperNearEnd);
    EXPECT_FALSE(r.ReceiptOpen || r.FiscalReceiptOpen || r.TrainingMode);
    EXPECT_NEAR(r.DateTime, emu.Clock(), 5.0 / 86400);
  }
  EXPECT_EQ(Letters(emu.Packets()), std::string("av,t|av,t|av,t|av,t|"));

  // A mode the driver does not know leaves the reported one as it was.
  emu.SetFiscalMode(7);
  vnPrinterStatus status;
  status.FiscalMode = "kept";
  EXPECT_TRUE(d.GetPrinterStatus(status));
  EXPECT_EQ(status.FiscalMode, "kept");

  emu.SetTraining(true);
  _int_GETSTATUS_result training;
  d.Pub_GetStatus(*Request(), training);
  EXPECT_TRUE(training.TrainingMode);
  EXPECT_FALSE(training.CoverOpen);

  // The cover is named only by the refusal 0x33; the status read then fails and says so.
  emu.ForceReplyCode("v", 0x33);
  _int_GETSTATUS_result cover;
  d.Pub_GetStatus(*Request(), cover);
  EXPECT_TRUE(cover.Error);
  EXPECT_TRUE(cover.CoverOpen);
  _int_GETSTATUS_result closed;
  d.Pub_GetStatus(*Request(), closed);
  EXPECT_FALSE(closed.Error) << closed.ErrorText;
  EXPECT_FALSE(closed.CoverOpen);
}

TEST_F(DriverTest, ClockIsSetAndReadBack) {
  auto& d = OpenAndInit();
  _int_SETDATETIME_result r;
  d.Pub_SetDateTime(*Request("", {}, "<DateTime>2031-07-04T09:08:07</DateTime>"), r);
  ASSERT_FALSE(r.Error) << r.ErrorText;
  const auto packets = emu.Packets();
  ASSERT_GE(packets.size(), 2u);
  EXPECT_EQ(packets[0].fLetter, "T");
  EXPECT_EQ(packets[0].fData, "/040731/090807");
  EXPECT_NEAR(r.DateTime, *EncodeDateTime(2031, 7, 4, 9, 8, 7, 0), 5.0 / 86400);
}

// The printer keeps a two-digit year: a year it cannot hold is refused before anything is
// sent, rather than set as another century.
TEST_F(DriverTest, ClockOutsideThePrintersYearsIsRefusedUnsent) {
  auto& d = OpenAndInit();
  for (const char* value : {"1999-01-01T10:00:00", "9999-12-31T10:00:00", "2126-01-01T10:00:00",
                            "2100-01-01T00:00:00", "1899-12-30T00:00:00"}) {
    SCOPED_TRACE(value);
    _int_SETDATETIME_result r;
    d.Pub_SetDateTime(*Request("", {}, std::string("<DateTime>") + value + "</DateTime>"), r);
    EXPECT_TRUE(r.Error);
    EXPECT_EQ(r.ErrorText, std::string("Clock not set: DateTime ") + value +
                               " is outside the years the printer's clock can hold (2000 to 2099); nothing was sent");
    EXPECT_EQ(Letters(emu.Packets()).find('T'), std::string::npos) << Letters(emu.Packets());
    // Its row of the journal says so: nothing is left for a later call to settle.
    if (d.Journal()) {
      EXPECT_TRUE(d.Journal()->Unsettled().empty());
    }
  }
  for (const char* value : {"2000-01-01T00:00:00", "2099-12-31T23:59:59"}) {
    SCOPED_TRACE(value);
    _int_SETDATETIME_result r;
    d.Pub_SetDateTime(*Request("", {}, std::string("<DateTime>") + value + "</DateTime>"), r);
    EXPECT_FALSE(r.Error) << r.ErrorText;
    EXPECT_NEAR(r.DateTime, XmlTextToDateTime(value), 5.0 / 86400);
  }
}

// Sent again after a lost answer, the same time would set the clock behind: the clock is read
// back instead, and tells whether the setting arrived.
TEST_F(DriverTest, LostClockAnswerIsReadBackNotResent) {
  struct Case {
    const char* name;
    std::function<void(emu::PrinterEmulator&)> fault;
    const char* error;  // the start of ErrorText, "" for success
  } cases[] = {
      {"set, answer lost", [](emu::PrinterEmulator& e) { e.DropAnswers("T"); }, ""},
      {"set, then HTTP 500", [](emu::PrinterEmulator& e) { e.AnswerStatus("T", 500); }, ""},
      {"lost on its way", [](emu::PrinterEmulator& e) { e.LoseRequests("T"); },
       "Clock not set: the printer's answer was lost ("},
      {"printer silent afterwards",
       [](emu::PrinterEmulator& e) {
         e.DropAnswers("T");
         e.LoseRequests("t", 1000);
       },
       "Outcome unknown: the printer's answer to setting the clock was lost ("},
      {"clock unreadable afterwards",
       [](emu::PrinterEmulator& e) {
         e.DropAnswers("T");
         e.ForceFrame("t", "00/00/00/xx1299/235959/");
       },
       "Outcome unknown: the printer's answer to setting the clock was lost ("},
  };
  auto& d = OpenAndInit();
  const DateTime wanted = *EncodeDateTime(2031, 7, 4, 9, 8, 7, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.SetClock(*EncodeDateTime(2026, 12, 9, 10, 0, 0, 0));
    emu.ClearFaults();
    emu.ClearPackets();
    c.fault(emu);
    _int_SETDATETIME_result r;
    d.Pub_SetDateTime(*Request("", {}, "<DateTime>2031-07-04T09:08:07</DateTime>"), r);
    EXPECT_EQ(r.Error, *c.error != 0) << r.ErrorText;
    EXPECT_TRUE(StartsWith(r.ErrorText, c.error)) << r.ErrorText;
    EXPECT_EQ(CountLetter(emu.Packets(), "T"), 1);
    if (!*c.error) {
      EXPECT_NEAR(emu.Clock(), wanted, 5.0 / 86400);
    }
  }
}

// The clock is read back once the setting's outcome is settled: a read that fails leaves the
// date 0, says why when the clock was set, and neither makes a clock that was set a failure
// nor replaces the reason a setting failed.
TEST_F(DriverTest, ClockThatCannotBeReadBackKeepsTheSettingsOutcome) {
  struct Case {
    const char* name;
    std::function<void(int)> fault;  // aSkip: the clock reads of the call before its read back
    bool set;
    const char* error;
  } cases[] = {
      {"set, read back garbled", [this](int aSkip) { emu.ForceFrame("t", "garbage", 1, aSkip); }, true,
       "The clock was set but its date and time could not be read back: Invalid reply frame from the printer: "
       "'garbage'"},
      {"set, read back refused", [this](int aSkip) { emu.ForceReplyCode("t", 0x2C, 1, aSkip); }, true,
       "The clock was set but its date and time could not be read back: Paper end"},
      {"refused, read back garbled",
       [this](int aSkip) {
         emu.ForceReplyCode("T", 0x2C);
         emu.ForceFrame("t", "garbage", 1, aSkip);
       },
       false, "Clock not set: Paper end"},
  };
  auto& d = OpenAndInit();
  const DateTime before = *EncodeDateTime(2026, 12, 9, 10, 0, 0, 0);
  const DateTime wanted = *EncodeDateTime(2031, 7, 4, 9, 8, 7, 0);
  auto setClock = [&] {
    _int_SETDATETIME_result r;
    d.Pub_SetDateTime(*Request("", {}, "<DateTime>2031-07-04T09:08:07</DateTime>"), r);
    return r;
  };
  emu.SetClock(before);
  ASSERT_FALSE(setClock().Error);
  const int clockReads = CountLetter(emu.Packets(), "t");
  ASSERT_GE(clockReads, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu.SetClock(before);
    emu.ClearFaults();
    emu.ClearPackets();
    c.fault(clockReads - 1);
    const _int_SETDATETIME_result r = setClock();
    EXPECT_EQ(r.Error, !c.set);
    EXPECT_EQ(r.ErrorText, c.error);
    EXPECT_NEAR(emu.Clock(), c.set ? wanted : before, 5.0 / 86400);
    EXPECT_EQ(r.DateTime, 0);
    EXPECT_TRUE(d.Journal()->Unsettled().empty());
  }
}

TEST_F(DriverTest, UnreadableClockGivesTheComputersClock) {
  struct Case {
    const char* frame;
    bool computerClock;
  } cases[] = {
      {"00/00/00/311299/235959/", false},
      {"00/00/00/310299/120000/", true},  // 31 February
      {"00/00/00/31129/235959/", true},
      {"00/00/00/xx1299/235959/", true},
  };
  auto& d = OpenAndInit();
  d.SetClock([] { return 12345.5; });
  for (const auto& c : cases) {
    emu.ForceFrame("t", c.frame);
    DateTime dt = 0;
    EXPECT_TRUE(d.GetDateTime(dt)) << c.frame;
    EXPECT_DOUBLE_EQ(dt, c.computerClock ? 12345.5 : *EncodeDateTime(2099, 12, 31, 23, 59, 59, 0)) << c.frame;
  }
}

TEST_F(DriverTest, DrawerAndDisplay) {
  auto& d = OpenAndInit();
  _int_OPENDR_result dr;
  d.Pub_OpenDrawer(*Request("<Drawer><Number>0</Number></Drawer>", {dt_Drawer}), dr);
  EXPECT_FALSE(dr.Error) << dr.ErrorText;
  ASSERT_EQ(emu.Packets().size(), 1u);
  EXPECT_EQ(emu.Packets()[0].fLetter, "q");
  EXPECT_EQ(emu.Packets()[0].fData, "/1");

  // The drawer's state is the printer's own: bit 0 of the fiscal status, asked each time.
  for (const bool shut : {false, true}) {
    if (shut) emu.SetDrawerOpen(false);
    emu.ClearPackets();
    _int_GETDRSTATUS_result st;
    st.IsOpen = shut;  // whatever the caller held is not the answer
    d.Pub_GetDrawerStatus(*Request("<Drawer><Number>1</Number></Drawer>", {dt_Drawer}), st);
    EXPECT_FALSE(st.Error) << st.ErrorText;
    EXPECT_EQ(st.IsOpen, !shut);
    EXPECT_EQ(Letters(emu.Packets()), "?");
  }
  // A printer that cannot be asked gives no state.
  emu.FailNext(10, 0);
  _int_GETDRSTATUS_result lost;
  d.Pub_GetDrawerStatus(*Request("<Drawer><Number>1</Number></Drawer>", {dt_Drawer}), lost);
  EXPECT_TRUE(lost.Error);
  EXPECT_FALSE(lost.IsOpen);
  emu.ClearFaults();

  const std::string lines =
      "<Lines><Text><Value>Totale  12,00</Value><Alignment>left</Alignment></Text>"
      "<Text><Value></Value><Alignment>left</Alignment></Text>"
      "<Text><Value>A/B &amp; C</Value><Alignment>left</Alignment></Text></Lines>";
  for (bool clear : {false, true}) {
    emu.ClearPackets();
    _int_DISPLAY_result r;
    d.Pub_WriteDisplay(
        *Request("<Display><Clear>" + std::string(clear ? "true" : "false") + "</Clear>" + lines + "</Display>",
                 {dt_Display}),
        r);
    EXPECT_FALSE(r.Error) << r.ErrorText;
    const auto packets = emu.Packets();
    ASSERT_EQ(packets.size(), clear ? 3u : 2u);
    size_t i = 0;
    if (clear) {
      EXPECT_EQ(packets[i++].fData, "/0/3/" + std::string(48, ' ') + "/");
    }
    EXPECT_EQ(packets[i++].fData, "/0/3/" + PadRight("T0tale  12,00", 48) + "/");
    EXPECT_EQ(packets[i++].fData, "/0/3/" + PadRight("A-B - C", 48) + "/");
  }

  // A display that cannot be cleared shows nothing.
  emu.ClearPackets();
  emu.ForceReplyCode("7", 0x2E);
  _int_DISPLAY_result r;
  d.Pub_WriteDisplay(*Request("<Display><Clear>true</Clear>" + lines + "</Display>", {dt_Display}), r);
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "The printer is disconnected");
  EXPECT_EQ(emu.Packets().size(), 1u);
}

// Characters that mean something in a query ("#" ends it, "&" starts a new key, "+" may be
// read as a blank) reach the printer as written, and so do blanks, "%" and accented letters.
TEST_F(DriverTest, PrinterReceivesTheTextExactlyAsWritten) {
  auto& d = OpenAndInit();
  const std::string text = "Nr#1 50% +IVA? caff\xC3\xA8 A=B %zz";
  EXPECT_TRUE(d.PrintLine(text, "0", "3"));
  ASSERT_EQ(emu.Packets().size(), 1u);
  EXPECT_EQ(emu.Packets()[0].fLetter, "7");
  EXPECT_EQ(emu.Packets()[0].fData, "/0/3/" + PadRight(text, 48) + "/");
}

// A document's lines print when it closes. The driver keeps what it prints, so the caller's
// line objects may be gone by then.
TEST_F(DriverTest, HeldLinesPrintAfterTheCallersLinesAreGone) {
  auto& d = OpenAndInit();
  kNFReceipt doc;
  d.BeginNonFiscalReceipt(doc);
  {
    auto text = kReceiptMessageTextLine::CreateNF(&doc);
    text->fValue = "Grazie";
    text->fEffects = EffectBit(le_bold);
    d.PrintNonFiscalTextLine(nullptr, *text);
    auto code = kReceiptMessageBarcodeLine::CreateNF(&doc);
    code->fValue = "ABC";
    code->fBarcodeType = bt_CODE39;
    d.PrintNonFiscalBarcodeLine(nullptr, *code);
  }
  EXPECT_TRUE(d.EndNonFiscalReceipt(doc));
  const auto packets = emu.Packets();
  ASSERT_EQ(Letters(packets), "77[7m");
  EXPECT_EQ(packets[1].fData, "/1/5/" + PadRight("Grazie", 48) + "/");
  EXPECT_EQ(packets[2].fData, "/100/2/2/69/3/ABC/");
}

TEST_F(DriverTest, UnsupportedOperationsRefuseWithoutTalkingToThePrinter) {
  auto& d = OpenAndInit();
  _int_SET_result plain;
  d.Pub_Set(*Request(), plain);
  EXPECT_FALSE(plain.Error);

  struct Case {
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {[&] { _int_SET_result r; d.Pub_Set(*Request("", {}, "<TrainingMode>true</TrainingMode>"), r); },
       "Set this status directly on the RT - printer"},
      {[&] {
         _int_PAY_result r;
         d.Pub_Pay(*Request("<Payment><Amount>1</Amount></Payment>", {dt_Pay}), r);
       },
       "Driver does not support payment"},
      {[&] {
         _int_GETLOTTERYRCPTSTATUS_result r;
         d.Pub_GetLotteryReceiptStatus(
             *Request("<ReceiptReference><ReceiptType>Sale</ReceiptType></ReceiptReference>", {dt_ReceiptReference}),
             r);
       },
       "Driver does not support lottery receipt status"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no failure for " << c.message;
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_TRUE(emu.Packets().empty());

  int32_t remaining = -7;
  EXPECT_FALSE(d.GetRemainingFiscalMemory(remaining));
  EXPECT_EQ(remaining, -7);
  EXPECT_TRUE(d.SkipStatusCheck());
  EXPECT_TRUE(emu.Packets().empty());
}

TEST_F(DriverTest, CheckStatusClearsAnOpenReceipt) {
  auto& d = OpenAndInit();
  EXPECT_TRUE(d.CheckStatus());
  ASSERT_EQ(emu.Packets().size(), 1u);
  EXPECT_EQ(emu.Packets()[0].fLetter, "+");
  EXPECT_EQ(emu.Packets()[0].fData, "/0/");
}

TEST(DriverAuth, CredentialsOfTheConnectionReachThePrinter) {
  struct Case {
    emu::AuthMode mode;
    const char* authType;
    const char* password;
    bool ok;
  } cases[] = {
      {emu::AuthMode::Basic, "basic", "s3cr:et", true},
      {emu::AuthMode::Digest, "digest", "s3cr:et", true},
      {emu::AuthMode::Basic, "basic", "wrong", false},
  };
  const std::string dir = testing::TempDir() + "fp_driver_auth_" + std::to_string(::getpid());
  ::setenv("FPDRIVER_APP_DIR", dir.c_str(), 1);
  for (const auto& c : cases) {
    emu::EmulatorOptions options;
    options.fAuth = c.mode;
    options.fUser = "cashier";
    options.fPassword = "s3cr:et";
    emu::PrinterEmulator printer(options);
    printer.Start();
    kReceiptPrinterHandler h;
    h.Deserialize("<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Connection><Type>HTTP</Type><URL>" +
                      printer.BaseUrl() + "</URL><AuthType>" + c.authType +
                      "</AuthType><User>cashier</User><Password>" + c.password +
                      "</Password></Connection></ReceiptPrinterManager>",
                  {});
    kFiscalPrinter_TARVOLX40FPETH d(h);
    d.SetSleeper([](int) {});
    DateTime dt = 0;
    EXPECT_EQ(d.GetDateTime(dt), c.ok) << c.authType << " " << c.password;
    if (!c.ok) {
      EXPECT_EQ(d.ErrorMessage().rfind("HTTP 401 Unauthorized from http://", 0), 0u) << d.ErrorMessage();
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
