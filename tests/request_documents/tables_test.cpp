#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/dept_table.h"
#include "documents/economic_activity_table.h"
#include "documents/vat_table.h"
#include "../documents/document_test_support.h"

using namespace fp;

using fp_test::ReadDataFile;

namespace {

pugi::xml_document* Load(pugi::xml_document& aDoc, const std::string& aXml) {
  EXPECT_TRUE(fp_test::ParseXml(aDoc, aXml));
  return &aDoc;
}

kVat Vat(int32_t aIndex, const char* aCode, int64_t aRateRaw) {
  kVat v;
  v.fIndex = aIndex;
  v.fCode = aCode;
  v.fRate = Amount::FromRaw(aRateRaw);
  return v;
}

}  // namespace

TEST(VatTable, EveryChildElementIsAnEntryWhateverItsName) {
  pugi::xml_document doc;
  Load(doc,
       "<ReceiptPrinterManager><VATTable>"
       "<Vat><Code>A</Code><Description>Standard</Description><Rate>22</Rate></Vat>"
       "<Rate><Code>B</Code><Rate>10.5</Rate></Rate>"
       "<Anything/>"
       "</VATTable></ReceiptPrinterManager>");
  kVatTable table;
  table.Deserialize(doc);
  ASSERT_EQ(table.Count(), 3u);
  EXPECT_EQ(table[0].fCode, "A");
  EXPECT_EQ(table[0].fDescription, "Standard");
  EXPECT_EQ(table[0].fRate, Amount::FromInt(22));
  EXPECT_EQ(table[1].fCode, "B");
  EXPECT_EQ(table[1].fRate, Amount::FromRaw(105000));
  EXPECT_EQ(table[2].fCode, "");
  for (const kVat& v : table) EXPECT_EQ(v.fIndex, 0);  // the request never places entries

  kVatTable empty;
  empty.Deserialize(*Load(doc, "<ReceiptPrinterManager><VATTable/></ReceiptPrinterManager>"));
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(VatTable, ReadsFromTheDocumentElementAsWellAsFromTheDocument) {
  pugi::xml_document doc;
  Load(doc, "<ReceiptPrinterManager><VATTable><Vat><Code>A</Code></Vat></VATTable></ReceiptPrinterManager>");
  kVatTable table;
  table.Deserialize(doc.document_element());
  EXPECT_EQ(table.Count(), 1u);
}

TEST(VatTable, GetFirstAvailableIndexFollowsTheLastSlotWithARate) {
  struct Case {
    std::vector<kVat> entries;
    int32_t expected;
  } cases[] = {
      {{}, 1},
      {{Vat(1, "A", 220000), Vat(3, "B", 100000), Vat(5, "C", 0)}, 4},
      {{Vat(3, "B", 100000), Vat(1, "A", 220000)}, 4},  // the largest index, not the last entry
      {{Vat(2, "Z", 0), Vat(4, "Y", 0)}, 1},             // only zero rates
      {{Vat(INT32_MAX, "M", 10000)}, INT32_MAX},         // no successor beyond the range
  };
  for (const auto& c : cases) {
    kVatTable table;
    for (const kVat& v : c.entries) table.Add(v);
    EXPECT_EQ(table.GetFirstAvailableIndex(), c.expected) << "entries: " << c.entries.size();
  }
}

TEST(VatTable, LookupsByCodeAndIndexFindTheFirstMatch) {
  kVatTable table;
  table.Add(Vat(1, "A", 220000));
  table.Add(Vat(2, "B", 100000));
  table.Add(Vat(3, "A", 40000));
  kVat* a = table.Get("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->fIndex, 1);
  EXPECT_EQ(table.Get("a"), nullptr);  // codes are case-sensitive
  EXPECT_EQ(table.Get(""), nullptr);
  ASSERT_NE(table.GetByIndex(3), nullptr);
  EXPECT_EQ(table.GetByIndex(3)->fRate, Amount::FromRaw(40000));
  EXPECT_EQ(table.GetByIndex(4), nullptr);
  // Entries found earlier stay valid while the table grows.
  for (int i = 10; i < 200; ++i) table.Add(Vat(i, "N", 0));
  EXPECT_EQ(a->fCode, "A");
  EXPECT_EQ(a, table.Get("A"));
}

TEST(DeptTable, DepartmentsAndTheirEconomicActivitiesComeFromOneElement) {
  pugi::xml_document doc;
  Load(doc, ReadDataFile("dept_table.xml"));
  kEconomicActivityTable activities;
  kDeptTable depts;
  activities.Deserialize(doc);
  depts.Deserialize(doc);

  struct Dept {
    const char* code;
    const char* description;
    const char* vat;
    vnDepartmentSalesType type;
    const char* ea;
  } expectedDepts[] = {
      {"01", "Food", "V1", st_Product, "A1"},
      {"02", "Repairs", "V2", st_Service, "A2"},
      {"03", "Drinks", "V1", st_Product, "A1"},
      {"04", "Misc", "V3", st_Product, ""},
  };
  ASSERT_EQ(depts.Count(), std::size(expectedDepts));
  for (size_t i = 0; i < depts.Count(); ++i) {
    const auto& e = expectedDepts[i];
    EXPECT_EQ(depts[i].fCode, e.code);
    EXPECT_EQ(depts[i].fDescription, e.description);
    EXPECT_EQ(depts[i].fVATCode, e.vat);
    EXPECT_EQ(depts[i].fSalesType, e.type) << e.code;
    EXPECT_EQ(depts[i].fEACode, e.ea);
    EXPECT_EQ(depts[i].fIndex, 0);
  }
  ASSERT_NE(depts.Get("02"), nullptr);
  EXPECT_EQ(depts.Get("02")->fDescription, "Repairs");

  // A1 appears twice: the first department describes it; the one without a code adds none.
  ASSERT_EQ(activities.Count(), 2u);
  EXPECT_EQ(activities[0].fIndex, 1);
  EXPECT_EQ(activities[0].fCode, "A1");
  EXPECT_EQ(activities[0].fDescription, "Retail");
  EXPECT_TRUE(activities[0].fVentilazione);
  EXPECT_EQ(activities[1].fIndex, 2);
  EXPECT_EQ(activities[1].fCode, "A2");
  EXPECT_EQ(activities[1].fDescription, "Workshop");
  EXPECT_FALSE(activities[1].fVentilazione);
  ASSERT_NE(activities.GetByIndex(2), nullptr);
  EXPECT_EQ(activities.GetByIndex(2)->fCode, "A2");
  EXPECT_EQ(activities.Get("A3"), nullptr);
}

TEST(DeptTable, SalesTypeIsServiceOnlyForTheWordService) {
  struct Case {
    const char* text;
    vnDepartmentSalesType type;
  } cases[] = {
      {"Service", st_Service}, {"SERVICE", st_Service}, {"service", st_Service}, {"product", st_Product},
      {"", st_Product},        {"goods", st_Product},   {" service", st_Product},
  };
  for (const auto& c : cases) {
    pugi::xml_document doc;
    Load(doc, std::string("<R><DeptTable><Dept><SalesType>") + c.text + "</SalesType></Dept></DeptTable></R>");
    kDeptTable table;
    table.Deserialize(doc);
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_EQ(table[0].fSalesType, c.type) << "'" << c.text << "'";
  }
}
