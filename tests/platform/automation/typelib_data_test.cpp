#include "platform/automation/typelib_data.h"

#include <gtest/gtest.h>

#include "platform/automation/typeinfo.h"

namespace pw::tlb {
namespace {

LibraryData SampleLibrary() {
  LibraryData lib;
  lib.guid = MakeGuid("{801C6D29-A2C7-49DD-B152-442C13A8A65A}");
  lib.major = 2;
  lib.minor = 5;
  lib.name = u"Sample";
  lib.doc = u"A sample library";
  TypeData t;
  t.kind = TKIND_DISPATCH;
  t.flags = TYPEFLAG_FDUAL;
  t.guid = MakeGuid("{41C942AE-8A49-4846-9096-A59A2F277EFE}");
  t.name = u"ISample";
  t.baseName = u"IDispatch";
  FuncData get;
  get.memid = -4;
  get.invkind = INVOKE_PROPERTYGET;
  get.slot = 7;
  get.name = u"Items";
  get.result.chain = {VT_PTR, VT_USERDEFINED};
  get.result.ref = t.guid;
  FuncData call;
  call.memid = 0x60020001;
  call.flags = FUNCFLAG_FHIDDEN;
  call.slot = -1;
  call.name = u"Call";
  call.doc = u"Calls";
  call.result.chain = {VT_HRESULT};
  call.params.push_back({u"First", PARAMFLAG_FIN, {{VT_BSTR}, {}}});
  call.params.push_back({u"Second", PARAMFLAG_FIN | PARAMFLAG_FOPT, {{VT_VARIANT}, {}}});
  t.funcs = {get, call};
  lib.types = {t, TypeData{}};
  lib.types[1].funcs.push_back(FuncData{});
  lib.types[1].funcs[0].result.chain = {VT_I4};
  return lib;
}

TEST(TypeLibraryFile, ReadsBackWhatItWrites) {
  const std::vector<std::uint8_t> bytes = Serialize(SampleLibrary());
  LibraryData back;
  ASSERT_EQ(Deserialize(bytes.data(), bytes.size(), back), ReadResult::Ok);
  EXPECT_EQ(Serialize(back), bytes);
  EXPECT_EQ(back.name, u"Sample");
  EXPECT_EQ(back.minor, 5);
  ASSERT_EQ(back.types.size(), 2u);
  const FuncData& get = back.types[0].funcs[0];
  EXPECT_EQ(get.memid, -4);
  EXPECT_EQ(get.result.ref, back.types[0].guid);
  const FuncData& call = back.types[0].funcs[1];
  EXPECT_EQ(call.memid, 0x60020001);
  EXPECT_EQ(call.slot, -1);
  ASSERT_EQ(call.params.size(), 2u);
  EXPECT_EQ(call.params[1].name, u"Second");
  EXPECT_EQ(call.params[1].flags, PARAMFLAG_FIN | PARAMFLAG_FOPT);
}

TEST(TypeLibraryFile, RefusesDamagedAndForeignData) {
  const std::vector<std::uint8_t> bytes = Serialize(SampleLibrary());
  LibraryData out;
  // Cut anywhere, with the size in the header telling the truth about the cut: damaged.
  for (std::size_t n = 12; n < bytes.size(); ++n) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    for (int i = 0; i < 4; ++i) cut[8 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    ASSERT_EQ(Deserialize(cut.data(), cut.size(), out), ReadResult::Damaged) << n;
  }
  // A size in the header beyond the data.
  EXPECT_EQ(Deserialize(bytes.data(), bytes.size() - 1, out), ReadResult::Damaged);
  std::vector<std::uint8_t> other = bytes;
  other[4] = kFormatVersion + 1;
  EXPECT_EQ(Deserialize(other.data(), other.size(), out), ReadResult::NewerFormat);
  other[4] = 0;
  EXPECT_EQ(Deserialize(other.data(), other.size(), out), ReadResult::Damaged);
  other = bytes;
  other[0] = 'X';
  EXPECT_EQ(Deserialize(other.data(), other.size(), out), ReadResult::NotALibrary);

  ITypeLib* lib = nullptr;
  EXPECT_EQ(LoadTypeLibFromMemory(bytes.data(), bytes.size() - 1, &lib), TYPE_E_INVDATAREAD);
  EXPECT_EQ(lib, nullptr);
}

}  // namespace
}  // namespace pw::tlb
