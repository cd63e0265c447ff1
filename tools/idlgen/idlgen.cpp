// idlgen: turns the interface description files (resources/*.idl) into
//   GENDIR/interfaces/<Library>.h   the C++ interfaces of each library,
//   GENDIR/<Library>.tlb            the type library in this system's library format,
//   GENDIR/<Library>_resource.cpp   for --embed libraries: the library as the type library
//                                   resource of the binary that links it (ELF section
//                                   ".pwtypelib"),
//   GENDIR/<Library>_thunks.cpp     the Invoke thunks of the library's dual interfaces, answered
//                                   by <Library>InterfaceThunks() (declared in its header); the
//                                   binary that owns the library compiles them and registers
//                                   them (RegisterInterfaceThunks),
// and copies the .tlb of every library that is not embedded into EXTDIR.
//
// usage: idlgen --gen GENDIR --ext EXTDIR [--embed LIBRARY]... FILE.idl...
// The format is described in docs/interface-description.md.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/automation/typelib_data.h"

namespace {

using namespace pw;

enum : std::uint16_t {
  vI2 = 2,
  vI4 = 3,
  vR4 = 4,
  vR8 = 5,
  vCY = 6,
  vDATE = 7,
  vBSTR = 8,
  vDISPATCH = 9,
  vERROR = 10,
  vBOOL = 11,
  vVARIANT = 12,
  vUNKNOWN = 13,
  vI1 = 16,
  vUI1 = 17,
  vUI2 = 18,
  vUI4 = 19,
  vI8 = 20,
  vUI8 = 21,
  vINT = 22,
  vUINT = 23,
  vVOID = 24,
  vHRESULT = 25,
  vPTR = 26,
  vSAFEARRAY = 27,
  vUSERDEFINED = 29,
  vLPWSTR = 31,
  vCLSID = 72
};

struct Error {
  std::string message;
};

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// --- tokens ---

struct Token {
  enum Kind { Ident, Number, String, Punct, End } kind;
  std::string text;
  int line;
};

class Lexer {
 public:
  Lexer(std::string text, std::string file) : s_(std::move(text)), file_(std::move(file)) {}

  Token Next() {
    Skip();
    if (p_ >= s_.size()) return {Token::End, "", line_};
    char c = s_[p_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t b = p_;
      while (p_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[p_])) || s_[p_] == '_')) ++p_;
      return {Token::Ident, s_.substr(b, p_ - b), line_};
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || (c == '-' && p_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_ + 1])))) {
      std::size_t b = p_++;
      while (p_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[p_])) || s_[p_] == '.')) ++p_;
      return {Token::Number, s_.substr(b, p_ - b), line_};
    }
    if (c == '"') {
      std::string out;
      ++p_;
      while (p_ < s_.size() && s_[p_] != '"') {
        if (s_[p_] == '\n') throw Err("unterminated string");
        if (s_[p_] == '\\' && p_ + 1 < s_.size()) ++p_;
        out.push_back(s_[p_++]);
      }
      if (p_ >= s_.size()) throw Err("unterminated string");
      ++p_;
      return {Token::String, out, line_};
    }
    ++p_;
    return {Token::Punct, std::string(1, c), line_};
  }

  // The raw text up to the next ')', for uuid(...).
  std::string RawUntilParen() {
    std::size_t b = p_;
    while (p_ < s_.size() && s_[p_] != ')') ++p_;
    std::string raw = s_.substr(b, p_ - b);
    raw.erase(std::remove_if(raw.begin(), raw.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }), raw.end());
    return raw;
  }

  Error Err(const std::string& what) const { return {file_ + ":" + std::to_string(line_) + ": " + what}; }

 private:
  void Skip() {
    for (;;) {
      while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) {
        if (s_[p_] == '\n') ++line_;
        ++p_;
      }
      if (s_.compare(p_, 2, "//") == 0) {
        while (p_ < s_.size() && s_[p_] != '\n') ++p_;
      } else if (s_.compare(p_, 2, "/*") == 0) {
        std::size_t e = s_.find("*/", p_ + 2);
        if (e == std::string::npos) throw Err("unterminated comment");
        line_ += static_cast<int>(std::count(s_.begin() + static_cast<long>(p_), s_.begin() + static_cast<long>(e), '\n'));
        p_ = e + 2;
      } else {
        return;
      }
    }
  }
  std::string s_, file_;
  std::size_t p_ = 0;
  int line_ = 1;
};

// --- the description ---

struct TypeRef {
  std::string base;      // "long", "BSTR", an interface name, "SAFEARRAY"
  std::string element;   // for SAFEARRAY
  int pointers = 0;
};

struct Param {
  std::string name;
  TypeRef type;
  bool in = false, out = false, retval = false, optional = false;
};

struct Method {
  std::string name, help;
  std::string ret = "HRESULT";  // plain calls of IUnknown-derived interfaces: void, VARIANT_BOOL, long
  bool hasId = false;
  std::int32_t id = 0;
  std::uint8_t invkind = 1;
  std::uint16_t flags = 0;
  std::vector<Param> params;
  int line = 0;
};

struct Interface {
  std::string name, base, help, library;
  GUID iid{};
  bool dual = false, hidden = false;
  std::vector<Method> methods;
};

struct Library {
  std::string name, help, file;
  GUID guid{};
  std::uint16_t major = 1, minor = 0;
  std::vector<std::string> interfaces;
};

struct Attrs {
  std::map<std::string, std::string> values;  // name -> argument ("" when none)
  bool Has(const std::string& k) const { return values.count(k) != 0; }
};

std::map<std::string, Interface> gInterfaces;
std::vector<Library> gLibraries;

GUID ParseGuidText(const std::string& raw, const Lexer& lx) {
  auto g = GuidFromString(std::string_view("{" + raw + "}"));
  if (!g) throw lx.Err("malformed uuid " + raw);
  return *g;
}

class Parser {
 public:
  Parser(std::string text, std::string file) : lx_(std::move(text), file), file_(std::move(file)) { Advance(); }

  void ParseFile() {
    while (tok_.kind != Token::End) ParseLibrary();
  }

 private:
  void Advance() { tok_ = lx_.Next(); }
  bool Is(const char* p) const { return (tok_.kind == Token::Punct || tok_.kind == Token::Ident) && tok_.text == p; }
  void Expect(const char* p) {
    if (!Is(p)) throw lx_.Err(std::string("expected '") + p + "', found '" + tok_.text + "'");
    Advance();
  }
  std::string Ident() {
    if (tok_.kind != Token::Ident) throw lx_.Err("expected a name, found '" + tok_.text + "'");
    std::string s = tok_.text;
    Advance();
    return s;
  }

  Attrs ParseAttrs() {
    Attrs a;
    if (!Is("[")) return a;
    Advance();
    while (!Is("]")) {
      std::string name = Ident();
      std::string value;
      if (Is("(")) {
        if (name == "uuid") {
          value = lx_.RawUntilParen();
          Advance();  // the ')'
          tok_ = lx_.Next();
        } else {
          Advance();
          value = tok_.text;
          Advance();
          if (Is(".")) {  // version(1.0) lexes as one number; keep this for safety
            Advance();
            value += "." + tok_.text;
            Advance();
          }
          Expect(")");
        }
      }
      a.values[name] = value;
      if (Is(",")) Advance();
      else if (!Is("]")) throw lx_.Err("expected ',' or ']' in attributes");
    }
    Advance();
    return a;
  }

  void ParseLibrary() {
    Attrs a = ParseAttrs();
    Expect("library");
    Library lib;
    lib.name = Ident();
    lib.file = file_;
    if (!a.Has("uuid")) throw lx_.Err("library " + lib.name + " needs a uuid");
    lib.guid = ParseGuidText(a.values["uuid"], lx_);
    if (a.Has("version")) {
      auto v = a.values["version"];
      auto dot = v.find('.');
      lib.major = static_cast<std::uint16_t>(std::stoi(v.substr(0, dot)));
      lib.minor = static_cast<std::uint16_t>(dot == std::string::npos ? 0 : std::stoi(v.substr(dot + 1)));
    }
    lib.help = a.values["helpstring"];
    Expect("{");
    while (!Is("}")) {
      Interface itf = ParseInterface();
      itf.library = lib.name;
      if (gInterfaces.count(itf.name)) throw lx_.Err("interface " + itf.name + " is declared twice");
      lib.interfaces.push_back(itf.name);
      gInterfaces[itf.name] = std::move(itf);
    }
    Advance();
    Expect(";");
    gLibraries.push_back(std::move(lib));
  }

  Interface ParseInterface() {
    Attrs a = ParseAttrs();
    Expect("interface");
    Interface itf;
    itf.name = Ident();
    if (!a.Has("uuid")) throw lx_.Err("interface " + itf.name + " needs a uuid");
    itf.iid = ParseGuidText(a.values["uuid"], lx_);
    itf.dual = a.Has("dual");
    itf.hidden = a.Has("hidden");
    itf.help = a.values["helpstring"];
    Expect(":");
    itf.base = Ident();
    Expect("{");
    while (!Is("}")) itf.methods.push_back(ParseMethod());
    Advance();
    Expect(";");
    return itf;
  }

  TypeRef ParseType() {
    TypeRef t;
    std::string first = Ident();
    if (first == "unsigned") {
      std::string second = Ident();
      t.base = "unsigned " + second;
    } else if (first == "SAFEARRAY") {
      Expect("(");
      t.base = "SAFEARRAY";
      t.element = Ident();
      Expect(")");
    } else {
      t.base = first;
    }
    while (Is("*")) {
      ++t.pointers;
      Advance();
    }
    return t;
  }

  Method ParseMethod() {
    Method m;
    m.line = tok_.line;
    Attrs a = ParseAttrs();
    if (a.Has("id")) {
      m.hasId = true;
      m.id = static_cast<std::int32_t>(std::stoll(a.values["id"], nullptr, 0));
    }
    if (a.Has("propget")) m.invkind = 2;
    if (a.Has("propput")) m.invkind = 4;
    if (a.Has("propputref")) m.invkind = 8;
    if (a.Has("restricted")) m.flags |= 0x1;
    if (a.Has("hidden")) m.flags |= 0x40;
    if (a.Has("nonbrowsable")) m.flags |= 0x400;
    m.help = a.values["helpstring"];
    std::string ret = Ident();
    if (ret != "HRESULT" && ret != "void" && ret != "VARIANT_BOOL" && ret != "long")
      throw lx_.Err("methods return HRESULT (or, as plain calls, void, VARIANT_BOOL or long)");
    m.ret = ret;
    m.name = Ident();
    Expect("(");
    if (Is("void")) Advance();
    while (!Is(")")) {
      Attrs pa = ParseAttrs();
      Param p;
      p.in = pa.Has("in");
      p.out = pa.Has("out");
      p.retval = pa.Has("retval");
      p.optional = pa.Has("optional");
      if (!p.in && !p.out) p.in = true;
      p.type = ParseType();
      p.name = Ident();
      m.params.push_back(std::move(p));
      if (Is(",")) Advance();
      else if (!Is(")")) throw lx_.Err("expected ',' or ')' in parameters");
    }
    Advance();
    Expect(";");
    return m;
  }

  Lexer lx_;
  std::string file_;
  Token tok_{Token::End, "", 0};
};

// --- types ---

struct Scalar {
  std::uint16_t vt;
  const char* cpp;
  const char* field;
};

const std::map<std::string, Scalar>& Scalars() {
  static const std::map<std::string, Scalar> m = {
      {"long", {vI4, "std::int32_t", "lVal"}},
      {"int", {vINT, "std::int32_t", "intVal"}},
      {"short", {vI2, "std::int16_t", "iVal"}},
      {"char", {vI1, "std::int8_t", "cVal"}},
      {"byte", {vUI1, "std::uint8_t", "bVal"}},
      {"unsigned char", {vUI1, "std::uint8_t", "bVal"}},
      {"unsigned short", {vUI2, "std::uint16_t", "uiVal"}},
      {"unsigned long", {vUI4, "std::uint32_t", "ulVal"}},
      {"unsigned int", {vUINT, "std::uint32_t", "uintVal"}},
      {"hyper", {vI8, "std::int64_t", "llVal"}},
      {"unsigned hyper", {vUI8, "std::uint64_t", "ullVal"}},
      {"float", {vR4, "float", "fltVal"}},
      {"double", {vR8, "double", "dblVal"}},
      {"DATE", {vDATE, "DATE", "date"}},
      {"CY", {vCY, "CY", "cyVal"}},
      {"CURRENCY", {vCY, "CY", "cyVal"}},
      {"BSTR", {vBSTR, "BSTR", "bstrVal"}},
      {"VARIANT_BOOL", {vBOOL, "VARIANT_BOOL", "boolVal"}},
      {"SCODE", {vERROR, "SCODE", "scode"}},
      {"VARIANT", {vVARIANT, "VARIANT", ""}},
      {"GUID", {vCLSID, "GUID", ""}},
  };
  return m;
}

// The raw types of the IDispatch calls, for interfaces that pass such a call on through their
// method table (never in a dual interface): a name array (LPCOLESTR*), the argument block and the
// exception record (pointers only; the library records a pointer to void).
struct RawType {
  std::uint16_t vt;
  const char* cpp;
};

const std::map<std::string, RawType>& RawTypes() {
  static const std::map<std::string, RawType> m = {
      {"LPCOLESTR", {vLPWSTR, "const char16_t* const"}},
      {"DISPPARAMS", {vVOID, "DISPPARAMS"}},
      {"EXCEPINFO", {vVOID, "EXCEPINFO"}},
  };
  return m;
}

bool IsInterfaceName(const std::string& n) { return gInterfaces.count(n) != 0; }

bool DerivesFromDispatch(const std::string& name) {
  if (name == "IDispatch") return true;
  if (name == "IUnknown") return false;
  auto it = gInterfaces.find(name);
  return it != gInterfaces.end() && DerivesFromDispatch(it->second.base);
}

// The type as a VARTYPE chain, for the library.
tlb::TypeSpec Spec(const TypeRef& t, int dropPointers, const Lexer* lx) {
  tlb::TypeSpec s;
  int pointers = t.pointers - dropPointers;
  std::uint16_t inner;
  if (t.base == "SAFEARRAY") {
    auto it = Scalars().find(t.element);
    if (it == Scalars().end()) throw Error{"unknown SAFEARRAY element type " + t.element};
    for (int i = 0; i < pointers; ++i) s.chain.push_back(vPTR);
    s.chain.push_back(vSAFEARRAY);
    s.chain.push_back(it->second.vt);
    return s;
  }
  if (t.base == "IDispatch" || t.base == "IUnknown") {
    if (pointers < 1) throw Error{t.base + " is used without a pointer"};
    inner = t.base == "IDispatch" ? vDISPATCH : vUNKNOWN;
    --pointers;
  } else if (IsInterfaceName(t.base)) {
    if (pointers < 1) throw Error{t.base + " is used without a pointer"};
    for (int i = 0; i < pointers; ++i) s.chain.push_back(vPTR);
    s.chain.push_back(vUSERDEFINED);
    s.ref = gInterfaces[t.base].iid;
    return s;
  } else if (t.base == "void") {
    inner = vVOID;
  } else if (auto raw = RawTypes().find(t.base); raw != RawTypes().end()) {
    if (raw->second.vt == vVOID && pointers < 1) throw Error{t.base + " is used without a pointer"};
    inner = raw->second.vt;
  } else {
    auto it = Scalars().find(t.base);
    if (it == Scalars().end()) throw Error{"unknown type " + t.base};
    inner = it->second.vt;
  }
  (void)lx;
  for (int i = 0; i < pointers; ++i) s.chain.push_back(vPTR);
  s.chain.push_back(inner);
  return s;
}

// The C++ spelling of a parameter type.
std::string Cpp(const TypeRef& t, bool in) {
  std::string base;
  if (t.base == "SAFEARRAY") base = "SAFEARRAY*";
  else if (t.base == "IDispatch" || t.base == "IUnknown" || IsInterfaceName(t.base)) base = t.base;
  else if (Scalars().count(t.base)) base = Scalars().at(t.base).cpp;
  else if (RawTypes().count(t.base)) base = RawTypes().at(t.base).cpp;
  else base = t.base;
  std::string s = base + std::string(static_cast<std::size_t>(t.pointers), '*');
  if (in && t.pointers == 0 && (t.base == "VARIANT" || t.base == "GUID")) s = "const " + s + "&";
  return s;
}

// --- the dispatch view ---

struct FlatMethod {
  const Method* m;
  const Interface* owner;
};

void Flatten(const std::string& name, std::vector<FlatMethod>& out) {
  if (name == "IUnknown" || name == "IDispatch") return;
  auto it = gInterfaces.find(name);
  if (it == gInterfaces.end()) throw Error{"unknown base interface " + name};
  Flatten(it->second.base, out);
  for (const auto& m : it->second.methods) out.push_back({&m, &it->second});
}

std::string RootOf(const std::string& name) {
  if (name == "IUnknown" || name == "IDispatch") return name;
  return RootOf(gInterfaces.at(name).base);
}

std::string CppName(const Method& m) {
  switch (m.invkind) {
    case 2: return "get_" + m.name;
    case 4: return "put_" + m.name;
    case 8: return "putref_" + m.name;
    default: return m.name;
  }
}

void AddBaseFunctions(tlb::TypeData& t, bool dispatch) {
  struct Base { const char* name; std::int32_t id; };
  static const Base unknown[] = {{"QueryInterface", 0x60000000}, {"AddRef", 0x60000001}, {"Release", 0x60000002}};
  static const Base disp[] = {{"GetTypeInfoCount", 0x60010000}, {"GetTypeInfo", 0x60010001},
                              {"GetIDsOfNames", 0x60010002}, {"Invoke", 0x60010003}};
  std::int16_t slot = 0;
  auto add = [&](const Base& b) {
    tlb::FuncData f;
    f.memid = b.id;
    f.invkind = 1;
    f.flags = 0x1;  // restricted
    f.slot = slot++;
    f.name = Wide(b.name);
    f.result.chain = {b.id == 0x60000001 || b.id == 0x60000002 ? vUI4 : vHRESULT};
    t.funcs.push_back(std::move(f));
  };
  for (const auto& b : unknown) add(b);
  if (dispatch)
    for (const auto& b : disp) add(b);
}

tlb::TypeData BuildType(const Interface& itf) {
  tlb::TypeData t;
  const bool dispatch = RootOf(itf.name) == "IDispatch";
  // A dual interface is also called by DISPID through IDispatch. An interface that derives from
  // IDispatch without being dual keeps IDispatch's four slots but is called through its method
  // table only, so its own members are free of the automation rules.
  const bool automation = dispatch && itf.dual;
  if (itf.dual && !dispatch) throw Error{itf.name + ": a dual interface derives from IDispatch"};
  t.kind = automation ? 4 : 3;
  t.flags = static_cast<std::uint16_t>((automation ? 0x40 | 0x100 | 0x1000 : 0) | (itf.hidden ? 0x10 : 0));
  t.guid = itf.iid;
  t.name = Wide(itf.name);
  t.doc = Wide(itf.help);
  t.baseName = Wide(itf.base);
  AddBaseFunctions(t, dispatch);
  std::vector<FlatMethod> flat;
  Flatten(itf.name, flat);
  std::int16_t slot = static_cast<std::int16_t>(t.funcs.size());
  std::int32_t autoId = 0x60020000;
  for (const auto& fm : flat) {
    const Method& m = *fm.m;
    tlb::FuncData f;
    if (automation && !m.hasId) throw Error{fm.owner->name + "." + m.name + ": a dual interface's members need an id"};
    f.memid = m.hasId ? m.id : autoId++;
    f.invkind = m.invkind;
    f.flags = m.flags;
    f.slot = slot++;
    f.name = Wide(m.name);
    f.doc = Wide(m.help);
    if (automation && m.ret != "HRESULT") throw Error{fm.owner->name + "." + m.name + ": a dual interface's members return HRESULT"};
    if (m.ret == "HRESULT")
      f.result.chain = {automation ? vVOID : vHRESULT};
    else if (m.ret == "void")
      f.result.chain = {vVOID};
    else
      f.result.chain = {Scalars().at(m.ret).vt};
    for (std::size_t i = 0; i < m.params.size(); ++i) {
      const Param& p = m.params[i];
      if (p.retval) {
        if (i + 1 != m.params.size() || !p.out || p.type.pointers < 1)
          throw Error{fm.owner->name + "." + m.name + ": [out, retval] must be the last parameter, a pointer"};
        if (automation) {
          f.result = Spec(p.type, 1, nullptr);
          continue;
        }
      }
      if (p.optional && p.type.base != "VARIANT")
        throw Error{fm.owner->name + "." + m.name + ": only VARIANT parameters can be optional"};
      if (automation && (p.type.base == "GUID"))
        throw Error{fm.owner->name + "." + m.name + ": GUID is no automation type"};
      if (automation && RawTypes().count(p.type.base))
        throw Error{fm.owner->name + "." + m.name + ": " + p.type.base + " is no automation type"};
      tlb::ParamData pd;
      pd.name = Wide(p.name);
      pd.flags = static_cast<std::uint16_t>((p.in ? 0x1 : 0) | (p.out ? 0x2 : 0) | (p.retval ? 0x8 : 0) |
                                            (p.optional ? 0x10 : 0));
      pd.type = Spec(p.type, 0, nullptr);
      f.params.push_back(std::move(pd));
    }
    t.funcs.push_back(std::move(f));
  }
  return t;
}

// --- output ---

std::string GuidLiteral(const GUID& g) { return "MakeGuid(\"" + GuidToString(g) + "\")"; }

void WriteIfChanged(const std::filesystem::path& path, const std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (in) {
    std::stringstream old;
    old << in.rdbuf();
    if (old.str() == content) return;
  }
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw Error{"cannot write " + path.string()};
}

std::string Header(const Library& lib) {
  std::ostringstream o;
  o << "// The interfaces of the type library " << lib.name << ", generated from "
    << std::filesystem::path(lib.file).filename().string() << ". Do not edit.\n"
    << "#pragma once\n\n#include <cstdint>\n#include <span>\n\n#include \"platform/automation/dispatch.h\"\n"
    << "#include \"platform/automation/dispatch_thunks.h\"\n#include \"platform/automation/safearray.h\"\n\n"
    << "namespace pw {\n\n";
  std::set<std::string> foreign;
  for (const auto& n : lib.interfaces) {
    const Interface& itf = gInterfaces[n];
    auto note = [&](const std::string& t) {
      if (IsInterfaceName(t) && gInterfaces[t].library != lib.name) foreign.insert(t);
    };
    note(itf.base);
    for (const auto& m : itf.methods)
      for (const auto& p : m.params) note(p.type.base);
  }
  std::set<std::string> included;
  for (const auto& f : foreign) {
    const std::string& other = gInterfaces[f].library;
    if (included.insert(other).second) o << "}  // namespace pw\n#include \"interfaces/" << other << ".h\"\nnamespace pw {\n\n";
  }
  o << "inline constexpr GUID LIBID_" << lib.name << " = " << GuidLiteral(lib.guid) << ";\n\n";
  o << "// The Invoke thunks of the library's dual interfaces (" << lib.name << "_thunks.cpp), sorted by GUID;\n"
    << "// the binary that owns the library registers them with RegisterInterfaceThunks.\n"
    << "std::span<const InterfaceThunks> " << lib.name << "InterfaceThunks() noexcept;\n\n";
  for (const auto& n : lib.interfaces) o << "struct " << n << ";\n";
  o << "\n";
  for (const auto& n : lib.interfaces) {
    const Interface& itf = gInterfaces[n];
    if (!itf.help.empty()) o << "// " << itf.help << "\n";
    o << "struct " << itf.name << " : " << itf.base << " {\n"
      << "  static constexpr IID iid = " << GuidLiteral(itf.iid) << ";\n"
      << "  using Inherited = " << itf.base << ";\n";
    for (const auto& m : itf.methods) {
      o << "  virtual " << (m.ret == "HRESULT" ? std::string("HRESULT") : m.ret == "void" ? std::string("void") : Scalars().at(m.ret).cpp)
        << " " << CppName(m) << "(";
      for (std::size_t i = 0; i < m.params.size(); ++i) {
        const Param& p = m.params[i];
        o << (i ? ", " : "") << Cpp(p.type, !p.out) << " " << p.name;
      }
      o << ") = 0;\n";
    }
    o << "};\n\n";
  }
  o << "}  // namespace pw\n";
  return o.str();
}

// Reads argument k (dispatch-view order) in the form the C++ parameter wants.
std::string ArgExpr(const Param& p, std::size_t k) {
  std::string a = "a[" + std::to_string(k) + "]";
  const TypeRef& t = p.type;
  if (t.base == "SAFEARRAY" && t.pointers == 0) return a + ".parray";
  if (t.pointers == 0) {
    if (t.base == "VARIANT") return a;
    return a + "." + Scalars().at(t.base).field;
  }
  if ((t.base == "IDispatch" || t.base == "IUnknown") && t.pointers == 1)
    return a + (t.base == "IDispatch" ? ".pdispVal" : ".punkVal");
  if (IsInterfaceName(t.base) && t.pointers == 1) return "static_cast<" + t.base + "*>(" + a + ".byref)";
  TypeRef pointee = t;
  --pointee.pointers;
  return "static_cast<" + Cpp(pointee, false) + "*>(" + a + ".byref)";
}

std::string Thunk(const Interface& itf, const Method& m, const std::string& fn) {
  std::ostringstream o;
  o << "HRESULT " << fn << "(void* self, VARIANTARG* a, VARIANT* r) {\n";
  std::vector<std::string> args;
  std::size_t k = 0;
  const Param* retval = nullptr;
  for (const auto& p : m.params) {
    if (p.retval) {
      retval = &p;
      continue;
    }
    args.push_back(ArgExpr(p, k++));
  }
  bool unusedA = k == 0;
  if (unusedA) o << "  (void)a;\n";
  std::string call = "static_cast<" + itf.name + "*>(self)->" + CppName(m) + "(";
  for (std::size_t i = 0; i < args.size(); ++i) call += (i ? ", " : "") + args[i];
  // The result is written only when the call succeeds, and then completely (see
  // dispatch_thunks.h).
  if (!retval) {
    o << "  HRESULT hr = " << call << ");\n"
      << "  if (Succeeded(hr)) *r = VARIANT{};\n"
      << "  return hr;\n}\n\n";
    return o.str();
  }
  if (!args.empty()) call += ", ";
  TypeRef t = retval->type;
  --t.pointers;
  if (t.base == "VARIANT" && t.pointers == 0) {
    o << "  VARIANT value{};\n"
      << "  HRESULT hr = " << call << "&value);\n"
      << "  if (Succeeded(hr)) *r = value;\n  else VariantClear(&value);\n"
      << "  return hr;\n}\n\n";
    return o.str();
  }
  // What a failed call may have left in the value is freed (see dispatch_thunks.h).
  std::string vt, field, release;
  if (t.base == "SAFEARRAY" && t.pointers == 0) {
    vt = "VT_ARRAY | " + std::to_string(Scalars().at(t.element).vt);
    field = "parray";
    release = "SafeArrayDestroy(value)";
  } else if (t.pointers == 1 && (t.base == "IDispatch" || (IsInterfaceName(t.base) && DerivesFromDispatch(t.base)))) {
    vt = "VT_DISPATCH";
    field = "pdispVal";
    release = "if (value) value->Release()";
  } else if (t.pointers == 1 && (t.base == "IUnknown" || IsInterfaceName(t.base))) {
    vt = "VT_UNKNOWN";
    field = "punkVal";
    release = "if (value) value->Release()";
  } else if (t.pointers == 0 && Scalars().count(t.base) && *Scalars().at(t.base).field) {
    vt = std::to_string(Scalars().at(t.base).vt);
    field = Scalars().at(t.base).field;
    if (t.base == "BSTR") release = "SysFreeString(value)";
  } else {
    throw Error{itf.name + "." + m.name + ": unsupported result type"};
  }
  o << "  " << Cpp(t, false) << " value{};\n"
    << "  HRESULT hr = " << call << "&value);\n"
    << "  if (Succeeded(hr)) {\n    *r = VARIANT{};\n    r->vt = static_cast<VARTYPE>(" << vt << ");\n    r->" << field
    << " = value;\n  }";
  if (!release.empty()) o << " else {\n    " << release << ";\n  }";
  o << "\n  return hr;\n}\n\n";
  return o.str();
}

std::string Thunks(const Library& lib) {
  const std::string function = lib.name + "InterfaceThunks";
  std::ostringstream o;
  o << "// The Invoke thunks of the dual interfaces of " << lib.name << ", generated from its interface description.\n"
    << "// Do not edit.\n"
    << "#include <iterator>\n#include <span>\n\n#include \"platform/automation/dispatch_thunks.h\"\n"
    << "#include \"interfaces/" << lib.name << ".h\"\n";
  o << "\nnamespace pw {\n\nnamespace {\n\n";
  struct Entry { GUID iid; std::string table; std::size_t count; };
  std::vector<Entry> entries;
  for (const auto& name : lib.interfaces) {
    const Interface& itf = gInterfaces[name];
    if (RootOf(name) != "IDispatch" || !itf.dual) continue;
    std::vector<FlatMethod> flat;
    Flatten(name, flat);
    std::vector<std::string> fns(7, "nullptr");
    for (std::size_t i = 0; i < flat.size(); ++i) {
      std::string fn = "Thunk_" + name + "_" + std::to_string(i + 7);
      o << Thunk(itf, *flat[i].m, fn);
      fns.push_back(fn);
    }
    std::string table = "kThunks_" + name;
    o << "const DispatchThunk " << table << "[] = {";
    for (std::size_t i = 0; i < fns.size(); ++i) o << (i ? ", " : "") << fns[i];
    o << "};\n\n";
    entries.push_back({itf.iid, table, fns.size()});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.iid < b.iid; });
  o << "const InterfaceThunks kInterfaces[] = {\n";
  for (const auto& e : entries) o << "    {" << GuidLiteral(e.iid) << ", " << e.count << ", " << e.table << "},\n";
  if (entries.empty()) o << "    {GUID_NULL, 0, nullptr},\n";
  o << "};\n\n}  // namespace\n\n"
    << "// Sorted by interface GUID.\n"
    << "std::span<const InterfaceThunks> " << function << "() noexcept {\n"
    << "  return {std::begin(kInterfaces), std::size(kInterfaces) - " << (entries.empty() ? 1 : 0) << "};\n}\n\n"
    << "}  // namespace pw\n";
  return o.str();
}

std::string Resource(const Library& lib, const std::vector<std::uint8_t>& bytes) {
  std::ostringstream o;
  o << "// The type library " << lib.name << " as the type library resource of the binary that links this file.\n"
    << "// Generated; do not edit.\n\nnamespace {\n\n"
    << "alignas(8) __attribute__((section(\".pwtypelib\"), used)) const unsigned char kTypeLibrary[] = {";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 24 == 0) o << "\n   ";
    o << " " << static_cast<int>(bytes[i]) << ",";
  }
  o << "\n};\n\n}  // namespace\n";
  return o.str();
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path gen, ext;
  std::set<std::string> embed;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--gen" && i + 1 < argc) gen = argv[++i];
    else if (a == "--ext" && i + 1 < argc) ext = argv[++i];
    else if (a == "--embed" && i + 1 < argc) embed.insert(argv[++i]);
    else files.push_back(a);
  }
  if (gen.empty() || ext.empty() || files.empty()) {
    std::cerr << "usage: idlgen --gen GENDIR --ext EXTDIR [--embed LIBRARY]... FILE.idl...\n";
    return 2;
  }
  try {
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      if (!in) throw Error{"cannot read " + f};
      std::stringstream text;
      text << in.rdbuf();
      Parser(text.str(), f).ParseFile();
    }
    for (const auto& lib : gLibraries) {
      tlb::LibraryData data;
      data.guid = lib.guid;
      data.major = lib.major;
      data.minor = lib.minor;
      data.name = Wide(lib.name);
      data.doc = Wide(lib.help);
      for (const auto& n : lib.interfaces) data.types.push_back(BuildType(gInterfaces[n]));
      auto bytes = tlb::Serialize(data);
      std::string blob(bytes.begin(), bytes.end());
      WriteIfChanged(gen / "interfaces" / (lib.name + ".h"), Header(lib));
      WriteIfChanged(gen / (lib.name + ".tlb"), blob);
      WriteIfChanged(gen / (lib.name + "_thunks.cpp"), Thunks(lib));
      if (embed.count(lib.name)) WriteIfChanged(gen / (lib.name + "_resource.cpp"), Resource(lib, bytes));
      else WriteIfChanged(ext / (lib.name + ".tlb"), blob);
    }
    for (const auto& e : embed)
      if (std::none_of(gLibraries.begin(), gLibraries.end(), [&](const Library& l) { return l.name == e; }))
        throw Error{"no library named " + e};
  } catch (const Error& e) {
    std::cerr << "idlgen: " << e.message << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "idlgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
