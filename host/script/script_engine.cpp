#include "host/script/script_engine.h"

#include <duktape.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "host/script/script_source.h"
#include "host/test_log.h"
#include "platform/automation/safearray.h"
#include "platform/automation/dispatch.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::host {

std::string ScriptError::Text() const {
  std::string r = fileName;
  if (line > 0) r += ":" + std::to_string(line);
  return r + ": " + WideToUtf8(message);
}

namespace {

// Hidden properties of the bridge's objects.
constexpr const char* kDispatchKey = DUK_HIDDEN_SYMBOL("pwDispatch");
constexpr const char* kTargetKey = DUK_HIDDEN_SYMBOL("pwTarget");
constexpr const char* kDispIdKey = DUK_HIDDEN_SYMBOL("pwDispId");
constexpr const char* kNameKey = DUK_HIDDEN_SYMBOL("pwName");

// Duktape reports failures by a long jump, so no C++ object may be alive in a frame that
// raises a script error: the bridge's functions compute into a Failure first, leave the scope
// of every C++ object, and raise afterwards.
struct Failure {
  bool failed = false;
  char message[2048] = {};
  std::int32_t number = 0;

  void Set(const WideString& text, HRESULT hr) {
    failed = true;
    number = hr;
    std::snprintf(message, sizeof message, "%s", WideToUtf8(text).c_str());
  }
};

// Raises a script error blamed on the script line that called into the bridge.
duk_ret_t Raise(duk_context* ctx, const Failure& f) {
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", f.message);
  duk_push_int(ctx, f.number);
  duk_put_prop_string(ctx, -2, "number");
  // The calling script function's file and line (entry -1 is this native function).
  duk_inspect_callstack_entry(ctx, -2);
  if (duk_is_object(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    duk_put_prop_string(ctx, -3, "pwLine");
    duk_get_prop_string(ctx, -1, "function");
    duk_get_prop_string(ctx, -1, "fileName");
    duk_put_prop_string(ctx, -4, "pwFile");
    duk_pop(ctx);
  }
  duk_pop(ctx);
  return duk_throw(ctx);
}

WideString CallFailureText(HRESULT hr, EXCEPINFO& info) {
  if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
  WideString text;
  if (hr == DISP_E_EXCEPTION) {
    text = WideString(BstrView(info.bstrDescription));
    if (text.empty() && info.scode) text = HResultMessage(info.scode);
  }
  if (text.empty()) text = HResultMessage(hr);
  return text;
}

HRESULT CallResultCode(HRESULT hr, const EXCEPINFO& info) {
  return hr == DISP_E_EXCEPTION && info.scode ? info.scode : hr;
}

void PushDispatch(duk_context* ctx, IDispatch* dispatch);

// The JS value at idx as a VARIANT; false when it has no VARIANT form.
bool ToVariant(duk_context* ctx, duk_idx_t idx, OleVariant& out) {
  switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NONE: out = OleVariant(); return true;
    case DUK_TYPE_NULL: out = OleVariant::Null(); return true;
    case DUK_TYPE_BOOLEAN: out = OleVariant(duk_get_boolean(ctx, idx) != 0); return true;
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, idx);
      if (std::trunc(d) == d && d >= -2147483648.0 && d <= 2147483647.0 && !(d == 0 && std::signbit(d)))
        out = OleVariant(static_cast<std::int32_t>(d));
      else
        out = OleVariant(d);
      return true;
    }
    case DUK_TYPE_STRING: {
      duk_size_t len = 0;
      const char* s = duk_get_lstring(ctx, idx, &len);
      out = OleVariant(Utf8ToWide(std::string_view(s, len)));
      return true;
    }
    case DUK_TYPE_OBJECT: {
      // A wrapped object: its target carries the IDispatch. Proxies answer hidden keys from
      // their target.
      duk_get_prop_string(ctx, idx, kDispatchKey);
      void* p = duk_get_pointer(ctx, -1);
      duk_pop(ctx);
      if (!p) return false;
      out = OleVariant(static_cast<IDispatch*>(p));
      return true;
    }
    default: return false;
  }
}

// Pushes a VARIANT as a JS value; false when it has no JS form.
bool PushVariant(duk_context* ctx, const VARIANT& value) {
  const VARIANT& v = VariantDeref(value);
  switch (v.vt) {
    case VT_EMPTY:
    case VT_ERROR: duk_push_undefined(ctx); return true;
    case VT_NULL: duk_push_null(ctx); return true;
    case VT_BOOL: duk_push_boolean(ctx, v.boolVal != 0); return true;
    case VT_BSTR: {
      std::string s = WideToUtf8(BstrView(v.bstrVal));
      duk_push_lstring(ctx, s.data(), s.size());
      return true;
    }
    case VT_DISPATCH: PushDispatch(ctx, v.pdispVal); return true;
    case VT_UNKNOWN: {
      ComPtr<IDispatch> d = QueryAs<IDispatch>(v.punkVal);
      PushDispatch(ctx, d.Get());
      return true;
    }
    default: break;
  }
  if (v.vt & VT_ARRAY) {
    // A one-dimensional array of variants becomes a JS array of their values (from its lower
    // bound on); any other array has no script form.
    if (v.vt != (VT_ARRAY | VT_VARIANT) || !v.parray || SafeArrayGetDim(v.parray) != 1) return false;
    std::int32_t lower = 0, upper = -1;
    if (Failed(SafeArrayGetLBound(v.parray, 1, &lower)) || Failed(SafeArrayGetUBound(v.parray, 1, &upper)))
      return false;
    const duk_idx_t array = duk_push_array(ctx);
    for (std::int32_t i = lower; i <= upper; ++i) {
      OleVariant item;
      if (Failed(SafeArrayGetElement(v.parray, &i, item.Ptr())) || !PushVariant(ctx, item.Get())) {
        duk_pop(ctx);
        return false;
      }
      duk_put_prop_index(ctx, array, static_cast<duk_uarridx_t>(i - lower));
    }
    return true;
  }
  VARIANT number;
  VariantInit(&number);
  if (Failed(VariantChangeType(&number, &v, 0, VT_R8))) return false;
  duk_push_number(ctx, number.dblVal);
  return true;
}

IDispatch* TargetDispatch(duk_context* ctx, duk_idx_t target) {
  duk_get_prop_string(ctx, target, kDispatchKey);
  void* p = duk_get_pointer(ctx, -1);
  duk_pop(ctx);
  return static_cast<IDispatch*>(p);
}

// A member function of a wrapped object: calls the member with the arguments.
duk_ret_t CallMember(duk_context* ctx) {
  Failure f;
  duk_idx_t argc = duk_get_top(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kTargetKey);
  IDispatch* dispatch = TargetDispatch(ctx, -1);
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, kDispIdKey);
  DISPID id = duk_get_int(ctx, -1);
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, kNameKey);
  // The name stays referenced by the function, which is being called.
  const char* memberName = duk_get_string(ctx, -1);
  duk_pop_2(ctx);
  bool pushed = false;
  {
    WideString name = Utf8ToWide(memberName ? memberName : "");
    std::vector<OleVariant> args(static_cast<std::size_t>(argc));
    for (duk_idx_t i = 0; i < argc && !f.failed; ++i)
      if (!ToVariant(ctx, i, args[static_cast<std::size_t>(argc - 1 - i)]))
        f.Set(u"Argument " + IntToWide(i + 1) + u" of " + name + u" cannot be passed to an object",
              DISP_E_TYPEMISMATCH);
    if (!f.failed && dispatch) {
      DISPPARAMS params{argc ? args[0].Ptr() : nullptr, nullptr, static_cast<std::uint32_t>(argc), 0};
      static_assert(sizeof(OleVariant) == sizeof(VARIANT));
      OleVariant result;
      EXCEPINFO info{};
      std::uint32_t argErr = 0;
      HRESULT hr = dispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                    &params, result.Put(), &info, &argErr);
      if (Failed(hr))
        f.Set(CallFailureText(hr, info), CallResultCode(hr, info));
      else if (!PushVariant(ctx, result.Get()))
        f.Set(u"The result of " + name + u" has no script form", DISP_E_TYPEMISMATCH);
      else
        pushed = true;
      ClearExcepInfo(info);
    }
  }
  if (f.failed) return Raise(ctx, f);
  if (!pushed) duk_push_undefined(ctx);
  return 1;
}

// The proxy's get trap (target, key, receiver).
duk_ret_t GetMember(duk_context* ctx) {
  Failure f;
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
    duk_push_undefined(ctx);
    return 1;
  }
  // The key stays on the stack (and alive) for the whole call.
  const char* key = duk_get_string(ctx, 1);
  // What the engine itself looks for on every object.
  for (const char* own : {"toString", "valueOf", "toJSON", "constructor", "then"})
    if (std::strcmp(key, own) == 0) {
      duk_get_prop_string(ctx, 0, key);
      return 1;
    }
  IDispatch* dispatch = TargetDispatch(ctx, 0);
  DISPID id = DISPID_UNKNOWN;
  bool isFunction = false, pushed = false;
  {
    WideString name = Utf8ToWide(key);
    const char16_t* names[1] = {name.c_str()};
    HRESULT hr = dispatch ? dispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) : E_POINTER;
    if (Failed(hr)) {
      f.Set(u"Object doesn't support this property or method: " + name, hr);
    } else {
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      OleVariant result;
      EXCEPINFO info{};
      std::uint32_t argErr = 0;
      hr = dispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.Put(), &info,
                            &argErr);
      if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL)
        isFunction = true;  // a method, or a property that takes arguments
      else if (Failed(hr))
        f.Set(CallFailureText(hr, info), CallResultCode(hr, info));
      else if (!PushVariant(ctx, result.Get()))
        f.Set(u"The value of " + name + u" has no script form", DISP_E_TYPEMISMATCH);
      else
        pushed = true;
      ClearExcepInfo(info);
    }
  }
  if (f.failed) return Raise(ctx, f);
  if (pushed) return 1;
  if (isFunction) {
    duk_push_c_function(ctx, CallMember, DUK_VARARGS);
    duk_dup(ctx, 0);
    duk_put_prop_string(ctx, -2, kTargetKey);
    duk_push_int(ctx, id);
    duk_put_prop_string(ctx, -2, kDispIdKey);
    duk_dup(ctx, 1);
    duk_put_prop_string(ctx, -2, kNameKey);
    return 1;
  }
  duk_push_undefined(ctx);
  return 1;
}

// The proxy's set trap (target, key, value, receiver).
duk_ret_t SetMember(duk_context* ctx) {
  Failure f;
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
    duk_push_false(ctx);
    return 1;
  }
  IDispatch* dispatch = TargetDispatch(ctx, 0);
  {
    WideString name = Utf8ToWide(duk_get_string(ctx, 1));
    const char16_t* names[1] = {name.c_str()};
    DISPID id = DISPID_UNKNOWN;
    OleVariant value;
    HRESULT hr = dispatch ? dispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) : E_POINTER;
    if (Failed(hr)) {
      f.Set(u"Object doesn't support this property or method: " + name, hr);
    } else if (!ToVariant(ctx, 2, value)) {
      f.Set(u"The value given to " + name + u" cannot be passed to an object", DISP_E_TYPEMISMATCH);
    } else {
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS params{value.Ptr(), &put, 1, 1};
      EXCEPINFO info{};
      std::uint32_t argErr = 0;
      WORD flags = value.Type() == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
      hr = dispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, &info, &argErr);
      if (hr == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_PROPERTYPUTREF) {
        ClearExcepInfo(info);
        hr = dispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, &info, &argErr);
      }
      if (Failed(hr)) f.Set(CallFailureText(hr, info), CallResultCode(hr, info));
      ClearExcepInfo(info);
    }
  }
  if (f.failed) return Raise(ctx, f);
  duk_push_true(ctx);
  return 1;
}

duk_ret_t ReleaseTarget(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, kDispatchKey);
  if (auto* p = static_cast<IDispatch*>(duk_get_pointer(ctx, -1))) p->Release();
  duk_pop(ctx);
  duk_push_pointer(ctx, nullptr);
  duk_put_prop_string(ctx, 0, kDispatchKey);
  return 0;
}

duk_ret_t TargetToString(duk_context* ctx) {
  duk_push_string(ctx, "[object Dispatch]");
  return 1;
}

void PushDispatch(duk_context* ctx, IDispatch* dispatch) {
  if (!dispatch) {
    duk_push_null(ctx);
    return;
  }
  duk_push_object(ctx);  // the target
  dispatch->AddRef();
  duk_push_pointer(ctx, dispatch);
  duk_put_prop_string(ctx, -2, kDispatchKey);
  duk_push_c_function(ctx, ReleaseTarget, 1);
  duk_set_finalizer(ctx, -2);
  duk_push_c_function(ctx, TargetToString, 0);
  duk_put_prop_string(ctx, -2, "toString");
  duk_push_object(ctx);  // the handler
  duk_push_c_function(ctx, GetMember, 3);
  duk_put_prop_string(ctx, -2, "get");
  duk_push_c_function(ctx, SetMember, 4);
  duk_put_prop_string(ctx, -2, "set");
  duk_push_proxy(ctx, 0);
}

// Hidden keys of the heap stash: where the last value was thrown.
constexpr const char* kThrowLineKey = DUK_HIDDEN_SYMBOL("pwThrowLine");
constexpr const char* kThrowFileKey = DUK_HIDDEN_SYMBOL("pwThrowFile");

// Duktape.errThrow: called with every value about to be thrown, Error or not. Keeps the file and
// line of the script code that throws it (a value that is no Error carries no line of its own);
// the value itself goes on unchanged.
duk_ret_t NoteThrow(duk_context* ctx) {
  duk_inspect_callstack_entry(ctx, -2);  // -1 is this function, -2 the thrower
  if (duk_is_object(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    duk_int_t line = duk_get_int(ctx, -1);
    duk_pop(ctx);
    if (line > 0) {  // native functions have no line
      duk_push_heap_stash(ctx);
      duk_push_int(ctx, line);
      duk_put_prop_string(ctx, -2, kThrowLineKey);
      duk_get_prop_string(ctx, -2, "function");
      duk_get_prop_string(ctx, -1, "fileName");
      duk_put_prop_string(ctx, -3, kThrowFileKey);
      duk_pop_2(ctx);
    }
  }
  duk_pop(ctx);
  duk_dup(ctx, 0);
  return 1;
}

// What the engine's heap and its time-out check share (the heap's user data).
struct HeapState {
  std::atomic<bool> stop{false};
  ScriptLimits limits;
  std::uint64_t deadline = 0;  // host clock; 0: none
  bool stopped = false;        // the check answered "stop" during this run
  std::size_t used = 0;
  bool exhausted = false;  // an allocation was refused for the limit
};

// Whether the running script is to end: asked by the engine's time-out check.
bool ShouldStop(HeapState& h) {
  if (h.stopped) return true;  // once stopped, every later check stops too (no catch survives)
  if (h.stop.load() || (h.deadline && CurrentClock().NowMs() >= h.deadline) ||
      (h.limits.shouldStop && h.limits.shouldStop()))
    h.stopped = true;
  return h.stopped;
}

// Each block carries its size in front, so that the heap's use is known exactly.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

void* HeapAlloc(void* udata, duk_size_t size) {
  auto* h = static_cast<HeapState*>(udata);
  if (size > h->limits.heapBytes - std::min(h->used, h->limits.heapBytes)) {
    h->exhausted = true;
    return nullptr;
  }
  auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  h->used += size;
  return block + kBlockHeader;
}

void HeapFree(void* udata, void* p) {
  if (!p) return;
  auto* h = static_cast<HeapState*>(udata);
  unsigned char* block = static_cast<unsigned char*>(p) - kBlockHeader;
  duk_size_t size;
  std::memcpy(&size, block, sizeof size);
  h->used -= size;
  std::free(block);
}

void* HeapRealloc(void* udata, void* p, duk_size_t size) {
  if (!p) return HeapAlloc(udata, size);
  auto* h = static_cast<HeapState*>(udata);
  unsigned char* block = static_cast<unsigned char*>(p) - kBlockHeader;
  duk_size_t old;
  std::memcpy(&old, block, sizeof old);
  if (size > old && size - old > h->limits.heapBytes - std::min(h->used, h->limits.heapBytes)) {
    h->exhausted = true;
    return nullptr;
  }
  auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kBlockHeader));
  if (!grown) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  h->used = h->used - old + size;
  return grown + kBlockHeader;
}

[[noreturn]] void Fatal(void*, const char* message) {
  std::fprintf(stderr, "pwhost: the script engine failed: %s\n", message ? message : "");
  std::abort();
}

}  // namespace

struct ScriptEngine::Impl {
  TRuntimeObjectService& objects;
  HeapState heap;
  duk_context* ctx = nullptr;
};

ScriptEngine::ScriptEngine(TRuntimeObjectService& objects, ScriptLimits limits)
    : impl_(new Impl{objects, {}, nullptr}) {
  impl_->heap.limits = std::move(limits);
  impl_->ctx = duk_create_heap(HeapAlloc, HeapRealloc, HeapFree, &impl_->heap, Fatal);
  if (!impl_->ctx) throw EOutOfMemory();
  duk_get_global_string(impl_->ctx, "Duktape");
  duk_push_c_function(impl_->ctx, NoteThrow, 1);
  duk_put_prop_string(impl_->ctx, -2, "errThrow");
  // The release hooks of the host's objects stay out of the scripts' reach: a script that could
  // read a hook could release an object early (and break it), one that could replace it would
  // leak the object. The engine's own way to them goes, scripts have no other.
  duk_del_prop_string(impl_->ctx, -1, "fin");
  duk_pop(impl_->ctx);
}

ScriptEngine::~ScriptEngine() {
  // Finalizers release every object the scripts still hold.
  duk_destroy_heap(impl_->ctx);
}

namespace {

// Compiles and runs the source at the stack top (with its file name below); the error object
// or the result is left on the stack.
duk_ret_t CompileAndRun(duk_context* ctx, void*) {
  duk_compile(ctx, 0);
  duk_call(ctx, 0);
  return 1;
}

void ReadError(duk_context* ctx, const std::string& fileName, ScriptError& error) {
  error.fileName = fileName;
  error.line = 0;
  if (duk_is_error(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "pwLine");
    if (duk_is_number(ctx, -1)) {
      error.line = duk_get_int(ctx, -1);
      duk_get_prop_string(ctx, -2, "pwFile");
      if (duk_is_string(ctx, -1)) error.fileName = duk_get_string(ctx, -1);
      duk_pop(ctx);
    } else {
      duk_get_prop_string(ctx, -2, "lineNumber");
      if (duk_is_number(ctx, -1)) error.line = duk_get_int(ctx, -1);
      duk_pop(ctx);
      duk_get_prop_string(ctx, -2, "fileName");
      if (duk_is_string(ctx, -1)) error.fileName = duk_get_string(ctx, -1);
      duk_pop(ctx);
    }
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, "name");
    std::string name = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "Error";
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, "message");
    std::string message = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    error.message = Utf8ToWide(name == "Error" ? message : name + ": " + message);
  } else {
    error.message = Utf8ToWide(std::string("uncaught: ") + duk_safe_to_string(ctx, -1));
    // A thrown value that is no Error: the place of the last throw.
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kThrowLineKey);
    if (duk_is_number(ctx, -1)) {
      error.line = duk_get_int(ctx, -1);
      duk_get_prop_string(ctx, -2, kThrowFileKey);
      if (duk_is_string(ctx, -1)) error.fileName = duk_get_string(ctx, -1);
      duk_pop(ctx);
    }
    duk_pop_2(ctx);
  }
}

}  // namespace

void ScriptEngine::Stop() noexcept { impl_->heap.stop = true; }

bool ScriptEngine::Run(const std::string& fileName, const std::string& source, ScriptError& error) {
  duk_context* ctx = impl_->ctx;
  // The runtime objects as they are now.
  for (const auto& name : impl_->objects.Names()) {
    ComPtr<IDispatch> d = QueryAs<IDispatch>(impl_->objects.Find(name).Get());
    if (!d) continue;
    std::string n = WideToUtf8(name);
    PushDispatch(ctx, d.Get());
    duk_put_global_string(ctx, n.c_str());
  }
  duk_push_heap_stash(ctx);
  duk_del_prop_string(ctx, -1, kThrowLineKey);
  duk_del_prop_string(ctx, -1, kThrowFileKey);
  duk_pop(ctx);
  duk_push_lstring(ctx, source.data(), source.size());
  duk_push_string(ctx, fileName.c_str());
  HeapState& heap = impl_->heap;
  heap.stopped = heap.exhausted = false;
  heap.deadline = heap.limits.timeoutMs ? CurrentClock().NowMs() + heap.limits.timeoutMs : 0;
  bool ok = duk_safe_call(ctx, CompileAndRun, nullptr, 2, 1) == DUK_EXEC_SUCCESS;
  if (!ok) {
    ReadError(ctx, fileName, error);
    if (heap.stopped) {
      error.message = u"The script was stopped";
    } else if (heap.exhausted) {
      error.message = u"The script ran out of memory (its heap may take " +
                      IntToWide(static_cast<std::int64_t>(heap.limits.heapBytes >> 20)) + u" MB)";
    }
  }
  duk_pop(ctx);
  duk_gc(ctx, 0);
  heap.stop = false;
  heap.deadline = 0;
  return ok;
}

bool ScriptEngine::ReadFile(const std::string& fileName, std::string& source, ScriptError& error) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) {
    error = {fileName, 0, u"This is a folder, not a script file"};
    return false;
  }
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    error = {fileName, 0, u"Unable to read the script file: " + SysErrorMessage(static_cast<DWORD>(errno))};
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::optional<std::string> decoded = DecodeScriptSource(text.str());
  if (!decoded) {
    error = {fileName, 0, u"The script file is not UTF-8 or UTF-16 text"};
    return false;
  }
  source = std::move(*decoded);
  return true;
}

bool ScriptEngine::RunFile(const std::string& fileName, ScriptError& error) {
  std::string source;
  return ReadFile(fileName, source, error) && Run(fileName, source, error);
}

}  // namespace pw::host

// The engine's execution time-out check (host/script/duktape_build.c), every few thousand
// instructions while a script runs.
extern "C" int pwScriptShouldStop(void* heapUserData) {
  return heapUserData && pw::host::ShouldStop(*static_cast<pw::host::HeapState*>(heapUserData)) ? 1 : 0;
}
