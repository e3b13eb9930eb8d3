#include "flashhost/netscapestream.h"

#include <cstring>
#include <string>

#include "data/pseudourl.h"
#include "flashhost/pluginhost.h"
#include "platform/diagnostics.h"

const char* PseudoPageUrl() {
  // Never destroyed: the plug-in may still hold the text while the process shuts down.
  static const std::string* page = new std::string(std::string(kPseudoUrlPrefix) + kPseudoPageName);
  return page->c_str();
}

CSmallStr AbsoluteRequestUrl(const char* requested) {
  if (!requested) requested = "";
  if (std::strncmp(requested, kPseudoUrlPrefix, kPseudoUrlPrefixLength) == 0) {
    return CSmallStr(requested);
  }
  CSmallStr url(kPseudoUrlPrefix);
  url += requested;
  return url;
}

HRESULT CMemoryStorage::ReadStorage(const CSmallStr&, CSmartBuffer* out) {
  if (buffer_.Size() == 0) {
    out->Free();
    return S_OK;
  }
  if (!out->Assign(buffer_.Data(), buffer_.Size())) {
    out->Free();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CFileStorage::ReadStorage(const CSmallStr& requestedUrl, CSmartBuffer* out) {
  out->Free();
  if (!loader_) return E_FAIL;
  CSmallStr path(requestedUrl);
  // A query ("movie.swf?wide=1", as movie variants append) is for the movie, not part of the
  // file's name: no file name holds a '?'.
  const int query = path.Find('?');
  if (query >= 0) path = path.Left(query);
  path.ReplaceAll("%20", " ");
  uint8_t* data = nullptr;
  int32_t size = 0;
  CSmallStr scratchBaseUrl;
  const HRESULT hr = loader_->Load(path.c_str(), &data, &size, &scratchBaseUrl, nullptr);
  if (FAILED(hr)) {
    delete[] data;
    vexa::platform::WriteDiagnostic("file", std::string("the movie asked for '") +
                                                requestedUrl.c_str() +
                                                "', which is not in the game's package or folder");
    return hr;
  }
  out->Attach(data, size);
  return S_OK;
}

CNetscapeStreamBase::CNetscapeStreamBase(NPP instance, const char* mimeType,
                                         const char* requestedUrl, void* notifyData,
                                         NPBool seekable)
    : instance_(instance),
      mimeType_(mimeType ? mimeType : ""),
      requestedUrl_(requestedUrl ? requestedUrl : ""),
      absoluteUrl_(AbsoluteRequestUrl(requestedUrl)),
      seekable_(seekable) {
  std::memset(&stream_, 0, sizeof stream_);
  stream_.url = absoluteUrl_.c_str();
  stream_.end = 0;
  stream_.lastmodified = kStreamLastModified;
  stream_.notifyData = notifyData;
  stream_.headers = nullptr;
}

bool CNetscapeStreamBase::Deliver(CPluginHost* host) {
  if (!host) return false;
  // Every call into the plug-in may close the movie (a command from inside it) and make another
  // instance in the same record: from then on this stream is nothing to the instance there, which
  // never opened it.
  const uint32_t generation = host->GetInstanceGeneration();
  auto same_instance = [host, generation] { return host->GetInstanceGeneration() == generation; };
  // The record must point at this stream's own text for the whole delivery.
  stream_.url = absoluteUrl_.c_str();
  // NPP_NewStream takes a non-const MIME type; hand it a private copy of the text.
  std::string mime = mimeType_.str();
  lastStatus_ = host->NppNewStream(instance_, &mime[0], &stream_, seekable_, &streamType_);
  // Whatever stream type the plug-in asked for, the bytes arrive through NPP_Write.
  if (same_instance()) host->NppWriteReady(instance_, &stream_);
  if (!same_instance()) return Abandon();

  CSmartBuffer bytes;
  if (FAILED(Fetch(&bytes))) bytes.Free();
  const int32_t total = bytes.Size() > 0 ? bytes.Size() : 0;
  stream_.end = static_cast<uint32_t>(total);

  int32_t consumed = 0;
  int refused = 0;
  while (consumed < total) {
    host->NppWriteReady(instance_, &stream_);
    if (!same_instance()) return Abandon();
    const int32_t remaining = total - consumed;
    const int32_t taken =
        host->NppWrite(instance_, &stream_, consumed, remaining, bytes.Data() + consumed);
    if (!same_instance()) return Abandon();
    if (taken < 0) break;
    if (taken == 0) {
      if (++refused >= kMaxRefusedWrites) break;
      continue;
    }
    refused = 0;
    // A plug-in claiming more than it was offered has taken everything.
    consumed += taken < remaining ? taken : remaining;
  }

  lastStatus_ = host->NppDestroyStream(instance_, &stream_, reasonForDestroy_);
  std::memset(&stream_, 0, sizeof stream_);
  return same_instance();
}

bool CNetscapeStreamBase::Abandon() {
  std::memset(&stream_, 0, sizeof stream_);
  return false;
}
