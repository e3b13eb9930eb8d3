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

std::wstring Widen(const char* ascii) {
  std::wstring wide;
  for (const char* p = ascii; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  if (IS_INTRESOURCE(name)) return TRUE;
  auto* names = reinterpret_cast<std::vector<std::string>*>(param);
  std::string narrow;
  for (const WCHAR* p = name; *p; ++p) {
    // Names this program looks up are ASCII; others cannot be asked for by FindProgramResource.
    if (*p > 0x7F) return TRUE;
    narrow.push_back(static_cast<char>(*p));
  }
  names->push_back(narrow);
  return TRUE;
}

}  // namespace

bool FindProgramResource(const char* type, const char* name, const uint8_t** data, uint32_t* size) {
  if (!type || !name || !data || !size || !*type || !*name) return false;
  HMODULE module = GetModuleHandleW(nullptr);
  const std::wstring wide_type = Widen(type);
  const std::wstring wide_name = Widen(name);
  HRSRC found = FindResourceW(module, wide_name.c_str(), wide_type.c_str());
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const DWORD length = SizeofResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  *data = static_cast<const uint8_t*>(bytes);
  *size = length;
  return true;
}

std::vector<std::string> ListProgramResources(const char* type) {
  std::vector<std::string> names;
  if (!type || !*type) return names;
  const std::wstring wide_type = Widen(type);
  EnumResourceNamesW(GetModuleHandleW(nullptr), wide_type.c_str(), CollectName,
                     reinterpret_cast<LONG_PTR>(&names));
  return names;
}

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
