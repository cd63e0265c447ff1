// Objects, interface tables, references, error information and the safe-call convention.
#include <gtest/gtest.h>

#include "platform/automation/bstr.h"
#include "platform/com/comobject.h"
#include "platform/com/errorinfo.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/safecall.h"

namespace pw {
namespace {

struct IAnimal : IUnknown {
  static constexpr IID iid = MakeGuid("{6E7C3A10-0000-4000-8000-000000000001}");
  virtual int Legs() = 0;
};
struct IDog : IAnimal {
  static constexpr IID iid = MakeGuid("{6E7C3A10-0000-4000-8000-000000000002}");
  using Inherited = IAnimal;
  virtual HRESULT Bark(int loudness) = 0;
};
struct IPet : IUnknown {
  static constexpr IID iid = MakeGuid("{6E7C3A10-0000-4000-8000-000000000003}");
  virtual int Age() = 0;
};
struct IUnrelated : IUnknown {
  static constexpr IID iid = MakeGuid("{6E7C3A10-0000-4000-8000-000000000004}");
};

int gDestroyed = 0;

class Dog : public Implements<ComObject, IDog, IPet> {
 public:
  explicit Dog(int age) : age_(age) {
    // Taking and dropping a reference inside the constructor must not destroy the object.
    ComPtr<IPet> self(this);
  }
  ~Dog() override { ++gDestroyed; }
  int Legs() override { return 4; }
  int Age() override { return age_; }
  HRESULT Bark(int loudness) override {
    return SafeCall([&] {
      if (loudness < 0) throw EOleSysError(u"Dogs cannot bark backwards", E_INVALIDARG);
      if (loudness > 10) throw Exception(u"Too loud");
      if (loudness == 7) throw std::bad_alloc();
    });
  }

 private:
  int age_;
};

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gDestroyed = 0;
    SetErrorInfo(0, nullptr);
  }
};

TEST_F(ComTest, CountsReferencesAndFreesAtZero) {
  Dog* raw = new Dog(3);
  EXPECT_EQ(raw->RefCount(), 1);  // constructors run with one reference
  raw->AfterConstruction();
  EXPECT_EQ(raw->RefCount(), 0);
  {
    ComPtr<IDog> dog(raw);
    EXPECT_EQ(raw->RefCount(), 1);
    ComPtr<IPet> pet = dog.As<IPet>();
    EXPECT_EQ(raw->RefCount(), 2);
    EXPECT_EQ(pet->Age(), 3);
  }
  EXPECT_EQ(gDestroyed, 1);
}

TEST_F(ComTest, TryAddRefTakesAReferenceOnlyWhileTheObjectLives) {
  Dog* raw = new Dog(2);
  raw->AfterConstruction();
  EXPECT_FALSE(raw->TryAddRef()) << "count 0: the object is not (or no longer) alive";
  ComPtr<IDog> dog(raw);
  ASSERT_TRUE(raw->TryAddRef());
  EXPECT_EQ(raw->RefCount(), 2);
  raw->Release();
}

TEST_F(ComTest, QueryInterfaceFollowsTheTableAndKeepsIdentity) {
  auto dog = MakeObject<Dog>(1);
  IDog* asDog = dog.Get();
  EXPECT_TRUE(QueryAs<IAnimal>(asDog)) << "an extended interface answers for its ancestor";
  EXPECT_TRUE(QueryAs<IPet>(asDog));
  EXPECT_FALSE(QueryAs<IUnrelated>(asDog));
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(asDog->QueryInterface(IUnrelated::iid, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(asDog->QueryInterface(IUnknown::iid, nullptr), E_POINTER);
  // Every interface leads to one identity.
  IUnknown* id1 = IdentityOf(static_cast<IDog*>(dog.Get()));
  IUnknown* id2 = IdentityOf(static_cast<IPet*>(dog.Get()));
  EXPECT_EQ(id1, id2);
  EXPECT_EQ(id1, dog->Identity());
}

TEST_F(ComTest, SafeCallTurnsExceptionsIntoCodesWithErrorInfo) {
  auto dog = MakeObject<Dog>(1);
  struct Case {
    int loudness;
    HRESULT code;
    const char16_t* description;
  } cases[] = {
      {-1, E_INVALIDARG, u"Dogs cannot bark backwards"},
      {11, E_UNEXPECTED, u"Too loud"},
      {7, E_OUTOFMEMORY, u"Out of memory"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dog->Bark(c.loudness), c.code);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BString text;
    info->GetDescription(text.Put());
    EXPECT_EQ(text.View(), c.description);
    // Taking the error information clears it.
    EXPECT_EQ(GetErrorInfo(0, info.Put()), S_FALSE);
  }
  EXPECT_EQ(dog->Bark(5), S_OK);
}

TEST_F(ComTest, SafeCallCheckRaisesWithTheCalleesMessage) {
  auto dog = MakeObject<Dog>(1);
  try {
    SafeCallCheck(dog->Bark(11));
    FAIL() << "no exception";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.ErrorCode(), E_UNEXPECTED);
    EXPECT_EQ(e.Message(), u"Too loud");
  }
  // Without error information the code's own text is used.
  try {
    SafeCallCheck(DISP_E_MEMBERNOTFOUND);
    FAIL() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(e.Message(), u"Member not found");
  }
  EXPECT_EQ(SafeCallCheck(S_FALSE), S_FALSE);
}

TEST_F(ComTest, AFailureCarryingASuccessCodeIsStillAFailure) {
  HRESULT hr = SafeCallBoundary([] { throw EOleSysError(u"odd", S_OK); });
  EXPECT_EQ(hr, E_UNEXPECTED);
}

TEST_F(ComTest, ErrorInfoIsPerThread) {
  auto dog = MakeObject<Dog>(1);
  EXPECT_EQ(dog->Bark(11), E_UNEXPECTED);
  HRESULT other = S_OK;
  std::thread([&] {
    ComPtr<IErrorInfo> info;
    other = GetErrorInfo(0, info.Put());
  }).join();
  EXPECT_EQ(other, S_FALSE);
  ComPtr<IErrorInfo> info;
  EXPECT_EQ(GetErrorInfo(0, info.Put()), S_OK);
}

TEST(Bstr, KeepsLengthPrefixAndEmbeddedZeros) {
  const char16_t text[] = {u'a', 0, u'b'};
  BString b = BString::Attach(SysAllocStringLen(text, 3));
  EXPECT_EQ(b.Length(), 3u);
  EXPECT_EQ(SysStringByteLen(b.Get()), 6u);
  EXPECT_EQ(b.Get()[3], 0);
  EXPECT_EQ(b.View(), WideStringView(text, 3));
  BString copy = b;
  EXPECT_NE(copy.Get(), b.Get());
  EXPECT_EQ(copy.View(), b.View());
  // A nil BSTR is the empty string.
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrView(nullptr), u"");
  BSTR s = SysAllocString(u"x");
  ASSERT_TRUE(SysReAllocString(&s, u"longer"));
  EXPECT_EQ(BstrView(s), u"longer");
  SysFreeString(s);
}

}  // namespace
}  // namespace pw
