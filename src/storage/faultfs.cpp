#include "storage/faultfs.h"

#include <utility>

namespace vexa::storage {

using vexa::platform::FileHandle;
using vexa::platform::FileReadStatus;
using vexa::platform::kNoFile;

const char* FileOpName(FileOp op) {
  switch (op) {
    case FileOp::kReadFile:
      return "ReadFile";
    case FileOp::kCreateNew:
      return "CreateNew";
    case FileOp::kWrite:
      return "Write";
    case FileOp::kFlush:
      return "Flush";
    case FileOp::kClose:
      return "Close";
    case FileOp::kReplace:
      return "Replace";
    case FileOp::kSyncFolder:
      return "SyncFolder";
    case FileOp::kRemove:
      return "Remove";
    case FileOp::kExists:
      return "Exists";
    case FileOp::kListFolder:
      return "ListFolder";
    case FileOp::kCreateFolder:
      return "CreateFolder";
    case FileOp::kCount:
      break;
  }
  return "?";
}

CFaultInjectingFileSystem::CFaultInjectingFileSystem(vexa::platform::IFileSystem* inner)
    : inner_(inner ? inner : &vexa::platform::NativeFileSystem()) {}

void CFaultInjectingFileSystem::FailCall(FileOp op, int nth, int count) {
  std::lock_guard<std::mutex> guard(lock_);
  Plan& plan = plans_[static_cast<int>(op)];
  plan.countdown = nth > 0 ? nth : 0;
  plan.remaining = count;
}

void CFaultInjectingFileSystem::FailNthCall(int nth) {
  std::lock_guard<std::mutex> guard(lock_);
  any_countdown_ = nth > 0 ? nth : 0;
}

void CFaultInjectingFileSystem::LimitWrittenBytes(uint64_t bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  limit_bytes_ = true;
  bytes_left_ = bytes;
}

void CFaultInjectingFileSystem::SetHook(Hook hook) {
  std::lock_guard<std::mutex> guard(lock_);
  hook_ = std::move(hook);
}

void CFaultInjectingFileSystem::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  for (Plan& plan : plans_) plan = Plan();
  any_countdown_ = 0;
  limit_bytes_ = false;
  bytes_left_ = 0;
  hook_ = nullptr;
}

int CFaultInjectingFileSystem::CallCount(FileOp op) const {
  std::lock_guard<std::mutex> guard(lock_);
  return calls_[static_cast<int>(op)];
}

int CFaultInjectingFileSystem::TotalCalls() const {
  std::lock_guard<std::mutex> guard(lock_);
  int total = 0;
  for (int count : calls_) total += count;
  return total;
}

int CFaultInjectingFileSystem::FailedCalls() const {
  std::lock_guard<std::mutex> guard(lock_);
  return failed_;
}

bool CFaultInjectingFileSystem::Enter(FileOp op, const std::string& path) {
  Hook hook;
  bool fail = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    hook = hook_;
    ++calls_[static_cast<int>(op)];
    if (any_countdown_ > 0 && --any_countdown_ == 0) fail = true;
    Plan& plan = plans_[static_cast<int>(op)];
    if (plan.countdown > 0) {
      if (plan.countdown > 1) {
        --plan.countdown;
      } else {
        fail = true;
        if (plan.remaining != kForever && --plan.remaining <= 0) plan.countdown = 0;
      }
    }
    if (fail) ++failed_;
  }
  if (hook) hook(op, path);
  return fail;
}

std::string CFaultInjectingFileSystem::PathOf(FileHandle file) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = open_.find(file);
  return it == open_.end() ? std::string() : it->second;
}

FileReadStatus CFaultInjectingFileSystem::ReadFile(const std::string& path, uint64_t max_size,
                                                   std::vector<uint8_t>* out) {
  if (Enter(FileOp::kReadFile, path)) {
    out->clear();
    return FileReadStatus::kUnreadable;
  }
  return inner_->ReadFile(path, max_size, out);
}

bool CFaultInjectingFileSystem::CreateNew(const std::string& path, FileHandle* file) {
  *file = kNoFile;
  if (Enter(FileOp::kCreateNew, path)) return false;
  if (!inner_->CreateNew(path, file)) return false;
  std::lock_guard<std::mutex> guard(lock_);
  open_[*file] = path;
  return true;
}

bool CFaultInjectingFileSystem::Write(FileHandle file, const void* data, size_t size,
                                      size_t* written) {
  *written = 0;
  if (Enter(FileOp::kWrite, PathOf(file))) return false;
  size_t allowed = size;
  bool cut = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (limit_bytes_ && bytes_left_ < size) {
      allowed = static_cast<size_t>(bytes_left_);
      cut = true;
    }
    if (limit_bytes_) bytes_left_ -= allowed;
  }
  if (allowed > 0 && !inner_->Write(file, data, allowed, written)) return false;
  return !cut;
}

bool CFaultInjectingFileSystem::Flush(FileHandle file) {
  if (Enter(FileOp::kFlush, PathOf(file))) return false;
  return inner_->Flush(file);
}

bool CFaultInjectingFileSystem::Close(FileHandle file) {
  const std::string path = PathOf(file);
  const bool fail = Enter(FileOp::kClose, path);
  {
    std::lock_guard<std::mutex> guard(lock_);
    open_.erase(file);
  }
  const bool closed = inner_->Close(file);
  return closed && !fail;
}

bool CFaultInjectingFileSystem::Replace(const std::string& from, const std::string& to) {
  if (Enter(FileOp::kReplace, to)) return false;
  return inner_->Replace(from, to);
}

bool CFaultInjectingFileSystem::SyncFolder(const std::string& folder) {
  if (Enter(FileOp::kSyncFolder, folder)) return false;
  return inner_->SyncFolder(folder);
}

bool CFaultInjectingFileSystem::Remove(const std::string& path) {
  if (Enter(FileOp::kRemove, path)) return false;
  return inner_->Remove(path);
}

bool CFaultInjectingFileSystem::Exists(const std::string& path) {
  if (Enter(FileOp::kExists, path)) return false;
  return inner_->Exists(path);
}

bool CFaultInjectingFileSystem::ListFolder(const std::string& folder,
                                           std::vector<std::string>* names) {
  if (Enter(FileOp::kListFolder, folder)) return false;
  return inner_->ListFolder(folder, names);
}

bool CFaultInjectingFileSystem::CreateFolder(const std::string& path) {
  if (Enter(FileOp::kCreateFolder, path)) return false;
  return inner_->CreateFolder(path);
}

}  // namespace vexa::storage
