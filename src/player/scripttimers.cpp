#include "player/scripttimers.h"

#include <utility>

namespace vexa::player {

CScriptTimers::~CScriptTimers() {
  if (!timers_.empty()) KillAll();
}

uint32_t CScriptTimers::Add(Kind kind, int32_t milliseconds, std::string expression) {
  uint32_t id = last_id_;
  do {
    ++id;
    if (id < kFirstId) id = kFirstId;
  } while (timers_.count(id) != 0);
  last_id_ = id;

  timers_[id] = Entry{kind, std::move(expression)};
  if (!host_->StartTimer(id, static_cast<uint32_t>(milliseconds))) {
    timers_.erase(id);
    return 0;
  }
  return id;
}

bool CScriptTimers::Fire(uint32_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  // The copy keeps the text alive whatever the evaluation does to the map.
  const std::string expression = it->second.expression;
  if (it->second.kind == kOneShot) {
    timers_.erase(it);
    host_->StopTimer(id);
  }
  host_->EvaluateScript(expression.c_str());
  return true;
}

void CScriptTimers::KillAll() {
  // Taken out first: stopping a timer must not find the map half cleared.
  std::map<uint32_t, Entry> running;
  running.swap(timers_);
  for (const auto& timer : running) host_->StopTimer(timer.first);
}

}  // namespace vexa::player
