// Classes a running layer registers: CoCreateInstance finds the newest registration of a
// CLSID, refuses aggregation, and answers REGDB_E_CLASSNOTREG once it is revoked.
#include "platform/com/class_registry.h"

#include <gtest/gtest.h>

#include "platform/com/comobject.h"
#include "platform/com/marshal.h"

namespace pw {
namespace {

constexpr CLSID kClass = MakeGuid("{5C1E0B7A-2D44-4E5B-9F0A-6A7B8C9D0E11}");

class TThing final : public ComObject {
 public:
  explicit TThing(int tag) : tag(tag) {}
  const int tag;
};

int TagOf(IUnknown* object) { return static_cast<TThing*>(object)->tag; }

TEST(ClassRegistry, NewestRegistrationCreatesUntilRevoked) {
  auto creator = [](int tag) {
    return [tag](const IID& riid, void** ppv) { return MakeObject<TThing>(tag)->QueryInterface(riid, ppv); };
  };
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  const DWORD first = RegisterClassCreator(kClass, creator(1));
  const DWORD second = RegisterClassCreator(kClass, creator(2));
  EXPECT_NE(first, 0u);
  ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(TagOf(object), 2);
  IUnknown* outer = object;
  EXPECT_EQ(CoCreateInstance(kClass, outer, CLSCTX_INPROC_SERVER, IUnknown::iid, reinterpret_cast<void**>(&object)),
            CLASS_E_NOAGGREGATION);
  outer->Release();
  EXPECT_TRUE(RevokeClassCreator(second));
  EXPECT_FALSE(RevokeClassCreator(second));
  ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(TagOf(object), 1);
  object->Release();
  EXPECT_TRUE(RevokeClassCreator(first));
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
}

}  // namespace
}  // namespace pw
