// cvReporter: records the brackets that the module puts around foreign calls and network
// reads, in order, where a reader can take them.
#include <mutex>
#include <string>

#include "helpers/common/helper_module.h"

namespace pw::helpers {

namespace {

class TReporterModule : public HelperModule<Implements<ComObject, IcvModuleIntf, IcvReporterModule>> {
 public:
  TReporterModule() : HelperModule(u"cvReporter") {}

  HRESULT GetRecord(BSTR* record) override {
    if (!record) return E_POINTER;
    std::lock_guard g(lock_);
    *record = SysAllocString(WideStringView(record_));
    return S_OK;
  }
  HRESULT ClearRecord() override {
    std::lock_guard g(lock_);
    record_.clear();
    return S_OK;
  }
  HRESULT BeginForeignCall() override { return Add(u"BeginForeignCall"); }
  HRESULT EndForeignCall() override { return Add(u"EndForeignCall"); }
  HRESULT BeginNetworkRead() override { return Add(u"BeginNetworkRead"); }
  HRESULT EndNetworkRead() override { return Add(u"EndNetworkRead"); }

 private:
  HRESULT Add(const char16_t* line) {
    std::lock_guard g(lock_);
    record_ += line;
    record_ += u'\n';
    return S_OK;
  }

  std::mutex lock_;
  std::u16string record_;
};

}  // namespace

}  // namespace pw::helpers

PW_HELPER_EXPORT pw::HRESULT GetModuleIntf(pw::IUnknown** intf) {
  if (!intf) return pw::E_POINTER;
  *intf = pw::ComPtr<pw::IUnknown>(pw::MakeObject<pw::helpers::TReporterModule>()->Identity()).Detach();
  return pw::S_OK;
}
