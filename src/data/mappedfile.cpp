#include "data/mappedfile.h"

#include <climits>

bool CMappedFileBuffer::Map(const std::string& path) {
  data_ = nullptr;
  size_ = 0;
  if (!file_.Open(path)) return false;
  // Buffers count in 32-bit signed sizes; a bigger file cannot be a package anyway.
  if (file_.Size() > static_cast<size_t>(INT32_MAX)) {
    file_.Close();
    return false;
  }
  // The view is read-only; CBaseBuffer hands out non-const pointers for all buffer kinds.
  data_ = const_cast<uint8_t*>(file_.Data());
  size_ = static_cast<int32_t>(file_.Size());
  return true;
}
