#include "platform/kernel/processes.h"

#include <sys/stat.h>

#include <algorithm>
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
  if (window == 0) return false;
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  for (const auto& p : m.processes)
    for (const auto& w : p.windows)
      if (w.window == window) return true;
  return false;
}

bool DestroyWindow(HWND window) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  for (auto& p : m.processes)
    if (std::erase_if(p.windows, [&](const WindowDescription& w) { return w.window == window; }) > 0) return true;
  return false;
}

WideString GetWindowClassName(HWND window) {
  ProcessModel& m = Model();
  std::lock_guard guard(m.lock);
  for (const auto& p : m.processes)
    for (const auto& w : p.windows)
      if (w.window == window) return w.className;
  return {};
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

}  // namespace pw
