#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "data/mappedfile.h"
#include "data/package.h"
#include "package_fixture.h"
#include "support/files.h"
#include "support/folders.h"

namespace {

using namespace package_test;
namespace fs = std::filesystem;

class PackageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    vexa::testing::WriteBytes(folder_.path() + name, bytes);
    return (dir_ / name).string();
  }

  vexa::testing::CTempFolder folder_{"vexa-package-"};
  const fs::path& dir_ = folder_.root();
};

TEST_F(PackageFileTest, MappedBufferShowsTheWholeFile) {
  Bytes content = RandomBytes(10000, 3);
  std::string path = Write("mapped.bin", content);
  CMappedFileBuffer mapped;
  ASSERT_TRUE(mapped.Map(path));
  EXPECT_EQ(ToBytes(mapped), content);
  EXPECT_EQ(mapped.Bytes(), mapped.Data());

  CMappedFileBuffer missing;
  EXPECT_FALSE(missing.Map((dir_ / "nope.bin").string()));
  EXPECT_EQ(missing.Size(), 0);
  EXPECT_EQ(missing.Data(), nullptr);
}

TEST_F(PackageFileTest, OpensOnceForPathsThatDifferInCase) {
  Bytes file = Pack({{"init.xml", ToBytes("<game/>")}}, kPackageDefaultPassword);
  std::string path = Write("game.pak", file);
  const int32_t before = PackageCache::Instance().GetCount();

  CPackageArchive* first = nullptr;
  ASSERT_EQ(OpenPackage(path.c_str(), &first), S_OK);
  ASSERT_NE(first, nullptr);
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // On a case-sensitive file system no file of that name exists: only the cache can answer.
  CPackageArchive* second = OpenPackage(upper.c_str());
  EXPECT_EQ(second, first);
  EXPECT_EQ(PackageCache::Instance().GetCount(), before + 1);
  EXPECT_EQ(PackageCache::Instance().Find(upper.c_str()), first);

  CSmartBuffer out;
  ASSERT_TRUE(first->ReadEntryNamed("INIT.XML", kPackageDefaultPassword, &out));
  EXPECT_EQ(ToBytes(out), ToBytes("<game/>"));
}

TEST_F(PackageFileTest, FailuresAreNotCachedAndALaterOpenTriesAgain) {
  const int32_t before = PackageCache::Instance().GetCount();
  std::string missing = (dir_ / "missing.pak").string();
  CPackageArchive* archive = reinterpret_cast<CPackageArchive*>(1);
  EXPECT_EQ(OpenPackage(missing.c_str(), &archive), E_FAIL);
  EXPECT_EQ(archive, nullptr);

  std::string bad = Write("bad.pak", ToBytes("this is not a package"));
  EXPECT_EQ(OpenPackage(bad.c_str(), &archive), E_FAIL);
  std::string empty = Write("empty.pak", {});
  EXPECT_EQ(OpenPackage(empty.c_str(), &archive), E_FAIL);
  EXPECT_EQ(PackageCache::Instance().GetCount(), before);

  Write("bad.pak", Pack({{"x", ToBytes("fixed")}}, kPackageDefaultPassword));
  ASSERT_EQ(OpenPackage(bad.c_str(), &archive), S_OK);
  CSmartBuffer out;
  ASSERT_TRUE(archive->ReadEntryAt(0, kPackageDefaultPassword, &out));
  EXPECT_EQ(ToBytes(out), ToBytes("fixed"));
  EXPECT_EQ(OpenPackage(nullptr, &archive), E_POINTER);
}

}  // namespace
