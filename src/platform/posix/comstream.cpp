#include "platform/comstream.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace vexa::platform {

namespace {

// The same bound as the global-memory stream: sizes and positions fit 32 bits there.
constexpr uint64_t kMaxStreamSize = 0xFFFFFFFFu;

// Bytes shared by a stream and its clones; each has its own position.
class CMemoryStream final : public IStream {
 public:
  explicit CMemoryStream(std::shared_ptr<std::vector<uint8_t>> bytes) : bytes_(std::move(bytes)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
    const std::vector<uint8_t>& bytes = *bytes_;
    ULONG count = 0;
    if (position_ < bytes.size()) {
      count = static_cast<ULONG>(std::min<uint64_t>(cb, bytes.size() - position_));
      if (count) std::memcpy(pv, bytes.data() + position_, count);
      position_ += count;
    }
    if (pcbRead) *pcbRead = count;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    const uint64_t end = position_ + cb;
    if (end > kMaxStreamSize) return STG_E_MEDIUMFULL;
    std::vector<uint8_t>& bytes = *bytes_;
    try {
      if (end > bytes.size()) bytes.resize(static_cast<size_t>(end), 0);
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    std::memcpy(bytes.data() + position_, pv, cb);
    position_ = end;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                 ULARGE_INTEGER* plibNewPosition) override {
    int64_t origin = 0;
    switch (dwOrigin) {
      case STREAM_SEEK_SET:
        origin = 0;
        break;
      case STREAM_SEEK_CUR:
        origin = static_cast<int64_t>(position_);
        break;
      case STREAM_SEEK_END:
        origin = static_cast<int64_t>(bytes_->size());
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    // Both terms are within +-2^63 only when the move is; origin is at most 2^32.
    const int64_t move = dlibMove.QuadPart;
    if (move < 0 && -(move + 1) >= origin) return STG_E_INVALIDFUNCTION;
    if (move > 0 && static_cast<uint64_t>(move) > kMaxStreamSize) return STG_E_INVALIDFUNCTION;
    const int64_t target = origin + move;
    if (static_cast<uint64_t>(target) > kMaxStreamSize) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<uint64_t>(target);
    if (plibNewPosition) plibNewPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override {
    if (libNewSize.QuadPart > kMaxStreamSize) return STG_E_MEDIUMFULL;
    try {
      bytes_->resize(static_cast<size_t>(libNewSize.QuadPart), 0);
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                   ULARGE_INTEGER* pcbWritten) override {
    if (pcbRead) pcbRead->QuadPart = 0;
    if (pcbWritten) pcbWritten->QuadPart = 0;
    if (!pstm) return STG_E_INVALIDPOINTER;
    const std::vector<uint8_t>& bytes = *bytes_;
    const uint64_t available = position_ < bytes.size() ? bytes.size() - position_ : 0;
    const uint64_t count = std::min<uint64_t>(cb.QuadPart, available);
    // Copied first: the target may be a clone of this stream and grow the shared bytes.
    std::vector<uint8_t> chunk(bytes.begin() + static_cast<ptrdiff_t>(position_),
                               bytes.begin() + static_cast<ptrdiff_t>(position_ + count));
    position_ += count;
    if (pcbRead) pcbRead->QuadPart = count;
    ULONG written = 0;
    const HRESULT hr = pstm->Write(chunk.data(), static_cast<ULONG>(count), &written);
    if (pcbWritten) pcbWritten->QuadPart = written;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }

  HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    if (grfStatFlag > (STATFLAG_NONAME | STATFLAG_NOOPEN)) return STG_E_INVALIDFLAG;
    std::memset(pstatstg, 0, sizeof(*pstatstg));
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = bytes_->size();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override {
    if (!ppstm) return STG_E_INVALIDPOINTER;
    auto* clone = new (std::nothrow) CMemoryStream(bytes_);
    if (!clone) {
      *ppstm = nullptr;
      return STG_E_INSUFFICIENTMEMORY;
    }
    clone->position_ = position_;
    *ppstm = clone;
    return S_OK;
  }

 private:
  ~CMemoryStream() = default;

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<std::vector<uint8_t>> bytes_;
  uint64_t position_ = 0;
};

}  // namespace

bool CreateMemoryStream(const void* data, size_t size, IStream** stream) {
  if (!stream) return false;
  *stream = nullptr;
  if ((!data && size != 0) || static_cast<uint64_t>(size) > kMaxStreamSize) return false;
  try {
    const auto* first = static_cast<const uint8_t*>(data);
    auto bytes = std::make_shared<std::vector<uint8_t>>(first, first + size);
    *stream = new CMemoryStream(std::move(bytes));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace vexa::platform
