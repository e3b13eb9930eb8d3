// VS_VERSIONINFO: building the RT_VERSION resource and reading one back.
//
// Every block is { wLength, wValueLength, wType, key (UTF-16, NUL-terminated), padding to 4,
// value, padding to 4, children }. wLength covers the block up to the end of its value or last
// child; the padding in front of a following sibling belongs to the parent.
#include "pe.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pe_internal.h"

namespace vexa::pe {

using internal::Append16;
using internal::Append32;
using internal::InRange;
using internal::Load16;
using internal::Load32;
using internal::Utf16ToUtf8;
using internal::Utf8ToUtf16;

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 52;
constexpr char16_t kTableKey[] = u"040904B0";

struct Block {
  std::u16string key;
  uint16_t type = 1;  // 1 text, 0 binary
  uint16_t value_length = 0;
  std::vector<uint8_t> value;
  std::vector<Block> children;
};

void Pad(std::vector<uint8_t>* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

void Write(const Block& block, std::vector<uint8_t>* out) {
  const size_t start = out->size();
  Append16(out, 0);
  Append16(out, block.value_length);
  Append16(out, block.type);
  for (char16_t c : block.key) Append16(out, c);
  Append16(out, 0);
  Pad(out);
  out->insert(out->end(), block.value.begin(), block.value.end());
  for (const Block& child : block.children) {
    Pad(out);
    Write(child, out);
  }
  internal::Store16(out->data() + start, static_cast<uint16_t>(out->size() - start));
}

Block StringBlock(const char16_t* key, const std::string& utf8) {
  std::u16string text = Utf8ToUtf16(utf8);
  if (text.size() > kMaxVersionStringUnits) {
    size_t cut = kMaxVersionStringUnits;
    // Never leave half a surrogate pair behind.
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
    text.resize(cut);
  }
  Block block;
  block.key = key;
  block.value_length = static_cast<uint16_t>(text.size() + 1);  // characters with the NUL
  for (char16_t c : text) Append16(&block.value, c);
  Append16(&block.value, 0);
  return block;
}

std::string VersionText(const uint16_t version[4]) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

struct Field {
  const char16_t* key;
  std::string VersionInfo::*member;
};
const Field kFields[] = {
    {u"CompanyName", &VersionInfo::company_name},
    {u"FileDescription", &VersionInfo::file_description},
    {u"FileVersion", &VersionInfo::file_version_text},
    {u"InternalName", &VersionInfo::internal_name},
    {u"LegalCopyright", &VersionInfo::legal_copyright},
    {u"OriginalFilename", &VersionInfo::original_filename},
    {u"ProductName", &VersionInfo::product_name},
    {u"ProductVersion", &VersionInfo::product_version_text},
};

// A block read in place: [begin, end) of its bytes, the value and where the children start.
struct View {
  size_t begin = 0, end = 0;
  std::u16string key;
  uint16_t type = 0;
  uint16_t value_length = 0;
  size_t value = 0;     // offset of the value
  size_t children = 0;  // offset of the first child
};

bool Fail(const std::string& message, std::string* error) {
  if (error) *error = message;
  return false;
}

size_t Align4(size_t value) {
  return (value + 3) & ~size_t{3};
}

// Reads the block at `at` that must end by `limit`.
bool ReadBlock(const std::vector<uint8_t>& bytes, size_t at, size_t limit, bool text_value,
               View* view, std::string* error) {
  if (!InRange(at, 6, limit)) return Fail("a version block runs past its parent", error);
  const uint16_t length = Load16(bytes.data() + at);
  if (length < 6 || !InRange(at, length, limit)) {
    return Fail("a version block has a bad length (" + std::to_string(length) + ")", error);
  }
  view->begin = at;
  view->end = at + length;
  view->value_length = Load16(bytes.data() + at + 2);
  view->type = Load16(bytes.data() + at + 4);
  size_t pos = at + 6;
  view->key.clear();
  while (true) {
    if (pos + 2 > view->end) return Fail("a version block's key is not terminated", error);
    const char16_t c = Load16(bytes.data() + pos);
    pos += 2;
    if (c == 0) break;
    view->key.push_back(c);
  }
  view->value = std::min(Align4(pos), view->end);
  // Text values count characters; writers disagree on wType, so the caller says which it is.
  const size_t value_bytes = text_value ? size_t{view->value_length} * 2 : view->value_length;
  if (value_bytes > view->end - view->value) {
    if (!text_value) return Fail("a version block's value runs past its end", error);
  }
  view->children = std::min(Align4(view->value + value_bytes), view->end);
  return true;
}

// Calls `visit` for every child of `parent`; stops at the first failure.
template <typename Visit>
bool ForEachChild(const std::vector<uint8_t>& bytes, const View& parent, bool text_values,
                  Visit visit, std::string* error) {
  size_t at = parent.children;
  while (at < parent.end) {
    View child;
    if (!ReadBlock(bytes, at, parent.end, text_values, &child, error)) return false;
    if (!visit(child)) return false;
    at = Align4(child.end);
  }
  return true;
}

}  // namespace

bool ParseVersion(const std::string& text, uint16_t version[4]) {
  uint16_t parts[4] = {0, 0, 0, 0};
  size_t count = 0;
  size_t i = 0;
  while (true) {
    if (count == 4) return false;
    uint32_t value = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (value > 0xFFFF) return false;
      ++i;
      ++digits;
    }
    if (digits == 0) return false;
    parts[count++] = static_cast<uint16_t>(value);
    if (i == text.size()) break;
    if (text[i] != '.') return false;
    ++i;
  }
  for (int k = 0; k < 4; ++k) version[k] = parts[k];
  return true;
}

std::vector<uint8_t> BuildVersionInfo(const VersionInfo& info) {
  const uint32_t ms = (uint32_t{info.version[0]} << 16) | info.version[1];
  const uint32_t ls = (uint32_t{info.version[2]} << 16) | info.version[3];
  Block root;
  root.key = u"VS_VERSION_INFO";
  root.type = 0;
  root.value_length = kFixedSize;
  for (uint32_t v :
       {kFixedSignature, 0x00010000u, ms, ls, ms, ls, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u}) {
    Append32(&root.value, v);
  }

  VersionInfo filled = info;
  if (filled.file_version_text.empty()) filled.file_version_text = VersionText(info.version);
  if (filled.product_version_text.empty()) filled.product_version_text = VersionText(info.version);
  Block table;
  table.key = kTableKey;
  for (const Field& field : kFields) {
    const std::string& value = filled.*field.member;
    if (!value.empty()) table.children.push_back(StringBlock(field.key, value));
  }
  Block strings;
  strings.key = u"StringFileInfo";
  strings.children.push_back(std::move(table));

  Block translation;
  translation.key = u"Translation";
  translation.type = 0;
  translation.value_length = 4;
  Append16(&translation.value, 0x0409);
  Append16(&translation.value, 0x04B0);
  Block vars;
  vars.key = u"VarFileInfo";
  vars.children.push_back(std::move(translation));

  root.children.push_back(std::move(strings));
  root.children.push_back(std::move(vars));
  std::vector<uint8_t> out;
  Write(root, &out);
  return out;
}

bool ReadVersionInfo(const std::vector<uint8_t>& bytes, VersionInfo* info, std::string* error) {
  View root;
  if (!ReadBlock(bytes, 0, bytes.size(), false, &root, error)) return false;
  if (root.key != u"VS_VERSION_INFO") return Fail("not a version resource", error);
  if (root.value_length < kFixedSize || !InRange(root.value, kFixedSize, root.end)) {
    return Fail("the version resource has no fixed file information", error);
  }
  const uint8_t* fixed = bytes.data() + root.value;
  if (Load32(fixed) != kFixedSignature) {
    return Fail("the fixed file information has a bad signature", error);
  }
  VersionInfo result;
  const uint32_t ms = Load32(fixed + 8);
  const uint32_t ls = Load32(fixed + 12);
  result.version[0] = static_cast<uint16_t>(ms >> 16);
  result.version[1] = static_cast<uint16_t>(ms);
  result.version[2] = static_cast<uint16_t>(ls >> 16);
  result.version[3] = static_cast<uint16_t>(ls);

  // The US English Unicode table, or else the first table there is.
  bool have_table = false, have_wanted = false;
  View chosen;
  auto upper = [](std::u16string s) {
    for (char16_t& c : s) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return s;
  };
  const bool ok = ForEachChild(
      bytes, root, false,
      [&](const View& child) {
        if (child.key != u"StringFileInfo") return true;
        return ForEachChild(
            bytes, child, false,
            [&](const View& table) {
              const bool wanted = upper(table.key) == kTableKey;
              if (!have_table || (wanted && !have_wanted)) {
                chosen = table;
                have_table = true;
                have_wanted = wanted;
              }
              return true;
            },
            error);
      },
      error);
  if (!ok) return false;
  if (have_table) {
    const bool strings_ok = ForEachChild(
        bytes, chosen, true,
        [&](const View& entry) {
          std::u16string text;
          for (size_t at = entry.value; at + 2 <= entry.end && text.size() < entry.value_length;
               at += 2) {
            const char16_t c = Load16(bytes.data() + at);
            if (c == 0) break;
            text.push_back(c);
          }
          for (const Field& field : kFields) {
            if (entry.key == field.key) result.*field.member = Utf16ToUtf8(text);
          }
          return true;
        },
        error);
    if (!strings_ok) return false;
  }
  *info = result;
  return true;
}

}  // namespace vexa::pe
