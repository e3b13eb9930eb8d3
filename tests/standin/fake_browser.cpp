#include "standin/fake_browser.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace standin_test {

namespace {

CFakeBrowser* g_fake = nullptr;

// ----- memory

void* MemAlloc(uint32_t size) {
  ++g_fake->outstanding_allocations;
  return std::malloc(size ? size : 1);
}

void MemFree(void* p) {
  if (!p) return;
  --g_fake->outstanding_allocations;
  std::free(p);
}

char* CopyText(const char* text) {
  const size_t n = std::strlen(text);
  auto* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(n + 1)));
  std::memcpy(copy, text, n + 1);
  return copy;
}

// ----- window object

NPObject* WindowAllocate(NPP, NPClass*) {
  ++g_fake->live_windows;
  auto* object = new NPObject();
  object->referenceCount = 0;
  return object;
}

void WindowDeallocate(NPObject* object) {
  --g_fake->live_windows;
  delete object;
}

bool WindowTrue(NPObject*, NPIdentifier) {
  return true;
}
bool WindowInvoke(NPObject*, NPIdentifier, const NPVariant*, uint32_t, NPVariant*) {
  return true;
}

NPClass g_window_class = {NP_CLASS_STRUCT_VERSION,
                          &WindowAllocate,
                          &WindowDeallocate,
                          nullptr,
                          &WindowTrue,
                          &WindowInvoke,
                          nullptr,
                          &WindowTrue,
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr};

NPObject* NewWindow() {
  NPObject* object = g_window_class.allocate(nullptr, &g_window_class);
  object->_class = &g_window_class;
  object->referenceCount = 1;
  return object;
}

// ----- browser entries

NPError GetUrl(NPP, const char*, const char*) {
  return NPERR_NO_DATA;
}

const char* UserAgent(NPP) {
  return "fake";
}

JRIEnv* GetJavaEnv() {
  return g_fake->env();
}

jref GetJavaPeer(NPP) {
  return g_fake->peer();
}

NPError GetUrlNotify(NPP, const char* url, const char* target, void* notify) {
  UrlRequest request;
  request.url = url ? url : "";
  request.has_target = target != nullptr;
  request.target = target ? target : "";
  request.notify = notify;
  // Like the host: a request with a target opens a page and is not answered with a stream.
  if (!request.has_target || request.target.empty()) g_fake->requests.push_back(request);
  return NPERR_NO_ERROR;
}

NPError GetValue(NPP, NPNVariable variable, void* value) {
  if (variable == NPNVWindowNPObject) *static_cast<NPObject**>(value) = NewWindow();
  return NPERR_NO_ERROR;
}

NPIdentifier GetStringIdentifier(const NPUTF8* name) {
  return const_cast<NPUTF8*>(name);
}

NPUTF8* Utf8FromIdentifier(NPIdentifier id) {
  return CopyText(static_cast<const char*>(id));
}

int32_t IntFromIdentifier(NPIdentifier) {
  return 0;
}

NPObject* CreateObject(NPP npp, NPClass* cls) {
  if (!npp || !cls || !cls->allocate) return nullptr;
  return cls->allocate(npp, cls);
}

NPObject* RetainObject(NPObject* object) {
  if (object) ++object->referenceCount;
  return object;
}

void ReleaseObject(NPObject* object) {
  if (!object) return;
  if (--object->referenceCount == 0 && object->_class && object->_class->deallocate) {
    object->_class->deallocate(object);
  }
}

std::string ArgText(const NPVariant* args, uint32_t count, uint32_t index) {
  if (index >= count || args[index].type != NPVariantType_String) return std::string();
  const NPString& s = args[index].value.stringValue;
  return s.UTF8Characters ? std::string(s.UTF8Characters, s.UTF8Length) : std::string();
}

void Record(FsCall call) {
  g_fake->fscommands.push_back(call);
  if (g_fake->on_fscommand) g_fake->on_fscommand(call);
}

bool Invoke(NPP, NPObject*, NPIdentifier method, const NPVariant* args, uint32_t count,
            NPVariant* result) {
  const std::string name = static_cast<const char*>(method);
  if (name == "test_DoFSCommand") {
    Record(FsCall{"invoke", ArgText(args, count, 0), ArgText(args, count, 1)});
    return true;
  }
  if (name == "toString") {
    result->type = NPVariantType_String;
    result->value.stringValue.UTF8Characters = CopyText(g_fake->location.c_str());
    result->value.stringValue.UTF8Length = static_cast<uint32_t>(g_fake->location.size());
    return true;
  }
  return true;
}

bool InvokeDefault(NPP, NPObject*, const NPVariant*, uint32_t, NPVariant*) {
  return false;
}

bool Evaluate(NPP, NPObject*, NPString* script, NPVariant*) {
  const std::string text(script->UTF8Characters, script->UTF8Length);
  g_fake->scripts.push_back(text);
  // The host's reading of an ExternalInterface call.
  const std::string open = "__flash__toXML(";
  const std::string close = ")) ; } catch (e)";
  const size_t start = text.find(open);
  const size_t end = text.find(close);
  if (start == std::string::npos || end == std::string::npos || end < start + open.size()) {
    return false;
  }
  const std::string inner = text.substr(start + open.size(), end - start - open.size());
  const size_t paren = inner.find('(');
  std::string command = inner.substr(0, paren);
  std::string arg = paren == std::string::npos ? std::string() : inner.substr(paren + 1);
  if (!arg.empty() && (arg[0] == '"' || arg[0] == '\'')) {
    arg = arg.size() >= 2 ? arg.substr(1, arg.size() - 2) : std::string();
  } else if (arg == "null") {
    arg.clear();
  }
  Record(FsCall{"external", command, arg});
  return false;
}

bool GetProperty(NPP, NPObject*, NPIdentifier name, NPVariant* result) {
  const std::string property = static_cast<const char*>(name);
  if (property != "location" && property != "top") return false;
  result->type = NPVariantType_Object;
  result->value.objectValue = NewWindow();
  return true;
}

bool ReturnFalse3(NPP, NPObject*, NPIdentifier) {
  return false;
}
bool SetProperty(NPP, NPObject*, NPIdentifier, const NPVariant*) {
  return false;
}

void ReleaseVariantValue(NPVariant* v) {
  if (v->type == NPVariantType_Object) ReleaseObject(v->value.objectValue);
  if (v->type == NPVariantType_String) {
    MemFree(const_cast<NPUTF8*>(v->value.stringValue.UTF8Characters));
  }
  v->type = NPVariantType_Void;
}

void SetException(NPObject*, const NPUTF8*) {}

// ----- JRI

jclass JriFindClass(JRIEnv*, jint, const char*) {
  return g_fake->peer();
}
jref JriGlobalRef(JRIEnv*, jint, void*) {
  return g_fake->peer();
}

jint JriGetMethodId(JRIEnv*, jint, jclass, const char* name, const char* signature) {
  if (std::strcmp(name, "FSCommand") == 0 &&
      std::strcmp(signature, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V") == 0) {
    return 3;
  }
  if (std::strcmp(name, "getPeer") == 0 && std::strcmp(signature, "()I") == 0) return 2;
  return -2;
}

jref JriCallMethod(JRIEnv*, jint, jref, jint method, ...) {
  if (method != 3) return nullptr;
  va_list ap;
  va_start(ap, method);
  jstring target = va_arg(ap, jstring);
  jstring command = va_arg(ap, jstring);
  jstring arg = va_arg(ap, jstring);
  va_end(ap);
  g_fake->jri_targets.push_back(CFakeBrowser::StringText(target));
  Record(FsCall{"jri", CFakeBrowser::StringText(command), CFakeBrowser::StringText(arg)});
  return nullptr;
}

jstring JriNewStringUtf(JRIEnv*, jint, const char* bytes, jint) {
  return bytes ? g_fake->MakeString(bytes) : nullptr;
}

const char* JriGetStringUtfChars(JRIEnv*, jint, jstring str) {
  return str ? static_cast<std::string*>(str)->c_str() : nullptr;
}

const JRIInterfaceTable& FakeTable() {
  static JRIInterfaceTable table = [] {
    JRIInterfaceTable t;
    std::memset(&t, 0, sizeof t);
    t.slots[kJRIFindClass] = reinterpret_cast<JRIGenericFn>(&JriFindClass);
    t.slots[kJRINewGlobalRef] = reinterpret_cast<JRIGenericFn>(&JriGlobalRef);
    t.slots[kJRIGetGlobalRef] = reinterpret_cast<JRIGenericFn>(&JriGlobalRef);
    t.slots[kJRIGetMethodID] = reinterpret_cast<JRIGenericFn>(&JriGetMethodId);
    t.slots[kJRICallMethod] = reinterpret_cast<JRIGenericFn>(&JriCallMethod);
    t.slots[kJRINewStringUTF] = reinterpret_cast<JRIGenericFn>(&JriNewStringUtf);
    t.slots[kJRIGetStringUTFChars] = reinterpret_cast<JRIGenericFn>(&JriGetStringUtfChars);
    return t;
  }();
  return table;
}

}  // namespace

CFakeBrowser* CurrentFake() {
  return g_fake;
}

CFakeBrowser::CFakeBrowser() {
  g_fake = this;
  std::memset(&funcs, 0, sizeof funcs);
  std::memset(&plugin, 0, sizeof plugin);
  std::memset(&npp, 0, sizeof npp);
  funcs.size = sizeof funcs;
  funcs.version = 22;
  funcs.geturl = &GetUrl;
  funcs.uagent = &UserAgent;
  funcs.memalloc = &MemAlloc;
  funcs.memfree = &MemFree;
  funcs.getJavaEnv = &GetJavaEnv;
  funcs.getJavaPeer = &GetJavaPeer;
  funcs.geturlnotify = &GetUrlNotify;
  funcs.getvalue = &GetValue;
  funcs.getstringidentifier = &GetStringIdentifier;
  funcs.utf8fromidentifier = &Utf8FromIdentifier;
  funcs.intfromidentifier = &IntFromIdentifier;
  funcs.createobject = &CreateObject;
  funcs.retainobject = &RetainObject;
  funcs.releaseobject = &ReleaseObject;
  funcs.invoke = &Invoke;
  funcs.invokeDefault = &InvokeDefault;
  funcs.evaluate = &Evaluate;
  funcs.getproperty = &GetProperty;
  funcs.setproperty = &SetProperty;
  funcs.removeproperty = &ReturnFalse3;
  funcs.hasproperty = &ReturnFalse3;
  funcs.hasmethod = &ReturnFalse3;
  funcs.releasevariantvalue = &ReleaseVariantValue;
  funcs.setexception = &SetException;
  env_record_.table = &FakeTable();
  env_record_.words[0] = 1;
  env_record_.words[1] = 2;
  env_record_.words[2] = 3;
}

CFakeBrowser::~CFakeBrowser() {
  if (g_fake == this) g_fake = nullptr;
}

jstring CFakeBrowser::MakeString(const std::string& text) {
  strings_.push_back(text);
  return &strings_.back();
}

std::string CFakeBrowser::StringText(jstring str) {
  return str ? *static_cast<std::string*>(str) : std::string("<null>");
}

NPError CFakeBrowser::NewInstance(const char* src) {
  static char mime[] = "application/x-shockwave-flash";
  const char* names[] = {"quality", "width",     "height", "name", "type",
                         "src",     "FlashVars", nullptr,  nullptr};
  const char* values[] = {
      "high", "800",           "600",   "FlashPlayer", "application/x-shockwave-flash",
      src,    "player=vexapl", nullptr, nullptr};
  return plugin.newp(mime, &npp, NP_EMBED, 9, const_cast<char**>(names), const_cast<char**>(values),
                     nullptr);
}

void CFakeBrowser::Deliver(const std::string& url, const std::string& mime,
                           const std::string& bytes, void* notify, bool url_notify, size_t chunk) {
  NPStream stream;
  std::memset(&stream, 0, sizeof stream);
  stream.url = url.c_str();
  stream.lastmodified = 0xAE1BC2A7;
  stream.notifyData = notify;
  uint16_t stype = NP_NORMAL;
  std::string mime_copy = mime;
  plugin.newstream(&npp, &mime_copy[0], &stream, 1, &stype);
  plugin.writeready(&npp, &stream);
  stream.end = static_cast<uint32_t>(bytes.size());
  size_t done = 0;
  while (done < bytes.size()) {
    plugin.writeready(&npp, &stream);
    const size_t piece = bytes.size() - done < chunk ? bytes.size() - done : chunk;
    const int32_t taken =
        plugin.write(&npp, &stream, static_cast<int32_t>(done), static_cast<int32_t>(piece),
                     const_cast<char*>(bytes.data() + done));
    if (taken <= 0) break;
    done += static_cast<size_t>(taken);
  }
  plugin.destroystream(&npp, &stream, NPRES_DONE);
  if (url_notify) plugin.urlnotify(&npp, url.c_str(), NPRES_DONE, notify);
}

void CFakeBrowser::ServeRequests() {
  // Requests made while serving are served too, in order.
  while (!requests.empty()) {
    UrlRequest request = requests.front();
    requests.erase(requests.begin());
    auto it = files.find(request.url);
    const std::string content = it == files.end() ? std::string() : it->second;
    Deliver(request.url, "application/x-shockwave-flash", content, request.notify, true);
  }
}

}  // namespace standin_test
