// The eleven built-in language definitions of the highlighter, by kind: 0 empty, 1 Pascal,
// 2 C++, 3 C#, 4 Java, 5 Basic, 6 COBOL, 7 Fortran, 8 assembler, 9 F#, 10 script. The caller
// names the styles; the definitions fix which characters, delimiters and words take which of
// them, the case rule and the keyword lists. Each definition starts from an empty highlighter
// (its styles are rebuilt: 0 Space, 1 Keyword (bold), 2 Other, 3 String, 4 Number, 5 Symbol,
// 6 Comment, 7 Identifier, then the styles of first use).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/types.h"

namespace pw::editor {

struct TateBuiltInStyleNames {
  WideString StringStyle = u"String";
  WideString NumberStyle = u"Number";
  WideString Unused3 = u"Unused3";
  WideString Unused4 = u"Unused4";
  WideString CommentStyle = u"Comment";
  WideString KeywordStyle = u"Keyword";
  WideString SymbolStyle = u"Symbol";
  WideString SpaceStyle = u"Space";
  WideString Unused9 = u"Unused9";
  WideString Unused10 = u"Unused10";
  WideString IdentifierStyle = u"Identifier";
  WideString OtherStyle = u"Other";
  WideString PreprocessorStyle = u"Preprocessor";
};

const std::vector<WideString>& CommonKeywords();
const std::vector<WideString>& PascalKeywords();
const std::vector<WideString>& CppKeywords();
const std::vector<WideString>& CSharpKeywords();
const std::vector<WideString>& JavaKeywords();
const std::vector<WideString>& BasicKeywords();
const std::vector<WideString>& FSharpKeywords();
const std::vector<WideString>& CobolKeywords();
const std::vector<WideString>& FortranKeywords();
const std::vector<WideString>& AssemblerKeywords();

}  // namespace pw::editor
