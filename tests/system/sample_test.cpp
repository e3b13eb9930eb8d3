// The example plug-in (examples/plugin) as a game ships it: loaded from the game folder, its object
// created by name and called the way the movie's commands call it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "support.h"
#include "system/hostcontrol.h"
#include "system/pluginlibs.h"

namespace {

using system_test::Invoke;
using system_test::Outcome;

class SamplePluginTest : public system_test::PluginHostTest {
 protected:
  void SetUp() override {
    game_.Package({{"docs/readme.txt", "Welcome to the demo\r\nSecond line\r\n"},
                   {"levels/one.dat", std::string(1234, 'x')}});
    game_.Sample("vexa_sample.dll");
    StartHost();
    if (HasFatalFailure()) return;
    ASSERT_EQ(1u, LoadPluginLibraries(&list_, game_.path().c_str()));
    ASSERT_EQ(S_OK, CreatePluginObject(&list_, "vexa.sample", &object_));
  }
  void TearDown() override {
    if (object_) object_->Release();
    object_ = nullptr;
  }

  Outcome Method(const wchar_t* name, const std::vector<std::wstring>& args = {}) {
    return Invoke(object_, name, VEXA_INVOKE_METHOD, args);
  }
  Outcome Property(const wchar_t* name) { return Invoke(object_, name, VEXA_INVOKE_PROPERTYGET); }

  IVEXAPluginObject* object_ = nullptr;
};

TEST_F(SamplePluginTest, ReadsGameFilesThroughTheHost) {
  EXPECT_EQ("34", Method(L"fileLength", {L"docs/readme.txt"}).text);
  EXPECT_EQ("1234", Method(L"fileLength", {L"levels/one.dat"}).text);
  EXPECT_EQ("Welcome to the demo", Method(L"firstLine", {L"docs/readme.txt"}).text);
  EXPECT_EQ(E_ACCESSDENIED, Method(L"fileLength", {L"missing.txt"}).hr);
  EXPECT_EQ(E_INVALIDARG, Method(L"firstLine").hr);
}

TEST_F(SamplePluginTest, ComputesFromArgumentsInTheOrderTheMovieWroteThem) {
  const struct {
    const wchar_t* method;
    std::vector<std::wstring> args;
    const char* expected;
  } cases[] = {
      {L"subtract", {L"10", L"3"}, "7"},          {L"subtract", {L"3", L"10"}, "-7"},
      {L"subtract", {L"2.5", L"0.25"}, "2.25"},   {L"join", {L", ", L"a", L"b", L"c"}, "a, b, c"},
      {L"join", {L"-", L"x", L"", L"z"}, "x--z"}, {L"join", {L"+"}, ""},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Method(c.method, c.args);
    EXPECT_EQ(S_OK, outcome.hr) << c.expected;
    EXPECT_EQ(c.expected, outcome.text);
  }
  EXPECT_EQ(E_INVALIDARG, Method(L"subtract", {L"ten", L"3"}).hr);
  EXPECT_EQ(E_INVALIDARG, Method(L"subtract", {L"10"}).hr);
}

TEST_F(SamplePluginTest, PropertiesAndResultsForTheMovie) {
  EXPECT_EQ("1.0", Property(L"version").text);
  EXPECT_EQ("0", Property(L"calls").text);
  Method(L"subtract", {L"1", L"1"});
  Method(L"join", {L","});
  Method(L"nosuchmethod");  // not counted
  EXPECT_EQ("2", Property(L"calls").text);
  EXPECT_EQ(game_.path(), Property(L"hostFolder").text);
  EXPECT_EQ(E_NOTIMPL, Property(L"nosuchproperty").hr);

  EXPECT_EQ(S_OK, Method(L"post", {L"hello movie"}).hr);
  EXPECT_EQ(std::vector<std::string>{"hello movie"}, holder_.Named(L"sample"));
}

}  // namespace
