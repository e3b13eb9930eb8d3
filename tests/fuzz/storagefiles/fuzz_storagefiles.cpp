// Fuzz target: arbitrary bytes as a protected data file and as save-set content.
//
// 1. The bytes are a data file in an in-memory folder: the save-set entry is read and decoded, then
//    one entry is replaced. The rewrite must keep every other entry's stored block byte for byte,
//    the new entry must read back exactly, and a damaged file must have been copied aside
//    unchanged; any difference aborts (a logic fault, not only a memory fault).
// 2. The bytes are a save set's entry content: decoding must stay within the bytes given and the
//    saves decoded must encode back to a prefix-consistent stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "storage/protectedfile.h"
#include "storage/saves.h"

namespace {

using vexa::platform::FileHandle;
using vexa::platform::FileReadStatus;

// Files in memory; enough of a file system for the protected-file functions.
class CMemoryFileSystem : public vexa::platform::IFileSystem {
 public:
  std::map<std::string, std::vector<uint8_t>> files;

  FileReadStatus ReadFile(const std::string& path, uint64_t max_size,
                          std::vector<uint8_t>* out) override {
    out->clear();
    auto it = files.find(path);
    if (it == files.end()) return FileReadStatus::kMissing;
    if (it->second.size() > max_size) return FileReadStatus::kTooLarge;
    *out = it->second;
    return FileReadStatus::kOk;
  }
  bool CreateNew(const std::string& path, FileHandle* file) override {
    if (files.count(path)) return false;
    files[path];
    open_[++next_] = path;
    *file = next_;
    return true;
  }
  bool Write(FileHandle file, const void* data, size_t size, size_t* written) override {
    auto& bytes = files[open_[file]];
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
    *written = size;
    return true;
  }
  bool Flush(FileHandle) override { return true; }
  bool Close(FileHandle file) override {
    open_.erase(file);
    return true;
  }
  bool Replace(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end()) return false;
    files[to] = std::move(it->second);
    files.erase(from);
    return true;
  }
  bool SyncFolder(const std::string&) override { return true; }
  bool Remove(const std::string& path) override {
    files.erase(path);
    return true;
  }
  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  bool ListFolder(const std::string&, std::vector<std::string>* names) override {
    for (const auto& f : files) names->push_back(f.first);
    return true;
  }
  bool CreateFolder(const std::string&) override { return true; }

 private:
  std::map<FileHandle, std::string> open_;
  FileHandle next_ = 0;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<uint8_t> Block(const CProtectedContainer& file, int32_t index) {
  const PackageEntry* entry = file.GetArchive()->GetEntry(index);
  const uint8_t* start = file.GetBytes().data() + entry->offset;
  return std::vector<uint8_t>(start, start + entry->stored_length);
}

void FuzzFile(const uint8_t* data, size_t size) {
  CMemoryFileSystem fs;
  const std::string path = "data/Slot1";
  fs.files[path].assign(data, data + size);

  CProtectedContainer file;
  CMemoryStream entry;
  if (SUCCEEDED(ReadProtectedEntry(&fs, path, "slot1", kSaveSetPassword, &file, &entry))) {
    CSaveManager saves;
    saves.Decode(&entry);
    saves.BuildListing();
  }
  const bool damaged = file.IsDamaged();
  std::vector<std::pair<std::string, std::vector<uint8_t>>> kept;
  if (const CPackageArchive* archive = file.GetArchive()) {
    const int32_t target = archive->FindEntry("slot1");
    for (int32_t i = 0; i < archive->GetEntryCount(); ++i) {
      if (i == target || !archive->IsEntryInBounds(i)) continue;
      if (archive->GetMode() == 1) kept.emplace_back(archive->GetEntry(i)->name, Block(file, i));
    }
  }

  const std::string content = "new content of the set";
  CMemoryStream in(content.data(), content.size());
  const HRESULT hr = ReplaceProtectedEntry(&fs, &in, path, "slot1", kSaveSetPassword, &file);
  if (FAILED(hr)) return;  // an archiver limit (a name or directory the format cannot hold)
  if (damaged && size > 0)
    Check(fs.files[path + kDamagedSuffix + "1"] == std::vector<uint8_t>(data, data + size));

  CProtectedContainer written;
  CMemoryStream back;
  Check(SUCCEEDED(ReadProtectedEntry(&fs, path, "SLOT1", kSaveSetPassword, &written, &back)));
  Check(std::string(back.Data().begin(), back.Data().end()) == content);
  Check(!written.IsDamaged());
  // Every carried entry is still there, unchanged and in order.
  size_t next = 0;
  const CPackageArchive* archive = written.GetArchive();
  for (int32_t i = 0; i < archive->GetEntryCount() && next < kept.size(); ++i) {
    if (kept[next].first == archive->GetEntry(i)->name && Block(written, i) == kept[next].second)
      ++next;
  }
  Check(next == kept.size());
}

void FuzzSetContent(const uint8_t* data, size_t size) {
  CMemoryStream stream(data, size);
  CSaveManager saves;
  saves.Decode(&stream);
  Check(stream.Position() <= size);
  Check(saves.EncodedSize() <= 4 + size);
  CMemoryStream encoded;
  Check(SUCCEEDED(saves.Encode(&encoded)));
  Check(encoded.Data().size() == saves.EncodedSize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  FuzzFile(data, size);
  FuzzSetContent(data, size);
  return 0;
}
