#include "editor/parser/reg_expr.h"

#include <algorithm>

#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/persistent.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {
constexpr std::string_view kSetEscapes = "^$*+|.[]{}!-\\";

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

TateRegExpr::TateRegExpr(std::string expression, bool caseSensitive)
    : caseSensitive_(caseSensitive), expression_(std::move(expression)) {
  stack_.reserve(16);
  Compile();
}

void TateRegExpr::Invalid(std::size_t position) const {
  throw Exception(SystemCodePageToWide(expression_) + u" is invalid mask at (" +
                  IntToWide(static_cast<long long>(position)) + u")");
}

void TateRegExpr::Compile() {
  const std::string& p = expression_;
  std::vector<std::int32_t> groups;
  std::int32_t depth = 0;
  std::int32_t lastClosed = -1;
  bool negate = false;
  auto last = [&] { return static_cast<std::int32_t>(elements_.size()) - 1; };
  auto isOperator = [](TateRegKind k) { return k == rkOneOrMore || k == rkZeroOrMore || k == rkAlternative; };
  // A code after "#" at p[i]: the digits from i on (raises the conversion error when none).
  auto code = [&](std::size_t& i) -> char16_t {
    std::size_t j = i;
    unsigned m = 0;
    while (j < p.size() && IsDigit(p[j])) m = (m * 10 + static_cast<unsigned>(p[j++] - '0')) % 256;
    if (j == i) throw EConvertError(u"'' is not a valid integer value");
    i = j;
    return SystemCodePageCharToWide(static_cast<unsigned char>(m));
  };
  // Appends a literal or set; wrapped in an implicit group when an operator follows.
  auto append = [&](TateRegState e, std::size_t next) {
    e.Negated = negate;
    negate = false;
    const bool wrap = next < p.size() && (p[next] == '*' || p[next] == '+' || p[next] == '|');
    if (wrap) {
      TateRegState open;
      open.Kind = rkGroupOpen;
      elements_.push_back(open);
      const std::int32_t at = last();
      elements_.push_back(std::move(e));
      TateRegState close;
      close.Kind = rkGroupClose;
      elements_.push_back(close);
      lastClosed = at;
    } else {
      elements_.push_back(std::move(e));
      lastClosed = -1;
    }
  };
  std::size_t i = 0;
  while (i < p.size()) {
    const std::size_t at = i;  // 0-based position of the character being compiled
    const char c = p[i];
    if (c == '!') {
      if (i + 1 >= p.size()) Invalid(at + 1);
      negate = true;
      ++i;
    } else if (c == '\\') {
      if (i + 1 >= p.size()) Invalid(at + 1);
      TateRegState e;
      e.Char = SystemCodePageCharToWide(static_cast<unsigned char>(p[i + 1]));
      if (!caseSensitive_) e.Char = WideUpperChar(e.Char);
      i += 2;
      append(std::move(e), i);
    } else if (c == '#') {
      ++i;
      TateRegState e;
      e.Char = code(i);
      if (!caseSensitive_) e.Char = WideUpperChar(e.Char);
      append(std::move(e), i);
    } else if (c == '[') {
      TateRegState e;
      e.Kind = rkSet;
      ++i;
      if (i < p.size() && p[i] == '^') {
        e.SetNegated = true;
        ++i;
      }
      bool closed = false;
      bool haveMember = false;
      char16_t previous = 0;
      while (i < p.size()) {
        const char s = p[i];
        if (s == ']') {
          if (!haveMember) Invalid(i + 1);
          closed = true;
          ++i;
          break;
        }
        auto member = [&](std::size_t& k) -> char16_t {
          if (p[k] == '#' && k + 1 < p.size() && IsDigit(p[k + 1])) {
            ++k;
            return code(k);
          }
          if (p[k] == '\\' && k + 1 < p.size() && kSetEscapes.find(p[k + 1]) != std::string_view::npos) {
            const char16_t m = SystemCodePageCharToWide(static_cast<unsigned char>(p[k + 1]));
            k += 2;
            return m;
          }
          return SystemCodePageCharToWide(static_cast<unsigned char>(p[k++]));
        };
        if (s == '-') {
          if (!haveMember) Invalid(i + 1);
          ++i;
          if (i >= p.size()) break;
          if (p[i] == ']') {
            e.SetChars.push_back(u'-');
            continue;
          }
          char16_t upper = member(i);
          if (!caseSensitive_) upper = AsciiUpper(upper);
          for (unsigned m = static_cast<unsigned>(previous) + 1; m <= upper; ++m)
            e.SetChars.push_back(static_cast<char16_t>(m));
          previous = upper;
          continue;
        }
        char16_t m = member(i);
        if (!caseSensitive_) m = AsciiUpper(m);
        e.SetChars.push_back(m);
        previous = m;
        haveMember = true;
      }
      if (!closed) Invalid(p.size() + 1);
      for (char16_t m : e.SetChars)
        if (m < 256) e.SetLow[m >> 6] |= std::uint64_t{1} << (m & 63);
      append(std::move(e), i);
    } else if (c == '{') {
      if (depth >= kMaxGroupDepth) Invalid(at + 1);
      TateRegState e;
      e.Kind = rkGroupOpen;
      elements_.push_back(e);
      groups.push_back(last());
      ++depth;
      lastClosed = -1;
      negate = false;
      ++i;
    } else if (c == '}') {
      TateRegState e;
      e.Kind = rkGroupClose;
      elements_.push_back(e);
      lastClosed = -1;
      if (!groups.empty()) {
        lastClosed = groups.back();
        groups.pop_back();
      }
      --depth;
      negate = false;
      ++i;
    } else if (c == '*' || c == '+' || c == '|') {
      if (elements_.empty() || isOperator(elements_.back().Kind)) Invalid(at + 1);
      const std::int32_t start = lastClosed >= 0 ? lastClosed : last();
      for (std::int32_t k = start; k <= last(); ++k)
        if (elements_[static_cast<std::size_t>(k)].ClosureEnd == -1)
          elements_[static_cast<std::size_t>(k)].ClosureEnd = last();
      TateRegState op;
      op.Kind = c == '*' ? rkZeroOrMore : c == '+' ? rkOneOrMore : rkAlternative;
      elements_.push_back(op);
      lastClosed = -1;
      negate = false;
      ++i;
    } else {
      TateRegState e;
      e.Char = SystemCodePageCharToWide(static_cast<unsigned char>(c));
      if (!caseSensitive_) e.Char = WideUpperChar(e.Char);
      ++i;
      append(std::move(e), i);
    }
  }
  if (depth != 0) Invalid(p.size() + 1);
  elements_.push_back(TateRegState{});  // the end element: a literal of character 0
}

bool TateRegExpr::Matches(const TateRegState& e, char16_t c) const {
  if (e.Kind == rkLiteral) return e.Char == c;
  const bool in = c < 256 ? ((e.SetLow[c >> 6] >> (c & 63)) & 1) != 0 : e.SetChars.find(c) != WideString::npos;
  return e.SetNegated ? !in : in;
}

bool TateRegExpr::MatchRange(std::int32_t first, std::int32_t last, std::int32_t& pos) {
  const std::int32_t end = static_cast<std::int32_t>(text_.size());
  bool lastNegated = false;
  bool matchedAtEnd = false;
  std::int32_t i = first;
  while (i <= last) {
    const TateRegState& e = elements_[static_cast<std::size_t>(i)];
    if (e.ClosureEnd != -1 && e.ClosureEnd != last) {
      const std::int32_t operandEnd = e.ClosureEnd;
      const std::int32_t opIndex = operandEnd + 1;
      const TateRegKind op = elements_[static_cast<std::size_t>(opIndex)].Kind;
      if (pos >= end) {
        if (op == rkOneOrMore) return false;
        i = opIndex + 1;
        continue;
      }
      if (op == rkOneOrMore && !MatchRange(i, operandEnd, pos)) return false;
      stack_.push_back({pos, opIndex + 1});
      for (;;) {
        const std::int32_t save = pos;
        if (!MatchRange(i, operandEnd, pos) || pos <= save) {
          pos = save;
          break;
        }
        if (op == rkAlternative) return true;
        if (pos < end) stack_.push_back({pos, opIndex + 1});
      }
      i = opIndex + 1;
      continue;
    }
    switch (e.Kind) {
      case rkGroupOpen:
      case rkGroupClose:
      case rkOneOrMore:
      case rkZeroOrMore:
      case rkAlternative:
        ++i;
        continue;
      default:
        break;
    }
    if (e.Kind == rkLiteral && e.Char == 0) return true;  // the end element
    const bool atEnd = pos >= end;
    const char16_t c = atEnd ? u'\0' : text_[static_cast<std::size_t>(pos)];
    lastNegated = e.Negated;
    if (Matches(e, c)) {
      if (atEnd) {
        if (matchedAtEnd) return false;
        matchedAtEnd = true;
      } else {
        ++pos;
      }
    } else if (!e.Negated) {
      return false;
    } else {
      // A negated element takes the character it did not match (nothing at the end).
      if (!atEnd) ++pos;
      return true;
    }
    ++i;
  }
  return !lastNegated;
}

bool TateRegExpr::Match(WideStringView text, std::int32_t& len) {
  stack_.clear();
  if (!failed_.empty()) failed_.clear();
  text_ = text;
  const std::int32_t endElement = static_cast<std::int32_t>(elements_.size()) - 1;
  std::int32_t pos = 0;
  bool ok = MatchRange(0, endElement, pos);
  while (!ok && !stack_.empty()) {
    const Backtrack b = stack_.back();
    stack_.pop_back();
    const std::uint64_t key =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(b.Element)) << 32) | static_cast<std::uint32_t>(b.Pos);
    if (!failed_.insert(key).second) continue;
    pos = b.Pos;
    ok = MatchRange(b.Element, endElement, pos);
  }
  text_ = {};
  if (!ok) return false;
  len = std::max(pos, 1);
  return true;
}

}  // namespace pw::editor
