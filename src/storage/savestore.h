// CSaveStore: the save games of the running game (the ES, GS, SS and RS commands) with their cache
// and the background writer that puts changes on disk.
//
// Sets are read from their files once, on first use, and then served from memory. SetSave and
// RemoveSave only change memory and mark the set changed; a writer thread, started by the first
// change, writes changed sets as protected files (storage/protectedfile.h) in passes at most every
// 100 ms, so a save reaches the disk within about 100 ms plus one write and the commands never wait
// for a disk.
//
// Promises:
// - Nothing is lost at exit: Flush() writes every pending change on the calling thread, Stop()
//   also ends the writer; the destructor stops. The player calls Stop() after its message loop and
//   when the session ends.
// - A failed write keeps the set changed; the writer tries again (after 100 ms, doubling up to
//   5 s while it keeps failing) and Flush() tries once more at once. Writes are atomic.
// - A file that exists but cannot be read (locked for a moment by a virus scanner or a sync tool)
//   is never written over. Reads of that set fail (VEXA_E_FILE_UNREADABLE) and leave nothing
//   cached; changes are kept waiting in order and, like a failed write, retried by the writer (and
//   by the next read of the set): once the file reads, they are applied on top of its content and
//   written. A damaged file is copied aside before its first rewrite.
// - Set names are checked (vexa::storage::IsValidSetName): a bad name gets E_INVALIDARG and
//   touches no file. Names that differ only in ASCII letter case are one set (and one file).
// - A set removed (slot below 0) while the writer is writing it does not come back.
// - Limits: see storage/saves.h; at most kMaxCachedSets sets are kept. A full cache forgets the
//   set unused longest among those with nothing pending (it is read again on its next use); only
//   when every cached set has changes waiting does a new set fail with VEXA_E_STORE_LIMIT. A read
//   of a set that has no file is answered without caching anything. Allocation failures fail the
//   command or, on the writer thread, leave the set changed; they never end the process.
//
// Folders come from an IDataFolderSource, asked on every command (so a change of the game's folder
// settings applies at once); a set remembers the file it was read from, and the writer uses only
// what the sets remember (it never asks the source).
//
// Threading: the four commands, Flush and Stop are called from one thread (the UI thread); the
// writer is the only other thread. Lock order: cache lock, then a set's lock; the writer holds no
// lock while it writes a file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>

#include "platform/filesystem.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "storage/saves.h"

class CProtectedContainer;

namespace vexa::storage {

// Where the stores keep their files.
class IDataFolderSource {
 public:
  // The data folder (UTF-8, no trailing separator), created when needed. False when there is none
  // (the commands then fail).
  virtual bool GetDataFolder(std::string* folder) = 0;
  // The folder seed copies of missing files are looked for in (the process's current folder);
  // false or an empty folder for none.
  virtual bool GetSeedFolder(std::string* folder) = 0;

 protected:
  ~IDataFolderSource() = default;
};

// Fixed folders given by the caller.
class CFixedDataFolders : public IDataFolderSource {
 public:
  CFixedDataFolders(std::string data_folder, std::string seed_folder)
      : data_folder_(std::move(data_folder)), seed_folder_(std::move(seed_folder)) {}
  bool GetDataFolder(std::string* folder) override;
  bool GetSeedFolder(std::string* folder) override;

 private:
  std::string data_folder_;
  std::string seed_folder_;
};

// `folder` and `name` joined with the separator the folder already uses ('\\' when it has one and
// no '/', else '/'); `name` alone for an empty folder.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace vexa::storage

class CSaveStore {
 public:
  static constexpr int kMaxCachedSets = 4096;
  static constexpr std::chrono::milliseconds kPassInterval{100};
  static constexpr std::chrono::milliseconds kLongestRetryDelay{5000};

  // Called after every write attempt of a set file (on the thread that wrote), for tests and
  // benchmarks: the file's path and the status.
  using WriteObserver = std::function<void(const std::string& path, HRESULT status)>;

  // `folders` (not owned, required) must outlive the store; `fs` null means the native file
  // system. `background_writer` false: no writer thread is ever started and changes reach the disk
  // only through Flush and Stop (for tools that write synchronously, and deterministic tests).
  explicit CSaveStore(vexa::storage::IDataFolderSource* folders,
                      vexa::platform::IFileSystem* fs = nullptr, bool background_writer = true);
  ~CSaveStore();
  CSaveStore(const CSaveStore&) = delete;
  CSaveStore& operator=(const CSaveStore&) = delete;

  // The listing of the set (CSaveManager::BuildListing). S_OK; E_ACCESSDENIED when the set has no
  // file (and was never changed); E_FAIL when its file is damaged; VEXA_E_FILE_UNREADABLE;
  // E_INVALIDARG for a bad name; E_POINTER without `listing`. A set whose file did not read is not
  // cached by this command.
  HRESULT EnumSaves(const char* setName, CSmallStr* listing);
  // The data of the first save in `slot`. S_OK; E_ACCESSDENIED when the set has no such save or no
  // file; E_FAIL for a damaged file (the set is cached with the saves that could be read);
  // VEXA_E_FILE_UNREADABLE; E_INVALIDARG; E_POINTER. `data` is unchanged on failure.
  HRESULT GetSave(const char* setName, int32_t slot, CSmallStr* data);
  // Puts the save (replacing the first save in that slot, else appending). S_OK;
  // VEXA_E_STORE_LIMIT; E_INVALIDARG. A file that cannot be read keeps the change waiting (S_OK).
  // Null texts count as empty.
  HRESULT SetSave(const char* setName, int32_t slot, const char* description, const char* data);
  // Slot 0 or more: removes the first save in that slot (E_FAIL when there is none; the set is
  // marked changed either way). A negative slot forgets the set with its pending changes and
  // deletes its file in the data folder (never the seed copy); S_OK, or VEXA_E_WRITE_FAILED when
  // the file exists and cannot be deleted.
  HRESULT RemoveSave(const char* setName, int32_t slot);

  // Writes every changed set now, on the calling thread (waiting for a pass of the writer that is
  // under way). S_OK when nothing is pending afterwards, else the first write failure.
  HRESULT Flush();
  // Ends the writer thread and then flushes. A later change starts the writer again. Returns
  // Flush's status.
  HRESULT Stop();

  // Sets with changes not yet on disk (waiting, or being written by a pass).
  int GetPendingCount();
  bool IsWriterRunning();
  void SetWriteObserver(WriteObserver observer);

 private:
  struct Change;
  struct Set;
  struct Pending;
  using SetPtr = std::shared_ptr<Set>;

  // The data and seed folders now; false (E_FAIL) when there is no data folder.
  bool GetFolders(std::string* data_folder, std::string* seed_folder);
  SetPtr FindCached(const std::string& key);
  // Reads the set's file into a new Set. *status: the read's or the decoding's status.
  SetPtr ReadSet(const char* set_name, const std::string& data_folder,
                 const std::string& seed_folder, HRESULT* status);
  // Puts `fresh` in the cache unless a set of that key is there; returns the cached one, or null
  // when the cache is full.
  SetPtr Insert(const std::string& key, const SetPtr& fresh);
  // Drops the clean set used longest ago; false when every set has changes pending. Called with
  // the cache lock held exclusively.
  bool EvictOneClean();
  // What a command that does not find its set in the cache does with the read.
  enum class Miss {
    kCacheIfRead,     // EnumSaves: a failed read is answered and the set stays out of the cache
    kCacheAndAnswer,  // GetSave: the set is cached unless it has no file; a failed read is answered
    kCacheForChange,  // SetSave, RemoveSave: a failed read starts from what was read; a full
                      // cache refuses (VEXA_E_STORE_LIMIT)
  };
  // The command's set: the cached one, or one read from its file and put in the cache as `miss`
  // says (`*was_read` tells which, when given). Null when the command ends here, with the status
  // to answer in `*status`; otherwise `*status` is S_OK. A file that cannot be read enters the
  // cache only for a change (as an unread set whose changes wait); a lack of memory never does. A
  // full cache answers EnumSaves and GetSave from the set read.
  SetPtr FindOrRead(const char* set_name, const std::string& key, const std::string& data_folder,
                    const std::string& seed_folder, Miss miss, HRESULT* status,
                    bool* was_read = nullptr);
  // The folders of a command on the set `set_name` and the set's cache key. E_INVALIDARG for a
  // refused name, E_FAIL without a data folder.
  HRESULT Locate(const char* set_name, std::string* data_folder, std::string* seed_folder,
                 std::string* key);
  // The file name of the set in `folder`: an existing file whose name equals the set's ignoring
  // ASCII case, else the set's own name.
  std::string ResolveFileName(const std::string& folder, const char* set_name);

  void MarkChanged(Set* set);
  // For a set whose changes wait for its unreadable file: reads the file and applies the changes
  // on top of it. S_OK when the set holds its file's content (now or already);
  // VEXA_E_FILE_UNREADABLE or E_OUTOFMEMORY when the file still cannot be read. Takes the set's
  // lock itself; call it holding no lock.
  HRESULT ReadWaiting(const SetPtr& set);
  void StartWriter();
  void WriterLoop();
  // One pass: writes the changed sets (`force`: also those waiting for their retry time). Returns
  // the first failure, S_OK when every write succeeded.
  HRESULT RunPass(bool force);
  HRESULT WriteOne(Pending* pending);

  vexa::storage::IDataFolderSource* folders_;
  vexa::platform::IFileSystem* fs_;
  const bool background_writer_;

  std::shared_mutex cache_lock_;
  std::map<std::string, SetPtr> cache_;
  std::atomic<uint64_t> use_clock_{0};

  // Held for a whole pass (writer or Flush) and by RemoveSave around a deletion.
  std::mutex pass_lock_;
  std::set<std::string> swept_folders_;  // under pass_lock_

  std::mutex wake_lock_;
  std::condition_variable wake_;
  bool changed_ = false;  // under wake_lock_
  bool stop_ = false;     // under wake_lock_

  std::mutex writer_lock_;  // guards writer_
  std::thread writer_;

  std::mutex observer_lock_;
  WriteObserver observer_;
};
