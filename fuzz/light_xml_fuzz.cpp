// Light XML data files: read the bytes with the element reader; when they read, write the tree
// back with the writer and read that again: the same elements and attributes (the writer
// names every root "Root", so the root's name is not compared). The binary form of what was
// read must load back to the same tree too.
#include "core/options/light_xml_files.h"
#include "fuzz/fuzz_support.h"
#include "platform/com/safecall.h"
#include "platform/rtl/rtl_stream.h"
#include "platform/rtl/strings.h"

using namespace pw;

namespace {

ComPtr<IStream> MemoryStream() { return MakeObject<TStreamAdapter>(new TMemoryStream(), TStreamOwnership::soOwned); }

std::string StreamBytes(IStream* stream) {
  auto* memory = static_cast<TMemoryStream*>(static_cast<TStreamAdapter*>(stream)->Stream());
  return std::string(reinterpret_cast<const char*>(memory->Memory()), static_cast<std::size_t>(memory->GetSize()));
}

WideString Name(IcvXMLDataReader* e) {
  WideString name;
  SafeCallCheck(e->GetName(&name));
  return name;
}

// The element's attributes and children, depth first; with `withName` its own name first.
void Describe(IcvXMLDataReader* e, bool withName, WideString& out) {
  if (withName) out += Name(e);
  out += u'\x01';
  std::int32_t properties = 0, children = 0;
  SafeCallCheck(e->GetPropertyCount(&properties));
  for (std::int32_t i = 0; i < properties; ++i) {
    ComPtr<IcvXMLDataReaderProperty> p;
    SafeCallCheck(e->GetProperty(i, p.Put()));
    WideString name;
    OleVariant value;
    SafeCallCheck(p->GetName(&name));
    SafeCallCheck(p->GetValue(&value));
    out += name + u'\x02' + value.AsString() + u'\x03';
  }
  SafeCallCheck(e->GetChildCount(&children));
  for (std::int32_t i = 0; i < children; ++i) {
    ComPtr<IcvXMLDataReader> child;
    SafeCallCheck(e->GetChild(i, child.Put()));
    Describe(child.Get(), true, out);
  }
  out += u'\x04';
}

void Write(IcvXMLDataReader* e, IcvDataWriter* w) {
  SafeCallCheck(w->BeginWrite());
  std::int32_t properties = 0, children = 0;
  SafeCallCheck(e->GetPropertyCount(&properties));
  for (std::int32_t i = 0; i < properties; ++i) {
    ComPtr<IcvXMLDataReaderProperty> p;
    SafeCallCheck(e->GetProperty(i, p.Put()));
    WideString name;
    OleVariant value;
    SafeCallCheck(p->GetName(&name));
    SafeCallCheck(p->GetValue(&value));
    SafeCallCheck(w->WriteString(name, value.AsString()));
  }
  SafeCallCheck(w->FlushProp());
  SafeCallCheck(e->GetChildCount(&children));
  for (std::int32_t i = 0; i < children; ++i) {
    ComPtr<IcvXMLDataReader> child;
    SafeCallCheck(e->GetChild(i, child.Put()));
    ComPtr<IcvDataWriter> cw;
    SafeCallCheck(w->CreateChild(Name(child.Get()), cw.Put()));
    Write(child.Get(), cw.Get());
  }
  SafeCallCheck(w->EndWrite());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::MemoryFile file(fuzz::AsText(data, size));
  auto root = TcvXMLDataReaderController(Utf8ToWide(file.Path())).GetReader();
  WideString tree;
  Describe(root.Get(), false, tree);
  if (Name(root.Get()) == kEmptyReaderName) return 0;

  // The binary form loads back to the same element.
  auto binary = MemoryStream();
  SafeCallCheck(root->SaveToStream(binary.Get()));
  SafeCallCheck(binary->Seek(0, STREAM_SEEK_SET, nullptr));
  auto copy = MakeObject<TcvXMLDataReader>(u"");
  SafeCallCheck(copy->LoadFromStream(binary.Get()));
  WideString fromBinary;
  Describe(copy.Get(), true, fromBinary);
  WideString withName;
  Describe(root.Get(), true, withName);
  fuzz::Check(fromBinary == withName, "the binary form reads back as a different tree");

  // Written as text and read again.
  auto text = MemoryStream();
  try {
    TcvXMLDataWriterController controller(text.Get());
    Write(root.Get(), controller.GetWriter().Get());
  } catch (const EcvXMLExceptions&) {
    return 0;  // a text that the writer refuses (a character XML cannot hold) is an answer
  }
  fuzz::MemoryFile written(StreamBytes(text.Get()));
  auto again = TcvXMLDataReaderController(Utf8ToWide(written.Path())).GetReader();
  WideString back;
  Describe(again.Get(), false, back);
  fuzz::Check(back == tree, "a written file reads back as a different tree");
  return 0;
}
