#include "storage/buffer.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

uint8_t* NewBlock(int32_t n) {
  return new (std::nothrow) uint8_t[static_cast<size_t>(n)];
}

}  // namespace

CSmartBuffer::CSmartBuffer(CBaseBuffer& other) {
  Assign(other.Bytes(), other.Size());
}

CSmartBuffer::CSmartBuffer(const CSmartBuffer& other) : CBaseBuffer() {
  Assign(other.Data(), other.Size());
}

CSmartBuffer& CSmartBuffer::operator=(const CSmartBuffer& other) {
  if (this != &other) Assign(other.Data(), other.Size());
  return *this;
}

CSmartBuffer::CSmartBuffer(CSmartBuffer&& other) noexcept : CBaseBuffer() {
  data_ = other.data_;
  size_ = other.size_;
  other.data_ = nullptr;
  other.size_ = 0;
}

CSmartBuffer& CSmartBuffer::operator=(CSmartBuffer&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

CSmartBuffer::~CSmartBuffer() {
  delete[] data_;
}

bool CSmartBuffer::Allocate(int32_t n) {
  Free();
  if (n < 0) return false;
  data_ = NewBlock(n);
  if (!data_) return false;
  size_ = n;
  return true;
}

bool CSmartBuffer::Resize(int32_t n) {
  if (!data_) return Allocate(n);
  if (n < 0) return false;
  uint8_t* block = NewBlock(n);
  if (!block) return false;
  int32_t keep = n < size_ ? n : size_;
  if (keep > 0) std::memcpy(block, data_, static_cast<size_t>(keep));
  delete[] data_;
  data_ = block;
  size_ = n;
  return true;
}

bool CSmartBuffer::Append(const void* bytes, int32_t n) {
  if (n < 0 || (n > 0 && !bytes)) return false;
  if (n > INT32_MAX - size_) return false;
  // `bytes` may point into our own block, which Resize frees: remember its offset.
  const uint8_t* src = static_cast<const uint8_t*>(bytes);
  bool inside = data_ && src >= data_ && src < data_ + size_;
  size_t inside_offset = inside ? static_cast<size_t>(src - data_) : 0;
  int32_t old_size = size_;
  if (!Resize(size_ + n)) return false;
  if (n > 0)
    std::memcpy(data_ + old_size, inside ? data_ + inside_offset : src, static_cast<size_t>(n));
  return true;
}

bool CSmartBuffer::Assign(const void* bytes, int32_t n) {
  if (bytes && n > 0 && data_ && static_cast<const uint8_t*>(bytes) >= data_ &&
      static_cast<const uint8_t*>(bytes) < data_ + size_) {
    // Assigning a part of our own block: copy before freeing it.
    uint8_t* block = NewBlock(n);
    if (!block) {
      Free();
      return false;
    }
    std::memcpy(block, bytes, static_cast<size_t>(n));
    Attach(block, n);
    return true;
  }
  Free();
  if (!bytes || n <= 0) return n >= 0;
  if (!Allocate(n)) return false;
  std::memcpy(data_, bytes, static_cast<size_t>(n));
  return true;
}

void CSmartBuffer::Free() {
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
}

void CSmartBuffer::Truncate(int32_t n) {
  if (n >= 0 && n < size_) size_ = n;
}

void CSmartBuffer::Attach(uint8_t* block, int32_t size) {
  if (block == data_) {
    size_ = block ? size : 0;
    return;
  }
  Free();
  data_ = block;
  size_ = block && size > 0 ? size : 0;
}

uint8_t* CSmartBuffer::Detach() {
  uint8_t* block = data_;
  data_ = nullptr;
  size_ = 0;
  if (!block) block = new (std::nothrow) uint8_t[1];
  return block;
}

uint8_t* CChainedBuffer::Bytes() {
  CSmartBuffer::Free();
  if (total_ == 0) return nullptr;
  if (!CSmartBuffer::Allocate(total_)) return nullptr;
  size_t at = 0;
  for (const CSmartBuffer& piece : pieces_) {
    if (piece.Size() > 0) std::memcpy(data_ + at, piece.Data(), static_cast<size_t>(piece.Size()));
    at += static_cast<size_t>(piece.Size());
  }
  return data_;
}

bool CChainedBuffer::AddPiece(CSmartBuffer&& piece) {
  if (piece.Size() > INT32_MAX - total_) return false;
  total_ += piece.Size();
  pieces_.push_back(std::move(piece));
  return true;
}

void CChainedBuffer::Clear() {
  pieces_.clear();
  total_ = 0;
  CSmartBuffer::Free();
}
