// A program that keeps changing saves until it is killed, and the check of what it left behind.
//
//   save_crasher run <folder> <seed>
//     Changes the saves of a few sets in <folder> without end: each change gives one slot of one
//     set the next generation number, with data derived from (set, slot, generation) and a size
//     that varies. Now and then it flushes and then prints "durable <set> <slot> <generation>" for
//     every save it changed (standard output, flushed at once): those saves were on disk when the
//     line appeared. Continues from the generations found in the folder.
//   save_crasher verify <folder> <log>
//     After a kill: every set file must read and decode completely, every save must hold exactly
//     the data of the generation it names, and no save may be older than the last "durable" line
//     of <log> says. Temporary files of the killed process are counted and swept. Prints one line
//     of figures; exit status 0 when everything holds, 1 otherwise.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/filesystem.h"
#include "storage/atomicfile.h"
#include "storage/protectedfile.h"
#include "storage/savestore.h"

namespace {

constexpr int kSets = 4;
constexpr int kSlots = 3;

std::string SetName(int set) {
  return "crash" + std::to_string(set);
}

// The data of a save: its generation, then bytes that depend on everything, in a length that
// varies with the generation (up to about 40 KB, so some writes take a while).
std::string DataFor(int set, int slot, uint64_t generation) {
  std::string data = "g" + std::to_string(generation) + ":";
  uint64_t x = generation * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(set * 31 + slot);
  const size_t length = 16 + static_cast<size_t>((generation * 7919 + set * 104729) % 40000);
  for (size_t i = 0; i < length; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    data += static_cast<char>('a' + (x >> 59));
  }
  return data;
}

bool ParseGeneration(const std::string& data, uint64_t* generation) {
  if (data.size() < 3 || data[0] != 'g') return false;
  const size_t colon = data.find(':');
  if (colon == std::string::npos) return false;
  char* end = nullptr;
  *generation = std::strtoull(data.c_str() + 1, &end, 10);
  return end == data.c_str() + colon;
}

// Reads a set file strictly: anything short of a complete, exact decode is a failure.
bool ReadSetFile(const std::string& path, const std::string& set, CSaveManager* saves,
                 std::string* problem) {
  CProtectedContainer file;
  CMemoryStream entry;
  const HRESULT hr =
      ReadProtectedEntry(nullptr, path, set.c_str(), kSaveSetPassword, &file, &entry);
  if (hr == E_ACCESSDENIED) return true;  // not written yet
  if (FAILED(hr)) {
    *problem = "read status " + std::to_string(hr);
    return false;
  }
  if (FAILED(saves->Decode(&entry)) || entry.Position() != entry.Data().size()) {
    *problem = "entry does not decode completely";
    return false;
  }
  return true;
}

int Run(const std::string& folder, uint32_t seed) {
  vexa::storage::CFixedDataFolders folders(folder, "");
  CSaveStore store(&folders);
  std::map<std::pair<int, int>, uint64_t> next;
  uint64_t start = 1;
  for (int set = 0; set < kSets; ++set) {
    CSaveManager saves;
    std::string problem;
    ReadSetFile(vexa::storage::JoinPath(folder, SetName(set)), SetName(set), &saves, &problem);
    for (const CSave& save : saves.GetSaves()) {
      uint64_t generation = 0;
      if (ParseGeneration(save.GetData().str(), &generation) && generation >= start)
        start = generation + 1;
    }
  }
  std::mt19937 rng(seed);
  std::map<std::pair<int, int>, uint64_t> changed;
  for (uint64_t generation = start;; ++generation) {
    const int set = static_cast<int>(rng() % kSets);
    const int slot = static_cast<int>(rng() % kSlots);
    const std::string data = DataFor(set, slot, generation);
    const std::string description = "generation " + std::to_string(generation);
    if (FAILED(store.SetSave(SetName(set).c_str(), slot, description.c_str(), data.c_str()))) {
      std::fprintf(stderr, "SetSave failed\n");
      return 2;
    }
    changed[{set, slot}] = generation;
    if (rng() % 16 == 0) {
      if (FAILED(store.Flush())) continue;
      for (const auto& entry : changed) {
        std::printf("durable %d %d %llu\n", entry.first.first, entry.first.second,
                    static_cast<unsigned long long>(entry.second));
      }
      std::fflush(stdout);
      changed.clear();
    }
  }
}

int Verify(const std::string& folder, const std::string& log) {
  std::map<std::pair<int, int>, uint64_t> durable;
  std::ifstream in(log);
  std::string word;
  int set = 0, slot = 0;
  unsigned long long generation = 0;
  while (in >> word >> set >> slot >> generation) {
    if (word == "durable") durable[{set, slot}] = generation;
  }
  int failures = 0;
  int saves_checked = 0;
  uint64_t newest = 0;
  for (int s = 0; s < kSets; ++s) {
    const std::string path = vexa::storage::JoinPath(folder, SetName(s));
    CSaveManager saves;
    std::string problem;
    if (!ReadSetFile(path, SetName(s), &saves, &problem)) {
      std::printf("FAIL %s: %s\n", SetName(s).c_str(), problem.c_str());
      ++failures;
      continue;
    }
    for (int k = 0; k < kSlots; ++k) {
      const CSave* save = saves.Find(k);
      auto promised = durable.find({s, k});
      if (!save) {
        if (promised != durable.end()) {
          std::printf("FAIL %s slot %d: lost (durable generation %llu)\n", SetName(s).c_str(), k,
                      static_cast<unsigned long long>(promised->second));
          ++failures;
        }
        continue;
      }
      ++saves_checked;
      uint64_t found = 0;
      const std::string data = save->GetData().str();
      if (!ParseGeneration(data, &found) || data != DataFor(s, k, found) ||
          save->GetDescription().str() != "generation " + std::to_string(found)) {
        std::printf("FAIL %s slot %d: data does not match its generation\n", SetName(s).c_str(), k);
        ++failures;
        continue;
      }
      if (promised != durable.end() && found < promised->second) {
        std::printf("FAIL %s slot %d: generation %llu older than durable %llu\n",
                    SetName(s).c_str(), k, static_cast<unsigned long long>(found),
                    static_cast<unsigned long long>(promised->second));
        ++failures;
      }
      if (found > newest) newest = found;
    }
  }
  // What the kill left half-done: temporary files only, never a damaged set file.
  const int swept = vexa::storage::RemoveStaleTemporaryFiles(nullptr, folder);
  std::printf("checked saves=%d newest=%llu temporary=%d failures=%d\n", saves_checked,
              static_cast<unsigned long long>(newest), swept, failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "run")
    return Run(argv[2], static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)));
  if (argc == 4 && std::string(argv[1]) == "verify") return Verify(argv[2], argv[3]);
  std::fprintf(stderr, "usage: save_crasher run <folder> <seed> | verify <folder> <log>\n");
  return 2;
}
