// The primitive encodings the data stores use inside container entries: 32-bit little-endian
// integers and counts, and narrow strings as a 32-bit length followed by the bytes (no terminator).
#pragma once

#include <cstdint>

#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "script/stream.h"

// Writes the length (4 bytes) and, when it is not 0, the text. Returns S_OK or the failure status
// of the write that failed (E_FAIL for a short write, E_POINTER for a null stream).
HRESULT WriteString(IByteStream* stream, const CSmallStr& text);

// Clears `out`, then reads a string written by WriteString. Returns S_OK (an empty string for
// length 0); E_FAIL when the stream ends inside the length or inside the text; the stream's own
// status when a read fails; E_POINTER for a null argument. `out` is empty after any failure. A
// corrupt length never allocates more than the stream actually delivers.
HRESULT ReadString(IByteStream* stream, CSmallStr* out);

// 4 bytes, little-endian, two's complement. Read: E_FAIL when fewer than 4 bytes remain.
HRESULT WriteInt32(IByteStream* stream, int32_t value);
HRESULT ReadInt32(IByteStream* stream, int32_t* value);
// 4 bytes, little-endian, unsigned.
HRESULT WriteCount(IByteStream* stream, uint32_t value);
HRESULT ReadCount(IByteStream* stream, uint32_t* value);
