// Every result fragment that carries text, with one given text in each of its text fields:
// what a hostile printer, library or request could put into a host's result.
#pragma once

#include <string>
#include <vector>

#include "request/results.h"

namespace fp::test {

inline std::vector<std::string> FragmentsCarrying(const std::string& aText) {
  std::vector<std::string> out;
  auto tail = [&](_int_ErrorTail& aRecord) {
    aRecord.Error = true;
    aRecord.ErrorText = aText;
    aRecord.LogFileName = aText;
  };
  _int_PRINTFR_result fr;
  fr.ReceiptNumber = fr.EJNumber = fr.EJClosingNumber = fr.DeviceSerialNumber = fr.ServerSerialNumber = aText;
  fr.InvoiceNumber = fr.ReceiptText = fr.MessageText = aText;
  tail(fr);
  out.push_back(fr.Format());
  _int_PRINTXR_result xr;
  xr.XReportNumber = xr.EJNumber = xr.EJClosingNumber = xr.DeviceSerialNumber = xr.ServerSerialNumber = aText;
  xr.Text = aText;
  tail(xr);
  out.push_back(xr.Format());
  _int_PRINTZR_result zr;
  zr.ZReportNumber = zr.EJNumber = zr.EJClosingNumber = zr.DeviceSerialNumber = zr.ServerSerialNumber = aText;
  zr.Text = aText;
  tail(zr);
  out.push_back(zr.Format());
  _int_PRINTNFR_result nfr;
  nfr.NFReceiptNumber = aText;
  tail(nfr);
  out.push_back(nfr.Format());
  _int_GETSTATUS_result status;
  status.FirmwareVersion = status.SerialNumber = status.FiscalMode = aText;
  tail(status);
  out.push_back(status.Format());
  _int_EJREPORT_result ej;
  ej.Text = aText;
  tail(ej);
  out.push_back(ej.Format());
  _int_GETVATTABLE_result vat;
  vat.VATTable.push_back({1, aText, aText, Amount()});
  tail(vat);
  out.push_back(vat.Format());
  _int_GETDEPTTABLE_result dept;
  dept.DeptTable.push_back({1, aText, aText, aText, aText, aText, aText, aText});
  tail(dept);
  out.push_back(dept.Format());
  _int_PAY_result pay;
  pay.DeviceId = pay.PaymentNumber = pay.PaymentCurrency = pay.MaskedPAN = pay.AuthCode = aText;
  pay.TraceAuditId = pay.RawResponse = pay.ReceiptText = aText;
  tail(pay);
  out.push_back(pay.Format());
  _int_GETLOTTERYRCPTSTATUS_result lottery;
  lottery.StatusCode = lottery.StatusDescription = lottery.ReferenceId = aText;
  tail(lottery);
  out.push_back(lottery.Format());
  _int_CLOSE_result close;
  tail(close);
  out.push_back(close.Format());
  return out;
}

}  // namespace fp::test
