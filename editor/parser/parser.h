// TateParser: a rule-based tokenizer for lines of wide text. Three named collections (states,
// rules, styles) describe it; from them each state gets a keyword table and a list of compiled
// masks (reg_expr.h). Scanning asks the current state for the token at a position: the
// matching rule gives the token's style and may switch the state, which carries on to the
// following text, across line ends. TateEditorParser walks a list of lines with a current
// token, saved contexts and a look-ahead.
//
// Names are unique in their collection ignoring case; renaming an item to a name another item
// has raises "Collection does not allow duplicates." (renaming an item to its own name in
// another case is allowed). Every change of a rule, state or style outside an update
// rebuilds the tables (Prepare), which raises the invalid-mask error of a faulty pattern.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/containers/ate_classes.h"
#include "editor/parser/reg_expr.h"
#include "editor/text/wide_strings.h"

namespace pw::editor {

class TateParser;
class TateParseRule;

class TateSyntaxStyle : public TPersistent {
 public:
  explicit TateSyntaxStyle(TateParser* owner = nullptr) : owner_(owner) {}
  WideString ClassName() const override { return u"TateSyntaxStyle"; }
  void PublishedProperties(TPropList& list) override;
  const WideString& Name() const { return name_; }
  void SetName(WideStringView name);
  std::uint32_t FontColor = 0xFF000008;  // the system window-text colour
  std::uint8_t FontStyle = 0;
  std::uint32_t Color = 0xFF000005;  // the system window colour
  std::int32_t TokenKind = 0;

 private:
  friend class TateParser;
  TateParser* owner_;
  WideString name_;
};

class TateRegExprRule : public TateRegExpr {
 public:
  TateRegExprRule(std::string expression, bool caseSensitive, std::int32_t rule)
      : TateRegExpr(std::move(expression), caseSensitive), Rule(rule) {}
  std::int32_t Rule;  // index in the parser's rules
};

class TateParseState : public TPersistent {
 public:
  explicit TateParseState(TateParser* owner) : owner_(owner), keywords_(50) {}
  WideString ClassName() const override { return u"TateParseState"; }
  void PublishedProperties(TPropList& list) override;
  const WideString& Name() const { return name_; }
  void SetName(WideStringView name);
  bool ResetOnEndLine = true;
  bool CaseSensetive = false;

  void AddRule(const TateParseRule& rule, std::int32_t index);
  void ClearRules();
  // The rule of the token at Pos (1-based) of Line, or nil; Pos moves past the token.
  TateParseRule* MatchRule(WideStringView line, std::int32_t& pos);

 private:
  friend class TateParser;
  TateParser* owner_;
  WideString name_;
  TateWideStringTable keywords_;  // keyword -> rule index + 1
  std::vector<std::unique_ptr<TateRegExprRule>> patterns_;
  WideString word_;  // the word being looked up (kept to reuse its buffer)
};

class TateParseRule : public TPersistent {
 public:
  explicit TateParseRule(TateParser* owner) : owner_(owner) {}
  WideString ClassName() const override { return u"TateParseRule"; }
  // The states and the style stream by name ("InitStateRef", "SetStateRef", "StyleRef"),
  // written only when set; a name the parser does not have reads as none.
  void PublishedProperties(TPropList& list) override;
  const WideString& Name() const { return name_; }
  void SetName(WideStringView name);
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool v);
  bool RegExpr() const { return regExpr_; }
  void SetRegExpr(bool v);
  TateParseState* InitState() const { return initState_; }
  void SetInitState(TateParseState* s);
  TateParseState* SetState() const { return setState_; }
  void SetSetState(TateParseState* s);
  TateSyntaxStyle* Style() const { return style_; }
  void SetStyle(TateSyntaxStyle* s);
  const TWideStrings& Expression() const { return expression_; }
  // The text with leading and trailing white space of the whole text trimmed, one line each.
  void SetExpression(WideStringView text);

 private:
  void Changed();
  TateParser* owner_;
  WideString name_;
  bool caseSensitive_ = false;
  bool regExpr_ = false;
  TateParseState* initState_ = nullptr;
  TateParseState* setState_ = nullptr;
  TateSyntaxStyle* style_ = nullptr;
  TWideStrings expression_;
};

class TateParser : public TPersistent {
 public:
  TateParser();
  ~TateParser() override;
  WideString ClassName() const override { return u"TateParser"; }
  // "States", "Styles" and "Rules" as collections, then "InitialStateRef" (the state's name,
  // written when set). Reading a collection replaces its items (references to removed states
  // and styles become none) inside one update, then rebuilds the tables.
  void PublishedProperties(TPropList& list) override;

  TateParseState* AddState(WideStringView name);
  TateParseRule* AddRule(WideStringView name);
  TateSyntaxStyle* AddStyle(WideStringView name);
  TateParseState* FindState(WideStringView name) const;
  TateSyntaxStyle* FindStyle(WideStringView name) const;
  TateParseRule* Rule(std::int32_t index) const;
  std::int32_t RuleCount() const { return static_cast<std::int32_t>(rules_.size()); }

  TateParseState* InitialState = nullptr;
  TateSyntaxStyle* DefaultStyle() const { return defaultStyle_.get(); }

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  // Empties the handler list and adds `handler`.
  void SetChangeHandler(const TateNotifyHandler& handler);
  void RemoveChangeHandler(const TateNotifyHandler& handler) { handlers_.RemoveNotifier(handler); }
  void Prepare();
  // Called by the items when one of them changed.
  void ItemChanged();
  // The token at Pos (1-based) of Line in State (see the class comment); nil without a state.
  virtual TateSyntaxStyle* GetStyle(TateParseState*& state, WideStringView line, std::int32_t& pos);
  // Raises Exception "Collection does not allow duplicates." when another item has the name.
  void CheckUniqueName(const void* item, WideStringView name) const;

 protected:
  TateParseState* currentState_ = nullptr;

 private:
  void ClearStates();
  void ClearStyles();
  std::vector<std::unique_ptr<TateParseState>> states_;
  std::vector<std::unique_ptr<TateParseRule>> rules_;
  std::vector<std::unique_ptr<TateSyntaxStyle>> styles_;
  std::unique_ptr<TateSyntaxStyle> defaultStyle_;
  TateNotifierList handlers_;
  std::int32_t updateCount_ = 0;
};

class TateEditorParser : public TateParser {
 public:
  TWideStrings& Lines() { return lines_; }
  void Reset();
  virtual bool NextLine();
  TateSyntaxStyle* NextToken();
  WideString TokenText() const;
  TateSyntaxStyle* PeekToken(WideString& text);
  void SaveContext();
  void RestoreContext();
  bool Eof() const { return lineIndex_ >= lines_.GetCount(); }
  std::int32_t Position() const { return position_; }
  std::int32_t TokenStart() const { return tokenStart_; }
  std::int32_t LineIndex() const { return lineIndex_; }
  TateSyntaxStyle* TokenStyle() const { return tokenStyle_; }
  TateParseState* CurrentState() const { return state_; }

 private:
  struct Context {
    WideString Line;
    TateParseState* State;
    TateSyntaxStyle* Style;
    std::int32_t Position, TokenStart, LineIndex;
  };
  TateSyntaxStyle* tokenStyle_ = nullptr;
  TWideStrings lines_;
  std::int32_t position_ = 1;
  std::int32_t tokenStart_ = 1;
  TateParseState* state_ = nullptr;
  WideString line_;
  std::int32_t lineIndex_ = 0;
  std::vector<Context> contexts_;
};

}  // namespace pw::editor
