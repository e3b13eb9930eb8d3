#include "platform/userfolders.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "platform/codepage.h"

namespace vexa::platform {

namespace {

std::wstring Wide(const std::string& utf8) {
  return Utf8ToWide(utf8);
}

std::string WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return WideToUtf8(path);
}

// A security descriptor made from SDDL text, freed with LocalFree when the holder goes.
class CDescriptor {
 public:
  explicit CDescriptor(const char* sddl) {
    if (!sddl) return;
    const std::wstring text = AnsiToWide(sddl);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                              &descriptor_, nullptr)) {
      descriptor_ = nullptr;
    }
  }
  ~CDescriptor() {
    if (descriptor_) LocalFree(descriptor_);
  }
  CDescriptor(const CDescriptor&) = delete;
  CDescriptor& operator=(const CDescriptor&) = delete;

  PSECURITY_DESCRIPTOR Get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace

bool GetApplicationDataFolder(std::string* utf8) {
  wchar_t path[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) &&
      path[0]) {
    *utf8 = WithoutTrailingSeparators(path);
    return true;
  }
  // Without the shell's answer the environment still names the folder on every NT system.
  const DWORD needed = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (needed == 0) return false;
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD got = GetEnvironmentVariableW(L"APPDATA", buffer.data(), needed + 1);
  if (got == 0 || got > needed) return false;
  *utf8 = WithoutTrailingSeparators(std::wstring(buffer.data(), got));
  return true;
}

bool FolderExistsUtf8(const std::string& utf8) {
  if (utf8.empty()) return false;
  const DWORD attributes = GetFileAttributesW(Wide(utf8).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolderUtf8(const std::string& utf8) {
  if (utf8.empty()) return false;
  if (CreateDirectoryW(Wide(utf8).c_str(), nullptr)) return true;
  return FolderExistsUtf8(utf8);
}

bool CreateFolderWithAccessList(const std::string& utf8, const char* sddl) {
  if (utf8.empty()) return false;
  CDescriptor descriptor(sddl);
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = descriptor.Get();
  attributes.bInheritHandle = FALSE;
  if (CreateDirectoryW(Wide(utf8).c_str(), descriptor.Get() ? &attributes : nullptr)) return true;
  return FolderExistsUtf8(utf8);
}

bool ApplyAccessList(const std::string& utf8, const char* sddl) {
  if (utf8.empty()) return false;
  CDescriptor descriptor(sddl);
  if (!descriptor.Get()) return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) || !present) {
    return false;
  }
  std::wstring path = Wide(utf8);
  return SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool GetAccessList(const std::string& utf8, std::string* sddl) {
  if (utf8.empty()) return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoW(Wide(utf8).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  LPWSTR text = nullptr;
  const bool converted =
      ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr) != 0;
  if (converted) *sddl = WideToAnsi(text);
  if (text) LocalFree(text);
  LocalFree(descriptor);
  return converted;
}

bool HasAccessLists() {
  return true;
}

bool GetCurrentFolderUtf8(std::string* utf8) {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return false;
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD got = GetCurrentDirectoryW(needed + 1, buffer.data());
  if (got == 0 || got > needed) return false;
  *utf8 = WithoutTrailingSeparators(std::wstring(buffer.data(), got));
  return true;
}

bool GetCurrentUserName(std::string* name) {
  std::vector<char> buffer(32767, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!GetUserNameA(buffer.data(), &size) || buffer[0] == '\0') return false;
  *name = buffer.data();
  return true;
}

}  // namespace vexa::platform
