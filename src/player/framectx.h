// The frame's script scope with the system's clock.
//
// CMainFrameCtx (script/context.h) is the outermost scope of the player: it answers the variable
// "CURRENTTIME" (exact name) and keeps every other name as an ordinary variable. It takes the
// function that writes the time; the player hands it FormatCurrentTime, which asks the system for
// the local time in the user's own format without seconds.
#pragma once

#include "platform/oleauto.h"
#include "script/context.h"
#include "script/smallstr.h"

namespace vexa::player {

// The current local time without seconds (platform FormatLocalTimeNoSeconds: the user's locale on
// Windows, "HH:MM" elsewhere), as wide text made from the ANSI code page. S_OK, E_POINTER for a
// null `text`, E_FAIL (text untouched) when the system cannot tell the time.
HRESULT FormatCurrentTime(CSmallWStr* text);

}  // namespace vexa::player

// A CMainFrameCtx that reads the time through FormatCurrentTime.
class CSystemFrameCtx : public CMainFrameCtx {
 public:
  CSystemFrameCtx() : CMainFrameCtx(&vexa::player::FormatCurrentTime) {}
};
