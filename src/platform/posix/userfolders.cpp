#include "platform/userfolders.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/native_path.h"
#include "platform/process.h"

namespace vexa::platform {

using posix::NativePath;

namespace {

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

}  // namespace

bool GetApplicationDataFolder(std::string* utf8) {
  // Only absolute settings count: a relative one would move with the current folder.
  const char* xdg = ::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    *utf8 = WithoutTrailingSeparators(xdg);
    return true;
  }
  const char* home = ::getenv("HOME");
  if (home && home[0] == '/') {
    *utf8 = WithoutTrailingSeparators(home) + "/.local/share";
    return true;
  }
  return false;
}

bool FolderExistsUtf8(const std::string& utf8) {
  struct stat st;
  return !utf8.empty() && ::stat(NativePath(utf8).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolderUtf8(const std::string& utf8) {
  if (utf8.empty()) return false;
  if (::mkdir(NativePath(utf8).c_str(), 0777) == 0) return true;
  return errno == EEXIST && FolderExistsUtf8(utf8);
}

bool CreateFolderWithAccessList(const std::string& utf8, const char*) {
  return CreateFolderUtf8(utf8);
}

bool ApplyAccessList(const std::string& utf8, const char* sddl) {
  struct stat st;
  return sddl && !utf8.empty() && ::stat(NativePath(utf8).c_str(), &st) == 0;
}

bool GetAccessList(const std::string&, std::string*) {
  return false;
}

bool HasAccessLists() {
  return false;
}

bool GetCurrentFolderUtf8(std::string* utf8) {
  std::string folder = GetWorkingDirectory();
  if (folder.empty()) return false;
  *utf8 = std::move(folder);
  return true;
}

bool GetCurrentUserName(std::string* name) {
  std::vector<char> buffer(1024);
  struct passwd entry;
  struct passwd* found = nullptr;
  for (;;) {
    const int rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (rc != ERANGE || buffer.size() >= 65536) break;
    buffer.resize(buffer.size() * 2);
  }
  if (found && found->pw_name && found->pw_name[0]) {
    *name = found->pw_name;
    return true;
  }
  const char* user = ::getenv("USER");
  if (user && user[0]) {
    *name = user;
    return true;
  }
  return false;
}

}  // namespace vexa::platform
