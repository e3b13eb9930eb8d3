#include "installer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace vexa::ship {
namespace {

// ---- How NSIS reads a quoted text ---------------------------------------------------------------
//
// makensis reads a line in three stages, and each one has its own traps:
//  1. Defines: every "${name}" of a defined symbol is replaced, and the replacement is scanned
//     again, so a text kept in a !define is expanded once more at every use (and again when one
//     define is used in another: MultiUser.nsh nests ours). "$${" does not protect it, but
//     "${U+7B}" becomes '{' without a rescan of that character.
//  2. Quotes: "$\"", "$\'" and "$\`" are quote characters in any kind of quotes, even after "$$".
//  3. Texts the installer reads while it runs (registry values, installed paths, window texts)
//     turn "$$" into '$' and read "$name" and "$(name)" as variables and language strings; texts
//     makensis uses itself (version information, File's source path) take '$' as it is.
// So a '$' directly before '{' is written with the template's language string VEXA_LBRACE in
// texts read at run time, and with ${U+7B} in lines that are preprocessed exactly once (the macro
// bodies below). "$\" before a quote or at the end (before the closing quote) has no spelling at
// all and is refused.

// The language string installer.nsi declares with the value "{".
constexpr char kLeftBrace[] = "$(VEXA_LBRACE)";

// A text read while the installer runs, quoted; any number of define expansions leave it intact.
std::string RuntimeString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '$' && i + 1 < text.size() && text[i + 1] == '{') {
      out += "$$";
      out += kLeftBrace;
      ++i;
    } else if (c == '$') {
      out += "$$";
    } else if (c == '"') {
      out += "$\\\"";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A text makensis uses as it is (version information, File's source path), quoted, for a line
// that is preprocessed once: a macro body line of game.nsh.
std::string LiteralString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '$' && i + 1 < text.size() && text[i + 1] == '{') {
      out += "$${U+7B}";
      ++i;
    } else if (c == '"') {
      out += "$\\\"";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A build-machine path kept in a define and used as it is (icon, output file); the caller has
// refused "${", which no spelling keeps through the define's expansions.
std::string DefinedPathString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') {
      out += "$\\\"";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// ---- Checks -------------------------------------------------------------------------------------

// `text` for an error message: quoted, control bytes as \xNN, so the message stays one line.
std::string Shown(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// True for well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t more = 0;
    unsigned min = 0;
    unsigned code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      min = 0x80;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      min = 0x800;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      min = 0x10000;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i <= more) return false;
    for (size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

// Every text of the definitions: UTF-8, no control character (a newline would end the NSIS line,
// a NUL the Windows string), and no "$\" that NSIS would take for an escaped quote.
bool CheckText(const std::string& what, const std::string& text, std::string* error) {
  if (!IsUtf8(text)) {
    *error = what + " " + Shown(text) + " is not UTF-8 text";
    return false;
  }
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      *error = what + " " + Shown(text) + " holds a control character";
      return false;
    }
  }
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '$' || text[i + 1] != '\\') continue;
    const char after = i + 2 < text.size() ? text[i + 2] : '\0';
    if (after == '\0' || after == '"' || after == '\'' || after == '`') {
      *error = what + " " + Shown(text) + " holds \"$\\\" before a quote or at its end, which " +
               "NSIS reads as an escaped quote";
      return false;
    }
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Names Windows gives to devices in every folder, with or without an extension.
bool IsDeviceName(const std::string& name) {
  std::string stem = Lower(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// One folder or file name as Windows stores it. `why` names the fault.
bool IsWindowsName(const std::string& name, std::string* why) {
  if (name.empty()) {
    *why = "has an empty folder name";
    return false;
  }
  if (name == "..") {
    *why = "climbs out of its folder (\"..\")";
    return false;
  }
  if (name == ".") {
    *why = "has a \".\" folder";
    return false;
  }
  for (const char c : name) {
    if (std::strchr("<>:\"/\\|?*", c) != nullptr) {
      *why = std::string("holds '") + c + "', which Windows refuses in file names";
      return false;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    *why = "has a name ending in a dot or space, which Windows drops";
    return false;
  }
  if (IsDeviceName(name)) {
    *why = "uses a name Windows keeps for a device (" + name + ")";
    return false;
  }
  return true;
}

std::vector<std::string> Split(const std::string& path, const char* separators) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path) {
    if (std::strchr(separators, c) != nullptr) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

std::string Join(const std::vector<std::string>& parts, size_t count, char separator) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

// A relative path below a known folder: its names, each a valid Windows name.
bool SplitRelative(const std::string& what, const std::string& path, const char* separators,
                   size_t min_levels, std::vector<std::string>* parts, std::string* error) {
  if (!CheckText(what, path, error)) return false;
  *parts = Split(path, separators);
  std::string why;
  if (path.empty()) {
    why = "is empty";
  } else if (std::strchr(separators, path[0]) != nullptr) {
    why = "is not relative";
  } else if (parts->size() < min_levels) {
    why = "needs at least " + std::to_string(min_levels) + " levels";
  } else {
    // ".." first: a name that climbs out is the fault to report even if a later name is odd too.
    for (const std::string& part : *parts) {
      if (part == "..") {
        IsWindowsName(part, &why);
        break;
      }
    }
    for (size_t i = 0; why.empty() && i < parts->size(); ++i) IsWindowsName((*parts)[i], &why);
  }
  if (!why.empty()) {
    *error = what + " " + Shown(path) + " " + why;
    return false;
  }
  return true;
}

// A registry key below HKCU, at least two levels, '\\' between them.
bool CheckRegistryPath(const std::string& what, const std::string& key, std::string* error) {
  if (!CheckText(what, key, error)) return false;
  const std::vector<std::string> parts = Split(key, "\\");
  std::string why;
  if (parts.size() < 2) {
    why = "needs at least 2 levels";
  } else if (std::find(parts.begin(), parts.end(), std::string()) != parts.end()) {
    why = "has an empty key name";
  }
  if (!why.empty()) {
    *error = what + " " + Shown(key) + " " + why;
    return false;
  }
  return true;
}

bool IsVersion(const std::string& version) {
  const std::vector<std::string> parts = Split(version, ".");
  if (parts.size() != 4) return false;
  for (const std::string& part : parts) {
    if (part.empty() || part.size() > 5) return false;
    for (const char c : part) {
      if (c < '0' || c > '9') return false;
    }
    if (std::stoul(part) > 65535) return false;
  }
  return true;
}

// A file name made from the product name for the shortcut and the default install folder: the
// characters Windows refuses replaced or dropped. Empty when nothing usable is left.
std::string FileNameFrom(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      out += '\'';
    } else if (c == ':') {
      out += (i + 1 < text.size() && text[i + 1] == ' ') ? " -" : "-";
    } else if (c == '/' || c == '\\' || c == '|') {
      out += '-';
    } else if (std::strchr("<>?*", c) == nullptr) {
      out += c;
    }
  }
  std::string collapsed;
  for (const char c : out) {
    if (c == ' ' && (collapsed.empty() || collapsed.back() == ' ')) continue;
    collapsed += c;
  }
  while (!collapsed.empty() && (collapsed.back() == ' ' || collapsed.back() == '.')) {
    collapsed.pop_back();
  }
  if (IsDeviceName(collapsed)) return std::string();
  return collapsed;
}

// A quoted run-time path: the NSIS folder `root` ("$INSTDIR"), then `relative` when not empty.
std::string Below(const char* root, const std::string& relative) {
  if (relative.empty()) return std::string("\"") + root + "\"";
  return std::string("\"") + root + "\\" + RuntimeString(relative).substr(1);
}

std::string Define(const std::string& name, const std::string& quoted) {
  return "!define " + name + " " + quoted + "\n";
}

// One listed file: its names as listed (they spell its source path) and as installed.
struct ListedFile {
  std::vector<std::string> parts;
  std::string folder;      // '\\' between names; a folder's first spelling in the list, for all
  std::string folder_key;  // lower case
  std::string installed;   // folder and file name
};

struct FileList {
  std::vector<ListedFile> files;
  std::map<std::string, std::string> folders;  // every folder on the way: lower case -> spelling
};

bool ListFiles(const InstallerSpec& spec, FileList* list, std::string* error) {
  if (spec.files.empty()) {
    *error = "no files to install";
    return false;
  }
  std::map<std::string, std::string> seen;  // lower-case full name -> as listed
  for (const std::string& name : spec.files) {
    ListedFile file;
    if (!SplitRelative("file", name, "/\\", 1, &file.parts, error)) return false;
    const auto [where, added] =
        seen.emplace(Lower(Join(file.parts, file.parts.size(), '\\')), name);
    if (!added) {
      *error = "file " + Shown(name) + " is listed twice (also as " + Shown(where->second) +
               "; Windows does not tell case apart)";
      return false;
    }
    // Windows sees "Addons" and "addons" as one folder: the first spelling names it everywhere.
    for (size_t depth = 1; depth < file.parts.size(); ++depth) {
      const std::string key = Lower(Join(file.parts, depth, '\\'));
      if (list->folders.count(key) != 0) continue;
      const std::string parent = Lower(Join(file.parts, depth - 1, '\\'));
      list->folders[key] =
          depth == 1 ? file.parts[0] : list->folders[parent] + "\\" + file.parts[depth - 1];
    }
    file.folder_key = Lower(Join(file.parts, file.parts.size() - 1, '\\'));
    file.folder = file.folder_key.empty() ? std::string() : list->folders[file.folder_key];
    file.installed = (file.folder.empty() ? std::string() : file.folder + "\\") + file.parts.back();
    list->files.push_back(std::move(file));
  }
  for (const auto& [full, name] : seen) {
    if (list->folders.count(full) != 0) {
      *error = "file " + Shown(name) + " is also the name of a folder of other files";
      return false;
    }
  }
  return true;
}

// Folders deepest first, so each is empty of folders when the uninstaller removes it.
std::vector<std::string> FoldersDeepestFirst(const std::map<std::string, std::string>& folders) {
  std::vector<std::string> out;
  for (const auto& folder : folders) out.push_back(folder.second);
  auto depth = [](const std::string& folder) {
    return std::count(folder.begin(), folder.end(), '\\');
  };
  std::stable_sort(out.begin(), out.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
  return out;
}

}  // namespace

bool MakeInstallerDefinitions(const InstallerSpec& spec, std::string* text, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;

  // Texts.
  if (spec.product.empty()) {
    *error = "the product name is empty";
    return false;
  }
  const std::pair<const char*, const std::string*> texts[] = {{"product name", &spec.product},
                                                              {"company", &spec.company},
                                                              {"copyright", &spec.copyright},
                                                              {"description", &spec.description},
                                                              {"uninstall id", &spec.uninstall_id}};
  for (const auto& [what, value] : texts) {
    if (!CheckText(what, *value, error)) return false;
  }
  if (!IsVersion(spec.version)) {
    *error = "version " + Shown(spec.version) + " is not four numbers 0..65535 (a.b.c.d)";
    return false;
  }

  // Names in the install folder.
  if (spec.exe_name.empty()) {
    *error = "the exe name is empty";
    return false;
  }
  std::vector<std::string> parts;
  if (!SplitRelative("exe name", spec.exe_name, "/\\", 1, &parts, error)) return false;
  if (parts.size() != 1) {
    *error = "exe name " + Shown(spec.exe_name) + " is not a file of the top folder";
    return false;
  }
  const std::string exe_lower = Lower(spec.exe_name);
  if (exe_lower.size() < 5 || exe_lower.compare(exe_lower.size() - 4, 4, ".exe") != 0) {
    *error = "exe name " + Shown(spec.exe_name) + " does not end in .exe";
    return false;
  }
  FileList list;
  if (!ListFiles(spec, &list, error)) return false;
  const std::vector<ListedFile>& files = list.files;
  const bool exe_listed = std::any_of(files.begin(), files.end(), [&](const ListedFile& file) {
    return file.parts.size() == 1 && Lower(file.parts[0]) == Lower(spec.exe_name);
  });
  if (!exe_listed) {
    *error = "exe " + Shown(spec.exe_name) + " is not among the files to install";
    return false;
  }

  std::string shortcut = FileNameFrom(spec.product);
  if (shortcut.empty()) shortcut = FileNameFrom(spec.exe_name.substr(0, spec.exe_name.size() - 4));
  if (shortcut.empty()) shortcut = "Game";
  std::string install_name = spec.install_name.empty() ? shortcut : spec.install_name;
  std::string why;
  if (!CheckText("install name", install_name, error)) return false;
  if (!IsWindowsName(install_name, &why)) {
    *error = "install name " + Shown(install_name) + " " + why;
    return false;
  }
  const std::string uninstall_id = spec.uninstall_id.empty() ? install_name : spec.uninstall_id;
  if (uninstall_id.find('\\') != std::string::npos) {
    *error = "uninstall id " + Shown(uninstall_id) + " holds '\\', which would make a sub-key";
    return false;
  }

  std::vector<std::string> saves;
  if (!spec.saves_folder.empty() &&
      !SplitRelative("saves folder", spec.saves_folder, "/\\", 2, &saves, error)) {
    return false;
  }
  if (!spec.settings_key.empty() && !CheckRegistryPath("settings key", spec.settings_key, error)) {
    return false;
  }

  // Build-machine paths.
  const std::pair<const char*, const std::string*> paths[] = {{"source folder", &spec.source_dir},
                                                              {"icon", &spec.icon_path},
                                                              {"output file", &spec.out_file}};
  for (const auto& [what, value] : paths) {
    if (!CheckText(what, *value, error)) return false;
  }
  if (spec.source_dir.empty()) {
    *error = "the source folder is empty";
    return false;
  }
  if (spec.source_dir.find_first_of("*?") != std::string::npos) {
    *error = "source folder " + Shown(spec.source_dir) + " holds '*' or '?', which File reads as " +
             "a wildcard";
    return false;
  }
  if (spec.out_file.empty()) {
    *error = "the output file is empty";
    return false;
  }
  for (const auto& [what, value] : {paths[1], paths[2]}) {
    if (value->find("${") != std::string::npos) {
      *error = std::string(what) + " " + Shown(*value) + " holds \"${\", which NSIS reads as a " +
               "symbol";
      return false;
    }
  }
  // A Windows build machine names its folders with '\\'; makensis there takes either separator,
  // makensis on Linux only '/'.
  const char source_separator = spec.source_dir.find('\\') != std::string::npos ? '\\' : '/';
  std::string source_dir = spec.source_dir;
  while (source_dir.size() > 1 && (source_dir.back() == '/' || source_dir.back() == '\\')) {
    source_dir.pop_back();
  }

  std::string product_amp;  // for dialog labels, where '&' marks a shortcut key
  for (const char c : spec.product) {
    product_amp += c;
    if (c == '&') product_amp += '&';
  }

  std::string out;
  out +=
      "; The game installer.nsi installs: written by vexaship for each build, do not edit.\n"
      "; Texts read at run time spell \"${\" with the language string VEXA_LBRACE of "
      "installer.nsi.\n";
  out += Define("VEXA_PRODUCT", RuntimeString(spec.product));
  out += Define("VEXA_PRODUCT_AMP", RuntimeString(product_amp));
  out += Define("VEXA_COMPANY", RuntimeString(spec.company));
  out += Define("VEXA_VERSION", RuntimeString(spec.version));
  out += Define("VEXA_DESCRIPTION", RuntimeString(spec.description));
  out += Define("VEXA_EXE", RuntimeString(parts[0]));
  out += Define("VEXA_INSTALL_NAME", RuntimeString(install_name));
  out += Define("VEXA_UNINSTALL_ID", RuntimeString(uninstall_id));
  out += Define("VEXA_SHORTCUT_NAME", RuntimeString(shortcut));
  if (!saves.empty())
    out += Define("VEXA_SAVES_FOLDER", RuntimeString(Join(saves, saves.size(), '\\')));
  if (!spec.settings_key.empty())
    out += Define("VEXA_SETTINGS_KEY", RuntimeString(spec.settings_key));
  if (spec.x64) out += "!define VEXA_X64\n";
  if (!spec.icon_path.empty()) out += Define("VEXA_ICON", DefinedPathString(spec.icon_path));
  out += Define("VEXA_OUTFILE", DefinedPathString(spec.out_file));

  // Lines inside macros are preprocessed once, when inserted: the version information and File's
  // source paths, which makensis reads itself, live there.
  out += "\n!macro VEXA_VERSION_INFO\n";
  const std::pair<const char*, std::string> keys[] = {{"ProductName", spec.product},
                                                      {"CompanyName", spec.company},
                                                      {"FileDescription", spec.product + " Setup"},
                                                      {"LegalCopyright", spec.copyright},
                                                      {"FileVersion", spec.version},
                                                      {"ProductVersion", spec.version},
                                                      {"Comments", spec.description}};
  for (const auto& [key, value] : keys) {
    // An empty value would make makensis warn about a missing standard key.
    if (value.empty()) continue;
    out += "  VIAddVersionKey /LANG=${LANG_ENGLISH} " + std::string(key) + " " +
           LiteralString(value) + "\n";
  }
  out += "!macroend\n";

  // Files grouped by folder (top folder first, then in the order the list names them), one
  // SetOutPath for each.
  std::vector<std::string> folder_order = {std::string()};
  for (const ListedFile& file : files) {
    if (std::find(folder_order.begin(), folder_order.end(), file.folder_key) ==
        folder_order.end()) {
      folder_order.push_back(file.folder_key);
    }
  }
  out += "\n!macro VEXA_INSTALL_FILES\n";
  for (const std::string& key : folder_order) {
    bool opened = false;
    for (const ListedFile& file : files) {
      if (file.folder_key != key) continue;
      if (!opened) {
        out += "  SetOutPath " + Below("$INSTDIR", file.folder) + "\n";
        opened = true;
      }
      out += "  File " +
             LiteralString(source_dir + source_separator +
                           Join(file.parts, file.parts.size(), source_separator)) +
             "\n";
    }
  }
  out += "!macroend\n";

  out += "\n!macro VEXA_UNINSTALL_FILES\n";
  for (const ListedFile& file : files) {
    out += "  Delete " + Below("$INSTDIR", file.installed) + "\n";
  }
  for (const std::string& folder : FoldersDeepestFirst(list.folders)) {
    out += "  RMDir " + Below("$INSTDIR", folder) + "\n";
  }
  out += "!macroend\n";

  if (!saves.empty()) {
    // The saves folder with everything in it, then its parents and the settings key's parents
    // only when nothing else is left in them (other games of the same maker keep theirs).
    out += "\n!macro VEXA_DELETE_SAVES\n";
    out += "  RMDir /r " + Below("$APPDATA", Join(saves, saves.size(), '\\')) + "\n";
    for (size_t depth = saves.size() - 1; depth >= 1; --depth) {
      out += "  RMDir " + Below("$APPDATA", Join(saves, depth, '\\')) + "\n";
    }
    if (!spec.settings_key.empty()) {
      const std::vector<std::string> levels = Split(spec.settings_key, "\\");
      out += "  DeleteRegKey HKCU " + RuntimeString(spec.settings_key) + "\n";
      for (size_t depth = levels.size() - 1; depth >= 2; --depth) {
        out += "  DeleteRegKey /ifempty HKCU " + RuntimeString(Join(levels, depth, '\\')) + "\n";
      }
    }
    out += "!macroend\n";
  }

  *text = std::move(out);
  return true;
}

}  // namespace vexa::ship
