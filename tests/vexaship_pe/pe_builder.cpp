#include "pe_builder.h"

#include <algorithm>
#include <map>

namespace vexa::pe::builder {

namespace {

uint32_t Align(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

void Append16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

void Put16(std::vector<uint8_t>* bytes, size_t at, uint16_t value) {
  (*bytes)[at] = static_cast<uint8_t>(value);
  (*bytes)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t Get16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
         (uint32_t{bytes[at + 3]} << 24);
}

uint32_t PeBuilder::HeaderSize() const {
  if (size_of_headers != 0) return size_of_headers;
  // Room for 16 section headers, fixed so that section addresses handed out early stay valid.
  return Align(SectionTableOffset() + 40 * 16, file_alignment);
}

uint32_t PeBuilder::NextRva() const {
  if (sections_.empty()) return Align(HeaderSize(), section_alignment);
  const Section& last = sections_.back();
  return last.rva + Align(last.virtual_size, section_alignment);
}

size_t PeBuilder::AddSection(const std::string& name, std::vector<uint8_t> data,
                             uint32_t characteristics, uint32_t virtual_size) {
  Section s;
  s.name = name;
  s.virtual_size = virtual_size != 0 ? virtual_size : static_cast<uint32_t>(data.size());
  s.data = std::move(data);
  s.characteristics = characteristics;
  s.rva = NextRva();
  sections_.push_back(std::move(s));
  return sections_.size() - 1;
}

void PeBuilder::SetDirectory(size_t index, uint32_t rva, uint32_t size) {
  directories_[index][0] = rva;
  directories_[index][1] = size;
}

void PeBuilder::SetSymbols(std::vector<uint8_t> symbols_and_strings, uint32_t symbol_count) {
  symbols_ = std::move(symbols_and_strings);
  symbol_count_ = symbol_count;
}

std::vector<uint8_t> PeBuilder::Build() const {
  const uint32_t header_size = HeaderSize();
  std::vector<uint8_t> out(Align(header_size, file_alignment), 0);
  out[0] = 'M';
  out[1] = 'Z';
  Put32(&out, 0x3C, kPeOffset);
  const char stub[] = "This program cannot be run in DOS mode.";
  std::copy(stub, stub + sizeof stub - 1, out.begin() + 0x40);
  out[kPeOffset] = 'P';
  out[kPeOffset + 1] = 'E';
  const uint32_t coff = kPeOffset + 4;
  Put16(&out, coff, pe32_plus_ ? 0x8664 : 0x014C);
  Put16(&out, coff + 2, static_cast<uint16_t>(sections_.size()));
  Put32(&out, coff + 4, 0x5F000000);  // time stamp
  Put16(&out, coff + 16, pe32_plus_ ? 240 : 224);
  Put16(&out, coff + 18,
        static_cast<uint16_t>(0x0102 | (dll ? 0x2000 : 0) | (pe32_plus_ ? 0x20 : 0)));
  const uint32_t opt = OptionalOffset();
  Put16(&out, opt, pe32_plus_ ? 0x20B : 0x10B);
  Put32(&out, opt + 16, entry_point_);
  if (pe32_plus_) {
    Put32(&out, opt + 24, 0x40000000);
    Put32(&out, opt + 28, 0x1);
  } else {
    Put32(&out, opt + 28, 0x400000);
  }
  Put32(&out, opt + 32, section_alignment);
  Put32(&out, opt + 36, file_alignment);
  Put16(&out, opt + 40, 4);
  Put16(&out, opt + 48, 4);
  Put32(&out, opt + 60, header_size);
  Put16(&out, opt + 68, 2);  // GUI
  Put32(&out, opt + (pe32_plus_ ? 108 : 92), 16);
  for (int i = 0; i < 16; ++i) {
    Put32(&out, DirectoryOffset() + 8 * i, directories_[i][0]);
    Put32(&out, DirectoryOffset() + 8 * i + 4, directories_[i][1]);
  }
  uint32_t size_of_image = Align(header_size, section_alignment);
  uint32_t initialized = 0;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    const uint32_t raw_size = Align(static_cast<uint32_t>(s.data.size()), file_alignment);
    const uint32_t raw_pointer = s.data.empty() ? 0 : static_cast<uint32_t>(out.size());
    const uint32_t h = SectionTableOffset() + 40 * static_cast<uint32_t>(i);
    std::copy(s.name.begin(), s.name.begin() + std::min<size_t>(8, s.name.size()), out.begin() + h);
    Put32(&out, h + 8, s.virtual_size);
    Put32(&out, h + 12, s.rva);
    Put32(&out, h + 16, raw_size);
    Put32(&out, h + 20, raw_pointer);
    Put32(&out, h + 36, s.characteristics);
    if (s.characteristics & 0x40) initialized += raw_size;
    out.insert(out.end(), s.data.begin(), s.data.end());
    out.resize(out.size() + (raw_size - s.data.size()), 0);
    size_of_image = s.rva + Align(s.virtual_size, section_alignment);
  }
  Put32(&out, opt + 8, initialized);
  Put32(&out, opt + 56, size_of_image);
  if (!symbols_.empty()) {
    Put32(&out, coff + 8, static_cast<uint32_t>(out.size()));
    Put32(&out, coff + 12, symbol_count_);
    out.insert(out.end(), symbols_.begin(), symbols_.end());
  }
  if (!certificate_.empty()) {
    out.resize(Align(static_cast<uint32_t>(out.size()), 8), 0);
    Put32(&out, DirectoryOffset() + 8 * 4, static_cast<uint32_t>(out.size()));
    Put32(&out, DirectoryOffset() + 8 * 4 + 4, static_cast<uint32_t>(certificate_.size()));
    out.insert(out.end(), certificate_.begin(), certificate_.end());
  }
  return out;
}

std::vector<uint8_t> ExportSection(uint32_t rva, const std::vector<std::string>& names) {
  const uint32_t count = static_cast<uint32_t>(names.size());
  const uint32_t functions = 40;
  const uint32_t name_table = functions + 4 * count;
  const uint32_t ordinals = name_table + 4 * count;
  uint32_t strings = ordinals + 2 * count;
  std::vector<uint8_t> out(strings, 0);
  Put32(&out, 16, 1);  // ordinal base
  Put32(&out, 20, count);
  Put32(&out, 24, count);
  Put32(&out, 28, rva + functions);
  Put32(&out, 32, rva + name_table);
  Put32(&out, 36, rva + ordinals);
  for (uint32_t i = 0; i < count; ++i) {
    Put32(&out, functions + 4 * i, 0x1000 + 16 * i);
    Put32(&out, name_table + 4 * i, rva + static_cast<uint32_t>(out.size()));
    Put16(&out, ordinals + 2 * i, static_cast<uint16_t>(i));
    out.insert(out.end(), names[i].begin(), names[i].end());
    out.push_back(0);
  }
  Put32(&out, 12, rva + static_cast<uint32_t>(out.size()));
  const char dll[] = "sample.dll";
  out.insert(out.end(), dll, dll + sizeof dll);
  return out;
}

std::vector<uint8_t> ResourceSection(uint32_t rva, const ResourceTree& tree) {
  // Grouped into type -> name -> language, each level in the map's (directory) order.
  using Level3 = std::map<ResourceId, const ResourceData*>;
  using Level2 = std::map<ResourceId, Level3>;
  std::map<ResourceId, Level2> types;
  for (const auto& [key, data] : tree.leaves()) types[key[0]][key[1]][key[2]] = &data;

  std::vector<uint8_t> out;
  std::vector<std::pair<size_t, ResourceId>> name_fixups;           // entry offset -> name to store
  std::vector<std::pair<size_t, const ResourceData*>> data_fixups;  // data entry -> data
  auto directory = [&](const std::vector<ResourceId>& ids) {
    const size_t at = out.size();
    out.resize(at + 16 + 8 * ids.size(), 0);
    uint16_t named = 0;
    for (const ResourceId& id : ids) named = static_cast<uint16_t>(named + id.is_name);
    Put16(&out, at + 12, named);
    Put16(&out, at + 14, static_cast<uint16_t>(ids.size() - named));
    for (size_t i = 0; i < ids.size(); ++i) {
      if (ids[i].is_name) {
        name_fixups.emplace_back(at + 16 + 8 * i, ids[i]);
      } else {
        Put32(&out, at + 16 + 8 * i, ids[i].number);
      }
    }
    return at;
  };
  std::vector<ResourceId> type_ids;
  for (const auto& t : types) type_ids.push_back(t.first);
  const size_t root = directory(type_ids);
  size_t type_index = 0;
  for (const auto& [type, names] : types) {
    std::vector<ResourceId> name_ids;
    for (const auto& n : names) name_ids.push_back(n.first);
    const size_t name_dir = directory(name_ids);
    Put32(&out, root + 16 + 8 * type_index++ + 4, 0x80000000u | static_cast<uint32_t>(name_dir));
    size_t name_index = 0;
    for (const auto& [name, languages] : names) {
      std::vector<ResourceId> language_ids;
      for (const auto& l : languages) language_ids.push_back(l.first);
      const size_t language_dir = directory(language_ids);
      Put32(&out, name_dir + 16 + 8 * name_index++ + 4,
            0x80000000u | static_cast<uint32_t>(language_dir));
      size_t language_index = 0;
      for (const auto& [language, data] : languages) {
        const size_t entry = out.size();
        out.resize(entry + 16, 0);
        Put32(&out, language_dir + 16 + 8 * language_index++ + 4, static_cast<uint32_t>(entry));
        data_fixups.emplace_back(entry, data);
      }
    }
  }
  for (const auto& [entry, id] : name_fixups) {
    Put32(&out, entry, 0x80000000u | static_cast<uint32_t>(out.size()));
    Append16(&out, static_cast<uint16_t>(id.name.size()));
    for (char16_t c : id.name) Append16(&out, c);
  }
  for (const auto& [entry, data] : data_fixups) {
    out.resize((out.size() + 7) / 8 * 8, 0);
    Put32(&out, entry, rva + static_cast<uint32_t>(out.size()));
    Put32(&out, entry + 4, static_cast<uint32_t>(data->bytes.size()));
    Put32(&out, entry + 8, data->code_page);
    out.insert(out.end(), data->bytes.begin(), data->bytes.end());
  }
  return out;
}

std::vector<uint8_t> RelocSection(const std::vector<uint32_t>& pages, bool pe32_plus) {
  std::vector<uint8_t> out;
  for (uint32_t page : pages) {
    Append32(&out, page);
    Append32(&out, 12);
    Append16(&out, static_cast<uint16_t>((pe32_plus ? 0xA000 : 0x3000) | 0x010));
    Append16(&out, 0);  // padding entry (type 0)
  }
  return out;
}

std::vector<uint8_t> SymbolTable(uint32_t symbol_count, const std::vector<std::string>& strings) {
  std::vector<uint8_t> out;
  for (uint32_t i = 0; i < symbol_count; ++i) {
    const std::string name = "sym" + std::to_string(i);
    std::vector<uint8_t> symbol(18, 0);
    std::copy(name.begin(), name.end(), symbol.begin());
    Put32(&symbol, 8, 0x10 * i);  // value
    Put16(&symbol, 12, 1);        // section number
    symbol[16] = 2;               // external
    out.insert(out.end(), symbol.begin(), symbol.end());
  }
  std::vector<uint8_t> table(4, 0);
  for (const std::string& s : strings) {
    table.insert(table.end(), s.begin(), s.end());
    table.push_back(0);
  }
  Put32(&table, 0, static_cast<uint32_t>(table.size()));
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

TypicalImage MakeTypicalImage(const TypicalOptions& options, const ResourceTree& tree) {
  TypicalImage image;
  PeBuilder builder(options.pe32_plus);
  for (int i = 0; i < 300; ++i) image.text_bytes.push_back(static_cast<uint8_t>(i * 7 + 1));
  const size_t text = builder.AddSection(".text", image.text_bytes, kText);
  builder.SetEntryPoint(builder.SectionRva(text) + 0x10);

  // .rdata: exports, then one debug directory entry (its data lives in .debug when there is one).
  const uint32_t rdata_rva = builder.NextRva();
  std::vector<uint8_t> rdata = ExportSection(rdata_rva, {"vexa_start", "vexa_stop", "zeta"});
  const uint32_t export_size = static_cast<uint32_t>(rdata.size());
  rdata.resize((rdata.size() + 3) / 4 * 4, 0);
  image.debug_directory_rva = rdata_rva + static_cast<uint32_t>(rdata.size());
  rdata.resize(rdata.size() + 28, 0);
  builder.AddSection(".rdata", rdata, kRData);
  builder.SetDirectory(0, rdata_rva, export_size);

  if (options.resources) {
    const uint32_t rsrc_rva = builder.NextRva();
    std::vector<uint8_t> rsrc = ResourceSection(rsrc_rva, tree);
    builder.AddSection(".rsrc", rsrc, kRData);
    builder.SetDirectory(2, rsrc_rva, static_cast<uint32_t>(rsrc.size()));
  }
  if (options.reloc) {
    const uint32_t reloc_rva = builder.NextRva();
    image.reloc_bytes = RelocSection({builder.SectionRva(text), rdata_rva}, options.pe32_plus);
    builder.AddSection(".reloc", image.reloc_bytes, kReloc);
    builder.SetDirectory(5, reloc_rva, static_cast<uint32_t>(image.reloc_bytes.size()));
  }
  uint32_t debug_rva = 0;
  if (options.debug_section) {
    debug_rva = builder.NextRva();
    for (int i = 0; i < 700; ++i) image.debug_bytes.push_back(static_cast<uint8_t>(i ^ 0x5A));
    builder.AddSection("/4", image.debug_bytes, kDebug);
  }
  if (options.symbols) {
    image.symbol_bytes = SymbolTable(5, {".debug_info", "a_long_symbol_name"});
    builder.SetSymbols(image.symbol_bytes, 5);
  }
  if (options.certificate) builder.SetCertificate(std::vector<uint8_t>(48, 0xCE));
  std::vector<uint8_t> bytes = builder.Build();
  if (options.debug_section) {
    // The debug entry: type 2 (CodeView), 64 bytes at the start of .debug; its file offset is
    // only known now.
    builder.SetDirectory(6, image.debug_directory_rva, 28);
    bytes = builder.Build();
    uint32_t debug_raw = 0;
    const uint32_t table = builder.SectionTableOffset();
    for (uint32_t i = 0; i < Get16(bytes, PeBuilder::kPeOffset + 6); ++i) {
      if (Get32(bytes, table + 40 * i + 12) == debug_rva)
        debug_raw = Get32(bytes, table + 40 * i + 20);
    }
    uint32_t rdata_raw = 0;
    for (uint32_t i = 0; i < Get16(bytes, PeBuilder::kPeOffset + 6); ++i) {
      if (Get32(bytes, table + 40 * i + 12) == rdata_rva)
        rdata_raw = Get32(bytes, table + 40 * i + 20);
    }
    const size_t entry = rdata_raw + (image.debug_directory_rva - rdata_rva);
    Put32(&bytes, entry + 12, 2);
    Put32(&bytes, entry + 16, 64);
    Put32(&bytes, entry + 20, debug_rva);
    Put32(&bytes, entry + 24, debug_raw);
  }
  image.bytes = std::move(bytes);
  return image;
}

ResourceTree SampleTree() {
  ResourceTree tree;
  tree.Set(ResourceId::Number(kRtRcData), ResourceId::Name("GAME"), kLangEnUs,
           std::vector<uint8_t>(100, 0x11));
  tree.Set(ResourceId::Number(kRtRcData), ResourceId::Number(7), kLangEnUs, {1, 2, 3}, 1252);
  tree.Set(ResourceId::Number(kRtRcData), ResourceId::Number(7), 1031, {4, 5});
  tree.Set(ResourceId::Number(kRtManifest), ResourceId::Number(1), kLangEnUs,
           std::vector<uint8_t>(37, 'm'));
  tree.Set(ResourceId::Name("VEXADATA"), ResourceId::Name(u"caf\u00e9"), 0, {9});
  return tree;
}

}  // namespace vexa::pe::builder
