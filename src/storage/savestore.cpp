#include "storage/savestore.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "storage/atomicfile.h"
#include "storage/protectedfile.h"

using std::chrono::steady_clock;
using vexa::storage::FolderOf;
using vexa::storage::JoinPath;
using vexa::storage::SetNameKey;

namespace vexa::storage {

bool CFixedDataFolders::GetDataFolder(std::string* folder) {
  *folder = data_folder_;
  return !data_folder_.empty();
}

bool CFixedDataFolders::GetSeedFolder(std::string* folder) {
  *folder = seed_folder_;
  return !seed_folder_.empty();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  const bool backslash =
      folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
  return folder + (backslash ? '\\' : '/') + name;
}

}  // namespace vexa::storage

namespace {

// Creates every folder along `folder`, ignoring failures (the write that follows tells).
void CreateFolderPath(vexa::platform::IFileSystem* fs, const std::string& folder) {
  for (size_t at = folder.find_first_of("/\\", 1);; at = folder.find_first_of("/\\", at + 1)) {
    fs->CreateFolder(at == std::string::npos ? folder : folder.substr(0, at));
    if (at == std::string::npos) break;
  }
}

}  // namespace

// A change made while the set's file could not be read; `remove` drops the slot, else puts it.
struct CSaveStore::Change {
  bool remove = false;
  int32_t slot = 0;
  CSmallStr description;
  CSmallStr data;
};

// One cached set. `file` is what the first read found; after insertion only passes (under the
// pass lock) use it. The other fields are guarded by `lock`.
struct CSaveStore::Set {
  std::shared_mutex lock;
  CSaveManager saves;
  bool dirty = false;
  bool writing = false;  // copied by a pass that has not finished writing it
  bool removed = false;
  // When a command last used the set; a full cache forgets the clean set unused longest.
  std::atomic<uint64_t> last_use{0};
  int failures = 0;
  steady_clock::time_point retry_at{};
  std::string path;        // the set's file
  std::string entry_name;  // the entry a new file gets
  std::shared_ptr<CProtectedContainer> file;
  // The file existed but could not be read (locked for a moment by a scanner or a sync tool) when
  // the set was first changed: `saves` is empty and the changes wait in `waiting` until a read
  // succeeds and they can be applied on top of the file's content.
  bool unread = false;
  std::vector<Change> waiting;
  std::string seed_folder;  // for reading the file again
};

// A set's saves as copied by a pass.
struct CSaveStore::Pending {
  SetPtr set;
  CSaveManager saves;
  bool unread = false;  // the set's file had not been read when the copy was taken
};

CSaveStore::CSaveStore(vexa::storage::IDataFolderSource* folders, vexa::platform::IFileSystem* fs,
                       bool background_writer)
    : folders_(folders),
      fs_(vexa::storage::FileSystemOrNative(fs)),
      background_writer_(background_writer) {}

CSaveStore::~CSaveStore() {
  Stop();
}

void CSaveStore::SetWriteObserver(WriteObserver observer) {
  std::lock_guard<std::mutex> guard(observer_lock_);
  observer_ = std::move(observer);
}

bool CSaveStore::GetFolders(std::string* data_folder, std::string* seed_folder) {
  if (!folders_ || !folders_->GetDataFolder(data_folder) || data_folder->empty()) return false;
  if (!folders_->GetSeedFolder(seed_folder)) seed_folder->clear();
  return true;
}

CSaveStore::SetPtr CSaveStore::FindCached(const std::string& key) {
  std::shared_lock<std::shared_mutex> guard(cache_lock_);
  auto it = cache_.find(key);
  if (it == cache_.end()) return nullptr;
  it->second->last_use.store(++use_clock_, std::memory_order_relaxed);
  return it->second;
}

CSaveStore::SetPtr CSaveStore::Insert(const std::string& key, const SetPtr& fresh) {
  std::unique_lock<std::shared_mutex> guard(cache_lock_);
  auto it = cache_.find(key);
  if (it != cache_.end()) return it->second;
  if (cache_.size() >= static_cast<size_t>(kMaxCachedSets) && !EvictOneClean()) return nullptr;
  fresh->last_use.store(++use_clock_, std::memory_order_relaxed);
  cache_.emplace(key, fresh);
  return fresh;
}

bool CSaveStore::EvictOneClean() {
  auto victim = cache_.end();
  uint64_t oldest = UINT64_MAX;
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    Set& set = *it->second;
    std::shared_lock<std::shared_mutex> set_guard(set.lock);
    // Only a set whose file holds everything it holds may go: it is read again when needed.
    if (set.dirty || set.writing) continue;
    const uint64_t used = set.last_use.load(std::memory_order_relaxed);
    if (used < oldest) {
      oldest = used;
      victim = it;
    }
  }
  if (victim == cache_.end()) return false;
  cache_.erase(victim);
  return true;
}

std::string CSaveStore::ResolveFileName(const std::string& folder, const char* set_name) {
  const std::string own = vexa::storage::SetFileName(set_name);
  std::vector<std::string> names;
  if (!fs_->ListFolder(folder, &names)) return own;
  const std::string key = SetNameKey(own.c_str());
  std::string found;
  for (const std::string& name : names) {
    if (name == own) return own;
    // Several spellings of one name exist only on file systems that tell case apart; take the
    // first in byte order so every run picks the same one.
    if (SetNameKey(name.c_str()) == key && (found.empty() || name < found)) found = name;
  }
  return found.empty() ? own : found;
}

CSaveStore::SetPtr CSaveStore::ReadSet(const char* set_name, const std::string& data_folder,
                                       const std::string& seed_folder, HRESULT* status) {
  auto set = std::make_shared<Set>();
  const std::string file_name = ResolveFileName(data_folder, set_name);
  set->path = JoinPath(data_folder, file_name);
  set->entry_name = set_name;
  set->file = std::make_shared<CProtectedContainer>();
  const std::string seed = seed_folder.empty() ? std::string() : JoinPath(seed_folder, file_name);
  CMemoryStream entry;
  HRESULT hr = ReadProtectedEntryWithSeed(fs_, set->path, seed, set_name, kSaveSetPassword,
                                          set->file.get(), &entry);
  if (SUCCEEDED(hr) && FAILED(set->saves.Decode(&entry))) {
    // The saves read so far stay; the file's bytes are copied aside before it is rewritten.
    set->file->MarkDamaged();
    hr = E_FAIL;
  }
  *status = hr;
  return set;
}

CSaveStore::SetPtr CSaveStore::FindOrRead(const char* set_name, const std::string& key,
                                          const std::string& data_folder,
                                          const std::string& seed_folder, Miss miss,
                                          HRESULT* status, bool* was_read) {
  *status = S_OK;
  if (was_read) *was_read = false;
  SetPtr set = FindCached(key);
  if (set) return set;
  if (was_read) *was_read = true;
  HRESULT hr = S_OK;
  SetPtr fresh = ReadSet(set_name, data_folder, seed_folder, &hr);
  if (hr == VEXA_E_FILE_UNREADABLE && miss == Miss::kCacheForChange) {
    // The change waits for the file instead of being lost; nothing is written over the file
    // until it has been read.
    fresh->unread = true;
    fresh->seed_folder = seed_folder;
    hr = S_OK;
  }
  const bool unreadable = hr == VEXA_E_FILE_UNREADABLE || hr == E_OUTOFMEMORY;
  if (unreadable || (miss == Miss::kCacheIfRead && FAILED(hr))) {
    *status = hr;
    return nullptr;
  }
  set = Insert(key, fresh);
  if (miss == Miss::kCacheForChange) {
    if (!set) *status = VEXA_E_STORE_LIMIT;
    return set;
  }
  if (miss == Miss::kCacheAndAnswer && FAILED(hr)) {
    *status = hr;
    return nullptr;
  }
  return set ? set : fresh;
}

HRESULT CSaveStore::Locate(const char* set_name, std::string* data_folder, std::string* seed_folder,
                           std::string* key) {
  if (!vexa::storage::IsValidSetName(set_name)) return E_INVALIDARG;
  if (!GetFolders(data_folder, seed_folder)) return E_FAIL;
  *key = *data_folder + '\n' + SetNameKey(set_name);
  return S_OK;
}

void CSaveStore::MarkChanged(Set* set) {
  set->dirty = true;
}

HRESULT CSaveStore::ReadWaiting(const SetPtr& set) {
  {
    std::shared_lock<std::shared_mutex> guard(set->lock);
    if (!set->unread) return S_OK;
  }
  // Read without holding the set's lock (file reads never happen under a lock).
  HRESULT hr = S_OK;
  SetPtr read = ReadSet(set->entry_name.c_str(), FolderOf(set->path), set->seed_folder, &hr);
  if (hr == VEXA_E_FILE_UNREADABLE || hr == E_OUTOFMEMORY) return hr;
  std::unique_lock<std::shared_mutex> guard(set->lock);
  if (!set->unread) return S_OK;  // another thread got there first
  // What the file held, with the changes made meanwhile on top, in their order. A change that no
  // longer fits the limits is dropped, as the command would have been refused.
  for (const Change& change : set->waiting) {
    if (change.remove) {
      read->saves.Remove(change.slot);
    } else {
      read->saves.Put(change.slot, change.description, change.data);
    }
  }
  set->saves = std::move(read->saves);
  set->file = read->file;
  set->path = read->path;
  set->waiting.clear();
  set->unread = false;
  return S_OK;
}

// ---- Commands

HRESULT CSaveStore::EnumSaves(const char* setName, CSmallStr* listing) {
  if (!listing) return E_POINTER;
  std::string folder, seed, key;
  HRESULT hr = Locate(setName, &folder, &seed, &key);
  if (FAILED(hr)) return hr;
  try {
    SetPtr set = FindOrRead(setName, key, folder, seed, Miss::kCacheIfRead, &hr);
    if (!set) return hr;
    hr = ReadWaiting(set);
    if (FAILED(hr)) return hr;
    std::shared_lock<std::shared_mutex> guard(set->lock);
    *listing = set->saves.BuildListing();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CSaveStore::GetSave(const char* setName, int32_t slot, CSmallStr* data) {
  if (!data) return E_POINTER;
  std::string folder, seed, key;
  HRESULT hr = Locate(setName, &folder, &seed, &key);
  if (FAILED(hr)) return hr;
  try {
    SetPtr set = FindOrRead(setName, key, folder, seed, Miss::kCacheAndAnswer, &hr);
    if (!set) return hr;
    hr = ReadWaiting(set);
    if (FAILED(hr)) return hr;
    std::shared_lock<std::shared_mutex> guard(set->lock);
    const CSave* save = set->saves.Find(slot);
    if (!save) return E_ACCESSDENIED;
    *data = save->GetData();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CSaveStore::SetSave(const char* setName, int32_t slot, const char* description,
                            const char* data) {
  std::string folder, seed, key;
  HRESULT hr = Locate(setName, &folder, &seed, &key);
  if (FAILED(hr)) return hr;
  try {
    const CSmallStr description_text(description ? description : "");
    const CSmallStr data_text(data ? data : "");
    SetPtr set = FindOrRead(setName, key, folder, seed, Miss::kCacheForChange, &hr);
    if (!set) return hr;
    {
      std::unique_lock<std::shared_mutex> guard(set->lock);
      if (set->unread) {
        // The limits are checked as far as they can be without the file's content.
        CSaveManager probe;
        hr = probe.Put(slot, description_text, data_text);
        if (SUCCEEDED(hr)) set->waiting.push_back(Change{false, slot, description_text, data_text});
      } else {
        hr = set->saves.Put(slot, description_text, data_text);
      }
      if (SUCCEEDED(hr)) MarkChanged(set.get());
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (SUCCEEDED(hr)) StartWriter();
  return hr;
}

HRESULT CSaveStore::RemoveSave(const char* setName, int32_t slot) {
  std::string folder, seed, key;
  HRESULT hr = Locate(setName, &folder, &seed, &key);
  if (FAILED(hr)) return hr;
  try {
    if (slot < 0) {
      SetPtr dropped;
      {
        std::unique_lock<std::shared_mutex> guard(cache_lock_);
        auto it = cache_.find(key);
        if (it != cache_.end()) {
          dropped = it->second;
          cache_.erase(it);
        }
      }
      std::string path;
      if (dropped) {
        std::unique_lock<std::shared_mutex> guard(dropped->lock);
        dropped->removed = true;
        dropped->dirty = false;
        path = dropped->path;
      } else {
        path = JoinPath(folder, ResolveFileName(folder, setName));
      }
      // A pass that is writing this set finishes first (it sees `removed` and skips the set if it
      // has not reached it), so the file is not written again after it is deleted.
      std::lock_guard<std::mutex> pass(pass_lock_);
      return fs_->Remove(path) ? S_OK : VEXA_E_WRITE_FAILED;
    }

    bool was_read = false;
    SetPtr set = FindOrRead(setName, key, folder, seed, Miss::kCacheForChange, &hr, &was_read);
    if (!set) return hr;
    {
      std::unique_lock<std::shared_mutex> guard(set->lock);
      if (set->unread) {
        // Whether the slot exists is not known before the file is read.
        set->waiting.push_back(Change{true, slot, CSmallStr(), CSmallStr()});
      } else {
        const HRESULT removed = set->saves.Remove(slot);
        // A set just read answers 0 whether or not it held the slot.
        if (!was_read) hr = removed;
      }
      MarkChanged(set.get());
    }
    StartWriter();
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---- Writer

int CSaveStore::GetPendingCount() {
  std::shared_lock<std::shared_mutex> guard(cache_lock_);
  int pending = 0;
  for (auto& entry : cache_) {
    std::shared_lock<std::shared_mutex> set_guard(entry.second->lock);
    if (entry.second->dirty || entry.second->writing) ++pending;
  }
  return pending;
}

bool CSaveStore::IsWriterRunning() {
  std::lock_guard<std::mutex> guard(writer_lock_);
  return writer_.joinable();
}

void CSaveStore::StartWriter() {
  if (!background_writer_) return;
  {
    std::lock_guard<std::mutex> guard(writer_lock_);
    if (!writer_.joinable()) {
      try {
        writer_ = std::thread(&CSaveStore::WriterLoop, this);
      } catch (...) {
        // No thread: the changes stay pending and Flush/Stop write them.
      }
    }
  }
  {
    std::lock_guard<std::mutex> guard(wake_lock_);
    changed_ = true;
  }
  wake_.notify_one();
}

void CSaveStore::WriterLoop() {
  steady_clock::time_point last_pass = steady_clock::now() - kPassInterval;
  std::unique_lock<std::mutex> guard(wake_lock_);
  for (;;) {
    wake_.wait(guard, [this] { return stop_ || changed_; });
    if (stop_) return;
    // Changes made within one interval of the last pass are written together.
    wake_.wait_until(guard, last_pass + kPassInterval, [this] { return stop_; });
    if (stop_) return;
    changed_ = false;
    guard.unlock();
    bool pending = true;
    try {
      RunPass(false);
      pending = GetPendingCount() > 0;
    } catch (...) {
      // Nothing may end the process from here; the sets stay changed.
    }
    last_pass = steady_clock::now();
    guard.lock();
    // Failed writes wait for their retry time: keep passing until they are done.
    if (pending) changed_ = true;
  }
}

HRESULT CSaveStore::RunPass(bool force) {
  std::lock_guard<std::mutex> pass(pass_lock_);
  std::vector<Pending> work;
  const steady_clock::time_point now = steady_clock::now();
  {
    std::shared_lock<std::shared_mutex> guard(cache_lock_);
    for (auto& entry : cache_) {
      const SetPtr& set = entry.second;
      std::unique_lock<std::shared_mutex> set_guard(set->lock);
      if (!set->dirty || set->removed) continue;
      if (!force && set->retry_at > now) continue;
      try {
        work.push_back(Pending{set, set->saves, set->unread});
      } catch (const std::bad_alloc&) {
        continue;  // stays changed for the next pass
      }
      set->dirty = false;
      set->writing = true;
    }
  }
  HRESULT first = S_OK;
  for (Pending& pending : work) {
    const HRESULT hr = WriteOne(&pending);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT CSaveStore::WriteOne(Pending* pending) {
  Set* set = pending->set.get();
  {
    std::unique_lock<std::shared_mutex> guard(set->lock);
    if (set->removed) {
      set->writing = false;
      return S_OK;
    }
  }
  HRESULT hr = S_OK;
  try {
    // The copy of a set taken before its file was read holds nothing: take it again once the
    // waiting changes are applied (here or by a command in the meantime).
    if (pending->unread) {
      hr = ReadWaiting(pending->set);
      if (SUCCEEDED(hr)) {
        std::shared_lock<std::shared_mutex> guard(set->lock);
        pending->saves = set->saves;
      }
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  const std::string folder = FolderOf(set->path);
  try {
    // Temporary files of a run that was ended in the middle of a write go once per folder.
    if (swept_folders_.insert(folder).second) vexa::storage::RemoveStaleTemporaryFiles(fs_, folder);
    CMemoryStream stream;
    if (SUCCEEDED(hr)) hr = pending->saves.Encode(&stream);
    if (SUCCEEDED(hr)) {
      hr = ReplaceProtectedEntry(fs_, &stream, set->path, set->entry_name.c_str(), kSaveSetPassword,
                                 set->file.get());
      // The folder may have been deleted while the game ran: make it again and retry once.
      if (hr == VEXA_E_WRITE_FAILED && !folder.empty() && !fs_->Exists(folder)) {
        CreateFolderPath(fs_, folder);
        hr = ReplaceProtectedEntry(fs_, &stream, set->path, set->entry_name.c_str(),
                                   kSaveSetPassword, set->file.get());
      }
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  {
    std::unique_lock<std::shared_mutex> guard(set->lock);
    set->writing = false;
    if (FAILED(hr)) {
      if (!set->removed) {
        set->dirty = true;
        ++set->failures;
        const int shift = std::min(set->failures - 1, 16);
        const auto delay =
            std::min<steady_clock::duration>(kPassInterval * (1 << shift), kLongestRetryDelay);
        set->retry_at = steady_clock::now() + delay;
      }
    } else {
      set->failures = 0;
      set->retry_at = steady_clock::time_point();
    }
  }
  WriteObserver observer;
  {
    std::lock_guard<std::mutex> guard(observer_lock_);
    observer = observer_;
  }
  if (observer) observer(set->path, hr);
  return hr;
}

HRESULT CSaveStore::Flush() {
  try {
    return RunPass(true);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CSaveStore::Stop() {
  std::thread writer;
  {
    std::lock_guard<std::mutex> guard(writer_lock_);
    {
      std::lock_guard<std::mutex> wake_guard(wake_lock_);
      stop_ = true;
    }
    wake_.notify_all();
    writer = std::move(writer_);
  }
  if (writer.joinable()) writer.join();
  {
    std::lock_guard<std::mutex> guard(wake_lock_);
    stop_ = false;
    changed_ = false;
  }
  return Flush();
}
