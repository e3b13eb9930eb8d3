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
  if (stream_) stream_->Deliver(host);
  host->NppURLNotify(instance_, requestedUrl_.c_str(), reason_, notifyData_);
}
