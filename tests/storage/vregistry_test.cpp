// The virtual registry: the scope codec, the two scopes in "localrgs.dat", the one-time import from
// the registry (the platform's stand-in natively, the real registry under Wine), and what damaged,
// unreadable and unwritable files do to it.
#include "storage/vregistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/userfolders.h"
#include "storage/config.h"
#include "storage/faultfs.h"
#include "storage/primitives.h"
#include "storage/saves.h"
#include "storage/store_support.h"

namespace {

using store_test::Bytes;
using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;

Bytes EncodeScope(const std::map<std::string, std::string>& values) {
  CVirtualRegistryManager scope;
  scope.Values() = values;
  CMemoryStream stream;
  EXPECT_EQ(scope.Encode(&stream), S_OK);
  return stream.Data();
}

TEST(RegistryScopeCodec, PairsInNameOrderRoundTrip) {
  const Bytes bytes = EncodeScope({{"b", "2"}, {"B", ""}, {"a", "1"}});
  // count 3, then "B" "", "a" "1", "b" "2": byte order puts upper case first.
  CMemoryStream expected;
  WriteCount(&expected, 3);
  for (const char* text : {"B", "", "a", "1", "b", "2"}) WriteString(&expected, CSmallStr(text));
  EXPECT_EQ(bytes, expected.Data());
  CMemoryStream in(bytes.data(), bytes.size());
  CVirtualRegistryManager back;
  EXPECT_EQ(back.Decode(&in), S_OK);
  EXPECT_EQ(back.Values().size(), 3u);
  EXPECT_EQ(back.Values().at("B"), "");
}

TEST(RegistryScopeCodec, CountPastTheDataKeepsThePairsBeforeIt) {
  CMemoryStream stream;
  WriteCount(&stream, 0x7FFFFFFF);
  WriteString(&stream, CSmallStr("one"));
  WriteString(&stream, CSmallStr("1"));
  WriteString(&stream, CSmallStr("two"));  // its value is missing
  stream.Seek(0, IByteStream::kSeekSet, nullptr);
  CVirtualRegistryManager scope;
  EXPECT_TRUE(FAILED(scope.Decode(&stream)));
  ASSERT_EQ(scope.Values().size(), 1u);
  EXPECT_EQ(scope.Values().at("one"), "1");

  CMemoryStream empty;
  EXPECT_EQ(scope.Decode(&empty), E_FAIL);
  EXPECT_TRUE(scope.Values().empty());
}

class VirtualRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    folders_ = std::make_unique<vexa::storage::CFixedDataFolders>(temp_.Path(), "");
    key_ = "Software\\VexaStoreTests\\Import-" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    vexa::platform::DeleteRegistryKey(key_);
    store_ = std::make_unique<CVirtualRegistry>(folders_.get(), &fs_);
    store_->SetUserName("player1");
    store_->SetImportKeySource([this] { return key_; });
  }
  void TearDown() override { vexa::platform::DeleteRegistryKey(key_); }

  std::string File() const { return temp_ / "localrgs.dat"; }

  void PutRegistryString(const std::string& name, const std::string& text) {
    ASSERT_TRUE(vexa::platform::WriteRegistryValue(key_, name, vexa::platform::kRegistryString,
                                                   text.c_str(), text.size() + 1, true));
  }

  // LK / LUK as the command would answer: the value, or "unknown" on failure.
  std::string Lk(const char* name, bool shared = true) {
    CSmallStr value("junk");
    const HRESULT hr = store_->ReadValue(name, &value, shared);
    if (FAILED(hr)) {
      EXPECT_STREQ(value.c_str(), "");
      return "unknown";
    }
    return value.str();
  }

  store_test::CStoreFolder temp_;
  std::unique_ptr<vexa::storage::CFixedDataFolders> folders_;
  CFaultInjectingFileSystem fs_;
  std::string key_;
  std::unique_ptr<CVirtualRegistry> store_;
};

TEST_F(VirtualRegistryTest, ValuesAreCaseSensitiveAndTheEmptyStringIsAValue) {
  EXPECT_EQ(Lk("never"), "unknown");
  ASSERT_EQ(store_->WriteValue("Level", "7", true), S_OK);
  EXPECT_EQ(Lk("Level"), "7");
  EXPECT_EQ(Lk("level"), "unknown");
  ASSERT_EQ(store_->WriteValue("Level", "8", true), S_OK);
  EXPECT_EQ(Lk("Level"), "8");
  ASSERT_EQ(store_->WriteValue("Blank", "", true), S_OK);
  EXPECT_EQ(Lk("Blank"), "");
  ASSERT_EQ(store_->WriteValue("", "empty name", true), S_OK);
  EXPECT_EQ(Lk(""), "empty name");
}

TEST_F(VirtualRegistryTest, TheTwoScopesAreSeparateEntriesOfOneFile) {
  ASSERT_EQ(store_->WriteValue("Volume", "shared", true), S_OK);
  ASSERT_EQ(store_->WriteValue("Volume", "mine", false), S_OK);
  EXPECT_EQ(Lk("Volume", true), "shared");
  EXPECT_EQ(Lk("Volume", false), "mine");
  ASSERT_EQ(store_->WriteValue("OnlyMine", "1", false), S_OK);
  EXPECT_EQ(Lk("OnlyMine", true), "unknown");

  const auto entries = store_test::Unpack(store_test::ReadBytes(File()), kRegistryPassword);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, ".DEFAULT");
  EXPECT_EQ(entries[0].content, EncodeScope({{"Volume", "shared"}}));
  EXPECT_EQ(entries[1].name, "player1");
  EXPECT_EQ(entries[1].content, EncodeScope({{"OnlyMine", "1"}, {"Volume", "mine"}}));
}

TEST_F(VirtualRegistryTest, TheUserScopeIsNamedAfterTheUserRunningTheGame) {
  std::string user;
  ASSERT_TRUE(vexa::platform::GetCurrentUserName(&user));
  CVirtualRegistry plain(folders_.get(), &fs_);
  EXPECT_EQ(plain.GetUserScopeName(), user);
  ASSERT_EQ(plain.WriteValue("k", "v", false), S_OK);
  std::vector<std::string> scopes;
  ASSERT_EQ(plain.ListScopes(&scopes), S_OK);
  EXPECT_EQ(scopes, (std::vector<std::string>{user}));
}

TEST_F(VirtualRegistryTest, AFirstReadImportsTheGamesKeyOnceAndWritesIt) {
  PutRegistryString("Difficulty", "hard");
  PutRegistryString("Name", "Ann");
  const uint32_t dword = 0x00003233;  // bytes '3' '2' 0 0
  ASSERT_TRUE(vexa::platform::WriteRegistryValue(key_, "Count", vexa::platform::kRegistryDword,
                                                 &dword, sizeof(dword), true));
  EXPECT_FALSE(store_test::FileExists(File()));
  EXPECT_EQ(Lk("Name"), "Ann");
  // The file now holds every imported value.
  auto entries = store_test::Unpack(store_test::ReadBytes(File()), kRegistryPassword);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].content,
            EncodeScope({{"Count", "32"}, {"Difficulty", "hard"}, {"Name", "Ann"}}));

  // Once imported, the scope is read from the file: later registry changes do not come in.
  PutRegistryString("Name", "Bob");
  EXPECT_EQ(Lk("Name"), "Ann");
  // The user scope has no entry yet and imports on its own first use.
  EXPECT_EQ(Lk("Name", false), "Bob");
  entries = store_test::Unpack(store_test::ReadBytes(File()), kRegistryPassword);
  EXPECT_EQ(entries.size(), 2u);
}

TEST_F(VirtualRegistryTest, AWriteImportsFirstAndWritesOnce) {
  PutRegistryString("Old", "1");
  ASSERT_EQ(store_->WriteValue("New", "2", true), S_OK);
  EXPECT_EQ(fs_.CallCount(FileOp::kReplace), 1);
  EXPECT_EQ(Lk("Old"), "1");
  EXPECT_EQ(Lk("New"), "2");
}

TEST_F(VirtualRegistryTest, AMissingKeyImportsNothingButTheScopeIsWrittenOnce) {
  EXPECT_EQ(Lk("x"), "unknown");
  const auto entries = store_test::Unpack(store_test::ReadBytes(File()), kRegistryPassword);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].content, EncodeScope({}));
  // From now on the key is not asked again.
  PutRegistryString("x", "late");
  EXPECT_EQ(Lk("x"), "unknown");
}

TEST_F(VirtualRegistryTest, ReadsAnswerFromTheImportEvenWhenItCannotBeWritten) {
  PutRegistryString("Level", "9");
  fs_.FailCall(FileOp::kCreateNew, 1, CFaultInjectingFileSystem::kForever);
  EXPECT_EQ(Lk("Level"), "9");
  EXPECT_EQ(Lk("Level"), "9");
  EXPECT_EQ(Lk("Other"), "unknown");
  EXPECT_FALSE(store_test::FileExists(File()));
  // A write that fails reports it.
  EXPECT_EQ(store_->WriteValue("Level", "10", true), VEXA_E_WRITE_FAILED);
  fs_.Clear();
  // Once the disk takes writes again, the next operation imports and writes.
  ASSERT_EQ(store_->WriteValue("Level", "10", true), S_OK);
  EXPECT_EQ(Lk("Level"), "10");
  EXPECT_TRUE(store_test::FileExists(File()));
}

TEST_F(VirtualRegistryTest, AFileThatCannotBeReadIsNeitherReplacedNorImportedOver) {
  ASSERT_EQ(store_->WriteValue("Level", "3", true), S_OK);
  const Bytes before = store_test::ReadBytes(File());
  PutRegistryString("Level", "from registry");
  const int created = fs_.CallCount(FileOp::kCreateNew);
  fs_.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  EXPECT_EQ(Lk("Level"), "unknown");
  EXPECT_EQ(Lk("Level", false), "unknown");
  EXPECT_EQ(store_->WriteValue("Level", "4", true), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(fs_.CallCount(FileOp::kCreateNew), created);
  fs_.Clear();
  EXPECT_EQ(store_test::ReadBytes(File()), before);
  EXPECT_EQ(Lk("Level"), "3");
}

TEST_F(VirtualRegistryTest, ADamagedScopeKeepsWhatItHadAndTheFileIsCopiedAside) {
  // The shared scope announces three pairs and holds one; the user scope is fine.
  Bytes shared = EncodeScope({{"a", "1"}});
  shared[0] = 3;
  const Bytes file = store_test::Pack({{".DEFAULT", shared, kRegistryPassword},
                                       {"player1", EncodeScope({{"u", "2"}}), kRegistryPassword}});
  store_test::WriteBytes(File(), file);
  PutRegistryString("a", "imported");
  // What could be read is kept (no import over it).
  EXPECT_EQ(Lk("a"), "1");
  ASSERT_EQ(store_->WriteValue("b", "2", true), S_OK);
  EXPECT_EQ(store_test::ReadBytes(temp_ / "localrgs.dat.damaged-1"), file);
  EXPECT_EQ(Lk("a"), "1");
  EXPECT_EQ(Lk("b"), "2");
  EXPECT_EQ(Lk("u", false), "2");
}

TEST_F(VirtualRegistryTest, AScopeThatDoesNotDecodeImportsAgainAndTheOtherScopeIsCarriedOver) {
  const Bytes userScope = EncodeScope({{"u", "2"}});
  const Bytes file = store_test::Pack({{".DEFAULT", EncodeScope({{"a", "1"}}), "wrongpass"},
                                       {"player1", userScope, kRegistryPassword}});
  store_test::WriteBytes(File(), file);
  PutRegistryString("a", "imported");
  EXPECT_EQ(Lk("a"), "imported");
  // Reads leave the damaged file alone; the first change copies it aside and rewrites it.
  EXPECT_FALSE(store_test::PathExists(temp_ / "localrgs.dat.damaged-1"));
  ASSERT_EQ(store_->WriteValue("b", "3", true), S_OK);
  EXPECT_EQ(Lk("a"), "imported");
  EXPECT_EQ(store_test::ReadBytes(temp_ / "localrgs.dat.damaged-1"), file);
  const Bytes now = store_test::ReadBytes(File());
  EXPECT_EQ(store_test::StoredBlocks(now)[1], store_test::StoredBlocks(file)[1]);
  EXPECT_EQ(Lk("u", false), "2");
}

TEST_F(VirtualRegistryTest, AFileThatIsNotAContainerIsKeptAndTheScopeImported) {
  const Bytes junk = {1, 2, 3, 4, 5};
  store_test::WriteBytes(File(), junk);
  PutRegistryString("k", "v");
  // A read answers from the import but does not copy or rewrite the damaged file.
  EXPECT_EQ(Lk("k"), "v");
  EXPECT_EQ(store_test::ReadBytes(File()), junk);
  EXPECT_FALSE(store_test::PathExists(temp_ / "localrgs.dat.damaged-1"));
  ASSERT_EQ(store_->WriteValue("k2", "v2", true), S_OK);
  EXPECT_EQ(store_test::ReadBytes(temp_ / "localrgs.dat.damaged-1"), junk);
  EXPECT_EQ(Lk("k"), "v");
  EXPECT_EQ(Lk("k2"), "v2");
}

// The names of the damaged-file copies in `folder`.
std::vector<std::string> DamagedCopies(const std::string& folder) {
  std::vector<std::string> copies;
  for (const std::string& name : store_test::FolderNames(folder)) {
    if (name.find(kDamagedSuffix) != std::string::npos) copies.push_back(name);
  }
  return copies;
}

// A damaged file whose rewrite keeps failing is copied aside once, however many commands try.
TEST_F(VirtualRegistryTest, ADamagedFileThatCannotBeRewrittenIsCopiedOnce) {
  store_test::WriteBytes(File(), {9, 9, 9});
  fs_.FailCall(FileOp::kReplace, 1, CFaultInjectingFileSystem::kForever);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(store_->WriteValue("k", "v", true), VEXA_E_WRITE_FAILED);
    EXPECT_EQ(Lk("k"), "unknown");
  }
  EXPECT_EQ(DamagedCopies(temp_.Path()), std::vector<std::string>{"localrgs.dat.damaged-1"});
  fs_.Clear();
  ASSERT_EQ(store_->WriteValue("k", "v", true), S_OK);
  EXPECT_EQ(DamagedCopies(temp_.Path()), std::vector<std::string>{"localrgs.dat.damaged-1"});
  EXPECT_EQ(Lk("k"), "v");
}

TEST_F(VirtualRegistryTest, NullArgumentsAndValuesPastTheLimits) {
  EXPECT_EQ(store_->WriteValue(nullptr, "v", true), E_INVALIDARG);
  EXPECT_EQ(store_->WriteValue("k", nullptr, true), E_INVALIDARG);
  EXPECT_EQ(store_->ReadValue("k", nullptr, true), E_INVALIDARG);
  CSmallStr value("junk");
  EXPECT_EQ(store_->ReadValue(nullptr, &value, true), E_INVALIDARG);
  EXPECT_STREQ(value.c_str(), "");
  const std::string bigValue(kMaxRegistryValueLength + 1, 'v');
  const std::string bigName(kMaxRegistryNameLength + 1, 'n');
  EXPECT_EQ(store_->WriteValue("k", bigValue.c_str(), true), VEXA_E_STORE_LIMIT);
  EXPECT_EQ(store_->WriteValue(bigName.c_str(), "v", true), VEXA_E_STORE_LIMIT);
  EXPECT_FALSE(store_test::FileExists(File()));
  // Values at the limits are fine.
  const std::string atLimit(kMaxRegistryValueLength, 'v');
  ASSERT_EQ(store_->WriteValue("k", atLimit.c_str(), true), S_OK);
  EXPECT_EQ(Lk("k").size(), kMaxRegistryValueLength);
}

TEST_F(VirtualRegistryTest, TheCountOfValuesIsBounded) {
  CVirtualRegistryManager full;
  for (size_t i = 0; i < kMaxRegistryValues; ++i) full.Values()["v" + std::to_string(i)] = "";
  ASSERT_EQ(store_->WriteScope(kSharedScopeEntry, full), S_OK);
  EXPECT_EQ(store_->WriteValue("one more", "x", true), VEXA_E_STORE_LIMIT);
  // Changing a value that exists is fine.
  EXPECT_EQ(store_->WriteValue("v7", "x", true), S_OK);
  full.Values()["one more"] = "";
  EXPECT_EQ(store_->WriteScope(kSharedScopeEntry, full), VEXA_E_STORE_LIMIT);
}

TEST_F(VirtualRegistryTest, ToolsReadAndWriteScopesWithoutImporting) {
  PutRegistryString("r", "1");
  std::vector<std::string> scopes;
  ASSERT_EQ(store_->ListScopes(&scopes), S_OK);
  EXPECT_TRUE(scopes.empty());
  CVirtualRegistryManager values;
  EXPECT_EQ(store_->ReadScope(kSharedScopeEntry, &values), E_ACCESSDENIED);
  values.Values()["w"] = "2";
  ASSERT_EQ(store_->WriteScope("someone", values), S_OK);
  ASSERT_EQ(store_->ListScopes(&scopes), S_OK);
  EXPECT_EQ(scopes, (std::vector<std::string>{"someone"}));
  CVirtualRegistryManager back;
  ASSERT_EQ(store_->ReadScope("SOMEONE", &back), S_OK);
  EXPECT_EQ(back.Values(), values.Values());
}

}  // namespace

namespace {

// The import from a key made by Windows' own "reg add", in the real registry (Windows builds,
// under Wine in CI). Other systems have no reg.exe and no registry.
TEST(RealRegistryImport, ValuesOfAKeyMadeByRegAdd) {
  if (!vexa::platform::HasAccessLists()) GTEST_SKIP() << "no Windows registry here";
  const std::string key = "Software\\VexaStoreTests\\RegAdd";
  const std::string command = "reg add \"HKCU\\" + key + "\" /v ";
  ASSERT_EQ(std::system((command + "Level /d 7 /f >NUL 2>&1").c_str()), 0);
  ASSERT_EQ(std::system((command + "Count /t REG_DWORD /d 0x31 /f >NUL 2>&1").c_str()), 0);
  ASSERT_EQ(std::system((command + "Words /t REG_MULTI_SZ /d one\\0two /f >NUL 2>&1").c_str()), 0);

  store_test::CStoreFolder temp;
  ASSERT_TRUE(temp.ok());
  vexa::storage::CFixedDataFolders folders(temp.Path(), "");
  CVirtualRegistry store(&folders);
  store.SetImportKeySource([&] { return key; });
  CSmallStr value;
  ASSERT_EQ(store.ReadValue("Level", &value, true), S_OK);
  EXPECT_STREQ(value.c_str(), "7");
  // Other types: their bytes up to the first zero.
  ASSERT_EQ(store.ReadValue("Count", &value, true), S_OK);
  EXPECT_STREQ(value.c_str(), "1");
  ASSERT_EQ(store.ReadValue("Words", &value, true), S_OK);
  EXPECT_STREQ(value.c_str(), "one");
  std::system(("reg delete \"HKCU\\" + key + "\" /f >NUL 2>&1").c_str());
  // Gone from the registry, still in the file.
  ASSERT_EQ(store.ReadValue("Level", &value, false), E_FAIL);
  ASSERT_EQ(store.ReadValue("Level", &value, true), S_OK);
  EXPECT_STREQ(value.c_str(), "7");
}

}  // namespace
