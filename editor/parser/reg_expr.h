// TateRegExpr: the editor's small pattern language ("mask"), compiled once into a flat list of
// elements and matched anchored at a given position with an explicit backtracking stack.
//
// Syntax (over single-byte pattern text): a character is a literal of itself; "#" and decimal
// digits a literal of that code (modulo 256); "\" c the character c; "[...]" a set, "[^...]" a
// negated set (inside: "a-z" ranges, "#n" codes, "\" before one of ^$*+|.[]{}!-\ takes it
// literally); "{...}" a group; "*", "+" and "|" after an element or group: zero or more, one or
// more (greedy), alternative; "!" negates the next element. Without case sensitivity literals
// and set members are stored upper-cased and the caller passes upper-cased text.
//
// A faulty pattern raises Exception "PATTERN is invalid mask at (N)" (N the 1-based position of
// the fault, the length plus 1 for unbalanced groups); groups nest at most 256 deep; "#" not
// followed by a digit raises EConvertError. A successful match reports at least 1 character.
// A continuation (element, position) that failed once is not tried again, so a pattern cannot
// make a match take more than elements x positions continuations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/com/types.h"

namespace pw::editor {

enum TateRegKind : std::uint8_t {
  rkLiteral,
  rkSet,
  rkGroupOpen,
  rkGroupClose,
  rkOneOrMore,
  rkZeroOrMore,
  rkAlternative,
};

struct TateRegState {
  std::int32_t ClosureEnd = -1;
  bool Negated = false;
  TateRegKind Kind = rkLiteral;
  char16_t Char = 0;
  bool SetNegated = false;
  WideString SetChars;
  std::uint64_t SetLow[4] = {0, 0, 0, 0};  // the members below 256, as bits
};

class TateRegExpr {
 public:
  TateRegExpr(std::string expression, bool caseSensitive);
  virtual ~TateRegExpr() = default;

  // Tries the pattern at the start of `text`; `len` gets the characters matched (at least 1).
  bool Match(WideStringView text, std::int32_t& len);

  const std::string& Expression() const { return expression_; }
  bool CaseSensitive() const { return caseSensitive_; }
  const std::vector<TateRegState>& Elements() const { return elements_; }

  static constexpr int kMaxGroupDepth = 256;

 private:
  struct Backtrack {
    std::int32_t Pos;
    std::int32_t Element;
  };
  void Compile();
  [[noreturn]] void Invalid(std::size_t position) const;
  bool MatchRange(std::int32_t first, std::int32_t last, std::int32_t& pos);
  bool Matches(const TateRegState& e, char16_t c) const;

  std::vector<TateRegState> elements_;
  std::vector<Backtrack> stack_;
  std::unordered_set<std::uint64_t> failed_;
  bool caseSensitive_;
  std::string expression_;
  WideStringView text_;
};

}  // namespace pw::editor
