#include "data/loader.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "data/package.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "script/xml.h"
#include "storage/buffer.h"

namespace {

// True when `text` is longer than kMaxLoaderPathLength, without scanning further than that.
bool IsOverlong(const char* text) {
  for (int i = 0; i <= kMaxLoaderPathLength; ++i)
    if (!text[i]) return false;
  return true;
}

void ClearOutputs(uint8_t** data, int32_t* size) {
  *data = nullptr;
  *size = 0;
}

// Moves the buffer's block to the caller's outputs. False only when an empty buffer cannot get its
// zero-length block.
bool HandOver(CSmartBuffer* bytes, uint8_t** data, int32_t* size) {
  const int32_t length = bytes->Size();
  uint8_t* block = bytes->Detach();
  if (!block) return false;
  *data = block;
  *size = length;
  return true;
}

char LowerEntryChar(char c) {
  if (c == '/') return '\\';
  return vexa::platform::ToLowerAscii(c);
}

// Length of the leading part of `entryName` that is left over when it and `request` (already lower
// case with backslashes) agree from their last characters back until one of them runs out; -1 when
// they differ before that. The entry name is compared as lower case with backslashes. Folder
// boundaries do not matter: "ame.swf" and "game.swf" agree.
int UnmatchedEntryLead(const char* entryName, const CSmallStr& request) {
  int a = static_cast<int>(std::strlen(entryName));
  int b = request.GetLength();
  const char* r = request.c_str();
  while (a > 0 && b > 0) {
    if (LowerEntryChar(entryName[a - 1]) != r[b - 1]) return -1;
    --a;
    --b;
  }
  return a;
}

void AnnotateWithBase(CXMLElement* root, const CSmallStr& base) {
  // Iterative, so the walk's depth costs no stack whatever the document's nesting.
  std::vector<CXMLElement*> pending;
  if (root) pending.push_back(root);
  while (!pending.empty()) {
    CXMLElement* element = pending.back();
    pending.pop_back();
    // The inside of an unopened ifdef block keeps its relative URLs and gets no base: the script
    // engine resolves it against DBBASE if the block is ever opened.
    if (element->GetName() == "ifdef") continue;
    element->SetAttribute("__base__", base.c_str(), 1);
    for (auto& attribute : element->GetAttributes()) {
      if (attribute.first.CompareNoCase("url") != 0) continue;
      attribute.second.value = ResolveRelativePath(attribute.second.value.c_str(), base.c_str());
    }
    const auto& children = element->GetChildren();
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
  }
}

}  // namespace

CSmallStr GetExecutableFolder() {
  const std::string program = vexa::platform::ExecutablePath();
  if (program.empty()) return CSmallStr();
  // "..\" against the program's file name drops the name and keeps the folder with a final '/'.
  return ResolveRelativePath("..\\", program.c_str());
}

CSmallStr MakeExecutablePath(const char* name) {
  CSmallStr path = GetExecutableFolder();
  path += name ? name : "";
  return path;
}

HRESULT ReadWholeFile(const char* fileName, uint8_t** data, int32_t* size) {
  if (!data || !size) return E_INVALIDARG;
  ClearOutputs(data, size);
  if (!fileName) return E_INVALIDARG;
  return vexa::platform::ReadPlainFile(fileName, data, size) ? S_OK : E_FAIL;
}

CFileLoader::CFileLoader() : baseFolder_(GetExecutableFolder()) {}

CFileLoader::CFileLoader(const char* baseFolder) {
  if (!baseFolder || !*baseFolder) {
    baseFolder_ = GetExecutableFolder();
    return;
  }
  baseFolder_ = baseFolder;
  baseFolder_.Replace('\\', '/');
  if (baseFolder_[baseFolder_.GetLength() - 1] != '/') baseFolder_ += '/';
}

CSmallStr CFileLoader::MakeBasePath(const char* name) const {
  CSmallStr path = baseFolder_;
  path += name ? name : "";
  return path;
}

bool CFileLoader::IsInsideBaseFolder(const CSmallStr& fileName) const {
  std::string folder;
  std::string file;
  // Without a known base folder the names are relative to the current directory; confine to it.
  if (!vexa::platform::GetFullPath(baseFolder_.IsEmpty() ? std::string(".") : baseFolder_.str(),
                                   &folder)) {
    return false;
  }
  if (!vexa::platform::GetFullPath(fileName.str(), &file)) return false;
  return vexa::platform::IsPathInFolder(file, folder);
}

HRESULT CFileLoader::Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
                          const char* packageName) {
  if (!data || !size) return E_INVALIDARG;
  if (SUCCEEDED(LoadFromPackage(packageName, nullptr, path, data, size, baseUrl))) return S_OK;
  return ReadDisk(path, true, data, size, baseUrl);
}

HRESULT CFileLoader::LoadFromPackage(const char* packageName, const char* password,
                                     const char* path, uint8_t** data, int32_t* size,
                                     CSmallStr* baseUrl) {
  if (!data || !size) return E_INVALIDARG;
  ClearOutputs(data, size);
  if (!path || IsOverlong(path) || (packageName && IsOverlong(packageName))) return E_INVALIDARG;
  if (!password) password = kPackageDefaultPassword;

  CSmallStr package;
  CSmallStr inner;
  SplitPseudoUrl(path, packageName, &package, &inner);
  inner.MakeLower();
  inner.Replace('/', '\\');
  // An empty request would agree with every entry name in the suffix lookup below, and an empty
  // package name names the base folder itself.
  if (inner.IsEmpty() || package.IsEmpty()) return E_FAIL;

  const CSmallStr packagePath = MakeBasePath(package.c_str());
  if (!IsInsideBaseFolder(packagePath)) return E_ACCESSDENIED;
  CPackageArchive* archive = nullptr;
  const HRESULT opened = OpenPackage(packagePath.c_str(), &archive);
  if (FAILED(opened)) return opened;
  if (!archive) return E_FAIL;

  CSmartBuffer bytes;
  if (archive->ReadEntryNamed(inner.c_str(), password, &bytes)) {
    if (!HandOver(&bytes, data, size)) return E_OUTOFMEMORY;
    if (baseUrl) *baseUrl = PackageRootUrl(package) + inner.Left(inner.ReverseFind('\\') + 1);
    return S_OK;
  }

  // Movies ask for files by names that only partly match the package's folder layout: take the
  // first entry whose name and the request agree from the end. Later entries are not tried, even
  // when this one does not decode.
  const int32_t i =
      archive->FindEntryAgreeingFromEnd(std::string_view(inner.c_str(), inner.GetLength()));
  if (i < 0) return E_FAIL;
  const char* name = archive->GetEntry(i)->name;
  const int lead = UnmatchedEntryLead(name, inner);
  if (lead < 0) return E_FAIL;
  if (!archive->ReadEntryAt(i, password, &bytes)) return E_FAIL;
  if (!HandOver(&bytes, data, size)) return E_OUTOFMEMORY;
  // A lead of one character is no folder ("game.swf" answering "ame.swf"); then the caller's
  // base URL stays.
  if (baseUrl && lead >= 2) {
    CSmallStr folder;
    for (int k = 0; k < lead; ++k) folder += LowerEntryChar(name[k]);
    *baseUrl = PackageRootUrl(package) + folder;
  }
  return S_OK;
}

HRESULT CFileLoader::LoadFromDisk(const char* path, uint8_t** data, int32_t* size,
                                  CSmallStr* baseUrl) {
  if (!data || !size) return E_INVALIDARG;
  return ReadDisk(path, false, data, size, baseUrl);
}

HRESULT CFileLoader::ReadDisk(const char* path, bool confined, uint8_t** data, int32_t* size,
                              CSmallStr* baseUrl) {
  ClearOutputs(data, size);
  if (!path || IsOverlong(path)) return E_INVALIDARG;

  CSmallStr package;
  CSmallStr inner;
  SplitPseudoUrl(path, nullptr, &package, &inner);
  // Nothing to read: the base folder (or the current directory) itself is not a file.
  if (inner.IsEmpty()) return E_FAIL;

  // A pseudo URL carries the disk path itself; anything else is relative to the base folder. URLs
  // drop the root separator of a disk URL's absolute path, which only matters outside Windows.
  // The explicit absolute-path form (the disk marker as package) names its file on purpose: it is
  // read wherever it is. Every other form stays inside the base folder when confined.
  const bool explicitDisk = StartsWithPseudoUrlPrefix(path, true) && package == kDiskPackageMarker;
  if (explicitDisk) confined = false;
  CSmallStr fileName;
  if (!StartsWithPseudoUrlPrefix(path, true)) {
    fileName = MakeBasePath(inner.c_str());
  } else if (package == kDiskPackageMarker) {
    fileName = CSmallStr(vexa::platform::DiskPathFromUrlPath(inner.str()));
  } else {
    fileName = inner;
  }
  fileName.Replace('/', '\\');
  CSmallStr withColons = fileName;
  withColons.Replace('#', ':');
  HRESULT first = E_ACCESSDENIED;
  if (!confined || IsInsideBaseFolder(withColons)) {
    first = ReadWholeFile(withColons.c_str(), data, size);
  }

  if (FAILED(first)) {
    // Second try: the path as the caller wrote it, relative to the current directory.
    inner.Replace('#', ':');
    HRESULT second = E_ACCESSDENIED;
    if (!confined || IsInsideBaseFolder(inner)) second = ReadWholeFile(inner.c_str(), data, size);
    // "Refused" only when no try was allowed at all; a file missing where we may look is E_FAIL.
    if (FAILED(second))
      return (second == E_ACCESSDENIED && first != E_ACCESSDENIED) ? first : second;
    fileName = inner;
  }

  if (baseUrl) {
    const int lastSeparator = fileName.ReverseFind('\\');
    if (lastSeparator > 0) {
      CSmallStr url(kPseudoUrlPrefix);
      url += kDiskPackageMarker;
      url += kPackagePathMarker;
      url += '\\';
      url += fileName.Left(lastSeparator);
      *baseUrl = url;
    }
  }
  return S_OK;
}

HRESULT LoadXMLDocument(IFileLoader* loader, const char* path, CXMLParser* parser,
                        const char* packageName) {
  if (!loader || !parser) return E_FAIL;
  uint8_t* data = nullptr;
  int32_t size = 0;
  CSmallStr baseUrl;
  if (FAILED(loader->Load(path, &data, &size, &baseUrl, packageName))) return E_FAIL;

  // The parser reads a zero-terminated text.
  char* text = new (std::nothrow) char[static_cast<size_t>(size) + 1];
  if (!text) {
    delete[] data;
    return E_FAIL;
  }
  if (size > 0) std::memcpy(text, data, static_cast<size_t>(size));
  text[size] = 0;
  delete[] data;

  CSmallStr base = baseUrl;
  base.Replace('/', '\\');
  if (!base.IsEmpty() && base[base.GetLength() - 1] != '\\') base += '\\';

  const int parsed = parser->ParseDocument(text);
  delete[] text;
  AnnotateWithBase(parser->GetRoot(), base);
  return parsed ? S_OK : E_FAIL;
}
