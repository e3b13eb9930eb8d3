#include "commands.h"

#include <cstdarg>
#include <vector>

#include "console.h"
#include "folder.h"
#include "platform/codepage.h"
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

// Output goes through WriteUtf8: file names and paths are UTF-8 and must reach a Windows console
// as the characters they are.
void Print(std::FILE* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, again);
    text.pop_back();
    WriteUtf8(out, text);
  }
  va_end(again);
}

int Error(const std::string& message) {
  WriteUtf8(stderr, "vexasaves: " + message + "\n");
  return 1;
}

std::string NarrowName(const std::string& utf8) {
  return vexa::platform::WideToAnsi(vexa::platform::Utf8ToWide(utf8));
}

// "--name value" or "--name=value".
bool TakeOption(const std::vector<std::string>& argv, size_t* i, const char* name,
                std::string* value, bool* bad) {
  const std::string& a = argv[*i];
  const std::string prefix = std::string(name) + "=";
  if (a == name) {
    if (*i + 1 >= argv.size()) {
      *bad = true;
      return true;
    }
    *value = argv[++*i];
    return true;
  }
  if (a.compare(0, prefix.size(), prefix) == 0) {
    *value = a.substr(prefix.size());
    return true;
  }
  return false;
}

// 1 (with the reason on stderr) when a game that uses `folder` runs, else 0.
int RefuseWhileRunning(const std::string& folder, const SavesOptions& options) {
  if (!options.gameRunning) return 0;
  std::string name = folder;
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  for (const std::string& game : {NarrowName(name), options.game}) {
    if (game.empty() || !options.gameRunning(game)) continue;
    // The running game holds its saves in memory and writes them back: what we wrote would be
    // undone, or would undo what the player saves meanwhile.
    return Error("the game " + QuoteText(game) + " is running and uses " + folder +
                 "; close it first");
  }
  return 0;
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
  return "other file, not the player's";
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
    Print(stderr, "vexasaves: %s: %s\n", file.fileName.c_str(), file.problem.c_str());
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

bool ParseCommandLine(const std::vector<std::string>& utf8, SavesCommandLine* line,
                      std::string* problem) {
  *line = SavesCommandLine();
  if (utf8.empty()) return true;
  line->command = utf8[0];
  SavesOptions& options = line->options;
  for (size_t i = 1; i < utf8.size(); ++i) {
    bool bad = false;
    if (TakeOption(utf8, &i, "--set", &options.set, &bad) ||
        TakeOption(utf8, &i, "--table", &options.table, &bad) ||
        TakeOption(utf8, &i, "--scope", &options.scope, &bad) ||
        TakeOption(utf8, &i, "--keep", &options.keep, &bad) ||
        TakeOption(utf8, &i, "--game", &options.game, &bad) ||
        TakeOption(utf8, &i, "--saves", &options.saves, &bad) ||
        TakeOption(utf8, &i, "--maker", &options.maker, &bad) ||
        TakeOption(utf8, &i, "--base", &options.base, &bad)) {
      if (bad) {
        *problem = utf8[i] + " needs a value";
        return false;
      }
      continue;
    }
    if (utf8[i] == "--") {
      for (++i; i < utf8.size(); ++i) line->args.push_back(utf8[i]);
    } else if (utf8[i].size() > 2 && utf8[i].compare(0, 2, "--") == 0) {
      *problem = "unknown option " + utf8[i];
      return false;
    } else {
      line->args.push_back(utf8[i]);
    }
  }
  // The stores keep names in the player's narrow code page; paths stay UTF-8.
  for (std::string* name : {&options.set, &options.table, &options.scope, &options.game,
                            &options.saves, &options.maker}) {
    *name = NarrowName(*name);
  }
  return true;
}

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
  // The player has no folder of its own without a game: printing the default one would send a
  // player looking in the wrong place.
  if (options.game.empty() && options.saves.empty()) return Error(kWhereNeedsGame);
  vexa::storage::CDataFolder folder;
  folder.SetMakerName(options.maker);
  folder.SetGameNames(options.saves, options.game);
  folder.SetBaseFolder(options.base);
  std::string path;
  if (!folder.ComputeDataFolder(&path))
    return Error("this system names no application-data folder");
  Print(out, "%s\n", path.c_str());
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
    Print(out, "%-24s %s\n", file.fileName.c_str(), what.c_str());
  }
  size_t others = 0;
  for (const FolderFile& file : report.files) {
    if (file.kind == FolderFile::Kind::kOther && file.problem.empty()) ++others;
  }
  std::string summary = Summary(contents);
  if (others > 0) summary += ", " + Count(others, "other file", "other files");
  Print(out, "%s\n", summary.c_str());
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
    Print(out, "save set %s: %s\n", QuoteText(set.name).c_str(),
          Count(set.saves.size(), "save", "saves").c_str());
    for (const ExportSave& save : set.saves) {
      Print(out, "  slot %d %s\n    data %s\n", static_cast<int>(save.slot),
            QuoteText(save.description).c_str(), QuoteText(save.data).c_str());
    }
  }
  for (const ExportTable& table : contents.tables) {
    Print(out, "high-score table %s: %s\n", QuoteText(table.name).c_str(),
          Count(table.scores.size(), "score", "scores").c_str());
    for (size_t i = 0; i < table.scores.size(); ++i) {
      Print(out, "  %zu. %s\n", i + 1, QuoteText(table.scores[i]).c_str());
    }
  }
  for (const ExportScope& scope : contents.scopes) {
    Print(out, "registry scope %s: %s\n", QuoteText(scope.entry).c_str(),
          Count(scope.values.size(), "value", "values").c_str());
    for (const auto& value : scope.values) {
      Print(out, "  %s = %s\n", QuoteText(value.first).c_str(), QuoteText(value.second).c_str());
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
    // Never over an existing file, like restore's --keep: the file may be the only copy of what a
    // folder held before.
    if (fs->Exists(file)) return Error(file + " already exists; name a new file");
    if (FAILED(vexa::storage::WriteNewFile(fs, file, text.data(), text.size()))) {
      return Error("cannot write " + file);
    }
    Print(out, "exported %s to %s\n", Summary(contents).c_str(), file.c_str());
  }
  // What could not be read is not in the export: say so, and fail.
  return ReportProblems(report) ? 1 : 0;
}

int ImportCommand(IFileSystem* fs, const std::string& folder, const std::string& file,
                  const SavesOptions& options, std::FILE* out) {
  if (RefuseWhileRunning(folder, options)) return 1;
  fs = vexa::storage::FileSystemOrNative(fs);
  ExportContents contents;
  if (!ReadExportFile(fs, file, &contents)) return 1;
  std::string error;
  if (!WriteDataFolder(fs, folder, contents, WriteMode::kMerge, &error)) return Error(error);
  Print(out, "imported %s into %s\n", Summary(contents).c_str(), folder.c_str());
  return 0;
}

int RestoreCommand(IFileSystem* fs, const std::string& folder, const std::string& file,
                   const SavesOptions& options, std::FILE* out) {
  if (RefuseWhileRunning(folder, options)) return 1;
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
  Print(out, "kept the previous contents (%s) in %s\n", Summary(previous).c_str(), keep.c_str());

  std::string error;
  if (!WriteDataFolder(fs, folder, contents, WriteMode::kReplace, &error)) return Error(error);
  Print(out, "restored %s into %s\n", Summary(contents).c_str(), folder.c_str());
  return 0;
}
