#include "platform/desktop.h"

#include <windows.h>

#include <shlobj.h>

#include "platform/codepage.h"

namespace vexa::platform {

bool GetDocumentsFolder(std::string* utf8) {
  if (!utf8) return false;
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, path)) ||
      !path[0]) {
    return false;
  }
  std::wstring folder(path);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  *utf8 = WideToUtf8(folder);
  return true;
}

bool SetDesktopWallpaper(const std::string& utf8) {
  std::wstring path = Utf8ToWide(utf8);
  return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, &path[0],
                               SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != FALSE;
}

}  // namespace vexa::platform
