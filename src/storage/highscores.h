// High scores: named tables of score texts, best first, kept in "bstscore.dat" in the data folder,
// one container entry per table, scrambled with kHighScorePassword.
//
// A score text is a run of fields separated by single spaces; each field counts as a decimal
// integer read like atoi (an empty or non-numeric field is 0; values beyond the 32-bit range
// saturate). Larger numbers rank first, later fields break ties, and on a tie over all common
// fields the text with more fields ranks first. Texts that tie completely keep their order, so a
// new score goes after the existing scores of the same rank.
//
// Table entry content: count (4 bytes), then each score as a string (storage/primitives.h).
//
// Listing (GHS): "<highscores>\n", per score "\t<score value=\"" text "\"/>\n", then
// "</highscores>". Score texts are not escaped: movies read the listing as the format was always
// written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "script/stream.h"
#include "storage/protectedfile.h"
#include "storage/savestore.h"

// A table never grows past this many scores through a command (SHIP padding, SHS with a huge
// size); a command that would make it larger gets VEXA_E_STORE_LIMIT and changes nothing. Files
// with longer tables (made elsewhere) are read whole: memory is bounded by the entry's bytes.
inline constexpr int32_t kMaxHighScores = 10000;
// The longest score text a command may store.
inline constexpr size_t kMaxScoreLength = 4096;

// Whether score text `a` ranks before `b` (see the file comment).
bool ScoreRanksBefore(std::string_view a, std::string_view b);

// One table in memory: its score texts in table order.
class CHighScoreManager {
 public:
  CHighScoreManager() = default;
  CHighScoreManager(const CHighScoreManager&) = default;
  CHighScoreManager& operator=(const CHighScoreManager&) = default;
  virtual ~CHighScoreManager() = default;

  const std::vector<CSmallStr>& Scores() const { return scores_; }
  std::vector<CSmallStr>& Scores() { return scores_; }

  // Reads a table entry. The count is only a promise: scores are appended as they arrive, so a
  // count of four billion with three scores behind it allocates for three. S_OK when every
  // announced score was read; E_FAIL (empty table) when the count cannot be read; otherwise the
  // failing read's status, with the scores read before it kept.
  HRESULT Decode(IByteStream* stream);

  // Writes the count and the first `limit` scores (all of them when `limit` is negative or larger
  // than the table). S_OK or the stream's failure.
  HRESULT Encode(IByteStream* stream, int64_t limit = -1) const;

  // Appends `score`, orders the table (stable) and returns the index of the first text equal to
  // `score` byte for byte (for a text already present, the older copy's index).
  int32_t Place(const CSmallStr& score);

  // SHIP: with at most `position` scores, pads with empty texts to `position` scores and appends
  // `score`; otherwise inserts `score` before index `position` and, when `size` is 0, removes the
  // score it displaced. No ordering. `position` must not be negative.
  void PlaceAt(int32_t position, int32_t size, const CSmallStr& score);

  // The GHS listing of the table.
  CSmallStr Listing() const;

 private:
  std::vector<CSmallStr> scores_;
};

// The listing of an empty (or refused) table.
CSmallStr EmptyHighScoreListing();

// The high-score store: GHS, SHS, IHS and SHIP over "bstscore.dat".
//
// Nothing is cached: each operation reads the file (a missing one is filled from its seed copy in
// the seed folder) and each change rewrites it at once through the protected-file layer, which
// writes atomically, carries the other tables over as they are stored, keeps a copy of a damaged
// file before its first rewrite and never writes over a file it could not read.
//
// Reading is forgiving, as games expect: a missing file, a missing table, a wrong password or
// damaged content give an empty or partial table and no error. Only what the player cannot stand
// behind is a failure: a table name IsValidTableName refuses, a file that exists but cannot be read
// (VEXA_E_FILE_UNREADABLE: no position is made up from it and nothing is written over it), and a
// change beyond the limits.
//
// Threading: the command (UI) thread only (tools use it on their one thread).
class CHighScoreStore {
 public:
  // `folders` (required) and `fs` (null: the native file system) are not owned and must outlive
  // the store.
  explicit CHighScoreStore(vexa::storage::IDataFolderSource* folders,
                           vexa::platform::IFileSystem* fs = nullptr);

  // GHS. S_OK with the table's listing (the empty listing for a table that is missing or does not
  // decode, and for a file that cannot be read). E_INVALIDARG for a refused name, with the empty
  // listing; E_POINTER without `listing`.
  HRESULT GetHighScores(const char* table, CSmallStr* listing);

  // SHS: places `score` and keeps the best `tableSize` scores (0 stores an empty table). S_OK or
  // the rewrite's failure. Nothing is written, with E_INVALIDARG, for a refused name, a null score
  // or a negative size; with VEXA_E_STORE_LIMIT for a score longer than kMaxScoreLength or a
  // table that would grow past kMaxHighScores; with VEXA_E_FILE_UNREADABLE for a file that cannot
  // be read; E_FAIL without a data folder.
  HRESULT SetHighScore(int32_t tableSize, const char* table, const char* score);

  // IHS: the 0-based position `score` would take (it may be at or beyond any size; the size is not
  // used). The file is not changed. S_OK; E_INVALIDARG for a refused name or a null score;
  // VEXA_E_FILE_UNREADABLE; E_POINTER without `position`. `position` is unchanged on failure.
  HRESULT IsHighScore(int32_t tableSize, const char* table, const char* score, int32_t* position);

  // SHIP: puts `score` at `position` (CHighScoreManager::PlaceAt) and keeps the first `tableSize`
  // scores (0: all). S_OK or the rewrite's failure. Nothing is written, with E_INVALIDARG, for a
  // refused name, a null score, a negative position or size; with VEXA_E_STORE_LIMIT for a score
  // longer than kMaxScoreLength, a position past kMaxHighScores or a table that would grow past
  // it; VEXA_E_FILE_UNREADABLE and E_FAIL as for SetHighScore.
  HRESULT SetHighScoreAt(int32_t position, int32_t tableSize, const char* table, const char* score);

  // ---- For tools (vexasaves) and tests

  // Reads one table as the commands do, keeping what the read found in `file` (may be null). S_OK;
  // E_ACCESSDENIED (no file), E_FAIL (no such table or damaged content: `scores` holds what could
  // be read), VEXA_E_FILE_UNREADABLE, E_INVALIDARG (refused name), E_FAIL without a data folder.
  HRESULT ReadTable(const char* table, CHighScoreManager* scores,
                    CProtectedContainer* file = nullptr);
  // Replaces one table with `scores`, unlimited, carrying the others over. Same failures as
  // SetHighScore.
  HRESULT WriteTable(const char* table, const CHighScoreManager& scores);
  // The names of the tables in the file, in file order. S_OK (none for a missing file);
  // VEXA_E_FILE_UNREADABLE; E_FAIL for a file that is not a container or no data folder.
  HRESULT ListTables(std::vector<std::string>* tables);

 private:
  bool FilePaths(std::string* path, std::string* seedPath);
  // Reads, lets `change` alter the table, and rewrites it limited to `limit` scores (negative:
  // all). `change` returns S_OK to write or a failure to stop.
  template <class Change>
  HRESULT Modify(const char* table, int64_t limit, Change change);

  vexa::storage::IDataFolderSource* folders_;
  vexa::platform::IFileSystem* fs_;
};
