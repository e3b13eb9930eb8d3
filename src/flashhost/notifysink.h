// IFlashPlayerNotifySink: where the Flash host delivers the FSCommands of the movie.
//
// The plug-in hands an FSCommand to the host by one of three paths (the JRI peer, NPN_Invoke of
// test_DoFSCommand on the window object, ExternalInterface through NPN_Evaluate; see
// flashhost/bridge.h); all three end in OnFSCommand. The command processor implements the sink.
//
// Calls come on the main window thread only. A sink may call back into the holder (AddResult,
// GetMovieVariable, CallMovieFunction, even CloseMovie) while the plug-in is still inside the call
// that carried the command.
#pragma once

#include <cstdint>

#include "platform/oleauto.h"

class IFlashPlayerNotifySink {
 public:
  // One FSCommand. Both texts are zero-terminated and never null (a missing text is empty); they
  // are only borrowed for the call. The result carries no meaning for the host.
  virtual HRESULT OnFSCommand(const wchar_t* command, const wchar_t* argument) = 0;

  // A further notification slot the host never calls. Implementations answer E_NOTIMPL.
  virtual HRESULT OnPlayerNotification(int32_t code, int32_t param1, int32_t param2,
                                       void* data) = 0;

 protected:
  ~IFlashPlayerNotifySink() = default;
};
