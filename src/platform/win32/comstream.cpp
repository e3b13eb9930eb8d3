#include "platform/comstream.h"

namespace vexa::platform {

bool CreateMemoryStream(const void* data, size_t size, IStream** stream) {
  if (!stream) return false;
  *stream = nullptr;
  // One Write call takes a ULONG count.
  if ((!data && size != 0) || static_cast<ULONG>(size) != size) return false;
  IStream* created = nullptr;
  // The stream owns its global memory and frees it with its last reference.
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &created)) || !created) return false;
  ULONG written = 0;
  const ULONG count = static_cast<ULONG>(size);
  if (count != 0 && (FAILED(created->Write(data, count, &written)) || written != count)) {
    created->Release();
    return false;
  }
  LARGE_INTEGER start;
  start.QuadPart = 0;
  if (FAILED(created->Seek(start, STREAM_SEEK_SET, nullptr))) {
    created->Release();
    return false;
  }
  *stream = created;
  return true;
}

}  // namespace vexa::platform
