#include "system/pluginlibs.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/loader.h"
#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/library.h"

namespace {

// Name order ignoring ASCII case; names equal that way fall back to their bytes, so the order is
// total and the same on every run.
bool NameBefore(const std::string& a, const std::string& b) {
  const int order = vexa::platform::CompareNoCaseAscii(a, b);
  return order != 0 ? order < 0 : a < b;
}

// The folder with backslash separators and a trailing backslash; empty stays empty.
std::string WindowsFolder(std::string folder) {
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

bool IsPluginLibraryName(std::string_view name) {
  constexpr std::string_view kSuffix = ".dll";
  return name.size() >= kSuffix.size() &&
         vexa::platform::EqualsNoCaseAscii(name.substr(name.size() - kSuffix.size()), kSuffix);
}

CPluginLibraryList::~CPluginLibraryList() {
  UnloadPluginLibraries(this);
  SetHostControl(nullptr);
}

void CPluginLibraryList::SetHostControl(IVEXAHostControl* host) {
  if (host) host->AddRef();
  if (host_) host_->Release();
  host_ = host;
}

size_t LoadPluginLibraries(CPluginLibraryList* list, const char* folder) {
  if (!list || !list->host_) return 0;
  // LoadLibrary wants backslashes in a path; the folder search takes either.
  const std::string base =
      WindowsFolder((folder && *folder) ? std::string(folder) : GetExecutableFolder().str());
  if (base.empty()) return 0;

  std::vector<std::string> names;
  if (!vexa::platform::FindFiles(base + "*.dll", &names)) return 0;
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& name) { return !IsPluginLibraryName(name); }),
              names.end());
  std::sort(names.begin(), names.end(), NameBefore);

  size_t added = 0;
  for (const std::string& name : names) {
    const std::string path = base + name;
    if (vexa::platform::IsDirectory(path)) continue;
    vexa::platform::LibraryHandle module = vexa::platform::OpenLibrary(path, true);
    if (!module) continue;
    const bool known =
        std::any_of(list->records_.begin(), list->records_.end(),
                    [module](const CPluginLibraryList::Record& r) { return r.module == module; });
    auto entry = reinterpret_cast<VEXAGetClassObjectProc>(
        vexa::platform::FindLibrarySymbol(module, VEXA_GET_CLASS_OBJECT_NAME));
    if (known || !entry) {
      vexa::platform::CloseLibrary(module);
      continue;
    }
    IUnknown* classObject = nullptr;
    const HRESULT hr = entry(list->host_, &classObject);
    if (FAILED(hr) || !classObject) {
      // A failing library may still have handed something out; its code is about to go away.
      if (classObject) classObject->Release();
      vexa::platform::CloseLibrary(module);
      continue;
    }
    // The export's reference becomes the list's.
    CPluginLibraryList::Record record;
    record.module = module;
    record.classObject = static_cast<IVEXAClassObject*>(classObject);
    record.path = path;
    list->records_.push_back(std::move(record));
    ++added;
  }
  return added;
}

HRESULT CreatePluginObject(CPluginLibraryList* list, const char* name, IVEXAPluginObject** object) {
  if (!list || !name || !object) return E_INVALIDARG;
  *object = nullptr;
  const std::wstring wide = vexa::platform::AnsiToWide(name);
  BSTR bstrName = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!bstrName) return E_OUTOFMEMORY;

  HRESULT result = E_NOTIMPL;
  for (const CPluginLibraryList::Record& record : list->GetRecords()) {
    IUnknown* created = nullptr;
    const HRESULT hr = record.classObject->CreateObject(bstrName, &created);
    if (FAILED(hr) || !created) {
      if (created) created->Release();
      continue;
    }
    void* queried = nullptr;
    const HRESULT qi = created->QueryInterface(IID_IVEXAPluginObject, &queried);
    created->Release();
    if (FAILED(qi) || !queried) continue;
    *object = static_cast<IVEXAPluginObject*>(queried);
    result = S_OK;
    break;
  }
  SysFreeString(bstrName);
  return result;
}

void UnloadPluginLibraries(CPluginLibraryList* list) {
  if (!list) return;
  while (!list->records_.empty()) {
    CPluginLibraryList::Record record = std::move(list->records_.front());
    list->records_.erase(list->records_.begin());
    if (record.classObject) record.classObject->Release();
    vexa::platform::CloseLibrary(record.module);
  }
}
