#include "flashhost/notify.h"

#include "flashhost/pluginhost.h"

CURLNotifyMessage::CURLNotifyMessage(std::unique_ptr<INetscapeStream> stream, NPP instance,
                                     const char* requestedUrl, void* notifyData)
    : stream_(std::move(stream)),
      instance_(instance),
      requestedUrl_(requestedUrl ? requestedUrl : ""),
      notifyData_(notifyData) {}

void CURLNotifyMessage::Process(CPluginHost* host) {
  if (!host) return;
  const uint32_t generation = host->GetInstanceGeneration();
  if (stream_ && !stream_->Deliver(host)) return;
  // The notify data is the request's own instance's: a new instance in the same record (the movie
  // closed and reopened from inside the delivery) would take it for one of its own requests.
  if (host->GetInstanceGeneration() != generation) return;
  host->NppURLNotify(instance_, requestedUrl_.c_str(), reason_, notifyData_);
}
