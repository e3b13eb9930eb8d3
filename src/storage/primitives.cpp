#include "storage/primitives.h"

#include <string>

#include "storage/containerformat.h"

HRESULT WriteCount(IByteStream* stream, uint32_t value) {
  uint8_t bytes[4];
  vexa::container::StoreU32(bytes, value);
  return WriteExact(stream, bytes, 4);
}

HRESULT ReadCount(IByteStream* stream, uint32_t* value) {
  if (!value) return E_POINTER;
  uint8_t bytes[4];
  HRESULT hr = ReadExact(stream, bytes, 4);
  if (FAILED(hr)) return hr;
  *value = vexa::container::LoadU32(bytes);
  return S_OK;
}

HRESULT WriteInt32(IByteStream* stream, int32_t value) {
  return WriteCount(stream, static_cast<uint32_t>(value));
}

HRESULT ReadInt32(IByteStream* stream, int32_t* value) {
  if (!value) return E_POINTER;
  uint32_t raw = 0;
  HRESULT hr = ReadCount(stream, &raw);
  if (FAILED(hr)) return hr;
  *value = static_cast<int32_t>(raw);
  return S_OK;
}

HRESULT WriteString(IByteStream* stream, const CSmallStr& text) {
  if (!stream) return E_POINTER;
  uint32_t length = static_cast<uint32_t>(text.GetLength());
  HRESULT hr = WriteCount(stream, length);
  if (FAILED(hr) || length == 0) return hr;
  return WriteExact(stream, text.c_str(), length);
}

HRESULT ReadString(IByteStream* stream, CSmallStr* out) {
  if (!out) return E_POINTER;
  out->Empty();
  if (!stream) return E_POINTER;
  uint32_t length = 0;
  uint32_t got = 0;
  uint8_t head[4];
  HRESULT hr = stream->Read(head, 4, &got);
  if (FAILED(hr) || got != 4) return E_FAIL;
  length = vexa::container::LoadU32(head);
  if (length == 0) return S_OK;
  if (length > static_cast<uint32_t>(INT32_MAX - 1)) return E_FAIL;
  // Read in pieces: the length comes from the data and may be corrupt, so memory grows only with
  // the bytes that really arrive.
  std::string text;
  char chunk[4096];
  uint32_t remaining = length;
  while (remaining > 0) {
    uint32_t want = remaining < sizeof chunk ? remaining : static_cast<uint32_t>(sizeof chunk);
    uint32_t piece = 0;
    hr = stream->Read(chunk, want, &piece);
    if (FAILED(hr)) return hr;
    if (piece != want) return E_FAIL;
    text.append(chunk, piece);
    remaining -= piece;
  }
  *out = CSmallStr(text);
  return S_OK;
}
