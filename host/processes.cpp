#include "host/processes.h"

#include <algorithm>

#include "graphics/blit.h"
#include "platform/automation/out_params.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"
#include "platform/ui/gdi.h"
#include "platform/ui/window_system.h"

namespace pw::host {

namespace {

// The commands that load and unload a hook library (the library's file name is the argument).
constexpr WideStringView kLoadCommand = u"{31B0A848-ACBE-4675-94E4-D6DE052D1C09}";
constexpr WideStringView kUnloadCommand = u"{C9657614-62FE-4DDD-AD5F-6AB17BD0FB96}";

class TModuleList final : public Implements<ComObject, IpwModuleList> {
 public:
  TModuleList(std::vector<WideString> names, WideString folder)
      : names_(std::move(names)), folder_(std::move(folder)) {}
  HRESULT GetCount(std::int32_t* count) override {
    return SafeCall([&] { SetOutCount(count, names_); });
  }
  HRESULT GetName(std::int32_t index, BSTR* name) override {
    return SafeCall([&] {
      SetOutItem(name, names_, index);
    });
  }
  // Every module of a described process comes from the process's one folder.
  HRESULT GetFolder(std::int32_t index, BSTR* folder) override {
    return SafeCall([&] {
      CheckIndex(index, names_.size());
      SetOut(folder, folder_);
    });
  }

 private:
  std::vector<WideString> names_;
  WideString folder_;
};

class TWindowList final : public Implements<ComObject, IpwWindowList> {
 public:
  explicit TWindowList(std::vector<HWND> windows) : windows_(std::move(windows)) {}
  HRESULT GetCount(std::int32_t* count) override {
    return SafeCall([&] { SetOutCount(count, windows_); });
  }
  HRESULT GetWindow(std::int32_t index, std::int32_t* window) override {
    return SafeCall([&] {
      CheckIndex(index, windows_.size());
      SetOutValue(window, static_cast<std::int32_t>(windows_[static_cast<std::size_t>(index)]));
    });
  }

 private:
  std::vector<HWND> windows_;
};

}  // namespace

DWORD ProcessIdOf(IpwProcess* process) {
  if (!process) throw EOleSysError(u"No process", E_INVALIDARG);
  std::int32_t id = 0;
  OleCheck(process->GetProcessId(&id));
  return static_cast<DWORD>(id);
}

// ---- THookCommandTarget -------------------------------------------------------------------

std::vector<HookCall> THookCommandTarget::Calls() const {
  std::lock_guard guard(lock_);
  return calls_;
}

std::vector<WideString> THookCommandTarget::LoadedLibraries() const {
  std::lock_guard guard(lock_);
  return loaded_;
}

std::map<WideString, OleVariant> THookCommandTarget::Parameters() const {
  std::lock_guard guard(lock_);
  return parameters_;
}

bool THookCommandTarget::HasHooks() const {
  std::lock_guard guard(lock_);
  return !loaded_.empty();
}

HRESULT THookCommandTarget::ExecuteCommand(BSTR command, const VARIANT& argument, VARIANT* reply,
                                           VARIANT_BOOL* result) {
  return SafeCall([&] {
    WideString text(BstrView(command));
    OleVariant arg(argument);
    std::lock_guard guard(lock_);
    calls_.push_back({HookCall::Command, text, arg, {}});
    bool done = true;
    const bool load = text == kLoadCommand, unload = text == kUnloadCommand;
    if (load || unload) {
      OleVariant library;
      done = Succeeded(VariantChangeType(library.Ptr(), arg.Ptr(), 0, VT_BSTR));
      if (done) {
        WideString name(BstrView(library.Ptr()->bstrVal));
        auto at = std::find(loaded_.begin(), loaded_.end(), name);
        if (load) {
          if (at == loaded_.end()) loaded_.push_back(name);
        } else if (at != loaded_.end()) {
          loaded_.erase(at);
        }
      }
    }
    if (reply) {
      VariantClear(reply);
      reply->vt = VT_BOOL;
      reply->boolVal = ToWordBool(done);
    }
    if (result) *result = ToWordBool(done);
  });
}

HRESULT THookCommandTarget::SetParameter(BSTR key, const VARIANT& value, VARIANT_BOOL* result) {
  return SafeCall([&] {
    WideString text(BstrView(key));
    OleVariant v(value);
    std::lock_guard guard(lock_);
    calls_.push_back({HookCall::Parameter, text, v, {}});
    parameters_[text] = v;
    if (result) *result = VARIANT_TRUE;
  });
}

HRESULT THookCommandTarget::SetParameters(const VARIANT& keys, const VARIANT& values, VARIANT_BOOL* result) {
  return SafeCall([&] {
    OleVariant k(keys), v(values);
    // The pairs, when both are arrays of variants of the same bounds and every key is a text.
    std::vector<std::pair<WideString, OleVariant>> pairs;
    bool valid = k.Get().vt == (VT_ARRAY | VT_VARIANT) && v.Get().vt == (VT_ARRAY | VT_VARIANT) && k.Get().parray &&
                 v.Get().parray && SafeArrayGetDim(k.Get().parray) == 1 && SafeArrayGetDim(v.Get().parray) == 1;
    if (valid) {
      std::int32_t kl = 0, ku = -1, vl = 0, vu = -1;
      OleCheck(SafeArrayGetLBound(k.Get().parray, 1, &kl));
      OleCheck(SafeArrayGetUBound(k.Get().parray, 1, &ku));
      OleCheck(SafeArrayGetLBound(v.Get().parray, 1, &vl));
      OleCheck(SafeArrayGetUBound(v.Get().parray, 1, &vu));
      valid = kl == vl && ku == vu;
      for (std::int32_t i = kl; valid && i <= ku; ++i) {
        OleVariant key, value;
        OleCheck(SafeArrayGetElement(k.Get().parray, &i, key.Put()));
        OleCheck(SafeArrayGetElement(v.Get().parray, &i, value.Put()));
        valid = key.Get().vt == VT_BSTR;
        if (valid) pairs.emplace_back(WideString(BstrView(key.Get().bstrVal)), value);
      }
    }
    std::lock_guard guard(lock_);
    calls_.push_back({HookCall::Parameters, WideString(), k, v});
    if (valid)
      for (auto& [key, value] : pairs) parameters_[key] = value;
    if (result) *result = ToWordBool(valid);
  });
}

// ---- THookChannel and TProcess ------------------------------------------------------------

HRESULT THookChannel::QueryObject(const GUID& iid, IUnknown** object, VARIANT_BOOL* found) {
  return SafeCall([&] {
    CheckOut(object);
    CheckOut(found);
    *object = nullptr;
    *found = VARIANT_FALSE;
    if (state_ == HookChannelState::QueryFails) throw EOleSysError(u"The hook channel does not answer", E_FAIL);
    if (state_ == HookChannelState::NoTarget || iid != IpwHookCommandTarget::iid) return;
    *object = static_cast<IpwHookCommandTarget*>(target_.Get());
    (*object)->AddRef();
    *found = VARIANT_TRUE;
  });
}

TProcess::TProcess(DWORD id, WideString name, ComPtr<TSysNode> node)
    : id_(id), name_(std::move(name)), node_(std::move(node)), target_(MakeObject<THookCommandTarget>()) {}

HRESULT TProcess::GetProcessId(std::int32_t* id) {
  return SafeCall([&] { SetOutValue(id, static_cast<std::int32_t>(id_)); });
}

HRESULT TProcess::GetProcessName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}

HRESULT TProcess::GetHookChannel(IpwHookChannel** channel, VARIANT_BOOL* available) {
  return SafeCall([&] {
    CheckOut(channel);
    CheckOut(available);
    *channel = nullptr;
    *available = VARIANT_FALSE;
    if (state_ == HookChannelState::ChannelFails) throw EOleSysError(u"The process has ended", E_FAIL);
    *available = ToWordBool(state_ != HookChannelState::NotAvailable && state_ != HookChannelState::NoChannel);
    if (state_ == HookChannelState::NoChannel || state_ == HookChannelState::AvailableWithoutChannel) return;
    SetOut(channel, MakeObject<THookChannel>(target_, state_));
  });
}

// ---- TProcessList -------------------------------------------------------------------------

TProcessList::~TProcessList() { Clear(); }

ComPtr<TProcess> TProcessList::Add(const ProcessDescription& description) {
  return Add(description, u"Process", {OleVariant(description.name)});
}

ComPtr<TProcess> TProcessList::Add(const ProcessDescription& description, WideStringView nodeName,
                                   std::vector<OleVariant> nodeArgs) {
  Remove(description.id);
  DescribeProcess(description);
  // The node answers its process before the builders are offered it.
  ComPtr<TProcess> process;
  root_.AddChild(nodeName, std::move(nodeArgs), GUID_NULL, [&](TSysNode& node) {
    process = MakeObject<TProcess>(description.id, description.name, ComPtr<TSysNode>(&node));
    node.SetContextObject(IpwProcess::iid, static_cast<IpwProcess*>(process.Get()));
    node.SetProcess(static_cast<std::int32_t>(description.id), description.name, u"");
  });
  std::lock_guard guard(lock_);
  processes_.push_back(process);
  return process;
}

void TProcessList::Remove(DWORD id) {
  ComPtr<TProcess> gone;
  {
    std::lock_guard guard(lock_);
    auto at = std::find_if(processes_.begin(), processes_.end(), [&](const auto& p) { return p->Id() == id; });
    if (at == processes_.end()) return;
    gone = *at;
    processes_.erase(at);
  }
  RemoveProcessDescription(id);
  gone->Node()->SetContextObject(IpwProcess::iid, nullptr);
  root_.RemoveChild(gone->Node().Get());
}

ComPtr<TProcess> TProcessList::Find(DWORD id) const {
  std::lock_guard guard(lock_);
  for (const auto& p : processes_)
    if (p->Id() == id) return p;
  return nullptr;
}

std::vector<ComPtr<TProcess>> TProcessList::All() const {
  std::lock_guard guard(lock_);
  return processes_;
}

void TProcessList::Clear() {
  for (const auto& p : All()) Remove(p->Id());
}

// ---- Services -----------------------------------------------------------------------------

HRESULT TProcessInfoService::GetParentProcessId(std::int32_t processId, std::int32_t* parentId) {
  return SafeCall([&] {
    auto d = FindProcessDescription(static_cast<DWORD>(processId));
    SetOutValue<std::int32_t>(parentId, d ? static_cast<std::int32_t>(d->parentId) : 0);
  });
}

HRESULT TProcessInfoService::GetProcessFlag(IpwProcess* process, VARIANT_BOOL* flag) {
  return SafeCall([&] {
    auto known = processes_.Find(ProcessIdOf(process));
    SetOutValue<VARIANT_BOOL>(flag, ToWordBool(known && known->HostFlag()));
  });
}

HRESULT TProcessInfoService::GetProcessModules(IpwProcess* process, IpwModuleList** modules) {
  return SafeCall([&] {
    const DWORD id = ProcessIdOf(process);
    auto description = FindProcessDescription(id);
    SetOut(modules,
           MakeObject<TModuleList>(GetProcessModuleNames(id), description ? description->moduleFolder : WideString()));
  });
}

HRESULT TProcessInfoService::GetProcessName(IpwProcess* process, BSTR* name) {
  return SafeCall([&] {
    auto d = FindProcessDescription(ProcessIdOf(process));
    SetOut(name, d ? d->name : WideString());
  });
}

HRESULT TWindowsManager::GetProcessWindows(IpwProcess* process, IpwWindowList** windows) {
  return SafeCall([&] { SetOut(windows, MakeObject<TWindowList>(GetProcessWindowHandles(ProcessIdOf(process)))); });
}

HRESULT TWindowsManager::GetWindowsOfProcess(std::int32_t processId, IpwWindowList** windows) {
  return SafeCall(
      [&] { SetOut(windows, MakeObject<TWindowList>(GetProcessWindowHandles(static_cast<DWORD>(processId)))); });
}

void TWindowsManager::SetWindowStateFlags(std::int32_t window, std::int32_t flags) {
  std::lock_guard guard(flagsLock_);
  stateFlags_[window] = flags;
}

HRESULT TWindowsManager::GetWindowStateFlags(std::int32_t window, std::int32_t* flags) {
  return SafeCall([&] {
    std::int32_t answer = 0;
    {
      std::lock_guard guard(flagsLock_);
      auto at = stateFlags_.find(window);
      if (at != stateFlags_.end()) answer = at->second;
      else if (pw::GetWindowClassName(static_cast<HWND>(window)) == u"#32770") answer = 1;
    }
    SetOutValue<std::int32_t>(flags, answer);
  });
}

HRESULT TWindowsManager::GetForegroundWindow(std::int32_t* window) {
  return SafeCall([&] { SetOutValue<std::int32_t>(window, foreground_.load()); });
}

HRESULT TWindowsManager::GetWindowClassName(std::int32_t window, BSTR* className) {
  return SafeCall([&] { SetOut(className, pw::GetWindowClassName(static_cast<HWND>(window))); });
}

HRESULT TWindowsManager::GetDoubleClickSettings(std::int32_t* width, std::int32_t* height, std::uint32_t* time) {
  return SafeCall([&] {
    SetOutValue<std::int32_t>(width, 4);
    SetOutValue<std::int32_t>(height, 4);
    SetOutValue<std::uint32_t>(time, doubleClickTime_.load());
  });
}

std::vector<HookParameter> THookParameterService::Received() const {
  std::lock_guard guard(lock_);
  return received_;
}

HRESULT THookParameterService::SetHookParameter(const GUID& key, const VARIANT& value) {
  return SafeCall([&] {
    if (Failed(failWith_)) throw EOleSysError(u"The hooks cannot be reached", failWith_);
    {
      std::lock_guard guard(lock_);
      received_.push_back({key, OleVariant(value)});
    }
    BString text(GuidToWideString(key));
    for (const auto& p : processes_.All())
      if (p->Hooks().HasHooks()) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        OleCheck(p->Hooks().SetParameter(text.Get(), value, &ok));
      }
  });
}

HRESULT TWindowsManager::ClientToScreen(std::int32_t window, std::int32_t* x, std::int32_t* y) {
  return SafeCall([&] {
    if (!x || !y) throw EOleSysError(u"Invalid pointer", E_POINTER);
    std::lock_guard guard(lock_);
    conversions_.push_back(window);
    auto at = origins_.find(window);
    if (at == origins_.end()) return;
    *x += at->second.first;
    *y += at->second.second;
  });
}

namespace {

HRESULT OutRect(const TRect& r, std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) {
  if (!left || !top || !right || !bottom) return E_POINTER;
  *left = r.Left, *top = r.Top, *right = r.Right, *bottom = r.Bottom;
  return S_OK;
}

}  // namespace

TRect TWindowsManager::RectLocked(std::int32_t window, bool client) const {
  auto at = rects_.find(window);
  if (at != rects_.end()) return client ? at->second.second : at->second.first;
  auto origin = origins_.find(window);
  const std::int32_t x = origin == origins_.end() ? 0 : origin->second.first;
  const std::int32_t y = origin == origins_.end() ? 0 : origin->second.second;
  return {x, y, x, y};
}

HRESULT TWindowsManager::GetWindowRect(std::int32_t window, std::int32_t* left, std::int32_t* top, std::int32_t* right,
                                       std::int32_t* bottom) {
  std::lock_guard guard(lock_);
  return OutRect(RectLocked(window, false), left, top, right, bottom);
}

HRESULT TWindowsManager::GetClientRect(std::int32_t window, std::int32_t* left, std::int32_t* top, std::int32_t* right,
                                       std::int32_t* bottom) {
  std::lock_guard guard(lock_);
  return OutRect(RectLocked(window, true), left, top, right, bottom);
}

bool TWindowsManager::ExistsLocked(std::int32_t window) const {
  auto at = states_.find(window);
  return at != states_.end()
             ? at->second.first
             : rects_.contains(window) || IsWindow(static_cast<HWND>(static_cast<std::uint32_t>(window)));
}

HRESULT TWindowsManager::WindowExists(std::int32_t window, VARIANT_BOOL* exists) {
  if (!exists) return E_POINTER;
  std::lock_guard guard(lock_);
  *exists = ExistsLocked(window) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT TWindowsManager::WindowVisible(std::int32_t window, VARIANT_BOOL* visible) {
  if (!visible) return E_POINTER;
  std::lock_guard guard(lock_);
  auto at = states_.find(window);
  *visible = ExistsLocked(window) && (at == states_.end() || at->second.second) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

void TWindowsManager::SetWindowRects(std::int32_t window, TRect windowRect, TRect clientRect) {
  std::lock_guard guard(lock_);
  rects_[window] = {windowRect, clientRect};
}

void TWindowsManager::SetWindowState(std::int32_t window, bool exists, bool visible) {
  std::lock_guard guard(lock_);
  states_[window] = {exists, visible};
}

HRESULT TWindowsManager::GetWindowProcessId(std::int32_t window, std::int32_t* processId) {
  if (!processId) return E_POINTER;
  *processId = static_cast<std::int32_t>(pw::GetWindowProcessId(static_cast<HWND>(window)));
  return S_OK;
}

HRESULT TWindowsManager::GetWindowText(std::int32_t window, BSTR* text) {
  return SafeCall([&] {
    WideString answer;
    {
      std::lock_guard guard(lock_);
      if (auto at = texts_.find(window); at != texts_.end()) answer = at->second;
    }
    SetOut(text, answer);
  });
}

HRESULT TWindowsManager::GetFirstChildWindow(std::int32_t window, std::int32_t* child) {
  if (!child) return E_POINTER;
  *child = 0;
  for (HWND candidate : GetChildWindowHandles(static_cast<HWND>(window))) {
    if (GetParentWindow(candidate) == static_cast<HWND>(window)) {
      *child = static_cast<std::int32_t>(candidate);
      break;
    }
  }
  return S_OK;
}

HRESULT TWindowsManager::IsPointOnWindow(std::int32_t window, std::int32_t x, std::int32_t y, VARIANT_BOOL* onWindow) {
  if (!onWindow) return E_POINTER;
  PointTest test;
  bool answer = false;
  {
    std::lock_guard guard(lock_);
    auto state = states_.find(window);
    const bool visible = ExistsLocked(window) && (state == states_.end() || state->second.second);
    if (auto at = pointTests_.find(window); at != pointTests_.end()) {
      test = at->second;
    } else if (visible) {
      const TRect r = RectLocked(window, false);
      answer = x >= 0 && y >= 0 && x < r.Right - r.Left && y < r.Bottom - r.Top;
    }
  }
  if (test) answer = test(x, y);  // outside the lock: a test may ask the manager again
  *onWindow = answer ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

void TWindowsManager::SetWindowText(std::int32_t window, WideString text) {
  std::lock_guard guard(lock_);
  texts_[window] = std::move(text);
}

void TWindowsManager::SetPointTest(std::int32_t window, PointTest test) {
  std::lock_guard guard(lock_);
  pointTests_[window] = std::move(test);
}

void TWindowsManager::SetClientOrigin(std::int32_t window, std::int32_t x, std::int32_t y) {
  std::lock_guard guard(lock_);
  origins_[window] = {x, y};
}

HRESULT TWindowsManager::UpdateWindows() {
  ++updates_;
  return S_OK;
}

HRESULT TWindowsManager::ClearHighlight() {
  ++highlightClears_;
  return S_OK;
}

HRESULT TWindowsManager::CropPicture(std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                                     std::int32_t height, std::int32_t* bitmap) {
  return SafeCall([&] {
    if (!bitmap) throw EOleSysError(u"Invalid pointer", E_POINTER);
    {
      std::lock_guard guard(lock_);
      crops_.push_back(IntToWide(clientX) + u" " + IntToWide(clientY) + u" " + IntToWide(width) + u" " +
                       IntToWide(height));
    }
    const auto pixels = BitmapPixels(*bitmap);
    if (!pixels) throw EOleSysError(u"The picture is no bitmap", E_INVALIDARG);
    const std::int32_t w = pixels->width(), h = pixels->height();
    const std::int32_t left = clientX == -1 ? 0 : std::clamp(clientX, 0, w);
    const std::int32_t top = clientY == -1 ? 0 : std::clamp(clientY, 0, h);
    const std::int32_t right =
        width == -1 ? w : static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{left} + width, w));
    const std::int32_t bottom =
        height == -1 ? h : static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{top} + height, h));
    if (width < -1 || height < -1 || right <= left || bottom <= top) {
      throw EOleSysError(u"The rectangle is outside the picture", E_INVALIDARG);
    }
    if (left == 0 && top == 0 && right == w && bottom == h) return;  // the whole picture: kept as it is
    graphics::Bitmap cropped(right - left, bottom - top, pixels->format());
    graphics::CopyPixels(*pixels, left, top, right - left, bottom - top, cropped, 0, 0);
    const HBITMAP made = CreateBitmapFrom(std::move(cropped));
    if (!made) throw EOleSysError(u"The picture could not be made", E_OUTOFMEMORY);
    DeleteObject(*bitmap);
    *bitmap = made;
  });
}

std::vector<WideString> TWindowsManager::Crops() const {
  std::lock_guard guard(lock_);
  return crops_;
}

HRESULT TWindowsManager::GetWindowPicture(std::int32_t window, std::int32_t flags, std::int32_t* bitmap) {
  return SafeCall([&] {
    if (!bitmap) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *bitmap = 0;
    PictureSource source;
    {
      std::lock_guard guard(lock_);
      source = pictureSource_;
    }
    if (source) *bitmap = source(window, flags);
  });
}

void TWindowsManager::SetPictureSource(PictureSource source) {
  std::lock_guard guard(lock_);
  pictureSource_ = std::move(source);
}

std::vector<std::int32_t> TWindowsManager::Conversions() const {
  std::lock_guard guard(lock_);
  return conversions_;
}

}  // namespace pw::host
