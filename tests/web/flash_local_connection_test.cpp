// The Flash local connection: the published length and token read by a child process and
// unmarshaled to a working IDispatch, the Invoke codes against a stand-in Flash memory, the
// global name refused (plain name), a stale object replaced, a live one kept, the thread held
// at its point, and destruction (name unlinked, token withdrawn, object disconnected). Every
// name carries this test process's id.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/safearray.h"
#include "platform/com/apartment.h"
#include "platform/com/marshal.h"
#include "platform/rtl/strings.h"
#include "web/flash/flash_local_connection.h"

namespace pw::web {
namespace {

using Outcome = TNamedSharedMemory::Outcome;
using State = TMacromediaLCInterface::State;

std::u16string Prefixed(const char* base) { return Utf8ToWide("pwtest" + std::to_string(getpid()) + "_" + base); }

class FlashLocalConnection : public ::testing::Test {
 protected:
  FlashLocalConnection() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~FlashLocalConnection() override { CoUninitialize(); }

  TMacromediaLCOptions Options() {
    TMacromediaLCOptions o;
    o.namePrefix = Prefixed("ProbewrightLCIntf");
    o.flashName = Prefixed("MacromediaFMOmega");
    return o;
  }
  // The length and the bytes after it, read by a child process from the published object.
  static std::vector<std::uint8_t> ReadInChild(const std::u16string& name) {
    const std::string system = SharedMemorySystemName(name);
    int pipe_[2];
    if (pipe(pipe_) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
      close(pipe_[0]);
      const int fd = shm_open(system.c_str(), O_RDONLY, 0);
      if (fd < 0) _exit(2);
      std::uint8_t head[4];
      if (pread(fd, head, 4, 0) != 4) _exit(3);
      const std::uint32_t length = head[0] | head[1] << 8 | head[2] << 16 | static_cast<std::uint32_t>(head[3]) << 24;
      std::uint8_t body[256];
      if (length > sizeof body || pread(fd, body, length, 4) != static_cast<ssize_t>(length)) _exit(4);
      if (write(pipe_[1], body, length) != static_cast<ssize_t>(length)) _exit(5);
      _exit(0);
    }
    close(pipe_[1]);
    std::vector<std::uint8_t> read;
    std::uint8_t buffer[256];
    for (ssize_t n; (n = ::read(pipe_[0], buffer, sizeof buffer)) > 0;) read.insert(read.end(), buffer, buffer + n);
    close(pipe_[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return read;
  }
};

// A put of the bytes through the dispatch: argument count, type and flags as given.
struct Put {
  DISPID id = 0;
  WORD flags = DISPATCH_PROPERTYPUT;
  std::vector<VARIANT> args;
};

HRESULT Invoke(IDispatch* d, Put put) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{put.args.data(), &named, static_cast<std::uint32_t>(put.args.size()), put.args.empty() ? 0u : 1u};
  return d->Invoke(put.id, GUID_NULL, 0, put.flags, &params, nullptr, nullptr, nullptr);
}

SAFEARRAY* Bytes(const char* text, std::uint32_t count) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, count);
  std::memcpy(a->pvData, text, count);
  return a;
}

VARIANT ArrayArg(SAFEARRAY* a) {
  VARIANT v{};
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = a;
  return v;
}

TEST_F(FlashLocalConnection, PublishesTheLengthAndTokenThatAChildReadsAndThisProcessUnmarshals) {
  TMacromediaLCInterface lc(7, Options());
  lc.Wait();
  ASSERT_EQ(lc.GetState(), State::Published);
  EXPECT_EQ(lc.PublishedName(), lc.GlobalName());
  EXPECT_TRUE(lc.GlobalName().starts_with(u"Global\\" + Prefixed("ProbewrightLCIntf7_")));
  EXPECT_EQ(lc.PlainName(), Prefixed("ProbewrightLCIntf7"));

  const auto token = ReadInChild(lc.PublishedName());
  ASSERT_EQ(token.size(), kInterfaceTokenSize);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(UnmarshalInterfaceToken(token, IDispatch::iid, dispatch.PutVoid()), S_OK);
  ASSERT_TRUE(dispatch);
  EXPECT_TRUE(IsFreeThreaded(dispatch.Get()));

  // The unmarshaled object works: it writes into the Flash memory.
  Outcome outcome{};
  auto flash = TNamedSharedMemory::Create(Prefixed("MacromediaFMOmega"), 16, &outcome);
  ASSERT_TRUE(flash);
  SAFEARRAY* a = Bytes("local", 6);
  EXPECT_EQ(Invoke(dispatch.Get(), {0, DISPATCH_PROPERTYPUT, {ArrayArg(a)}}), S_OK);
  EXPECT_STREQ(static_cast<const char*>(flash->Data()), "local");
  SafeArrayDestroy(a);

  // Another process's token, and bytes that are no token.
  auto other = token;
  other[4] ^= 0xFF;
  void* p = nullptr;
  EXPECT_EQ(UnmarshalInterfaceToken(other, IDispatch::iid, &p), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(UnmarshalInterfaceToken(std::span(token).first(8), IDispatch::iid, &p), E_INVALIDARG);
  EXPECT_EQ(p, nullptr);
}

TEST_F(FlashLocalConnection, InvokeAnswersEachCase) {
  auto dispatch = MakeObject<TMacromediaLCDispatch>(Prefixed("MacromediaFMOmega"));
  IDispatch* d = dispatch.Get();
  std::uint32_t count = 0;
  EXPECT_EQ(d->GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(d->GetTypeInfo(0, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, nullptr, 0, 0, nullptr), E_NOTIMPL);

  SAFEARRAY* ten = Bytes("0123456789", 10);
  // No Flash memory: E_FAIL, and nothing is made.
  EXPECT_EQ(Invoke(d, {0, DISPATCH_PROPERTYPUT, {ArrayArg(ten)}}), E_FAIL);
  EXPECT_LT(shm_open(SharedMemorySystemName(Prefixed("MacromediaFMOmega")).c_str(), O_RDONLY, 0), 0);

  Outcome outcome{};
  auto flash = TNamedSharedMemory::Create(Prefixed("MacromediaFMOmega"), 12, &outcome);
  ASSERT_TRUE(flash);
  auto* memory = static_cast<char*>(flash->Data());
  VARIANT text{};
  text.vt = VT_BSTR;
  VARIANT byRef = ArrayArg(ten);
  byRef.vt |= VT_BYREF;
  VARIANT words{};
  words.vt = VT_ARRAY | VT_I2;
  SAFEARRAY* thirteen = Bytes("0123456789abc", 13);
  const struct {
    const char* what;
    Put put;
    HRESULT expected;
  } cases[] = {
      {"DISPID 1", {1, DISPATCH_PROPERTYPUT, {ArrayArg(ten)}}, DISP_E_MEMBERNOTFOUND},
      {"a get", {0, DISPATCH_PROPERTYGET, {ArrayArg(ten)}}, E_INVALIDARG},
      {"a method call", {0, DISPATCH_METHOD, {ArrayArg(ten)}}, E_INVALIDARG},
      {"no argument", {0, DISPATCH_PROPERTYPUT, {}}, E_INVALIDARG},
      {"two arguments", {0, DISPATCH_PROPERTYPUT, {ArrayArg(ten), ArrayArg(ten)}}, E_INVALIDARG},
      {"a string", {0, DISPATCH_PROPERTYPUT, {text}}, E_INVALIDARG},
      {"an array of words", {0, DISPATCH_PROPERTYPUT, {words}}, E_INVALIDARG},
      {"by reference", {0, DISPATCH_PROPERTYPUT, {byRef}}, E_INVALIDARG},
      {"larger than the Flash memory", {0, DISPATCH_PROPERTYPUT, {ArrayArg(thirteen)}}, E_FAIL},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Invoke(d, c.put), c.expected) << c.what;
    EXPECT_EQ(memory[0], '\0') << c.what << ": nothing is written";
  }
  EXPECT_EQ(Invoke(d, {0, DISPATCH_PROPERTYPUTREF, {ArrayArg(ten)}}), S_OK);
  EXPECT_EQ(std::string(memory, 12), std::string("0123456789\0\0", 12));

  // A lock that fails answers its own code and copies nothing.
  std::memset(memory, 0, 12);
  ten->cLocks = kSafeArrayMaxLocks;
  EXPECT_EQ(Invoke(d, {0, DISPATCH_PROPERTYPUT, {ArrayArg(ten)}}), E_UNEXPECTED);
  EXPECT_EQ(memory[0], '\0');
  ten->cLocks = 0;
  SafeArrayDestroy(ten);
  SafeArrayDestroy(thirteen);
}

TEST_F(FlashLocalConnection, TheGlobalNameRefusedPublishesUnderThePlainName) {
  auto options = Options();
  std::vector<std::u16string> asked;
  options.create = [&asked](std::u16string_view name, std::size_t size, Outcome* outcome) {
    asked.emplace_back(name);
    if (name.starts_with(u"Global\\")) {
      *outcome = Outcome::Refused;
      return std::unique_ptr<TNamedSharedMemory>();
    }
    return TNamedSharedMemory::Create(name, size, outcome);
  };
  TMacromediaLCInterface lc(3, options);
  lc.Wait();
  EXPECT_EQ(lc.GetState(), State::Published);
  EXPECT_EQ(lc.PublishedName(), lc.PlainName());
  EXPECT_EQ(asked, (std::vector<std::u16string>{lc.GlobalName(), lc.PlainName()}));
  EXPECT_EQ(ReadInChild(lc.PlainName()).size(), kInterfaceTokenSize);
}

TEST_F(FlashLocalConnection, AStaleObjectIsReplacedALiveOneKept) {
  const auto options = Options();
  const std::u16string global = TMacromediaLCInterface(4, options).GlobalName();
  // Left by a host that is gone: nobody holds its lock.
  const std::string system = SharedMemorySystemName(global);
  const int fd = shm_open(system.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4), 0);
  close(fd);
  {
    TMacromediaLCInterface lc(4, options);
    lc.Wait();
    EXPECT_EQ(lc.GetState(), State::Published);
    EXPECT_EQ(lc.PublishedName(), global);
    EXPECT_EQ(ReadInChild(global).size(), kInterfaceTokenSize);
  }
  // A living host of the same version holds it: kept, nothing published.
  Outcome outcome{};
  auto live = TNamedSharedMemory::Create(global, 4, &outcome);
  ASSERT_TRUE(live);
  std::memcpy(live->Data(), "live", 4);
  TMacromediaLCInterface lc(4, options);
  lc.Wait();
  EXPECT_EQ(lc.GetState(), State::Kept);
  EXPECT_TRUE(lc.PublishedName().empty());
  EXPECT_EQ(std::memcmp(live->Data(), "live", 4), 0);
  EXPECT_LT(shm_open(SharedMemorySystemName(lc.PlainName()).c_str(), O_RDONLY, 0), 0);
}

TEST_F(FlashLocalConnection, TheCreatorDoesNotWaitAndDestructionJoinsUnlinksAndDisconnects) {
  auto options = Options();
  std::promise<void> reached, go;
  auto released = go.get_future().share();
  options.beforePublish = [&reached, released] {
    reached.set_value();
    released.wait();
  };
  auto lc = std::make_unique<TMacromediaLCInterface>(5, options);
  reached.get_future().wait();  // the thread is at its point; the constructor has returned
  EXPECT_EQ(lc->GetState(), State::Running);
  const std::string system = SharedMemorySystemName(lc->GlobalName());
  EXPECT_LT(shm_open(system.c_str(), O_RDONLY, 0), 0);
  go.set_value();
  lc->Wait();
  ASSERT_EQ(lc->GetState(), State::Published);
  const auto token = ReadInChild(lc->PublishedName());
  ComPtr<IDispatch> held;
  ASSERT_EQ(UnmarshalInterfaceToken(token, IDispatch::iid, held.PutVoid()), S_OK);

  lc.reset();
  EXPECT_LT(shm_open(system.c_str(), O_RDONLY, 0), 0);
  EXPECT_EQ(errno, ENOENT);
  void* p = nullptr;
  EXPECT_EQ(UnmarshalInterfaceToken(token, IDispatch::iid, &p), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(p, nullptr);
}

// A reader that watches shared memory wakes up at the publication and finds the whole token:
// at no wake-up does it find a length without the bytes behind it (the length is written last).
TEST_F(FlashLocalConnection, AWatchingReaderWakesAtThePublicationAndFindsTheWholeToken) {
  auto options = Options();
  std::promise<void> reached, go;
  auto released = go.get_future().share();
  options.beforePublish = [&reached, released] {
    reached.set_value();
    released.wait();
  };
  auto lc = std::make_unique<TMacromediaLCInterface>(6, options);
  reached.get_future().wait();
  TSharedMemoryWatch watch;  // made before the publication can happen
  ASSERT_TRUE(watch.Watching());
  EXPECT_FALSE(FindLCInterfaceMapping(6, options.namePrefix));
  go.set_value();
  std::optional<TLCInterfaceMapping> found;
  while (!found || found->length == 0) {
    ASSERT_TRUE(watch.Wait(std::chrono::seconds(30)));  // other processes' objects wake it too
    found = FindLCInterfaceMapping(6, options.namePrefix);
    if (found && found->length != 0) {
      EXPECT_EQ(found->processId, static_cast<std::uint32_t>(getpid()));
    }
  }
  EXPECT_EQ(found->length, kInterfaceTokenSize);
  lc->Wait();
  EXPECT_EQ(lc->GetState(), State::Published);
}

// What a reader of the names finds: the published token under the name it was published by
// (global, else plain) with its creator's process id; bytes that are no token; an object
// shorter than its length; nothing at all.
TEST_F(FlashLocalConnection, AReaderFindsTheMappingOfAnInstanceByItsNames) {
  const std::u16string prefix = Prefixed("ProbewrightLCIntf");
  EXPECT_FALSE(FindLCInterfaceMapping(8, prefix));
  {
    TMacromediaLCInterface lc(8, Options());
    lc.Wait();
    ASSERT_EQ(lc.GetState(), State::Published);
    const auto found = FindLCInterfaceMapping(8, prefix);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, lc.GlobalName());
    EXPECT_EQ(found->length, kInterfaceTokenSize);
    EXPECT_EQ(found->processId, static_cast<std::uint32_t>(getpid()));
    EXPECT_FALSE(FindLCInterfaceMapping(9, prefix));  // another instance's names
  }
  EXPECT_FALSE(FindLCInterfaceMapping(8, prefix));  // unlinked with its creator

  auto options = Options();
  options.create = [](std::u16string_view name, std::size_t size, Outcome* outcome) {
    if (name.starts_with(u"Global\\")) {
      *outcome = Outcome::Refused;
      return std::unique_ptr<TNamedSharedMemory>();
    }
    return TNamedSharedMemory::Create(name, size, outcome);
  };
  {
    TMacromediaLCInterface lc(8, options);
    lc.Wait();
    const auto found = FindLCInterfaceMapping(8, prefix);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, lc.PlainName());
    EXPECT_EQ(found->processId, static_cast<std::uint32_t>(getpid()));
  }

  struct Case {
    std::vector<std::uint8_t> bytes;
    bool found;
    std::uint32_t length;
  };
  const Case cases[] = {
      {{4, 0, 0, 0, 'l', 'i', 'v', 'e'}, true, 4},                            // no token: process 0
      {{12, 0, 0, 0, 'P', 'W', 'M', 'I', 1, 0, 0, 0}, false, 0},              // shorter than its length
      {{12, 0, 0, 0, 'X', 'W', 'M', 'I', 1, 0, 0, 0, 2, 0, 0, 0}, true, 12},  // other magic: process 0
  };
  const std::u16string plain = prefix + u"8";
  for (const auto& c : cases) {
    Outcome outcome{};
    auto other = TNamedSharedMemory::Create(plain, c.bytes.size(), &outcome);
    ASSERT_TRUE(other);
    std::memcpy(other->Data(), c.bytes.data(), c.bytes.size());
    const auto found = FindLCInterfaceMapping(8, prefix);
    ASSERT_EQ(found.has_value(), c.found) << c.bytes.size();
    if (!found) continue;
    EXPECT_EQ(found->name, plain);
    EXPECT_EQ(found->length, c.length);
    EXPECT_EQ(found->processId, 0u);
  }
}

TEST_F(FlashLocalConnection, DestructionRightAfterCreationJoinsTheThread) {
  for (int i = 0; i < 3; ++i) {
    const auto options = Options();
    std::string system;
    {
      TMacromediaLCInterface lc(6, options);
      system = SharedMemorySystemName(lc.GlobalName());
    }
    EXPECT_LT(shm_open(system.c_str(), O_RDONLY, 0), 0);
  }
}

}  // namespace
}  // namespace pw::web
