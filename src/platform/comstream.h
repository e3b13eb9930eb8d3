// COM byte streams (IStream) for the portable core, and a stream over a block of memory.
//
// Windows builds get IStream from the SDK and make memory streams with CreateStreamOnHGlobal.
// Other builds get a declaration with the same vtable layout, names and status codes (enough for
// code written against the SDK to compile and run unchanged) and an in-memory implementation.
//
// The non-Windows stream behaves like the Windows global-memory stream where callers can tell:
// - a read reaching the end reads what is there and reports the count (S_OK, also for 0 bytes);
//   from a position beyond the end it reads nothing (do not rely on that with the Windows stream:
//   Wine's reads bytes from beyond the block there);
// - Write past the end grows the stream, filling any gap with zeros;
// - Seek before the start is refused (STG_E_INVALIDFUNCTION), beyond the end is allowed;
// - Stat fills type STGTY_STREAM and cbSize, no name; Clone shares the bytes with an independent
//   position; Commit and Revert succeed without effect; region locks are not supported
//   (STG_E_INVALIDFUNCTION).
// A stream is used by one thread at a time.
#pragma once

#include <cstddef>

#include "platform/oleauto.h"

#if defined(_WIN32)

#include <objidl.h>

#else  // !_WIN32

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER;

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  ULONGLONG QuadPart;
} ULARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct tagSTATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

enum STREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum STGTY { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
enum STATFLAG { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1, STATFLAG_NOOPEN = 2 };

#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001u)
#define STG_E_INSUFFICIENTMEMORY ((HRESULT)0x80030008u)
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009u)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070u)
#define STG_E_INVALIDFLAG ((HRESULT)0x800300FFu)

extern const IID IID_ISequentialStream;  // {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
extern const IID IID_IStream;            // {0000000C-0000-0000-C000-000000000046}

struct ISequentialStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : public ISequentialStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                         ULARGE_INTEGER* plibNewPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb,
                                           ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                               DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                 DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) = 0;
};

#endif  // !_WIN32

namespace vexa::platform {

// A new stream holding a copy of the `size` bytes at `data` (null only with size 0), positioned at
// 0, with one reference for the caller (Release frees the memory with the stream). Returns false,
// with *stream null, when the stream cannot be made or not every byte was written into it (size
// beyond 4 GiB - 1, out of memory); false without touching anything for a null `stream`.
bool CreateMemoryStream(const void* data, size_t size, IStream** stream);

}  // namespace vexa::platform
