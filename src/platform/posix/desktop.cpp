#include "platform/desktop.h"

#include <stdlib.h>

#include "platform/userfolders.h"

namespace vexa::platform {

bool GetDocumentsFolder(std::string* utf8) {
  if (!utf8) return false;
  std::string folder;
  // Only absolute settings count: a relative one would move with the current folder.
  const char* xdg = ::getenv("XDG_DOCUMENTS_DIR");
  const char* home = ::getenv("HOME");
  if (xdg && xdg[0] == '/') {
    folder = xdg;
  } else if (home && home[0] == '/') {
    folder = home;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    folder += "/Documents";
  } else {
    return false;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!CreateFolderUtf8(folder)) return false;
  *utf8 = folder;
  return true;
}

bool SetDesktopWallpaper(const std::string& utf8) {
  // No desktop the player could rely on.
  (void)utf8;
  return false;
}

}  // namespace vexa::platform
