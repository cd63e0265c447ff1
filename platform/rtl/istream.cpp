#include "platform/rtl/istream.h"

#include <limits>

namespace pw {

TStreamAdapter::~TStreamAdapter() {
  if (ownership_ == TStreamOwnership::soOwned) delete stream_;
}

HRESULT TStreamAdapter::Read(void* buffer, ULONG count, ULONG* read) {
  if (read) *read = 0;
  if (count > 0 && !buffer) return E_POINTER;
  try {
    const auto n = stream_->Read(buffer, static_cast<std::int32_t>(std::min<ULONG>(count, INT32_MAX)));
    if (n < 0) return STG_E_READFAULT;
    if (read) *read = static_cast<ULONG>(n);
    return S_OK;
  } catch (...) {
    return STG_E_READFAULT;
  }
}

HRESULT TStreamAdapter::Write(const void* buffer, ULONG count, ULONG* written) {
  if (written) *written = 0;
  if (count > 0 && !buffer) return E_POINTER;
  try {
    const auto n = stream_->Write(buffer, static_cast<std::int32_t>(std::min<ULONG>(count, INT32_MAX)));
    if (n < 0) return STG_E_WRITEFAULT;
    if (written) *written = static_cast<ULONG>(n);
    return static_cast<ULONG>(n) == count ? S_OK : STG_E_WRITEFAULT;
  } catch (...) {
    return STG_E_WRITEFAULT;
  }
}

HRESULT TStreamAdapter::Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) {
  if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  try {
    const std::int64_t pos = stream_->Seek(move, static_cast<TSeekOrigin>(origin));
    if (pos < 0) return STG_E_INVALIDFUNCTION;
    if (newPosition) *newPosition = static_cast<std::uint64_t>(pos);
    return S_OK;
  } catch (...) {
    return STG_E_INVALIDFUNCTION;
  }
}

HRESULT TStreamAdapter::SetSize(std::uint64_t newSize) {
  if (newSize > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return E_INVALIDARG;
  try {
    const std::int64_t pos = stream_->Position();
    stream_->SetSize(static_cast<std::int64_t>(newSize));
    if (pos <= static_cast<std::int64_t>(newSize)) stream_->SetPosition(pos);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT TStreamAdapter::Stat(STATSTG* stat, DWORD) {
  if (!stat) return E_POINTER;
  try {
    stat->cbSize = static_cast<std::uint64_t>(stream_->GetSize());
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace pw
