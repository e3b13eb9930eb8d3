// The script timer map: ids, one-shot and repeating timers, re-entry from the evaluated script.
#include "player/scripttimers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using vexa::player::CScriptTimers;
using vexa::player::IScriptTimerHost;
using Log = std::vector<std::string>;

class CFakeTimerHost : public IScriptTimerHost {
 public:
  Log log;
  bool start_result = true;
  // Runs inside EvaluateScript with the pointer it was given (re-entry tests).
  std::function<void(const char*)> on_evaluate;

  bool StartTimer(uint32_t id, uint32_t milliseconds) override {
    log.push_back("start " + std::to_string(id) + " " + std::to_string(milliseconds));
    return start_result;
  }
  void StopTimer(uint32_t id) override { log.push_back("stop " + std::to_string(id)); }
  void EvaluateScript(const char* expression) override {
    log.push_back(std::string("eval ") + expression);
    if (on_evaluate) on_evaluate(expression);
  }
};

TEST(ScriptTimersTest, TwoTimeoutsGetConsecutiveIdsAndLeaveNothingBehind) {
  CFakeTimerHost host;
  CScriptTimers timers(&host);
  EXPECT_EQ(CScriptTimers::kNoTimerYet, timers.GetLastId());
  EXPECT_EQ(65537u, timers.Add(CScriptTimers::kOneShot, 100, "first()"));
  EXPECT_EQ(65538u, timers.Add(CScriptTimers::kOneShot, 250, "second()"));
  EXPECT_EQ(2u, timers.GetCount());

  EXPECT_TRUE(timers.Fire(65538));
  EXPECT_TRUE(timers.Fire(65537));
  EXPECT_EQ(0u, timers.GetCount());
  // A late WM_TIMER for a one-shot that already fired does nothing.
  EXPECT_FALSE(timers.Fire(65537));
  EXPECT_EQ((Log{"start 65537 100", "start 65538 250", "stop 65538", "eval second()", "stop 65537",
                 "eval first()"}),
            host.log);
}

TEST(ScriptTimersTest, IntervalKeepsRunning) {
  CFakeTimerHost host;
  CScriptTimers timers(&host);
  const uint32_t id = timers.Add(CScriptTimers::kRepeating, 40, "tick()");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(timers.Fire(id));
  EXPECT_TRUE(timers.Contains(id));
  EXPECT_EQ((Log{"start 65537 40", "eval tick()", "eval tick()", "eval tick()"}), host.log);
}

TEST(ScriptTimersTest, UnknownIdsAreIgnored) {
  CFakeTimerHost host;
  CScriptTimers timers(&host);
  timers.Add(CScriptTimers::kRepeating, 40, "tick()");
  for (uint32_t id : {0u, 1u, 111u, 65536u, 65538u}) EXPECT_FALSE(timers.Fire(id)) << id;
  EXPECT_EQ(Log{"start 65537 40"}, host.log);
}

TEST(ScriptTimersTest, OneShotFiresOnceWhenItsScriptPumpsTheSameTimer) {
  // The evaluation runs a nested message loop in which the window timer fires again.
  CFakeTimerHost host;
  CScriptTimers timers(&host);
  const uint32_t id = timers.Add(CScriptTimers::kOneShot, 10, "save()");
  bool nested = true;
  host.on_evaluate = [&](const char*) {
    host.log.push_back(std::string("contained ") + (timers.Contains(id) ? "yes" : "no"));
    nested = timers.Fire(id);
  };
  EXPECT_TRUE(timers.Fire(id));
  EXPECT_FALSE(nested);
  EXPECT_EQ((Log{"start 65537 10", "stop 65537", "eval save()", "contained no"}), host.log);
}

TEST(ScriptTimersTest, ScriptThatKillsAllTimersKeepsItsOwnTextAlive) {
  // The frame's destruction can run inside the evaluation; the text being evaluated must stay
  // valid (AddressSanitizer reports a use after free otherwise).
  for (auto kind : {CScriptTimers::kOneShot, CScriptTimers::kRepeating}) {
    CFakeTimerHost host;
    CScriptTimers timers(&host);
    const std::string text(200, 'x');  // long enough to live on the heap
    const uint32_t id = timers.Add(kind, 10, text);
    timers.Add(CScriptTimers::kRepeating, 10, "other()");
    std::string seen_after;
    host.on_evaluate = [&](const char* expression) {
      if (text != expression) return;
      timers.KillAll();
      seen_after = expression;
    };
    EXPECT_TRUE(timers.Fire(id));
    EXPECT_EQ(text, seen_after);
    EXPECT_EQ(0u, timers.GetCount());
  }
}

TEST(ScriptTimersTest, ScriptMayAddTimers) {
  CFakeTimerHost host;
  CScriptTimers timers(&host);
  const uint32_t id = timers.Add(CScriptTimers::kOneShot, 10, "again()");
  host.on_evaluate = [&](const char*) {
    if (timers.GetCount() == 0) timers.Add(CScriptTimers::kOneShot, 10, "again()");
  };
  EXPECT_TRUE(timers.Fire(id));
  EXPECT_TRUE(timers.Contains(65538));
  EXPECT_EQ(1u, timers.GetCount());
}

TEST(ScriptTimersTest, TimerThatCannotStartIsNotKept) {
  CFakeTimerHost host;
  host.start_result = false;
  CScriptTimers timers(&host);
  EXPECT_EQ(0u, timers.Add(CScriptTimers::kOneShot, 10, "never()"));
  EXPECT_EQ(0u, timers.GetCount());
  host.start_result = true;
  EXPECT_EQ(65538u, timers.Add(CScriptTimers::kOneShot, 10, "later()"));
}

TEST(ScriptTimersTest, KillAllAndDestructionStopEveryTimer) {
  CFakeTimerHost host;
  {
    CScriptTimers timers(&host);
    timers.Add(CScriptTimers::kOneShot, 10, "a()");
    timers.Add(CScriptTimers::kRepeating, 20, "b()");
    timers.KillAll();
    EXPECT_EQ(0u, timers.GetCount());
    EXPECT_FALSE(timers.Fire(65537));
    EXPECT_FALSE(timers.Fire(65538));
    timers.Add(CScriptTimers::kRepeating, 30, "c()");
  }
  EXPECT_EQ((Log{"start 65537 10", "start 65538 20", "stop 65537", "stop 65538", "start 65539 30",
                 "stop 65539"}),
            host.log);
}

}  // namespace
