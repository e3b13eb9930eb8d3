// Reading and rewriting Windows PE images (executables and DLLs) without Windows: what vexaship
// needs to turn a runtime player into a game's own executable.
//
// Every input is untrusted (an author may name any file as plug-in or icon): all offsets and
// lengths are checked against the bytes, loops in the resource tree are refused, and a damaged file
// gives false with a message in *error (one line, naming what is wrong), never a crash. Nothing here
// touches the file system; callers read and write the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vexa::pe {

enum class Machine { kUnknown, kI386, kAmd64 };

// "i686" for kI386, "x86_64" for kAmd64, "unknown" otherwise.
const char* MachineName(Machine machine);

// Standard resource types.
inline constexpr uint16_t kRtIcon = 3;
inline constexpr uint16_t kRtRcData = 10;
inline constexpr uint16_t kRtGroupIcon = 14;
inline constexpr uint16_t kRtVersion = 16;
inline constexpr uint16_t kRtManifest = 24;
inline constexpr uint16_t kLangEnUs = 1033;

// A resource type, name or language: a number, or a name (UTF-16). Names are stored the way the
// Windows loader finds them: upper case (ASCII letters) and compared by code unit, named entries
// ordered before numbered ones.
struct ResourceId {
  bool is_name = false;
  uint16_t number = 0;
  std::u16string name;

  static ResourceId Number(uint16_t n);
  // Upper-cases ASCII letters; other characters are kept.
  static ResourceId Name(const std::u16string& text);
  // ASCII convenience (read as UTF-8, so other characters survive too).
  static ResourceId Name(const char* text);
  // The order of the resource directory: names (by code unit) before numbers (ascending).
  bool operator<(const ResourceId& other) const;
  bool operator==(const ResourceId& other) const;
};

struct ResourceData {
  std::vector<uint8_t> bytes;
  uint32_t code_page = 0;
};

// The three-level resource tree (type, name, language) as plain data.
class ResourceTree {
 public:
  using Key = std::vector<ResourceId>;  // always {type, name, language}
  // Adds or replaces one leaf.
  void Set(const ResourceId& type, const ResourceId& name, uint16_t language,
           std::vector<uint8_t> bytes, uint32_t code_page = 0);
  // The same with the language as an id: a file read back may carry a named language entry.
  void Set(const ResourceId& type, const ResourceId& name, const ResourceId& language,
           std::vector<uint8_t> bytes, uint32_t code_page = 0);
  // Removes every language of (type, name); returns how many leaves went.
  size_t Remove(const ResourceId& type, const ResourceId& name);
  // Removes every leaf of `type`.
  size_t RemoveType(const ResourceId& type);
  // The first language of (type, name), or null.
  const ResourceData* Find(const ResourceId& type, const ResourceId& name) const;
  // Every name under `type`, in directory order (no duplicates).
  std::vector<ResourceId> Names(const ResourceId& type) const;
  const std::map<Key, ResourceData>& leaves() const { return leaves_; }
  bool empty() const { return leaves_.empty(); }

 private:
  std::map<Key, ResourceData> leaves_;
};

// A parsed PE image. Parse keeps a copy of the bytes; the accessors read from it.
class PeImage {
 public:
  // False (and *error) unless `bytes` is a PE32 or PE32+ image whose headers, section table and
  // section data lie inside the bytes and whose sections do not overlap.
  bool Parse(std::vector<uint8_t> bytes, std::string* error);

  Machine machine() const;
  bool is_dll() const;
  const std::vector<uint8_t>& bytes() const;

  // The names the export directory lists (empty when there is none). False for a damaged one.
  bool ExportNames(std::vector<std::string>* names, std::string* error) const;

  // The resource tree (empty when the image has none). False for a damaged tree: entries or data
  // outside the image, a directory reached twice (a loop), more than three levels.
  bool ReadResources(ResourceTree* tree, std::string* error) const;

  // A new image whose resources are exactly `tree`; every other byte the loader reads keeps its
  // meaning. The resource section is rebuilt in place; sections after it may only be the base
  // relocations and discardable sections, which move up with their data directory entries; a COFF
  // symbol table behind the sections moves with them. An Authenticode signature is dropped (the
  // bytes it signed change; *dropped_signature tells). SizeOfImage, SizeOfInitializedData, the
  // section sizes and the header checksum are recomputed. False, with *out untouched, when the
  // layout does not allow it (a section the loader needs lies behind the resources, no room for a
  // new section header when the image has no resource section yet).
  bool WriteWithResources(const ResourceTree& tree, std::vector<uint8_t>* out,
                          bool* dropped_signature, std::string* error) const;

 private:
  std::vector<uint8_t> bytes_;
  // Offsets found by Parse (filled by the implementation).
  struct Layout;
  std::shared_ptr<const Layout> layout_;
};

// The PE header checksum of `image` (the CheckSum field itself counted as zero), as the Windows
// image helper library computes it.
uint32_t ComputeChecksum(const std::vector<uint8_t>& image, uint32_t checksum_offset);

// --- Icons -----------------------------------------------------------------------------------

struct IconImage {
  uint8_t width = 0;   // 0 means 256
  uint8_t height = 0;  // 0 means 256
  uint8_t color_count = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  std::vector<uint8_t> bytes;  // a BMP-style DIB (header, colours, XOR and AND masks) or a PNG
};

// Reads an .ico file: every image, checked (a DIB's size as Windows computes it from its header,
// or a PNG signature and IHDR). False for anything else, or for a file with no image.
bool ReadIcoFile(const std::vector<uint8_t>& bytes, std::vector<IconImage>* images,
                 std::string* error);

// Replaces the icon group `group` in `tree` with `images`: the group's old RT_ICON leaves go, the
// new images get RT_ICON numbers no other group uses, and the RT_GROUP_ICON leaf lists them.
void SetIconGroup(ResourceTree* tree, const ResourceId& group, uint16_t language,
                  const std::vector<IconImage>& images);

// --- Version information -----------------------------------------------------------------------

struct VersionInfo {
  uint16_t version[4] = {0, 0, 0, 0};  // file and product version
  // String values of the 040904B0 table (US English, Unicode). Empty values are left out.
  std::string company_name, file_description, internal_name, legal_copyright, original_filename,
      product_name;
  // "a.b.c.d" text of version when empty.
  std::string file_version_text, product_version_text;
};

// Parses "a.b.c.d" (1 to 4 numbers of 0..65535; missing ones are 0). False for anything else.
bool ParseVersion(const std::string& text, uint16_t version[4]);

// The RT_VERSION resource bytes (VS_VERSIONINFO with VS_FIXEDFILEINFO, StringFileInfo 040904B0,
// VarFileInfo Translation 0x0409 1200). Strings are UTF-8 on input; invalid UTF-8 becomes U+FFFD.
// The block's 16-bit lengths limit its size, so each value is cut after kMaxVersionStringUnits
// UTF-16 code units (never inside a surrogate pair).
inline constexpr size_t kMaxVersionStringUnits = 3000;
std::vector<uint8_t> BuildVersionInfo(const VersionInfo& info);

// Reads back the fixed version and the string table of an RT_VERSION resource (for checks and
// tests). False for damaged bytes.
bool ReadVersionInfo(const std::vector<uint8_t>& bytes, VersionInfo* info, std::string* error);

}  // namespace vexa::pe
