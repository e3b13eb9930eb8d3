#include "platform/resources.h"

#include <windows.h>

namespace vexa::platform {

namespace {

// String tables are stored in blocks of 16 counted strings; block n holds ids (n - 1) * 16 .. n *
// 16 - 1.
HRSRC FindBlock(HMODULE module, uint32_t id, WORD language) {
  return FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(id / 16 + 1),
                         language);
}

}  // namespace

bool LoadStringResource(uint32_t id, std::wstring* out) {
  HMODULE module = GetModuleHandleW(nullptr);
  LANGID user = GetUserDefaultLangID();
  WORD language = static_cast<WORD>((user & 0x3FF) | 0x400);  // default sub-language
  HRSRC block = FindBlock(module, id, language);
  if (!block) block = FindBlock(module, id, 1033);
  if (!block) return false;
  HGLOBAL loaded = LoadResource(module, block);
  DWORD size = SizeofResource(module, block);
  const WCHAR* p = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
  if (!p) return false;
  const WCHAR* end = p + size / sizeof(WCHAR);
  for (uint32_t skip = id % 16; skip > 0 && p < end; --skip) p += 1 + *p;
  if (p >= end) return false;
  size_t count = *p++;
  if (p + count > end) count = static_cast<size_t>(end - p);
  out->assign(p, count);
  return true;
}

}  // namespace vexa::platform
