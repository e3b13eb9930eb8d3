// Reading a whole game package through CPackageArchive, against the floor set by zlib itself: the
// same streams, unscrambled beforehand, each inflated by one plain uncompress() into a buffer of
// the known size. The reader also undoes the password scramble and allocates every entry's buffer,
// so a ratio near 1 means the reader adds almost nothing to the unavoidable work.
//
// The package mixes what games ship: incompressible movies and images (SWF-like random bytes) and
// XML that compresses about tenfold. After the runs the program prints the throughput ratio
// reader / baseline.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/package.h"
#include "data/packageindex.h"
#include "storage/archiver.h"
#include "storage/codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Corpus {
  Bytes package;
  std::vector<Bytes> streams;     // the entries' zlib streams without the scramble
  std::vector<uint32_t> lengths;  // unpacked lengths
  uint64_t total_unpacked = 0;
  uint64_t total_stored = 0;
  uint64_t xml_unpacked = 0, xml_stored = 0;
};

Bytes SwfLike(size_t n, std::mt19937* rng) {
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>((*rng)());
  return b;
}

// Level XML: a grid of tiles with a few varying attributes; compresses about 10:1 at level 9.
Bytes XmlLike(size_t n, std::mt19937* rng) {
  static const char* kKinds[] = {"grass", "water", "rock", "sand", "lava", "ice", "tree", "wall"};
  std::string s = "<?xml version=\"1.0\"?>\n<level>\n";
  for (unsigned i = 0; s.size() < n; ++i) {
    char line[200];
    std::snprintf(line, sizeof line, "  <tile x=\"%u\" y=\"%u\" kind=\"%s\" hp=\"%u\"/>\n", i % 64,
                  i / 64, kKinds[(*rng)() % 8], static_cast<unsigned>((*rng)() % 40));
    s += line;
  }
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

const Corpus& GetCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    std::mt19937 rng(2024);
    std::vector<std::pair<std::string, Bytes>> files;
    for (int i = 0; i < 8; ++i)
      files.emplace_back("movies\\clip" + std::to_string(i) + ".swf", SwfLike(1 << 20, &rng));
    for (int i = 0; i < 48; ++i)
      files.emplace_back("levels\\level" + std::to_string(i) + ".xml", XmlLike(160 * 1024, &rng));
    for (int i = 0; i < 40; ++i)
      files.emplace_back("images\\icon" + std::to_string(i) + ".png", SwfLike(24 * 1024, &rng));

    CArchiver archiver;
    archiver.Reset(static_cast<int32_t>(files.size()));
    for (const auto& f : files) {
      archiver.AddEntry(static_cast<uint32_t>(f.second.size()), f.first.c_str(), f.second.data(),
                        kPackageDefaultPassword);
      CSmartBuffer stream;
      DeflateGrowing(f.second.data(), static_cast<uint32_t>(f.second.size()), nullptr, &stream);
      c.streams.emplace_back(stream.Data(), stream.Data() + stream.Size());
      c.lengths.push_back(static_cast<uint32_t>(f.second.size()));
      c.total_unpacked += f.second.size();
      c.total_stored += static_cast<uint64_t>(stream.Size());
      if (f.first.find(".xml") != std::string::npos) {
        c.xml_unpacked += f.second.size();
        c.xml_stored += static_cast<uint64_t>(stream.Size());
      }
    }
    CSmartBuffer out;
    archiver.Build(&out);
    c.package.assign(out.Data(), out.Data() + out.Size());
    return c;
  }();
  return corpus;
}

void BM_PackageReader(benchmark::State& state) {
  const Corpus& corpus = GetCorpus();
  CPackageArchive archive;
  auto* buffer = new CSmartBuffer;
  buffer->Assign(corpus.package.data(), static_cast<int32_t>(corpus.package.size()));
  if (!archive.Parse(buffer, buffer->Size())) {
    state.SkipWithError("package does not parse");
    return;
  }
  for (auto _ : state) {
    for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
      CSmartBuffer out;
      if (!archive.ReadEntryAt(i, kPackageDefaultPassword, &out)) {
        state.SkipWithError("entry does not read");
        return;
      }
      benchmark::DoNotOptimize(out.Data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.total_unpacked));
}
BENCHMARK(BM_PackageReader)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_UncompressBaseline(benchmark::State& state) {
  const Corpus& corpus = GetCorpus();
  for (auto _ : state) {
    for (size_t i = 0; i < corpus.streams.size(); ++i) {
      std::unique_ptr<uint8_t[]> out(new uint8_t[corpus.lengths[i]]);
      uLongf produced = corpus.lengths[i];
      if (uncompress(out.get(), &produced, corpus.streams[i].data(),
                     static_cast<uLong>(corpus.streams[i].size())) != Z_OK) {
        state.SkipWithError("uncompress failed");
        return;
      }
      benchmark::DoNotOptimize(out.get());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.total_unpacked));
}
BENCHMARK(BM_UncompressBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// For comparison: the textbook reader of the format, a per-byte XOR with modulo into a scratch
// copy, then uncompress() into 4 x S, doubling while the output does not fit.
void BM_TextbookReader(benchmark::State& state) {
  const Corpus& corpus = GetCorpus();
  CPackageArchive archive;
  auto* buffer = new CSmartBuffer;
  buffer->Assign(corpus.package.data(), static_cast<int32_t>(corpus.package.size()));
  if (!archive.Parse(buffer, buffer->Size())) {
    state.SkipWithError("package does not parse");
    return;
  }
  const std::string password = kPackageDefaultPassword;
  for (auto _ : state) {
    for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
      const PackageEntry* e = archive.GetEntry(i);
      const uint8_t* block = corpus.package.data() + e->offset;
      const uLong s = e->stored_length;
      std::unique_ptr<uint8_t[]> scratch(new uint8_t[s]);
      for (uLong k = 0; k < s; ++k)
        scratch[k] = static_cast<uint8_t>(block[k] ^ password[k % password.size()]);
      for (uLong capacity = 4 * s;; capacity *= 2) {
        std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
        uLongf produced = capacity;
        int rc = uncompress(out.get(), &produced, scratch.get(), s);
        if (rc == Z_OK) {
          benchmark::DoNotOptimize(out.get());
          break;
        }
        if (rc != Z_BUF_ERROR || capacity / s > 10000) {
          state.SkipWithError("entry does not read");
          return;
        }
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.total_unpacked));
}
BENCHMARK(BM_TextbookReader)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The scramble alone, over the whole stored data.
void BM_XorWithPassword(benchmark::State& state) {
  Bytes block(8 << 20, 0x5A);
  for (auto _ : state) {
    XorWithPassword(block.data(), static_cast<uint32_t>(block.size()), kPackageDefaultPassword);
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_XorWithPassword)->Unit(benchmark::kMillisecond);

// ---- Finding entries by name. A game with tens of thousands of assets must find each as fast as
// one with a thousand: lookups through the index the reader builds when it opens a package, on
// directories of 1,000, 10,000 and 25,000 names, by exact name and by a shorter request that
// agrees with the name from the end (the loader's second rule). main() prints the 25,000 / 1,000
// ratio of each (goal: at most 1.5).
constexpr int32_t kLookupSizes[] = {1000, 10000, 25000};

std::vector<PackageEntry> LookupDirectory(int32_t count) {
  std::vector<PackageEntry> entries(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    std::snprintf(entries[static_cast<size_t>(i)].name, sizeof entries[0].name,
                  "Assets\\Level%02d\\Sprite%05d.png", i % 40, i);
    entries[static_cast<size_t>(i)].offset = 0;
    entries[static_cast<size_t>(i)].stored_length = 64;
    entries[static_cast<size_t>(i)].unpacked_length = 64;
  }
  return entries;
}

void LookupBenchmark(benchmark::State& state, int32_t count, bool exact) {
  const std::vector<PackageEntry> entries = LookupDirectory(count);
  CPackageIndex index;
  index.Build(entries.data(), count);
  // Requests spread over the whole directory, the last entry among them.
  std::vector<std::string> requests;
  for (int32_t k = 0; k < 64; ++k) {
    const int32_t i = k == 0 ? count - 1 : static_cast<int32_t>((k * 7919LL) % count);
    char name[64];
    if (exact) {
      std::snprintf(name, sizeof name, "assets\\level%02d\\sprite%05d.png", i % 40, i);
    } else {
      std::snprintf(name, sizeof name, "sprite%05d.png", i);
    }
    requests.emplace_back(name);
  }
  size_t next = 0;
  for (auto _ : state) {
    const std::string& request = requests[next++ % requests.size()];
    const int32_t found = exact ? index.FindExact(request) : index.FindAgreeingFromEnd(request);
    if (found < 0) {
      state.SkipWithError("a request found nothing");
      return;
    }
    benchmark::DoNotOptimize(found);
  }
}

void RegisterLookupBenchmarks() {
  for (int32_t count : kLookupSizes) {
    for (bool exact : {true, false}) {
      const std::string name =
          std::string(exact ? "BM_LookupExact_" : "BM_LookupFromEnd_") + std::to_string(count);
      benchmark::RegisterBenchmark(name.c_str(), [count, exact](benchmark::State& state) {
        LookupBenchmark(state, count, exact);
      });
    }
  }
}

// Remembers each benchmark's CPU time per iteration so main() can print the ratio. CPU time, not
// wall time: the two programs do the same single-threaded work, and other processes on a busy
// machine should not decide the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
        times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double Time(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const Corpus& corpus = GetCorpus();
  std::printf("package: %zu entries, %.1f MB unpacked, %.1f MB stored; XML ratio %.1f:1\n",
              corpus.streams.size(), corpus.total_unpacked / 1048576.0,
              corpus.total_stored / 1048576.0,
              static_cast<double>(corpus.xml_unpacked) / static_cast<double>(corpus.xml_stored));
  RegisterLookupBenchmarks();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double reader = reporter.Time("BM_PackageReader");
  const double baseline = reporter.Time("BM_UncompressBaseline");
  if (reader > 0 && baseline > 0)
    std::printf("reader throughput / uncompress baseline: %.3f (goal >= 0.9)\n", baseline / reader);
  const double textbook = reporter.Time("BM_TextbookReader");
  if (textbook > 0 && baseline > 0)
    std::printf("textbook reader throughput / uncompress baseline: %.3f\n", baseline / textbook);
  for (const char* kind : {"BM_LookupExact_", "BM_LookupFromEnd_"}) {
    const double small = reporter.Time(std::string(kind) + "1000");
    const double large = reporter.Time(std::string(kind) + "25000");
    if (small > 0 && large > 0) {
      std::printf("%s: 25,000 entries / 1,000 entries per lookup: %.2f (goal <= 1.5)\n", kind + 3,
                  large / small);
    }
  }
  benchmark::Shutdown();
  return 0;
}
