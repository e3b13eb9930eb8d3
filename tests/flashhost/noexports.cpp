// A library that loads but is no plug-in: it exports nothing a plug-in host looks for.
#include "platform/callconv.h"

extern "C" VEXA_EXPORT int flashhost_test_not_a_plugin() {
  return 42;
}
