#include <gtest/gtest.h>

#include <string>

#include "documents/customer_display.h"
#include "documents/nf_receipt.h"
#include "../documents/document_test_support.h"

using namespace fp;

using fp_test::ReadDataFile;

namespace {

void Load(pugi::xml_document& aDoc, const std::string& aXml) {
  ASSERT_TRUE(fp_test::ParseXml(aDoc, aXml));
}

template <class T>
const T* As(const kReceiptMessageLines& aLines, size_t aPos) {
  auto* line = dynamic_cast<const T*>(aLines[aPos]);
  EXPECT_NE(line, nullptr) << "line " << aPos << " has another class";
  return line;
}

// Checks the content of the receipt in data/nf_receipt.xml, read directly or after a trip
// through Serialize.
void ExpectFixtureContent(const kNFReceipt& r) {
  EXPECT_EQ(r.fLayout, "DocumentLayout");
  EXPECT_EQ(r.fStoreCode, "S01");
  EXPECT_EQ(r.fTillCode, "T02");
  EXPECT_EQ(r.fReceiptNumber, "77");
  EXPECT_EQ(r.fReceiptDateTime, *EncodeDateTime(2024, 5, 6, 10, 11, 12, 0));
  EXPECT_EQ(r.fCountryCode, "IT");
  EXPECT_EQ(r.fCompanyCode, "C1");
  EXPECT_EQ(r.fCompanyTaxCode, "IT0123");
  EXPECT_EQ(r.fOperatorCode, "OP9");

  ASSERT_EQ(r.fHeaderLines.Count(), 1u);
  if (auto* t = As<kReceiptMessageTextLine>(r.fHeaderLines, 0)) {
    EXPECT_EQ(t->fSection, rs_lead);
    EXPECT_EQ(t->fValue, "PERÒ TOTALE €");
    EXPECT_EQ(t->fSize, 2);
    EXPECT_EQ(t->fAlignment, la_center);
    EXPECT_EQ(t->fEffects, EffectBit(le_bold) | EffectBit(le_underline));
    EXPECT_EQ(t->fNFOwner, &r);
    EXPECT_EQ(t->GetValue(), "PERO TOT. E");  // printed without special characters
  }

  ASSERT_EQ(r.fLines.Count(), 3u);  // the Note element is no line
  if (auto* t = As<kReceiptMessageTextLine>(r.fLines, 0)) {
    EXPECT_EQ(t->fSection, rs_body);
    EXPECT_EQ(t->fAlignment, la_left);
    EXPECT_EQ(t->fEffects, 0);
    EXPECT_EQ(t->fSize, 0);
  }
  if (auto* b = As<kReceiptMessageBarcodeLine>(r.fLines, 1)) {
    EXPECT_EQ(b->fSection, rs_body);
    EXPECT_EQ(b->fValue, "123456789012");
    EXPECT_EQ(b->fBarcodeType, bt_EAN13);
    EXPECT_TRUE(b->fHRI);
    EXPECT_EQ(b->fQRCodeMinVersion, 1);
    EXPECT_EQ(b->fAlignment, la_none);
  }
  if (auto* b = As<kReceiptMessageBarcodeLine>(r.fLines, 2)) {
    EXPECT_EQ(b->fBarcodeType, bt_QRCODE);
    EXPECT_FALSE(b->fHRI);
    EXPECT_EQ(b->fQRCodeMinVersion, 7);
  }

  ASSERT_EQ(r.fFooterLines.Count(), 2u);
  if (auto* i = As<kReceiptMessageImageLine>(r.fFooterLines, 0)) {
    EXPECT_EQ(i->fSection, rs_trail);
    EXPECT_EQ(i->fValue, "logo.bmp");
    EXPECT_EQ(i->fAlignment, la_right);
    EXPECT_EQ(i->fSource, is_FileSystem);
  }
  if (auto* i = As<kReceiptMessageImageLine>(r.fFooterLines, 1)) {
    EXPECT_EQ(i->fSource, is_Resource);
  }
}

}  // namespace

TEST(NFReceipt, ReadsHeaderBodyAndFooterLines) {
  pugi::xml_document doc;
  Load(doc, ReadDataFile("nf_receipt.xml"));
  kNFReceipt r;
  r.Deserialize(doc);
  EXPECT_TRUE(r.fDefaultLayout);
  ExpectFixtureContent(r);

  r.fSupportSpecialChars = true;
  EXPECT_EQ(As<kReceiptMessageTextLine>(r.fHeaderLines, 0)->GetValue(), "PERÒ TOTALE €");
}

TEST(NFReceipt, BodyOnlyReceiptHasEmptyHeaderAndFooter) {
  pugi::xml_document doc;
  Load(doc,
       "<ReceiptPrinterManager><NFReceipt><Layout>Slip</Layout>"
       "<Header><Text><Value>outside Lines</Value><Alignment>left</Alignment></Text></Header>"
       "<Lines><Text><Value>only</Value><Alignment>right</Alignment></Text></Lines>"
       "</NFReceipt></ReceiptPrinterManager>");
  kNFReceipt r;
  r.Deserialize(doc);
  EXPECT_EQ(r.fLayout, "Slip");
  EXPECT_FALSE(r.fDefaultLayout);
  EXPECT_EQ(r.fReceiptDateTime, 0);
  EXPECT_EQ(r.fHeaderLines.Count(), 0u);
  EXPECT_EQ(r.fLines.Count(), 1u);
  EXPECT_EQ(r.fFooterLines.Count(), 0u);
}

TEST(NFReceipt, SerializeWritesWhatDeserializeReads) {
  pugi::xml_document doc;
  Load(doc, ReadDataFile("nf_receipt.xml"));
  kNFReceipt r;
  r.Deserialize(doc);
  std::string xml = r.Serialize();
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << xml;

  pugi::xml_document written;
  Load(written, xml);
  pugi::xml_node root = written.document_element();
  ASSERT_STREQ(root.name(), "NFReceipt");
  std::vector<std::string> names;
  for (pugi::xml_node n : root.children()) names.push_back(n.name());
  EXPECT_EQ(names, (std::vector<std::string>{"Layout", "StoreCode", "TillCode", "Number", "DateTime", "CountryCode",
                                             "CompanyCode", "CompanyTaxCode", "OperatorCode", "Header", "Lines",
                                             "Footer"}));
  EXPECT_STREQ(root.child_value("DateTime"), "2024-05-06T10:11:12");
  pugi::xml_node text = root.child("Header").child("Lines").child("Text");
  EXPECT_STREQ(text.child_value("Value"), "PERÒ TOTALE €");  // stored, not normalised
  EXPECT_STREQ(text.child_value("Alignment"), "center");
  EXPECT_STREQ(text.child_value("Effects"), "bold,underline");
  pugi::xml_node barcode = root.child("Lines").child("Barcode");
  EXPECT_STREQ(barcode.child_value("HRI"), "True");
  EXPECT_STREQ(barcode.child_value("QRCodeMinVersion"), "1");
  EXPECT_STREQ(barcode.child_value("Type"), "ean13");
  pugi::xml_node image = root.child("Footer").child("Lines").child("Image");
  EXPECT_STREQ(image.child_value("Source"), "filesystem");

  // Wrapped in a request again, the written receipt reads back to the same content.
  pugi::xml_document request;
  request.append_child("ReceiptPrinterManager").append_copy(root);
  kNFReceipt again;
  again.Deserialize(request);
  EXPECT_FALSE(again.fDefaultLayout);  // the default was written out as a real layout name
  ExpectFixtureContent(again);
}

TEST(CustomerDisplay, ReadsTextLinesAndPassesOverOthers) {
  pugi::xml_document doc;
  Load(doc,
       "<ReceiptPrinterManager><Display><Clear>true</Clear><Lines>"
       "<Text><Value>Grazie é</Value><Alignment>Center</Alignment><Size>3</Size></Text>"
       "<Barcode><Value>1</Value></Barcode>"
       "<Text><Value>Arrivederci</Value><Alignment>left</Alignment></Text>"
       "</Lines></Display></ReceiptPrinterManager>");
  kCustomerDisplay display;
  display.Deserialize(doc);
  EXPECT_TRUE(display.fClear);
  ASSERT_EQ(display.fLines.Count(), 2u);
  auto* first = dynamic_cast<const kReceiptMessageTextLine*>(display.fLines[0]);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->fAlignment, la_center);
  EXPECT_EQ(first->fSize, 0);  // the display takes no size
  EXPECT_EQ(first->fOwner, nullptr);
  EXPECT_EQ(first->fNFOwner, nullptr);
  EXPECT_EQ(first->GetValue(), "Grazie e");  // a line of no document is always normalised

  kCustomerDisplay bare;
  Load(doc, "<ReceiptPrinterManager><Display/></ReceiptPrinterManager>");
  bare.Deserialize(doc);
  EXPECT_FALSE(bare.fClear);
  EXPECT_EQ(bare.fLines.Count(), 0u);
}
