#include "storage/highscores.h"

#include <algorithm>
#include <limits>

#include "storage/primitives.h"

namespace {

bool IsSpaceChar(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One field read like atoi: leading white space, an optional sign, the digits that follow.
// Saturates at the 32-bit limits instead of wrapping.
int32_t FieldValue(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && IsSpaceChar(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    if (magnitude <= limit) magnitude = magnitude * 10 + (field[i] - '0');
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string_view View(const CSmallStr& text) {
  return std::string_view(text.c_str(), static_cast<size_t>(text.GetLength()));
}

}  // namespace

bool ScoreRanksBefore(std::string_view a, std::string_view b) {
  for (;;) {
    const size_t aEnd = a.find(' ');
    const size_t bEnd = b.find(' ');
    const int32_t aValue = FieldValue(a.substr(0, aEnd));
    const int32_t bValue = FieldValue(b.substr(0, bEnd));
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
