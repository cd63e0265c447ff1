#include "tools/pwhost/project_command.h"

#include <optional>

#include "host/test_host.h"
#include "platform/com/guid.h"
#include "platform/rtl/strings.h"
#include "project/types/new_item_check.h"

namespace pw::host {

const char* const kProjectUsage =
    "types | validate TYPE NAME [--location DIR] "
    " list item types or check a new item";

namespace {
std::string Text(WideStringView s) { return WideToUtf8(s); }

int Types(std::FILE* out) {
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  for (const auto& t : project::ListItemTypes(host.Manager()))
    std::fprintf(out, "%s\t%s\t%s\t%s\t%s\tsingle=%d\tnumbered=%d\n", GuidToString(t.key).c_str(),
                 Text(t.caption).c_str(), Text(t.typeName).c_str(), Text(t.extension).c_str(),
                 GuidToString(t.parentKey).c_str(), t.singleInstance ? 1 : 0, t.numberedNames ? 1 : 0);
  return 0;
}

int Validate(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 3 && !(args.size() == 5 && args[3] == "--location")) {
    std::fprintf(err, "usage: pwhost project %s\n", kProjectUsage);
    return 2;
  }
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  auto info = project::FindItemType(host.Manager(), Utf8ToWide(args[1]));
  if (!info) {
    std::fprintf(err, "The host knows no item type \"%s\".\n", args[1].c_str());
    return 1;
  }
  std::optional<WideString> location;
  if (args.size() == 5) location = Utf8ToWide(args[4]);
  auto check = project::CheckNewItem(host.Manager(), info.Get(), nullptr, Utf8ToWide(args[2]), location);
  for (std::size_t i = 0; i < check.params.size(); ++i)
    std::fprintf(out, "%zu\t%s\t%s\n", i, Text(check.params[i].first).c_str(), Text(check.params[i].second).c_str());
  if (!check.fileName.empty()) std::fprintf(out, "file\t%s\n", Text(check.fileName).c_str());
  if (check.valid) {
    std::fputs("valid\n", out);
    return 0;
  }
  std::fprintf(out, "%s\n", check.message.empty() ? "invalid" : Text(check.message).c_str());
  return 1;
}
}  // namespace

int RunProjectCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  try {
    if (args.size() == 1 && args[0] == "types") return Types(out);
    if (!args.empty() && args[0] == "validate") return Validate(args, out, err);
    std::fprintf(err, "usage: pwhost project %s\n", kProjectUsage);
    return 2;
  } catch (const Exception& e) {
    std::fprintf(err, "%s\n", WideToUtf8(e.Message()).c_str());
    return 1;
  }
}

}  // namespace pw::host
