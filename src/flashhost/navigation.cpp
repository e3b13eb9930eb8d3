#include "flashhost/navigation.h"

#include <cstddef>
#include <string>

#include "platform/ascii.h"
#include "platform/shell.h"

namespace {

using vexa::platform::LowerAscii;

// Extensions of files the shell runs, installs, mounts or follows rather than shows: programs and
// libraries, command and script languages the system or common runtimes execute, shortcuts,
// installers and packages, control panel and management items, registry and setup files, help
// formats that run script, and disk images that open as drives.
const char* const kProgramExtensions[] = {
    "exe",
    "com",
    "bat",
    "cmd",
    "pif",
    "scr",
    "cpl",
    "msc",
    "msi",
    "msp",
    "mst",
    "msu",
    "msix",
    "msixbundle",
    "appx",
    "appxbundle",
    "appinstaller",
    "application",
    "appref-ms",
    "gadget",
    "dll",
    "ocx",
    "sys",
    "drv",
    "vbs",
    "vbe",
    "vb",
    "js",
    "jse",
    "wsf",
    "wsh",
    "wsc",
    "ws",
    "sct",
    "hta",
    "htt",
    "ps1",
    "ps1xml",
    "ps2",
    "ps2xml",
    "psc1",
    "psc2",
    "psd1",
    "psm1",
    "pssc",
    "msh",
    "msh1",
    "msh2",
    "mshxml",
    "msh1xml",
    "msh2xml",
    "jar",
    "class",
    "py",
    "pyc",
    "pyo",
    "pyw",
    "pyz",
    "pl",
    "rb",
    "sh",
    "bash",
    "csh",
    "ksh",
    "tcl",
    "lnk",
    "url",
    "website",
    "scf",
    "shb",
    "shs",
    "xnk",
    "desktop",
    "desklink",
    "library-ms",
    "search-ms",
    "searchconnector-ms",
    "settingcontent-ms",
    "reg",
    "inf",
    "ins",
    "isp",
    "its",
    "chm",
    "hlp",
    "mde",
    "ade",
    "adp",
    "bas",
    "crt",
    "cer",
    "der",
    "mof",
    "xbap",
    "xll",
    "diagcab",
    "diagcfg",
    "diagpkg",
    "iso",
    "img",
    "vhd",
    "vhdx",
    "wim",
    "cab",
    "theme",
    "themepack",
    "deskthemepack",
    "vsmacros",
    "vsw",
    "workflow",
    "action",
    "command",
    "run",
    "bin",
    "elf",
    "out",
    "apk",
};

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpaceOrControl(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// Leading and trailing spaces and control characters are not part of a URL.
std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpaceOrControl(text[begin])) ++begin;
  while (end > begin && IsSpaceOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The lower-case scheme of `url`, or empty when it has none. One letter before the colon is a
// drive ("C:\..."), not a scheme.
std::string SchemeOf(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos || colon < 2 || !IsAsciiAlpha(url[0])) return std::string();
  for (size_t i = 1; i < colon; ++i) {
    const char c = url[i];
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') {
      return std::string();
    }
  }
  return LowerAscii(url.substr(0, colon));
}

// "X:" or "X|" (the old file: URL spelling of a drive).
bool IsDriveSpec(const std::string& text, size_t at) {
  return text.size() >= at + 2 && IsAsciiAlpha(text[at]) &&
         (text[at + 1] == ':' || text[at + 1] == '|');
}

// Keeps an address one shell argument: what could end or split it is percent-encoded.
std::string EncodeAddress(const std::string& address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

// Decodes %XX once; a '%' not followed by two hex digits stays as it is. False when the text
// decodes to a zero byte, which would cut the name short in the shell.
bool PercentDecode(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) {
      *out += text[i];
      continue;
    }
    const char decoded = static_cast<char>(high * 16 + low);
    if (decoded == '\0') return false;
    *out += decoded;
    i += 2;
  }
  return true;
}

// The last non-empty component of a '/'-separated path.
std::string LastComponent(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] == '/') --end;
  const size_t slash = path.rfind('/', end == 0 ? 0 : end - 1);
  const size_t begin = slash == std::string::npos ? 0 : slash + 1;
  return begin < end ? path.substr(begin, end - begin) : std::string();
}

CNavigationTarget Refuse(const char* why) {
  CNavigationTarget result;
  result.refusal = why;
  return result;
}

CNavigationTarget Allow(const std::string& target) {
  CNavigationTarget result;
  result.allowed = true;
  result.target = target;
  return result;
}

// A local path as the URL wrote it (a file: URL's path, or a plain path), checked and resolved.
CNavigationTarget ResolveLocal(const std::string& written, const std::string& workingDirectory) {
  std::string path = written;
  // Query and fragment are for a browser; no file name is read past them.
  const size_t cut = path.find_first_of("?#");
  if (cut != std::string::npos) path.erase(cut);
  std::string decoded;
  if (!PercentDecode(path, &decoded)) return Refuse("an escaped zero byte");
  path = decoded;
  for (char& c : path) {
    if (c == '\\') c = '/';
    if (static_cast<unsigned char>(c) < 0x20) return Refuse("a control character in the path");
  }
  // "/C:/x" and "/C|/x" are how file: URLs write a drive.
  if (path.size() >= 3 && path[0] == '/' && IsDriveSpec(path, 1)) path.erase(0, 1);
  if (path.rfind("//", 0) == 0) return Refuse("a path on another machine or a device");

  std::string full;
  size_t ownFrom = 0;  // where the part the URL wrote begins in `full`
  if (IsDriveSpec(path, 0)) {
    if (path.size() < 3 || path[2] != '/') return Refuse("a path relative to a drive");
    path[1] = ':';
    full = path;
    ownFrom = 2;
  } else if (!path.empty() && path[0] == '/') {
    full = path;
  } else {
    std::string base = workingDirectory;
    for (char& c : base) {
      if (c == '\\') c = '/';
    }
    if (!base.empty() && base.back() == '/') base.pop_back();
    full = base + "/" + path;
    ownFrom = base.size();
  }
  // A colon past the drive names an alternate data stream, or a device.
  if (full.find(':', ownFrom) != std::string::npos) return Refuse("a colon in a name");

  if (IsProgramFileName(LastComponent(full))) return Refuse("a program or script");
  std::string resolved;
  if (!vexa::platform::ResolveShellPath(full, &resolved)) return Refuse("no such file");
  std::string resolvedSlashes = resolved;
  for (char& c : resolvedSlashes) {
    if (c == '\\') c = '/';
  }
  if (resolvedSlashes.rfind("//", 0) == 0) return Refuse("a path on another machine or a device");
  // A link (or a name the file system reads differently) may lead somewhere else.
  if (IsProgramFileName(LastComponent(resolvedSlashes))) {
    return Refuse("a name that resolves to a program or script");
  }
  return Allow(resolved);
}

}  // namespace

bool IsProgramFileName(const std::string& name) {
  std::string trimmed = name;
  // Windows drops trailing dots and spaces from names: "x.exe. " opens x.exe.
  while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.pop_back();
  // A colon in a name is a stream of a file ("x.txt:y.exe"); nothing to show there.
  if (trimmed.find(':') != std::string::npos) return true;
  const size_t dot = trimmed.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = LowerAscii(trimmed.substr(dot + 1));
  if (extension.empty()) return false;
  for (const char* program : kProgramExtensions) {
    if (extension == program) return true;
  }
  return vexa::platform::IsShellDangerousType(extension);
}

CNavigationTarget ResolveNavigationTarget(const char* url, const std::string& workingDirectory) {
  const std::string text = Trim(url ? url : "");
  if (text.empty()) return Refuse("no address");
  const std::string scheme = SchemeOf(text);
  if (scheme == "http" || scheme == "https") {
    if (text.compare(scheme.size() + 1, 2, "//") != 0) return Refuse("not a web address");
    return Allow(EncodeAddress(text));
  }
  if (scheme == "mailto") return Allow(EncodeAddress(text));
  if (scheme == "file") {
    std::string rest = text.substr(5);
    for (char& c : rest) {
      if (c == '\\') c = '/';
    }
    if (rest.rfind("//", 0) == 0) {
      const size_t end = rest.find('/', 2);
      const std::string authority = rest.substr(2, end == std::string::npos ? end : end - 2);
      const std::string after = end == std::string::npos ? std::string() : rest.substr(end);
      if (authority.empty() || LowerAscii(authority) == "localhost") {
        rest = after;
      } else if (authority.size() == 2 && IsDriveSpec(authority, 0)) {
        rest = authority + after;  // "file://C:/x", a common misspelling of "file:///C:/x"
      } else {
        return Refuse("a file on another machine");
      }
    }
    return ResolveLocal(rest, workingDirectory);
  }
  if (!scheme.empty()) return Refuse("neither a web or mail address nor a file");
  return ResolveLocal(text, workingDirectory);
}
