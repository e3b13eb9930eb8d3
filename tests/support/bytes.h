// Byte vectors for expectations: from text, from a buffer, and reproducible random content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/buffer.h"

namespace vexa::testing {

using Bytes = std::vector<uint8_t>;

// The bytes of `text`, one per char.
Bytes ToBytes(const std::string& text);
// A copy of the buffer's Size() bytes (empty for an empty buffer).
Bytes ToBytes(const CBaseBuffer& buffer);
// The bytes as a string, one char per byte.
std::string ToText(const Bytes& bytes);
// `n` bytes from a generator seeded with `seed`: the same for the same seed on every platform.
Bytes RandomBytes(size_t n, uint32_t seed);

}  // namespace vexa::testing
