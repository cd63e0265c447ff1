// The Flash local connection: an object that another process can hand byte arrays to, which it
// copies into the Flash Player's shared memory "MacromediaFMOmega".
//
// TMacromediaLCInterface (made at the plug-in's Initialize with the host's major version N,
// freed at Finalize) runs one publishing thread: in the multithreaded apartment it makes a
// TMacromediaLCDispatch, marshals its IDispatch and publishes the marshaled bytes in the named
// shared memory "ProbewrightLCIntf<N>": the global name ("Global\ProbewrightLCIntf<N>_<session>")
// first, the plain name when the global one is refused. Layout, little-endian: offset 0, 4 bytes:
// L, the length of the marshaled bytes; offset 4, L bytes: the marshaled interface. The bytes
// are written before L, both through the object's descriptor: a reader that finds L finds the
// whole token, and a TSharedMemoryWatch wakes up at the write of L.
// - A name held by a living creator (another host of the same version) is left alone and nothing
//   is published; one left by a dead creator is replaced (platform/kernel/shared_memory.h).
// - The object is made exclusively with mode 0600 and unlinked at destruction.
// - Destruction joins the thread first, so the thread never outlives the object, then unlinks
//   the name, withdraws the marshaled bytes and disconnects the object: unmarshaling the bytes
//   fails from then on.
// - Every failure of the thread ends it silently: State() tells what became of it.
//
// The marshaled bytes are a token (below) that only this process unmarshals: another process
// gets CO_E_OBJNOTCONNECTED. Calls across processes need an RPC runtime that this system has not.
//
// TMacromediaLCDispatch (free-threaded: it aggregates the free-threaded marshaler) answers
// E_NOTIMPL for type information and names, and Invoke for one member, DISPID 0, a property put
// of one byte array (VT_ARRAY | VT_UI1, by value):
// - DISP_E_MEMBERNOTFOUND for another DISPID;
// - E_INVALIDARG without a put flag, without arguments, with other than one argument, with an
//   argument that is no byte array or is passed by reference;
// - E_FAIL when the Flash memory does not exist, or is smaller than the array (nothing written);
// - a failed lock of the array answers its own code and writes nothing;
// - else the array's bytes (element size times the first dimension's count) go to offset 0 of
//   the Flash memory: S_OK. Each call opens and maps the memory for itself; no lock is taken.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/com/comobject.h"
#include "platform/com/free_threaded.h"
#include "platform/kernel/shared_memory.h"

namespace pw::web {

inline constexpr char16_t kFlashMemoryName[] = u"MacromediaFMOmega";
inline constexpr char16_t kLCInterfaceNamePrefix[] = u"ProbewrightLCIntf";

// The token of a marshaled interface: "PWMI", the process id, the cookie of the process's
// global interface table (each 4 bytes, little-endian).
inline constexpr std::size_t kInterfaceTokenSize = 12;
// Registers the interface in the global interface table (the caller's apartment) and writes its
// token; *cookie names the registration for ReleaseInterfaceToken.
HRESULT MarshalInterfaceToken(IUnknown* object, const IID& riid, std::vector<std::uint8_t>* token, DWORD* cookie);
// The interface of a token of this process: E_INVALIDARG for bytes that are no token,
// CO_E_OBJNOTCONNECTED for another process's token or a withdrawn one.
HRESULT UnmarshalInterfaceToken(std::span<const std::uint8_t> token, const IID& riid, void** ppv);
HRESULT ReleaseInterfaceToken(DWORD cookie);

// What a reader finds under the names of an instance (the global one first, then the plain
// one): the name, the length L and, when the bytes are a token, the process that made it.
struct TLCInterfaceMapping {
  std::u16string name;
  std::uint32_t length = 0;
  std::uint32_t processId = 0;  // 0 when the bytes are no token
};
// The mapping of an instance as anyone in this process reads it (it is not owned: nothing is
// unlinked); nullopt when neither name exists or the object is shorter than its length says.
std::optional<TLCInterfaceMapping> FindLCInterfaceMapping(std::int32_t instance,
                                                          std::u16string_view namePrefix = kLCInterfaceNamePrefix);

class TMacromediaLCDispatch final : public FreeThreaded<Implements<ComObject, IDispatch>> {
 public:
  explicit TMacromediaLCDispatch(std::u16string flashName = kFlashMemoryName) : flashName_(std::move(flashName)) {}

  HRESULT GetTypeInfoCount(std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

 private:
  const std::u16string flashName_;
};

// What the publishing thread uses (tests put their own names and creator).
struct TMacromediaLCOptions {
  std::u16string namePrefix = kLCInterfaceNamePrefix;
  std::u16string flashName = kFlashMemoryName;
  // Makes the named shared memory; TNamedSharedMemory::Create when empty.
  std::function<std::unique_ptr<TNamedSharedMemory>(std::u16string_view name, std::size_t size,
                                                    TNamedSharedMemory::Outcome* outcome)>
      create;
  // Called on the thread once the object is marshaled, before the name is made.
  std::function<void()> beforePublish;
};

class TMacromediaLCInterface {
 public:
  enum class State {
    Running,    // the thread has not finished
    Published,  // the bytes are under PublishedName()
    Kept,       // a living creator holds the name: nothing published
    Failed,     // the apartment, the marshaling or both names failed
  };

  explicit TMacromediaLCInterface(std::int32_t instance, TMacromediaLCOptions options = {});
  ~TMacromediaLCInterface();
  TMacromediaLCInterface(const TMacromediaLCInterface&) = delete;
  TMacromediaLCInterface& operator=(const TMacromediaLCInterface&) = delete;

  // Waits for the thread to finish (it never waits for anything but its own work).
  void Wait();
  State GetState() const;
  // The name the bytes are under (empty unless published).
  std::u16string PublishedName() const;
  std::int32_t Instance() const { return instance_; }
  // The plain and the global name of the instance.
  std::u16string PlainName() const;
  std::u16string GlobalName() const;

 private:
  void Publish();

  const std::int32_t instance_;
  const TMacromediaLCOptions options_;
  mutable std::mutex lock_;
  State state_ = State::Running;
  std::u16string published_;
  std::unique_ptr<TNamedSharedMemory> mapping_;
  ComPtr<IDispatch> dispatch_;
  DWORD cookie_ = 0;
  bool registered_ = false;
  std::thread thread_;
};

}  // namespace pw::web
