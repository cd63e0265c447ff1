// The host's scripting languages and its code model: invoke expressions, expression lists and
// constants, rendered as source text of JavaScript or VBScript.
#pragma once

#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

inline constexpr GUID kJavaScriptLanguageKey = MakeGuid("{1FAB7838-80A7-4CDB-A6AF-76434181E689}");
inline constexpr GUID kVBScriptLanguageKey = MakeGuid("{5E885C0E-BE9C-4664-8958-BE7A159FFF61}");

// IcvSyntaxElement::GetElementKind values.
enum SyntaxElementKind : std::int32_t {
  kInvokeExpression = 1,
  kConstantExpression = 3,
  kBinaryExpression = 4,
  kRawText = 5,
  kCommentStatement = 6,
  kCommentText = 7
};

// The binary operator code of string concatenation.
inline constexpr std::int32_t kConcatenationOperator = 33;

// The operations every element has beside its kind, which the test host does not serve.
#define PW_SYNTAX_ELEMENT_RESERVED                                                                      \
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) \
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)

class TSyntaxInvokeExpression final : public Implements<ComObject, IcvSyntaxCodeInvokeExpression> {
 public:
  HRESULT GetElementKind(std::int32_t* kind) override;
  PW_SYNTAX_ELEMENT_RESERVED
  PW_HOST_RESERVED(13) PW_HOST_RESERVED(14)
  HRESULT get_Name(BSTR* name) override;
  HRESULT put_Name(BSTR name) override;
  HRESULT get_Qualifier(IcvSyntaxElement** qualifier) override;
  HRESULT put_Qualifier(IcvSyntaxElement* qualifier) override;
  HRESULT get_Arguments(IcvSyntaxExpressionCollection** arguments) override;
  HRESULT put_Arguments(IcvSyntaxExpressionCollection* arguments) override;
  HRESULT get_HasArgumentList(VARIANT_BOOL* value) override;
  HRESULT put_HasArgumentList(VARIANT_BOOL value) override;

 private:
  std::mutex lock_;
  WideString name_;
  ComPtr<IcvSyntaxElement> qualifier_;
  ComPtr<IcvSyntaxExpressionCollection> arguments_;
  bool hasArgumentList_ = false;
};

class TSyntaxExpressionCollection final : public Implements<ComObject, IcvSyntaxExpressionCollection> {
 public:
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT Add(IcvSyntaxElement* element) override;
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  HRESULT GetItem(std::int32_t index, IcvSyntaxElement** element) override;

 private:
  std::mutex lock_;
  std::vector<ComPtr<IcvSyntaxElement>> items_;
};

class TSyntaxConstantExpression final : public Implements<ComObject, IcvSyntaxConstantExpression> {
 public:
  HRESULT GetElementKind(std::int32_t* kind) override;
  PW_SYNTAX_ELEMENT_RESERVED
  HRESULT get_Value(VARIANT* value) override;
  HRESULT put_Value(const VARIANT& value) override;

 private:
  std::mutex lock_;
  OleVariant value_;
};

// Left Operator Right. Operator 33 is concatenation: "+" in JavaScript, "&" in VBScript.
class TSyntaxBinaryExpression final : public Implements<ComObject, IcvSyntaxBinaryExpression> {
 public:
  HRESULT GetElementKind(std::int32_t* kind) override;
  PW_SYNTAX_ELEMENT_RESERVED
  HRESULT get_Operator(std::int32_t* code) override;
  HRESULT put_Operator(std::int32_t code) override;
  HRESULT get_Left(IcvSyntaxElement** left) override;
  HRESULT put_Left(IcvSyntaxElement* left) override;
  HRESULT get_Right(IcvSyntaxElement** right) override;
  HRESULT put_Right(IcvSyntaxElement* right) override;

 private:
  std::mutex lock_;
  std::int32_t operator_ = 0;
  ComPtr<IcvSyntaxElement> left_, right_;
};

// Source text written as it stands (the same in every language).
class TSyntaxRawText final : public Implements<ComObject, IcvSyntaxRawText> {
 public:
  HRESULT GetElementKind(std::int32_t* kind) override;
  PW_SYNTAX_ELEMENT_RESERVED
  HRESULT get_Text(BSTR* text) override;
  HRESULT put_Text(BSTR text) override;

 private:
  std::mutex lock_;
  WideString text_;
};

// A comment statement: "// " (JavaScript) or "' " (VBScript) and its body.
class TSyntaxComment final : public Implements<ComObject, IcvSyntaxComment> {
 public:
  HRESULT GetElementKind(std::int32_t* kind) override;
  PW_SYNTAX_ELEMENT_RESERVED
  HRESULT get_Body(IcvSyntaxElement** body) override;
  HRESULT put_Body(IcvSyntaxElement* body) override;

 private:
  std::mutex lock_;
  ComPtr<IcvSyntaxElement> body_;
};

// The text of a comment, written as it stands (line breaks become blanks).
class TSyntaxCommentText final : public Implements<ComObject, IcvSyntaxCommentText> {
 public:
  HRESULT GetElementKind(std::int32_t* kind) override;
  PW_SYNTAX_ELEMENT_RESERVED
  HRESULT get_Text(BSTR* text) override;
  HRESULT put_Text(BSTR text) override;

 private:
  std::mutex lock_;
  WideString text_;
};

// A new invoke expression Qualifier.Name(args...) with constant arguments (none: no argument
// list) -- how the host builds the names of its own test objects.
ComPtr<IcvSyntaxCodeInvokeExpression> MakeInvokeExpression(WideStringView name, const std::vector<OleVariant>& args,
                                                           IcvSyntaxElement* qualifier = nullptr);

// The element as source text of a language (raises for an unknown language, a value that has
// no source form, or an element that qualifies itself).
WideString RenderSyntaxElement(IcvSyntaxElement* element, const GUID& languageKey);

class TSyntaxManager final : public Implements<ComObject, IcvSyntaxManager> {
 public:
  struct Language {
    GUID key;
    WideString name;
  };
  // JavaScript and VBScript, in that order.
  TSyntaxManager();
  const std::vector<Language>& Languages() const { return languages_; }

  HRESULT GetLanguageCount(std::int32_t* count) override;
  HRESULT GetLanguageKey(std::int32_t index, GUID* key) override;
  HRESULT GetLanguageName(const GUID& key, BSTR* name) override;
  HRESULT RenderElement(IcvSyntaxElement* element, const GUID& languageKey, BSTR* text) override;
  PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
  HRESULT CreateObject(const GUID& iid, IUnknown** object) override;

 private:
  std::vector<Language> languages_;
};

}  // namespace pw::host
