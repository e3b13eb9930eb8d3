#include "data/packageindex.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "data/package.h"

namespace {

// Compares `a` and `b` read from their last characters back, as unsigned bytes: negative, zero or
// positive. A string is ordered before every longer string that ends with it.
int CompareBackwards(std::string_view a, std::string_view b) {
  size_t i = a.size();
  size_t j = b.size();
  while (i > 0 && j > 0) {
    const auto x = static_cast<unsigned char>(a[i - 1]);
    const auto y = static_cast<unsigned char>(b[j - 1]);
    if (x != y) return x < y ? -1 : 1;
    --i;
    --j;
  }
  if (i == 0 && j == 0) return 0;
  return i == 0 ? -1 : 1;
}

}  // namespace

char CPackageIndex::Fold(char c) {
  if (c == '/') return '\\';
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c;
}

void CPackageIndex::Clear() {
  folded_.clear();
  folded_.shrink_to_fit();
  starts_.clear();
  starts_.shrink_to_fit();
  first_.clear();
  endingRuns_.clear();
  for (uint64_t& bits : lengths_) bits = 0;
  byEnding_.clear();
  byEnding_.shrink_to_fit();
  minTree_.clear();
  minTree_.shrink_to_fit();
}

std::string_view CPackageIndex::Name(int32_t index) const {
  const size_t at = starts_[static_cast<size_t>(index)];
  return std::string_view(folded_).substr(at, starts_[static_cast<size_t>(index) + 1] - at);
}

void CPackageIndex::Build(const PackageEntry* entries, int32_t count) {
  Clear();
  if (!entries || count <= 0) return;
  const auto n = static_cast<size_t>(count);
  size_t total = 0;
  for (size_t i = 0; i < n; ++i) total += std::strlen(entries[i].name);
  folded_.reserve(total);
  starts_.reserve(n + 1);
  for (size_t i = 0; i < n; ++i) {
    starts_.push_back(static_cast<uint32_t>(folded_.size()));
    for (const char* c = entries[i].name; *c; ++c) folded_.push_back(Fold(*c));
  }
  starts_.push_back(static_cast<uint32_t>(folded_.size()));

  // folded_ no longer changes: views into it stay valid.
  first_.reserve(n);
  byEnding_.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const auto index = static_cast<int32_t>(i);
    first_.emplace(Name(index), index);  // keeps the first of equal names
    const size_t length = Name(index).size();
    lengths_[length / 64] |= uint64_t{1} << (length % 64);
    if (length > 0) byEnding_.push_back(index);
  }
  std::stable_sort(byEnding_.begin(), byEnding_.end(),
                   [this](int32_t a, int32_t b) { return CompareBackwards(Name(a), Name(b)) < 0; });
  const size_t m = byEnding_.size();
  for (size_t k = 0; k < m; ++k) {
    const std::string_view name = Name(byEnding_[k]);
    if (name.size() < kEndingBytes) continue;
    const auto run = endingRuns_.emplace(name.substr(name.size() - kEndingBytes),
                                         std::make_pair(static_cast<uint32_t>(k), 0u));
    run.first->second.second = static_cast<uint32_t>(k + 1);
  }
  minTree_.assign(2 * m, INT32_MAX);
  for (size_t k = 0; k < m; ++k) minTree_[m + k] = byEnding_[k];
  for (size_t k = m; k-- > 1;) minTree_[k] = std::min(minTree_[2 * k], minTree_[2 * k + 1]);
}

int32_t CPackageIndex::MinIndexIn(size_t from, size_t to) const {
  const size_t m = byEnding_.size();
  int32_t best = INT32_MAX;
  for (from += m, to += m; from < to; from >>= 1, to >>= 1) {
    if (from & 1) best = std::min(best, minTree_[from++]);
    if (to & 1) best = std::min(best, minTree_[--to]);
  }
  return best;
}

int32_t CPackageIndex::FindExact(std::string_view name) const {
  if (first_.empty()) return -1;
  char buffer[256];
  if (name.size() >= sizeof buffer) return -1;  // no entry name is that long
  for (size_t i = 0; i < name.size(); ++i) {
    // Entry names hold '\\' only: a request with '/' names no entry.
    if (name[i] == '/') return -1;
    buffer[i] = Fold(name[i]);
  }
  const auto it = first_.find(std::string_view(buffer, name.size()));
  return it == first_.end() ? -1 : it->second;
}

int32_t CPackageIndex::FindAgreeingFromEnd(std::string_view folded) const {
  if (folded.empty() || byEnding_.empty()) return -1;
  int32_t best = INT32_MAX;
  // Entries no longer than the request: each is one of the request's endings, looked up whole
  // (only at the lengths some name has).
  const size_t longest = std::min<size_t>(folded.size(), 255);
  for (size_t length = 1; length <= longest; ++length) {
    if (!((lengths_[length / 64] >> (length % 64)) & 1)) continue;
    const auto it = first_.find(folded.substr(folded.size() - length));
    if (it != first_.end()) best = std::min(best, it->second);
  }
  // Entries longer than the request (or as long): those that end with it, a run of the entries
  // sorted backwards; a long request's run lies inside the run of its last characters.
  auto from = byEnding_.begin();
  auto to = byEnding_.end();
  if (folded.size() >= kEndingBytes) {
    const auto run = endingRuns_.find(folded.substr(folded.size() - kEndingBytes));
    if (run == endingRuns_.end()) return best == INT32_MAX ? -1 : best;
    to = byEnding_.begin() + run->second.second;
    from = byEnding_.begin() + run->second.first;
    if (to - from == 1) {
      // The usual case: one name has these last characters.
      const std::string_view name = Name(*from);
      if (name.size() >= folded.size() &&
          name.compare(name.size() - folded.size(), folded.size(), folded) == 0) {
        best = std::min(best, *from);
      }
      return best == INT32_MAX ? -1 : best;
    }
  }
  const auto begin =
      std::lower_bound(from, to, folded, [this](int32_t index, std::string_view request) {
        return CompareBackwards(Name(index), request) < 0;
      });
  const auto end = std::partition_point(begin, to, [this, folded](int32_t index) {
    const std::string_view name = Name(index);
    return name.size() >= folded.size() &&
           name.compare(name.size() - folded.size(), folded.size(), folded) == 0;
  });
  if (begin != end) {
    best = std::min(best, MinIndexIn(static_cast<size_t>(begin - byEnding_.begin()),
                                     static_cast<size_t>(end - byEnding_.begin())));
  }
  return best == INT32_MAX ? -1 : best;
}
