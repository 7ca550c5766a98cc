// VAT and department tables of the RT printer driver, against the printer emulator.
#include <algorithm>

#include "documents/dept_table.h"
#include "documents/vat_table.h"
#include "driver_fixture.h"

using namespace fp;
using namespace fp::test;

namespace {

std::string VatList(const kVatTable& aTable) {
  std::string out;
  for (const auto& v : aTable)
    out += std::to_string(v.fIndex) + ":" + v.fCode + ":" + v.fDescription + ":" + v.fRate.ToXmlText() + " ";
  return out;
}

std::string VatRequest(std::initializer_list<std::pair<const char*, const char*>> aVats) {
  std::string xml = "<VATTable>";
  for (const auto& [code, rate] : aVats)
    xml += std::string("<Vat><Code>") + code + "</Code><Description>" + code + "</Description><Rate>" + rate +
           "</Rate></Vat>";
  return xml + "</VATTable>";
}

}  // namespace

TEST_F(DriverTest, VatTableReadKeepsTheFirstSlotOfEachCode) {
  emu.SetVatSlot(1, {Amount::FromInt(22), 0});
  emu.SetVatSlot(2, {Amount::FromInt(10), 0});
  emu.SetVatSlot(3, {Amount(), 3});
  emu.SetVatSlot(4, {Amount::FromInt(22), 0});
  for (int slot = 5; slot <= 12; ++slot) emu.SetVatSlot(slot, {Amount::FromInt(22), 0});
  auto& d = OpenAndInit();
  _int_GETVATTABLE_result r;
  d.Pub_GetVatTable(*Request(), r);
  ASSERT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(VatList(d.VatTable()), "1:2200:2200:22 2:1000:1000:10 3:N4:0000:0 ");
  EXPECT_EQ(Letters(emu.Packets()), "e");
}

TEST_F(DriverTest, VatTableReplyForms) {
  // "e" answers 12 rates, then 12 natura indexes.
  auto frame = [](std::vector<std::string> aRates, std::vector<std::string> aNatura) {
    std::string f = "00/00/00/";
    for (size_t i = 0; i < 12; ++i) f += (i < aRates.size() ? aRates[i] : "22.00") + "/";
    for (size_t i = 0; i < 12; ++i) f += (i < aNatura.size() ? aNatura[i] : "0") + "/";
    return f;
  };
  struct Case {
    std::string frame;
    const char* expected;
  } cases[] = {
      {frame({"22.00", "5.00", "0.00", "0.00"}, {"0", "0", "6", "9"}),
       "1:2200:2200:22 2:0500:0500:5 3:VI:0000:0 "},  // natura 9 has no code: not listed
      {frame({"4", "10.5", "0.00"}, {"0", "0", "x"}), "1:0004:0004:0.04 2:0105:0105:1.05 4:2200:2200:22 "},
  };
  auto& d = OpenAndInit();
  for (const auto& c : cases) {
    emu.ForceFrame("e", c.frame);
    EXPECT_TRUE(d.ReadVatTable()) << c.frame;
    EXPECT_EQ(VatList(d.VatTable()), c.expected) << c.frame;
  }
  emu.ForceFrame("e", frame({"22.00", "abc"}, {}));
  EXPECT_THROW(d.ReadVatTable(), kException);
}

TEST_F(DriverTest, VatTableUnchangedSendsNothing) {
  auto& d = OpenAndInit();  // 22, 10, 4, 5 and N1 to N4 in slots 1 to 8
  _int_SETVATTABLE_result r;
  d.Pub_SetVatTable(*Request(VatRequest({{"2200", "22"}, {"1000", "10"}, {"0400", "4"}, {"0500", "5"}, {"N1", "0"},
                                         {"N2", "0"}, {"N3", "0"}, {"N4", "0"}}),
                             {dt_VatTable}),
                    r);
  EXPECT_FALSE(r.Error) << r.ErrorText;
  EXPECT_EQ(Letters(emu.Packets()), "e");
}

TEST_F(DriverTest, NewRateGoesToTheFirstFreeSlot) {
  emu.SetVatSlot(4, {Amount(), 3});  // N4
  for (int slot = 5; slot <= 12; ++slot) emu.SetVatSlot(slot, {Amount::FromInt(22), 0});
  auto& d = OpenAndInit();
  _int_SETVATTABLE_result r;
  d.Pub_SetVatTable(
      *Request(VatRequest({{"2200", "22"}, {"1000", "10"}, {"0400", "4"}, {"N4", "0"}, {"0500", "5"}}), {dt_VatTable}),
      r);
  ASSERT_FALSE(r.Error) << r.ErrorText;
  const auto packets = emu.Packets();
  ASSERT_EQ(CountLetter(packets, "b"), 1);
  for (const auto& p : packets) {
    if (p.fLetter != "b") continue;
    EXPECT_EQ(p.fData, "/22.00/10.00/4.00/0.00/5.00/22.00/22.00/22.00/22.00/22.00/22.00/22.00/"
                       "///3/////////"
                       "////////////");
  }
  EXPECT_EQ(packets.back().fLetter, "e");  // the table is read back
  EXPECT_EQ(VatList(d.VatTable()), "1:2200:2200:22 2:1000:1000:10 3:0400:0400:4 4:N4:0000:0 5:0500:0500:5 ");
  EXPECT_EQ(emu.Snapshot().fVat[4].fRate, Amount::FromInt(5));
}

TEST_F(DriverTest, VatTableProgrammingClosesAnOpenDay) {
  emu.SetDayOpen(true);
  auto& d = OpenAndInit();
  _int_SETVATTABLE_result r;
  d.Pub_SetVatTable(*Request(VatRequest({{"2100", "21"}}), {dt_VatTable}), r);
  // The day is closed by the Z report before anything is programmed.
  const auto packets = emu.Packets();
  EXPECT_EQ(Letters(packets).substr(0, 6), "eav,t|");
  EXPECT_EQ(CountLetter(packets, "b"), r.Error ? 0 : 1);
}

TEST_F(DriverTest, VatTableRequestErrors) {
  struct Case {
    std::function<void()> setup;
    std::string request;
    const char* message;
  } cases[] = {
      {[] {}, VatRequest({{"Z9", "0"}}), "Natura Index not defined"},
      {[this] {
         for (int slot = 1; slot <= 12; ++slot) emu.SetVatSlot(slot, {Amount::FromInt(slot), 0});
       },
       VatRequest({{"2300", "23"}}), "No more available VAT slots"},
  };
  for (const auto& c : cases) {
    c.setup();
    emu.SetDayOpen(true);
    auto& d = OpenAndInit();
    _int_SETVATTABLE_result r;
    try {
      d.Pub_SetVatTable(*Request(c.request, {dt_VatTable}), r);
      ADD_FAILURE() << "accepted " << c.request;
    } catch (const kException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(CountLetter(emu.Packets(), "b"), 0);
    // Refused before anything was sent: the fiscal day is not closed for nothing.
    EXPECT_EQ(CountLetter(emu.Packets(), "x"), 0);
    EXPECT_TRUE(emu.Snapshot().fDayOpen);
  }
}

TEST_F(DriverTest, DepartmentsAreReadWithTheirVatCodes) {
  emu.SetDepartment(2, {"SERVIZI & BAR", 3, 1});
  auto& d = OpenAndInit();
  // A department without a VAT slot of its own (slot 0) reads as exempt "N4".
  emu.ForceFrame(":", "00/00/00/ESENTE/00/1/0.00/9999.00/0.00/110000000/0/0/0/0/0/0/0/");
  d.ReadVatTable();
  _int_GETDEPTTABLE_result r;
  d.Pub_GetDeptTable(*Request(), r);
  ASSERT_FALSE(r.Error) << r.ErrorText;
  ASSERT_EQ(d.DeptTable().Count(), 20u);
  const auto& t = d.DeptTable();
  EXPECT_EQ(t[0].fCode, "01");
  EXPECT_EQ(t[0].fDescription, "ESENTE");
  EXPECT_EQ(t[0].fVATCode, "N4");
  EXPECT_EQ(t[1].fDescription, "SERVIZI - BAR");  // "&" is never handed back to the printer
  EXPECT_EQ(t[1].fVATCode, "0400");
  EXPECT_EQ(t[1].fSalesType, st_Service);
  EXPECT_EQ(t[2].fDescription, "REPARTO 03");
  EXPECT_EQ(t[2].fVATCode, "0400");
  EXPECT_EQ(t[2].fSalesType, st_Product);
  EXPECT_EQ(t[19].fCode, "20");
  EXPECT_TRUE(t[0].fEACode.empty());

  // A refused read ends the table there, with the error.
  emu.ClearPackets();
  emu.ForceReplyCode(":", 0x08);
  d.Pub_GetDeptTable(*Request(), r);
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText, "The DPT Code doesn\u2019t exist");
  EXPECT_EQ(d.DeptTable().Count(), 0u);
  EXPECT_EQ(Letters(emu.Packets()), ":");
}

TEST_F(DriverTest, DepartmentsAreProgrammed) {
  auto& d = OpenAndInit();
  const std::string request =
      "<DeptTable>"
      "<Dept><Code>7</Code><Description>Bevande &amp; alcolici/bar e caffetteria del centro</Description>"
      "<VATCode>1000</VATCode><SalesType>Service</SalesType></Dept>"
      "<Dept><Code>12</Code><Description>PANE</Description><VATCode>0400</VATCode></Dept>"
      "</DeptTable>";
  _int_SETDEPTTABLE_result r;
  d.Pub_SetDeptTable(*Request(request, {dt_DeptTable}), r);
  ASSERT_FALSE(r.Error) << r.ErrorText;
  std::vector<std::string> sent;
  for (const auto& p : emu.Packets())
    if (p.fLetter == "N") sent.push_back(p.fData);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], "/07/Bevande - alcolici-bar e caffe/02/1/0.00/9999.00/0.00/110000010/");
  EXPECT_EQ(sent[1], "/12/PANE/03/1/0.00/9999.00/0.00/110000000/");
  EXPECT_EQ(emu.Snapshot().fDepartments[6].fVatSlot, 2);

  // A VAT code the printer lacks stops the request before any department is written.
  emu.ClearPackets();
  const std::string bad =
      "<DeptTable><Dept><Code>1</Code><VATCode>1000</VATCode></Dept>"
      "<Dept><Code>2</Code><VATCode>9900</VATCode></Dept></DeptTable>";
  try {
    d.Pub_SetDeptTable(*Request(bad, {dt_DeptTable}), r);
    ADD_FAILURE() << "accepted an unknown VAT code";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "VATCode 9900 not found for department 2");
  }
  EXPECT_EQ(CountLetter(emu.Packets(), "N"), 0);
}

// Programming whose answer is lost is read back: the printer's table says whether it took.
TEST_F(DriverTest, LostProgrammingAnswerIsSettledByReadingTheTableBack) {
  struct Case {
    const char* name;
    const char* letter;  // "b" VAT table, "N" department
    std::function<void(emu::PrinterEmulator&)> fault;
    const char* errorStart;  // empty: reported done
    bool programmed;
  } cases[] = {
      {"VAT: carried out, every answer dropped", "b", [](auto& e) { e.DropAnswers("b", 3); }, "", true},
      {"VAT: not carried out, the connection closed", "b", [](auto& e) { e.LoseRequests("b", 3); }, "Not programmed: ", false},
      {"department: carried out, every answer dropped", "N", [](auto& e) { e.DropAnswers("N", 3); }, "", true},
      {"department: not carried out, the connection closed", "N", [](auto& e) { e.LoseRequests("N", 3); },
       "Not programmed: ", false},
  };
  auto& d = OpenAndInit();
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ++round;
    emu.ClearFaults();
    const std::string rate = std::to_string(round);
    const std::string description = "REPARTO NUOVO " + rate;
    emu.ClearPackets();
    if (std::string(c.letter) == "b") {
      const std::string code = "0" + rate + "00";
      auto h = Request(VatRequest({{"2200", "22"}, {code.c_str(), rate.c_str()}}), {dt_VatTable});
      c.fault(emu);
      _int_SETVATTABLE_result r;
      d.Pub_SetVatTable(*h, r);
      EXPECT_EQ(r.Error, *c.errorStart != '\0') << r.ErrorText;
      EXPECT_EQ(r.ErrorText.rfind(c.errorStart, 0), 0u) << r.ErrorText;
      const auto vat = emu.Snapshot().fVat;
      const bool has = std::any_of(vat.begin(), vat.end(), [&](const emu::VatSlot& v) { return v.fRate == Amount::FromInt(round); });
      EXPECT_EQ(has, c.programmed);
    } else {
      auto h = Request("<DeptTable><Department><Code>4</Code><Description>" + description +
                           "</Description><VATCode>2200</VATCode></Department></DeptTable>",
                       {dt_DeptTable});
      c.fault(emu);
      _int_SETDEPTTABLE_result r;
      d.Pub_SetDeptTable(*h, r);
      EXPECT_EQ(r.Error, *c.errorStart != '\0') << r.ErrorText;
      EXPECT_EQ(r.ErrorText.rfind(c.errorStart, 0), 0u) << r.ErrorText;
      EXPECT_EQ(emu.Snapshot().fDepartments[3].fDescription == description, c.programmed);
    }
  }
  EXPECT_TRUE(LogHas("Outcome: read back: the VAT table was programmed"));
  EXPECT_TRUE(LogHas("Outcome: read back: department 04 was not programmed"));
}

// A printer that stops answering after taking the programming leaves nothing to read back.
TEST_F(DriverTest, ProgrammingThatCannotBeReadBackIsReportedUnknown) {
  auto& d = OpenAndInit();
  auto h = Request(VatRequest({{"2200", "22"}, {"0700", "7"}}), {dt_VatTable});
  // The programming is carried out and its answers lost; every read after it (the first "e"
  // is the lookup before it) is answered with an error status.
  emu.DropAnswers("b", 3);
  emu.AnswerStatus("e", 503, 1000, 1);
  _int_SETVATTABLE_result r;
  d.Pub_SetVatTable(*h, r);
  EXPECT_TRUE(r.Error);
  EXPECT_EQ(r.ErrorText.rfind("Outcome unknown: the printer's answer to programming the VAT table was lost", 0), 0u)
      << r.ErrorText;
  int waited = 0;
  for (int p : pauses) waited += p;
  EXPECT_LE(waited, kFiscalPrinterDevice::kDefaultOutcomeTimeoutMs + 8000);
}
