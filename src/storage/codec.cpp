#include "storage/codec.h"

#include <zlib.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// The password repeated into a block whose length is a multiple of both the password length and 8,
// so whole 8-byte words can be XORed and the phase is the same at the start of every span.
class PasswordMask {
 public:
  explicit PasswordMask(const char* password)
      : password_(reinterpret_cast<const uint8_t*>(password)),
        length_(password ? std::strlen(password) : 0) {
    if (length_ == 0 || length_ > kMaxWordPassword) return;
    size_t unit = length_;
    while (unit % 8 != 0) unit += length_;  // lcm(length, 8)
    size_t span = unit;
    while (span < kMinSpan) span += unit;
    pattern_.resize(span);
    for (size_t i = 0; i < span; ++i) pattern_[i] = password_[i % length_];
  }

  bool Empty() const { return length_ == 0; }
  size_t Length() const { return length_; }

  // target[i] = source[i] ^ password[(phase + i) mod length], for i < n.
  void Apply(uint8_t* target, const uint8_t* source, size_t n, size_t phase) const {
    if (length_ == 0) {
      if (target != source && n) std::memmove(target, source, n);
      return;
    }
    phase %= length_;
    if (pattern_.empty() || n < 64) {
      ApplyBytes(target, source, n, phase);
      return;
    }
    // Bring the phase back to 0 so the pattern lines up with the data.
    size_t lead = phase == 0 ? 0 : length_ - phase;
    if (lead > n) lead = n;
    ApplyBytes(target, source, lead, phase);
    target += lead;
    source += lead;
    n -= lead;
    const size_t span = pattern_.size();
    const uint8_t* pattern = pattern_.data();
    while (n > 0) {
      size_t chunk = n < span ? n : span;
      size_t i = 0;
      for (; i + 8 <= chunk; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, source + i, 8);
        std::memcpy(&b, pattern + i, 8);
        a ^= b;
        std::memcpy(target + i, &a, 8);
      }
      for (; i < chunk; ++i) target[i] = static_cast<uint8_t>(source[i] ^ pattern[i]);
      target += chunk;
      source += chunk;
      n -= chunk;
    }
  }

 private:
  // Longer passwords are applied byte by byte; a pattern for them would cost more than it saves.
  static constexpr size_t kMaxWordPassword = 4096;
  static constexpr size_t kMinSpan = 1024;

  void ApplyBytes(uint8_t* target, const uint8_t* source, size_t n, size_t phase) const {
    size_t k = phase;
    for (size_t i = 0; i < n; ++i) {
      target[i] = static_cast<uint8_t>(source[i] ^ password_[k]);
      if (++k == length_) k = 0;
    }
  }

  const uint8_t* password_;
  size_t length_;
  std::vector<uint8_t> pattern_;
};

// The largest output the classic growing loop accepts for `length` stored bytes: it starts at
// 4 x length and doubles while capacity / length stays at or below 10000.
uint64_t ClassicOutputLimit(uint32_t length) {
  uint64_t capacity = 4ull * length;
  while (capacity / length <= 10000) capacity *= 2;
  return capacity;
}

// Scrambled input is descrambled into a scratch block of at most this size. Most entries fit in one
// piece, so inflate runs in a single call as uncompress() would: every further call costs a copy of
// up to 32 KiB into inflate's window, which for incompressible data doubles the copying when pieces
// are small.
constexpr uint32_t kInputChunk = 4u << 20;

// The most deflate can expand: a stored byte stands for at most 1032 output bytes (258 bytes per
// match of 1 to 2 bits), plus the header and a little slack for the end of the stream.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kMaxDeflateOverhead = 1024;

}  // namespace

void XorWithPasswordAt(uint8_t* target, const uint8_t* source, uint32_t length,
                       const char* password, uint32_t phase) {
  if (!target || !source || length == 0) return;
  PasswordMask(password).Apply(target, source, length, phase);
}

void XorWithPassword(uint8_t* block, uint32_t length, const char* password) {
  if (!password || !*password) return;
  XorWithPasswordAt(block, block, length, password, 0);
}

bool InflateLimited(const uint8_t* source, uint32_t length, const char* password, CSmartBuffer* out,
                    uint32_t size_hint, uint64_t max_output) {
  if (!out) return false;
  out->Free();
  if (length == 0) return out->Allocate(0);
  if (!source) return false;

  uint64_t limit = ClassicOutputLimit(length);
  if (max_output < limit) limit = max_output;
  if (limit > static_cast<uint64_t>(INT32_MAX)) limit = INT32_MAX;

  // The classic loop's first capacity; the hint may replace it, but must never change the result:
  // a hint beyond the limit is ignored, and one that cannot be allocated (a 32-bit process asked
  // for gigabytes by a damaged directory) falls back to the classic start. Deflate expands at most
  // about 1032:1, so a hint beyond that is a damaged or hostile length and is not allocated either.
  uint64_t capacity = 4ull * length;
  if (capacity > limit) capacity = limit;
  if (capacity == 0) capacity = 1;  // a non-null output pointer even for a limit of 0
  const uint64_t plausible = kMaxDeflateRatio * length + kMaxDeflateOverhead;
  if (size_hint > 0 && size_hint <= limit && size_hint <= plausible && size_hint != capacity &&
      out->Allocate(static_cast<int32_t>(size_hint))) {
    capacity = size_hint;
  } else if (!out->Allocate(static_cast<int32_t>(capacity))) {
    return false;
  }

  PasswordMask mask(password);
  std::unique_ptr<uint8_t[]> scratch;
  if (!mask.Empty()) {
    scratch.reset(new (std::nothrow) uint8_t[length < kInputChunk ? length : kInputChunk]);
    if (!scratch) {
      out->Free();
      return false;
    }
  }

  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) {
    out->Free();
    return false;
  }
  bool ok = false;
  uint32_t fed = 0;
  zs.next_out = out->Data();
  zs.avail_out = static_cast<uInt>(capacity);
  for (;;) {
    if (zs.avail_in == 0 && fed < length) {
      if (mask.Empty()) {
        zs.next_in = const_cast<Bytef*>(source);
        zs.avail_in = length;
        fed = length;
      } else {
        uint32_t n = length - fed < kInputChunk ? length - fed : kInputChunk;
        mask.Apply(scratch.get(), source + fed, n, fed % mask.Length());
        zs.next_in = scratch.get();
        zs.avail_in = n;
        fed += n;
      }
    }
    int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      ok = true;
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;      // corrupt data, dictionary, memory
    if (zs.avail_in == 0 && fed < length) continue;  // more input first
    if (zs.avail_out != 0) break;                    // input exhausted before the stream ended
    // Output full and the stream goes on: grow as the classic loop would, up to its limit.
    if (capacity >= limit) break;
    uint64_t produced = capacity;
    capacity = capacity * 2 < limit ? capacity * 2 : limit;
    if (!out->Resize(static_cast<int32_t>(capacity))) break;
    zs.next_out = out->Data() + produced;
    zs.avail_out = static_cast<uInt>(capacity - produced);
  }
  uint64_t produced = zs.total_out;
  inflateEnd(&zs);
  if (!ok) {
    out->Free();
    return false;
  }
  // A recorded length that overstated the content would otherwise keep a large block alive.
  if (produced * 2 < capacity && capacity - produced > 64 * 1024) {
    if (!out->Resize(static_cast<int32_t>(produced))) {
      out->Free();
      return false;
    }
  } else {
    out->Truncate(static_cast<int32_t>(produced));
  }
  return true;
}

bool InflateGrowing(const uint8_t* source, uint32_t length, const char* password, CSmartBuffer* out,
                    uint32_t size_hint) {
  return InflateLimited(source, length, password, out, size_hint, UINT64_MAX);
}

bool DeflateGrowing(const uint8_t* source, uint32_t length, const char* password,
                    CSmartBuffer* out) {
  if (!out) return false;
  out->Free();
  if (!source || length == 0) return false;
  // compress2's output does not depend on the room it is given, so start at the bound that
  // always fits instead of growing.
  uLong bound = compressBound(length);
  if (bound > static_cast<uLong>(INT32_MAX) || bound < length) return false;
  if (!out->Allocate(static_cast<int32_t>(bound))) return false;
  uLongf produced = bound;
  if (compress2(out->Data(), &produced, source, length, 9) != Z_OK) {
    out->Free();
    return false;
  }
  // The archiver keeps every compressed entry until it builds the file: do not hold on to the
  // unused part of the bound for well-compressing data.
  if (produced * 2 < bound) {
    if (!out->Resize(static_cast<int32_t>(produced))) {
      out->Free();
      return false;
    }
  } else {
    out->Truncate(static_cast<int32_t>(produced));
  }
  XorWithPassword(out->Data(), static_cast<uint32_t>(produced), password);
  return true;
}
