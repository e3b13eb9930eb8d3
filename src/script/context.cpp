#include "script/context.h"

#include <cstring>
#include <ctime>
#include <string>

namespace {

// VariantCopy takes a non-const source (as the platform declares it); it does not change it.
HRESULT CopyValue(VARIANT* dest, const VARIANT* src) {
  return VariantCopy(dest, const_cast<VARIANT*>(src));
}

}  // namespace

CExecContext::~CExecContext() = default;

bool CExecContext::HasOwnVariable(const char* name) const {
  return name && variables_.find(std::string_view(name)) != variables_.end();
}

HRESULT CExecContext::LookupVariable(const char* name, VARIANT* value) {
  if (!name || !value) return E_POINTER;
  auto it = variables_.find(std::string_view(name));
  if (it != variables_.end()) return CopyValue(value, &it->second.value);
  if (parent_) return parent_->LookupVariable(name, value);
  return E_FAIL;
}

HRESULT CExecContext::DeclareVariable(const char* name, const VARIANT* value) {
  if (!name || !value) return E_POINTER;
  CSmallStr trimmed(name);
  trimmed.Trim();
  if (trimmed.IsEmpty()) return E_INVALIDARG;
  // Existence is checked under the name that would be stored, so a declaration never silently
  // leaves an older value in place while reporting success.
  std::string key = trimmed.str();
  if (variables_.find(key) != variables_.end()) return E_FAIL;
  Slot& slot = variables_[key];
  HRESULT hr = CopyValue(&slot.value, value);
  if (FAILED(hr)) variables_.erase(key);
  return hr;
}

HRESULT CExecContext::AssignVariable(const char* name, const VARIANT* value) {
  if (!name || !value) return E_POINTER;
  auto it = variables_.find(std::string_view(name));
  if (it != variables_.end()) return CopyValue(&it->second.value, value);
  if (!parent_) return E_FAIL;
  VARIANT probe;
  VariantInit(&probe);
  HRESULT found = parent_->LookupVariable(name, &probe);
  VariantClear(&probe);
  if (FAILED(found)) return E_FAIL;
  return parent_->AssignVariable(name, value);
}

CMainFrameCtx::CMainFrameCtx(TimeFormatter formatter)
    : formatter_(formatter ? formatter : &CMainFrameCtx::DefaultTimeFormatter) {}

HRESULT CMainFrameCtx::LookupVariable(const char* name, VARIANT* value) {
  if (!name || !value) return E_POINTER;
  if (std::strcmp(name, "CURRENTTIME") != 0) return CExecContext::LookupVariable(name, value);
  CSmallWStr text;
  HRESULT hr = formatter_(&text);
  if (FAILED(hr)) return hr;
  BSTR bstr = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.GetLength()));
  if (!bstr) return E_OUTOFMEMORY;
  VariantClear(value);
  value->vt = VT_BSTR;
  value->bstrVal = bstr;
  return S_OK;
}

HRESULT CMainFrameCtx::DefaultTimeFormatter(CSmallWStr* text) {
  if (!text) return E_POINTER;
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (!local) return E_FAIL;
  wchar_t buffer[16];
  if (std::wcsftime(buffer, sizeof buffer / sizeof buffer[0], L"%H:%M", local) == 0) return E_FAIL;
  *text = buffer;
  return S_OK;
}
