// The plug-in library list and the processor's object source against the test plug-ins.
#include "system/pluginlibs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "platform/library.h"
#include "support.h"
#include "system/hostcontrol.h"
#include "system/pluginobjects.h"

namespace {

using system_test::CFakeHolder;
using system_test::CGameFolder;
using system_test::Invoke;
using system_test::kAlpha;
using system_test::kBeta;
using system_test::kEmpty;
using system_test::kFailing;
using system_test::kNoExport;

// Holds one reference.
template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

class PluginLibrariesTest : public system_test::PluginHostTest {
 protected:
  void SetUp() override { StartHost(); }

  size_t Load() { return LoadPluginLibraries(&list_, game_.path().c_str()); }

  // The text of property `name` of a new object `object`, or "<status>" when it is not created.
  std::string TagOf(const char* object) {
    Ref<IVEXAPluginObject> created;
    const HRESULT hr = CreatePluginObject(&list_, object, created.out());
    if (FAILED(hr)) return "<not created>";
    return Invoke(created.p, L"tag", VEXA_INVOKE_PROPERTYGET).text;
  }

  // The native spelling the list loaded `file` of the game folder by.
  std::string LoadedPath(const std::string& file) const {
    std::string path = game_.path() + file;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return path;
  }

  std::vector<std::string> Events() const { return holder_.Named(L"event"); }
};

TEST_F(PluginLibrariesTest, LoadsAPluginAndCreatesItsObjectsByName) {
  game_.Plugin(kAlpha, "alpha.dll");
  ASSERT_EQ(1u, Load());
  ASSERT_EQ(1u, list_.GetCount());
  // Loaded by a Windows path: backslashes only, whatever separators the folder came with.
  EXPECT_EQ(LoadedPath("alpha.dll"), list_.GetRecords()[0].path);
  EXPECT_EQ(std::string::npos, list_.GetRecords()[0].path.find('/'));

  EXPECT_EQ("alpha", TagOf("shared"));
  EXPECT_EQ("alpha", TagOf("alpha.only"));
  // Names are exact.
  EXPECT_EQ("<not created>", TagOf("Shared"));
  EXPECT_EQ("<not created>", TagOf("beta.only"));

  Ref<IVEXAPluginObject> none;
  none.p = reinterpret_cast<IVEXAPluginObject*>(&none);
  EXPECT_EQ(E_NOTIMPL, CreatePluginObject(&list_, "nothing", none.out()));
  EXPECT_EQ(nullptr, none.p);
}

TEST_F(PluginLibrariesTest, MethodsGetTheirArgumentsInCallOrderAndPropertiesNone) {
  game_.Plugin(kAlpha, "alpha.dll");
  ASSERT_EQ(1u, Load());
  Ref<IVEXAPluginObject> object;
  ASSERT_EQ(S_OK, CreatePluginObject(&list_, "shared", object.out()));

  const struct {
    std::vector<std::wstring> args;
    const char* order;
    const char* count;
  } cases[] = {
      {{}, "", "0"},
      {{L"1"}, "1", "1"},
      {{L"1", L"", L"3"}, "1||3", "3"},
      {{L"first", L"second", L"third", L"fourth"}, "first|second|third|fourth", "4"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.order, Invoke(object.p, L"order", VEXA_INVOKE_METHOD, c.args).text);
    EXPECT_EQ(c.count, Invoke(object.p, L"count", VEXA_INVOKE_METHOD, c.args).text);
  }
  EXPECT_EQ(E_FAIL, Invoke(object.p, L"fail", VEXA_INVOKE_METHOD).hr);
  EXPECT_EQ(E_NOTIMPL, Invoke(object.p, L"nosuchmember", VEXA_INVOKE_METHOD).hr);
  const system_test::Outcome live = Invoke(object.p, L"live", VEXA_INVOKE_PROPERTYGET);
  EXPECT_EQ(S_OK, live.hr);
  EXPECT_EQ("1", live.text);
}

TEST_F(PluginLibrariesTest, TheFirstLibraryInNameOrderSuppliesASharedName) {
  // Name order ignoring case, whatever order the files were made in.
  const struct {
    const char* first;
    const char* firstAs;
    const char* second;
    const char* secondAs;
    const char* supplier;
  } cases[] = {
      {kAlpha, "a.dll", kBeta, "b.dll", "alpha"},
      {kAlpha, "b.dll", kBeta, "a.dll", "beta"},
      {kBeta, "B1.DLL", kAlpha, "a2.dll", "alpha"},
      {kAlpha, "plugin10.dll", kBeta, "Plugin1.dll", "beta"},
  };
  for (const auto& c : cases) {
    CGameFolder folder;
    folder.Plugin(c.first, c.firstAs);
    folder.Plugin(c.second, c.secondAs);
    CPluginLibraryList list;
    list.SetHostControl(host_.get());
    ASSERT_EQ(2u, LoadPluginLibraries(&list, folder.path().c_str())) << c.firstAs;
    Ref<IVEXAPluginObject> object;
    ASSERT_EQ(S_OK, CreatePluginObject(&list, "shared", object.out())) << c.firstAs;
    EXPECT_EQ(c.supplier, Invoke(object.p, L"tag", VEXA_INVOKE_PROPERTYGET).text)
        << c.firstAs << " and " << c.secondAs;
    // Each library's own names are found whichever comes first.
    Ref<IVEXAPluginObject> own;
    EXPECT_EQ(S_OK, CreatePluginObject(&list, "alpha.only", own.out()));
    own.reset();
    EXPECT_EQ(S_OK, CreatePluginObject(&list, "beta.only", own.out()));
    own.reset();
    object.reset();
    UnloadPluginLibraries(&list);
  }
}

TEST_F(PluginLibrariesTest, ObjectsWithoutThePluginInterfaceOrWithoutAnObjectAreSkipped) {
  game_.Plugin(kAlpha, "1.dll");  // misbehaves for these names, and comes first
  ASSERT_EQ(1u, Load());
  Ref<IVEXAPluginObject> object;
  EXPECT_EQ(E_NOTIMPL, CreatePluginObject(&list_, "noiface", object.out()));
  EXPECT_EQ(E_NOTIMPL, CreatePluginObject(&list_, "nullobj", object.out()));
  // The refused object was released, not leaked.
  ASSERT_EQ(S_OK, CreatePluginObject(&list_, "shared", object.out()));
  EXPECT_EQ("1", Invoke(object.p, L"live", VEXA_INVOKE_PROPERTYGET).text);
  object.reset();
  UnloadPluginLibraries(&list_);

  game_.Plugin(kBeta, "2.dll");
  ASSERT_EQ(2u, Load());
  for (const char* name : {"noiface", "nullobj"}) {
    EXPECT_EQ("beta", TagOf(name)) << name;
  }
}

TEST_F(PluginLibrariesTest, LibrariesThatAreNotPluginsAreUnloadedAgain) {
  game_.Plugin(kNoExport, "noexport.dll");
  game_.Plugin(kFailing, "failing.dll");
  game_.Plugin(kEmpty, "empty.dll");
  game_.Plugin(kAlpha, "zz_alpha.dll");
  game_.Disk("garbage.dll", "this is not a library");
  game_.Disk("folder.dll/inner.txt", "a folder named like a library");
  game_.Plugin(kBeta, "beta.dll.txt");  // not *.dll
  game_.Plugin(kBeta, "beta.dl");

  ASSERT_EQ(1u, Load());
  ASSERT_EQ(1u, list_.GetCount());
  EXPECT_EQ(LoadedPath("zz_alpha.dll"), list_.GetRecords()[0].path);
  for (const char* file : {"noexport.dll", "failing.dll", "empty.dll"}) {
    EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath(file))) << file;
  }
  EXPECT_NE(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath("zz_alpha.dll")));
  // The two whose export failed were called and then unloaded (their statics went).
  EXPECT_EQ((std::vector<std::string>{"empty library unloaded", "failing library unloaded"}),
            Events());
}

TEST_F(PluginLibrariesTest, LoadsEachLibraryOnce) {
  game_.Plugin(kAlpha, "alpha.dll");
  ASSERT_EQ(1u, Load());
  EXPECT_EQ(0u, Load());
  EXPECT_EQ(1u, list_.GetCount());
  // The second attempt gave its extra module reference back: one unload frees the library.
  UnloadPluginLibraries(&list_);
  EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath("alpha.dll")));
}

TEST_F(PluginLibrariesTest, UnloadsInListOrderAfterReleasingEachClassObject) {
  game_.Plugin(kAlpha, "a.dll");
  game_.Plugin(kBeta, "b.dll");
  ASSERT_EQ(2u, Load());
  UnloadPluginLibraries(&list_);
  EXPECT_TRUE(list_.IsEmpty());
  EXPECT_EQ((std::vector<std::string>{"alpha class object released", "alpha library unloaded",
                                      "beta class object released", "beta library unloaded"}),
            Events());
  EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath("a.dll")));
  EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath("b.dll")));
  UnloadPluginLibraries(&list_);  // harmless when empty
  EXPECT_EQ(4u, Events().size());
  // The host control stays set for a later load.
  EXPECT_EQ(host_.get(), list_.GetHostControl());
}

TEST_F(PluginLibrariesTest, RefusesMissingArgumentsAndLoadsNothingWithoutAHost) {
  game_.Plugin(kAlpha, "alpha.dll");
  Ref<IVEXAPluginObject> object;
  EXPECT_EQ(E_INVALIDARG, CreatePluginObject(nullptr, "shared", object.out()));
  EXPECT_EQ(E_INVALIDARG, CreatePluginObject(&list_, nullptr, object.out()));
  EXPECT_EQ(E_INVALIDARG, CreatePluginObject(&list_, "shared", nullptr));
  EXPECT_EQ(0u, LoadPluginLibraries(nullptr, game_.path().c_str()));
  UnloadPluginLibraries(nullptr);

  CPluginLibraryList hostless;
  EXPECT_EQ(0u, LoadPluginLibraries(&hostless, game_.path().c_str()));
  EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath("alpha.dll")));
  // A folder that does not exist.
  EXPECT_EQ(0u, LoadPluginLibraries(&list_, (game_.path() + "missing/").c_str()));
}

TEST_F(PluginLibrariesTest, FolderSpellingsAllFindTheLibraries) {
  game_.Plugin(kAlpha, "alpha.dll");
  std::string backslashed = game_.path();
  for (char& c : backslashed) {
    if (c == '/') c = '\\';
  }
  std::string bare = game_.path();
  bare.pop_back();  // no trailing separator
  for (const std::string& folder : {backslashed, bare}) {
    CPluginLibraryList list;
    list.SetHostControl(host_.get());
    EXPECT_EQ(1u, LoadPluginLibraries(&list, folder.c_str())) << folder;
    ASSERT_EQ(1u, list.GetCount());
    EXPECT_EQ(LoadedPath("alpha.dll"), list.GetRecords()[0].path);
  }
}

TEST_F(PluginLibrariesTest, PluginsReachTheHostThroughTheirHostControl) {
  game_.Package({{"docs/readme.txt", "hello"}});
  game_.Plugin(kAlpha, "alpha.dll");
  ASSERT_EQ(1u, Load());
  holder_.variables[L"_root.level"] = "7";
  Ref<IVEXAPluginObject> object;
  ASSERT_EQ(S_OK, CreatePluginObject(&list_, "shared", object.out()));

  EXPECT_EQ("pos=0 size=5 hello",
            Invoke(object.p, L"open", VEXA_INVOKE_METHOD, {L"docs/readme.txt"}).text);
  EXPECT_EQ("failed 80070005",
            Invoke(object.p, L"open", VEXA_INVOKE_METHOD, {L"missing.txt"}).text);
  EXPECT_EQ("7", Invoke(object.p, L"variable", VEXA_INVOKE_METHOD, {L"_root.level"}).text);
  EXPECT_EQ(game_.path(), Invoke(object.p, L"folder", VEXA_INVOKE_METHOD).text);
  EXPECT_EQ(S_OK, Invoke(object.p, L"post", VEXA_INVOKE_METHOD, {L"done"}).hr);
  EXPECT_EQ(std::vector<std::string>{"done"}, holder_.Named(L"from plugin"));
  // Null arguments from a plug-in are refused by the host, not followed.
  EXPECT_EQ(E_INVALIDARG, Invoke(object.p, L"post", VEXA_INVOKE_METHOD).hr);
  EXPECT_EQ(E_INVALIDARG, Invoke(object.p, L"variable", VEXA_INVOKE_METHOD).hr);
}

// ---- The processor's view: CPluginObjectSource

class PluginObjectSourceTest : public PluginLibrariesTest {
 protected:
  CPluginObjectSource source_{&list_};
};

TEST_F(PluginObjectSourceTest, CreatesAndInvokesThroughTheProcessorsInterface) {
  game_.Plugin(kAlpha, "alpha.dll");
  ASSERT_EQ(1u, Load());
  IPluginInstance* instance = nullptr;
  ASSERT_EQ(S_OK, source_.CreatePluginObject("shared", &instance));
  ASSERT_NE(nullptr, instance);
  EXPECT_EQ(1u, source_.GetLiveObjectCount());

  VARIANT args[2];
  for (VARIANT& v : args) VariantInit(&v);
  args[0].vt = VT_BSTR;  // the last argument first
  args[0].bstrVal = SysAllocString(L"b");
  args[1].vt = VT_BSTR;
  args[1].bstrVal = SysAllocString(L"a");
  DISPPARAMS params = {args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK,
            instance->InvokeByName(L"order", IPluginInstance::kInvokeMethod, &params, &result));
  ASSERT_EQ(VT_BSTR, result.vt);
  EXPECT_EQ("a|b", system_test::Utf8(result.bstrVal));
  VariantClear(&result);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(S_OK,
            instance->InvokeByName(L"tag", IPluginInstance::kInvokeGetProperty, &none, &result));
  EXPECT_EQ("alpha", system_test::Utf8(result.bstrVal));
  VariantClear(&result);
  for (VARIANT& v : args) VariantClear(&v);

  EXPECT_EQ(2u, instance->AddRef());
  EXPECT_EQ(1u, instance->Release());
  EXPECT_EQ(0u, instance->Release());
  EXPECT_EQ(0u, source_.GetLiveObjectCount());
  EXPECT_EQ(std::vector<std::string>{"alpha object released"}, Events());

  IPluginInstance* missing = reinterpret_cast<IPluginInstance*>(&missing);
  EXPECT_EQ(E_NOTIMPL, source_.CreatePluginObject("nothing", &missing));
  EXPECT_EQ(nullptr, missing);
  EXPECT_EQ(E_INVALIDARG, source_.CreatePluginObject(nullptr, &missing));
  EXPECT_EQ(E_INVALIDARG, source_.CreatePluginObject("shared", nullptr));
  CPluginObjectSource unwired;
  EXPECT_EQ(E_UNEXPECTED, unwired.CreatePluginObject("shared", &missing));
}

TEST_F(PluginObjectSourceTest, ObjectsAreReleasedBeforeTheirLibraryIsFreed) {
  game_.Plugin(kAlpha, "alpha.dll");
  ASSERT_EQ(1u, Load());
  // Two objects, one of which somebody forgot to release: the shutdown must not leave either
  // alive past the library's unload.
  IPluginInstance* released = nullptr;
  IPluginInstance* forgotten = nullptr;
  ASSERT_EQ(S_OK, source_.CreatePluginObject("shared", &released));
  ASSERT_EQ(S_OK, source_.CreatePluginObject("alpha.only", &forgotten));
  released->Release();

  source_.ReleaseObjects();
  UnloadPluginLibraries(&list_);
  EXPECT_EQ((std::vector<std::string>{"alpha object released", "alpha object released",
                                      "alpha class object released", "alpha library unloaded"}),
            Events());
  EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(LoadedPath("alpha.dll")));

  // The late holder still has a valid wrapper that no longer reaches into the library.
  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(E_UNEXPECTED,
            forgotten->InvokeByName(L"tag", IPluginInstance::kInvokeGetProperty, &none, &result));
  EXPECT_EQ(0u, forgotten->Release());
}

}  // namespace

namespace {

// A player that goes away without its shutdown drops its host control first; the libraries it
// unloads afterwards must not reach a holder that no longer exists.
TEST(HostControlOwnership, LettingGoDisconnectsBeforeTheLibrariesUnload) {
  CGameFolder game;
  game.Plugin(kAlpha, "alpha.dll");
  auto holder = std::make_unique<CFakeHolder>();
  CFileLoader loader(game.path().c_str());
  CPluginLibraryList list;
  CHostControlImpl* raw = nullptr;
  ASSERT_EQ(S_OK, CHostControlImpl::Create(&raw));
  CHostControlPtr host(raw);
  host->SetFileLoader(&loader);
  host->SetFlashHolder(holder.get());
  list.SetHostControl(raw);
  ASSERT_EQ(1u, LoadPluginLibraries(&list, game.path().c_str()));

  host.reset();    // the owner lets go: the list still holds the object, now disconnected
  holder.reset();  // and the holder goes
  EXPECT_EQ(E_UNEXPECTED, list.GetHostControl()->WriteResult(L"n", L"v"));
  UnloadPluginLibraries(&list);  // alpha reports its unload through the host: no crash
  EXPECT_TRUE(list.IsEmpty());
}

}  // namespace
