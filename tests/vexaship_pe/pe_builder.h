// Builds small synthetic PE images for the PE library's tests: headers, sections laid out one
// after another, data directories, and the contents tests need (an export directory, a resource
// section, base relocations, a COFF symbol table, a certificate). The resource section is encoded
// here independently of the library, so a read test checks the reader against a second writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe.h"

namespace vexa::pe::builder {

inline constexpr uint32_t kText = 0x60000020;   // code, execute, read
inline constexpr uint32_t kRData = 0x40000040;  // initialised data, read
inline constexpr uint32_t kData = 0xC0000040;   // initialised data, read, write
inline constexpr uint32_t kReloc = 0x42000040;  // initialised data, discardable, read
inline constexpr uint32_t kDebug = 0x42100040;  // like MinGW's .debug_* sections

void Put16(std::vector<uint8_t>* bytes, size_t at, uint16_t value);
void Put32(std::vector<uint8_t>* bytes, size_t at, uint32_t value);
uint16_t Get16(const std::vector<uint8_t>& bytes, size_t at);
uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at);

class PeBuilder {
 public:
  explicit PeBuilder(bool pe32_plus) : pe32_plus_(pe32_plus) {}

  uint32_t section_alignment = 0x1000;
  uint32_t file_alignment = 0x200;
  // 0: room for a table of 16 section headers, rounded to the file alignment.
  uint32_t size_of_headers = 0;
  bool dll = false;

  // The RVA the next added section will get (for contents that hold their own addresses).
  uint32_t NextRva() const;
  // Adds a section; virtual_size 0 means the data's size. Returns its index.
  size_t AddSection(const std::string& name, std::vector<uint8_t> data, uint32_t characteristics,
                    uint32_t virtual_size = 0);
  uint32_t SectionRva(size_t index) const { return sections_[index].rva; }
  void SetDirectory(size_t index, uint32_t rva, uint32_t size);
  void SetEntryPoint(uint32_t rva) { entry_point_ = rva; }
  // Placed behind the section data in this order; PointerToSymbolTable and the certificate
  // directory entry point at them.
  void SetSymbols(std::vector<uint8_t> symbols_and_strings, uint32_t symbol_count);
  void SetCertificate(std::vector<uint8_t> certificate) { certificate_ = std::move(certificate); }

  std::vector<uint8_t> Build() const;

  // Offsets in the built image.
  static constexpr uint32_t kPeOffset = 0x80;
  uint32_t OptionalOffset() const { return kPeOffset + 24; }
  uint32_t DirectoryOffset() const { return OptionalOffset() + (pe32_plus_ ? 112 : 96); }
  uint32_t SectionTableOffset() const { return OptionalOffset() + (pe32_plus_ ? 240 : 224); }

 private:
  struct Section {
    std::string name;
    std::vector<uint8_t> data;
    uint32_t characteristics;
    uint32_t virtual_size;
    uint32_t rva;
  };
  uint32_t HeaderSize() const;

  bool pe32_plus_;
  std::vector<Section> sections_;
  uint32_t directories_[16][2] = {};
  uint32_t entry_point_ = 0;
  std::vector<uint8_t> symbols_;
  uint32_t symbol_count_ = 0;
  std::vector<uint8_t> certificate_;
};

// The bytes of an export directory (with its name table and names) placed at `rva`.
std::vector<uint8_t> ExportSection(uint32_t rva, const std::vector<std::string>& names);

// The bytes of a resource section holding `tree`, placed at `rva`.
std::vector<uint8_t> ResourceSection(uint32_t rva, const ResourceTree& tree);

// Base relocation blocks for the given pages (one HIGHLOW/DIR64 entry each).
std::vector<uint8_t> RelocSection(const std::vector<uint32_t>& pages, bool pe32_plus);

// COFF symbols (18 bytes each) followed by a string table holding `strings`.
std::vector<uint8_t> SymbolTable(uint32_t symbol_count, const std::vector<std::string>& strings);

// A typical image: .text (entry point), .rdata (exports, a debug directory whose data lies in the
// .debug section), .rsrc holding `tree`, then optionally .reloc (base relocations aimed at .text
// and .rdata) and a discardable .debug section, a COFF symbol table and a certificate.
struct TypicalOptions {
  bool pe32_plus = false;
  bool reloc = true;
  bool debug_section = true;
  bool symbols = true;
  bool certificate = true;
  bool resources = true;
};
struct TypicalImage {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> reloc_bytes;   // contents of .reloc
  std::vector<uint8_t> debug_bytes;   // contents of .debug
  std::vector<uint8_t> symbol_bytes;  // symbol and string table
  std::vector<uint8_t> text_bytes;    // contents of .text
  uint32_t debug_directory_rva = 0;   // where the IMAGE_DEBUG_DIRECTORY entry is
};
TypicalImage MakeTypicalImage(const TypicalOptions& options, const ResourceTree& tree);

// A tree with a few types, names (numbered and named) and languages.
ResourceTree SampleTree();

}  // namespace vexa::pe::builder
