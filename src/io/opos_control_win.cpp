// The OPOS Fiscal Printer control through its COM automation interface ("OPOS.FiscalPrinter",
// late bound through IDispatch). Without the control installed, creation raises a clear
// error.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <initializer_list>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "io/opos_control.h"

namespace fp {

namespace {

constexpr const wchar_t* kProgId = L"OPOS.FiscalPrinter";

std::wstring Wide(const std::string& aText) {
  std::u16string units = Utf8ToUtf16(aText);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(BSTR aText) {
  return aText == nullptr ? std::string()
                          : Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), ::SysStringLen(aText)));
}

std::string HResultText(const std::string& aWhat, HRESULT aResult) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(aResult));
  return aWhat + " failed (" + code + ")";
}

// One argument of a call, owned: values, texts and the out-parameters the control fills.
class kArg {
 public:
  static kArg Long(int32_t aValue) { kArg a; a.fValue.vt = VT_I4; a.fValue.lVal = aValue; return a; }
  static kArg Bool(bool aValue) { kArg a; a.fValue.vt = VT_BOOL; a.fValue.boolVal = aValue ? VARIANT_TRUE : VARIANT_FALSE; return a; }
  static kArg Currency(int64_t aValue) { kArg a; a.fValue.vt = VT_CY; a.fValue.cyVal.int64 = aValue; return a; }
  static kArg Text(const std::string& aValue) {
    kArg a;
    a.fValue.vt = VT_BSTR;
    a.fValue.bstrVal = ::SysAllocString(Wide(aValue).c_str());
    return a;
  }
  static kArg LongOut(int32_t* aTarget) { kArg a; a.fValue.vt = VT_BYREF | VT_I4; a.fValue.plVal = reinterpret_cast<LONG*>(aTarget); return a; }
  static kArg TextOut(BSTR* aTarget) { kArg a; a.fValue.vt = VT_BYREF | VT_BSTR; a.fValue.pbstrVal = aTarget; return a; }

  kArg() { ::VariantInit(&fValue); }
  kArg(kArg&& aOther) noexcept : fValue(aOther.fValue) { ::VariantInit(&aOther.fValue); }
  kArg(const kArg&) = delete;
  ~kArg() { ::VariantClear(&fValue); }
  VARIANT fValue;
};

class kOPOSFiscalPrinter_COM : public kOPOSFiscalPrinter {
 public:
  kOPOSFiscalPrinter_COM() {
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    fUninitialize = SUCCEEDED(init);
    CLSID clsid;
    if (FAILED(::CLSIDFromProgID(kProgId, &clsid))) {
      Release();
      throw kException("OPOS Fiscal Printer control is not installed (OPOS.FiscalPrinter is not registered)");
    }
    const HRESULT made = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                            reinterpret_cast<void**>(&fControl));
    if (FAILED(made)) {
      Release();
      throw kException(HResultText("Creating the OPOS Fiscal Printer control", made));
    }
  }
  ~kOPOSFiscalPrinter_COM() override { Release(); }

  int32_t Open(const std::string& aDeviceName) override { return Method(L"Open", Args(kArg::Text(aDeviceName))); }
  int32_t ClaimDevice(int32_t aTimeout) override { return Method(L"ClaimDevice", Args(kArg::Long(aTimeout))); }
  bool GetDeviceEnabled() override { return GetBool(L"DeviceEnabled"); }
  void SetDeviceEnabled(bool aValue) override { Put(L"DeviceEnabled", kArg::Bool(aValue)); }
  int32_t ReleaseDevice() override { return Method(L"ReleaseDevice", {}); }
  int32_t Close() override { return Method(L"Close", {}); }
  int32_t ResultCodeExtended() override { return GetLong(L"ResultCodeExtended"); }
  std::string ErrorString() override { return GetText(L"ErrorString"); }

  int32_t BeginFiscalReceipt(bool aPrintHeader) override { return Method(L"BeginFiscalReceipt", Args(kArg::Bool(aPrintHeader))); }
  int32_t EndFiscalReceipt(bool aPrintHeader) override { return Method(L"EndFiscalReceipt", Args(kArg::Bool(aPrintHeader))); }
  int32_t BeginNonFiscal() override { return Method(L"BeginNonFiscal", {}); }
  int32_t EndNonFiscal() override { return Method(L"EndNonFiscal", {}); }
  int32_t BeginTraining() override { return Method(L"BeginTraining", {}); }
  int32_t EndTraining() override { return Method(L"EndTraining", {}); }
  int32_t ResetPrinter() override { return Method(L"ResetPrinter", {}); }
  int32_t PrintXReport() override { return Method(L"PrintXReport", {}); }
  int32_t PrintZReport() override { return Method(L"PrintZReport", {}); }
  int32_t PrintNormal(int32_t aStation, const std::string& aData) override {
    return Method(L"PrintNormal", Args(kArg::Long(aStation), kArg::Text(aData)));
  }
  int32_t PrintRecItem(const std::string& aDescription, int64_t aPrice, int32_t aQuantity, int32_t aVatInfo,
                       int64_t aUnitPrice, const std::string& aUnitName) override {
    return Method(L"PrintRecItem", Args(kArg::Text(aDescription), kArg::Currency(aPrice), kArg::Long(aQuantity),
                                        kArg::Long(aVatInfo), kArg::Currency(aUnitPrice), kArg::Text(aUnitName)));
  }
  int32_t PrintRecItemVoid(const std::string& aDescription, int64_t aPrice, int32_t aQuantity, int32_t aVatInfo,
                           int64_t aUnitPrice, const std::string& aUnitName) override {
    return Method(L"PrintRecItemVoid", Args(kArg::Text(aDescription), kArg::Currency(aPrice), kArg::Long(aQuantity),
                                            kArg::Long(aVatInfo), kArg::Currency(aUnitPrice), kArg::Text(aUnitName)));
  }
  int32_t PrintRecRefund(const std::string& aDescription, int64_t aAmount, int32_t aVatInfo) override {
    return Method(L"PrintRecRefund", Args(kArg::Text(aDescription), kArg::Currency(aAmount), kArg::Long(aVatInfo)));
  }
  int32_t PrintRecItemAdjustment(int32_t aAdjustmentType, const std::string& aDescription, int64_t aAmount,
                                 int32_t aVatInfo) override {
    return Method(L"PrintRecItemAdjustment", Args(kArg::Long(aAdjustmentType), kArg::Text(aDescription),
                                                  kArg::Currency(aAmount), kArg::Long(aVatInfo)));
  }
  int32_t PrintRecSubtotal(int64_t aAmount) override { return Method(L"PrintRecSubtotal", Args(kArg::Currency(aAmount))); }
  int32_t PrintRecSubtotalAdjustment(int32_t aAdjustmentType, const std::string& aDescription, int64_t aAmount) override {
    return Method(L"PrintRecSubtotalAdjustment",
                  Args(kArg::Long(aAdjustmentType), kArg::Text(aDescription), kArg::Currency(aAmount)));
  }
  int32_t PrintRecTotal(int64_t aTotal, int64_t aPayment, const std::string& aDescription) override {
    return Method(L"PrintRecTotal", Args(kArg::Currency(aTotal), kArg::Currency(aPayment), kArg::Text(aDescription)));
  }
  int32_t PrintRecNotPaid(const std::string& aDescription, int64_t aAmount) override {
    return Method(L"PrintRecNotPaid", Args(kArg::Text(aDescription), kArg::Currency(aAmount)));
  }
  int32_t PrintRecMessage(const std::string& aMessage) override { return Method(L"PrintRecMessage", Args(kArg::Text(aMessage))); }
  int32_t PrintRecTaxID(const std::string& aTaxId) override { return Method(L"PrintRecTaxID", Args(kArg::Text(aTaxId))); }
  int32_t SetDate(const std::string& aDate) override { return Method(L"SetDate", Args(kArg::Text(aDate))); }
  int32_t GetDate(std::string& aDate) override {
    BSTR date = nullptr;
    const int32_t rc = Method(L"GetDate", Args(kArg::TextOut(&date)));
    aDate = Narrow(date);
    ::SysFreeString(date);
    return rc;
  }
  int32_t GetData(int32_t aDataItem, int32_t& aOptArgs, std::string& aData) override {
    BSTR data = nullptr;
    const int32_t rc = Method(L"GetData", Args(kArg::Long(aDataItem), kArg::LongOut(&aOptArgs), kArg::TextOut(&data)));
    aData = Narrow(data);
    ::SysFreeString(data);
    return rc;
  }
  int32_t DirectIO(int32_t aCommand, int32_t& aData, std::string& aString) override {
    BSTR text = ::SysAllocString(Wide(aString).c_str());
    const int32_t rc = Method(L"DirectIO", Args(kArg::Long(aCommand), kArg::LongOut(&aData), kArg::TextOut(&text)));
    aString = Narrow(text);
    ::SysFreeString(text);
    return rc;
  }

  bool CoverOpen() override { return GetBool(L"CoverOpen"); }
  bool DayOpened() override { return GetBool(L"DayOpened"); }
  bool RecEmpty() override { return GetBool(L"RecEmpty"); }
  bool RecNearEnd() override { return GetBool(L"RecNearEnd"); }
  bool TrainingModeActive() override { return GetBool(L"TrainingModeActive"); }
  int32_t PrinterState() override { return GetLong(L"PrinterState"); }
  int32_t RemainingFiscalMemory() override { return GetLong(L"RemainingFiscalMemory"); }
  void SetFiscalReceiptType(int32_t aValue) override { Put(L"FiscalReceiptType", kArg::Long(aValue)); }
  void SetPreLine(const std::string& aValue) override { Put(L"PreLine", kArg::Text(aValue)); }
  std::string AdditionalTrailer() override { return GetText(L"AdditionalTrailer"); }
  void SetAdditionalTrailer(const std::string& aValue) override { Put(L"AdditionalTrailer", kArg::Text(aValue)); }

 private:
  template <class... T>
  static std::vector<kArg> Args(T&&... aArgs) {
    std::vector<kArg> list;
    (list.push_back(std::move(aArgs)), ...);
    return list;
  }

  // Calls a member by name; the control's failures of its own machinery raise kException.
  kArg Invoke(const wchar_t* aName, WORD aFlags, std::vector<kArg> aArgs) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(aName);
    HRESULT hr = fControl->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    const std::string member = Utf16ToUtf8(reinterpret_cast<const char16_t*>(aName));
    if (FAILED(hr)) throw kException(HResultText("OPOS control member " + member, hr));
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> values;
    for (auto it = aArgs.rbegin(); it != aArgs.rend(); ++it) values.push_back(it->fValue);
    DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
    DISPID put = DISPID_PROPERTYPUT;
    if (aFlags == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    kArg result;
    EXCEPINFO error{};
    hr = fControl->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, aFlags, &params, &result.fValue, &error, nullptr);
    if (FAILED(hr)) {
      std::string text = HResultText("OPOS control " + member, hr);
      if (error.bstrDescription != nullptr) text += ": " + Narrow(error.bstrDescription);
      ::SysFreeString(error.bstrSource);
      ::SysFreeString(error.bstrDescription);
      ::SysFreeString(error.bstrHelpFile);
      throw kException(text);
    }
    return result;
  }

  int32_t Method(const wchar_t* aName, std::vector<kArg> aArgs) { return AsLong(Invoke(aName, DISPATCH_METHOD, std::move(aArgs))); }
  int32_t GetLong(const wchar_t* aName) { return AsLong(Invoke(aName, DISPATCH_PROPERTYGET, {})); }
  bool GetBool(const wchar_t* aName) { return AsLong(Invoke(aName, DISPATCH_PROPERTYGET, {})) != 0; }
  std::string GetText(const wchar_t* aName) {
    kArg value = Invoke(aName, DISPATCH_PROPERTYGET, {});
    if (FAILED(::VariantChangeType(&value.fValue, &value.fValue, 0, VT_BSTR))) return {};
    return Narrow(value.fValue.bstrVal);
  }
  void Put(const wchar_t* aName, kArg aValue) { Invoke(aName, DISPATCH_PROPERTYPUT, Args(std::move(aValue))); }

  static int32_t AsLong(kArg aValue) {
    if (FAILED(::VariantChangeType(&aValue.fValue, &aValue.fValue, 0, VT_I4))) return 0;
    return aValue.fValue.lVal;
  }

  void Release() {
    if (fControl != nullptr) fControl->Release();
    fControl = nullptr;
    if (fUninitialize) ::CoUninitialize();
    fUninitialize = false;
  }

  IDispatch* fControl = nullptr;
  bool fUninitialize = false;
};

}  // namespace

std::unique_ptr<kOPOSFiscalPrinter> CreateOPOSFiscalPrinter() { return std::make_unique<kOPOSFiscalPrinter_COM>(); }

}  // namespace fp
