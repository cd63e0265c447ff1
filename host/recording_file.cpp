#include "host/recording_file.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

using Json = nlohmann::ordered_json;

struct Named {
  const char* name;
  GUID guid;
};

const Named kKinds[] = {
    {"click", MakeGuid("{B707146F-408D-43B2-B335-09DA5F546AF2}")},
    {"key press", MakeGuid("{A7256EDA-DCFC-43F9-8908-D8CCB0653B9C}")},
    {"select changed", MakeGuid("{0680E2EE-BCF8-4D5B-8F9F-A203B947E13B}")},
    {"pending click", MakeGuid("{CB895828-5C87-413F-820E-5426A0CEEF3D}")},
    {"item click action", MakeGuid("{DBEF24C6-9012-47B3-9283-184E0398797D}")},
    {"click action", MakeGuid("{0A5DF60F-C06A-482F-97BD-31E7EC4095F1}")},
    {"simple click action", MakeGuid("{967B4404-BE91-4702-A018-BFAEB8027532}")},
    {"check changed", MakeGuid("{7D8BA68C-0524-4734-8D20-0208CDFF343C}")},
    {"set checked action", MakeGuid("{9EAB7003-AE87-49BB-9665-76FD48A953E5}")},
    {"refresh event", MakeGuid("{ED4F9236-03BA-420F-980F-C0C8D054CD90}")},
    {"refresh action", MakeGuid("{A9D41948-4ACE-485F-BBEC-86AAEC064CA4}")},
    {"set text action", MakeGuid("{52C4BB32-5C22-412F-A5DA-C507385FEF22}")},
    {"page closed", MakeGuid("{2C1D4F62-2D29-4478-9E1A-20FD01494C1F}")},
    {"close page action", MakeGuid("{CF2F39CC-4C9F-496D-83A6-E8EADB621FB9}")},
    {"tab click action", MakeGuid("{55FB2362-A760-4A22-8788-0024B0486C76}")},
    {"navigate action", MakeGuid("{E410A32F-386A-4F78-80EC-18C467504A60}")},
    {"useless kind", MakeGuid("{E95A927D-B00A-47E2-A762-A082A539E932}")},
    {"wait action", MakeGuid("{CEE5A01E-F543-46B6-AC17-D38AD90B64D9}")},
};

// Parameter keys; the blocks carry their size.
struct NamedKey {
  const char* name;
  GUID guid;
  std::int32_t blockSize;  // 0: a value
};

const NamedKey kKeys[] = {
    {"click", MakeGuid("{B707146F-408D-43B2-B335-09DA5F546AF2}"), 16},
    {"select pending", MakeGuid("{C1DC1B5B-29B6-4499-AE66-46793451CE86}"), 0},
    {"key state block", MakeGuid("{4B6E1BCE-474C-4C86-8137-913ABE4DB22A}"), 40},
    {"screen block", MakeGuid("{A18BD7A8-1835-41E3-A4EB-087E0CF3F9F0}"), 1056},
    {"double click", MakeGuid("{8C5B9DD9-1DC7-4AA9-9F92-4DEB5D1DCA16}"), 0},
    {"time stamp", MakeGuid("{C76D40F5-15D0-4954-B3F4-5141DD7D44CC}"), 0},
    {"not ready", MakeGuid("{20D604C1-4784-444F-8764-00D5EADBDA2F}"), 0},
    {"useless", MakeGuid("{292F0A0D-46FE-44D0-83C4-A1FD04F571C9}"), 0},
    {"browser id", MakeGuid("{3B078FC5-4EAD-418C-8B2E-E033F7CCB9B7}"), 0},
    {"method name", MakeGuid("{1B934CE1-CEE4-4326-8CCA-41CD497BF8C9}"), 0},
    {"key text", MakeGuid("{9FFC15A6-6E10-47DC-9F0E-4C40F3F464D8}"), 0},
    {"object type", MakeGuid("{0F55E733-797C-4DB9-9EDD-C2A95476E8F4}"), 0},
    {"parent type", MakeGuid("{D2389E33-3B6C-4DD0-BE5D-210162199169}"), 0},
    {"parent id", MakeGuid("{DBE36D9D-E285-4AEE-8FDD-0654CA5F376B}"), 0},
    {"item value", MakeGuid("{18C900F0-4256-4BA4-A6EE-3AF074DCCB9F}"), 0},
    {"item", MakeGuid("{4223EE3B-4855-4826-AEF2-124E4C2E5C38}"), 0},
    {"click count", MakeGuid("{D5D6BD9E-4FAB-4969-8236-37E3C075DC59}"), 4},
    {"close requested", MakeGuid("{9158CF91-9A97-4821-B68C-BF6135DD37D8}"), 0},
    {"url", MakeGuid("{EC65A7C5-089A-4853-995C-9480FD384B08}"), 0},
    {"browser type", MakeGuid("{E8B3E4C9-CA9D-4200-AB2C-2E77D4E136C4}"), 0},
    {"button mask", MakeGuid("{275441E6-1DC5-4A5A-8E3C-62EB0085E316}"), 0},
    {"shift state", MakeGuid("{449A9FA2-A3D6-46A5-98A0-9440795A9DBD}"), 0},
    {"x", MakeGuid("{15A58D5A-B562-42C0-9F83-91B8E63A4BC6}"), 0},
    {"y", MakeGuid("{0DBE5311-22EC-4412-9CC3-F3CE136A2504}"), 0},
    {"checked", MakeGuid("{6B944E1B-70AF-4389-83F8-69916976D220}"), 0},
};

// The web options the file names by caption, with their keys and kinds.
struct OptionInfo {
  const char* caption;
  GUID key;
  std::int32_t kind;
};
const OptionInfo kOptions[] = {
    {"Add comments for Wait method", MakeGuid("{74CC9F3B-2E52-4B16-844A-9EE33532B51E}"), kSettingBoolean},
    {"Tested host", MakeGuid("{323FACDA-38E8-4C1B-B22C-99E0AB90EADC}"), kSettingText},
    {"Record tested host as", MakeGuid("{E47A2931-EE5D-42D2-8CB7-3796DE597AA1}"), kSettingText},
    {"Ignore dynamic URL parameters", MakeGuid("{BC2725AB-C90D-4761-BEB2-ABACE30FE554}"), kSettingBoolean},
    {"Web page loading timeout, ms", MakeGuid("{542B9FA0-35EA-4C4D-BF0B-661005CB94E9}"), kSettingInteger},
};
constexpr const char* kDynamicParameters = "Dynamic parameters";
constexpr GUID kDynamicParametersKey = MakeGuid("{33C0A94E-7F58-493C-BCCC-91685352F9B4}");
constexpr const char* kSingleBrowser = "Single browser";
constexpr GUID kSingleBrowserKey = MakeGuid("{0787AA13-4C49-418A-A688-B23BE9F226F4}");
constexpr const char* kDoubleClickTime = "Double-click time, ms";
constexpr GUID kProcessKind = MakeGuid("{89700BDC-D5D8-4BE2-ACC3-E934A765A45A}");

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw RecordingFileError(where + ": " + what);
}

GUID ParseGuid(const Json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, "expected GUID text");
  auto g = GuidFromString(std::string_view(j.get_ref<const std::string&>()));
  if (!g) Fail(where, "not a GUID: \"" + j.get<std::string>() + "\"");
  return *g;
}

GUID ParseKind(const Json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, "expected a kind name or GUID text");
  const auto& s = j.get_ref<const std::string&>();
  for (const auto& k : kKinds)
    if (s == k.name) return k.guid;
  if (auto g = GuidFromString(std::string_view(s))) return *g;
  Fail(where, "unknown kind \"" + s + "\"");
}

const NamedKey* FindKey(const GUID& key) {
  for (const auto& k : kKeys)
    if (k.guid == key) return &k;
  return nullptr;
}

GUID ParseKey(const std::string& s, const std::string& where) {
  for (const auto& k : kKeys)
    if (s == k.name) return k.guid;
  if (auto g = GuidFromString(std::string_view(s))) return *g;
  Fail(where, "unknown parameter \"" + s + "\"");
}

std::vector<std::uint8_t> ParseHex(const Json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, "expected hexadecimal text");
  const auto& s = j.get_ref<const std::string&>();
  if (s.size() % 2) Fail(where, "odd number of hexadecimal digits");
  std::vector<std::uint8_t> bytes;
  bytes.reserve(s.size() / 2);
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    Fail(where, "not a hexadecimal digit");
  };
  for (std::size_t i = 0; i < s.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(digit(s[i]) * 16 + digit(s[i + 1])));
  return bytes;
}

OleVariant ParseValue(const Json& j, const std::string& where) {
  if (j.is_boolean()) return OleVariant(j.get<bool>());
  if (j.is_string()) return OleVariant(Utf8ToWide(j.get_ref<const std::string&>()));
  if (j.is_null()) return OleVariant();
  if (j.is_number_integer()) {
    auto v = j.get<std::int64_t>();
    if (j.is_number_unsigned() &&
        j.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return OleVariant(j.get<double>());
    if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
      return OleVariant(static_cast<std::int32_t>(v));
    return OleVariant(static_cast<double>(v));
  }
  if (j.is_number_float()) return OleVariant(j.get<double>());
  Fail(where, "expected a number, a text, a Boolean or {\"hex\": ...}");
}

std::string WideText(const WideString& s) { return WideToUtf8(s); }

Json ValueJson(const OleVariant& v) {
  switch (v.Type()) {
    case VT_EMPTY:
    case VT_NULL:
      return nullptr;
    case VT_BOOL:
      return v.Get().boolVal != VARIANT_FALSE;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
      return v.AsInt();
    case VT_R4:
    case VT_R8: {
      double d = v.AsDouble();
      if (!std::isfinite(d)) return WideText(v.AsString());
      return d;
    }
    case VT_BSTR:
      return WideText(v.AsString());
    default:
      break;
  }
  try {
    return WideText(v.AsString());
  } catch (const Exception&) {
    return nullptr;
  }
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace

std::string RecordedKindName(const GUID& kind) {
  for (const auto& k : kKinds)
    if (k.guid == kind) return k.name;
  return GuidToString(kind);
}

std::string RecordedKeyName(const GUID& key) {
  if (auto k = FindKey(key)) return k->name;
  return GuidToString(key);
}

RecordingFile ParseRecording(std::string_view text) {
  Json doc;
  try {
    doc = Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {  // a syntax error, or a number out of range
    std::string what = e.what();
    auto close = what.find("] ");
    throw RecordingFileError(close == std::string::npos ? what : what.substr(close + 2));
  }
  if (!doc.is_object()) Fail("the file", "expected an object with \"settings\", \"objects\" and \"actions\"");
  for (const auto& [name, value] : doc.items())
    if (name != "settings" && name != "objects" && name != "actions") Fail(name, "unknown field");

  RecordingFile file;
  // Settings.
  if (doc.contains("settings")) {
    const auto& s = doc["settings"];
    if (!s.is_object()) Fail("settings", "expected an object");
    for (const auto& [name, value] : s.items()) {
      std::string where = "settings." + name;
      if (name == kDynamicParameters) {
        if (!value.is_array()) Fail(where, "expected an array of texts");
        std::vector<WideString> rows;
        for (const auto& row : value) {
          if (!row.is_string()) Fail(where, "expected an array of texts");
          rows.push_back(Utf8ToWide(row.get_ref<const std::string&>()));
        }
        file.settings.dynamicParameters = std::move(rows);
      } else if (name == kSingleBrowser) {
        if (!value.is_boolean()) Fail(where, "expected true or false");
        file.settings.singleBrowser = value.get<bool>();
      } else if (name == kDoubleClickTime) {
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 0xFFFFFFFFu)
          Fail(where, "expected a number of milliseconds");
        file.settings.doubleClickTime = static_cast<std::uint32_t>(value.get<std::uint64_t>());
      } else {
        const OptionInfo* option = nullptr;
        for (const auto& o : kOptions)
          if (name == o.caption) option = &o;
        if (!option) Fail(where, "unknown setting");
        bool ok = option->kind == kSettingBoolean   ? value.is_boolean()
                  : option->kind == kSettingInteger ? value.is_number_integer()
                                                    : value.is_string();
        if (!ok)
          Fail(where, option->kind == kSettingBoolean   ? "expected true or false"
                      : option->kind == kSettingInteger ? "expected a whole number"
                                                        : "expected a text");
        file.settings.options.emplace_back(name, ParseValue(value, where));
      }
    }
  }

  // Objects.
  file.actions = MakeObject<TRecordedActionList>();
  std::vector<std::pair<ComPtr<TRecordedObject>, std::optional<GUID>>> objects;
  if (doc.contains("objects")) {
    const auto& list = doc["objects"];
    if (!list.is_array()) Fail("objects", "expected an array");
    std::map<GUID, std::size_t> byId;
    for (std::size_t i = 0; i < list.size(); ++i) {
      std::string where = "objects[" + std::to_string(i) + "]";
      const auto& o = list[i];
      if (!o.is_object()) Fail(where, "expected an object");
      for (const auto& [name, value] : o.items())
        if (name != "id" && name != "name" && name != "kind" && name != "parent" && name != "properties")
          Fail(where + "." + name, "unknown field");
      if (!o.contains("id")) Fail(where, "missing \"id\"");
      if (!o.contains("name") || !o["name"].is_string())
        Fail(where + ".name", "expected the object's name as script text");
      GUID id = ParseGuid(o["id"], where + ".id");
      if (byId.count(id)) Fail(where + ".id", "a second object with the id " + GuidToString(id));
      GUID kind{};
      if (o.contains("kind")) {
        if (o["kind"].is_string() && o["kind"].get<std::string>() == "process")
          kind = kProcessKind;
        else
          kind = ParseGuid(o["kind"], where + ".kind");
      }
      auto object = MakeObject<TRecordedObject>(id, Utf8ToWide(o["name"].get<std::string>()), kind);
      std::optional<GUID> parent;
      if (o.contains("parent")) parent = ParseGuid(o["parent"], where + ".parent");
      if (o.contains("properties")) {
        const auto& props = o["properties"];
        if (!props.is_object()) Fail(where + ".properties", "expected an object");
        for (const auto& [name, value] : props.items())
          object->SetProperty(Utf8ToWide(name), ParseValue(value, where + ".properties." + name));
      }
      byId[id] = i;
      objects.emplace_back(object, parent);
    }
    // Parents are resolved and checked by index first, so that a refused file leaves no
    // objects holding each other.
    std::vector<std::size_t> parentOf(objects.size(), objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
      const auto& parent = objects[i].second;
      if (!parent) continue;
      auto found = byId.find(*parent);
      if (found == byId.end())
        Fail("objects[" + std::to_string(i) + "].parent", "unknown object " + GuidToString(*parent));
      parentOf[i] = found->second;
    }
    // Parents must end: a chain that comes back to itself is refused.
    for (std::size_t i = 0; i < objects.size(); ++i) {
      std::size_t steps = 0;
      for (std::size_t p = parentOf[i]; p < objects.size(); p = parentOf[p])
        if (++steps > objects.size()) Fail("objects[" + std::to_string(i) + "].parent", "the parents form a loop");
    }
    for (std::size_t i = 0; i < objects.size(); ++i)
      if (parentOf[i] < objects.size()) objects[i].first->SetParent(objects[parentOf[i]].first.Get());
    for (auto& [object, parent] : objects) file.actions->AddObject(object.Get());
  }

  // Actions.
  if (doc.contains("actions")) {
    const auto& list = doc["actions"];
    if (!list.is_array()) Fail("actions", "expected an array");
    for (std::size_t i = 0; i < list.size(); ++i) {
      std::string where = "actions[" + std::to_string(i) + "]";
      const auto& a = list[i];
      if (!a.is_object()) Fail(where, "expected an object");
      for (const auto& [name, value] : a.items())
        if (name != "kind" && name != "target" && name != "object" && name != "params")
          Fail(where + "." + name, "unknown field");
      if (!a.contains("kind")) Fail(where, "missing \"kind\"");
      GUID kind = ParseKind(a["kind"], where + ".kind");
      GUID target = a.contains("target") ? ParseGuid(a["target"], where + ".target") : GUID{};
      TRecordedObject* object = file.actions->FindObjectById(target);
      if (a.contains("object")) {
        GUID objectId = ParseGuid(a["object"], where + ".object");
        object = file.actions->FindObjectById(objectId);
        if (!object) Fail(where + ".object", "unknown object " + GuidToString(objectId));
      }
      auto action = file.actions->Append(kind, target, object);
      if (a.contains("params")) {
        const auto& params = a["params"];
        if (!params.is_object()) Fail(where + ".params", "expected an object");
        for (const auto& [name, value] : params.items()) {
          std::string at = where + ".params." + name;
          GUID key = ParseKey(name, at);
          const NamedKey* known = FindKey(key);
          if (value.is_object()) {
            if (value.size() != 1 || !value.contains("hex")) Fail(at, "expected {\"hex\": ...}");
            auto bytes = ParseHex(value["hex"], at + ".hex");
            if (known && known->blockSize && bytes.size() != static_cast<std::size_t>(known->blockSize))
              Fail(at, "a block of " + std::to_string(known->blockSize) + " bytes expected, " +
                           std::to_string(bytes.size()) + " given");
            action->SetBlock(key, std::move(bytes));
          } else {
            if (known && known->blockSize)
              Fail(at, "expected {\"hex\": ...} of " + std::to_string(known->blockSize) + " bytes");
            action->SetParamValue(key, ParseValue(value, at));
          }
        }
      }
    }
  }
  return file;
}

RecordingFile ReadRecordingFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw RecordingFileError(fileName + ": cannot be read");
  std::stringstream buffer;
  buffer << in.rdbuf();
  try {
    return ParseRecording(buffer.str());
  } catch (const RecordingFileError& e) {
    throw RecordingFileError(fileName + ": " + e.what());
  }
}

std::string WriteRecording(const RecordingSettings& settings, const TRecordedActionList& actions) {
  Json doc = Json::object();
  Json s = Json::object();
  for (const auto& o : kOptions)
    for (const auto& [name, value] : settings.options)
      if (name == o.caption) s[name] = ValueJson(value);
  if (settings.dynamicParameters) {
    Json rows = Json::array();
    for (const auto& r : *settings.dynamicParameters) rows.push_back(WideText(r));
    s[kDynamicParameters] = rows;
  }
  if (settings.singleBrowser) s[kSingleBrowser] = *settings.singleBrowser;
  if (settings.doubleClickTime) s[kDoubleClickTime] = *settings.doubleClickTime;
  doc["settings"] = s;

  Json objects = Json::array();
  for (const auto& object : actions.Objects()) {
    Json o = Json::object();
    o["id"] = GuidToString(object->Id());
    o["name"] = WideText(object->Name());
    if (object->Kind() == kProcessKind)
      o["kind"] = "process";
    else if (object->Kind() != GUID{})
      o["kind"] = GuidToString(object->Kind());
    if (object->Parent()) o["parent"] = GuidToString(object->Parent()->Id());
    if (!object->Properties().empty()) {
      Json props = Json::object();
      for (const auto& [name, value] : object->Properties()) props[WideText(name)] = ValueJson(value);
      o["properties"] = props;
    }
    objects.push_back(o);
  }
  doc["objects"] = objects;

  Json list = Json::array();
  for (const auto& action : actions.LiveActions()) {
    Json a = Json::object();
    a["kind"] = RecordedKindName(action->Kind());
    a["target"] = GuidToString(action->Target());
    if (auto object = dynamic_cast<TRecordedObject*>(QueryAs<IpwRecordedObject>(action->Object()).Get());
        object && object->Id() != action->Target())
      a["object"] = GuidToString(object->Id());
    Json params = Json::object();
    for (const auto& [key, value] : action->Params()) params[RecordedKeyName(key)] = ValueJson(value);
    for (const auto& [key, bytes] : action->Blocks()) params[RecordedKeyName(key)] = Json{{"hex", Hex(bytes)}};
    if (!params.empty()) a["params"] = params;
    list.push_back(a);
  }
  doc["actions"] = list;
  return doc.dump(2) + "\n";
}

void ApplyRecordingSettings(TestHost& host, const RecordingSettings& settings) {
  for (const auto& [name, value] : settings.options)
    for (const auto& o : kOptions)
      if (name == o.caption) host.Settings().DefineSetting(o.key, o.kind, Utf8ToWide(name), value);
  if (settings.dynamicParameters) {
    auto table = host.Settings().DefineSetting(kDynamicParametersKey, kSettingTable, Utf8ToWide(kDynamicParameters),
                                               OleVariant());
    BString column(u"Name");
    OleCheck(table->AddColumn(kSettingText, column.Get(), VARIANT_TRUE, VARIANT_FALSE));
    for (const auto& r : *settings.dynamicParameters) {
      std::int32_t row = 0;
      OleCheck(table->AppendRow(&row));
      OleCheck(table->SetCell(0, row, OleVariant(r).Get()));
    }
  }
  if (settings.singleBrowser)
    host.Settings().DefineSetting(kSingleBrowserKey, kSettingBoolean, u"Single browser",
                                  OleVariant(*settings.singleBrowser));
  if (settings.doubleClickTime) host.Windows().SetDoubleClickTime(*settings.doubleClickTime);
}

}  // namespace pw::host
