#include "rtserver/rt_server_client.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

#include "base/errors.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/xml_text.h"
#include "documents/krpt_util.h"
#include "documents/receipt.h"
#include "documents/receipt_line_types.h"
#include "rtserver/library_lock.h"
#include "rtserver/number_format.h"
#include "base/system_string.h"

namespace fp {

namespace {

namespace fs = std::filesystem;

// The server's VAT identifiers by the receipt's tax codes; other codes count as the
// standard rate.
std::string VatId(const std::string& aTaxCode) {
  static const std::pair<const char*, const char*> kIds[] = {
      {"N4", "0"}, {"2200", "1"}, {"1000", "2"}, {"0400", "3"}, {"0500", "4"},
      {"N1", "10"}, {"N2", "11"}, {"N3", "12"}, {"N5", "13"}, {"N6", "14"}};
  for (const auto& [code, id] : kIds)
    if (aTaxCode == code) return id;
  return "1";
}

std::string Qty(Amount aValue) { return aValue.Format(3); }
std::string Money(Amount aValue) { return aValue.Format(2); }

// A reference number as four digits: "0" + the number, zero-padded to four and cut to the
// last four (12 gives 0012, 12345 gives 2345).
std::string FourDigits(const std::string& aNumber) {
  std::string text = "0" + aNumber;
  if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
  return text.substr(text.size() - 4);
}

std::string YearMonthDay(DateTime aValue) {
  DateTimeParts p = DecodeDateTime(aValue);
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%04d%02d%02d", p.year, p.month, p.day);
  return buf;
}

pugi::xml_node Command(pugi::xml_node aParent, const char* aName, bool aOperator = true) {
  pugi::xml_node node = aParent.append_child(aName);
  if (aOperator) node.append_attribute("operator") = "01";
  return node;
}

void Attr(pugi::xml_node aNode, const char* aName, const std::string& aValue) {
  aNode.append_attribute(aName) = aValue.c_str();
}

std::string PaymentType(vnReceiptPaymentType aType) {
  switch (aType) {
    case rpt_Cash: return "0";
    case rpt_Cheque: return "1";
    case rpt_CreditCard:
    case rpt_DebitCard: return "2";
    case rpt_Credit:
    case rpt_CreditOnProducts: return "5";
    case rpt_CreditOnServices: return "4";
    case Rpt_GiftCard:
    case Rpt_Voucher: return "8";
    case Rpt_MealVoucher: return "3";
    case Rpt_NHSCard: return "7";
    case Rpt_Change: break;
  }
  return "0";
}

// The commands of one receipt in the printerFiscalReceipt document, step by step: the
// opening, the lottery code, the lines (one Add<Hook> per line type of
// FP_RECEIPT_LINE_TYPES), the payments, the trailer messages and the closing.
class kReceiptCommands {
 public:
  kReceiptCommands(pugi::xml_node aRoot, const kReceipt& aReceipt, std::string& aLastTaxCode,
                   int32_t& aTrailerLineNumber)
      : fRoot(aRoot), fReceipt(aReceipt), fLastTaxCode(aLastTaxCode), fTrailerLineNumber(aTrailerLineNumber) {}

  // The opening, with the reference to the original receipt of a refund or void.
  void AddOpening() {
    pugi::xml_node begin = Command(fRoot, "beginFiscalReceipt");
    const bool refund = fReceipt.fReceiptType == rt_Refund;
    const bool voided = fReceipt.fReceiptType == rt_Void;
    Attr(begin, "docType", refund ? "1" : voided ? "3" : "0");
    if (refund || voided) AddReference(begin, fReceipt.fOriginalReceipt);
  }

  void AddLotteryCode() {
    const std::string lottery = Trim(fReceipt.fLotteryIdCode);
    if (!lottery.empty()) Attr(Command(fRoot, "printRecLotteryID", false), "lotteryID", lottery);
  }

  void AddLine(kReceiptLine& aLine) {
    switch (aLine.fLineType) {
#define FP_ADD_LINE(aType, aElement, aClass, aHook) \
  case aType: Add##aHook(ReceiptLineAs<aClass>(aLine)); return;
      FP_RECEIPT_LINE_TYPES(FP_ADD_LINE)
#undef FP_ADD_LINE
    }
  }

  // The change given back is the printer's to compute.
  void AddPayments() {
    for (const auto& payment : fReceipt.fPayments) {
      if (payment->fPaymentType == Rpt_Change) continue;
      pugi::xml_node node = fRoot.append_child("printRecTotal");
      Attr(node, "paymentType", fReceipt.fToBeInvoiced ? "6" : PaymentType(payment->fPaymentType));
      Attr(node, "description", payment->fDescription);
      Attr(node, "payment", Money(payment->fAmount));
      if (payment->fPaymentType == Rpt_MealVoucher) {
        Attr(node, "quantity", std::to_string(payment->fQuantity.Raw() / Amount::kScale));
        Attr(node, "unitPrice", Money(payment->fUnitPrice));
      }
    }
  }

  // The text trailer messages, numbered on from the last one written.
  void AddTrailerMessages() {
    for (const auto& message : fReceipt.fTrailerMessages) {
      auto* text = dynamic_cast<kReceiptMessageTextLine*>(message.get());
      if (text == nullptr) continue;
      pugi::xml_node node = Command(fRoot, "printRecMessage");
      Attr(node, "messageType", "3");
      Attr(node, "index", std::to_string(++fTrailerLineNumber));
      Attr(node, "font", "1");
      Attr(node, "message", text->fValue);
    }
  }

  void AddClosing() { Command(fRoot, "endFiscalReceipt"); }

 private:
  static void AddReference(pugi::xml_node aBegin, const vnOriginalReceipt& aOriginal) {
    switch (aOriginal.fReferenceType) {
      case rrt_OriginalReceipt:
        Attr(aBegin, "refZRepNum", FourDigits(aOriginal.fEJClosingNumber));
        Attr(aBegin, "refRecNum", FourDigits(aOriginal.fReceiptNumber));
        break;
      case rrt_EFTReceipt: Attr(aBegin, "refRefundVoidType", "POS"); break;
      case rrt_NotAvailable: Attr(aBegin, "refRefundVoidType", "ND"); break;
      case rrt_Empties: Attr(aBegin, "refRefundVoidType", "VR"); break;
    }
    Attr(aBegin, "refDate", YearMonthDay(aOriginal.fReceiptDateTime));
    if (!aOriginal.fServerSerialNumber.empty()) {
      Attr(aBegin, "refTillID", aOriginal.fDeviceSerialNumber);
      Attr(aBegin, "refServerID", aOriginal.fServerSerialNumber);
    } else {
      Attr(aBegin, "refServerID", aOriginal.fDeviceSerialNumber);
    }
  }

  // Item lines.

  void AddProductSale(const kReceiptLineProductSale& aLine) { AddSoldItem(aLine, "printRecItem"); }
  void AddProductReturn(const kReceiptLineProductReturn& aLine) { AddSoldItem(aLine, "printRecRefund"); }

  void AddSoldItem(const kReceiptLineProductSale& aSale, const char* aCommand) {
    pugi::xml_node node = Command(fRoot, aCommand);
    Attr(node, "description", aSale.GetDescription());
    Attr(node, "quantity", Qty(aSale.fQuantity));
    Attr(node, "unitPrice", Qty(aSale.fPrice));
    Attr(node, "vatID", VatId(aSale.fTaxCode));
    Attr(node, "type", aSale.fAttribute == rla_Service ? "S" : "B");
    Attr(node, "justification", "1");
    fLastTaxCode = aSale.fTaxCode;
    if (aSale.fFreeOfCharge)
      AddFreeOfCharge(aSale.fQuantity.Mul(aSale.fPrice, Rounding::HalfAwayFromZero), aSale.fTaxCode);
  }

  // The weight and unit price as a message line, then the item at its amount.
  void AddWeightedProductSale(const kReceiptLineWeightedProductSale& aSale) {
    const std::string unit = LowerCase(aSale.fUOM);
    pugi::xml_node message = Command(fRoot, "printRecMessage");
    Attr(message, "messageType", "4");
    Attr(message, "index", "1");
    Attr(message, "font", "1");
    Attr(message, "message", " " + FormatGroupedNumber(aSale.fQuantity, 3) + " " + unit + " x " +
                                 fReceipt.fCurrencyCode + " " + FormatGroupedNumber(aSale.fPrice, 2) + "/" + unit);
    pugi::xml_node node = Command(fRoot, "printRecItem");
    Attr(node, "description", aSale.GetDescription());
    Attr(node, "quantity", "1.000");
    Attr(node, "unitPrice", Qty(aSale.fAmount));
    Attr(node, "vatID", VatId(aSale.fTaxCode));
    Attr(node, "type", "B");
    Attr(node, "justification", "1");
    fLastTaxCode = aSale.fTaxCode;
    if (aSale.fFreeOfCharge) AddFreeOfCharge(aSale.fAmount, aSale.fTaxCode);
  }

  // A voucher sale carries no goods type; a gift card sale is goods.
  void AddVoucherSale(const kReceiptLineVoucherSale& aLine) {
    AddPricedItem(aLine.GetDescription(), aLine.fTaxCode, aLine.fPrice, aLine.fFreeOfCharge, nullptr);
  }
  void AddGiftCardSale(const kReceiptLineGiftCardSale& aLine) {
    AddPricedItem(aLine.GetDescription(), aLine.fTaxCode, aLine.fPrice, aLine.fFreeOfCharge, "B");
  }

  void AddPricedItem(const std::string& aDescription, const std::string& aTaxCode, Amount aPrice, bool aFree,
                     const char* aType) {
    pugi::xml_node node = Command(fRoot, "printRecItem");
    Attr(node, "description", aDescription);
    Attr(node, "quantity", "1");
    Attr(node, "unitPrice", Qty(aPrice));
    Attr(node, "vatID", VatId(aTaxCode));
    if (aType != nullptr) Attr(node, "type", aType);
    Attr(node, "justification", "1");
    if (aFree) AddFreeOfCharge(aPrice, aTaxCode);
  }

  void AddVoucherRedeem(const kReceiptLineVoucherRedeem& aLine) { AddRedeemed(aLine.fPrice, aLine.fTaxCode); }
  void AddGiftCardRedeem(const kReceiptLineGiftCardRedeem& aLine) { AddRedeemed(aLine.fPrice, aLine.fTaxCode); }

  void AddRedeemed(Amount aPrice, const std::string& aTaxCode) {
    pugi::xml_node node = Command(fRoot, "printRecItemAdjustment");
    Attr(node, "adjustmentType", "12");
    Attr(node, "amount", Money(aPrice));
    Attr(node, "vatID", VatId(aTaxCode));
  }

  // Money collected is an item; money paid out a negative adjustment.
  void AddCollectAmount(const kReceiptLineCollectAmount& aCollect) {
    if (aCollect.fAmount > Amount()) {
      pugi::xml_node node = Command(fRoot, "printRecItem");
      Attr(node, "description", aCollect.GetDescription());
      Attr(node, "quantity", "1");
      Attr(node, "unitPrice", Qty(aCollect.fAmount));
      Attr(node, "vatID", VatId(aCollect.fTaxCode));
      Attr(node, "type", "B");
      Attr(node, "justification", "1");
    } else {
      pugi::xml_node node = Command(fRoot, "printRecItemAdjustment");
      Attr(node, "adjustmentType", "10");
      Attr(node, "amount", Money(-aCollect.fAmount));
      Attr(node, "vatID", VatId(aCollect.fTaxCode));
    }
  }

  void AddFreeOfCharge(Amount aAmount, const std::string& aTaxCode) {
    pugi::xml_node adj = Command(fRoot, "printRecItemAdjustment");
    Attr(adj, "adjustmentType", "11");
    Attr(adj, "amount", Money(aAmount));
    Attr(adj, "vatID", VatId(aTaxCode));
  }

  // Subtotal and text lines.

  void AddSubTotal(const kReceiptLineSubtotal&) { Command(fRoot, "printRecSubtotal"); }

  void AddTextLine(const kReceiptLineText& aLine) {
    pugi::xml_node node = Command(fRoot, "printRecMessage");
    Attr(node, "messageType", "4");
    Attr(node, "index", "1");
    Attr(node, "font", "1");
    Attr(node, "message", aLine.GetDescription());
  }

  // Discounts and markups: a percentage line sends its computed amount.

  void AddDiscountAmount(const kReceiptLineDiscountAmount& aLine) { AddAdjustment(aLine, false, false); }
  void AddDiscountPercentage(const kReceiptLineDiscountPercentage& aLine) { AddAdjustment(aLine, false, false); }
  void AddMarkupAmount(const kReceiptLineMarkupAmount& aLine) { AddAdjustment(aLine, true, false); }
  void AddMarkupPercentage(const kReceiptLineMarkupPercentage& aLine) { AddAdjustment(aLine, true, false); }
  void AddDiscountAmountOnSubtotal(const kReceiptLineDiscountAmountOnSubTotal& aLine) {
    AddAdjustment(aLine, false, true);
  }
  void AddDiscountPercentageOnSubTotal(const kReceiptLineDiscountPercentageOnSubTotal& aLine) {
    AddAdjustment(aLine, false, true);
  }
  void AddMarkupAmountOnSubtotal(const kReceiptLineMarkupAmountOnSubTotal& aLine) {
    AddAdjustment(aLine, true, true);
  }
  void AddMarkupPercentageOnSubTotal(const kReceiptLineMarkupPercentageOnSubTotal& aLine) {
    AddAdjustment(aLine, true, true);
  }

  // An adjustment of the last item carries that item's VAT; one of the subtotal is shared out
  // by the server.
  template <class L>
  void AddAdjustment(const L& aLine, bool aMarkup, bool aOnSubtotal) {
    pugi::xml_node node = Command(fRoot, aOnSubtotal ? "printRecSubtotalAdjustment" : "printRecItemAdjustment");
    Attr(node, "adjustmentType", aOnSubtotal ? (aMarkup ? "6" : "1") : (aMarkup ? "5" : "0"));
    Attr(node, "description", aLine.GetDescription());
    Attr(node, "amount", Money(aLine.fAmount));
    if (!aOnSubtotal) Attr(node, "vatID", VatId(fLastTaxCode));
  }

  pugi::xml_node fRoot;
  const kReceipt& fReceipt;
  std::string& fLastTaxCode;      // the VAT of the last item, for the adjustments after it
  int32_t& fTrailerLineNumber;
};

// Parses an answer of the library; the element's own name does not matter.
bool ParseAnswer(pugi::xml_document& aDoc, const std::string& aText, std::string& aError) {
  pugi::xml_parse_result parsed = aDoc.load_buffer(aText.data(), aText.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    aError = parsed.description();
    return false;
  }
  return aDoc.document_element() != nullptr;
}

// Whether two files hold the same bytes; false when either can't be read.
bool SameContents(const std::string& aOne, const std::string& aOther) {
  std::ifstream one(fs::path(aOne), std::ios::binary), other(fs::path(aOther), std::ios::binary);
  if (!one || !other) return false;
  char a[8192], b[8192];
  for (;;) {
    one.read(a, sizeof a);
    other.read(b, sizeof b);
    if (one.gcount() != other.gcount() || std::memcmp(a, b, static_cast<size_t>(one.gcount())) != 0) return false;
    if (one.gcount() == 0 || !one || !other) return !one && !other;
  }
}

// The till's private copy of the library, loaded. Libraries are never unloaded, so a copy
// loaded before (a device of the same till opened again) is still mapped: it is used as it
// is, and its file is not touched, since rewriting a mapped library in place pulls the code
// from under the threads running it. Otherwise the copy is written beside the library under
// a temporary name and renamed over the old one, so a copy is never seen half written.
// Windows refuses to replace the file of a library another process has loaded: a copy that
// already holds the library's own bytes is then loaded as it is; a different one fails.
template <class Fail>
void* LoadedCopy(const std::string& aLibrary, const std::string& aCopy, Fail aFail) {
  if (void* loaded = dlopen(aCopy.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) return loaded;
  // A name of this writer's own: devices of one till opened on two threads at once must
  // not write into the same file.
  static std::atomic<unsigned> counter{0};
  const std::string partial = aCopy + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".partial";
  std::error_code error;
  fs::copy_file(aLibrary, partial, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(partial, aCopy, error);
  if (error) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    if (!SameContents(aLibrary, aCopy)) aFail(error.value());
  }
  errno = 0;
  void* handle = dlopen(aCopy.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) aFail(errno != 0 ? errno : ENOEXEC);
  return handle;
}

}  // namespace

kRTServerClient::kRTServerClient(std::string aDLLName, std::string aTillSerial, bool aTillInstance)
    : fDLLName(std::move(aDLLName)),
      fTillSerial(std::move(aTillSerial)),
      fTillInstance(aTillInstance),
      fReceiptInfo(std::make_unique<kRTServerReceiptInfo>()),
      fTillReportInfo(std::make_unique<kRTServerTillReportInfo>()) {}

void kRTServerClient::Load() {
  const std::string name = fDLLName.empty() ? kDefaultLibrary : fDLLName;
  if (name.find('\0') != std::string::npos) throw kException("Invalid library name: " + name);
  const std::string path = PathInApplicationDir(name);
  auto fail = [&path](int aCode) {
    throw kException("Unable to load library " + path + ". Error code: [" + std::to_string(aCode) + "]");
  };

  fLoadedPath = path;
  if (::access(path.c_str(), R_OK) != 0) fail(errno);
  // One load at a time in the process: a device that finds the library already loaded by
  // another thread then uses it only after that load, the library's own initialisation
  // included, has ended in full (the system loader's lock orders this too, but in a way the
  // thread checker cannot see).
  static std::mutex loading;
  std::lock_guard<std::mutex> oneLoad(loading);
  if (fTillInstance) {
    // The serial becomes part of a file name beside the library: it must not lead the copy
    // into another folder.
    if (fTillSerial.find_first_of(std::string("/\\\0", 3)) != std::string::npos || fTillSerial == "." ||
        fTillSerial == "..")
      throw kException("Invalid till serial for the RT server library copy: " + fTillSerial);
    // One private copy per till, so several tills in one process keep separate library state.
    fs::path copy = fs::path(path).replace_extension();
    copy += "-" + fTillSerial + ".dll";
    fLoadedPath = copy.string();
    fDLLHandle = LoadedCopy(path, fLoadedPath, fail);
  } else {
    errno = 0;
    fDLLHandle = dlopen(fLoadedPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (fDLLHandle == nullptr) fail(errno != 0 ? errno : ENOEXEC);
  }

  fOpenTill = reinterpret_cast<tRTServer_OPENTILL>(dlsym(fDLLHandle, "OPENTILL"));
  if (fOpenTill == nullptr) throw kException("OPENTILL function not found in VNRS_ZEVUZ90_20.dll");
  fSignReceipt = reinterpret_cast<tRTServer_SIGNRECEIPT>(dlsym(fDLLHandle, "SIGNRECEIPT"));
  if (fSignReceipt == nullptr) throw kException("SIGNRECEIPT function not found in VNRS_ZEVUZ90_20.dll");
  fCloseTill = reinterpret_cast<tRTServer_CLOSETILL>(dlsym(fDLLHandle, "CLOSETILL"));
  if (fCloseTill == nullptr) throw kException("CLOSETILL function not found in VNRS_ZEVUZ90_20.dll");
  fXReport = reinterpret_cast<tRTServer_XREPORT>(dlsym(fDLLHandle, "XREPORT"));
}

// The library stays loaded: a library of this kind may keep threads and connections of its
// own that must not lose their code under them.
kRTServerClient::~kRTServerClient() = default;

bool kRTServerClient::OpenTill(const std::string& aBaseAddress, int32_t aPort, const std::string& aUserName,
                               const std::string& aPassword, const std::string& aTillId) {
  if (fOpenTill == nullptr) return false;
  kSystemStringPtr host(NewSystemString(aBaseAddress));
  kSystemStringPtr user(NewSystemString(aUserName));
  kSystemStringPtr password(NewSystemString(aPassword));
  kSystemStringPtr till(NewSystemString(aTillId));
  char16_t* message = nullptr;
  uint8_t result;
  {
    std::lock_guard<std::mutex> serialised(LibraryLock(fDLLHandle));
    result = fOpenTill(host.get(), aPort, user.get(), password.get(), till.get(), &message);
  }
  FreeSystemString(message);
  if (result != 0) return false;
  fTillOpened = true;
  return true;
}

void kRTServerClient::BuildXMLReceipt(kReceipt& aReceipt) {
  fReceipt = &aReceipt;
  fTrailerLineNumber = 0;
  fLastTaxCode.clear();
  fXmlReceipt.reset();
  pugi::xml_node decl = fXmlReceipt.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "utf-8";
  fCommandNode = fXmlReceipt.append_child("printerFiscalReceipt");

  kReceiptCommands commands(fCommandNode, aReceipt, fLastTaxCode, fTrailerLineNumber);
  commands.AddOpening();
  commands.AddLotteryCode();
  for (const auto& line : aReceipt.fLines) commands.AddLine(*line);
  commands.AddPayments();
  // Trailer messages belong in the document only before 2018; from then on the server
  // prints none.
  const DateTime now = fClock ? fClock() : Now();
  if (DecodeDateTime(now).year < 2018) commands.AddTrailerMessages();
  commands.AddClosing();
}

std::string kRTServerClient::XmlReceiptText() const {
  std::ostringstream out;
  fXmlReceipt.document_element().print(out, "", pugi::format_raw);
  return out.str();
}

bool kRTServerClient::SignReceipt() {
  if (fSignReceipt == nullptr) return false;
  kSystemStringPtr receipt(NewSystemString(XmlReceiptText()));
  std::string answer, message;
  const uint8_t result = CallWithOutStrings(
      fDLLHandle, [&](char16_t** aAnswer, char16_t** aMessage) { return fSignReceipt(receipt.get(), aAnswer, aMessage); },
      answer, message);

  pugi::xml_document doc;
  std::string error;
  if (!ParseAnswer(doc, answer, error)) {
    // A refusal may come without any answer; a signed receipt must come with its data.
    if (result != 0) return false;
    throw kException("Invalid answer of the RT server: " + error);
  }
  pugi::xml_node root = doc.document_element();
  kRTServerReceiptInfo info;
  info.fVATTotal = krptUtil::GetNodeValueAsCurrency(root, "VATTotal");
  info.fRTServerSerialNumber = krptUtil::GetNodeValueAsString(root, "ServerSerialNumber");
  info.fRTTillId = krptUtil::GetNodeValueAsString(root, "TillId");
  info.fRTSignature = krptUtil::GetNodeValueAsString(root, "Signature");
  info.fRTnDoc = krptUtil::GetNodeValueAsInteger(root, "nDoc");
  info.fRTzRep = krptUtil::GetNodeValueAsInteger(root, "zRep");
  info.fHeaders = fReceiptInfo->fHeaders;
  if (pugi::xml_node headers = root.child("Headers")) {
    info.fHeaders.clear();
    for (pugi::xml_node header : headers.children())
      if (header.type() == pugi::node_element) info.fHeaders.push_back(header.text().as_string());
  }
  *fReceiptInfo = std::move(info);
  return result == 0;
}

bool kRTServerClient::XReport() {
  if (fXReport == nullptr) return false;
  return TillReport(fXReport);
}

bool kRTServerClient::CloseTill() {
  if (fCloseTill == nullptr) return false;
  return TillReport(fCloseTill);
}

bool kRTServerClient::TillReport(int16_t (*aEntry)(char16_t**, char16_t**)) {
  std::string answer, message;
  if (CallWithOutStrings(fDLLHandle, aEntry, answer, message) != 0) return false;
  fTillOpened = false;

  pugi::xml_document doc;
  std::string error;
  if (!ParseAnswer(doc, answer, error)) throw kException("Invalid answer of the RT server: " + error);
  pugi::xml_node root = doc.document_element();
  kRTServerTillReportInfo info;
  info.fDailyAmount = krptUtil::GetNodeValueAsCurrency(root, "DailyTotal");
  info.fSalesAmount = krptUtil::GetNodeValueAsCurrency(root, "DailySales");
  info.fVoidsAmount = krptUtil::GetNodeValueAsCurrency(root, "DailyVoids");
  info.fRefundsAmount = krptUtil::GetNodeValueAsCurrency(root, "DailyRefunds");
  info.fTillSerialNumber = krptUtil::GetNodeValueAsString(root, "TillSerialNumber");
  info.fServerSerialNumber = krptUtil::GetNodeValueAsString(root, "ServerSerialNumber");
  info.fnRecNumber = krptUtil::GetNodeValueAsInteger(root, "nRecNumber");
  info.fzRepNumber = krptUtil::GetNodeValueAsInteger(root, "zRepNumber");
  info.fzRepDateTime = XmlTextToDateTime(krptUtil::GetNodeValueAsString(root, "zRepDateTime"));
  *fTillReportInfo = std::move(info);
  return true;
}

}  // namespace fp
