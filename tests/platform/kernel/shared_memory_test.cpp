// Named shared memory: system names, exclusive creation with mode 0600, a child process reading
// what was written, a live creator's object kept, a dead creator's replaced, the unlink at
// destruction, writes through the descriptor and the watch they wake. Names carry this test
// process's id.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/kernel/shared_memory.h"

namespace {

using pw::TNamedSharedMemory;
using Outcome = pw::TNamedSharedMemory::Outcome;

std::u16string Name(const char* base) {
  const std::string n = std::string(base) + "_" + std::to_string(getpid());
  return std::u16string(n.begin(), n.end());
}

TEST(SharedMemory, SystemNames) {
  EXPECT_EQ(pw::SharedMemorySystemName(u"Global\\ProbewrightLCIntf1_3"), "/Global.ProbewrightLCIntf1_3");
  EXPECT_EQ(pw::SharedMemorySystemName(u"ProbewrightLCIntf1"), "/ProbewrightLCIntf1");
  EXPECT_EQ(pw::SharedMemorySystemName(u"a/b\\c"), "/a.b.c");
}

TEST(SharedMemory, CreatedExclusivelyReadByAChildUnlinkedAtDestruction) {
  Outcome outcome{};
  auto memory = TNamedSharedMemory::Create(Name("pw_shm_child"), 64, &outcome);
  ASSERT_TRUE(memory);
  EXPECT_EQ(outcome, Outcome::Created);
  struct stat st {};
  const int probe = shm_open(memory->SystemName().c_str(), O_RDONLY, 0);
  ASSERT_GE(probe, 0);
  ASSERT_EQ(fstat(probe, &st), 0);
  close(probe);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 64);
  std::memcpy(memory->Data(), "hello", 6);
  const std::string name = memory->SystemName();
  const pid_t child = fork();
  if (child == 0) {
    const int fd = shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) _exit(2);
    void* p = mmap(nullptr, 64, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) _exit(3);
    _exit(std::memcmp(p, "hello", 6) == 0 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  memory.reset();
  EXPECT_LT(shm_open(name.c_str(), O_RDONLY, 0), 0);
  EXPECT_EQ(errno, ENOENT);
}

TEST(SharedMemory, ALiveCreatorsObjectIsKeptAStaleOneReplaced) {
  const std::u16string name = Name("pw_shm_owner");
  Outcome outcome{};
  auto first = TNamedSharedMemory::Create(name, 16, &outcome);
  ASSERT_TRUE(first);
  static_cast<char*>(first->Data())[0] = 'x';
  auto second = TNamedSharedMemory::Create(name, 16, &outcome);
  EXPECT_FALSE(second);
  EXPECT_EQ(outcome, Outcome::ExistsLive);
  EXPECT_EQ(static_cast<char*>(first->Data())[0], 'x');
  first.reset();

  // Left behind by a creator that is gone: nobody holds its lock.
  const std::string system = pw::SharedMemorySystemName(name);
  const int fd = shm_open(system.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 16), 0);
  ASSERT_EQ(write(fd, "stale", 5), 5);
  close(fd);
  auto fresh = TNamedSharedMemory::Create(name, 16, &outcome);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(outcome, Outcome::ReplacedStale);
  EXPECT_EQ(static_cast<char*>(fresh->Data())[0], '\0');
}

TEST(SharedMemory, ARefusedNameIsReported) {
  Outcome outcome{};
  int error = 0;
  const std::u16string tooLong(300, u'n');
  EXPECT_FALSE(TNamedSharedMemory::Create(tooLong, 16, &outcome, &error));
  EXPECT_EQ(outcome, Outcome::Refused);
  EXPECT_NE(error, 0);
}

TEST(SharedMemory, OpenWritesIntoAnotherCreatorsObjectWithinItsSizeAndLeavesItInPlace) {
  const std::u16string name = Name("pw_shm_open");
  int error = 0;
  EXPECT_FALSE(TNamedSharedMemory::Open(name, 4, &error));
  EXPECT_EQ(error, ENOENT);
  Outcome outcome{};
  auto owner = TNamedSharedMemory::Create(name, 8, &outcome);
  ASSERT_TRUE(owner);
  EXPECT_FALSE(TNamedSharedMemory::Open(name, 9, &error));  // past its end
  EXPECT_EQ(error, EINVAL);
  {
    auto writer = TNamedSharedMemory::Open(name, 8);
    ASSERT_TRUE(writer);
    std::memcpy(writer->Data(), "written", 8);
  }
  EXPECT_STREQ(static_cast<const char*>(owner->Data()), "written");  // a reader's end unlinks nothing
  EXPECT_TRUE(TNamedSharedMemory::Open(name, 8));
}

}  // namespace

// Write goes through the descriptor: what fits is seen in the mapping and by another opener; what
// does not fit is refused and nothing is written.
TEST(SharedMemory, WriteStaysWithinTheObject) {
  auto memory = TNamedSharedMemory::Create(Name("pw_shm_write"), 8, nullptr);
  ASSERT_TRUE(memory);
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  EXPECT_TRUE(memory->Write(4, bytes));
  EXPECT_EQ(std::memcmp(static_cast<std::uint8_t*>(memory->Data()) + 4, bytes, 4), 0);
  auto other = TNamedSharedMemory::Open(Name("pw_shm_write"), 8);
  ASSERT_TRUE(other);
  EXPECT_EQ(static_cast<std::uint8_t*>(other->Data())[7], 4);
  EXPECT_FALSE(memory->Write(5, bytes));  // one byte past the end
  EXPECT_FALSE(memory->Write(9, {}));
  EXPECT_TRUE(memory->Write(8, {}));
  EXPECT_EQ(static_cast<std::uint8_t*>(memory->Data())[0], 0);
}

// A watch made before another thread makes and writes an object wakes up for it (the thread is
// started only once the watch exists, so nothing is missed); the wait is an event wait, its
// ceiling never reached.
TEST(SharedMemory, AWatchWakesWhenAnObjectIsMadeAndWritten) {
  pw::TSharedMemoryWatch watch;
  ASSERT_TRUE(watch.Watching());
  std::unique_ptr<TNamedSharedMemory> made;
  std::thread writer([&] {
    made = TNamedSharedMemory::Create(Name("pw_shm_watch"), 4, nullptr);
    const std::uint8_t one[] = {1};
    if (made) made->Write(0, one);
  });
  EXPECT_TRUE(watch.Wait(std::chrono::seconds(30)));
  writer.join();
  ASSERT_TRUE(made);
}
