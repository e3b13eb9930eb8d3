// CMappedFileBuffer: a whole file mapped read-only, seen as a CBaseBuffer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "storage/buffer.h"

// The view stays mapped, and the file open with read sharing, until the buffer is destroyed. The
// bytes are read-only: writing through Data() is undefined.
class CMappedFileBuffer : public CBaseBuffer {
 public:
  CMappedFileBuffer() = default;
  CMappedFileBuffer(const CMappedFileBuffer&) = delete;
  CMappedFileBuffer& operator=(const CMappedFileBuffer&) = delete;
  ~CMappedFileBuffer() override = default;

  // Maps the existing file `path` (unmapping any file mapped before). Returns false, with the
  // buffer empty (Data() null, Size() 0), when the file cannot be opened or mapped or is larger
  // than INT32_MAX bytes. An empty file maps: Size() is 0.
  bool Map(const std::string& path);

 private:
  vexa::platform::CMappedFile file_;
};
