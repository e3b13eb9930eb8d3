// Fuzz target: arbitrary bytes as a PE image (parse, machine, export names, resources, and a
// rewrite with the same resources, which must parse and read back as the same tree), as an icon
// file and as a version resource. The bytes sit in a vector of exactly their size, so any read
// past the end is caught by the sanitizers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pe.h"

namespace {

using vexa::pe::ResourceTree;

bool SameTree(const ResourceTree& a, const ResourceTree& b) {
  if (a.leaves().size() != b.leaves().size()) return false;
  auto x = a.leaves().begin();
  auto y = b.leaves().begin();
  for (; x != a.leaves().end(); ++x, ++y) {
    if (!(x->first == y->first) || x->second.bytes != y->second.bytes ||
        x->second.code_page != y->second.code_page) {
      return false;
    }
  }
  return true;
}

size_t Utf16Units(const std::string& utf8) {
  size_t units = 0;
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

void CheckImage(const std::vector<uint8_t>& bytes) {
  vexa::pe::PeImage image;
  std::string error;
  if (!image.Parse(bytes, &error)) return;
  if (image.machine() == vexa::pe::Machine::kUnknown) std::abort();
  image.is_dll();
  std::vector<std::string> names;
  image.ExportNames(&names, &error);
  ResourceTree tree;
  if (!image.ReadResources(&tree, &error)) return;
  std::vector<uint8_t> out;
  bool dropped = false;
  if (!image.WriteWithResources(tree, &out, &dropped, &error)) {
    if (!out.empty()) std::abort();  // a refusal leaves the output alone
    return;
  }
  vexa::pe::PeImage again;
  if (!again.Parse(out, &error)) std::abort();
  if (again.machine() != image.machine()) std::abort();
  ResourceTree back;
  if (!again.ReadResources(&back, &error)) std::abort();
  if (!SameTree(tree, back)) std::abort();
}

void CheckIcon(const std::vector<uint8_t>& bytes) {
  std::vector<vexa::pe::IconImage> images;
  std::string error;
  if (!vexa::pe::ReadIcoFile(bytes, &images, &error)) {
    if (!images.empty()) std::abort();
    return;
  }
  if (images.empty()) std::abort();
  ResourceTree tree;
  const auto group = vexa::pe::ResourceId::Name("MAINICON");
  vexa::pe::SetIconGroup(&tree, group, vexa::pe::kLangEnUs, images);
  const vexa::pe::ResourceData* data =
      tree.Find(vexa::pe::ResourceId::Number(vexa::pe::kRtGroupIcon), group);
  if (!data || data->bytes.size() != 6 + 14 * images.size()) std::abort();
}

void CheckVersion(const std::vector<uint8_t>& bytes) {
  vexa::pe::VersionInfo info;
  std::string error;
  if (!vexa::pe::ReadVersionInfo(bytes, &info, &error)) return;
  // What was read builds into bytes that read back the same (texts within the length limit; an
  // absent version text is filled in by the builder).
  vexa::pe::VersionInfo back;
  if (!vexa::pe::ReadVersionInfo(vexa::pe::BuildVersionInfo(info), &back, &error)) std::abort();
  for (int i = 0; i < 4; ++i) {
    if (back.version[i] != info.version[i]) std::abort();
  }
  const std::string vexa::pe::VersionInfo::*fields[] = {
      &vexa::pe::VersionInfo::company_name,      &vexa::pe::VersionInfo::file_description,
      &vexa::pe::VersionInfo::internal_name,     &vexa::pe::VersionInfo::legal_copyright,
      &vexa::pe::VersionInfo::original_filename, &vexa::pe::VersionInfo::product_name,
      &vexa::pe::VersionInfo::file_version_text, &vexa::pe::VersionInfo::product_version_text};
  for (auto field : fields) {
    const std::string& before = info.*field;
    if (before.empty() || Utf16Units(before) > vexa::pe::kMaxVersionStringUnits) continue;
    if (back.*field != before) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 22)) return 0;
  const std::vector<uint8_t> bytes(data, data + size);
  CheckImage(bytes);
  CheckIcon(bytes);
  CheckVersion(bytes);
  return 0;
}
