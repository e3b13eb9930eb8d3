// The atomic file layer: every step of a write can fail (or the process can end there) and the
// target keeps its old content or gets the new one, with no temporary file left once the fault is
// gone, and the write succeeds when tried again.
#include "storage/atomicfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/filesystem.h"
#include "storage/faultfs.h"
#include "storage/store_support.h"

namespace {

using store_test::Bytes;
using store_test::HasTemporaryFiles;
using store_test::ReadBytes;
using store_test::WriteBytes;
using vexa::platform::FileReadStatus;
using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;
using vexa::storage::WriteFileAtomic;

class AtomicFileTest : public vexa::testing::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    target_ = Path("game.sav");
    old_ = store_test::ToBytes("the old content of the file");
    new_.assign(3000, 0);
    for (size_t i = 0; i < new_.size(); ++i) new_[i] = static_cast<uint8_t>(i * 7);
  }

  HRESULT WriteNew(vexa::platform::IFileSystem* fs) {
    return WriteFileAtomic(fs, target_, new_.data(), new_.size());
  }

  std::string target_;
  Bytes old_;
  Bytes new_;
};

TEST_F(AtomicFileTest, CreatesAndReplacesFiles) {
  ASSERT_EQ(WriteFileAtomic(nullptr, target_, old_.data(), old_.size()), S_OK);
  EXPECT_EQ(ReadBytes(target_), old_);
  ASSERT_EQ(WriteNew(nullptr), S_OK);
  EXPECT_EQ(ReadBytes(target_), new_);
  ASSERT_EQ(WriteFileAtomic(nullptr, target_, nullptr, 0), S_OK);
  EXPECT_TRUE(ReadBytes(target_).empty());
  EXPECT_FALSE(HasTemporaryFiles(Root()));
}

TEST_F(AtomicFileTest, MissingFolderFailsWithoutCreatingAnything) {
  const std::string path = Path("absent") + "/file";
  EXPECT_EQ(WriteFileAtomic(nullptr, path, new_.data(), new_.size()), VEXA_E_WRITE_FAILED);
  EXPECT_TRUE(store_test::FolderNames(Root()).empty());
}

// A failure of each step in turn, on a file that exists and on one that does not.
struct StepCase {
  FileOp op;
  bool new_content_expected;  // the step comes after the replace
};

class AtomicFileStepTest : public AtomicFileTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(AtomicFileStepTest, FailedStepLeavesOldContentAndRetrySucceeds) {
  const StepCase& c = GetParam();
  for (bool existed : {true, false}) {
    SCOPED_TRACE(existed ? "file existed" : "no file before");
    if (existed)
      WriteBytes(target_, old_);
    else
      std::filesystem::remove(target_);
    CFaultInjectingFileSystem fs;
    fs.FailCall(c.op, 1);
    EXPECT_EQ(WriteNew(&fs), VEXA_E_WRITE_FAILED);
    EXPECT_EQ(fs.FailedCalls(), 1);
    if (c.new_content_expected) {
      EXPECT_EQ(ReadBytes(target_), new_);
    } else if (existed) {
      EXPECT_EQ(ReadBytes(target_), old_);
    } else {
      EXPECT_FALSE(store_test::PathExists(target_));
    }
    EXPECT_FALSE(HasTemporaryFiles(Root()));
    // The fault is gone: the same write goes through.
    ASSERT_EQ(WriteNew(&fs), S_OK);
    EXPECT_EQ(ReadBytes(target_), new_);
    EXPECT_FALSE(HasTemporaryFiles(Root()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AtomicFileStepTest,
    ::testing::Values(StepCase{FileOp::kCreateNew, false}, StepCase{FileOp::kWrite, false},
                      StepCase{FileOp::kFlush, false}, StepCase{FileOp::kClose, false},
                      StepCase{FileOp::kReplace, false}, StepCase{FileOp::kSyncFolder, true}),
    [](const auto& info) { return vexa::storage::FileOpName(info.param.op); });

TEST_F(AtomicFileTest, EveryNthCallFailingLeavesOldOrNewContent) {
  // Count the calls of a good write, then fail each of them in turn.
  CFaultInjectingFileSystem counter;
  WriteBytes(target_, old_);
  ASSERT_EQ(WriteNew(&counter), S_OK);
  const int calls = counter.TotalCalls();
  ASSERT_GE(calls, 6);
  for (int n = 1; n <= calls; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    WriteBytes(target_, old_);
    CFaultInjectingFileSystem fs;
    fs.FailNthCall(n);
    const HRESULT hr = WriteNew(&fs);
    const Bytes now = ReadBytes(target_);
    EXPECT_TRUE(now == old_ || now == new_);
    // Success is only reported when the new content is in place.
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(now, new_);
    }
    EXPECT_FALSE(HasTemporaryFiles(Root()));
  }
}

TEST_F(AtomicFileTest, ShortWritesOfEveryLengthLeaveTheOldContent) {
  for (size_t k : {size_t{0}, size_t{1}, size_t{512}, new_.size() - 1}) {
    SCOPED_TRACE("bytes that reach the disk: " + std::to_string(k));
    WriteBytes(target_, old_);
    CFaultInjectingFileSystem fs;
    fs.LimitWrittenBytes(k);
    EXPECT_EQ(WriteNew(&fs), VEXA_E_WRITE_FAILED);
    EXPECT_EQ(ReadBytes(target_), old_);
    EXPECT_FALSE(HasTemporaryFiles(Root()));
    fs.Clear();
    ASSERT_EQ(WriteNew(&fs), S_OK);
    EXPECT_EQ(ReadBytes(target_), new_);
  }
}

// A write cut short by the end of the process at each step: a real process ends (a death test)
// and the parent finds the old or the new content; the leftover temporary file belongs to a
// process that no longer runs and goes with the next sweep of the folder.
TEST_F(AtomicFileTest, ProcessEndingAtEveryStepLeavesOldOrNewContent) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const FileOp steps[] = {FileOp::kCreateNew, FileOp::kWrite,   FileOp::kFlush,
                          FileOp::kClose,     FileOp::kReplace, FileOp::kSyncFolder};
  for (FileOp step : steps) {
    SCOPED_TRACE(vexa::storage::FileOpName(step));
    WriteBytes(target_, old_);
    EXPECT_EXIT(
        {
          CFaultInjectingFileSystem fs;
          fs.SetHook([step](FileOp op, const std::string&) {
            if (op == step) std::_Exit(7);
          });
          WriteNew(&fs);
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(7), "");
    const Bytes now = ReadBytes(target_);
    EXPECT_TRUE(now == old_ || now == new_);
    vexa::storage::RemoveStaleTemporaryFiles(nullptr, Root());
    EXPECT_FALSE(HasTemporaryFiles(Root()));
  }
}

TEST_F(AtomicFileTest, SweepKeepsThisProcessesTemporaryFilesAndOtherNames) {
  const std::string own = "x.sav.~vexa" + [] {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", vexa::platform::CurrentProcessId());
    return std::string(hex);
  }() + "-3.tmp";
  const std::string other =
      "x.sav.~vexa" + std::string(vexa::platform::CurrentProcessId() == 1 ? "2" : "1") + "-0.tmp";
  for (const std::string& name :
       {own, other, std::string("x.sav.~VEXA1a-2.TMP"), std::string("x.sav.~vexa1-2.tmp.keep"),
        std::string("x.sav"), std::string("notes.~vexa.txt")}) {
    MakeFile(name, "x");
  }
  EXPECT_EQ(vexa::storage::RemoveStaleTemporaryFiles(nullptr, Root()), 2);
  std::vector<std::string> kept = {"notes.~vexa.txt", "x.sav", own, "x.sav.~vexa1-2.tmp.keep"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(store_test::FolderNames(Root()), kept);
}

TEST_F(AtomicFileTest, WriteNewFileNeverReplaces) {
  WriteBytes(target_, old_);
  EXPECT_EQ(vexa::storage::WriteNewFile(nullptr, target_, new_.data(), new_.size()),
            VEXA_E_WRITE_FAILED);
  EXPECT_EQ(ReadBytes(target_), old_);
  const std::string fresh = Path("fresh");
  ASSERT_EQ(vexa::storage::WriteNewFile(nullptr, fresh, new_.data(), new_.size()), S_OK);
  EXPECT_EQ(ReadBytes(fresh), new_);
  // A failed flush removes the partial file.
  CFaultInjectingFileSystem fs;
  fs.FailCall(FileOp::kFlush, 1);
  EXPECT_EQ(vexa::storage::WriteNewFile(&fs, Path("other"), new_.data(), new_.size()),
            VEXA_E_WRITE_FAILED);
  EXPECT_FALSE(store_test::PathExists(Path("other")));
}

TEST_F(AtomicFileTest, ReplacesAReadOnlyTarget) {
  WriteBytes(target_, old_);
  ASSERT_TRUE(vexa::platform::SetFileReadOnly(target_, true));
  ASSERT_EQ(WriteNew(nullptr), S_OK);
  EXPECT_EQ(ReadBytes(target_), new_);
}

// Reads tell a missing file from one that exists and cannot be read.
TEST_F(AtomicFileTest, ReadTellsMissingFromUnreadable) {
  vexa::platform::IFileSystem& fs = vexa::platform::NativeFileSystem();
  Bytes out;
  EXPECT_EQ(fs.ReadFile(Path("none"), 100, &out), FileReadStatus::kMissing);
  EXPECT_EQ(fs.ReadFile(Path("none") + "/deeper", 100, &out), FileReadStatus::kMissing);
  MakeFolder("folder");
  EXPECT_EQ(fs.ReadFile(Path("folder"), 100, &out), FileReadStatus::kUnreadable);
  WriteBytes(target_, old_);
  EXPECT_EQ(fs.ReadFile(target_, old_.size() - 1, &out), FileReadStatus::kTooLarge);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(fs.ReadFile(target_, old_.size(), &out), FileReadStatus::kOk);
  EXPECT_EQ(out, old_);

  vexa::platform::FileHandle lock = vexa::platform::kNoFile;
  if (!vexa::platform::HoldFileLocked(target_, &lock)) GTEST_SKIP() << "no file locks here";
  EXPECT_EQ(fs.ReadFile(target_, 100, &out), FileReadStatus::kUnreadable);
  vexa::platform::ReleaseFileLock(lock);
  EXPECT_EQ(fs.ReadFile(target_, 100, &out), FileReadStatus::kOk);
}

TEST_F(AtomicFileTest, NonAsciiPathsWork) {
  // UTF-8 paths: a user profile the ANSI code page cannot spell.
  const std::string folder = Path("\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0");  // "Igra" in Cyrillic
  ASSERT_TRUE(vexa::platform::NativeFileSystem().CreateFolder(folder));
  const std::string path = folder + "/\xE6\x97\xA5\xE6\x9C\xAC";
  ASSERT_EQ(WriteFileAtomic(nullptr, path, new_.data(), new_.size()), S_OK);
  Bytes out;
  EXPECT_EQ(vexa::platform::NativeFileSystem().ReadFile(path, 1 << 20, &out), FileReadStatus::kOk);
  EXPECT_EQ(out, new_);
  std::vector<std::string> names;
  ASSERT_TRUE(vexa::platform::NativeFileSystem().ListFolder(folder, &names));
  EXPECT_EQ(names, std::vector<std::string>{"\xE6\x97\xA5\xE6\x9C\xAC"});
}

}  // namespace
