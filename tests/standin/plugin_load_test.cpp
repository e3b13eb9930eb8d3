// Loads the built plug-in library and drives it through a fake browser, as the player will.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "flashhost/jri.h"
#include "flashhost/npapi.h"
#include "standin/fake_browser.h"
#include "standin/testlib.h"

namespace standin_test {
namespace {

constexpr char kTranscriptVar[] = "VEXA_STANDIN_TRANSCRIPT";

// Two crafted header bytes sequences are built by the SWF header tests; here a fixed FWS header
// (version 10, 550 x 400, 24 fps, 1 frame) is enough.
std::string SmallSwf() {
  // RECT: nbits = 15, xmin 0, xmax 11000, ymin 0, ymax 8000 -> 5 + 60 bits = 9 bytes.
  std::vector<int> bits;
  auto put = [&](uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits.push_back((value >> i) & 1);
  };
  put(15, 5);
  put(0, 15);
  put(11000, 15);
  put(0, 15);
  put(8000, 15);
  while (bits.size() % 8) bits.push_back(0);
  std::string body;
  for (size_t i = 0; i < bits.size(); i += 8) {
    int byte = 0;
    for (int k = 0; k < 8; ++k) byte = (byte << 1) | bits[i + k];
    body += static_cast<char>(byte);
  }
  body += std::string("\x00\x18\x01\x00", 4);
  std::string swf = "FWS";
  swf += static_cast<char>(10);
  const uint32_t length = static_cast<uint32_t>(8 + body.size());
  for (int i = 0; i < 4; ++i) swf += static_cast<char>((length >> (8 * i)) & 0xFF);
  return swf + body;
}

const char kMainScene[] = R"(# exercised by the library test
text title 10 10 "Hello $player"
button send 10 40 100 20 "Send"
fscommand jri CMD1 "arg one"
fscommand invoke CMD2 "arg two"
fscommand external CMD3 "arg three"
loadtext note 10 100 notes.txt
location here
pageurl page
on click send
  fscommand invoke CLICKED $1
end
on key a
  set pressed $1
end
on timer tick
  set ticked yes
end
on call setResult
  set result $1
  set count $2
  return "ok"
end
on call echo
  fscommand invoke ECHO $1
  return $1
end
on loaded note
  fscommand jri LOADED $2
end
)";

class StandinLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    transcript_ = std::filesystem::temp_directory_path() /
                  (std::string("vexa_standin_") + info->name() + ".txt");
    std::filesystem::remove(transcript_);
    SetEnvironment(kTranscriptVar, transcript_.string().c_str());

    std::string error;
    ASSERT_TRUE(library_.Open(PluginLibraryPath(), &error)) << error;
    get_entry_points_ =
        reinterpret_cast<NP_GetEntryPointsFunc>(library_.Symbol("NP_GetEntryPoints"));
    initialize_ = reinterpret_cast<NP_InitializeFunc>(library_.Symbol("NP_Initialize"));
    shutdown_ = reinterpret_cast<NP_ShutdownFunc>(library_.Symbol("NP_Shutdown"));
    load_movie_ =
        reinterpret_cast<JRINativeStubFn>(library_.Symbol("Java_ShockwaveFlash_LoadMovie_stub"));
    get_variable_ =
        reinterpret_cast<JRINativeStubFn>(library_.Symbol("Java_ShockwaveFlash_GetVariable_stub"));
    ASSERT_NE(get_entry_points_, nullptr);
    ASSERT_NE(initialize_, nullptr);
    ASSERT_NE(shutdown_, nullptr);
    ASSERT_NE(load_movie_, nullptr);
    ASSERT_NE(get_variable_, nullptr);
    ASSERT_EQ(get_entry_points_(&fake_.plugin), NPERR_NO_ERROR);
    ASSERT_EQ(initialize_(&fake_.funcs), NPERR_NO_ERROR);
  }

  void TearDown() override {
    if (scriptable_) fake_.funcs.releaseobject(scriptable_);
    if (shutdown_) shutdown_();
    library_.Close();
    SetEnvironment(kTranscriptVar, nullptr);
    std::error_code ignored;
    std::filesystem::remove(transcript_, ignored);
  }

  void StartWithScene(const std::string& scene) {
    ASSERT_EQ(fake_.NewInstance(), NPERR_NO_ERROR);
    NPWindow window{};
    ASSERT_EQ(fake_.plugin.setwindow(&fake_.npp, &window), NPERR_NO_ERROR);
    fake_.Deliver("http://vexa.test/movie.scene", "application/x-shockwave-flash", scene, nullptr,
                  false, 7);
  }

  std::vector<std::string> Transcript() const {
    std::vector<std::string> lines;
    std::ifstream in(transcript_, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  bool HasLine(const std::string& text) const {
    for (const std::string& line : Transcript()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  // Reads a movie variable through the JRI stub, as the player does; false when it has none.
  bool GetVariable(const std::string& name, std::string* value) {
    JRIStackItem args[2] = {};
    args[0].p = fake_.peer();
    args[1].p = fake_.MakeString(name);
    get_variable_(args, fake_.env());
    if (!args[0].p) return false;
    *value = CFakeBrowser::StringText(args[0].p);
    return true;
  }

  NPObject* Scriptable() {
    if (!scriptable_) {
      EXPECT_EQ(fake_.plugin.getvalue(&fake_.npp, NPPVpluginScriptableNPObject, &scriptable_),
                NPERR_NO_ERROR);
    }
    return scriptable_;
  }

  // Calls CallFunction on the scriptable object; false when the plug-in refused.
  bool CallFunction(const std::string& xml, std::string* result) {
    NPObject* object = Scriptable();
    if (!object) return false;
    NPIdentifier method = const_cast<char*>("CallFunction");
    object->_class->hasMethod(object, method);
    NPVariant arg{};
    arg.type = NPVariantType_String;
    arg.value.stringValue.UTF8Characters = xml.c_str();
    arg.value.stringValue.UTF8Length = static_cast<uint32_t>(xml.size());
    NPVariant out{};
    const bool ok = object->_class->invoke(object, method, &arg, 1, &out);
    if (ok && out.type == NPVariantType_String) {
      *result = std::string(out.value.stringValue.UTF8Characters, out.value.stringValue.UTF8Length);
      fake_.funcs.memfree(const_cast<NPUTF8*>(out.value.stringValue.UTF8Characters));
    }
    return ok;
  }

  int16_t SendEvent(uint16_t event, uintptr_t wparam, intptr_t lparam) {
    NPEvent ev{event, wparam, lparam};
    return fake_.plugin.event(&fake_.npp, &ev);
  }

  CFakeBrowser fake_;
  CLibrary library_;
  std::filesystem::path transcript_;
  NP_GetEntryPointsFunc get_entry_points_ = nullptr;
  NP_InitializeFunc initialize_ = nullptr;
  NP_ShutdownFunc shutdown_ = nullptr;
  JRINativeStubFn load_movie_ = nullptr;
  JRINativeStubFn get_variable_ = nullptr;
  NPObject* scriptable_ = nullptr;
};

TEST_F(StandinLibraryTest, FillsThePluginTable) {
  const NPPluginFuncs& t = fake_.plugin;
  EXPECT_EQ(t.size, sizeof(NPPluginFuncs));
  EXPECT_EQ(t.version, 22);
  EXPECT_TRUE(t.newp && t.destroy && t.setwindow && t.newstream && t.destroystream && t.asfile &&
              t.writeready && t.write && t.print && t.event && t.urlnotify && t.getvalue &&
              t.setvalue);
  EXPECT_EQ(t.javaClass, nullptr);

  // A browser whose table is smaller gets only what fits.
  NPPluginFuncs small{};
  small.size = static_cast<uint16_t>(offsetof(NPPluginFuncs, newstream));
  ASSERT_EQ(get_entry_points_(&small), NPERR_NO_ERROR);
  EXPECT_TRUE(small.newp && small.destroy && small.setwindow);
  EXPECT_EQ(small.newstream, nullptr);
  EXPECT_EQ(small.getvalue, nullptr);

  EXPECT_EQ(get_entry_points_(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  EXPECT_EQ(initialize_(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
}

TEST_F(StandinLibraryTest, SceneSendsFsCommandsByEveryPath) {
  fake_.files["notes.txt"] = "first line\nsecond line";
  fake_.files["javascript:top.location+\"__flashplugin_unique__\""] =
      "http://vexa.test/default.html__flashplugin_unique__";
  StartWithScene(kMainScene);

  const std::vector<FsCall> expected = {
      {"jri", "CMD1", "arg one"}, {"invoke", "CMD2", "arg two"}, {"external", "CMD3", "arg three"}};
  EXPECT_EQ(fake_.fscommands, expected);
  ASSERT_EQ(fake_.jri_targets.size(), 1u);
  EXPECT_EQ(fake_.jri_targets[0], "FlashPlayer");  // the embed's name
  ASSERT_EQ(fake_.scripts.size(), 1u);
  EXPECT_EQ(fake_.scripts[0],
            "try { __flash__toXML(CMD3(\"arg three\")) ; } catch (e) { \"<undefined/>\"; }");

  std::string value;
  ASSERT_TRUE(GetVariable("player", &value));  // from FlashVars
  EXPECT_EQ(value, "vexapl");
  ASSERT_TRUE(GetVariable("here", &value));  // window.location.toString()
  EXPECT_EQ(value, "http://vexa.test/default.html");
  EXPECT_TRUE(
      HasLine("scene draw layer=0 kind=text id=\"title\" x=10 y=10 color=\"#000000\" "
              "size=16 text=\"Hello vexapl\""));

  ASSERT_EQ(fake_.requests.size(), 2u);
  EXPECT_EQ(fake_.requests[0].url, "notes.txt");
  EXPECT_EQ(fake_.requests[1].url, "javascript:top.location+\"__flashplugin_unique__\"");
  fake_.ServeRequests();
  EXPECT_TRUE(
      HasLine("scene draw layer=0 kind=text id=\"note\" x=10 y=100 color=\"#000000\" "
              "size=16 text=\"first line\\nsecond line\""));
  EXPECT_EQ(fake_.fscommands.back(), (FsCall{"jri", "LOADED", "22"}));
  ASSERT_TRUE(GetVariable("page", &value));
  EXPECT_EQ(value, "http://vexa.test/default.html");

  // Every window object the plug-in obtained was released, every block it was given was freed.
  EXPECT_EQ(fake_.live_windows, 0);
  EXPECT_EQ(fake_.outstanding_allocations, 0);
}

TEST_F(StandinLibraryTest, CallFunctionRunsHandlerAndVariablesComeBack) {
  StartWithScene(kMainScene);
  std::string result;
  ASSERT_TRUE(CallFunction(
      "<invoke name=\"setResult\" returntype=\"xml\"><arguments><string>a &amp; b &lt;c&gt;"
      "</string><number>42</number></arguments></invoke>",
      &result));
  EXPECT_EQ(result, "<string>ok</string>");
  std::string value;
  ASSERT_TRUE(GetVariable("result", &value));
  EXPECT_EQ(value, "a & b <c>");
  ASSERT_TRUE(GetVariable("count", &value));
  EXPECT_EQ(value, "42");
  ASSERT_TRUE(GetVariable("_root.count", &value));
  EXPECT_EQ(value, "42");
  EXPECT_FALSE(GetVariable("nothing", &value));

  // The host's own shape: returntype "string", a bare ampersand left unescaped.
  ASSERT_TRUE(
      CallFunction("<invoke name=\"echo\" returntype=\"string\"><arguments><string>x & y</string>"
                   "</arguments></invoke>",
                   &result));
  EXPECT_EQ(result, "<string>x &amp; y</string>");
  EXPECT_EQ(fake_.fscommands.back(), (FsCall{"invoke", "ECHO", "x & y"}));

  EXPECT_FALSE(CallFunction("<invoke name=\"nobody\"><arguments/></invoke>", &result));
  EXPECT_FALSE(CallFunction("<invoke name=\"echo\"><arguments><string>open", &result));
  EXPECT_FALSE(CallFunction("", &result));
  EXPECT_EQ(fake_.outstanding_allocations, 0);
}

TEST_F(StandinLibraryTest, EventsRunClickKeyAndTimerHandlers) {
  StartWithScene(kMainScene + std::string("after 0 tick\n"));
  fake_.fscommands.clear();

  EXPECT_EQ(SendEvent(0x0201, 0, (45 << 16) | 15), 1);  // inside the button
  EXPECT_EQ(fake_.fscommands, (std::vector<FsCall>{{"invoke", "CLICKED", "15"}}));
  EXPECT_EQ(SendEvent(0x0201, 0, (300 << 16) | 300), 0);  // outside
  EXPECT_EQ(fake_.fscommands.size(), 1u);

  EXPECT_EQ(SendEvent(0x0100, 'A', 0), 1);
  std::string value;
  ASSERT_TRUE(GetVariable("pressed", &value));
  EXPECT_EQ(value, "65");

  EXPECT_EQ(SendEvent(0x0113, 0, 0), 1);
  ASSERT_TRUE(GetVariable("ticked", &value));
  EXPECT_EQ(value, "yes");
}

TEST_F(StandinLibraryTest, LoadMovieStubPlaysASceneIntoALayer) {
  StartWithScene(kMainScene);
  fake_.files["layer.scene"] = "fscommand invoke LAYER \"$player loaded\"\nset layer2 here\n";
  fake_.requests.clear();
  fake_.fscommands.clear();

  JRIStackItem args[3] = {};
  args[0].p = fake_.peer();
  args[1].i = 2;
  args[2].p = fake_.MakeString("layer.scene");
  load_movie_(args, fake_.env());
  ASSERT_EQ(fake_.requests.size(), 1u);
  EXPECT_EQ(fake_.requests[0].url, "layer.scene");
  fake_.ServeRequests();
  EXPECT_EQ(fake_.fscommands, (std::vector<FsCall>{{"invoke", "LAYER", "vexapl loaded"}}));
  EXPECT_TRUE(HasLine("scene load layer=2 url=\"layer.scene\""));

  // An empty URL unloads the layer.
  args[2].p = fake_.MakeString("");
  load_movie_(args, fake_.env());
  EXPECT_TRUE(fake_.requests.empty());
  EXPECT_TRUE(HasLine("scene unload layer=2 loaded=true"));
}

TEST_F(StandinLibraryTest, SwfMovieShowsItsHeader) {
  StartWithScene(SmallSwf());
  EXPECT_TRUE(
      HasLine("scene swf layer=0 url=\"http://vexa.test/movie.scene\" signature=\"FWS\" "
              "version=10 length=21 width=550 height=400 rate=\"24\" frames=1"));
  EXPECT_TRUE(HasLine("text=\"stage 550 x 400\""));
}

TEST_F(StandinLibraryTest, BadInputIsRefusedWithoutHarm) {
  // Calls before any instance exists, or for an unknown one.
  NPP_t stranger{};
  NPStream stream{};
  uint16_t stype = 0;
  char mime[] = "text/plain";
  EXPECT_EQ(fake_.plugin.newstream(&stranger, mime, &stream, 0, &stype),
            NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(fake_.plugin.write(&stranger, &stream, 0, 1, mime), -1);
  EXPECT_EQ(fake_.plugin.destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(fake_.plugin.newp(mime, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
            NPERR_INVALID_INSTANCE_ERROR);
  JRIStackItem args[3] = {};
  args[1].p = fake_.MakeString("x");
  get_variable_(args, fake_.env());
  EXPECT_EQ(args[0].p, nullptr);
  get_variable_(nullptr, nullptr);
  load_movie_(nullptr, nullptr);

  // Garbage as the movie, then an empty movie, then a stream the instance never opened.
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  StartWithScene(garbage);
  EXPECT_TRUE(HasLine("scene error layer=0 line=1"));
  fake_.Deliver("empty", "text/plain", "", nullptr, false);
  EXPECT_EQ(fake_.plugin.write(&fake_.npp, &stream, 0, 4, mime), -1);
  EXPECT_EQ(fake_.plugin.destroystream(&fake_.npp, &stream, NPRES_DONE), NPERR_INVALID_PARAM);
  EXPECT_EQ(fake_.plugin.setwindow(&fake_.npp, nullptr), NPERR_INVALID_PARAM);
  EXPECT_EQ(fake_.plugin.getvalue(&fake_.npp, NPPVpluginScriptableNPObject, nullptr),
            NPERR_INVALID_PARAM);
  EXPECT_EQ(fake_.plugin.event(&fake_.npp, nullptr), 0);
  // The host's stub call without an environment.
  args[0].p = fake_.peer();
  get_variable_(args, nullptr);
  EXPECT_EQ(args[0].p, nullptr);
}

TEST_F(StandinLibraryTest, DestroyFromInsideTheMoviesOwnHandler) {
  // The browser tears the instance down while the movie's handler is still running (a command
  // that closes the movie); the rest of the handler must not run and nothing may be touched.
  StartWithScene(
      "on call quit\n  fscommand invoke QUIT now\n  set after yes\n  text t 1 1 x\nend\n");
  fake_.on_fscommand = [this](const FsCall& call) {
    if (call.command == "QUIT") {
      EXPECT_EQ(fake_.plugin.destroy(&fake_.npp, nullptr), NPERR_NO_ERROR);
    }
  };
  std::string result;
  EXPECT_FALSE(CallFunction("<invoke name=\"quit\"><arguments/></invoke>", &result));
  fake_.on_fscommand = nullptr;
  EXPECT_FALSE(HasLine("scene set name=\"after\""));
  EXPECT_FALSE(HasLine("scene draw layer=0 kind=text id=\"t\""));
  EXPECT_EQ(fake_.plugin.setwindow(&fake_.npp, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  // The scriptable object outlives the instance but answers no more.
  EXPECT_FALSE(CallFunction("<invoke name=\"quit\"><arguments/></invoke>", &result));
}

TEST_F(StandinLibraryTest, CallFunctionMayComeBackWhileAnFsCommandIsHandled) {
  StartWithScene(
      "on call outer\n  fscommand invoke NEST x\n  return $inner\nend\n"
      "on call inner\n  set inner done\nend\n");
  fake_.on_fscommand = [this](const FsCall& call) {
    std::string ignored;
    if (call.command == "NEST") {
      EXPECT_TRUE(CallFunction("<invoke name=\"inner\"><arguments/></invoke>", &ignored));
    }
  };
  std::string result;
  ASSERT_TRUE(CallFunction("<invoke name=\"outer\"><arguments/></invoke>", &result));
  fake_.on_fscommand = nullptr;
  EXPECT_EQ(result, "<string>done</string>");
}

TEST_F(StandinLibraryTest, TranscriptFollowsTheDocumentedFormat) {
  fake_.files["notes.txt"] = "n";
  StartWithScene(kMainScene);
  fake_.ServeRequests();
  std::string ignored;
  CallFunction("<invoke name=\"setResult\"><arguments><string>q\"\\</string></arguments></invoke>",
               &ignored);
  fake_.plugin.destroy(&fake_.npp, nullptr);

  const std::vector<std::string> lines = Transcript();
  ASSERT_FALSE(lines.empty());
  const std::regex format(
      R"(^(in|out|scene) [A-Za-z0-9_.]+( [a-z_0-9]+=(-?[0-9]+|[a-z]+|"([^"\\]|\\.)*"\+?))*$)");
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, format)) << line;
  }
  EXPECT_TRUE(
      HasLine("in NP_GetEntryPoints size=" + std::to_string(sizeof(NPPluginFuncs)) + " result=0"));
  EXPECT_TRUE(HasLine("in NP_Initialize size=" + std::to_string(sizeof(NPNetscapeFuncs)) +
                      " version=22 result=0"));
  EXPECT_TRUE(
      HasLine("in NPP_New mime=\"application/x-shockwave-flash\" mode=1 argc=9 "
              "argn0=\"quality\" argv0=\"high\""));
  EXPECT_TRUE(HasLine("argn7=null argv7=null argn8=null argv8=null result=0"));
  EXPECT_TRUE(
      HasLine("out NPN_Invoke method=\"test_DoFSCommand\" argc=2 arg0=\"CMD2\" "
              "arg1=\"arg two\" result=true value=void"));
  EXPECT_TRUE(
      HasLine("out NPN_Evaluate script=\"try { __flash__toXML(CMD3(\\\"arg three\\\")) "
              "; } catch (e) { \\\"<undefined/>\\\"; }\" result=false"));
  EXPECT_TRUE(
      HasLine("out JRI.CallMethod method=3 argc=3 arg0=\"FlashPlayer\" arg1=\"CMD1\" "
              "arg2=\"arg one\""));
  EXPECT_TRUE(HasLine("scene set name=\"result\" value=\"q\\\"\\\\\""));
  EXPECT_TRUE(HasLine("in NPP_Destroy result=0"));
}

TEST_F(StandinLibraryTest, NoTranscriptWithoutTheVariable) {
  SetEnvironment(kTranscriptVar, nullptr);
  std::filesystem::remove(transcript_);  // set-up already wrote to it
  StartWithScene("log hello\n");
  EXPECT_FALSE(std::filesystem::exists(transcript_));
  SetEnvironment(kTranscriptVar, transcript_.string().c_str());
  fake_.plugin.destroy(&fake_.npp, nullptr);
  EXPECT_TRUE(HasLine("in NPP_Destroy result=0"));
}

}  // namespace
}  // namespace standin_test
