#include "data/pseudourl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loader/collapse_reference.h"

namespace {

const std::string P = kPseudoUrlPrefix;

TEST(PseudoUrl, PrefixIsOneFixedNameUnderTheReservedDomain) {
  // The host must never be a real machine; ".invalid" is reserved for exactly that.
  EXPECT_EQ(P.rfind("http://", 0), 0u);
  EXPECT_EQ(P.back(), '/');
  EXPECT_NE(P.find(".invalid/"), std::string::npos);
  EXPECT_EQ(kPseudoUrlPrefixLength, static_cast<int>(P.size()));
  EXPECT_EQ(kPackagePathMarkerLength, 13);
}

TEST(PseudoUrl, StartsWithPrefix) {
  EXPECT_TRUE(StartsWithPseudoUrlPrefix((P + "x").c_str(), false));
  EXPECT_TRUE(StartsWithPseudoUrlPrefix("http:\\\\game.invalid\\x", false));
  EXPECT_FALSE(StartsWithPseudoUrlPrefix("HTTP://GAME.INVALID/x", false));
  EXPECT_TRUE(StartsWithPseudoUrlPrefix("HTTP://GAME.INVALID/x", true));
  EXPECT_FALSE(StartsWithPseudoUrlPrefix(("a" + P).c_str(), true));
  EXPECT_FALSE(StartsWithPseudoUrlPrefix("http://game.invalid", true));  // no final '/'
  EXPECT_FALSE(StartsWithPseudoUrlPrefix(nullptr, true));
}

TEST(PseudoUrl, SplitTable) {
  struct Case {
    std::string path;
    const char* defaultPackage;
    std::string package;
    std::string inner;
  } cases[] = {
      // No pseudo URL: the default package and the path exactly as given.
      {"movies/intro.swf", nullptr, "data.pak", "movies/intro.swf"},
      {"movies\\intro.swf", "Addons\\x.vxa", "Addons\\x.vxa", "movies\\intro.swf"},
      {"data.pak/end_of_story/x", nullptr, "data.pak", "data.pak/end_of_story/x"},
      {"HTTP://GAME.INVALID/p.pak/end_of_story/y", nullptr, "data.pak",
       "HTTP://GAME.INVALID/p.pak/end_of_story/y"},
      // A prefix without a marker after it, or only the prefix, is no pseudo URL either.
      {P, nullptr, "data.pak", P},
      {P + "x.swf", "other.pak", "other.pak", P + "x.swf"},
      {"a/end_of_story/" + P + "b", nullptr, "data.pak", "a/end_of_story/" + P + "b"},
      // Pseudo URLs: package before the marker, inner path after it without leading separators.
      {P + "data.pak/end_of_story/movies/intro.swf", "ignored", "data.pak", "movies/intro.swf"},
      {P + "Addons/extra.vxa/end_of_story\\\\/x.xml", nullptr, "Addons/extra.vxa", "x.xml"},
      {"http:\\\\game.invalid\\data.pak\\end_of_story\\a\\b.swf", nullptr, "data.pak", "a/b.swf"},
      {P + "HDD_ABSOLUTE_PATH/end_of_story/D#/Game/x.swf", nullptr, "HDD_ABSOLUTE_PATH",
       "D#/Game/x.swf"},
      // Every copy of the prefix leaves the package name, text before it stays.
      {"xx" + P + "p.pak/end_of_story/y", nullptr, "xxp.pak", "y"},
      {P + P + "a.pak/end_of_story/x", nullptr, "a.pak", "x"},
      // Degenerate pseudo URLs give empty parts (the loader refuses them).
      {P + "/end_of_story/x.txt", nullptr, "", "x.txt"},
      {P + "data.pak/end_of_story/", nullptr, "data.pak", ""},
      {P + "data.pak/end_of_story", nullptr, "data.pak", ""},
  };
  for (const Case& c : cases) {
    CSmallStr package("unset");
    CSmallStr inner("unset");
    SplitPseudoUrl(c.path.c_str(), c.defaultPackage, &package, &inner);
    EXPECT_EQ(package.str(), c.package) << c.path;
    EXPECT_EQ(inner.str(), c.inner) << c.path;
  }

  CSmallStr package;
  CSmallStr inner("unset");
  SplitPseudoUrl(nullptr, nullptr, &package, &inner);
  EXPECT_EQ(package.str(), "data.pak");
  EXPECT_EQ(inner.str(), "");
  SplitPseudoUrl((P + "a/end_of_story/b").c_str(), nullptr, nullptr, nullptr);  // outputs optional
}

TEST(PseudoUrl, ResolveTable) {
  const std::string pakBase = "http:\\\\game.invalid\\data.pak\\end_of_story\\movies\\";
  struct Case {
    std::string relative;
    std::string base;
    std::string want;
  } cases[] = {
      {"x.xml", pakBase, P + "data.pak/end_of_story/movies/x.xml"},
      {"sub\\x.xml", pakBase, P + "data.pak/end_of_story/movies/sub/x.xml"},
      {"../x.xml", pakBase, P + "data.pak/end_of_story/x.xml"},
      {"", pakBase, P + "data.pak/end_of_story/movies/"},
      // A pseudo URL stands as it is, whatever the base and whatever it contains.
      {P + "data.pak/end_of_story/a/../b", "any/", P + "data.pak/end_of_story/a/../b"},
      {"http:\\\\game.invalid\\x", "any/", "http:\\\\game.invalid\\x"},
      // A pseudo URL further in contributes only its inner path.
      {"zz" + P + "p.pak/end_of_story/q.xml", "base/", "base/q.xml"},
      // The collapse rule.
      {"a/b/../c", "", "a/c"},
      {"b/../c", "", "c"},
      {"../c", "", "../c"},
      {"a/../../c", "", "../c"},
      {"a/b/../../c", "", "c"},
      {"a/../../b/../c", "", "../b/../c"},  // a leading "../" ends the collapse
      {"a/b/c/../../d/../e", "", "a/e"},
      {"..\\", "C:\\Games\\x\\player.exe", "C:/Games/x/"},
      {"..\\", "/opt/x/player", "/opt/x/"},
      // Text rules, not file-system rules: "." is not special and "b.." counts as "b" + "..".
      {"a/./../c", "", "a/c"},
      {"a/b../c", "", "a/c"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveRelativePath(c.relative.c_str(), c.base.c_str()).str(), c.want)
        << c.relative << " against " << c.base;
  }
  EXPECT_EQ(ResolveRelativePath(nullptr, "a/b/").str(), "a/b/");
  EXPECT_EQ(ResolveRelativePath("x", nullptr).str(), "x");
}

TEST(PseudoUrl, ResolvingAPseudoUrlAgainIsStable) {
  const std::string base = "http:\\\\game.invalid\\data.pak\\end_of_story\\s\\";
  CSmallStr once = ResolveRelativePath("../t/x.xml", base.c_str());
  EXPECT_EQ(ResolveRelativePath(once.c_str(), "elsewhere/").str(), once.str());
  EXPECT_EQ(ResolveRelativePath(once.c_str(), base.c_str()).str(), once.str());
}

// Checks the one-pass collapse against the literal rule on every short text of the characters
// that matter.
TEST(PseudoUrl, CollapseMatchesTheLiteralRuleOnEveryShortText) {
  const char alphabet[] = {'a', '.', '/'};
  std::vector<std::string> texts = {""};
  for (int length = 1; length <= 10; ++length) {
    std::vector<std::string> longer;
    for (const std::string& t : texts)
      for (char c : alphabet) longer.push_back(t + c);
    texts.swap(longer);
    for (const std::string& t : texts) {
      ASSERT_EQ(ResolveRelativePath(t.c_str(), "").str(), LiteralCollapse(t)) << t;
    }
  }
}

}  // namespace
