// What the headless windows of platform/window.h did, for tests of the portable window logic on
// systems without a window system. Only the POSIX build has this header.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/window.h"

namespace vexa::platform {

// The messages TranslateAndDispatch received since the last call, oldest first.
std::vector<WindowMessage> TakeDispatchedMessages();

// The number of headless windows that exist.
size_t LiveWindowCount();

}  // namespace vexa::platform
