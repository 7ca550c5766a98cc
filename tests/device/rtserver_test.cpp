#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "base/errors.h"
#include "base/platform.h"
#include "documents/receipt.h"
#include "request/receipt_printer_handler.h"
#include "request/results.h"
#include "fake_driver.h"
#include "rtserver/rt_server_client.h"
#include "support/device_test_access.h"

using namespace fp;
using namespace fp::test;
namespace fs = std::filesystem;

namespace {

template <class T>
T& AddLine(kReceipt& aReceipt, vnReceiptLineType aType) {
  return *static_cast<T*>(aReceipt.fLines.Add(CreateReceiptLine(aType, &aReceipt)));
}

kReceiptPaymentLine& AddPayment(kReceipt& aReceipt, vnReceiptPaymentType aType, const char* aDescription,
                                const char* aAmount) {
  auto* payment = aReceipt.fPayments.Add(std::make_unique<kReceiptPaymentLine>(&aReceipt));
  payment->fPaymentType = aType;
  payment->fDescription = aDescription;
  payment->fAmount = *Amount::Parse(aAmount);
  return *payment;
}

Amount A(const char* aText) { return *Amount::Parse(aText); }

// The RT library's file name without its ".dll", as the RTServerDriver parameter names it.
std::string DriverParameter(const char* aLibrary) {
  std::string path = aLibrary;
  return path.substr(0, path.size() - 4);
}

// The text of the element that starts with aStart in aXml, up to its end.
std::string Element(const std::string& aXml, const std::string& aStart) {
  size_t from = aXml.find(aStart);
  if (from == std::string::npos) return {};
  return aXml.substr(from, aXml.find("/>", from) + 2 - from);
}

// Removes a till's library copy. Libraries stay loaded until the process ends, and Windows
// keeps the file of a loaded library locked: there the copy is left for the next run, which
// replaces it (no process has it loaded then).
void RemoveLoadedCopy(const fs::path& aCopy) {
  std::error_code error;
  fs::remove(aCopy, error);
#if defined(_WIN32)
  EXPECT_TRUE(error) << aCopy << " was removed while loaded";
#else
  EXPECT_FALSE(error) << error.message();
#endif
}

}  // namespace

TEST(RTServerClient, LoadFailuresNameTheLibraryOrTheEntryPoint) {
  try {
    kRTServerClient client("", "1", false);
    client.Load();
    ADD_FAILURE() << "loaded the default library";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to load library " + ApplicationDir() + "/VNRS_ZEVUZ90_20.dll. Error code: [2]");
  }
  try {
    kRTServerClient client(FP_TEST_RTSERVER_NOCLOSE, "1", false);
    client.Load();
    ADD_FAILURE() << "loaded a library without CLOSETILL";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "CLOSETILL function not found in VNRS_ZEVUZ90_20.dll");
  }
}

TEST(RTServerClient, UnloadedClientRefusesEveryStep) {
  kRTServerClient client("", "1", false);
  kReceipt receipt;
  client.BuildXMLReceipt(receipt);
  EXPECT_FALSE(client.OpenTill("h", 1, "u", "p", "1"));
  EXPECT_FALSE(client.SignReceipt());
  EXPECT_FALSE(client.XReport());
  EXPECT_FALSE(client.CloseTill());
  EXPECT_EQ(client.ReceiptInfo().fRTnDoc, 0);
}

TEST(RTServerClient, DeviceWithoutItsLibraryIsNotCreated) {
  kReceiptPrinterHandler handler;
  handler.Parameters = {"rtserver=true", "rtserverdriver=nothere"};
  try {
    FakeDriver device(handler, "");
    ADD_FAILURE() << "device created";
  } catch (const kException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to load library " + ApplicationDir() + "/nothere.dll. Error code: [2]");
  }
}

TEST(RTServerClient, TillInstanceLoadsAPrivateCopy) {
  kRTServerClient client(FP_TEST_RTSERVER, "77", true);
  client.Load();
  const std::string expected = DriverParameter(FP_TEST_RTSERVER) + "-77.dll";
  EXPECT_EQ(client.LoadedPath(), expected);
  EXPECT_TRUE(fs::exists(expected));
  RemoveLoadedCopy(expected);
}

TEST(RTServerClient, TillCopyInUseIsNotRewrittenWhenTheTillComesBack) {
  kRTServerClient first(FP_TEST_RTSERVER, "78", true);
  first.Load();
  const fs::path copy = first.LoadedPath();
  // Dated back, so that any rewrite shows whatever the clock's granularity. Windows keeps
  // a loaded library's file locked, so there it keeps its time (NTFS counts 100 ns), and a
  // rewrite could only fail the load.
  auto written = fs::last_write_time(copy) - std::chrono::hours(1);
  std::error_code locked;
  fs::last_write_time(copy, written, locked);
#if defined(_WIN32)
  EXPECT_TRUE(locked) << "a loaded library's file was changed";
  written = fs::last_write_time(copy);
#else
  ASSERT_FALSE(locked) << locked.message();
#endif
  // The same till again (a device closed and opened anew): its library is still mapped.
  kRTServerClient again(FP_TEST_RTSERVER, "78", true);
  again.Load();
  EXPECT_EQ(again.LoadedPath(), copy.string());
  EXPECT_EQ(fs::last_write_time(copy), written);
  EXPECT_TRUE(first.OpenTill("h", 1, "u", "p", "78"));
  EXPECT_TRUE(again.OpenTill("h", 1, "u", "p", "78"));
  RemoveLoadedCopy(copy);
}

TEST(RTServerClient, TillCopyAnotherProcessHoldsIsLoadedOnlyWhenItIsTheLibrary) {
#if !defined(_WIN32)
  GTEST_SKIP() << "POSIX replaces a file that other processes hold open or mapped; only Windows refuses to";
#else
  const std::string library = FP_TEST_RTSERVER;
  const fs::path copy = DriverParameter(FP_TEST_RTSERVER) + "-81.dll";
  // Another host process with the copy loaded keeps its file from being replaced, as this
  // handle without write or delete sharing does. A stale copy can't be used; the library's
  // own bytes can. (The stale case first: the good one stays loaded.)
  for (bool stale : {true, false}) {
    SCOPED_TRACE(stale ? "stale" : "the library");
    std::error_code ignored;
    fs::remove(copy, ignored);
    if (stale) std::ofstream(copy, std::ios::binary) << "an older build";
    else fs::copy_file(library, copy);
    HANDLE held = ::CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    kRTServerClient client(FP_TEST_RTSERVER, "81", true);
    try {
      client.Load();
      EXPECT_FALSE(stale) << "a stale copy was loaded";
      EXPECT_TRUE(client.OpenTill("h", 1, "u", "p", "81"));
    } catch (const kException& e) {
      EXPECT_TRUE(stale) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("Unable to load library " + library + ". Error code: [", 0), 0u) << e.what();
    }
    ::CloseHandle(held);
  }
  RemoveLoadedCopy(copy);
#endif
}

TEST(RTServerClient, TillSerialCannotLeadTheCopyElsewhere) {
  for (const char* serial : {"../77", "a/b", "..", "x\\y"}) {
    kRTServerClient client(FP_TEST_RTSERVER, serial, true);
    try {
      client.Load();
      ADD_FAILURE() << serial << " loaded from " << client.LoadedPath();
    } catch (const kException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Invalid till serial for the RT server library copy: ") + serial);
    }
  }
}

TEST(RTServerClient, DevicesOnTwoThreadsShareTheLibraryOneCallAtATime) {
  // Both load the same till's private copy at the same moment, then use it in turn.
  std::atomic<int> failed{0};
  auto run = [&failed] {
    kRTServerClient client(FP_TEST_RTSERVER, "80", true);
    client.Load();
    kReceipt receipt;
    AddLine<kReceiptLineText>(receipt, rlt_Text).fDescription = "hello";
    for (int i = 0; i < 100; ++i) {
      client.BuildXMLReceipt(receipt);
      if (!client.OpenTill("h", 1, "u", "p", "80") || !client.SignReceipt() || !client.XReport()) ++failed;
    }
  };
  std::thread a(run), b(run);
  a.join();
  b.join();
  EXPECT_EQ(failed, 0);
  RemoveLoadedCopy(DriverParameter(FP_TEST_RTSERVER) + "-80.dll");
}

TEST(RTServerClient, TillOpensAndReportsCloseIt) {
  kRTServerClient client(FP_TEST_RTSERVER, "77", false);
  client.Load();
  EXPECT_FALSE(client.OpenTill("refuse", 1, "u", "p", "77"));
  EXPECT_FALSE(client.TillOpened());
  EXPECT_TRUE(client.OpenTill("10.0.0.9", 9100, "u", "p", "77"));
  EXPECT_TRUE(client.TillOpened());

  ASSERT_TRUE(client.XReport());
  EXPECT_FALSE(client.TillOpened());
  const kRTServerTillReportInfo& info = client.TillReportInfo();
  EXPECT_EQ(info.fDailyAmount, A("100.5"));
  EXPECT_EQ(info.fSalesAmount, A("120"));
  EXPECT_EQ(info.fVoidsAmount, A("9.5"));
  EXPECT_EQ(info.fRefundsAmount, A("10"));
  EXPECT_EQ(info.fTillSerialNumber, "T77");
  EXPECT_EQ(info.fServerSerialNumber, "SRV1");
  EXPECT_EQ(info.fnRecNumber, 14);
  EXPECT_EQ(info.fzRepNumber, 3);
  EXPECT_EQ(DecodeDateTime(info.fzRepDateTime).hour, 22);

  ASSERT_TRUE(client.OpenTill("h", 1, "u", "p", "77"));
  ASSERT_TRUE(client.CloseTill());
  EXPECT_EQ(client.TillReportInfo().fzRepNumber, 4);

  // A refused report keeps the till open and the last report's data.
  ASSERT_TRUE(client.OpenTill("h", 1, "no-reports", "p", "77"));
  EXPECT_FALSE(client.CloseTill());
  EXPECT_TRUE(client.TillOpened());
  EXPECT_EQ(client.TillReportInfo().fzRepNumber, 4);
}

TEST(RTServerClient, SignedReceiptCarriesTheServerData) {
  kRTServerClient client(FP_TEST_RTSERVER, "77", false);
  client.Load();
  kReceipt receipt;
  AddLine<kReceiptLineText>(receipt, rlt_Text).fDescription = "hello";
  client.BuildXMLReceipt(receipt);
  ASSERT_TRUE(client.SignReceipt());
  const kRTServerReceiptInfo& info = client.ReceiptInfo();
  EXPECT_EQ(info.fVATTotal, A("1.8"));
  EXPECT_EQ(info.fRTServerSerialNumber, "SRV1");
  EXPECT_EQ(info.fRTTillId, "T77");
  EXPECT_EQ(info.fRTSignature, "SIG");
  EXPECT_EQ(info.fRTnDoc, 15);
  EXPECT_EQ(info.fRTzRep, 3);
  EXPECT_EQ(info.fHeaders, (std::vector<std::string>{"SHOP", "VIA ROMA 1"}));

  // A refusal without an answer leaves the last signed receipt's data.
  AddLine<kReceiptLineText>(receipt, rlt_Text).fDescription = "refuse";
  client.BuildXMLReceipt(receipt);
  EXPECT_FALSE(client.SignReceipt());
  EXPECT_EQ(client.ReceiptInfo().fRTnDoc, 15);
}

TEST(RTServerClient, ReceiptDocumentDescribesEveryLineKind) {
  ::setenv("LC_ALL", "C", 1);
  kRTServerClient client(FP_TEST_RTSERVER, "77", false);
  client.Load();
  client.SetClock([] { return *EncodeDate(2017, 6, 1); });  // trailer messages still printed

  kReceipt receipt;
  receipt.fCurrencyCode = "EUR";
  receipt.fLotteryIdCode = " ABC123 ";
  auto& bread = AddLine<kReceiptLineProductSale>(receipt, rlt_ProductSale);
  bread.fDescription = "Pane", bread.fQuantity = A("2"), bread.fPrice = A("3.5"), bread.fTaxCode = "1000";
  auto& milk = AddLine<kReceiptLineProductSale>(receipt, rlt_ProductSale);
  milk.fDescription = "Latte", milk.fQuantity = A("3"), milk.fPrice = A("1.25"), milk.fTaxCode = "0400";
  milk.fAttribute = rla_Service, milk.fFreeOfCharge = true;
  auto& discount = AddLine<kReceiptLineDiscountAmount>(receipt, rlt_DiscountAmount);
  discount.fDescription = "Sconto", discount.fAmount = A("0.5");
  AddLine<kReceiptLine>(receipt, rlt_SubTotal);
  auto& promo = AddLine<kReceiptLineDiscountPercentage>(receipt, rlt_DiscountPercentageOnSubTotal);
  promo.fDescription = "Promo", promo.fPercentage = A("10"), promo.fAmount = A("0.65");
  auto& cover = AddLine<kReceiptLineDiscountAmount>(receipt, rlt_MarkupAmountOnSubtotal);
  cover.fDescription = "Coperto", cover.fAmount = A("1.5");
  auto& markup = AddLine<kReceiptLineDiscountAmount>(receipt, rlt_MarkupAmount);
  markup.fDescription = "Servizio", markup.fAmount = A("0.1");
  AddLine<kReceiptLineText>(receipt, rlt_Text).fDescription = "Grazie";
  auto& voucher = AddLine<kReceiptLineVoucherSale>(receipt, rlt_VoucherSale);
  voucher.fDescription = "Buono", voucher.fPrice = A("5"), voucher.fTaxCode = "2200";
  auto& gift = AddLine<kReceiptLineGiftCardSale>(receipt, rlt_GiftCardRedeem);
  gift.fPrice = A("2"), gift.fTaxCode = "N4";
  auto& collect = AddLine<kReceiptLineCollectAmount>(receipt, rlt_CollectAmount);
  collect.fDescription = "Reso", collect.fAmount = A("-3"), collect.fTaxCode = "N1";
  auto& apples = AddLine<kReceiptLineWeightedProductSale>(receipt, rlt_WeightedProductSale);
  apples.fDescription = "Mele", apples.fQuantity = A("1234.5"), apples.fUOM = "KG", apples.fPrice = A("4");
  apples.fAmount = A("4938"), apples.fTaxCode = "XX";
  AddPayment(receipt, rpt_Cash, "Contanti", "10");
  auto& ticket = AddPayment(receipt, Rpt_MealVoucher, "Ticket", "10.4");
  ticket.fQuantity = A("2.9"), ticket.fUnitPrice = A("5.2");
  AddPayment(receipt, Rpt_Change, "Resto", "1");
  auto* bye = receipt.fTrailerMessages.Add(kReceiptMessageTextLine::Create(&receipt));
  bye->fValue = "Arrivederci";
  receipt.fTrailerMessages.Add(kReceiptMessageBarcodeLine::Create(&receipt))->fValue = "123";
  receipt.fTrailerMessages.Add(kReceiptMessageTextLine::Create(&receipt))->fValue = "Ciao";

  client.BuildXMLReceipt(receipt);
  const std::string expected =
      "<printerFiscalReceipt>"
      "<beginFiscalReceipt operator=\"01\" docType=\"0\"/>"
      "<printRecLotteryID lotteryID=\"ABC123\"/>"
      "<printRecItem operator=\"01\" description=\"Pane\" quantity=\"2.000\" unitPrice=\"3.500\" vatID=\"2\" "
      "type=\"B\" justification=\"1\"/>"
      "<printRecItem operator=\"01\" description=\"Latte\" quantity=\"3.000\" unitPrice=\"1.250\" vatID=\"3\" "
      "type=\"S\" justification=\"1\"/>"
      "<printRecItemAdjustment operator=\"01\" adjustmentType=\"11\" amount=\"3.75\" vatID=\"3\"/>"
      "<printRecItemAdjustment operator=\"01\" adjustmentType=\"0\" description=\"Sconto\" amount=\"0.50\" "
      "vatID=\"3\"/>"
      "<printRecSubtotal operator=\"01\"/>"
      "<printRecSubtotalAdjustment operator=\"01\" adjustmentType=\"1\" description=\"Promo\" amount=\"0.65\"/>"
      "<printRecSubtotalAdjustment operator=\"01\" adjustmentType=\"6\" description=\"Coperto\" amount=\"1.50\"/>"
      "<printRecItemAdjustment operator=\"01\" adjustmentType=\"5\" description=\"Servizio\" amount=\"0.10\" "
      "vatID=\"3\"/>"
      "<printRecMessage operator=\"01\" messageType=\"4\" index=\"1\" font=\"1\" message=\"Grazie\"/>"
      "<printRecItem operator=\"01\" description=\"Buono\" quantity=\"1\" unitPrice=\"5.000\" vatID=\"1\" "
      "justification=\"1\"/>"
      "<printRecItemAdjustment operator=\"01\" adjustmentType=\"12\" amount=\"2.00\" vatID=\"0\"/>"
      "<printRecItemAdjustment operator=\"01\" adjustmentType=\"10\" amount=\"3.00\" vatID=\"10\"/>"
      "<printRecMessage operator=\"01\" messageType=\"4\" index=\"1\" font=\"1\" "
      "message=\" 1,234.500 kg x EUR 4.00/kg\"/>"
      "<printRecItem operator=\"01\" description=\"Mele\" quantity=\"1.000\" unitPrice=\"4938.000\" vatID=\"1\" "
      "type=\"B\" justification=\"1\"/>"
      "<printRecTotal paymentType=\"0\" description=\"Contanti\" payment=\"10.00\"/>"
      "<printRecTotal paymentType=\"3\" description=\"Ticket\" payment=\"10.40\" quantity=\"2\" unitPrice=\"5.20\"/>"
      "<printRecMessage operator=\"01\" messageType=\"3\" index=\"1\" font=\"1\" message=\"Arrivederci\"/>"
      "<printRecMessage operator=\"01\" messageType=\"3\" index=\"2\" font=\"1\" message=\"Ciao\"/>"
      "<endFiscalReceipt operator=\"01\"/>"
      "</printerFiscalReceipt>";
  EXPECT_EQ(client.XmlReceiptText(), expected);

  // From 2018 the trailer stays out; a receipt to be invoiced pays everything as type 6.
  client.SetClock([] { return *EncodeDate(2024, 6, 1); });
  receipt.fToBeInvoiced = true;
  client.BuildXMLReceipt(receipt);
  const std::string text = client.XmlReceiptText();
  EXPECT_EQ(text.find("messageType=\"3\""), std::string::npos);
  EXPECT_EQ(Element(text, "<printRecTotal"), "<printRecTotal paymentType=\"6\" description=\"Contanti\" payment=\"10.00\"/>");
  ::unsetenv("LC_ALL");
}

// The line kinds the receipt above leaves out, each alone between the opening and the closing.
TEST(RTServerClient, ReceiptDocumentDescribesTheOtherLineKinds) {
  ::setenv("LC_ALL", "C", 1);
  kRTServerClient client(FP_TEST_RTSERVER, "77", false);
  client.Load();
  struct Case {
    vnReceiptLineType type;
    void (*fill)(kReceiptLine&);
    const char* commands;
  };
  const Case kCases[] = {
      {rlt_ProductReturn,
       [](kReceiptLine& l) {
         auto& sale = static_cast<kReceiptLineProductSale&>(l);
         sale.fDescription = "Reso", sale.fQuantity = A("1"), sale.fPrice = A("2"), sale.fTaxCode = "2200";
       },
       "<printRecRefund operator=\"01\" description=\"Reso\" quantity=\"1.000\" unitPrice=\"2.000\" vatID=\"1\" "
       "type=\"B\" justification=\"1\"/>"},
      {rlt_GiftCardSale,
       [](kReceiptLine& l) {
         auto& gift = static_cast<kReceiptLineGiftCardSale&>(l);
         gift.fDescription = "Carta", gift.fPrice = A("25"), gift.fTaxCode = "N4", gift.fFreeOfCharge = true;
       },
       "<printRecItem operator=\"01\" description=\"Carta\" quantity=\"1\" unitPrice=\"25.000\" vatID=\"0\" "
       "type=\"B\" justification=\"1\"/>"
       "<printRecItemAdjustment operator=\"01\" adjustmentType=\"11\" amount=\"25.00\" vatID=\"0\"/>"},
      {rlt_VoucherRedeem,
       [](kReceiptLine& l) {
         auto& voucher = static_cast<kReceiptLineVoucherSale&>(l);
         voucher.fPrice = A("4"), voucher.fTaxCode = "0500";
       },
       "<printRecItemAdjustment operator=\"01\" adjustmentType=\"12\" amount=\"4.00\" vatID=\"4\"/>"},
      {rlt_CollectAmount,
       [](kReceiptLine& l) {
         auto& collect = static_cast<kReceiptLineCollectAmount&>(l);
         collect.fDescription = "Acconto", collect.fAmount = A("7"), collect.fTaxCode = "1000";
       },
       "<printRecItem operator=\"01\" description=\"Acconto\" quantity=\"1\" unitPrice=\"7.000\" vatID=\"2\" "
       "type=\"B\" justification=\"1\"/>"},
      {rlt_DiscountPercentage,
       [](kReceiptLine& l) {
         auto& adjustment = static_cast<kReceiptLineDiscountPercentage&>(l);
         adjustment.fDescription = "Sc", adjustment.fPercentage = A("10"), adjustment.fAmount = A("1.2");
       },
       "<printRecItemAdjustment operator=\"01\" adjustmentType=\"0\" description=\"Sc\" amount=\"1.20\" "
       "vatID=\"1\"/>"},
      {rlt_MarkupPercentage,
       [](kReceiptLine& l) {
         auto& adjustment = static_cast<kReceiptLineDiscountPercentage&>(l);
         adjustment.fDescription = "Mg", adjustment.fAmount = A("0.3");
       },
       "<printRecItemAdjustment operator=\"01\" adjustmentType=\"5\" description=\"Mg\" amount=\"0.30\" "
       "vatID=\"1\"/>"},
      {rlt_DiscountAmountOnSubtotal,
       [](kReceiptLine& l) {
         auto& adjustment = static_cast<kReceiptLineDiscountAmount&>(l);
         adjustment.fDescription = "Tot", adjustment.fAmount = A("2");
       },
       "<printRecSubtotalAdjustment operator=\"01\" adjustmentType=\"1\" description=\"Tot\" amount=\"2.00\"/>"},
      {rlt_MarkupPercentageOnSubTotal,
       [](kReceiptLine& l) {
         auto& adjustment = static_cast<kReceiptLineDiscountPercentage&>(l);
         adjustment.fDescription = "Extra", adjustment.fAmount = A("0.05");
       },
       "<printRecSubtotalAdjustment operator=\"01\" adjustmentType=\"6\" description=\"Extra\" amount=\"0.05\"/>"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    kReceipt receipt;
    c.fill(AddLine<kReceiptLine>(receipt, c.type));
    client.BuildXMLReceipt(receipt);
    EXPECT_EQ(client.XmlReceiptText(), std::string("<printerFiscalReceipt><beginFiscalReceipt operator=\"01\" "
                                                   "docType=\"0\"/>") +
                                           c.commands + "<endFiscalReceipt operator=\"01\"/></printerFiscalReceipt>");
  }
  ::unsetenv("LC_ALL");
}

TEST(RTServerClient, RefundsAndVoidsReferToTheOriginalReceipt) {
  kRTServerClient client(FP_TEST_RTSERVER, "77", false);
  client.Load();
  struct Case {
    vnReceiptType type;
    vnReceiptReferenceType reference;
    const char* server;
    const char* closing;
    const char* expected;
  } cases[] = {
      {rt_Refund, rrt_OriginalReceipt, "", "12",
       "<beginFiscalReceipt operator=\"01\" docType=\"1\" refZRepNum=\"0012\" refRecNum=\"0345\" refDate=\"20240301\" "
       "refServerID=\"DEV1\"/>"},
      {rt_Void, rrt_OriginalReceipt, "", "12345",
       "<beginFiscalReceipt operator=\"01\" docType=\"3\" refZRepNum=\"2345\" refRecNum=\"0345\" refDate=\"20240301\" "
       "refServerID=\"DEV1\"/>"},
      {rt_Void, rrt_EFTReceipt, "SRV9", "1",
       "<beginFiscalReceipt operator=\"01\" docType=\"3\" refRefundVoidType=\"POS\" refDate=\"20240301\" "
       "refTillID=\"DEV1\" refServerID=\"SRV9\"/>"},
      {rt_Refund, rrt_NotAvailable, "", "1",
       "<beginFiscalReceipt operator=\"01\" docType=\"1\" refRefundVoidType=\"ND\" refDate=\"20240301\" "
       "refServerID=\"DEV1\"/>"},
      {rt_Refund, rrt_Empties, "", "1",
       "<beginFiscalReceipt operator=\"01\" docType=\"1\" refRefundVoidType=\"VR\" refDate=\"20240301\" "
       "refServerID=\"DEV1\"/>"},
      {rt_InvoiceSale, rrt_OriginalReceipt, "SRV9", "12", "<beginFiscalReceipt operator=\"01\" docType=\"0\"/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    kReceipt receipt;
    receipt.fReceiptType = c.type;
    receipt.fOriginalReceipt.fReferenceType = c.reference;
    receipt.fOriginalReceipt.fServerSerialNumber = c.server;
    receipt.fOriginalReceipt.fEJClosingNumber = c.closing;
    receipt.fOriginalReceipt.fReceiptNumber = "345";
    receipt.fOriginalReceipt.fDeviceSerialNumber = "DEV1";
    receipt.fOriginalReceipt.fReceiptDateTime = *EncodeDateTime(2024, 3, 1, 18, 30, 0, 0);
    client.BuildXMLReceipt(receipt);
    EXPECT_EQ(Element(client.XmlReceiptText(), "<beginFiscalReceipt"), c.expected);
  }
}

TEST(RTServerClient, DeviceOpensTheTillOnceUntilAReportClosesIt) {
  const fs::path dir = fs::temp_directory_path() / ("fprtserver_" + std::to_string(::getpid()));
  kReceiptPrinterHandler handler;
  handler.Parameters = {"rtserver=True", "rtserverdriver=" + DriverParameter(FP_TEST_RTSERVER),
                        "rtserverhost=10.0.0.9", "rtserverport=9100", "rtservertillserial=77"};
  {
    FakeDriver device(handler, dir.string());
    ASSERT_NE(kDeviceTestAccess::RTServer(device), nullptr);
    for (int i = 0; i < 2; ++i) {
      _int_OPEN_result result;
      device.Pub_Open(handler, result);
      EXPECT_FALSE(result.Error);
    }
    EXPECT_TRUE(kDeviceTestAccess::RTServer(device)->TillOpened());
    kDeviceTestAccess::IOHandler(device).FlushLog();
    std::ifstream log(device.LogFileName());
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    size_t first = all.find("RTServer:OpenTill");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(all.find("RTServer:OpenTill", first + 1), std::string::npos);
  }
  fs::remove_all(dir);
}
