// The lookups of a package's entry names, indexed once when the package is opened so that finding
// a name costs the same in a package of 25,000 entries as in one of 100.
//
// Names are folded as the loader compares them: ASCII letters in lower case, '/' as '\\'. Two
// lookups, each answering with the first matching entry in directory order (the answer a walk of
// the directory gives):
//   - FindExact: the entry whose folded name is the folded request;
//   - FindAgreeingFromEnd: the entry whose folded name and the (already folded) request agree from
//     their last characters back until one of them runs out. Either may be the longer: an entry
//     "levels\\a.xml" answers "a.xml", and an entry "a.xml" answers "x\\a.xml". Entries with empty
//     names never match.
//
// Build runs once (not concurrently with lookups); lookups are const and may run on any number of
// threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct PackageEntry;

class CPackageIndex {
 public:
  void Build(const PackageEntry* entries, int32_t count);
  void Clear();

  // First entry whose folded name equals the folded `name`, or -1.
  int32_t FindExact(std::string_view name) const;

  // First entry agreeing with `folded` from the end, or -1. `folded` must already be folded; an
  // empty request matches nothing.
  int32_t FindAgreeingFromEnd(std::string_view folded) const;

  // The folding of one character.
  static char Fold(char c);

 private:
  std::string_view Name(int32_t index) const;
  // The smallest entry index among sorted positions [from, to), or INT32_MAX.
  int32_t MinIndexIn(size_t from, size_t to) const;

  std::string folded_;            // every folded name, back to back
  std::vector<uint32_t> starts_;  // entry i's name: folded_[starts_[i], starts_[i + 1])
  std::unordered_map<std::string_view, int32_t> first_;  // folded name -> first entry
  std::vector<int32_t> byEnding_;  // non-empty entries sorted by their names read backwards
  std::vector<int32_t> minTree_;   // minimum entry index over byEnding_ (a segment tree)
  // Names of at least kEndingBytes characters, by their last kEndingBytes characters: the run of
  // byEnding_ [begin, end) they occupy, so a long request is narrowed in one step.
  std::unordered_map<std::string_view, std::pair<uint32_t, uint32_t>> endingRuns_;
  // Bit n set when some entry's folded name has n characters (n < 256).
  uint64_t lengths_[4] = {};

  static constexpr size_t kEndingBytes = 8;
};
