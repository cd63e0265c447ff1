// TateHighLighter: a table-driven state machine that colours one line at a time. Every
// consuming state owns a 256-entry table naming the next state for each byte; the line is
// scanned once, character by character, from the state at the end of the previous line, and
// each character gets the style index of the state that consumes it (written into the line's
// row). Passing states mark positions and hand the same character on: keyword starts and ends
// (a word of two or more characters found in the group's table is restyled), and replace
// states that rewind to the start of a failed delimiter so another state takes it again.
//
// The line is scanned as bytes of Windows-1250 (a unit without a form there is 0xFF), followed
// by one blank and a carriage return; character sets map their units through the same code
// page, and keywords are looked up on the folded UTF-16 text. States are built by the builder
// operations (AddBlock, AddKeywords, AddRegion, AddKeywordsToGroup) by name, compared ignoring
// case; a name asked for again returns the state as it is. The scan always advances: a region
// that restarts at the root after a failed multi-character start leaves the start's first
// character in the fallback's style, and a definition whose passing states hand a character
// around without taking it has that character taken in style 0.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/containers/ate_classes.h"
#include "editor/highlight/builtin_definitions.h"
#include "editor/highlight/hl_row.h"
#include "editor/intf/ate_intf.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

inline constexpr std::uint32_t clWindowText = 0xFF000008;
inline constexpr std::uint32_t clNone = 0x1FFFFFFF;
enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class TateHLStyle final : public TateHLStyleIntf {
 public:
  explicit TateHLStyle(WideString name) : Name(std::move(name)) {}
  std::uint32_t GetColor() const override { return Color; }
  std::uint8_t GetFontStyle() const override { return FontStyle; }
  std::uint32_t GetBackColor() const override { return BackColor; }
  const WideString& GetName() const override { return Name; }
  void SetColor(std::uint32_t v) override { Color = v; }
  void SetFontStyle(std::uint8_t v) override { FontStyle = v; }
  void SetBackColor(std::uint32_t v) override { BackColor = v; }

  WideString Name;
  std::uint32_t Color = clWindowText;
  std::uint8_t FontStyle = 0;
  std::uint32_t BackColor = clNone;
};

class TateHLStyles final : public TateHLStylesIntf {
 public:
  std::int32_t GetCount() const override { return static_cast<std::int32_t>(styles_.size()); }
  TateHLStyle* GetStyle(std::int32_t index) const override { return styles_[static_cast<std::size_t>(index)].get(); }
  // The style of that name (ignoring case), appended when missing.
  TateHLStyle* FindOrAddStyle(WideStringView name) override;
  TateHLStyle* GetStyleSafe(std::int32_t index) const override;
  std::int32_t IndexOfStyle(const TateHLStyleIntf* style) const override;
  void Clear() override { styles_.clear(); }

 private:
  std::vector<std::unique_ptr<TateHLStyle>> styles_;
};

class TateHighLighter;

// A named state.
class TateHLStateBase : public TateHLStateInternal {
 public:
  // How the scan loop treats the state without calling it: kinds 0 and 1 take the character
  // in their style (0 also marks a token start), the root only marks; others are called.
  enum : std::uint8_t { kTake = 0, kTakeBody = 1, kCall = 2, kRoot = 3 };
  explicit TateHLStateBase(TateHighLighter* owner, std::uint8_t fastKind = kCall) : Owner(owner), FastKind(fastKind) {}
  virtual bool Consumes() const { return false; }
  WideString Name;
  TateHighLighter* Owner;
  const std::uint8_t FastKind;
};

class TateHLLookUpTable {
 public:
  explicit TateHLLookUpTable(TateHLStateBase* fill) { entries_.fill(fill); }
  // Empty `chars`: all 256 entries; otherwise the entry of each unit's Windows-1250 byte.
  void SetChars(WideStringView chars, TateHLStateBase* state);
  TateHLStateBase* operator[](std::uint8_t b) const { return entries_[b]; }

 private:
  std::array<TateHLStateBase*, 256> entries_;
};

// Kind 0: takes a character in its style and marks it as a token start.
class TateHLState : public TateHLStateBase {
 public:
  TateHLState(TateHighLighter* owner, std::int32_t styleIndex, std::uint8_t fastKind = kTake)
      : TateHLStateBase(owner, fastKind), Table(this), StyleIndex(styleIndex) {}
  TateHLStateBase* Next() override;
  void Mark() override;
  bool Consumes() const override { return true; }
  void SetChars(WideStringView chars, TateHLStateBase* state);
  TateHLLookUpTable Table;
  std::int32_t StyleIndex;
};

// Kind 1: takes a character without moving the token start.
class TateHLStateBody : public TateHLState {
 public:
  TateHLStateBody(TateHighLighter* owner, std::int32_t styleIndex) : TateHLState(owner, styleIndex, kTakeBody) {}
  void Mark() override;
};

// Kind 2: marks the start of a word and hands on to NextState.
class TateHLKeywordStartState : public TateHLStateBase {
 public:
  using TateHLStateBase::TateHLStateBase;
  TateHLStateBase* Next() override { return NextState; }
  void Mark() override;
  void SetNext(TateHLStateBase* state) { NextState = state; }
  TateHLStateBase* NextState = nullptr;
};

// Kind 3: at the end of a word, restyles it when it is one of the keywords.
class TateHLKeywordEndState : public TateHLStateBase {
 public:
  explicit TateHLKeywordEndState(TateHighLighter* owner) : TateHLStateBase(owner), Keywords(11) {}
  TateHLStateBase* Next() override;
  void Mark() override;
  void AddKeyword(WideStringView word, std::int32_t styleIndex) { Keywords.SetValue(word, styleIndex); }
  TateWideStringTable Keywords;
};

// Kind 4: a failed delimiter; rewinds to the token start for another state to take it again.
class TateHLReplaceState : public TateHLStateBase {
 public:
  using TateHLStateBase::TateHLStateBase;
  TateHLStateBase* Next() override { return NextState; }
  void Mark() override;
  void Setup(TateHLStateBase* target, std::int32_t count, bool restartAtRoot, bool usePrefix);
  TateHLStateBase* Target = nullptr;
  TateHLStateBase* NextState = nullptr;
  std::int32_t Count = 0;
  bool UsePrefix = false;
};

class TateHLRootState : public TateHLStateBase {
 public:
  explicit TateHLRootState(TateHighLighter* owner) : TateHLStateBase(owner, kRoot), Table(this) {}
  TateHLStateBase* Next() override;
  void Mark() override;
  void SetChars(WideStringView chars, TateHLStateBase* state) { Table.SetChars(chars, state); }
  TateHLLookUpTable Table;
};

class TateHighLighter final : public TateHighLighterIntf {
 public:
  TateHighLighter();
  ~TateHighLighter() override;

  // Replaces the whole definition by built-in definition `kind` (0..10; above: only the
  // prologue) with the caller's style names. Every row must be rescanned afterwards.
  void CreateBuiltInParsers(std::uint8_t kind, const TateBuiltInStyleNames& names) override;
  TateHLStateInternal* GetRootState() override { return rootState_.get(); }
  TateHLStateBase* Root() const { return rootState_.get(); }
  void ScanLine(TateHLStateInternal* startState, const WideString& text, TateHLRow* row) override;
  TateHLStyles& GetStyles() override { return styles_; }
  // Frees every state and style and makes a new root state; the name and case are kept.
  void Clear() override;
  void SetCaseSensitive(bool value) override { caseSensitive_ = value; }
  bool CaseSensitive() const { return caseSensitive_; }
  WideString FoldCase(WideStringView s) const;

  void AddBlock(WideStringView name, WideStringView styleName, WideStringView startChars, WideStringView endChars,
                bool run, WideStringView escapeChars) override;
  void AddKeywords(WideStringView name, WideStringView styleName, WideStringView group, WideStringView startChars,
                   WideStringView wordChars, const std::vector<WideString>& keywords) override;
  void AddRegion(WideStringView name, WideStringView styleName, WideStringView fallback, WideStringView startDelim,
                 WideStringView endSpec, bool endIsRun, bool restartAtRoot, bool usePrefix) override;
  void AddKeywordsToGroup(WideStringView group, WideStringView styleName,
                          const std::vector<WideString>& keywords) override;

  // The state registered under `name` whatever its kind, else a new one of `kind` (0..4) in
  // the style `styleName` (added when missing).
  TateHLStateBase* GetOrCreateState(WideStringView name, WideStringView styleName, int kind);
  TateHLStateBase* FindState(WideStringView name) const;
  std::int32_t StateCount() const { return static_cast<std::int32_t>(states_.size()); }

  WideString ParserName;

  // The scan in progress (the states read and move it).
  std::string Buffer;  // index 0 unused: positions are 1-based
  WideString Folded;   // the folded line, 1-based through Folded[Pos - 1]
  std::int32_t Pos = 1;
  std::int32_t Length = 0;
  TateHLRow* Row = nullptr;
  std::int32_t WordStart = 1;
  std::int32_t TokenStart = 1;
  void SetStyle(std::int32_t from, std::int32_t to, std::int32_t styleIndex);
  // The style of the character at Pos (1 <= Pos <= Length, inside the row by construction).
  void SetStyleAtPos(std::int32_t styleIndex) { EntriesAt[Pos - 1].Style = static_cast<std::uint16_t>(styleIndex); }
  std::uint8_t ByteAtPos() const { return BytesAt[Pos]; }
  // The row's entries (from 0) and the scanned bytes (by Pos), valid during a scan.
  TateHLEntry* EntriesAt = nullptr;
  const std::uint8_t* BytesAt = nullptr;

 private:
  static void SetAll(TateHLStateBase* state, WideStringView chars, TateHLStateBase* to);
  void ScanCalling(TateHLRow* row);
  void ScanInline(TateHLStateBase* state, TateHLRow* row);

  std::unique_ptr<TateHLRootState> rootState_;
  TateHLStyles styles_;
  std::map<WideString, std::unique_ptr<TateHLStateBase>, IgnoringCaseLess> states_;
  bool caseSensitive_ = false;
};

}  // namespace pw::editor
