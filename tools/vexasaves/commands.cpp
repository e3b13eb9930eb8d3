#include "commands.h"

#include <vector>

#include "console.h"
#include "folder.h"
#include "storage/atomicfile.h"
#include "storage/datafolder.h"
#include "storage/savestore.h"

using vexa::platform::IFileSystem;

namespace {

// Export files are text, but a damaged one must not exhaust the tool.
constexpr uint64_t kMaxExportSize = 1ull << 30;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

int Error(const std::string& message) {
  std::fprintf(stderr, "vexasaves: %s\n", message.c_str());
  return 1;
}

std::string Count(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

const char* KindText(FolderFile::Kind kind) {
  switch (kind) {
    case FolderFile::Kind::kSaveSet:
      return "save set";
    case FolderFile::Kind::kHighScores:
      return "high scores";
    case FolderFile::Kind::kRegistry:
      return "registry values";
    case FolderFile::Kind::kDamagedCopy:
      return "copy of a damaged file, kept by the player";
    case FolderFile::Kind::kTemporary:
      return "temporary file of an interrupted write (the player removes it)";
    case FolderFile::Kind::kOther:
      break;
  }
  return "not a file of the player's";
}

bool ReadFolderOrFail(IFileSystem* fs, const std::string& folder, ExportContents* contents,
                      FolderReport* report) {
  std::string error;
  if (ReadDataFolder(fs, folder, contents, report, &error)) return true;
  Error(error);
  return false;
}

// Says on stderr which files are damaged; true when there were any.
bool ReportProblems(const FolderReport& report) {
  bool any = false;
  for (const FolderFile& file : report.files) {
    if (file.problem.empty()) continue;
    std::fprintf(stderr, "vexasaves: %s: %s\n", file.fileName.c_str(), file.problem.c_str());
    any = true;
  }
  return any;
}

bool ReadExportFile(IFileSystem* fs, const std::string& file, ExportContents* contents) {
  std::vector<uint8_t> bytes;
  switch (fs->ReadFile(file, kMaxExportSize, &bytes)) {
    case vexa::platform::FileReadStatus::kOk:
      break;
    case vexa::platform::FileReadStatus::kMissing:
      Error("cannot open " + file);
      return false;
    default:
      Error("cannot read " + file);
      return false;
  }
  std::string error;
  if (!ParseExport(std::string(bytes.begin(), bytes.end()), contents, &error)) {
    Error(file + ": " + error);
    return false;
  }
  return true;
}

std::string Summary(const ExportContents& contents) {
  size_t saves = 0;
  for (const ExportSet& set : contents.sets) saves += set.saves.size();
  return Count(contents.sets.size(), "set", "sets") + " (" + Count(saves, "save", "saves") + "), " +
         Count(contents.tables.size(), "table", "tables") + ", " +
         Count(contents.scopes.size(), "scope", "scopes");
}

}  // namespace

ExportContents FilterContents(const ExportContents& contents, const SavesOptions& options) {
  if (!options.onlySome()) return contents;
  ExportContents out;
  for (const ExportSet& set : contents.sets) {
    if (!options.set.empty() && Lower(set.name) == Lower(options.set)) out.sets.push_back(set);
  }
  for (const ExportTable& table : contents.tables) {
    if (!options.table.empty() && Lower(table.name) == Lower(options.table)) {
      out.tables.push_back(table);
    }
  }
  for (const ExportScope& scope : contents.scopes) {
    if (!options.scope.empty() && Lower(scope.entry) == Lower(options.scope)) {
      out.scopes.push_back(scope);
    }
  }
  return out;
}

int WhereCommand(const SavesOptions& options, std::FILE* out) {
  vexa::storage::CDataFolder folder;
  folder.SetMakerName(options.maker);
  folder.SetGameNames(options.saves, options.game);
  folder.SetBaseFolder(options.base);
  std::string path;
  if (!folder.ComputeDataFolder(&path))
    return Error("this system names no application-data folder");
  std::fprintf(out, "%s\n", path.c_str());
  return 0;
}

int ListCommand(IFileSystem* fs, const std::string& folder, std::FILE* out) {
  fs = vexa::storage::FileSystemOrNative(fs);
  ExportContents contents;
  FolderReport report;
  if (!ReadFolderOrFail(fs, folder, &contents, &report)) return 1;
  for (const FolderFile& file : report.files) {
    std::string what = KindText(file.kind);
    switch (file.kind) {
      case FolderFile::Kind::kSaveSet:
        what += " " + QuoteText(file.name) + ", " + Count(file.items, "save", "saves");
        break;
      case FolderFile::Kind::kHighScores:
        what += ", " + Count(file.items, "table", "tables");
        break;
      case FolderFile::Kind::kRegistry:
        what += ", " + Count(file.items, "scope", "scopes");
        break;
      default:
        break;
    }
    if (!file.problem.empty()) what += " - " + file.problem;
    std::fprintf(out, "%-24s %s\n", file.fileName.c_str(), what.c_str());
  }
  std::fprintf(out, "%s\n", Summary(contents).c_str());
  return report.HasProblems() ? 1 : 0;
}

int PrintCommand(IFileSystem* fs, const std::string& folder, const SavesOptions& options,
                 std::FILE* out) {
  fs = vexa::storage::FileSystemOrNative(fs);
  ExportContents all;
  FolderReport report;
  if (!ReadFolderOrFail(fs, folder, &all, &report)) return 1;
  const ExportContents contents = FilterContents(all, options);
  for (const ExportSet& set : contents.sets) {
    std::fprintf(out, "save set %s: %s\n", QuoteText(set.name).c_str(),
                 Count(set.saves.size(), "save", "saves").c_str());
    for (const ExportSave& save : set.saves) {
      std::fprintf(out, "  slot %d %s\n    data %s\n", static_cast<int>(save.slot),
                   QuoteText(save.description).c_str(), QuoteText(save.data).c_str());
    }
  }
  for (const ExportTable& table : contents.tables) {
    std::fprintf(out, "high-score table %s: %s\n", QuoteText(table.name).c_str(),
                 Count(table.scores.size(), "score", "scores").c_str());
    for (size_t i = 0; i < table.scores.size(); ++i) {
      std::fprintf(out, "  %zu. %s\n", i + 1, QuoteText(table.scores[i]).c_str());
    }
  }
  for (const ExportScope& scope : contents.scopes) {
    std::fprintf(out, "registry scope %s: %s\n", QuoteText(scope.entry).c_str(),
                 Count(scope.values.size(), "value", "values").c_str());
    for (const auto& value : scope.values) {
      std::fprintf(out, "  %s = %s\n", QuoteText(value.first).c_str(),
                   QuoteText(value.second).c_str());
    }
  }
  const bool problems = ReportProblems(report);
  if (options.onlySome() && contents.sets.empty() && contents.tables.empty() &&
      contents.scopes.empty()) {
    return Error("nothing of that name in " + folder);
  }
  return problems ? 1 : 0;
}

int ExportCommand(IFileSystem* fs, const std::string& folder, const std::string& file,
                  const SavesOptions& options, std::FILE* out) {
  fs = vexa::storage::FileSystemOrNative(fs);
  ExportContents all;
  FolderReport report;
  if (!ReadFolderOrFail(fs, folder, &all, &report)) return 1;
  const ExportContents contents = FilterContents(all, options);
  const std::string text = WriteExport(contents);
  if (file.empty() || file == "-") {
    if (!SetStdoutBinary()) return Error("cannot switch standard output to binary mode");
    std::fwrite(text.data(), 1, text.size(), out);
  } else {
    if (FAILED(vexa::storage::WriteFileAtomic(fs, file, text.data(), text.size()))) {
      return Error("cannot write " + file);
    }
    std::fprintf(out, "exported %s to %s\n", Summary(contents).c_str(), file.c_str());
  }
  // What could not be read is not in the export: say so, and fail.
  return ReportProblems(report) ? 1 : 0;
}

int ImportCommand(IFileSystem* fs, const std::string& folder, const std::string& file,
                  std::FILE* out) {
  fs = vexa::storage::FileSystemOrNative(fs);
  ExportContents contents;
  if (!ReadExportFile(fs, file, &contents)) return 1;
  std::string error;
  if (!WriteDataFolder(fs, folder, contents, WriteMode::kMerge, &error)) return Error(error);
  std::fprintf(out, "imported %s into %s\n", Summary(contents).c_str(), folder.c_str());
  return 0;
}

int RestoreCommand(IFileSystem* fs, const std::string& folder, const std::string& file,
                   const SavesOptions& options, std::FILE* out) {
  fs = vexa::storage::FileSystemOrNative(fs);
  ExportContents contents;
  if (!ReadExportFile(fs, file, &contents)) return 1;

  // What the folder holds now goes to a new export file first, so a restore can be undone.
  ExportContents previous;
  FolderReport report;
  if (fs->Exists(folder)) {
    if (!ReadFolderOrFail(fs, folder, &previous, &report)) return 1;
    if (ReportProblems(report)) {
      return Error(
          "the folder has damaged or unreadable files (above); move them out of it "
          "before a restore");
    }
  }
  std::string keep = options.keep;
  const std::string text = WriteExport(previous);
  if (keep.empty()) {
    std::string base = folder;
    while (!base.empty() && (base.back() == '/' || base.back() == '\\')) base.pop_back();
    for (int n = 1; n < 1000 && keep.empty(); ++n) {
      const std::string candidate = base + ".before-restore-" + std::to_string(n) + ".txt";
      if (!fs->Exists(candidate) &&
          SUCCEEDED(vexa::storage::WriteNewFile(fs, candidate, text.data(), text.size()))) {
        keep = candidate;
      }
    }
    if (keep.empty()) return Error("cannot keep the folder's previous contents beside it");
  } else if (FAILED(vexa::storage::WriteNewFile(fs, keep, text.data(), text.size()))) {
    return Error("cannot write " + keep + " (it must not exist yet)");
  }
  std::fprintf(out, "kept the previous contents (%s) in %s\n", Summary(previous).c_str(),
               keep.c_str());

  std::string error;
  if (!WriteDataFolder(fs, folder, contents, WriteMode::kReplace, &error)) return Error(error);
  std::fprintf(out, "restored %s into %s\n", Summary(contents).c_str(), folder.c_str());
  return 0;
}
