#include "platform/stack.h"

#include <pthread.h>

#include <cstdint>

namespace vexa::platform {

namespace {

// The lowest address of the calling thread's stack, or 0 when the system does not tell. A thread's
// stack does not move, so it is asked once per thread: for the main thread the C library reads
// /proc/self/maps to answer, which would otherwise cost a file read per script entry.
uintptr_t StackLow() {
  thread_local uintptr_t low = 0;
  thread_local bool asked = false;
  if (asked) return low;
  asked = true;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  void* address = nullptr;
  size_t size = 0;
  const int rc = pthread_attr_getstack(&attr, &address, &size);
  pthread_attr_destroy(&attr);
  if (rc == 0) low = reinterpret_cast<uintptr_t>(address);
  return low;
}

}  // namespace

size_t StackRemaining() {
  const uintptr_t bottom = StackLow();
  if (bottom == 0) return 0;
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return here > bottom ? here - bottom : 0;
}

namespace {

void* RunBody(void* arg) {
  (*static_cast<const std::function<void()>*>(arg))();
  return nullptr;
}

}  // namespace

bool RunWithStack(size_t bytes, const std::function<void()>& body) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_t thread;
  const bool created = pthread_attr_setstacksize(&attr, bytes) == 0 &&
                       pthread_create(&thread, &attr, &RunBody,
                                      const_cast<std::function<void()>*>(&body)) == 0;
  pthread_attr_destroy(&attr);
  if (!created) return false;
  pthread_join(thread, nullptr);
  return true;
}

}  // namespace vexa::platform
