// Byte streams: the small stream interface the core reads and writes serialised data through
// (strings, buffers, save sets), and an in-memory implementation of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/oleauto.h"

// A sequential byte stream with a position, in the manner of a COM stream.
//
// Read: copies up to `count` bytes from the position into `buffer` and advances the position.
//   Returns S_OK with *read set to the bytes copied (fewer than `count` only at the end of the
//   data), or a failure status with nothing copied. `read` may be null.
// Write: writes `count` bytes at the position (growing the stream) and advances it. Returns S_OK
// with
//   *written = count, or a failure status (nothing or part written; *written tells). `written` may
//   be null.
// Seek: moves the position relative to the start, the current position or the end (origin 0, 1, 2).
//   A position before the start is E_INVALIDARG. `position` (may be null) receives the new
//   position.
class IByteStream {
 public:
  enum SeekOrigin { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

  virtual ~IByteStream() = default;
  virtual HRESULT Read(void* buffer, uint32_t count, uint32_t* read) = 0;
  virtual HRESULT Write(const void* data, uint32_t count, uint32_t* written) = 0;
  virtual HRESULT Seek(int64_t offset, int origin, uint64_t* position) = 0;
};

// A growable stream over memory. Owns its bytes.
class CMemoryStream : public IByteStream {
 public:
  CMemoryStream() = default;
  explicit CMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  CMemoryStream(const void* data, size_t size);

  HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override;
  HRESULT Write(const void* data, uint32_t count, uint32_t* written) override;
  HRESULT Seek(int64_t offset, int origin, uint64_t* position) override;

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  size_t Position() const { return pos_; }

 private:
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
};

// Reads exactly `count` bytes. Returns S_OK when all arrived, the stream's failure status when the
// read failed, and E_FAIL when the stream ended early.
HRESULT ReadExact(IByteStream* stream, void* buffer, uint32_t count);

// Writes exactly `count` bytes. Returns S_OK, the stream's failure status, or E_FAIL on a short
// write.
HRESULT WriteExact(IByteStream* stream, const void* data, uint32_t count);
