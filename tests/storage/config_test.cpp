// CConfigManager over the current user's registry. Natively this runs against the platform's
// in-memory stand-in; in the Windows build (under Wine) against the real registry, below a key of
// the test's own that is deleted afterwards.
#include "storage/config.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/userfolders.h"

namespace {

using vexa::platform::DeleteRegistryKey;
using vexa::platform::kRegistryBinary;
using vexa::platform::kRegistryDword;
using vexa::platform::kRegistryString;
using vexa::platform::WriteRegistryValue;

class ConfigManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = "Software\\VexaStoreTests\\Config-" +
           std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    DeleteRegistryKey(key_);
  }
  void TearDown() override { EXPECT_TRUE(DeleteRegistryKey(key_)); }

  void PutString(const std::string& name, const std::string& text) {
    ASSERT_TRUE(
        WriteRegistryValue(key_, name, kRegistryString, text.c_str(), text.size() + 1, true));
  }

  std::string key_;
};

HRESULT Collect(const char* name, const char* text, void* context) {
  auto* out = static_cast<std::vector<std::pair<std::string, std::string>>*>(context);
  out->emplace_back(name, text);
  return S_OK;
}

HRESULT StopAfterFirst(const char* name, const char* text, void* context) {
  Collect(name, text, context);
  return E_ABORT;
}

TEST_F(ConfigManagerTest, GetSetAndEnumerate) {
  PutString("Level", "7");
  PutString("Name", "Ann");
  CConfigManager<RegistryStoragePolicy>* config = ConfigManager();

  CSmallStr text;
  ASSERT_EQ(config->Get(key_.c_str(), "Level", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "7");
  // Value names ignore case, as in the registry.
  ASSERT_EQ(config->Get(key_.c_str(), "NAME", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "Ann");

  ASSERT_EQ(config->Set(key_.c_str(), "Level", "8"), S_OK);
  ASSERT_EQ(config->Get(key_.c_str(), "Level", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "8");

  std::vector<std::pair<std::string, std::string>> seen;
  ASSERT_EQ(config->Enumerate(key_.c_str(), Collect, &seen), S_OK);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first == "Level" ? seen[0].second : seen[1].second, "8");

  // A negative answer stops the enumeration; the enumeration itself still succeeds.
  seen.clear();
  ASSERT_EQ(config->Enumerate(key_.c_str(), StopAfterFirst, &seen), S_OK);
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ConfigManagerTest, MissingKeyOrValueFailsAndSetCreatesNothing) {
  CConfigManager<RegistryStoragePolicy>* config = ConfigManager();
  CSmallStr text("kept");
  EXPECT_EQ(config->Get(key_.c_str(), "Level", &text), E_FAIL);
  EXPECT_STREQ(text.c_str(), "kept");
  EXPECT_EQ(config->Set(key_.c_str(), "Level", "1"), E_FAIL);
  std::vector<std::pair<std::string, std::string>> seen;
  EXPECT_EQ(config->Enumerate(key_.c_str(), Collect, &seen), E_FAIL);
  // Set did not create the key.
  EXPECT_EQ(config->Get(key_.c_str(), "Level", &text), E_FAIL);

  PutString("Other", "x");
  EXPECT_EQ(config->Get(key_.c_str(), "Level", &text), E_FAIL);
  EXPECT_EQ(config->Get(nullptr, "Level", &text), E_POINTER);
  EXPECT_EQ(config->Set(key_.c_str(), "Level", nullptr), E_POINTER);
  EXPECT_EQ(config->Enumerate(key_.c_str(), nullptr, nullptr), E_POINTER);
}

TEST_F(ConfigManagerTest, ValuesOfOtherTypesReadAsTheirBytesUpToTheFirstZero) {
  const uint32_t dword = 0x00003231;  // little-endian bytes '1' '2' 0 0
  ASSERT_TRUE(WriteRegistryValue(key_, "Count", kRegistryDword, &dword, sizeof(dword), true));
  const uint8_t binary[] = {'a', 'b', 0, 'c'};
  ASSERT_TRUE(WriteRegistryValue(key_, "Blob", kRegistryBinary, binary, sizeof(binary), true));
  const char unterminated[] = {'x', 'y', 'z'};
  ASSERT_TRUE(WriteRegistryValue(key_, "Bare", kRegistryBinary, unterminated, 3, true));
  ASSERT_TRUE(WriteRegistryValue(key_, "Empty", kRegistryString, "", 1, true));

  CConfigManager<RegistryStoragePolicy>* config = ConfigManager();
  CSmallStr text;
  ASSERT_EQ(config->Get(key_.c_str(), "Count", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "12");
  ASSERT_EQ(config->Get(key_.c_str(), "Blob", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "ab");
  ASSERT_EQ(config->Get(key_.c_str(), "Bare", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "xyz");
  ASSERT_EQ(config->Get(key_.c_str(), "Empty", &text), S_OK);
  EXPECT_STREQ(text.c_str(), "");
}

TEST_F(ConfigManagerTest, LongValuesAreReadWhole) {
  // Longer than the first read buffer, so the read has to grow it.
  const std::string longText(70000, 'q');
  PutString("Long", longText);
  CSmallStr text;
  ASSERT_EQ(ConfigManager()->Get(key_.c_str(), "Long", &text), S_OK);
  EXPECT_EQ(text.GetLength(), 70000);
  std::vector<std::pair<std::string, std::string>> seen;
  ASSERT_EQ(ConfigManager()->Enumerate(key_.c_str(), Collect, &seen), S_OK);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].second, longText);
}

TEST(UserName, TheOsNamesTheUser) {
  std::string name;
  ASSERT_TRUE(vexa::platform::GetCurrentUserName(&name));
  EXPECT_FALSE(name.empty());
}

}  // namespace
