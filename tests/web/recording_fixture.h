// A recording built in the test against the test host: objects, actions with
// parameters, the analyzer over the host's manager, and readers of the result.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

#include "host/recording.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "web/recording/recorded_actions.h"
#include "web/recording/web_event_analyzer.h"

namespace pw::web::test {

using Params = std::vector<std::pair<GUID, OleVariant>>;

inline GUID TestId(int n) {
  char text[64];
  std::snprintf(text, sizeof text, "{00000000-0000-0000-0000-%012d}", n);
  return *GuidFromString(std::string_view(text));
}

class RecordingTest : public ::testing::Test {
 protected:
  ComPtr<host::TRecordedObject> AddObject(int id, const char16_t* name, const GUID& kind = GUID{},
                                          host::TRecordedObject* parent = nullptr) {
    auto object = MakeObject<host::TRecordedObject>(TestId(id), name, kind);
    if (parent) object->SetParent(parent);
    list->AddObject(object.Get());
    return object;
  }
  ComPtr<host::TRecordedAction> Add(const GUID& kind, int target, const Params& params = {}) {
    auto action = list->Append(kind, TestId(target));
    for (const auto& [key, value] : params) action->SetParamValue(key, value);
    return action;
  }
  void Analyze() {
    auto analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
    ASSERT_EQ(analyzer->Analyze(list.Get()), S_OK);
    ExpectDetachedAtMostOnce();
  }
  std::vector<GUID> LiveKinds() const {
    std::vector<GUID> kinds;
    for (const auto& a : list->LiveActions()) kinds.push_back(a->Kind());
    return kinds;
  }
  void ExpectDetachedAtMostOnce() const {
    for (const auto& a : list->AllActions()) EXPECT_LE(a->DetachCount(), 1);
  }
  static OleVariant Param(host::TRecordedAction* action, const GUID& key) {
    OleVariant v;
    action->GetParam(key, v.Put());
    return v;
  }

  host::TestHost host;
  ComPtr<host::TRecordedActionList> list = MakeObject<host::TRecordedActionList>();
};

}  // namespace pw::web::test
