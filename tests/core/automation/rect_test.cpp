#include "core/automation/rect.h"

#include "automation_fixture.h"

namespace pw::test {
namespace {

class Rect : public AutomationTest {
 protected:
  void SetUp() override {
    AutomationTest::SetUp();
    RegisterInterfaceThunks(pwWebTestingInterfaceThunks());  // as the module does at its start
    TypeLibraries()->Add(LoadModuleTypeLibrary().Get());
  }
};

TEST_F(Rect, StoresCoordinatesAsGivenAndDerivesSize) {
  auto r = MakeObject<TpwRect>(TRect{10, 20, 5, 15});
  OleVariant v;
  ASSERT_EQ(Call(r->Dispatch(), IdOf(r->Dispatch(), u"Width"), DISPATCH_PROPERTYGET, {}, v.Put()), S_OK);
  EXPECT_EQ(v.AsInt(), -5);
  ASSERT_EQ(Call(r->Dispatch(), IdOf(r->Dispatch(), u"Height"), DISPATCH_PROPERTYGET, {}, v.Put()), S_OK);
  EXPECT_EQ(v.AsInt(), -5);

  ASSERT_EQ(Call(r->Dispatch(), IdOf(r->Dispatch(), u"Left"), DISPATCH_PROPERTYPUT, {OleVariant(0)}, nullptr, nullptr,
                 {DISPID_PROPERTYPUT}), S_OK);
  std::int32_t w = 0, top = 0, right = 0, bottom = 0;
  r->get_Width(&w);
  r->get_Top(&top);
  r->get_Right(&right);
  r->get_Bottom(&bottom);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(top, 20);
  EXPECT_EQ(right, 5);
  EXPECT_EQ(bottom, 15);
  // Width and Height cannot be written.
  EXPECT_EQ(Call(r->Dispatch(), IdOf(r->Dispatch(), u"Width"), DISPATCH_PROPERTYPUT, {OleVariant(1)}, nullptr, nullptr,
                 {DISPID_PROPERTYPUT}), DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace pw::test
