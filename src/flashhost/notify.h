// Messages queued by the host for the next message pre-translation
// (CPluginHost::ServeNotifications).
//
// The plug-in's URL requests, and the FSCommands that reach the host through the JRI peer, are not
// answered inside the plug-in's call: they are queued, first in first out, and processed from the
// main loop, where calling back into the plug-in is safe.
#pragma once

#include <memory>

#include "flashhost/netscapestream.h"
#include "flashhost/npapi.h"
#include "script/smallstr.h"

class CPluginHost;

class CNotifyMessage {
 public:
  // Does what the message stands for. `host` is the host serving the queue.
  virtual void Process(CPluginHost* host) = 0;
  virtual ~CNotifyMessage() = default;
};

// Answer to one NPN_GetURLNotify: delivers the stream, then NPP_URLNotify with NPRES_DONE whatever
// happened to the stream, unless the delivery destroyed the instance (then nothing follows).
class CURLNotifyMessage : public CNotifyMessage {
 public:
  // Takes ownership of `stream` (null delivers nothing but still notifies).
  CURLNotifyMessage(std::unique_ptr<INetscapeStream> stream, NPP instance, const char* requestedUrl,
                    void* notifyData);

  void Process(CPluginHost* host) override;

  const CSmallStr& GetRequestedUrl() const { return requestedUrl_; }

 private:
  std::unique_ptr<INetscapeStream> stream_;
  NPReason reason_ = NPRES_DONE;
  NPP instance_;
  CSmallStr requestedUrl_;
  void* notifyData_;
};
