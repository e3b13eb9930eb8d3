// A library beside the player that is not a plug-in: it lacks the "GetClassObject" export.
#include "vexa/plugin.h"

VEXA_PLUGIN_EXPORT int STDMETHODCALLTYPE NotAPlugin(int value) {
  return value + 1;
}
