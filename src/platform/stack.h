// The thread's stack: how much of it is left, and running code on a thread with a stack of a
// chosen size. The script engine bounds its recursion by the stack really left instead of by a
// count of nested bodies.
#pragma once

#include <cstddef>
#include <functional>

namespace vexa::platform {

// Bytes of the calling thread's stack between the caller's frame and the end the stack grows
// toward. 0 when the system does not say.
size_t StackRemaining();

// Runs `body` on a new thread whose stack reserves `bytes`, and waits for it to end. False, with
// `body` not run, when such a thread cannot be created.
bool RunWithStack(size_t bytes, const std::function<void()>& body);

}  // namespace vexa::platform
