// Streams through which the host hands files to the plug-in.
//
// A stream is created for one request (or for the main movie), delivered once and destroyed. Its
// bytes come from a storage: memory (a fixed answer the host makes up) or the file loader (a game
// file). Delivery is one NPP_NewStream, the bytes offered through NPP_WriteReady/NPP_Write until
// the plug-in has taken them all, and one NPP_DestroyStream with NPRES_DONE. A file that cannot be
// read is delivered as an empty stream: the plug-in never sees an error. A delivery whose instance
// is destroyed by one of these calls stops after it (CPluginHost::GetInstanceGeneration).
#pragma once

#include <cstdint>

#include "data/loader.h"
#include "flashhost/npapi.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "storage/buffer.h"

class CPluginHost;

// The plug-in's request for the address of the page it is embedded in.
inline constexpr char kPageAddressRequest[] = "javascript:top.location+\"__flashplugin_unique__\"";
// The answer ends with this text after the page address.
inline constexpr char kPageAddressTail[] = "__flashplugin_unique__";
// Page the movie believes it lives in, below the pseudo-URL prefix.
inline constexpr char kPseudoPageName[] = "default.html";
// MIME type of every file stream.
inline constexpr char kFlashMimeType[] = "application/x-shockwave-flash";
// The NPStream lastmodified stamp of every stream.
inline constexpr uint32_t kStreamLastModified = 0xAE1BC2A7u;
// Consecutive NPP_Write calls that take no byte after which a delivery gives up on the rest: the
// plug-in has no other moment to become ready, as delivery does not return to the message loop.
inline constexpr int kMaxRefusedWrites = 64;

// kPseudoUrlPrefix + kPseudoPageName: the address of the page the movie lives in. Constant text for
// the life of the process (it may be handed to the plug-in without a copy).
const char* PseudoPageUrl();

// The URL a stream reports in its NPStream for a request: the request itself when it begins with
// kPseudoUrlPrefix (case-sensitive), otherwise the prefix followed by the request. Null is read as
// empty.
CSmallStr AbsoluteRequestUrl(const char* requested);

class INetscapeStream {
 public:
  // Hands the stream's bytes to the plug-in through `host` (which stores itself in the instance's
  // browser data before every call and skips entries the plug-in did not fill). Called once.
  // Returns true when the instance is still the one the delivery began with; when a call into the
  // plug-in destroyed it (and perhaps made a new one), the delivery stops right there, without
  // further writes or NPP_DestroyStream, and returns false.
  virtual bool Deliver(CPluginHost* host) = 0;
  virtual ~INetscapeStream() = default;
};

// Bytes held in memory.
class CMemoryStorage {
 public:
  static constexpr NPBool kSeekable = 0;

  explicit CMemoryStorage(const CSmartBuffer& bytes) : buffer_(bytes) {}

  // A copy of the held bytes. Returns E_OUTOFMEMORY (and an empty `out`) when the copy fails.
  HRESULT ReadStorage(const CSmallStr& requestedUrl, CSmartBuffer* out);

 protected:
  CSmartBuffer buffer_;
};

// A game file, read through the file loader when the stream is delivered.
class CFileStorage {
 public:
  static constexpr NPBool kSeekable = 1;

  // `loader` is not owned and may be null (every read then fails).
  explicit CFileStorage(IFileLoader* loader) : loader_(loader) {}

  // The requested URL with every "%20" turned into a space, read with IFileLoader::Load (no package
  // name; the base URL is discarded). Returns the loader's status; `out` is empty on failure.
  HRESULT ReadStorage(const CSmallStr& requestedUrl, CSmartBuffer* out);

 protected:
  IFileLoader* loader_;
};

// What both stream kinds share: the NPStream record and the delivery.
class CNetscapeStreamBase : public INetscapeStream {
 public:
  CNetscapeStreamBase(const CNetscapeStreamBase&) = delete;
  CNetscapeStreamBase& operator=(const CNetscapeStreamBase&) = delete;

  bool Deliver(CPluginHost* host) override;

  // 16-bit result of the last plug-in call (NPP_NewStream, then NPP_DestroyStream).
  NPError GetLastStatus() const { return lastStatus_; }
  const CSmallStr& GetRequestedUrl() const { return requestedUrl_; }
  const CSmallStr& GetAbsoluteUrl() const { return absoluteUrl_; }
  const CSmallStr& GetMimeType() const { return mimeType_; }
  // The record as the plug-in saw it; all zero once delivery has finished.
  const NPStream& GetStream() const { return stream_; }

 protected:
  CNetscapeStreamBase(NPP instance, const char* mimeType, const char* requestedUrl,
                      void* notifyData, NPBool seekable);

  // The bytes to deliver; a failure delivers none.
  virtual HRESULT Fetch(CSmartBuffer* out) = 0;

 private:
  // Ends a delivery whose instance is gone: the record is cleared, nothing more is called.
  bool Abandon();

  NPStream stream_;
  NPP instance_;
  CSmallStr mimeType_;
  CSmallStr requestedUrl_;
  CSmallStr absoluteUrl_;
  NPBool seekable_;
  uint16_t streamType_ = NP_NORMAL;
  NPReason reasonForDestroy_ = NPRES_DONE;
  NPError lastStatus_ = NPERR_NO_ERROR;
};

// A stream whose bytes come from `TStorage` (CMemoryStorage or CFileStorage).
template <class TStorage>
class CNetscapeStream : public CNetscapeStreamBase, public TStorage {
 public:
  // `storageArgs` construct the storage. Strings are copied; null ones count as empty.
  template <class... TArgs>
  CNetscapeStream(NPP instance, const char* mimeType, const char* requestedUrl, void* notifyData,
                  TArgs&&... storageArgs)
      : CNetscapeStreamBase(instance, mimeType, requestedUrl, notifyData, TStorage::kSeekable),
        TStorage(static_cast<TArgs&&>(storageArgs)...) {}

 protected:
  HRESULT Fetch(CSmartBuffer* out) override { return this->ReadStorage(GetRequestedUrl(), out); }
};
