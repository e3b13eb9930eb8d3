#include "platform/stack.h"

#include <windows.h>

#include <cstdint>

namespace vexa::platform {

size_t StackRemaining() {
  // The stack's whole reservation is one allocation; its base is the end the stack grows toward.
  const auto here = reinterpret_cast<ULONG_PTR>(__builtin_frame_address(0));
  MEMORY_BASIC_INFORMATION info = {};
  if (!VirtualQuery(reinterpret_cast<LPCVOID>(here), &info, sizeof info)) return 0;
  const auto low = reinterpret_cast<ULONG_PTR>(info.AllocationBase);
  // The last pages are the guard that turns an overflow into an exception; they are not usable.
  const ULONG_PTR guard = 64 * 1024;
  return here > low + guard ? here - low - guard : 0;
}

namespace {

DWORD WINAPI RunBody(LPVOID arg) {
  (*static_cast<const std::function<void()>*>(arg))();
  return 0;
}

}  // namespace

bool RunWithStack(size_t bytes, const std::function<void()>& body) {
  HANDLE thread = CreateThread(nullptr, bytes, &RunBody, const_cast<std::function<void()>*>(&body),
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return true;
}

}  // namespace vexa::platform
