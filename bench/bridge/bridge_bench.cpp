// Time of one ExternalInterface round trip, as a movie makes it when it asks the host for a value:
// the plug-in's NPN_Evaluate of "GS(...)" is recognised as an FSCommand, dispatched to a sink that
// adds one result, and the result goes back into the movie through the scriptable object's
// CallFunction (invoke XML out, the movie's callback handler, a string back). The plug-in is the
// stand-in, loaded from the benchmark's carried image, with its transcript off.
//
// For comparison: the same command through test_DoFSCommand (no callback) and through the JRI peer
// (queued, then served as the main loop would), and the host's encoding of the callback alone.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "data/loader.h"
#include "flashhost/bridge.h"
#include "flashhost/holder.h"
#include "flashhost/jrienv.h"
#include "platform/files.h"

namespace {

class CCountingSink : public IFlashPlayerNotifySink {
 public:
  explicit CCountingSink(CFlashHolder* holder) : holder_(holder) {}
  HRESULT OnFSCommand(const wchar_t*, const wchar_t*) override {
    ++commands;
    if (addResult) holder_->AddResultA("result", "save slot 1: level 3, 1200 points");
    return S_OK;
  }
  HRESULT OnPlayerNotification(int32_t, int32_t, int32_t, void*) override { return E_NOTIMPL; }

  int64_t commands = 0;
  bool addResult = true;

 private:
  CFlashHolder* holder_;
};

// A started holder playing a movie whose callback counts the answers it gets.
class CBench {
 public:
  CBench() : sink_(&holder_) {
    unsetenv("VEXA_STANDIN_TRANSCRIPT");
    std::string file;
    if (!vexa::platform::MakeTempFile("vexa.bench", &file)) return;
    vexa::platform::RemoveFile(file);
    if (!vexa::platform::CreateFolder(file)) return;
    folder_ = file + "/";
    const std::string movie =
        "set answers 0\n"
        "on call onHostResult\n"
        "  add answers 1\n"
        "  return \"ok\"\n"
        "end\n";
    vexa::platform::WriteFileBytes(folder_ + "movie.scene", movie.data(), movie.size());
    loader_ = std::make_unique<CFileLoader>(folder_.c_str());
    holder_.SetFileLoader(loader_.get());
    holder_.SetJRIPeer(CJRIEnvironment::Instance().GetPeer());
    holder_.SetNotifySink(&sink_);
    holder_.SetResultCallback(L"onHostResult");
    if (holder_.LoadPlugin() != S_OK) return;
    holder_.OpenMovie("movie.scene");
    window_ = NewWindowObject();
    ready_ = holder_.GetScriptableObject() != nullptr;
  }

  ~CBench() {
    if (window_) holder_.GetBrowserFuncs()->releaseobject(window_);
    holder_.ShutdownPlugin();
    DeletePluginFiles();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

  bool ready() const { return ready_; }
  CFlashHolder& holder() { return holder_; }
  CCountingSink& sink() { return sink_; }
  NPObject* window() { return window_; }
  int64_t Answers() {
    CSmallStr value;
    if (holder_.GetMovieVariableA("answers", &value) != S_OK) return -1;
    return std::atoll(value.c_str());
  }

 private:
  CFlashHolder holder_;
  CCountingSink sink_;
  std::string folder_;
  std::unique_ptr<CFileLoader> loader_;
  NPObject* window_ = nullptr;
  bool ready_ = false;
};

void BM_ExternalInterfaceRoundTrip(benchmark::State& state) {
  CBench bench;
  if (!bench.ready()) {
    state.SkipWithError("the stand-in did not start");
    return;
  }
  const std::string script =
      "try { __flash__toXML(GS(\"/save/1\")) ; } catch (e) { \"<undefined/>\"; }";
  NPString text = {script.c_str(), static_cast<uint32_t>(script.size())};
  NPNetscapeFuncs* browser = bench.holder().GetBrowserFuncs();
  NPP instance = bench.holder().GetInstance();
  for (auto _ : state) {
    NPVariant result;
    result.type = NPVariantType_Void;
    benchmark::DoNotOptimize(browser->evaluate(instance, bench.window(), &text, &result));
  }
  // Every iteration must have reached the sink and the movie's callback.
  if (bench.sink().commands != state.iterations() || bench.Answers() != state.iterations()) {
    state.SkipWithError("a round trip was lost");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExternalInterfaceRoundTrip);

void BM_InvokePath(benchmark::State& state) {
  CBench bench;
  if (!bench.ready()) {
    state.SkipWithError("the stand-in did not start");
    return;
  }
  bench.sink().addResult = false;
  NPVariant args[2];
  args[0].type = NPVariantType_String;
  args[0].value.stringValue = {"GS", 2};
  args[1].type = NPVariantType_String;
  args[1].value.stringValue = {"/save/1", 7};
  NPNetscapeFuncs* browser = bench.holder().GetBrowserFuncs();
  NPP instance = bench.holder().GetInstance();
  NPIdentifier method = const_cast<char*>("test_DoFSCommand");
  for (auto _ : state) {
    NPVariant result;
    result.type = NPVariantType_Void;
    benchmark::DoNotOptimize(browser->invoke(instance, bench.window(), method, args, 2, &result));
  }
  if (bench.sink().commands != state.iterations()) state.SkipWithError("a command was lost");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InvokePath);

void BM_JriPathQueuedAndServed(benchmark::State& state) {
  CBench bench;
  if (!bench.ready()) {
    state.SkipWithError("the stand-in did not start");
    return;
  }
  bench.sink().addResult = false;
  CJRIEnvironment& env = CJRIEnvironment::Instance();
  JRIEnv* jri = env.GetEnv();
  auto getMethod = reinterpret_cast<JRIGetMethodIDFn>((*jri)->slots[kJRIGetMethodID]);
  auto newString = reinterpret_cast<JRINewStringUTFFn>((*jri)->slots[kJRINewStringUTF]);
  auto call = reinterpret_cast<JRICallMethodFn>((*jri)->slots[kJRICallMethod]);
  void* peer = static_cast<CPluginHost*>(&bench.holder());
  for (auto _ : state) {
    const jint method =
        getMethod(jri, kJRIGetMethodID, nullptr, "FSCommand", kJRIFSCommandSignature);
    jstring target = newString(jri, kJRINewStringUTF, "FlashPlayer", 11);
    jstring command = newString(jri, kJRINewStringUTF, "GS", 2);
    jstring argument = newString(jri, kJRINewStringUTF, "/save/1", 7);
    call(jri, kJRICallMethod, peer, method, target, command, argument);
    bench.holder().PreTranslate(nullptr);
    // The plug-in's strings live as long as its instance; drop them as a restart would.
    env.ReleaseString(target);
    env.ReleaseString(command);
    env.ReleaseString(argument);
  }
  if (bench.sink().commands != state.iterations()) state.SkipWithError("a command was lost");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JriPathQueuedAndServed);

// The host's own share of the round trip's callback: the invoke XML of one result, escaped.
void BM_BuildInvokeXml(benchmark::State& state) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(L"save slot 1: level 3, 1200 points");
  for (auto _ : state) {
    const CSmallWStr xml = BuildInvokeXml(L"onHostResult", &value, 1);
    benchmark::DoNotOptimize(xml.c_str());
  }
  VariantClear(&value);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildInvokeXml);

}  // namespace

BENCHMARK_MAIN();
