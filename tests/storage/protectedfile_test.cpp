// Protected data files: reading and replacing entries, damaged and unreadable files, seed copies.
#include "storage/protectedfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "storage/faultfs.h"
#include "storage/store_support.h"

namespace {

using store_test::Bytes;
using store_test::Pack;
using store_test::PackEntry;
using store_test::ReadBytes;
using store_test::ToBytes;
using store_test::WriteBytes;
using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;

using State = CProtectedContainer::State;

CMemoryStream StreamOf(const std::string& text) {
  return CMemoryStream(text.data(), text.size());
}

std::string Text(const CMemoryStream& stream) {
  return std::string(stream.Data().begin(), stream.Data().end());
}

// The stored blocks of a container file, by entry, as they lie in the file.
struct RawEntry {
  std::string name;
  Bytes block;
  uint32_t unpacked;
  bool operator==(const RawEntry& o) const {
    return name == o.name && block == o.block && unpacked == o.unpacked;
  }
};

std::vector<RawEntry> RawEntries(const Bytes& file) {
  CProtectedContainer container;
  container.Adopt("x", file);
  std::vector<RawEntry> out;
  const CPackageArchive* archive = container.GetArchive();
  if (!archive) return out;
  for (int32_t i = 0; i < archive->GetEntryCount(); ++i) {
    const PackageEntry* e = archive->GetEntry(i);
    RawEntry raw{e->name, {}, e->unpacked_length};
    if (archive->IsEntryInBounds(i))
      raw.block.assign(file.begin() + e->offset, file.begin() + e->offset + e->stored_length);
    out.push_back(raw);
  }
  return out;
}

class ProtectedFileTest : public vexa::testing::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    path_ = Path(kHighScoreFileName);
  }

  HRESULT Read(const char* entry, const char* password, CProtectedContainer* container,
               std::string* text) {
    CMemoryStream out;
    HRESULT hr = ReadProtectedEntry(nullptr, path_, entry, password, container, &out);
    if (text) *text = Text(out);
    return hr;
  }

  HRESULT Replace(const char* entry, const std::string& text, const char* password,
                  CProtectedContainer* container, vexa::platform::IFileSystem* fs = nullptr) {
    CMemoryStream in = StreamOf(text);
    return ReplaceProtectedEntry(fs, &in, path_, entry, password, container);
  }

  std::string path_;
};

TEST_F(ProtectedFileTest, ReplaceIntoAMissingFileThenReadBack) {
  CProtectedContainer file;
  EXPECT_EQ(Read("Level1", kHighScorePassword, &file, nullptr), E_ACCESSDENIED);
  EXPECT_EQ(file.GetState(), State::kMissing);
  ASSERT_EQ(Replace("Level1", "100 90", kHighScorePassword, &file), S_OK);
  EXPECT_EQ(file.GetState(), State::kParsed);

  CProtectedContainer again;
  std::string text;
  ASSERT_EQ(Read("LEVEL1", kHighScorePassword, &again, &text), S_OK);
  EXPECT_EQ(text, "100 90");
  // The file is what the archiver makes of that one entry.
  EXPECT_EQ(ReadBytes(path_), Pack({{"Level1", ToBytes("100 90"), kHighScorePassword}}));
}

TEST_F(ProtectedFileTest, ReplaceKeepsOtherEntriesPositionsAndStoredNames) {
  WriteBytes(path_, Pack({{"first", ToBytes("1 1 1"), kHighScorePassword},
                          {"Level1", ToBytes("old"), kHighScorePassword},
                          {"third", ToBytes("3"), kHighScorePassword}}));
  const std::vector<RawEntry> before = RawEntries(ReadBytes(path_));
  CProtectedContainer file;
  ASSERT_EQ(Read("level1", kHighScorePassword, &file, nullptr), S_OK);
  ASSERT_EQ(Replace("LEVEL1", "new", kHighScorePassword, &file), S_OK);
  const std::vector<RawEntry> after = RawEntries(ReadBytes(path_));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after[1].name, "Level1");
  EXPECT_EQ(after[2], before[2]);
  // A table that had no entry yet goes last.
  ASSERT_EQ(Replace("fourth", "4", kHighScorePassword, &file), S_OK);
  const std::vector<RawEntry> appended = RawEntries(ReadBytes(path_));
  ASSERT_EQ(appended.size(), 4u);
  EXPECT_EQ(appended[3].name, "fourth");
  std::string text;
  CProtectedContainer check;
  ASSERT_EQ(Read("Level1", kHighScorePassword, &check, &text), S_OK);
  EXPECT_EQ(text, "new");
  EXPECT_TRUE(check.GetBackupPath().empty());
  EXPECT_EQ(store_test::FolderNames(Root()), std::vector<std::string>{kHighScoreFileName});
}

// Entries written with another password, or whose data does not decode, come through a rewrite
// byte for byte: the file is not theirs to judge.
TEST_F(ProtectedFileTest, EntriesThatDoNotDecodeAreCarriedOverUnchanged) {
  Bytes file = Pack({{"mine", ToBytes("mine"), kRegistryPassword},
                     {"foreign", ToBytes("other password"), "another"},
                     {"broken", ToBytes("will be broken"), kRegistryPassword}});
  // Damage the last entry's data (it lies at the end of the file).
  file.back() ^= 0x5A;
  file[file.size() - 3] ^= 0xA5;
  WriteBytes(path_, file);
  const std::vector<RawEntry> before = RawEntries(file);

  CProtectedContainer container;
  std::string text;
  EXPECT_EQ(Read("foreign", kRegistryPassword, &container, &text), E_FAIL);
  ASSERT_EQ(Replace("mine", "changed", kRegistryPassword, &container), S_OK);
  const std::vector<RawEntry> after = RawEntries(ReadBytes(path_));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[1], before[1]);
  EXPECT_EQ(after[2], before[2]);
  // The entry that did not decode made the file count as damaged: its old bytes were kept.
  EXPECT_EQ(ReadBytes(path_ + ".damaged-1"), file);
}

// Corrupt files of each kind: the documented status, the damaged ones copied byte for byte before
// the first rewrite, and the rewrite keeps what could be kept.
struct CorruptCase {
  const char* what;
  Bytes (*make)();
  HRESULT status;
  bool damaged;
};

Bytes GoodFile() {
  return Pack({{"scores", ToBytes("100"), kHighScorePassword},
               {"other", ToBytes("keep me"), kHighScorePassword}});
}

const CorruptCase kCorruptCases[] = {
    {"empty file", [] { return Bytes(); }, E_FAIL, false},
    {"not a container", [] { return ToBytes("plain text, no container"); }, E_FAIL, true},
    {"wrong password",
     [] {
       return Pack({{"scores", ToBytes("100"), "wrong"}});
     },
     E_FAIL, true},
    {"missing entry",
     [] {
       return Pack({{"other", ToBytes("x"), kHighScorePassword}});
     },
     E_FAIL, false},
    {"entry past the end",
     [] {
       Bytes b = GoodFile();
       b.resize(b.size() - 2);
       return b;
     },
     S_OK, true},
    {"good file", GoodFile, S_OK, false},
};

class CorruptFileTest : public ProtectedFileTest,
                        public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptFileTest, StatusBackupAndRewrite) {
  const CorruptCase& c = GetParam();
  const Bytes original = c.make();
  WriteBytes(path_, original);
  CProtectedContainer file;
  EXPECT_EQ(Read("scores", kHighScorePassword, &file, nullptr), c.status);
  EXPECT_EQ(file.IsDamaged(), c.damaged);
  ASSERT_EQ(Replace("scores", "200", kHighScorePassword, &file), S_OK);
  if (c.damaged) {
    EXPECT_EQ(file.GetBackupPath(), path_ + ".damaged-1");
    EXPECT_EQ(ReadBytes(path_ + ".damaged-1"), original);
  } else {
    EXPECT_TRUE(file.GetBackupPath().empty());
    EXPECT_FALSE(store_test::PathExists(path_ + ".damaged-1"));
  }
  // A second rewrite of the now healthy file makes no further copy.
  ASSERT_EQ(Replace("scores", "300", kHighScorePassword, &file), S_OK);
  EXPECT_FALSE(store_test::PathExists(path_ + ".damaged-2"));
  CProtectedContainer check;
  std::string text;
  ASSERT_EQ(Read("scores", kHighScorePassword, &check, &text), S_OK);
  EXPECT_EQ(text, "300");
}

INSTANTIATE_TEST_SUITE_P(Kinds, CorruptFileTest, ::testing::ValuesIn(kCorruptCases),
                         [](const auto& info) {
                           std::string name = info.param.what;
                           for (char& ch : name)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST_F(ProtectedFileTest, EveryPrefixOfAGoodFileReadsSafelyAndKeepsACopy) {
  const Bytes good = GoodFile();
  for (size_t n = 0; n < good.size(); ++n) {
    SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
    std::filesystem::remove_all(Root());
    std::filesystem::create_directory(Root());
    const Bytes prefix(good.begin(), good.begin() + n);
    WriteBytes(path_, prefix);
    CProtectedContainer file;
    std::string text;
    const HRESULT hr = Read("scores", kHighScorePassword, &file, &text);
    // Once the first entry is complete it reads; the cut-off one makes the file damaged.
    if (hr == S_OK) {
      EXPECT_EQ(text, "100");
    } else {
      EXPECT_EQ(hr, E_FAIL);
    }
    EXPECT_EQ(file.IsDamaged(), n > 0);
    ASSERT_EQ(Replace("scores", "1", kHighScorePassword, &file), S_OK);
    if (n > 0) {
      EXPECT_EQ(ReadBytes(path_ + ".damaged-1"), prefix);
    }
    CProtectedContainer check;
    ASSERT_EQ(Read("scores", kHighScorePassword, &check, &text), S_OK);
    EXPECT_EQ(text, "1");
  }
}

TEST_F(ProtectedFileTest, BackupsTakeTheNextFreeNumberAndAFailedBackupBlocksTheRewrite) {
  const Bytes junk = ToBytes("junk");
  WriteBytes(path_, junk);
  WriteBytes(path_ + ".damaged-1", ToBytes("an earlier copy"));
  CProtectedContainer file;
  EXPECT_EQ(Read("scores", kHighScorePassword, &file, nullptr), E_FAIL);

  CFaultInjectingFileSystem fs;
  fs.FailCall(FileOp::kCreateNew, 1);
  EXPECT_EQ(Replace("scores", "1", kHighScorePassword, &file, &fs), VEXA_E_BACKUP_FAILED);
  EXPECT_EQ(ReadBytes(path_), junk);

  ASSERT_EQ(Replace("scores", "1", kHighScorePassword, &file, &fs), S_OK);
  EXPECT_EQ(ReadBytes(path_ + ".damaged-1"), ToBytes("an earlier copy"));
  EXPECT_EQ(ReadBytes(path_ + ".damaged-2"), junk);
}

// A file that exists but cannot be read is not a missing file: nothing is written over it.
TEST_F(ProtectedFileTest, UnreadableFileIsNeverWrittenOver) {
  const Bytes good = GoodFile();
  WriteBytes(path_, good);
  CFaultInjectingFileSystem fs;
  fs.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  CProtectedContainer file;
  CMemoryStream out;
  EXPECT_EQ(ReadProtectedEntry(&fs, path_, "scores", kHighScorePassword, &file, &out),
            VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(file.GetState(), State::kUnreadable);
  EXPECT_EQ(Replace("scores", "1", kHighScorePassword, &file, &fs), VEXA_E_FILE_UNREADABLE);
  // Also without an earlier read.
  EXPECT_EQ(Replace("scores", "1", kHighScorePassword, nullptr, &fs), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(ReadBytes(path_), good);
  EXPECT_EQ(fs.CallCount(FileOp::kCreateNew), 0);

  // A folder in the file's place, and (where the OS has them) a file another program holds.
  std::filesystem::remove(path_);
  MakeFolder(kHighScoreFileName);
  CProtectedContainer folder;
  EXPECT_EQ(Read("scores", kHighScorePassword, &folder, nullptr), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(Replace("scores", "1", kHighScorePassword, &folder), VEXA_E_FILE_UNREADABLE);
  EXPECT_TRUE(std::filesystem::is_directory(path_));
  std::filesystem::remove(path_);

  WriteBytes(path_, good);
  vexa::platform::FileHandle lock = vexa::platform::kNoFile;
  if (!vexa::platform::HoldFileLocked(path_, &lock)) return;
  CProtectedContainer locked;
  EXPECT_EQ(Read("scores", kHighScorePassword, &locked, nullptr), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(Replace("scores", "1", kHighScorePassword, &locked), VEXA_E_FILE_UNREADABLE);
  vexa::platform::ReleaseFileLock(lock);
  EXPECT_EQ(ReadBytes(path_), good);
}

TEST_F(ProtectedFileTest, ListingNamesTheEntriesInFileOrderOrTellsWhyNot) {
  std::vector<std::string> names{"left over"};
  EXPECT_EQ(ListProtectedEntries(nullptr, path_, nullptr), E_POINTER);
  EXPECT_EQ(ListProtectedEntries(nullptr, path_, &names), S_OK);  // no file
  EXPECT_TRUE(names.empty());

  WriteBytes(path_, {});
  names = {"left over"};
  EXPECT_EQ(ListProtectedEntries(nullptr, path_, &names), S_OK);
  EXPECT_TRUE(names.empty());

  WriteBytes(path_, ToBytes("not a container"));
  names = {"left over"};
  EXPECT_EQ(ListProtectedEntries(nullptr, path_, &names), E_FAIL);
  EXPECT_TRUE(names.empty());

  // Stored names as written, whatever the password of each entry.
  WriteBytes(path_, Pack({{"Zeta", ToBytes("1"), kHighScorePassword},
                          {"alpha", ToBytes("2"), kRegistryPassword}}));
  EXPECT_EQ(ListProtectedEntries(nullptr, path_, &names), S_OK);
  EXPECT_EQ(names, (std::vector<std::string>{"Zeta", "alpha"}));

  std::filesystem::remove(path_);
  MakeFolder(kHighScoreFileName);
  EXPECT_EQ(ListProtectedEntries(nullptr, path_, &names), VEXA_E_FILE_UNREADABLE);
  EXPECT_TRUE(names.empty());
}

TEST_F(ProtectedFileTest, FilesOverTheSizeLimitAreUnreadable) {
  { std::ofstream out(path_, std::ios::binary); }
  std::filesystem::resize_file(path_, kMaxProtectedFileSize + 1);
  CProtectedContainer file;
  EXPECT_EQ(Read("scores", kHighScorePassword, &file, nullptr), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(Replace("scores", "1", kHighScorePassword, &file), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(std::filesystem::file_size(path_), kMaxProtectedFileSize + 1);
}

TEST_F(ProtectedFileTest, EntryInflatingPastTheLimitCountsAsDamaged) {
  const Bytes huge(kMaxProtectedEntrySize + 1, 'z');
  WriteBytes(path_, Pack({{"scores", huge, kHighScorePassword}}));
  CProtectedContainer file;
  EXPECT_EQ(Read("scores", kHighScorePassword, &file, nullptr), E_FAIL);
  EXPECT_TRUE(file.IsDamaged());
}

TEST_F(ProtectedFileTest, WriteProtectedFileWritesOneSaveSetEntry) {
  CMemoryStream in = StreamOf("set content");
  ASSERT_EQ(WriteProtectedFile(nullptr, &in, path_, "MySet"), S_OK);
  EXPECT_EQ(ReadBytes(path_), Pack({{"MySet", ToBytes("set content"), kSaveSetPassword}}));
  // Its failures leave the file as it was.
  CFaultInjectingFileSystem fs;
  fs.FailCall(FileOp::kReplace, 1);
  CMemoryStream other = StreamOf("other");
  EXPECT_EQ(WriteProtectedFile(&fs, &other, path_, "MySet"), VEXA_E_WRITE_FAILED);
  EXPECT_EQ(ReadBytes(path_), Pack({{"MySet", ToBytes("set content"), kSaveSetPassword}}));
}

TEST_F(ProtectedFileTest, AFailedRewriteChangesNothingAndCanBeRepeated) {
  const Bytes good = GoodFile();
  WriteBytes(path_, good);
  CProtectedContainer file;
  ASSERT_EQ(Read("scores", kHighScorePassword, &file, nullptr), S_OK);
  for (FileOp op :
       {FileOp::kCreateNew, FileOp::kWrite, FileOp::kFlush, FileOp::kClose, FileOp::kReplace}) {
    SCOPED_TRACE(vexa::storage::FileOpName(op));
    CFaultInjectingFileSystem fs;
    fs.FailCall(op, 1);
    EXPECT_EQ(Replace("scores", "500", kHighScorePassword, &file, &fs), VEXA_E_WRITE_FAILED);
    EXPECT_EQ(ReadBytes(path_), good);
    EXPECT_FALSE(store_test::HasTemporaryFiles(Root()));
  }
  ASSERT_EQ(Replace("scores", "500", kHighScorePassword, &file), S_OK);
  CProtectedContainer check;
  std::string text;
  ASSERT_EQ(Read("other", kHighScorePassword, &check, &text), S_OK);
  EXPECT_EQ(text, "keep me");
}

// ---- Seed copies

class SeedCopyTest : public ProtectedFileTest {
 protected:
  void SetUp() override {
    ProtectedFileTest::SetUp();
    MakeFolder("data");
    MakeFolder("game");
    data_path_ = Path("data") + "/Slot1";
    seed_path_ = Path("game") + "/Slot1";
    seed_ = store_test::SetFile("Slot1", {{0, "d", "seeded"}});
    WriteBytes(seed_path_, seed_);
  }

  HRESULT ReadWithSeed(CProtectedContainer* file, vexa::platform::IFileSystem* fs = nullptr) {
    CMemoryStream out;
    return ReadProtectedEntryWithSeed(fs, data_path_, seed_path_, "Slot1", kSaveSetPassword, file,
                                      &out);
  }

  std::string data_path_;
  std::string seed_path_;
  Bytes seed_;
};

TEST_F(SeedCopyTest, MissingFileIsFilledFromTheSeedWithoutItsReadOnlyFlag) {
  ASSERT_TRUE(vexa::platform::SetFileReadOnly(seed_path_, true));
  CProtectedContainer file;
  ASSERT_EQ(ReadWithSeed(&file), S_OK);
  EXPECT_EQ(ReadBytes(data_path_), seed_);
  vexa::platform::FileFlags flags;
  ASSERT_TRUE(vexa::platform::GetFileFlags(data_path_, &flags));
  EXPECT_FALSE(flags.read_only);
}

// A process killed in the middle of the copy must not leave a short file that later reads take for
// the real one: at every step of the copy the data-folder file is either absent or whole.
TEST_F(SeedCopyTest, TheCopyAppearsWholeOrNotAtAll) {
  CFaultInjectingFileSystem fs;
  int steps = 0;
  std::vector<std::string> seen_partial;
  fs.SetHook([&](FileOp op, const std::string&) {
    ++steps;
    if (!store_test::PathExists(data_path_)) return;
    if (ReadBytes(data_path_) != seed_) seen_partial.push_back(vexa::storage::FileOpName(op));
  });
  CProtectedContainer file;
  ASSERT_EQ(ReadWithSeed(&file, &fs), S_OK);
  fs.SetHook(nullptr);
  EXPECT_GT(steps, 2);
  EXPECT_TRUE(seen_partial.empty()) << "partial file before " << seen_partial.front();
  EXPECT_EQ(ReadBytes(data_path_), seed_);
  EXPECT_FALSE(store_test::HasTemporaryFiles(Path("data")));
}

// A failed step of the copy leaves neither a data-folder file nor a temporary file behind.
TEST_F(SeedCopyTest, AFailedCopyLeavesNothingBehind) {
  for (const FileOp op : {FileOp::kWrite, FileOp::kFlush, FileOp::kClose, FileOp::kReplace}) {
    CFaultInjectingFileSystem fs;
    fs.FailCall(op, 1);
    CProtectedContainer file;
    EXPECT_EQ(ReadWithSeed(&file, &fs), S_OK) << vexa::storage::FileOpName(op);
    EXPECT_FALSE(store_test::PathExists(data_path_)) << vexa::storage::FileOpName(op);
    EXPECT_FALSE(store_test::HasTemporaryFiles(Path("data"))) << vexa::storage::FileOpName(op);
  }
}

TEST_F(SeedCopyTest, SeedIsReadEvenWhenItCannotBeCopied) {
  CFaultInjectingFileSystem fs;
  fs.FailCall(FileOp::kCreateNew, 1, CFaultInjectingFileSystem::kForever);
  CProtectedContainer file;
  EXPECT_EQ(ReadWithSeed(&file, &fs), S_OK);
  EXPECT_FALSE(store_test::PathExists(data_path_));
}

TEST_F(SeedCopyTest, DamagedOrUnreadableFilesAreNotReplacedByTheSeed) {
  WriteBytes(data_path_, ToBytes("damaged"));
  CProtectedContainer damaged;
  EXPECT_EQ(ReadWithSeed(&damaged), E_FAIL);
  EXPECT_EQ(ReadBytes(data_path_), ToBytes("damaged"));

  std::filesystem::remove(data_path_);
  std::filesystem::create_directory(data_path_);
  CProtectedContainer unreadable;
  EXPECT_EQ(ReadWithSeed(&unreadable), VEXA_E_FILE_UNREADABLE);
  EXPECT_TRUE(std::filesystem::is_directory(data_path_));
}

TEST_F(SeedCopyTest, MissingEverywhereIsAccessDenied) {
  std::filesystem::remove(seed_path_);
  CProtectedContainer file;
  EXPECT_EQ(ReadWithSeed(&file), E_ACCESSDENIED);
  EXPECT_FALSE(store_test::PathExists(data_path_));
}

}  // namespace
