#include "editor/highlight/highlighter.h"

#include <algorithm>

#include "platform/rtl/codepage.h"

namespace pw::editor {

namespace {
constexpr char16_t kSeparators[] = u"\\/-()*,.:;[]`~<=>@+{}%$^&!#| ?0123456789";
// A definition that goes this many steps without getting past the furthest character yet
// taken is a loop: that character is taken in style 0.
constexpr int kMaxStepsWithoutProgress = 1024;
}  // namespace

// ---- styles

TateHLStyle* TateHLStyles::FindOrAddStyle(WideStringView name) {
  for (const auto& s : styles_)
    if (SameTextIgnoringCase(s->Name, name)) return s.get();
  styles_.push_back(std::make_unique<TateHLStyle>(WideString(name)));
  return styles_.back().get();
}

TateHLStyle* TateHLStyles::GetStyleSafe(std::int32_t index) const {
  if (styles_.empty()) return nullptr;
  return index >= 0 && index < GetCount() ? GetStyle(index) : GetStyle(0);
}

std::int32_t TateHLStyles::IndexOfStyle(const TateHLStyleIntf* style) const {
  for (std::size_t i = 0; i < styles_.size(); ++i)
    if (styles_[i].get() == style) return static_cast<std::int32_t>(i);
  return -1;
}

// ---- tables and states

void TateHLLookUpTable::SetChars(WideStringView chars, TateHLStateBase* state) {
  if (chars.empty()) {
    entries_.fill(state);
    return;
  }
  for (char16_t c : chars) entries_[WideCharToCodePage1250(c)] = state;
}

void TateHLState::SetChars(WideStringView chars, TateHLStateBase* state) { Table.SetChars(chars, state); }

TateHLStateBase* TateHLState::Next() { return Table[Owner->ByteAtPos()]; }

void TateHLState::Mark() {
  Owner->TokenStart = Owner->Pos;
  Owner->SetStyleAtPos(StyleIndex);
  ++Owner->Pos;
}

void TateHLStateBody::Mark() {
  Owner->SetStyleAtPos(StyleIndex);
  ++Owner->Pos;
}

void TateHLKeywordStartState::Mark() {
  Owner->WordStart = Owner->Pos;
  Owner->TokenStart = Owner->Pos;
}

TateHLStateBase* TateHLKeywordEndState::Next() { return Owner->Root(); }

void TateHLKeywordEndState::Mark() {
  Owner->TokenStart = Owner->Pos;
  const std::int32_t w = Owner->WordStart;
  const std::int32_t len = Owner->Pos - w;
  if (len > 1 && w >= 1 && static_cast<std::size_t>(w - 1 + len) <= Owner->Folded.size()) {
    const std::int32_t style = Keywords.GetValue(
        WideStringView(Owner->Folded).substr(static_cast<std::size_t>(w - 1), static_cast<std::size_t>(len)));
    if (style != 0) Owner->SetStyle(w, Owner->Pos - 1, style);
  }
}

void TateHLReplaceState::Setup(TateHLStateBase* target, std::int32_t count, bool restartAtRoot, bool usePrefix) {
  Count = count;
  UsePrefix = usePrefix;
  if (usePrefix) {
    TateHLStateBase* relay = Owner->GetOrCreateState(target->Name + u"_Prefix", u"", 0);
    if (auto* s = dynamic_cast<TateHLState*>(relay)) s->SetChars(u"", target);
    Target = relay;
  } else {
    Target = target;
  }
  NextState = restartAtRoot ? Owner->Root() : Target;
}

void TateHLReplaceState::Mark() {
  if (UsePrefix) {
    Owner->Row->State = Target;
  } else {
    const auto* consuming = dynamic_cast<TateHLState*>(Target);
    Owner->SetStyle(Owner->Pos - Count, Owner->Pos, consuming ? consuming->StyleIndex : 0);
  }
  // Restarting at the root without a relay would dispatch the same start again: the start's
  // first character stays in the fallback's style and the scan goes on after it.
  if (!UsePrefix && NextState == Owner->GetRootState() && Count >= 1)
    Owner->Pos = Owner->TokenStart + 1;
  else
    Owner->Pos = Owner->TokenStart;
}

TateHLStateBase* TateHLRootState::Next() { return Table[Owner->ByteAtPos()]; }

void TateHLRootState::Mark() {
  Owner->TokenStart = Owner->Pos;
  Owner->WordStart = Owner->Pos;
}

// ---- the highlighter

TateHighLighter::TateHighLighter() {
  Clear();
  AddBlock(u"Indent", u"Indent", u"", u"", true, u"");
}

TateHighLighter::~TateHighLighter() {
  states_.clear();
  rootState_.reset();
}

void TateHighLighter::Clear() {
  states_.clear();
  styles_.Clear();
  rootState_ = std::make_unique<TateHLRootState>(this);
}

WideString TateHighLighter::FoldCase(WideStringView s) const {
  return caseSensitive_ ? WideString(s) : WideUpperCase(s);
}

TateHLStateBase* TateHighLighter::FindState(WideStringView name) const {
  auto it = states_.find(WideString(name));
  return it == states_.end() ? nullptr : it->second.get();
}

TateHLStateBase* TateHighLighter::GetOrCreateState(WideStringView name, WideStringView styleName, int kind) {
  if (TateHLStateBase* s = FindState(name)) return s;
  const std::int32_t style = styles_.IndexOfStyle(styles_.FindOrAddStyle(styleName));
  std::unique_ptr<TateHLStateBase> state;
  switch (kind) {
    case 1:
      state = std::make_unique<TateHLStateBody>(this, style);
      break;
    case 2:
      state = std::make_unique<TateHLKeywordStartState>(this);
      break;
    case 3:
      state = std::make_unique<TateHLKeywordEndState>(this);
      break;
    case 4:
      state = std::make_unique<TateHLReplaceState>(this);
      break;
    default:
      state = std::make_unique<TateHLState>(this, style);
      break;
  }
  state->Name = WideString(name);
  TateHLStateBase* raw = state.get();
  states_.emplace(WideString(name), std::move(state));
  return raw;
}

void TateHighLighter::SetAll(TateHLStateBase* state, WideStringView chars, TateHLStateBase* to) {
  if (auto* s = dynamic_cast<TateHLState*>(state)) s->SetChars(chars, to);
}

void TateHighLighter::SetStyle(std::int32_t from, std::int32_t to, std::int32_t styleIndex) {
  if (!Row) return;
  from = std::max(from, 1);
  to = std::min(to, Row->GetCount());
  for (std::int32_t i = from; i <= to; ++i)
    Row->Entries[static_cast<std::size_t>(i - 1)].Style = static_cast<std::uint16_t>(styleIndex);
}

void TateHighLighter::ScanLine(TateHLStateInternal* startState, const WideString& text, TateHLRow* row) {
  // The folded line and its bytes reuse their buffers from line to line.
  const std::size_t n = text.size();
  Folded.resize(n + 2);
  Buffer.resize(n + 3);
  static const unsigned char* const kTable = CodePage1250Table();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = text[i];
    if (!caseSensitive_) c = c < 0x80 ? (c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c) : WideUpperChar(c);
    Folded[i] = c;
    Buffer[i + 1] = static_cast<char>(kTable[c]);
  }
  Folded[n] = Folded[n + 1] = u' ';
  Buffer[0] = '\0';
  Buffer[n + 1] = static_cast<char>(kTable[u' ']);
  Length = static_cast<std::int32_t>(n + 2);
  Buffer[static_cast<std::size_t>(Length)] = '\r';
  WordStart = 1;
  TokenStart = 1;
  Row = row;
  if (row->Entries.size() < static_cast<std::size_t>(Length) + 3)
    row->Entries.resize(static_cast<std::size_t>(Length) + 3);
  EntriesAt = row->Entries.data();
  BytesAt = reinterpret_cast<const std::uint8_t*>(Buffer.data());
  Pos = 1;
  // A start state of this highlighter takes the loop below; any other is called as it is.
  auto* start = startState ? dynamic_cast<TateHLStateBase*>(startState) : rootState_.get();
  if (!start || start->Owner != this) {
    row->State = startState;
    ScanCalling(row);
  } else {
    ScanInline(start, row);
  }
  Row = nullptr;
}

// The scan with every state called through its two operations.
void TateHighLighter::ScanCalling(TateHLRow* row) {
  std::int32_t furthest = 1;
  int steps = 0;
  while (Pos <= Length) {
    TateHLStateInternal* next = row->State->Next();
    if (!next) next = rootState_.get();
    row->State = next;
    next->Mark();
    if (Pos > furthest) {
      furthest = Pos;
      steps = 0;
    } else if (++steps > kMaxStepsWithoutProgress) {
      SetStyle(furthest, furthest, 0);
      Pos = furthest = furthest + 1;
      row->State = rootState_.get();
      steps = 0;
    }
  }
}

// The same scan over this highlighter's own states: the states that only look a byte up and
// take the character (or mark a start) run here without a call, with the position in a
// register; the others are called as above.
void TateHighLighter::ScanInline(TateHLStateBase* state, TateHLRow* row) {
  TateHLEntry* const entries = EntriesAt;
  const std::uint8_t* const bytes = BytesAt;
  TateHLRootState* const root = rootState_.get();
  const std::int32_t length = Length;
  std::int32_t pos = 1;
  std::int32_t furthest = 1;
  int steps = 0;
  while (pos <= length) {
    TateHLStateBase* next;
    switch (state->FastKind) {
      case TateHLStateBase::kTake:
      case TateHLStateBase::kTakeBody: next = static_cast<TateHLState*>(state)->Table[bytes[pos]]; break;
      case TateHLStateBase::kRoot: next = static_cast<TateHLRootState*>(state)->Table[bytes[pos]]; break;
      default:
        Pos = pos;
        next = static_cast<TateHLStateBase*>(state->Next());
        pos = Pos;
        break;
    }
    if (!next) next = root;
    state = next;
    switch (next->FastKind) {
      case TateHLStateBase::kTake: TokenStart = pos; [[fallthrough]];
      case TateHLStateBase::kTakeBody:
        entries[pos - 1].Style = static_cast<std::uint16_t>(static_cast<TateHLState*>(next)->StyleIndex);
        ++pos;
        break;
      case TateHLStateBase::kRoot: TokenStart = WordStart = pos; break;
      default:
        Pos = pos;
        row->State = next;
        next->Mark();
        state = static_cast<TateHLStateBase*>(row->State);  // a relay may hand on to its target
        pos = Pos;
        break;
    }
    if (pos > furthest) {
      furthest = pos;
      steps = 0;
    } else if (++steps > kMaxStepsWithoutProgress) {
      entries[furthest - 1].Style = 0;
      pos = furthest = furthest + 1;
      state = root;
      steps = 0;
    }
  }
  Pos = pos;
  row->State = state;
}

// ---- builder operations

void TateHighLighter::AddBlock(WideStringView name, WideStringView styleName, WideStringView startChars,
                               WideStringView endChars, bool run, WideStringView escapeChars) {
  TateHLStateBase* b = GetOrCreateState(name, styleName, 0);
  const WideString start = FoldCase(startChars), end = FoldCase(endChars), escape = FoldCase(escapeChars);
  rootState_->SetChars(start, b);
  if (run) {
    SetAll(b, u"", rootState_.get());
    SetAll(b, end, b);
  } else if (end.empty()) {
    SetAll(b, u"", rootState_.get());
  } else {
    SetAll(b, u"", b);
    TateHLStateBase* e = GetOrCreateState(u"_" + WideString(name) + u"_END", styleName, 0);
    SetAll(e, u"", rootState_.get());
    SetAll(b, end, e);
    if (!escape.empty()) {
      TateHLStateBase* k = GetOrCreateState(u"_" + WideString(name) + u"_SkipEND", styleName, 0);
      SetAll(k, u"", b);
      SetAll(b, escape, k);
    }
  }
}

void TateHighLighter::AddKeywords(WideStringView name, WideStringView styleName, WideStringView group,
                                  WideStringView startChars, WideStringView wordChars,
                                  const std::vector<WideString>& keywords) {
  TateHLStateBase* b = GetOrCreateState(name, styleName, 0);
  TateHLStateBase* s = GetOrCreateState(WideString(name) + u"_Start", u"", 2);
  if (auto* ks = dynamic_cast<TateHLKeywordStartState*>(s)) ks->SetNext(b);
  rootState_->SetChars(FoldCase(startChars), s);
  TateHLStateBase* e = GetOrCreateState(group, u"", 3);
  const std::int32_t groupStyle = styles_.IndexOfStyle(styles_.FindOrAddStyle(group));
  if (auto* ke = dynamic_cast<TateHLKeywordEndState*>(e))
    for (const auto& w : keywords) ke->AddKeyword(FoldCase(w), groupStyle);
  SetAll(b, u"", e);
  SetAll(b, u"\r", rootState_.get());
  SetAll(b, FoldCase(wordChars), b);
}

void TateHighLighter::AddKeywordsToGroup(WideStringView group, WideStringView styleName,
                                         const std::vector<WideString>& keywords) {
  const std::int32_t style = styles_.IndexOfStyle(styles_.FindOrAddStyle(styleName));
  if (auto* ke = dynamic_cast<TateHLKeywordEndState*>(GetOrCreateState(group, u"", 3)))
    for (const auto& w : keywords) ke->AddKeyword(FoldCase(w), style);
}

void TateHighLighter::AddRegion(WideStringView name, WideStringView styleName, WideStringView fallback,
                                WideStringView startDelim, WideStringView endSpec, bool endIsRun, bool restartAtRoot,
                                bool usePrefix) {
  const WideString n(name), endName(endSpec);
  const WideString start = FoldCase(startDelim), end = FoldCase(endSpec);
  if (start.empty()) return;
  const bool first = FindState(n + u"_Start1") == nullptr;
  TateHLStateBase* s1 = GetOrCreateState(n + u"_Start1", styleName, 0);
  rootState_->SetChars(start.substr(0, 1), s1);
  TateHLStateBase* f = GetOrCreateState(fallback, u"", 0);
  SetAll(f, u"\r", rootState_.get());
  auto* r = dynamic_cast<TateHLReplaceState*>(GetOrCreateState(n + u"_Replace", u"", 4));
  if (r) r->Setup(f, 1, restartAtRoot, usePrefix);
  TateHLStateBase* p = s1;
  for (std::size_t i = 2; i <= start.size(); ++i) {
    TateHLStateBase* si =
        GetOrCreateState(n + u"_Start" + IntToWide(static_cast<long long>(i)) + endName, styleName, 1);
    if (first && r) SetAll(p, u"", r);
    SetAll(p, start.substr(i - 1, 1), si);
    r = dynamic_cast<TateHLReplaceState*>(
        GetOrCreateState(n + u"_Replace" + IntToWide(static_cast<long long>(i)), u"", 4));
    if (r) r->Setup(f, static_cast<std::int32_t>(i), restartAtRoot, usePrefix);
    p = si;
  }
  TateHLStateBase* body = p;
  TateHLStateBase* e1 = GetOrCreateState(n + u"_End1" + endName, styleName, 0);
  SetAll(e1, u"", rootState_.get());
  if (endIsRun) {
    SetAll(body, u"", rootState_.get());
    SetAll(body, end, body);
    return;
  }
  if (end.empty()) return;
  const WideString c = end.substr(0, 1);
  if (WideStringView(kSeparators).find(c[0]) != WideStringView::npos) {
    SetAll(body, c, e1);
  } else {
    TateHLStateBase* z = GetOrCreateState(n + u"_End0", styleName, 0);
    SetAll(body, kSeparators, z);
    SetAll(z, u"", body);
    SetAll(z, kSeparators, z);
    SetAll(z, c, e1);
  }
  p = e1;
  for (std::size_t i = 2; i <= end.size(); ++i) {
    auto* ri = dynamic_cast<TateHLReplaceState*>(
        GetOrCreateState(n + u"_End_Replace" + IntToWide(static_cast<long long>(i)), u"", 4));
    if (ri) ri->Setup(body, static_cast<std::int32_t>(i - 1), false, false);
    if (ri) SetAll(p, u"", ri);
    TateHLStateBase* ei = GetOrCreateState(n + u"_End" + IntToWide(static_cast<long long>(i)) + endName, styleName, 0);
    SetAll(p, end.substr(i - 1, 1), ei);
    p = ei;
  }
  SetAll(p, u"", rootState_.get());
}

}  // namespace pw::editor
