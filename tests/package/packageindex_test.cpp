// The entry-name index against the rule it replaces: a walk of the directory in order, taking the
// first entry whose name equals the request (ASCII case ignored), or whose folded name and the
// request agree from the end until one runs out.
#include "data/packageindex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/package.h"

namespace {

std::vector<PackageEntry> Entries(const std::vector<std::string>& names) {
  std::vector<PackageEntry> entries(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::memcpy(entries[i].name, names[i].c_str(), names[i].size() + 1);
    entries[i].offset = 0;
    entries[i].stored_length = 0;
    entries[i].unpacked_length = 0;
  }
  return entries;
}

std::string Folded(const std::string& s) {
  std::string out;
  for (char c : s) out += CPackageIndex::Fold(c);
  return out;
}

// The walk the index stands for.
int32_t WalkExact(const std::vector<std::string>& names, const std::string& request) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].size() != request.size()) continue;
    bool same = true;
    for (size_t k = 0; k < request.size() && same; ++k) {
      const char a = names[i][k];
      const char b = request[k];
      same = (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
    }
    if (same) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t WalkFromEnd(const std::vector<std::string>& names, const std::string& folded) {
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string name = Folded(names[i]);
    if (name.empty() || folded.empty()) continue;
    size_t a = name.size();
    size_t b = folded.size();
    while (a > 0 && b > 0 && name[a - 1] == folded[b - 1]) {
      --a;
      --b;
    }
    if (a == 0 || b == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

struct Case {
  const char* request;
  int32_t exact;
  int32_t fromEnd;
};

TEST(PackageIndexTest, TheRulesOnAFixedDirectory) {
  const std::vector<std::string> names = {
      "Movies\\Intro.swf",  // 0
      "levels\\a.xml",      // 1
      "a.xml",              // 2: the ending of entry 1, later in the directory
      "",                   // 3: an empty name never matches
      "LEVELS\\A.XML",      // 4: the same name again, later
      "game.swf",           // 5
      "\xC9t\xE9.txt",      // 6: bytes above 127 compare exactly
  };
  const auto entries = Entries(names);
  CPackageIndex index;
  index.Build(entries.data(), static_cast<int32_t>(entries.size()));
  const Case cases[] = {
      {"movies\\intro.swf", 0, 0},
      {"intro.swf", -1, 0},             // the entry is longer: agrees from the end
      {"x\\movies\\intro.swf", -1, 0},  // the request is longer
      {"a.xml", 2, 1},                  // entry 1 comes first in the directory
      {"levels\\a.xml", 1, 1},
      {"LEVELS\\A.XML", 1, -1},  // from-end requests are folded by the caller: this one is not
      {"ame.swf", -1, 5},
      {"e.swf", -1, 5},
      {"movies/intro.swf", -1, -1},  // '/' is no entry's separator
      {"\xC9t\xE9.txt", 6, 6},
      {"\xE9t\xE9.txt", -1, -1},
      {"", 3, -1},
      {"nothing.swf", -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.exact, index.FindExact(c.request)) << c.request;
    EXPECT_EQ(c.fromEnd, index.FindAgreeingFromEnd(c.request)) << c.request;
  }
}

// Many random directories with names from a small alphabet (so endings collide often), every
// request checked against the walk.
TEST(PackageIndexTest, AgreesWithTheWalkOnRandomDirectories) {
  std::mt19937 rng(7);
  const char alphabet[] = "aB\\/.x";
  auto word = [&](size_t most) {
    std::string s;
    const size_t n = rng() % (most + 1);
    for (size_t k = 0; k < n; ++k) s += alphabet[rng() % (sizeof alphabet - 1)];
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> names;
    const size_t count = 1 + rng() % 40;
    for (size_t i = 0; i < count; ++i) names.push_back(word(12));
    // Entries keep '\\' only, as the reader stores them.
    for (std::string& name : names)
      for (char& c : name)
        if (c == '/') c = '\\';
    const auto entries = Entries(names);
    CPackageIndex index;
    index.Build(entries.data(), static_cast<int32_t>(entries.size()));
    for (int q = 0; q < 60; ++q) {
      const std::string request = q < static_cast<int>(count) ? names[q] : word(14);
      ASSERT_EQ(WalkExact(names, request), index.FindExact(request)) << request;
      const std::string folded = Folded(request);
      ASSERT_EQ(WalkFromEnd(names, folded), index.FindAgreeingFromEnd(folded)) << folded;
    }
  }
}

TEST(PackageIndexTest, EmptyAndClearedIndexesFindNothing) {
  CPackageIndex index;
  EXPECT_EQ(-1, index.FindExact("a"));
  EXPECT_EQ(-1, index.FindAgreeingFromEnd("a"));
  const auto entries = Entries({"a"});
  index.Build(entries.data(), 1);
  EXPECT_EQ(0, index.FindAgreeingFromEnd("a"));
  index.Clear();
  EXPECT_EQ(-1, index.FindExact("a"));
  EXPECT_EQ(-1, index.FindAgreeingFromEnd("a"));
}

}  // namespace
