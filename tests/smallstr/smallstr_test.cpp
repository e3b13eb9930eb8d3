#include "script/smallstr.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(SmallStr, EmptyStringsNeverYieldNull) {
  CSmallStr a;
  CSmallStr b(static_cast<const char*>(nullptr));
  CSmallWStr w;
  EXPECT_STREQ(a.c_str(), "");
  EXPECT_STREQ(b.c_str(), "");
  EXPECT_EQ(w.c_str()[0], L'\0');
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.GetLength(), 0);
}

TEST(SmallStr, CopiesShareUntilOneChanges) {
  CSmallStr a("hello");
  CSmallStr b(a);
  EXPECT_EQ(a.c_str(), b.c_str());  // one record
  b.Append(" world");
  EXPECT_STREQ(a.c_str(), "hello");
  EXPECT_STREQ(b.c_str(), "hello world");
  CSmallStr c;
  c = a;
  c.MakeLower();  // no change needed, but the original still must not move
  EXPECT_STREQ(a.c_str(), "hello");
}

TEST(SmallStr, AssigningOwnTextIsHarmless) {
  CSmallStr a("abc");
  a = a.c_str();
  EXPECT_STREQ(a.c_str(), "abc");
  a = a;
  EXPECT_STREQ(a.c_str(), "abc");
  // A pointer into the middle of the own text is copied before the old block goes away.
  a = a.c_str() + 1;
  EXPECT_STREQ(a.c_str(), "bc");
}

TEST(SmallStr, SetNTakesAtMostCountAndStopsAtTerminator) {
  struct Case {
    int count;
    const char* text;
    const char* want;
  } cases[] = {
      {3, "abcdef", "abc"}, {10, "ab", "ab"}, {0, "ab", ""}, {-1, "ab", ""}, {2, nullptr, ""}};
  for (const auto& c : cases) {
    CSmallStr s("old");
    s.SetN(c.count, c.text);
    EXPECT_STREQ(s.c_str(), c.want) << c.count;
  }
}

TEST(SmallStr, AppendForms) {
  CSmallStr s("n=");
  s.AppendInt(-2147483647 - 1);
  s.AppendChar(';');
  s.Append(nullptr);
  s.Append("");
  s += "x";
  EXPECT_STREQ(s.c_str(), "n=-2147483648;x");
  CSmallStr t = CSmallStr("a") + "b" + CSmallStr("c");
  EXPECT_STREQ(t.c_str(), "abc");
}

TEST(SmallStr, CompareRules) {
  CSmallStr none;  // never had a character block
  EXPECT_EQ(none.Compare(""), -1);
  EXPECT_EQ(none.Compare("a"), -1);
  CSmallStr a("abc");
  EXPECT_EQ(a.Compare(nullptr), 1);
  EXPECT_EQ(a.Compare("abc"), 0);
  EXPECT_LT(a.Compare("abd"), 0);
  EXPECT_GT(a.Compare("ab"), 0);
  EXPECT_NE(a.Compare("ABC"), 0);
  EXPECT_EQ(a.CompareNoCase("ABC"), 0);
  // Byte-wise: bytes above 0x7F sort after ASCII.
  CSmallStr high("\xC3\xA9");
  EXPECT_GT(high.Compare("z"), 0);
  CSmallStr emptyBlock("");
  EXPECT_EQ(emptyBlock.Compare(""), 0);
}

TEST(SmallStr, IsTrue) {
  struct Case {
    const char* text;
    bool want;
  } cases[] = {{"on", true}, {"ON", true}, {"True", true}, {"1", true},   {"yes", false},
               {"0", false}, {"", false},  {"1 ", false},  {"tru", false}};
  for (const auto& c : cases) EXPECT_EQ(CSmallStr(c.text).IsTrue(), c.want) << c.text;
  EXPECT_FALSE(CSmallStr().IsTrue());
}

TEST(SmallStr, Finds) {
  CSmallStr s("a/b\\c/d");
  EXPECT_EQ(s.Find('/'), 1);
  EXPECT_EQ(s.Find('/', 2), 5);
  EXPECT_EQ(s.Find('x'), -1);
  EXPECT_EQ(s.Find("c/"), 4);
  EXPECT_EQ(s.Find("zz"), -1);
  EXPECT_EQ(s.ReverseFind('/'), 5);
  EXPECT_EQ(s.FindSeparator(2), 3);
  EXPECT_EQ(s.FindSeparator(6), -1);
  EXPECT_EQ(CSmallStr().ReverseFind('a'), -1);
}

TEST(SmallStr, SubstringsClampCounts) {
  CSmallStr s("abcdef");
  EXPECT_STREQ(s.Left(2).c_str(), "ab");
  EXPECT_STREQ(s.Left(99).c_str(), "abcdef");
  EXPECT_STREQ(s.Left(-3).c_str(), "");
  EXPECT_STREQ(s.Right(2).c_str(), "ef");
  EXPECT_STREQ(s.Right(99).c_str(), "abcdef");
  EXPECT_STREQ(s.Mid(2, 3).c_str(), "cde");
  EXPECT_STREQ(s.Mid(4, 99).c_str(), "ef");
  EXPECT_STREQ(s.Mid(99, 2).c_str(), "");
  EXPECT_STREQ(s.Mid(-5, 2).c_str(), "ab");
}

TEST(SmallStr, ReplaceAllCombinesAndEnds) {
  struct Case {
    const char* text;
    const char* search;
    const char* with;
    const char* want;
  } cases[] = {
      {"it''s", "''", "'", "it's"},
      {"''''", "''", "'", "'"},  // each round searches from the start again
      {"aaaa", "aa", "a", "a"},
      {"abc", "", "x", "abc"},
      {"abcabc", "b", "", "acac"},
      {"xabx", "ab", "ba", "xbax"},
      // The replacement contains the search text: each original occurrence once, then stop.
      {"a-a", "a", "aa", "aa-aa"},
      {"TOKEN", "TOKEN", "<TOKEN>", "<TOKEN>"},
  };
  for (const auto& c : cases) {
    CSmallStr s(c.text);
    s.ReplaceAll(c.search, c.with);
    EXPECT_STREQ(s.c_str(), c.want) << c.text << " / " << c.search << " -> " << c.with;
  }
  CSmallStr empty;
  EXPECT_EQ(empty.ReplaceAll("a", "b"), 0);
}

TEST(SmallStr, ReplaceAllCollapsesLongRuns) {
  // 200k quotes collapse to one, as repeated search-from-start would give.
  std::string quotes(200000, '\'');
  CSmallStr s(quotes.c_str());
  s.ReplaceAll("''", "'");
  EXPECT_STREQ(s.c_str(), "'");
}

TEST(SmallStr, ReplaceCharAndCount) {
  CSmallStr s("a\\b\\c");
  EXPECT_EQ(s.Replace('\\', '/'), 2);
  EXPECT_STREQ(s.c_str(), "a/b/c");
  CSmallWStr w(L"x.y.z");
  EXPECT_EQ(w.Count(L'.'), 2);
}

TEST(SmallStr, TrimAndLower) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {{"  a b \t\r\n", "a b"}, {" \t\n ", ""}, {"x", "x"}, {"", ""}};
  for (const auto& c : cases) {
    CSmallStr s(c.text);
    s.Trim();
    EXPECT_STREQ(s.c_str(), c.want) << '"' << c.text << '"';
  }
  CSmallStr m("MiXeD 123 \xC4");
  m.MakeLower();
  EXPECT_STREQ(m.c_str(), "mixed 123 \xC4");  // ASCII only
}

TEST(SmallStr, ConvertsBetweenForms) {
  CSmallWStr w("plain ascii");
  EXPECT_EQ(std::wstring(w.c_str()), L"plain ascii");
  CSmallStr n(L"back again");
  EXPECT_STREQ(n.c_str(), "back again");
}

TEST(SmallStr, ConcurrentCopiesOfOneStringAreSafe) {
  CSmallStr shared("shared text");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&shared] {
      for (int i = 0; i < 10000; ++i) {
        CSmallStr copy(shared);
        copy.AppendChar('x');
        ASSERT_EQ(copy.GetLength(), 12);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_STREQ(shared.c_str(), "shared text");
}

TEST(SmallStr, LoadResourceStringMissingLeavesTextUnchanged) {
  CSmallStr s("kept");
  EXPECT_FALSE(s.LoadResourceString(0xFFF0));
  EXPECT_STREQ(s.c_str(), "kept");
}

}  // namespace

namespace {

TEST(SmallStr, ReplaceAllThatKeepsRecreatingTheSearchTextStops) {
  // "ab" -> "bbaa" never contains "ab", yet every round makes a new one further right.
  CSmallStr s("aab");
  int n = s.ReplaceAll("ab", "bbaa");
  EXPECT_GE(n, 1);
  EXPECT_LE(n, CSmallStr::kReplaceAllBudget);
  EXPECT_GT(s.GetLength(), 3);
}

TEST(SmallStr, ReplaceAllMovesCharactersLikeRepeatedSearch) {
  // Each round finds the leftmost "ab" again: b bubbles to the front.
  CSmallStr s("aaab");
  EXPECT_EQ(s.ReplaceAll("ab", "ba"), 3);
  EXPECT_STREQ(s.c_str(), "baaa");
}

}  // namespace

// The order of map keys (the document cache): bytes compare as unsigned values, a proper prefix
// first, case matters; wide characters by their code.
TEST(SmallStr, OrderIsByUnsignedCharactersWithPrefixesFirst) {
  const std::vector<CSmallStr> narrow = {CSmallStr(), CSmallStr(""), CSmallStr("A"),
                                         CSmallStr("AB"), CSmallStr("B"), CSmallStr("a"),
                                         CSmallStr("\x7F"), CSmallStr("\x80"), CSmallStr("\xFF"),
                                         CSmallStr("\xFF\x01")};
  // The first two are both empty: neither is before the other.
  EXPECT_FALSE(narrow[0] < narrow[1]);
  EXPECT_FALSE(narrow[1] < narrow[0]);
  for (size_t i = 1; i < narrow.size(); ++i) {
    EXPECT_FALSE(narrow[i] < narrow[i]) << i;
    for (size_t j = i + 1; j < narrow.size(); ++j) {
      EXPECT_TRUE(narrow[i] < narrow[j]) << i << " before " << j;
      EXPECT_FALSE(narrow[j] < narrow[i]) << j << " not before " << i;
    }
  }
  const std::vector<CSmallWStr> wide = {CSmallWStr(L""), CSmallWStr(L"A"), CSmallWStr(L"a"),
                                        CSmallWStr(L"\x00E9"), CSmallWStr(L"\x20AC"),
                                        CSmallWStr(L"\x20AC\x0001"), CSmallWStr(L"\xFFFD")};
  for (size_t i = 0; i < wide.size(); ++i) {
    for (size_t j = i + 1; j < wide.size(); ++j) {
      EXPECT_TRUE(wide[i] < wide[j]) << i << " before " << j;
      EXPECT_FALSE(wide[j] < wide[i]) << j << " not before " << i;
    }
  }
}
