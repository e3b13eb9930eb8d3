#include "support/bytes.h"

#include <random>

namespace vexa::testing {

Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes ToBytes(const CBaseBuffer& buffer) {
  return buffer.Size() > 0 ? Bytes(buffer.Data(), buffer.Data() + buffer.Size()) : Bytes();
}

std::string ToText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

Bytes RandomBytes(size_t n, uint32_t seed) {
  // mt19937's sequence is fixed by the standard, unlike the distributions'.
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(rng());
  return b;
}

}  // namespace vexa::testing
