// The parts of CMappedFile that do not depend on the OS: its handles are plain integers, -1 when
// none is open, on every system; Open and Close come from win32/ or posix/.
#include "platform/files.h"

#include <utility>

namespace vexa::platform {

CMappedFile::~CMappedFile() {
  Close();
}

CMappedFile::CMappedFile(CMappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      file_(std::exchange(other.file_, -1)),
      mapping_(std::exchange(other.mapping_, -1)) {}

CMappedFile& CMappedFile::operator=(CMappedFile&& other) noexcept {
  if (this != &other) {
    Close();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    file_ = std::exchange(other.file_, -1);
    mapping_ = std::exchange(other.mapping_, -1);
  }
  return *this;
}

}  // namespace vexa::platform
