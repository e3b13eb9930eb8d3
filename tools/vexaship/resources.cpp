// The resource tree: ids and leaves, reading the three-level directory of an image and writing a
// new one. Text conversion helpers shared by the library live here too.
#include "pe.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "pe_internal.h"

namespace vexa::pe {

namespace internal {

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t code = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, minimum = 0x10000;
    }
    // Consume the lead and every continuation byte that still fits, so one bad sequence gives one
    // replacement character and the next good character is not swallowed.
    size_t used = 1;
    bool ok = length != 0;
    while (ok && used < length) {
      if (i + used >= n) {
        ok = false;
        break;
      }
      const uint8_t next = static_cast<uint8_t>(text[i + used]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      code = (code << 6) | (next & 0x3F);
      ++used;
    }
    if (ok && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
      ok = false;
    }
    if (!ok) {
      out.push_back(0xFFFD);
      i += used;
      continue;
    }
    i += used;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

std::string Describe(const ResourceId& id) {
  if (!id.is_name) return std::to_string(id.number);
  std::string text = "\"";
  // Messages are one line: long or odd names are shortened and control characters escaped.
  const size_t shown = std::min<size_t>(id.name.size(), 40);
  for (char c : Utf16ToUtf8(id.name.substr(0, shown))) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      text += '?';
    } else {
      text += c;
    }
  }
  if (shown < id.name.size()) text += "...";
  return text + "\"";
}

}  // namespace internal

using internal::Describe;
using internal::InRange;
using internal::Load16;
using internal::Load32;
using internal::Store32;

// --- ResourceId ----------------------------------------------------------------------------------

ResourceId ResourceId::Number(uint16_t n) {
  ResourceId id;
  id.number = n;
  return id;
}

ResourceId ResourceId::Name(const std::u16string& text) {
  ResourceId id;
  id.is_name = true;
  id.name = text;
  for (char16_t& c : id.name) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return id;
}

ResourceId ResourceId::Name(const char* text) {
  return Name(internal::Utf8ToUtf16(text ? std::string(text) : std::string()));
}

bool ResourceId::operator<(const ResourceId& other) const {
  if (is_name != other.is_name) return is_name;  // names first
  if (is_name) return name < other.name;         // char16_t is unsigned: code unit order
  return number < other.number;
}

bool ResourceId::operator==(const ResourceId& other) const {
  if (is_name != other.is_name) return false;
  return is_name ? name == other.name : number == other.number;
}

// --- ResourceTree --------------------------------------------------------------------------------

void ResourceTree::Set(const ResourceId& type, const ResourceId& name, uint16_t language,
                       std::vector<uint8_t> bytes, uint32_t code_page) {
  Set(type, name, ResourceId::Number(language), std::move(bytes), code_page);
}

void ResourceTree::Set(const ResourceId& type, const ResourceId& name, const ResourceId& language,
                       std::vector<uint8_t> bytes, uint32_t code_page) {
  ResourceData& data = leaves_[Key{type, name, language}];
  data.bytes = std::move(bytes);
  data.code_page = code_page;
}

size_t ResourceTree::Remove(const ResourceId& type, const ResourceId& name) {
  // A two-element key sorts before every three-element key that starts with it.
  auto first = leaves_.lower_bound(Key{type, name});
  auto last = first;
  size_t count = 0;
  while (last != leaves_.end() && last->first[0] == type && last->first[1] == name) {
    ++last;
    ++count;
  }
  leaves_.erase(first, last);
  return count;
}

size_t ResourceTree::RemoveType(const ResourceId& type) {
  auto first = leaves_.lower_bound(Key{type});
  auto last = first;
  size_t count = 0;
  while (last != leaves_.end() && last->first[0] == type) {
    ++last;
    ++count;
  }
  leaves_.erase(first, last);
  return count;
}

const ResourceData* ResourceTree::Find(const ResourceId& type, const ResourceId& name) const {
  auto it = leaves_.lower_bound(Key{type, name});
  if (it == leaves_.end() || !(it->first[0] == type) || !(it->first[1] == name)) return nullptr;
  return &it->second;
}

std::vector<ResourceId> ResourceTree::Names(const ResourceId& type) const {
  std::vector<ResourceId> names;
  for (auto it = leaves_.lower_bound(Key{type}); it != leaves_.end() && it->first[0] == type;
       ++it) {
    if (names.empty() || !(names.back() == it->first[1])) names.push_back(it->first[1]);
  }
  return names;
}

namespace internal {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
const char* const kLevelNames[3] = {"type", "name", "language"};

class Decoder {
 public:
  Decoder(const ImageInfo& info, const std::vector<uint8_t>& bytes) : info_(info), bytes_(bytes) {}

  bool Run(ResourceTree* tree, std::string* error) {
    const DataDirectory dir = info_.Directory(kDirResource);
    if (dir.rva == 0) return true;  // no resources
    const int section = info_.SectionOfRva(dir.rva);
    if (section < 0) return Fail("the resource directory lies outside the sections", error);
    // Every offset in the tree is relative to the directory start and must stay inside the
    // file-backed part of the section that holds it.
    const Section& s = info_.sections[static_cast<size_t>(section)];
    base_rva_ = dir.rva;
    const uint64_t section_end = uint64_t{s.virtual_address} + s.file_backed_size();
    if (base_rva_ >= section_end) {
      return Fail("the resource directory lies outside the file data of section " + s.name, error);
    }
    limit_ = section_end - base_rva_;
    base_offset_ = uint64_t{s.raw_pointer} + (base_rva_ - s.virtual_address);
    // Sharing and overlapping data blocks could make the copies far larger than the file.
    budget_ = 2 * uint64_t{bytes_.size()} + 65536;
    std::vector<ResourceId> path;
    if (!Directory(0, 0, &path, error)) return false;
    *tree = std::move(tree_);
    return true;
  }

 private:
  static bool Fail(const std::string& message, std::string* error) {
    if (error) *error = message;
    return false;
  }

  const uint8_t* At(uint64_t offset) const { return bytes_.data() + base_offset_ + offset; }

  bool ReadName(uint32_t offset, ResourceId* id, std::string* error) {
    if (!InRange(offset, 2, limit_)) return Fail("a resource name lies outside the section", error);
    const uint16_t length = Load16(At(offset));
    if (!InRange(uint64_t{offset} + 2, uint64_t{length} * 2, limit_)) {
      return Fail("a resource name runs past the end of the section", error);
    }
    std::u16string text(length, u'\0');
    for (uint16_t i = 0; i < length; ++i) text[i] = Load16(At(uint64_t{offset} + 2 + 2u * i));
    // Names the loader could not find as stored (lower case) are kept findable.
    *id = ResourceId::Name(text);
    return true;
  }

  bool Directory(uint32_t offset, int level, std::vector<ResourceId>* path, std::string* error) {
    if (!visited_directories_.insert(offset).second) {
      return Fail("the resource tree loops (directory at offset " + std::to_string(offset) +
                      " reached twice)",
                  error);
    }
    if (!InRange(offset, kDirectoryHeaderSize, limit_)) {
      return Fail("a resource directory lies outside the section", error);
    }
    const uint64_t count = uint64_t{Load16(At(offset + 12))} + Load16(At(offset + 14));
    const uint64_t entries = uint64_t{offset} + kDirectoryHeaderSize;
    if (!InRange(entries, count * kEntrySize, limit_)) {
      return Fail("the entries of a resource directory run past the end of the section", error);
    }
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* entry = At(entries + i * kEntrySize);
      const uint32_t name_field = Load32(entry);
      const uint32_t data_field = Load32(entry + 4);
      ResourceId id;
      if (name_field & kHighBit) {
        if (!ReadName(name_field & ~kHighBit, &id, error)) return false;
      } else {
        if (name_field > 0xFFFF) {
          return Fail("a resource " + std::string(kLevelNames[level]) + " id is out of range",
                      error);
        }
        id = ResourceId::Number(static_cast<uint16_t>(name_field));
      }
      const bool is_directory = (data_field & kHighBit) != 0;
      if (level < 2 && !is_directory) {
        return Fail("a resource " + std::string(kLevelNames[level]) +
                        " entry points at data instead of a directory",
                    error);
      }
      if (level == 2 && is_directory) {
        return Fail("the resource tree is deeper than three levels", error);
      }
      path->push_back(id);
      const bool ok = is_directory ? Directory(data_field & ~kHighBit, level + 1, path, error)
                                   : Leaf(data_field, *path, error);
      path->pop_back();
      if (!ok) return false;
    }
    return true;
  }

  bool Leaf(uint32_t offset, const std::vector<ResourceId>& path, std::string* error) {
    const std::string where = Describe(path[0]) + "/" + Describe(path[1]);
    if (!visited_data_.insert(offset).second) {
      return Fail("resource " + where + ": its data entry is listed twice", error);
    }
    if (!InRange(offset, kDataEntrySize, limit_)) {
      return Fail("resource " + where + ": its data entry lies outside the section", error);
    }
    const uint32_t rva = Load32(At(offset));
    const uint32_t size = Load32(At(uint64_t{offset} + 4));
    const uint32_t code_page = Load32(At(uint64_t{offset} + 8));
    std::vector<uint8_t> data;
    if (size != 0) {
      uint64_t file_offset = 0;
      if (!info_.RvaToOffset(rva, size, &file_offset)) {
        return Fail("resource " + where + ": its data (RVA " + std::to_string(rva) + ", " +
                        std::to_string(size) + " bytes) lies outside the image's file data",
                    error);
      }
      if (size > budget_) {
        return Fail("resource data blocks overlap (more bytes than the file holds)", error);
      }
      budget_ -= size;
      data.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(file_offset),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(file_offset + size));
    }
    if (tree_.leaves().count(path) != 0) {
      return Fail("resource " + where + " (language " + Describe(path[2]) + ") is listed twice",
                  error);
    }
    tree_.Set(path[0], path[1], path[2], std::move(data), code_page);
    return true;
  }

  const ImageInfo& info_;
  const std::vector<uint8_t>& bytes_;
  uint32_t base_rva_ = 0;
  uint64_t base_offset_ = 0;
  uint64_t limit_ = 0;
  uint64_t budget_ = 0;
  std::set<uint32_t> visited_directories_;
  std::set<uint32_t> visited_data_;
  ResourceTree tree_;
};

// The ids the writer stores: names upper-cased the way the loader looks them up.
ResourceId Canonical(const ResourceId& id) {
  return id.is_name ? ResourceId::Name(id.name) : id;
}

}  // namespace

bool DecodeResources(const ImageInfo& info, const std::vector<uint8_t>& bytes, ResourceTree* tree,
                     std::string* error) {
  Decoder decoder(info, bytes);
  return decoder.Run(tree, error);
}

bool EncodeResources(const ResourceTree& tree, uint32_t section_rva, std::vector<uint8_t>* out,
                     std::string* error) {
  // Canonical names can make two leaves of the caller's tree one; that is refused rather than
  // guessed at.
  std::map<ResourceTree::Key, const ResourceData*> leaves;
  for (const auto& [key, data] : tree.leaves()) {
    if (key.size() != 3) {
      if (error) *error = "a resource key does not have three levels";
      return false;
    }
    ResourceTree::Key canonical{Canonical(key[0]), Canonical(key[1]), Canonical(key[2])};
    for (const ResourceId& id : canonical) {
      if (id.is_name && id.name.size() > 0xFFFF) {
        if (error) *error = "a resource name is longer than 65535 characters";
        return false;
      }
    }
    if (!leaves.emplace(canonical, &data).second) {
      if (error) {
        *error = "resources " + Describe(key[0]) + "/" + Describe(key[1]) +
                 " differ only in the case of their names";
      }
      return false;
    }
  }

  // Directories are laid out breadth first (root, types, names), then the data entries, the name
  // strings and the data blocks; the loader only follows offsets, so the order is ours to pick.
  struct Dir {
    std::vector<ResourceId> ids;
    std::vector<size_t> children;  // directories (levels 0, 1) or leaf indexes (level 2)
  };
  std::vector<Dir> level0(1), level1, level2;
  std::vector<const ResourceData*> leaf_data;
  {
    const ResourceId* type = nullptr;
    const ResourceId* name = nullptr;
    for (const auto& [key, data] : leaves) {
      if (!type || !(*type == key[0])) {
        type = &key[0];
        name = nullptr;
        level0[0].ids.push_back(key[0]);
        level0[0].children.push_back(level1.size());
        level1.emplace_back();
      }
      if (!name || !(*name == key[1])) {
        name = &key[1];
        level1.back().ids.push_back(key[1]);
        level1.back().children.push_back(level2.size());
        level2.emplace_back();
      }
      level2.back().ids.push_back(key[2]);
      level2.back().children.push_back(leaf_data.size());
      leaf_data.push_back(data);
    }
  }
  auto dir_size = [](const Dir& d) { return kDirectoryHeaderSize + kEntrySize * d.ids.size(); };
  uint64_t offset = 0;
  std::vector<uint64_t> off0, off1, off2;
  for (const Dir& d : level0) off0.push_back(offset), offset += dir_size(d);
  for (const Dir& d : level1) off1.push_back(offset), offset += dir_size(d);
  for (const Dir& d : level2) off2.push_back(offset), offset += dir_size(d);
  const uint64_t data_entries = offset;
  offset += kDataEntrySize * leaf_data.size();
  // Strings: one per distinct name, shared by every entry that uses it.
  std::map<std::u16string, uint64_t> string_offsets;
  for (const std::vector<Dir>* level : {&level0, &level1, &level2}) {
    for (const Dir& d : *level) {
      for (const ResourceId& id : d.ids) {
        if (id.is_name && string_offsets.emplace(id.name, offset).second) {
          offset += 2 + 2 * uint64_t{id.name.size()};
        }
      }
    }
  }
  std::vector<uint64_t> data_offsets;
  for (const ResourceData* data : leaf_data) {
    offset = AlignUp(offset, 8);
    data_offsets.push_back(offset);
    offset += data->bytes.size();
  }
  offset = AlignUp(offset, 8);
  // Offsets lose their top bit to the flags, and RVAs must stay 32-bit.
  if (offset >= 0x7FFFFFFF || uint64_t{section_rva} + offset > 0xFFFFFFFFu) {
    if (error) *error = "the resources are too large for an image";
    return false;
  }

  std::vector<uint8_t> bytes(static_cast<size_t>(offset), 0);
  auto write_dir = [&](const Dir& d, uint64_t at, const std::vector<uint64_t>& child_offsets,
                       bool leaves_below) {
    uint16_t named = 0;
    for (const ResourceId& id : d.ids) named = static_cast<uint16_t>(named + (id.is_name ? 1 : 0));
    internal::Store16(&bytes[at + 12], named);
    internal::Store16(&bytes[at + 14], static_cast<uint16_t>(d.ids.size() - named));
    for (size_t i = 0; i < d.ids.size(); ++i) {
      uint8_t* entry = &bytes[at + kDirectoryHeaderSize + kEntrySize * i];
      const ResourceId& id = d.ids[i];
      Store32(entry,
              id.is_name ? kHighBit | static_cast<uint32_t>(string_offsets[id.name]) : id.number);
      const uint64_t target = child_offsets[d.children[i]];
      Store32(entry + 4, static_cast<uint32_t>(target) | (leaves_below ? 0 : kHighBit));
    }
  };
  // More than 65535 entries in one directory cannot be counted in its header.
  for (const std::vector<Dir>* level : {&level0, &level1, &level2}) {
    for (const Dir& d : *level) {
      if (d.ids.size() > 0xFFFF) {
        if (error) *error = "a resource directory has more than 65535 entries";
        return false;
      }
    }
  }
  std::vector<uint64_t> leaf_entry_offsets;
  for (size_t i = 0; i < leaf_data.size(); ++i) {
    leaf_entry_offsets.push_back(data_entries + kDataEntrySize * i);
  }
  for (size_t i = 0; i < level0.size(); ++i) write_dir(level0[i], off0[i], off1, false);
  for (size_t i = 0; i < level1.size(); ++i) write_dir(level1[i], off1[i], off2, false);
  for (size_t i = 0; i < level2.size(); ++i)
    write_dir(level2[i], off2[i], leaf_entry_offsets, true);
  for (size_t i = 0; i < leaf_data.size(); ++i) {
    uint8_t* entry = &bytes[leaf_entry_offsets[i]];
    Store32(entry, section_rva + static_cast<uint32_t>(data_offsets[i]));
    Store32(entry + 4, static_cast<uint32_t>(leaf_data[i]->bytes.size()));
    Store32(entry + 8, leaf_data[i]->code_page);
    std::copy(leaf_data[i]->bytes.begin(), leaf_data[i]->bytes.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(data_offsets[i]));
  }
  for (const auto& [name, at] : string_offsets) {
    internal::Store16(&bytes[at], static_cast<uint16_t>(name.size()));
    for (size_t i = 0; i < name.size(); ++i) internal::Store16(&bytes[at + 2 + 2 * i], name[i]);
  }
  out->swap(bytes);
  return true;
}

}  // namespace internal

}  // namespace vexa::pe
