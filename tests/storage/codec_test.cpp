#include "storage/codec.h"
#include "storage/containerformat.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace {

using vexa::testing::Bytes;
using vexa::testing::RandomBytes;
using vexa::testing::ToBytes;

Bytes Compressible(size_t n) {
  Bytes b(n);
  static const char kText[] = "<item id=\"42\" name=\"level\" score=\"1000\"/>\n";
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(kText[i % (sizeof kText - 1)]);
  return b;
}

void NaiveXor(uint8_t* block, size_t n, const std::string& pw, size_t phase) {
  for (size_t i = 0; i < n; ++i) block[i] ^= static_cast<uint8_t>(pw[(phase + i) % pw.size()]);
}

// The growing loop as the container format defines it: plain uncompress into 4 x S, doubling on
// Z_BUF_ERROR while capacity / S <= 10000. The fast reader must agree with it on every input.
bool ClassicInflate(const Bytes& stored, const std::string& password, Bytes* out) {
  out->clear();
  Bytes src = stored;
  if (!password.empty()) NaiveXor(src.data(), src.size(), password, 0);
  const uLong s = static_cast<uLong>(src.size());
  uLong capacity = 4 * s;
  for (;;) {
    Bytes dest(capacity);
    uLongf produced = capacity;
    int rc = uncompress(dest.data(), &produced, src.data(), s);
    if (rc == Z_OK) {
      dest.resize(produced);
      *out = dest;
      return true;
    }
    if (rc != Z_BUF_ERROR || capacity / s > 10000) return false;
    capacity *= 2;
  }
}

Bytes Deflated(const Bytes& plain, const char* password) {
  CSmartBuffer packed;
  EXPECT_TRUE(DeflateGrowing(plain.data(), static_cast<uint32_t>(plain.size()), password, &packed));
  return ToBytes(packed);
}

TEST(XorWithPasswordTest, MatchesTheBytewiseDefinition) {
  const std::string passwords[] = {"k",
                                   "ab",
                                   kPackageDefaultPassword,
                                   "rakw3Pt7",
                                   "0123456789abc",
                                   std::string(64, 'z') + "!",
                                   std::string(5000, 'p') + "q"};
  const size_t lengths[] = {0, 1, 7, 63, 64, 65, 1023, 1024, 1025, 4099, 70001};
  const uint32_t phases[] = {0, 1, 6, 12345};
  for (const std::string& pw : passwords) {
    for (size_t n : lengths) {
      for (uint32_t phase : phases) {
        Bytes data = RandomBytes(n, static_cast<uint32_t>(n + pw.size()));
        Bytes expected = data;
        NaiveXor(expected.data(), n, pw, phase);
        Bytes copied(n);
        XorWithPasswordAt(copied.data(), data.data(), static_cast<uint32_t>(n), pw.c_str(), phase);
        EXPECT_EQ(copied, expected)
            << "password length " << pw.size() << " n " << n << " phase " << phase;
        if (phase == 0) {
          Bytes in_place = data;
          XorWithPassword(in_place.data(), static_cast<uint32_t>(n), pw.c_str());
          EXPECT_EQ(in_place, expected);
        }
      }
    }
  }
}

TEST(XorWithPasswordTest, EmptyOrNullPasswordLeavesTheBlock) {
  Bytes data = RandomBytes(100, 1);
  Bytes copy = data;
  XorWithPassword(copy.data(), 100, "");
  XorWithPassword(copy.data(), 100, nullptr);
  EXPECT_EQ(copy, data);
}

TEST(DeflateGrowingTest, IsZlibLevel9ThenScrambled) {
  for (const Bytes& plain : {Compressible(50000), RandomBytes(3000, 2), Bytes{'x'}}) {
    Bytes reference(compressBound(plain.size()));
    uLongf n = reference.size();
    ASSERT_EQ(compress2(reference.data(), &n, plain.data(), plain.size(), 9), Z_OK);
    reference.resize(n);
    EXPECT_EQ(Deflated(plain, nullptr), reference);
    Bytes scrambled = reference;
    NaiveXor(scrambled.data(), scrambled.size(), kPackageDefaultPassword, 0);
    EXPECT_EQ(Deflated(plain, kPackageDefaultPassword), scrambled);
  }
}

TEST(DeflateGrowingTest, EmptySourceFails) {
  CSmartBuffer out;
  ASSERT_TRUE(out.Assign("junk", 4));
  EXPECT_FALSE(DeflateGrowing(reinterpret_cast<const uint8_t*>(""), 0, "pw", &out));
  EXPECT_EQ(out.Size(), 0);
  EXPECT_FALSE(DeflateGrowing(nullptr, 10, nullptr, &out));
}

// Every stored block, every password and every size hint gives what the classic loop gives.
TEST(InflateGrowingTest, AgreesWithTheClassicLoop) {
  const std::string kPassword = kPackageDefaultPassword;
  struct Case {
    const char* what;
    Bytes stored;
    std::string password;  // used by both readers
  };
  std::vector<Case> cases;
  Bytes xml = Compressible(200000);
  Bytes swf = RandomBytes(150000, 3);
  Bytes zeros(300000, 0);  // expands about 1000 times
  cases.push_back({"compressible", Deflated(xml, kPassword.c_str()), kPassword});
  cases.push_back({"incompressible", Deflated(swf, kPassword.c_str()), kPassword});
  cases.push_back({"highly compressible", Deflated(zeros, nullptr), ""});
  cases.push_back({"one byte", Deflated(Bytes{'q'}, kPassword.c_str()), kPassword});
  cases.push_back({"wrong password", Deflated(xml, kPassword.c_str()), "kipNarr%"});
  cases.push_back({"scrambled, read without password", Deflated(xml, kPassword.c_str()), ""});
  Bytes truncated = Deflated(xml, nullptr);
  truncated.resize(truncated.size() / 2);
  cases.push_back({"truncated", truncated, ""});
  Bytes no_checksum = Deflated(swf, nullptr);
  no_checksum.resize(no_checksum.size() - 2);
  cases.push_back({"truncated checksum", no_checksum, ""});
  Bytes corrupt = Deflated(xml, nullptr);
  corrupt[corrupt.size() / 2] ^= 0x55;
  cases.push_back({"corrupt middle", corrupt, ""});
  Bytes bad_adler = Deflated(xml, nullptr);
  bad_adler.back() ^= 1;
  cases.push_back({"bad checksum", bad_adler, ""});
  Bytes trailing = Deflated(xml, nullptr);
  trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
  cases.push_back({"trailing bytes", trailing, ""});
  cases.push_back({"garbage", RandomBytes(5000, 9), ""});

  for (const Case& c : cases) {
    Bytes expected;
    const bool expected_ok = ClassicInflate(c.stored, c.password, &expected);
    Bytes plain_guess = expected_ok ? expected : xml;
    const uint32_t hints[] = {0,
                              1,
                              static_cast<uint32_t>(plain_guess.size()),
                              static_cast<uint32_t>(plain_guess.size() - 1),
                              static_cast<uint32_t>(plain_guess.size() * 3),
                              0x7FFFFFFEu,
                              0xFFFFFFFFu};
    for (uint32_t hint : hints) {
      CSmartBuffer out;
      bool ok = InflateGrowing(c.stored.data(), static_cast<uint32_t>(c.stored.size()),
                               c.password.c_str(), &out, hint);
      EXPECT_EQ(ok, expected_ok) << c.what << ", hint " << hint;
      if (ok) {
        EXPECT_EQ(ToBytes(out), expected) << c.what << ", hint " << hint;
      } else {
        EXPECT_EQ(out.Size(), 0) << c.what;
      }
    }
  }
}

// Blocks over 4 MiB are descrambled piece by piece; the password phase must carry across pieces
// (4 MiB is not a multiple of 7).
TEST(InflateGrowingTest, LargeScrambledBlocksReadBack) {
  Bytes plain = RandomBytes(9u << 20, 12);
  Bytes stored = Deflated(plain, kPackageDefaultPassword);
  ASSERT_GT(stored.size(), 8u << 20);
  for (uint32_t hint : {0u, static_cast<uint32_t>(plain.size())}) {
    CSmartBuffer out;
    ASSERT_TRUE(InflateGrowing(stored.data(), static_cast<uint32_t>(stored.size()),
                               kPackageDefaultPassword, &out, hint));
    EXPECT_TRUE(ToBytes(out) == plain) << "hint " << hint;
  }
}

TEST(InflateGrowingTest, SourceIsNeverModified) {
  Bytes stored = Deflated(Compressible(10000), kPackageDefaultPassword);
  Bytes copy = stored;
  CSmartBuffer out;
  ASSERT_TRUE(InflateGrowing(stored.data(), static_cast<uint32_t>(stored.size()),
                             kPackageDefaultPassword, &out));
  EXPECT_EQ(stored, copy);
}

// What the writer stores for an empty file: a 0-byte block. It reads as empty content, without
// entering the growth loop (whose ratio test divides by the stored length).
TEST(InflateGrowingTest, ZeroStoredLengthReadsAsEmptyContent) {
  CSmartBuffer out;
  ASSERT_TRUE(out.Assign("junk", 4));
  EXPECT_TRUE(InflateGrowing(nullptr, 0, kPackageDefaultPassword, &out, 1000));
  EXPECT_EQ(out.Size(), 0);
}

// Deflate cannot expand more than about 1032 times, so the 16384 x S limit of the growth loop is
// exercised through the cap that shares its code path.
TEST(InflateGrowingTest, OutputLimitRefusesFurtherExpansion) {
  Bytes zeros(100000, 0);
  Bytes stored = Deflated(zeros, nullptr);
  CSmartBuffer out;
  EXPECT_TRUE(InflateLimited(stored.data(), static_cast<uint32_t>(stored.size()), nullptr, &out, 0,
                             100000));
  EXPECT_EQ(out.Size(), 100000);
  EXPECT_FALSE(
      InflateLimited(stored.data(), static_cast<uint32_t>(stored.size()), nullptr, &out, 0, 99999));
  EXPECT_EQ(out.Size(), 0);
  EXPECT_FALSE(InflateLimited(stored.data(), static_cast<uint32_t>(stored.size()), nullptr, &out,
                              100000, 99999));
}

}  // namespace
