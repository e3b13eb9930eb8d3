// The scene interpreter against a fake host: drawing, variables, events, timers, loads, limits.
#include "standin/movie.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vexa::standin {
namespace {

class CFakeHost : public IMovieHost {
 public:
  void Trace(const std::string& line) override { lines.push_back(line); }
  bool SendFsCommand(FsPath path, const std::string& command, const std::string& arg) override {
    sent.push_back(std::string(FsPathName(path)) + " " + command + " " + arg);
    if (on_send) on_send(command);
    return true;
  }
  bool CallExternal(const std::string& function, const std::vector<ScriptArg>& args) override {
    scripts.push_back(BuildExternalCallScript(function, args));
    if (on_send) on_send(function);
    return true;
  }
  bool RequestUrl(const LoadRequest& request) override {
    requests.push_back(request);
    return true;
  }
  bool Navigate(const std::string& url, const std::string& target) override {
    sent.push_back("navigate " + url + " " + target);
    return true;
  }
  bool QueryLocation(std::string* url) override {
    *url = "http://page/";
    return true;
  }
  void Invalidate() override { ++invalidations; }
  void ScheduleTimer(uint32_t delay_ms) override { scheduled = static_cast<int64_t>(delay_ms); }
  void CancelTimer() override { scheduled = -1; }
  uint32_t NowMs() override { return now; }
  bool Alive() override { return alive; }

  bool HasLine(const std::string& text) const {
    for (const std::string& line : lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::vector<std::string> lines, sent, scripts;
  std::vector<LoadRequest> requests;
  std::function<void(const std::string&)> on_send;
  int invalidations = 0;
  int64_t scheduled = -1;
  uint32_t now = 1000;
  bool alive = true;
};

class MovieTest : public ::testing::Test {
 protected:
  void Load(const std::string& scene, int layer = 0) { movie_.LoadLayer(layer, "test", scene); }
  std::string Var(const std::string& name) {
    std::string value;
    return movie_.GetVariable(name, &value) ? value : "<unset>";
  }

  CFakeHost host_;
  CMovie movie_{&host_};
};

TEST_F(MovieTest, DrawsReplacesAndRemovesItemsByIdWithinALayer) {
  Load(
      "background #123456\n"
      "rect box 0 0 50 60 red\n"
      "text label 5 6 \"first\" blue 20\n"
      "button ok 1 2 3 4 \"OK\"\n"
      "text label 7 8 \"second\"\n"
      "remove box\n");
  const std::vector<DisplayItem> items = movie_.DisplayList();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].id, "label");  // replaced in place, keeps its position in the order
  EXPECT_EQ(items[0].text, "second");
  EXPECT_EQ(items[0].x, 7);
  EXPECT_EQ(items[0].color, 0u);  // the replacement has its own (default) colour
  EXPECT_EQ(items[1].kind, DisplayItem::Kind::kButton);
  EXPECT_EQ(items[1].text, "OK");
  EXPECT_EQ(movie_.background(), 0x123456u);
  EXPECT_GT(host_.invalidations, 0);

  Load("text label 0 0 other\n", 1);
  EXPECT_EQ(movie_.DisplayList().size(), 3u);  // ids are per layer
  Load("clear\n", 1);
  EXPECT_EQ(movie_.DisplayList().size(), 2u);
  movie_.UnloadLayer(0);
  EXPECT_TRUE(movie_.DisplayList().empty());
}

TEST_F(MovieTest, ExpandsVariablesAndHandlerArguments) {
  Load(
      "set name World\n"
      "set greeting \"Hello, $name! ${name}s cost $$5 $undefined.\"\n"
      "on call f\n"
      "  set out \"$0:$1:$2:$3:$#\"\n"
      "end\n");
  EXPECT_EQ(Var("greeting"), "Hello, World! Worlds cost $5 .");
  std::string xml;
  ASSERT_TRUE(movie_.Call("f", {"a", "b"}, &xml));
  EXPECT_EQ(Var("out"), "f:a:b::2");
}

TEST_F(MovieTest, CallReturnsXmlOfTheReturnedValue) {
  Load(
      "on call str\n  return \"5 < 6 & ok\"\nend\n"
      "on call num\n  return -2.5\nend\n"
      "on call word\n  return true\nend\n"
      "on call none\n  set x 1\nend\n"
      "on call early\n  return $1\n  set never 1\nend\n"
      "on call *\n  return \"any $0\"\nend\n");
  struct Case {
    const char* function;
    std::vector<std::string> args;
    const char* xml;
  } cases[] = {
      {"str", {}, "<string>5 &lt; 6 &amp; ok</string>"},
      {"num", {}, "<number>-2.5</number>"},
      {"word", {}, "<true/>"},
      {"none", {}, "<undefined/>"},
      {"early", {"12"}, "<number>12</number>"},
      {"other", {}, "<string>any other</string>"},
  };
  for (const Case& c : cases) {
    std::string xml;
    ASSERT_TRUE(movie_.Call(c.function, c.args, &xml)) << c.function;
    EXPECT_EQ(xml, c.xml) << c.function;
  }
  EXPECT_EQ(Var("never"), "<unset>");
}

TEST_F(MovieTest, CallWithoutHandlerIsRefused) {
  Load("on call known\nend\n");
  std::string xml = "untouched";
  EXPECT_FALSE(movie_.Call("unknown", {}, &xml));
  EXPECT_EQ(xml, "untouched");
}

TEST_F(MovieTest, ClickHitsTheTopmostButton) {
  Load(
      "button a 0 0 100 100 A\n"
      "button b 50 50 100 100 B\n"
      "on click a\n  set clicked a\nend\n"
      "on click b\n  set clicked \"b $1 $2\"\nend\n");
  Load("button c 90 90 20 20 C\non click c\n  set clicked c\nend\n", 3);
  EXPECT_TRUE(movie_.Click(10, 10));
  EXPECT_EQ(Var("clicked"), "a");
  EXPECT_TRUE(movie_.Click(60, 60));
  EXPECT_EQ(Var("clicked"), "b 60 60");
  EXPECT_TRUE(movie_.Click(95, 95));  // higher layer wins
  EXPECT_EQ(Var("clicked"), "c");
  EXPECT_FALSE(movie_.Click(150, 20));
  EXPECT_FALSE(movie_.Click(100, 0));  // right edge is outside
}

TEST(KeyMatchesTest, Names) {
  struct Case {
    const char* key_name;
    uint32_t code;
    bool match;
  } cases[] = {
      {"a", 'A', true},    {"A", 'A', true},    {"a", 'B', false},    {"7", '7', true},
      {"65", 65, true},    {"enter", 13, true}, {"ESCAPE", 27, true}, {"space", 32, true},
      {"left", 37, true},  {"down", 40, true},  {"f1", 112, true},    {"f12", 123, true},
      {"f13", 124, false}, {"any", 999, true},  {"?", '?', false},    {"", 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeyMatches(c.key_name, c.code), c.match) << c.key_name << " " << c.code;
  }
}

TEST_F(MovieTest, KeyRunsMatchingHandlersOfEveryLayer) {
  Load("on key space\n  add n 1\nend\non key any\n  add n 10\nend\n");
  Load("on key 32\n  add n 100\nend\n", 1);
  EXPECT_TRUE(movie_.Key(32));
  EXPECT_EQ(Var("n"), "111");
  EXPECT_TRUE(movie_.Key(65));
  EXPECT_EQ(Var("n"), "121");
}

TEST_F(MovieTest, TimersFireWhenDueRepeatAndStop) {
  Load(
      "after 100 once\n"
      "every 5 rep\n"  // raised to the 10 ms minimum
      "on timer once\n  add once 1\nend\n"
      "on timer rep\n  add rep 1\n  if $rep == 3\n    stop rep\n  end\nend\n");
  EXPECT_EQ(host_.scheduled, 10);
  movie_.Tick();  // nothing due yet
  EXPECT_EQ(Var("rep"), "<unset>");
  host_.now += 10;
  movie_.Tick();
  EXPECT_EQ(Var("rep"), "1");
  host_.now += 500;  // late: one repeat, not a burst
  movie_.Tick();
  EXPECT_EQ(Var("rep"), "2");
  EXPECT_EQ(Var("once"), "1");
  host_.now += 10;
  movie_.Tick();
  EXPECT_EQ(Var("rep"), "3");
  EXPECT_EQ(host_.scheduled, -1);  // nothing left
  host_.now += 1000;
  movie_.Tick();
  EXPECT_EQ(Var("rep"), "3");
  EXPECT_EQ(Var("once"), "1");
}

TEST_F(MovieTest, ReplacingALayerDropsItsTimersAndStopsItsHandler) {
  Load("after 10 t\non timer t\n  set fired yes\nend\n");
  Load("set other 1\n");
  host_.now += 100;
  movie_.Tick();
  EXPECT_EQ(Var("fired"), "<unset>");

  // A handler whose layer is replaced while it waits on the browser stops there.
  Load("on call go\n  fscommand invoke RELOAD x\n  set after yes\nend\n");
  host_.on_send = [this](const std::string& command) {
    if (command == "RELOAD") movie_.LoadLayer(0, "again", "set reloaded yes\n");
  };
  std::string xml;
  movie_.Call("go", {}, &xml);
  EXPECT_EQ(Var("reloaded"), "yes");
  EXPECT_EQ(Var("after"), "<unset>");
}

TEST_F(MovieTest, StopsWhenTheInstanceGoesAway) {
  Load("on call go\n  fscommand jri BYE x\n  set after yes\nend\n");
  host_.on_send = [this](const std::string&) { host_.alive = false; };
  std::string xml;
  movie_.Call("go", {}, &xml);
  EXPECT_EQ(Var("after"), "<unset>");
}

TEST_F(MovieTest, ConditionsCompareNumbersNumericallyAndTextOtherwise) {
  struct Case {
    const char* condition;
    bool expected;
  } cases[] = {
      {"10 > 9", true},  {"\"10\" > \"9\"", true}, {"abc < abd", true}, {"10 == 10.0", true},
      {"a != a", false}, {"2 <= 2", true},         {"b >= c", false},   {"0", false},
      {"false", false},  {"\"\"", false},          {"x", true},         {"-1 < 0", true},
  };
  for (const Case& c : cases) {
    CFakeHost host;
    CMovie movie(&host);
    movie.LoadLayer(0, "t",
                    std::string("if ") + c.condition + "\n set r yes\nelse\n set r no\nend\n");
    std::string r;
    ASSERT_TRUE(movie.GetVariable("r", &r)) << c.condition;
    EXPECT_EQ(r, c.expected ? "yes" : "no") << c.condition;
  }
}

TEST_F(MovieTest, FsCommandAndExternalCallsReachTheHost) {
  Load(
      "set who me\n"
      "fscommand jri SS \"slot $who\"\n"
      "fscommand INVOKE GS\n"
      "fscommand external HS \"a\\\"b\"\n"
      "fscommand external NOARG\n"
      "external Fn \"s\" 12 -1.5 null true word \"7\"\n");
  EXPECT_EQ(host_.sent,
            (std::vector<std::string>{"jri SS slot me", "invoke GS ", "external HS a\"b"}));
  EXPECT_EQ(host_.scripts,
            (std::vector<std::string>{
                "try { __flash__toXML(NOARG()) ; } catch (e) { \"<undefined/>\"; }",
                "try { __flash__toXML(Fn(\"s\",12,-1.5,null,true,\"word\",\"7\")) ; } catch (e) { "
                "\"<undefined/>\"; }"}));
}

TEST_F(MovieTest, LoadsApplyTheirDataAndRunLoadedHandlers) {
  Load(
      "loadtext note 1 2 readme.txt\n"
      "loadvars vars.txt\n"
      "pageurl page\n"
      "loadscene 4 sub.scene\n"
      "location where\n"
      "on loaded note\n  set got \"$1 $2\"\nend\n"
      "on loaded vars.txt\n  set varsdone yes\nend\n"
      "on loaded 4\n  set subdone $sub\nend\n");
  ASSERT_EQ(host_.requests.size(), 4u);
  EXPECT_EQ(Var("where"), "http://page/");
  EXPECT_EQ(host_.requests[2].url, kPageUrlRequest);

  movie_.CompleteLoad(host_.requests[0], "line1\nline2");
  const auto items = movie_.DisplayList();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, "line1\nline2");
  EXPECT_EQ(items[0].y, 2);
  EXPECT_EQ(Var("got"), "readme.txt 11");

  movie_.CompleteLoad(host_.requests[1], "a=1&b=two+words&c=%41%2&=skip&noeq\r\nd=4\r\n");
  EXPECT_EQ(Var("a"), "1");
  EXPECT_EQ(Var("b"), "two words");
  EXPECT_EQ(Var("c"), "A%2");
  EXPECT_EQ(Var("d"), "4");
  EXPECT_EQ(Var("varsdone"), "yes");

  movie_.CompleteLoad(host_.requests[2], "http://x/default.html__flashplugin_unique__");
  EXPECT_EQ(Var("page"), "http://x/default.html");

  movie_.CompleteLoad(host_.requests[3], "set sub here\n");
  EXPECT_TRUE(movie_.HasLayer(4));
  EXPECT_EQ(Var("subdone"), "here");
}

TEST_F(MovieTest, LoadForAReplacedLayerIsNotShownThere) {
  Load("loadtext note 1 2 readme.txt\non loaded note\n  set ran yes\nend\n");
  const LoadRequest request = host_.requests.at(0);
  Load("set replaced yes\n");
  movie_.CompleteLoad(request, "text");
  EXPECT_TRUE(movie_.DisplayList().empty());
  EXPECT_EQ(Var("ran"), "<unset>");
}

TEST_F(MovieTest, SwfBytesShowTheHeaderInsteadOfPlaying) {
  const std::string swf(
      "FWS\x0A\x15\x00\x00\x00\x78\x00\x05\x5F\x00\x00\x0F\xA0\x00\x00\x18\x01\x00", 21);
  movie_.LoadLayer(1, "game.swf", swf);
  std::vector<std::string> texts;
  for (const DisplayItem& item : movie_.DisplayList()) texts.push_back(item.text);
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(texts[0], "SWF movie (FWS, uncompressed)");
  EXPECT_EQ(texts[1], "version 10");
  EXPECT_EQ(texts[3], "stage 550 x 400");
  EXPECT_TRUE(
      host_.HasLine("scene swf layer=1 url=\"game.swf\" signature=\"FWS\" version=10 "
                    "length=21 width=550 height=400 rate=\"24\" frames=1"));
}

TEST_F(MovieTest, ParseErrorsAreShownAndTheRestPlays) {
  Load("bogus 1 2\ntext ok 1 1 fine\nrect r 1 2 3\n");
  std::vector<std::string> texts;
  for (const DisplayItem& item : movie_.DisplayList()) texts.push_back(item.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"line 1: unknown statement 'bogus'",
                                             "line 3: 'rect' needs 6 arguments", "fine"}));
}

TEST_F(MovieTest, RuntimeErrorsSkipOnlyTheirStatement) {
  Load(
      "set x abc\n"
      "text t $x 1 hi\n"
      "rect r 0 0 10 10 notacolour\n"
      "after -5 t\n"
      "add n $x\n"
      "loadscene 1000 a\n"
      "set done yes\n");
  EXPECT_TRUE(movie_.DisplayList().empty());
  EXPECT_EQ(Var("done"), "yes");
  EXPECT_EQ(Var("n"), "<unset>");
  EXPECT_TRUE(host_.HasLine("scene error layer=0 line=2 message=\"'abc' is not a whole number"));
  EXPECT_TRUE(host_.HasLine("scene error layer=0 line=3 message=\"'notacolour' is not a colour\""));
}

TEST_F(MovieTest, RunawayRecursionStopsAtTheNestingLimit) {
  // Each call asks the page, which calls straight back in.
  Load("on call again\n  add depth 1\n  external again\nend\n");
  int calls = 0;
  host_.on_send = [&](const std::string&) {
    ++calls;
    std::string xml;
    movie_.Call("again", {}, &xml);
  };
  std::string xml;
  ASSERT_TRUE(movie_.Call("again", {}, &xml));
  EXPECT_EQ(Var("depth"), std::to_string(kMaxNesting));
  EXPECT_TRUE(host_.HasLine("events nested too deeply"));
  EXPECT_LE(calls, kMaxNesting);
}

TEST_F(MovieTest, StatementBudgetEndsAnEventThatRunsTooLong) {
  constexpr int kAdds = 8000;
  std::string scene = "on call work\n";
  for (int i = 0; i < kAdds; ++i) scene += "  add steps 1\n";
  scene += "  external work\nend\n";
  Load(scene);
  host_.on_send = [this](const std::string&) {
    std::string xml;
    movie_.Call("work", {}, &xml);
  };
  std::string xml;
  movie_.Call("work", {}, &xml);
  // Every nested level costs its adds and its external statement, all from one budget.
  const int full_levels = kMaxStepsPerEvent / (kAdds + 1);
  const int done = full_levels * kAdds + (kMaxStepsPerEvent - full_levels * (kAdds + 1));
  EXPECT_EQ(Var("steps"), std::to_string(done));
  EXPECT_TRUE(host_.HasLine("statement limit reached"));
  // The next event has a fresh budget.
  host_.on_send = nullptr;
  movie_.Call("work", {}, &xml);
  EXPECT_EQ(Var("steps"), std::to_string(done + kAdds));
}

TEST_F(MovieTest, StatementBudgetCanBeLowered) {
  Load("on call work\n  add steps 1\n  add steps 1\n  add steps 1\nend\n");
  movie_.SetStepsPerEvent(2);
  std::string xml;
  movie_.Call("work", {}, &xml);
  EXPECT_EQ(Var("steps"), "2");
  EXPECT_TRUE(host_.HasLine("statement limit reached"));
  movie_.SetStepsPerEvent(3);
  movie_.Call("work", {}, &xml);
  EXPECT_EQ(Var("steps"), "5");
}

TEST_F(MovieTest, ValuesAndCountsAreCapped) {
  std::string scene = "set v x\n";
  for (int i = 0; i < 25; ++i) scene += "set v $v$v\n";  // would reach 32 MiB
  Load(scene);
  EXPECT_EQ(Var("v").size(), kMaxValueSize);
  std::string many;
  for (size_t i = 0; i < kMaxVariables + 5; ++i) many += "set v" + std::to_string(i) + " 1\n";
  Load(many, 1);
  EXPECT_EQ(Var("v" + std::to_string(kMaxVariables + 2)), "<unset>");
}

TEST_F(MovieTest, GetVariableAcceptsPathPrefixes) {
  Load("set score 12\n");
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {{"score", "12"},   {"_root.score", "12"}, {"_level0.score", "12"},
               {"/:score", "12"}, {"_root.", "<unset>"}, {"other", "<unset>"}};
  for (const Case& c : cases) EXPECT_EQ(Var(c.name), c.value) << c.name;
}

}  // namespace
}  // namespace vexa::standin
