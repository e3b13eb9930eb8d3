#include "platform/diagnostics.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/files.h"
#include "platform/process.h"

namespace vexa::platform {
namespace {

enum State { kUndecided = 0, kOff = 1, kOn = 2 };

std::atomic<int> g_state{kUndecided};

std::mutex& LogMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::string& LogPath() {
  static auto* path = new std::string();
  return *path;
}

int Decide() {
  std::lock_guard<std::mutex> lock(LogMutex());
  int state = g_state.load();
  if (state != kUndecided) return state;
  const char* variable = std::getenv(kDiagnosticsVariable);
  std::string path;
  if (variable && *variable) {
    path = variable;
  } else {
    const std::string beside = ExecutableFolder() + kDiagnosticsFileName;
    if (PathExists(beside)) path = beside;
  }
  LogPath() = path;
  state = path.empty() ? kOff : kOn;
  g_state.store(state);
  return state;
}

}  // namespace

bool DiagnosticsEnabled() {
  int state = g_state.load(std::memory_order_relaxed);
  if (state == kUndecided) state = Decide();
  return state == kOn;
}

void WriteDiagnostic(std::string_view category, std::string_view text) {
  if (!DiagnosticsEnabled()) return;
  std::string line(category);
  line += ": ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::lock_guard<std::mutex> lock(LogMutex());
  std::FILE* file = std::fopen(LogPath().c_str(), "ab");
  if (!file) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
}

std::string DiagnosticsPath() {
  if (!DiagnosticsEnabled()) return std::string();
  std::lock_guard<std::mutex> lock(LogMutex());
  return LogPath();
}

void ResetDiagnosticsForTesting() {
  std::lock_guard<std::mutex> lock(LogMutex());
  g_state.store(kUndecided);
  LogPath().clear();
}

}  // namespace vexa::platform
