#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/xml_text.h"
#include "documents/customer_display.h"
#include "documents/dept_table.h"
#include "documents/drawer.h"
#include "documents/economic_activity_table.h"
#include "documents/ej_files_request.h"
#include "documents/ej_report.h"
#include "documents/nf_receipt.h"
#include "documents/payment_receipt.h"
#include "documents/receipt_reference.h"
#include "documents/vat_table.h"
#include "documents/x_report.h"
#include "documents/z_report.h"
#include "../documents/document_test_support.h"

using namespace fp;

using fp_test::ErrorOf;

namespace {

std::unique_ptr<pugi::xml_document> Parse(const std::string& aXml) {
  auto doc = std::make_unique<pugi::xml_document>();
  EXPECT_TRUE(fp_test::ParseXml(*doc, aXml));
  return doc;
}

// A request whose root holds aBody.
std::unique_ptr<pugi::xml_document> Request(const std::string& aBody) {
  return Parse("<ReceiptPrinterManager><Device/>" + aBody + "</ReceiptPrinterManager>");
}

using Reader = std::function<void(pugi::xml_node)>;

template <class T>
Reader ReaderOf() {
  return [](pugi::xml_node aDoc) {
    T doc;
    doc.Deserialize(aDoc);
  };
}

}  // namespace

TEST(RequestDocuments, MissingElementFailsWithItsOwnMessage) {
  struct Case {
    const char* element;
    Reader read;
  } cases[] = {
      {"NFReceipt", ReaderOf<kNFReceipt>()},
      {"Display", ReaderOf<kCustomerDisplay>()},
      {"Drawer", ReaderOf<kDrawer>()},
      {"EJReport", ReaderOf<kEJReport>()},
      {"ReceiptReference", ReaderOf<kReceiptReference>()},
      {"EJRequest", ReaderOf<kEJFilesRequest>()},
      {"VATTable", ReaderOf<kVatTable>()},
      {"DeptTable", ReaderOf<kDeptTable>()},
      {"DeptTable", ReaderOf<kEconomicActivityTable>()},
      {"Payment", ReaderOf<kPaymentReceipt>()},
  };
  for (const auto& c : cases) {
    std::string expected = std::string(c.element) + " node not found";
    auto request = Request("<Other/>");
    EXPECT_EQ(ErrorOf([&] { c.read(*request); }), expected);
    // The element must sit below the request root: a root of that name does not count,
    // nor does the element nested one level deeper.
    auto bare = Parse(std::string("<") + c.element + "/>");
    EXPECT_EQ(ErrorOf([&] { c.read(*bare); }), expected);
    auto nested = Request(std::string("<Wrapper><") + c.element + "/></Wrapper>");
    EXPECT_EQ(ErrorOf([&] { c.read(*nested); }), expected);
  }
}

TEST(RequestDocuments, BadValuesFailWithTheReaderMessage) {
  struct Case {
    const char* body;
    Reader read;
    const char* message;
  } cases[] = {
      {"<Drawer><Number>two</Number></Drawer>", ReaderOf<kDrawer>(),
       "Error in processing node Number as integer.\r\n'two' is not a valid integer value"},
      {"<EJReport><ReportDestination>printer</ReportDestination></EJReport>", ReaderOf<kEJReport>(),
       "ReportType  is invalid"},
      {"<EJReport><ReportType>zreport</ReportType><ReportDestination>disk</ReportDestination></EJReport>",
       ReaderOf<kEJReport>(), "ReportDestination disk is invalid"},
      {"<EJReport><ReportType>ZReport</ReportType><ReportDestination>Printer</ReportDestination>"
       "<StartNumber>1</StartNumber><EndNumber>5</EndNumber></EJReport>",
       ReaderOf<kEJReport>(), "DateTime Format invalid: []"},
      {"<EJReport><ReportType>ZReport</ReportType><ReportDestination>Printer</ReportDestination>"
       "<StartDate>2024-05-06T00:00:00</StartDate><EndDate>2024-05-07</EndDate></EJReport>",
       ReaderOf<kEJReport>(), "DateTime Format invalid: [2024-05-07]"},
      {"<ReceiptReference><ReceiptNumber>1</ReceiptNumber></ReceiptReference>", ReaderOf<kReceiptReference>(),
       "ReceiptType  is invalid"},
      {"<ReceiptReference><ReceiptType>Sale</ReceiptType><ReceiptDateTime>2024-05-06</ReceiptDateTime>"
       "</ReceiptReference>",
       ReaderOf<kReceiptReference>(),
       "Error in processing node ReceiptDateTime as datetime.\r\nDateTime Format invalid: [2024-05-06]"},
      {"<EJRequest><RequestType>json</RequestType></EJRequest>", ReaderOf<kEJFilesRequest>(),
       "ReferenceType json is invalid"},
      {"<EJRequest><OutputDir>/tmp</OutputDir></EJRequest>", ReaderOf<kEJFilesRequest>(),
       "ReferenceType  is invalid"},
      {"<VATTable><Vat><Code>A</Code><Rate>22,5</Rate></Vat></VATTable>", ReaderOf<kVatTable>(),
       "Error in processing node Rate as currency.\r\n'22,5' is not a valid floating point value"},
      {"<Payment><Amount>ten</Amount></Payment>", ReaderOf<kPaymentReceipt>(),
       "Error in processing node Amount as currency.\r\n'ten' is not a valid floating point value"},
      {"<Payment><Copies>1.5</Copies></Payment>", ReaderOf<kPaymentReceipt>(),
       "Error in processing node Copies as integer.\r\n'1.5' is not a valid integer value"},
      {"<Payment><PrintLocation>eft</PrintLocation></Payment>", ReaderOf<kPaymentReceipt>(),
       "Payment Location eft invalid. Allowed values are: ECR,EFT."},
      {"<Payment><PrintLocation> EFT</PrintLocation></Payment>", ReaderOf<kPaymentReceipt>(),
       "Payment Location  EFT invalid. Allowed values are: ECR,EFT."},
      {"<XReport><Print>maybe</Print></XReport>", ReaderOf<kXReport>(),
       "Error in processing node Print as boolean.\r\n'maybe' is not a valid boolean value"},
      {"<ZReport><PrintText></PrintText></ZReport>", ReaderOf<kZReport>(),
       "Error in processing node PrintText as boolean.\r\n'' is not a valid boolean value"},
      {"<Display><Lines><Text><Value>x</Value></Text></Lines></Display>", ReaderOf<kCustomerDisplay>(),
       "Alignment  is invalid"},
      {"<NFReceipt><Lines><Text><Value>x</Value><Alignment>left</Alignment><Effects>bold, italic</Effects></Text>"
       "</Lines></NFReceipt>",
       ReaderOf<kNFReceipt>(), "Effect  italic is invalid"},
      {"<NFReceipt><Lines><Barcode><Value>1</Value></Barcode></Lines></NFReceipt>", ReaderOf<kNFReceipt>(),
       "BarcodeType  is invalid"},
      {"<NFReceipt><Footer><Lines><Image><Value>logo</Value></Image></Lines></Footer></NFReceipt>",
       ReaderOf<kNFReceipt>(), "Alignment  is invalid"},
      {"<NFReceipt><DateTime>2024-02-30T10:00:00</DateTime></NFReceipt>", ReaderOf<kNFReceipt>(),
       "Error in processing node DateTime as datetime.\r\nDateTime Format invalid: [2024-02-30T10:00:00]"},
  };
  for (const auto& c : cases) {
    auto request = Request(c.body);
    EXPECT_EQ(ErrorOf([&] { c.read(*request); }), c.message) << c.body;
  }
}

TEST(RequestDocuments, SmallDocumentsReadTheirValuesAndDefaults) {
  {
    kDrawer drawer;
    drawer.Deserialize(*Request("<Drawer/>"));
    EXPECT_EQ(drawer.fNumber, 0);
    drawer.Deserialize(*Request("<Drawer><Number> 2</Number></Drawer>"));
    EXPECT_EQ(drawer.fNumber, 2);
  }
  {
    kEJReport report;
    report.Deserialize(*Request(
        "<EJReport><ReportType>FiscalReceipt</ReportType><ReportDestination>MEMORY</ReportDestination>"
        "<StartDate>2024-05-06T00:00:00</StartDate><EndDate>2024-05-07T23:59:59</EndDate>"
        "<StartNumber>abc</StartNumber><EndNumber>12</EndNumber></EJReport>"));
    EXPECT_EQ(report.fReportType, ejrt_FiscalReceipt);
    EXPECT_EQ(report.fDestination, rd_Memory);
    EXPECT_EQ(report.fStartDate, *EncodeDate(2024, 5, 6));
    EXPECT_EQ(report.fEndDate, *EncodeDateTime(2024, 5, 7, 23, 59, 59, 0));
    EXPECT_EQ(report.fStartNumber, 0);  // no integer reads as 0 instead of failing
    EXPECT_EQ(report.fEndNumber, 12);
  }
  {
    kReceiptReference ref;
    ref.Deserialize(*Request(
        "<ReceiptReference><ReceiptType>Refund</ReceiptType><EJNumber>0001</EJNumber>"
        "<EJClosingNumber>0042</EJClosingNumber><ReceiptDateTime></ReceiptDateTime>"
        "<ReceiptNumber>15</ReceiptNumber><DeviceSerialNumber>99MEX</DeviceSerialNumber></ReceiptReference>"));
    EXPECT_EQ(ref.fReceiptType, rt_Refund);
    EXPECT_EQ(ref.fEJNumber, "0001");
    EXPECT_EQ(ref.fEJClosingNumber, "0042");
    EXPECT_EQ(ref.fReceiptDateTime, 0);
    EXPECT_EQ(ref.fReceiptNumber, "15");
    EXPECT_EQ(ref.fDeviceSerialNumber, "99MEX");
    ref.Deserialize(*Request(
        "<ReceiptReference><ReceiptType>void</ReceiptType><ReceiptDateTime>2024-05-06T10:11:12</ReceiptDateTime>"
        "</ReceiptReference>"));
    EXPECT_EQ(ref.fReceiptDateTime, *EncodeDateTime(2024, 5, 6, 10, 11, 12, 0));
  }
  {
    kEJFilesRequest req;
    req.Deserialize(*Request("<EJRequest><RequestType>XML</RequestType><StartDate/>"
                             "<OutputDir>C:\\EJ</OutputDir></EJRequest>"));
    EXPECT_EQ(req.fReqType, ej_xml);
    EXPECT_EQ(req.fStartDate, 0);
    EXPECT_EQ(req.fEndDate, 0);
    EXPECT_EQ(req.fOutputDir, "C:\\EJ");
    req.Deserialize(*Request("<EJRequest><RequestType>xml</RequestType><StartDate>2024-01-02T03:04:05</StartDate>"
                             "<EndDate>2024-01-03T00:00:00</EndDate></EJRequest>"));
    EXPECT_EQ(req.fStartDate, *EncodeDateTime(2024, 1, 2, 3, 4, 5, 0));
    EXPECT_EQ(req.fEndDate, *EncodeDate(2024, 1, 3));
  }
  {
    kPaymentReceipt pay;
    pay.Deserialize(*Request("<Payment/>"));
    EXPECT_EQ(pay.fPrintLocation, pl_ECR);
    EXPECT_EQ(pay.fCopies, 0);
    EXPECT_EQ(pay.fAmount, Amount());
    pay.Deserialize(*Request(
        "<Payment><Copies>-2</Copies><StoreCode>S</StoreCode><TillCode>T</TillCode><Reference>R1</Reference>"
        "<Amount>12.34</Amount><Currency>EUR</Currency><PrintLocation>EFT</PrintLocation>"
        "<ReceiptId>X9</ReceiptId></Payment>"));
    EXPECT_EQ(pay.fCopies, 0);
    EXPECT_EQ(pay.fStoreCode, "S");
    EXPECT_EQ(pay.fTillCode, "T");
    EXPECT_EQ(pay.fReference, "R1");
    EXPECT_EQ(pay.fAmount, Amount::FromRaw(123400));
    EXPECT_EQ(pay.fCurrency, "EUR");
    EXPECT_EQ(pay.fPrintLocation, pl_EFT);
    EXPECT_EQ(pay.fReceiptId, "X9");
    EXPECT_TRUE(pay.fReceiptLines.empty());
    EXPECT_TRUE(pay.fRawResponse.empty());
  }
}

TEST(RequestDocuments, ReportsAreOptionalAndPrintByDefaultWhenPresent) {
  struct Case {
    const char* body;
    bool print;
  } cases[] = {
      {"", false},  // no element: nothing changes, so no print
      {"<XReport/><ZReport/>", true},
      {"<XReport><Print>false</Print></XReport><ZReport><Print>0</Print></ZReport>", false},
  };
  for (const auto& c : cases) {
    auto request = Request(c.body);
    kXReport x;
    kZReport z;
    x.Deserialize(*request);
    z.Deserialize(*request);
    EXPECT_EQ(x.fPrint, c.print) << c.body;
    EXPECT_EQ(z.fPrint, c.print) << c.body;
    EXPECT_FALSE(z.fPrintText);
  }
  kXReport x;
  x.Deserialize(*Request("<XReport><StoreCode>S1</StoreCode><TillCode>T1</TillCode></XReport>"));
  EXPECT_EQ(x.fStoreCode, "S1");
  EXPECT_EQ(x.fTillCode, "T1");
}

TEST(ZReport, TextSplitsAtEveryKindOfLineBreak) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\ntwo", {"one", "two"}},
      {"one&#13;&#10;two&#13;three&#10;", {"one", "two", "three"}},
      {"one\n\nthree", {"one", "", "three"}},
  };
  for (const auto& c : cases) {
    kZReport z;
    z.fText = {"stale"};
    z.Deserialize(*Request(std::string("<ZReport><Text>") + c.text + "</Text></ZReport>"));
    EXPECT_EQ(z.fText, c.lines) << c.text;
  }
}

TEST(ZReport, SerializeWritesTheTextLinesEachEndedByCrLf) {
  kZReport z;
  z.Deserialize(*Request("<ZReport><StoreCode>S1</StoreCode><TillCode>T1</TillCode><PrintText>True</PrintText>"
                         "<Layout>Big</Layout><Text>first\nsecond</Text></ZReport>"));
  std::string xml = z.Serialize();
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << xml;
  auto doc = Parse(xml);
  pugi::xml_node root = doc->document_element();
  EXPECT_STREQ(root.name(), "ZReport");
  std::vector<std::string> names;
  for (pugi::xml_node n : root.children()) names.push_back(n.name());
  EXPECT_EQ(names, (std::vector<std::string>{"StoreCode", "TillCode", "PrintText", "Text"}));
  EXPECT_STREQ(root.child_value("StoreCode"), "S1");
  EXPECT_STREQ(root.child_value("TillCode"), "T1");
  EXPECT_STREQ(root.child_value("PrintText"), "true");
  // The carriage returns must survive the trip through the XML text.
  pugi::xml_document raw;
  raw.load_buffer(xml.data(), xml.size(), pugi::parse_default & ~pugi::parse_eol, pugi::encoding_utf8);
  EXPECT_STREQ(raw.document_element().child_value("Text"), "first\r\nsecond\r\n");

  // Written back inside a request, the text reads as the same lines.
  kZReport again;
  again.Deserialize(*Parse("<ReceiptPrinterManager>" + xml.substr(xml.find("<ZReport>")) + "</ReceiptPrinterManager>"));
  EXPECT_EQ(again.fText, z.fText);
  EXPECT_TRUE(again.fPrintText);
}
