#include "platform/shell.h"

namespace vexa::platform {

bool ShellOpen(const std::string& target) {
  // Nothing to hand the request to: a desktop launcher is not part of the POSIX builds.
  (void)target;
  return false;
}

}  // namespace vexa::platform
