// cvRegExpr: regular expressions in the library's own dialect (README.md beside this file) over
// PCRE2's 16-bit flavour.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <string>
#include <vector>

#include "helpers/common/helper_module.h"
#include "platform/rtl/exceptions.h"

namespace pw::helpers {

namespace {

// The dialect into PCRE2's syntax.
std::u16string Translate(std::u16string_view pattern) {
  std::u16string out;
  bool inClass = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      const char16_t d = pattern[++i];
      if (d == u'h') {
        out += inClass ? u"0-9A-Fa-f" : u"[0-9A-Fa-f]";
      } else {
        out += c;
        out += d;
      }
      continue;
    }
    if (inClass) {
      out += c;
      if (c == u']') inClass = false;
      continue;
    }
    switch (c) {
      case u'[':
        out += c;
        inClass = true;
        // A leading '^' and a ']' right after the opening are part of the class.
        if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
        if (i + 1 < pattern.size() && pattern[i + 1] == u']') out += pattern[++i];
        break;
      case u'{':
        out += u'(';
        break;
      case u'}':
        out += u')';
        break;
      case u'(':
        out += u"(?:";
        break;
      default:
        out += c;
    }
  }
  return out;
}

class ERegExpr : public Exception {
 public:
  using Exception::Exception;
};

class Compiled {
 public:
  explicit Compiled(std::u16string_view pattern) {
    std::u16string translated = Translate(pattern);
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                          PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
    if (!code_) {
      PCRE2_UCHAR message[256];
      pcre2_get_error_message(error, message, 256);
      throw ERegExpr(u"Invalid regular expression: " + std::u16string(reinterpret_cast<const char16_t*>(message)) + u".");
    }
  }
  ~Compiled() { pcre2_code_free(code_); }
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;

  // Whether it matches; the captures (0 the whole match) when it does.
  bool Match(std::u16string_view subject, std::vector<std::u16string>* captures) const {
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_, nullptr);
    if (!data) throw EOutOfMemory();
    int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0, data, nullptr);
    const bool matched = rc >= 0;
    if (matched && captures) {
      std::uint32_t groups = 0;
      pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &groups);
      PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
      captures->clear();
      for (std::uint32_t g = 0; g <= groups; ++g) {
        PCRE2_SIZE begin = ovector[2 * g], end = ovector[2 * g + 1];
        captures->push_back(begin == PCRE2_UNSET ? std::u16string() : std::u16string(subject.substr(begin, end - begin)));
      }
    }
    pcre2_match_data_free(data);
    return matched;
  }

 private:
  pcre2_code* code_ = nullptr;
};

class TRegExpr : public Implements<ComObject, IcvRegExpr> {
 public:
  HRESULT SetPattern(const char16_t* pattern) override {
    return SafeCall([&] {
      auto compiled = std::make_unique<Compiled>(pattern ? pattern : u"");
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
  std::unique_ptr<Compiled> compiled_;
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
      Compiled compiled(pattern ? pattern : u"");
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
