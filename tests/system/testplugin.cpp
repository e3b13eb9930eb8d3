// A plug-in library for the tests, built in several flavours (TEST_PLUGIN_TAG names it):
// - "alpha" and "beta" both offer the object "shared" (so the order of the libraries decides which
//   one the host gets) and each offers "<tag>.only". Alpha (TEST_PLUGIN_QUIRKS) also misbehaves
//   for "noiface" (an object without the plug-in object interface) and "nullobj" (success without
//   an object); beta creates those properly.
// - TEST_PLUGIN_FAIL 1: GetClassObject fails; 2: it succeeds without a class object.
//
// Events the tests check arrive at the host's WriteResult with the name "event": "<tag> object
// released" when an object goes, "<tag> library unloaded" when the library's static objects are
// destroyed (at unload).
//
// Objects' members (any object):
//   methods:    order(a, b, ...) the arguments joined with '|' in call order
//               count()          the number of arguments
//               fail()           E_FAIL
//               post(text)       WriteResult("from plugin", text)
//               variable(name)   ReadMovieVariable(name)
//               folder()         GetHostFolder()
//               open(path)       OpenFileStream(path): "pos=<position> size=<size> <bytes>"
//   properties: tag              TEST_PLUGIN_TAG
//               live             objects of this library alive now
#include "vexa/plugin.h"

#include <cwchar>
#include <new>
#include <string>

#ifndef TEST_PLUGIN_TAG
#error TEST_PLUGIN_TAG names the flavour
#endif
#ifndef TEST_PLUGIN_FAIL
#define TEST_PLUGIN_FAIL 0
#endif
#ifndef TEST_PLUGIN_QUIRKS
#define TEST_PLUGIN_QUIRKS 0
#endif

namespace {

// A plain array: it must still be there when the static destructors of the library run.
const wchar_t* Tag() {
  static wchar_t tag[32];
  if (!tag[0]) {
    const char* narrow = TEST_PLUGIN_TAG;
    for (size_t i = 0; narrow[i] && i + 1 < 32; ++i) tag[i] = static_cast<wchar_t>(narrow[i]);
  }
  return tag;
}

void Event(IVEXAHostControl* host, const std::wstring& what) {
  if (host) host->WriteResult(L"event", (std::wstring(Tag()) + L" " + what).c_str());
}

// One reference for the library's whole life, dropped by the static destructor after its event.
struct LibraryState {
  IVEXAHostControl* host = nullptr;
  int live = 0;
  ~LibraryState() {
    Event(host, L"library unloaded");
    if (host) host->Release();
  }
} g_state;

bool Is(BSTR text, const wchar_t* literal) {
  return text && std::wcscmp(text, literal) == 0;
}

HRESULT Text(const std::wstring& text, VARIANT* result) {
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return result->bstrVal ? S_OK : E_OUTOFMEMORY;
}

// Argument `i` in call order (the host passes them last first).
BSTR Arg(DISPPARAMS* args, UINT i) {
  if (!args || i >= args->cArgs) return nullptr;
  VARIANT& v = args->rgvarg[args->cArgs - 1 - i];
  return v.vt == VT_BSTR ? v.bstrVal : nullptr;
}

std::wstring Hex(HRESULT hr) {
  wchar_t buffer[16];
  std::swprintf(buffer, 16, L"%08X", static_cast<unsigned>(hr));
  return buffer;
}

class CObject : public IVEXAPluginObject {
 public:
  explicit CObject(bool answersInterface) : answers_(answersInterface) { ++g_state.live; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || (answers_ && IsEqualIID(riid, IID_IVEXAPluginObject))) {
      *object = static_cast<IVEXAPluginObject*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE InvokeByName(BSTR member, LONG kind, DISPPARAMS* args,
                                         VARIANT* result) override {
    if (!member || !result) return E_INVALIDARG;
    IVEXAHostControl* host = g_state.host;
    if (kind == VEXA_INVOKE_PROPERTYGET) {
      if (Is(member, L"tag")) return Text(Tag(), result);
      if (Is(member, L"live")) {
        result->vt = VT_I4;
        result->lVal = g_state.live;
        return S_OK;
      }
      return E_NOTIMPL;
    }
    if (kind != VEXA_INVOKE_METHOD) return E_INVALIDARG;
    const UINT count = args ? args->cArgs : 0;
    if (Is(member, L"order")) {
      std::wstring joined;
      for (UINT i = 0; i < count; ++i) {
        if (i) joined += L'|';
        BSTR part = Arg(args, i);
        joined += part ? part : L"<not a string>";
      }
      return Text(joined, result);
    }
    if (Is(member, L"count")) {
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(count);
      return S_OK;
    }
    if (Is(member, L"fail")) return E_FAIL;
    if (Is(member, L"post")) return host->WriteResult(L"from plugin", Arg(args, 0));
    if (Is(member, L"variable")) {
      BSTR value = nullptr;
      const HRESULT hr = host->ReadMovieVariable(Arg(args, 0), &value);
      if (FAILED(hr)) return hr;
      result->vt = VT_BSTR;
      result->bstrVal = value;
      return S_OK;
    }
    if (Is(member, L"folder")) {
      BSTR folder = nullptr;
      const HRESULT hr = host->GetHostFolder(&folder);
      if (FAILED(hr)) return hr;
      result->vt = VT_BSTR;
      result->bstrVal = folder;
      return S_OK;
    }
    if (Is(member, L"open")) {
      IStream* stream = nullptr;
      HRESULT hr = host->OpenFileStream(Arg(args, 0), &stream);
      if (FAILED(hr)) return Text(L"failed " + Hex(hr), result);
      LARGE_INTEGER zero;
      zero.QuadPart = 0;
      ULARGE_INTEGER position;
      position.QuadPart = 12345;
      hr = stream->Seek(zero, STREAM_SEEK_CUR, &position);
      STATSTG stat;
      if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
      std::wstring bytes;
      char buffer[64];
      ULONG got = 0;
      while (SUCCEEDED(hr) && SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got) {
        for (ULONG i = 0; i < got; ++i) bytes += static_cast<wchar_t>(buffer[i]);
      }
      stream->Release();
      if (FAILED(hr)) return hr;
      return Text(L"pos=" + std::to_wstring(position.QuadPart) + L" size=" +
                      std::to_wstring(stat.cbSize.QuadPart) + L" " + bytes,
                  result);
    }
    return E_NOTIMPL;
  }

 private:
  virtual ~CObject() {
    --g_state.live;
    Event(g_state.host, L"object released");
  }

  ULONG refs_ = 1;
  bool answers_;
};

class CClassObject : public IVEXAClassObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      Event(g_state.host, L"class object released");
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE CreateObject(BSTR name, IUnknown** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    const std::wstring only = std::wstring(Tag()) + L".only";
    if (TEST_PLUGIN_QUIRKS && Is(name, L"nullobj")) return S_OK;
    const bool quirky = TEST_PLUGIN_QUIRKS && Is(name, L"noiface");
    if (!Is(name, L"shared") && !Is(name, only.c_str()) && !Is(name, L"noiface") &&
        !Is(name, L"nullobj")) {
      return E_NOTIMPL;
    }
    *object = static_cast<IVEXAPluginObject*>(new (std::nothrow) CObject(!quirky));
    return *object ? S_OK : E_OUTOFMEMORY;
  }

 private:
  virtual ~CClassObject() = default;
  ULONG refs_ = 1;
};

}  // namespace

VEXA_PLUGIN_EXPORT HRESULT STDMETHODCALLTYPE GetClassObject(IVEXAHostControl* host,
                                                            IUnknown** classObject) {
  if (!host || !classObject) return E_INVALIDARG;
  *classObject = nullptr;
  if (!g_state.host) {
    host->AddRef();
    g_state.host = host;
  }
  if (TEST_PLUGIN_FAIL == 1) return E_FAIL;
  if (TEST_PLUGIN_FAIL == 2) return S_OK;
  *classObject = new (std::nothrow) CClassObject();
  return *classObject ? S_OK : E_OUTOFMEMORY;
}
