// Parsing PE32/PE32+ headers, reading the export names, and writing an image with a new
// resource section.
#include "pe.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pe_internal.h"

namespace vexa::pe {

using internal::AlignUp;
using internal::DataDirectory;
using internal::ImageInfo;
using internal::InRange;
using internal::Load16;
using internal::Load32;
using internal::Section;
using internal::Store16;
using internal::Store32;

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint16_t kMagicPe32Plus = 0x020B;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSymbolSize = 18;
constexpr size_t kDebugEntrySize = 28;
// Older loaders refuse more; no linker we care about writes more.
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kMaxExportNames = 65536;
constexpr uint32_t kMaxDebugEntries = 256;

const char* const kDirectoryNames[16] = {"export",
                                         "import",
                                         "resource",
                                         "exception",
                                         "certificate",
                                         "base relocation",
                                         "debug",
                                         "architecture",
                                         "global pointer",
                                         "TLS",
                                         "load config",
                                         "bound import",
                                         "import address table",
                                         "delay import",
                                         "CLR runtime",
                                         "reserved"};

bool Fail(const std::string& message, std::string* error) {
  if (error) *error = message;
  return false;
}

std::string Hex(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

bool IsPowerOfTwo(uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// The 8-byte name field, or the long name a "/123" field points at in the COFF string table
// (MinGW's debug sections are named that way).
std::string SectionName(const std::vector<uint8_t>& bytes, const uint8_t* field,
                        uint64_t string_table, uint64_t string_table_size) {
  std::string name;
  for (int i = 0; i < 8 && field[i] != 0; ++i) name.push_back(static_cast<char>(field[i]));
  if (name.size() > 1 && name[0] == '/' && string_table_size > 0) {
    uint64_t index = 0;
    bool digits = true;
    for (size_t i = 1; i < name.size(); ++i) {
      digits = digits && name[i] >= '0' && name[i] <= '9';
      if (digits) index = index * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    if (digits && index >= 4 && index < string_table_size) {
      std::string long_name;
      for (uint64_t at = string_table + index;
           at < string_table + string_table_size && bytes[at] != 0 && long_name.size() < 64; ++at) {
        long_name.push_back(static_cast<char>(bytes[at]));
      }
      if (!long_name.empty()) name = long_name;
    }
  }
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  return name.empty() ? "(unnamed)" : name;
}

}  // namespace

namespace internal {

int ImageInfo::SectionOfRva(uint64_t rva) const {
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    if (rva >= s.virtual_address && rva - s.virtual_address < s.memory_size()) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool ImageInfo::RvaToOffset(uint64_t rva, uint64_t length, uint64_t* offset) const {
  const int index = SectionOfRva(rva);
  if (index < 0) return false;
  const Section& s = sections[static_cast<size_t>(index)];
  const uint64_t within = rva - s.virtual_address;
  if (!InRange(within, length, s.file_backed_size())) return false;
  *offset = s.raw_pointer + within;
  return true;
}

}  // namespace internal

const char* MachineName(Machine machine) {
  switch (machine) {
    case Machine::kI386:
      return "i686";
    case Machine::kAmd64:
      return "x86_64";
    default:
      return "unknown";
  }
}

uint32_t ComputeChecksum(const std::vector<uint8_t>& image, uint32_t checksum_offset) {
  // 16-bit words summed with the carry folded back in after every step; the stored checksum's
  // two words count as zero; the file length is added last.
  uint64_t sum = 0;
  const size_t size = image.size();
  for (size_t i = 0; i < size; i += 2) {
    if (i >= checksum_offset && i - checksum_offset < 4) continue;
    uint32_t word = image[i];
    if (i + 1 < size) word |= uint32_t{image[i + 1]} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

// --- Parse ---------------------------------------------------------------------------------------

bool PeImage::Parse(std::vector<uint8_t> bytes, std::string* error) {
  bytes_.clear();
  layout_.reset();
  auto layout = std::make_shared<Layout>();
  ImageInfo& info = *layout;
  const uint64_t size = bytes.size();
  const uint8_t* data = bytes.data();

  if (size < 64 || data[0] != 'M' || data[1] != 'Z') {
    return Fail("not a PE image: no MZ header", error);
  }
  info.pe_offset = Load32(data + 0x3C);
  if (!InRange(info.pe_offset, 4 + kCoffHeaderSize, size)) {
    return Fail("not a PE image: the PE header offset (e_lfanew " + Hex(info.pe_offset) +
                    ") lies past the end of the file",
                error);
  }
  const uint8_t* pe = data + info.pe_offset;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) {
    return Fail("not a PE image: no PE signature at e_lfanew", error);
  }
  info.coff_offset = info.pe_offset + 4;
  const uint8_t* coff = data + info.coff_offset;
  const uint16_t machine = Load16(coff);
  const uint32_t section_count = Load16(coff + 2);
  info.symbol_table_pointer = Load32(coff + 8);
  info.symbol_count = Load32(coff + 12);
  const uint32_t optional_size = Load16(coff + 16);
  info.characteristics = Load16(coff + 18);
  if (machine == kMachineI386) {
    info.machine = Machine::kI386;
  } else if (machine == kMachineAmd64) {
    info.machine = Machine::kAmd64;
  } else {
    return Fail("unsupported machine type " + Hex(machine) + " (only i386 and AMD64 images)",
                error);
  }

  info.optional_offset = info.coff_offset + kCoffHeaderSize;
  if (!InRange(info.optional_offset, 2, size)) {
    return Fail("the optional header runs past the end of the file", error);
  }
  const uint16_t magic = Load16(data + info.optional_offset);
  const uint16_t wanted_magic = info.machine == Machine::kI386 ? kMagicPe32 : kMagicPe32Plus;
  if (magic != wanted_magic) {
    return Fail("optional header magic " + Hex(magic) + " does not match the " +
                    MachineName(info.machine) + " machine type",
                error);
  }
  info.pe32_plus = magic == kMagicPe32Plus;
  const uint32_t fixed_size = info.pe32_plus ? 112 : 96;
  if (optional_size < fixed_size) {
    return Fail("SizeOfOptionalHeader (" + std::to_string(optional_size) + ") is too small for a " +
                    (info.pe32_plus ? "PE32+" : "PE32") + " header",
                error);
  }
  if (!InRange(info.optional_offset, optional_size, size)) {
    return Fail("the optional header runs past the end of the file", error);
  }
  const uint8_t* opt = data + info.optional_offset;
  info.entry_point = Load32(opt + 16);
  info.section_alignment = Load32(opt + 32);
  info.file_alignment = Load32(opt + 36);
  info.size_of_image = Load32(opt + 56);
  info.size_of_headers = Load32(opt + 60);
  const uint32_t rva_count = Load32(opt + fixed_size - 4);
  info.data_directory_offset = info.optional_offset + fixed_size;
  // The loader reads at most 16 entries whatever the field says.
  info.data_directory_count = std::min<uint32_t>(rva_count, 16);
  if (fixed_size + 8 * info.data_directory_count > optional_size) {
    return Fail("the data directory (" + std::to_string(rva_count) +
                    " entries) does not fit in SizeOfOptionalHeader",
                error);
  }
  for (uint32_t i = 0; i < info.data_directory_count; ++i) {
    const uint8_t* entry = data + info.data_directory_offset + 8 * i;
    info.directories.push_back(DataDirectory{Load32(entry), Load32(entry + 4)});
  }

  if (!IsPowerOfTwo(info.section_alignment) || !IsPowerOfTwo(info.file_alignment) ||
      info.file_alignment > info.section_alignment || info.file_alignment > 0x10000 ||
      info.section_alignment > 0x10000000) {
    return Fail("unusable alignment (SectionAlignment " + Hex(info.section_alignment) +
                    ", FileAlignment " + Hex(info.file_alignment) + ")",
                error);
  }

  if (section_count > kMaxSections) {
    return Fail("too many sections (" + std::to_string(section_count) + ", at most " +
                    std::to_string(kMaxSections) + ")",
                error);
  }
  info.section_table_offset = info.optional_offset + optional_size;
  const uint64_t table_end =
      uint64_t{info.section_table_offset} + kSectionHeaderSize * uint64_t{section_count};
  if (table_end > size) return Fail("the section table runs past the end of the file", error);
  if (table_end > info.size_of_headers) {
    return Fail("the section table runs past SizeOfHeaders (" + Hex(info.size_of_headers) + ")",
                error);
  }
  if (info.size_of_headers > size) {
    return Fail("SizeOfHeaders (" + Hex(info.size_of_headers) + ") is past the end of the file",
                error);
  }

  // The symbol table (and the string table right behind it) only matter to tools, but the long
  // section names live there and the writer must move it whole.
  uint64_t string_table = 0, string_table_size = 0;
  if (info.symbol_table_pointer != 0) {
    const uint64_t symbols_end =
        uint64_t{info.symbol_table_pointer} + kSymbolSize * uint64_t{info.symbol_count};
    if (symbols_end > size) {
      info.symbols_valid = false;
    } else if (symbols_end == size) {
      info.symbol_region_size = symbols_end - info.symbol_table_pointer;
    } else if (symbols_end + 4 > size) {
      info.symbols_valid = false;
    } else {
      string_table = symbols_end;
      string_table_size = std::max<uint32_t>(Load32(data + symbols_end), 4);
      if (!InRange(string_table, string_table_size, size)) {
        info.symbols_valid = false;
        string_table_size = 0;
      } else {
        info.symbol_region_size = symbols_end + string_table_size - info.symbol_table_pointer;
      }
    }
  }

  for (uint32_t i = 0; i < section_count; ++i) {
    const uint32_t at = info.section_table_offset + static_cast<uint32_t>(kSectionHeaderSize) * i;
    const uint8_t* h = data + at;
    Section s;
    s.name = SectionName(bytes, h, string_table, string_table_size);
    s.header_offset = at;
    s.virtual_size = Load32(h + 8);
    s.virtual_address = Load32(h + 12);
    s.raw_size = Load32(h + 16);
    s.raw_pointer = Load32(h + 20);
    s.characteristics = Load32(h + 36);
    if (s.raw_size != 0 && !InRange(s.raw_pointer, s.raw_size, size)) {
      return Fail("section " + s.name + " runs past the end of the file", error);
    }
    if (s.virtual_address % info.section_alignment != 0) {
      return Fail("section " + s.name + " is not aligned to SectionAlignment", error);
    }
    if (s.virtual_address < info.size_of_headers) {
      return Fail("section " + s.name + " overlaps the headers in memory", error);
    }
    if (s.raw_size != 0 && s.raw_pointer < info.size_of_headers) {
      return Fail("section " + s.name + " overlaps the headers in the file", error);
    }
    if (uint64_t{s.virtual_address} + AlignUp(s.memory_size(), info.section_alignment) >
        0xFFFFFFFFu) {
      return Fail("section " + s.name + " extends past 4 GB", error);
    }
    info.sections.push_back(s);
  }
  // Memory: the loader wants ascending, non-overlapping sections.
  for (size_t i = 1; i < info.sections.size(); ++i) {
    const Section& a = info.sections[i - 1];
    const Section& b = info.sections[i];
    if (uint64_t{a.virtual_address} + AlignUp(a.memory_size(), info.section_alignment) >
        b.virtual_address) {
      return Fail("sections " + a.name + " and " + b.name + " overlap in memory", error);
    }
  }
  if (!info.sections.empty()) {
    const Section& last = info.sections.back();
    if (uint64_t{last.virtual_address} + last.memory_size() > info.size_of_image) {
      return Fail("SizeOfImage (" + Hex(info.size_of_image) + ") ends inside section " + last.name,
                  error);
    }
  }
  // File: raw data ranges must be disjoint (the writer relies on it to move them).
  std::vector<const Section*> by_file;
  for (const Section& s : info.sections) {
    if (s.raw_size != 0) by_file.push_back(&s);
  }
  std::sort(by_file.begin(), by_file.end(),
            [](const Section* a, const Section* b) { return a->raw_pointer < b->raw_pointer; });
  for (size_t i = 1; i < by_file.size(); ++i) {
    if (uint64_t{by_file[i - 1]->raw_pointer} + by_file[i - 1]->raw_size >
        by_file[i]->raw_pointer) {
      return Fail(
          "sections " + by_file[i - 1]->name + " and " + by_file[i]->name + " overlap in the file",
          error);
    }
  }

  bytes_ = std::move(bytes);
  layout_ = std::move(layout);
  return true;
}

Machine PeImage::machine() const {
  return layout_ ? layout_->machine : Machine::kUnknown;
}

bool PeImage::is_dll() const {
  return layout_ && (layout_->characteristics & internal::kFileDll) != 0;
}

const std::vector<uint8_t>& PeImage::bytes() const {
  return bytes_;
}

// --- Exports -------------------------------------------------------------------------------------

bool PeImage::ExportNames(std::vector<std::string>* names, std::string* error) const {
  if (!layout_) return Fail("no image parsed", error);
  const ImageInfo& info = *layout_;
  const DataDirectory dir = info.Directory(internal::kDirExport);
  std::vector<std::string> result;
  if (dir.rva == 0 || dir.size == 0) {
    names->swap(result);
    return true;
  }
  uint64_t at = 0;
  if (!info.RvaToOffset(dir.rva, 40, &at)) {
    return Fail("the export directory lies outside the image's file data", error);
  }
  const uint32_t count = Load32(bytes_.data() + at + 24);
  const uint32_t names_rva = Load32(bytes_.data() + at + 32);
  if (count > kMaxExportNames) {
    return Fail("the export directory lists too many names (" + std::to_string(count) + ")", error);
  }
  uint64_t table = 0;
  if (count != 0 && !info.RvaToOffset(names_rva, uint64_t{count} * 4, &table)) {
    return Fail("the export name table lies outside the image's file data", error);
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t name_rva = Load32(bytes_.data() + table + 4ull * i);
    uint64_t name_at = 0;
    if (!info.RvaToOffset(name_rva, 1, &name_at)) {
      return Fail("export name " + std::to_string(i) + " lies outside the image's file data",
                  error);
    }
    // The name must end inside the same section's file bytes.
    const int section = info.SectionOfRva(name_rva);
    const Section& s = info.sections[static_cast<size_t>(section)];
    const uint64_t end = uint64_t{s.raw_pointer} + s.file_backed_size();
    uint64_t stop = name_at;
    while (stop < end && bytes_[stop] != 0) ++stop;
    if (stop == end) {
      return Fail("export name " + std::to_string(i) + " is not terminated inside its section",
                  error);
    }
    result.emplace_back(bytes_.begin() + static_cast<std::ptrdiff_t>(name_at),
                        bytes_.begin() + static_cast<std::ptrdiff_t>(stop));
  }
  names->swap(result);
  return true;
}

bool PeImage::ReadResources(ResourceTree* tree, std::string* error) const {
  if (!layout_) return Fail("no image parsed", error);
  ResourceTree result;
  if (!internal::DecodeResources(*layout_, bytes_, &result, error)) return false;
  *tree = std::move(result);
  return true;
}

// --- Writing -------------------------------------------------------------------------------------

namespace {

// Where the pieces of the old file go in the new one. Only three kinds of file range move: the
// rebuilt resource section (not mapped: its old bytes are gone), the sections behind it, and the
// tail behind all sections (symbol table, other appended data), less the certificate.
struct FileMap {
  struct Piece {
    uint64_t begin, end;  // old range [begin, end)
    int64_t shift;        // new = old + shift
  };
  std::vector<Piece> pieces;

  // The new offset of the old range [offset, offset + length), which must lie in one piece.
  bool Map(uint64_t offset, uint64_t length, uint64_t* moved) const {
    for (const Piece& p : pieces) {
      if (offset >= p.begin && offset <= p.end && length <= p.end - offset) {
        *moved = static_cast<uint64_t>(static_cast<int64_t>(offset) + p.shift);
        return true;
      }
    }
    return false;
  }
};

}  // namespace

bool PeImage::WriteWithResources(const ResourceTree& tree, std::vector<uint8_t>* out,
                                 bool* dropped_signature, std::string* error) const {
  if (!layout_) return Fail("no image parsed", error);
  const ImageInfo& info = *layout_;
  const std::vector<uint8_t>& old = bytes_;
  const uint64_t old_size = old.size();

  if (info.data_directory_count <= internal::kDirResource) {
    return Fail("the optional header has no resource directory entry", error);
  }
  if (!info.symbols_valid) {
    return Fail("the COFF symbol table runs past the end of the file; it cannot be moved", error);
  }

  // The end of all section data in the file: what lies behind it is the tail.
  uint64_t old_sections_end = info.size_of_headers;
  for (const Section& s : info.sections) {
    if (s.raw_size != 0) {
      old_sections_end = std::max<uint64_t>(old_sections_end, uint64_t{s.raw_pointer} + s.raw_size);
    }
  }

  // The certificate table is a file range in the tail; it signs bytes that are about to change.
  const DataDirectory cert = info.Directory(internal::kDirSecurity);
  const bool has_cert = cert.rva != 0 && cert.size != 0;
  if (has_cert) {
    if (!InRange(cert.rva, cert.size, old_size)) {
      return Fail("the certificate table runs past the end of the file", error);
    }
    if (cert.rva < old_sections_end) {
      return Fail("the certificate table lies inside the section data", error);
    }
  }

  // Which section holds the resources, and which sections lie behind it.
  const DataDirectory res = info.Directory(internal::kDirResource);
  int rsrc = -1;
  if (res.rva != 0) {
    rsrc = info.SectionOfRva(res.rva);
    if (rsrc < 0) return Fail("the resource directory lies outside the sections", error);
  }
  std::vector<uint8_t> encoded;
  const bool need_section = rsrc >= 0 || !tree.empty();
  const size_t section_count = info.sections.size();
  const bool append = rsrc < 0 && need_section;
  uint64_t new_header_offset = 0;
  if (append) {
    // A new section header goes behind the last one; the slot must be spare header space.
    new_header_offset = info.section_table_offset + kSectionHeaderSize * section_count;
    uint64_t first_raw = info.size_of_headers;
    for (const Section& s : info.sections) {
      if (s.raw_size != 0) first_raw = std::min<uint64_t>(first_raw, s.raw_pointer);
    }
    if (section_count >= kMaxSections ||
        new_header_offset + kSectionHeaderSize > std::min<uint64_t>(first_raw, old_size)) {
      return Fail("no room in the headers for a new .rsrc section header", error);
    }
    for (size_t i = 0; i < kSectionHeaderSize; ++i) {
      if (old[new_header_offset + i] != 0) {
        return Fail("no room in the headers for a new .rsrc section header (the space is in use)",
                    error);
      }
    }
    const DataDirectory bound = info.Directory(internal::kDirBoundImport);
    if (bound.rva != 0 && bound.rva < new_header_offset + kSectionHeaderSize &&
        uint64_t{bound.rva} + bound.size > new_header_offset) {
      return Fail("no room in the headers for a new .rsrc section header (bound imports)", error);
    }
  }
  // Sections behind the resource section in memory move up; only relocations and discardable
  // sections may, since nothing else refers to them by address.
  const size_t first_moved = rsrc >= 0 ? static_cast<size_t>(rsrc) + 1 : section_count;
  if (rsrc >= 0) {
    const Section& r = info.sections[static_cast<size_t>(rsrc)];
    if (res.rva != r.virtual_address) {
      return Fail("the resource directory shares section " + r.name + " with other data", error);
    }
    if (r.raw_size == 0) return Fail("the resource section " + r.name + " has no file data", error);
    const DataDirectory reloc = info.Directory(internal::kDirBaseReloc);
    for (size_t i = first_moved; i < section_count; ++i) {
      const Section& s = info.sections[i];
      const bool is_reloc = reloc.rva != 0 && info.SectionOfRva(reloc.rva) == static_cast<int>(i);
      if (!is_reloc && (s.characteristics & internal::kScnMemDiscardable) == 0) {
        return Fail("section " + s.name + " lies behind the resources and the loader needs it",
                    error);
      }
      if (s.raw_size != 0 && s.raw_pointer < r.raw_pointer) {
        return Fail("section " + s.name + " lies behind the resources in memory but before them " +
                        "in the file",
                    error);
      }
    }
    for (size_t i = 0; i < first_moved; ++i) {
      const Section& s = info.sections[i];
      if (s.raw_size != 0 && s.raw_pointer > r.raw_pointer) {
        return Fail("section " + s.name + " lies before the resources in memory but behind " +
                        "them in the file",
                    error);
      }
    }
    // Nothing but the resource tree may live in the rebuilt section, and nothing the loader
    // follows may point into the sections that move.
    for (size_t d = 0; d < info.directories.size(); ++d) {
      const DataDirectory& dir = info.directories[d];
      if (d == internal::kDirResource || d == internal::kDirSecurity ||
          d == internal::kDirBoundImport || dir.rva == 0) {
        continue;
      }
      const int at = info.SectionOfRva(dir.rva);
      if (at == rsrc) {
        return Fail(std::string("the ") + kDirectoryNames[d] +
                        " directory shares the resource section " + r.name,
                    error);
      }
      if (at > rsrc && d != internal::kDirBaseReloc && d != internal::kDirDebug) {
        return Fail(std::string("the ") + kDirectoryNames[d] + " directory lies in section " +
                        info.sections[static_cast<size_t>(at)].name + " behind the resources",
                    error);
      }
    }
    const int entry = info.entry_point != 0 ? info.SectionOfRva(info.entry_point) : -1;
    if (entry >= rsrc) {
      return Fail("the entry point lies in section " +
                      info.sections[static_cast<size_t>(entry)].name + ", which would change",
                  error);
    }
  }

  // Base relocations patch addresses at load time; a block aimed at a section that changes would
  // patch the wrong bytes.
  const DataDirectory reloc = info.Directory(internal::kDirBaseReloc);
  if (rsrc >= 0 && reloc.rva != 0 && reloc.size != 0) {
    uint64_t at = 0;
    if (!info.RvaToOffset(reloc.rva, reloc.size, &at)) {
      return Fail("the base relocations lie outside the image's file data", error);
    }
    uint64_t pos = 0;
    while (pos + 8 <= reloc.size) {
      const uint32_t page = Load32(old.data() + at + pos);
      const uint32_t block = Load32(old.data() + at + pos + 4);
      // Padding or a damaged tail: the loader stops here as well.
      if (block < 8 || block > reloc.size - pos) break;
      const int target = info.SectionOfRva(page);
      const int target_end = info.SectionOfRva(uint64_t{page} + 0xFFF);
      if ((target >= rsrc && target >= 0) || (target_end >= rsrc && target_end >= 0)) {
        return Fail("base relocations patch section " +
                        info.sections[static_cast<size_t>(std::max(target, target_end))].name +
                        ", which would change",
                    error);
      }
      pos += block;
    }
  }

  // New layout.
  std::vector<Section> sections = info.sections;
  uint32_t resource_rva = 0;
  uint64_t resource_raw = 0;
  size_t resource_index = 0;
  if (need_section) {
    if (append) {
      Section s;
      s.name = ".rsrc";
      s.header_offset = static_cast<uint32_t>(new_header_offset);
      uint64_t va = AlignUp(info.size_of_headers, info.section_alignment);
      if (!sections.empty()) {
        va = AlignUp(uint64_t{sections.back().virtual_address} + sections.back().memory_size(),
                     info.section_alignment);
      }
      if (va > 0x7FFFFFFF) return Fail("no address space left for a .rsrc section", error);
      s.virtual_address = static_cast<uint32_t>(va);
      s.raw_pointer = static_cast<uint32_t>(AlignUp(old_sections_end, info.file_alignment));
      s.characteristics = internal::kScnCntInitializedData | internal::kScnMemRead;
      sections.push_back(s);
      resource_index = sections.size() - 1;
    } else {
      resource_index = static_cast<size_t>(rsrc);
    }
    resource_rva = sections[resource_index].virtual_address;
    resource_raw = sections[resource_index].raw_pointer;
    if (!internal::EncodeResources(tree, resource_rva, &encoded, error)) return false;
  }
  // Bytes kept at their offsets: everything before the resource section's data (for an appended
  // section, everything up to the end of the old sections).
  const uint64_t kept_end = !need_section ? old_sections_end
                            : append      ? old_sections_end
                                          : resource_raw;
  FileMap map;
  map.pieces.push_back({0, kept_end, 0});
  uint64_t file_end = kept_end;
  uint64_t memory_end = 0;
  if (need_section) {
    Section& r = sections[resource_index];
    const uint64_t raw = AlignUp(encoded.size(), info.file_alignment);
    r.virtual_size = static_cast<uint32_t>(encoded.size());
    r.raw_size = static_cast<uint32_t>(raw);
    file_end = resource_raw + raw;
    memory_end = uint64_t{r.virtual_address} + AlignUp(r.memory_size(), info.section_alignment);
    for (size_t i = first_moved; i < section_count; ++i) {
      Section& s = sections[i];
      const Section& o = info.sections[i];
      s.virtual_address = static_cast<uint32_t>(AlignUp(memory_end, info.section_alignment));
      memory_end = uint64_t{s.virtual_address} + AlignUp(s.memory_size(), info.section_alignment);
      if (s.raw_size != 0) {
        const uint64_t raw_at = AlignUp(file_end, info.file_alignment);
        s.raw_pointer = static_cast<uint32_t>(raw_at);
        file_end = raw_at + s.raw_size;
        map.pieces.push_back({o.raw_pointer, uint64_t{o.raw_pointer} + o.raw_size,
                              static_cast<int64_t>(raw_at) - static_cast<int64_t>(o.raw_pointer)});
      }
    }
    if (memory_end > 0xFFFFFFFFu || file_end > 0xFFFFFFFFu) {
      return Fail("the new image would be larger than 4 GB", error);
    }
  }
  // The tail keeps its offset modulo 8 (the alignment symbol and certificate tables use).
  const uint64_t tail_start = file_end + (8 + old_sections_end % 8 - file_end % 8) % 8;
  const int64_t tail_shift =
      static_cast<int64_t>(tail_start) - static_cast<int64_t>(old_sections_end);
  if (has_cert) {
    map.pieces.push_back({old_sections_end, cert.rva, tail_shift});
    map.pieces.push_back(
        {uint64_t{cert.rva} + cert.size, old_size, tail_shift - static_cast<int64_t>(cert.size)});
  } else {
    map.pieces.push_back({old_sections_end, old_size, tail_shift});
  }
  const uint64_t tail_bytes = old_size - old_sections_end - (has_cert ? cert.size : 0);
  const uint64_t new_size = tail_start + tail_bytes;
  if (new_size > 0xFFFFFFFFu) return Fail("the new image would be larger than 4 GB", error);

  std::vector<uint8_t> image(static_cast<size_t>(new_size), 0);
  std::copy(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(kept_end), image.begin());
  if (need_section) {
    std::copy(encoded.begin(), encoded.end(),
              image.begin() + static_cast<std::ptrdiff_t>(resource_raw));
    for (size_t i = first_moved; i < section_count; ++i) {
      const Section& o = info.sections[i];
      if (o.raw_size == 0) continue;
      std::copy(old.begin() + o.raw_pointer, old.begin() + o.raw_pointer + o.raw_size,
                image.begin() + sections[i].raw_pointer);
    }
  }
  for (const FileMap::Piece& p : map.pieces) {
    if (p.begin >= old_sections_end && p.end > p.begin) {
      std::copy(
          old.begin() + static_cast<std::ptrdiff_t>(p.begin),
          old.begin() + static_cast<std::ptrdiff_t>(p.end),
          image.begin() + static_cast<std::ptrdiff_t>(static_cast<int64_t>(p.begin) + p.shift));
    }
  }

  // Headers.
  auto section_of = [&](uint64_t rva) -> int {
    for (size_t i = first_moved; i < section_count; ++i) {
      const Section& o = info.sections[i];
      if (rva >= o.virtual_address && rva - o.virtual_address < o.memory_size()) {
        return static_cast<int>(i);
      }
    }
    return -1;
  };
  auto move_rva = [&](uint32_t rva) -> uint32_t {
    const int i = section_of(rva);
    if (i < 0) return rva;
    return rva - info.sections[static_cast<size_t>(i)].virtual_address +
           sections[static_cast<size_t>(i)].virtual_address;
  };
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    uint8_t* h = image.data() + s.header_offset;
    if (i >= section_count) {
      std::copy(s.name.begin(), s.name.end(), h);
      Store32(h + 36, s.characteristics);
      Store16(image.data() + info.coff_offset + 2, static_cast<uint16_t>(sections.size()));
    }
    Store32(h + 8, s.virtual_size);
    Store32(h + 12, s.virtual_address);
    Store32(h + 16, s.raw_size);
    Store32(h + 20, s.raw_pointer);
  }
  auto set_directory = [&](size_t index, uint32_t rva, uint32_t size) {
    uint8_t* entry = image.data() + info.data_directory_offset + 8 * index;
    Store32(entry, rva);
    Store32(entry + 4, size);
  };
  if (need_section) {
    set_directory(internal::kDirResource, resource_rva, static_cast<uint32_t>(encoded.size()));
  }
  if (has_cert) set_directory(internal::kDirSecurity, 0, 0);
  if (reloc.rva != 0) set_directory(internal::kDirBaseReloc, move_rva(reloc.rva), reloc.size);
  const DataDirectory debug = info.Directory(internal::kDirDebug);
  if (debug.rva != 0 && debug.size != 0) {
    // Debug entries hold both an RVA and a file offset of their data.
    const uint64_t count = debug.size / kDebugEntrySize;
    uint64_t old_at = 0;
    if (count > kMaxDebugEntries ||
        !info.RvaToOffset(debug.rva, count * kDebugEntrySize, &old_at)) {
      return Fail("the debug directory lies outside the image's file data", error);
    }
    uint64_t new_at = 0;
    if (!map.Map(old_at, count * kDebugEntrySize, &new_at)) {
      return Fail("the debug directory lies in the resource section", error);
    }
    for (uint64_t i = 0; i < count; ++i) {
      uint8_t* entry = image.data() + new_at + i * kDebugEntrySize;
      const uint32_t size = Load32(entry + 16);
      const uint32_t rva = Load32(entry + 20);
      const uint32_t pointer = Load32(entry + 24);
      if (rva != 0) {
        if (info.SectionOfRva(rva) == rsrc && rsrc >= 0) {
          return Fail("debug data lies in the resource section", error);
        }
        Store32(entry + 20, move_rva(rva));
      }
      // Data the file does not hold (stripped) keeps its stale offset; data it holds moves along.
      if (pointer != 0 && pointer < old_size) {
        uint64_t moved = 0;
        if (!map.Map(pointer, std::min<uint64_t>(size, old_size - pointer), &moved)) {
          return Fail("debug data at file offset " + Hex(pointer) + " cannot be placed", error);
        }
        Store32(entry + 24, static_cast<uint32_t>(moved));
      }
    }
    set_directory(internal::kDirDebug, move_rva(debug.rva), debug.size);
  }
  if (info.symbol_table_pointer != 0) {
    uint64_t moved = 0;
    if (!map.Map(info.symbol_table_pointer, info.symbol_region_size, &moved)) {
      return Fail("the COFF symbol table lies inside the resource section data", error);
    }
    Store32(image.data() + info.coff_offset + 8, static_cast<uint32_t>(moved));
  }
  if (need_section) {
    Store32(image.data() + info.size_of_image_offset(), static_cast<uint32_t>(memory_end));
    const Section& r = sections[resource_index];
    const uint32_t old_raw = append ? 0 : info.sections[resource_index].raw_size;
    if ((r.characteristics & internal::kScnCntInitializedData) != 0) {
      // Linkers differ in what they count; shifting by the change keeps their convention.
      const int64_t initialized =
          int64_t{Load32(old.data() + info.size_of_initialized_data_offset())} + r.raw_size -
          old_raw;
      Store32(image.data() + info.size_of_initialized_data_offset(),
              static_cast<uint32_t>(std::clamp<int64_t>(initialized, 0, 0xFFFFFFFF)));
    }
  }
  Store32(image.data() + info.checksum_offset(), ComputeChecksum(image, info.checksum_offset()));

  if (dropped_signature) *dropped_signature = has_cert;
  out->swap(image);
  return true;
}

}  // namespace vexa::pe
