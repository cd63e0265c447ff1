#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "core/options/options_binary.h"
#include "core/options/options_xml_storage.h"
#include "options_test_support.h"
#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

using namespace pw::test;

// A storage that holds one Binary record, for reading stubs from given bytes.
class OneBlockStorage {
 public:
  explicit OneBlockStorage(const std::vector<std::uint8_t>& block) : storage(CreateOptionsXmlReader(u"", false)) {
    storage->Clear();
    cookie = storage->AddProperty(storage->GetRoot(), u"b", ptBinary);
    storage->SetBinary(cookie, block.data(), static_cast<std::int32_t>(block.size()));
  }
  std::unique_ptr<TcvBinaryPropertyStub> Read() {
    return std::make_unique<TcvBinaryPropertyStub>(cookie, storage.Get(), static_cast<std::int32_t>(Size()), u"b");
  }
  std::size_t Size() {
    TPropertyDescription d;
    storage->GetPropertyDescription(cookie, d);
    return static_cast<std::size_t>(d.BinarySize);
  }
  std::vector<std::uint8_t> Stored() {
    std::vector<std::uint8_t> bytes(Size());
    std::int32_t n = static_cast<std::int32_t>(bytes.size());
    storage->ReadBinary(cookie, bytes.data(), n);
    return bytes;
  }
  ComPtr<IcvOptionsReader> storage;
  TcvCookie cookie = 0;
};

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 7));
  return v;
}

// An environment variable set for the life of a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The names in a folder.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

// The file an open descriptor refers to, as the kernel names it.
std::string FileOf(int fd) {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

TEST(BinaryValues, LongValuesLiveInATemporaryFileOfTheirOwnThatHasNoName) {
  test::ScratchDir temp;
  ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  TcvBinaryPropertyStub stub(0, nullptr, 0);
  auto limit = Bytes(16384, 1);
  stub.SetValue(limit.data(), 16384, false);
  EXPECT_EQ(stub.TempFileDescriptor(), -1);

  auto longer = Bytes(16385, 2);
  stub.SetValue(longer.data(), 16385, false);
  const int fd = stub.TempFileDescriptor();
  ASSERT_GE(fd, 0);
  // Already unlinked: nothing is left in the temporary folder, whatever ends the process.
  EXPECT_TRUE(Names(temp.Path()).empty());
  EXPECT_TRUE(FileOf(fd).starts_with(temp.Path().string())) << FileOf(fd);
  EXPECT_TRUE(FileOf(fd).ends_with("(deleted)")) << FileOf(fd);
  EXPECT_EQ(::lseek(fd, 0, SEEK_END), 16385);
  EXPECT_EQ(stub.GetValue(), longer);

  // The file is reused while the value stays long, and goes when it becomes short.
  auto other = Bytes(50000, 3);
  stub.SetValue(other.data(), 50000, true);
  EXPECT_EQ(stub.TempFileDescriptor(), fd);
  std::vector<std::uint8_t> head(10);
  std::int32_t count = 10;
  stub.GetData(head.data(), count);
  EXPECT_EQ(count, 10);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), other.begin()));
  stub.SetValue(longer.data(), 16385, false);  // shorter, still long: the old tail is gone
  EXPECT_EQ(stub.GetValue(), longer);
  EXPECT_EQ(::lseek(fd, 0, SEEK_END), 16385);

  auto shortValue = Bytes(10, 4);
  stub.SetValue(shortValue.data(), 10, false);
  EXPECT_EQ(stub.TempFileDescriptor(), -1);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "closed";

  stub.SetValue(longer.data(), 16385, false);
  const int second = stub.TempFileDescriptor();
  {
    TcvBinaryPropertyStub gone(0, nullptr, 0);
    gone.SetValue(longer.data(), 16385, false);
    const int third = gone.TempFileDescriptor();
    EXPECT_NE(third, second);
    ASSERT_EQ(::ftruncate(third, 0), 0);  // the file lost its content
    std::int32_t n = 100;
    gone.GetData(head.data(), n);  // a lost file reads as nothing, silently
    EXPECT_EQ(n, 0);
    EXPECT_THROW(gone.GetValue(), EcvOptionsException);
  }
  EXPECT_TRUE(Names(temp.Path()).empty());
}

// A temporary folder that takes no files is named with the system's own reason, not guessed to
// be full; nothing is created for it.
TEST(BinaryValues, ATemporaryFolderThatTakesNoFilesIsNamedWithTheReason) {
  ScopedEnv tmpdir("TMPDIR", "/proc");  // a folder of the system that no file can be made in
  TcvBinaryPropertyStub stub(0, nullptr, 0);
  auto longer = Bytes(16385, 2);
  try {
    stub.SetValue(longer.data(), 16385, false);
    ADD_FAILURE() << "a temporary file was made in /proc";
  } catch (const EcvOptionsException& e) {
    const std::string message = WideToUtf8(e.Message());
    EXPECT_NE(message.find("Cannot create a temporary file for a Binary value in the folder /proc: "),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
    EXPECT_EQ(message.find("disk space"), std::string::npos) << message;
  }
}

TEST(BinaryValues, ModifiedFollowsTheStoredValue) {
  auto stored = Bytes(100, 5);
  OneBlockStorage s(stored);
  auto stub = s.Read();
  EXPECT_FALSE(stub->IsModified());
  EXPECT_FALSE(stub->Compressed());
  stub->SetValue(stored.data(), 100, false);
  EXPECT_FALSE(stub->IsModified());
  auto changed = stored;
  changed[99] ^= 1;
  stub->SetValue(changed.data(), 100, false);
  EXPECT_TRUE(stub->IsModified());
  stub->SetValue(stored.data(), 100, false);
  EXPECT_FALSE(stub->IsModified());

  auto longValue = Bytes(20000, 6);
  stub->SetValue(longValue.data(), 20000, false);
  stub->SaveTo(s.storage.Get());
  EXPECT_FALSE(stub->IsModified());
  stub->SetValue(longValue.data(), 20000, false);  // long values always count as changed
  EXPECT_TRUE(stub->IsModified());
}

TEST(BinaryValues, CompressedValuesArePackedBehindTheirHeader) {
  auto value = Bytes(5000, 7);
  OneBlockStorage s({});
  TcvBinaryPropertyStub stub(s.cookie, s.storage.Get(), 0);
  stub.SetValue(value.data(), 5000, true);
  stub.SaveTo(s.storage.Get());
  auto block = s.Stored();
  ASSERT_GT(block.size(), 16u);
  EXPECT_EQ(std::string(block.begin(), block.begin() + 5), "cvbin");
  EXPECT_EQ(block[8], 1);
  EXPECT_EQ(block[12] | block[13] << 8 | block[14] << 16 | block[15] << 24, 5000);
  EXPECT_LT(block.size(), 5000u);

  auto back = s.Read();
  EXPECT_TRUE(back->Compressed());
  EXPECT_EQ(back->GetValue(), value);
  EXPECT_FALSE(back->IsModified());
}

TEST(BinaryValues, StoredBlocksReadByTheirHeader) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> stored;
    std::vector<std::uint8_t> value;
    bool compressed;
  };
  std::vector<std::uint8_t> sixteen{'c', 'v', 'b', 'i', 'n', 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0};
  std::vector<std::uint8_t> zeroLength = sixteen;
  zeroLength[12] = 0;
  zeroLength.push_back(0x78);
  const Case cases[] = {
      {"exactly the header: a plain value", sixteen, sixteen, false},
      {"length 0: an empty packed value", zeroLength, {}, true},
      {"no magic: the value itself", {1, 2, 3}, {1, 2, 3}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OneBlockStorage s(c.stored);
    auto stub = s.Read();
    EXPECT_EQ(stub->GetValue(), c.value);
    EXPECT_EQ(stub->Compressed(), c.compressed);
  }
}

// A plain value that happens to look like a packed block is stored so that it reads back as
// the bytes it is.
TEST(BinaryValues, PlainValuesThatLookPackedReadBackAsThemselves) {
  std::vector<std::uint8_t> lookalike = PackBinaryValue("something else", 14);
  ASSERT_TRUE(LooksPacked(lookalike.data(), lookalike.size()));
  OneBlockStorage s({});
  TcvBinaryPropertyStub stub(s.cookie, s.storage.Get(), 0);
  stub.SetValue(lookalike.data(), static_cast<std::uint32_t>(lookalike.size()), false);
  stub.SaveTo(s.storage.Get());
  auto back = s.Read();
  EXPECT_EQ(back->GetValue(), lookalike);
}

TEST(BinaryValues, DamagedPackedBlocksRaiseWithoutHugeAllocations) {
  auto valid = PackBinaryValue("0123456789", 10);
  auto claims = [&](std::uint32_t length) {
    auto b = valid;
    for (int i = 0; i < 4; ++i) b[12 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    return b;
  };
  for (const auto& block : {claims(0x7FFFFFFF), claims(11), claims(9), claims(100000)}) {
    OneBlockStorage s(block);
    try {
      s.Read()->GetValue();
      ADD_FAILURE() << "read a damaged block";
    } catch (const EcvOptionsException& e) {
      EXPECT_NE(WideToUtf8(e.Message()).find("The packed value of the 'b' Binary property is damaged"),
                std::string::npos);
    }
  }
  // A long claimed value that breaks off leaves no temporary file behind.
  ScratchDir temp;
  const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  ::setenv("TMPDIR", temp.Path().c_str(), 1);
  auto big = Bytes(100000, 9);
  auto packed = PackBinaryValue(big.data(), big.size());
  packed.resize(packed.size() / 2);
  OneBlockStorage s(packed);
  auto stub = s.Read();
  EXPECT_THROW(stub->GetValue(), EcvOptionsException);
  EXPECT_THROW(stub->GetSize(), EcvOptionsException);  // the block is kept, so it raises again
  EXPECT_TRUE(temp.Entries().empty());
  EXPECT_EQ(FileOf(stub->TempFileDescriptor()), "");
  if (saved.empty()) ::unsetenv("TMPDIR");
  else ::setenv("TMPDIR", saved.c_str(), 1);
}

// A packed value may not claim more than the cap, however well it packs: the claim is refused
// before anything is unpacked, and the message names the limit. A value at the cap unpacks.
TEST(BinaryValues, UnpackedSizeHasACap) {
  ScratchDir temp;
  const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  ::setenv("TMPDIR", temp.Path().c_str(), 1);
  std::vector<std::uint8_t> zeros(kMaxUnpackedBinarySize + 1);
  auto over = PackBinaryValue(zeros.data(), zeros.size());
  auto at = PackBinaryValue(zeros.data(), zeros.size() - 1);
  zeros = {};
  {
    OneBlockStorage s(over);
    const std::string message = RaisedMessage([&] { s.Read()->GetSize(); });
    EXPECT_NE(message.find("is too long: it unpacks to 67108865 bytes, more than the limit of 67108864 bytes"),
              std::string::npos)
        << message;
    EXPECT_TRUE(temp.Entries().empty());
  }
  {
    OneBlockStorage s(at);
    EXPECT_EQ(s.Read()->GetSize(), kMaxUnpackedBinarySize);
  }
  if (saved.empty())
    ::unsetenv("TMPDIR");
  else
    ::setenv("TMPDIR", saved.c_str(), 1);
}

// A packed value is unpacked only when it is asked for: one nobody asked for is saved back as
// the block it was read as, byte for byte, even when it could not be unpacked (over the cap,
// damaged). Setting a new value replaces the block.
TEST(BinaryValues, UntouchedPackedValuesAreSavedBackUnopened) {
  std::vector<std::uint8_t> zeros(kMaxUnpackedBinarySize + 1);
  auto over = PackBinaryValue(zeros.data(), zeros.size());
  zeros = {};
  auto damaged = PackBinaryValue("0123456789", 10);
  damaged[12] = 11;
  // Stored by another writer, which fills the header's padding: packing the value again would
  // give other bytes.
  auto value = Bytes(20000, 3);
  auto otherWriter = PackBinaryValue(value.data(), value.size());
  otherWriter[5] = otherWriter[6] = otherWriter[7] = 0xAA;
  for (const auto& block : {over, damaged, otherWriter}) {
    OneBlockStorage s(block);
    auto stub = s.Read();
    EXPECT_TRUE(stub->StillPacked());
    EXPECT_TRUE(stub->Compressed());
    EXPECT_FALSE(stub->IsModified());
    s.storage->SetBinary(s.cookie, nullptr, 0);
    stub->SaveTo(s.storage.Get());  // as when the tree moves to another storage
    EXPECT_EQ(s.Stored(), block);
    EXPECT_TRUE(stub->StillPacked());
  }
  OneBlockStorage s(otherWriter);
  auto stub = s.Read();
  EXPECT_EQ(stub->GetValue(), value);
  EXPECT_FALSE(stub->StillPacked());
  EXPECT_FALSE(stub->IsModified());
  OneBlockStorage replaced(over);
  auto fresh = replaced.Read();
  fresh->SetValue(value.data(), 100, true);
  EXPECT_FALSE(fresh->StillPacked());
  EXPECT_TRUE(fresh->IsModified());
  fresh->SaveTo(replaced.storage.Get());
  EXPECT_EQ(replaced.Read()->GetValue(), std::vector<std::uint8_t>(value.begin(), value.begin() + 100));
}

TEST(BinaryValues, TheInterfaceCopiesWhatFitsTheBuffer) {
  auto builder = CreateOptionsBuilder();
  auto props = Props(builder->GetRoot().Get());
  auto value = Bytes(30000, 10);
  SafeCallCheck(props->SetBinary(u"v", value.data(), 30000, WordTrue));
  std::vector<std::uint8_t> buffer(100);
  std::int32_t copied = 0;
  SafeCallCheck(props->GetBinary(u"v", buffer.data(), 100, &copied));
  EXPECT_EQ(copied, 100);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), value.begin()));
  buffer.resize(40000);
  SafeCallCheck(props->GetBinary(u"v", buffer.data(), 40000, &copied));
  EXPECT_EQ(copied, 30000);
}

}  // namespace
}  // namespace pw
