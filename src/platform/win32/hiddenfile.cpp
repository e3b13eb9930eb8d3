#include "platform/hiddenfile.h"

#include <windows.h>

namespace vexa::platform {

bool WriteHiddenFile(const std::string& path, const void* data, size_t size) {
  const DWORD attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const char* bytes = static_cast<const char*>(data);
  bool ok = true;
  while (size > 0) {
    // WriteFile takes a 32-bit count; a single call may also write less than asked.
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    bytes += written;
    size -= written;
  }
  if (!CloseHandle(file)) ok = false;
  // Replacing an existing file does not always take the new attributes over (Wine keeps the old
  // ones), so set them once more. NORMAL is only valid on its own here.
  if (!SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL))) {
    ok = false;
  }
  return ok;
}

}  // namespace vexa::platform
