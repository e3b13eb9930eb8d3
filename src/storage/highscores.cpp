#include "storage/highscores.h"

#include <algorithm>
#include <cstring>

#include "platform/decimal.h"
#include "storage/datafolder.h"
#include "storage/primitives.h"
#include "storage/saves.h"

using vexa::storage::IsValidTableName;
using vexa::storage::JoinPath;

namespace {

std::string_view View(const CSmallStr& text) {
  return std::string_view(text.c_str(), static_cast<size_t>(text.GetLength()));
}

}  // namespace

bool ScoreRanksBefore(std::string_view a, std::string_view b) {
  for (;;) {
    const size_t aEnd = a.find(' ');
    const size_t bEnd = b.find(' ');
    const int32_t aValue = vexa::platform::DecimalValue(a.substr(0, aEnd));
    const int32_t bValue = vexa::platform::DecimalValue(b.substr(0, bEnd));
    if (aValue != bValue) return aValue > bValue;
    const bool aMore = aEnd != std::string_view::npos;
    const bool bMore = bEnd != std::string_view::npos;
    if (!aMore || !bMore) return aMore && !bMore;
    a.remove_prefix(aEnd + 1);
    b.remove_prefix(bEnd + 1);
  }
}

HRESULT CHighScoreManager::Decode(IByteStream* stream) {
  scores_.clear();
  uint32_t count = 0;
  if (FAILED(ReadCount(stream, &count))) return E_FAIL;
  for (uint32_t i = 0; i < count; ++i) {
    CSmallStr score;
    const HRESULT hr = ReadString(stream, &score);
    if (FAILED(hr)) return hr;
    scores_.push_back(score);
  }
  return S_OK;
}

HRESULT CHighScoreManager::Encode(IByteStream* stream, int64_t limit) const {
  size_t count = scores_.size();
  if (limit >= 0 && static_cast<uint64_t>(limit) < count) count = static_cast<size_t>(limit);
  HRESULT hr = WriteCount(stream, static_cast<uint32_t>(count));
  for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) hr = WriteString(stream, scores_[i]);
  return hr;
}

int32_t CHighScoreManager::Place(const CSmallStr& score) {
  scores_.push_back(score);
  std::stable_sort(scores_.begin(), scores_.end(), [](const CSmallStr& a, const CSmallStr& b) {
    return ScoreRanksBefore(View(a), View(b));
  });
  const std::string_view wanted = View(score);
  for (size_t i = 0; i < scores_.size(); ++i) {
    if (View(scores_[i]) == wanted) return static_cast<int32_t>(i);
  }
  return static_cast<int32_t>(scores_.size()) - 1;  // not reached: the score was just added
}

void CHighScoreManager::PlaceAt(int32_t position, int32_t size, const CSmallStr& score) {
  if (position < 0) return;
  const size_t at = static_cast<size_t>(position);
  if (scores_.size() <= at) {
    scores_.resize(at);
    scores_.push_back(score);
    return;
  }
  scores_.insert(scores_.begin() + static_cast<std::ptrdiff_t>(at), score);
  if (size == 0) scores_.erase(scores_.begin() + static_cast<std::ptrdiff_t>(at) + 1);
}

CSmallStr CHighScoreManager::Listing() const {
  std::string text = "<highscores>\n";
  for (const CSmallStr& score : scores_) {
    text += "\t<score value=\"";
    text.append(score.c_str(), static_cast<size_t>(score.GetLength()));
    text += "\"/>\n";
  }
  text += "</highscores>";
  return CSmallStr(text);
}

CSmallStr EmptyHighScoreListing() {
  return CHighScoreManager().Listing();
}

// ---- CHighScoreStore

CHighScoreStore::CHighScoreStore(vexa::storage::IDataFolderSource* folders,
                                 vexa::platform::IFileSystem* fs)
    : folders_(folders), fs_(fs) {}

bool CHighScoreStore::FilePaths(std::string* path, std::string* seedPath) {
  std::string folder;
  if (!folders_ || !folders_->GetDataFolder(&folder) || folder.empty()) return false;
  *path = JoinPath(folder, kHighScoreFileName);
  std::string seedFolder;
  seedPath->clear();
  if (folders_->GetSeedFolder(&seedFolder) && !seedFolder.empty()) {
    *seedPath = JoinPath(seedFolder, kHighScoreFileName);
  }
  return true;
}

HRESULT CHighScoreStore::ReadTable(const char* table, CHighScoreManager* scores,
                                   CProtectedContainer* file) {
  if (!scores) return E_POINTER;
  scores->Scores().clear();
  if (!table || !IsValidTableName(table)) return E_INVALIDARG;
  std::string path;
  std::string seedPath;
  if (!FilePaths(&path, &seedPath)) return E_FAIL;
  CProtectedContainer own;
  if (!file) file = &own;
  CMemoryStream entry;
  HRESULT hr =
      ReadProtectedEntryWithSeed(fs_, path, seedPath, table, kHighScorePassword, file, &entry);
  if (FAILED(hr)) return hr;
  hr = scores->Decode(&entry);
  // A table that ends early is rewritten with what could be read: keep the file's bytes first.
  if (FAILED(hr)) file->MarkDamaged();
  return hr;
}

template <class Change>
HRESULT CHighScoreStore::Modify(const char* table, int64_t limit, Change change) {
  if (!table || !IsValidTableName(table)) return E_INVALIDARG;
  std::string path;
  std::string seedPath;
  if (!FilePaths(&path, &seedPath)) return E_FAIL;
  CHighScoreManager scores;
  CProtectedContainer file;
  const HRESULT read = ReadTable(table, &scores, &file);
  // What could not be read is not replaced by a table made up from nothing.
  if (read == VEXA_E_FILE_UNREADABLE || read == E_OUTOFMEMORY) return read;
  const size_t before = scores.Scores().size();
  HRESULT hr = change(&scores);
  if (FAILED(hr)) return hr;
  size_t kept = scores.Scores().size();
  if (limit >= 0 && static_cast<uint64_t>(limit) < kept) kept = static_cast<size_t>(limit);
  if (kept > static_cast<size_t>(kMaxHighScores) && kept > before) return VEXA_E_STORE_LIMIT;
  CMemoryStream stream;
  hr = scores.Encode(&stream, limit);
  if (FAILED(hr)) return hr;
  return ReplaceProtectedEntry(fs_, &stream, path, table, kHighScorePassword, &file);
}

namespace {

// E_INVALIDARG for no score, VEXA_E_STORE_LIMIT for one too long to keep, else S_OK.
HRESULT CheckScore(const char* score) {
  if (!score) return E_INVALIDARG;
  return std::strlen(score) <= kMaxScoreLength ? S_OK : VEXA_E_STORE_LIMIT;
}

}  // namespace

HRESULT CHighScoreStore::GetHighScores(const char* table, CSmallStr* listing) {
  if (!listing) return E_POINTER;
  CHighScoreManager scores;
  const HRESULT hr = ReadTable(table, &scores);
  *listing = scores.Listing();
  return hr == E_INVALIDARG ? hr : S_OK;
}

HRESULT CHighScoreStore::SetHighScore(int32_t tableSize, const char* table, const char* score) {
  const HRESULT check = CheckScore(score);
  if (FAILED(check)) return check;
  if (tableSize < 0) return E_INVALIDARG;
  const CSmallStr text(score);
  return Modify(table, tableSize, [&](CHighScoreManager* scores) {
    scores->Place(text);
    return S_OK;
  });
}

HRESULT CHighScoreStore::IsHighScore(int32_t, const char* table, const char* score,
                                     int32_t* position) {
  if (!position) return E_POINTER;
  if (!score) return E_INVALIDARG;
  CHighScoreManager scores;
  const HRESULT hr = ReadTable(table, &scores);
  if (hr == E_INVALIDARG || hr == VEXA_E_FILE_UNREADABLE || hr == E_OUTOFMEMORY) return hr;
  *position = scores.Place(CSmallStr(score));
  return S_OK;
}

HRESULT CHighScoreStore::SetHighScoreAt(int32_t position, int32_t tableSize, const char* table,
                                        const char* score) {
  const HRESULT check = CheckScore(score);
  if (FAILED(check)) return check;
  if (position < 0 || tableSize < 0) return E_INVALIDARG;
  // Padding to a position far past any table would allocate for every empty score first.
  if (position > kMaxHighScores) return VEXA_E_STORE_LIMIT;
  const CSmallStr text(score);
  return Modify(table, tableSize == 0 ? -1 : tableSize, [&](CHighScoreManager* scores) {
    scores->PlaceAt(position, tableSize, text);
    return S_OK;
  });
}

HRESULT CHighScoreStore::WriteTable(const char* table, const CHighScoreManager& scores) {
  for (const CSmallStr& score : scores.Scores()) {
    if (static_cast<size_t>(score.GetLength()) > kMaxScoreLength) return VEXA_E_STORE_LIMIT;
  }
  return Modify(table, -1, [&](CHighScoreManager* current) {
    *current = scores;
    return S_OK;
  });
}

HRESULT CHighScoreStore::ListTables(std::vector<std::string>* tables) {
  if (!tables) return E_POINTER;
  tables->clear();
  std::string path;
  std::string seedPath;
  if (!FilePaths(&path, &seedPath)) return E_FAIL;
  return ListProtectedEntries(fs_, path, tables);
}
