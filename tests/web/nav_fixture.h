// The navigation tests' host: a test host without dialogs on a clock that moves when a wait
// sleeps, and builders of process, window and page nodes with the members the web layer reads.
#pragma once

#include <gtest/gtest.h>

#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "tests/support/stepping_clock.h"

namespace pw::web::test {

class NavTest : public ::testing::Test {
 protected:
  NavTest() : host(Options(clock)) {}
  static host::TestHostOptions Options(pw::test::SteppingClock& c) {
    host::TestHostOptions o;
    o.interactive = false;
    o.clock = &c;
    return o;
  }
  IcvBaseManager* Manager() { return host.Manager(); }
  static IpwSysNode* Node(const ComPtr<host::TSysNode>& n) { return static_cast<IpwSysNodeEx*>(n.Get()); }

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
};

}  // namespace pw::web::test
