#include "editor/parser/parser.h"

#include <algorithm>
#include <functional>

#include "platform/rtl/codepage.h"
#include "platform/rtl/filer.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {
bool IsWordChar(char16_t c) { return WordChars.Contains(static_cast<std::uint8_t>(c & 0xFF)); }
char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }
}  // namespace

// ---- items

void TateSyntaxStyle::SetName(WideStringView name) {
  if (name == name_) return;
  if (owner_) owner_->CheckUniqueName(this, name);
  name_ = WideString(name);
  if (owner_) owner_->ItemChanged();
}

void TateParseState::SetName(WideStringView name) {
  if (name == name_) return;
  owner_->CheckUniqueName(this, name);
  name_ = WideString(name);
  owner_->ItemChanged();
}

void TateParseRule::SetName(WideStringView name) {
  if (name == name_) return;
  owner_->CheckUniqueName(this, name);
  name_ = WideString(name);
  Changed();
}
void TateParseRule::Changed() { owner_->ItemChanged(); }
void TateParseRule::SetCaseSensitive(bool v) {
  if (v != caseSensitive_) caseSensitive_ = v, Changed();
}
void TateParseRule::SetRegExpr(bool v) {
  if (v != regExpr_) regExpr_ = v, Changed();
}
void TateParseRule::SetInitState(TateParseState* s) {
  if (s != initState_) initState_ = s, Changed();
}
void TateParseRule::SetSetState(TateParseState* s) {
  if (s != setState_) setState_ = s, Changed();
}
void TateParseRule::SetStyle(TateSyntaxStyle* s) {
  if (s != style_) style_ = s, Changed();
}
void TateParseRule::SetExpression(WideStringView text) {
  const WideString trimmed = WideTrim(text);
  if (trimmed == expression_.GetTextStr() && !(trimmed.empty() && expression_.GetCount() > 0)) return;
  expression_.Clear();
  if (!trimmed.empty()) expression_.SetTextStr(trimmed);
  Changed();
}

// ---- streaming

namespace {

// The collection of a parser's items of type T, kept in `items`; `clear` empties it.
template <class T>
void AddItems(TPropList& list, std::string name, TateParser* parser, std::vector<std::unique_ptr<T>>& items,
              const std::function<void()>& begin, const std::function<void()>& end, std::function<void()> clear) {
  list.AddCollection(
      std::move(name), [&items] { return static_cast<std::int32_t>(items.size()); },
      [&items](std::int32_t i) { return items[static_cast<std::size_t>(i)].get(); }, std::move(clear),
      [&items, parser]() -> TPersistent* {
        items.push_back(std::make_unique<T>(parser));
        return items.back().get();
      },
      begin, end);
}

}  // namespace

void TateSyntaxStyle::PublishedProperties(TPropList& list) {
  // A value read from the stream tells the parser, as the parser's own changes do.
  auto changed = [this] {
    if (owner_) owner_->ItemChanged();
  };
  list.AddWideString(
      "Name", [this] { return name_; }, [this](const WideString& v) { SetName(v); });
  list.AddColour(
      "FontColor", 0xFF000008u, [this] { return FontColor; },
      [this, changed](std::uint32_t v) {
        FontColor = v;
        changed();
      });
  list.AddSet(
      "FontStyle", kFontStyleNames, 0, [this] { return static_cast<std::int32_t>(FontStyle); },
      [this, changed](std::int32_t v) {
        FontStyle = static_cast<std::uint8_t>(v & 0x0F);
        changed();
      });
  list.AddColour(
      "Color", 0xFF000005u, [this] { return Color; },
      [this, changed](std::uint32_t v) {
        Color = v;
        changed();
      });
}

void TateParseState::PublishedProperties(TPropList& list) {
  list.AddWideString(
      "Name", [this] { return name_; }, [this](const WideString& v) { SetName(v); });
  list.AddBoolean(
      "ResetOnEndLine", true, [this] { return ResetOnEndLine; }, [this](bool v) { ResetOnEndLine = v; });
  list.AddBoolean(
      "CaseSensetive", std::nullopt, [this] { return CaseSensetive; }, [this](bool v) { CaseSensetive = v; });
}

void TateParseRule::PublishedProperties(TPropList& list) {
  list.AddWideString(
      "Name", [this] { return name_; }, [this](const WideString& v) { SetName(v); });
  list.AddBoolean(
      "CaseSensitive", false, [this] { return caseSensitive_; }, [this](bool v) { SetCaseSensitive(v); });
  list.AddWideString(
      "InitStateRef", [this] { return initState_ ? initState_->Name() : WideString(); },
      [this](const WideString& v) { SetInitState(owner_->FindState(v)); });
  list.SetStored([this] { return initState_ != nullptr; });
  list.AddObject("Expression", [this] { return &expression_; });
  list.AddWideString(
      "SetStateRef", [this] { return setState_ ? setState_->Name() : WideString(); },
      [this](const WideString& v) { SetSetState(owner_->FindState(v)); });
  list.SetStored([this] { return setState_ != nullptr; });
  list.AddBoolean(
      "RegExpr", false, [this] { return regExpr_; }, [this](bool v) { SetRegExpr(v); });
  list.AddWideString(
      "StyleRef", [this] { return style_ ? style_->Name() : WideString(); },
      [this](const WideString& v) { SetStyle(owner_->FindStyle(v)); });
  list.SetStored([this] { return style_ != nullptr; });
}

void TateParser::PublishedProperties(TPropList& list) {
  auto begin = [this] { BeginUpdate(); };
  auto end = [this] {
    EndUpdate();
    ItemChanged();
  };
  AddItems(list, "States", this, states_, begin, end, [this] { ClearStates(); });
  AddItems(list, "Styles", this, styles_, begin, end, [this] { ClearStyles(); });
  AddItems(list, "Rules", this, rules_, begin, end, [this] { rules_.clear(); });
  list.AddWideString(
      "InitialStateRef", [this] { return InitialState ? InitialState->Name() : WideString(); },
      [this](const WideString& v) { InitialState = FindState(v); });
  list.SetStored([this] { return InitialState != nullptr; });
}

void TateParser::ClearStates() {
  for (const auto& r : rules_) {
    if (r->InitState()) r->SetInitState(nullptr);
    if (r->SetState()) r->SetSetState(nullptr);
  }
  InitialState = nullptr;
  currentState_ = nullptr;
  states_.clear();
}

void TateParser::ClearStyles() {
  for (const auto& r : rules_)
    if (r->Style()) r->SetStyle(nullptr);
  styles_.clear();
}

// ---- states

void TateParseState::AddRule(const TateParseRule& rule, std::int32_t index) {
  const TWideStrings& lines = rule.Expression();
  if (lines.GetCount() == 0) return;
  for (std::int32_t i = 0; i < lines.GetCount(); ++i) {
    WideString line = rule.CaseSensitive() ? lines.Get(i) : WideUpperCase(lines.Get(i));
    if (!rule.RegExpr())
      keywords_.SetValue(line, index + 1);
    else
      patterns_.push_back(std::make_unique<TateRegExprRule>(WideToSystemCodePage(line), rule.CaseSensitive(), index));
  }
}

void TateParseState::ClearRules() {
  keywords_.Clear();
  patterns_.clear();
}

TateParseRule* TateParseState::MatchRule(WideStringView line, std::int32_t& pos) {
  const std::size_t start = static_cast<std::size_t>(pos - 1);
  std::size_t end = start;
  while (end < line.size() && IsWordChar(line[end])) ++end;
  if (end > start) {
    WideString& word = word_;
    word.assign(line.substr(start, end - start));
    TateParseRule* rule = nullptr;
    if (CaseSensetive) {
      rule = owner_->Rule(keywords_.GetValue(word) - 1);
      if (rule && !rule->CaseSensitive()) rule = nullptr;
    } else {
      for (char16_t& c : word) c = AsciiUpper(c);
      rule = owner_->Rule(keywords_.GetValue(word) - 1);
      if (rule && rule->CaseSensitive()) rule = nullptr;
    }
    if (rule) {
      pos = static_cast<std::int32_t>(end) + 1;
      return rule;
    }
  }
  for (const auto& p : patterns_) {
    std::int32_t len = 0;
    if (p->Match(line.substr(start), len)) {
      pos += len;
      return owner_->Rule(p->Rule);
    }
  }
  pos = end > start ? static_cast<std::int32_t>(end) + 1 : pos + 1;
  return nullptr;
}

// ---- parser

TateParser::TateParser() : defaultStyle_(std::make_unique<TateSyntaxStyle>()) { defaultStyle_->Color = 0x1FFFFFFF; }

TateParser::~TateParser() {
  updateCount_ = 1;  // no rebuilds while the items go
  rules_.clear();
  states_.clear();
  styles_.clear();
}

void TateParser::CheckUniqueName(const void* item, WideStringView name) const {
  auto clash = [&](const auto& list) {
    for (const auto& i : list)
      if (i.get() != item && SameTextIgnoringCase(i->Name(), name)) return true;
    return false;
  };
  bool mine = false;
  for (const auto& s : states_) mine |= s.get() == item;
  if (mine ? clash(states_) : false) throw Exception(u"Collection does not allow duplicates.");
  mine = false;
  for (const auto& r : rules_) mine |= r.get() == item;
  if (mine ? clash(rules_) : false) throw Exception(u"Collection does not allow duplicates.");
  mine = false;
  for (const auto& s : styles_) mine |= s.get() == item;
  if (mine ? clash(styles_) : false) throw Exception(u"Collection does not allow duplicates.");
}

TateParseState* TateParser::AddState(WideStringView name) {
  states_.push_back(std::make_unique<TateParseState>(this));
  try {
    states_.back()->SetName(name);
  } catch (...) {
    states_.pop_back();
    throw;
  }
  return states_.back().get();
}

TateParseRule* TateParser::AddRule(WideStringView name) {
  rules_.push_back(std::make_unique<TateParseRule>(this));
  try {
    rules_.back()->SetName(name);
  } catch (...) {
    rules_.pop_back();
    throw;
  }
  return rules_.back().get();
}

TateSyntaxStyle* TateParser::AddStyle(WideStringView name) {
  styles_.push_back(std::make_unique<TateSyntaxStyle>(this));
  try {
    styles_.back()->SetName(name);
  } catch (...) {
    styles_.pop_back();
    throw;
  }
  return styles_.back().get();
}

TateParseState* TateParser::FindState(WideStringView name) const {
  for (const auto& s : states_)
    if (SameTextIgnoringCase(s->Name(), name)) return s.get();
  return nullptr;
}

TateSyntaxStyle* TateParser::FindStyle(WideStringView name) const {
  for (const auto& s : styles_)
    if (SameTextIgnoringCase(s->Name(), name)) return s.get();
  return nullptr;
}

TateParseRule* TateParser::Rule(std::int32_t index) const {
  return index >= 0 && index < RuleCount() ? rules_[static_cast<std::size_t>(index)].get() : nullptr;
}

void TateParser::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) handlers_.Notify(this, 0);
}

void TateParser::SetChangeHandler(const TateNotifyHandler& handler) {
  handlers_.Clear();
  handlers_.AddNotifier(handler);
}

void TateParser::ItemChanged() {
  if (updateCount_ == 0) Prepare();
}

void TateParser::Prepare() {
  if (updateCount_ > 0) return;
  BeginUpdate();
  try {
    for (const auto& s : states_) s->ClearRules();
    for (std::int32_t i = 0; i < RuleCount(); ++i)
      if (TateParseState* s = rules_[static_cast<std::size_t>(i)]->InitState())
        s->AddRule(*rules_[static_cast<std::size_t>(i)], i);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TateSyntaxStyle* TateParser::GetStyle(TateParseState*& state, WideStringView line, std::int32_t& pos) {
  if (!state) return nullptr;
  currentState_ = state;
  if (line.empty() || pos < 1 || pos > static_cast<std::int32_t>(line.size())) return defaultStyle_.get();
  TateParseRule* rule = state->MatchRule(line, pos);
  if (!rule) return defaultStyle_.get();
  if (rule->SetState()) state = rule->SetState();
  return rule->Style() ? rule->Style() : defaultStyle_.get();
}

// ---- editor parser

void TateEditorParser::Reset() {
  lineIndex_ = 0;
  position_ = tokenStart_ = 1;
  tokenStyle_ = nullptr;
  state_ = InitialState;
  line_ = lines_.GetCount() > 0 ? lines_.Get(0) : WideString();
}

bool TateEditorParser::NextLine() {
  position_ = tokenStart_ = 1;
  do {
    ++lineIndex_;
  } while (lineIndex_ < lines_.GetCount() && lines_.Get(lineIndex_).empty());
  if (lineIndex_ >= lines_.GetCount()) {
    line_.clear();
    tokenStyle_ = nullptr;
    return false;
  }
  line_ = lines_.Get(lineIndex_);
  return true;
}

TateSyntaxStyle* TateEditorParser::NextToken() {
  tokenStart_ = position_;
  if (line_.empty() || position_ > static_cast<std::int32_t>(line_.size())) {
    if (!NextLine()) return nullptr;
    tokenStart_ = position_;
  }
  tokenStyle_ = GetStyle(state_, line_, position_);
  return tokenStyle_;
}

WideString TateEditorParser::TokenText() const {
  const std::int32_t from = std::clamp(tokenStart_, 1, static_cast<std::int32_t>(line_.size()) + 1);
  const std::int32_t to = std::clamp(position_, from, static_cast<std::int32_t>(line_.size()) + 1);
  return line_.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from));
}

TateSyntaxStyle* TateEditorParser::PeekToken(WideString& text) {
  SaveContext();
  TateSyntaxStyle* s = NextToken();
  text = TokenText();
  RestoreContext();
  return s;
}

void TateEditorParser::SaveContext() {
  contexts_.push_back({line_, state_, tokenStyle_, position_, tokenStart_, lineIndex_});
}

void TateEditorParser::RestoreContext() {
  if (contexts_.empty()) return;
  Context c = std::move(contexts_.back());
  contexts_.pop_back();
  if (c.LineIndex != lineIndex_) line_ = std::move(c.Line);
  state_ = c.State;
  tokenStyle_ = c.Style;
  position_ = c.Position;
  tokenStart_ = c.TokenStart;
  lineIndex_ = c.LineIndex;
}

}  // namespace pw::editor
