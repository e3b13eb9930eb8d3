// CFaultInjectingFileSystem: a file system that passes every call on to another one and fails the
// calls it was told to fail, so tests can show what a full disk, a short write, a locked file or a
// crash between two steps does to the stores' files.
//
// Use: wrap the native file system, hand the wrapper to the store, then plan faults:
//   FailCall(FileOp::kReplace, 1)           the next Replace fails (once)
//   FailCall(FileOp::kWrite, 2, kForever)   the second Write from now and every later one fail
//   FailNthCall(5)                          the fifth call of any operation from now fails
//   LimitWrittenBytes(100)                  100 more bytes reach files, then writes fail (disk
//   full;
//                                           the write that crosses the limit delivers a part)
//   SetHook(fn)                             fn(op, path) runs before every call: it may end the
//                                           process (crash tests) or wait (race tests)
// A failed call does not reach the wrapped file system, except Close, which always closes (a
// handle must not leak) and then reports the failure; a failed ReadFile reports kUnreadable.
//
// Thread-safe: the plan is guarded by a lock; the hook runs without it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace vexa::storage {

enum class FileOp {
  kReadFile,
  kCreateNew,
  kWrite,
  kFlush,
  kClose,
  kReplace,
  kSyncFolder,
  kRemove,
  kExists,
  kListFolder,
  kCreateFolder,
  kCount
};

// A short name of the operation ("Replace"), for test messages.
const char* FileOpName(FileOp op);

class CFaultInjectingFileSystem : public vexa::platform::IFileSystem {
 public:
  static constexpr int kForever = -1;
  using Hook = std::function<void(FileOp op, const std::string& path)>;

  // `inner` (not owned) does the real work; null means the native file system.
  explicit CFaultInjectingFileSystem(vexa::platform::IFileSystem* inner = nullptr);

  // The `nth` call of `op` from now (1 = the next one) fails, and so do the `count` - 1 calls of
  // `op` after it (kForever: every one after it). Replaces an earlier plan for `op`.
  void FailCall(FileOp op, int nth, int count = 1);
  // The `nth` call of any operation from now fails (once).
  void FailNthCall(int nth);
  // From now on only `bytes` more bytes reach files; then every Write fails until Clear.
  void LimitWrittenBytes(uint64_t bytes);
  void SetHook(Hook hook);
  // Forgets every planned fault and the hook (the counters stay).
  void Clear();

  // Calls made so far (including failed ones).
  int CallCount(FileOp op) const;
  int TotalCalls() const;
  // Calls that were made to fail so far.
  int FailedCalls() const;

  // vexa::platform::IFileSystem
  vexa::platform::FileReadStatus ReadFile(const std::string& path, uint64_t max_size,
                                          std::vector<uint8_t>* out) override;
  bool CreateNew(const std::string& path, vexa::platform::FileHandle* file) override;
  bool Write(vexa::platform::FileHandle file, const void* data, size_t size,
             size_t* written) override;
  bool Flush(vexa::platform::FileHandle file) override;
  bool Close(vexa::platform::FileHandle file) override;
  bool Replace(const std::string& from, const std::string& to) override;
  bool SyncFolder(const std::string& folder) override;
  bool Remove(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool ListFolder(const std::string& folder, std::vector<std::string>* names) override;
  bool CreateFolder(const std::string& path) override;

 private:
  struct Plan {
    int countdown = 0;  // calls to let through before failing; 0: no plan
    int remaining = 0;  // failures still to give (kForever: no end)
  };

  // Counts the call, runs the hook and tells whether the call must fail.
  bool Enter(FileOp op, const std::string& path);
  std::string PathOf(vexa::platform::FileHandle file);

  vexa::platform::IFileSystem* inner_;
  mutable std::mutex lock_;
  Hook hook_;
  Plan plans_[static_cast<int>(FileOp::kCount)];
  int any_countdown_ = 0;
  bool limit_bytes_ = false;
  uint64_t bytes_left_ = 0;
  int calls_[static_cast<int>(FileOp::kCount)] = {};
  int failed_ = 0;
  std::map<vexa::platform::FileHandle, std::string> open_;
};

}  // namespace vexa::storage
