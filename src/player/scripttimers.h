// The script's timers: every <timeout> (one-shot) and <timeinterval> (repeating) gets a window
// timer of the frame with an id of its own, 65537 upward, and evaluates its expression in the
// global scope each time it fires.
//
// A one-shot timer is stopped and forgotten before its expression runs, and the expression runs
// from a copy: evaluating it can pump messages (a command that empties the queue, a message box),
// and neither a second WM_TIMER for the same id nor the frame's destruction in that nested loop
// may fire it again or free the text under the evaluation. Repeating timers evaluate a copy too.
//
// UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace vexa::player {

// The frame side of the timers. The frame implements it with SetTimer / KillTimer on its window
// and the script engine's Evaluate.
class IScriptTimerHost {
 public:
  // Starts the frame window's timer `id` with the period. False when no timer could be started.
  virtual bool StartTimer(uint32_t id, uint32_t milliseconds) = 0;
  // Stops the frame window's timer `id`.
  virtual void StopTimer(uint32_t id) = 0;
  // Evaluates `expression` in the player's global script scope; the value and any failure are
  // dropped. May re-enter the timer map (add timers, fire them, kill them all).
  virtual void EvaluateScript(const char* expression) = 0;

 protected:
  ~IScriptTimerHost() = default;
};

class CScriptTimers {
 public:
  enum Kind : int32_t { kOneShot = 0, kRepeating = 1 };

  // The id handed out last before the first timer; the first timer gets the next one.
  static constexpr uint32_t kNoTimerYet = 65536;
  static constexpr uint32_t kFirstId = kNoTimerYet + 1;

  // `host` is not owned and must outlive the map.
  explicit CScriptTimers(IScriptTimerHost* host) : host_(host) {}
  // Stops the timers still running (KillAll). The frame calls KillAll itself while its window
  // exists; after that this does nothing.
  ~CScriptTimers();
  CScriptTimers(const CScriptTimers&) = delete;
  CScriptTimers& operator=(const CScriptTimers&) = delete;

  // Adds a timer: takes the next id, stores (kind, expression) under it and starts the window
  // timer with `milliseconds` (as the script wrote it; a negative period is passed on as its
  // unsigned form, which Windows caps at its longest period). Returns the id, or 0 when the window
  // timer could not be started (nothing is kept then). Ids below kFirstId and ids still in use are
  // skipped when the counter wraps.
  uint32_t Add(Kind kind, int32_t milliseconds, std::string expression);

  // A WM_TIMER for `id`. False, doing nothing, for an id that is not a script timer (timer 111, a
  // one-shot that already fired, anything else). A one-shot timer is stopped and removed, then a
  // copy of its expression is evaluated; a repeating one evaluates a copy and keeps running.
  bool Fire(uint32_t id);

  // Stops every timer and forgets them all (the frame's destruction).
  void KillAll();

  bool Contains(uint32_t id) const { return timers_.count(id) != 0; }
  size_t GetCount() const { return timers_.size(); }
  // The id handed out last (kNoTimerYet before the first).
  uint32_t GetLastId() const { return last_id_; }

 private:
  struct Entry {
    Kind kind;
    std::string expression;
  };

  IScriptTimerHost* host_;
  uint32_t last_id_ = kNoTimerYet;
  std::map<uint32_t, Entry> timers_;
};

}  // namespace vexa::player
