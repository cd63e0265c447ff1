#include "core/files/buffered_streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

// A memory stream that records the transfers made on it.
class SpyStream : public TMemoryStream {
 public:
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    writes.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    ++reads;
    return TMemoryStream::Read(buffer, count);
  }
  std::string Bytes() { return std::string(reinterpret_cast<const char*>(Memory()), static_cast<std::size_t>(Size())); }

  std::vector<std::int32_t> writes;
  int reads = 0;
};

// Bytes that differ from their neighbours, so a repeated or skipped piece shows.
std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return s;
}

// Puts `bytes` into the spy and forgets that transfer.
void Fill(SpyStream& s, const std::string& bytes) {
  s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  s.SetPosition(0);
  s.writes.clear();
  s.reads = 0;
}

TEST(BufferedStream, RejectsABufferSizeOfZeroOrLess) {
  TMemoryStream wrapped;
  for (std::int32_t size : {0, -1}) {
    try {
      TBufferedOutputStream s(wrapped, size);
      ADD_FAILURE() << "created with " << size;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), u"BufSize <= 0");
    }
  }
  EXPECT_THROW(TBufferedInputStream(wrapped, 0), Exception);
}

TEST(BufferedStream, AWrappedStreamBeyond2GiBRaisesInsteadOfWrapping) {
  struct Huge : TMemoryStream {
    std::int64_t GetSize() override { return 3LL << 30; }
  } huge;
  EXPECT_THROW(TBufferedOutputStream{huge}, EStreamError);
  EXPECT_THROW(TBufferedInputStream{huge}, EStreamError);

  // A position that would pass 2 GiB raises too.
  TMemoryStream wrapped;
  TBufferedOutputStream out(wrapped, 16);
  out.Seek(0x7FFFFFFF, soBeginning);
  EXPECT_THROW(out.Write("ab", 2), EStreamError);
  EXPECT_THROW(out.Seek(1, soCurrent), EStreamError);
  EXPECT_THROW(out.Seek(-1, soBeginning), EStreamError);
  EXPECT_EQ(wrapped.Size(), 0);
}

TEST(BufferedOutputStream, SmallWritesReachTheWrappedStreamOnlyAtDestruction) {
  SpyStream wrapped;
  const std::string data = Pattern(20480);
  {
    TBufferedOutputStream out(wrapped);
    for (std::size_t i = 0; i < data.size(); i += 10) ASSERT_EQ(out.Write(data.data() + i, 10), 10);
    EXPECT_TRUE(wrapped.writes.empty());
    EXPECT_EQ(out.Size(), 20480);
    EXPECT_EQ(out.Position(), 20480);
  }
  EXPECT_EQ(wrapped.writes, std::vector<std::int32_t>{20480});
  EXPECT_EQ(wrapped.Bytes(), data);
}

TEST(BufferedOutputStream, AWriteLargerThanTheBufferGoesStraightThroughAfterAFlush) {
  SpyStream wrapped;
  const std::string big = Pattern(20481);
  {
    TBufferedOutputStream out(wrapped);
    out.WriteBuffer("head", 4);
    EXPECT_EQ(out.Write(big.data(), 20481), 20481);
    EXPECT_EQ(wrapped.writes, (std::vector<std::int32_t>{4, 20481}));
    out.WriteBuffer("tail", 4);
    EXPECT_EQ(out.Size(), 4 + 20481 + 4);
  }
  EXPECT_EQ(wrapped.writes, (std::vector<std::int32_t>{4, 20481, 4}));
  EXPECT_EQ(wrapped.Bytes(), "head" + big + "tail");
}

TEST(BufferedOutputStream, PatchingALengthInsideTheBufferKeepsEveryByte) {
  TMemoryStream wrapped;
  {
    TBufferedOutputStream out(wrapped);
    const std::int32_t zero = 0;
    out.WriteBuffer("rec", 3);
    const std::int64_t lengthAt = out.Position();
    out.WriteBuffer(&zero, 4);
    out.WriteBuffer("payload", 7);
    // Patch the length, as writers of length-prefixed records do, and leave the position there.
    const std::int32_t length = 7;
    out.Seek(lengthAt, soBeginning);
    out.WriteBuffer(&length, 4);
    EXPECT_EQ(out.Position(), 7);
    EXPECT_EQ(out.Size(), 14);
  }
  const std::string expected = std::string("rec") + std::string("\x07\0\0\0", 4) + "payload";
  ASSERT_EQ(wrapped.Size(), 14);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(wrapped.Memory()), 14), expected);
}

TEST(BufferedOutputStream, SeekingToTheEndAfterAPatchContinuesAppending) {
  TMemoryStream wrapped;
  {
    TBufferedOutputStream out(wrapped, 64);
    out.WriteBuffer("aaaa", 4);
    out.WriteBuffer("bbbb", 4);
    out.Seek(0, soBeginning);
    out.WriteBuffer("A", 1);
    EXPECT_EQ(out.Seek(0, soEnd), 8);
    out.WriteBuffer("cc", 2);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(wrapped.Memory()), 10), "Aaaabbbbcc");
}

TEST(BufferedOutputStream, AppendsToANonEmptyStream) {
  SpyStream wrapped;
  Fill(wrapped, "existing|");
  {
    TBufferedOutputStream out(wrapped);
    EXPECT_EQ(out.Position(), 9);
    EXPECT_EQ(out.Size(), 9);
    out.WriteBuffer("new", 3);
    EXPECT_EQ(out.Size(), 12);
  }
  EXPECT_EQ(wrapped.Bytes(), "existing|new");
}

TEST(BufferedOutputStream, WritesBeforeTheBufferLandAtTheirPosition) {
  TMemoryStream wrapped;
  {
    TBufferedOutputStream out(wrapped, 8);
    out.WriteBuffer("0123456789", 10);  // larger than the buffer: already in the wrapped stream
    out.WriteBuffer("ab", 2);           // buffered
    out.Seek(2, soBeginning);
    out.WriteBuffer("XY", 2);  // before the buffer: flushed bytes are patched in place
    EXPECT_EQ(out.Position(), 4);
    out.Seek(0, soEnd);
    out.WriteBuffer("c", 1);
    EXPECT_EQ(out.Size(), 13);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(wrapped.Memory()), static_cast<std::size_t>(wrapped.Size())),
            "01XY456789abc");
}

TEST(BufferedOutputStream, GapsAndGrowthAreZeroEvenAfterTheBufferWasUsed) {
  TMemoryStream wrapped;
  {
    TBufferedOutputStream out(wrapped, 8);
    out.WriteBuffer("xxxxxxx", 7);
    out.Flush();  // the buffer still holds the old bytes
    out.Seek(2, soEnd);
    out.WriteBuffer("y", 1);   // a gap of two
    out.SetSize(out.Size() + 3);  // grown inside the buffer
    EXPECT_EQ(out.Size(), 13);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(wrapped.Memory()), static_cast<std::size_t>(wrapped.Size())),
            std::string("xxxxxxx\0\0y\0\0\0", 13));
}

TEST(BufferedOutputStream, SetSizeShrinksGrowsAndKeepsThePositionInside) {
  TMemoryStream wrapped;
  TBufferedOutputStream out(wrapped, 8);
  out.WriteBuffer("0123456789", 10);
  out.WriteBuffer("ab", 2);
  out.SetSize(11);  // inside the buffer
  EXPECT_EQ(out.Size(), 11);
  EXPECT_EQ(out.Position(), 11);
  out.SetSize(4);  // below the wrapped size: buffer dropped, wrapped truncated
  EXPECT_EQ(out.Size(), 4);
  EXPECT_EQ(out.Position(), 4);
  EXPECT_EQ(wrapped.Size(), 4);
  out.SetSize(30);  // beyond the buffer: the wrapped stream grows
  EXPECT_EQ(wrapped.Size(), 30);
  EXPECT_EQ(out.Size(), 30);
  EXPECT_EQ(out.Position(), 4);
  out.Flush();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(wrapped.Memory()), 5), std::string("0123\0", 5));
}

TEST(BufferedOutputStream, ReadsSeeWrappedAndBufferedBytesButNothingBeyond) {
  SpyStream wrapped;
  Fill(wrapped, "abcdef");
  TBufferedOutputStream out(wrapped, 16);
  out.WriteBuffer("GHI", 3);
  out.Seek(4, soBeginning);
  char buf[16] = {};
  EXPECT_EQ(out.Read(buf, 16), 5);  // from the wrapped stream into the buffer, up to the end
  EXPECT_EQ(std::string(buf, 5), "efGHI");
  EXPECT_EQ(out.Position(), 9);
  EXPECT_EQ(out.Read(buf, 4), 0);
  EXPECT_TRUE(wrapped.writes.empty());  // reading wrote nothing
  out.Flush();
  EXPECT_EQ(wrapped.Bytes(), "abcdefGHI");
  out.Flush();  // a second flush writes nothing again
  EXPECT_EQ(wrapped.writes, std::vector<std::int32_t>{3});
}

TEST(BufferedOutputStream, FlushLeavesTheWrappedStreamReadyForOthers) {
  TMemoryStream wrapped;
  TBufferedOutputStream out(wrapped, 64);
  out.WriteBuffer("abc", 3);
  out.Flush();
  EXPECT_EQ(wrapped.Position(), 3);
  wrapped.WriteBuffer("d", 1);  // someone else appends after the flush
  EXPECT_EQ(wrapped.Size(), 4);
}

TEST(BufferedOutputStream, WorksOverAFileStream) {
  test::ScratchDir dir;
  const WideString name = dir.File("out.bin");
  const std::string data = Pattern(50000);
  {
    TFileStream file(name, fmCreate);
    TBufferedOutputStream out(file);
    for (std::size_t i = 0; i < data.size(); i += 1000) out.WriteBuffer(data.data() + i, 1000);
    out.Seek(0, soBeginning);
    out.WriteBuffer("PATCH", 5);  // before the buffer: lands at the start of the file
  }
  EXPECT_EQ(test::ReadFileBytes(name), "PATCH" + data.substr(5));
}

TEST(BufferedInputStream, ReadsOfEverySizeReturnEachByteOnceAndInOrder) {
  const std::string data = Pattern(100000);
  SpyStream wrapped;
  Fill(wrapped, data);
  TBufferedInputStream in(wrapped);
  const std::int32_t sizes[] = {1, 100, 20480, 20479, 20481, 30000, 7, 40960, 3};
  std::string got;
  std::vector<char> buf(50000);
  for (int round = 0; got.size() < data.size(); ++round) {
    const std::int32_t size = sizes[round % std::size(sizes)];
    const std::int32_t n = in.Read(buf.data(), size);
    const auto expected = static_cast<std::int32_t>(std::min<std::size_t>(size, data.size() - got.size()));
    ASSERT_EQ(n, expected) << "read " << round;
    got.append(buf.data(), static_cast<std::size_t>(n));
    ASSERT_EQ(in.Position(), static_cast<std::int64_t>(got.size()));
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(in.Read(buf.data(), 10), 0);
}

TEST(BufferedInputStream, ShortReadsAtTheEndReturnRealCounts) {
  const std::string data = Pattern(50);
  SpyStream wrapped;
  Fill(wrapped, data);
  TBufferedInputStream in(wrapped);
  char buf[100];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(in.Read(buf, 40), 40);
  EXPECT_EQ(in.Read(buf, 40), 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(40));
  EXPECT_EQ(std::string(buf + 10, 30), data.substr(10, 30));  // the rest of buf is untouched
  EXPECT_EQ(in.Read(buf, 40), 0);
  EXPECT_EQ(in.Position(), 50);
  EXPECT_THROW(in.ReadBuffer(buf, 1), EReadError);

  // The same through a read larger than the buffer.
  wrapped.SetPosition(0);
  TBufferedInputStream fresh(wrapped, 16);
  std::vector<char> big(100);
  EXPECT_EQ(fresh.Read(big.data(), 100), 50);
  EXPECT_EQ(std::string(big.data(), 50), data);
}

TEST(BufferedInputStream, SizeAndSeekFromTheEndAskTheWrappedStream) {
  const std::string data = Pattern(30000);
  SpyStream wrapped;
  Fill(wrapped, data);
  TBufferedInputStream in(wrapped);
  EXPECT_EQ(in.Size(), 30000);
  EXPECT_EQ(in.Seek(-10, soEnd), 29990);
  char buf[20];
  EXPECT_EQ(in.Read(buf, 20), 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(29990));
  EXPECT_EQ(in.Seek(5, soEnd), 30005);  // past the end reads nothing
  EXPECT_EQ(in.Read(buf, 20), 0);
}

TEST(BufferedInputStream, SeeksInsideTheBufferReadNothingAgain) {
  const std::string data = Pattern(50000);
  SpyStream wrapped;
  Fill(wrapped, data);
  TBufferedInputStream in(wrapped);
  char buf[100];
  in.ReadBuffer(buf, 100);
  const int readsAfterFill = wrapped.reads;
  EXPECT_EQ(in.Position(), 100);  // a position query
  in.Seek(10, soBeginning);
  in.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(10, 10));
  in.Seek(20000, soBeginning);
  in.ReadBuffer(buf, 50);
  EXPECT_EQ(std::string(buf, 50), data.substr(20000, 50));
  EXPECT_EQ(wrapped.reads, readsAfterFill);

  in.Seek(40000, soBeginning);  // outside: read from the wrapped stream there
  in.ReadBuffer(buf, 100);
  EXPECT_EQ(std::string(buf, 100), data.substr(40000, 100));
  in.Seek(5, soBeginning);
  in.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), data.substr(5, 5));
}

TEST(BufferedInputStream, StartsAtTheWrappedStreamsPositionAndCannotWrite) {
  SpyStream wrapped;
  Fill(wrapped, "0123456789");
  wrapped.SetPosition(4);
  TBufferedInputStream in(wrapped, 4);
  EXPECT_EQ(in.Position(), 4);
  char buf[3];
  in.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "456");
  EXPECT_EQ(in.Write("x", 1), -1);
  EXPECT_THROW(in.WriteBuffer("x", 1), EWriteError);
  EXPECT_TRUE(wrapped.writes.empty());
}

}  // namespace
}  // namespace pw
