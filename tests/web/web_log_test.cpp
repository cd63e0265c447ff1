// Web test-log entries: each kind to a log with and without the extended interface, with and
// without a picture.
#include "web/navigation/web_log.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"

namespace pw::web {
namespace {

struct Call {
  std::string op;
  WideString text, additional;
  std::int32_t priority = 0;
  VARTYPE attributesType = VT_EMPTY;
  std::int32_t attributes = -99;
  IUnknown* picture = nullptr;    // VT_UNKNOWN or VT_DISPATCH
  std::int32_t pictureInt = -99;  // VT_I4
  std::int32_t time = -99;
};

WideString VariantText(const VARIANT& v) { return v.vt == VT_BSTR ? WideString(BstrView(v.bstrVal)) : u"<not text>"; }

class TBasicLog : public Implements<ComObject, IpwTestLog> {
 public:
  std::vector<Call> calls;
  HRESULT failWith = S_OK;
  HRESULT Message(BSTR t, BSTR a, std::int32_t p) override { return Add("Message", t, a, p); }
  HRESULT Error(BSTR t, BSTR a, std::int32_t p) override { return Add("Error", t, a, p); }
  HRESULT Warning(BSTR t, BSTR a, std::int32_t p) override { return Add("Warning", t, a, p); }
  HRESULT Event(BSTR t, BSTR a, std::int32_t p) override { return Add("Event", t, a, p); }

 protected:
  HRESULT Add(const char* op, BSTR t, BSTR a, std::int32_t p) {
    calls.push_back({op, WideString(BstrView(t)), WideString(BstrView(a)), p});
    return failWith;
  }
};

class TExtendedLog : public Implements<TBasicLog, IpwExtendedTestLog> {
 public:
#define PW_RESERVED(n) \
  HRESULT Reserved##n() override { return E_NOTIMPL; }
  PW_RESERVED(3)
  PW_RESERVED(4) PW_RESERVED(5) PW_RESERVED(6) PW_RESERVED(8) PW_RESERVED(10) PW_RESERVED(12)
#undef PW_RESERVED
      HRESULT Message(const VARIANT& t, const VARIANT& a, std::int32_t p, const VARIANT& at, const VARIANT& pic,
                      std::int32_t time) override {
    return AddEx("ExMessage", t, a, p, at, pic, time);
  }
  HRESULT Warning(const VARIANT& t, const VARIANT& a, std::int32_t p, const VARIANT& at, const VARIANT& pic,
                  std::int32_t time) override {
    return AddEx("ExWarning", t, a, p, at, pic, time);
  }
  HRESULT Error(const VARIANT& t, const VARIANT& a, std::int32_t p, const VARIANT& at, const VARIANT& pic,
                std::int32_t time) override {
    return AddEx("ExError", t, a, p, at, pic, time);
  }
  HRESULT Event(const VARIANT& t, const VARIANT& a, std::int32_t p, const VARIANT& at, const VARIANT& pic,
                std::int32_t time) override {
    return AddEx("ExEvent", t, a, p, at, pic, time);
  }
  using TBasicLog::Error;
  using TBasicLog::Event;
  using TBasicLog::Message;
  using TBasicLog::Warning;

 private:
  HRESULT AddEx(const char* op, const VARIANT& t, const VARIANT& a, std::int32_t p, const VARIANT& at,
                const VARIANT& pic, std::int32_t time) {
    Call c{op, VariantText(t), VariantText(a), p, at.vt, at.vt == VT_I4 ? at.lVal : -99};
    if (pic.vt == VT_UNKNOWN) c.picture = pic.punkVal;
    if (pic.vt == VT_I4) c.pictureInt = pic.lVal;
    c.time = time;
    calls.push_back(c);
    return failWith;
  }
};

constexpr TpwWebLogKind kKinds[] = {TpwWebLogKind::Message, TpwWebLogKind::Error, TpwWebLogKind::Warning,
                                    TpwWebLogKind::Event};

void Write(IpwTestLog* log, TpwWebLogKind kind, IUnknown* picture, WideStringView details = u"Info: %s") {
  WriteWebLogTo(log, u"Sys.Browser(\"chrome\")", u"Navigating to the %s page.", {u"http://a/"}, details, {u"why"}, kind,
                picture);
}

TEST(WriteWebLog, KindsTable) {
  auto picture = MakeObject<TBasicLog>();  // any object stands for the picture
  IUnknown* pic = static_cast<IpwTestLog*>(picture.Get());
  struct Expect {
    bool extended;
    bool withPicture;
    const char* ops[4];  // per kind: message, error, warning, event
  } rows[] = {
      {false, false, {"Message", "Error", "Warning", "Message"}},
      {false, true, {"Message", "Error", "Warning", "Message"}},
      {true, false, {"Message", "Error", "Warning", "ExEvent"}},
      {true, true, {"ExMessage", "ExError", "ExWarning", "ExEvent"}},
  };
  for (const auto& row : rows) {
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE(::testing::Message() << "extended " << row.extended << ", picture " << row.withPicture << ", kind "
                                        << k + 1);
      ComPtr<TBasicLog> log = row.extended ? ComPtr<TBasicLog>(MakeObject<TExtendedLog>()) : MakeObject<TBasicLog>();
      Write(log.Get(), kKinds[k], row.withPicture ? pic : nullptr);
      ASSERT_EQ(log->calls.size(), 1u);
      const Call& c = log->calls[0];
      EXPECT_EQ(c.op, row.ops[k]);
      EXPECT_EQ(c.additional, u"Info: why\r\n\r\nSys.Browser(\"chrome\")");
      bool fallbackEvent = !row.extended && kKinds[k] == TpwWebLogKind::Event;
      EXPECT_EQ(c.text,
                fallbackEvent ? u"[Event] Navigating to the http://a/ page." : u"Navigating to the http://a/ page.");
      EXPECT_EQ(c.priority, fallbackEvent ? 100 : 300);
      if (c.op.starts_with("Ex")) {
        EXPECT_EQ(c.attributesType, VT_I4);
        EXPECT_EQ(c.attributes, 0);
        EXPECT_EQ(c.time, -1);
        if (row.withPicture) {
          EXPECT_EQ(c.picture, pic);
        } else {
          EXPECT_EQ(c.picture, nullptr);
          EXPECT_EQ(c.pictureInt, 0);
        }
      }
    }
  }
}

TEST(WriteWebLog, AnEmptyAdditionalTextCarriesTheBareObjectName) {
  auto log = MakeObject<TBasicLog>();
  Write(log.Get(), TpwWebLogKind::Error, nullptr, u"");
  ASSERT_EQ(log->calls.size(), 1u);
  EXPECT_EQ(log->calls[0].additional, u"Sys.Browser(\"chrome\")");
}

TEST(WriteWebLog, OtherKindsAndNoLogWriteNothing) {
  auto log = MakeObject<TExtendedLog>();
  Write(log.Get(), static_cast<TpwWebLogKind>(0), nullptr);
  Write(log.Get(), static_cast<TpwWebLogKind>(5), nullptr);
  EXPECT_TRUE(log->calls.empty());
  Write(nullptr, TpwWebLogKind::Error, nullptr);  // no log: nothing, no failure
}

TEST(WriteWebLog, AFailingLogRaises) {
  auto log = MakeObject<TBasicLog>();
  log->failWith = E_ACCESSDENIED;
  try {
    Write(log.Get(), TpwWebLogKind::Warning, nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), E_ACCESSDENIED);
  }
}

TEST(WriteWebLog, WritesToTheHostsLog) {
  host::TestHost host;
  LogNamedMessage(host.Manager(), u"Sys.Process(\"x\")", u"The check box is already %s.", {u"checked"}, u"", {},
                  TpwWebLogKind::Message);
  LogNamedMessage(host.Manager(), u"Sys.Process(\"x\")", u"Navigating to the %s page.", {u"u"}, u"URL: %s", {u"u"},
                  TpwWebLogKind::Event);
  auto entries = host.Log().Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Message);
  EXPECT_EQ(entries[0].text, u"The check box is already checked.");
  EXPECT_EQ(entries[0].additionalText, u"Sys.Process(\"x\")");
  EXPECT_EQ(entries[0].priority, 300);
  // The test host's log offers the extended interface: the event is an event.
  EXPECT_EQ(entries[1].kind, host::LogEntry::Event);
  EXPECT_EQ(entries[1].text, u"Navigating to the u page.");
  EXPECT_EQ(entries[1].additionalText, u"URL: u\r\n\r\nSys.Process(\"x\")");
  EXPECT_EQ(entries[1].priority, 300);
}

}  // namespace
}  // namespace pw::web
