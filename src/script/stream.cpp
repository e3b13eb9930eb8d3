#include "script/stream.h"

#include <cstring>

CMemoryStream::CMemoryStream(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

HRESULT CMemoryStream::Read(void* buffer, uint32_t count, uint32_t* read) {
  if (read) *read = 0;
  if (count > 0 && !buffer) return E_POINTER;
  size_t available = pos_ < data_.size() ? data_.size() - pos_ : 0;
  size_t n = count < available ? count : available;
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  if (read) *read = static_cast<uint32_t>(n);
  return S_OK;
}

HRESULT CMemoryStream::Write(const void* data, uint32_t count, uint32_t* written) {
  if (written) *written = 0;
  if (count == 0) return S_OK;
  if (!data) return E_POINTER;
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  std::memcpy(data_.data() + pos_, data, count);
  pos_ += count;
  if (written) *written = count;
  return S_OK;
}

HRESULT CMemoryStream::Seek(int64_t offset, int origin, uint64_t* position) {
  int64_t base;
  switch (origin) {
    case kSeekSet:
      base = 0;
      break;
    case kSeekCur:
      base = static_cast<int64_t>(pos_);
      break;
    case kSeekEnd:
      base = static_cast<int64_t>(data_.size());
      break;
    default:
      return E_INVALIDARG;
  }
  int64_t target = base + offset;
  if (target < 0) return E_INVALIDARG;
  pos_ = static_cast<size_t>(target);
  if (position) *position = static_cast<uint64_t>(target);
  return S_OK;
}

HRESULT ReadExact(IByteStream* stream, void* buffer, uint32_t count) {
  if (!stream) return E_POINTER;
  uint32_t got = 0;
  HRESULT hr = stream->Read(buffer, count, &got);
  if (FAILED(hr)) return hr;
  return got == count ? S_OK : E_FAIL;
}

HRESULT WriteExact(IByteStream* stream, const void* data, uint32_t count) {
  if (!stream) return E_POINTER;
  uint32_t put = 0;
  HRESULT hr = stream->Write(data, count, &put);
  if (FAILED(hr)) return hr;
  return put == count ? S_OK : E_FAIL;
}
