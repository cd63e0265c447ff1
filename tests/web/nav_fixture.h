// The navigation tests' host: a test host without dialogs on a clock that moves when a wait
// sleeps, with the module's library registered, and builders of process, window and page nodes with the members the web
// layer reads.
#pragma once

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "core/automation/automation.h"
#include "core/automation/dispatch_helpers.h"
#include "host/test_host.h"
#include "interfaces/pwWebTesting.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/rtl/strings.h"
#include "project/wait/wait_helper.h"
#include "tests/support/stepping_clock.h"
#include "web/navigation/node_facts.h"

namespace pw::web::test {

class NavTest : public ::testing::Test {
 protected:
  NavTest() : host(Options(clock)) {
    // The slices answer by name through the module's own library, as the module registers it.
    RegisterInterfaceThunks(pwWebTestingInterfaceThunks());
    const char* path = PW_MODULE_TYPELIB;
    OleCheck(LoadTypeLib(WideString(path, path + std::char_traits<char>::length(path)), moduleLib.Put()));
    TypeLibraries()->Add(moduleLib.Get());
  }
  ~NavTest() override { moduleLib = nullptr; }
  static host::TestHostOptions Options(pw::test::SteppingClock& c) {
    host::TestHostOptions o;
    o.interactive = false;
    o.clock = &c;
    // The host folder whose "Extensions" holds the host's type libraries (the web plug-in loads them).
    o.folder = Utf8ToWide(PW_TEST_HOST_DIR "/");
    return o;
  }
  IcvBaseManager* Manager() { return host.Manager(); }
  static IpwSysNode* Node(const ComPtr<host::TSysNode>& n) { return static_cast<IpwSysNodeEx*>(n.Get()); }
  // Attaches a slice to a node, as a builder attaches it.
  template <class Slice>
  static void Attach(const ComPtr<host::TSysNode>& node, const ComPtr<Slice>& slice, const IID& iid) {
    OleCheck(node->AddExtension(iid, static_cast<IDispatch*>(slice->Dispatch()), GUID_NULL, 0));
  }
  // Calls a member of a node by name.
  static OleVariant CallNode(const ComPtr<host::TSysNode>& node, const char16_t* name, std::vector<OleVariant> args) {
    return DispInvoke(static_cast<IpwSysNodeEx*>(node.Get()), name, args);
  }
  // The identity of the object a result holds (nil when it holds none), and of a node.
  static IUnknown* Identity(const OleVariant& v) {
    auto d = VarToDispatch(v.Get());
    return d ? QueryAs<IUnknown>(d.Get()).Get() : nullptr;
  }
  static IUnknown* Identity(const ComPtr<host::TSysNode>& n) { return QueryAs<IUnknown>(Node(n)).Get(); }
  // The project's default wait, in ms.
  void SetDefaultWait(std::int32_t ms) {
    host.Settings().DefineSetting(project::kDefaultWaitTimeoutSetting, host::kSettingInteger, u"Wait", OleVariant(ms));
  }
  // The log entries from index `first` on. An event reaches a log without the extended
  // interface as a message "[Event] " + text: it is shown as the event it is.
  std::vector<host::LogEntry> EntriesFrom(std::size_t first) {
    auto all = host.Log().Entries();
    std::vector<host::LogEntry> out(all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())), all.end());
    for (auto& e : out)
      if (e.kind == host::LogEntry::Message && e.text.starts_with(u"[Event] ")) {
        e.kind = host::LogEntry::Event;
        e.text = e.text.substr(8);
      }
    return out;
  }

  ComPtr<host::TSysNode> AddProcess(std::int32_t pid, WideStringView name = u"chrome",
                                    WideStringView commandLine = u"") {
    auto p = host.Sys().AddChild(u"Process", {OleVariant(WideString(name))});
    p->SetProcess(pid, name, commandLine);
    p->SetMemberValue(u"ObjectType", OleVariant(u"Process"));
    return p;
  }
  static ComPtr<host::TSysNode> AddPage(const ComPtr<host::TSysNode>& parent, WideStringView url, std::int32_t pid,
                                        bool visible, WideStringView identifier = u"") {
    auto page = parent->AddChild(u"Page", {OleVariant(WideString(url))});
    page->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
    page->SetMemberValue(u"URL", OleVariant(WideString(url)));
    page->SetMemberValue(u"ProcessId", OleVariant(pid));
    page->SetMemberValue(u"Visible", OleVariant(visible));
    page->SetMemberValue(u"ObjectIdentifier", OleVariant(WideString(identifier)));
    return page;
  }
  static ComPtr<host::TSysNode> AddWindow(const ComPtr<host::TSysNode>& parent, std::int32_t handle, bool minimised,
                                          std::int32_t waitTimeout = 7) {
    auto w = parent->AddChild(u"Window", {OleVariant(handle)});
    w->SetWindowHandle(handle);
    w->SetMemberValue(u"Visible", OleVariant(true));
    w->SetMemberValue(u"WndStyles", OleVariant(static_cast<std::int32_t>(minimised ? 0x20000000 : 0)));
    w->SetWaitTimeout(waitTimeout);
    return w;
  }

  pw::test::SteppingClock clock;
  host::TestHost host;
  ComPtr<ITypeLib> moduleLib;
};

}  // namespace pw::web::test
