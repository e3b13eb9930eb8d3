#include "standin/plugin.h"

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "standin/invokexml.h"
#include "standin/movie.h"
#include "standin/text.h"
#include "standin/transcript.h"
#include "standin/view.h"

namespace vexa::standin {

namespace {

// ---------------------------------------------------------------------------------------------
// Module state

NPNetscapeFuncs g_browser;  // copy of the browser's table; zero until NP_Initialize

class CInstance;
std::vector<std::shared_ptr<CInstance>> g_instances;  // live instances, oldest first
uint64_t g_next_instance_id = 1;

constexpr char kFsCommandSignature[] = "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V";
constexpr size_t kMaxStreamBytes = 16u << 20;
constexpr size_t kMaxPendingRequests = 256;
constexpr int32_t kWriteReadyBytes = 1 << 24;
constexpr int kMaxNewArgs = 64;

// Portable event codes of NPP_HandleEvent (the Windows message numbers).
constexpr uint16_t kEventKeyDown = 0x0100;
constexpr uint16_t kEventTimer = 0x0113;
constexpr uint16_t kEventMouseDown = 0x0201;

void Trace(const CTranscriptLine& line) {
  line.Write();
}

void AddVariant(CTranscriptLine& line, const char* key, const NPVariant& v) {
  switch (v.type) {
    case NPVariantType_Void:
      line.Word(key, "void");
      break;
    case NPVariantType_Null:
      line.Word(key, "null");
      break;
    case NPVariantType_Bool:
      line.Bool(key, v.value.boolValue);
      break;
    case NPVariantType_Int32:
      line.Int(key, v.value.intValue);
      break;
    case NPVariantType_Double:
      line.Str(key, FormatNumber(v.value.doubleValue));
      break;
    case NPVariantType_String:
      if (v.value.stringValue.UTF8Characters) {
        line.Bytes(key, v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
      } else {
        line.Word(key, "null");
      }
      break;
    case NPVariantType_Object:
      line.Word(key, "object");
      break;
    default:
      line.Word(key, "unknown");
  }
}

std::string VariantString(const NPVariant& v) {
  if (v.type != NPVariantType_String || !v.value.stringValue.UTF8Characters) return std::string();
  return std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
}

NPVariant StringVariant(const std::string& text) {
  NPVariant v;
  std::memset(&v, 0, sizeof v);
  v.type = NPVariantType_String;
  v.value.stringValue.UTF8Characters = text.c_str();  // terminated: some browsers rely on it
  v.value.stringValue.UTF8Length = static_cast<uint32_t>(text.size());
  return v;
}

NPVariant VoidVariant() {
  NPVariant v;
  std::memset(&v, 0, sizeof v);
  v.type = NPVariantType_Void;
  return v;
}

// ---------------------------------------------------------------------------------------------
// Calls into the browser. Each checks its table entry and writes an "out" line.

void* BrowserMemAlloc(uint32_t size) {
  CTranscriptLine line("out", "NPN_MemAlloc");
  line.Int("size", size);
  if (!g_browser.memalloc) {
    Trace(line.Word("result", "missing"));
    return nullptr;
  }
  void* p = g_browser.memalloc(size);
  Trace(line.Word("result", p ? "set" : "null"));
  return p;
}

void BrowserMemFree(void* p) {
  CTranscriptLine line("out", "NPN_MemFree");
  if (!g_browser.memfree) {
    Trace(line.Word("result", "missing"));
    return;
  }
  g_browser.memfree(p);
  Trace(line);
}

NPIdentifier BrowserStringIdentifier(const char* name) {
  // Only literals are passed: a browser may keep using the pointer as the identifier.
  CTranscriptLine line("out", "NPN_GetStringIdentifier");
  line.Str("name", name);
  if (!g_browser.getstringidentifier) {
    Trace(line.Word("result", "missing"));
    return nullptr;
  }
  NPIdentifier id = g_browser.getstringidentifier(name);
  Trace(line.Word("result", id ? "set" : "null"));
  return id;
}

std::string BrowserIdentifierName(NPIdentifier id) {
  CTranscriptLine line("out", "NPN_UTF8FromIdentifier");
  if (!id || !g_browser.utf8fromidentifier) {
    Trace(line.Word("result", id ? "missing" : "null"));
    return std::string();
  }
  NPUTF8* text = g_browser.utf8fromidentifier(id);
  Trace(line.Str("result", text));
  if (!text) return std::string();
  std::string name = text;
  BrowserMemFree(text);
  return name;
}

NPObject* BrowserRetainObject(NPObject* object) {
  CTranscriptLine line("out", "NPN_RetainObject");
  if (!object) return nullptr;
  if (!g_browser.retainobject) {
    // Without the entry the count is kept by hand, as a browser would.
    ++object->referenceCount;
    Trace(line.Word("result", "missing"));
    return object;
  }
  NPObject* result = g_browser.retainobject(object);
  Trace(line.Word("result", result ? "set" : "null"));
  return result;
}

void BrowserReleaseObject(NPObject* object) {
  if (!object) return;
  CTranscriptLine line("out", "NPN_ReleaseObject");
  if (!g_browser.releaseobject) {
    Trace(line.Word("result", "missing"));
    return;
  }
  g_browser.releaseobject(object);
  Trace(line);
}

void BrowserReleaseVariant(NPVariant* v) {
  CTranscriptLine line("out", "NPN_ReleaseVariantValue");
  AddVariant(line, "value", *v);
  if (!g_browser.releasevariantvalue) {
    Trace(line.Word("result", "missing"));
  } else {
    g_browser.releasevariantvalue(v);
    Trace(line);
  }
  *v = VoidVariant();
}

JRIEnv* BrowserJavaEnv() {
  CTranscriptLine line("out", "NPN_GetJavaEnv");
  if (!g_browser.getJavaEnv) {
    Trace(line.Word("result", "missing"));
    return nullptr;
  }
  JRIEnv* env = g_browser.getJavaEnv();
  Trace(line.Word("result", env ? "set" : "null"));
  return env;
}

template <typename Fn>
Fn JriSlot(JRIEnv* env, int slot) {
  if (!env || !*env) return nullptr;
  return reinterpret_cast<Fn>((*env)->slots[slot]);
}

// The bytes of a JRI string through the environment's GetStringUTFChars.
std::string JriStringText(JRIEnv* env, jstring str, bool* ok) {
  CTranscriptLine line("out", "JRI.GetStringUTFChars");
  *ok = false;
  auto get = JriSlot<JRIGetStringUTFCharsFn>(env, kJRIGetStringUTFChars);
  if (!get) {
    Trace(line.Word("result", "missing"));
    return std::string();
  }
  const char* text = get(env, kJRIGetStringUTFChars, str);
  Trace(line.Str("result", text));
  if (!text) return std::string();
  *ok = true;
  return text;
}

jstring JriNewString(JRIEnv* env, const std::string& text) {
  CTranscriptLine line("out", "JRI.NewStringUTF");
  line.Str("text", text);
  auto make = JriSlot<JRINewStringUTFFn>(env, kJRINewStringUTF);
  if (!make) {
    Trace(line.Word("result", "missing"));
    return nullptr;
  }
  jstring str = make(env, kJRINewStringUTF, text.c_str(), static_cast<jint>(text.size()));
  Trace(line.Word("result", str ? "set" : "null"));
  return str;
}

// ---------------------------------------------------------------------------------------------
// The scriptable object

struct CScriptObject {
  NPObject head;         // first, so the browser's NPObject* is the object's address
  uint64_t instance_id;  // 0 once the instance is gone
};

std::shared_ptr<CInstance> FindInstance(NPP npp);
std::shared_ptr<CInstance> FindInstanceById(uint64_t id);

NPObject* ScriptAllocate(NPP npp, NPClass* cls);
void ScriptDeallocate(NPObject* object);
void ScriptInvalidate(NPObject* object);
bool ScriptHasMethod(NPObject* object, NPIdentifier name);
bool ScriptInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                  NPVariant* result);
bool ScriptInvokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                         NPVariant* result);
bool ScriptHasProperty(NPObject* object, NPIdentifier name);
bool ScriptGetProperty(NPObject* object, NPIdentifier name, NPVariant* result);
bool ScriptSetProperty(NPObject* object, NPIdentifier name, const NPVariant* value);
bool ScriptRemoveProperty(NPObject* object, NPIdentifier name);

NPClass g_script_class = {
    NP_CLASS_STRUCT_VERSION,
    &ScriptAllocate,
    &ScriptDeallocate,
    &ScriptInvalidate,
    &ScriptHasMethod,
    &ScriptInvoke,
    &ScriptInvokeDefault,
    &ScriptHasProperty,
    &ScriptGetProperty,
    &ScriptSetProperty,
    &ScriptRemoveProperty,
    nullptr,  // enumerate
    nullptr,  // construct
};

CScriptObject* AsScriptObject(NPObject* object) {
  if (!object || object->_class != &g_script_class) return nullptr;
  return reinterpret_cast<CScriptObject*>(object);
}

// ---------------------------------------------------------------------------------------------
// One plug-in instance

class CInstance final : public IMovieHost,
                        public IViewSink,
                        public std::enable_shared_from_this<CInstance> {
 public:
  CInstance(NPP npp, uint64_t id) : npp_(npp), id_(id), movie_(this) {}
  ~CInstance() override = default;

  void Start() { view_ = CreateView(this); }
  NPP npp() const { return npp_; }
  uint64_t id() const { return id_; }
  CMovie& movie() { return movie_; }
  bool alive() const { return alive_; }

  void Configure(int16_t argc, char* argn[], char* argv[], CTranscriptLine* line) {
    const int count = argc < 0 ? 0 : (argc > kMaxNewArgs ? kMaxNewArgs : argc);
    std::string src;
    for (int i = 0; i < count; ++i) {
      const char* name = argn ? argn[i] : nullptr;
      const char* value = argv ? argv[i] : nullptr;
      const std::string index = std::to_string(i);
      line->Str(("argn" + index).c_str(), name).Str(("argv" + index).c_str(), value);
      if (!name || !value) continue;
      const std::string lower = ToLowerAscii(name);
      if (lower == "name") name_ = value;
      if (lower == "src") src = value;
      if (lower == "flashvars") pending_flashvars_ = value;
    }
    src_ = src;
  }

  // Work of NPP_New that may call the browser; done after the instance is registered.
  void AfterNew() {
    if (!pending_flashvars_.empty()) {
      std::string vars;
      vars.swap(pending_flashvars_);
      LoadRequest request;
      request.kind = LoadRequest::Kind::kVars;
      request.url = "FlashVars";
      movie_.CompleteLoad(request, vars);
    }
    if (!src_.empty()) {
      LoadRequest request;
      request.kind = LoadRequest::Kind::kScene;
      request.target_layer = 0;
      request.url = src_;
      RequestUrl(request);
    }
  }

  void Destroy() {
    if (!alive_) return;
    alive_ = false;
    movie_.Shutdown();
    if (view_) view_->Detach();
    streams_.clear();
    requests_.clear();
    if (script_object_) {
      if (CScriptObject* object = AsScriptObject(script_object_)) object->instance_id = 0;
      NPObject* object = script_object_;
      script_object_ = nullptr;
      BrowserReleaseObject(object);
    }
  }

  NPError SetWindow(NPWindow* window, CTranscriptLine* line) {
    if (!window) {
      line->Word("window", "null");
      return NPERR_INVALID_PARAM;
    }
    line->Word("window", window->window ? "set" : "null")
        .Int("x", window->x)
        .Int("y", window->y)
        .Int("width", window->width)
        .Int("height", window->height);
    if (!window->window) {
      view_->Detach();
      return NPERR_NO_ERROR;
    }
    return view_->Attach(window->window) ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
  }

  NPError NewStream(NPMIMEType type, NPStream* stream, uint16_t* stype, CTranscriptLine* line) {
    StreamState state;
    state.url = stream->url ? stream->url : "";
    state.mime = type ? type : "";
    const uintptr_t notify = reinterpret_cast<uintptr_t>(stream->notifyData);
    if (notify && requests_.count(notify)) state.request = notify;
    line->Str("mime", type)
        .Str("url", stream->url)
        .Int("end", stream->end)
        .Int("notify", static_cast<int64_t>(state.request));
    if (notify && !state.request) line->Word("notify_data", "foreign");
    streams_[stream] = std::move(state);
    if (stype) *stype = NP_NORMAL;
    return NPERR_NO_ERROR;
  }

  int32_t Write(NPStream* stream, int32_t offset, int32_t len, const void* buffer) {
    auto it = streams_.find(stream);
    if (it == streams_.end() || len < 0 || (len > 0 && !buffer)) return -1;
    StreamState& state = it->second;
    const size_t room = kMaxStreamBytes - state.data.size();
    const size_t take = static_cast<size_t>(len) < room ? static_cast<size_t>(len) : room;
    if (take < static_cast<size_t>(len)) state.truncated = true;
    state.data.append(static_cast<const char*>(buffer), take);
    // Everything is accepted (beyond the cap it is dropped) so that the browser's loop ends.
    return len;
  }

  NPError DestroyStream(NPStream* stream, NPReason reason, CTranscriptLine* line) {
    auto it = streams_.find(stream);
    if (it == streams_.end()) return NPERR_INVALID_PARAM;
    StreamState state = std::move(it->second);
    streams_.erase(it);
    line->Str("url", state.url).Int("bytes", static_cast<int64_t>(state.data.size()));
    if (state.truncated) line->Bool("truncated", true);
    LoadRequest request;
    bool have_request = false;
    if (state.request) {
      auto found = requests_.find(state.request);
      if (found != requests_.end()) {
        found->second.delivered = true;
        request = found->second.request;
        have_request = true;
      }
    }
    if (reason != NPRES_DONE) {
      if (have_request)
        movie_.FailLoad(request, "stream ended with reason " + std::to_string(reason));
      return NPERR_NO_ERROR;
    }
    if (have_request) {
      movie_.CompleteLoad(request, state.data);
    } else {
      // A stream nobody asked for is the movie itself (the browser opens it from the embed).
      movie_.LoadLayer(0, state.url, state.data);
    }
    return NPERR_NO_ERROR;
  }

  void UrlNotify(const char* url, NPReason reason, void* notify_data) {
    auto it = requests_.find(reinterpret_cast<uintptr_t>(notify_data));
    if (it == requests_.end()) return;
    Pending pending = std::move(it->second);
    requests_.erase(it);
    if (!pending.delivered) {
      movie_.FailLoad(pending.request,
                      reason == NPRES_DONE ? "no data" : "reason " + std::to_string(reason));
    }
  }

  int16_t HandleEvent(const NPEvent* event) {
    switch (event->event) {
      case kEventMouseDown: {
        const int x = static_cast<int16_t>(event->lParam & 0xFFFF);
        const int y = static_cast<int16_t>((event->lParam >> 16) & 0xFFFF);
        return movie_.Click(x, y) ? 1 : 0;
      }
      case kEventKeyDown:
        return movie_.Key(static_cast<uint32_t>(event->wParam)) ? 1 : 0;
      case kEventTimer:
        movie_.Tick();
        return 1;
      default:
        return 0;
    }
  }

  NPError GetScriptableObject(NPObject** out) {
    if (!script_object_) {
      CTranscriptLine line("out", "NPN_CreateObject");
      if (g_browser.createobject) {
        script_object_ = g_browser.createobject(npp_, &g_script_class);
        Trace(line.Word("result", script_object_ ? "set" : "null"));
      } else {
        script_object_ = ScriptAllocate(npp_, &g_script_class);
        Trace(line.Word("result", "missing"));
      }
      if (!script_object_) return NPERR_OUT_OF_MEMORY_ERROR;
    }
    *out = BrowserRetainObject(script_object_);
    return *out ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
  }

  // --- IMovieHost
  void Trace(const std::string& line) override { WriteTranscriptLine(line); }
  void Trace(const CTranscriptLine& line) { line.Write(); }

  bool SendFsCommand(FsPath path, const std::string& command, const std::string& arg) override {
    switch (path) {
      case FsPath::kJri:
        return SendJri(command, arg);
      case FsPath::kInvoke:
        return SendInvoke(command, arg);
      case FsPath::kExternal: {
        ScriptArg script_arg;
        script_arg.text = arg;
        return CallExternal(command, {script_arg});
      }
    }
    return false;
  }

  bool CallExternal(const std::string& function, const std::vector<ScriptArg>& args) override {
    const std::string script = BuildExternalCallScript(function, args);
    NPObject* window = WindowObject();
    if (!window) return false;
    NPString text;
    text.UTF8Characters = script.c_str();
    text.UTF8Length = static_cast<uint32_t>(script.size());
    NPVariant result = VoidVariant();
    CTranscriptLine line("out", "NPN_Evaluate");
    line.Str("script", script);
    bool ok = false;
    if (!g_browser.evaluate) {
      line.Word("result", "missing");
    } else {
      ok = g_browser.evaluate(npp_, window, &text, &result);
      line.Bool("result", ok);
      if (ok) AddVariant(line, "value", result);
    }
    Trace(line);
    if (ok) BrowserReleaseVariant(&result);
    BrowserReleaseObject(window);
    return ok;
  }

  bool RequestUrl(const LoadRequest& request) override {
    if (requests_.size() >= kMaxPendingRequests) {
      movie_.FailLoad(request, "too many pending requests");
      return false;
    }
    const uintptr_t id = next_request_++;
    requests_[id] = Pending{request, false};
    CTranscriptLine line("out", "NPN_GetURLNotify");
    line.Str("url", request.url).Word("target", "null").Int("notify", static_cast<int64_t>(id));
    NPError result = NPERR_INVALID_FUNCTABLE_ERROR;
    if (!g_browser.geturlnotify) {
      line.Word("result", "missing");
    } else {
      result =
          g_browser.geturlnotify(npp_, request.url.c_str(), nullptr, reinterpret_cast<void*>(id));
      line.Int("result", result);
    }
    Trace(line);
    if (result != NPERR_NO_ERROR) {
      requests_.erase(id);
      movie_.FailLoad(request, "request refused");
      return false;
    }
    return true;
  }

  bool Navigate(const std::string& url, const std::string& target) override {
    CTranscriptLine line("out", "NPN_GetURLNotify");
    line.Str("url", url).Str("target", target).Int("notify", 0);
    NPError result = NPERR_INVALID_FUNCTABLE_ERROR;
    if (!g_browser.geturlnotify) {
      line.Word("result", "missing");
    } else {
      result = g_browser.geturlnotify(npp_, url.c_str(), target.c_str(), nullptr);
      line.Int("result", result);
    }
    Trace(line);
    return result == NPERR_NO_ERROR;
  }

  bool QueryLocation(std::string* url) override {
    NPObject* window = WindowObject();
    if (!window) return false;
    bool found = false;
    NPVariant location = VoidVariant();
    if (GetProperty(window, BrowserStringIdentifier("location"), "location", &location)) {
      if (location.type == NPVariantType_Object && location.value.objectValue) {
        NPVariant text = VoidVariant();
        if (Invoke(location.value.objectValue, BrowserStringIdentifier("toString"), "toString",
                   nullptr, 0, &text)) {
          if (text.type == NPVariantType_String) {
            *url = VariantString(text);
            found = true;
          }
          BrowserReleaseVariant(&text);
        }
      } else if (location.type == NPVariantType_String) {
        *url = VariantString(location);
        found = true;
      }
      BrowserReleaseVariant(&location);
    }
    BrowserReleaseObject(window);
    return found;
  }

  void Invalidate() override {
    if (view_) view_->Invalidate();
  }
  void ScheduleTimer(uint32_t delay_ms) override {
    if (view_) view_->ScheduleTimer(delay_ms);
  }
  void CancelTimer() override {
    if (view_) view_->CancelTimer();
  }
  uint32_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  bool Alive() override { return alive_; }

  // --- IViewSink
  void OnViewClick(int x, int y) override {
    auto keep = shared_from_this();
    if (!alive_) return;
    const bool hit = movie_.Click(x, y);
    Trace(CTranscriptLine("in", "Window.click").Int("x", x).Int("y", y).Bool("result", hit));
  }
  void OnViewKey(uint32_t key_code) override {
    auto keep = shared_from_this();
    if (!alive_) return;
    const bool handled = movie_.Key(key_code);
    Trace(CTranscriptLine("in", "Window.key").Int("code", key_code).Bool("result", handled));
  }
  void OnViewTimer() override {
    auto keep = shared_from_this();
    if (!alive_) return;
    movie_.Tick();
  }
  ViewContent GetViewContent() override {
    ViewContent content;
    content.background = movie_.background();
    content.items = movie_.DisplayList();
    return content;
  }

 private:
  struct StreamState {
    std::string url;
    std::string mime;
    uintptr_t request = 0;
    std::string data;
    bool truncated = false;
  };
  struct Pending {
    LoadRequest request;
    bool delivered = false;
  };

  // The page's window object, carrying a reference the caller releases; null when unavailable.
  NPObject* WindowObject() {
    CTranscriptLine line("out", "NPN_GetValue");
    line.Int("variable", NPNVWindowNPObject);
    NPObject* window = nullptr;
    if (!g_browser.getvalue) {
      Trace(line.Word("result", "missing"));
      return nullptr;
    }
    const NPError result = g_browser.getvalue(npp_, NPNVWindowNPObject, &window);
    Trace(line.Int("result", result).Word("object", window ? "set" : "null"));
    return result == NPERR_NO_ERROR ? window : nullptr;
  }

  bool Invoke(NPObject* object, NPIdentifier method, const char* name, const NPVariant* args,
              uint32_t count, NPVariant* result) {
    CTranscriptLine line("out", "NPN_Invoke");
    line.Str("method", name).Int("argc", count);
    for (uint32_t i = 0; i < count; ++i)
      AddVariant(line, ("arg" + std::to_string(i)).c_str(), args[i]);
    if (!g_browser.invoke || !method) {
      Trace(line.Word("result", "missing"));
      return false;
    }
    const bool ok = g_browser.invoke(npp_, object, method, args, count, result);
    line.Bool("result", ok);
    if (ok) AddVariant(line, "value", *result);
    Trace(line);
    return ok;
  }

  bool GetProperty(NPObject* object, NPIdentifier property, const char* name, NPVariant* result) {
    CTranscriptLine line("out", "NPN_GetProperty");
    line.Str("name", name);
    if (!g_browser.getproperty || !property) {
      Trace(line.Word("result", "missing"));
      return false;
    }
    const bool ok = g_browser.getproperty(npp_, object, property, result);
    line.Bool("result", ok);
    if (ok) AddVariant(line, "value", *result);
    Trace(line);
    return ok;
  }

  bool SendJri(const std::string& command, const std::string& arg) {
    JRIEnv* env = BrowserJavaEnv();
    if (!env || !*env) return false;
    CTranscriptLine peer_line("out", "NPN_GetJavaPeer");
    jref peer = nullptr;
    if (g_browser.getJavaPeer) {
      peer = g_browser.getJavaPeer(npp_);
      Trace(peer_line.Word("result", peer ? "set" : "null"));
    } else {
      Trace(peer_line.Word("result", "missing"));
    }
    auto find_class = JriSlot<JRIFindClassFn>(env, kJRIFindClass);
    auto method_id = JriSlot<JRIGetMethodIDFn>(env, kJRIGetMethodID);
    auto call = JriSlot<JRICallMethodFn>(env, kJRICallMethod);
    if (!find_class || !method_id || !call) {
      Trace(CTranscriptLine("out", "JRI.CallMethod").Word("result", "missing"));
      return false;
    }
    jclass clazz = find_class(env, kJRIFindClass, "ShockwaveFlash");
    Trace(CTranscriptLine("out", "JRI.FindClass")
              .Str("name", "ShockwaveFlash")
              .Word("result", clazz ? "set" : "null"));
    const jint method = method_id(env, kJRIGetMethodID, clazz, "FSCommand", kFsCommandSignature);
    Trace(CTranscriptLine("out", "JRI.GetMethodID")
              .Str("name", "FSCommand")
              .Str("signature", kFsCommandSignature)
              .Int("result", method));
    jstring target = JriNewString(env, name_);
    jstring command_string = JriNewString(env, command);
    jstring arg_string = JriNewString(env, arg);
    call(env, kJRICallMethod, peer, method, target, command_string, arg_string);
    Trace(CTranscriptLine("out", "JRI.CallMethod")
              .Int("method", method)
              .Int("argc", 3)
              .Str("arg0", name_)
              .Str("arg1", command)
              .Str("arg2", arg));
    return true;
  }

  bool SendInvoke(const std::string& command, const std::string& arg) {
    NPObject* window = WindowObject();
    if (!window) return false;
    NPIdentifier method = BrowserStringIdentifier("test_DoFSCommand");
    NPVariant args[2] = {StringVariant(command), StringVariant(arg)};
    NPVariant result = VoidVariant();
    const bool ok = Invoke(window, method, "test_DoFSCommand", args, 2, &result);
    if (ok) BrowserReleaseVariant(&result);
    BrowserReleaseObject(window);
    return ok;
  }

  NPP npp_;
  uint64_t id_;
  bool alive_ = true;
  std::string name_ = "FlashPlayer";
  std::string src_;
  std::string pending_flashvars_;
  CMovie movie_;
  std::unique_ptr<IView> view_;
  NPObject* script_object_ = nullptr;
  std::map<NPStream*, StreamState> streams_;
  std::map<uintptr_t, Pending> requests_;
  uintptr_t next_request_ = 1;
};

std::shared_ptr<CInstance> FindInstance(NPP npp) {
  if (!npp || !npp->pdata) return nullptr;
  for (const auto& instance : g_instances) {
    if (instance.get() == npp->pdata && instance->npp() == npp) return instance;
  }
  return nullptr;
}

std::shared_ptr<CInstance> FindInstanceById(uint64_t id) {
  if (!id) return nullptr;
  for (const auto& instance : g_instances) {
    if (instance->id() == id) return instance;
  }
  return nullptr;
}

std::shared_ptr<CInstance> CurrentInstance() {
  return g_instances.empty() ? nullptr : g_instances.back();
}

// ---------------------------------------------------------------------------------------------
// Scriptable object callbacks

NPObject* ScriptAllocate(NPP npp, NPClass* cls) {
  auto* object = new (std::nothrow) CScriptObject();
  if (!object) return nullptr;
  // Some browsers leave these to the allocator.
  object->head._class = cls;
  object->head.referenceCount = 1;
  auto instance = FindInstance(npp);
  object->instance_id = instance ? instance->id() : 0;
  Trace(CTranscriptLine("in", "NPClass.allocate").Word("instance", instance ? "set" : "null"));
  return &object->head;
}

void ScriptDeallocate(NPObject* object) {
  Trace(CTranscriptLine("in", "NPClass.deallocate"));
  delete AsScriptObject(object);
}

void ScriptInvalidate(NPObject* object) {
  Trace(CTranscriptLine("in", "NPClass.invalidate"));
  if (CScriptObject* script = AsScriptObject(object)) script->instance_id = 0;
}

const char* const kMethods[] = {"CallFunction", "GetVariable", "SetVariable"};

bool ScriptHasMethod(NPObject* object, NPIdentifier name) {
  const std::string method = BrowserIdentifierName(name);
  bool known = false;
  for (const char* candidate : kMethods) known = known || method == candidate;
  Trace(CTranscriptLine("in", "NPClass.hasMethod").Str("name", method).Bool("result", known));
  return known;
}

bool ReturnString(const std::string& text, NPVariant* result) {
  if (!result) return true;
  auto* buffer = static_cast<char*>(BrowserMemAlloc(static_cast<uint32_t>(text.size() + 1)));
  if (!buffer) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  result->type = NPVariantType_String;
  result->value.stringValue.UTF8Characters = buffer;
  result->value.stringValue.UTF8Length = static_cast<uint32_t>(text.size());
  return true;
}

bool ScriptInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                  NPVariant* result) {
  const std::string method = BrowserIdentifierName(name);
  CTranscriptLine line("in", "NPClass.invoke");
  line.Str("method", method).Int("argc", count);
  for (uint32_t i = 0; args && i < count && i < 8; ++i) {
    AddVariant(line, ("arg" + std::to_string(i)).c_str(), args[i]);
  }
  if (result) *result = VoidVariant();
  CScriptObject* script = AsScriptObject(object);
  std::shared_ptr<CInstance> instance = script ? FindInstanceById(script->instance_id) : nullptr;
  if (!instance || !instance->alive()) {
    Trace(line.Bool("result", false).Str("error", "no instance"));
    return false;
  }
  if (count > 0 && !args) count = 0;
  bool ok = false;
  std::string error;
  if (method == "CallFunction") {
    InvokeRequest request;
    if (count < 1 || args[0].type != NPVariantType_String) {
      error = "CallFunction needs one string";
    } else if (!ParseInvokeXml(VariantString(args[0]), &request, &error)) {
      error = "bad invoke XML: " + error;
    } else {
      std::vector<std::string> values;
      for (const XmlValue& value : request.args) values.push_back(XmlValueText(value));
      std::string xml;
      if (!instance->movie().Call(request.name, values, &xml)) {
        error = "no handler for " + request.name;
      } else if (!instance->alive()) {
        error = "instance destroyed during the call";
      } else {
        ok = ReturnString(xml, result);
        if (!ok) error = "no memory for the result";
      }
    }
  } else if (method == "GetVariable") {
    std::string value;
    if (count < 1 || args[0].type != NPVariantType_String) {
      error = "GetVariable needs one string";
    } else if (instance->movie().GetVariable(VariantString(args[0]), &value)) {
      ok = ReturnString(value, result);
    } else {
      if (result) result->type = NPVariantType_Null;
      ok = true;
    }
  } else if (method == "SetVariable") {
    if (count < 2 || args[0].type != NPVariantType_String || args[1].type != NPVariantType_String) {
      error = "SetVariable needs two strings";
    } else {
      ok = instance->movie().SetVariable(VariantString(args[0]), VariantString(args[1]));
    }
  } else {
    error = "unknown method";
  }
  line.Bool("result", ok);
  if (ok && result) AddVariant(line, "value", *result);
  if (!error.empty()) line.Str("error", error);
  Trace(line);
  return ok;
}

bool ScriptInvokeDefault(NPObject*, const NPVariant*, uint32_t count, NPVariant* result) {
  Trace(CTranscriptLine("in", "NPClass.invokeDefault").Int("argc", count).Bool("result", false));
  if (result) *result = VoidVariant();
  return false;
}

bool ScriptHasProperty(NPObject*, NPIdentifier name) {
  const std::string property = BrowserIdentifierName(name);
  Trace(CTranscriptLine("in", "NPClass.hasProperty").Str("name", property).Bool("result", false));
  return false;
}

bool ScriptGetProperty(NPObject*, NPIdentifier name, NPVariant* result) {
  const std::string property = BrowserIdentifierName(name);
  Trace(CTranscriptLine("in", "NPClass.getProperty").Str("name", property).Bool("result", false));
  if (result) *result = VoidVariant();
  return false;
}

bool ScriptSetProperty(NPObject*, NPIdentifier name, const NPVariant*) {
  const std::string property = BrowserIdentifierName(name);
  Trace(CTranscriptLine("in", "NPClass.setProperty").Str("name", property).Bool("result", false));
  return false;
}

bool ScriptRemoveProperty(NPObject*, NPIdentifier name) {
  const std::string property = BrowserIdentifierName(name);
  Trace(
      CTranscriptLine("in", "NPClass.removeProperty").Str("name", property).Bool("result", false));
  return false;
}

// ---------------------------------------------------------------------------------------------
// Plug-in table entries

NPError PluginNew(NPMIMEType type, NPP npp, uint16_t mode, int16_t argc, char* argn[], char* argv[],
                  NPSavedData*) {
  CTranscriptLine line("in", "NPP_New");
  line.Str("mime", type).Int("mode", mode).Int("argc", argc);
  if (!npp) {
    Trace(line.Int("result", NPERR_INVALID_INSTANCE_ERROR));
    return NPERR_INVALID_INSTANCE_ERROR;
  }
  auto instance = std::make_shared<CInstance>(npp, g_next_instance_id++);
  instance->Start();
  instance->Configure(argc, argn, argv, &line);
  npp->pdata = instance.get();
  g_instances.push_back(instance);
  instance->AfterNew();
  Trace(line.Int("result", NPERR_NO_ERROR));
  return NPERR_NO_ERROR;
}

NPError PluginDestroy(NPP npp, NPSavedData** save) {
  CTranscriptLine line("in", "NPP_Destroy");
  if (save) *save = nullptr;
  auto instance = FindInstance(npp);
  if (!instance) {
    Trace(line.Int("result", NPERR_INVALID_INSTANCE_ERROR));
    return NPERR_INVALID_INSTANCE_ERROR;
  }
  // Removed first: whatever the destruction calls back into must not find it any more. The
  // reference held here keeps it alive until this returns, even if a handler of its own movie is
  // still on the stack below us.
  for (auto it = g_instances.begin(); it != g_instances.end(); ++it) {
    if (*it == instance) {
      g_instances.erase(it);
      break;
    }
  }
  npp->pdata = nullptr;
  instance->Destroy();
  Trace(line.Int("result", NPERR_NO_ERROR));
  return NPERR_NO_ERROR;
}

NPError PluginSetWindow(NPP npp, NPWindow* window) {
  CTranscriptLine line("in", "NPP_SetWindow");
  auto instance = FindInstance(npp);
  NPError result = NPERR_INVALID_INSTANCE_ERROR;
  if (instance) result = instance->SetWindow(window, &line);
  Trace(line.Int("result", result));
  return result;
}

NPError PluginNewStream(NPP npp, NPMIMEType type, NPStream* stream, NPBool seekable,
                        uint16_t* stype) {
  CTranscriptLine line("in", "NPP_NewStream");
  auto instance = FindInstance(npp);
  NPError result = NPERR_INVALID_INSTANCE_ERROR;
  if (instance && !stream) result = NPERR_INVALID_PARAM;
  if (instance && stream) result = instance->NewStream(type, stream, stype, &line);
  line.Int("seekable", seekable).Int("result", result);
  if (result == NPERR_NO_ERROR && stype) line.Int("stype", *stype);
  Trace(line);
  return result;
}

int32_t PluginWriteReady(NPP npp, NPStream* stream) {
  CTranscriptLine line("in", "NPP_WriteReady");
  line.Str("url", stream ? stream->url : nullptr);
  const int32_t result = FindInstance(npp) && stream ? kWriteReadyBytes : -1;
  Trace(line.Int("result", result));
  return result;
}

int32_t PluginWrite(NPP npp, NPStream* stream, int32_t offset, int32_t len, void* buffer) {
  CTranscriptLine line("in", "NPP_Write");
  line.Str("url", stream ? stream->url : nullptr).Int("offset", offset).Int("len", len);
  auto instance = FindInstance(npp);
  const int32_t result = instance && stream ? instance->Write(stream, offset, len, buffer) : -1;
  Trace(line.Int("result", result));
  return result;
}

NPError PluginDestroyStream(NPP npp, NPStream* stream, NPReason reason) {
  CTranscriptLine line("in", "NPP_DestroyStream");
  line.Int("reason", reason);
  auto instance = FindInstance(npp);
  NPError result = NPERR_INVALID_INSTANCE_ERROR;
  if (instance)
    result = stream ? instance->DestroyStream(stream, reason, &line) : NPERR_INVALID_PARAM;
  Trace(line.Int("result", result));
  return result;
}

void PluginStreamAsFile(NPP, NPStream* stream, const char* fname) {
  Trace(CTranscriptLine("in", "NPP_StreamAsFile")
            .Str("url", stream ? stream->url : nullptr)
            .Str("fname", fname));
}

void PluginPrint(NPP, NPPrint*) {
  Trace(CTranscriptLine("in", "NPP_Print"));
}

int16_t PluginHandleEvent(NPP npp, void* event) {
  CTranscriptLine line("in", "NPP_HandleEvent");
  auto instance = FindInstance(npp);
  int16_t result = 0;
  if (event) {
    const auto* ev = static_cast<const NPEvent*>(event);
    line.Int("event", ev->event)
        .Int("wparam", static_cast<int64_t>(ev->wParam))
        .Int("lparam", static_cast<int64_t>(ev->lParam));
    if (instance) result = instance->HandleEvent(ev);
  } else {
    line.Word("event", "null");
  }
  Trace(line.Int("result", result));
  return result;
}

void PluginUrlNotify(NPP npp, const char* url, NPReason reason, void* notify_data) {
  auto instance = FindInstance(npp);
  if (instance) instance->UrlNotify(url, reason, notify_data);
  Trace(CTranscriptLine("in", "NPP_URLNotify")
            .Str("url", url)
            .Int("reason", reason)
            .Int("notify", static_cast<int64_t>(reinterpret_cast<uintptr_t>(notify_data))));
}

NPError PluginGetValue(NPP npp, NPPVariable variable, void* value) {
  CTranscriptLine line("in", "NPP_GetValue");
  line.Int("variable", variable);
  NPError result = NPERR_GENERIC_ERROR;
  if (!value) {
    result = NPERR_INVALID_PARAM;
  } else if (variable == NPPVpluginNameString) {
    *static_cast<const char**>(value) = kPluginName;
    result = NPERR_NO_ERROR;
  } else if (variable == NPPVpluginDescriptionString) {
    *static_cast<const char**>(value) = kPluginDescription;
    result = NPERR_NO_ERROR;
  } else if (variable == NPPVpluginScriptableNPObject) {
    auto instance = FindInstance(npp);
    if (!instance) {
      result = NPERR_INVALID_INSTANCE_ERROR;
    } else {
      NPObject* object = nullptr;
      result = instance->GetScriptableObject(&object);
      *static_cast<NPObject**>(value) = object;
      line.Word("object", object ? "set" : "null");
    }
  }
  Trace(line.Int("result", result));
  return result;
}

NPError PluginSetValue(NPP, NPNVariable variable, void*) {
  Trace(CTranscriptLine("in", "NPP_SetValue")
            .Int("variable", variable)
            .Int("result", NPERR_GENERIC_ERROR));
  return NPERR_GENERIC_ERROR;
}

}  // namespace

NPError GetEntryPoints(NPPluginFuncs* funcs) {
  CTranscriptLine line("in", "NP_GetEntryPoints");
  if (!funcs) {
    Trace(line.Int("result", NPERR_INVALID_FUNCTABLE_ERROR));
    return NPERR_INVALID_FUNCTABLE_ERROR;
  }
  NPPluginFuncs table;
  std::memset(&table, 0, sizeof table);
  table.version = static_cast<uint16_t>((NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR);
  table.newp = &PluginNew;
  table.destroy = &PluginDestroy;
  table.setwindow = &PluginSetWindow;
  table.newstream = &PluginNewStream;
  table.destroystream = &PluginDestroyStream;
  table.asfile = &PluginStreamAsFile;
  table.writeready = &PluginWriteReady;
  table.write = &PluginWrite;
  table.print = &PluginPrint;
  table.event = &PluginHandleEvent;
  table.urlnotify = &PluginUrlNotify;
  table.javaClass = nullptr;
  table.getvalue = &PluginGetValue;
  table.setvalue = &PluginSetValue;
  size_t size = funcs->size;
  if (size == 0 || size > sizeof table) size = sizeof table;
  if (size < 4) {
    Trace(line.Int("size", funcs->size).Int("result", NPERR_INVALID_FUNCTABLE_ERROR));
    return NPERR_INVALID_FUNCTABLE_ERROR;
  }
  table.size = static_cast<uint16_t>(size);
  std::memcpy(funcs, &table, size);
  Trace(line.Int("size", static_cast<int64_t>(size)).Int("result", NPERR_NO_ERROR));
  return NPERR_NO_ERROR;
}

NPError Initialize(const NPNetscapeFuncs* funcs) {
  CTranscriptLine line("in", "NP_Initialize");
  if (!funcs) {
    Trace(line.Int("result", NPERR_INVALID_FUNCTABLE_ERROR));
    return NPERR_INVALID_FUNCTABLE_ERROR;
  }
  line.Int("size", funcs->size).Int("version", funcs->version);
  if ((funcs->version >> 8) > NP_VERSION_MAJOR) {
    Trace(line.Int("result", NPERR_INCOMPATIBLE_VERSION_ERROR));
    return NPERR_INCOMPATIBLE_VERSION_ERROR;
  }
  size_t size = funcs->size;
  if (size == 0 || size > sizeof g_browser) size = sizeof g_browser;
  std::memset(&g_browser, 0, sizeof g_browser);
  std::memcpy(&g_browser, funcs, size);
  Trace(line.Int("result", NPERR_NO_ERROR));
  return NPERR_NO_ERROR;
}

NPError Shutdown() {
  std::vector<std::shared_ptr<CInstance>> instances;
  instances.swap(g_instances);
  for (const auto& instance : instances) {
    if (instance->npp()) instance->npp()->pdata = nullptr;
    instance->Destroy();
  }
  instances.clear();
  std::memset(&g_browser, 0, sizeof g_browser);
  Trace(CTranscriptLine("in", "NP_Shutdown").Int("result", NPERR_NO_ERROR));
  return NPERR_NO_ERROR;
}

void LoadMovieStub(JRIStackItem* args, JRIEnv* env) {
  CTranscriptLine line("in", "LoadMovie_stub");
  if (!args) {
    Trace(line.Word("args", "null"));
    return;
  }
  const int layer = args[1].i;
  bool have_url = false;
  const std::string url = JriStringText(env, args[2].p, &have_url);
  line.Int("layer", layer).Str("url", have_url ? url.c_str() : nullptr);
  auto instance = CurrentInstance();
  if (!instance) {
    Trace(line.Str("error", "no instance"));
    return;
  }
  if ((layer < 0 || layer > kMaxLayer) && layer != kReferenceLayer) {
    Trace(line.Str("error", "layer out of range"));
    return;
  }
  if (url.empty() && layer == kReferenceLayer) {
    // A reference is never shown, so there is nothing to unload.
  } else if (url.empty()) {
    instance->movie().UnloadLayer(layer);
  } else {
    LoadRequest request;
    request.kind = LoadRequest::Kind::kScene;
    request.target_layer = layer;
    request.url = url;
    instance->RequestUrl(request);
  }
  Trace(line);
}

void GetVariableStub(JRIStackItem* args, JRIEnv* env) {
  CTranscriptLine line("in", "GetVariable_stub");
  if (!args) {
    Trace(line.Word("args", "null"));
    return;
  }
  bool have_name = false;
  const std::string name = JriStringText(env, args[1].p, &have_name);
  line.Str("name", have_name ? name.c_str() : nullptr);
  args[0].p = nullptr;
  auto instance = CurrentInstance();
  std::string value;
  if (instance && have_name && instance->movie().GetVariable(name, &value)) {
    args[0].p = JriNewString(env, value);
    if (args[0].p) {
      line.Str("result", value);
    } else {
      line.Word("result", "null");
    }
  } else {
    line.Word("result", "null");
  }
  Trace(line);
}

}  // namespace vexa::standin
