#include "data/addons.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <utility>

#include "data/carried.h"
#include "data/loader.h"
#include "data/package.h"
#include "data/pseudourl.h"
#include "platform/ascii.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "script/xml.h"

namespace {

// Names ignoring ASCII case, then byte-wise, so the order never depends on the file system.
bool NameLess(const std::string& a, const std::string& b) {
  const int order = vexa::platform::CompareNoCaseAscii(a, b);
  return order != 0 ? order < 0 : a < b;
}

// A file loader that serves one thing: the entry named "addon.xml" of one opened package, with the
// package's base URL. Everything else fails, so LoadXMLDocument can neither fall back to disk nor
// take another entry by its name's tail.
class CAddonDocumentLoader : public IFileLoader {
 public:
  CAddonDocumentLoader(const CPackageArchive* archive, const CSmallStr& packageName)
      : archive_(archive), packageName_(packageName) {}

  HRESULT Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
               const char*) override {
    if (!data || !size) return E_INVALIDARG;
    *data = nullptr;
    *size = 0;
    if (!path || std::strcmp(path, kAddonDocument) != 0) return E_FAIL;
    const int32_t index = archive_->FindEntry(kAddonDocument);
    CSmartBuffer bytes;
    if (index < 0 || !archive_->ReadEntryAt(index, kPackageDefaultPassword, &bytes)) {
      return E_FAIL;
    }
    const size_t length = static_cast<size_t>(bytes.Size());
    uint8_t* block = new (std::nothrow) uint8_t[length + 1];
    if (!block) return E_OUTOFMEMORY;
    if (length > 0) std::memcpy(block, bytes.Bytes(), length);
    *data = block;
    *size = static_cast<int32_t>(length);
    if (baseUrl) *baseUrl = PackageRootUrl(packageName_);
    return S_OK;
  }
  HRESULT LoadFromPackage(const char*, const char*, const char*, uint8_t** data, int32_t* size,
                          CSmallStr*) override {
    return Refuse(data, size);
  }
  HRESULT LoadFromDisk(const char*, uint8_t** data, int32_t* size, CSmallStr*) override {
    return Refuse(data, size);
  }

 private:
  static HRESULT Refuse(uint8_t** data, int32_t* size) {
    if (data) *data = nullptr;
    if (size) *size = 0;
    return E_FAIL;
  }

  const CPackageArchive* archive_;
  CSmallStr packageName_;
};

// One line for the author's diagnostic log about an add-on left out.
void NoteSkipped(const std::string& name, const std::string& reason, AddonReport* report) {
  report->skipped.push_back(name + ": " + reason);
  if (vexa::platform::DiagnosticsEnabled()) {
    vexa::platform::WriteDiagnostic("addons", "add-on " + name + " left out: " + reason);
  }
}

}  // namespace

int32_t CFileEnumerator::Enumerate(std::vector<CSmallStr>* names) {
  if (!names) return -1;
  std::vector<std::string> found;
  if (!vexa::platform::FindFiles(pattern_.str(), &found) || found.empty()) return -1;
  for (const std::string& name : found) names->emplace_back(name.c_str());
  return 0;
}

bool LoadAddons(const char* gameFolder, CXMLElement* scriptRoot, IAddonPreprocessor* preprocessor,
                AddonReport* report) {
  if (!scriptRoot || !preprocessor) return false;
  AddonReport ignored;
  if (!report) report = &ignored;

  const CFileLoader folder(gameFolder);
  CFileEnumerator enumerator(
      folder.MakeBasePath((std::string(kAddonFolder) + kAddonPattern).c_str()));
  std::vector<CSmallStr> listed;
  const bool found_on_disk = enumerator.Enumerate(&listed) == 0;
  std::vector<std::string> names;
  for (const CSmallStr& name : listed) names.push_back(name.str());
  // A single-file game carries its add-ons; one of the same name on disk takes its place (the
  // package cache opens the disk file first).
  for (const std::string& carried : ListCarriedAddons()) {
    const std::string packageName = std::string(kAddonFolder) + "\\" + carried;
    if (CarriedPackageName(folder.MakeBasePath(packageName.c_str()).c_str()).empty()) continue;
    const bool on_disk = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return vexa::platform::EqualsNoCaseAscii(name, carried);
    });
    if (!on_disk) names.push_back(carried);
  }
  if (!found_on_disk && names.empty()) return false;
  std::sort(names.begin(), names.end(), NameLess);
  report->found = names;

  // Version text to (package name, document); std::string orders as unsigned bytes.
  std::map<std::string, std::pair<std::string, std::unique_ptr<CXMLParser>>> table;
  for (const std::string& name : names) {
    const CSmallStr packageName = (std::string(kAddonFolder) + "\\" + name).c_str();
    CPackageArchive* archive = nullptr;
    if (FAILED(OpenPackage(folder.MakeBasePath(packageName.c_str()).c_str(), &archive)) ||
        !archive) {
      NoteSkipped(name, "not a package (or damaged)", report);
      continue;
    }
    CAddonDocumentLoader documentLoader(archive, packageName);
    auto document = std::make_unique<CXMLParser>();
    if (FAILED(LoadXMLDocument(&documentLoader, kAddonDocument, document.get(), nullptr))) {
      NoteSkipped(name, "no addon.xml at the package's root, or it is not well-formed", report);
      continue;
    }
    CSmallStr version;
    if (!document->GetRoot()->GetAttribute(kAddonVersionAttribute, version)) {
      version = kAddonDefaultVersion;
    }
    const std::string key = version.str();
    if (table.count(key) != 0) {
      NoteSkipped(name, "version \"" + key + "\" is taken by " + table[key].first, report);
      continue;
    }
    table.emplace(key, std::make_pair(name, std::move(document)));
  }

  for (auto& item : table) {
    const std::string& name = item.second.first;
    CXMLElement* root = item.second.second->GetRoot();
    const CSmallStr packageName = (std::string(kAddonFolder) + "\\" + name).c_str();
    const CSmallStr url = ResolveRelativePath(kAddonDocument, PackageRootUrl(packageName).c_str());
    if (FAILED(preprocessor->PreprocessAddon(root, url.c_str()))) {
      NoteSkipped(name, "its includes or definitions hit a limit of the script", report);
      item.second.second.reset();
      continue;
    }
    for (const CXMLElement* child : root->GetChildren())
      scriptRoot->AppendChild(child->Clone(true));
    report->merged.push_back(name + " " + item.first);
    // The document is not needed once its elements are copied.
    item.second.second.reset();
  }
  return true;
}
