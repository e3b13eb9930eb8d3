#include "folder.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/codepage.h"
#include "storage/archiver.h"
#include "storage/atomicfile.h"
#include "storage/containerformat.h"
#include "storage/datafolder.h"
#include "storage/highscores.h"
#include "storage/protectedfile.h"
#include "storage/saves.h"
#include "storage/savestore.h"
#include "storage/vregistry.h"

using vexa::platform::IFileSystem;
using vexa::storage::JoinPath;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsDamagedCopy(const std::string& name) {
  const std::string lower = Lower(name);
  const size_t at = lower.rfind(kDamagedSuffix);
  if (at == std::string::npos) return false;
  const size_t digits = at + std::char_traits<char>::length(kDamagedSuffix);
  if (digits == lower.size()) return false;
  return std::all_of(lower.begin() + static_cast<std::ptrdiff_t>(digits), lower.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why a container could not be used, for the report.
std::string StateProblem(CProtectedContainer::State state) {
  switch (state) {
    case CProtectedContainer::State::kUnreadable:
      return "cannot be read (locked, no access, or too large)";
    case CProtectedContainer::State::kEmptyFile:
      return "damaged: the file is empty";
    case CProtectedContainer::State::kNotContainer:
      return "damaged: not a data file";
    default:
      return "cannot be read";
  }
}

void AddProblem(FolderFile* file, const std::string& problem) {
  if (!file->problem.empty()) file->problem += "; ";
  file->problem += problem;
}

// Decodes every entry of a multi-entry file with `decode(name, bytes, file)`.
template <class Decode>
void ReadEntries(IFileSystem* fs, const std::string& path, const char* password, FolderFile* file,
                 Decode decode) {
  CProtectedContainer container;
  if (container.Load(fs, path) != CProtectedContainer::State::kParsed) {
    AddProblem(file, StateProblem(container.GetState()));
    return;
  }
  const CPackageArchive* archive = container.GetArchive();
  for (int32_t i = 0; i < archive->GetEntryCount(); ++i) {
    const std::string name = archive->GetEntry(i)->name;
    std::vector<uint8_t> bytes;
    if (!vexa::storage::ReadProtectedEntryAt(container, i, password, &bytes)) {
      AddProblem(file, "damaged: '" + name + "' does not decode");
      continue;
    }
    CMemoryStream stream(std::move(bytes));
    decode(name, &stream, file);
    ++file->items;
  }
}

// Every file the player writes begins with the container's magic and mode bytes, so bytes that do
// not are someone else's file rather than a damaged save set. An empty file is kept as damaged: an
// older player that wrote in place leaves one when it crashes.
bool StartsLikeContainer(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 2 && bytes[0] == vexa::container::kMagic &&
         (bytes[1] == vexa::container::kModeStored || bytes[1] == vexa::container::kModeCompressed);
}

void ReadSaveSet(IFileSystem* fs, const std::string& path, FolderFile* file,
                 ExportContents* contents) {
  // The entry is named after the set in the player's code page; the file name is its UTF-8 form.
  const std::string setName =
      vexa::platform::WideToAnsi(vexa::platform::Utf8ToWide(file->fileName));
  if (!vexa::storage::IsValidSetName(setName.c_str())) {
    file->kind = FolderFile::Kind::kOther;  // the player never names a set file like this
    return;
  }
  CProtectedContainer container;
  CMemoryStream entry;
  const HRESULT hr =
      ReadProtectedEntry(fs, path, setName.c_str(), kSaveSetPassword, &container, &entry);
  if (container.GetState() == CProtectedContainer::State::kNotContainer &&
      !StartsLikeContainer(container.GetBytes())) {
    // desktop.ini, a player's notes: never written by the player, so nothing of a game is lost.
    file->kind = FolderFile::Kind::kOther;
    return;
  }
  if (container.GetState() != CProtectedContainer::State::kParsed) {
    file->kind = FolderFile::Kind::kOther;
    AddProblem(file, container.GetState() == CProtectedContainer::State::kNotContainer
                         ? "not a save set (a damaged one, or not the player's file)"
                         : StateProblem(container.GetState()));
    return;
  }
  const int32_t index = container.GetArchive()->FindEntry(setName.c_str());
  if (index < 0) {
    file->kind = FolderFile::Kind::kOther;
    AddProblem(file, "a data file without an entry named after it");
    return;
  }
  file->kind = FolderFile::Kind::kSaveSet;
  file->name = container.GetArchive()->GetEntry(index)->name;
  if (FAILED(hr)) {
    AddProblem(file, "damaged: the save set does not decode");
    return;
  }
  CSaveManager saves;
  const HRESULT decoded = saves.Decode(&entry);
  ExportSet set;
  set.name = file->name;
  for (const CSave& save : saves.GetSaves()) {
    set.saves.push_back(
        ExportSave{save.GetSlot(), save.GetDescription().str(), save.GetData().str()});
  }
  file->items = static_cast<int>(set.saves.size());
  if (FAILED(decoded)) {
    AddProblem(file, "damaged: ends after " + Plural(file->items, "save", "saves"));
  }
  contents->sets.push_back(std::move(set));
}

// The file of set `name` in `folder`: an existing file whose name matches ignoring ASCII case
// (one set on Windows), else the set's own name.
std::string SetPath(IFileSystem* fs, const std::string& folder, const std::string& name) {
  const std::string fileName = vexa::storage::SetFileName(name.c_str());
  std::vector<std::string> names;
  if (fs->ListFolder(folder, &names)) {
    for (const std::string& existing : names) {
      if (Lower(existing) == Lower(fileName)) return JoinPath(folder, existing);
    }
  }
  return JoinPath(folder, fileName);
}

bool Fail(std::string* error, const std::string& what, HRESULT hr) {
  if (error) {
    *error = what;
    if (hr == VEXA_E_FILE_UNREADABLE) {
      *error += ": the file exists but cannot be read, so it is left alone";
    } else if (hr == VEXA_E_STORE_LIMIT) {
      *error += ": over the player's limits";
    } else if (hr == VEXA_E_BACKUP_FAILED) {
      *error += ": the damaged file could not be copied aside, so it was not replaced";
    } else if (FAILED(hr)) {
      char code[16];
      std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hr));
      *error += std::string(": write failed (") + code + ")";
    }
  }
  return false;
}

// A whole multi-entry file of `entries` (name, content) built anew and written atomically; the
// file is deleted when there are no entries.
bool WriteWholeFile(IFileSystem* fs, const std::string& path,
                    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries,
                    const char* password, std::string* error) {
  if (entries.empty()) {
    if (!fs->Remove(path)) return Fail(error, "cannot delete " + path, E_FAIL);
    return true;
  }
  CArchiver archiver;
  archiver.Reset(static_cast<int32_t>(entries.size()));
  for (const auto& entry : entries) {
    if (archiver.AddEntry(static_cast<uint32_t>(entry.second.size()), entry.first.c_str(),
                          entry.second.data(), password) < 0) {
      return Fail(error, "cannot store '" + entry.first + "'", archiver.LastStatus());
    }
  }
  CSmartBuffer built;
  HRESULT hr = archiver.Build(&built);
  if (SUCCEEDED(hr)) {
    hr = vexa::storage::WriteFileAtomic(fs, path, built.Data(), static_cast<size_t>(built.Size()));
  }
  return SUCCEEDED(hr) || Fail(error, "cannot write " + path, hr);
}

bool CheckNames(const ExportContents& contents, std::string* error) {
  std::map<std::string, std::string> seen;
  for (const ExportSet& set : contents.sets) {
    if (!vexa::storage::IsValidSetName(set.name.c_str())) {
      return Fail(error, "the player refuses the set name " + QuoteText(set.name), S_OK);
    }
    const std::string key = vexa::storage::SetNameKey(set.name.c_str());
    if (!seen.emplace("set " + key, set.name).second) {
      return Fail(error, "two sets named " + QuoteText(set.name) + " (letter case is ignored)",
                  S_OK);
    }
  }
  for (const ExportTable& table : contents.tables) {
    if (!vexa::storage::IsValidTableName(table.name)) {
      return Fail(error, "the player refuses the table name " + QuoteText(table.name), S_OK);
    }
    if (!seen.emplace("table " + Lower(table.name), table.name).second) {
      return Fail(error, "two tables named " + QuoteText(table.name) + " (letter case is ignored)",
                  S_OK);
    }
  }
  for (const ExportScope& scope : contents.scopes) {
    if (scope.entry.size() > CArchiver::kMaxNameLength) {
      return Fail(error, "the scope name " + QuoteText(scope.entry) + " is too long", S_OK);
    }
    if (!seen.emplace("scope " + Lower(scope.entry), scope.entry).second) {
      return Fail(error, "two scopes named " + QuoteText(scope.entry) + " (letter case is ignored)",
                  S_OK);
    }
  }
  return true;
}

bool WriteSet(IFileSystem* fs, const std::string& folder, const ExportSet& set, WriteMode mode,
              std::string* error) {
  const std::string path = SetPath(fs, folder, set.name);
  CProtectedContainer container;
  CMemoryStream current;
  const HRESULT read =
      ReadProtectedEntry(fs, path, set.name.c_str(), kSaveSetPassword, &container, &current);
  if (read == VEXA_E_FILE_UNREADABLE) return Fail(error, "set " + QuoteText(set.name), read);
  CSaveManager saves;
  if (SUCCEEDED(read) && FAILED(saves.Decode(&current))) container.MarkDamaged();
  if (mode == WriteMode::kReplace) saves.Clear();
  for (const ExportSave& save : set.saves) {
    const HRESULT hr = saves.Put(save.slot, CSmallStr(save.description), CSmallStr(save.data));
    if (FAILED(hr)) return Fail(error, "set " + QuoteText(set.name), hr);
  }
  CMemoryStream encoded;
  HRESULT hr = saves.Encode(&encoded);
  if (SUCCEEDED(hr)) {
    hr = ReplaceProtectedEntry(fs, &encoded, path, set.name.c_str(), kSaveSetPassword, &container);
  }
  return SUCCEEDED(hr) || Fail(error, "set " + QuoteText(set.name), hr);
}

}  // namespace

bool FolderReport::HasProblems() const {
  for (const FolderFile& file : files) {
    if (!file.problem.empty()) return true;
  }
  return false;
}

bool ReadDataFolder(IFileSystem* fs, const std::string& folder, ExportContents* contents,
                    FolderReport* report, std::string* error) {
  fs = vexa::storage::FileSystemOrNative(fs);
  std::vector<std::string> names;
  if (!fs->ListFolder(folder, &names)) {
    if (error) *error = "cannot read the folder " + folder;
    return false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    FolderFile file;
    file.fileName = name;
    const std::string path = JoinPath(folder, name);
    const std::string lower = Lower(name);
    if (lower == kHighScoreFileName) {
      file.kind = FolderFile::Kind::kHighScores;
      ReadEntries(fs, path, kHighScorePassword, &file,
                  [&](const std::string& table, IByteStream* stream, FolderFile* f) {
                    CHighScoreManager scores;
                    const HRESULT hr = scores.Decode(stream);
                    ExportTable out{table, {}};
                    for (const CSmallStr& score : scores.Scores())
                      out.scores.push_back(score.str());
                    if (FAILED(hr)) {
                      AddProblem(
                          f, "damaged: table '" + table + "' ends after " +
                                 Plural(static_cast<int>(out.scores.size()), "score", "scores"));
                    }
                    contents->tables.push_back(std::move(out));
                  });
    } else if (lower == kRegistryFileName) {
      file.kind = FolderFile::Kind::kRegistry;
      ReadEntries(fs, path, kRegistryPassword, &file,
                  [&](const std::string& entry, IByteStream* stream, FolderFile* f) {
                    CVirtualRegistryManager values;
                    const HRESULT hr = values.Decode(stream);
                    if (FAILED(hr)) {
                      AddProblem(f, "damaged: scope '" + entry + "' ends after " +
                                        Plural(static_cast<int>(values.Values().size()), "value",
                                               "values"));
                    }
                    contents->scopes.push_back(ExportScope{entry, values.Values()});
                  });
    } else if (vexa::storage::HasTemporaryMarker(name)) {
      file.kind = FolderFile::Kind::kTemporary;
    } else if (IsDamagedCopy(name)) {
      file.kind = FolderFile::Kind::kDamagedCopy;
    } else {
      ReadSaveSet(fs, path, &file, contents);
    }
    report->files.push_back(std::move(file));
  }
  return true;
}

bool WriteDataFolder(IFileSystem* fs, const std::string& folder, const ExportContents& contents,
                     WriteMode mode, std::string* error) {
  fs = vexa::storage::FileSystemOrNative(fs);
  if (!CheckNames(contents, error)) return false;
  if (!fs->CreateFolder(folder)) return Fail(error, "cannot create the folder " + folder, S_OK);

  ExportContents before;
  FolderReport report;
  if (mode == WriteMode::kReplace) {
    if (!ReadDataFolder(fs, folder, &before, &report, error)) return false;
    // The two shared files are rebuilt whole below: what could not be read in them would be lost.
    for (const FolderFile& file : report.files) {
      if ((file.kind == FolderFile::Kind::kHighScores ||
           file.kind == FolderFile::Kind::kRegistry) &&
          !file.problem.empty()) {
        return Fail(error,
                    file.fileName + " is damaged or unreadable (" + file.problem +
                        "); move it out of the folder first",
                    S_OK);
      }
    }
  }

  for (const ExportSet& set : contents.sets) {
    if (!WriteSet(fs, folder, set, mode, error)) return false;
  }

  vexa::storage::CFixedDataFolders folders(folder, "");
  if (mode == WriteMode::kMerge) {
    CHighScoreStore scores(&folders, fs);
    for (const ExportTable& table : contents.tables) {
      CHighScoreManager values;
      for (const std::string& score : table.scores) values.Scores().push_back(CSmallStr(score));
      const HRESULT hr = scores.WriteTable(table.name.c_str(), values);
      if (FAILED(hr)) return Fail(error, "table " + QuoteText(table.name), hr);
    }
    CVirtualRegistry registry(&folders, fs);
    for (const ExportScope& scope : contents.scopes) {
      CVirtualRegistryManager values;
      const HRESULT read = registry.ReadScope(scope.entry, &values);
      if (read == VEXA_E_FILE_UNREADABLE)
        return Fail(error, "scope " + QuoteText(scope.entry), read);
      for (const auto& value : scope.values) values.Values()[value.first] = value.second;
      const HRESULT hr = registry.WriteScope(scope.entry, values);
      if (FAILED(hr)) return Fail(error, "scope " + QuoteText(scope.entry), hr);
    }
    return true;
  }

  // Replace: the two shared files are built anew from the contents, and sets that are not in the
  // contents go.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> tables;
  for (const ExportTable& table : contents.tables) {
    CHighScoreManager values;
    for (const std::string& score : table.scores) {
      if (score.size() > kMaxScoreLength)
        return Fail(error, "table " + QuoteText(table.name), VEXA_E_STORE_LIMIT);
      values.Scores().push_back(CSmallStr(score));
    }
    CMemoryStream encoded;
    values.Encode(&encoded);
    tables.emplace_back(table.name, encoded.Data());
  }
  if (!tables.empty() || fs->Exists(JoinPath(folder, kHighScoreFileName))) {
    if (!WriteWholeFile(fs, JoinPath(folder, kHighScoreFileName), tables, kHighScorePassword,
                        error)) {
      return false;
    }
  }
  std::vector<std::pair<std::string, std::vector<uint8_t>>> scopes;
  for (const ExportScope& scope : contents.scopes) {
    CVirtualRegistryManager values;
    values.Values() = scope.values;
    bool within = values.Values().size() <= kMaxRegistryValues;
    for (const auto& value : scope.values) {
      within = within && value.first.size() <= kMaxRegistryNameLength &&
               value.second.size() <= kMaxRegistryValueLength;
    }
    if (!within) return Fail(error, "scope " + QuoteText(scope.entry), VEXA_E_STORE_LIMIT);
    CMemoryStream encoded;
    values.Encode(&encoded);
    scopes.emplace_back(scope.entry, encoded.Data());
  }
  if (!scopes.empty() || fs->Exists(JoinPath(folder, kRegistryFileName))) {
    if (!WriteWholeFile(fs, JoinPath(folder, kRegistryFileName), scopes, kRegistryPassword,
                        error)) {
      return false;
    }
  }
  for (const FolderFile& file : report.files) {
    if (file.kind != FolderFile::Kind::kSaveSet) continue;
    const std::string key = vexa::storage::SetNameKey(file.name.c_str());
    const bool kept = std::any_of(
        contents.sets.begin(), contents.sets.end(),
        [&](const ExportSet& s) { return vexa::storage::SetNameKey(s.name.c_str()) == key; });
    if (!kept && !fs->Remove(JoinPath(folder, file.fileName))) {
      return Fail(error, "cannot delete the set file " + file.fileName, E_FAIL);
    }
  }
  return true;
}
