// cvRegExpr: regular expressions in the library's own dialect (README.md beside this file) over
// PCRE2's 16-bit flavour; the patterns themselves are in pattern.h.
#include <string>
#include <vector>

#include "helpers/common/helper_module.h"
#include "helpers/regexpr/pattern.h"
#include "platform/rtl/exceptions.h"

namespace pw::helpers {

namespace {

class TRegExpr : public Implements<ComObject, IcvRegExpr> {
 public:
  HRESULT SetPattern(const char16_t* pattern) override {
    return SafeCall([&] {
      auto compiled = std::make_unique<CompiledPattern>(pattern ? pattern : u"");
      std::lock_guard g(lock_);
      compiled_ = std::move(compiled);
      captures_.clear();
    });
  }
  HRESULT Test(const char16_t* subject, WordBool* matched) override {
    if (!matched) return E_POINTER;
    return SafeCall([&] {
      std::lock_guard g(lock_);
      if (!compiled_) throw ERegExpr(u"No regular expression has been set.");
      std::vector<std::u16string> captures;
      const bool hit = compiled_->Match(subject ? subject : u"", &captures);
      if (hit) captures_ = std::move(captures);
      *matched = ToWordBool(hit);
    });
  }
  HRESULT GetCaptureCount(std::int32_t* count) override {
    if (!count) return E_POINTER;
    std::lock_guard g(lock_);
    *count = captures_.empty() ? 0 : static_cast<std::int32_t>(captures_.size()) - 1;
    return S_OK;
  }
  HRESULT GetCapture(std::int32_t index, BSTR* text) override {
    if (!text) return E_POINTER;
    std::lock_guard g(lock_);
    if (index < 0 || static_cast<std::size_t>(index) >= captures_.size()) return E_INVALIDARG;
    *text = SysAllocString(WideStringView(captures_[static_cast<std::size_t>(index)]));
    return S_OK;
  }

 private:
  std::mutex lock_;
  std::unique_ptr<CompiledPattern> compiled_;
  std::vector<std::u16string> captures_;
};

class TRegExprModule : public HelperModule<Implements<ComObject, IcvRegExprModule>> {
 public:
  TRegExprModule() : HelperModule(u"cvRegExpr") {}

  HRESULT CreateRegExpr(IcvRegExpr** expression) override {
    if (!expression) return E_POINTER;
    *expression = ComPtr<IcvRegExpr>(MakeObject<TRegExpr>()).Detach();
    return S_OK;
  }
  HRESULT Match(const char16_t* pattern, const char16_t* subject, WordBool* matched) override {
    if (!matched) return E_POINTER;
    return SafeCall([&] {
      CompiledPattern compiled(pattern ? pattern : u"");
      *matched = ToWordBool(compiled.Match(subject ? subject : u"", nullptr));
    });
  }
};

}  // namespace

}  // namespace pw::helpers

PW_HELPER_EXPORT pw::HRESULT GetModuleIntf(pw::IUnknown** intf) {
  if (!intf) return pw::E_POINTER;
  *intf = pw::ComPtr<pw::IUnknown>(pw::MakeObject<pw::helpers::TRegExprModule>()->Identity()).Detach();
  return pw::S_OK;
}
