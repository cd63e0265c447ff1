// Packed Binary values ("cvbin" header, zlib stream): the bytes are a stored Binary value that
// the options tree reads (and unpacks when it has the header). No read beyond the data, no
// allocation beyond what the header's checked length allows; a value that unpacks reads back
// whole, and storing it again and reading that gives the same bytes.
#include <cstring>
#include <optional>

#include "core/options/options_binary.h"
#include "core/options/options_name_pool.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "fuzz/fuzz_support.h"

using namespace pw;

namespace {

// A storage in memory with one Binary property "v" on the root holding `bytes`; answers its
// value as the tree reads it, or nothing when the tree refuses it.
std::optional<std::vector<std::uint8_t>> ReadThroughTree(const std::uint8_t* bytes, std::size_t size,
                                                         std::vector<std::uint8_t>* stored = nullptr) {
  auto storage = MakeObject<TcvSAX2OptionsReader>(u"packed.xml", false);
  storage->LoadFromMemory({});
  const TcvCookie p = storage->AddProperty(storage->GetRoot(), u"v", ptBinary);
  storage->SetBinary(p, bytes, static_cast<std::int32_t>(size));
  ComPtr<IcvOptionsBuilder> builder = CreateOptionsBuilder();
  builder->SetReader(storage.Get());
  ComPtr<IcvOptionsProperties> props;
  if (Failed(builder->GetRoot()->GetProperties(props.Put()))) return std::nullopt;
  std::int32_t length = 0;
  if (Failed(props->GetBinarySize(u"v", &length))) return std::nullopt;
  fuzz::Check(length >= 0 && static_cast<std::uint64_t>(length) <= kMaxUnpackedBinarySize,
              "an unpacked value is longer than the cap");
  std::vector<std::uint8_t> value(static_cast<std::size_t>(length));
  std::int32_t copied = 0;
  if (Failed(props->GetBinary(u"v", value.data(), length, &copied))) return std::nullopt;
  fuzz::Check(copied == length, "a value does not read back whole");
  if (stored) {
    // Stored again (packed when it was packed) and read back as the storage holds it.
    auto* node = TcvOptionsNode::FromInterface(builder->GetRoot().Get());
    auto* stub = static_cast<TcvBinaryPropertyStub*>(node->Properties()->FindPresent(u"v"));
    stub->SaveTo(storage.Get());
    TPropertyDescription d;
    storage->GetPropertyDescription(p, d);
    stored->resize(static_cast<std::size_t>(d.BinarySize));
    std::int32_t n = d.BinarySize;
    storage->ReadBinary(p, stored->data(), n);
  }
  builder->ReleaseReader();
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartOptionsNamePool();
  fuzz::ScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> input(data, data + size);  // exactly the data: ASan sees a read past it
  std::vector<std::uint8_t> stored;
  auto value = ReadThroughTree(input.data(), input.size(), &stored);
  if (!value) return 0;
  if (!LooksPacked(input.data(), input.size())) fuzz::Check(*value == input, "a plain value changed");
  auto again = ReadThroughTree(stored.data(), stored.size());
  fuzz::Check(again && *again == *value, "a value stored again reads back as other bytes");
  return 0;
}
