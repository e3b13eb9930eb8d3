// Random sequences of save commands against a plain in-memory model of what they mean, with write
// faults thrown in; then shutdown, restart on the same folder, and every set must read back as the
// model says. Also: files the store writes are exactly what the archiver writes for the same
// saves, and the package reader reads them.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "data/package.h"
#include "storage/faultfs.h"
#include "storage/savestore.h"
#include "storage/store_support.h"

namespace {

using store_test::SaveRecord;
using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;

// The model: set key (lower case) to saves in order.
using ModelSet = std::vector<SaveRecord>;

std::string ModelListing(const ModelSet& saves) {
  std::string text = "<saves>\n";
  for (const SaveRecord& s : saves)
    text += "\t<save n=\"" + s.description + "\" s=\"" + std::to_string(s.slot) + "\"/>\n";
  return text + "</saves>";
}

class SaveModelTest : public vexa::testing::ScratchFolderTest,
                      public ::testing::WithParamInterface<uint32_t> {};

TEST_P(SaveModelTest, RandomCommandsSurviveARestart) {
  std::mt19937 rng(GetParam());
  const std::string data = Root();
  vexa::storage::CFixedDataFolders folders(data, "");
  CFaultInjectingFileSystem fs;
  auto store = std::make_unique<CSaveStore>(&folders, &fs);

  const char* const names[] = {"alpha", "Alpha", "ALPHA", "beta", "Gamma", "gamma", "delta"};
  std::map<std::string, ModelSet> model;  // sets that have a file (or will once written)
  std::set<std::string> cached;           // sets the store holds in memory
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };

  for (int step = 0; step < 400; ++step) {
    const char* name = names[pick(7)];
    const std::string key = vexa::storage::SetNameKey(name);
    const int32_t slot = pick(6) - 1;  // -1 to 4
    const int op = pick(100);
    SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + " " + name);
    if (op < 45) {
      const std::string description = "d" + std::to_string(pick(1000));
      const std::string value =
          std::string(static_cast<size_t>(pick(300)), 'v') + "#" + std::to_string(step);
      ASSERT_EQ(store->SetSave(name, slot, description.c_str(), value.c_str()), S_OK);
      ModelSet& set = model[key];
      bool found = false;
      for (SaveRecord& s : set) {
        if (s.slot == slot) {
          s.description = description;
          s.data = value;
          found = true;
          break;
        }
      }
      if (!found) set.push_back({slot, description, value});
      cached.insert(key);
    } else if (op < 60) {
      const HRESULT hr = store->RemoveSave(name, slot);
      if (slot < 0) {
        ASSERT_EQ(hr, S_OK);
        model.erase(key);
        cached.erase(key);
      } else {
        ModelSet& set = model[key];
        bool removed = false;
        for (auto it = set.begin(); it != set.end(); ++it) {
          if (it->slot == slot) {
            set.erase(it);
            removed = true;
            break;
          }
        }
        // A set read for this command answers success whatever it held.
        EXPECT_EQ(hr, removed || !cached.count(key) ? S_OK : E_FAIL);
        cached.insert(key);
      }
    } else if (op < 80) {
      CSmallStr value;
      const HRESULT hr = store->GetSave(name, slot, &value);
      auto it = model.find(key);
      const SaveRecord* expected = nullptr;
      if (it != model.end())
        for (const SaveRecord& s : it->second)
          if (s.slot == slot && !expected) expected = &s;
      if (expected) {
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(value.str(), expected->data);
      } else {
        EXPECT_EQ(hr, E_ACCESSDENIED);
      }
      cached.insert(key);
    } else if (op < 92) {
      CSmallStr listing;
      const HRESULT hr = store->EnumSaves(name, &listing);
      auto it = model.find(key);
      if (hr == E_ACCESSDENIED) {
        // Only a set that was never written or read can be missing.
        EXPECT_TRUE(it == model.end() || it->second.empty());
      } else {
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(listing.str(), ModelListing(it == model.end() ? ModelSet() : it->second));
        cached.insert(key);
      }
    } else if (op < 96) {
      // A stretch of failing writes: the changes must wait, not vanish.
      const FileOp ops[] = {FileOp::kCreateNew, FileOp::kWrite, FileOp::kFlush, FileOp::kReplace};
      fs.FailCall(ops[pick(4)], 1 + pick(3), 1 + pick(5));
    } else {
      store->Flush();
    }
  }

  fs.Clear();
  ASSERT_EQ(store->Stop(), S_OK);
  EXPECT_FALSE(store_test::HasTemporaryFiles(data));
  store.reset();

  CSaveStore restarted(&folders);
  for (const char* name : names) {
    const std::string key = vexa::storage::SetNameKey(name);
    auto it = model.find(key);
    CSmallStr listing;
    const HRESULT hr = restarted.EnumSaves(name, &listing);
    if (it == model.end()) {
      EXPECT_EQ(hr, E_ACCESSDENIED) << name;
    } else {
      ASSERT_EQ(hr, S_OK) << name;
      EXPECT_EQ(listing.str(), ModelListing(it->second)) << name;
      for (const SaveRecord& s : it->second) {
        CSmallStr value;
        ASSERT_EQ(restarted.GetSave(name, s.slot, &value), S_OK);
        EXPECT_EQ(value.str(), s.data);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, SaveModelTest, ::testing::Values(1u, 2u, 3u, 17u, 2024u));

// ---- Cross-format

class SaveFormatTest : public vexa::testing::ScratchFolderTest {};

TEST_F(SaveFormatTest, StoreFilesAreTheArchiversBytesAndReadBackThroughThePackageReader) {
  vexa::storage::CFixedDataFolders folders(Root(), "");
  const std::vector<SaveRecord> saves = {
      {0, "Chapter \"One\"", std::string(2000, 'x')}, {-3, "", ""}, {12, "\xE9t\xE9", "bytes\x01"}};
  {
    CSaveStore store(&folders);
    for (const SaveRecord& s : saves)
      ASSERT_EQ(store.SetSave("Campaign", s.slot, s.description.c_str(), s.data.c_str()), S_OK);
  }
  const store_test::Bytes file = store_test::ReadBytes(Path("Campaign"));
  EXPECT_EQ(file, store_test::SetFile("Campaign", saves));

  // The package reader (the same one that reads data.pak) reads the entry with the password.
  CPackageArchive archive;
  auto* buffer = new CSmartBuffer;
  buffer->Assign(file.data(), static_cast<int32_t>(file.size()));
  ASSERT_TRUE(archive.Parse(buffer, buffer->Size()));
  ASSERT_EQ(archive.GetEntryCount(), 1);
  CSmartBuffer entry;
  ASSERT_TRUE(archive.ReadEntryNamed("CAMPAIGN", kSaveSetPassword, &entry));
  EXPECT_EQ(store_test::Bytes(entry.Data(), entry.Data() + entry.Size()),
            store_test::EncodeSet(saves));
  EXPECT_FALSE(archive.ReadEntryNamed("Campaign", kHighScorePassword, &entry));
}

TEST_F(SaveFormatTest, ArchiverFilesReadIntoTheStoreAndBackUnchanged) {
  const std::vector<SaveRecord> saves = {{5, "five", "5"}, {1, "one", "1"}, {5, "dup", "x"}};
  const store_test::Bytes file = store_test::SetFile("Old Game", saves);
  store_test::WriteBytes(Path("Old Game"), file);
  vexa::storage::CFixedDataFolders folders(Root(), "");
  CSaveStore store(&folders);
  CSmallStr listing;
  ASSERT_EQ(store.EnumSaves("old game", &listing), S_OK);
  EXPECT_EQ(listing.str(), ModelListing(saves));
  // Rewriting unchanged saves gives the same bytes.
  ASSERT_EQ(store.SetSave("OLD GAME", 5, "five", "5"), S_OK);
  ASSERT_EQ(store.Stop(), S_OK);
  EXPECT_EQ(store_test::ReadBytes(Path("Old Game")), file);
}

}  // namespace
