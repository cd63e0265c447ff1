// Test objects over the interfaces of tests/resources/pwAutomationTest.idl and a fixture that
// starts the automation state with the test library registered.
#pragma once

#include <gtest/gtest.h>

#include <span>

#include "core/automation/automation.h"
#include "interfaces/pwAutomationTest.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/rtl/exceptions.h"
#include "platform/automation/safearray.h"

namespace pw {

namespace test {

class TSecond;

// Implements IpwTestFirst; its second interface is optional (TFirstAndSecond adds it).
template <class Base>
class TFirstImpl : public Base {
 public:
  using Base::Base;
  WideString name = u"first";
  std::int32_t count = 0;
  ComPtr<IDispatch> item;
  int secretCalls = 0;

  HRESULT get_Value(VARIANT* r) override {
    *r = OleVariant(u"default:" + name).Detach();
    return S_OK;
  }
  HRESULT get_Name(BSTR* r) override {
    *r = SysAllocString(name);
    return S_OK;
  }
  HRESULT put_Name(BSTR v) override {
    name = WideString(BstrView(v));
    return S_OK;
  }
  HRESULT get_Count(std::int32_t* r) override {
    *r = count;
    return S_OK;
  }
  HRESULT put_Count(std::int32_t v) override {
    count = v;
    return S_OK;
  }
  HRESULT Subtract(std::int32_t a, std::int32_t b, std::int32_t* r) override {
    *r = a - b;
    return S_OK;
  }
  HRESULT Fail(BSTR message) override {
    return this->SafeCall([&] { throw EOleException(WideString(BstrView(message)), E_FAIL, u"TestSource", u"", 7); });
  }
  HRESULT Join(BSTR first, const VARIANT& second, BSTR* r) override {
    WideString s(BstrView(first));
    if (second.vt == VT_ERROR && second.scode == DISP_E_PARAMNOTFOUND) s += u"|missing";
    else s += u"|" + OleVariant(second).AsString();
    *r = SysAllocString(s);
    return S_OK;
  }
  HRESULT get_Item(IDispatch** r) override {
    *r = item.Get();
    if (*r) (*r)->AddRef();
    return S_OK;
  }
  HRESULT putref_Item(IDispatch* v) override {
    item = v;
    return S_OK;
  }
  HRESULT Swap(std::int32_t* a, std::int32_t* b) override {
    std::swap(*a, *b);
    return S_OK;
  }
  HRESULT Partner(IpwTestSecond** r) override;
  HRESULT Measure(IpwTestSecond* other, double* r) override {
    std::int32_t extra = -1;
    if (other) other->get_Extra(&extra);
    *r = extra / 2.0;
    return S_OK;
  }
  HRESULT Secret() override {
    ++secretCalls;
    return S_OK;
  }
  HRESULT Internal() override { return S_OK; }
  HRESULT Flag(VARIANT_BOOL on, VARIANT_BOOL* r) override {
    *r = on ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
  }
  HRESULT Sum(SAFEARRAY* values, double* r) override {
    return this->SafeCall([&] {
      std::int32_t lo = 0, hi = -1;
      SafeArrayGetLBound(values, 1, &lo);
      SafeArrayGetUBound(values, 1, &hi);
      double s = 0;
      for (std::int32_t i = lo; i <= hi; ++i) {
        OleVariant v;
        OleCheck(SafeArrayGetElement(values, &i, v.Put()));
        s += v.AsDouble();
      }
      *r = s;
    });
  }
};

class TSecond : public AutoImplements<TCVAAutoIntfObject, IpwTestSecond> {
 public:
  explicit TSecond(std::int32_t extra = 42) : AutoImplements({IpwTestSecond::iid}), extra_(extra) {}
  HRESULT get_Name(BSTR* r) override {
    *r = SysAllocString(u"second");
    return S_OK;
  }
  HRESULT get_Extra(std::int32_t* r) override {
    *r = extra_;
    return S_OK;
  }
  HRESULT Echo(const VARIANT& v, VARIANT* r) override { return VariantCopyInd(r, &v); }

 private:
  std::int32_t extra_;
};

template <class Base>
HRESULT TFirstImpl<Base>::Partner(IpwTestSecond** r) {
  *r = MakeObject<TSecond>(7).Detach();
  return S_OK;
}

class TFirst : public TFirstImpl<AutoImplements<TCVAAutoIntfObject, IpwTestFirst>> {
 public:
  TFirst() : TFirstImpl({IpwTestFirst::iid}) {}
};

// Two interfaces: Name (DISPID 1) is declared by both and so belongs to the first.
class TFirstAndSecond : public TFirstImpl<AutoImplements<TCVAAutoIntfObject, IpwTestFirst, IpwTestSecond>> {
 public:
  TFirstAndSecond() : TFirstImpl({IpwTestFirst::iid, IpwTestSecond::iid}) {}
  HRESULT get_Name(BSTR* r) override { return TFirstImpl::get_Name(r); }
  HRESULT get_Extra(std::int32_t* r) override {
    *r = 100;
    return S_OK;
  }
  HRESULT Echo(const VARIANT& v, VARIANT* r) override { return VariantCopyInd(r, &v); }
};

// Starts the automation state with the test library registered; stops it afterwards.
class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterInterfaceThunks(pwAutomationTestInterfaceThunks());
    StartAutomation();
    OleCheck(LoadTypeLib(AsciiWide(PW_TEST_TYPELIB), lib.Put()));
    TypeLibraries()->Add(lib.Get());
  }
  void TearDown() override {
    lib = nullptr;
    StopAutomation();
  }
  static WideString AsciiWide(const char* s) { return WideString(s, s + std::char_traits<char>::length(s)); }

  // Invoke with arguments in call order.
  static HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::vector<OleVariant> args, VARIANT* result,
                      EXCEPINFO* info = nullptr, std::vector<DISPID> named = {}) {
    std::vector<VARIANT> slots;
    for (auto it = args.rbegin(); it != args.rend(); ++it) slots.push_back(it->Get());
    DISPPARAMS p{slots.data(), named.data(), static_cast<std::uint32_t>(slots.size()),
                 static_cast<std::uint32_t>(named.size())};
    return d->Invoke(id, GUID_NULL, 0, flags, &p, result, info, nullptr);
  }
  static DISPID IdOf(IDispatch* d, const char16_t* name) {
    DISPID id = -1;
    const char16_t* names[] = {name};
    EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK) << "no member";
    return id;
  }

  ComPtr<ITypeLib> lib;
};

}  // namespace test
}  // namespace pw
