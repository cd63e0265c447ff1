// The processes of the test host. Each process is described in the platform's process model
// (platform/kernel/processes.h: name, modules, windows), is a node of the object tree
// (Sys.Process("name")) and has a process object (IpwProcess) that the host hands the plug-ins'
// hook providers. The process's hook channel leads to its hook command target, which records
// every command and parameter it gets, so tests read back which hook libraries were loaded
// into which process with which parameters. The services the plug-ins ask about processes
// (IpwProcessInfoService, IcvWindowsManager) read the same model, and the hook parameter
// service (IpwHookParameterService) passes each parameter on to the processes whose hooks run.
#pragma once

#include <atomic>
#include <functional>

#include <map>
#include <mutex>
#include <vector>

#include "core/automation/automation.h"
#include "core/automation/rect.h"
#include "host/com_support.h"
#include "host/object_tree.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/kernel/processes.h"

namespace pw::host {

// One call that reached a hook command target, in order.
struct HookCall {
  enum Kind { Command, Parameter, Parameters } kind;
  WideString name;    // the command text, or the parameter key text (empty for Parameters)
  OleVariant value;   // the command's argument, or the parameter's value (the keys for Parameters)
  OleVariant values;  // Parameters: the values array
};

// The hooks' side of a process: takes commands (load and unload a hook library, and any other
// command, which is only recorded) and parameters.
class THookCommandTarget final : public AutoImplements<TCVAAutoIntfObject, IpwHookCommandTarget> {
 public:
  THookCommandTarget() : AutoImplements({IpwHookCommandTarget::iid}) {}

  std::vector<HookCall> Calls() const;
  // The hook libraries loaded now, in load order.
  std::vector<WideString> LoadedLibraries() const;
  // The last value of each parameter key.
  std::map<WideString, OleVariant> Parameters() const;
  bool HasHooks() const;

  HRESULT ExecuteCommand(BSTR command, const VARIANT& argument, VARIANT* reply, VARIANT_BOOL* result) override;
  HRESULT SetParameter(BSTR key, const VARIANT& value, VARIANT_BOOL* result) override;
  // Slot 0x09000003: two parallel arrays, recorded as they came; when both are one-dimensional
  // arrays of the same bounds whose keys are texts, each pair also becomes a parameter's value
  // (Result True), else nothing else changes (Result False).
  HRESULT SetParameters(const VARIANT& keys, const VARIANT& values, VARIANT_BOOL* result) override;

 private:
  mutable std::mutex lock_;
  std::vector<HookCall> calls_;
  std::vector<WideString> loaded_;
  std::map<WideString, OleVariant> parameters_;
};

// How a process's hook channel answers.
enum class HookChannelState {
  Ready,          // a channel that reports itself available and has a command target
  NoChannel,      // no channel (nil, and not available)
  NotAvailable,   // a channel that reports itself not available
  NoTarget,       // a channel without a command target
  AvailableWithoutChannel,  // reports itself available but hands out no channel
  ChannelFails,   // asking the process for its channel fails
  QueryFails,     // asking the channel for its command target fails
};

class THookChannel final : public Implements<ComObject, IpwHookChannel> {
 public:
  THookChannel(ComPtr<THookCommandTarget> target, HookChannelState state) : target_(std::move(target)), state_(state) {}
  HRESULT QueryObject(const GUID& iid, IUnknown** object, VARIANT_BOOL* found) override;

 private:
  ComPtr<THookCommandTarget> target_;
  HookChannelState state_;
};

class TProcess final : public Implements<ComObject, IpwProcess> {
 public:
  TProcess(DWORD id, WideString name, ComPtr<TSysNode> node);

  DWORD Id() const { return id_; }
  const WideString& Name() const { return name_; }
  const ComPtr<TSysNode>& Node() const { return node_; }
  THookCommandTarget& Hooks() { return *target_; }
  // The host's own flag of the process (a flagged process is served by no technology test).
  void SetHostFlag(bool flag) { hostFlag_ = flag; }
  bool HostFlag() const { return hostFlag_; }
  void SetChannelState(HookChannelState state) { state_ = state; }

  HRESULT GetProcessId(std::int32_t* id) override;
  HRESULT GetProcessName(BSTR* name) override;
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6)
  HRESULT GetHookChannel(IpwHookChannel** channel, VARIANT_BOOL* available) override;

 private:
  DWORD id_;
  WideString name_;
  ComPtr<TSysNode> node_;
  ComPtr<THookCommandTarget> target_;
  bool hostFlag_ = false;
  HookChannelState state_ = HookChannelState::Ready;
};

// The host's processes: described in the platform's model and entered in the object tree.
class TProcessList {
 public:
  explicit TProcessList(TSysNode& root) : root_(root) {}
  ~TProcessList();

  // Describes the process in the platform's model, adds its node and makes its process object.
  ComPtr<TProcess> Add(const ProcessDescription& description);
  // The same, the node named as scripts name it (e.g. "Browser" with "chrome") instead of
  // "Process" with the program's name.
  ComPtr<TProcess> Add(const ProcessDescription& description, WideStringView nodeName,
                       std::vector<OleVariant> nodeArgs);
  // Removes the process from the model and the tree.
  void Remove(DWORD id);
  ComPtr<TProcess> Find(DWORD id) const;
  std::vector<ComPtr<TProcess>> All() const;
  void Clear();

 private:
  TSysNode& root_;
  mutable std::mutex lock_;
  std::vector<ComPtr<TProcess>> processes_;
};

// IpwProcessInfoService over the process model.
class TProcessInfoService final : public Implements<ComObject, IpwProcessInfoService> {
 public:
  explicit TProcessInfoService(const TProcessList& processes) : processes_(processes) {}
  // Slot 3: the parent recorded in the process model (ProcessDescription::parentId).
  HRESULT GetParentProcessId(std::int32_t processId, std::int32_t* parentId) override;
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
  HRESULT GetProcessFlag(IpwProcess* process, VARIANT_BOOL* flag) override;
  HRESULT GetProcessModules(IpwProcess* process, IpwModuleList** modules) override;
  // Slot 12: the name in the process model (empty for a process it does not describe).
  HRESULT GetProcessName(IpwProcess* process, BSTR* name) override;

 private:
  const TProcessList& processes_;
};

// IcvWindowsManager over the process model.
class TWindowsManager final : public Implements<ComObject, IcvWindowsManagerEx> {
 public:
  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13)
  PW_HOST_RESERVED(14)
  HRESULT GetProcessWindows(IpwProcess* process, IpwWindowList** windows) override;
  // Slot 7: the windows of a process by its id.
  HRESULT GetWindowsOfProcess(std::int32_t processId, IpwWindowList** windows) override;
  HRESULT GetWindowClassName(std::int32_t window, BSTR* className) override;
  // Slot 16: the flags set for a window; without any, bit 0 for a window of the dialog class
  // "#32770" (a message box or a page's dialog is a window the test did not expect).
  HRESULT GetWindowStateFlags(std::int32_t window, std::int32_t* flags) override;
  void SetWindowStateFlags(std::int32_t window, std::int32_t flags);
  // Slot 17: the window set as foreground (0 until set).
  HRESULT GetForegroundWindow(std::int32_t* window) override;
  void SetForegroundWindow(std::int32_t window) { foreground_ = window; }
  PW_HOST_RESERVED(18) PW_HOST_RESERVED(19) PW_HOST_RESERVED(20)
  PW_HOST_RESERVED(21) PW_HOST_RESERVED(22) PW_HOST_RESERVED(23) PW_HOST_RESERVED(24) PW_HOST_RESERVED(25)
  PW_HOST_RESERVED(26) PW_HOST_RESERVED(27) PW_HOST_RESERVED(28) PW_HOST_RESERVED(29) PW_HOST_RESERVED(30)
  PW_HOST_RESERVED(31) PW_HOST_RESERVED(32) PW_HOST_RESERVED(33) PW_HOST_RESERVED(34) PW_HOST_RESERVED(35)
  PW_HOST_RESERVED(36) PW_HOST_RESERVED(37) PW_HOST_RESERVED(38) PW_HOST_RESERVED(39) PW_HOST_RESERVED(40)
  PW_HOST_RESERVED(41)
  // Slot 42, the stand-in for the window system: a window's client area starts at the origin set
  // for it (0, 0 unless set); every conversion is recorded.
  HRESULT ClientToScreen(std::int32_t window, std::int32_t* x, std::int32_t* y) override;
  void SetClientOrigin(std::int32_t window, std::int32_t x, std::int32_t y);
  std::vector<std::int32_t> Conversions() const;
  // Slots 43 to 46, stand-ins too: the rectangles set for a window (empty at the client origin
  // unless set); a window exists while the platform knows it or a rectangle or state was set for
  // it, and is visible while it exists unless its state says otherwise.
  HRESULT GetWindowRect(std::int32_t window, std::int32_t* left, std::int32_t* top, std::int32_t* right,
                        std::int32_t* bottom) override;
  HRESULT GetClientRect(std::int32_t window, std::int32_t* left, std::int32_t* top, std::int32_t* right,
                        std::int32_t* bottom) override;
  HRESULT WindowExists(std::int32_t window, VARIANT_BOOL* exists) override;
  HRESULT WindowVisible(std::int32_t window, VARIANT_BOOL* visible) override;
  void SetWindowRects(std::int32_t window, TRect windowRect, TRect clientRect);
  void SetWindowState(std::int32_t window, bool exists, bool visible);
  // Slots 47 to 50: a window's process and first child as the platform's window model knows them;
  // its text as set (empty unless set); the point test: the window is visible and the point lies
  // in its rectangle (relative to its top-left corner), unless a point test is set for it.
  HRESULT GetWindowProcessId(std::int32_t window, std::int32_t* processId) override;
  HRESULT GetWindowText(std::int32_t window, BSTR* text) override;
  HRESULT GetFirstChildWindow(std::int32_t window, std::int32_t* child) override;
  HRESULT IsPointOnWindow(std::int32_t window, std::int32_t x, std::int32_t y, VARIANT_BOOL* onWindow) override;
  void SetWindowText(std::int32_t window, WideString text);
  using PointTest = std::function<bool(std::int32_t x, std::int32_t y)>;
  void SetPointTest(std::int32_t window, PointTest test);
  PW_HOST_RESERVED(51) PW_HOST_RESERVED(52)
  PW_HOST_RESERVED(53) PW_HOST_RESERVED(54) PW_HOST_RESERVED(55) PW_HOST_RESERVED(56) PW_HOST_RESERVED(57)
  PW_HOST_RESERVED(58) PW_HOST_RESERVED(59)
  // Slot 60: the window's picture from the picture source (the test host's: the tested browsers'
  // viewport shots); 0 without a source or when the source has none. Flags are passed on.
  HRESULT GetWindowPicture(std::int32_t window, std::int32_t flags, std::int32_t* bitmap) override;
  using PictureSource = std::function<std::int32_t(std::int32_t window, std::int32_t flags)>;
  void SetPictureSource(PictureSource source);
  PW_HOST_RESERVED(61) PW_HOST_RESERVED(62)
  PW_HOST_RESERVED(63) PW_HOST_RESERVED(64) PW_HOST_RESERVED(65) PW_HOST_RESERVED(66) PW_HOST_RESERVED(67)
  PW_HOST_RESERVED(68) PW_HOST_RESERVED(69) PW_HOST_RESERVED(70) PW_HOST_RESERVED(71) PW_HOST_RESERVED(72)
  PW_HOST_RESERVED(73) PW_HOST_RESERVED(74) PW_HOST_RESERVED(75) PW_HOST_RESERVED(76)
  // Slot 77: a 4 x 4 pixel rectangle and the double-click time (500 ms unless set).
  HRESULT GetDoubleClickSettings(std::int32_t* width, std::int32_t* height, std::uint32_t* time) override;
  void SetDoubleClickTime(std::uint32_t ms) { doubleClickTime_ = ms; }
  // IcvWindowsManagerEx. Slot 78: the update (counted; the platform's window model is always up to
  // date); slot 79: the crop of a bitmap (the old one deleted, a new handle in its place; every
  // crop recorded as "X Y W H"); slot 90: the clear-highlight (counted).
  HRESULT UpdateWindows() override;
  HRESULT CropPicture(std::int32_t clientX, std::int32_t clientY, std::int32_t width, std::int32_t height,
                      std::int32_t* bitmap) override;
  PW_HOST_RESERVED(80)
  PW_HOST_RESERVED(81) PW_HOST_RESERVED(82) PW_HOST_RESERVED(83) PW_HOST_RESERVED(84) PW_HOST_RESERVED(85)
      PW_HOST_RESERVED(86) PW_HOST_RESERVED(87) PW_HOST_RESERVED(88) PW_HOST_RESERVED(89) HRESULT
      ClearHighlight() override;
  int Updates() const { return updates_; }
  int HighlightClears() const { return highlightClears_; }
  std::vector<WideString> Crops() const;

 private:
  std::atomic<int> updates_{0}, highlightClears_{0};
  std::vector<WideString> crops_;  // under lock_
  std::atomic<std::uint32_t> doubleClickTime_{500};
  std::atomic<std::int32_t> foreground_{0};
  mutable std::mutex flagsLock_;
  std::map<std::int32_t, std::int32_t> stateFlags_;
  mutable std::mutex lock_;
  std::map<std::int32_t, std::pair<std::int32_t, std::int32_t>> origins_;
  std::map<std::int32_t, std::pair<TRect, TRect>> rects_;
  std::map<std::int32_t, std::pair<bool, bool>> states_;
  std::map<std::int32_t, WideString> texts_;
  std::map<std::int32_t, PointTest> pointTests_;
  // The window (or client) rectangle set for a window, else an empty one at its client origin.
  TRect RectLocked(std::int32_t window, bool client) const;
  // Whether a window exists: as its state says, else while a rectangle is set for it or the
  // platform knows it.
  bool ExistsLocked(std::int32_t window) const;
  std::vector<std::int32_t> conversions_;
  PictureSource pictureSource_;
};

// One parameter that reached the hook parameter service.
struct HookParameter {
  GUID key;
  OleVariant value;
};

// IpwHookParameterService: records each parameter and passes it on to the hook command target
// of every process whose hooks run.
class THookParameterService final : public Implements<ComObject, IpwHookParameterService> {
 public:
  explicit THookParameterService(const TProcessList& processes) : processes_(processes) {}
  std::vector<HookParameter> Received() const;
  // Makes the next calls fail with this result (S_OK: succeed again).
  void FailWith(HRESULT hr) { failWith_ = hr; }

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)
  PW_HOST_RESERVED(13)
  HRESULT SetHookParameter(const GUID& key, const VARIANT& value) override;

 private:
  const TProcessList& processes_;
  mutable std::mutex lock_;
  std::vector<HookParameter> received_;
  HRESULT failWith_ = S_OK;
};

// The process id of a process object (the host's own, or any IpwProcess); 0 for nil.
DWORD ProcessIdOf(IpwProcess* process);

}  // namespace pw::host
