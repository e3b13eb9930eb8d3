// Byte buffers that carry every block read from a package or written to a data file.
//
// CBaseBuffer is a view of bytes it does not own, CSmartBuffer owns one block, CChainedBuffer owns
// a list of blocks and joins them on demand. Code that receives a buffer of unknown class reads it
// through Size() and Bytes(); that pair is valid for all three.
//
// Sizes are 32-bit signed: no buffer ever holds more than INT32_MAX bytes; operations that would
// exceed that fail like an allocation failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CChainedBuffer;

// A view of `size` bytes at `data`. Owns nothing; destroying it releases nothing.
class CBaseBuffer {
 public:
  CBaseBuffer() = default;
  CBaseBuffer(uint8_t* data, int32_t size) : data_(data), size_(size) {}
  virtual ~CBaseBuffer() = default;

  // The first byte (null for an empty buffer that never had a block).
  virtual uint8_t* Data() const { return data_; }
  // Data() + offset. No range check: callers bound the offset by Size() first.
  virtual uint8_t* At(int32_t offset) const { return data_ + offset; }
  virtual int32_t Size() const { return size_; }
  // The contiguous bytes, Size() of them. Equal to Data() here and in CSmartBuffer; CChainedBuffer
  // joins its pieces first.
  virtual uint8_t* Bytes() { return data_; }

 protected:
  CBaseBuffer(const CBaseBuffer&) = default;
  CBaseBuffer& operator=(const CBaseBuffer&) = default;

  uint8_t* data_ = nullptr;
  int32_t size_ = 0;
};

// An owned block, allocated with new[] and freed with delete[].
//
// Every operation that allocates returns false when the allocation fails (or the size would be
// negative or exceed INT32_MAX); the buffer is then empty (Allocate, Resize without a block) or
// unchanged (Resize and Append of a buffer that had a block).
class CSmartBuffer : public CBaseBuffer {
 public:
  CSmartBuffer() = default;
  // Copies of any buffer class copy its Bytes(); an empty source gives an empty buffer.
  explicit CSmartBuffer(CBaseBuffer& other);
  // A chain's bytes are its pieces, not the block a CSmartBuffer copy or move would take: a chain
  // is copied by joining it (the constructor above, chosen by this overload), and cannot be copied
  // while const (joining changes it) nor moved or assigned into a single block.
  explicit CSmartBuffer(CChainedBuffer& other);
  CSmartBuffer(const CChainedBuffer& other) = delete;
  CSmartBuffer(CChainedBuffer&& other) = delete;
  CSmartBuffer& operator=(const CChainedBuffer& other) = delete;
  CSmartBuffer& operator=(CChainedBuffer&& other) = delete;
  CSmartBuffer(const CSmartBuffer& other);
  CSmartBuffer& operator=(const CSmartBuffer& other);
  CSmartBuffer(CSmartBuffer&& other) noexcept;
  CSmartBuffer& operator=(CSmartBuffer&& other) noexcept;
  ~CSmartBuffer() override;

  // Frees the block and allocates `n` uninitialised bytes. Allocate(0) gives a valid zero-length
  // block (Data() non-null).
  bool Allocate(int32_t n);
  // Keeps the first min(n, Size()) bytes in a new block of `n` bytes. With no block: Allocate(n).
  bool Resize(int32_t n);
  // Appends `n` bytes; false (buffer unchanged) when it cannot grow.
  bool Append(const void* bytes, int32_t n);
  bool AppendBuffer(CBaseBuffer& other) { return Append(other.Bytes(), other.Size()); }
  // Replaces the content by a copy of `n` bytes. A null `bytes` or n == 0 leaves the buffer empty
  // (Data() null) and succeeds.
  bool Assign(const void* bytes, int32_t n);
  void Free();

  // Lowers the size to `n` without reallocating (the block keeps its capacity until freed). Does
  // nothing when n is not below the current size or negative.
  void Truncate(int32_t n);

  // Takes ownership of `block` (allocated with new[]), freeing the current block.
  void Attach(uint8_t* block, int32_t size);
  // Hands the block to the caller, who frees it with delete[], and leaves this buffer empty. Never
  // returns null for an empty buffer (a fresh zero-length block is made) unless allocation fails.
  uint8_t* Detach();
};

// A chain of owned pieces, joined into the base block only when Bytes() is called.
class CChainedBuffer : public CSmartBuffer {
 public:
  CChainedBuffer() = default;
  CChainedBuffer(const CChainedBuffer&) = delete;
  CChainedBuffer& operator=(const CChainedBuffer&) = delete;
  ~CChainedBuffer() override = default;

  // Sum of the pieces' sizes; the joined copy does not count.
  int32_t Size() const override { return total_; }
  // Rebuilds the joined copy of all pieces (on every call) and returns it; null when the total is
  // 0 or the allocation fails.
  uint8_t* Bytes() override;

  // Moves `piece` to the end of the chain. False (nothing added) when the total would exceed
  // INT32_MAX.
  bool AddPiece(CSmartBuffer&& piece);
  // Frees every piece and the joined copy.
  void Clear();

  int32_t PieceCount() const { return static_cast<int32_t>(pieces_.size()); }
  const CSmartBuffer& Piece(int32_t index) const { return pieces_[static_cast<size_t>(index)]; }

 private:
  std::vector<CSmartBuffer> pieces_;
  int32_t total_ = 0;
};

inline CSmartBuffer::CSmartBuffer(CChainedBuffer& other)
    : CSmartBuffer(static_cast<CBaseBuffer&>(other)) {}
