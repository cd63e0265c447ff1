// The walk of type information into a recorder, and what it stands on: implemented interfaces
// of a library's types, the built-in IDispatch and IUnknown, libraries whose bases loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/name_mapping.h"
#include "openapps/namemapping/type_walker.h"
#include "platform/automation/typelib_data.h"
#include "platform/com/comobject.h"

namespace pw {
namespace {

using ::testing::ElementsAre;

tlb::TypeData Interface(const char16_t* name, const char* guid, const char16_t* base) {
  tlb::TypeData t;
  t.kind = TKIND_INTERFACE;
  t.guid = *GuidFromString(guid);
  t.name = name;
  t.baseName = base;
  return t;
}

ComPtr<ITypeLib> Load(std::vector<tlb::TypeData> types, HRESULT* result = nullptr) {
  tlb::LibraryData data;
  data.guid = MakeGuid("{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A00}");
  data.name = u"Walk";
  data.types = std::move(types);
  const auto bytes = tlb::Serialize(data);
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLibFromMemory(bytes.data(), bytes.size(), lib.Put());
  if (result) *result = hr;
  return lib;
}

// An object whose IDispatch answers the type information given (some indexes fail).
class TTyped final : public Implements<ComObject, IDispatch> {
 public:
  std::vector<ComPtr<ITypeInfo>> infos;  // nil entries fail
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = static_cast<std::uint32_t>(infos.size());
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** info) override {
    *info = nullptr;
    if (index >= infos.size() || !infos[index]) return TYPE_E_ELEMENTNOTFOUND;
    *info = infos[index].Get();
    (*info)->AddRef();
    return S_OK;
  }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

ComPtr<ITypeInfo> InfoNamed(ITypeLib* lib, const char* guid) {
  ComPtr<ITypeInfo> info;
  lib->GetTypeInfoOfGuid(*GuidFromString(guid), info.Put());
  return info;
}

TEST(TypeWalker, WalksInterfacesThenTheirBases) {
  auto lib = Load({Interface(u"IpwOuter", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A01}", u"IpwInner"),
                   Interface(u"IpwInner", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A02}", u"IDispatch"),
                   Interface(u"IpwPlain", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A03}", u"IUnknown")});
  ASSERT_TRUE(lib);
  auto object = MakeObject<TTyped>();
  object->infos = {InfoNamed(lib.Get(), "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A01}"), nullptr,
                   InfoNamed(lib.Get(), "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A03}")};
  auto recorder = MakeObject<host::TTypeRecorder>();
  WalkDispatchTypeInfos(recorder.Get(), static_cast<IDispatch*>(object.Get()));
  EXPECT_THAT(recorder->Recorded(),
              ElementsAre(u"IpwOuter", u"IpwInner", u"IDispatch", u"IUnknown", u"IpwPlain", u"IUnknown"));
}

TEST(TypeWalker, NothingToWalk) {
  auto recorder = MakeObject<host::TTypeRecorder>();
  auto empty = MakeObject<TTyped>();  // GetTypeInfoCount answers 0
  WalkDispatchTypeInfos(recorder.Get(), static_cast<IDispatch*>(empty.Get()));
  EXPECT_TRUE(recorder->Recorded().empty());

  auto object = MakeObject<TTyped>();
  object->infos = {ComPtr<ITypeInfo>(BuiltinTypeInfoOfIDispatch())};
  recorder->SetRecording(false);  // a sink that does not record
  WalkDispatchTypeInfos(recorder.Get(), static_cast<IDispatch*>(object.Get()));
  EXPECT_TRUE(recorder->Recorded().empty());
  recorder->SetRecording(true);
  WalkDispatchTypeInfos(recorder.Get(), static_cast<IDispatch*>(object.Get()));
  EXPECT_THAT(recorder->Recorded(), ElementsAre(u"IDispatch", u"IUnknown"));
}

TEST(TypeWalker, ObjectWithoutIDispatchRaises) {
  auto recorder = MakeObject<host::TTypeRecorder>();
  auto plain = MakeObject<host::TIdentificationProperties>();
  EXPECT_ANY_THROW(WalkDispatchTypeInfos(recorder.Get(), static_cast<IpwIdentificationProperties*>(plain.Get())));
}

TEST(TypeWalker, ImplementedTypesOfALibrary) {
  auto lib = Load({Interface(u"IpwOuter", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A01}", u"IpwMissing")});
  auto info = InfoNamed(lib.Get(), "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A01}");
  HREFTYPE ref = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
  ComPtr<ITypeInfo> base;
  EXPECT_EQ(info->GetRefTypeInfo(ref, base.Put()), TYPE_E_ELEMENTNOTFOUND);  // a base the library lacks
  EXPECT_EQ(info->GetRefTypeOfImplType(1, &ref), TYPE_E_ELEMENTNOTFOUND);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(BuiltinTypeInfoOfIUnknown()->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->cImplTypes, 0);
  EXPECT_EQ(attr->guid, IUnknown::iid);
}

TEST(TypeWalker, LibraryWhoseBasesLoopIsRefused) {
  struct Case {
    std::vector<tlb::TypeData> types;
    HRESULT result;
  } cases[] = {
      {{Interface(u"IpwA", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A11}", u"IpwA")}, TYPE_E_INVDATAREAD},
      {{Interface(u"IpwA", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A11}", u"IpwB"),
        Interface(u"IpwB", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A12}", u"IpwC"),
        Interface(u"IpwC", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A13}", u"IpwA")},
       TYPE_E_INVDATAREAD},
      {{Interface(u"IpwA", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A11}", u"IpwB"),
        Interface(u"IpwB", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A12}", u"IDispatch"),
        Interface(u"IpwC", "{0B3C1F6A-8E24-4D57-A91B-5C7E3D2F1A13}", u"IpwB")},
       S_OK},
  };
  for (auto& c : cases) {
    HRESULT hr = E_FAIL;
    auto lib = Load(c.types, &hr);
    EXPECT_EQ(hr, c.result);
    EXPECT_EQ(static_cast<bool>(lib), c.result == S_OK);
  }
}

}  // namespace
}  // namespace pw
