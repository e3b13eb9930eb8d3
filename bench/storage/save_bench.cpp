// What a save costs the thread that runs the movie, and how soon it is on disk.
//
// - SetSave / GetSave on a cached set: the UI thread's cost per command (the writer runs beside
//   it and writes in the background; the commands never touch a file).
// - First use of a set: the one-time read of its file on the UI thread.
// - Time to disk: SetSave, then wait until the writer reports the set's file written. With an idle
//   writer the save goes at once; right after a pass it waits for the next one, so the bound is the
//   100 ms pass interval plus one write. Compare with AtomicWrite, the cost of one write itself
//   (new file, flush to disk, replace, folder sync).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "storage/atomicfile.h"
#include "storage/datafolder.h"
#include "storage/protectedfile.h"
#include "storage/savestore.h"

namespace {

class CScratch {
 public:
  CScratch() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("vexa-bench-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~CScratch() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

std::string Data(size_t size) {
  std::string data(size, 'x');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + (i * 7) % 26);
  return data;
}

void BM_SetSaveCached(benchmark::State& state) {
  CScratch scratch;
  vexa::storage::CFixedDataFolders folders(scratch.Path(), "");
  CSaveStore store(&folders);
  const std::string data = Data(static_cast<size_t>(state.range(0)));
  store.SetSave("bench", 0, "warm", data.c_str());
  int32_t slot = 0;
  for (auto _ : state) {
    store.SetSave("bench", slot, "Level 3", data.c_str());
    slot = (slot + 1) & 7;
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  store.Stop();
}
BENCHMARK(BM_SetSaveCached)->Arg(64)->Arg(4096)->Arg(256 << 10);

// The same through the player's data folder, which makes sure its folders exist on every command.
void BM_SetSaveThroughTheDataFolder(benchmark::State& state) {
  CScratch scratch;
  vexa::storage::CDataFolder folder;
  folder.SetBaseFolder(scratch.Path());
  folder.SetGameNames("", "BenchGame");
  CSaveStore store(&folder);
  const std::string data = Data(4096);
  store.SetSave("bench", 0, "warm", data.c_str());
  int32_t slot = 0;
  for (auto _ : state) {
    store.SetSave("bench", slot, "Level 3", data.c_str());
    slot = (slot + 1) & 7;
  }
  store.Stop();
}
BENCHMARK(BM_SetSaveThroughTheDataFolder);

void BM_GetSaveCached(benchmark::State& state) {
  CScratch scratch;
  vexa::storage::CFixedDataFolders folders(scratch.Path(), "");
  CSaveStore store(&folders);
  const std::string data = Data(4096);
  for (int32_t slot = 0; slot < 8; ++slot) store.SetSave("bench", slot, "d", data.c_str());
  store.Flush();
  CSmallStr out;
  int32_t slot = 0;
  for (auto _ : state) {
    store.GetSave("bench", slot, &out);
    slot = (slot + 1) & 7;
  }
  store.Stop();
}
BENCHMARK(BM_GetSaveCached);

void BM_FirstUseOfASet(benchmark::State& state) {
  CScratch scratch;
  vexa::storage::CFixedDataFolders folders(scratch.Path(), "");
  {
    CSaveStore writer(&folders);
    const std::string data = Data(4096);
    for (int32_t slot = 0; slot < 16; ++slot) writer.SetSave("stored", slot, "d", data.c_str());
  }
  for (auto _ : state) {
    CSaveStore store(&folders);
    CSmallStr listing;
    store.EnumSaves("stored", &listing);
  }
}
BENCHMARK(BM_FirstUseOfASet);

// SetSave, then wait for the writer's report that the file holds it. Manual time: from the call to
// the report.
void TimeToDisk(benchmark::State& state, bool right_after_a_pass) {
  CScratch scratch;
  vexa::storage::CFixedDataFolders folders(scratch.Path(), "");
  CSaveStore store(&folders);
  std::mutex lock;
  std::condition_variable written;
  int writes = 0;
  store.SetWriteObserver([&](const std::string&, HRESULT hr) {
    std::lock_guard<std::mutex> guard(lock);
    if (SUCCEEDED(hr)) ++writes;
    written.notify_all();
  });
  const std::string data = Data(static_cast<size_t>(state.range(0)));
  int64_t worst = 0;
  for (auto _ : state) {
    if (right_after_a_pass) {
      // A change that the writer has just written: the next one waits for the next pass.
      int before;
      {
        std::lock_guard<std::mutex> guard(lock);
        before = writes;
      }
      store.SetSave("other", 0, "", "x");
      std::unique_lock<std::mutex> guard(lock);
      written.wait(guard, [&] { return writes > before; });
    } else {
      // An idle writer.
      std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    int before;
    {
      std::lock_guard<std::mutex> guard(lock);
      before = writes;
    }
    const auto start = std::chrono::steady_clock::now();
    store.SetSave("bench", 1, "Level 3", data.c_str());
    {
      std::unique_lock<std::mutex> guard(lock);
      written.wait(guard, [&] { return writes > before && store.GetPendingCount() == 0; });
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    if (us > worst) worst = us;
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
  }
  state.counters["worst_ms"] = static_cast<double>(worst) / 1000.0;
  store.SetWriteObserver(nullptr);
  store.Stop();
}

void BM_TimeToDiskIdleWriter(benchmark::State& state) {
  TimeToDisk(state, false);
}
BENCHMARK(BM_TimeToDiskIdleWriter)
    ->Arg(4096)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

void BM_TimeToDiskAfterAPass(benchmark::State& state) {
  TimeToDisk(state, true);
}
BENCHMARK(BM_TimeToDiskAfterAPass)
    ->Arg(4096)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

void BM_AtomicWrite(benchmark::State& state) {
  CScratch scratch;
  const std::string path = scratch.Path() + "/file";
  const std::string data = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    vexa::storage::WriteFileAtomic(nullptr, path, data.data(), data.size());
  }
}
BENCHMARK(BM_AtomicWrite)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
