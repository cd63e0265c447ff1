#include "editor/highlight/builtin_definitions.h"

#include "editor/highlight/highlighter.h"

namespace pw::editor {

namespace {
constexpr char16_t kLowerLetters[] = u"qwertyuiopasdfghjklzxcvbnm_";
constexpr char16_t kLowerWord[] = u"qwertyuiopasdfghjklzxcvbnm_0123456789";
constexpr char16_t kLetters[] = u"qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM_";
constexpr char16_t kWord[] = u"qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM_0123456789";
constexpr char16_t kDigits[] = u"0123456789";
constexpr char16_t kNumber[] = u"0123456789.e+-";
constexpr char16_t kHex[] = u"0123456789abcdefABCDEF";
constexpr char16_t kPascalSymbols[] = u"\\-()*,.:;[]`~<=>@+%\"^&!|?";
constexpr char16_t kCSymbols[] = u"\\-()*,.:;[]`~<=>@+{}%$^&!#|?";
constexpr char16_t kScriptSymbols[] = u"\\-()*,.:;[]`~<=>@+{}%$^&!#|?/";
constexpr char16_t kBasicSymbols[] = u"\\/-()*,.:;[]`~<=>@+{}%$^&!#|";
constexpr char16_t kFortranSymbols[] = u"\\-()*,.:;[]`~<=>@+{}%\"^&|?";
constexpr char16_t kAsmSymbols[] = u"\\-()*,:;[]`~<=>@+{}%$^&!#|?";
constexpr char16_t kSlashRun[] = u"()-|&sgni%:'=+$*\"\r\n\\";
constexpr char16_t kBackslashRun[] = u"()-|&sgni%:'=+$*\"\r\n/";
}  // namespace

void TateHighLighter::CreateBuiltInParsers(std::uint8_t kind, const TateBuiltInStyleNames& n) {
  Clear();
  styles_.FindOrAddStyle(n.SpaceStyle);
  styles_.FindOrAddStyle(n.KeywordStyle)->FontStyle = fsBold;
  AddBlock(n.OtherStyle, n.OtherStyle, u"", u"", false, u"");
  for (const WideString* s : {&n.StringStyle, &n.NumberStyle, &n.StringStyle, &n.SymbolStyle, &n.CommentStyle,
                              &n.SpaceStyle, &n.IdentifierStyle})
    styles_.FindOrAddStyle(*s);
  auto run = [&](const WideString& name, const WideString& style, WideStringView start, WideStringView chars) {
    AddBlock(name, style, start, chars, true, u"");
  };
  auto block = [&](const WideString& name, const WideString& style, WideStringView start, WideStringView end,
                   WideStringView escape = u"") { AddBlock(name, style, start, end, false, escape); };
  auto space = [&] { run(n.SpaceStyle, n.SpaceStyle, u" ", u" "); };
  auto keywords = [&](WideStringView start, WideStringView word, const std::vector<WideString>& list,
                      const WideString& name) {
    AddKeywords(name, n.IdentifierStyle, n.KeywordStyle, start, word, list);
  };
  switch (kind) {
    case 0:
      ParserName = u"EmptyParser";
      run(n.IdentifierStyle, n.IdentifierStyle, u"", u"");
      break;
    case 1:
      ParserName = u"PascalParser";
      SetCaseSensitive(false);
      space();
      block(n.StringStyle, n.StringStyle, u"'", u"'");
      run(n.StringStyle + u"Char", n.StringStyle, u"#", kDigits);
      run(n.NumberStyle, n.NumberStyle, kDigits, kNumber);
      run(n.NumberStyle + u"Hex", n.NumberStyle, u"$", u"0123456789ABCDEF");
      block(n.SymbolStyle, n.SymbolStyle, kPascalSymbols, u"");
      AddRegion(n.CommentStyle + u"//", n.CommentStyle, n.SymbolStyle, u"//", u"\r", false, false, false);
      AddRegion(n.CommentStyle + u"_(**)", n.CommentStyle, n.SymbolStyle, u"(*", u"*)", false, false, false);
      AddRegion(n.CommentStyle + u"{}", n.CommentStyle, n.SymbolStyle, u"{", u"}", false, true, false);
      keywords(kLowerLetters, kLowerWord, PascalKeywords(), n.IdentifierStyle + n.KeywordStyle);
      break;
    case 2:
    case 3:
    case 4:
      ParserName = kind == 2 ? u"CppParser" : kind == 3 ? u"CSParser" : u"JavaParser";
      SetCaseSensitive(true);
      space();
      block(n.StringStyle + u"1", n.StringStyle, u"'", u"'", u"\\");
      block(n.StringStyle + u"2", n.StringStyle, u"\"", u"\"", u"\\");
      block(n.SymbolStyle, n.SymbolStyle, kCSymbols, u"");
      run(n.NumberStyle, n.NumberStyle, kDigits, kNumber);
      block(n.PreprocessorStyle, n.PreprocessorStyle, u"#", u" ");
      AddRegion(n.NumberStyle + u"Hex", n.NumberStyle, n.NumberStyle, u"0x", kHex, true, false, false);
      AddRegion(n.StringStyle + u"3", n.StringStyle, n.SymbolStyle, u"/", kSlashRun, true, false, false);
      AddRegion(n.StringStyle + u"4", n.StringStyle, n.SymbolStyle, u"\\", kBackslashRun, true, false, false);
      AddRegion(n.CommentStyle, n.CommentStyle, n.StringStyle + u"3_Start1", u"//", u"\r", false, false, true);
      AddRegion(n.CommentStyle, n.CommentStyle, n.StringStyle + u"3_Start1", u"/*", u"*/", false, false, true);
      keywords(kLetters, kWord, CommonKeywords(), n.IdentifierStyle);
      keywords(kLetters, kWord,
               kind == 2   ? CppKeywords()
               : kind == 3 ? CSharpKeywords()
                           : JavaKeywords(),
               n.IdentifierStyle);
      break;
    case 5:
      ParserName = u"BasicParser";
      SetCaseSensitive(false);
      space();
      block(n.StringStyle + u"2", n.StringStyle, u"\"", u"\"\r");
      run(n.NumberStyle, n.NumberStyle, kDigits, kNumber);
      run(n.SymbolStyle, n.SymbolStyle, kBasicSymbols, kBasicSymbols);
      block(n.CommentStyle, n.CommentStyle, u"'", u"\r");
      keywords(kLowerLetters, kLowerWord, BasicKeywords(), n.IdentifierStyle);
      AddRegion(n.CommentStyle + u"rem", n.CommentStyle, n.IdentifierStyle, u"rem ", u"\r", false, false, false);
      break;
    case 6:
      ParserName = u"CobolParser";
      SetCaseSensitive(false);
      space();
      block(n.StringStyle + u"2", n.StringStyle, u"\"", u"\"");
      block(n.StringStyle, n.StringStyle, u"'", u"'");
      run(n.NumberStyle, n.NumberStyle, kDigits, kNumber);
      block(n.SymbolStyle, n.SymbolStyle, kCSymbols, u"");
      AddRegion(n.CommentStyle + u"//", n.CommentStyle, n.SymbolStyle, u"/", u"\r", false, false, false);
      AddRegion(n.CommentStyle + u"_(**)", n.CommentStyle, n.SymbolStyle, u"*", u"\r", false, false, false);
      keywords(kLowerLetters, WideString(kLowerWord) + u"-", CobolKeywords(), n.IdentifierStyle);
      break;
    case 7:
      ParserName = u"FortranParser";
      SetCaseSensitive(false);
      space();
      block(n.StringStyle + u"2", n.StringStyle, u"\"", u"\"");
      block(n.StringStyle, n.StringStyle, u"'", u"'");
      run(n.NumberStyle, n.NumberStyle, kDigits, kNumber);
      block(n.SymbolStyle, n.SymbolStyle, kFortranSymbols, u"");
      AddRegion(n.CommentStyle + u"_*", n.CommentStyle, n.SymbolStyle, u"*", u"\r", false, false, false);
      // A "c" comment region is registered too; the keyword start characters take the letter
      // over, so it is never entered.
      AddRegion(n.CommentStyle + u"_c", n.CommentStyle, n.SymbolStyle, u"c", u"\r", false, false, false);
      keywords(kLowerLetters, kLowerWord, FortranKeywords(), n.IdentifierStyle);
      break;
    case 8:
      ParserName = u"ASMAsmParser";
      SetCaseSensitive(false);
      space();
      block(n.StringStyle + u"2", n.StringStyle, u"\"", u"\"");
      block(n.StringStyle, n.StringStyle, u"'", u"'");
      run(n.NumberStyle, n.NumberStyle, kDigits, kDigits);
      block(n.SymbolStyle, n.SymbolStyle, kAsmSymbols, u"");
      AddRegion(n.NumberStyle + u"Hex", n.NumberStyle, n.NumberStyle, u"0h", kHex, true, false, false);
      keywords(WideString(kLowerLetters) + u".", kLowerWord, AssemblerKeywords(), n.IdentifierStyle);
      break;
    case 9:
      ParserName = u"F#";
      SetCaseSensitive(true);
      space();
      block(n.StringStyle + u"1", n.StringStyle, u"'", u"'", u"\\");
      block(n.StringStyle + u"2", n.StringStyle, u"\"", u"\"", u"\\");
      block(n.SymbolStyle, n.SymbolStyle, kCSymbols, u"");
      run(n.NumberStyle, n.NumberStyle, kDigits, kNumber);
      block(n.PreprocessorStyle, n.PreprocessorStyle, u"#", u" \r\n");
      AddRegion(n.NumberStyle + u"Hex", n.NumberStyle, n.NumberStyle, u"0x", kHex, true, false, false);
      AddRegion(n.CommentStyle, n.CommentStyle, n.SymbolStyle, u"//", u"\r", false, false, false);
      AddRegion(n.CommentStyle, n.CommentStyle, n.SymbolStyle, u"(*", u"*)", false, false, false);
      keywords(kLetters, kWord, FSharpKeywords(), n.IdentifierStyle);
      break;
    case 10:
      SetCaseSensitive(false);
      space();
      block(n.SymbolStyle, n.SymbolStyle, kScriptSymbols, u"");
      block(n.StringStyle, n.StringStyle, u"\"", u"\"");
      run(n.NumberStyle, n.NumberStyle, kDigits, kDigits);
      keywords(kLetters, kWord, CommonKeywords(), n.IdentifierStyle);
      break;
    default:
      break;
  }
}

}  // namespace pw::editor
