#include "storage/datafolder.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/userfolders.h"
#include "storage/protectedfile.h"

namespace vexa::storage {

namespace {

std::string AnsiToUtf8(const std::string& ansi) {
  return vexa::platform::WideToUtf8(vexa::platform::AnsiToWide(ansi));
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// folder \ name, for a name in the ANSI code page.
std::string JoinAnsi(const std::string& folder, const std::string& ansiName) {
  std::string path = folder;
  if (!path.empty() && !EndsWithSeparator(path)) path += '\\';
  path += AnsiToUtf8(ansiName);
  return path;
}

class CSystemFolderOps : public IFolderOps {
 public:
  bool GetApplicationDataFolder(std::string* utf8) override {
    return vexa::platform::GetApplicationDataFolder(utf8);
  }
  bool FolderExists(const std::string& utf8) override {
    return vexa::platform::FolderExistsUtf8(utf8);
  }
  bool CreateFolder(const std::string& utf8) override {
    return vexa::platform::CreateFolderUtf8(utf8);
  }
  bool CreateFolderWithAccessList(const std::string& utf8, const char* sddl) override {
    return vexa::platform::CreateFolderWithAccessList(utf8, sddl);
  }
  bool ApplyAccessList(const std::string& utf8, const char* sddl) override {
    return vexa::platform::ApplyAccessList(utf8, sddl);
  }
};

}  // namespace

bool IsValidTableName(std::string_view name) {
  if (name.empty() || name.size() > kMaxTableNameLength) return false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/') return false;
  }
  return true;
}

std::string GameFolderName(const DataFolderNames& names) {
  return names.gameSaves.empty() ? names.gameName : names.gameSaves;
}

std::string ComposeDataFolder(const std::string& base, const DataFolderNames& names) {
  if (base.empty()) return std::string();
  std::string path = base;
  while (path.size() > 1 && EndsWithSeparator(path)) path.pop_back();
  if (!names.maker.empty()) path = JoinAnsi(path, names.maker);
  const std::string game = GameFolderName(names);
  if (!game.empty()) path = JoinAnsi(path, game);
  return path;
}

IFolderOps& SystemFolderOps() {
  static CSystemFolderOps ops;
  return ops;
}

CDataFolder::CDataFolder(IFolderOps* ops) : ops_(ops ? ops : &SystemFolderOps()) {}

void CDataFolder::SetMakerName(const std::string& maker) {
  if (maker.empty()) return;
  std::lock_guard<std::mutex> hold(lock_);
  names_.maker = maker;
}

void CDataFolder::SetGameNames(const std::string& gameSaves, const std::string& gameName) {
  std::lock_guard<std::mutex> hold(lock_);
  names_.gameSaves = gameSaves;
  names_.gameName = gameName;
}

void CDataFolder::SetBaseFolder(const std::string& utf8) {
  std::lock_guard<std::mutex> hold(lock_);
  base_ = utf8;
}

DataFolderNames CDataFolder::GetNames() const {
  std::lock_guard<std::mutex> hold(lock_);
  return names_;
}

bool CDataFolder::TakeNamesAndBase(DataFolderNames* names, std::string* base) const {
  {
    std::lock_guard<std::mutex> hold(lock_);
    *names = names_;
    *base = base_;
  }
  if (base->empty() && !ops_->GetApplicationDataFolder(base)) return false;
  return !base->empty();
}

bool CDataFolder::ComputeDataFolder(std::string* utf8) const {
  DataFolderNames names;
  std::string base;
  if (!TakeNamesAndBase(&names, &base)) return false;
  const std::string path = ComposeDataFolder(base, names);
  if (path.empty()) return false;
  *utf8 = path;
  return true;
}

bool CDataFolder::GetDataFolder(std::string* utf8) {
  DataFolderNames names;
  std::string base;
  if (!TakeNamesAndBase(&names, &base)) return false;
  while (base.size() > 1 && EndsWithSeparator(base)) base.pop_back();

  ops_->CreateFolder(base);
  std::string path = base;
  if (!names.maker.empty()) {
    path = JoinAnsi(path, names.maker);
    bool apply = false;
    if (!ops_->FolderExists(path)) {
      // Created (or created again after it was deleted) with its access list in place.
      ops_->CreateFolderWithAccessList(path, kMakerFolderAccessList);
      apply = true;
    }
    {
      std::lock_guard<std::mutex> hold(lock_);
      // A folder that existed before gets its list once; the explicit call also repairs rights
      // that someone else changed, and makes the inherited entries follow the new list.
      if (applied_.insert(path).second) apply = true;
    }
    if (apply) ops_->ApplyAccessList(path, kMakerFolderAccessList);
  }
  const std::string game = GameFolderName(names);
  if (!game.empty()) {
    path = JoinAnsi(path, game);
    ops_->CreateFolder(path);
  }
  *utf8 = path;
  return true;
}

bool CDataFolder::GetSeedFolder(std::string* utf8) {
  return GetCurrentFolder(utf8);
}

bool GetCurrentFolder(std::string* utf8) {
  return vexa::platform::GetCurrentFolderUtf8(utf8);
}

}  // namespace vexa::storage
