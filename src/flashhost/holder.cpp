#include "flashhost/holder.h"

#include <cstring>
#include <string>

#include "flashhost/bridge.h"
#include "flashhost/browserfuncs.h"
#include "flashhost/jrienv.h"
#include "platform/codepage.h"

namespace {

// The scriptable object's method that calls a movie function. Identifiers are name pointers.
const char kCallFunction[] = "CallFunction";

// Drops one reference of a plug-in object; the plug-in's deallocate runs with the last one.
void ReleasePluginObject(NPObject* object) {
  if (!object || object->referenceCount == 0) return;
  if (--object->referenceCount != 0) return;
  if (object->_class && object->_class->deallocate) object->_class->deallocate(object);
}

uint16_t ClipCoordinate(int32_t value) {
  return static_cast<uint16_t>(value);
}

}  // namespace

CFlashHolder& FlashHolder() {
  static CFlashHolder holder;
  return holder;
}

CFlashHolder::CFlashHolder() {
  std::memset(&window_, 0, sizeof window_);
  RegisterFlashHolder(this);
}

CFlashHolder::~CFlashHolder() {
  UnregisterFlashHolder(this);
  ClearResults();
  for (VARIANT& value : undelivered_) VariantClear(&value);
  undelivered_.clear();
  // The plug-in may already be unloaded at exit: its object is forgotten, not released.
  scriptable_ = nullptr;
}

// ---- Instance

void CFlashHolder::CreateInstance() {
  if (IsInstanceCreated()) return;
  char mime[] = "application/x-shockwave-flash";
  std::string width = std::to_string(width_);
  std::string height = std::to_string(height_);
  // NPP_New takes mutable arrays; the plug-in only reads them.
  char* argn[9] = {const_cast<char*>("quality"),
                   const_cast<char*>("width"),
                   const_cast<char*>("height"),
                   const_cast<char*>("name"),
                   const_cast<char*>("type"),
                   const_cast<char*>("src"),
                   const_cast<char*>("FlashVars"),
                   nullptr,
                   nullptr};
  char* argv[9] = {const_cast<char*>("high"),
                   &width[0],
                   &height[0],
                   const_cast<char*>("FlashPlayer"),
                   const_cast<char*>("application/x-shockwave-flash"),
                   const_cast<char*>(""),
                   const_cast<char*>("player=vexapl"),
                   nullptr,
                   nullptr};
  lastStatus_ = NppNew(mime, NP_EMBED, 9, argn, argv, nullptr);

  ReleaseScriptable();
  // Without a plug-in nothing was created, and a later OpenMovie must try again.
  if (!IsInstanceCreated()) return;
  NPObject* object = nullptr;
  if (NppGetValue(NPPVpluginScriptableNPObject, &object) == NPERR_NO_ERROR) scriptable_ = object;
}

void CFlashHolder::ReleaseScriptable() {
  NPObject* object = scriptable_;
  scriptable_ = nullptr;
  // Without the library its deallocate is gone with it: the object is only forgotten then.
  if (!object || !IsLibraryMapped()) return;
  CPluginCall call(this, GetInstance());
  ReleasePluginObject(object);
}

void CFlashHolder::DestroyInstance() {
  // The one order wherever the instance goes (CloseMovie, ShutdownPlugin): the holder's reference
  // to the scriptable object first, while the instance that made it still exists, then the
  // instance.
  ReleaseScriptable();
  CPluginHost::DestroyInstance();
  // Strings the plug-in made in frames of its own may belong to the destroyed instance; they can
  // only go when none of its code is running.
  if (!IsPluginOnStack()) CJRIEnvironment::Instance().ReleaseLooseStrings();
}

void CFlashHolder::DetachWindow() {
  if (IsInstanceCreated()) {
    AttachToWindow(nullptr);
    return;
  }
  vexa::platform::DestroyHostWindow(playerWindow_);
  playerWindow_ = nullptr;
}

void CFlashHolder::SetWindowRecord(vexa::platform::WindowHandle window,
                                   const vexa::platform::WindowRect& rect) {
  window_.window = window;
  window_.x = rect.left;
  window_.y = rect.top;
  window_.width = rect.right > rect.left ? static_cast<uint32_t>(rect.right - rect.left) : 0;
  window_.height = rect.bottom > rect.top ? static_cast<uint32_t>(rect.bottom - rect.top) : 0;
  window_.clipRect.top = ClipCoordinate(rect.top);
  window_.clipRect.left = ClipCoordinate(rect.left);
  window_.clipRect.bottom = ClipCoordinate(rect.bottom);
  window_.clipRect.right = ClipCoordinate(rect.right);
  window_.type = NPWindowTypeWindow;
}

// ---- IFlashHolder

HRESULT CFlashHolder::LoadMovieIntoLayer(int32_t layer, const char* url, const char*) {
  if (!url) return S_OK;
  JRINativeStubFn stub = GetLoadMovieStub();
  if (!stub) return E_FAIL;
  CJRIEnvironment& env = CJRIEnvironment::Instance();
  const std::string utf8 = vexa::platform::WideToUtf8(vexa::platform::AnsiToWide(url));
  jstring str = env.NewString(utf8.c_str());
  if (!str) return E_OUTOFMEMORY;
  JRIStackItem args[3];
  args[0].p = GetJRIPeer();
  args[1].i = layer;
  args[2].p = str;
  {
    CPluginCall call(this, GetInstance());
    stub(args, env.GetEnv());
  }
  env.ReleaseString(str);
  return S_OK;
}

HRESULT CFlashHolder::LoadMovieData(int32_t, const char*, int32_t, const char*) {
  return E_NOTIMPL;
}

HRESULT CFlashHolder::OpenMovie(const char* url) {
  if (!url) return E_INVALIDARG;
  if (!IsInstanceCreated()) CreateInstance();
  OpenMovieStream(url);
  return S_OK;
}

HRESULT CFlashHolder::AddResult(const wchar_t*, const wchar_t* text) {
  if (!text) return E_INVALIDARG;
  return AppendResult(text);
}

HRESULT CFlashHolder::AddResultA(const char*, const char* text) {
  if (!text) return E_INVALIDARG;
  return AppendResult(vexa::platform::AnsiToWide(text));
}

HRESULT CFlashHolder::AppendResult(std::wstring_view text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!value.bstrVal) return E_OUTOFMEMORY;
  if (commandDepth_ == 0) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantCopy(&copy, &value))) {
      VariantClear(&value);
      return E_OUTOFMEMORY;
    }
    undelivered_.push_back(copy);
  }
  results_.push_back(value);
  return S_OK;
}

HRESULT CFlashHolder::DeliverResults() {
  if (undelivered_.empty() || commandDepth_ > 0) return S_FALSE;
  if (callbackName_.IsEmpty()) {
    for (VARIANT& value : undelivered_) VariantClear(&value);
    undelivered_.clear();
    return S_FALSE;
  }
  if (!scriptable_ || !IsPluginLoaded()) return E_UNEXPECTED;
  // Taken out first: the movie may send commands, or add results, from inside the call.
  std::vector<VARIANT> values;
  values.swap(undelivered_);
  const std::wstring callback = vexa::platform::AnsiToWide(callbackName_.c_str());
  VARIANT returned;
  VariantInit(&returned);
  const HRESULT hr = CallMovieFunction(callback.c_str(), values.data(),
                                       static_cast<int32_t>(values.size()), &returned);
  VariantClear(&returned);
  for (VARIANT& value : values) VariantClear(&value);
  return SUCCEEDED(hr) ? S_OK : E_FAIL;
}

HRESULT CFlashHolder::GetMovieVariable(const wchar_t* name, CSmallStr* value) {
  if (!name || !value) return E_INVALIDARG;
  return CallStringStub(GetGetVariableStub(), vexa::platform::WideToUtf8(name), value);
}

HRESULT CFlashHolder::GetMovieVariableA(const char* name, CSmallStr* value) {
  if (!name || !value) return E_INVALIDARG;
  return CallStringStub(GetGetVariableStub(),
                        vexa::platform::WideToUtf8(vexa::platform::AnsiToWide(name)), value);
}

HRESULT CFlashHolder::CallStringStub(JRINativeStubFn stub, const std::string& utf8Name,
                                     CSmallStr* value) {
  if (!stub) return E_FAIL;
  CJRIEnvironment& env = CJRIEnvironment::Instance();
  jstring name = env.NewString(utf8Name.c_str());
  if (!name) return E_OUTOFMEMORY;
  JRIStackItem args[2];
  args[0].p = GetJRIPeer();
  args[1].p = name;
  HRESULT status = E_FAIL;
  {
    // The result is a string the plug-in made inside the call: read before the call's frame
    // closes and frees it.
    CPluginCall call(this, GetInstance());
    stub(args, env.GetEnv());
    // Only a string of the environment is a result; the peer left in place, or anything else, is
    // not.
    jstring returned = args[0].p;
    const char* bytes = env.GetStringBytes(returned);
    if (bytes) {
      *value = vexa::platform::WideToAnsi(vexa::platform::Utf8ToWide(bytes)).c_str();
      status = S_OK;
    }
    if (returned != name) env.ReleaseString(returned);
  }
  env.ReleaseString(name);
  return status;
}

HRESULT CFlashHolder::SetFocus(int32_t focus) {
  if (focus) vexa::platform::SetKeyboardFocus(playerWindow_);
  return S_OK;
}

HRESULT CFlashHolder::SetWindowRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  vexa::platform::WindowRect rect;
  rect.left = left;
  rect.top = top;
  rect.right = right;
  rect.bottom = bottom;
  SetWindowRecord(window_.window, rect);
  vexa::platform::MoveChildWindow(playerWindow_, rect, true);
  lastStatus_ = NppSetWindow(&window_);
  return lastStatus_ == NPERR_NO_ERROR ? S_OK : E_FAIL;
}

HRESULT CFlashHolder::AttachToWindow(vexa::platform::WindowHandle parent) {
  vexa::platform::WindowRect client;
  if (vexa::platform::IsLiveWindow(parent) &&
      vexa::platform::GetWindowClientRect(parent, &client)) {
    if (!vexa::platform::IsLiveWindow(playerWindow_)) {
      playerWindow_ = vexa::platform::CreatePlayerWindow(parent, client);
      // No window to give the plug-in: telling it about a null one would detach it instead.
      if (!playerWindow_) return E_FAIL;
      SetFocus(1);
    }
    SetWindowRecord(playerWindow_, client);
    lastStatus_ = NppSetWindow(&window_);
  } else {
    std::memset(&window_, 0, sizeof window_);
    lastStatus_ = NppSetWindow(&window_);
    vexa::platform::DestroyHostWindow(playerWindow_);
    playerWindow_ = nullptr;
  }
  return lastStatus_ == NPERR_NO_ERROR ? S_OK : E_FAIL;
}

HRESULT CFlashHolder::SetMovieSize(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
  if (!IsInstanceCreated()) CreateInstance();
  return S_OK;
}

HRESULT CFlashHolder::CloseMovie() {
  if (!IsInstanceCreated()) return S_OK;
  // The requests' notify data belongs to the instance being destroyed.
  DropNotifications();
  DestroyInstance();
  CreateInstance();
  return S_OK;
}

HRESULT CFlashHolder::Reserved12() {
  return E_FAIL;
}

HRESULT CFlashHolder::PreTranslate(const vexa::platform::WindowMessage* message) {
  // Between two messages of the main loop no plug-in frame is running, unless this loop itself
  // runs inside a call of the plug-in's: what its own frames left behind can go now.
  if (!IsPluginOnStack()) {
    FinishPendingUnload();
    CJRIEnvironment::Instance().ReleaseLooseStrings();
  }
  ServeNotifications();
  DeliverResults();
  if (!message) return E_FAIL;
  const uint32_t kind = message->message;
  if ((kind != vexa::platform::kMsgSysKeyDown && kind != vexa::platform::kMsgSysKeyUp) ||
      !playerWindow_ || message->window != playerWindow_) {
    return E_FAIL;
  }
  // The plug-in sees Alt combinations as system keys and, once more, as plain keys.
  vexa::platform::TranslateAndDispatch(*message);
  vexa::platform::WindowMessage plain = *message;
  plain.message = kind == vexa::platform::kMsgSysKeyDown ? vexa::platform::kMsgKeyDown
                                                         : vexa::platform::kMsgKeyUp;
  vexa::platform::TranslateAndDispatch(plain);
  return S_OK;
}

HRESULT CFlashHolder::GetWindow(vexa::platform::WindowHandle* window) {
  if (!window) return E_POINTER;
  *window = vexa::platform::IsLiveWindow(playerWindow_) ? playerWindow_ : nullptr;
  return S_OK;
}

HRESULT CFlashHolder::Reserved15() {
  return E_NOTIMPL;
}

HRESULT CFlashHolder::SetFlashVars(const char*) {
  return S_OK;
}

HRESULT CFlashHolder::SetOption(int32_t value) {
  option_ = value;
  return S_OK;
}

HRESULT CFlashHolder::CallMovieFunction(const wchar_t* name, const VARIANT* args, int32_t count,
                                        VARIANT* result) {
  if (count < 0 || (count > 0 && !args)) return E_INVALIDARG;
  NPObject* object = scriptable_;
  if (!object || !object->_class || !IsPluginLoaded()) return E_FAIL;
  NPClass* objectClass = object->_class;

  const CSmallWStr xml = BuildInvokeXml(name, args, count);
  const CSmallStr request(xml.c_str());  // the runtime's wide-to-multibyte conversion

  // The movie may close itself, or shut the plug-in down, from inside the call, which drops the
  // holder's reference; this one keeps the object alive until the call has returned, and the call
  // keeps the library mapped until the object is released.
  CPluginCall call(this, GetInstance());
  ++object->referenceCount;
  NPIdentifier method = const_cast<char*>(kCallFunction);
  if (objectClass->hasMethod) objectClass->hasMethod(object, method);
  bool accepted = false;
  NPVariant returned;
  std::memset(&returned, 0, sizeof returned);
  returned.type = NPVariantType_Void;
  if (objectClass->invoke) {
    NPVariant argument;
    std::memset(&argument, 0, sizeof argument);
    argument.type = NPVariantType_String;
    argument.value.stringValue.UTF8Characters = request.c_str();
    argument.value.stringValue.UTF8Length = static_cast<uint32_t>(request.GetLength());
    PrepareCall(GetInstance());
    accepted = objectClass->invoke(object, method, &argument, 1, &returned);
  }

  if (accepted && returned.type == NPVariantType_String && result) {
    const NPString& text = returned.value.stringValue;
    const std::string bytes = text.UTF8Characters && text.UTF8Length
                                  ? std::string(text.UTF8Characters, text.UTF8Length)
                                  : std::string();
    const CSmallWStr wide(bytes.c_str());  // the runtime's multibyte conversion
    VariantClear(result);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.GetLength()));
  }
  // The value belongs to the host now: strings were allocated with the host's memalloc.
  if (returned.type == NPVariantType_String && returned.value.stringValue.UTF8Characters) {
    HostMemFree(const_cast<NPUTF8*>(returned.value.stringValue.UTF8Characters));
  } else if (returned.type == NPVariantType_Object) {
    ReleasePluginObject(returned.value.objectValue);
  }
  ReleasePluginObject(object);
  return accepted ? S_OK : E_FAIL;
}

HRESULT CFlashHolder::SetResultCallback(const wchar_t* name) {
  if (!name) {
    callbackName_.Empty();
    return S_OK;
  }
  callbackName_ = CSmallStr(name);  // the runtime's wide-to-multibyte conversion
  return S_OK;
}

void CFlashHolder::ClearResults() {
  for (VARIANT& value : results_) VariantClear(&value);
  results_.clear();
}
