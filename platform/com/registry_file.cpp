#include "platform/com/registry_file.h"

#include <cstdio>

#include "platform/rtl/strings.h"

namespace pw {

namespace {

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  throw RegistryFileError("line " + std::to_string(line) + ": " + what);
}

// The text as UTF-16, from UTF-8 (mark optional) or UTF-16 LE with its mark.
WideString Decode(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2 != 0) throw RegistryFileError("UTF-16 text with an odd number of bytes");
    WideString w;
    w.reserve(bytes.size() / 2 - 1);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      w.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return w;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return Utf8ToWide(bytes);
}

std::vector<WideString> Lines(const WideString& text) {
  std::vector<WideString> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == WideString::npos) end = text.size();
    WideString line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

WideStringView Trim(WideStringView s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

// A quoted text at the start of `s` (after the opening quote): the text, `s` moved past the
// closing quote.
WideString Unquote(WideStringView& s, std::size_t line) {
  WideString out;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'"') break;
    if (c == u'\\') {
      if (++i == s.size()) break;
      c = s[i];
      if (c != u'\\' && c != u'"') Fail(line, "unknown escape in a quoted text");
    }
    out.push_back(c);
  }
  if (i >= s.size()) Fail(line, "unended quoted text");
  s.remove_prefix(i + 1);
  return out;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::string Quote(WideStringView s) {
  std::string out = "\"";
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out.push_back('\\');
    out += WideToUtf8(WideStringView(&c, 1));
  }
  out.push_back('"');
  return out;
}

// Characters a line-based text cannot hold in a name or value.
void CheckLineSafe(WideStringView s) {
  for (char16_t c : s)
    if (c == u'\n' || c == u'\r') throw RegistryFileError("a name or text holds a line break");
}

}  // namespace

std::vector<RegistryFileKey> ParseRegistryText(std::string_view bytes, std::string_view rootName) {
  const WideString root = AsciiToWide(rootName);
  const auto lines = Lines(Decode(bytes));
  std::vector<RegistryFileKey> keys;
  RegistryFileKey* current = nullptr;
  bool header = false;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::size_t lineNo = n + 1;
    if (lines[n].find(u'\r') != WideString::npos) Fail(lineNo, "a carriage return inside a line");
    WideStringView s = Trim(lines[n]);
    if (s.empty() || s.front() == u';') continue;
    if (!header) {
      if (s != u"Windows Registry Editor Version 5.00" && s != u"REGEDIT4")
        Fail(lineNo, "not a registry file (no header line)");
      header = true;
      continue;
    }
    if (s.front() == u'[') {
      if (s.back() != u']') Fail(lineNo, "unended key name");
      WideStringView path = s.substr(1, s.size() - 2);
      if (!path.empty() && path.front() == u'-') Fail(lineNo, "deleting keys is not supported");
      WideStringView head = path.substr(0, path.find(u'\\'));
      if (!SameTextIgnoringCase(head, root)) Fail(lineNo, "the key is not under " + std::string(rootName));
      path.remove_prefix(head.size());
      // Normalise: no empty names, one '\' between names.
      WideString norm;
      std::size_t i = 0;
      while (i < path.size()) {
        while (i < path.size() && path[i] == u'\\') ++i;
        std::size_t j = path.find(u'\\', i);
        if (j == WideStringView::npos) j = path.size();
        if (j > i) {
          if (!norm.empty()) norm.push_back(u'\\');
          norm.append(path.substr(i, j - i));
        }
        i = j;
      }
      current = nullptr;
      for (auto& k : keys)
        if (SameTextIgnoringCase(k.path, norm)) current = &k;
      if (!current) {
        keys.push_back(RegistryFileKey{std::move(norm), {}});
        current = &keys.back();
      }
      continue;
    }
    if (!current) Fail(lineNo, "a value before the first key");
    RegistryFileValue v;
    if (s.front() == u'@') {
      s.remove_prefix(1);
    } else if (s.front() == u'"') {
      s.remove_prefix(1);
      v.name = Unquote(s, lineNo);
    } else {
      Fail(lineNo, "neither a key nor a value");
    }
    s = Trim(s);
    if (s.empty() || s.front() != u'=') Fail(lineNo, "no '=' after the value name");
    s = Trim(s.substr(1));
    if (!s.empty() && s.front() == u'"') {
      s.remove_prefix(1);
      v.type = RegistryValueType::String;
      v.text = Unquote(s, lineNo);
    } else if (s.size() > 6 && SameTextIgnoringCase(s.substr(0, 6), u"dword:")) {
      s.remove_prefix(6);
      std::size_t digits = 0;
      std::uint32_t number = 0;
      while (digits < s.size() && HexDigit(s[digits]) >= 0) {
        if (digits == 8) Fail(lineNo, "a dword value longer than eight digits");
        number = number << 4 | static_cast<std::uint32_t>(HexDigit(s[digits]));
        ++digits;
      }
      if (digits == 0) Fail(lineNo, "a dword value without digits");
      s.remove_prefix(digits);
      v.type = RegistryValueType::DWord;
      v.number = number;
    } else {
      Fail(lineNo, "unsupported value type (only strings and dword values are understood)");
    }
    if (!Trim(s).empty()) Fail(lineNo, "text after the value");
    bool replaced = false;
    for (auto& old : current->values) {
      if (SameTextIgnoringCase(old.name, v.name)) {
        old = std::move(v);
        replaced = true;
        break;
      }
    }
    if (!replaced) current->values.push_back(std::move(v));
  }
  if (!header) Fail(lines.size(), "not a registry file (no header line)");
  return keys;
}

std::string FormatRegistryText(const std::vector<RegistryFileKey>& keys, std::string_view rootName) {
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const auto& k : keys) {
    CheckLineSafe(k.path);
    out += "\n[";
    out += rootName;
    if (!k.path.empty()) out += "\\" + WideToUtf8(k.path);
    out += "]\n";
    for (const auto& v : k.values) {
      CheckLineSafe(v.name);
      out += v.name.empty() ? std::string("@") : Quote(v.name);
      out += "=";
      if (v.type == RegistryValueType::DWord) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.number);
        out += buf;
      } else {
        CheckLineSafe(v.text);
        out += Quote(v.text);
      }
      out += "\n";
    }
  }
  return out;
}

}  // namespace pw
