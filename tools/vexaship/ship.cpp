#include "ship.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "commands.h"
#include "data/carried.h"
#include "data/package.h"
#include "installer.h"
#include "pe.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/spawn.h"
#include "script/xml.h"
#include "zipwriter.h"

namespace vexa::ship {

namespace {

namespace fs = std::filesystem;
namespace platform = vexa::platform;
using pe::ResourceId;

// The plug-in entry points the player calls; a DLL without them cannot be hosted.
const char* const kPluginExports[] = {"NP_GetEntryPoints", "NP_Initialize", "NP_Shutdown"};

// The player's icon group (src/app/resource.h IDR_MAINFRAME) and its maker string (IDS_PROVIDER).
constexpr uint16_t kMainIconGroup = 128;
constexpr uint16_t kProviderStringId = 136;
constexpr uint16_t kRtString = 6;

void Error(const std::string& message) {
  std::fprintf(stderr, "vexaship: error: %s\n", message.c_str());
}

void Warning(const std::string& message) {
  std::fprintf(stderr, "vexaship: warning: %s\n", message.c_str());
}

void Say(const std::string& message) {
  std::printf("vexaship: %s\n", message.c_str());
  std::fflush(stdout);
}

// Paths and texts arrive in the host's narrow encoding (the ANSI code page on Windows, UTF-8
// elsewhere) and go to the platform layer as they are; the version resource, the zip's names and
// the installer's definitions want UTF-8.
std::string ToUtf8(const std::string& narrow) {
  return platform::WideToUtf8(platform::AnsiToWide(narrow));
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         Lower(text.substr(text.size() - suffix.size())) == Lower(suffix);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

// The last component of a '\\'-separated name.
std::string BaseName(const std::string& name) {
  const size_t cut = name.find_last_of("\\/");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

using GameFile = FolderFile;

bool CollectFiles(const std::string& folder, std::vector<GameFile>* files) {
  std::string error;
  if (CollectFolderFiles(folder, files, &error)) return true;
  Error(error);
  return false;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes, const char* what) {
  if (!platform::ReadFileBytes(path, bytes)) {
    Error(std::string("cannot read ") + what + " '" + path + "'");
    return false;
  }
  return true;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (!platform::WriteFileBytes(path, bytes.data(), bytes.size())) {
    Error("cannot write '" + path + "' (disk full, or no permission?)");
    return false;
  }
  return true;
}

// A file name Windows accepts, from a product name: characters Windows forbids in names dropped,
// trailing dots and spaces trimmed.
std::string SafeFileName(const std::string& text) {
  std::string name;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) continue;
    name.push_back(c);
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(name.begin());
  return name;
}

// The literal text of an expression that is nothing but one quoted string ('x' or "x"), else
// empty.
std::string QuotedLiteral(const std::string& expr) {
  size_t first = expr.find_first_not_of(" \t\r\n");
  size_t last = expr.find_last_not_of(" \t\r\n");
  if (first == std::string::npos || last <= first) return {};
  const char quote = expr[first];
  if ((quote != '\'' && quote != '"') || expr[last] != quote) return {};
  const std::string inner = expr.substr(first + 1, last - first - 1);
  if (inner.find(quote) != std::string::npos) return {};
  return inner;
}

void CollectMovies(const CXMLElement* element, std::vector<std::string>* urls) {
  // An explicit stack: a hostile init.xml may nest deeply.
  std::vector<const CXMLElement*> pending{element};
  while (!pending.empty()) {
    const CXMLElement* current = pending.back();
    pending.pop_back();
    if (Lower(current->GetName().str()) == "movie") {
      CSmallStr url;
      if (current->GetAttribute("url", url)) urls->push_back(url.str());
    }
    for (const CXMLElement* child : current->GetChildren()) pending.push_back(child);
  }
}

// A movie URL as a name in the package, or empty when the URL is not a plain relative file name
// (tokens, pseudo URLs, web addresses, disk paths: those are the script's business at run time).
std::string MovieEntryName(std::string url) {
  const size_t query = url.find('?');
  if (query != std::string::npos) url.resize(query);
  if (url.empty() || url.find('#') != std::string::npos || url.find(':') != std::string::npos ||
      url.find('%') != std::string::npos || url.front() == '/' || url.front() == '\\')
    return {};
  std::replace(url.begin(), url.end(), '/', '\\');
  while (url.compare(0, 2, ".\\") == 0) url.erase(0, 2);
  if (url.find("..") != std::string::npos) return {};
  return url;
}

// The string `id` of the program's string table, from its resources (language-independent).
std::string ReadTableString(const pe::ResourceTree& tree, uint16_t id) {
  const pe::ResourceData* block = tree.Find(ResourceId::Number(kRtString),
                                            ResourceId::Number(static_cast<uint16_t>(id / 16 + 1)));
  if (!block) return {};
  const std::vector<uint8_t>& b = block->bytes;
  size_t pos = 0;
  for (uint16_t index = 0; index <= id % 16; ++index) {
    if (pos + 2 > b.size()) return {};
    const size_t length = b[pos] | (b[pos + 1] << 8);
    pos += 2;
    if (pos + length * 2 > b.size()) return {};
    if (index == id % 16) {
      std::string text;
      for (size_t i = 0; i < length; ++i) {
        const unsigned unit = b[pos + 2 * i] | (b[pos + 2 * i + 1] << 8);
        if (unit > 0x7F) return {};  // the maker's name is ASCII in every player we build
        text.push_back(static_cast<char>(unit));
      }
      return text;
    }
    pos += length * 2;
  }
  return {};
}

// An .ico file of the icon group `group` (for the installer when no --icon was given).
std::vector<uint8_t> IcoFromGroup(const pe::ResourceTree& tree, uint16_t group) {
  const pe::ResourceData* dir =
      tree.Find(ResourceId::Number(pe::kRtGroupIcon), ResourceId::Number(group));
  if (!dir || dir->bytes.size() < 6) return {};
  const std::vector<uint8_t>& g = dir->bytes;
  const size_t count = g[4] | (g[5] << 8);
  if (6 + count * 14 > g.size()) return {};
  std::vector<std::vector<uint8_t>> images;
  std::vector<uint8_t> out = {
      0, 0, 1, 0, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = &g[6 + i * 14];
    const uint16_t icon_id = static_cast<uint16_t>(e[12] | (e[13] << 8));
    const pe::ResourceData* image =
        tree.Find(ResourceId::Number(pe::kRtIcon), ResourceId::Number(icon_id));
    if (!image) return {};
    images.push_back(image->bytes);
  }
  uint32_t offset = static_cast<uint32_t>(6 + count * 16);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = &g[6 + i * 14];
    out.insert(out.end(), e, e + 8);  // width, height, colours, reserved, planes, bit count
    const uint32_t size = static_cast<uint32_t>(images[i].size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(size >> shift));
    for (int shift = 0; shift < 32; shift += 8)
      out.push_back(static_cast<uint8_t>(offset >> shift));
    offset += size;
  }
  for (const std::vector<uint8_t>& image : images)
    out.insert(out.end(), image.begin(), image.end());
  return out;
}

// Debug builds of the player carry DWARF sections (named through the COFF string table).
bool LooksLikeDebugBuild(const std::vector<uint8_t>& image) {
  static const char kMarker[] = ".debug_info";
  return std::search(image.begin(), image.end(), kMarker, kMarker + sizeof kMarker) != image.end();
}

bool CheckPeArchitecture(const pe::PeImage& image, pe::Machine expected, const std::string& what,
                         const std::string& path) {
  if (image.machine() != expected) {
    Error(what + " '" + path + "' is built for " + pe::MachineName(image.machine()) +
          ", the game for " + pe::MachineName(expected) +
          " (choose --arch, or build the DLL for the other architecture)");
    return false;
  }
  return true;
}

bool LoadPlugin(const std::string& path, pe::Machine machine, std::vector<uint8_t>* bytes) {
  if (!ReadFile(path, bytes, "the plug-in")) return false;
  pe::PeImage image;
  std::string error;
  if (!image.Parse(*bytes, &error)) {
    Error("the plug-in '" + path + "' is not a Windows DLL: " + error);
    return false;
  }
  if (!image.is_dll()) {
    Error("the plug-in '" + path + "' is a program, not a DLL");
    return false;
  }
  if (!CheckPeArchitecture(image, machine, "the plug-in", path)) return false;
  std::vector<std::string> names;
  if (!image.ExportNames(&names, &error)) {
    Error("the plug-in '" + path + "' has a damaged export table: " + error);
    return false;
  }
  std::vector<std::string> missing;
  for (const char* needed : kPluginExports)
    if (std::find(names.begin(), names.end(), needed) == names.end()) missing.push_back(needed);
  if (!missing.empty()) {
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    Error("the plug-in '" + path + "' is not an NPAPI plug-in: it does not export " + list);
    return false;
  }
  return true;
}

// The hexadecimal digest after "<label> :" in osslsigncode's report, or empty.
std::string DigestLine(const std::string& report, const std::string& label) {
  const size_t at = report.find(label);
  if (at == std::string::npos) return {};
  const size_t colon = report.find(':', at);
  const size_t end = report.find('\n', at);
  if (colon == std::string::npos || (end != std::string::npos && colon > end)) return {};
  std::string digest;
  for (size_t i = colon + 1; i < report.size() && report[i] != '\n'; ++i)
    if (std::isxdigit(static_cast<unsigned char>(report[i]))) digest.push_back(report[i]);
  return digest;
}

bool ReadPassword(const std::string& path, std::string* password) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, &bytes, "the password file")) return false;
  std::string text(bytes.begin(), bytes.end());
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  *password = text;
  return true;
}

// Signs `file` in place and checks the signature. osslsigncode where it is installed (Linux, and
// Windows when on the PATH), else signtool.
bool SignFile(const ShipOptions& options, const std::string& file, const std::string& product) {
  const std::string signed_file = file + ".signed";
  platform::RemoveFile(signed_file);
  std::string output, error;
  int code = -1;
  if (platform::FindProgram("osslsigncode", nullptr)) {
    if (!platform::RunProgram({"osslsigncode", "sign", "-pkcs12", options.sign_certificate,
                               "-readpass", options.sign_password_file, "-h", "sha256", "-n",
                               product, "-in", file, "-out", signed_file},
                              &code, &output, &error) ||
        code != 0) {
      Error("signing '" + file + "' failed: " + (error.empty() ? output : error));
      platform::RemoveFile(signed_file);
      return false;
    }
    output.clear();
    if (!platform::RunProgram({"osslsigncode", "verify", "-in", signed_file}, &code, &output,
                              &error)) {
      Error("cannot check the signature of '" + file + "': " + error);
      platform::RemoveFile(signed_file);
      return false;
    }
    // The signature must cover the file as it is. Whether this machine trusts the certificate's
    // issuer is another question: a self-signed or in-house certificate verifies only there.
    const std::string current = DigestLine(output, "Current message digest");
    if (current.empty() || current != DigestLine(output, "Calculated message digest")) {
      Error("the signature of '" + file + "' does not match the file:\n" + output);
      platform::RemoveFile(signed_file);
      return false;
    }
    if (output.find("Signature verification: ok") == std::string::npos)
      Warning("the signature of '" + file +
              "' is sound, but this machine does not trust its certificate (self-signed, or an "
              "authority it does not know): Windows will call the publisher unknown");
    std::error_code ec;
    fs::rename(fs::path(signed_file), fs::path(file), ec);
    if (ec) {
      Error("cannot replace '" + file + "' with its signed copy: " + ec.message());
      return false;
    }
    return true;
  }
  if (platform::FindProgram("signtool", nullptr)) {
    std::string password;
    if (!ReadPassword(options.sign_password_file, &password)) return false;
    if (!platform::RunProgram({"signtool", "sign", "/fd", "SHA256", "/f", options.sign_certificate,
                               "/p", password, "/d", product, file},
                              &code, &output, &error) ||
        code != 0) {
      Error("signtool could not sign '" + file + "': " + (error.empty() ? output : error));
      return false;
    }
    output.clear();
    if (!platform::RunProgram({"signtool", "verify", "/pa", file}, &code, &output, &error) ||
        code != 0) {
      Error("the signature of '" + file + "' does not verify: " + (error.empty() ? output : error));
      return false;
    }
    return true;
  }
  Error("--sign needs osslsigncode (Debian package osslsigncode) or signtool on the PATH");
  return false;
}

bool RemoveTree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(fs::path(path), ec);
  return !ec;
}

}  // namespace

const char* ShipUsage() {
  return "usage: vexaship <game folder> --out <folder> --plugin <npapi dll> [options]\n"
         "\n"
         "Makes <out>/<Name>/ with the game's own executable (the runtime player carrying the\n"
         "plug-in, icon and version information given), data.pak, plug-in libraries and Addons.\n"
         "\n"
         "  --arch i686|x86_64        the player to ship (default i686, the 32-bit player)\n"
         "  --runtime <player.exe>    the runtime player to start from (default: the kit's)\n"
         "  --exe-name NAME           the executable's name (default: from the product name)\n"
         "  --icon <file.ico>         the executable's icon (every size in the file)\n"
         "  --version a.b.c.d         file and product version (default 1.0.0.0)\n"
         "  --product TEXT            product name (default: the game's GAMENAME)\n"
         "  --company TEXT, --description TEXT, --copyright TEXT\n"
         "  --saves-folder NAME       the game's saves folder name, when init.xml does not set\n"
         "                            GAMESAVES or GAMENAME to a plain text\n"
         "  --single-file             carry data.pak and the add-ons inside the executable\n"
         "  --zip                     also write <out>/<Name>-<version>.zip\n"
         "  --installer               also write <out>/<Name>-<version>-setup.exe (needs "
         "makensis)\n"
         "  --makensis <path>         the makensis to use (default: makensis on the PATH)\n"
         "  --sign <cert.pfx> --sign-password-file <file>\n"
         "                            sign the executable and the installer (osslsigncode or\n"
         "                            signtool) and verify the signatures\n"
         "\n"
         "Exit status: 0 shipped, 1 failed, 2 wrong usage.\n";
}

bool ParseShipArguments(const std::vector<std::string>& args, ShipOptions* options,
                        std::string* error) {
  std::map<std::string, std::string*> values = {
      {"--out", &options->out_folder},
      {"--plugin", &options->plugin},
      {"--arch", &options->arch},
      {"--runtime", &options->runtime},
      {"--exe-name", &options->exe_name},
      {"--icon", &options->icon},
      {"--version", &options->version},
      {"--product", &options->product},
      {"--company", &options->company},
      {"--description", &options->description},
      {"--copyright", &options->copyright},
      {"--saves-folder", &options->saves_folder},
      {"--sign", &options->sign_certificate},
      {"--sign-password-file", &options->sign_password_file},
      {"--makensis", &options->makensis},
  };
  std::map<std::string, bool*> flags = {
      {"--single-file", &options->single_file},
      {"--installer", &options->installer},
      {"--zip", &options->zip},
  };
  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 1 && arg[0] == '-') {
      if (!seen.insert(arg).second) {
        *error = arg + " is given twice";
        return false;
      }
      if (auto flag = flags.find(arg); flag != flags.end()) {
        *flag->second = true;
        continue;
      }
      auto value = values.find(arg);
      if (value == values.end()) {
        *error = "unknown option " + arg;
        return false;
      }
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *value->second = args[++i];
      continue;
    }
    if (!options->game_folder.empty()) {
      *error = "more than one game folder: '" + options->game_folder + "' and '" + arg + "'";
      return false;
    }
    options->game_folder = arg;
  }
  if (options->game_folder.empty()) {
    *error = "no game folder given";
    return false;
  }
  if (options->out_folder.empty()) {
    *error = "--out <folder> is required";
    return false;
  }
  if (options->plugin.empty()) {
    *error = "--plugin <npapi dll> is required (the kit's stand-in DLLs play scene movies)";
    return false;
  }
  if (options->arch != "i686" && options->arch != "x86_64") {
    *error = "--arch must be i686 or x86_64, not '" + options->arch + "'";
    return false;
  }
  uint16_t version[4];
  if (!pe::ParseVersion(options->version, version)) {
    *error =
        "--version must be a.b.c.d with numbers from 0 to 65535, not '" + options->version + "'";
    return false;
  }
  // Always four numbers from here on: file names, version resources and the installer use them.
  options->version = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
                     std::to_string(version[2]) + "." + std::to_string(version[3]);
  if (options->sign_certificate.empty() != options->sign_password_file.empty()) {
    *error = "--sign and --sign-password-file go together";
    return false;
  }
  if (!options->exe_name.empty()) {
    std::string name = options->exe_name;
    if (EndsWithNoCase(name, ".exe")) name.resize(name.size() - 4);
    if (name.empty() || SafeFileName(name) != name) {
      *error = "--exe-name '" + options->exe_name + "' is not a file name Windows accepts";
      return false;
    }
    options->exe_name = name;
  }
  return true;
}

std::vector<std::string> DefaultRuntimeCandidates(const std::string& tool_folder,
                                                  const std::string& arch) {
  return {Join(tool_folder, "../../runtime/" + arch + "/vexa_player.exe"),
          Join(tool_folder, "runtime/" + arch + "/vexa_player.exe")};
}

std::string DevelopmentFileReason(const std::string& name) {
  const std::string base = Lower(BaseName(name));
  if (base == "vexa-diagnostics.log")
    return "a diagnostic log: the player writes one whenever this file lies beside it";
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    if (end > start && name[start] == '.') return "a hidden development file or folder";
    start = end + 1;
  }
  if (base == "thumbs.db" || base == "desktop.ini") return "a file Windows Explorer made";
  if (!base.empty() && base.back() == '~') return "an editor's backup copy";
  static const char* const kDevelopmentTypes[] = {".fla", ".psd",  ".xcf", ".bak", ".tmp",
                                                  ".swp", ".orig", ".pdb", ".exe"};
  for (const char* type : kDevelopmentTypes) {
    if (EndsWithNoCase(base, type)) {
      return std::string(type) == ".exe" ? "a program (a player or tool left in the game folder)"
                                         : "a development file";
    }
  }
  return {};
}

void CheckGame(const std::string& init_xml_text, const std::vector<std::string>& files,
               GameCheck* check) {
  CXMLParser parser;
  if (!parser.ParseDocument(init_xml_text.c_str()) || !parser.GetRoot()) {
    check->errors.push_back(
        "init.xml does not parse: no element could be read, a start tag has no '>', a comment "
        "or processing instruction is not closed, or it nests too deeply");
    return;
  }
  const CXMLElement* root = parser.GetRoot();
  for (const CXMLElement* child : root->GetChildren()) {
    const std::string element = Lower(child->GetName().str());
    if (element != "assign" && element != "var") continue;
    CSmallStr name, expr;
    if (!child->GetAttribute("name", name) || !child->GetAttribute("expr", expr)) continue;
    const std::string literal = QuotedLiteral(expr.str());
    if (name.str() == "GAMENAME" && !literal.empty()) check->game_name = literal;
    if (name.str() == "GAMESAVES" && !literal.empty()) check->game_saves = literal;
  }
  std::vector<std::string> urls;
  CollectMovies(root, &urls);
  if (urls.empty()) check->warnings.push_back("init.xml opens no <movie url=\"...\">");
  std::set<std::string> lowered;
  for (const std::string& file : files) lowered.insert(Lower(file));
  for (const std::string& url : urls) {
    const std::string entry = MovieEntryName(url);
    if (entry.empty()) continue;
    if (!lowered.count(Lower(entry)))
      check->errors.push_back("init.xml opens the movie '" + url +
                              "', which is not in the game folder");
  }
}

int Ship(const ShipOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  const pe::Machine machine = options.arch == "x86_64" ? pe::Machine::kAmd64 : pe::Machine::kI386;
  if (!platform::IsDirectory(options.game_folder)) {
    Error("'" + options.game_folder + "' is not a folder");
    return 1;
  }

  // --- The game's files ------------------------------------------------------------------------
  std::vector<GameFile> all;
  if (!CollectFiles(options.game_folder, &all)) return 1;
  // An output folder inside the game folder (`vexaship . --out dist`) holds earlier shipped games:
  // never ship those again.
  std::string out_inside;
  {
    std::error_code ec;
    const fs::path game = fs::weakly_canonical(fs::path(options.game_folder), ec);
    const fs::path out = fs::weakly_canonical(fs::path(options.out_folder), ec);
    const fs::path relative = out.lexically_relative(game);
    if (!ec && !relative.empty() && *relative.begin() != ".." && relative != ".") {
      out_inside = Lower(relative.string());
      std::replace(out_inside.begin(), out_inside.end(), '/', '\\');
      out_inside += "\\";
    } else if (!ec && relative == ".") {
      Error("the output folder cannot be the game folder itself");
      return 1;
    }
  }
  std::vector<GameFile> packed, libraries, addon_files;
  for (const GameFile& file : all) {
    const std::string lower = Lower(file.name);
    if (!out_inside.empty() && lower.compare(0, out_inside.size(), out_inside) == 0) continue;
    if (lower.compare(0, 7, "addons\\") == 0) {
      addon_files.push_back(file);
      continue;
    }
    if (lower.find('\\') == std::string::npos && EndsWithNoCase(lower, ".dll")) {
      libraries.push_back(file);
      continue;
    }
    const std::string reason = DevelopmentFileReason(file.name);
    if (!reason.empty()) {
      Warning("left out " + file.name + ": " + reason);
      continue;
    }
    packed.push_back(file);
  }
  std::vector<std::string> packed_names;
  for (const GameFile& file : packed) packed_names.push_back(file.name);
  std::vector<uint8_t> init_bytes;
  const auto init = std::find_if(packed.begin(), packed.end(), [](const GameFile& file) {
    return Lower(file.name) == "init.xml";
  });
  if (init == packed.end()) {
    Error("the game folder has no init.xml at its top level");
    return 1;
  }
  if (!ReadFile(init->path, &init_bytes, "init.xml")) return 1;
  GameCheck check;
  CheckGame(std::string(init_bytes.begin(), init_bytes.end()), packed_names, &check);
  for (const std::string& warning : check.warnings) Warning(warning);
  for (const std::string& error : check.errors) Error(error);
  if (!check.errors.empty()) return 1;

  // --- The runtime player ----------------------------------------------------------------------
  std::string runtime = options.runtime;
  if (runtime.empty()) {
    for (const std::string& candidate :
         DefaultRuntimeCandidates(platform::ExecutableFolder(), options.arch)) {
      if (platform::PathExists(candidate)) {
        runtime = candidate;
        break;
      }
    }
    if (runtime.empty()) {
      Error("no runtime player for " + options.arch + " beside vexaship (the kit's runtime/" +
            options.arch + "/vexa_player.exe); name one with --runtime");
      return 1;
    }
  }
  std::vector<uint8_t> runtime_bytes;
  if (!ReadFile(runtime, &runtime_bytes, "the runtime player")) return 1;
  pe::PeImage player;
  std::string error;
  if (!player.Parse(runtime_bytes, &error)) {
    Error("the runtime player '" + runtime + "' is damaged: " + error);
    return 1;
  }
  if (player.is_dll() || !CheckPeArchitecture(player, machine, "the runtime player", runtime))
    return 1;
  if (LooksLikeDebugBuild(runtime_bytes))
    Warning("the runtime player '" + runtime +
            "' is a Debug build (larger and slower): ship the kit's Release player");
  pe::ResourceTree resources;
  if (!player.ReadResources(&resources, &error)) {
    Error("the runtime player's resources are damaged: " + error);
    return 1;
  }
  if (!resources.Find(ResourceId::Name(kCarriedPluginType), ResourceId::Name(kCarriedPluginName))) {
    Error("'" + runtime + "' is not a runtime player: it carries no plug-in resource");
    return 1;
  }

  // --- Names -----------------------------------------------------------------------------------
  std::string product = options.product;
  if (product.empty()) product = check.game_name;
  std::string exe_name = options.exe_name;
  if (exe_name.empty()) exe_name = SafeFileName(product);
  if (exe_name.empty())
    exe_name = SafeFileName(BaseName(fs::path(options.game_folder).filename().string()));
  if (exe_name.empty()) exe_name = "game";
  if (product.empty()) product = exe_name;
  const std::string maker = ReadTableString(resources, kProviderStringId);
  std::string saves = options.saves_folder;
  if (saves.empty()) saves = check.game_saves.empty() ? check.game_name : check.game_saves;
  if (saves.empty())
    Warning(
        "init.xml sets no GAMENAME to a plain text, so the uninstaller cannot offer to delete "
        "the saves (name the folder with --saves-folder)");

  // --- Plug-in, plug-in libraries, add-ons -------------------------------------------------------
  std::vector<uint8_t> plugin_bytes;
  if (!LoadPlugin(options.plugin, machine, &plugin_bytes)) return 1;
  for (const GameFile& library : libraries) {
    std::vector<uint8_t> bytes;
    pe::PeImage image;
    if (!ReadFile(library.path, &bytes, "the plug-in library")) return 1;
    if (!image.Parse(bytes, &error) || !image.is_dll()) {
      Error("'" + library.name + "' is not a Windows DLL" + (error.empty() ? "" : ": " + error));
      return 1;
    }
    if (!CheckPeArchitecture(image, machine, "the plug-in library", library.path)) return 1;
  }

  const std::string out_root = options.out_folder;
  const std::string game_out = Join(out_root, exe_name);
  const std::string staging = Join(out_root, "." + exe_name + ".partial");
  RemoveTree(staging);
  std::error_code ec;
  // `--out dist/windows` with neither folder there yet is an ordinary first run.
  fs::create_directories(fs::path(out_root), ec);
  if (!platform::IsDirectory(out_root)) {
    Error("cannot create the output folder '" + out_root + "'" +
          (ec ? ": " + ec.message() : std::string()));
    return 1;
  }
  fs::create_directories(fs::path(staging), ec);
  if (ec) {
    Error("cannot create '" + staging + "': " + ec.message());
    return 1;
  }
  struct Cleanup {
    std::string path;
    ~Cleanup() {
      if (!path.empty()) RemoveTree(path);
    }
  } cleanup{staging};

  // data.pak, packed as vexapak packs, without what does not belong in it.
  const std::string pak_path = Join(staging, "data.pak");
  PakOptions pak;
  pak.password = kPackageDefaultPassword;
  std::set<std::string> packed_set(packed_names.begin(), packed_names.end());
  pak.exclude = [&](const std::string& name) { return packed_set.count(name) == 0; };
  if (PackFolder(options.game_folder, pak_path, pak) != 0) {
    Error("packing the game into data.pak failed");
    return 1;
  }

  // Add-ons: packages are copied; a folder with addon.xml becomes a package of its own.
  std::map<std::string, std::vector<uint8_t>> addons;  // file name -> bytes
  std::set<std::string> addon_folders;
  for (const GameFile& file : addon_files) {
    const std::string rest = file.name.substr(7);
    const size_t slash = rest.find('\\');
    if (slash == std::string::npos) {
      if (!EndsWithNoCase(rest, ".vxa")) {
        Warning("left out Addons\\" + rest + ": add-ons are *.vxa packages or folders");
        continue;
      }
      std::vector<uint8_t> bytes;
      if (!ReadFile(file.path, &bytes, "the add-on")) return 1;
      addons[rest] = std::move(bytes);
    } else {
      addon_folders.insert(rest.substr(0, slash));
    }
  }
  for (const std::string& folder : addon_folders) {
    const std::string source = Join(Join(options.game_folder, "Addons"), folder);
    if (!platform::PathExists(Join(source, "addon.xml")))
      Warning("Addons\\" + folder + " has no addon.xml at its top: the player will skip it");
    const std::string package = Join(staging, folder + ".vxa.tmp");
    PakOptions addon_pak;
    addon_pak.password = kPackageDefaultPassword;
    if (PackFolder(source, package, addon_pak) != 0) {
      Error("packing the add-on folder Addons\\" + folder + " failed");
      return 1;
    }
    std::vector<uint8_t> bytes;
    if (!ReadFile(package, &bytes, "the packed add-on")) return 1;
    platform::RemoveFile(package);
    const std::string file_name = folder + ".vxa";
    if (addons.count(file_name)) {
      Error("Addons\\" + file_name + " exists both as a package and as a folder");
      return 1;
    }
    addons[file_name] = std::move(bytes);
  }

  // --- The executable ----------------------------------------------------------------------------
  resources.Remove(ResourceId::Name(kCarriedPluginType), ResourceId::Name(kCarriedPluginName));
  resources.Set(ResourceId::Name(kCarriedPluginType), ResourceId::Name(kCarriedPluginName),
                pe::kLangEnUs, plugin_bytes);
  if (!options.icon.empty()) {
    std::vector<uint8_t> ico;
    std::vector<pe::IconImage> images;
    if (!ReadFile(options.icon, &ico, "the icon")) return 1;
    if (!pe::ReadIcoFile(ico, &images, &error)) {
      Error("the icon '" + options.icon + "' is not a usable .ico file: " + error);
      return 1;
    }
    pe::SetIconGroup(&resources, ResourceId::Number(kMainIconGroup), pe::kLangEnUs, images);
  }
  pe::VersionInfo version;
  pe::ParseVersion(options.version, version.version);
  version.product_name = ToUtf8(product);
  version.company_name = ToUtf8(options.company);
  version.file_description = ToUtf8(options.description.empty() ? product : options.description);
  version.legal_copyright = ToUtf8(options.copyright);
  version.internal_name = ToUtf8(exe_name);
  version.original_filename = ToUtf8(exe_name + ".exe");
  resources.RemoveType(ResourceId::Number(pe::kRtVersion));
  resources.Set(ResourceId::Number(pe::kRtVersion), ResourceId::Number(1), pe::kLangEnUs,
                pe::BuildVersionInfo(version));
  if (options.single_file) {
    std::vector<uint8_t> pak_bytes;
    if (!ReadFile(pak_path, &pak_bytes, "data.pak")) return 1;
    resources.Set(ResourceId::Name(kCarriedPackageType), ResourceId::Name("DATA.PAK"),
                  pe::kLangEnUs, std::move(pak_bytes));
    platform::RemoveFile(pak_path);
    for (auto& addon : addons)
      resources.Set(ResourceId::Name(kCarriedPackageType),
                    ResourceId::Name(("ADDONS\\" + Upper(addon.first)).c_str()), pe::kLangEnUs,
                    addon.second);
  } else {
    if (!addons.empty()) fs::create_directories(fs::path(Join(staging, "Addons")), ec);
    for (const auto& addon : addons)
      if (!WriteFile(Join(Join(staging, "Addons"), addon.first), addon.second)) return 1;
  }
  std::vector<uint8_t> exe;
  bool dropped_signature = false;
  if (!player.WriteWithResources(resources, &exe, &dropped_signature, &error)) {
    Error("cannot rewrite the runtime player: " + error);
    return 1;
  }
  if (dropped_signature)
    Warning("the runtime player's signature no longer applies and was removed (sign with --sign)");
  const std::string exe_path = Join(staging, exe_name + ".exe");
  if (!WriteFile(exe_path, exe)) return 1;
  for (const GameFile& library : libraries) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(library.path, &bytes, "the plug-in library") ||
        !WriteFile(Join(staging, library.name), bytes))
      return 1;
  }
  if (!options.sign_certificate.empty() && !SignFile(options, exe_path, product)) return 1;

  // The finished game takes the place of an earlier one only now.
  RemoveTree(game_out);
  fs::rename(fs::path(staging), fs::path(game_out), ec);
  if (ec) {
    Error("cannot move the game into '" + game_out + "': " + ec.message());
    return 1;
  }
  cleanup.path.clear();
  Say("shipped " + product + " " + options.version + " (" + options.arch + ") in " + game_out);

  std::vector<GameFile> shipped;
  if (!CollectFiles(game_out, &shipped)) return 1;
  const std::string base = exe_name + "-" + options.version;

  // --- Zip ---------------------------------------------------------------------------------------
  if (options.zip) {
    CZipWriter zip;
    for (const GameFile& file : shipped) {
      std::vector<uint8_t> bytes;
      std::string name = ToUtf8(exe_name + "/" + file.name);
      std::replace(name.begin(), name.end(), '\\', '/');
      if (!ReadFile(file.path, &bytes, "a shipped file") || !zip.Add(name, bytes, &error)) {
        if (!error.empty()) Error(error);
        return 1;
      }
    }
    const std::string zip_path = Join(out_root, base + ".zip");
    if (!WriteFile(zip_path, zip.Finish())) return 1;
    Say("zip archive: " + zip_path);
  }

  // --- Installer ---------------------------------------------------------------------------------
  if (options.installer) {
    const std::string work = Join(out_root, "." + exe_name + ".installer");
    RemoveTree(work);
    fs::create_directories(fs::path(work), ec);
    struct Cleanup work_cleanup {
      work
    };
    InstallerSpec spec;
    spec.product = ToUtf8(product);
    spec.company = ToUtf8(options.company);
    spec.version = options.version;
    spec.copyright = ToUtf8(options.copyright);
    spec.description = ToUtf8(options.description);
    spec.exe_name = ToUtf8(exe_name + ".exe");
    spec.install_name = ToUtf8(exe_name);
    spec.uninstall_id = ToUtf8("Vexa." + exe_name);
    if (!saves.empty() && !maker.empty()) {
      spec.saves_folder = ToUtf8(maker + "\\" + saves);
      spec.settings_key =
          ToUtf8("Software\\" + maker + "\\" + (check.game_name.empty() ? saves : check.game_name));
    }
    spec.x64 = machine == pe::Machine::kAmd64;
    spec.source_dir = fs::absolute(fs::path(game_out)).u8string();
    for (const GameFile& file : shipped) spec.files.push_back(ToUtf8(file.name));
    std::string icon = options.icon;
    if (icon.empty()) {
      icon = Join(work, "game.ico");
      if (!WriteFile(icon, IcoFromGroup(resources, kMainIconGroup))) return 1;
    }
    spec.icon_path = fs::absolute(fs::path(icon)).u8string();
    const std::string setup = Join(out_root, base + "-setup.exe");
    spec.out_file = fs::absolute(fs::path(setup)).u8string();
    std::string definitions;
    if (!MakeInstallerDefinitions(spec, &definitions, &error)) {
      Error("cannot describe the installer: " + error);
      return 1;
    }
    const std::string script = Join(work, "installer.nsi");
    const std::string template_text = InstallerScriptTemplate();
    if (!WriteFile(Join(work, "game.nsh"),
                   std::vector<uint8_t>(definitions.begin(), definitions.end())) ||
        !WriteFile(script, std::vector<uint8_t>(template_text.begin(), template_text.end())))
      return 1;
    const std::string makensis = options.makensis.empty() ? "makensis" : options.makensis;
    std::string output;
    int code = -1;
    platform::RemoveFile(setup);
    if (!platform::RunProgram({makensis, "-V2", "-INPUTCHARSET", "UTF8", script}, &code, &output,
                              &error)) {
      Error("--installer needs NSIS's makensis (Debian package nsis): " + error);
      return 1;
    }
    if (code != 0 || !platform::PathExists(setup)) {
      Error("makensis failed (exit " + std::to_string(code) + "):\n" + output);
      return 1;
    }
    if (!options.sign_certificate.empty() && !SignFile(options, setup, product + " Setup"))
      return 1;
    Say("installer: " + setup);
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char took[64];
  std::snprintf(took, sizeof took, "done in %.1f s", seconds);
  Say(took);
  return 0;
}

}  // namespace vexa::ship
