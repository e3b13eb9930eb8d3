#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands.h"

namespace {

TEST(SplitEntryNameTest, KeepsNamesInsideTheOutputFolder) {
  struct Case {
    const char* name;
    std::vector<std::string> parts;  // empty: refused
  } cases[] = {
      {"init.xml", {"init.xml"}},
      {"movies\\intro.swf", {"movies", "intro.swf"}},
      {"movies/intro.swf", {"movies", "intro.swf"}},
      {"a\\\\b//c", {"a", "b", "c"}},
      {"./a/./b", {"a", "b"}},
      {"..dots..\\file..txt", {"..dots..", "file..txt"}},
      {"..", {}},
      {"../evil.txt", {}},
      {"..\\evil.txt", {}},
      {"a\\..\\..\\evil.txt", {}},
      {"a/b/..", {}},
      {"/etc/passwd", {}},
      {"\\windows\\x.dll", {}},
      {"\\\\server\\share\\x", {}},
      {"C:\\evil.txt", {}},
      {"C:evil.txt", {}},
      {"file.txt:stream", {}},
      {"", {}},
      {".", {}},
      {"a/", {"a"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> parts{"stale"};
    const bool ok = SplitEntryName(c.name, &parts);
    EXPECT_EQ(ok, !c.parts.empty()) << c.name;
    if (ok) {
      EXPECT_EQ(parts, c.parts) << c.name;
    }
  }
}

}  // namespace
