#include "platform/kernel/processes.h"
#include "platform/rtl/strings.h"
#include "platform/ui/message_layer.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <cstdlib>
#include <mutex>

namespace pw {

struct ProcessModel {
  std::mutex lock;
  std::vector<ProcessDescription> processes;
  bool searchPathSet = false;
  std::vector<std::string> searchPath;
};

namespace {

ProcessModel& Model() {
  static ProcessModel* model = new ProcessModel;  // lives until exit: modules read it at unload
  return *model;
}

std::vector<std::string> PathFolders() {
  std::vector<std::string> folders;
  const char* path = std::getenv("PATH");
  std::string p = path ? path : "";
  std::size_t start = 0;
  while (start <= p.size()) {
    std::size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    if (end > start) folders.push_back(p.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

// The window with that handle among `windows` and their descendants; its parent in `parent`.
const WindowDescription* FindIn(const std::vector<WindowDescription>& windows, HWND window, HWND* parent, HWND above) {
  for (const auto& w : windows) {
    if (w.window == window) {
      if (parent) *parent = above;
      return &w;
    }
    if (const auto* found = FindIn(w.children, window, parent, w.window)) return found;
  }
  return nullptr;
}

// Finds a window of any process under the model's lock; its process in `process`.
const WindowDescription* FindWindow(ProcessModel& m, HWND window, HWND* parent = nullptr, DWORD* process = nullptr) {
  if (window == 0) return nullptr;
  for (const auto& p : m.processes)
    if (const auto* found = FindIn(p.windows, window, parent, 0)) {
      if (process) *process = p.id;
      return found;
    }
  return nullptr;
}

bool EraseIn(std::vector<WindowDescription>& windows, HWND window) {
  if (std::erase_if(windows, [&](const WindowDescription& w) { return w.window == window; }) > 0) return true;
  for (auto& w : windows)
    if (EraseIn(w.children, window)) return true;
  return false;
}

void AppendDescendants(const WindowDescription& w, std::vector<HWND>& out) {
  for (const auto& c : w.children) {
    out.push_back(c.window);
    AppendDescendants(c, out);
  }
}

}  // namespace

void DescribeProcess(const ProcessDescription& process) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  for (auto& p : m.processes)
    if (p.id == process.id) {
      p = process;
      return;
    }
  m.processes.push_back(process);
}

bool RemoveProcessDescription(DWORD id) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  auto at = std::find_if(m.processes.begin(), m.processes.end(), [&](const auto& p) { return p.id == id; });
  if (at == m.processes.end()) return false;
  m.processes.erase(at);
  return true;
}

void ClearProcessDescriptions() {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  m.processes.clear();
}

std::optional<ProcessDescription> FindProcessDescription(DWORD id) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  for (const auto& p : m.processes)
    if (p.id == id) return p;
  return std::nullopt;
}

std::vector<ProcessDescription> ProcessDescriptions() {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  return m.processes;
}

std::vector<WideString> GetProcessModuleNames(DWORD id) {
  auto p = FindProcessDescription(id);
  return p ? p->modules : std::vector<WideString>{};
}

std::vector<HWND> GetProcessWindowHandles(DWORD id) {
  std::vector<HWND> handles;
  if (auto p = FindProcessDescription(id))
    for (const auto& w : p->windows) handles.push_back(w.window);
  return handles;
}

bool IsWindow(HWND window) {
  if (IsMessageWindow(window)) return true;
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  return FindWindow(m, window) != nullptr;
}

bool DestroyWindow(HWND window) {
  if (window == 0) return false;
  if (DestroyMessageWindow(window)) return true;
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  for (auto& p : m.processes)
    if (EraseIn(p.windows, window)) return true;
  return false;
}

WideString GetWindowClassName(HWND window) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  const auto* w = FindWindow(m, window);
  return w ? w->className : WideString{};
}

std::vector<HWND> GetChildWindowHandles(HWND window) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  std::vector<HWND> out;
  if (const auto* w = FindWindow(m, window)) AppendDescendants(*w, out);
  return out;
}

HWND GetParentWindow(HWND window) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  HWND parent = 0;
  return FindWindow(m, window, &parent) ? parent : 0;
}

DWORD GetWindowProcessId(HWND window) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  DWORD process = 0;
  return FindWindow(m, window, nullptr, &process) ? process : 0;
}

void SetSystemSearchPath(std::vector<std::string> folders) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  m.searchPath = std::move(folders);
  m.searchPathSet = true;
}

std::vector<std::string> SystemSearchPath() {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  return m.searchPathSet ? m.searchPath : PathFolders();
}

std::string SearchPathA(const std::string& fileName, std::size_t bufferLength) {
  if (fileName.empty() || fileName.find('/') != std::string::npos) return {};
  for (const auto& folder : SystemSearchPath()) {
    if (folder.empty()) continue;  // an empty entry names no folder
    std::string full = folder;
    if (full.back() != '/') full += '/';
    full += fileName;
    struct stat st {};
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return full.size() < bufferLength ? full : std::string();
  }
  return {};
}

// ---- Module file versions -------------------------------------------------------------------

namespace {

// By file name: '\\' read as '/', names compared ignoring case, so one file named in both
// spellings is one entry.
std::string FileVersionKey(std::string_view fileName) {
  std::string key(fileName);
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

struct FileNameLess {
  bool operator()(const std::string& a, const std::string& b) const { return CompareTextIgnoringCase(a, b) < 0; }
};

struct ModuleFileVersions {
  std::mutex lock;
  std::map<std::string, ModuleFileVersion, FileNameLess> versions;
};

ModuleFileVersions& FileVersions() {
  static ModuleFileVersions table;
  return table;
}

}  // namespace

void DescribeModuleFileVersion(const std::string& fileName, const ModuleFileVersion& version) {
  auto& table = FileVersions();
  std::lock_guard guard(table.lock);
  table.versions[FileVersionKey(fileName)] = version;
}

void RemoveModuleFileVersion(const std::string& fileName) {
  auto& table = FileVersions();
  std::lock_guard guard(table.lock);
  table.versions.erase(FileVersionKey(fileName));
}

std::optional<ModuleFileVersion> FindModuleFileVersion(const std::string& fileName) {
  auto& table = FileVersions();
  std::lock_guard guard(table.lock);
  auto it = table.versions.find(FileVersionKey(fileName));
  if (it == table.versions.end()) return std::nullopt;
  return it->second;
}

}  // namespace pw
