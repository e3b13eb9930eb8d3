// The entry codec of the package container: zlib compression plus the password scramble.
//
// Stateless and safe to call from any thread (the save writer compresses on its own thread).
// A password is a plain single-byte string; null and "" both mean "no password" (block left as is).
#pragma once

#include <cstdint>

#include "storage/buffer.h"

// XORs byte i of `block` with password byte (i mod p), p = strlen(password). Does nothing for an
// empty or null password or a null block. Applying it twice restores the block.
void XorWithPassword(uint8_t* block, uint32_t length, const char* password);

// Same scramble, starting at position `phase` of the repeating password (the byte that would be
// at offset `phase` of a whole block), copying `source` into `target`. The two may be the same.
void XorWithPasswordAt(uint8_t* target, const uint8_t* source, uint32_t length,
                       const char* password, uint32_t phase);

// Turns `length` stored bytes (a zlib stream, scrambled with `password` when it is non-empty) back
// into the original bytes in `out`. The source is never modified.
//
// Growth limit: the output may be at most 16384 times `length` (the capacity the classic growing
// loop reaches, starting at 4 x length and doubling while capacity / length <= 10000); a stream
// that expands further is refused. `size_hint` (the recorded unpacked length, 0 for none) only
// chooses the first capacity and never changes the result.
//
// Returns true with `out` holding exactly the decompressed bytes. A `length` of 0 reads as empty
// content and succeeds (that is what the writer stores for an empty file). On failure (corrupt
// stream, wrong password, expansion limit, allocation failure) returns false with `out` empty.
bool InflateGrowing(const uint8_t* source, uint32_t length, const char* password, CSmartBuffer* out,
                    uint32_t size_hint = 0);

// As InflateGrowing, with a further cap on the output size (the smaller of the two limits holds).
bool InflateLimited(const uint8_t* source, uint32_t length, const char* password, CSmartBuffer* out,
                    uint32_t size_hint, uint64_t max_output);

// Compresses `length` bytes with zlib at level 9 into `out` and scrambles the result with
// `password` when it is non-empty. An empty or null source fails (false, `out` empty), as does any
// zlib or allocation failure.
bool DeflateGrowing(const uint8_t* source, uint32_t length, const char* password,
                    CSmartBuffer* out);
