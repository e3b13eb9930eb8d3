#include "commands.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "data/mappedfile.h"
#include "data/package.h"
#include "platform/files.h"
#include "storage/archiver.h"

namespace {

namespace platform = vexa::platform;

void Error(const std::string& message) {
  std::fprintf(stderr, "vexapak: %s\n", message.c_str());
}

void Warning(const std::string& message) {
  std::fprintf(stderr, "vexapak: warning: %s\n", message.c_str());
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return IsSeparator(folder.back()) ? folder + name : folder + "/" + name;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

// A progress line on stderr for jobs that take a while; quick jobs print nothing.
class Progress {
 public:
  explicit Progress(const char* verb) : verb_(verb), start_(Clock::now()), last_(start_) {}
  ~Progress() { Finish(); }

  void Update(size_t done, size_t total, uint64_t bytes) {
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(500))
      return;
    last_ = now;
    std::fprintf(stderr, "\r%s %zu/%zu files, %s   ", verb_, done, total, Megabytes(bytes).c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void Finish() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  const char* verb_;
  Clock::time_point start_;
  Clock::time_point last_;
  bool shown_ = false;
};

using SourceFile = FolderFile;

bool CollectFiles(const std::string& folder, const std::string& prefix, int depth,
                  std::vector<SourceFile>* files, std::string* error) {
  if (depth > 64) {
    *error =
        "folders nested deeper than 64 levels below the packed folder (a link loop?): " + folder;
    return false;
  }
  std::vector<std::string> names;
  if (!platform::FindFiles(Join(folder, "*"), &names)) {
    *error = "cannot read folder '" + folder + "'";
    return false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = Join(folder, name);
    const std::string entry = prefix.empty() ? name : prefix + "\\" + name;
    if (platform::IsDirectory(path)) {
      if (!CollectFiles(path, entry, depth + 1, files, error)) return false;
    } else {
      files->push_back({path, entry});
    }
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), ec) && !ec;
}

bool WriteAll(std::FILE* f, const void* data, size_t size) {
  return size == 0 || std::fwrite(data, 1, size, f) == size;
}

// Creates `path` and every missing folder above it.
bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (!IsSeparator(path[i]) || IsSeparator(path[i - 1])) continue;
    const std::string prefix = path.substr(0, i);
    if (prefix.size() == 2 && prefix[1] == ':') continue;  // a drive, not a folder
    platform::CreateFolder(prefix);                        // failures show up at the last step
  }
  return platform::CreateFolder(path);
}

bool WriteFile(const std::string& path, const CBaseBuffer& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = WriteAll(f, data.Data(), static_cast<size_t>(data.Size()));
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

// Maps and parses a package; prints why when it cannot.
bool OpenPackageFile(const std::string& path, CPackageArchive* archive) {
  std::unique_ptr<CMappedFileBuffer> mapped(new CMappedFileBuffer);
  if (!mapped->Map(path)) {
    Error("cannot open '" + path + "'");
    return false;
  }
  const int32_t size = mapped->Size();
  if (!archive->Parse(mapped.release(), size)) {
    Error("'" + path + "' is not a package (bad header or damaged directory)");
    return false;
  }
  return true;
}

std::string EntryName(const PackageEntry& e) {
  return e.name;
}

// Reads entry `index`, explaining a failure.
bool ReadEntry(const CPackageArchive& archive, int32_t index, const PakOptions& options,
               CSmartBuffer* out) {
  const PackageEntry* e = archive.GetEntry(index);
  if (!archive.IsEntryInBounds(index)) {
    Error("entry '" + EntryName(*e) + "' runs past the end of the package (truncated file?)");
    return false;
  }
  if (!archive.ReadEntryAt(index, options.password.c_str(), out)) {
    Error("entry '" + EntryName(*e) + "' does not decode (wrong password or damaged data)");
    return false;
  }
  return true;
}

int32_t FindNamed(const CPackageArchive& archive, const std::string& name) {
  std::string wanted = name;
  std::replace(wanted.begin(), wanted.end(), '/', '\\');
  return archive.FindEntry(wanted.c_str());
}

}  // namespace

bool CollectFolderFiles(const std::string& folder, std::vector<FolderFile>* files,
                        std::string* error) {
  return CollectFiles(folder, "", 0, files, error);
}

bool SplitEntryName(const std::string& name, std::vector<std::string>* parts) {
  parts->clear();
  if (name.empty() || IsSeparator(name[0])) return false;
  if (name.find(':') != std::string::npos) return false;
  std::string part;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) {
      part += name[i];
      continue;
    }
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts->push_back(part);
    part.clear();
  }
  return !parts->empty();
}

int PackFolder(const std::string& folder, const std::string& out_path, const PakOptions& options) {
  if (!platform::IsDirectory(folder)) {
    Error("'" + folder + "' is not a folder");
    return 1;
  }
  std::vector<SourceFile> files;
  std::string error;
  if (!CollectFolderFiles(folder, &files, &error)) {
    Error(error);
    return 1;
  }
  // An earlier package in the packed folder must not end up inside the new one.
  files.erase(std::remove_if(files.begin(), files.end(),
                             [&](const SourceFile& f) {
                               return SameFile(f.path, out_path) ||
                                      (options.exclude && options.exclude(f.name));
                             }),
              files.end());

  bool names_ok = true;
  for (const SourceFile& f : files) {
    if (f.name.size() > CArchiver::kMaxNameLength) {
      Error("name longer than 255 bytes: " + f.name);
      names_ok = false;
    }
  }
  if (files.size() > static_cast<size_t>(CArchiver::kMaxEntries)) {
    Error("a package holds at most 65535 files; the folder has " + std::to_string(files.size()));
    names_ok = false;
  }
  if (!names_ok) return 1;
  {
    std::vector<std::string> lowered;
    for (const SourceFile& f : files) lowered.push_back(LowerAscii(f.name));
    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return lowered[a] < lowered[b]; });
    for (size_t i = 1; i < order.size(); ++i) {
      if (lowered[order[i]] == lowered[order[i - 1]])
        Warning("'" + files[order[i]].name + "' and '" + files[order[i - 1]].name +
                "' differ only in case; lookups by name find only the first");
    }
  }

  CArchiver archiver;
  archiver.Reset(static_cast<int32_t>(files.empty() ? 1 : files.size()));
  archiver.SetMode(options.store ? CArchiver::kModeStored : CArchiver::kModeCompressed);
  Progress progress("packing");
  uint64_t total = 0;
  std::vector<uint8_t> content;
  for (size_t i = 0; i < files.size(); ++i) {
    if (!platform::ReadFileBytes(files[i].path, &content)) {
      Error("cannot read '" + files[i].path + "'");
      return 1;
    }
    if (content.size() > static_cast<size_t>(INT32_MAX)) {
      Error("'" + files[i].path + "' is larger than 2 GiB");
      return 1;
    }
    if (archiver.AddEntry(static_cast<uint32_t>(content.size()), files[i].name.c_str(),
                          content.data(), options.password.c_str()) < 0) {
      Error("cannot add '" + files[i].name + "': " + DescribeArchiverStatus(archiver.LastStatus()));
      return 1;
    }
    total += content.size();
    progress.Update(i + 1, files.size(), total);
  }
  progress.Finish();

  const CSmartBuffer* header = archiver.BuildHeader();
  if (!header) {
    Error(std::string("cannot build the package: ") +
          DescribeArchiverStatus(archiver.LastStatus()));
    return 1;
  }
  // Header, then each entry's block straight from the archiver: no joined copy of the package.
  std::FILE* f = std::fopen(out_path.c_str(), "wb");
  if (!f) {
    Error("cannot create '" + out_path + "'");
    return 1;
  }
  bool ok = WriteAll(f, header->Data(), static_cast<size_t>(header->Size()));
  const CChainedBuffer* data = archiver.GetData();
  for (int32_t i = 0; ok && i < data->PieceCount(); ++i)
    ok = WriteAll(f, data->Piece(i).Data(), static_cast<size_t>(data->Piece(i).Size()));
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    platform::RemoveFile(out_path);
    Error("cannot write '" + out_path + "' (disk full?)");
    return 1;
  }
  const uint64_t written =
      static_cast<uint64_t>(header->Size()) + static_cast<uint64_t>(data->Size());
  std::printf("packed %zu files (%llu bytes) into %s (%llu bytes, %s)\n", files.size(),
              static_cast<unsigned long long>(total), out_path.c_str(),
              static_cast<unsigned long long>(written), options.store ? "stored" : "compressed");
  return 0;
}

int ListPackage(const std::string& pak_path, std::FILE* out) {
  CPackageArchive archive;
  if (!OpenPackageFile(pak_path, &archive)) return 1;
  std::fprintf(out, "%12s %12s  %s\n", "stored", "unpacked", "name");
  uint64_t stored = 0, unpacked = 0;
  for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
    const PackageEntry* e = archive.GetEntry(i);
    std::fprintf(out, "%12lu %12lu  %s%s\n", static_cast<unsigned long>(e->stored_length),
                 static_cast<unsigned long>(e->unpacked_length), e->name,
                 archive.IsEntryInBounds(i) ? "" : "  [runs past the end of the file]");
    stored += e->stored_length;
    unpacked += e->unpacked_length;
  }
  std::fprintf(out, "%d entries, %s, %llu bytes stored, %llu bytes unpacked\n",
               archive.GetEntryCount(), archive.GetMode() == 0 ? "stored" : "compressed",
               static_cast<unsigned long long>(stored), static_cast<unsigned long long>(unpacked));
  return 0;
}

int ExtractPackage(const std::string& pak_path, const std::string& out_dir,
                   const std::string& entry, const PakOptions& options) {
  CPackageArchive archive;
  if (!OpenPackageFile(pak_path, &archive)) return 1;
  std::vector<int32_t> wanted;
  if (!entry.empty()) {
    int32_t index = FindNamed(archive, entry);
    if (index < 0) {
      Error("no entry named '" + entry + "' in '" + pak_path + "'");
      return 1;
    }
    wanted.push_back(index);
  } else {
    for (int32_t i = 0; i < archive.GetEntryCount(); ++i) wanted.push_back(i);
  }
  if (!MakeFolders(out_dir)) {
    Error("cannot create folder '" + out_dir + "'");
    return 1;
  }

  int failures = 0;
  size_t done = 0;
  uint64_t bytes = 0;
  Progress progress("extracting");
  for (int32_t index : wanted) {
    const std::string name = archive.GetEntry(index)->name;
    std::vector<std::string> parts;
    if (!SplitEntryName(name, &parts)) {
      Error("refusing to extract '" + name + "': the name is empty or leaves the output folder");
      ++failures;
      continue;
    }
    CSmartBuffer content;
    if (!ReadEntry(archive, index, options, &content)) {
      ++failures;
      continue;
    }
    std::string path = out_dir;
    bool ok = true;
    for (size_t k = 0; ok && k + 1 < parts.size(); ++k) {
      path = Join(path, parts[k]);
      ok = platform::CreateFolder(path);
    }
    path = Join(path, parts.back());
    if (!ok || !WriteFile(path, content)) {
      Error("cannot write '" + path + "'");
      ++failures;
      continue;
    }
    ++done;
    bytes += static_cast<uint64_t>(content.Size());
    progress.Update(done, wanted.size(), bytes);
  }
  progress.Finish();
  std::printf("extracted %zu of %zu entries into %s\n", done, wanted.size(), out_dir.c_str());
  return failures == 0 ? 0 : 1;
}

int CatEntry(const std::string& pak_path, const std::string& entry, const PakOptions& options,
             std::FILE* out) {
  CPackageArchive archive;
  if (!OpenPackageFile(pak_path, &archive)) return 1;
  int32_t index = FindNamed(archive, entry);
  if (index < 0) {
    Error("no entry named '" + entry + "' in '" + pak_path + "'");
    return 1;
  }
  CSmartBuffer content;
  if (!ReadEntry(archive, index, options, &content)) return 1;
  if (!WriteAll(out, content.Data(), static_cast<size_t>(content.Size())) ||
      std::fflush(out) != 0) {
    Error("cannot write to standard output");
    return 1;
  }
  return 0;
}

int VerifyPackage(const std::string& pak_path, const PakOptions& options, std::FILE* out) {
  CPackageArchive archive;
  if (!OpenPackageFile(pak_path, &archive)) return 1;
  int failures = 0;
  uint64_t bytes = 0;
  Progress progress("verifying");
  for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
    CSmartBuffer content;
    if (!ReadEntry(archive, i, options, &content)) {
      ++failures;
      continue;
    }
    const PackageEntry* e = archive.GetEntry(i);
    if (static_cast<uint32_t>(content.Size()) != e->unpacked_length)
      Warning("entry '" + EntryName(*e) + "' records " + std::to_string(e->unpacked_length) +
              " bytes but holds " + std::to_string(content.Size()));
    bytes += static_cast<uint64_t>(content.Size());
    progress.Update(static_cast<size_t>(i + 1), static_cast<size_t>(archive.GetEntryCount()),
                    bytes);
  }
  progress.Finish();
  if (failures) {
    std::fprintf(out, "%d of %d entries failed\n", failures, archive.GetEntryCount());
    return 1;
  }
  std::fprintf(out, "%d entries OK (%llu bytes)\n", archive.GetEntryCount(),
               static_cast<unsigned long long>(bytes));
  return 0;
}
