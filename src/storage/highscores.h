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

#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "script/stream.h"

class IProtectedFileStore;

namespace vexa::storage {
class CDataFolder;
}

inline constexpr char kHighScorePassword[] = "kipNarr%";

// A table never grows past this many scores through a command (SHIP padding, SHS with a huge
// size); a command that would make it larger gets its failure result and changes nothing. Files
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
// Nothing is cached: each operation reads the file (filling a missing one from its seed copy in
// the current folder) and each change rewrites it at once, carrying the other tables over as they
// are. A table the movie names must pass IsValidStoreName.
//
// Threading: the command (UI) thread only.
class CHighScoreStore {
 public:
  // `files`: the protected-file layer; `folder`: where "bstscore.dat" lives. Not owned.
  CHighScoreStore(IProtectedFileStore* files, vexa::storage::CDataFolder* folder);

  // GHS. S_OK with the table's listing (an empty table when the file or table is missing or does
  // not decode). E_INVALIDARG for a refused name, E_POINTER without `listing`; the listing is then
  // the empty one when `listing` is given.
  HRESULT GetHighScores(const char* table, CSmallStr* listing);

  // SHS: places `score` and keeps the best `tableSize` scores (0 stores an empty table).
  // S_OK or the rewrite's failure. E_INVALIDARG (nothing written) for a refused name, a null or
  // over-long score, a negative size, or a table that would grow past kMaxHighScores.
  HRESULT SetHighScore(int32_t tableSize, const char* table, const char* score);

  // IHS: the position `score` would take (0-based; may be at or beyond any size). The file is not
  // changed. S_OK; E_INVALIDARG for a refused name or null score, E_POINTER without `position`
  // (`position` unchanged on failure).
  HRESULT IsHighScore(int32_t tableSize, const char* table, const char* score, int32_t* position);

  // SHIP: puts `score` at `position` (see CHighScoreManager::PlaceAt) and keeps the first
  // `tableSize` scores (0: all). S_OK or the rewrite's failure. E_INVALIDARG (nothing written) for
  // a refused name, a null or over-long score, a negative position or size, or a table that would
  // grow past kMaxHighScores.
  HRESULT SetHighScoreAt(int32_t position, int32_t tableSize, const char* table, const char* score);

  // Reads one table as the operations do (for tools and tests). The read's status: S_OK, or the
  // failure that left the table empty or partial.
  HRESULT ReadTable(const char* table, CHighScoreManager* scores);

 private:
  HRESULT Change(const char* table, const CHighScoreManager& scores, int64_t limit);

  IProtectedFileStore* files_;
  vexa::storage::CDataFolder* folder_;
};
