// The names a browser looks up in the plug-in library. On Windows they are exported undecorated
// through vexa_standin.def; elsewhere through default visibility.
#include "flashhost/jri.h"
#include "flashhost/npapi.h"
#include "platform/callconv.h"
#include "standin/plugin.h"

extern "C" {

VEXA_EXPORT NPError VEXA_STDCALL NP_GetEntryPoints(NPPluginFuncs* funcs) {
  return vexa::standin::GetEntryPoints(funcs);
}

VEXA_EXPORT NPError VEXA_STDCALL NP_Initialize(NPNetscapeFuncs* funcs) {
  return vexa::standin::Initialize(funcs);
}

VEXA_EXPORT NPError VEXA_STDCALL NP_Shutdown(void) {
  return vexa::standin::Shutdown();
}

VEXA_EXPORT void VEXA_CDECL Java_ShockwaveFlash_LoadMovie_stub(JRIStackItem* args, JRIEnv* env) {
  vexa::standin::LoadMovieStub(args, env);
}

VEXA_EXPORT void VEXA_CDECL Java_ShockwaveFlash_GetVariable_stub(JRIStackItem* args, JRIEnv* env) {
  vexa::standin::GetVariableStub(args, env);
}

}  // extern "C"

// The exported functions must have exactly the types the browser casts them to.
static_assert(sizeof(&NP_GetEntryPoints) == sizeof(NP_GetEntryPointsFunc), "entry point type");
namespace {
[[maybe_unused]] const NP_GetEntryPointsFunc kCheckGetEntryPoints = &NP_GetEntryPoints;
[[maybe_unused]] const NP_InitializeFunc kCheckInitialize = &NP_Initialize;
[[maybe_unused]] const NP_ShutdownFunc kCheckShutdown = &NP_Shutdown;
[[maybe_unused]] const JRINativeStubFn kCheckLoadMovie = &Java_ShockwaveFlash_LoadMovie_stub;
[[maybe_unused]] const JRINativeStubFn kCheckGetVariable = &Java_ShockwaveFlash_GetVariable_stub;
}  // namespace
