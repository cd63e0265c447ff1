// A stand-in for the editor an edit source serves: it keeps the caret, the remembered caret
// and the selection, and counts the notices it gets.
#pragma once

#include <vector>

#include "editor/source/editor_source.h"

namespace pw::editor::testing {

class StandInEditor : public TateSourceEditor {
 public:
  TPoint GetCaret() const override { return caret; }
  void SetCaret(const TPoint& p) override { caret = {std::max(p.X, 0), std::max(p.Y, 0)}; }
  TPoint GetRememberedCaret() const override { return remembered; }
  void SetRememberedCaret(const TPoint& p) override { remembered = p; }
  void AdjustPositions(const TPoint&, std::int32_t, std::int32_t) override { ++adjustments; }
  void BlocksChanged() override { ++blockNotices; }
  void SetSelection(std::uint8_t m, const TRect& s) override {
    mode = m;
    selection = s;
  }
  void SetLineMarker(std::int32_t, bool) override {}
  void SetLineMarkerKind(std::int32_t, std::int32_t) override {}
  bool WindowExists() const override { return window; }
  TateHighLighterIntf* GetHighlighter() const override { return highlighter; }

  TPoint caret, remembered;
  std::uint8_t mode = 0;
  TRect selection;
  int adjustments = 0;
  int blockNotices = 0;
  bool window = false;
  TateHighLighterIntf* highlighter = nullptr;
};

// (first, last, collapsed, level) of every block in preorder.
struct BlockShape {
  std::int32_t First, Last;
  bool Collapsed;
  std::int32_t Level;
  friend bool operator==(const BlockShape&, const BlockShape&) = default;
};

inline void CollectBlocks(TateCollapseBlock* b, std::vector<BlockShape>& out) {
  for (std::int32_t i = 0; i < b->Children()->GetCount(); ++i) {
    TateCollapseBlock* c = b->Children()->GetItem(i);
    out.push_back({c->StartLine(), c->EndLine(), c->Collapsed(), c->Level()});
    CollectBlocks(c, out);
  }
}

inline std::vector<BlockShape> Outline(TateStrings& s) {
  std::vector<BlockShape> out;
  CollectBlocks(s.RootBlock(), out);
  return out;
}

// The innermost block holding `line`, found by walking the tree.
inline TateCollapseBlock* InnermostBlock(TateStrings& s, std::int32_t line) {
  TateCollapseBlock* b = s.RootBlock();
  for (;;) {
    TateCollapseBlock* next = nullptr;
    for (std::int32_t i = 0; i < b->Children()->GetCount(); ++i) {
      TateCollapseBlock* c = b->Children()->GetItem(i);
      if (c->StartLine() <= line && line <= c->EndLine()) next = c;
    }
    if (!next) return b;
    b = next;
  }
}

// Every line's recorded block is the innermost block holding it; children lie inside their
// parents and siblings are ordered without overlap.
inline ::testing::AssertionResult OutlineConsistent(TateStrings& s) {
  for (std::int32_t y = 0; y < s.GetCount(); ++y)
    if (s.LineBlock(y) != InnermostBlock(s, y))
      return ::testing::AssertionFailure() << "line " << y << " has the wrong block";
  std::vector<TateCollapseBlock*> stack{s.RootBlock()};
  while (!stack.empty()) {
    TateCollapseBlock* b = stack.back();
    stack.pop_back();
    std::int32_t prevEnd = -1;
    for (std::int32_t i = 0; i < b->Children()->GetCount(); ++i) {
      TateCollapseBlock* c = b->Children()->GetItem(i);
      if (c->EndLine() <= c->StartLine()) return ::testing::AssertionFailure() << "a block of one line";
      if (c->StartLine() <= prevEnd) return ::testing::AssertionFailure() << "siblings overlap";
      if (b->IsBlock() && (c->StartLine() < b->StartLine() || c->EndLine() > b->EndLine()))
        return ::testing::AssertionFailure() << "a child outside its parent";
      if (c->EndLine() >= s.GetCount()) return ::testing::AssertionFailure() << "a block past the text";
      prevEnd = c->EndLine();
      stack.push_back(c);
    }
  }
  return ::testing::AssertionSuccess();
}

inline WideString Lines(std::initializer_list<const char16_t*> lines) {
  WideString out;
  bool first = true;
  for (const char16_t* l : lines) {
    if (!first) out += u"\r\n";
    out += l;
    first = false;
  }
  return out;
}

}  // namespace pw::editor::testing
