#include "core/files/milestone.h"

#include <fstream>
#include <sstream>

namespace pw {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<FileVersion> ParseVersion(std::string_view text) {
  DWORD parts[4] = {0, 0, 0, 0};
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t digits = 0;
    DWORD value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<DWORD>(text[pos] - '0');
      if (value > 65535) return std::nullopt;
      ++pos, ++digits;
    }
    if (digits == 0) {
      if (i == 0) return std::nullopt;
      break;
    }
    parts[i] = value;
    if (pos >= text.size() || text[pos] != '.') break;
    ++pos;
  }
  return FileVersion{parts[0], parts[1], parts[2], parts[3]};
}

}  // namespace

std::optional<FileVersion> ParseMilestone(std::string_view iniText) {
  if (iniText.substr(0, 3) == "\xEF\xBB\xBF") iniText.remove_prefix(3);
  bool inBuild = false;
  while (!iniText.empty()) {
    const std::size_t end = iniText.find('\n');
    const std::string_view line = Trim(iniText.substr(0, end));
    iniText = end == std::string_view::npos ? std::string_view() : iniText.substr(end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      inBuild = line == "[Build]";
      continue;
    }
    if (!inBuild) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)) != "Milestone") continue;
    return ParseVersion(Trim(line.substr(eq + 1)));
  }
  return std::nullopt;
}

std::optional<FileVersion> ReadMilestone(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return ParseMilestone(text.str());
}

}  // namespace pw
