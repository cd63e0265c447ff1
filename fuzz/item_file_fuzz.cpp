// Item files from outside: the recognition by the file's tail, the CRC of the change snapshot
// and the data-version rule. The file read answers what the same check answers over the last
// 180 bytes in memory; its CRC is the CRC of the bytes; a version compared with itself passes,
// and two versions never both count as newer than each other.
#include "core/files/crc32.h"
#include "fuzz/fuzz_support.h"
#include "platform/rtl/strings.h"
#include "project/storage/item_files.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes = fuzz::AsText(data, size);
  fuzz::MemoryFile file(bytes);
  const WideString name = Utf8ToWide(file.Path());
  constexpr std::size_t kTail = project::kItemFileTailSize;
  std::string_view tail = bytes.size() > kTail ? bytes.substr(bytes.size() - kTail) : bytes;
  fuzz::Check(project::IsProjectItemFileFormat(name) == project::IsProjectItemFileText(tail),
              "the file's recognition differs from its tail's");
  std::uint32_t crc = 0;
  Crc32Init(crc);
  crc = ~Crc32Update(crc, data, static_cast<std::int32_t>(size));
  fuzz::Check(project::FileCRC32(name) == crc, "the file's CRC differs from its bytes'");

  // The first line and the second as two version texts.
  std::size_t cut = bytes.find('\n');
  WideString a = Utf8ToWide(bytes.substr(0, cut == std::string_view::npos ? bytes.size() : cut));
  WideString b = cut == std::string_view::npos ? WideString(u"9.0") : Utf8ToWide(bytes.substr(cut + 1));
  std::int32_t ab = project::CheckVersionText(a, b), ba = project::CheckVersionText(b, a);
  using project::kVersionNewer, project::kVersionOk, project::kVersionUnknown;
  fuzz::Check(ab == kVersionOk || ab == kVersionUnknown || ab == kVersionNewer, "a version verdict out of its set");
  fuzz::Check(!(ab == kVersionNewer && ba == kVersionNewer), "two versions newer than each other");
  if (!a.empty()) fuzz::Check(project::CheckVersionText(a, a) == kVersionOk, "a version differs from itself");
  return 0;
}
