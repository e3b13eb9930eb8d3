#include "support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "data/loader.h"
#include "platform/codepage.h"
#include "storage/archiver.h"
#include "storage/buffer.h"

namespace system_test {

namespace fs = std::filesystem;

namespace {

fs::path TestRoot() {
  static const fs::path root = [] {
    std::random_device random;
    fs::path r = fs::temp_directory_path() /
                 ("vexa_system_" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(r);
    static std::string keep = r.string();
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(keep, ignored);
    });
    return r;
  }();
  return root;
}

void WriteBytes(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(out.good()) << path;
}

void CopyInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  ASSERT_FALSE(ec) << from << " -> " << to << ": " << ec.message();
}

}  // namespace

CGameFolder::CGameFolder() {
  static int counter = 0;
  const fs::path folder = TestRoot() / ("game" + std::to_string(++counter));
  fs::create_directories(folder);
  path_ = folder.generic_string() + "/";
}

void CGameFolder::Package(const std::vector<std::pair<std::string, std::string>>& entries) const {
  CArchiver archiver;
  ASSERT_TRUE(archiver.Reset(static_cast<int32_t>(entries.size())));
  for (const auto& entry : entries) {
    ASSERT_GE(archiver.AddEntry(static_cast<uint32_t>(entry.second.size()), entry.first.c_str(),
                                entry.second.data(), kPackageDefaultPassword),
              0)
        << entry.first;
  }
  CSmartBuffer out;
  ASSERT_EQ(S_OK, archiver.Build(&out));
  WriteBytes(fs::path(path_) / "data.pak", std::string(reinterpret_cast<const char*>(out.Bytes()),
                                                       static_cast<size_t>(out.Size())));
}

void CGameFolder::Disk(const std::string& name, const std::string& content) const {
  WriteBytes(fs::path(path_) / name, content);
}

void CGameFolder::Plugin(const std::string& file, const std::string& as) const {
  CopyInto(fs::path(VEXA_TEST_PLUGINS) / file, fs::path(path_) / as);
}

void CGameFolder::Sample(const std::string& as) const {
  CopyInto(fs::path(VEXA_SAMPLE_PLUGIN), fs::path(path_) / as);
}

// ---- CFakeHolder

std::vector<std::string> CFakeHolder::Named(const std::wstring& name) const {
  std::vector<std::string> texts;
  for (const auto& result : results) {
    if (result.first == name) texts.push_back(Utf8(result.second));
  }
  return texts;
}

HRESULT CFakeHolder::AddResult(const wchar_t* name, const wchar_t* text) {
  if (!text) return E_INVALIDARG;
  results.emplace_back(name ? name : L"<null>", text);
  return S_OK;
}

HRESULT CFakeHolder::AddResultA(const char* name, const char* text) {
  if (!text) return E_INVALIDARG;
  results.emplace_back(L"(narrow) " + vexa::platform::AnsiToWide(name ? name : "<null>"),
                       vexa::platform::AnsiToWide(text));
  return S_OK;
}

HRESULT CFakeHolder::GetMovieVariable(const wchar_t* name, CSmallStr* value) {
  if (!name || !value) return E_INVALIDARG;
  const auto found = variables.find(name);
  if (found == variables.end()) return E_FAIL;
  *value = found->second.c_str();
  return S_OK;
}

HRESULT CFakeHolder::GetMovieVariableA(const char* name, CSmallStr* value) {
  if (!name || !value) return E_INVALIDARG;
  narrowVariableReads.push_back(vexa::platform::AnsiToWide(name));
  return GetMovieVariable(narrowVariableReads.back().c_str(), value);
}

// ---- Invocations

Outcome Invoke(IVEXAPluginObject* object, const wchar_t* member, LONG kind,
               const std::vector<std::wstring>& args) {
  Outcome outcome;
  std::vector<VARIANT> values(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    VARIANT& v = values[args.size() - 1 - i];
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(args[i].data(), static_cast<UINT>(args[i].size()));
  }
  DISPPARAMS params;
  params.rgvarg = values.empty() ? nullptr : values.data();
  params.rgdispidNamedArgs = nullptr;
  params.cArgs = static_cast<UINT>(values.size());
  params.cNamedArgs = 0;
  BSTR name = SysAllocString(member);
  VARIANT result;
  VariantInit(&result);
  outcome.hr = object->InvokeByName(name, kind, &params, &result);
  SysFreeString(name);
  if (result.vt == VT_EMPTY) {
    outcome.text = "<empty>";
  } else {
    VARIANT text;
    VariantInit(&text);
    outcome.text = SUCCEEDED(VariantChangeType(&text, &result, 0, VT_BSTR))
                       ? Utf8(text.bstrVal)
                       : std::string("<not text>");
    VariantClear(&text);
  }
  VariantClear(&result);
  for (VARIANT& v : values) VariantClear(&v);
  return outcome;
}

std::string Utf8(const std::wstring& text) {
  return vexa::platform::WideToUtf8(text);
}

std::string Utf8(BSTR text) {
  if (!text) return "<null>";
  return vexa::platform::WideToUtf8(std::wstring_view(text, SysStringLen(text)));
}

}  // namespace system_test
