// The save store: the four commands over the cache, the writer, and what happens to the files
// when writes fail, files are damaged or unreadable, and sets are removed while being written.
#include "storage/savestore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "storage/faultfs.h"
#include "storage/protectedfile.h"
#include "storage/store_support.h"

namespace {

using store_test::Bytes;
using store_test::ReadBytes;
using store_test::SetFile;
using store_test::WriteBytes;
using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;

// Polls `done` for up to 20 seconds (a safety net, not a speed goal).
template <class F>
bool WaitFor(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class SaveStoreTest : public vexa::testing::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    MakeFolder("data");
    MakeFolder("game");
    data_ = Path("data");
    seed_ = Path("game");
    folders_ = std::make_unique<vexa::storage::CFixedDataFolders>(data_, seed_);
    store_ = std::make_unique<CSaveStore>(folders_.get(), &fs_);
  }

  void TearDown() override {
    store_.reset();
    ScratchFolderTest::TearDown();
  }

  // A new store on the same folders, as after a restart.
  void Restart() {
    store_.reset();
    fs_.Clear();
    store_ = std::make_unique<CSaveStore>(folders_.get(), &fs_);
  }

  std::string DataFile(const std::string& name) const { return data_ + "/" + name; }

  std::string Listing(const char* set) {
    CSmallStr listing;
    const HRESULT hr = store_->EnumSaves(set, &listing);
    return SUCCEEDED(hr) ? listing.str() : "failed " + std::to_string(hr);
  }

  std::string Get(const char* set, int32_t slot) {
    CSmallStr data;
    const HRESULT hr = store_->GetSave(set, slot, &data);
    return SUCCEEDED(hr) ? data.str() : "failed " + std::to_string(hr);
  }

  CFaultInjectingFileSystem fs_;
  std::string data_;
  std::string seed_;
  std::unique_ptr<vexa::storage::CFixedDataFolders> folders_;
  std::unique_ptr<CSaveStore> store_;
};

TEST_F(SaveStoreTest, ANewSaveIsListedAtOnceAndWrittenByTheWriter) {
  EXPECT_FALSE(store_->IsWriterRunning());
  EXPECT_EQ(store_->EnumSaves("Progress", nullptr), E_POINTER);
  CSmallStr listing;
  EXPECT_EQ(store_->EnumSaves("Progress", &listing), E_ACCESSDENIED);

  ASSERT_EQ(store_->SetSave("Progress", 1, "Chapter 1", "state-1"), S_OK);
  EXPECT_EQ(Listing("Progress"), "<saves>\n\t<save n=\"Chapter 1\" s=\"1\"/>\n</saves>");
  EXPECT_EQ(Get("Progress", 1), "state-1");
  // The first change started the writer; the file appears without any further command.
  EXPECT_TRUE(store_->IsWriterRunning());
  ASSERT_TRUE(WaitFor([&] { return store_test::PathExists(DataFile("Progress")); }));
  ASSERT_TRUE(WaitFor([&] { return store_->GetPendingCount() == 0; }));
  EXPECT_EQ(ReadBytes(DataFile("Progress")), SetFile("Progress", {{1, "Chapter 1", "state-1"}}));
}

TEST_F(SaveStoreTest, SecondSaveToASlotKeepsItsPlace) {
  store_->SetSave("s", 1, "one", "1");
  store_->SetSave("s", 2, "two", "2");
  store_->SetSave("s", 1, "ONE", "11");
  EXPECT_EQ(Listing("s"),
            "<saves>\n\t<save n=\"ONE\" s=\"1\"/>\n\t<save n=\"two\" s=\"2\"/>\n</saves>");
  EXPECT_EQ(Get("s", 1), "11");
}

TEST_F(SaveStoreTest, MissingSavesAndSetsAnswerAccessDenied) {
  EXPECT_EQ(Get("nothing", 0), "failed " + std::to_string(E_ACCESSDENIED));
  store_->SetSave("some", 1, "d", "x");
  EXPECT_EQ(Get("some", 2), "failed " + std::to_string(E_ACCESSDENIED));
  CSmallStr data("kept");
  EXPECT_EQ(store_->GetSave("some", 2, &data), E_ACCESSDENIED);
  EXPECT_EQ(data, "kept");
}

TEST_F(SaveStoreTest, StopWritesEverythingPendingAndEndsTheWriter) {
  for (int i = 0; i < 20; ++i) {
    const std::string set = "set" + std::to_string(i);
    store_->SetSave(set.c_str(), i, "d", set.c_str());
  }
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_FALSE(store_->IsWriterRunning());
  EXPECT_EQ(store_->GetPendingCount(), 0);
  for (int i = 0; i < 20; ++i) {
    const std::string set = "set" + std::to_string(i);
    EXPECT_EQ(ReadBytes(DataFile(set)), SetFile(set, {{i, "d", set}})) << set;
  }
  // A change after Stop starts the writer again.
  store_->SetSave("late", 0, "", "x");
  EXPECT_TRUE(store_->IsWriterRunning());
}

TEST_F(SaveStoreTest, DestroyingTheStoreWritesPendingChanges) {
  // The writer cannot write yet; only the final flush can.
  fs_.FailCall(FileOp::kCreateNew, 1, CFaultInjectingFileSystem::kForever);
  store_->SetSave("exit", 3, "at exit", "last words");
  ASSERT_TRUE(WaitFor([&] { return fs_.CallCount(FileOp::kCreateNew) > 0; }));
  fs_.Clear();
  store_.reset();
  EXPECT_EQ(ReadBytes(DataFile("exit")), SetFile("exit", {{3, "at exit", "last words"}}));
}

TEST_F(SaveStoreTest, FailedWritesAreRetriedUntilTheyGoThrough) {
  std::atomic<int> attempts{0};
  store_->SetWriteObserver([&](const std::string&, HRESULT) { ++attempts; });
  fs_.FailCall(FileOp::kReplace, 1, CFaultInjectingFileSystem::kForever);
  store_->SetSave("retry", 1, "d", "v1");
  // The writer tries again by itself.
  ASSERT_TRUE(WaitFor([&] { return attempts >= 2; }));
  EXPECT_EQ(store_->GetPendingCount(), 1);
  EXPECT_FALSE(store_test::PathExists(DataFile("retry")));
  EXPECT_FALSE(store_test::HasTemporaryFiles(data_));
  // Flush tries at once and reports the failure.
  EXPECT_EQ(store_->Flush(), VEXA_E_WRITE_FAILED);
  fs_.Clear();
  ASSERT_TRUE(WaitFor([&] { return store_->GetPendingCount() == 0; }));
  EXPECT_EQ(ReadBytes(DataFile("retry")), SetFile("retry", {{1, "d", "v1"}}));
  store_->SetWriteObserver(nullptr);
}

TEST_F(SaveStoreTest, DiskFullLeavesTheOldFileAndTheChangePending) {
  store_->SetSave("full", 1, "d", "old");
  ASSERT_EQ(store_->Flush(), S_OK);
  const Bytes old = ReadBytes(DataFile("full"));
  fs_.LimitWrittenBytes(10);
  store_->SetSave("full", 1, "d", std::string(5000, 'n').c_str());
  EXPECT_EQ(store_->Flush(), VEXA_E_WRITE_FAILED);
  EXPECT_EQ(ReadBytes(DataFile("full")), old);
  EXPECT_EQ(store_->GetPendingCount(), 1);
  fs_.Clear();
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("full")), SetFile("full", {{1, "d", std::string(5000, 'n')}}));
}

TEST_F(SaveStoreTest, NamesDifferingInCaseAreOneSetAndOneFile) {
  store_->SetSave("Level", 1, "first", "a");
  store_->SetSave("LEVEL", 2, "second", "b");
  EXPECT_EQ(Get("level", 1), "a");
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(store_test::FolderNames(data_), std::vector<std::string>{"Level"});
  Restart();
  EXPECT_EQ(Get("lEvEl", 2), "b");
  // A later change keeps the file's name and its entry's name.
  store_->SetSave("LEVEL", 3, "third", "c");
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(store_test::FolderNames(data_), std::vector<std::string>{"Level"});
  EXPECT_EQ(ReadBytes(DataFile("Level")),
            SetFile("Level", {{1, "first", "a"}, {2, "second", "b"}, {3, "third", "c"}}));
}

TEST_F(SaveStoreTest, ExistingFileIsFoundWhateverTheCaseOfTheRequest) {
  WriteBytes(DataFile("SAVE1"), SetFile("SAVE1", {{0, "d", "from disk"}}));
  EXPECT_EQ(Get("save1", 0), "from disk");
  store_->SetSave("Save1", 1, "d", "new");
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(store_test::FolderNames(data_), std::vector<std::string>{"SAVE1"});
  EXPECT_EQ(ReadBytes(DataFile("SAVE1")),
            SetFile("SAVE1", {{0, "d", "from disk"}, {1, "d", "new"}}));
}

TEST_F(SaveStoreTest, RemovingASetDeletesItsFileAndTheSeedBringsItBack) {
  store_->SetSave("gone", 1, "d", "x");
  ASSERT_EQ(store_->Flush(), S_OK);
  ASSERT_TRUE(store_test::PathExists(DataFile("gone")));
  EXPECT_EQ(store_->RemoveSave("gone", -1), S_OK);
  EXPECT_FALSE(store_test::PathExists(DataFile("gone")));
  EXPECT_EQ(Get("gone", 1), "failed " + std::to_string(E_ACCESSDENIED));

  const Bytes seeded = SetFile("gone", {{7, "seed", "from the game folder"}});
  WriteBytes(seed_ + "/gone", seeded);
  EXPECT_EQ(store_->RemoveSave("gone", -1), S_OK);  // drops the empty cached set
  EXPECT_EQ(Get("gone", 7), "from the game folder");
  EXPECT_EQ(ReadBytes(DataFile("gone")), seeded);
  // The seed copy itself is never deleted.
  EXPECT_EQ(store_->RemoveSave("gone", -1), S_OK);
  EXPECT_EQ(ReadBytes(seed_ + "/gone"), seeded);
}

TEST_F(SaveStoreTest, RemovingOneSaveMarksTheSetChanged) {
  store_->SetSave("r", 1, "a", "1");
  store_->SetSave("r", 2, "b", "2");
  EXPECT_EQ(store_->RemoveSave("r", 1), S_OK);
  EXPECT_EQ(store_->RemoveSave("r", 1), E_FAIL);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("r")), SetFile("r", {{2, "b", "2"}}));
  // On a set not yet read: read, remove, write.
  Restart();
  EXPECT_EQ(store_->RemoveSave("r", 2), S_OK);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("r")), SetFile("r", {}));
}

// A set removed while the writer is writing it (or has copied it for a pass) is not written again.
TEST_F(SaveStoreTest, ASetRemovedDuringAWriteDoesNotComeBack) {
  // Passes only where the test runs them.
  store_ = std::make_unique<CSaveStore>(folders_.get(), &fs_, false);
  store_->SetSave("a", 1, "", "a");
  store_->SetSave("b", 1, "", "b");
  std::mutex lock;
  std::condition_variable changed;
  bool writing = false;
  bool release = false;
  fs_.SetHook([&](FileOp op, const std::string& path) {
    if (op != FileOp::kCreateNew || vexa::storage::NameOf(path).rfind("a.~", 0) != 0) return;
    std::unique_lock<std::mutex> guard(lock);
    writing = true;
    changed.notify_all();
    changed.wait(guard, [&] { return release; });
  });
  std::thread writer([&] { store_->Flush(); });  // the pass: "a" first, then "b"
  {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return writing; });
  }
  // Both removals wait for the pass; "a" is being written, "b" was copied but not written yet.
  std::thread remover([&] {
    store_->RemoveSave("b", -1);
    store_->RemoveSave("a", -1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  {
    std::lock_guard<std::mutex> guard(lock);
    release = true;
  }
  changed.notify_all();
  writer.join();
  remover.join();
  fs_.SetHook(nullptr);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_FALSE(store_test::PathExists(DataFile("a")));
  EXPECT_FALSE(store_test::PathExists(DataFile("b")));
}

TEST_F(SaveStoreTest, DamagedFileIsReadAsFarAsItGoesAndCopiedBeforeItsRewrite) {
  Bytes content = store_test::EncodeSet({{1, "one", "first"}, {2, "two", "second"}}, 5);
  const Bytes damaged = store_test::Pack({{"broken", content, kSaveSetPassword}});
  WriteBytes(DataFile("broken"), damaged);
  EXPECT_EQ(Get("broken", 1), "failed " + std::to_string(E_FAIL));
  // Cached with what could be read.
  EXPECT_EQ(Get("broken", 2), "second");
  store_->SetSave("broken", 3, "three", "third");
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("broken.damaged-1")), damaged);
  EXPECT_EQ(ReadBytes(DataFile("broken")),
            SetFile("broken", {{1, "one", "first"}, {2, "two", "second"}, {3, "three", "third"}}));
}

TEST_F(SaveStoreTest, ListingOfADamagedFileFailsAndIsNotCached) {
  WriteBytes(DataFile("bad"), store_test::ToBytes("not a container"));
  CSmallStr listing;
  EXPECT_EQ(store_->EnumSaves("bad", &listing), E_FAIL);
  WriteBytes(DataFile("bad"), SetFile("bad", {{4, "d", "x"}}));
  EXPECT_EQ(Listing("bad"), "<saves>\n\t<save n=\"d\" s=\"4\"/>\n</saves>");
}

// An unreadable file (locked by another program) is never written over; once it can be read again
// the commands work on its content.
TEST_F(SaveStoreTest, UnreadableFileIsNeverWrittenOver) {
  const Bytes original = SetFile("locked", {{1, "d", "precious"}});
  WriteBytes(DataFile("locked"), original);
  fs_.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  EXPECT_EQ(Get("locked", 1), "failed " + std::to_string(VEXA_E_FILE_UNREADABLE));
  CSmallStr listing;
  EXPECT_EQ(store_->EnumSaves("locked", &listing), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(store_->Flush(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("locked")), original);
  fs_.Clear();
  EXPECT_EQ(store_->SetSave("locked", 2, "d", "new"), S_OK);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("locked")),
            SetFile("locked", {{1, "d", "precious"}, {2, "d", "new"}}));
}

// A virus scanner or a sync tool holds the file for a moment just as the movie saves: the changes
// wait (nothing is written over the file meanwhile) and go to disk on top of its content once it
// can be read.
TEST_F(SaveStoreTest, ChangesToABrieflyLockedFileWaitAndAreWrittenOnTopOfIt) {
  const Bytes original = SetFile("locked", {{1, "d", "precious"}, {3, "d", "gone soon"}});
  WriteBytes(DataFile("locked"), original);
  fs_.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  EXPECT_EQ(store_->SetSave("locked", 2, "d", "new"), S_OK);
  EXPECT_EQ(store_->RemoveSave("locked", 3), S_OK);
  EXPECT_EQ(store_->SetSave("locked", 1, "D", "changed"), S_OK);
  EXPECT_EQ(store_->GetPendingCount(), 1);
  EXPECT_EQ(store_->Flush(), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(ReadBytes(DataFile("locked")), original);
  EXPECT_EQ(store_->GetPendingCount(), 1);

  fs_.Clear();
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("locked")),
            SetFile("locked", {{1, "D", "changed"}, {2, "d", "new"}}));
  EXPECT_EQ(Get("locked", 2), "new");
  EXPECT_EQ(Get("locked", 3), "failed " + std::to_string(E_ACCESSDENIED));
}

// Reads of a set whose changes wait for its file see the file's content with the changes, as soon
// as the file can be read.
TEST_F(SaveStoreTest, ReadsOfAWaitingSetAnswerOnceTheFileCanBeRead) {
  WriteBytes(DataFile("locked"), SetFile("locked", {{1, "d", "precious"}}));
  fs_.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  store_->Stop();  // no writer: only the read below may resolve the set
  CSaveStore store(folders_.get(), &fs_, false);
  EXPECT_EQ(store.SetSave("locked", 2, "d", "new"), S_OK);
  CSmallStr data;
  EXPECT_EQ(store.GetSave("locked", 2, &data), VEXA_E_FILE_UNREADABLE);
  fs_.Clear();
  CSmallStr listing;
  ASSERT_EQ(store.EnumSaves("locked", &listing), S_OK);
  EXPECT_EQ(listing.str(),
            "<saves>\n\t<save n=\"d\" s=\"1\"/>\n\t<save n=\"d\" s=\"2\"/>\n</saves>");
  ASSERT_EQ(store.Flush(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("locked")),
            SetFile("locked", {{1, "d", "precious"}, {2, "d", "new"}}));
}

TEST_F(SaveStoreTest, LockedFileUnderTheOs) {
  const Bytes original = SetFile("held", {{1, "d", "x"}});
  WriteBytes(DataFile("held"), original);
  vexa::platform::FileHandle lock = vexa::platform::kNoFile;
  if (!vexa::platform::HoldFileLocked(DataFile("held"), &lock)) GTEST_SKIP() << "no file locks";
  EXPECT_EQ(store_->SetSave("held", 2, "d", "y"), S_OK);
  EXPECT_EQ(store_->Flush(), VEXA_E_FILE_UNREADABLE);
  vexa::platform::ReleaseFileLock(lock);
  EXPECT_EQ(ReadBytes(DataFile("held")), original);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("held")), SetFile("held", {{1, "d", "x"}, {2, "d", "y"}}));
  EXPECT_EQ(Get("held", 1), "x");
}

TEST_F(SaveStoreTest, BadNamesTouchNoFile) {
  WriteBytes(data_ + "/../secret", store_test::ToBytes("outside"));
  for (const char* name : {"../secret", "..", "a/b", "C:\\x", "CON", "bstscore.dat", "", "x."}) {
    SCOPED_TRACE(name);
    CSmallStr out;
    EXPECT_EQ(store_->EnumSaves(name, &out), E_INVALIDARG);
    EXPECT_EQ(store_->GetSave(name, 0, &out), E_INVALIDARG);
    EXPECT_EQ(store_->SetSave(name, 0, "d", "x"), E_INVALIDARG);
    EXPECT_EQ(store_->RemoveSave(name, -1), E_INVALIDARG);
  }
  EXPECT_EQ(store_->EnumSaves(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(store_->SetSave(nullptr, 0, "d", "x"), E_INVALIDARG);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_TRUE(store_test::FolderNames(data_).empty());
  EXPECT_EQ(ReadBytes(data_ + "/../secret"), store_test::ToBytes("outside"));
  EXPECT_EQ(fs_.CallCount(FileOp::kRemove), 0);
}

TEST_F(SaveStoreTest, DisplayPreferenceSetsWork) {
  for (const char* set : {"monitorinfo", "ratioinfo", "favratio"}) {
    ASSERT_EQ(store_->SetSave(set, 0, "pref", "ON"), S_OK) << set;
  }
  ASSERT_EQ(store_->Stop(), S_OK);
  Restart();
  EXPECT_EQ(Get("monitorinfo", 0), "ON");
  EXPECT_EQ(Get("favratio", 0), "ON");
}

TEST_F(SaveStoreTest, CommandsOverTheLimitsFail) {
  const std::string big(kMaxSaveTextLength + 1, 'x');
  EXPECT_EQ(store_->SetSave("big", 0, "", big.c_str()), VEXA_E_STORE_LIMIT);
  EXPECT_EQ(Get("big", 0), "failed " + std::to_string(E_ACCESSDENIED));

  // The set count: files are not written here (nothing but the count is under test). "big" holds
  // nothing pending, so the last of these sets takes its place; then every set has changes waiting.
  fs_.FailCall(FileOp::kCreateNew, 1, CFaultInjectingFileSystem::kForever);
  for (int i = 1; i <= CSaveStore::kMaxCachedSets; ++i) {
    const std::string set = "s" + std::to_string(i);
    ASSERT_EQ(store_->SetSave(set.c_str(), 0, "", ""), S_OK) << set;
  }
  EXPECT_EQ(store_->SetSave("one-too-many", 0, "", ""), VEXA_E_STORE_LIMIT);
  // Sets already cached still change.
  EXPECT_EQ(store_->SetSave("s1", 1, "", "more"), S_OK);
  store_->SetWriteObserver(nullptr);
  store_.reset();  // the final flush fails quietly; nothing can be written
}

// Asking for sets that have no file leaves nothing behind: a movie that probes thousands of names
// can still make a new set afterwards.
TEST_F(SaveStoreTest, ReadsOfSetsWithoutAFileDoNotFillTheCache) {
  for (int i = 0; i < CSaveStore::kMaxCachedSets; ++i) {
    const std::string set = "probe" + std::to_string(i);
    ASSERT_EQ(Get(set.c_str(), 0), "failed " + std::to_string(E_ACCESSDENIED)) << set;
  }
  ASSERT_EQ(store_->SetSave("fresh", 1, "d", "x"), S_OK);
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("fresh")), SetFile("fresh", {{1, "d", "x"}}));
}

// Thousands of files are written here; their durability is not under test, so the flushes are
// skipped. Files whose name starts with "blocked" cannot be created while `block` is set.
class CQuickFileSystem : public CFaultInjectingFileSystem {
 public:
  bool block = false;
  bool CreateNew(const std::string& path, vexa::platform::FileHandle* file) override {
    if (block && vexa::storage::NameOf(path).rfind("blocked", 0) == 0) return false;
    return CFaultInjectingFileSystem::CreateNew(path, file);
  }
  bool Flush(vexa::platform::FileHandle) override { return true; }
  bool SyncFolder(const std::string&) override { return true; }
};

TEST_F(SaveStoreTest, AFullCacheForgetsSetsOnDiskButNeverAPendingChange) {
  CQuickFileSystem fs;
  CSaveStore store(folders_.get(), &fs, false);
  fs.block = true;
  ASSERT_EQ(store.SetSave("blocked", 7, "d", "unsaved"), S_OK);
  for (int i = 1; i < CSaveStore::kMaxCachedSets; ++i) {
    const std::string set = "s" + std::to_string(i);
    ASSERT_EQ(store.SetSave(set.c_str(), i, "d", set.c_str()), S_OK) << set;
  }
  EXPECT_NE(store.Flush(), S_OK);  // every set but the blocked one is on disk now
  EXPECT_EQ(store.GetPendingCount(), 1);

  // The blocked set was used first, so it would be the first to go if pending changes could.
  for (int i = 0; i < 50; ++i) {
    const std::string set = "new" + std::to_string(i);
    ASSERT_EQ(store.SetSave(set.c_str(), 0, "", "n"), S_OK) << set;
  }
  // Forgotten sets come back from their files.
  for (const int i : {1, 2, CSaveStore::kMaxCachedSets - 1}) {
    const std::string set = "s" + std::to_string(i);
    CSmallStr data;
    ASSERT_EQ(store.GetSave(set.c_str(), i, &data), S_OK) << set;
    EXPECT_EQ(data.str(), set);
  }
  fs.block = false;
  ASSERT_EQ(store.Flush(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("blocked")), SetFile("blocked", {{7, "d", "unsaved"}}));
  EXPECT_EQ(ReadBytes(DataFile("new49")), SetFile("new49", {{0, "", "n"}}));
}

TEST_F(SaveStoreTest, WithoutADataFolderEveryCommandFails) {
  vexa::storage::CFixedDataFolders none("", "");
  CSaveStore store(&none, &fs_);
  CSmallStr out;
  EXPECT_EQ(store.EnumSaves("x", &out), E_FAIL);
  EXPECT_EQ(store.GetSave("x", 0, &out), E_FAIL);
  EXPECT_EQ(store.SetSave("x", 0, "", ""), E_FAIL);
  EXPECT_EQ(store.RemoveSave("x", 0), E_FAIL);
  EXPECT_EQ(fs_.TotalCalls(), 0);
}

TEST_F(SaveStoreTest, AFolderDeletedWhileRunningIsMadeAgain) {
  store_->SetSave("first", 1, "", "x");
  ASSERT_EQ(store_->Flush(), S_OK);
  std::filesystem::remove_all(data_);
  store_->SetSave("first", 2, "", "y");
  ASSERT_EQ(store_->Flush(), S_OK);
  EXPECT_EQ(ReadBytes(DataFile("first")), SetFile("first", {{1, "", "x"}, {2, "", "y"}}));
}

TEST_F(SaveStoreTest, StaleTemporaryFilesOfAnEndedRunAreSwept) {
  MakeFile("data/x.~vexa1-0.tmp", "left by a killed process");
  if (vexa::platform::CurrentProcessId() == 1) GTEST_SKIP();
  store_->SetSave("x", 0, "", "");
  ASSERT_EQ(store_->Stop(), S_OK);
  EXPECT_EQ(store_test::FolderNames(data_), std::vector<std::string>{"x"});
}

}  // namespace
