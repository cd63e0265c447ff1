// The binary form of light XML elements: load an element from the bytes. No read beyond the
// data and no allocation beyond what the data holds; when it loads, saving it gives back
// exactly the bytes it consumed.
#include "core/options/light_xml_files.h"
#include "fuzz/fuzz_support.h"
#include "platform/com/safecall.h"
#include "platform/rtl/rtl_stream.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto* in = new TMemoryStream();
  in->WriteBuffer(data, static_cast<std::int32_t>(size));
  in->SetPosition(0);
  ComPtr<IStream> input = MakeObject<TStreamAdapter>(in, TStreamOwnership::soOwned);
  auto element = MakeObject<TcvXMLDataReader>(u"");
  if (Failed(element->LoadFromStream(input.Get()))) return 0;
  const auto consumed = static_cast<std::size_t>(in->Position());
  fuzz::Check(consumed <= size, "the load read beyond the data");

  auto* out = new TMemoryStream();
  ComPtr<IStream> output = MakeObject<TStreamAdapter>(out, TStreamOwnership::soOwned);
  SafeCallCheck(element->SaveToStream(output.Get()));
  fuzz::Check(static_cast<std::size_t>(out->GetSize()) == consumed && std::equal(data, data + consumed, out->Memory()),
              "saving a loaded element gives other bytes");
  return 0;
}
