// An example plug-in library for VEXA Player games.
//
// It offers one object, "vexa.sample", that a movie creates with PLUGIN_CREATE and then calls:
//
//   methods (PLUGIN_METHOD)
//     fileLength(path)     length in bytes of a game file (read through the host), or fails
//     firstLine(path)      the file's first line (bytes taken as Latin-1), or fails
//     subtract(a, b)       a - b: the arguments arrive in reverse order, see Argument() below
//     join(sep, x, y, ...) x, y, ... joined with sep, in the order the movie wrote them
//     post(text)           queues text for the movie (IVEXAHostControl::WriteResult)
//   properties (PLUGIN_PROPGET)
//     version              "1.0"
//     calls                how many methods this object has run
//     hostFolder           the game's folder as the host reports it
//
// Everything here is plain C++ against include/vexa/plugin.h: reference counting is done by hand
// (no ATL), and the only export is GetClassObject (see vexa_sample.def for its undecorated name).
#include "vexa/plugin.h"

#include <cwchar>
#include <new>
#include <string>

namespace {

// The host control the library got in GetClassObject. Every class object holds a reference to it,
// and the player keeps the class object until it unloads the library, so the pointer stays valid
// while any class object lives.
IVEXAHostControl* g_host = nullptr;
int g_classObjects = 0;

// Reference counting, written once for every class below (no ATL needed): an object starts with
// one reference for its creator and deletes itself with its last Release. The virtual destructor
// comes after the interface's own slots, so the layout the player sees is unchanged.
template <class Interface>
class CRefCounted : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~CRefCounted() = default;

 private:
  ULONG refs_ = 1;
};

bool Equals(BSTR text, const wchar_t* literal) {
  return text && std::wcscmp(text, literal) == 0;
}

// The argument at `index` in the order the movie wrote them. The player passes them last first:
// rgvarg[0] is the last argument, rgvarg[cArgs - 1] the first.
VARIANT* Argument(DISPPARAMS* args, UINT index) {
  if (!args || index >= args->cArgs) return nullptr;
  return &args->rgvarg[args->cArgs - 1 - index];
}

// An argument as text, or null when it is missing or not a string.
BSTR TextArgument(DISPPARAMS* args, UINT index) {
  VARIANT* v = Argument(args, index);
  return (v && v->vt == VT_BSTR) ? v->bstrVal : nullptr;
}

// An argument as a number (the movie sends every argument as text).
bool NumberArgument(DISPPARAMS* args, UINT index, double* out) {
  VARIANT* v = Argument(args, index);
  if (!v) return false;
  VARIANT number;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, v, 0, VT_R8))) return false;
  *out = number.dblVal;
  return true;
}

HRESULT ReturnText(const std::wstring& text, VARIANT* result) {
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (result->bstrVal) return S_OK;
  result->vt = VT_EMPTY;
  return E_OUTOFMEMORY;
}

// Opens a game file through the host. The stream is the caller's to release.
HRESULT OpenGameFile(BSTR path, IStream** stream) {
  if (!g_host) return E_UNEXPECTED;
  return g_host->OpenFileStream(path, stream);
}

class CSampleObject final : public CRefCounted<IVEXAPluginObject> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVEXAPluginObject)) {
      *object = static_cast<IVEXAPluginObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE InvokeByName(BSTR member, LONG kind, DISPPARAMS* args,
                                         VARIANT* result) override {
    if (!member || !result) return E_INVALIDARG;
    if (kind == VEXA_INVOKE_PROPERTYGET) return GetProperty(member, result);
    if (kind != VEXA_INVOKE_METHOD) return E_INVALIDARG;
    ++calls_;
    if (Equals(member, L"fileLength")) return FileLength(TextArgument(args, 0), result);
    if (Equals(member, L"firstLine")) return FirstLine(TextArgument(args, 0), result);
    if (Equals(member, L"subtract")) {
      double a = 0;
      double b = 0;
      if (!NumberArgument(args, 0, &a) || !NumberArgument(args, 1, &b)) return E_INVALIDARG;
      // The player would show a VT_R8 as "7.000000e+00": hand the movie plain text instead.
      VARIANT difference;
      VariantInit(&difference);
      difference.vt = VT_R8;
      difference.dblVal = a - b;
      return VariantChangeType(result, &difference, 0, VT_BSTR);
    }
    if (Equals(member, L"join")) {
      BSTR separator = TextArgument(args, 0);
      if (!separator) return E_INVALIDARG;
      std::wstring text;
      for (UINT i = 1; args && i < args->cArgs; ++i) {
        BSTR part = TextArgument(args, i);
        if (i > 1) text += separator;
        if (part) text += part;
      }
      return ReturnText(text, result);
    }
    if (Equals(member, L"post")) {
      BSTR text = TextArgument(args, 0);
      if (!text || !g_host) return E_INVALIDARG;
      return g_host->WriteResult(L"sample", text);
    }
    --calls_;
    return E_NOTIMPL;
  }

 private:
  ~CSampleObject() override = default;

  HRESULT GetProperty(BSTR name, VARIANT* result) {
    if (Equals(name, L"version")) return ReturnText(L"1.0", result);
    if (Equals(name, L"calls")) {
      result->vt = VT_I4;
      result->lVal = calls_;
      return S_OK;
    }
    if (Equals(name, L"hostFolder")) {
      if (!g_host) return E_UNEXPECTED;
      BSTR folder = nullptr;
      const HRESULT hr = g_host->GetHostFolder(&folder);
      if (FAILED(hr)) return hr;
      result->vt = VT_BSTR;
      result->bstrVal = folder;  // handed on: the player frees it with the result
      return S_OK;
    }
    return E_NOTIMPL;
  }

  static HRESULT FileLength(BSTR path, VARIANT* result) {
    if (!path) return E_INVALIDARG;
    IStream* stream = nullptr;
    HRESULT hr = OpenGameFile(path, &stream);
    if (FAILED(hr)) return hr;
    STATSTG stat;
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    stream->Release();
    if (FAILED(hr)) return hr;
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(stat.cbSize.QuadPart);
    return S_OK;
  }

  static HRESULT FirstLine(BSTR path, VARIANT* result) {
    if (!path) return E_INVALIDARG;
    IStream* stream = nullptr;
    HRESULT hr = OpenGameFile(path, &stream);
    if (FAILED(hr)) return hr;
    std::wstring line;
    unsigned char buffer[256];
    bool done = false;
    while (!done) {
      ULONG got = 0;
      hr = stream->Read(buffer, sizeof buffer, &got);
      if (FAILED(hr) || got == 0) break;
      for (ULONG i = 0; i < got && !done; ++i) {
        if (buffer[i] == '\n' || buffer[i] == '\r') {
          done = true;
        } else {
          line += static_cast<wchar_t>(buffer[i]);
        }
      }
    }
    stream->Release();
    if (FAILED(hr)) return hr;
    return ReturnText(line, result);
  }

  LONG calls_ = 0;
};

class CSampleClassObject final : public CRefCounted<IVEXAClassObject> {
 public:
  explicit CSampleClassObject(IVEXAHostControl* host) : host_(host) {
    host_->AddRef();
    g_host = host_;
    ++g_classObjects;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE CreateObject(BSTR name, IUnknown** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!Equals(name, L"vexa.sample")) return E_NOTIMPL;
    CSampleObject* created = new (std::nothrow) CSampleObject();
    if (!created) return E_OUTOFMEMORY;
    *object = created;  // its first reference goes to the caller
    return S_OK;
  }

 private:
  // The player releases the class object just before it unloads the library.
  ~CSampleClassObject() override {
    if (--g_classObjects == 0) g_host = nullptr;
    host_->Release();
  }

  IVEXAHostControl* host_;
};

}  // namespace

VEXA_PLUGIN_EXPORT HRESULT STDMETHODCALLTYPE GetClassObject(IVEXAHostControl* host,
                                                            IUnknown** classObject) {
  if (!host || !classObject) return E_INVALIDARG;
  *classObject = nullptr;
  CSampleClassObject* created = new (std::nothrow) CSampleClassObject(host);
  if (!created) return E_OUTOFMEMORY;
  *classObject = created;
  return S_OK;
}
