#include "openapps/namemapping/type_walker.h"

#include "core/host/host_services.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"

namespace pw {

namespace {

ComPtr<IpwTypeInfoSink> SinkOf(IpwTypeInfoRecorder* recorder) {
  ComPtr<IpwTypeInfoSink> sink;
  SafeCallCheck(recorder->GetTypeSink(sink.Put()));
  return sink;
}

}  // namespace

void WalkTypeInfo(ITypeInfo* info, IpwTypeInfoRecorder* recorder) {
  if (!info || !recorder) return;
  if (auto sink = SinkOf(recorder)) {
    OleVariant description;
    SafeCallCheck(sink->DescribeTypeInfo(info, description.Put()));
    SafeCallCheck(recorder->AddTypeInfo(description.Get()));
  }
  TYPEATTR* attr = nullptr;
  if (Failed(info->GetTypeAttr(&attr)) || !attr) return;
  const WORD count = attr->cImplTypes;
  for (WORD j = 0; j < count; ++j) {
    HREFTYPE ref = 0;
    if (Failed(info->GetRefTypeOfImplType(j, &ref))) continue;
    ComPtr<ITypeInfo> base;
    if (Failed(info->GetRefTypeInfo(ref, base.Put())) || !base) continue;
    WalkTypeInfo(base.Get(), recorder);
  }
  info->ReleaseTypeAttr(attr);
}

void WalkDispatchTypeInfos(IpwTypeInfoRecorder* recorder, IUnknown* object) {
  if (!recorder) return;
  auto sink = SinkOf(recorder);
  if (!sink) return;
  VARIANT_BOOL recording = VARIANT_FALSE;
  SafeCallCheck(sink->IsRecording(&recording));
  if (!recording) return;
  auto dispatch = CastHostObject<IDispatch>(object);
  if (!dispatch) RaiseInterfaceCastError();
  std::uint32_t count = 0;
  if (Failed(dispatch->GetTypeInfoCount(&count))) return;
  for (std::uint32_t i = 0; i < count; ++i) {
    ComPtr<ITypeInfo> info;
    if (Failed(dispatch->GetTypeInfo(i, 0, info.Put())) || !info) continue;
    WalkTypeInfo(info.Get(), recorder);
  }
}

}  // namespace pw
