// VS_VERSIONINFO building and reading, and version number parsing.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pe.h"
#include "pe_builder.h"

namespace vexa::pe {
namespace {

using builder::Get16;
using builder::Get32;

// An independent walk over the blocks, to check the layout rather than trust the reader.
struct Node {
  uint16_t length, value_length, type;
  std::u16string key;
  size_t value;  // offset
  std::vector<Node> children;
};

size_t Align4(size_t v) {
  return (v + 3) & ~size_t{3};
}

Node Walk(const std::vector<uint8_t>& b, size_t at, bool text) {
  Node n;
  n.length = Get16(b, at);
  n.value_length = Get16(b, at + 2);
  n.type = Get16(b, at + 4);
  size_t pos = at + 6;
  while (Get16(b, pos) != 0) {
    n.key.push_back(Get16(b, pos));
    pos += 2;
  }
  n.value = Align4(pos + 2);
  size_t child = Align4(n.value + (text ? 2 * n.value_length : n.value_length));
  while (child < at + n.length) {
    n.children.push_back(Walk(b, child, n.key == u"040904B0"));
    child = Align4(child + n.children.back().length);
  }
  return n;
}

std::u16string ValueText(const std::vector<uint8_t>& b, const Node& n) {
  std::u16string text;
  for (size_t i = 0; i + 1 < n.value_length; ++i) text.push_back(Get16(b, n.value + 2 * i));
  return text;
}

VersionInfo Sample() {
  VersionInfo info;
  info.version[0] = 1;
  info.version[1] = 2;
  info.version[2] = 30;
  info.version[3] = 400;
  info.company_name = "Soci\xC3\xA9t\xC3\xA9 des Jeux";      // Société
  info.product_name = "\xE6\x97\xA5\xE6\x9C\xAC Adventure";  // 日本
  info.file_description = "A game \xF0\x9F\x8E\xAE";         // outside the BMP
  info.internal_name = "game";
  info.original_filename = "game.exe";
  info.product_version_text = "1.2 beta";
  return info;
}

TEST(VersionInfo, BuildsTheStandardLayout) {
  const std::vector<uint8_t> b = BuildVersionInfo(Sample());
  const Node root = Walk(b, 0, false);
  EXPECT_EQ(root.length, b.size());
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  EXPECT_EQ(root.type, 0);
  EXPECT_EQ(root.value_length, 52);
  EXPECT_EQ(root.value, 40u);
  const uint32_t fixed[13] = {0xFEEF04BD, 0x00010000, 0x00010002, 0x001E0190, 0x00010002,
                              0x001E0190, 0x3F,       0,          0x00040004, 1,
                              0,          0,          0};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(Get32(b, root.value + 4 * i), fixed[i]) << i;

  ASSERT_EQ(root.children.size(), 2u);
  const Node& strings = root.children[0];
  EXPECT_EQ(strings.key, u"StringFileInfo");
  EXPECT_EQ(strings.type, 1);
  ASSERT_EQ(strings.children.size(), 1u);
  const Node& table = strings.children[0];
  EXPECT_EQ(table.key, u"040904B0");
  // Empty values are left out; the version texts are always there.
  const std::u16string keys[] = {u"CompanyName",   u"FileDescription",  u"FileVersion",
                                 u"InternalName",  u"OriginalFilename", u"ProductName",
                                 u"ProductVersion"};
  const std::u16string values[] = {
      u"Soci\u00e9t\u00e9 des Jeux", u"A game \U0001F3AE", u"1.2.30.400", u"game", u"game.exe",
      u"\u65e5\u672c Adventure",     u"1.2 beta"};
  ASSERT_EQ(table.children.size(), 7u);
  for (size_t i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    const Node& s = table.children[i];
    EXPECT_EQ(s.key, keys[i]);
    EXPECT_EQ(s.type, 1);
    // Characters including the terminator.
    EXPECT_EQ(s.value_length, values[i].size() + 1);
    EXPECT_EQ(ValueText(b, s), values[i]);
    EXPECT_EQ(Get16(b, s.value + 2 * values[i].size()), 0);
  }
  const Node& vars = root.children[1];
  EXPECT_EQ(vars.key, u"VarFileInfo");
  ASSERT_EQ(vars.children.size(), 1u);
  EXPECT_EQ(vars.children[0].key, u"Translation");
  EXPECT_EQ(vars.children[0].type, 0);
  EXPECT_EQ(vars.children[0].value_length, 4);
  EXPECT_EQ(Get16(b, vars.children[0].value), 0x0409);
  EXPECT_EQ(Get16(b, vars.children[0].value + 2), 0x04B0);
}

TEST(VersionInfo, RoundTripsNonAsciiText) {
  VersionInfo read;
  std::string error;
  ASSERT_TRUE(ReadVersionInfo(BuildVersionInfo(Sample()), &read, &error)) << error;
  const VersionInfo want = Sample();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(read.version[i], want.version[i]);
  EXPECT_EQ(read.company_name, want.company_name);
  EXPECT_EQ(read.product_name, want.product_name);
  EXPECT_EQ(read.file_description, want.file_description);
  EXPECT_EQ(read.internal_name, want.internal_name);
  EXPECT_EQ(read.original_filename, want.original_filename);
  EXPECT_EQ(read.legal_copyright, "");
  EXPECT_EQ(read.file_version_text, "1.2.30.400");
  EXPECT_EQ(read.product_version_text, "1.2 beta");
}

TEST(VersionInfo, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const std::vector<Case> cases = {
      {"StrayContinuation", "a\x80z", "a" + r + "z"},
      {"InvalidByte", "a\xFFz", "a" + r + "z"},
      {"Overlong", "a\xC0\xAFz", "a" + r + r + "z"},
      {"OverlongThreeBytes", "a\xE0\x80\xAFz", "a" + r + "z"},
      {"Surrogate", "a\xED\xA0\x80z", "a" + r + "z"},
      {"PastMaximum", "a\xF4\x90\x80\x80z", "a" + r + "z"},
      {"CutShortBeforeAscii", "a\xE6\x97z", "a" + r + "z"},
      {"CutShortAtEnd", "a\xE6\x97", "a" + r},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VersionInfo info;
    info.company_name = c.in;
    VersionInfo read;
    std::string error;
    ASSERT_TRUE(ReadVersionInfo(BuildVersionInfo(info), &read, &error)) << error;
    EXPECT_EQ(read.company_name, c.out);
  }
}

TEST(VersionInfo, LongValuesAreCutWithoutSplittingAPair) {
  VersionInfo info;
  // 2999 ASCII characters, then a pair that would straddle the limit.
  info.legal_copyright = std::string(kMaxVersionStringUnits - 1, 'c') + "\xF0\x9F\x8E\xAE";
  for (std::string* s : {&info.company_name, &info.file_description, &info.internal_name,
                         &info.original_filename, &info.product_name}) {
    *s = std::string(10000, 'x');
  }
  const std::vector<uint8_t> bytes = BuildVersionInfo(info);
  EXPECT_EQ(Get16(bytes, 0), bytes.size());
  VersionInfo read;
  std::string error;
  ASSERT_TRUE(ReadVersionInfo(bytes, &read, &error)) << error;
  EXPECT_EQ(read.legal_copyright, std::string(kMaxVersionStringUnits - 1, 'c'));
  EXPECT_EQ(read.company_name, std::string(kMaxVersionStringUnits, 'x'));
}

TEST(VersionInfo, DamagedBytesAreRefused) {
  const std::vector<uint8_t> good = BuildVersionInfo(Sample());
  std::vector<uint8_t> bad_signature = good;
  bad_signature[40] ^= 1;
  std::vector<uint8_t> long_root = good;
  long_root[0] = 0xFF;
  long_root[1] = 0xFF;
  std::vector<uint8_t> child_too_long = good;
  // The StringFileInfo block (right behind the 52-byte value) claims more than its parent holds.
  child_too_long[92] = 0xFF;
  child_too_long[93] = 0x7F;
  std::vector<uint8_t> not_version = good;
  not_version[6] = 'X';
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"Empty", {}, "runs past"},
      {"BadSignature", bad_signature, "signature"},
      {"RootLongerThanBytes", long_root, "bad length"},
      {"ChildLongerThanParent", child_too_long, "bad length"},
      {"OtherKey", not_version, "not a version resource"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VersionInfo info;
    info.company_name = "kept";
    std::string error;
    EXPECT_FALSE(ReadVersionInfo(c.bytes, &info, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(info.company_name, "kept");
  }
  // Cut anywhere: refused or read, never a read past the end (the sanitizers watch).
  for (size_t cut = 0; cut < good.size(); ++cut) {
    VersionInfo info;
    std::string error;
    ReadVersionInfo(std::vector<uint8_t>(good.begin(), good.begin() + cut), &info, &error);
  }
}

TEST(VersionInfo, ParseVersion) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t v[4];
  };
  const Case cases[] = {
      {"1", true, {1, 0, 0, 0}},
      {"1.2", true, {1, 2, 0, 0}},
      {"1.2.3.4", true, {1, 2, 3, 4}},
      {"65535.0.007.1", true, {65535, 0, 7, 1}},
      {"", false, {}},
      {"1.", false, {}},
      {".1", false, {}},
      {"1..2", false, {}},
      {"1.2.3.4.5", false, {}},
      {"65536", false, {}},
      {"99999999999999999999", false, {}},
      {"-1", false, {}},
      {"+1", false, {}},
      {"1.2a", false, {}},
      {" 1", false, {}},
      {"1.2 ", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint16_t v[4] = {9, 9, 9, 9};
    EXPECT_EQ(ParseVersion(c.text, v), c.ok);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v[i], c.ok ? c.v[i] : 9);
  }
}

}  // namespace
}  // namespace vexa::pe
