#include "support.h"

#include <filesystem>

#include "data/loader.h"
#include "platform/codepage.h"

namespace system_test {

namespace fs = std::filesystem;

namespace {

void CopyInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  ASSERT_FALSE(ec) << from << " -> " << to << ": " << ec.message();
}

}  // namespace

void CGameFolder::Plugin(const std::string& file, const std::string& as) const {
  CopyInto(fs::path(VEXA_TEST_PLUGINS) / file, fs::path(path()) / as);
}

void CGameFolder::Sample(const std::string& as) const {
  CopyInto(fs::path(VEXA_SAMPLE_PLUGIN), fs::path(path()) / as);
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

// ---- PluginHostTest

void PluginHostTest::StartHost() {
  CHostControlImpl* raw = nullptr;
  ASSERT_EQ(S_OK, CHostControlImpl::Create(&raw));
  host_.reset(raw);
  loader_ = std::make_unique<CFileLoader>(game_.path().c_str());
  host_->SetFileLoader(loader_.get());
  host_->SetFlashHolder(&holder_);
  host_->SetHostFolder(game_.path().c_str());
  list_.SetHostControl(raw);
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
