#include "fpemu/state_file.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fp::emu {

namespace {

std::string Raw(Amount a) { return std::to_string(a.Raw()); }
Amount FromRaw(const pugi::xml_node& n, const char* aName) {
  return Amount::FromRaw(n.attribute(aName).as_llong(0));
}

}  // namespace

bool SaveStateFile(PrinterModel& aModel, const std::string& aPath) {
  const PrinterSnapshot& s = aModel.State();
  pugi::xml_document doc;
  auto decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "utf-8";
  auto root = doc.append_child("fpemu");
  auto p = root.append_child("printer");
  p.append_attribute("serial") = s.fSerialNumber.c_str();
  p.append_attribute("firmware") = s.fFirmwareVersion.c_str();
  p.append_attribute("fiscalMode") = s.fFiscalMode;
  p.append_attribute("training") = s.fTraining;
  p.append_attribute("dayOpen") = s.fDayOpen;
  p.append_attribute("inactive") = s.fInactivePeriod;
  p.append_attribute("clockOffset") = aModel.ClockOffset();
  p.append_attribute("lastDocument") = s.fLastDocumentNumber;
  p.append_attribute("lastNonFiscal") = s.fLastNonFiscalNumber;
  p.append_attribute("zCounter") = s.fZCounter;
  p.append_attribute("grandTotal") = Raw(s.fGrandTotal).c_str();
  auto d = root.append_child("day");
  d.append_attribute("sales") = Raw(s.fDay.fSales).c_str();
  d.append_attribute("discounts") = Raw(s.fDay.fDiscounts).c_str();
  d.append_attribute("refunds") = Raw(s.fDay.fRefunds).c_str();
  d.append_attribute("voids") = Raw(s.fDay.fVoids).c_str();
  d.append_attribute("commercial") = s.fDay.fCommercialDocuments;
  d.append_attribute("nonFiscal") = s.fDay.fNonFiscalDocuments;
  for (const auto& v : s.fVat) {
    auto n = root.append_child("vat");
    n.append_attribute("rate") = Raw(v.fRate).c_str();
    n.append_attribute("natura") = v.fNatura;
  }
  for (const auto& x : s.fDepartments) {
    auto n = root.append_child("department");
    n.append_attribute("description") = x.fDescription.c_str();
    n.append_attribute("vat") = x.fVatSlot;
    n.append_attribute("salesType") = x.fSalesType;
  }
  for (const auto& x : s.fPaymentSlots) {
    auto n = root.append_child("payment");
    n.append_attribute("description") = x.fDescription.c_str();
    n.append_attribute("code") = x.fCode.c_str();
    n.append_attribute("kind") = x.fKind;
    n.append_attribute("subKind") = x.fSubKind.c_str();
  }
  for (const auto& e : aModel.Journal()) {
    auto n = root.append_child("document");
    n.append_attribute("kind") = static_cast<int>(e.fKind);
    n.append_attribute("time") = e.fDateTime;
    n.append_attribute("number") = e.fNumber;
    n.append_attribute("z") = e.fZNumber;
    n.append_attribute("total") = Raw(e.fTotal).c_str();
    n.append_attribute("voided") = e.fVoided;
    for (const auto& l : e.fLines) n.append_child("line").text() = l.c_str();
  }
  std::string tmp = aPath + ".tmp";
  if (!doc.save_file(tmp.c_str(), "  ", pugi::format_indent, pugi::encoding_utf8)) return false;
  // Over the previous state: std::filesystem replaces it on Windows too, where rename() won't.
  std::error_code error;
  std::filesystem::rename(tmp, aPath, error);
  return !error;
}

bool LoadStateFile(PrinterModel& aModel, const std::string& aPath) {
  pugi::xml_document doc;
  if (!doc.load_file(aPath.c_str(), pugi::parse_default, pugi::encoding_utf8)) return false;
  auto root = doc.child("fpemu");
  auto p = root.child("printer");
  if (!p) return false;
  PrinterSnapshot s = aModel.State();
  s.fSerialNumber = p.attribute("serial").as_string(s.fSerialNumber.c_str());
  s.fFirmwareVersion = p.attribute("firmware").as_string(s.fFirmwareVersion.c_str());
  s.fFiscalMode = p.attribute("fiscalMode").as_int(s.fFiscalMode);
  s.fTraining = p.attribute("training").as_bool();
  s.fDayOpen = p.attribute("dayOpen").as_bool();
  s.fInactivePeriod = p.attribute("inactive").as_bool();
  s.fLastDocumentNumber = p.attribute("lastDocument").as_int();
  s.fLastNonFiscalNumber = p.attribute("lastNonFiscal").as_int();
  s.fZCounter = p.attribute("zCounter").as_int();
  s.fGrandTotal = FromRaw(p, "grandTotal");
  auto d = root.child("day");
  s.fDay.fSales = FromRaw(d, "sales");
  s.fDay.fDiscounts = FromRaw(d, "discounts");
  s.fDay.fRefunds = FromRaw(d, "refunds");
  s.fDay.fVoids = FromRaw(d, "voids");
  s.fDay.fCommercialDocuments = d.attribute("commercial").as_int();
  s.fDay.fNonFiscalDocuments = d.attribute("nonFiscal").as_int();
  size_t i = 0;
  for (auto n : root.children("vat")) {
    // A file edited by hand may name a natura or payment kind the printer does not know:
    // it reads as the first one.
    int natura = n.attribute("natura").as_int();
    if (i < s.fVat.size()) s.fVat[i++] = VatSlot{FromRaw(n, "rate"), natura >= 0 && natura <= 6 ? natura : 0};
  }
  i = 0;
  for (auto n : root.children("department")) {
    int vat = n.attribute("vat").as_int(1);
    if (i < s.fDepartments.size())
      s.fDepartments[i++] = Department{n.attribute("description").as_string(), vat >= 1 && vat <= 12 ? vat : 1,
                                       n.attribute("salesType").as_int() ? 1 : 0};
  }
  i = 0;
  for (auto n : root.children("payment"))
    if (i < s.fPaymentSlots.size())
      s.fPaymentSlots[i++] = PaymentSlot{n.attribute("description").as_string(), n.attribute("code").as_string(),
                                         std::clamp(n.attribute("kind").as_int(), 0, 3), n.attribute("subKind").as_string()};
  std::vector<JournalEntry> journal;
  for (auto n : root.children("document")) {
    JournalEntry e;
    int kind = n.attribute("kind").as_int();
    e.fKind = kind >= 0 && kind <= 4 ? static_cast<JournalKind>(kind) : JournalKind::NonFiscal;
    e.fDateTime = n.attribute("time").as_double();
    e.fNumber = n.attribute("number").as_int();
    e.fZNumber = n.attribute("z").as_int();
    e.fTotal = FromRaw(n, "total");
    e.fVoided = n.attribute("voided").as_bool();
    for (auto l : n.children("line")) e.fLines.push_back(l.text().as_string());
    journal.push_back(std::move(e));
  }
  aModel.State() = s;
  aModel.Journal() = std::move(journal);
  aModel.SetClockOffset(p.attribute("clockOffset").as_double());
  return true;
}

}  // namespace fp::emu
