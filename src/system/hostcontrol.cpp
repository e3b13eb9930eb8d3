#include "system/hostcontrol.h"

#include <cstdint>
#include <new>
#include <string>

#include "data/loader.h"
#include "flashhost/holder.h"
#include "platform/codepage.h"
#include "platform/comstream.h"
#include "script/smallstr.h"

namespace {

BSTR NewBstr(const std::wstring& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace

HRESULT CHostControlImpl::Create(CHostControlImpl** out) {
  if (!out) return E_INVALIDARG;
  *out = new (std::nothrow) CHostControlImpl();
  return *out ? S_OK : E_OUTOFMEMORY;
}

CHostControlImpl::CHostControlImpl() {
  SetHostFolder(nullptr);
}

void CHostControlImpl::SetHostFolder(const char* folder) {
  folder_ = (folder && *folder) ? std::string(folder) : GetExecutableFolder().str();
  for (char& c : folder_) {
    if (c == '\\') c = '/';
  }
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

// ---- IUnknown

HRESULT CHostControlImpl::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVEXAHostControl)) {
    *object = static_cast<IVEXAHostControl*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CHostControlImpl::AddRef() {
  return ++refs_;
}

ULONG CHostControlImpl::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

// ---- IVEXAHostControl

HRESULT CHostControlImpl::OpenFileStream(LPCOLESTR path, IStream** stream) {
  if (!path || !stream) return E_INVALIDARG;
  *stream = nullptr;
  if (!loader_) return E_UNEXPECTED;
  const std::string narrow = vexa::platform::WideToAnsi(path);
  uint8_t* data = nullptr;
  int32_t size = 0;
  const HRESULT hr = loader_->Load(narrow.c_str(), &data, &size, nullptr, nullptr);
  if (FAILED(hr) || !data || size <= 0) {
    delete[] data;
    return E_ACCESSDENIED;
  }
  const bool made = vexa::platform::CreateMemoryStream(data, static_cast<size_t>(size), stream);
  delete[] data;
  return made ? S_OK : E_FAIL;
}

HRESULT CHostControlImpl::GetHostFolder(BSTR* folder) {
  if (!folder) return E_INVALIDARG;
  *folder = NewBstr(vexa::platform::AnsiToWide(folder_));
  return *folder ? S_OK : E_OUTOFMEMORY;
}

HRESULT CHostControlImpl::ReadMovieVariable(LPCOLESTR name, BSTR* value) {
  if (!name || !value) return E_INVALIDARG;
  *value = nullptr;
  if (!holder_) return E_UNEXPECTED;
  CSmallStr text;
  const HRESULT hr = holder_->GetMovieVariable(name, &text);
  if (FAILED(hr)) return hr;
  *value = NewBstr(vexa::platform::AnsiToWide(
      std::string_view(text.c_str(), static_cast<size_t>(text.GetLength()))));
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CHostControlImpl::WriteResult(LPCOLESTR name, LPCOLESTR value) {
  if (!name || !value) return E_INVALIDARG;
  if (!holder_) return E_UNEXPECTED;
  return holder_->AddResult(name, value);
}

HRESULT CHostControlImpl::Reserved7(LONG, LONG, LONG) {
  if (!holder_) return E_UNEXPECTED;
  return holder_->Reserved12();
}

HRESULT CHostControlImpl::Reserved8(LONG, LONG, LONG* out) {
  if (out) *out = 0;
  return E_NOTIMPL;
}
