// Reading a 200-line receipt request and spreading its discounts: the document work that
// every fiscal receipt pays before the printer sees its first command.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>
#include <string>

#include "documents/receipt.h"

namespace {

std::string ReceiptRequest(int aLines) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><ReceiptPrinterManager><Receipt><Type>Sale</Type>"
      "<Number>1</Number><DateTime>2024-05-06T10:11:12</DateTime><TotalAmount>0</TotalAmount><Lines>";
  for (int i = 0; i < aLines; ++i) {
    if (i % 10 == 9) {
      xml += "<discountamount><Amount>0.15</Amount><Description>Promo</Description></discountamount>";
    } else if (i % 50 == 49) {
      xml += "<discountamountonsubtotal><Amount>1.5</Amount><Description>Sub</Description></discountamountonsubtotal>";
    } else {
      xml += "<productsale><Code>C" + std::to_string(i) +
             "</Code><Description>Item TOTALE</Description><Quantity>1</Quantity><Department>1</Department>"
             "<TaxCode>V22</TaxCode><Price>1.23</Price><Amount>1.23</Amount>"
             "<CustomAttributes><Colour>red</Colour></CustomAttributes></productsale>";
    }
  }
  xml +=
      "</Lines><Taxes><Tax><Type>VAT</Type><Code>V22</Code><Rate>22</Rate></Tax></Taxes>"
      "<Payments><Payment><Type>Cash</Type><Amount>300</Amount></Payment></Payments></Receipt>"
      "</ReceiptPrinterManager>";
  return xml;
}

void BM_ParseAndSpreadReceipt(benchmark::State& aState) {
  const std::string xml = ReceiptRequest(static_cast<int>(aState.range(0)));
  for (auto _ : aState) {
    pugi::xml_document doc;
    doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    fp::kReceipt receipt;
    receipt.Deserialize(doc);
    receipt.fTotalAmount = receipt.GetCalculatedAmount();
    receipt.CalcLinesNetAmount();
    benchmark::DoNotOptimize(receipt.fLines[0]->fNetAmount);
  }
}
BENCHMARK(BM_ParseAndSpreadReceipt)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_SerializeReceipt(benchmark::State& aState) {
  const std::string xml = ReceiptRequest(200);
  pugi::xml_document doc;
  doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
  fp::kReceipt receipt;
  receipt.Deserialize(doc);
  for (auto _ : aState) benchmark::DoNotOptimize(receipt.Serialize());
}
BENCHMARK(BM_SerializeReceipt)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
