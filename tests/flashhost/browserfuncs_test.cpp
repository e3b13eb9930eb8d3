// The browser function table as the plug-in sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>

#include "flashhost/browserfuncs.h"
#include "flashhost/pluginhost.h"

namespace {

// The table as 42 words after the two 16-bit header fields.
const void* Entry(const NPNetscapeFuncs& funcs, int index) {
  const void* const* entries = reinterpret_cast<const void* const*>(&funcs.geturl);
  return entries[index];
}

TEST(BrowserFuncsTest, HeaderAndWhichEntriesAreFilled) {
  NPNetscapeFuncs funcs;
  std::memset(&funcs, 0xCD, sizeof funcs);
  FillBrowserFuncs(&funcs);
  EXPECT_EQ(sizeof(NPNetscapeFuncs), funcs.size);
  EXPECT_EQ(offsetof(NPNetscapeFuncs, geturl) + 41 * sizeof(void*),
            offsetof(NPNetscapeFuncs, poppopupsenabledstate));
  if (sizeof(void*) == 4) {
    EXPECT_EQ(172, funcs.size);
  }
  EXPECT_EQ(22, funcs.version);
  // memflush, invalidaterect, invalidateregion, forceredraw, getstringidentifiers,
  // getintidentifier and identifierisstring stay empty.
  const int empty[] = {10, 18, 19, 20, 22, 23, 24};
  for (int i = 0; i < 42; ++i) {
    const bool shouldBeEmpty = std::find(std::begin(empty), std::end(empty), i) != std::end(empty);
    EXPECT_EQ(shouldBeEmpty, Entry(funcs, i) == nullptr) << "entry " << i;
  }
}

TEST(BrowserFuncsTest, NetworkEntriesRefuseOrDrop) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  NPP_t instance = {nullptr, nullptr};
  EXPECT_EQ(NPERR_NO_DATA, f.geturl(&instance, "a.swf", nullptr));
  EXPECT_EQ(NPERR_NO_DATA, f.geturl(&instance, "a.swf", "_blank"));
  EXPECT_EQ(NPERR_NO_ERROR, f.posturl(&instance, "a", nullptr, 3, "abc", 0));
  EXPECT_EQ(NPERR_NO_ERROR, f.posturlnotify(&instance, "a", nullptr, 3, "abc", 0, nullptr));
  EXPECT_EQ(NPERR_NO_ERROR, f.requestread(nullptr, nullptr));
  NPStream* created = nullptr;
  EXPECT_EQ(NPERR_NO_ERROR, f.newstream(&instance, nullptr, "_blank", &created));
  EXPECT_EQ(nullptr, created);
  char data[4] = "abc";
  EXPECT_EQ(0, f.write(&instance, nullptr, 3, data));
  EXPECT_EQ(NPERR_NO_ERROR, f.destroystream(&instance, nullptr, NPRES_DONE));
  EXPECT_EQ(NPERR_NO_ERROR, f.setvalue(&instance, NPPVpluginWindowBool, nullptr));
  f.status(&instance, "status");
  f.reloadplugins(1);
  f.setexception(nullptr, "boom");
  f.pushpopupsenabledstate(&instance, 1);
  f.poppopupsenabledstate(&instance);
  EXPECT_STREQ(
      "Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US; rv:1.9.1.3) Gecko/20090824 Firefox/3.5.3",
      f.uagent(&instance));
}

TEST(BrowserFuncsTest, MemoryAndIdentifiers) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  char* block = static_cast<char*>(f.memalloc(64));
  ASSERT_NE(nullptr, block);
  std::memset(block, 'x', 64);
  f.memfree(block);
  f.memfree(nullptr);

  const char name[] = "CallFunction";
  NPIdentifier id = f.getstringidentifier(name);
  EXPECT_EQ(static_cast<const void*>(name), id);
  NPUTF8* copy = f.utf8fromidentifier(id);
  ASSERT_NE(nullptr, copy);
  EXPECT_NE(static_cast<const void*>(name), copy);
  EXPECT_STREQ(name, copy);
  f.memfree(copy);
  EXPECT_EQ(nullptr, f.utf8fromidentifier(nullptr));
  EXPECT_EQ(0, f.intfromidentifier(id));
}

TEST(BrowserFuncsTest, WhatThePluginFreesWithMemfreeCameFromMemalloc) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  const size_t blocks = CountHostBlocks();
  void* block = f.memalloc(0);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(blocks + 1, CountHostBlocks());
  f.memfree(block);
  EXPECT_EQ(blocks, CountHostBlocks());

  // An identifier's name is handed out for the plug-in to free with memfree.
  const char name[] = "GetVariable";
  NPUTF8* copy = f.utf8fromidentifier(f.getstringidentifier(name));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(blocks + 1, CountHostBlocks());
  f.memfree(copy);
  EXPECT_EQ(blocks, CountHostBlocks());
}

TEST(BrowserFuncsTest, JavaPeerIsTheInstanceBrowserData) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  CPluginHost host;
  host.PrepareCall(host.GetInstance());
  EXPECT_EQ(static_cast<void*>(&host), f.getJavaPeer(host.GetInstance()));
  EXPECT_EQ(nullptr, f.getJavaPeer(nullptr));
}

// An object class that counts its deallocations.
struct CountedObject {
  NPObject head;
  int* deallocations;
};
int g_deallocations = 0;
NPObject* VEXA_CDECL AllocateCounted(NPP, NPClass* cls) {
  auto* object = new CountedObject;
  object->head._class = cls;
  object->head.referenceCount = 1;
  object->deallocations = &g_deallocations;
  return &object->head;
}
void VEXA_CDECL DeallocateCounted(NPObject* object) {
  auto* counted = reinterpret_cast<CountedObject*>(object);
  ++*counted->deallocations;
  delete counted;
}

TEST(BrowserFuncsTest, ObjectLifetime) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  NPClass cls = {};
  cls.structVersion = 3;
  cls.allocate = AllocateCounted;
  cls.deallocate = DeallocateCounted;
  NPP_t instance = {nullptr, nullptr};

  EXPECT_EQ(nullptr, f.createobject(nullptr, &cls));
  EXPECT_EQ(nullptr, f.createobject(&instance, nullptr));
  NPClass noAllocate = {};
  EXPECT_EQ(nullptr, f.createobject(&instance, &noAllocate));

  g_deallocations = 0;
  NPObject* object = f.createobject(&instance, &cls);
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(&cls, object->_class);
  EXPECT_EQ(1u, object->referenceCount);
  EXPECT_EQ(object, f.retainobject(object));
  EXPECT_EQ(2u, object->referenceCount);
  f.releaseobject(object);
  EXPECT_EQ(0, g_deallocations);
  // An object variant gives up its reference; other variants hold nothing.
  NPVariant variant;
  variant.type = NPVariantType_Object;
  variant.value.objectValue = object;
  f.releasevariantvalue(&variant);
  EXPECT_EQ(1, g_deallocations);

  NPVariant text;
  text.type = NPVariantType_String;
  text.value.stringValue.UTF8Characters = "constant";
  text.value.stringValue.UTF8Length = 8;
  f.releasevariantvalue(&text);
  f.releasevariantvalue(nullptr);
  EXPECT_EQ(nullptr, f.retainobject(nullptr));
  f.releaseobject(nullptr);

  // Without a class, or at a count of 0, a release has nothing to call.
  NPObject bare = {nullptr, 1};
  f.releaseobject(&bare);
  EXPECT_EQ(0u, bare.referenceCount);
  f.releaseobject(&bare);
  EXPECT_EQ(0u, bare.referenceCount);
  EXPECT_EQ(1, g_deallocations);
}

TEST(BrowserFuncsTest, InertScriptingAnswers) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  NPP_t instance = {nullptr, nullptr};
  NPObject object = {nullptr, 1};
  NPVariant result;
  result.type = NPVariantType_Int32;
  result.value.intValue = 42;
  char name[] = "x";
  EXPECT_FALSE(f.invokeDefault(&instance, &object, nullptr, 0, &result));
  EXPECT_FALSE(f.setproperty(&instance, &object, name, &result));
  EXPECT_FALSE(f.removeproperty(&instance, &object, name));
  EXPECT_FALSE(f.hasproperty(&instance, &object, name));
  EXPECT_FALSE(f.hasmethod(&instance, &object, name));
  EXPECT_EQ(NPVariantType_Int32, result.type);
  EXPECT_EQ(42, result.value.intValue);

  // Variables other than the window object: success, output untouched.
  void* out = &object;
  EXPECT_EQ(NPERR_NO_ERROR, f.getvalue(&instance, NPNVjavascriptEnabledBool, &out));
  EXPECT_EQ(static_cast<void*>(&object), out);
}

// Records what the table forwards.
class CFakeScripting : public IBrowserScripting {
 public:
  JRIEnv* env = reinterpret_cast<JRIEnv*>(0x1000);
  NPObject window = {nullptr, 1};
  std::string calls;
  CPluginHost* lastHost = nullptr;

  JRIEnv* GetJavaEnv() override {
    calls += "env;";
    return env;
  }
  NPObject* CreateWindowObject(CPluginHost* host, NPP) override {
    lastHost = host;
    calls += "window;";
    return &window;
  }
  bool Invoke(CPluginHost* host, NPP, NPObject*, NPIdentifier method, const NPVariant*,
              uint32_t count, NPVariant*) override {
    lastHost = host;
    calls += std::string("invoke ") + static_cast<const char*>(method) + " " +
             std::to_string(count) + ";";
    return true;
  }
  bool Evaluate(CPluginHost* host, NPP, NPObject*, NPString* script, NPVariant*) override {
    lastHost = host;
    calls += "evaluate " + std::string(script->UTF8Characters, script->UTF8Length) + ";";
    return true;
  }
  bool GetProperty(CPluginHost* host, NPP, NPObject*, NPIdentifier name, NPVariant*) override {
    lastHost = host;
    calls += std::string("get ") + static_cast<const char*>(name) + ";";
    return true;
  }
};

TEST(BrowserFuncsTest, ScriptingEntriesForwardToTheBridge) {
  NPNetscapeFuncs f;
  FillBrowserFuncs(&f);
  CPluginHost host;
  host.PrepareCall(host.GetInstance());
  NPP instance = host.GetInstance();
  NPObject object = {nullptr, 1};
  NPVariant result;
  NPString script = {"1+1;garbage", 3};
  char method[] = "toString";
  char property[] = "location";

  // Without a bridge: no environment, no window object, every call fails.
  ASSERT_EQ(nullptr, GetBrowserScripting());
  EXPECT_EQ(nullptr, f.getJavaEnv());
  NPObject* window = nullptr;
  EXPECT_NE(NPERR_NO_ERROR, f.getvalue(instance, NPNVWindowNPObject, &window));
  EXPECT_EQ(nullptr, window);
  EXPECT_FALSE(f.invoke(instance, &object, method, nullptr, 0, &result));
  EXPECT_FALSE(f.evaluate(instance, &object, &script, &result));
  EXPECT_FALSE(f.getproperty(instance, &object, property, &result));

  CFakeScripting bridge;
  SetBrowserScripting(&bridge);
  EXPECT_EQ(bridge.env, f.getJavaEnv());
  EXPECT_EQ(NPERR_NO_ERROR, f.getvalue(instance, NPNVWindowNPObject, &window));
  EXPECT_EQ(&bridge.window, window);
  EXPECT_EQ(NPERR_INVALID_PARAM, f.getvalue(instance, NPNVWindowNPObject, nullptr));
  EXPECT_TRUE(f.invoke(instance, &object, method, nullptr, 2, &result));
  EXPECT_TRUE(f.evaluate(instance, &object, &script, &result));
  EXPECT_TRUE(f.getproperty(instance, &object, property, &result));
  EXPECT_EQ(&host, bridge.lastHost);
  SetBrowserScripting(nullptr);
  EXPECT_EQ("env;window;invoke toString 2;evaluate 1+1;get location;", bridge.calls);
}

}  // namespace
