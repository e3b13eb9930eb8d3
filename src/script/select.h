// The random choice of data selection ("random(N)" in a predicate) and the generator behind it.
//
// Selections reseed the generator with the system tick count every time they use a random choice
// and draw pairs of numbers from it. Tests replace the generator through
// CScriptEngine::SetRandomSource to make the choice repeatable.
#pragma once

#include <cstdint>
#include <vector>

class IScriptRandom {
 public:
  virtual ~IScriptRandom() = default;
  // Restarts the sequence from `seed`.
  virtual void Seed(uint32_t seed) = 0;
  // The next number of the sequence, 0 to 32767.
  virtual int32_t Next() = 0;
};

// The C runtime's classic linear congruential generator (the sequence rand() gives on the game's
// original platform for the same seed), kept here so every build draws the same numbers and no
// process-wide generator state is shared.
class CScriptRandom : public IScriptRandom {
 public:
  void Seed(uint32_t seed) override { state_ = seed; }
  int32_t Next() override {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int32_t>((state_ >> 16) & 0x7fff);
  }

 private:
  uint32_t state_ = 1;
};

// Draws `count` distinct positions from 1 to `total` (count is clamped to total; nothing for
// count <= 0 or total <= 0) and returns them in ascending order. Each draw is
// |a * b| % total + 1 for two successive numbers a, b of `random`; a position already drawn is
// drawn again. A generator that keeps repeating itself cannot stall the draw: after a bounded
// number of fruitless draws the smallest positions not drawn yet complete the set.
std::vector<int32_t> DrawDistinctPositions(IScriptRandom* random, int32_t count, int32_t total);
