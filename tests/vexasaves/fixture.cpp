// Makes the data folders the vexasaves CLI test works on, through the player's own stores:
//   <work>/good   sets, tables and registry scopes, every file intact;
//   <work>/mixed  the same plus a damaged set file, a damaged copy the player kept, a temporary
//                 file of an interrupted write and two files that are not the player's;
//   <work>/bom.txt an export saved by an editor that puts a UTF-8 byte-order mark in front.
// Usage: vexasaves_fixture <work folder>
#include <cstdio>
#include <string>

#include "platform/filesystem.h"
#include "storage/atomicfile.h"
#include "storage/highscores.h"
#include "storage/savestore.h"
#include "storage/vregistry.h"

namespace {

bool Check(HRESULT hr, const char* what) {
  if (SUCCEEDED(hr)) return true;
  std::fprintf(stderr, "fixture: %s failed (0x%08X)\n", what, static_cast<unsigned>(hr));
  return false;
}

bool Fill(const std::string& folder) {
  vexa::platform::IFileSystem& fs = vexa::platform::NativeFileSystem();
  if (!fs.CreateFolder(folder)) return false;
  vexa::storage::CFixedDataFolders folders(folder, "");
  {
    CSaveStore saves(&folders, nullptr, false);
    bool ok =
        Check(saves.SetSave("saves", 1, "Level 3", "x=1;y=2"), "SS saves 1") &&
        Check(saves.SetSave("saves", 2, "Level \"4\" 100%", "line1\nline2\t\xE9"), "SS saves 2") &&
        Check(saves.SetSave("saves", -5, "", ""), "SS saves -5") &&
        Check(saves.SetSave("profile", 0, "Ann", "<p a=\"1\"/>"), "SS profile");
    if (!ok || !Check(saves.Stop(), "flush")) return false;
  }
  CHighScoreStore scores(&folders);
  CVirtualRegistry registry(&folders);
  registry.SetUserName("alice");
  return Check(scores.SetHighScore(10, "Main", "1000"), "SHS 1000") &&
         Check(scores.SetHighScore(10, "Main", "3 12500"), "SHS 3 12500") &&
         Check(scores.SetHighScore(10, "Main", "500"), "SHS 500") &&
         Check(scores.SetHighScoreAt(2, 0, "Odd", "\"quoted\""), "SHIP") &&
         Check(registry.WriteValue("volume", "80", true), "SK") &&
         Check(registry.WriteValue("Volume", "", true), "SK empty") &&
         Check(registry.WriteValue("name", "Ann \xE9", false), "SUK");
}

bool WriteText(const std::string& path, const std::string& text) {
  return SUCCEEDED(vexa::storage::WriteFileAtomic(nullptr, path, text.data(), text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexasaves_fixture <work folder>\n");
    return 2;
  }
  const std::string work = argv[1];
  const std::string good = work + "/good";
  const std::string mixed = work + "/mixed";
  if (!Fill(good) || !Fill(mixed)) return 1;
  // "broken" begins like a container (magic, compressed mode) and breaks off: a damaged save set.
  const bool extra =
      WriteText(mixed + "/broken", std::string("\xCF\x01\x20\x00", 4) + "cut off") &&
      WriteText(mixed + "/saves.damaged-1", "old bytes") &&
      WriteText(mixed + "/saves.~vexa999-1.tmp", "half") &&
      WriteText(mixed + "/readme.txt", "notes") &&
      WriteText(mixed + "/desktop.ini", "[.ShellClassInfo]\r\nIconResource=game.ico,0\r\n") &&
      WriteText(work + "/bom.txt",
                "\xEF\xBB\xBFvexasaves 1\r\nset \"bom\"\r\nsave 4 \"from Notepad\" \"n\"\r\n");
  return extra ? 0 : 1;
}
