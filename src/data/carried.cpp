#include "data/carried.h"

#include "data/addons.h"
#include "data/loader.h"
#include "platform/resources.h"

namespace {

bool FindInProgram(const char* name, const uint8_t** data, uint32_t* size) {
  return vexa::platform::FindProgramResource(kCarriedPackageType, name, data, size);
}

std::vector<std::string> ListInProgram() {
  return vexa::platform::ListProgramResources(kCarriedPackageType);
}

const CarriedPackageSource kProgramSource = {FindInProgram, ListInProgram};
const CarriedPackageSource* g_source = &kProgramSource;

char Fold(char c) {
  if (c == '/') return '\\';
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return c;
}

std::string FoldPath(const std::string& path) {
  std::string folded;
  folded.reserve(path.size());
  for (char c : path) folded.push_back(Fold(c));
  return folded;
}

}  // namespace

void SetCarriedPackageSource(const CarriedPackageSource* source) {
  g_source = source ? source : &kProgramSource;
}

std::string CarriedPackageName(const char* fullPath) {
  if (!fullPath) return {};
  const std::string folder = FoldPath(GetExecutableFolder().str());
  const std::string path = FoldPath(fullPath);
  if (folder.empty() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0)
    return {};
  std::string name = path.substr(folder.size());
  // Only plain relative names: anything that could climb out or name a stream is not carried.
  if (name.find("..") != std::string::npos || name.find(':') != std::string::npos ||
      name.front() == '\\')
    return {};
  return name;
}

bool FindCarriedPackage(const std::string& name, const uint8_t** data, uint32_t* size) {
  if (name.empty() || !data || !size) return false;
  return g_source->find(name.c_str(), data, size);
}

std::vector<std::string> ListCarriedAddons() {
  const std::string prefix = FoldPath(std::string(kAddonFolder) + "\\");
  const std::string suffix = ".VXA";
  std::vector<std::string> addons;
  for (const std::string& carried : g_source->list()) {
    const std::string name = FoldPath(carried);
    if (name.size() <= prefix.size() + suffix.size()) continue;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    const std::string file = name.substr(prefix.size());
    if (file.find('\\') != std::string::npos) continue;
    addons.push_back(file);
  }
  return addons;
}
