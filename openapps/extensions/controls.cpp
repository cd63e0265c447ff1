#include "openapps/extensions/controls.h"

#include <algorithm>
#include <exception>

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"

namespace pw {

namespace {

OleVariant ReadMember(IDispatch* object, DISPID id) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  OleVariant result;
  OleCheck(object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr));
  return result;
}

OleVariant As(const OleVariant& v, VARTYPE vt) {
  OleVariant r;
  OleCheck(VariantChangeType(r.Put(), v.Ptr(), 0, vt));
  return r;
}

}  // namespace

TpwCustomControl::TpwCustomControl(IcvBaseManager* host, IpwObjectContext2* context, std::vector<IID> iids)
    : TpwNodeSlice(std::move(iids)), host_(host), context_(context) {}

void TpwCustomControl::DoAttachNode(IUnknown*) {
  if (controlWindow_ || !Attached()) return;
  controlWindow_ = MakeObject<TpwOpenControlWindow>(host_.Get(), NodeReference().Get(), context_.Get());
}

ComPtr<IDispatch> TpwCustomControl::GetControlObject() {
  ComPtr<IDispatch> object;
  if (context_) SafeCallCheck(context_->GetObject(object.Put()));
  if (!object) object = ComPtr<IDispatch>(static_cast<IDispatch*>(MakeObject<TpwObjectDisconnected>().Get()));
  return object;
}

bool TpwCustomControl::CheckUsable(IDispatch* object) {
  if (!As(ReadMember(object, control_members::kEnabled), VT_BOOL).Get().boolVal) {
    PrepareEntry(kEntryError, kControlDisabledText);
    return false;
  }
  if (!As(ReadMember(object, control_members::kVisible), VT_BOOL).Get().boolVal)
    PrepareEntry(kEntryWarning, kControlInvisibleText);
  return true;
}

void TpwCustomControl::PrepareEntry(EntryKind kind, WideStringView message, WideStringView details) {
  auto node = GetSliceNode();
  if (!Attached()) return;
  WideString full;
  GetSysNodeFullName(host_.Get(), node.Get(), full);
  WideString text(details);
  if (!text.empty()) text += u"\r\n\r\n";
  text += u"Tested object:\r\n" + full;
  prepared_.push_back({kind, WideString(message), text});
}

void TpwCustomControl::WriteEntries() {
  std::vector<Entry> entries = std::exchange(prepared_, {});
  auto log = GetLogObject(host_.Get());
  if (!log) return;
  for (const auto& e : entries) {
    BString details(e.details);
    if (e.kind == kEntryError) {
      BString text(e.message);
      SafeCallCheck(log->Error(text.Get(), details.Get(), 300));
    } else if (e.kind == kEntryWarning) {
      BString text(e.message);
      SafeCallCheck(log->Warning(text.Get(), details.Get(), 300));
    } else {
      BString text(u"[Event] " + e.message);
      SafeCallCheck(log->Message(text.Get(), details.Get(), 300));
    }
  }
}

HRESULT TpwGenericButton::Click() {
  return SafeCall([&] {
    auto object = GetControlObject();
    if (!CheckUsable(object.Get())) return WriteEntries();
    std::int32_t x = -1, y = -1;  // the centre
    if (isRadio_) {
      std::int32_t w = As(ReadMember(object.Get(), control_members::kWidth), VT_I4).Get().lVal;
      std::int32_t h = As(ReadMember(object.Get(), control_members::kHeight), VT_I4).Get().lVal;
      x = y = std::min(w / 2, h / 2);
    }
    auto waitValue = QueryAs<IpwWaitTimeoutValue>(object.Get());
    std::int32_t saved = 0;
    if (waitValue) {
      SafeCallCheck(waitValue->GetValue(&saved));
      SafeCallCheck(waitValue->SetValue(0));
    }
    std::exception_ptr failure;
    try {
      std::int32_t z = 0;
      VARIANT args[3];  // in reverse order: 0, Y, X; Integers by reference
      std::int32_t* values[3] = {&z, &y, &x};
      for (int i = 0; i < 3; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_BYREF | VT_I4;
        args[i].byref = values[i];
      }
      DISPID id = 0;
      const char16_t* names[] = {u"Click"};
      OleCheck(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id));
      DISPPARAMS three{args, nullptr, 3, 0};
      OleVariant result;
      OleCheck(object->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &three, result.Put(), nullptr, nullptr));
    } catch (...) {
      failure = std::current_exception();
    }
    if (waitValue) SafeCallCheck(waitValue->SetValue(saved));
    if (failure) {
      WriteEntries();  // what the checks prepared
      std::rethrow_exception(failure);
    }
    PrepareEntry(kEntryAction, isRadio_ ? u"The radio button was clicked with the left mouse button."
                                        : u"The button was clicked with the left mouse button.");
    WriteEntries();
  });
}

}  // namespace pw
