#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vexa::platform {
namespace {

TEST(ClockTest, CountsMillisecondsAcrossASleep) {
  const uint32_t before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const uint32_t elapsed = TickCount() - before;  // unsigned: correct across a wrap
  // The Windows tick moves in steps of up to 16 ms; the upper bound only catches a wrong unit.
  EXPECT_GE(elapsed, 180u);
  EXPECT_LT(elapsed, 20000u);
}

TEST(ClockTest, NeverGoesBackwards) {
  uint32_t last = TickCount();
  for (int i = 0; i < 100000; ++i) {
    const uint32_t now = TickCount();
    ASSERT_LT(now - last, 0x80000000u) << "went back from " << last << " to " << now;
    last = now;
  }
}

}  // namespace
}  // namespace vexa::platform
