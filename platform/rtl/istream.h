// IStream: the system's byte-stream interface, and TStreamAdapter, the runtime's IStream over
// a TStream. Read, Write, Seek, SetSize and Stat work; the transaction, locking, copy and clone
// operations answer E_NOTIMPL (STG_E_INVALIDFUNCTION for the locks), as a plain file stream does.
#pragma once

#include <cstdint>

#include "platform/com/comobject.h"
#include "platform/rtl/rtl_stream.h"

namespace pw {

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;
inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHResult(0x80030001);
inline constexpr HRESULT STG_E_READFAULT = MakeHResult(0x8003001E);
inline constexpr HRESULT STG_E_WRITEFAULT = MakeHResult(0x8003001D);

// The part of the system's STATSTG that this layer fills: the stream's size.
struct STATSTG {
  std::uint64_t cbSize = 0;
};

struct ISequentialStream : IUnknown {
  static constexpr IID iid = MakeGuid("{0C733A30-2A1C-11CE-ADE5-00AA0044773D}");
  virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
  static constexpr IID iid = MakeGuid("{0000000C-0000-0000-C000-000000000046}");
  using Inherited = ISequentialStream;
  virtual HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(std::uint64_t newSize) = 0;
  virtual HRESULT CopyTo(IStream* target, std::uint64_t count, std::uint64_t* read, std::uint64_t* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(std::uint64_t offset, std::uint64_t count, DWORD type) = 0;
  virtual HRESULT UnlockRegion(std::uint64_t offset, std::uint64_t count, DWORD type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** clone) = 0;
};

enum class TStreamOwnership { soReference, soOwned };

class TStreamAdapter : public Implements<ComObject, IStream> {
 public:
  // With soOwned the adapter frees the stream when it goes.
  TStreamAdapter(TStream* stream, TStreamOwnership ownership) : stream_(stream), ownership_(ownership) {}
  ~TStreamAdapter() override;

  HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT Write(const void* buffer, ULONG count, ULONG* written) override;
  HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) override;
  HRESULT SetSize(std::uint64_t newSize) override;
  HRESULT CopyTo(IStream*, std::uint64_t, std::uint64_t*, std::uint64_t*) override { return E_NOTIMPL; }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return E_NOTIMPL; }
  HRESULT LockRegion(std::uint64_t, std::uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(std::uint64_t, std::uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* stat, DWORD flags) override;
  HRESULT Clone(IStream**) override { return E_NOTIMPL; }

  TStream* Stream() const { return stream_; }

 private:
  TStream* stream_;
  TStreamOwnership ownership_;
};

}  // namespace pw
